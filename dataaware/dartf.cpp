#include "dartf.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "cp1250.h"
#include "text.h"

namespace {

// Destinations whose text is not part of the document.
constexpr std::array<std::string_view, 34> SkippedDestinations = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
    "headerf", "footer", "footerl", "footerr", "footerf", "listtable", "listoverridetable", "revtbl",
    "rsidtbl", "generator", "xmlnstbl", "themedata", "colorschememapping", "datastore", "latentstyles",
    "pgdsctbl", "filetbl", "fldinst", "author", "operator", "title", "subject", "keywords", "comment",
    "doccomm"};

struct TGroup {
  bool Skip = false;
  int UnicodeFallback = 1;  // \ucN: characters that stand for each \uN
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool LooksLikeRtf(std::string_view Value) { return Value.substr(0, 5) == "{\\rtf"; }

std::string RtfToPlainText(std::string_view Rtf) {
  std::string out;
  std::vector<TGroup> stack;
  TGroup g;
  int fallback = 0;  // fallback characters of the last \uN still to pass over
  // A character of the document: taken unless it is a fallback or its group is skipped.
  auto emit = [&](auto&& append) {
    if (fallback > 0) {
      --fallback;
      return;
    }
    if (!g.Skip) append();
  };
  size_t i = 0;
  const size_t n = Rtf.size();
  while (i < n) {
    const char c = Rtf[i];
    if (c == '{') {
      stack.push_back(g);
      fallback = 0;
      ++i;
      continue;
    }
    if (c == '}') {
      if (!stack.empty()) {
        g = stack.back();
        stack.pop_back();
      }
      fallback = 0;
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c != '\\') {
      emit([&] { out += c; });
      ++i;
      continue;
    }
    // A control symbol or word.
    if (++i >= n) break;
    const char s = Rtf[i];
    if (!IsLetter(s)) {
      ++i;
      switch (s) {
        case '\\': case '{': case '}': emit([&] { out += s; }); break;
        case '\'': {
          const int hi = i < n ? HexValue(Rtf[i]) : -1;
          const int lo = i + 1 < n ? HexValue(Rtf[i + 1]) : -1;
          if (hi < 0 || lo < 0) break;
          i += 2;
          emit([&] { Utf8Append(out, Cp1250ToChar(static_cast<unsigned char>(hi * 16 + lo))); });
          break;
        }
        case '*': g.Skip = true; break;
        case '~': emit([&] { Utf8Append(out, U'\u00A0'); }); break;
        case '_': emit([&] { out += '-'; }); break;
        case '\r': case '\n': emit([&] { out += "\r\n"; }); break;
        default: break;  // \- optional hyphen, \| and the rest: nothing to show
      }
      continue;
    }
    const size_t start = i;
    while (i < n && IsLetter(Rtf[i])) ++i;
    const std::string_view word = Rtf.substr(start, i - start);
    bool hasParam = false;
    long param = 0;
    {
      const size_t p = i;
      if (i < n && Rtf[i] == '-') ++i;
      const size_t digits = i;
      while (i < n && IsDigit(Rtf[i]) && i - digits < 10) ++i;
      if (i > digits) {
        hasParam = true;
        param = std::strtol(std::string(Rtf.substr(p, i - p)).c_str(), nullptr, 10);
      } else {
        i = p;
      }
    }
    if (i < n && Rtf[i] == ' ') ++i;  // the delimiter belongs to the word
    if (word == "par" || word == "line" || word == "sect" || word == "page") {
      emit([&] { out += "\r\n"; });
    } else if (word == "tab") {
      emit([&] { out += '\t'; });
    } else if (word == "u" && hasParam) {
      const long code = param < 0 ? param + 65536 : param;
      // A lone surrogate half has no character of its own.
      const bool valid = code >= 0 && code <= 0xFFFF && !(code >= 0xD800 && code <= 0xDFFF);
      if (!g.Skip) Utf8Append(out, valid ? char32_t(code) : U'\uFFFD');
      fallback = g.UnicodeFallback;
    } else if (word == "uc" && hasParam) {
      g.UnicodeFallback = int(std::clamp(param, 0L, 10L));
    } else if (word == "bin" && hasParam) {
      i += size_t(std::clamp(param, 0L, long(n - i)));
    } else if (std::find(SkippedDestinations.begin(), SkippedDestinations.end(), word) != SkippedDestinations.end()) {
      g.Skip = true;
    } else if (word == "emdash") {
      emit([&] { Utf8Append(out, U'\u2014'); });
    } else if (word == "endash") {
      emit([&] { Utf8Append(out, U'\u2013'); });
    } else if (word == "bullet") {
      emit([&] { Utf8Append(out, U'\u2022'); });
    } else if (word == "lquote" || word == "rquote") {
      emit([&] { Utf8Append(out, word == "lquote" ? U'\u2018' : U'\u2019'); });
    } else if (word == "ldblquote" || word == "rdblquote") {
      emit([&] { Utf8Append(out, word == "ldblquote" ? U'\u201C' : U'\u201D'); });
    }
  }
  while (!out.empty() && (out.back() == '\r' || out.back() == '\n')) out.pop_back();
  return out;
}
