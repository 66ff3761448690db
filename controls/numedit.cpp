#include "numedit.h"

#include <algorithm>

#include "dialogs.h"
#include "formatsettings.h"
#include "numbers.h"
#include "text.h"

namespace {

std::u32string ToU32(std::string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) out.push_back(Utf8Next(s, i));
  return out;
}

std::string ToUtf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) Utf8Append(out, c);
  return out;
}

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

}  // namespace

std::string NumberEditDefaultFormat(TNumberEditType Kind) {
  return Kind == floatingpointvalue ? "###,###,##0.00 ;###,###,##0.00-" : "0;-0";
}

bool NumberEditParse(std::string_view Text, char DecimalSeparator, double& Value) {
  const std::u32string text = ToU32(Text);
  const char32_t sep = static_cast<unsigned char>(DecimalSeparator);
  const bool negative = text.find(U'-') != std::u32string::npos || text.find(U'(') != std::u32string::npos;
  // The kept characters are converted with the settings' separator, whatever it is now.
  std::string kept;
  for (char32_t c : text) {
    if (IsDigit(c))
      kept.push_back(char(c));
    else if (c == sep)
      kept.push_back(FormatSettings().DecimalSeparator);
  }
  if (kept.empty()) {
    Value = 0;
    return true;
  }
  double v;
  if (!TryStrToFloat(kept, v)) return false;
  Value = negative ? -v : v;
  return true;
}

char32_t NumberEditKeyFilter(std::string_view Text, int SelStart, int SelEnd, char32_t Key,
                             TNumberEditType Kind, char DecimalSeparator) {
  const char32_t sep = static_cast<unsigned char>(DecimalSeparator);
  const bool digit = IsDigit(Key);
  bool allowed = Key == 8 || Key == 127 || digit;
  if (Kind != wordvalue && Key == U'-') allowed = true;
  if (Kind == floatingpointvalue && Key == sep) allowed = true;
  if (!allowed) return 0;
  if (Key == 8 || Key == 127) return Key;

  const std::u32string text = ToU32(Text);
  const int len = int(text.size());
  const int start = std::clamp(std::min(SelStart, SelEnd), 0, len);
  const int end = std::clamp(std::max(SelStart, SelEnd), 0, len);
  const std::u32string selected = text.substr(size_t(start), size_t(end - start));

  if (Key == U'-') return start == 0 ? Key : 0;
  if (Key == sep && !digit) {
    if (text.find(sep) == std::u32string::npos) return Key;
    return end > start && selected.find(sep) != std::u32string::npos ? Key : 0;
  }

  // A digit: never in front of the sign.
  if (selected.find(U'-') == std::u32string::npos && start == 0 && !text.empty() && text[0] == U'-') return 0;
  std::u32string would = text.substr(0, size_t(start)) + Key + text.substr(size_t(end));
  switch (Kind) {
    case integervalue:
    case wordvalue: {
      if (Kind == integervalue && would == U"-") return Key;
      // Whatever the text looks like (thousands separators from the pattern, a doubled sign),
      // the range is checked on the value that leaving the control would read from it.
      double v;
      if (!NumberEditParse(ToUtf8(would), DecimalSeparator, v)) return 0;
      if (Kind == integervalue) return v >= -32768 && v <= 32767 ? Key : 0;
      return v > 65535 ? 0 : Key;
    }
    case longintvalue: {
      const bool minus = !would.empty() && would[0] == U'-';
      const std::u32string digits = minus ? would.substr(1) : would;
      const std::u32string limit = minus ? U"2147483648" : U"2147483647";
      if (digits.size() > 10 || (digits.size() == 10 && digits > limit)) return 0;
      return Key;
    }
    case floatingpointvalue:
      return Key;
  }
  return Key;
}

TNumberEdit::TNumberEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
  SetFilterPaste(true);
  SetAlignment(taRightJustify);
  SetBounds(Left(), Top(), 125, 21);
  SetAutoSelect(false);
  FEntryRequired = floatingpointvalue;
  FDisplayFormat = NumberEditDefaultFormat(FEntryRequired);
  FValue = 0;
  UpdateText();
}

void TNumberEdit::SetEntryRequired(TNumberEditType Value) {
  FEntryRequired = Value;
  SetDefaultFormat();
}

void TNumberEdit::SetDefaultFormat() {
  FDisplayFormat = NumberEditDefaultFormat(FEntryRequired);
  UpdateText();
}

void TNumberEdit::SetDisplayFormat(const std::string& Value) {
  if (Value == FDisplayFormat) return;
  FDisplayFormat = Value;
  UpdateText();
}

void TNumberEdit::SetValue(double Value) {
  if (Value == FValue) return;
  FValue = Value;
  UpdateText();
}

void TNumberEdit::UpdateText() { SetText(FormatFloat(FDisplayFormat, FValue)); }

void TNumberEdit::UpdateValueFromText() {
  double v;
  if (!NumberEditParse(Text(), FormatSettings().DecimalSeparator, v)) {
    MessageBeep(MB_ICONASTERISK);
    return;
  }
  FValue = v;
}

void TNumberEdit::DoEnter() {
  SelectAll();
  TCustomEdit::DoEnter();
}

void TNumberEdit::DoExit() {
  UpdateValueFromText();
  UpdateText();
  TCustomEdit::DoExit();
}

void TNumberEdit::KeyPress(char32_t& Key) {
  const int start = SelStart();
  Key = NumberEditKeyFilter(Text(), start, start + SelLength(), Key, FEntryRequired,
                            FormatSettings().DecimalSeparator);
  TCustomEdit::KeyPress(Key);
}
