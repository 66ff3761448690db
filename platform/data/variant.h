#pragma once
// A variant value: Empty, Null, a scalar (integer, float, currency, date, Boolean, text) or an
// array of variants. Conversions follow the program's format settings; a conversion that
// cannot be made raises EVariantError.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datetime.h"
#include "exceptions.h"
#include "numbers.h"

ZEL_EXCEPTION(EVariantError, Exception)

// Type codes, numbered as the class library numbers them.
inline constexpr std::uint16_t varEmpty = 0x0000;
inline constexpr std::uint16_t varNull = 0x0001;
inline constexpr std::uint16_t varSmallint = 0x0002;
inline constexpr std::uint16_t varInteger = 0x0003;
inline constexpr std::uint16_t varDouble = 0x0005;
inline constexpr std::uint16_t varCurrency = 0x0006;
inline constexpr std::uint16_t varDate = 0x0007;
inline constexpr std::uint16_t varBoolean = 0x000B;
inline constexpr std::uint16_t varVariant = 0x000C;
inline constexpr std::uint16_t varByte = 0x0011;
inline constexpr std::uint16_t varWord = 0x0012;
inline constexpr std::uint16_t varInt64 = 0x0014;
inline constexpr std::uint16_t varString = 0x0100;
inline constexpr std::uint16_t varTypeMask = 0x0FFF;
inline constexpr std::uint16_t varArray = 0x2000;

class Variant {
public:
  Variant() = default;  // Empty
  Variant(bool v);
  Variant(int v);
  Variant(long v);
  Variant(long long v);
  Variant(unsigned v);
  Variant(unsigned long v);
  Variant(unsigned long long v);
  Variant(double v);
  Variant(const char* v);
  Variant(std::string v);
  Variant(std::string_view v);
  // Typed constructors for the kinds a plain C++ value cannot name.
  static Variant FromSmallint(std::int16_t v);
  static Variant FromWord(std::uint16_t v);
  Variant(Currency v);
  static Variant FromDateTime(TDateTime v);
  static Variant MakeNull();
  static Variant MakeArray(std::vector<Variant> Items);

  std::uint16_t VarType() const;  // varArray | varVariant for an array
  bool IsEmpty() const { return FType == varEmpty; }
  bool IsNull() const { return FType == varNull; }
  bool IsArray() const { return FType == varArray; }

  // Conversions; EVariantError "Could not convert variant of type (X) into type (Y)" when the
  // value has no such form (Null, an array, text that is no number, a number out of range).
  std::string AsString() const;
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  Currency AsCurrency() const;  // rounded half to even to four decimals

  // Arrays: bounds 0 .. Count-1; EVariantError outside an array or its bounds.
  int ArrayLowBound() const;
  int ArrayHighBound() const;
  int ArrayCount() const;
  const Variant& operator[](int Index) const;
  Variant& operator[](int Index);

  // Same type group and value; Null equals Null, Empty equals Empty. Numbers compare by value
  // across integer, float and currency; text compares exactly.
  bool operator==(const Variant& Other) const;
  bool operator!=(const Variant& Other) const { return !(*this == Other); }

private:
  [[noreturn]] void ConvertError(std::uint16_t To) const;
  std::uint16_t FType = varEmpty;
  std::int64_t FInt = 0;  // integers, Boolean (0/1), currency in ten-thousandths
  double FDouble = 0;     // float, date
  std::string FStr;
  std::shared_ptr<std::vector<Variant>> FArray;  // copied on write
};

// The class library's global values.
Variant Null();
Variant Unassigned();
Variant VarArrayOf(std::initializer_list<Variant> Items);
Variant VarArrayOf(std::vector<Variant> Items);
inline bool VarIsNull(const Variant& V) { return V.IsNull(); }
inline bool VarIsEmpty(const Variant& V) { return V.IsEmpty(); }
inline bool VarIsArray(const Variant& V) { return V.IsArray(); }
// Text of V; Null and Empty give "".
std::string VarToStr(const Variant& V);
// "Empty", "Null", "Integer", "String", ... as the conversion errors name them.
std::string VarTypeName(std::uint16_t VarType);
