#include "dapicturevalidator.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "cp1250.h"
#include "text.h"

namespace {

// Characters are code points; a byte that is not valid UTF-8 is kept as itself, above the
// Unicode range, so the text comes back byte for byte.
constexpr char32_t kRawByte = 0x110000;

std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t from = i;
    const char32_t c = Utf8Next(s, i);
    if (c == 0xFFFD && i - from == 1 && static_cast<unsigned char>(s[from]) >= 0x80)
      out += kRawByte + static_cast<unsigned char>(s[from]);
    else
      out += c;
  }
  return out;
}

std::string Encode(const std::u32string& s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t c : s) {
    if (c >= kRawByte)
      out += static_cast<char>(c - kRawByte);
    else
      Utf8Append(out, c);
  }
  return out;
}

bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }

// Letters by their Windows-1250 code: above 128 (the euro sign, 128, is none). A character the
// code page cannot hold is no letter, as it could not be typed there either.
bool IsLetter(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  if (c < 0x80) return false;
  if (c >= kRawByte) return c - kRawByte > 128;
  return CharToCp1250(c) > 128;
}

char32_t UpperChar(char32_t c) { return c >= kRawByte ? c : AnsiUpperChar(c); }
char32_t LowerChar(char32_t c) { return c >= kRawByte ? c : AnsiLowerChar(c); }
// Literals compare with plain ASCII folding: Č in a mask takes Č only.
char32_t AsciiUpper(char32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

bool StopsFill(char32_t c) {
  switch (c) {
    case 0: case '!': case '#': case '&': case '*': case ',': case '?': case '@':
    case '[': case ']': case '{': case '}': case '~':
      return true;
    default:
      return false;
  }
}

// Nesting too deep for the matcher, a search too long, or a repetition count that does not fit
// 16 bits: the mask is refused as malformed.
struct MaskTooComplex {};

// Guarded calls may nest this deep: every bracket level costs a few, every chained star one.
constexpr int kMaxFrames = 4 * MaxPictureNesting + 64;
// Steps one check may take. Nested repetitions of alternatives can make the search grow
// beyond any use; such a mask is refused instead of hanging the program. Masks of fields come
// nowhere near it.
constexpr unsigned long kMaxSteps = 500'000;

bool CheckSyntax(const std::u32string& m) {
  if (m.empty()) return false;
  const char32_t last = m.back();
  if (last == ';') return false;
  if (last == '*' && (m.size() < 2 || m[m.size() - 2] != ';')) return false;
  int brackets = 0, braces = 0, depth = 0;
  for (size_t i = 0; i < m.size(); ++i) {
    switch (m[i]) {
      case ';': ++i; break;
      case '[': ++brackets; ++depth; break;
      case ']': --brackets; --depth; break;
      case '{': ++braces; ++depth; break;
      case '}': --braces; --depth; break;
      default: break;
    }
    if (depth > MaxPictureNesting) return false;
  }
  return brackets == 0 && braces == 0;
}

class Matcher {
 public:
  Matcher(const std::u32string& mask, std::u32string& text) : M(mask), T(text) {}

  int I = 1;  // position in the mask, 1-based
  int J = 1;  // position in the text, 1-based

  int MaskEnd() const { return static_cast<int>(M.size()) + 1; }
  int TextLength() const { return static_cast<int>(T.size()); }
  // The mask character at i; NUL outside the mask, like the end of a C string.
  char32_t m(int i) const { return (i >= 1 && i <= static_cast<int>(M.size())) ? M[i - 1] : 0; }

  PictureResult MatchAlternatives(int end) {
    Frame f(*this);
    FBlank = false;
    bool incomplete = false;
    int incI = 0, incJ = 0;
    int oldI = I, oldJ = J;
    for (;;) {
      PictureResult r = MatchSequence(end);
      if ((r == prComplete || r == prAmbiguous) && incomplete && J < incJ) {
        r = prIncomplete;
        J = incJ;
      }
      if (r != prError && r != prIncomplete) return (r == prComplete && incomplete) ? prAmbiguous : r;
      const PictureResult answer = r;
      if (r == prIncomplete && !incomplete) {
        incomplete = true;
        incI = I;
        incJ = J;
      }
      I = oldI;
      J = oldJ;
      if (!NextAlternative(end)) {
        if (incomplete) {
          I = incI;
          J = incJ;
          return prIncomplete;
        }
        return answer;
      }
      oldI = I;
    }
  }

 private:
  // Counts nested guarded calls; refuses the mask instead of exhausting the stack.
  struct Frame {
    explicit Frame(Matcher& m) : FM(m) {
      FM.Step();
      if (++FM.FFrames > kMaxFrames) {
        --FM.FFrames;
        throw MaskTooComplex{};
      }
    }
    ~Frame() { --FM.FFrames; }
    Matcher& FM;
  };

  PictureResult MatchSequence(int end) {
    PictureResult r = prEmpty;
    while (I < end && m(I) != ',') {
      Step();
      if (J > TextLength()) return CompleteByOptional(r, I, end);
      const char32_t c = m(I);
      char32_t& t = T[J - 1];
      switch (c) {
        case '#':
          if (!IsDigit(t)) return prError;
          ++I, ++J;
          break;
        case '?':
          if (!IsLetter(t)) return prError;
          ++I, ++J;
          break;
        case '&':
          if (!IsLetter(t)) return prError;
          Store(t, UpperChar(t));
          ++I, ++J;
          break;
        case '~':
          if (!IsLetter(t)) return prError;
          Store(t, LowerChar(t));
          ++I, ++J;
          break;
        case '!':
          Store(t, UpperChar(t));
          ++I, ++J;
          break;
        case '@':
          ++I, ++J;
          break;
        case '*':
          r = MatchRepetition(end);
          if (r != prComplete && r != prAmbiguous) return r;
          break;
        case '{':
          r = MatchGroup(end);
          if (r != prComplete && r != prAmbiguous) return r;
          break;
        case '[':
          r = MatchGroup(end);
          if (r == prIncomplete || r == prIncompNoFill) return r;
          if (r == prError) r = prAmbiguous;
          break;
        default: {
          if (c == ';') {
            ++I;
            if (I >= end) return prError;
          }
          const char32_t lit = m(I);
          if (AsciiUpper(lit) == AsciiUpper(t)) {
            if (lit == ' ' && J == TextLength()) FBlank = true;
          } else if (!(t == ' ' && J == TextLength() && !FBlank)) {
            return prError;
          }
          Store(t, lit);
          ++I, ++J;
          break;
        }
      }
      r = (r == prAmbiguous) ? prIncompNoFill : prIncomplete;
    }
    return r == prIncompNoFill ? prAmbiguous : prComplete;
  }

  PictureResult MatchRepetition(int end) {
    Frame f(*this);
    ++I;
    unsigned count = 0;
    while (IsDigit(m(I))) {
      count = count * 10 + (m(I) - '0');
      if (count > 0xFFFF) throw MaskTooComplex{};
      ++I;
    }
    if (I > end) return prSyntax;
    const int start = I;
    const int elementEnd = SkipElement(I, end);
    PictureResult r = prComplete;
    if (count > 0) {
      for (unsigned k = 0; k < count; ++k) {
        I = start;
        const int j0 = J;
        const unsigned changes0 = FChanges;
        r = MatchAlternatives(elementEnd);
        if (r != prComplete && r != prAmbiguous) {
          if (r == prEmpty) r = (m(I) == '[') ? prComplete : prIncomplete;
          return r;
        }
        // A round that took and changed nothing repeats exactly: so would the rest.
        if (J == j0 && FChanges == changes0) break;
      }
    } else {
      for (;;) {
        I = start;
        const int j0 = J;
        r = MatchAlternatives(elementEnd);
        if (J == j0 || (r != prComplete && r != prAmbiguous)) break;
      }
      if (r == prEmpty || r == prError) {
        ++I;
        r = prAmbiguous;
      }
    }
    I = elementEnd;
    return r;
  }

  PictureResult MatchGroup(int end) {
    Frame f(*this);
    const int groupEnd = SkipElement(I, end);
    ++I;
    const PictureResult r = MatchAlternatives(groupEnd - 1);
    if (r != prIncomplete && r != prIncompNoFill) I = groupEnd;
    return r;
  }

  // The position after the element at p; never beyond end.
  int SkipElement(int p, int end) {
    if (p >= end) return end;
    return std::min(ElementEnd(p), end);
  }

  // The position after the element at p, bounded only by the mask. Remembered per position:
  // repetitions and groups ask for the same element ends again and again.
  int ElementEnd(int p) {
    const int maskEnd = MaskEnd();
    if (p >= maskEnd) return maskEnd;
    if (FElementEnd.empty()) FElementEnd.assign(M.size() + 1, 0);
    int& known = FElementEnd[p];
    if (known != 0) return known;
    Frame f(*this);
    int q = p;
    int brackets = 0, braces = 0;
    do {
      if (q >= maskEnd) break;
      switch (m(q)) {
        case '[': ++brackets; ++q; break;
        case ']': --brackets; ++q; break;
        case '{': ++braces; ++q; break;
        case '}': --braces; ++q; break;
        case ';': q += 2; break;
        case '*':
          ++q;
          while (q < maskEnd && IsDigit(m(q))) ++q;
          q = ElementEnd(q);
          break;
        default: ++q; break;
      }
    } while (brackets > 0 || braces > 0);
    known = std::min(q, maskEnd);
    return known;
  }

  bool NextAlternative(int end) {
    while (I < end && m(I) != ',') I = SkipElement(I, end);
    if (I < end && m(I) == ',') ++I;
    return I < end;
  }

  // Whether the rest of the alternative from p up to end can be left out.
  PictureResult CompleteByOptional(PictureResult r, int p, int end) {
    Frame f(*this);
    if (r != prIncomplete && r != prIncompNoFill) return r;
    do {
      const char32_t c = m(p);
      if (c == '*') {
        if (IsDigit(m(p + 1))) {
          if (m(p + 2) != '[' || p + 2 >= end) break;
          p = SkipElement(p + 2, end);
        } else {
          p = SkipElement(p, end);
        }
      } else if (c == '[') {
        p = SkipElement(p, end);
      } else if (c == ',') {
        p = end;  // this alternative is done; the others need not be matched
      } else if (c == '{') {
        if (!GroupCanBeLeftOut(p, end)) break;
        p = SkipElement(p, end);
      } else {
        return r;
      }
    } while (p < end);
    return p >= end ? prAmbiguous : r;
  }

  // A group can be left out when one of its alternatives can. Each alternative is checked up to
  // its comma or closing brace, so a required element at its end is not overlooked.
  bool GroupCanBeLeftOut(int p, int end) {
    const int close = SkipElement(p, end) - 1;
    int a = p + 1;
    while (a <= close) {
      int b = a;
      while (b < close && m(b) != ',') b = SkipElement(b, close);
      if (b == a || CompleteByOptional(prIncomplete, a, b) == prAmbiguous) return true;
      if (b >= close) break;
      a = b + 1;
    }
    return false;
  }

  void Step() {
    if (++FSteps > kMaxSteps) throw MaskTooComplex{};
  }

  void Store(char32_t& t, char32_t value) {
    if (t != value) {
      t = value;
      ++FChanges;
    }
  }

  const std::u32string& M;
  std::u32string& T;
  bool FBlank = false;  // a blank matched a blank literal at the last text position
  int FFrames = 0;
  unsigned long FSteps = 0;
  unsigned FChanges = 0;            // characters of the text replaced so far
  std::vector<int> FElementEnd;     // ElementEnd by position; 0 while unknown
};

}  // namespace

TdaPictureValidator::TdaPictureValidator(const std::string& Mask, bool AutoFill) : FMask(Mask) {
  if (AutoFill) FOptions |= 1;
  std::string empty;
  if (Picture(empty, false) != prEmpty) FStatus = 1;
}

bool TdaPictureValidator::IsValidInput(std::string& Text, bool SuppressFill) {
  if (FMask.empty()) return true;
  return Picture(Text, (FOptions & 1) != 0 && !SuppressFill) != prError;
}

bool TdaPictureValidator::IsValid(const std::string& Text) {
  if (FMask.empty()) return true;
  std::string copy = Text;
  const PictureResult r = Picture(copy, false);
  return r == prComplete || r == prEmpty;
}

PictureResult TdaPictureValidator::Picture(std::string& Text, bool AutoFill) {
  const std::u32string mask = Decode(FMask);
  if (!CheckSyntax(mask)) return prSyntax;
  if (Text.empty()) return prEmpty;

  const std::u32string original = Decode(Text);
  std::u32string text = original;
  Matcher x(mask, text);
  PictureResult r;
  try {
    r = x.MatchAlternatives(x.MaskEnd());
    if (r != prError && r != prSyntax && x.J <= x.TextLength()) r = prError;
    if (r == prIncomplete && AutoFill) {
      bool appended = false;
      while (x.I < x.MaskEnd() && !StopsFill(x.m(x.I))) {
        if (x.m(x.I) == ';') ++x.I;
        if (x.I >= x.MaskEnd()) break;
        text += x.m(x.I);
        ++x.I;
        appended = true;
      }
      x.I = 1;
      x.J = 1;
      if (appended) {
        try {
          r = x.MatchAlternatives(x.MaskEnd());
        } catch (const MaskTooComplex&) {
          r = prError;  // the filled text could not be checked: keep the text as it was
        }
        // Text left over after the filled match is as wrong as a failed one.
        if (r != prError && r != prSyntax && x.J <= x.TextLength()) r = prError;
        if (r == prError) {
          r = prIncomplete;
          text = original;
        }
      }
    }
  } catch (const MaskTooComplex&) {
    return prSyntax;
  }
  if (r == prAmbiguous) r = prComplete;
  if (r == prIncompNoFill) r = prIncomplete;
  Text = Encode(text);
  return r;
}
