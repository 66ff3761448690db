#include "dbtables.h"

#include <cmath>
#include <cstring>

#include "dospath.h"
#include "streams.h"
#include "text.h"

namespace {

TEngineFieldType ToEngineType(TFieldType t, const std::string& name) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: return TEngineFieldType::String;
    case ftSmallint: return TEngineFieldType::Smallint;
    case ftInteger: return TEngineFieldType::Integer;
    case ftWord: return TEngineFieldType::Word;
    case ftLargeint: return TEngineFieldType::Largeint;
    case ftAutoInc: return TEngineFieldType::AutoInc;
    case ftBoolean: return TEngineFieldType::Boolean;
    case ftFloat: return TEngineFieldType::Float;
    case ftCurrency: return TEngineFieldType::Currency;
    case ftBCD: return TEngineFieldType::BCD;
    case ftDate: return TEngineFieldType::Date;
    case ftTime: return TEngineFieldType::Time;
    case ftDateTime: return TEngineFieldType::DateTime;
    case ftBytes: return TEngineFieldType::Bytes;
    case ftVarBytes: return TEngineFieldType::VarBytes;
    case ftBlob: return TEngineFieldType::Blob;
    case ftMemo: return TEngineFieldType::Memo;
    default:
      throw EEngineError(std::string("Field '") + name + "' has a type a table cannot hold: " + FieldTypeName(t),
                         EEngineError::ecInvalidDefinition);
  }
}

TFieldType FromEngineType(TEngineFieldType t) {
  switch (t) {
    case TEngineFieldType::String: return ftString;
    case TEngineFieldType::Smallint: return ftSmallint;
    case TEngineFieldType::Integer: return ftInteger;
    case TEngineFieldType::Word: return ftWord;
    case TEngineFieldType::Largeint: return ftLargeint;
    case TEngineFieldType::AutoInc: return ftAutoInc;
    case TEngineFieldType::Boolean: return ftBoolean;
    case TEngineFieldType::Float: return ftFloat;
    case TEngineFieldType::Currency: return ftCurrency;
    case TEngineFieldType::BCD: return ftBCD;
    case TEngineFieldType::Date: return ftDate;
    case TEngineFieldType::Time: return ftTime;
    case TEngineFieldType::DateTime: return ftDateTime;
    case TEngineFieldType::Bytes: return ftBytes;
    case TEngineFieldType::VarBytes: return ftVarBytes;
    case TEngineFieldType::Blob: return ftBlob;
    case TEngineFieldType::Memo: return ftMemo;
  }
  return ftUnknown;
}

bool HasSize(TEngineFieldType t) {
  switch (t) {
    case TEngineFieldType::String: case TEngineFieldType::Bytes: case TEngineFieldType::VarBytes:
    case TEngineFieldType::BCD: case TEngineFieldType::Blob: case TEngineFieldType::Memo:
      return true;
    default:
      return false;
  }
}

template <class T>
void Put(char* p, T v) { std::memcpy(p, &v, sizeof v); }
template <class T>
T Get(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int64_t AsInt(const TEngineValue& v) {
  if (auto n = std::get_if<int64_t>(&v)) return *n;
  if (auto d = std::get_if<double>(&v)) return int64_t(*d);
  return 0;
}
double AsReal(const TEngineValue& v) {
  if (auto d = std::get_if<double>(&v)) return *d;
  if (auto n = std::get_if<int64_t>(&v)) return double(*n);
  return 0;
}

bool IsTextType(TFieldType t) { return t == ftString || t == ftFixedChar || t == ftWideString; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TIndexDef / TIndexDefs

TIndexDef::TIndexDef(TCollection* Collection) : TCollectionItem(Collection) {}

void TIndexDef::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TIndexDef*>(Source)) {
    FName = src->FName;
    FFields = src->FFields;
    FOptions = src->FOptions;
    return;
  }
  TCollectionItem::Assign(Source);
}

TIndexDefs::TIndexDefs(TDataSet* DataSet)
    : TCollection(TCollection::Factory<TIndexDef>(), DataSet), FDataSet(DataSet) {}

TIndexDef* TIndexDefs::Items(int Index) const { return static_cast<TIndexDef*>(TCollection::Items(Index)); }

TIndexDef* TIndexDefs::AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  TIndexDef* d = AddIndexDef();
  d->SetName(Name);
  d->SetFields(Fields);
  d->SetOptions(Options);
  return d;
}

int TIndexDefs::IndexOf(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(std::string_view Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseError("Index '" + std::string(Name) + "' not found", FDataSet);
  return Items(i);
}

void TIndexDefs::Update() {
  if (FUpdated) return;
  if (auto* table = dynamic_cast<TTable*>(FDataSet)) table->UpdateIndexDefs();
  FUpdated = true;
}

// ---------------------------------------------------------------------------------------------
// TBDEDataSet

// A blob value of one record buffer, read or written in place.
class TBDEDataSet::TBlobStream : public TStream {
public:
  TBlobStream(TBDEDataSet* DataSet, TField* Field, std::optional<std::string>* Slot, TBlobStreamMode Mode)
      : FDataSet(DataSet), FField(Field), FSlot(Slot), FMode(Mode) {
    if (Mode == bmWrite) FSlot->emplace();  // writing starts from an empty value
  }
  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    const std::string& s = Value();
    if (Count <= 0 || FPos >= std::int64_t(s.size())) return 0;
    std::int64_t n = std::min<std::int64_t>(Count, std::int64_t(s.size()) - FPos);
    std::memcpy(Buffer, s.data() + FPos, size_t(n));
    FPos += n;
    return n;
  }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (FMode == bmRead) throw EStreamError("Cannot write to a blob opened for reading");
    if (!*FSlot) FSlot->emplace();
    std::string& s = **FSlot;
    if (Count > 0) {
      if (FPos > std::int64_t(s.size())) s.resize(size_t(FPos));
      s.replace(size_t(FPos), std::min<size_t>(size_t(Count), s.size() - size_t(FPos)),
                static_cast<const char*>(Buffer), size_t(Count));
      FPos += Count;
    }
    Changed();
    return std::max<std::int64_t>(Count, 0);
  }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    std::int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPos : std::int64_t(Value().size());
    if (base + Offset < 0) throw EStreamError("Seek before the start of a blob");
    FPos = base + Offset;
    return FPos;
  }
  std::int64_t Size() const override { return std::int64_t(Value().size()); }
  void SetSize(std::int64_t NewSize) override {
    if (FMode == bmRead) throw EStreamError("Cannot write to a blob opened for reading");
    if (!*FSlot) FSlot->emplace();
    (*FSlot)->resize(size_t(std::max<std::int64_t>(NewSize, 0)));
    Changed();
  }
  ZEL_CLASS(TBlobStream, TStream)

private:
  const std::string& Value() const {
    static const std::string empty;
    return *FSlot ? **FSlot : empty;
  }
  void Changed() {
    TDataSetState s = FDataSet->State();
    if (s != dsCalcFields && s != dsFilter && s != dsNewValue)
      FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
  }
  TBDEDataSet* FDataSet;
  TField* FField;
  std::optional<std::string>* FSlot;
  TBlobStreamMode FMode;
  std::int64_t FPos = 0;
};

TBDEDataSet::TBDEDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TBDEDataSet::~TBDEDataSet() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  DestroyHandle();
}

std::unique_ptr<TEngineTable> TBDEDataSet::CreateHandle() {
  DatabaseError("No table to open", this);
}

void TBDEDataSet::DestroyHandle() {
  FCursor.reset();
  FTable.reset();
}

void TBDEDataSet::OpenCursor(bool InfoQuery) {
  if (!FCursor) {
    FTable = CreateHandle();
    if (!FTable) DatabaseError("No table to open", this);
    FCursor = std::make_unique<TEngineCursor>(*FTable);
  }
  TDataSet::OpenCursor(InfoQuery);
}

void TBDEDataSet::CloseCursor() {
  TDataSet::CloseCursor();
  DestroyHandle();
}

void TBDEDataSet::InternalInitFieldDefs() {
  TFieldDefs* defs = FieldDefs();
  defs->Clear();
  for (const auto& f : FTable->FieldDefs()) {
    TFieldDef* d = defs->Add(f.Name, FromEngineType(f.Type), HasSize(f.Type) ? f.Size : 0, f.Required);
    if (f.Type == TEngineFieldType::BCD) d->SetPrecision(f.Precision);
  }
  defs->SetUpdated(true);
}

void TBDEDataSet::InternalOpen() {
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  FOffsets.clear();
  int ofs = 0;
  for (const auto& f : FTable->FieldDefs()) {
    FOffsets.push_back(ofs);
    ofs += 1 + FieldTypeDataSize(FromEngineType(f.Type), f.Size);
  }
  FRecordSize = (ofs + 7) / 8 * 8;  // the record info after it stays aligned
  FRecBufSize = FRecordSize + int(sizeof(TRecInfo)) + CalcFieldsSize();
  SetBookmarkSize(int(sizeof(TEngineBookmark)));
  PrepareCursor();
  FCursor->First();
}

void TBDEDataSet::InternalClose() {
  if (FTestBuffer) FreeRecordBuffer(FTestBuffer);
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FBlobs.erase(FOldBuffer.data());
  FOldBuffer.clear();
}

TRecordBuffer TBDEDataSet::AllocRecordBuffer() {
  auto* b = new char[size_t(std::max(FRecBufSize, 1))]();
  FBlobs[b].assign(FOffsets.size(), std::nullopt);
  return b;
}

void TBDEDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  FBlobs.erase(Buffer);
  delete[] Buffer;
  Buffer = nullptr;
}

TBDEDataSet::TRecInfo& TBDEDataSet::Info(TRecordBuffer Buffer) const {
  return *reinterpret_cast<TRecInfo*>(Buffer + FRecordSize);
}

std::optional<std::string>& TBDEDataSet::BlobSlot(TRecordBuffer Buffer, int FieldIndex) {
  auto& slots = FBlobs[Buffer];
  if (slots.size() < FOffsets.size()) slots.resize(FOffsets.size());
  return slots[size_t(FieldIndex)];
}

void TBDEDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, &Info(Buffer).Bookmark, sizeof(TEngineBookmark));
}

void TBDEDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  std::memcpy(&Info(Buffer).Bookmark, Data, sizeof(TEngineBookmark));
}

TBookmarkFlag TBDEDataSet::GetBookmarkFlag(TRecordBuffer Buffer) { return TBookmarkFlag(Info(Buffer).Flag); }

void TBDEDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) { Info(Buffer).Flag = Value; }

void TBDEDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, size_t(FRecordSize));
  for (auto& s : FBlobs[Buffer]) s.reset();
}

void TBDEDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FRecordSize + sizeof(TRecInfo), 0, size_t(CalcFieldsSize()));
}

void TBDEDataSet::RecordToBuffer(const TEngineRecord& Rec, TRecordBuffer Buffer) {
  std::memset(Buffer, 0, size_t(FRecordSize));
  const auto& defs = FTable->FieldDefs();
  for (size_t i = 0; i < defs.size(); ++i) {
    const TEngineValue& v = Rec.Values[i];
    TFieldType type = FromEngineType(defs[i].Type);
    if (IsBlobFieldType(type)) {
      auto& slot = BlobSlot(Buffer, int(i));
      if (EngineIsNull(v)) slot.reset();
      else slot = std::get<std::string>(v);
      continue;
    }
    if (EngineIsNull(v)) continue;
    char* p = Buffer + FOffsets[i];
    p[0] = 1;
    char* d = p + 1;
    int size = FieldTypeDataSize(type, defs[i].Size);
    switch (type) {
      case ftString: {
        const std::string& s = std::get<std::string>(v);
        std::memcpy(d, s.data(), std::min(s.size(), size_t(size - 1)));
        break;
      }
      case ftSmallint: Put<int16_t>(d, int16_t(AsInt(v))); break;
      case ftWord: case ftBoolean: Put<uint16_t>(d, uint16_t(AsInt(v))); break;
      case ftInteger: case ftAutoInc: Put<int32_t>(d, int32_t(AsInt(v))); break;
      case ftLargeint: Put<int64_t>(d, AsInt(v)); break;
      case ftFloat: case ftCurrency: Put<double>(d, AsReal(v)); break;
      case ftBCD: Put<int64_t>(d, std::llround(AsReal(v) * 10000.0)); break;
      case ftDate: Put<int32_t>(d, DateTimeToNativeDate(AsReal(v))); break;
      case ftTime: Put<int32_t>(d, DateTimeToNativeTime(AsReal(v))); break;
      case ftDateTime: Put<double>(d, DateTimeToNativeDateTime(AsReal(v))); break;
      case ftBytes: {
        const std::string& s = std::get<std::string>(v);
        std::memcpy(d, s.data(), std::min(s.size(), size_t(size)));
        break;
      }
      case ftVarBytes: {
        const std::string& s = std::get<std::string>(v);
        size_t n = std::min(s.size(), size_t(size - 2));
        Put<uint16_t>(d, uint16_t(n));
        std::memcpy(d + 2, s.data(), n);
        break;
      }
      default: p[0] = 0; break;
    }
  }
}

std::vector<TEngineValue> TBDEDataSet::BufferToValues(TRecordBuffer Buffer) {
  const auto& defs = FTable->FieldDefs();
  std::vector<TEngineValue> out(defs.size());
  for (size_t i = 0; i < defs.size(); ++i) {
    TFieldType type = FromEngineType(defs[i].Type);
    if (IsBlobFieldType(type)) {
      const auto& slot = BlobSlot(Buffer, int(i));
      if (slot && !slot->empty()) out[i] = *slot;  // an empty blob is no value
      continue;
    }
    const char* p = Buffer + FOffsets[i];
    if (!p[0]) continue;
    const char* d = p + 1;
    int size = FieldTypeDataSize(type, defs[i].Size);
    switch (type) {
      case ftString: out[i] = std::string(d, strnlen(d, size_t(size))); break;
      case ftSmallint: out[i] = int64_t(Get<int16_t>(d)); break;
      case ftWord: case ftBoolean: out[i] = int64_t(Get<uint16_t>(d)); break;
      case ftInteger: case ftAutoInc: out[i] = int64_t(Get<int32_t>(d)); break;
      case ftLargeint: out[i] = Get<int64_t>(d); break;
      case ftFloat: case ftCurrency: out[i] = Get<double>(d); break;
      case ftBCD: out[i] = double(Get<int64_t>(d)) / 10000.0; break;
      case ftDate: out[i] = NativeDateToDateTime(Get<int32_t>(d)); break;
      case ftTime: out[i] = NativeTimeToDateTime(Get<int32_t>(d)); break;
      case ftDateTime: out[i] = NativeDateTimeToDateTime(Get<double>(d)); break;
      case ftBytes: out[i] = std::string(d, size_t(size)); break;
      case ftVarBytes: out[i] = std::string(d + 2, std::min<size_t>(Get<uint16_t>(d), size_t(size - 2))); break;
      default: break;
    }
  }
  return out;
}

bool TBDEDataSet::Accepts(TRecordBuffer Buffer) {
  if (!Filtered() || !OnFilterRecord()) return true;
  TDataSetState saved = SetTempState(dsFilter);
  FFilterBuffer = Buffer;
  bool accept = true;
  try {
    OnFilterRecord()(this, accept);
  } catch (...) {
    FFilterBuffer = nullptr;
    RestoreState(saved);
    throw;
  }
  FFilterBuffer = nullptr;
  RestoreState(saved);
  return accept;
}

void TBDEDataSet::WithRecordUnderTest(const TEngineRecord& Record, const std::function<void()>& Body) {
  // Also while the data set opens: the first records are read before it is active.
  if (!FCursor) DatabaseError("Cannot perform this operation on a closed dataset", this);
  // A callback may read another record under test inside this one: each level its buffer.
  if (!FTestBuffer) FTestBuffer = AllocRecordBuffer();
  const bool own = FTestBufferBusy;
  TRecordBuffer buffer = own ? AllocRecordBuffer() : FTestBuffer;
  FTestBufferBusy = true;
  TRecordBuffer saved = FFilterBuffer;
  auto restore = [&] {
    FFilterBuffer = saved;
    if (own) FreeRecordBuffer(buffer);
    else FTestBufferBusy = false;
  };
  try {
    RecordToBuffer(Record, buffer);
    Info(buffer).Bookmark = Record.Bookmark;
    Info(buffer).Flag = bfCurrent;
    FFilterBuffer = buffer;
    WithTempState(dsFilter, Body);
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

bool TBDEDataSet::RecordFilterKeeps(const TEngineRecord& Record) {
  if (!Filtered() || !OnFilterRecord()) return true;
  bool accept = true;
  WithRecordUnderTest(Record, [&] {
    GetCalcFields(FFilterBuffer);
    OnFilterRecord()(this, accept);
  });
  return accept;
}

void TBDEDataSet::SetFiltered(bool Value) {
  bool changed = Value != Filtered();
  TDataSet::SetFiltered(Value);
  if (changed && Active()) First();
}

void TBDEDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  TDataSet::SetOnFilterRecord(Value);
  if (Filtered() && Active()) First();
}

TGetResult TBDEDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  TEngineRecord rec;
  for (;;) {
    bool ok = GetMode == gmNext ? FCursor->Next(rec) : GetMode == gmPrior ? FCursor->Prior(rec) : FCursor->Current(rec);
    if (!ok) return GetMode == gmNext ? grEOF : GetMode == gmPrior ? grBOF : grError;
    RecordToBuffer(rec, Buffer);
    Info(Buffer).Bookmark = rec.Bookmark;
    Info(Buffer).Flag = bfCurrent;
    GetCalcFields(Buffer);
    if (Accepts(Buffer)) return grOK;
    if (GetMode == gmCurrent) return grError;
  }
}

TRecordBuffer TBDEDataSet::ActiveRecBuf() {
  switch (State()) {
    case dsCalcFields: return CalcBuffer();
    case dsFilter: return FFilterBuffer;
    case dsOldValue:
      if (!FOldBuffer.empty()) return FOldBuffer.data();
      [[fallthrough]];
    case dsSetKey:
      if (FKeyBuffer) return FKeyBuffer;
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsBrowse: case dsNewValue: case dsCurValue:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit: case dsInsert:
      return ActiveBuffer();  // AppendRecord fills its buffer before the ring counts it
    default: return nullptr;
  }
}

bool TBDEDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = ActiveRecBuf();
  if (!rec || !Field) return false;
  if (Field->FieldNo() > 0) {
    size_t i = size_t(Field->FieldNo() - 1);
    if (i >= FOffsets.size()) return false;
    const auto& def = FTable->FieldDefs()[i];
    TFieldType type = FromEngineType(def.Type);
    if (IsBlobFieldType(type)) {
      const auto& slot = BlobSlot(rec, int(i));
      return slot && !slot->empty();
    }
    const char* p = rec + FOffsets[i];
    if (!p[0]) return false;
    if (Buffer) {
      size_t have = size_t(FieldTypeDataSize(type, def.Size));
      size_t room = size_t(Field->DataSize());
      std::memcpy(Buffer, p + 1, std::min(have, room));
      if (IsTextType(type) && room > 0 && have > room) static_cast<char*>(Buffer)[room - 1] = 0;
    }
    return true;
  }
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
    const char* p = rec + FRecordSize + sizeof(TRecInfo) + Field->Offset();
    if (!p[0]) return false;
    if (Buffer) std::memcpy(Buffer, p + 1, size_t(Field->DataSize()));
    return true;
  }
  return false;
}

void TBDEDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TDataSetState st = State();
  if (st != dsEdit && st != dsInsert && st != dsSetKey && st != dsCalcFields && st != dsFilter &&
      st != dsNewValue)
    DatabaseError("Dataset not in edit or insert mode", this);
  TRecordBuffer rec = ActiveRecBuf();
  if (!rec) DatabaseError("Dataset not in edit or insert mode", this);
  if (Field->FieldNo() > 0) {
    if (st == dsCalcFields || st == dsFilter) DatabaseError("Dataset not in edit or insert mode", this);
    size_t i = size_t(Field->FieldNo() - 1);
    if (i >= FOffsets.size()) DatabaseError("Field '" + Field->DisplayName() + "' not found", this);
    Field->Validate(Buffer);
    const auto& def = FTable->FieldDefs()[i];
    TFieldType type = FromEngineType(def.Type);
    if (IsBlobFieldType(type)) {
      if (!Buffer) BlobSlot(rec, int(i)).reset();
    } else {
      char* p = rec + FOffsets[i];
      size_t have = size_t(FieldTypeDataSize(type, def.Size));
      std::memset(p, 0, have + 1);
      if (Buffer) {
        p[0] = 1;
        size_t n = std::min(have, size_t(Field->DataSize()));
        std::memcpy(p + 1, Buffer, n);
        if (IsTextType(type)) p[have] = 0;
      }
    }
  } else {
    char* p = rec + FRecordSize + sizeof(TRecInfo) + Field->Offset();
    p[0] = Buffer != nullptr;
    if (Buffer) std::memcpy(p + 1, Buffer, size_t(Field->DataSize()));
    else std::memset(p + 1, 0, size_t(Field->DataSize()));
  }
  if (st != dsCalcFields && st != dsFilter && st != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
}

std::unique_ptr<TStream> TBDEDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  if (!Field || Field->FieldNo() <= 0 || size_t(Field->FieldNo()) > FOffsets.size() ||
      !IsBlobFieldType(FromEngineType(FTable->FieldDefs()[size_t(Field->FieldNo() - 1)].Type)))
    DatabaseError("Field '" + (Field ? Field->DisplayName() : std::string()) + "' is not a blob field", this);
  if (Mode != bmRead && State() != dsEdit && State() != dsInsert)
    DatabaseError("Dataset not in edit or insert mode", this);
  TRecordBuffer rec = ActiveRecBuf();
  if (!rec) return std::make_unique<TMemoryStream>();
  return std::make_unique<TBlobStream>(this, Field, &BlobSlot(rec, Field->FieldNo() - 1), Mode);
}

void TBDEDataSet::InternalFirst() { FCursor->First(); }
void TBDEDataSet::InternalLast() { FCursor->Last(); }

void TBDEDataSet::InternalGotoBookmark(const void* Bookmark) {
  TEngineBookmark bm;
  std::memcpy(&bm, Bookmark, sizeof bm);
  if (!FCursor->GotoBookmark(bm)) DatabaseError("Record not found", this);
}

void TBDEDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  TEngineRecord key;
  key.Bookmark = Info(Buffer).Bookmark;
  key.Values = BufferToValues(Buffer);
  FCursor->GotoRecord(key);
}

void TBDEDataSet::InternalEdit() {
  TRecordBuffer buf = ActiveBuffer();
  TEngineRecord rec;
  if (!FTable->ReadRecord(Info(buf).Bookmark, rec))
    throw EEngineError("Record was deleted by another user", EEngineError::ecRecordDeleted);
  // Editing starts from what the table holds now, not from what was read before.
  RecordToBuffer(rec, buf);
  GetCalcFields(buf);
  FBlobs.erase(FOldBuffer.data());
  FOldBuffer.assign(buf, buf + FRecBufSize);
  auto blobs = FBlobs[buf];
  FBlobs[FOldBuffer.data()] = std::move(blobs);
}

void TBDEDataSet::InternalCancel() {
  FBlobs.erase(FOldBuffer.data());
  FOldBuffer.clear();
}

void TBDEDataSet::InternalPost() {
  TRecordBuffer buf = ActiveBuffer();
  std::vector<TEngineValue> values = BufferToValues(buf);
  TEngineBookmark bm;
  if (State() == dsEdit) {
    bm = Info(buf).Bookmark;
    FTable->ModifyRecord(bm, values);
  } else {
    bm = FTable->InsertRecord(values);
  }
  FBlobs.erase(FOldBuffer.data());
  FOldBuffer.clear();
  PositionOnWritten(bm);
}

void TBDEDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  PositionOnWritten(FTable->InsertRecord(BufferToValues(Buffer)));
}

void TBDEDataSet::PositionOnWritten(TEngineBookmark Bookmark) {
  TEngineRecord rec;
  if (FTable->ReadRecord(Bookmark, rec)) FCursor->GotoRecord(rec);
}

void TBDEDataSet::InternalDelete() {
  TRecordBuffer buf = ActiveBuffer();
  TEngineRecord key;
  key.Bookmark = Info(buf).Bookmark;
  key.Values = BufferToValues(buf);
  FCursor->GotoRecord(key);
  FTable->DeleteRecord(key.Bookmark);
}

void TBDEDataSet::InternalRefresh() { FCursor->Refresh(); }

bool TBDEDataSet::GetCanModify() { return FTable && !FTable->ReadOnly(); }

int TBDEDataSet::GetRecordCount() {
  CheckActive();
  return int(FTable->RecordCount());
}

bool TBDEDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  TEngineRecord rec;
  if (!FCursor->Current(rec)) return false;
  RecordToBuffer(rec, Buffer);
  Info(Buffer).Bookmark = rec.Bookmark;
  Info(Buffer).Flag = bfCurrent;
  return true;
}

bool TBDEDataSet::BookmarkValid(const void* Bookmark) {
  if (!Bookmark || !FTable) return false;
  TEngineBookmark bm;
  std::memcpy(&bm, Bookmark, sizeof bm);
  TEngineRecord rec;
  return bm > 0 && FTable->ReadRecord(bm, rec);
}

int TBDEDataSet::CompareBookmarks(const void* Bookmark1, const void* Bookmark2) {
  if (!Bookmark1 && !Bookmark2) return 0;
  if (!Bookmark1) return -1;
  if (!Bookmark2) return 1;
  TEngineBookmark a, b;
  std::memcpy(&a, Bookmark1, sizeof a);
  std::memcpy(&b, Bookmark2, sizeof b);
  return a < b ? -1 : a > b ? 1 : 0;
}

void TBDEDataSet::SwitchOrder(const std::function<void(TEngineCursor&)>& Order) {
  CheckBrowseMode();
  UpdateCursorPos();
  Order(*FCursor);
  Resync({});
}

// ---------------------------------------------------------------------------------------------
// TDBDataSet

TDBDataSet::TDBDataSet(TComponent* AOwner) : TBDEDataSet(AOwner) {}

void TDBDataSet::SetDatabaseName(const std::string& Value) {
  if (Value == FDatabaseName) return;
  CheckInactive();
  FDatabaseName = Value;
  DataEvent(dePropertyChange, 0);
}

// ---------------------------------------------------------------------------------------------
// TTable

namespace {

// The order an open table's cursor takes: the fields' index, else the named index, else the
// primary index, else natural order.
void ApplyOrder(TEngineCursor& c, const std::string& indexName, const std::string& fieldNames) {
  if (!Trim(fieldNames).empty()) c.SetIndexFields(fieldNames);
  else c.SetIndex(indexName);
}

}  // namespace

TTable::TTable(TComponent* AOwner) : TDBDataSet(AOwner), FIndexDefs(std::make_unique<TIndexDefs>(this)) {}

TTable::~TTable() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
}

void TTable::SetTableName(const std::string& Value) {
  if (Value == FTableName) return;
  CheckInactive();
  FTableName = Value;
  FIndexDefs->SetUpdated(false);
  DataEvent(dePropertyChange, 0);
}

void TTable::SetTableType(TDBTableType Value) {
  if (Value == FTableType) return;
  CheckInactive();
  FTableType = Value;
  FIndexDefs->SetUpdated(false);
  DataEvent(dePropertyChange, 0);
}

void TTable::SetExclusive(bool Value) {
  CheckInactive();
  FExclusive = Value;
}

void TTable::SetReadOnly(bool Value) {
  CheckInactive();
  FReadOnly = Value;
}

void TTable::SetIndexName(const std::string& Value) {
  if (Active()) SwitchOrder([&](TEngineCursor& c) { ApplyOrder(c, Value, std::string()); });
  FIndexName = Value;
  FIndexFieldNames.clear();
}

void TTable::SetIndexFieldNames(const std::string& Value) {
  if (Active()) SwitchOrder([&](TEngineCursor& c) { ApplyOrder(c, std::string(), Value); });
  FIndexFieldNames = Value;
  FIndexName.clear();
}

int TTable::IndexFieldCount() { return Handle() ? int(Handle()->KeyFields().size()) : 0; }

TField* TTable::IndexFields(int Index) {
  if (!Handle() || Index < 0 || Index >= IndexFieldCount())
    DatabaseError("Index field " + std::to_string(Index) + " out of range", this);
  return FieldByNumber(Handle()->KeyFields()[size_t(Index)] + 1);
}

std::string TTable::TableFileName() const {
  if (FTableName.empty()) DatabaseError("Missing TableName property", const_cast<TTable*>(this));
  std::string name = FTableName;
  if (ExtractFileExt(name).empty()) {
    switch (FTableType) {
      case ttDBase: case ttFoxPro: name += ".dbf"; break;
      case ttASCII: name += ".txt"; break;
      default: name += EngineDefaultExtension; break;
    }
  }
  bool absolute = name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':');
  if (!absolute && !DatabaseName().empty()) name = IncludeTrailingPathDelimiter(DatabaseName()) + name;
  return MapDosPath(name);
}

bool TTable::Exists() const { return TEngineTable::Exists(TableFileName()); }

std::unique_ptr<TEngineTable> TTable::CreateHandle() {
  return std::make_unique<TEngineTable>(TableFileName(), FReadOnly, FExclusive);
}

void TTable::PrepareCursor() { ApplyOrder(*Handle(), FIndexName, FIndexFieldNames); }

void TTable::InternalOpen() {
  TDBDataSet::InternalOpen();
  for (auto& k : FKeyBuffers) {
    k = TKeyBuffer{};
    k.Data = AllocRecordBuffer();
  }
  FIndexDefs->SetUpdated(false);
  FIndexDefs->Update();
}

void TTable::InternalClose() {
  FreeKeyBuffers();
  TDBDataSet::InternalClose();
}

void TTable::UpdateIndexDefs() {
  std::unique_ptr<TEngineTable> temp;
  TEngineTable* t = EngineTable();
  if (!t) {
    temp = std::make_unique<TEngineTable>(TableFileName(), true);
    t = temp.get();
  }
  FIndexDefs->Clear();
  for (const auto& x : t->IndexDefs()) {
    TIndexOptions o;
    if (x.Options & eioPrimary) o.Include(ixPrimary);
    if (x.Options & eioUnique) o.Include(ixUnique);
    if (x.Options & eioDescending) o.Include(ixDescending);
    if (x.Options & eioCaseInsensitive) o.Include(ixCaseInsensitive);
    FIndexDefs->Add(x.Name, x.Fields, o);
  }
}

void TTable::CreateTable(bool Replace) {
  CheckInactive();
  std::vector<TEngineFieldDef> fields;
  for (int i = 0; i < FieldDefs()->Count(); ++i) {
    TFieldDef* d = FieldDefs()->Items(i);
    fields.push_back({d->Name(), ToEngineType(d->DataType(), d->Name()), d->Size(), d->Precision(), d->Required()});
  }
  std::vector<TEngineIndexDef> indexes;
  for (int i = 0; i < FIndexDefs->Count(); ++i) {
    TIndexDef* x = FIndexDefs->Items(i);
    unsigned o = 0;
    if (x->Options().Contains(ixPrimary)) o |= eioPrimary;
    if (x->Options().Contains(ixUnique)) o |= eioUnique;
    if (x->Options().Contains(ixDescending)) o |= eioDescending;
    if (x->Options().Contains(ixCaseInsensitive)) o |= eioCaseInsensitive;
    indexes.push_back({x->Name(), x->Fields(), o});
  }
  TEngineTable::Create(TableFileName(), fields, indexes, Replace);
  FIndexDefs->SetUpdated(true);
}
