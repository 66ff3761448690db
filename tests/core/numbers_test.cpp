#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cmath>
#include <iostream>
#include <limits>

#include "formatsettings.h"
#include "numbers.h"

namespace {
// Every test starts and ends with the initial settings.
class Numbers : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings{}; }
  void TearDown() override { FormatSettings() = TFormatSettings{}; }
  static void Comma() {
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = '.';
  }
};
}  // namespace

TEST_F(Numbers, RoundHalvesToEven) {
  const std::pair<double, int64_t> cases[] = {
      {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}, {-0.5, 0}, {2.4999, 2},
      {2.5001, 3}, {-2.6, -3}, {0, 0}, {1e15 + 0.5, 1000000000000000}, {-9.2233720368547758e18, INT64_MIN},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Round(in), out) << in;
}

TEST_F(Numbers, RoundAndTruncRaiseOutOfRange) {
  for (double v : {9.2233720368547758e18, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    EXPECT_THROW(Round(v), EInvalidOp) << v;
    EXPECT_THROW(Trunc(v), EInvalidOp) << v;
  }
  EXPECT_EQ(Trunc(2.9), 2);
  EXPECT_EQ(Trunc(-2.9), -2);
}

TEST_F(Numbers, FloatToStrGeneralFormat) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {12.5, "12.5"},
      {-12.5, "-12.5"},
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345, "123456789012345"},
      {999999999999999, "999999999999999"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {1.5e20, "1.5E20"},
      {-1.5e20, "-1.5E20"},
      {0.0001, "0.0001"},
      {0.00012, "0.00012"},
      {0.00001, "1E-5"},
      {1.25e-10, "1.25E-10"},
      {1e308, "1E308"},
      {std::numeric_limits<double>::infinity(), "INF"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FloatToStr(in), out) << in;
}

TEST_F(Numbers, FloatToStrUsesTheSettingsSeparator) {
  Comma();
  EXPECT_EQ(FloatToStr(12.5), "12,5");
  EXPECT_EQ(FloatToStr(1.5e-7), "1,5E-7");
  EXPECT_EQ(FloatToStr(1234567), "1234567");  // no thousands separators
}

TEST_F(Numbers, StrToIntAndInt64) {
  const std::pair<const char*, int> good[] = {
      {"0", 0}, {"42", 42}, {"-42", -42}, {"+7", 7}, {"  12", 12}, {"$1F", 31}, {"$1f", 31},
      {"-$10", -16}, {"0x1F", 31}, {"$A", 10}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1}, {"007", 7},
  };
  for (const auto& [in, out] : good) EXPECT_EQ(StrToInt(in), out) << in;
  const char* bad[] = {"", " ", "1x", "x1", "12 ", "1.5", "-", "$", "$G", "2147483648", "-2147483649",
                       "$100000000", "1e3", "1 2"};
  for (const char* in : bad) {
    EXPECT_THROW(StrToInt(in), EConvertError) << in;
    int v = 99;
    EXPECT_FALSE(TryStrToInt(in, v)) << in;
    EXPECT_EQ(v, 99) << in;
    EXPECT_EQ(StrToIntDef(in, -5), -5) << in;
  }
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("2147483648"), 2147483648LL);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_THROW(StrToInt64("99999999999999999999999"), EConvertError);
  try {
    StrToInt("1x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1x' is not a valid integer value");
  }
  EXPECT_EQ(IntToStr(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(IntToStr(0), "0");
}

TEST_F(Numbers, ValReportsTheFirstBadPosition) {
  struct Case {
    const char* in;
    int code;
    double value;
  };
  const Case reals[] = {
      {"1.5", 0, 1.5}, {"-2.25", 0, -2.25}, {"1e3", 0, 1000}, {"1.5E-2", 0, 0.015}, {".5", 0, 0.5},
      {"5.", 0, 5},    {"  3", 0, 3},       {"1,5", 2, 1},    {"12 ", 3, 12},     {"", 1, 0},
      {"-", 2, 0},     {"1e", 3, 1},        {"abc", 1, 0},    {"1e-400", 0, 0},
  };
  for (const auto& c : reals) {
    double v = -99;
    EXPECT_EQ(ValFloat(c.in, v), c.code) << c.in;
    EXPECT_DOUBLE_EQ(v, c.value) << c.in;
  }
  double huge = 0;
  EXPECT_NE(ValFloat("1e400", huge), 0);
  int32_t i = 0;
  EXPECT_EQ(ValInt("123", i), 0);
  EXPECT_EQ(i, 123);
  EXPECT_EQ(ValInt("12a", i), 3);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(ValInt("99999999999", i), 10);  // the digit that overflows
  int64_t l = 0;
  EXPECT_EQ(ValInt64("99999999999", l), 0);
  EXPECT_EQ(l, 99999999999LL);
}

TEST_F(Numbers, StrToFloatFollowsTheSettings) {
  EXPECT_DOUBLE_EQ(StrToFloat("12.5"), 12.5);
  EXPECT_DOUBLE_EQ(StrToFloat(" -1.5e3 "), -1500);
  EXPECT_THROW(StrToFloat("12,5"), EConvertError);
  Comma();
  EXPECT_DOUBLE_EQ(StrToFloat("12,5"), 12.5);
  EXPECT_DOUBLE_EQ(StrToFloat("1234,50"), 1234.5);
  for (const char* bad : {"12.5", "1.234,5", "", "x", "1,2,3", "1e999", "--1"}) {
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
    double v = 7;
    EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
    EXPECT_EQ(v, 7) << bad;
  }
  try {
    StrToFloat("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x' is not a valid floating point value");
  }
}

TEST_F(Numbers, FormatFloatPatterns) {
  struct Case {
    const char* format;
    double value;
    const char* out;
  };
  const Case cases[] = {
      {"0.00", 12.5, "12.50"},
      {"0.00", 0, "0.00"},
      {"0.00", -3.2, "-3.20"},
      {"0.00", 2.675, "2.68"},  // rounds the decimal form the user sees
      {"0.00", 0.005, "0.01"},
      {"0.00", -0.001, "0.00"},  // no sign on a value that shows as zero
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"#,##0.00", 999.999, "1,000.00"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"#,##0.00", 0.5, "0.50"},
      {"0", 2.5, "3"},
      {"0", 1234567, "1234567"},
      {"#0.00", 7, "7.00"},
      {"0.###", 1, "1"},
      {"0.###", 1.23456, "1.235"},
      {"0.###", 1.2, "1.2"},
      {"#.##", 0.5, ".5"},
      {"000", 7, "007"},
      {"0;-0", 7, "7"},
      {"0;-0", -7, "-7"},
      {"0;-0", 0, "0"},
      {"0;(0)", -7, "(7)"},
      {"0.0;-0.0;\"nič\"", 0, "nič"},
      {"###,###,##0.00 ;###,###,##0.00-", 0, "0.00 "},
      {"###,###,##0.00 ;###,###,##0.00-", 1234.5, "1,234.50 "},
      {"###,###,##0.00 ;###,###,##0.00-", -1234.5, "1,234.50-"},
      {"\"EUR \"0.00", 3, "EUR 3.00"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.0E-0", 0.00012, "1.2E-4"},
      {"", 12.5, "12.5"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.out) << c.format << " " << c.value;
}

TEST_F(Numbers, FormatFloatUsesTheSettingsSeparators) {
  Comma();
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1.234.567,89");
  EXPECT_EQ(FormatFloat("###,###,##0.00 ;###,###,##0.00-", -1234.5), "1.234,50-");
  EXPECT_EQ(FormatFloat("0.00", 0), "0,00");
}

TEST_F(Numbers, StrFloatIsScientificInAFixedWidth) {
  EXPECT_EQ(StrFloat(1.5, 23), " 1.50000000000000E+0000");
  EXPECT_EQ(StrFloat(-1234.5, 23), "-1.23450000000000E+0003");
  EXPECT_EQ(StrFloat(0.001, 23), " 1.00000000000000E-0003");
  EXPECT_EQ(StrFloat(0, 23), " 0.00000000000000E+0000");
  EXPECT_EQ(StrFloat(1.5, 12), " 1.500E+0000");
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(StrFloat(1.5, 23), " 1.50000000000000E+0000");
}

TEST_F(Numbers, CurrencyIsExactToFourDecimals) {
  EXPECT_EQ(FloatToCurr(12.34).Value, 123400);
  EXPECT_EQ(FloatToCurr(0.00005).Value, 0);  // half to even
  EXPECT_EQ(FloatToCurr(-1.5).Value, -15000);
  EXPECT_DOUBLE_EQ(CurrToFloat(Currency::FromRaw(70000)), 7.0);
  EXPECT_EQ(CurrToStr(Currency::FromRaw(123450)), "12.345");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(-5000)), "-0.5");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(70000)), "7");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(INT64_MIN)), "-922337203685477.5808");
  EXPECT_EQ(StrToCurr("12.345").Value, 123450);
  EXPECT_EQ(StrToCurr("0.00005").Value, 0);
  EXPECT_EQ(StrToCurr("0.00015").Value, 2);
  EXPECT_EQ(StrToCurr("0.000051").Value, 1);
  EXPECT_EQ(StrToCurr("-922337203685477.5808").Value, INT64_MIN);
  EXPECT_THROW(StrToCurr("922337203685477.5808"), EConvertError);
  EXPECT_THROW(StrToCurr("1,5"), EConvertError);
  Comma();
  EXPECT_EQ(StrToCurr("1,5").Value, 15000);
  EXPECT_EQ(CurrToStr(Currency::FromRaw(15000)), "1,5");
}

// The C locale may say anything: conversions follow only the program's settings.
TEST_F(Numbers, IndependentOfTheCLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* got = std::setlocale(LC_ALL, "sl_SI.UTF-8");
  if (got == nullptr) got = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (got == nullptr) {
    got = std::setlocale(LC_ALL, "C.UTF-8");
    std::cout << "note: no decimal-comma locale installed; running under " << (got ? got : "C") << "\n";
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 12.5);
    EXPECT_STREQ(buf, "12,5");  // the C library itself now writes a decimal comma
  }
  EXPECT_EQ(FloatToStr(12.5), "12.5");
  EXPECT_DOUBLE_EQ(StrToFloat("12.5"), 12.5);
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1,234.50");
  double v = 0;
  EXPECT_EQ(ValFloat("1.5", v), 0);
  EXPECT_EQ(ValFloat("1,5", v), 2);
  Comma();
  EXPECT_EQ(FloatToStr(12.5), "12,5");
  EXPECT_DOUBLE_EQ(StrToFloat("12,5"), 12.5);
  std::setlocale(LC_ALL, saved.c_str());
}
