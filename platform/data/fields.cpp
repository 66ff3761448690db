#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "db.h"
#include "dbconv.h"
#include "text.h"

// ---- native layouts -------------------------------------------------------------------------

int FieldTypeDataSize(TFieldType Type, int Size) {
  switch (Type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: return std::max(Size, 0) * 4 + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime: return 8;
    case ftBytes: return std::max(Size, 0);
    case ftVarBytes: return std::max(Size, 0) + 2;
    default: return 0;
  }
}

std::int32_t DateTimeToNativeDate(TDateTime Value) { return DateTimeToTimeStamp(Value).Date; }

std::int32_t DateTimeToNativeTime(TDateTime Value) { return DateTimeToTimeStamp(Value).Time; }

double DateTimeToNativeDateTime(TDateTime Value) {
  TTimeStamp ts = DateTimeToTimeStamp(Value);
  return double(ts.Date) * MSecsPerDay + ts.Time;
}

TDateTime NativeDateToDateTime(std::int32_t Days) {
  return TimeStampToDateTime(TTimeStamp{0, Days});
}

TDateTime NativeTimeToDateTime(std::int32_t MSecs) {
  return TimeStampToDateTime(TTimeStamp{MSecs, DateDelta});
}

TDateTime NativeDateTimeToDateTime(double MSecs) {
  double whole = std::round(MSecs);
  if (!std::isfinite(whole) || whole < 0 || whole > 1e15)
    throw EConvertError("Invalid date-time value");
  auto ms = static_cast<std::int64_t>(whole);
  return TimeStampToDateTime(TTimeStamp{int(ms % MSecsPerDay), int(ms / MSecsPerDay)});
}

// ---- field definitions ----------------------------------------------------------------------

TFieldDef::TFieldDef(TCollection* Collection) : TCollectionItem(Collection) {}

void TFieldDef::SetName(const std::string& Value) { FName = Value; }
void TFieldDef::SetDataType(TFieldType Value) { FDataType = Value; }
void TFieldDef::SetSize(int Value) { FSize = Value; }
void TFieldDef::SetPrecision(int Value) { FPrecision = Value; }
void TFieldDef::SetRequired(bool Value) { FRequired = Value; }
void TFieldDef::SetFieldNo(int Value) { FFieldNo = Value; }
int TFieldDef::FieldNo() const { return FFieldNo > 0 ? FFieldNo : Index() + 1; }

TFieldDefs* TFieldDef::FieldDefs() const { return static_cast<TFieldDefs*>(Collection()); }

void TFieldDef::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TFieldDef*>(Source)) {
    FName = src->FName;
    FDataType = src->FDataType;
    FSize = src->FSize;
    FPrecision = src->FPrecision;
    FRequired = src->FRequired;
    FInternalCalcField = src->FInternalCalcField;
    return;
  }
  TCollectionItem::Assign(Source);
}

namespace {

bool IsSizedType(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: case ftBytes: case ftVarBytes:
    case ftBCD: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob: return true;
    default: return false;
  }
}

}  // namespace

TField* TFieldDef::CreateField(TComponent* Owner) {
  TField* f = CreateFieldForType(FDataType, Owner);
  if (!f) DatabaseError("Field '" + FName + "' is of an unknown type");
  try {
    if (IsSizedType(FDataType)) f->SetSize(FSize);
    f->SetFieldName(FName);
    f->SetRequired(FRequired);
    if (auto* ff = dynamic_cast<TFloatField*>(f); ff && FPrecision > 0) ff->SetPrecision(FPrecision);
    if (auto* bf = dynamic_cast<TBCDField*>(f)) bf->SetPrecision(FPrecision);
    if (FInternalCalcField) f->SetFieldKind(fkInternalCalc);
    TFieldDefs* defs = FieldDefs();
    if (defs && defs->DataSet()) f->SetDataSet(defs->DataSet());
  } catch (...) {
    delete f;
    throw;
  }
  return f;
}

TFieldDefs::TFieldDefs(TDataSet* Owner)
    : TCollection(TCollection::Factory<TFieldDef>(), Owner), FDataSet(Owner) {}

TFieldDef* TFieldDefs::Items(int Index) const {
  return static_cast<TFieldDef*>(TCollection::Items(Index));
}

TFieldDef* TFieldDefs::AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
  TFieldDef* d = AddFieldDef();
  d->SetName(Name);
  d->SetDataType(DataType);
  d->SetSize(Size);
  d->SetRequired(Required);
  return d;
}

int TFieldDefs::IndexOf(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseError("Field '" + std::string(Name) + "' not found", FDataSet);
  return Items(i);
}

void TFieldDefs::Update() {
  if (FUpdated || !FDataSet) return;
  FDataSet->InitFieldDefs();
  FUpdated = true;
}

// ---- the field list -------------------------------------------------------------------------

TField* TFields::Fields(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FList[size_t(Index)];
}

void TFields::Add(TField* Field) {
  if (std::find(FList.begin(), FList.end(), Field) != FList.end()) return;
  FList.push_back(Field);
  Field->FDataSet = FDataSet;
}

void TFields::Remove(TField* Field) {
  auto it = std::find(FList.begin(), FList.end(), Field);
  if (it == FList.end()) return;
  FList.erase(it);
  Field->FDataSet = nullptr;
}

void TFields::Clear() {
  while (!FList.empty()) {
    TField* f = FList.back();
    FList.pop_back();
    f->FDataSet = nullptr;
    delete f;
  }
}

int TFields::IndexOf(const TField* Field) const {
  auto it = std::find(FList.begin(), FList.end(), Field);
  return it == FList.end() ? -1 : int(it - FList.begin());
}

TField* TFields::FindField(std::string_view Name) const {
  for (TField* f : FList)
    if (SameText(f->FieldName(), Name)) return f;
  return nullptr;
}

TField* TFields::FieldByName(std::string_view Name) const {
  TField* f = FindField(Name);
  if (!f) DatabaseError("Field '" + std::string(Name) + "' not found", FDataSet);
  return f;
}

TField* TFields::FieldByNumber(int FieldNo) const {
  for (TField* f : FList)
    if (f->FieldNo() == FieldNo) return f;
  return nullptr;
}

// ---- TField ---------------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (FDataSet) FDataSet->Fields()->Remove(this);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

void TField::CheckInactive() const {
  if (FDataSet) FDataSet->CheckInactive();
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet) FDataSet->CheckInactive();
  if (Value) {
    Value->CheckInactive();
    if (!FFieldName.empty() && Value->FindField(FFieldName))
      DatabaseError("Duplicate field name '" + FFieldName + "'", Value);
  }
  if (FDataSet) FDataSet->Fields()->Remove(this);
  if (Value) Value->Fields()->Add(this);
}

void TField::SetFieldName(const std::string& Value) {
  if (FDataSet) {
    FDataSet->CheckInactive();
    TField* other = FDataSet->FindField(Value);
    if (other && other != this) DatabaseError("Duplicate field name '" + Value + "'", FDataSet);
  }
  FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind) return;
  CheckInactive();
  FFieldKind = Value;
}

void TField::SetCalculated(bool Value) {
  if (Value)
    SetFieldKind(fkCalculated);
  else if (FFieldKind == fkCalculated)
    SetFieldKind(fkData);
}

void TField::SetLookup(bool Value) {
  if (Value)
    SetFieldKind(fkLookup);
  else if (FFieldKind == fkLookup)
    SetFieldKind(fkData);
}

void TField::SetDataType(TFieldType Value) { FDataType = Value; }

int TField::Index() const { return FDataSet ? FDataSet->Fields()->IndexOf(this) : -1; }

void TField::SetSize(int Value) {
  CheckInactive();
  FSize = Value;
}

int TField::DataSize() const { return FieldTypeDataSize(FDataType, FSize); }

void TField::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  if (FDataSet && FDataSet->Active()) FDataSet->DataEvent(deLayoutChange, 0);
}

void TField::SetDisplayLabel(const std::string& Value) {
  FDisplayLabel = Value == FFieldName ? std::string() : Value;
  if (FDataSet && FDataSet->Active()) FDataSet->DataEvent(deLayoutChange, 0);
}

std::string TField::DisplayName() const {
  return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
}

bool TField::HasDefaultWidth(int& Width) const {
  Width = 10;
  return true;
}

int TField::DisplayWidth() const {
  if (FDisplayWidth > 0) return FDisplayWidth;
  int w = 10;
  HasDefaultWidth(w);
  return w;
}

bool TField::CanModify() const {
  if (FReadOnly || !FDataSet) return false;
  if (FFieldKind != fkData && FFieldKind != fkLookup) return false;
  return FDataSet->CanModify();
}

void TField::AccessError(const char* TypeName) const {
  DatabaseError("Cannot access field '" + DisplayName() + "' as type " + TypeName);
}

bool TField::GetData(void* Buffer) const {
  if (FValidating) {
    if (!FValueBuffer) return false;
    if (Buffer) std::memcpy(Buffer, FValueBuffer, size_t(DataSize()));
    return true;
  }
  if (!FDataSet) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  return FDataSet->GetFieldData(const_cast<TField*>(this), Buffer);
}

void TField::SetData(const void* Buffer) {
  if (!FDataSet) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  if (FReadOnly && FFieldKind == fkData &&
      (FDataSet->State() == dsEdit || FDataSet->State() == dsInsert))
    DatabaseError("Field '" + DisplayName() + "' cannot be modified");
  FDataSet->SetFieldData(this, Buffer);
}

void TField::Validate(const void* Buffer) {
  if (!OnValidate) return;
  // While the handler runs, the field reads the value about to be stored.
  const void* savedBuffer = FValueBuffer;
  bool savedValidating = FValidating;
  FValueBuffer = Buffer;
  FValidating = true;
  try {
    OnValidate(this);
  } catch (...) {
    FValueBuffer = savedBuffer;
    FValidating = savedValidating;
    throw;
  }
  FValueBuffer = savedBuffer;
  FValidating = savedValidating;
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::FocusControl() {
  if (FDataSet && FDataSet->Active()) {
    TField* field = this;
    FDataSet->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(&field));
  }
}

void TField::SetLookupDataSet(TDataSet* Value) {
  CheckInactive();
  FLookupDataSet = Value;
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

std::string TField::GetAsString() const { AccessError("String"); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
double TField::GetAsFloat() const { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return FloatToCurr(GetAsFloat()); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }

void TField::SetAsString(const std::string&) { AccessError("String"); }
void TField::SetAsInteger(std::int32_t) { AccessError("Integer"); }
void TField::SetAsLargeInt(std::int64_t Value) {
  if (Value < std::numeric_limits<std::int32_t>::min() ||
      Value > std::numeric_limits<std::int32_t>::max())
    AccessError("Largeint");
  SetAsInteger(std::int32_t(Value));
}
void TField::SetAsFloat(double) { AccessError("Float"); }
void TField::SetAsCurrency(Currency Value) { SetAsFloat(CurrToFloat(Value)); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
void TField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) {
    Clear();
    return;
  }
  AccessError("Variant");
}

Variant TField::ValueInState(TDataSetState State) const {
  if (!FDataSet) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  Variant v;
  FDataSet->WithTempState(State, [&] { v = AsVariant(); });
  return v;
}

Variant TField::OldValue() const { return ValueInState(dsOldValue); }
Variant TField::NewValue() const { return ValueInState(dsNewValue); }

std::string TField::GetText(bool DisplayText) const { return GetAsString(); }

std::string TField::Text() const {
  std::string r;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), r, false);
  else
    r = GetText(false);
  return r;
}

std::string TField::DisplayText() const {
  std::string r;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), r, true);
  else
    r = GetText(true);
  return r;
}

void TField::SetText(const std::string& Value) {
  if (OnSetText)
    OnSetText(this, Value);
  else
    SetFieldText(Value);
}

// ---- helpers for typed fields ---------------------------------------------------------------

namespace {

// A zero-filled buffer of a field's data size, on the stack for the usual sizes: a scan reads
// every field of every row through one, and should not pay an allocation for each.
class TDataBuffer {
public:
  explicit TDataBuffer(size_t Size) : FSize(Size) {
    if (Size > sizeof FLocal) {
      FHeap.assign(Size, 0);
      FData = FHeap.data();
    } else {
      std::memset(FLocal, 0, Size);
    }
  }
  TDataBuffer(const TDataBuffer&) = delete;
  TDataBuffer& operator=(const TDataBuffer&) = delete;
  char* Data() { return FData; }
  size_t Size() const { return FSize; }

private:
  char FLocal[512];
  std::vector<char> FHeap;
  char* FData = FLocal;
  size_t FSize;
};

template <class T>
bool ReadNative(const TField* f, T& value) {
  TDataBuffer buf(size_t(std::max<int>(f->DataSize(), int(sizeof(T)))));
  if (!f->GetData(buf.Data())) return false;
  std::memcpy(&value, buf.Data(), sizeof(T));
  return true;
}

template <class T>
void WriteNative(TField* f, T value) {
  std::vector<char> buf(size_t(std::max<int>(f->DataSize(), int(sizeof(T)))), 0);
  std::memcpy(buf.data(), &value, sizeof(T));
  f->SetData(buf.data());
}

// Float and decimal fields read as a 32-bit integer: rounded half to even, refused outside.
std::int32_t RoundToInt32(double v) {
  if (!std::isfinite(v) || v < -2147483648.5 || v >= 2147483647.5)
    throw EConvertError("'" + FloatToStr(v) + "' is not a valid integer value");
  return std::int32_t(Round(v));
}

[[noreturn]] void NotAFloatText(const std::string& Value, const TField* Field) {
  throw EConvertError("'" + Value + "' is not a valid floating point value for field '" +
                      Field->DisplayName() + "'");
}

// Empty text clears the field (false: nothing to store); other text must parse or is refused.
template <class T>
bool FloatTextValue(TField* Field, const std::string& Value, bool (*TryParse)(std::string_view, T&), T& Out) {
  if (Value.empty()) {
    Field->Clear();
    return false;
  }
  if (!TryParse(Value, Out)) NotAFloatText(Value, Field);
  return true;
}

}  // namespace

// ---- TStringField ---------------------------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  TField::SetSize(20);
}

int TStringField::DataSize() const { return FieldTypeDataSize(ftString, Size()); }

std::string TStringField::GetAsString() const {
  TDataBuffer buf{size_t(DataSize())};
  if (!GetData(buf.Data())) return std::string();
  return std::string(buf.Data(), strnlen(buf.Data(), buf.Size()));
}

void TStringField::SetAsString(const std::string& Value) {
  std::string v = Utf8Left(Value, size_t(std::max(Size(), 0)));
  std::vector<char> buf(size_t(DataSize()), 0);
  std::memcpy(buf.data(), v.data(), std::min(v.size(), buf.size() - 1));
  SetData(buf.data());
}

std::int32_t TStringField::GetAsInteger() const { return StrToInt(GetAsString()); }
double TStringField::GetAsFloat() const { return StrToFloat(GetAsString()); }
bool TStringField::GetAsBoolean() const {
  std::string s = GetAsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}
TDateTime TStringField::GetAsDateTime() const { return TextToDateTime(GetAsString()); }
Variant TStringField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsString());
}
void TStringField::SetAsInteger(std::int32_t Value) { SetAsString(IntToStr(Value)); }
void TStringField::SetAsFloat(double Value) { SetAsString(FloatToStr(Value)); }
void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "T" : "F"); }
void TStringField::SetAsDateTime(TDateTime Value) { SetAsString(DateTimeToStr(Value)); }
void TStringField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    SetAsString(Value.AsString());
}
bool TStringField::HasDefaultWidth(int& Width) const {
  Width = Size();
  return true;
}

// ---- numeric fields -------------------------------------------------------------------------

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftInteger);
}

int TIntegerField::DataSize() const { return FieldTypeDataSize(DataType(), 0); }

namespace {

void TypeRange(TFieldType t, std::int64_t& lo, std::int64_t& hi) {
  switch (t) {
    case ftSmallint: lo = -32768; hi = 32767; break;
    case ftWord: lo = 0; hi = 65535; break;
    case ftLargeint:
      lo = std::numeric_limits<std::int64_t>::min();
      hi = std::numeric_limits<std::int64_t>::max();
      break;
    default:
      lo = std::numeric_limits<std::int32_t>::min();
      hi = std::numeric_limits<std::int32_t>::max();
  }
}

}  // namespace

void TIntegerField::CheckRange(std::int64_t Value) const {
  std::int64_t lo, hi;
  TypeRange(DataType(), lo, hi);
  if (FMinValue != 0 || FMaxValue != 0) {
    lo = std::max(lo, FMinValue);
    hi = std::min(hi, FMaxValue);
  }
  if (Value < lo || Value > hi)
    DatabaseError(IntToStr(Value) + " is not a valid value for field '" + DisplayName() +
                  "'. The allowed range is " + IntToStr(lo) + " to " + IntToStr(hi));
}

bool TIntegerField::GetValue(std::int64_t& Value) const {
  switch (DataType()) {
    case ftSmallint: {
      std::int16_t v;
      if (!ReadNative(this, v)) return false;
      Value = v;
      return true;
    }
    case ftWord: {
      std::uint16_t v;
      if (!ReadNative(this, v)) return false;
      Value = v;
      return true;
    }
    case ftLargeint: return ReadNative(this, Value);
    default: {
      std::int32_t v;
      if (!ReadNative(this, v)) return false;
      Value = v;
      return true;
    }
  }
}

void TIntegerField::StoreValue(std::int64_t Value) {
  CheckRange(Value);
  switch (DataType()) {
    case ftSmallint: WriteNative(this, std::int16_t(Value)); break;
    case ftWord: WriteNative(this, std::uint16_t(Value)); break;
    case ftLargeint: WriteNative(this, Value); break;
    default: WriteNative(this, std::int32_t(Value)); break;
  }
}

std::string TIntegerField::GetAsString() const {
  std::int64_t v;
  return GetValue(v) ? IntToStr(v) : std::string();
}
std::int32_t TIntegerField::GetAsInteger() const {
  std::int64_t v;
  return GetValue(v) ? std::int32_t(v) : 0;
}
std::int64_t TIntegerField::GetAsLargeInt() const {
  std::int64_t v;
  return GetValue(v) ? v : 0;
}
double TIntegerField::GetAsFloat() const { return double(GetAsLargeInt()); }
Variant TIntegerField::GetAsVariant() const {
  std::int64_t v;
  if (!GetValue(v)) return Null();
  switch (DataType()) {
    case ftSmallint: return Variant::FromSmallint(std::int16_t(v));
    case ftWord: return Variant::FromWord(std::uint16_t(v));
    default: return Variant(static_cast<long long>(v));
  }
}

void TIntegerField::SetAsString(const std::string& Value) {
  if (Value.empty()) {
    Clear();
    return;
  }
  std::int64_t v;
  if (!TryStrToInt64(Trim(Value), v))
    throw EConvertError("'" + Value + "' is not a valid integer value for field '" +
                        DisplayName() + "'");
  StoreValue(v);
}
void TIntegerField::SetAsInteger(std::int32_t Value) { StoreValue(Value); }
void TIntegerField::SetAsLargeInt(std::int64_t Value) { StoreValue(Value); }
void TIntegerField::SetAsFloat(double Value) {
  if (!std::isfinite(Value) || std::fabs(Value) >= 9.2e18)
    DatabaseError(FloatToStr(Value) + " is not a valid value for field '" + DisplayName() + "'");
  StoreValue(Round(Value));
}
void TIntegerField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    StoreValue(Value.AsInt64());
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
}
TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftWord); }
TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftAutoInc);
}
TLargeintField::TLargeintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftLargeint);
}
std::int32_t TLargeintField::GetAsInteger() const {
  std::int64_t v = GetAsLargeInt();
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    AccessError("Integer");
  return std::int32_t(v);
}

// ---- TFloatField ----------------------------------------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftFloat); }

double TFloatField::GetAsFloat() const {
  double v;
  return ReadNative(this, v) ? v : 0.0;
}
std::string TFloatField::GetAsString() const {
  double v;
  return ReadNative(this, v) ? FloatToStr(v) : std::string();
}
std::string TFloatField::GetText(bool DisplayText) const {
  double v;
  if (!ReadNative(this, v)) return std::string();
  if (DisplayText && !DisplayFormat().empty()) return FormatFloat(DisplayFormat(), v);
  return FloatToStr(v);
}
std::int32_t TFloatField::GetAsInteger() const { return RoundToInt32(GetAsFloat()); }
std::int64_t TFloatField::GetAsLargeInt() const {
  double v = GetAsFloat();
  if (!std::isfinite(v) || std::fabs(v) >= 9.2e18)
    throw EConvertError("'" + FloatToStr(v) + "' is not a valid integer value");
  return Round(v);
}
Variant TFloatField::GetAsVariant() const {
  double v;
  if (!ReadNative(this, v)) return Null();
  return Variant(v);
}
void TFloatField::SetAsFloat(double Value) { WriteNative(this, Value); }
void TFloatField::SetAsString(const std::string& Value) {
  double v;
  if (FloatTextValue(this, Value, TryStrToFloat, v)) SetAsFloat(v);
}
void TFloatField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    SetAsFloat(Value.AsDouble());
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}
Variant TCurrencyField::GetAsVariant() const {
  double v;
  if (!ReadNative(this, v)) return Null();
  return Variant(FloatToCurr(v));
}

// ---- TBCDField ------------------------------------------------------------------------------

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftBCD);
  TField::SetSize(4);
}

Currency TBCDField::GetAsCurrency() const {
  std::int64_t v;
  return ReadNative(this, v) ? Currency{v} : Currency{};
}
std::string TBCDField::GetAsString() const {
  std::int64_t v;
  return ReadNative(this, v) ? CurrToStr(Currency{v}) : std::string();
}
std::int32_t TBCDField::GetAsInteger() const { return RoundToInt32(GetAsFloat()); }
Variant TBCDField::GetAsVariant() const {
  std::int64_t v;
  if (!ReadNative(this, v)) return Null();
  return Variant(Currency{v});
}
void TBCDField::SetAsCurrency(Currency Value) { WriteNative(this, Value.Value); }
void TBCDField::SetAsString(const std::string& Value) {
  Currency c;
  if (FloatTextValue(this, Value, TryStrToCurr, c)) SetAsCurrency(c);
}
void TBCDField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    SetAsCurrency(Value.AsCurrency());
}

// ---- TBooleanField --------------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& Value) {
  FDisplayValues = Value;
  size_t semi = Value.find(';');
  if (semi == std::string::npos) {
    FTrueText = Value;
    FFalseText.clear();
  } else {
    FTrueText = Value.substr(0, semi);
    FFalseText = Value.substr(semi + 1);
  }
  if (FTrueText.empty() && FFalseText.empty()) {
    FTrueText = "True";
    FFalseText = "False";
  }
}

bool TBooleanField::GetAsBoolean() const {
  std::uint16_t v;
  return ReadNative(this, v) && v != 0;
}
std::int32_t TBooleanField::GetAsInteger() const { return GetAsBoolean() ? 1 : 0; }
std::string TBooleanField::GetAsString() const {
  std::uint16_t v;
  if (!ReadNative(this, v)) return std::string();
  return v ? FTrueText : FFalseText;
}
Variant TBooleanField::GetAsVariant() const {
  std::uint16_t v;
  if (!ReadNative(this, v)) return Null();
  return Variant(v != 0);
}
void TBooleanField::SetAsBoolean(bool Value) { WriteNative(this, std::uint16_t(Value ? 1 : 0)); }
void TBooleanField::SetAsString(const std::string& Value) {
  std::string v = Trim(Value);
  if (v.empty()) {
    Clear();
    return;
  }
  // The text may be the start of either display value.
  auto startsText = [&](const std::string& full) {
    return !full.empty() && AnsiSameText(v, Utf8Left(full, Utf8Length(v)));
  };
  if (startsText(FFalseText))
    SetAsBoolean(false);
  else if (startsText(FTrueText))
    SetAsBoolean(true);
  else
    throw EConvertError("'" + Value + "' is not a valid boolean value for field '" +
                        DisplayName() + "'");
}
void TBooleanField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else if (Value.VarType() == varString)
    SetAsString(Value.AsString());
  else
    SetAsBoolean(Value.AsBoolean());
}

// ---- date and time fields -------------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }

int TDateTimeField::DataSize() const { return FieldTypeDataSize(DataType(), 0); }

TDateTime TDateTimeField::GetAsDateTime() const {
  switch (DataType()) {
    case ftDate: {
      std::int32_t v;
      return ReadNative(this, v) ? NativeDateToDateTime(v) : 0.0;
    }
    case ftTime: {
      std::int32_t v;
      return ReadNative(this, v) ? NativeTimeToDateTime(v) : 0.0;
    }
    default: {
      double v;
      return ReadNative(this, v) ? NativeDateTimeToDateTime(v) : 0.0;
    }
  }
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  switch (DataType()) {
    case ftDate: WriteNative(this, DateTimeToNativeDate(Value)); break;
    case ftTime: WriteNative(this, DateTimeToNativeTime(Value)); break;
    default: WriteNative(this, DateTimeToNativeDateTime(Value)); break;
  }
}

std::string TDateTimeField::GetText(bool DisplayText) const {
  if (IsNull()) return std::string();
  TDateTime v = GetAsDateTime();
  if (DisplayText && !FDisplayFormat.empty()) return FormatDateTime(FDisplayFormat, v);
  switch (DataType()) {
    case ftDate: return FormatDateTime("ddddd", v);
    case ftTime: return FormatDateTime("tt", v);
    default: return FormatDateTime("c", v);
  }
}

std::string TDateTimeField::GetAsString() const { return GetText(false); }

Variant TDateTimeField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant::FromDateTime(GetAsDateTime());
}

void TDateTimeField::SetAsString(const std::string& Value) {
  if (Trim(Value).empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate: SetAsDateTime(TextToDate(Value)); break;
    case ftTime: SetAsDateTime(TextToTime(Value)); break;
    default: SetAsDateTime(TextToDateTime(Value)); break;
  }
}

void TDateTimeField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else if (Value.VarType() == varString)
    SetAsString(Value.AsString());
  else
    SetAsDateTime(Value.AsDateTime());
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

// ---- binary fields --------------------------------------------------------------------------

TBinaryField::TBinaryField(TComponent* AOwner) : TField(AOwner) { TField::SetSize(16); }

std::string TBinaryField::GetAsString() const {
  std::vector<char> buf(size_t(std::max(DataSize(), 2)), 0);
  if (!GetData(buf.data())) return std::string();
  if (DataType() == ftVarBytes) {
    std::uint16_t len;
    std::memcpy(&len, buf.data(), 2);
    len = std::uint16_t(std::min<int>(len, Size()));
    return std::string(buf.data() + 2, len);
  }
  return std::string(buf.data(), size_t(Size()));
}

void TBinaryField::SetAsString(const std::string& Value) {
  std::vector<char> buf(size_t(std::max(DataSize(), 2)), 0);
  size_t n = std::min(Value.size(), size_t(std::max(Size(), 0)));
  if (DataType() == ftVarBytes) {
    auto len = std::uint16_t(n);
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, Value.data(), n);
  } else {
    std::memcpy(buf.data(), Value.data(), n);
  }
  SetData(buf.data());
}

Variant TBinaryField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsString());
}

TBytesField::TBytesField(TComponent* AOwner) : TBinaryField(AOwner) { SetDataType(ftBytes); }
TVarBytesField::TVarBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
  SetDataType(ftVarBytes);
}

// ---- blob fields ----------------------------------------------------------------------------

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }

void TBlobField::SetBlobType(TFieldType Value) { SetDataType(Value); }

std::string TBlobField::GetAsString() const {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  std::unique_ptr<TStream> s = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (!s) return std::string();
  std::string out;
  char chunk[4096];
  for (;;) {
    std::int64_t n = s->Read(chunk, sizeof chunk);
    if (n <= 0) break;
    out.append(chunk, size_t(n));
  }
  return out;
}

void TBlobField::SetAsString(const std::string& Value) {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  if (ReadOnly() && (DataSet()->State() == dsEdit || DataSet()->State() == dsInsert))
    DatabaseError("Field '" + DisplayName() + "' cannot be modified");
  std::unique_ptr<TStream> s = DataSet()->CreateBlobStream(this, bmWrite);
  if (!s) DatabaseError("Field '" + DisplayName() + "' has no blob storage", DataSet());
  s->WriteBuffer(Value.data(), std::int64_t(Value.size()));
}

void TBlobField::Clear() {
  if (!DataSet()) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  {
    std::unique_ptr<TStream> s = DataSet()->CreateBlobStream(this, bmWrite);
  }
  SetData(nullptr);
}

void TBlobField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    SetAsString(Value.AsString());
}

Variant TBlobField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsString());
}

std::string TBlobField::GetText(bool DisplayText) const {
  if (!DisplayText) return GetAsString();
  std::string name = DataType() == ftGraphic ? "Graphic" : "Blob";
  return IsNull() ? "(" + LowerCase(name) + ")" : "(" + UpperCase(name) + ")";
}

void TBlobField::LoadFromStream(TStream* Stream) {
  std::string data;
  Stream->SetPosition(0);
  char chunk[4096];
  for (;;) {
    std::int64_t n = Stream->Read(chunk, sizeof chunk);
    if (n <= 0) break;
    data.append(chunk, size_t(n));
  }
  SetAsString(data);
}

void TBlobField::SaveToStream(TStream* Stream) const {
  std::string data = GetAsString();
  Stream->WriteBuffer(data.data(), std::int64_t(data.size()));
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftMemo); }

std::string TMemoField::GetText(bool DisplayText) const {
  if (!DisplayText) return GetAsString();
  return IsNull() ? "(memo)" : "(MEMO)";
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftGraphic); }

// ---- field classes by type ------------------------------------------------------------------

TField* CreateFieldForType(TFieldType Type, TComponent* Owner) {
  switch (Type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
      auto* f = new TStringField(Owner);
      f->SetDataType(Type);
      return f;
    }
    case ftSmallint: return new TSmallintField(Owner);
    case ftInteger: return new TIntegerField(Owner);
    case ftWord: return new TWordField(Owner);
    case ftBoolean: return new TBooleanField(Owner);
    case ftFloat: return new TFloatField(Owner);
    case ftCurrency: return new TCurrencyField(Owner);
    case ftBCD: return new TBCDField(Owner);
    case ftDate: return new TDateField(Owner);
    case ftTime: return new TTimeField(Owner);
    case ftDateTime: return new TDateTimeField(Owner);
    case ftBytes: return new TBytesField(Owner);
    case ftVarBytes: return new TVarBytesField(Owner);
    case ftAutoInc: return new TAutoIncField(Owner);
    case ftLargeint: return new TLargeintField(Owner);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: {
      auto* f = new TMemoField(Owner);
      f->SetBlobType(Type);
      return f;
    }
    case ftGraphic: return new TGraphicField(Owner);
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: {
      auto* f = new TBlobField(Owner);
      f->SetBlobType(Type);
      return f;
    }
    default: return nullptr;
  }
}
