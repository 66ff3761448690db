#pragma once
// A small in-memory data set for the framework tests: records in a vector, a 4-byte record id
// as bookmark, filtering by OnFilterRecord, calculated fields in the buffer's calc area.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db.h"

class TMemDataSet : public TDataSet {
public:
  explicit TMemDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner) {}
  ~TMemDataSet() override {
    Destroying();
    Close();
  }

  // Records held by the store (not the ring), for checking what a post really wrote.
  struct Record {
    std::int32_t Id;
    std::vector<char> Data;
    std::map<int, std::string> Blobs;  // by field number
  };
  const std::vector<Record>& Store() const { return FStore; }
  // The stored text/integer of a data field of the n-th stored record, read from the store.
  std::string StoredString(int Index, const std::string& FieldName) {
    TField* f = FieldByName(FieldName);
    const char* p = FStore[size_t(Index)].Data.data() + SlotOffset(f->FieldNo());
    return std::string(p, strnlen(p, size_t(f->DataSize())));
  }
  bool StoredIsNull(int Index, const std::string& FieldName) {
    TField* f = FieldByName(FieldName);
    return FStore[size_t(Index)].Data[size_t(SlotOffset(f->FieldNo()) + f->DataSize())] == 0;
  }
  void SetReadOnlySet(bool Value) { FReadOnly = Value; }
  TDataSource* MasterSource = nullptr;
  int InternalPostCount = 0;

  TDataSource* GetDataSource() override { return MasterSource; }

  void SetFiltered(bool Value) override {
    TDataSet::SetFiltered(Value);
    if (Active()) First();
  }
  void SetOnFilterRecord(const TFilterRecordEvent& Value) override {
    TDataSet::SetOnFilterRecord(Value);
    if (Active()) First();
  }

  bool GetFieldData(TField* Field, void* Buffer) override {
    TRecordBuffer buf = FieldBuffer();
    if (!buf) return false;
    const char* slot;
    if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup)
      slot = buf + FDataSize + Field->Offset();
    else
      slot = buf + SlotOffset(Field->FieldNo());
    bool has = slot[Field->DataSize()] != 0;
    if (has && Buffer) std::memcpy(Buffer, slot, size_t(Field->DataSize()));
    return has;
  }

  void SetFieldData(TField* Field, const void* Buffer) override {
    TDataSetState s = State();
    if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter &&
        s != dsNewValue)
      DatabaseError("Dataset not in edit or insert mode", this);
    TRecordBuffer buf = FieldBuffer();
    if (!buf) return;
    char* slot;
    if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
      slot = buf + FDataSize + Field->Offset();
    } else {
      Field->Validate(Buffer);
      slot = buf + SlotOffset(Field->FieldNo());
    }
    if (Buffer)
      std::memcpy(slot, Buffer, size_t(Field->DataSize()));
    else
      std::memset(slot, 0, size_t(Field->DataSize()));
    slot[Field->DataSize()] = Buffer ? 1 : 0;
    if (s != dsCalcFields && s != dsFilter && s != dsNewValue)
      DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
  }

  bool BookmarkValid(const void* Bookmark) override {
    return Bookmark && IndexOfId(Read32(Bookmark)) >= 0;
  }
  int CompareBookmarks(const void* B1, const void* B2) override {
    if (!B1 || !B2) return TDataSet::CompareBookmarks(B1, B2);
    std::int32_t a = Read32(B1), b = Read32(B2);
    return a < b ? -1 : (a > b ? 1 : 0);
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
    TRecordBuffer buf = FieldBuffer();
    if (!buf) return std::make_unique<TStringStream>();
    bool writing = Mode != bmRead;
    if (writing && State() != dsEdit && State() != dsInsert)
      DatabaseError("Dataset not in edit or insert mode", this);
    std::string& data = FBufBlobs[buf][Field->FieldNo()];
    if (Mode == bmWrite) data.clear();
    return std::make_unique<TBlobStream>(this, Field, &data, buf + SlotOffset(Field->FieldNo()));
  }

protected:
  // The blob of one field in one record buffer; a write marks the field as having a value
  // and signals the change.
  class TBlobStream : public TStream {
  public:
    TBlobStream(TMemDataSet* DataSet, TField* Field, std::string* Data, char* NullFlag)
        : FDataSet(DataSet), FField(Field), FData(Data), FNullFlag(NullFlag) {}
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
      std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(Count, std::int64_t(FData->size()) - FPos));
      std::memcpy(Buffer, FData->data() + FPos, size_t(n));
      FPos += n;
      return n;
    }
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
      if (FData->size() < size_t(FPos + Count)) FData->resize(size_t(FPos + Count));
      std::memcpy(FData->data() + FPos, Buffer, size_t(Count));
      FPos += Count;
      *FNullFlag = 1;
      FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
      return Count;
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
      std::int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPos : std::int64_t(FData->size());
      FPos = base + Offset;
      return FPos;
    }

  private:
    TMemDataSet* FDataSet;
    TField* FField;
    std::string* FData;
    char* FNullFlag;
    std::int64_t FPos = 0;
  };

  TRecordBuffer AllocRecordBuffer() override {
    auto* b = new char[size_t(FBufferSize)]();
    return b;
  }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    FBufBlobs.erase(Buffer);
    delete[] Buffer;
    Buffer = nullptr;
  }
  int GetRecordSize() override { return FDataSize; }
  void InternalInitRecord(TRecordBuffer Buffer) override {
    std::memset(Buffer, 0, size_t(FDataSize));
    FBufBlobs[Buffer].clear();
  }
  void ClearCalcFields(TRecordBuffer Buffer) override {
    std::memset(Buffer + FDataSize, 0, size_t(CalcFieldsSize()));
  }
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override {
    std::memcpy(Data, Buffer + InfoOffset(), 4);
  }
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override {
    std::memcpy(Buffer + InfoOffset(), Data, 4);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override {
    return TBookmarkFlag(Buffer[InfoOffset() + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
    Buffer[InfoOffset() + 4] = char(Value);
  }

  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override {
    int n = int(FStore.size());
    TGetResult r = grOK;
    switch (GetMode) {
      case gmCurrent:
        if (FPos < 0 || FPos >= n) r = grError;
        break;
      case gmNext:
        do ++FPos; while (FPos < n && !Accept(FPos));
        if (FPos >= n) {
          FPos = n;
          r = grEOF;
        }
        break;
      case gmPrior:
        do --FPos; while (FPos >= 0 && !Accept(FPos));
        if (FPos < 0) {
          FPos = -1;
          r = grBOF;
        }
        break;
    }
    if (r == grOK) {
      Fill(Buffer, FPos);
      GetCalcFields(Buffer);
    }
    return r;
  }

  void InternalOpen() override {
    if (DefaultFields()) CreateFields();
    BindFields(true);
    FDataSize = 0;
    for (int i = 0; i < FieldDefs()->Count(); ++i)
      FDataSize += FieldTypeDataSize(FieldDefs()->Items(i)->DataType(), FieldDefs()->Items(i)->Size()) + 1;
    FBufferSize = FDataSize + CalcFieldsSize() + 5;
    SetBookmarkSize(4);
    // Stored records keep their layout across opens only when the definitions do not change.
    for (Record& r : FStore) r.Data.resize(size_t(FDataSize));
    FPos = -1;
    FOpen = true;
  }
  void InternalClose() override {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FOpen = false;
  }
  bool IsCursorOpen() override { return FOpen; }
  void InternalFirst() override { FPos = -1; }
  void InternalLast() override { FPos = int(FStore.size()); }
  void InternalGotoBookmark(const void* Bookmark) override {
    int i = IndexOfId(Read32(Bookmark));
    if (i < 0) DatabaseError("Record not found", this);
    FPos = i;
  }
  void InternalSetToRecord(TRecordBuffer Buffer) override {
    InternalGotoBookmark(Buffer + InfoOffset());
  }
  void InternalPost() override {
    ++InternalPostCount;
    if (State() == dsEdit) {
      std::memcpy(FStore[size_t(FPos)].Data.data(), ActiveBuffer(), size_t(FDataSize));
      FStore[size_t(FPos)].Blobs = FBufBlobs[ActiveBuffer()];
    } else {
      Record r{++FLastId, std::vector<char>(ActiveBuffer(), ActiveBuffer() + FDataSize),
               FBufBlobs[ActiveBuffer()]};
      int at = std::clamp(FPos, 0, int(FStore.size()));
      FStore.insert(FStore.begin() + at, std::move(r));
      FPos = at;
    }
  }
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override {
    ++InternalPostCount;
    Record r{++FLastId, std::vector<char>(Buffer, Buffer + FDataSize), FBufBlobs[Buffer]};
    int at = Append ? int(FStore.size()) : std::clamp(FPos, 0, int(FStore.size()));
    FStore.insert(FStore.begin() + at, std::move(r));
    FPos = at;
  }
  void InternalDelete() override {
    FStore.erase(FStore.begin() + FPos);
  }
  bool GetCanModify() override { return !FReadOnly; }
  int GetRecordCount() override {
    int n = 0;
    for (int i = 0; i < int(FStore.size()); ++i)
      if (Accept(i)) ++n;
    return n;
  }
  int GetRecNo() override {
    if (IsEmpty()) return 0;
    int i = IndexOfId(Read32(ActiveBuffer() + InfoOffset()));
    int n = 0;
    for (int k = 0; k <= i; ++k)
      if (Accept(k)) ++n;
    return n;
  }

private:
  static std::int32_t Read32(const void* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  int InfoOffset() const { return FDataSize + CalcFieldsSize(); }
  int SlotOffset(int FieldNo) const {
    int off = 0;
    for (int i = 0; i < FieldNo - 1; ++i)
      off += FieldTypeDataSize(FieldDefs()->Items(i)->DataType(), FieldDefs()->Items(i)->Size()) + 1;
    return off;
  }
  int IndexOfId(std::int32_t Id) const {
    for (size_t i = 0; i < FStore.size(); ++i)
      if (FStore[i].Id == Id) return int(i);
    return -1;
  }
  void Fill(TRecordBuffer Buffer, int Index) {
    std::memcpy(Buffer, FStore[size_t(Index)].Data.data(), size_t(FDataSize));
    std::memcpy(Buffer + InfoOffset(), &FStore[size_t(Index)].Id, 4);
    Buffer[InfoOffset() + 4] = char(bfCurrent);
    FBufBlobs[Buffer] = FStore[size_t(Index)].Blobs;
  }
  TRecordBuffer FieldBuffer() {
    switch (State()) {
      case dsInactive: return nullptr;
      case dsCalcFields: return CalcBuffer();
      case dsFilter: return FFilterBuffer.data();
      case dsOldValue: {
        // The record as stored, for the one being edited.
        TRecordBuffer active = ActiveBuffer();
        int i = active ? IndexOfId(Read32(active + InfoOffset())) : -1;
        if (i < 0) return active;
        FOldBuffer.assign(size_t(FBufferSize), 0);
        Fill(FOldBuffer.data(), i);
        return FOldBuffer.data();
      }
      case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
      default: return ActiveBuffer();
    }
  }
  bool Accept(int Index) {
    if (!Filtered() || !OnFilterRecord()) return true;
    FFilterBuffer.assign(size_t(FBufferSize), 0);
    Fill(FFilterBuffer.data(), Index);
    TDataSetState saved = SetTempState(dsFilter);
    bool accept = true;
    try {
      OnFilterRecord()(this, accept);
    } catch (...) {
      RestoreState(saved);
      throw;
    }
    RestoreState(saved);
    return accept;
  }

  std::vector<Record> FStore;
  std::vector<char> FFilterBuffer;
  std::vector<char> FOldBuffer;
  std::map<TRecordBuffer, std::map<int, std::string>> FBufBlobs;
  std::int32_t FLastId = 0;
  int FPos = -1;
  int FDataSize = 0;
  int FBufferSize = 0;
  bool FOpen = false;
  bool FReadOnly = false;
};
