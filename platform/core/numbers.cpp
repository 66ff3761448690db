#include "numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "formatsettings.h"

namespace {

[[noreturn]] void IntError(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}
[[noreturn]] void FloatError(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
}
[[noreturn]] void InvalidOp() { throw EInvalidOp("Invalid floating point operation"); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Integer parse shared by Val and StrToInt. bits is 32 or 64. Returns the Val code.
int ParseInt(std::string_view s, int bits, int64_t& out) {
  size_t i = 0;
  out = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const uint64_t umax = bits == 64 ? std::numeric_limits<uint64_t>::max() : 0xFFFFFFFFull;
  // Decimal: magnitude up to max (or max + 1 for a negative number).
  const uint64_t smax = bits == 64 ? static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                                   : static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  const uint64_t limit = hex ? umax : smax + (neg ? 1 : 0);
  uint64_t mag = 0;
  const size_t firstDigit = i;
  for (; i < s.size(); ++i) {
    const int d = hex ? HexDigit(s[i]) : ((s[i] >= '0' && s[i] <= '9') ? s[i] - '0' : -1);
    if (d < 0) break;
    const unsigned base = hex ? 16 : 10;
    if (mag > (limit - static_cast<uint64_t>(d)) / base) return static_cast<int>(i + 1);
    mag = mag * base + static_cast<uint64_t>(d);
    uint64_t v = neg ? (0 - mag) : mag;
    if (bits == 32) v = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v))));
    out = static_cast<int64_t>(v);
  }
  if (i == firstDigit) return static_cast<int>(i + 1);
  if (i < s.size()) return static_cast<int>(i + 1);
  return 0;
}

// Real parse: blanks, sign, digits, decimal separator, digits, exponent. Trailing blanks only
// when allowTrailing. Returns the Val code; value holds what was read.
int ParseFloat(std::string_view s, char sep, bool allowTrailing, double& value) {
  value = 0;
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  std::string intDigits, fracDigits;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') intDigits += s[i++];
  if (i < s.size() && s[i] == sep) {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') fracDigits += s[i++];
  }
  int code = 0;
  long long exp = 0;
  if (intDigits.empty() && fracDigits.empty()) {
    code = static_cast<int>(i + 1);
  } else if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool eneg = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) eneg = s[j++] == '-';
    const size_t firstExp = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      if (exp < 100000) exp = exp * 10 + (s[j] - '0');
      ++j;
    }
    if (j == firstExp) code = static_cast<int>(j + 1);
    if (eneg) exp = -exp;
    i = j;
  }
  if (code == 0 && i < s.size()) {
    size_t j = i;
    if (allowTrailing)
      while (j < s.size() && s[j] == ' ') ++j;
    if (j < s.size()) code = static_cast<int>(j + 1);
  }
  if (intDigits.empty() && fracDigits.empty()) return code;
  std::string norm = (intDigits.empty() ? "0" : intDigits) + "." + (fracDigits.empty() ? "0" : fracDigits) +
                     "e" + std::to_string(exp);
  double v = 0;
  const auto r = std::from_chars(norm.data(), norm.data() + norm.size(), v, std::chars_format::scientific);
  if (r.ec == std::errc::result_out_of_range) {
    // Decimal exponent of the leading digit decides between overflow and underflow.
    const size_t lead = intDigits.find_first_not_of('0');
    long long leadExp;
    if (lead != std::string::npos) {
      leadExp = static_cast<long long>(intDigits.size() - lead) + exp;
    } else {
      const size_t f = fracDigits.find_first_not_of('0');
      leadExp = f == std::string::npos ? -1000000 : exp - static_cast<long long>(f);
    }
    if (leadExp > 0) {
      value = neg ? -HUGE_VAL : HUGE_VAL;
      return code != 0 ? code : static_cast<int>(s.size() + 1);
    }
    v = 0;
  }
  value = neg ? -v : v;
  return code;
}

// value = 0.d1d2d3... x 10^exp; digits hold no trailing zeros; empty digits is zero.
struct Decimal {
  bool neg = false;
  std::string digits;
  int exp = 0;
};

Decimal ToDecimal(double v, int precision) {
  Decimal d;
  d.neg = std::signbit(v);
  if (v == 0) return d;
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, precision - 1);
  const std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
  const size_t e = t.find('e');
  for (size_t i = 0; i < e; ++i)
    if (t[i] != '.') d.digits += t[i];
  int ex = 0;
  std::from_chars(t.data() + e + (t[e + 1] == '+' ? 2 : 1), t.data() + t.size(), ex);
  d.exp = ex + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Keeps the first keep digits, rounding half away from zero on the next one.
void RoundDigits(Decimal& d, int keep) {
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  if (static_cast<size_t>(keep) >= d.digits.size()) return;
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int k = keep - 1;
    while (k >= 0 && d.digits[static_cast<size_t>(k)] == '9') d.digits[static_cast<size_t>(k--)] = '0';
    if (k >= 0) {
      ++d.digits[static_cast<size_t>(k)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      d.digits.pop_back();  // keep the same number of kept digits
      if (keep == 0) d.digits = "1";
      ++d.exp;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// Blanks of any kind (tab, line end) around a number are as harmless as spaces.
std::string_view StripBlanks(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= 0x20) ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= 0x20) --b;
  return s.substr(a, b - a);
}

}  // namespace

// --- integers --------------------------------------------------------------------------------

std::string IntToStr(int64_t value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

bool TryStrToInt64(std::string_view s, int64_t& value) {
  int64_t v = 0;
  if (ParseInt(s, 64, v) != 0) return false;
  value = v;
  return true;
}

bool TryStrToInt(std::string_view s, int& value) {
  int64_t v = 0;
  if (ParseInt(s, 32, v) != 0) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(std::string_view s) {
  int v = 0;
  if (!TryStrToInt(s, v)) IntError(s);
  return v;
}

int64_t StrToInt64(std::string_view s) {
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) IntError(s);
  return v;
}

int StrToIntDef(std::string_view s, int def) {
  int v = 0;
  return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
  int64_t v = 0;
  return TryStrToInt64(s, v) ? v : def;
}

int ValInt(std::string_view s, int32_t& value) {
  int64_t v = 0;
  const int code = ParseInt(s, 32, v);
  value = static_cast<int32_t>(v);
  return code;
}

int ValInt64(std::string_view s, int64_t& value) { return ParseInt(s, 64, value); }

int ValFloat(std::string_view s, double& value) { return ParseFloat(s, '.', false, value); }

// --- reals ---------------------------------------------------------------------------------

bool TryStrToFloat(std::string_view s, double& value) {
  double v = 0;
  if (ParseFloat(StripBlanks(s), FormatSettings().DecimalSeparator, false, v) != 0) return false;
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

double StrToFloat(std::string_view s) {
  double v = 0;
  if (!TryStrToFloat(s, v)) FloatError(s);
  return v;
}

double StrToFloatDef(std::string_view s, double def) {
  double v = 0;
  return TryStrToFloat(s, v) ? v : def;
}

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  const Decimal d = ToDecimal(value, 15);
  if (d.digits.empty()) return "0";
  const char sep = FormatSettings().DecimalSeparator;
  std::string out = d.neg ? "-" : "";
  const int n = static_cast<int>(d.digits.size());
  if (d.exp > 15 || d.exp < -3) {
    out += d.digits[0];
    if (n > 1) {
      out += sep;
      out.append(d.digits, 1);
    }
    out += 'E';
    out += std::to_string(d.exp - 1);
  } else if (d.exp <= 0) {
    out += '0';
    out += sep;
    out.append(static_cast<size_t>(-d.exp), '0');
    out += d.digits;
  } else {
    if (n <= d.exp) {
      out += d.digits;
      out.append(static_cast<size_t>(d.exp - n), '0');
    } else {
      out.append(d.digits, 0, static_cast<size_t>(d.exp));
      out += sep;
      out.append(d.digits, static_cast<size_t>(d.exp));
    }
  }
  return out;
}

namespace {

std::vector<std::string_view> SplitSections(std::string_view f) {
  std::vector<std::string_view> out;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      out.push_back(f.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(f.substr(start));
  return out;
}

std::string FormatSection(std::string_view f, double value, bool withSign) {
  const TFormatSettings& fs = FormatSettings();
  // Pass 1: what the pattern asks for.
  int intPlaces = 0, intMin = 0, fracPlaces = 0, fracMin = 0, expMin = 0;
  bool thousands = false, sci = false, seenPoint = false, seenZero = false;
  char quote = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (seenPoint) {
        ++fracPlaces;
        if (c == '0') fracMin = fracPlaces;
      } else {
        ++intPlaces;
        if (c == '0') seenZero = true;
        if (seenZero) ++intMin;
      }
    } else if (c == '.') {
      seenPoint = true;
    } else if (c == ',') {
      if (!seenPoint) thousands = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-')) {
      sci = true;
      size_t j = i + 2;
      while (j < f.size() && f[j] == '0') ++j, ++expMin;
      break;  // placeholders after the exponent belong to it
    }
  }
  // The digits.
  Decimal d = ToDecimal(value, 15);
  std::string intStr, fracStr;
  int shownExp = 0;
  if (sci) {
    const int sig = std::max(1, intPlaces) + fracPlaces;
    RoundDigits(d, sig);
    const int ip = std::max(1, intPlaces);
    if (!d.digits.empty()) shownExp = d.exp - ip;
    std::string all = d.digits;
    all.resize(static_cast<size_t>(sig), '0');
    intStr = all.substr(0, static_cast<size_t>(ip));
    fracStr = all.substr(static_cast<size_t>(ip));
    if (intPlaces == 0 && intStr == "0") intStr.clear();
  } else {
    RoundDigits(d, d.exp + fracPlaces);
    for (int k = 0; k < d.exp; ++k)
      intStr += static_cast<size_t>(k) < d.digits.size() ? d.digits[static_cast<size_t>(k)] : '0';
    for (int k = d.exp; k < d.exp + fracPlaces; ++k)
      fracStr += (k >= 0 && static_cast<size_t>(k) < d.digits.size()) ? d.digits[static_cast<size_t>(k)] : '0';
  }
  while (static_cast<int>(intStr.size()) < intMin) intStr.insert(intStr.begin(), '0');
  while (static_cast<int>(fracStr.size()) > fracMin && fracStr.back() == '0') fracStr.pop_back();
  const bool allZero = d.digits.empty();

  // Pass 2: emit.
  std::string out;
  if (withSign && !allZero) out += '-';
  const int excess = static_cast<int>(intStr.size()) - intPlaces;
  int intSeen = 0, fracSeen = 0;
  bool intDone = false;
  auto emitInt = [&](int j) {
    out += intStr[static_cast<size_t>(j)];
    const int rest = static_cast<int>(intStr.size()) - 1 - j;
    if (thousands && rest > 0 && rest % 3 == 0) out += fs.ThousandSeparator;
  };
  auto emitAllInt = [&] {
    if (intDone) return;
    for (int j = 0; j < static_cast<int>(intStr.size()); ++j) emitInt(j);
    intDone = true;
  };
  seenPoint = false;
  quote = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        out += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (seenPoint) {
        if (fracSeen < static_cast<int>(fracStr.size())) out += fracStr[static_cast<size_t>(fracSeen)];
        ++fracSeen;
      } else {
        if (intSeen == 0)
          for (int j = 0; j < excess; ++j) emitInt(j);
        const int j = intSeen + excess;
        if (j >= 0) emitInt(j);
        if (++intSeen == intPlaces) intDone = true;
      }
    } else if (c == '.') {
      if (!seenPoint) {
        emitAllInt();
        if (!fracStr.empty()) out += fs.DecimalSeparator;
      }
      seenPoint = true;
    } else if (c == ',') {
      // a thousands-separator flag, not a literal
    } else if (sci && (c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-')) {
      emitAllInt();
      out += c;
      if (shownExp < 0)
        out += '-';
      else if (f[i + 1] == '+')
        out += '+';
      std::string e = std::to_string(std::abs(shownExp));
      while (static_cast<int>(e.size()) < expMin) e.insert(e.begin(), '0');
      out += e;
      i += 1 + static_cast<size_t>(expMin);
      sci = false;  // only the first exponent counts
    } else {
      out += c;
    }
  }
  if (intPlaces == 0 && !seenPoint && !intDone) emitAllInt();
  return out;
}

}  // namespace

std::string FormatFloat(std::string_view format, double value) {
  if (format.empty() || !std::isfinite(value)) return FloatToStr(value);
  const auto sections = SplitSections(format);
  if (value == 0 && sections.size() >= 3 && !sections[2].empty()) return FormatSection(sections[2], 0.0, false);
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) return FormatSection(sections[1], -value, false);
  return FormatSection(sections[0], std::fabs(value), value < 0);
}

std::string StrFloat(double value, int width) {
  std::string out;
  if (std::isnan(value)) {
    out = "Nan";
  } else if (std::isinf(value)) {
    out = value < 0 ? "-Inf" : "+Inf";
  } else {
    const int decimals = std::clamp(width - 9, 1, 17);
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, decimals);
    const std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
    const size_t e = t.find('e');
    int ex = 0;
    std::from_chars(t.data() + e + (t[e + 1] == '+' ? 2 : 1), t.data() + t.size(), ex);
    std::string exps = std::to_string(std::abs(ex));
    while (exps.size() < 4) exps.insert(exps.begin(), '0');
    out = std::string(std::signbit(value) ? "-" : " ") + std::string(t.substr(0, e)) + "E" + (ex < 0 ? "-" : "+") + exps;
  }
  if (static_cast<int>(out.size()) < width) out.insert(0, static_cast<size_t>(width) - out.size(), ' ');
  return out;
}

int64_t Round(double value) {
  if (std::isnan(value)) InvalidOp();
  double r = std::floor(value);
  const double diff = value - r;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
  // 2^63 is exact as a double; the valid range is [-2^63, 2^63).
  if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) InvalidOp();
  return static_cast<int64_t>(r);
}

int64_t Trunc(double value) {
  if (std::isnan(value)) InvalidOp();
  const double r = std::trunc(value);
  if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) InvalidOp();
  return static_cast<int64_t>(r);
}

// --- currency --------------------------------------------------------------------------------

Currency FloatToCurr(double value) { return Currency{Round(value * 10000.0)}; }

double CurrToFloat(Currency value) { return static_cast<double>(value.Value) / 10000.0; }

std::string CurrToStr(Currency value) {
  const bool neg = value.Value < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(value.Value) : static_cast<uint64_t>(value.Value);
  std::string out = neg ? "-" : "";
  out += std::to_string(mag / 10000);
  std::string frac = std::to_string(mag % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) {
    out += FormatSettings().DecimalSeparator;
    out += frac;
  }
  return out;
}

bool TryStrToCurr(std::string_view s, Currency& value) {
  const std::string_view t = StripBlanks(s);
  const char sep = FormatSettings().DecimalSeparator;
  if (t.find_first_of("eE") != std::string_view::npos) {
    double v = 0;
    if (!TryStrToFloat(t, v) || !(std::fabs(v) < 922337203685477.0)) return false;
    value = FloatToCurr(v);
    return true;
  }
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  std::string intDigits, fracDigits;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') intDigits += t[i++];
  if (i < t.size() && t[i] == sep) {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') fracDigits += t[i++];
  }
  if (i != t.size() || (intDigits.empty() && fracDigits.empty())) return false;
  // Exact in unsigned 128 bits is not needed: the magnitude is checked digit by digit.
  const uint64_t limit = neg ? 9223372036854775808ull : 9223372036854775807ull;
  uint64_t mag = 0;
  std::string digits = intDigits + fracDigits.substr(0, std::min<size_t>(4, fracDigits.size()));
  digits.append(4 - std::min<size_t>(4, fracDigits.size()), '0');
  for (char c : digits) {
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (mag > (limit - d) / 10) return false;
    mag = mag * 10 + d;
  }
  if (fracDigits.size() > 4) {
    const std::string rest = fracDigits.substr(4);
    const bool overHalf = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    const bool half = rest[0] == '5' && !overHalf;
    if (overHalf || (half && (mag & 1))) {
      if (mag == limit) return false;
      ++mag;
    }
  }
  value.Value = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

Currency StrToCurr(std::string_view s) {
  Currency c;
  if (!TryStrToCurr(s, c)) FloatError(s);
  return c;
}
