#include "params.h"

#include <cstring>
#include <limits>

#include "filer.h"
#include "text.h"

namespace {

bool IsTextType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftMemo || t == ftFmtMemo;
}

bool IsBytesType(TFieldType t) { return t == ftBytes || t == ftVarBytes || IsBlobFieldType(t); }

// A 16-bit parameter refuses what does not fit rather than keep a wrapped value.
std::int32_t InRange(const Variant& v, std::int32_t Low, std::int32_t High, std::uint16_t To) {
  std::int32_t n = v.AsInteger();
  if (n < Low || n > High)
    throw EVariantError("Could not convert variant of type (" + VarTypeName(v.VarType()) +
                        ") into type (" + VarTypeName(To) + ")");
  return n;
}

// The kind of variant a parameter of type t holds.
Variant ConvertForType(TFieldType t, const Variant& v) {
  switch (t) {
    case ftSmallint: return Variant::FromSmallint(std::int16_t(InRange(v, -32768, 32767, varSmallint)));
    case ftWord: return Variant::FromWord(std::uint16_t(InRange(v, 0, 65535, varWord)));
    case ftInteger:
    case ftAutoInc: return Variant(v.AsInteger());
    case ftLargeint: return Variant(static_cast<long long>(v.AsInt64()));
    case ftBoolean: return Variant(v.AsBoolean());
    case ftFloat: return Variant(v.AsDouble());
    case ftCurrency:
    case ftBCD: return Variant(v.AsCurrency());
    case ftDate:
    case ftTime:
    case ftDateTime: return Variant::FromDateTime(v.AsDateTime());
    case ftUnknown: return v;
    default: return Variant(v.AsString());
  }
}

TFieldType TypeOfVariant(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint: return ftSmallint;
    case varWord: return ftWord;
    case varInteger:
    case varByte: return ftInteger;
    case varInt64: return ftLargeint;
    case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    default: return ftUnknown;
  }
}

template <class T>
void Put(void* Buffer, T v) {
  std::memcpy(Buffer, &v, sizeof v);
}

template <class T>
T Get(const void* Buffer) {
  T v;
  std::memcpy(&v, Buffer, sizeof v);
  return v;
}

}  // namespace

// ---- TParam ---------------------------------------------------------------------------------

TParam::TParam(TCollection* Collection) : TCollectionItem(Collection) {}

TParam::TParam(TParams* AParams, TParamType AParamType)
    : TCollectionItem(AParams), FParamType(AParamType) {}

TParams* TParam::Params() const { return static_cast<TParams*>(Collection()); }

void TParam::SetDataType(TFieldType Value) {
  if (Value == FDataType) return;
  FDataType = Value;
  if (IsNull()) return;
  try {
    FData = ConvertForType(Value, FData);
  } catch (const Exception&) {
    Clear();
  }
}

void TParam::Clear() { FData = Null(); }

void TParam::SetValue(const Variant& Value) {
  if (Value.IsArray()) throw EVariantError("Invalid variant type conversion");
  if (FDataType == ftUnknown) FDataType = TypeOfVariant(Value);
  if (Value.IsNull() || Value.IsEmpty())
    FData = Null();
  else
    FData = ConvertForType(FDataType, Value);
  FBound = !Value.IsEmpty();
}

void TParam::SetTyped(TFieldType Type, const Variant& Value) {
  FDataType = Type;
  FData = Value;
  FBound = true;
}

void TParam::SetAsBoolean(bool Value) { SetTyped(ftBoolean, Variant(Value)); }
void TParam::SetAsFloat(double Value) { SetTyped(ftFloat, Variant(Value)); }
void TParam::SetAsCurrency(Currency Value) { SetTyped(ftCurrency, Variant(Value)); }
void TParam::SetAsBCD(Currency Value) { SetTyped(ftBCD, Variant(Value)); }
void TParam::SetAsInteger(std::int32_t Value) { SetTyped(ftInteger, Variant(int(Value))); }
void TParam::SetAsLargeInt(std::int64_t Value) {
  SetTyped(ftLargeint, Variant(static_cast<long long>(Value)));
}
void TParam::SetAsWord(std::int32_t Value) {
  if (Value < 0 || Value > 65535)
    DatabaseError(IntToStr(Value) + " is not a valid value for parameter '" + FName + "'");
  SetTyped(ftWord, Variant::FromWord(std::uint16_t(Value)));
}
void TParam::SetAsSmallInt(std::int32_t Value) {
  if (Value < -32768 || Value > 32767)
    DatabaseError(IntToStr(Value) + " is not a valid value for parameter '" + FName + "'");
  SetTyped(ftSmallint, Variant::FromSmallint(std::int16_t(Value)));
}
void TParam::SetAsString(const std::string& Value) { SetTyped(ftString, Variant(Value)); }
void TParam::SetAsDate(TDateTime Value) { SetTyped(ftDate, Variant::FromDateTime(Value)); }
void TParam::SetAsTime(TDateTime Value) { SetTyped(ftTime, Variant::FromDateTime(Value)); }
void TParam::SetAsDateTime(TDateTime Value) {
  SetTyped(ftDateTime, Variant::FromDateTime(Value));
}
void TParam::SetAsMemo(const std::string& Value) { SetTyped(ftMemo, Variant(Value)); }
void TParam::SetAsBlob(const std::string& Bytes) { SetTyped(ftBlob, Variant(Bytes)); }

bool TParam::AsBoolean() const { return IsNull() ? false : FData.AsBoolean(); }
double TParam::AsFloat() const { return IsNull() ? 0.0 : FData.AsDouble(); }
Currency TParam::AsCurrency() const { return IsNull() ? Currency{} : FData.AsCurrency(); }
std::int32_t TParam::AsInteger() const { return IsNull() ? 0 : FData.AsInteger(); }
std::int64_t TParam::AsLargeInt() const { return IsNull() ? 0 : FData.AsInt64(); }
std::string TParam::AsString() const { return IsNull() ? std::string() : FData.AsString(); }
TDateTime TParam::AsDateTime() const { return IsNull() ? 0.0 : FData.AsDateTime(); }

void TParam::AssignFieldValue(TField* Field, const Variant& Value) {
  if (!Field) return;
  FDataType = Field->DataType() == ftAutoInc ? ftInteger : Field->DataType();
  if (Value.IsNull() || Value.IsEmpty())
    Clear();
  else
    FData = ConvertForType(FDataType, Value);
  FBound = true;
}

void TParam::AssignField(TField* Field) {
  if (!Field) return;
  AssignFieldValue(Field, Field->IsNull() ? Null() : Field->AsVariant());
  FName = Field->FieldName();
}

void TParam::AssignParam(const TParam* Param) {
  FDataType = Param->FDataType;
  if (Param->IsNull())
    Clear();
  else
    FData = Param->FData;
  FBound = Param->FBound;
  FName = Param->FName;
  if (FParamType == ptUnknown) FParamType = Param->FParamType;
}

void TParam::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TParam*>(Source)) {
    AssignParam(p);
    return;
  }
  if (auto* f = dynamic_cast<TField*>(Source)) {
    AssignField(f);
    return;
  }
  TCollectionItem::Assign(Source);
}

void TParam::AssignTo(TPersistent* Dest) {
  if (auto* f = dynamic_cast<TField*>(Dest)) {
    f->SetAsVariant(IsNull() ? Null() : FData);
    return;
  }
  TCollectionItem::AssignTo(Dest);
}

int TParam::GetDataSize() const {
  if (IsTextType(FDataType)) return int(AsString().size()) + 1;
  if (IsBytesType(FDataType)) return int(AsString().size());
  return FieldTypeDataSize(FDataType, 0);
}

void TParam::GetData(void* Buffer) const {
  int size = GetDataSize();
  if (size <= 0) return;
  std::memset(Buffer, 0, size_t(size));
  if (IsNull()) return;
  if (IsTextType(FDataType) || IsBytesType(FDataType)) {
    std::string s = AsString();
    std::memcpy(Buffer, s.data(), s.size());
    return;
  }
  switch (FDataType) {
    case ftSmallint: Put(Buffer, std::int16_t(AsInteger())); break;
    case ftWord: Put(Buffer, std::uint16_t(AsInteger())); break;
    case ftBoolean: Put(Buffer, std::uint16_t(AsBoolean() ? 1 : 0)); break;
    case ftInteger:
    case ftAutoInc: Put(Buffer, AsInteger()); break;
    case ftLargeint: Put(Buffer, AsLargeInt()); break;
    case ftFloat: Put(Buffer, AsFloat()); break;
    case ftCurrency: Put(Buffer, CurrToFloat(AsCurrency())); break;
    case ftBCD: Put(Buffer, AsCurrency().Value); break;
    case ftDate: Put(Buffer, DateTimeToNativeDate(AsDateTime())); break;
    case ftTime: Put(Buffer, DateTimeToNativeTime(AsDateTime())); break;
    case ftDateTime: Put(Buffer, DateTimeToNativeDateTime(AsDateTime())); break;
    default: break;
  }
}

void TParam::SetData(const void* Buffer, int Size) {
  if (!Buffer) {
    Clear();
    return;
  }
  const char* p = static_cast<const char*>(Buffer);
  if (IsTextType(FDataType)) {
    size_t n = Size >= 0 ? strnlen(p, size_t(Size)) : std::strlen(p);
    FData = Variant(std::string(p, n));
    return;
  }
  if (IsBytesType(FDataType)) {
    int n = Size >= 0 ? Size : GetDataSize();
    FData = Variant(std::string(p, size_t(std::max(n, 0))));
    return;
  }
  switch (FDataType) {
    case ftSmallint: FData = Variant::FromSmallint(Get<std::int16_t>(p)); break;
    case ftWord: FData = Variant::FromWord(Get<std::uint16_t>(p)); break;
    case ftBoolean: FData = Variant(Get<std::uint16_t>(p) != 0); break;
    case ftInteger:
    case ftAutoInc: FData = Variant(int(Get<std::int32_t>(p))); break;
    case ftLargeint: FData = Variant(static_cast<long long>(Get<std::int64_t>(p))); break;
    case ftFloat: FData = Variant(Get<double>(p)); break;
    case ftCurrency: FData = Variant(FloatToCurr(Get<double>(p))); break;
    case ftBCD: FData = Variant(Currency{Get<std::int64_t>(p)}); break;
    case ftDate: FData = Variant::FromDateTime(NativeDateToDateTime(Get<std::int32_t>(p))); break;
    case ftTime: FData = Variant::FromDateTime(NativeTimeToDateTime(Get<std::int32_t>(p))); break;
    case ftDateTime: FData = Variant::FromDateTime(NativeDateTimeToDateTime(Get<double>(p))); break;
    default: break;
  }
}

void TParam::SetBlobData(const void* Buffer, int Size) {
  // A memo stays a memo: only a parameter of no blob type becomes ftBlob.
  if (!IsBlobFieldType(FDataType)) FDataType = ftBlob;
  FData = Variant(std::string(static_cast<const char*>(Buffer), size_t(std::max(Size, 0))));
  FBound = true;
}

// ---- TParams --------------------------------------------------------------------------------

TParams::TParams(TPersistent* Owner) : TCollection(TCollection::Factory<TParam>(), Owner) {}

TParam* TParams::Items(int Index) const { return static_cast<TParam*>(TCollection::Items(Index)); }

TParam* TParams::CreateParam(TFieldType FldType, const std::string& ParamName,
                             TParamType ParamType) {
  auto* p = static_cast<TParam*>(Add());
  p->SetName(ParamName);
  p->SetDataType(FldType);
  p->SetParamType(ParamType);
  return p;
}

TParam* TParams::FindParam(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), Name)) return Items(i);
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view Name) const {
  TParam* p = FindParam(Name);
  if (!p) {
    auto* owner = dynamic_cast<TComponent*>(Owner());
    DatabaseError("Parameter '" + std::string(Name) + "' not found", owner);
  }
  return p;
}

void TParams::AddParam(TParam* Value) { Value->SetCollection(this); }

void TParams::RemoveParam(TParam* Value) {
  if (Value && Value->Collection() == this) Value->SetCollection(nullptr);
}

void TParams::AssignValues(TParams* Value) {
  if (!Value) return;
  for (int i = 0; i < Value->Count(); ++i) {
    TParam* src = Value->Items(i);
    if (TParam* p = FindParam(src->Name())) p->Assign(src);
  }
}

void TParams::GetParamList(std::vector<TParam*>& List, std::string_view ParamNames) const {
  size_t start = 0;
  while (start <= ParamNames.size()) {
    size_t end = ParamNames.find(';', start);
    if (end == std::string_view::npos) end = ParamNames.size();
    std::string name = Trim(ParamNames.substr(start, end - start));
    if (!name.empty()) List.push_back(ParamByName(name));
    start = end + 1;
  }
}

bool TParams::IsEqual(const TParams* Value) const {
  if (!Value || Value->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* a = Items(i);
    const TParam* b = Value->Items(i);
    if (a->Name() != b->Name() || a->DataType() != b->DataType() ||
        a->ParamType() != b->ParamType() || a->Bound() != b->Bound() ||
        a->IsNull() != b->IsNull())
      return false;
    if (!a->IsNull() && !(a->Value() == b->Value())) return false;
  }
  return true;
}

Variant TParams::ParamValues(std::string_view ParamNames) const {
  std::vector<TParam*> list;
  GetParamList(list, ParamNames);
  if (list.size() == 1) return list[0]->Value();
  std::vector<Variant> values;
  for (TParam* p : list) values.push_back(p->Value());
  return VarArrayOf(std::move(values));
}

void TParams::SetParamValues(std::string_view ParamNames, const Variant& Values) {
  std::vector<TParam*> list;
  GetParamList(list, ParamNames);
  if (list.size() == 1 && !Values.IsArray()) {
    list[0]->SetValue(Values);
    return;
  }
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetValue(Values[int(i)]);
}

void TParams::DefineProperties(TFiler* Filer) {
  TCollection::DefineProperties(Filer);
  Filer->DefineProperty(
      "Data", [this](TReader* r) { ReadData(r); }, [this](TWriter* w) { WriteData(w); },
      Count() > 0);
}

// Layout: a list of items, each: Name, ParamType, DataType, Bound, IsNull and, when not NULL,
// the value in the form of its type (text, integer, Boolean or float; bytes as text).
void TParams::WriteData(TWriter* Writer) const {
  Writer->WriteListBegin();
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    Writer->WriteString(p->Name());
    Writer->WriteInteger(int(p->ParamType()));
    Writer->WriteInteger(int(p->DataType()));
    Writer->WriteBoolean(p->Bound());
    Writer->WriteBoolean(p->IsNull());
    if (p->IsNull()) continue;
    switch (p->DataType()) {
      case ftSmallint:
      case ftWord:
      case ftInteger:
      case ftAutoInc:
      case ftLargeint: Writer->WriteInteger(p->AsLargeInt()); break;
      case ftBoolean: Writer->WriteBoolean(p->AsBoolean()); break;
      case ftFloat: Writer->WriteFloat(p->AsFloat()); break;
      case ftCurrency:
      case ftBCD: Writer->WriteInteger(p->AsCurrency().Value); break;
      case ftDate:
      case ftTime:
      case ftDateTime: Writer->WriteFloat(p->AsDateTime()); break;
      default: Writer->WriteString(p->AsString()); break;
    }
  }
  Writer->WriteListEnd();
}

void TParams::ReadData(TReader* Reader) {
  Reader->ReadListBegin();
  BeginUpdate();
  try {
    Clear();
    while (!Reader->EndOfList()) {
      auto* p = static_cast<TParam*>(Add());
      p->SetName(Reader->ReadString());
      int paramType = Reader->ReadInteger();
      int dataType = Reader->ReadInteger();
      if (paramType < ptUnknown || paramType > ptResult || dataType < 0 || dataType >= FieldTypeCount)
        throw EReadError("Invalid property value");
      p->SetParamType(TParamType(paramType));
      p->SetDataType(TFieldType(dataType));
      bool bound = Reader->ReadBoolean();
      bool isNull = Reader->ReadBoolean();
      if (!isNull) {
        switch (p->DataType()) {
          case ftSmallint:
          case ftWord:
          case ftInteger:
          case ftAutoInc:
          case ftLargeint:
            p->SetValue(Variant(static_cast<long long>(Reader->ReadInt64())));
            break;
          case ftBoolean: p->SetValue(Variant(Reader->ReadBoolean())); break;
          case ftFloat: p->SetValue(Variant(Reader->ReadFloat())); break;
          case ftCurrency:
          case ftBCD: p->SetValue(Variant(Currency{Reader->ReadInt64()})); break;
          case ftDate:
          case ftTime:
          case ftDateTime: p->SetValue(Variant::FromDateTime(Reader->ReadFloat())); break;
          default: p->SetValue(Variant(Reader->ReadString())); break;
        }
      } else {
        p->Clear();
      }
      p->SetBound(bound);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Reader->ReadListEnd();
}
