#include "dastrings.h"

#include "classes.h"
#include "numbers.h"
#include "text.h"

std::string ExtractItem(std::string_view Text, std::string_view Delimiter, int& Position) {
  if (Position <= 0) return {};
  if (static_cast<size_t>(Position) > Text.size()) {
    Position = -1;
    return {};
  }
  const std::string_view rest = Text.substr(static_cast<size_t>(Position) - 1);
  size_t p = 0;
  size_t delimLength = Delimiter.size();
  if (Utf8Length(Delimiter) <= 1) {
    p = Pos(Delimiter, rest);
  } else {
    const std::string padded = " " + UpperCase(Delimiter) + " ";
    delimLength = padded.size();
    p = Pos(padded, UpperCase(rest));  // ASCII upper case keeps byte positions
  }
  if (p == 0) {
    Position = -1;
    return std::string(rest);
  }
  Position += static_cast<int>(p - 1 + delimLength);
  return std::string(rest.substr(0, p - 1));
}

void SplitToList(std::string_view Text, std::string_view Separator, TStrings* List) {
  List->Clear();
  // The separator is one character: skip all of its bytes, never part of one.
  const size_t skip = Utf8ByteOffset(Separator, 1);
  std::string_view rest = Text;
  for (;;) {
    const size_t p = Pos(Separator, rest);
    if (p == 0) {
      List->Add(std::string(rest));
      return;
    }
    List->Add(std::string(rest.substr(0, p - 1)));
    rest = rest.substr(std::min(rest.size(), p - 1 + skip));
  }
}

void StripTrailingChars(std::string& Text, std::string_view Chars) {
  while (!Text.empty()) {
    // Start of the last character.
    size_t start = Text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(Text[start]) & 0xC0) == 0x80) --start;
    const std::string_view last = std::string_view(Text).substr(start);
    bool inSet = false;
    for (size_t i = 0; i < Chars.size() && !inSet;) {
      const size_t from = i;
      i = from + std::max<size_t>(1, Utf8ByteOffset(Chars.substr(from), 1));
      inSet = Chars.substr(from, i - from) == last;
    }
    if (!inSet) return;
    Text.erase(start);
  }
}

void AssignLines(TStringList& Lines, TStrings* Value) {
  if (!Value) Lines.Clear();
  else if (Value != &Lines) Lines.Assign(Value);
}

bool TextsEqualIgnoreCase(std::string_view A, std::string_view B) {
  return AnsiUpperCase(A) == AnsiUpperCase(B);
}

bool IsValidFloat(std::string_view Text) {
  if (Text.empty()) return true;
  double value = 0;
  return TryStrToFloat(Utf8Left(Text, 63), value);
}
