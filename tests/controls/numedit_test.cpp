// The numeric edit control: the key filter and the parse as tables under a decimal-comma and a
// decimal-point setting, then the real control offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include <string>

#include "../ui/uitest.h"
#include "formatsettings.h"
#include "numedit.h"


namespace {

// Sets the separators for one test and puts the previous settings back.
class SeparatorScope {
public:
  SeparatorScope(char Decimal, char Thousand) : FSaved(FormatSettings()) {
    FormatSettings().DecimalSeparator = Decimal;
    FormatSettings().ThousandSeparator = Thousand;
  }
  ~SeparatorScope() { FormatSettings() = FSaved; }

private:
  TFormatSettings FSaved;
};

struct TSeparators {
  char Decimal, Thousand;
};
const TSeparators kSettings[] = {{',', '.'}, {'.', ','}};

// In the texts below "D" stands for the decimal separator and "T" for the thousands separator of
// the setting under test.
std::string Localise(std::string s, TSeparators sep) {
  for (char& c : s) {
    if (c == 'D') c = sep.Decimal;
    else if (c == 'T') c = sep.Thousand;
  }
  return s;
}

struct TKeyCase {
  const char* What;
  TNumberEditType Kind;
  const char* Text;
  int SelStart, SelEnd;
  char Key;  // 'D' for the decimal separator, 'T' for the thousands separator
  bool Accepted;
};

const TKeyCase kKeyCases[] = {
    {"integer 32767 fits", integervalue, "3276", 4, 4, '7', true},
    {"integer 32768 is too big", integervalue, "3276", 4, 4, '8', false},
    {"integer -32768 fits", integervalue, "-3276", 5, 5, '8', true},
    {"integer -32769 is too small", integervalue, "-3276", 5, 5, '9', false},
    {"integer lone minus", integervalue, "", 0, 0, '-', true},
    {"integer digit after lone minus", integervalue, "-", 1, 1, '5', true},
    {"integer digit replacing a too big selection", integervalue, "99999", 0, 5, '9', true},
    {"integer thousands-formatted text is read as its value", integervalue, "1T234", 5, 5, '5', true},
    {"integer thousands-formatted text over range", integervalue, "32T767", 6, 6, '1', false},
    {"integer refuses the decimal separator", integervalue, "12", 2, 2, 'D', false},
    {"integer refuses a letter", integervalue, "12", 2, 2, 'a', false},
    {"integer refuses a blank", integervalue, "12", 2, 2, ' ', false},
    {"longint 2147483647 fits", longintvalue, "214748364", 9, 9, '7', true},
    {"longint 2147483648 is too big", longintvalue, "214748364", 9, 9, '8', false},
    {"longint eleventh digit", longintvalue, "2147483647", 10, 10, '0', false},
    {"longint -2147483648 fits", longintvalue, "-214748364", 10, 10, '8', true},
    {"longint -2147483649 is too small", longintvalue, "-214748364", 10, 10, '9', false},
    {"longint leading zeros count", longintvalue, "0000000001", 10, 10, '1', false},
    {"longint leading zeros within ten", longintvalue, "000000001", 9, 9, '1', true},
    {"word 65535 fits", wordvalue, "6553", 4, 4, '5', true},
    {"word 65536 is too big", wordvalue, "6553", 4, 4, '6', false},
    {"word refuses the minus sign", wordvalue, "", 0, 0, '-', false},
    {"word refuses the decimal separator", wordvalue, "1", 1, 1, 'D', false},
    {"float second separator refused", floatingpointvalue, "12D5", 4, 4, 'D', false},
    {"float second separator over the whole text", floatingpointvalue, "12D5", 0, 4, 'D', true},
    {"float separator over a selection without one", floatingpointvalue, "12D5", 0, 2, 'D', false},
    {"float first separator", floatingpointvalue, "125", 3, 3, 'D', true},
    {"float refuses the thousands separator", floatingpointvalue, "125", 3, 3, 'T', false},
    {"float has no range", floatingpointvalue, "99999999999999999999", 20, 20, '9', true},
    {"minus at position 2 refused", floatingpointvalue, "12", 2, 2, '-', false},
    {"minus at position 0 accepted", integervalue, "12", 0, 0, '-', true},
    {"minus with selection from 0", longintvalue, "12", 0, 2, '-', true},
    {"digit in front of the sign refused", integervalue, "-12", 0, 0, '5', false},
    {"digit over a selected sign accepted", integervalue, "-12", 0, 1, '5', true},
    {"float digit in front of the sign refused", floatingpointvalue, "-12D5", 0, 0, '1', false},
};

class NumberEditFilter : public ::testing::TestWithParam<TSeparators> {};

TEST_P(NumberEditFilter, KeyTable) {
  const TSeparators sep = GetParam();
  SeparatorScope scope(sep.Decimal, sep.Thousand);
  for (const TKeyCase& c : kKeyCases) {
    const std::string text = Localise(c.Text, sep);
    const char32_t key = static_cast<unsigned char>(Localise(std::string(1, c.Key), sep)[0]);
    const char32_t got = NumberEditKeyFilter(text, c.SelStart, c.SelEnd, key, c.Kind, sep.Decimal);
    EXPECT_EQ(got, c.Accepted ? key : U'\0') << c.What << " (text " << text << ")";
  }
}

TEST_P(NumberEditFilter, BackspaceAndDeletePassForEveryKind) {
  const TSeparators sep = GetParam();
  for (TNumberEditType kind : {integervalue, longintvalue, floatingpointvalue, wordvalue})
    for (char32_t k : {U'\b', U'\x7f'}) EXPECT_EQ(NumberEditKeyFilter("-32768", 6, 6, k, kind, sep.Decimal), k);
}

struct TParseCase {
  const char* Text;
  bool Ok;
  double Value;
};

const TParseCase kParseCases[] = {
    {"(1T234D50)", true, -1234.5},
    {"", true, 0},
    {"   ", true, 0},
    {"1T234D50 ", true, 1234.5},
    {"1T234D50-", true, -1234.5},
    {"-0", true, 0},
    {"12", true, 12},
    {"D5", true, 0.5},
    {"1D2D3", false, 0},
    {"D", false, 0},
    {"abc7", true, 7},
    {"32767", true, 32767},
    {"4294967296", true, 4294967296.0},
};

TEST_P(NumberEditFilter, ParseTable) {
  const TSeparators sep = GetParam();
  SeparatorScope scope(sep.Decimal, sep.Thousand);
  for (const TParseCase& c : kParseCases) {
    const std::string text = Localise(c.Text, sep);
    double v = 99;
    EXPECT_EQ(NumberEditParse(text, sep.Decimal, v), c.Ok) << text;
    EXPECT_DOUBLE_EQ(v, c.Ok ? c.Value : 99) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Separators, NumberEditFilter, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return info.param.Decimal == ',' ? "DecimalComma" : "DecimalPoint"; });

TEST(NumberEditFormat, DefaultPatternsByKind) {
  EXPECT_EQ(NumberEditDefaultFormat(integervalue), "0;-0");
  EXPECT_EQ(NumberEditDefaultFormat(longintvalue), "0;-0");
  EXPECT_EQ(NumberEditDefaultFormat(wordvalue), "0;-0");
  EXPECT_EQ(NumberEditDefaultFormat(floatingpointvalue), "###,###,##0.00 ;###,###,##0.00-");
}

// --- the real control ----------------------------------------------------------------------

class UiNumberEdit : public UiFixture {
protected:
  UiNumberEdit() {
    Application->CreateForm(Form);
    Number = new TNumberEdit(Form);
    Number->SetParent(Form);
    Number->SetBounds(8, 8, 125, 21);
    Other = new TEdit(Form);
    Other->SetParent(Form);
    Other->SetBounds(8, 40, 125, 21);
  }
  QLineEdit* Line() const { return static_cast<QLineEdit*>(Number->Widget()); }
  void Enter() {
    Form->SetActiveControl(Number);
    ShowActive(Form);
    ASSERT_TRUE(Number->Focused());
  }
  void Leave() {
    Other->SetFocus();
    ASSERT_TRUE(Other->Focused());
  }
  TForm* Form = nullptr;
  TNumberEdit* Number = nullptr;
  TEdit* Other = nullptr;
};

TEST_F(UiNumberEdit, NewControlShowsZeroInTheFloatingPointFormat) {
  EXPECT_EQ(Number->Text(), "0.00 ");
  EXPECT_EQ(Number->EntryRequired(), floatingpointvalue);
  EXPECT_EQ(Number->Alignment(), taRightJustify);
  EXPECT_TRUE(Line()->alignment() & Qt::AlignRight);
  EXPECT_EQ(Number->Width(), 125);
  EXPECT_EQ(Number->Height(), 21);
  SeparatorScope comma(',', '.');
  TNumberEdit second(Form);
  EXPECT_EQ(second.Text(), "0,00 ");
  second.SetValue(-1234567.891);
  EXPECT_EQ(second.Text(), "1.234.567,89-");
}

TEST_F(UiNumberEdit, TypingLeavingAndReadingValue) {
  Number->SetEntryRequired(integervalue);
  EXPECT_EQ(Number->DisplayFormat(), "0;-0");
  EXPECT_EQ(Number->Text(), "0");
  Enter();
  EXPECT_EQ(Line()->selectedText(), "0");  // the whole text is selected on entering
  QTest::keyClicks(Line(), "3x27.6-8");       // letters, the separator, a late minus are refused
  EXPECT_EQ(Number->Text(), "3276");
  EXPECT_EQ(Number->Value(), 0);  // typing runs ahead of Value
  QTest::keyClick(Line(), Qt::Key_7);
  Leave();
  EXPECT_EQ(Number->Value(), 32767);
  EXPECT_EQ(Number->Text(), "32767");

  // Backspace passes and the minus sign only goes in front.
  Number->SetFocus();
  QTest::keyClick(Line(), Qt::Key_End);
  QTest::keyClick(Line(), Qt::Key_Backspace);
  QTest::keyClick(Line(), Qt::Key_Home);
  QTest::keyClick(Line(), Qt::Key_Minus);
  EXPECT_EQ(Number->Text(), "-3276");
  Leave();
  EXPECT_EQ(Number->Value(), -3276);
}

TEST_F(UiNumberEdit, FloatingPointTextIsReadWithTheSettingsSeparators) {
  SeparatorScope comma(',', '.');
  Enter();
  QTest::keyClicks(Line(), "1234,5");
  Leave();
  EXPECT_DOUBLE_EQ(Number->Value(), 1234.5);
  EXPECT_EQ(Number->Text(), "1.234,50 ");
  Number->SetFocus();
  QTest::keyClick(Line(), Qt::Key_Home);
  QTest::keyClick(Line(), Qt::Key_Minus);
  Leave();
  EXPECT_DOUBLE_EQ(Number->Value(), -1234.5);
  EXPECT_EQ(Number->Text(), "1.234,50-");
}

TEST_F(UiNumberEdit, WritingAnEqualValueDoesNotRewriteTheText) {
  Number->SetEntryRequired(integervalue);
  Number->SetValue(7);
  EXPECT_EQ(Number->Text(), "7");
  int changes = 0;
  Number->OnChange = [&](TObject*) { ++changes; };
  Number->SetText("12");  // typed ahead, not yet read
  changes = 0;
  Number->SetValue(7);
  EXPECT_EQ(Number->Text(), "12");
  EXPECT_EQ(changes, 0);
  Number->SetValue(8);
  EXPECT_EQ(Number->Text(), "8");
  EXPECT_EQ(changes, 1);
}

TEST_F(UiNumberEdit, AStoredPatternWinsAfterTheKind) {
  Number->SetEntryRequired(integervalue);
  Number->SetDisplayFormat("000");
  Number->SetValue(5);
  EXPECT_EQ(Number->Text(), "005");
  Number->SetEntryRequired(longintvalue);  // the kind's default replaces any pattern
  EXPECT_EQ(Number->DisplayFormat(), "0;-0");
  EXPECT_EQ(Number->Text(), "5");
}

TEST_F(UiNumberEdit, TextThatIsNoNumberBeepsAndKeepsTheValue) {
  Number->SetValue(2.5);
  Enter();
  Number->SetText("1.2.3");
  Leave();
  EXPECT_EQ(Rec.Beeps, std::vector<unsigned>{MB_ICONASTERISK});
  EXPECT_DOUBLE_EQ(Number->Value(), 2.5);
  EXPECT_EQ(Number->Text(), "2.50 ");
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(UiNumberEdit, PasteIsCheckedAsIfTyped) {
  Number->SetEntryRequired(wordvalue);
  Enter();
  QApplication::clipboard()->setText("6a5-5.3 6 9");
  QTest::keyClick(Line(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Number->Text(), "6553");
  Leave();
  EXPECT_EQ(Number->Value(), 6553);
}

TEST_F(UiNumberEdit, EditingKeysPassTheFilter) {
  Number->SetEntryRequired(integervalue);
  Enter();
  QTest::keyClicks(Line(), "123");
  QTest::keyClick(Line(), Qt::Key_Home);
  QTest::keyClick(Line(), Qt::Key_Delete);
  EXPECT_EQ(Number->Text(), "23");
  QTest::keyClick(Line(), Qt::Key_End);
  QTest::keyClick(Line(), Qt::Key_Home, Qt::ShiftModifier);
  QTest::keyClick(Line(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(Number->Text(), "");
  EXPECT_EQ(QApplication::clipboard()->text(), "23");
  QTest::keyClick(Line(), Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(Line(), Qt::Key_Insert, Qt::ShiftModifier);  // the other paste key, filtered too
  EXPECT_EQ(Number->Text(), "2323");
  Leave();
  EXPECT_EQ(Number->Value(), 2323);
}

TEST_F(UiNumberEdit, AnotherWindowTakingTheFocusIsNotLeaving) {
  Number->SetEntryRequired(integervalue);
  int exits = 0;
  Number->OnExit = [&](TObject*) { ++exits; };
  Enter();
  QTest::keyClicks(Line(), "42");
  QWidget box;  // stands for a message box
  box.show();
  box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  EXPECT_EQ(exits, 0);
  EXPECT_EQ(Number->Value(), 0);
  box.hide();
  Form->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form->Widget()));
  EXPECT_EQ(Number->Text(), "42");  // not reformatted, not reselected
  QTest::keyClick(Line(), Qt::Key_1);
  Leave();
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(Number->Value(), 421);
}

TEST_F(UiNumberEdit, AnExceptionInOnKeyPressDoesNotReachQt) {
  Number->SetEntryRequired(integervalue);
  Number->OnKeyPress = [](TObject*, char32_t& Key) {
    if (Key == U'5') throw Exception("no fives");
  };
  Enter();
  QTest::keyClicks(Line(), "151");
  EXPECT_EQ(Number->Text(), "11");
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "no fives");
}

}  // namespace
