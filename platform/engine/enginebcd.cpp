#include "enginebcd.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

constexpr int kMaxDigits = 64;

}  // namespace

bool EngineDoubleToBcd(double Value, int Precision, int Decimals, TEngineBcd& Out) {
  if (!std::isfinite(Value) || Precision < 1 || Precision > kMaxDigits || Decimals < 0 || Decimals > Precision)
    return false;
  // The shortest form that reads back as Value: d.ddde±x.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific);
  if (ec != std::errc()) return false;
  std::string text(buf, end);
  const bool negative = text[0] == '-';
  if (negative) text.erase(0, 1);
  const size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + (e > 2 ? text.substr(2, e - 2) : std::string());
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
  // Digits before the point: exponent + 1 (none or negative for values below 1).
  const int point = exponent + 1;
  // Fixed digits: Integer part padded on the left, fraction cut at Decimals + 1.
  std::string whole, fraction;
  for (int i = 0; i < point; ++i) whole += i < int(digits.size()) ? digits[size_t(i)] : '0';
  for (int i = point; i < point + Decimals + 1; ++i)
    fraction += (i >= 0 && i < int(digits.size())) ? digits[size_t(i)] : '0';
  // Half away from zero: the shortest form shows a half as a last digit 5.
  const bool up = fraction.back() >= '5';
  fraction.pop_back();
  std::string fixed = whole + fraction;
  if (fixed.empty()) fixed = "0";
  if (up) {
    size_t i = fixed.size();
    while (i > 0 && fixed[i - 1] == '9') fixed[--i] = '0';
    if (i == 0) fixed.insert(0, "1");
    else ++fixed[i - 1];
  }
  const size_t first = fixed.find_first_not_of('0');
  const int intDigits = int(fixed.size()) - Decimals;
  const int significantInt = first == std::string::npos ? 0 : std::max(0, intDigits - int(first));
  if (significantInt > Precision - Decimals) return false;
  TEngineBcd bcd{};
  bcd[0] = std::uint8_t(Precision);
  const bool zero = first == std::string::npos;
  bcd[1] = std::uint8_t(Decimals | (negative && !zero ? 0x80 : 0));
  // Right-align the digits in the Precision positions.
  for (int k = 0; k < Precision; ++k) {
    const int src = int(fixed.size()) - Precision + k;
    const int digit = src >= 0 ? fixed[size_t(src)] - '0' : 0;
    bcd[size_t(2 + k / 2)] |= std::uint8_t(k % 2 == 0 ? digit << 4 : digit);
  }
  Out = bcd;
  return true;
}

bool EngineBcdToDouble(std::span<const std::uint8_t, 34> Bcd, double& Value) {
  const int precision = Bcd[0];
  const int decimals = Bcd[1] & 0x3F;
  if (precision < 1 || precision > kMaxDigits || decimals > precision || (Bcd[1] & 0x40)) return false;
  std::string text = (Bcd[1] & 0x80) ? "-" : "";
  for (int k = 0; k < kMaxDigits; ++k) {
    const std::uint8_t b = Bcd[size_t(2 + k / 2)];
    const int digit = k % 2 == 0 ? b >> 4 : b & 0x0F;
    if (digit > 9 || (k >= precision && digit != 0)) return false;
    if (k >= precision) continue;
    if (k == precision - decimals) text += k == 0 ? "0." : ".";
    text += char('0' + digit);
  }
  double v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v)) return false;
  Value = v == 0 ? 0.0 : v;  // no negative zero
  return true;
}

double EngineRoundDecimal(double Value, int Decimals) {
  TEngineBcd bcd;
  double out;
  if (Decimals < 0 || Decimals > 32 || !EngineDoubleToBcd(Value, kMaxDigits, Decimals, bcd) ||
      !EngineBcdToDouble(bcd, out))
    return Value;
  return out;
}
