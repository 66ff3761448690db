#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "datetime.h"
#include "formatsettings.h"

namespace {
class DateTime : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings{}; }
  void TearDown() override { FormatSettings() = TFormatSettings{}; }
};
}  // namespace

TEST_F(DateTime, TimeStampsAroundDayZero) {
  struct Case {
    double value;
    int date;
    int time;
    double back;  // what the stamp converts back to
  };
  const Case cases[] = {
      {0, 693594, 0, 0},
      {1, 693595, 0, 1},
      {-1, 693593, 0, -1},
      {1.25, 693595, 21600000, 1.25},
      {-1.25, 693593, 21600000, -1.25},   // 1899-12-29 06:00
      {-0.5, 693594, 43200000, 0.5},      // day zero at noon: the same moment as 0.5
      {45000.75, 738594, 64800000, 45000.75},
      {45351.5, 738945, 43200000, 45351.5},     // 2024-02-29 12:00
      {36585, 730179, 0, 36585},                // 2000-02-29
      {60.75, 693654, 64800000, 60.75},         // 1900-02-28 18:00: 1900 has no leap day
      {61, 693655, 0, 61},                      // 1900-03-01
      {-1400.25, 692194, 21600000, -1400.25},   // 1896-02-29 06:00
  };
  for (const auto& c : cases) {
    const TTimeStamp ts = DateTimeToTimeStamp(c.value);
    EXPECT_EQ(ts.Date, c.date) << c.value;
    EXPECT_EQ(ts.Time, c.time) << c.value;
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), c.back) << c.value;
  }
  EXPECT_THROW(DateTimeToTimeStamp(std::nan("")), EConvertError);
}

TEST_F(DateTime, NegativeValuesDecodeDayAndTimeSeparately) {
  int y, m, d, h, n, s, ms;
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ((std::array{y, m, d, h, n, s, ms}), (std::array{1899, 12, 29, 6, 0, 0, 0}));
  DecodeDate(-0.5, y, m, d);
  DecodeTime(-0.5, h, n, s, ms);
  EXPECT_EQ((std::array{y, m, d, h, n, s, ms}), (std::array{1899, 12, 30, 12, 0, 0, 0}));
  // Composing a date before day zero with a time keeps both parts.
  const TDateTime v = ComposeDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0, 0));
  EXPECT_DOUBLE_EQ(v, -1.25);
}

TEST_F(DateTime, EncodeAndDecodeDates) {
  struct Case {
    int y, m, d;
    bool valid;
  };
  const Case cases[] = {
      {1899, 12, 30, true}, {2000, 2, 29, true},  {1900, 2, 29, false}, {2024, 2, 29, true},
      {2023, 2, 29, false}, {2024, 4, 31, false}, {2024, 13, 1, false}, {2024, 0, 1, false},
      {2024, 1, 0, false},  {1, 1, 1, true},      {9999, 12, 31, true}, {0, 12, 31, false},
      {10000, 1, 1, false},
  };
  for (const auto& c : cases) {
    TDateTime v = -12345;
    EXPECT_EQ(TryEncodeDate(c.y, c.m, c.d, v), c.valid) << c.y << "-" << c.m << "-" << c.d;
    if (c.valid) {
      int y, m, d;
      DecodeDate(v, y, m, d);
      EXPECT_EQ((std::array{y, m, d}), (std::array{c.y, c.m, c.d}));
      EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), v);
    } else {
      EXPECT_EQ(v, -12345);
      try {
        EncodeDate(c.y, c.m, c.d);
        ADD_FAILURE() << "no error for " << c.y << "-" << c.m << "-" << c.d;
      } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
      }
    }
  }
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_DOUBLE_EQ(EncodeDate(2024, 5, 17), 45429);
  EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 5, 17)), 6);  // a Friday
}

TEST_F(DateTime, EncodeAndDecodeTimes) {
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  int h, n, s, ms;
  DecodeTime(EncodeDate(2024, 5, 17) + EncodeTime(8, 30, 0, 999), h, n, s, ms);
  EXPECT_EQ((std::array{h, n, s, ms}), (std::array{8, 30, 0, 999}));
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ((std::array{h, n, s, ms}), (std::array{23, 59, 59, 999}));
  // A value a hair before midnight rounds to the next day, never to 24:00.
  int y, m, d;
  const TDateTime almost = EncodeDate(2024, 5, 17) + 0.99999999999;
  DecodeDate(almost, y, m, d);
  DecodeTime(almost, h, n, s, ms);
  EXPECT_EQ((std::array{y, m, d, h, n, s, ms}), (std::array{2024, 5, 18, 0, 0, 0, 0}));
}

TEST_F(DateTime, FormatDateTimePatterns) {
  const TDateTime v = EncodeDate(2024, 5, 7) + EncodeTime(8, 5, 3, 45);
  const TDateTime pm = EncodeDate(2024, 12, 17) + EncodeTime(15, 30, 0, 0);
  struct Case {
    const char* format;
    TDateTime value;
    const char* out;
  };
  const Case cases[] = {
      {"yyyymmdd", 0, "18991230"},
      {"yyyymmdd", v, "20240507"},
      {"yyyy", v, "2024"},
      {"yy", v, "24"},
      {"mm", v, "05"},
      {"m", v, "5"},
      {"dd", v, "07"},
      {"d", v, "7"},
      {"hh", v, "08"},
      {"h", v, "8"},
      {"nn", v, "05"},
      {"ss", v, "03"},
      {"zzz", v, "045"},
      {"hh:mm", v, "08:05"},
      {"dd/mm/yyyy hh:nn:ss.zzz", v, "07/05/2024 08:05:03.045"},
      {"d.m.yyyy", v, "7.5.2024"},
      {"\"Datum: \"dd'.'mm", v, "Datum: 07.05"},
      {"mmm mmmm ddd dddd", v, "May May Tue Tuesday"},
      {"h:nn am/pm", pm, "3:30 pm"},
      {"hh AMPM", pm, "03 PM"},
      {"hh", pm, "15"},
      {"c", v, "5/7/2024 8:05:03"},
      {"c", EncodeDate(2024, 5, 7), "5/7/2024"},
      {"yyyymmdd", -1.25, "18991229"},
      {"hh:nn", -1.25, "06:00"},
      {"YYYYMMDD", v, "20240507"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.format, c.value), c.out) << c.format;
}

TEST_F(DateTime, SeparatorsComeFromTheSettings) {
  const TDateTime v = EncodeDate(2024, 5, 7) + EncodeTime(8, 5, 3, 0);
  FormatSettings().DateSeparator = '.';
  FormatSettings().TimeSeparator = '-';
  FormatSettings().ShortDateFormat = "d/m/yyyy";
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", v), "07.05.2024 08-05");
  EXPECT_EQ(DateTimeToStr(v), "7.5.2024 8-05-03");
  EXPECT_EQ(DateToStr(v), "7.5.2024");
  EXPECT_EQ(TimeToStr(v), "8-05-03");
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "sl_SI.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy", v), "07.05.2024");  // the C locale plays no part
  FormatSettings().DateSeparator = '-';
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd", v), "2024-05-07");
  std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(DateTime, NowIsToday) {
  const TDateTime n = Now();
  const TDateTime d = Date();
  EXPECT_GE(n, d);
  EXPECT_LT(n - d, 1.0 + 1e-6);  // midnight may pass between the two calls
  EXPECT_GT(d, EncodeDate(2020, 1, 1));
}
