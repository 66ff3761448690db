#pragma once
// Single-line edit for numbers: refuses while typing every key that would not leave a number of
// the chosen kind within its range, keeps a numeric Value, shows it with a FormatFloat pattern
// and reads the typed text back into Value when the focus leaves.
#include <string>
#include <string_view>

#include "widgets.h"

enum TNumberEditType { integervalue, longintvalue, floatingpointvalue, wordvalue };

// The pattern a kind starts with: "0;-0" for the whole-number kinds,
// "###,###,##0.00 ;###,###,##0.00-" for floatingpointvalue.
std::string NumberEditDefaultFormat(TNumberEditType Kind);

// The key filter. Key is typed into Text (UTF-8) whose selection runs from character SelStart to
// SelEnd (equal without a selection). Returns Key when it is accepted, 0 when refused.
char32_t NumberEditKeyFilter(std::string_view Text, int SelStart, int SelEnd, char32_t Key,
                             TNumberEditType Kind, char DecimalSeparator);

// Reads Text as the control does on leaving: negative when it holds "-" or "(", only digits and
// the decimal separator count, no digits is 0. Returns false (Value untouched) when the kept
// characters are no number, such as two decimal separators.
bool NumberEditParse(std::string_view Text, char DecimalSeparator, double& Value);

class TNumberEdit : public TCustomEdit {
public:
  explicit TNumberEdit(TComponent* AOwner);

  TNumberEditType EntryRequired() const { return FEntryRequired; }
  // Stores the kind, then the kind's default pattern replaces DisplayFormat.
  void SetEntryRequired(TNumberEditType Value);
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value);
  // The value as of the last leaving of the control or the last write; typing runs ahead.
  double Value() const { return FValue; }
  // A different value is stored and shown; an equal one changes nothing.
  void SetValue(double Value);

  // Text := FormatFloat(DisplayFormat, Value).
  void UpdateText();
  // Value := the parsed text; on a text that is no number, a beep and Value stays.
  void UpdateValueFromText();
  void SetDefaultFormat();

  ZEL_CLASS(TNumberEdit, TCustomEdit)

protected:
  void DoEnter() override;
  void DoExit() override;
  void KeyPress(char32_t& Key) override;

private:
  TNumberEditType FEntryRequired = floatingpointvalue;
  std::string FDisplayFormat;
  double FValue = 0;
};
