#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dafilterparser.h"
#include "dialogs.h"
#include "filterfields.h"
#include "formatsettings.h"

namespace {

// The tree as text: (op left right); an operand as written, ":kind" when it is typed as a
// constant and "/scale" for BCD.
std::string Render(const TNode* n) {
  if (n == nullptr) return "<none>";
  if (n->Kind == nkOperand) {
    std::string s = n->Text;
    if (n->ConstKind != 0) s += ":" + std::to_string(n->ConstKind);
    if (n->Scale != 0) s += "/" + std::to_string(n->Scale);
    return s;
  }
  return "(" + n->Text + " " + Render(n->Left.get()) + " " + Render(n->Right.get()) + ")";
}

class FilterParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FilterTable = &Table;
  }
  // The warning texts shown so far; each one a warning box with one OK button.
  std::vector<std::string> Warnings() const {
    std::vector<std::string> r;
    for (const auto& m : Ui.Messages) {
      EXPECT_EQ(m.DlgType, mtWarning);
      EXPECT_TRUE(m.Buttons == TMsgDlgButtons{mbOK});
      r.push_back(m.Text);
    }
    return r;
  }
  void TearDown() override {
    FilterTable = nullptr;
    FormatSettings() = TFormatSettings{};
  }
  FilterFieldList Table{{{"Name", ftString, 30},
                         {"Qty", ftInteger, 0},
                         {"Price", ftBCD, 2},
                         {"Amount", ftFloat, 0},
                         {"A", ftInteger, 0},
                         {"B", ftSmallint, 0},
                         {"C", ftWord, 0},
                         {"Dat", ftDate, 0},
                         {"Stamp", ftDateTime, 0},
                         {"Tm", ftTime, 0},
                         {"Paid", ftBoolean, 0},
                         {"Id", ftAutoInc, 0},
                         {"Notes", ftMemo, 0},
                         {"First Name", ftString, 20},
                         {"Šifra", ftString, 10},
                         {"Količina", ftInteger, 0},
                         {"Cena", ftFloat, 0}}};
  TRecordingUiService Ui;
};

const std::string kNotFound = "\rField not found in Table. ";

}  // namespace

TEST_F(FilterParserTest, Cases) {
  const std::string op70(70, 'x');
  struct Case {
    std::string text;
    std::string tree;     // "<none>" when the parse fails
    std::string warning;  // the dialog text, empty when none
  };
  const std::vector<Case> cases = {
      {"Name = \"Smith\" AND Qty > 5", "(AND (= Name \"Smith\":1) (> Qty 5:7))", ""},
      // No logical operator is expected after =: the name runs on; "> 5" is not examined.
      {"Name = Smith AND Qty > 5", "(= Name Smith AND Qty:1)", ""},
      {"A == 1", "A", ""},  // "==" is one token and no relational operator
      {"A = 1)", "(= A 1:7)", ""},
      {"A = 1 = 2", "(= A 1:7)", ""},
      {"Name = " + op70, "(= Name " + std::string(64, 'x') + ":1)", ""},
      // ORDER after a relation: OR is taken without a word boundary.
      {"A = 1 ORB = 2", "(OR (= A 1:7) (= B 2:9))", ""},
      {"A = 1 ORDER = 2", "<none>", "DER" + kNotFound},
      {"A = 1 or B = 2", "(or (= A 1:7) (= B 2:9))", ""},  // kept as written
      // AND and OR share one level and group from the left.
      {"A=1 OR B=2 AND C=3", "(AND (OR (= A 1:7) (= B 2:9)) (= C 3:9))", ""},
      {"A=1 AND (B=2 OR C=3)", "(AND (= A 1:7) (OR (= B 2:9) (= C 3:9)))", ""},
      // A constant on the left, an unknown field.
      {"5 = Qty", "<none>", "5" + kNotFound},
      {"Foo = 1", "<none>", "Foo" + kNotFound},
      // Blanks and * belong to names: "Qty * 2" is one name, as is "Qty*2".
      {"Qty * 2 > 10", "<none>", "Qty * 2" + kNotFound},
      {"Qty*2 > 10", "<none>", "Qty*2" + kNotFound},
      // Parentheses separate arithmetic; a constant right of an operator node stays a field
      // reference (kind 0), as does everything after the first typed constant.
      {"(Qty) * (2) > 10", "(> (* Qty 2:7) 10)", ""},
      {"(A) / (B) / (C) = 1", "(= (/ (/ A B:7) C) 1)", ""},
      // Constant kinds by the field on the left.
      {"Price < 2.5", "(< Price 2.5:8/2)", ""},
      {"Amount >= 1.25", "(>= Amount 1.25:2)", ""},
      {"Dat <> \"1.1.2024\"", "(<> Dat \"1.1.2024\":4)", ""},
      {"Stamp <= \"1.1.2024 10:00\"", "(<= Stamp \"1.1.2024 10:00\":3)", ""},
      {"Tm = \"10:00\"", "(= Tm \"10:00\":5)", ""},
      {"Paid = True", "(= Paid True:6)", ""},
      {"Id = 7", "(= Id 7:7)", ""},
      {"Notes = x", "(= Notes x)", ""},
      {"qty > 1", "(> qty 1:7)", ""},  // field names ignore case
      {"First Name = \"Ana\"", "(= First Name \"Ana\":1)", ""},
      // Beyond ASCII, names take the characters of Windows-1250 codes 146-255: č, š, ž, ...
      // but not Š, Ž, Ś, Ť, Ź (138-143). A name cannot begin with one and ends before one.
      {"Količina > 5", "(> Količina 5:7)", ""},
      {"Šifra = \"Č-1\"", "<none>", ""},
      {"CenaŽ = 1", "Cena", ""},
      {"\tA = 1", "(= A 1:7)", ""},
      // Failures without a message.
      {"", "<none>", ""},
      {"A =", "<none>", ""},
      {"A = )", "<none>", ""},
      {"(A = 1", "<none>", ""},
      {"Name = \"Smith", "<none>", ""},
      {"'x' = A", "<none>", ""},
      {"A = 1 AND", "<none>", ""},
  };
  for (const Case& c : cases) {
    Ui.Messages.clear();
    std::unique_ptr<TNode> tree = ParseFilter(c.text);
    EXPECT_EQ(Render(tree.get()), c.tree) << c.text;
    if (c.warning.empty())
      EXPECT_TRUE(Warnings().empty()) << c.text;
    else
      EXPECT_EQ(Warnings(), std::vector<std::string>{c.warning}) << c.text;
  }
}

TEST_F(FilterParserTest, Tokens) {
  struct Case {
    const char* input;
    bool logical;
    const char* token;
  };
  const Case cases[] = {
      {"<>x", false, "<>"},          {"=>1", false, "=>"},
      {"==", false, "=="},           {"<1", false, "<"},
      {"(A", false, "("},            {")", false, ")"},
      {"12.5x", false, "12.5"},      {"12x", false, "12"},
      {"First Name = 1", false, "First Name"},
      {"Qty*2>1", false, "Qty*2"},   {"\"a b\" c", false, "\"a b\""},
      {"ORDER", true, "OR"},         {"order", true, "or"},
      {"ANDREJ", true, "AND"},       {"ORDER", false, "ORDER"},
      {"'x'", false, ""},            {".5", false, ""},
      {"čas = 1", false, "čas"},     {"  \t x  ", false, "x"},
      {"Šifra", false, ""},          {"cenaž€", false, "cenaž"},
      {"KoŠ", false, "Ko"},          {"a b\u00a0c", false, "a b\u00a0c"},
      {"-5 ", false, "-5"},          {"", false, ""},
  };
  for (const Case& c : cases) {
    SetFilterInput(c.input);
    LogicalExpected = c.logical;
    EXPECT_EQ(PeekToken(), c.token) << c.input;
  }
  LogicalExpected = false;
  // Only leading blanks are consumed by a peek; AcceptToken takes the token itself.
  SetFilterInput("  A = 1");
  EXPECT_EQ(PeekToken(), "A");
  EXPECT_EQ(FilterInput(), "A = 1");
  EXPECT_FALSE(AcceptToken("a"));  // exact case
  EXPECT_FALSE(AcceptToken(""));
  EXPECT_TRUE(AcceptToken("A"));
  EXPECT_EQ(FilterInput(), " = 1");
}

TEST_F(FilterParserTest, NumberUsesTheProgramsDecimalSeparator) {
  FormatSettings().DecimalSeparator = ',';
  auto tree = ParseFilter("Price < 2,5");
  EXPECT_EQ(Render(tree.get()), "(< Price 2,5:8/2)");
}

TEST_F(FilterParserTest, DeepNestingAndLongChainsFailCleanly) {
  // 10,000 nested parentheses: refused.
  std::string deep = std::string(10000, '(') + "A = 1" + std::string(10000, ')');
  EXPECT_EQ(ParseFilter(deep), nullptr);
  // The deepest nesting allowed.
  std::string ok = std::string(MaxFilterNesting, '(') + "A = 1" + std::string(MaxFilterNesting, ')');
  EXPECT_EQ(Render(ParseFilter(ok).get()), "(= A 1:7)");

  // A 100,000-term AND chain grows the tree beyond its limit: refused, and quickly.
  std::string chain = "A = 1";
  for (int i = 1; i < 100000; ++i) chain += " AND A = 1";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseFilter(chain), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // A chain of 300 terms parses; counting and freeing its tree do not recurse.
  std::string chain300 = "A = 1";
  for (int i = 1; i < 300; ++i) chain300 += " OR A = 1";
  auto tree = ParseFilter(chain300);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(CountNodes(tree.get()), 300 * 3 + 299);
  EXPECT_EQ(tree->Depth(), 301);
  EXPECT_TRUE(Warnings().empty());
}

// A warning box that starts a second parse while it is shown.
class ParsingUiService : public TRecordingUiService {
 public:
  int MessageBox(const std::string& Text, const std::string& Caption, TMsgDlgType DlgType,
                 TMsgDlgButtons Buttons) override {
    Ran = true;
    Inner = ParseFilter("A = 1");
    return TRecordingUiService::MessageBox(Text, Caption, DlgType, Buttons);
  }
  bool Ran = false;
  std::unique_ptr<TNode> Inner;
};

TEST_F(FilterParserTest, AParseStartedFromTheWarningFails) {
  {
    ParsingUiService ui;
    EXPECT_EQ(ParseFilter("Foo = 1"), nullptr);
    EXPECT_TRUE(ui.Ran);
    EXPECT_EQ(ui.Inner, nullptr);
  }
  // And the parser is usable again afterwards.
  EXPECT_EQ(Render(ParseFilter("A = 1").get()), "(= A 1:7)");
}

TEST_F(FilterParserTest, GrammarRulesNeedAParse) {
  SetFilterInput("A = 1");
  EXPECT_FALSE(ParseLogical());
  EXPECT_FALSE(MakeNode(nkOperand, "A"));
  EXPECT_FALSE(ReduceSymbols(1, "L"));
}

TEST(FilterParserHelpers, ConstKindsAndFieldLookup) {
  struct Case {
    TFieldType type;
    int kind;
  };
  for (const Case& c : {Case{ftString, 1}, Case{ftFloat, 2}, Case{ftCurrency, 2},
                        Case{ftDateTime, 3}, Case{ftDate, 4}, Case{ftTime, 5}, Case{ftBoolean, 6},
                        Case{ftInteger, 7}, Case{ftAutoInc, 7}, Case{ftBCD, 8},
                        Case{ftSmallint, 9}, Case{ftWord, 9}, Case{ftMemo, 0}, Case{ftBlob, 0},
                        Case{ftUnknown, 0}, Case{ftLargeint, 0}, Case{ftFixedChar, 0}})
    EXPECT_EQ(ConstKindOfField(c.type), c.kind) << int(c.type);

  EXPECT_FALSE(FieldExists(nullptr, "A"));
  for (const char* op : {"<", "<>", "<=", ">=", "=", ">"}) EXPECT_TRUE(IsRelOp(op)) << op;
  for (const char* op : {"==", "=>", "<<", "", "!="}) EXPECT_FALSE(IsRelOp(op)) << op;
  EXPECT_EQ(CountNodes(nullptr), 0);
}
