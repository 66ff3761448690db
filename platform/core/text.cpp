#include "text.h"

#include <algorithm>

char32_t Utf8Next(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past the last code point are not characters.
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += len;
  return c;
}

void Utf8Append(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t from = i;
    // A real U+FFFD takes three bytes; an invalid byte decodes to it in one.
    if (Utf8Next(s, i) == 0xFFFD && i - from == 1) return false;
  }
  return true;
}

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) Utf8Next(s, i);
  return n;
}

size_t Utf8ByteOffset(std::string_view s, size_t n) {
  size_t i = 0;
  for (size_t k = 0; k < n && i < s.size(); ++k) Utf8Next(s, i);
  return i;
}

std::string Utf8Left(std::string_view s, size_t n) { return std::string(s.substr(0, Utf8ByteOffset(s, n))); }

std::string Utf8Copy(std::string_view s, long long start1, long long count) {
  if (start1 < 1) start1 = 1;
  if (count <= 0) return {};
  const size_t from = Utf8ByteOffset(s, static_cast<size_t>(start1 - 1));
  const std::string_view rest = s.substr(from);
  return std::string(rest.substr(0, Utf8ByteOffset(rest, static_cast<size_t>(count))));
}

size_t Utf8Pos(std::string_view sub, std::string_view s) {
  const size_t p = Pos(sub, s);
  return p == 0 ? 0 : Utf8Length(s.substr(0, p - 1)) + 1;
}

// --- case ----------------------------------------------------------------------------------

char32_t AnsiUpperChar(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;  // Latin-1 letters, not the division sign
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x137) return (c & 1) ? c - 1 : c;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c : c - 1;
  if (c >= 0x14A && c <= 0x177) return (c & 1) ? c - 1 : c;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c : c - 1;
  return c;
}

char32_t AnsiLowerChar(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
  if (c >= 0x100 && c <= 0x137 && c != 0x130) return (c & 1) ? c : c + 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return (c & 1) ? c : c + 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  return c;
}

namespace {
template <typename F>
std::string MapChars(std::string_view s, F f) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t from = i;
    const char32_t c = Utf8Next(s, i);
    if (c == 0xFFFD && i - from == 1 && static_cast<unsigned char>(s[from]) >= 0x80)
      out += s[from];  // keep a stray byte as it was
    else
      Utf8Append(out, f(c));
  }
  return out;
}
}  // namespace

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& ch : r)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& ch : r)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
  return r;
}

std::string AnsiUpperCase(std::string_view s) { return MapChars(s, AnsiUpperChar); }
std::string AnsiLowerCase(std::string_view s) { return MapChars(s, AnsiLowerChar); }

// --- comparison ----------------------------------------------------------------------------

namespace {
unsigned char AsciiLower(char ch) {
  const auto b = static_cast<unsigned char>(ch);
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
}
}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = AsciiLower(a[i]) - AsciiLower(b[i]);
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

int CompareStr(std::string_view a, std::string_view b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = AnsiLowerChar(Utf8Next(a, i));
    const char32_t cb = AnsiLowerChar(Utf8Next(b, j));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

// --- trimming and search -----------------------------------------------------------------

namespace {
bool IsBlank(char ch) { return static_cast<unsigned char>(ch) <= 0x20; }
}  // namespace

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

size_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  const size_t p = s.find(sub);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::vector<std::string> SplitNonEmpty(std::string_view s, std::string_view delimiters) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (delimiters.find(c) != std::string_view::npos) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// --- building --------------------------------------------------------------------------------

std::string StringReplace(std::string_view s, std::string_view oldPattern, std::string_view newPattern,
                          TReplaceFlags flags) {
  if (oldPattern.empty()) return std::string(s);
  const bool ignoreCase = (flags & rfIgnoreCase) != 0;
  const std::string hay = ignoreCase ? AnsiUpperCase(s) : std::string(s);
  const std::string pat = ignoreCase ? AnsiUpperCase(oldPattern) : std::string(oldPattern);
  // Upper-casing keeps byte lengths for the letters it maps only when both forms have equal
  // length; fall back to the ASCII form when it would not line up.
  const bool aligned = hay.size() == s.size() && pat.size() == oldPattern.size();
  const std::string h2 = aligned ? hay : (ignoreCase ? UpperCase(s) : std::string(s));
  const std::string p2 = aligned ? pat : (ignoreCase ? UpperCase(oldPattern) : std::string(oldPattern));
  std::string out;
  size_t from = 0;
  while (true) {
    const size_t p = h2.find(p2, from);
    if (p == std::string::npos) break;
    out.append(s.substr(from, p - from));
    out.append(newPattern);
    from = p + p2.size();
    if (!(flags & rfReplaceAll)) break;
  }
  out.append(s.substr(from));
  return out;
}

std::string QuotedStr(std::string_view s) {
  std::string out = "'";
  for (char ch : s) {
    out += ch;
    if (ch == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string IntToHex(int64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  uint64_t v = static_cast<uint64_t>(value);
  std::string out;
  do {
    out += kHex[v & 0xF];
    v >>= 4;
  } while (v != 0);
  while (static_cast<int>(out.size()) < digits) out += '0';
  std::reverse(out.begin(), out.end());
  return out;
}

std::string StringOfChar(char c, long long n) { return n > 0 ? std::string(static_cast<size_t>(n), c) : std::string(); }
