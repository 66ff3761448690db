#include "variant.h"

#include <cmath>
#include <limits>

#include "dbconv.h"
#include "text.h"

namespace {

bool IsIntegerType(std::uint16_t t) {
  return t == varSmallint || t == varInteger || t == varByte || t == varWord || t == varInt64;
}

bool ParseBoolText(const std::string& s, bool& value) {
  std::string t = Trim(s);
  if (SameText(t, "True")) { value = true; return true; }
  if (SameText(t, "False")) { value = false; return true; }
  return false;
}

}  // namespace

Variant::Variant(bool v) : FType(varBoolean), FInt(v ? 1 : 0) {}
Variant::Variant(int v) : FType(varInteger), FInt(v) {}
Variant::Variant(long v) : FType(varInt64), FInt(v) {
  if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
    FType = varInteger;
}
Variant::Variant(long long v) : Variant(long(v)) {}
Variant::Variant(unsigned v) : FType(varInt64), FInt(v) {
  if (v <= unsigned(std::numeric_limits<std::int32_t>::max())) FType = varInteger;
}
Variant::Variant(unsigned long v) : FType(varInt64), FInt(std::int64_t(v)) {
  if (v > static_cast<unsigned long>(std::numeric_limits<std::int64_t>::max()))
    throw EVariantError("Could not convert variant of type (Int64) into type (Int64)");
  if (v <= static_cast<unsigned long>(std::numeric_limits<std::int32_t>::max())) FType = varInteger;
}
Variant::Variant(unsigned long long v) : Variant(static_cast<unsigned long>(v)) {}
Variant::Variant(double v) : FType(varDouble), FDouble(v) {}
Variant::Variant(const char* v) : FType(varString), FStr(v ? v : "") {}
Variant::Variant(std::string v) : FType(varString), FStr(std::move(v)) {}
Variant::Variant(std::string_view v) : FType(varString), FStr(v) {}
Variant::Variant(Currency v) : FType(varCurrency), FInt(v.Value) {}

Variant Variant::FromSmallint(std::int16_t v) {
  Variant r = Variant(int(v));
  r.FType = varSmallint;
  return r;
}
Variant Variant::FromWord(std::uint16_t v) {
  Variant r = Variant(int(v));
  r.FType = varWord;
  return r;
}
Variant Variant::FromDateTime(TDateTime v) {
  Variant r = Variant(double(v));
  r.FType = varDate;
  return r;
}
Variant Variant::MakeNull() {
  Variant r;
  r.FType = varNull;
  return r;
}
Variant Variant::MakeArray(std::vector<Variant> Items) {
  Variant r;
  r.FType = varArray;
  r.FArray = std::make_shared<std::vector<Variant>>(std::move(Items));
  return r;
}

std::uint16_t Variant::VarType() const {
  return FType == varArray ? std::uint16_t(varArray | varVariant) : FType;
}

void Variant::ConvertError(std::uint16_t To) const {
  throw EVariantError("Could not convert variant of type (" + VarTypeName(VarType()) +
                      ") into type (" + VarTypeName(To) + ")");
}

std::string Variant::AsString() const {
  switch (FType) {
    case varEmpty: return std::string();
    case varString: return FStr;
    case varBoolean: return FInt ? "True" : "False";
    case varDouble: return FloatToStr(FDouble);
    case varCurrency: return CurrToStr(Currency{FInt});
    case varDate: {
      // A date without a time shows as a date, a time on day 0 as a time.
      if (FDouble == std::trunc(FDouble)) return DateToStr(FDouble);
      if (FDouble > -1 && FDouble < 1) return TimeToStr(FDouble);
      return DateTimeToStr(FDouble);
    }
    default:
      if (IsIntegerType(FType)) return IntToStr(FInt);
      ConvertError(varString);
  }
}

std::int64_t Variant::AsInt64() const {
  switch (FType) {
    case varEmpty: return 0;
    case varBoolean: return FInt ? -1 : 0;
    case varCurrency: {
      // Halves to even, as Round does.
      std::int64_t q = FInt / 10000, r = FInt % 10000;
      if (r > 5000 || (r == 5000 && (q & 1))) ++q;
      else if (r < -5000 || (r == -5000 && (q & 1))) --q;
      return q;
    }
    case varDouble:
    case varDate:
      if (!std::isfinite(FDouble) || std::fabs(FDouble) >= 9.2e18) ConvertError(varInt64);
      return Round(FDouble);
    case varString: {
      std::int64_t v;
      if (TryStrToInt64(Trim(FStr), v)) return v;
      double d;
      if (TryStrToFloat(FStr, d) && std::isfinite(d) && std::fabs(d) < 9.2e18) return Round(d);
      bool b;
      if (ParseBoolText(FStr, b)) return b ? -1 : 0;
      ConvertError(varInt64);
    }
    default:
      if (IsIntegerType(FType)) return FInt;
      ConvertError(varInt64);
  }
}

std::int32_t Variant::AsInteger() const {
  std::int64_t v;
  try {
    v = AsInt64();
  } catch (const EVariantError&) {
    ConvertError(varInteger);
  }
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    ConvertError(varInteger);
  return std::int32_t(v);
}

double Variant::AsDouble() const {
  switch (FType) {
    case varEmpty: return 0;
    case varBoolean: return FInt ? -1 : 0;
    case varCurrency: return CurrToFloat(Currency{FInt});
    case varDouble:
    case varDate: return FDouble;
    case varString: {
      double d;
      if (TryStrToFloat(FStr, d)) return d;
      bool b;
      if (ParseBoolText(FStr, b)) return b ? -1 : 0;
      ConvertError(varDouble);
    }
    default:
      if (IsIntegerType(FType)) return double(FInt);
      ConvertError(varDouble);
  }
}

bool Variant::AsBoolean() const {
  switch (FType) {
    case varEmpty: return false;
    case varBoolean: return FInt != 0;
    case varString: {
      bool b;
      if (ParseBoolText(FStr, b)) return b;
      double d;
      if (TryStrToFloat(FStr, d)) return d != 0;
      ConvertError(varBoolean);
    }
    case varDouble:
    case varDate: return FDouble != 0;
    case varCurrency: return FInt != 0;
    default:
      if (IsIntegerType(FType)) return FInt != 0;
      ConvertError(varBoolean);
  }
}

TDateTime Variant::AsDateTime() const {
  switch (FType) {
    case varEmpty: return 0;
    case varString: {
      TDateTime d;
      if (TryTextToDateTime(FStr, d)) return d;
      ConvertError(varDate);
    }
    case varDouble:
    case varDate: return FDouble;
    case varCurrency: return CurrToFloat(Currency{FInt});
    default:
      if (IsIntegerType(FType)) return double(FInt);
      ConvertError(varDate);
  }
}

Currency Variant::AsCurrency() const {
  switch (FType) {
    case varEmpty: return Currency{};
    case varCurrency: return Currency{FInt};
    case varBoolean: return Currency{FInt ? -10000 : 0};
    case varString: {
      Currency c;
      if (TryStrToCurr(FStr, c)) return c;
      ConvertError(varCurrency);
    }
    case varDouble:
    case varDate:
      if (!std::isfinite(FDouble) || std::fabs(FDouble) >= 9.2e14) ConvertError(varCurrency);
      return FloatToCurr(FDouble);
    default:
      if (IsIntegerType(FType)) {
        if (FInt > 922337203685477LL || FInt < -922337203685477LL) ConvertError(varCurrency);
        return Currency{FInt * 10000};
      }
      ConvertError(varCurrency);
  }
}

int Variant::ArrayLowBound() const {
  if (FType != varArray) throw EVariantError("Variant is not an array");
  return 0;
}
int Variant::ArrayHighBound() const { return ArrayCount() - 1; }
int Variant::ArrayCount() const {
  if (FType != varArray) throw EVariantError("Variant is not an array");
  return int(FArray->size());
}
const Variant& Variant::operator[](int Index) const {
  if (FType != varArray) throw EVariantError("Variant is not an array");
  if (Index < 0 || Index >= int(FArray->size())) throw EVariantError("Variant array index out of bounds");
  return (*FArray)[size_t(Index)];
}
Variant& Variant::operator[](int Index) {
  if (FType != varArray) throw EVariantError("Variant is not an array");
  if (Index < 0 || Index >= int(FArray->size())) throw EVariantError("Variant array index out of bounds");
  if (FArray.use_count() > 1) FArray = std::make_shared<std::vector<Variant>>(*FArray);
  return (*FArray)[size_t(Index)];
}

bool Variant::operator==(const Variant& o) const {
  if (FType == varEmpty || FType == varNull || o.FType == varEmpty || o.FType == varNull)
    return FType == o.FType;
  if (FType == varArray || o.FType == varArray) {
    if (FType != o.FType || FArray->size() != o.FArray->size()) return false;
    for (size_t i = 0; i < FArray->size(); ++i)
      if (!((*FArray)[i] == (*o.FArray)[i])) return false;
    return true;
  }
  if (FType == varString || o.FType == varString) return FType == o.FType && FStr == o.FStr;
  if (FType == varBoolean || o.FType == varBoolean)
    return FType == o.FType && (FInt != 0) == (o.FInt != 0);
  if (IsIntegerType(FType) && IsIntegerType(o.FType)) return FInt == o.FInt;
  if (FType == varCurrency && o.FType == varCurrency) return FInt == o.FInt;
  return AsDouble() == o.AsDouble();
}

Variant Null() { return Variant::MakeNull(); }
Variant Unassigned() { return Variant(); }
Variant VarArrayOf(std::initializer_list<Variant> Items) {
  return Variant::MakeArray(std::vector<Variant>(Items));
}
Variant VarArrayOf(std::vector<Variant> Items) { return Variant::MakeArray(std::move(Items)); }

std::string VarToStr(const Variant& V) {
  if (V.IsNull() || V.IsEmpty()) return std::string();
  return V.AsString();
}

std::string VarTypeName(std::uint16_t t) {
  if (t & varArray) return "Array " + VarTypeName(std::uint16_t(t & varTypeMask));
  switch (t) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varBoolean: return "Boolean";
    case varVariant: return "Variant";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varInt64: return "Int64";
    case varString: return "String";
    default: return "Unknown";
  }
}
