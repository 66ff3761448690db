// Fixed-width fields and the amount format of the export files.
#include <gtest/gtest.h>

#include <string>

#include "fmain.h"
#include "formatsettings.h"
#include "stdprocfmt.h"

namespace {

std::string B(int n) { return std::string(static_cast<size_t>(n), ' '); }

struct TFixCase {
  bool Right;
  std::string Text;
  int Width;
  char32_t Pad;
  bool Cut;
  std::string Expected;
};

TEST(FixedWidth, FillsCutsAndDropsByTheRules) {
  const std::string sixty(60, 'x');
  const TFixCase cases[] = {
      {false, "H00", 3, U' ', true, "H00"},
      {false, "ARTIKLI", 12, U' ', true, "ARTIKLI" + B(5)},
      {true, "42", 6, U' ', true, B(4) + "42"},
      {true, "1234567", 6, U' ', true, "123456"},  // a too long number keeps its beginning
      {false, sixty, 50, U' ', false, B(50)},      // no cut: the text is dropped
      {true, sixty, 50, U'*', false, std::string(50, '*')},
      {false, "", 40, U' ', true, B(40)},
      {true, "", 0, U' ', true, ""},
      {false, "abc", -2, U' ', true, ""},
      // Widths count characters: each Slovenian letter is one.
      {false, "Žagar", 8, U' ', true, "Žagar" + B(3)},
      {true, "čšž", 5, U' ', true, B(2) + "čšž"},
      {false, "Čebelarstvo", 3, U' ', true, "Čeb"},
      {false, "ab", 4, U'č', true, "abčč"},
  };
  for (const auto& c : cases) {
    const std::string got = c.Right ? FixLengthStrR(c.Text, c.Width, c.Pad, c.Cut)
                                    : FixLengthStrL(c.Text, c.Width, c.Pad, c.Cut);
    EXPECT_EQ(got, c.Expected) << (c.Right ? "R" : "L") << " '" << c.Text << "' width " << c.Width;
  }
}

TEST(FixedWidth, ReplicateStr) {
  EXPECT_EQ(ReplicateStr(U' ', 3), "   ");
  EXPECT_EQ(ReplicateStr(U'š', 2), "šš");
  EXPECT_EQ(ReplicateStr(U'x', 0), "");
  EXPECT_EQ(ReplicateStr(U'x', -4), "");
}

TEST(FixedWidth, FormatNumberWritesTwoDecimalsCutNotRounded) {
  const struct {
    int64_t Value;
    const char* Expected;
  } cases[] = {
      {123450, "12.34"}, {70000, "7.00"}, {5000, "0.50"}, {-32000, "-3.20"}, {0, "0.00"},
      {1, "0.00"},       {19999, "1.99"}, {-1, "-0.00"},  {420000, "42.00"}, {12345000, "1234.50"},
  };
  for (const auto& c : cases) EXPECT_EQ(TMain::FormatNumber(c.Value), c.Expected) << c.Value;
}

class DecimalComma : public ::testing::Test {
protected:
  DecimalComma() { FormatSettings().DecimalSeparator = ','; }
  ~DecimalComma() override { FormatSettings() = TFormatSettings{}; }
};

TEST_F(DecimalComma, FloatToStrSQLAndFormatNumberWriteAPoint) {
  EXPECT_EQ(FloatToStrSQL(12.5), "12.5");
  EXPECT_EQ(FloatToStrSQL(-0.25), "-0.25");
  EXPECT_EQ(FloatToStrSQL(7), "7");
  EXPECT_EQ(TMain::FormatNumber(123450), "12.34");
}

TEST(FixedWidth, DivTGivesZeroForAZeroDivisor) {
  EXPECT_EQ(DivT(500, 0), 0);
  EXPECT_EQ(DivT(300, 4), 75);
  EXPECT_EQ(DivT(0, 0), 0);
  EXPECT_DOUBLE_EQ(DivT(200, 3), 200.0 / 3);
}

}  // namespace
