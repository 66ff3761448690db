#pragma once
// Number conversions. Texts use the program's format settings (formatsettings.h) or, for the
// Val family, always a point; nothing here reads the C locale.
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "exceptions.h"

ZEL_EXCEPTION(EMathError, Exception)
ZEL_EXCEPTION(EInvalidOp, EMathError)  // "Invalid floating point operation" (Round, Trunc)

// --- integers --------------------------------------------------------------------------------
std::string IntToStr(int64_t value);
// Decimal with an optional sign, or hexadecimal after "$" or "0x" ("$1F" is 31; "-$1F" -31).
// Leading blanks are skipped; anything after the number is an error. Hexadecimal may use the
// full unsigned range of the type and wraps ("$FFFFFFFF" is -1 for StrToInt). Raises
// EConvertError "'<text>' is not a valid integer value" on bad text or overflow.
int StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
int StrToIntDef(std::string_view s, int def);
int64_t StrToInt64Def(std::string_view s, int64_t def);
bool TryStrToInt(std::string_view s, int& value);
bool TryStrToInt64(std::string_view s, int64_t& value);

// --- Val: whole-text parsing with a point as decimal separator -------------------------------
// Each returns 0 when the whole text is a number, else the 1-based position of the first
// character that does not fit (length + 1 when the text ends too early, 1 for an empty text).
// The value of the part read so far is stored either way.
int ValInt(std::string_view s, int32_t& value);
int ValInt64(std::string_view s, int64_t& value);
int ValFloat(std::string_view s, double& value);

// --- reals ---------------------------------------------------------------------------------
// Optional sign, digits with the settings' decimal separator, optional exponent ("1,5E3");
// blanks around are allowed, thousands separators are not. Raises EConvertError
// "'<text>' is not a valid floating point value" on bad text or overflow.
double StrToFloat(std::string_view s);
double StrToFloatDef(std::string_view s, double def);
bool TryStrToFloat(std::string_view s, double& value);
// General format: up to 15 significant digits, no trailing zeros, the settings' decimal
// separator; exponent form ("1E20", "1.5E-5") when more than 15 integer digits or when the
// value is below 0.0001. "INF", "-INF", "NAN" for the special values.
std::string FloatToStr(double value);
// Pattern formatting: "0" digit or zero, "#" digit if any, "." decimal separator, "," thousands
// separators, "E+0"/"E-0" exponent, quoted literals, up to three sections "pos;neg;zero" (a
// negative section prints no sign of its own). Separators come from the settings. Rounding is
// half away from zero on the value's 15-digit decimal form. An empty pattern is FloatToStr.
std::string FormatFloat(std::string_view format, double value);
// Scientific form right-aligned in width characters: sign or blank, one digit, point,
// width - 9 decimals (at least 1), "E", exponent sign and four digits; width 23 gives
// " 1.50000000000000E+0000". Always a point.
std::string StrFloat(double value, int width);

// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Raises EInvalidOp when the
// result does not fit 64 bits or the value is not a number.
int64_t Round(double value);
// Toward zero; raises EInvalidOp like Round.
int64_t Trunc(double value);

// --- currency --------------------------------------------------------------------------------
// A fixed-point amount: the value times 10000 in 64 bits.
struct Currency {
  int64_t Value = 0;
  static Currency FromRaw(int64_t raw) { return Currency{raw}; }
  auto operator<=>(const Currency&) const = default;
};
// Rounded half to even to four decimals; EInvalidOp when out of range.
Currency FloatToCurr(double value);
double CurrToFloat(Currency value);
// Up to four decimals without trailing zeros, the settings' decimal separator ("12,5").
std::string CurrToStr(Currency value);
// Like StrToFloat, exact to four decimals (further decimals round half to even).
Currency StrToCurr(std::string_view s);
bool TryStrToCurr(std::string_view s, Currency& value);
