// Value buffers, timestamps and the text helpers of the ODBC library.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "classes.h"
#include "numbers.h"
#include "oclconv.h"
#include "streams.h"

namespace {

SQL_TIMESTAMP_STRUCT Stamp(int y, int mo, int d, int h, int mi, int s, unsigned f) {
  SQL_TIMESTAMP_STRUCT t{};
  t.year = SQLSMALLINT(y);
  t.month = SQLUSMALLINT(mo);
  t.day = SQLUSMALLINT(d);
  t.hour = SQLUSMALLINT(h);
  t.minute = SQLUSMALLINT(mi);
  t.second = SQLUSMALLINT(s);
  t.fraction = f;
  return t;
}

// Puts the process under a decimal-comma C locale for its lifetime (Slovenian, compiled into a
// private folder when the system has none).
class SlovenianLocale {
public:
  SlovenianLocale() {
    FSaved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "sl_SI.UTF-8") != nullptr) return;
    const std::string dir = (std::filesystem::temp_directory_path() / "zelkor-odbc-locale").string();
    if (!std::filesystem::exists(dir + "/sl_SI.UTF-8/LC_NUMERIC")) {
      std::filesystem::create_directories(dir);
      const std::string cmd = "localedef -i sl_SI -f UTF-8 " + dir + "/sl_SI.UTF-8 >/dev/null 2>&1";
      (void)std::system(cmd.c_str());
    }
    setenv("LOCPATH", dir.c_str(), 1);
    std::setlocale(LC_ALL, "sl_SI.UTF-8");
  }
  ~SlovenianLocale() { std::setlocale(LC_ALL, FSaved.c_str()); }
  bool Active() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    return std::string(buf) == "1,5";
  }

private:
  std::string FSaved;
};

}  // namespace

TEST(Conversions, CTypeSizesAndSqlTypes) {
  struct Case { SQLSMALLINT c; int size; SQLSMALLINT sql; };
  const Case cases[] = {
      {SQL_C_CHAR, 256, SQL_CHAR},          {SQL_C_BINARY, 256, SQL_BINARY},
      {SQL_C_FLOAT, 4, SQL_REAL},           {SQL_C_DOUBLE, 8, SQL_DOUBLE},
      {SQL_C_SLONG, 4, SQL_INTEGER},        {SQL_C_ULONG, 4, SQL_INTEGER},
      {SQL_C_SBIGINT, 8, SQL_BIGINT},       {SQL_C_UBIGINT, 8, SQL_BIGINT},
      {SQL_C_TYPE_DATE, 6, SQL_TYPE_DATE},  {SQL_C_TYPE_TIME, 6, SQL_TYPE_TIME},
      {SQL_C_TYPE_TIMESTAMP, 16, SQL_TYPE_TIMESTAMP},
      {SQL_C_BIT, 1, SQL_BIT},              {SQL_C_STINYINT, 1, SQL_TINYINT},
      {SQL_C_UTINYINT, 1, SQL_TINYINT},     {SQL_C_SSHORT, 2, SQL_SMALLINT},
      {SQL_C_USHORT, 2, SQL_SMALLINT},      {SQL_C_WCHAR, 0, 99},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CTypeSize(c.c), c.size) << c.c;
    EXPECT_EQ(CTypeToSQLType(c.c), c.sql) << c.c;
  }
  EXPECT_EQ(sizeof(SQL_TIMESTAMP_STRUCT), 16u);
}

TEST(Conversions, DateTimeAndTimestampTextRules) {
  struct Case {
    const char* text;
    SQLSMALLINT type;
    bool ok;
    int y, mo, d, h, mi, s;
    unsigned frac;
  };
  // Untouched parts keep the 0x7F filler below (as 32639 / 0x7F7F7F7F).
  const int K = 0x7F7F;
  const unsigned KF = 0x7F7F7F7Fu;
  const Case cases[] = {
      {"2024-05-17", SQL_C_TYPE_DATE, true, 2024, 5, 17, K, K, K, KF},
      {"2024/05/17", SQL_C_TYPE_DATE, true, 2024, 5, 17, K, K, K, KF},  // separators not read
      {"24-05-17", SQL_C_TYPE_DATE, false, K, K, K, K, K, K, KF},        // too short: nothing
      {"2024-xx-17", SQL_C_TYPE_DATE, false, 2024, K, K, K, K, K, KF},   // year kept
      {"  2024-05-17  ", SQL_C_TYPE_DATE, true, 2024, 5, 17, K, K, K, KF},  // trimmed first
      {"2024-05-17 08:30:00", SQL_C_TYPE_TIMESTAMP, false, K, K, K, K, K, K, KF},  // 19 chars
      {"2024-05-17 08:30:00.5", SQL_C_TYPE_TIMESTAMP, true, 2024, 5, 17, 8, 30, 0, 500000000},
      {"2024-05-17 08:30:00.123", SQL_C_TYPE_TIMESTAMP, true, 2024, 5, 17, 8, 30, 0, 123000000},
      {"2024-05-17 08:30:00.000000001", SQL_C_TYPE_TIMESTAMP, true, 2024, 5, 17, 8, 30, 0, 1},
      {"2024-05-17 08:30:00.999999999", SQL_C_TYPE_TIMESTAMP, true, 2024, 5, 17, 8, 30, 0, 999999999},
      {"2024-05-17 08:30:00.1234567890", SQL_C_TYPE_TIMESTAMP, false, 2024, 5, 17, 8, 30, 0, KF},
      {"2024-05-17 08:30:00.5x", SQL_C_TYPE_TIMESTAMP, false, 2024, 5, 17, 8, 30, 0, KF},
      {"2024-05-17 08:3x:00.5", SQL_C_TYPE_TIMESTAMP, false, 2024, 5, 17, 8, K, K, KF},
      {"2024-05-17T08:30:00,5", SQL_C_TYPE_TIMESTAMP, true, 2024, 5, 17, 8, 30, 0, 500000000},
      {"08:30:59", SQL_C_TYPE_TIME, true, K, K, K, 8, 30, 59, KF},
      {"10:00:00.5", SQL_C_TYPE_TIME, true, K, K, K, 10, 0, 0, KF},
      {"8:30:59", SQL_C_TYPE_TIME, false, K, K, K, K, K, K, KF},
      {"0x:30:59", SQL_C_TYPE_TIME, false, K, K, K, K, K, K, KF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SQL_TIMESTAMP_STRUCT t;
    std::memset(&t, 0x7F, sizeof t);
    bool ok;
    if (c.type == SQL_C_TYPE_TIME) {
      // A time lives in its own 6-byte structure; spread it into the stamp for the check.
      SQL_TIME_STRUCT tm;
      std::memset(&tm, 0x7F, sizeof tm);
      ok = TextToBuffer(c.text, &tm, sizeof tm, c.type, stTrimBoth);
      t.hour = tm.hour;
      t.minute = tm.minute;
      t.second = tm.second;
    } else {
      ok = TextToBuffer(c.text, &t, c.type == SQL_C_TYPE_DATE ? 6 : 16, c.type, stTrimBoth);
    }
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(t.year, SQLSMALLINT(c.y));
    EXPECT_EQ(t.month, c.mo);
    EXPECT_EQ(t.day, c.d);
    EXPECT_EQ(t.hour, c.h);
    EXPECT_EQ(t.minute, c.mi);
    EXPECT_EQ(t.second, c.s);
    EXPECT_EQ(t.fraction, c.frac);
  }
}

TEST(Conversions, TextToNumbersRefusesBadTextAndOverflow) {
  struct Case { const char* text; SQLSMALLINT type; bool ok; int64_t value; };
  const Case cases[] = {
      {"42", SQL_C_SLONG, true, 42},
      {" -7 ", SQL_C_SLONG, true, -7},
      {"2147483648", SQL_C_SLONG, false, 0},
      {"12abc", SQL_C_SLONG, false, 0},
      {"", SQL_C_SLONG, false, 0},
      {"4294967295", SQL_C_ULONG, true, 4294967295LL},
      {"-1", SQL_C_ULONG, false, 0},
      {"127", SQL_C_STINYINT, true, 127},
      {"300", SQL_C_UTINYINT, false, 0},  // never stored as its low byte
      {"255", SQL_C_UTINYINT, true, 255},
      {"1", SQL_C_BIT, true, 1},
      {"2", SQL_C_BIT, false, 0},
      {"-32768", SQL_C_SSHORT, true, -32768},
      {"65536", SQL_C_USHORT, false, 0},
      {"9223372036854775807", SQL_C_SBIGINT, true, std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", SQL_C_SBIGINT, false, 0},
      {"18446744073709551615", SQL_C_UBIGINT, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned char buf[8];
    std::memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(TextToBuffer(c.text, buf, sizeof buf, c.type, stTrimBoth), c.ok);
    EXPECT_EQ(BufferToInt64(buf, c.type), c.value);
  }
}

TEST(Conversions, RealsUseAPointWhateverTheCLocale) {
  SlovenianLocale loc;
  if (!loc.Active()) std::cout << "note: no decimal-comma locale could be made; checked under C\n";
  double d = 0;
  EXPECT_TRUE(TextToBuffer("1.5", &d, sizeof d, SQL_C_DOUBLE, stTrimBoth));
  EXPECT_EQ(d, 1.5);
  EXPECT_FALSE(TextToBuffer("1,5", &d, sizeof d, SQL_C_DOUBLE, stTrimBoth));
  EXPECT_TRUE(TextToBuffer("-2.5E-3", &d, sizeof d, SQL_C_DOUBLE, stTrimBoth));
  EXPECT_EQ(d, -0.0025);
  EXPECT_FALSE(TextToBuffer("1e400", &d, sizeof d, SQL_C_DOUBLE, stTrimBoth));
  float f = 0;
  EXPECT_TRUE(TextToBuffer("0.25", &f, sizeof f, SQL_C_FLOAT, stTrimBoth));
  EXPECT_EQ(f, 0.25f);
  EXPECT_FALSE(TextToBuffer("1e39", &f, sizeof f, SQL_C_FLOAT, stTrimBoth));  // beyond a float

  d = 1.5;
  EXPECT_EQ(BufferToText(&d, SQL_C_DOUBLE, stTrimNone), " 1.50000000000000E+0000");
  d = -1234.5;
  EXPECT_EQ(BufferToText(&d, SQL_C_DOUBLE, stTrimBoth), "-1.23450000000000E+0003");
  char text[] = "  3.25 ";
  EXPECT_EQ(BufferToDouble(text, SQL_C_CHAR), 3.25);
  char comma[] = "3,25";
  EXPECT_EQ(BufferToDouble(comma, SQL_C_CHAR), 0);
}

TEST(Conversions, BufferToTextByType) {
  SQL_TIMESTAMP_STRUCT t = Stamp(2024, 5, 17, 8, 30, 0, 7);
  EXPECT_EQ(BufferToText(&t, SQL_C_TYPE_TIMESTAMP, stTrimNone), "2024-05-17 08:30:00.000000007");
  t.year = 5;
  EXPECT_EQ(BufferToText(&t, SQL_C_TYPE_TIMESTAMP, stTrimNone).substr(0, 3), "05-");
  SQL_DATE_STRUCT dt{2024, 1, 2};
  EXPECT_EQ(BufferToText(&dt, SQL_C_TYPE_DATE, stTrimNone), "2024-01-02");
  SQL_TIME_STRUCT tm{7, 5, 3};
  EXPECT_EQ(BufferToText(&tm, SQL_C_TYPE_TIME, stTrimNone), "07:05:03");
  char abc[] = "abc  ";
  EXPECT_EQ(BufferToText(abc, SQL_C_CHAR, stTrimTrailing), "abc");
  char pad[] = "  x  ";
  EXPECT_EQ(BufferToText(pad, SQL_C_CHAR, stTrimLeading), "x  ");
  EXPECT_EQ(BufferToText(pad, SQL_C_CHAR, stTrimNone), "  x  ");
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(BufferToText(unterminated, SQL_C_CHAR, stTrimNone, sizeof unterminated), "abcd");
  uint32_t u = 4000000000u;
  EXPECT_EQ(BufferToText(&u, SQL_C_ULONG, stTrimNone), "4000000000");
  int8_t s8 = -5;
  EXPECT_EQ(BufferToText(&s8, SQL_C_STINYINT, stTrimNone), "-5");
  EXPECT_EQ(BufferToText(abc, SQL_C_BINARY, stTrimNone), "");
}

TEST(Conversions, TextToBufferRespectsCapacity) {
  char buf[4];
  std::memset(buf, 'z', sizeof buf);
  EXPECT_TRUE(TextToBuffer("abc", buf, sizeof buf, SQL_C_CHAR, stTrimNone));
  EXPECT_STREQ(buf, "abc");
  EXPECT_FALSE(TextToBuffer("abcd", buf, sizeof buf, SQL_C_CHAR, stTrimNone));  // no room for 0
  EXPECT_STREQ(buf, "abc");
  EXPECT_TRUE(TextToBuffer("abcd", buf, sizeof buf, SQL_C_BINARY, stTrimNone));
  EXPECT_FALSE(TextToBuffer("12", buf, 2, SQL_C_SLONG, stTrimNone));
  EXPECT_FALSE(TextToBuffer("12", buf, sizeof buf, SQL_C_WCHAR, stTrimNone));
  EXPECT_EQ(std::string(buf, 4), "abcd");
}

TEST(Conversions, IntegersRoundHalfToEvenAndRefuseOverflow) {
  struct Case { double v; int32_t i; };
  const Case cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.49999, 0}, {1e9, 1000000000}};
  for (const Case& c : cases) EXPECT_EQ(BufferToInteger(&c.v, SQL_C_DOUBLE), c.i) << c.v;
  float f = 2.5f;
  EXPECT_EQ(BufferToInteger(&f, SQL_C_FLOAT), 2);

  const double tooBig[] = {3e9, -3e9, 1e300, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double d : tooBig) EXPECT_THROW(BufferToInteger(&d, SQL_C_DOUBLE), EConvertError) << d;
  double big = 5e9;
  EXPECT_EQ(BufferToInt64(&big, SQL_C_DOUBLE), 5000000000LL);
  const double tooBig64[] = {9.3e18, -9.3e18, 1e300};
  for (double d : tooBig64) EXPECT_THROW(BufferToInt64(&d, SQL_C_DOUBLE), EConvertError) << d;
  int64_t wide = 5000000000LL;
  EXPECT_THROW(BufferToInteger(&wide, SQL_C_SBIGINT), EConvertError);
  EXPECT_EQ(BufferToInt64(&wide, SQL_C_SBIGINT), wide);
  char digits[] = "99999999999";
  EXPECT_THROW(BufferToInteger(digits, SQL_C_CHAR), EConvertError);
  EXPECT_EQ(BufferToInt64(digits, SQL_C_CHAR), 99999999999LL);
  char notNumber[] = "12x";
  EXPECT_EQ(BufferToInteger(notNumber, SQL_C_CHAR), 0);
  SQL_TIMESTAMP_STRUCT t = Stamp(2024, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(BufferToInteger(&t, SQL_C_TYPE_TIMESTAMP), 0);
  EXPECT_EQ(BufferToDouble(&t, SQL_C_TYPE_TIMESTAMP), 0);
}

TEST(Conversions, TimestampsAndDateTimes) {
  SQL_TIMESTAMP_STRUCT t = Stamp(2024, 5, 17, 8, 30, 0, 999999999);
  TDateTime v = TimestampToDateTime(t);
  int h, mi, s, ms;
  DecodeTime(v, h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 8 * 10000000 + 30 * 100000 + 999);
  SQL_TIMESTAMP_STRUCT back{};
  DateTimeToTimestamp(back, v);
  EXPECT_EQ(BufferToText(&back, SQL_C_TYPE_TIMESTAMP, stTrimNone), "2024-05-17 08:30:00.999000000");

  // Before day zero the time of day must survive the round trip too.
  t = Stamp(1850, 3, 1, 18, 0, 0, 0);
  DateTimeToTimestamp(back, TimestampToDateTime(t));
  EXPECT_EQ(BufferToText(&back, SQL_C_TYPE_TIMESTAMP, stTrimNone), "1850-03-01 18:00:00.000000000");

  EXPECT_THROW(TimestampToDateTime(Stamp(2024, 0, 1, 0, 0, 0, 0)), EConvertError);
  EXPECT_THROW(TimestampToDateTime(Stamp(2024, 1, 1, 24, 0, 0, 0)), EConvertError);
  EXPECT_THROW(TimestampToDateTime(SQL_TIMESTAMP_STRUCT{}), EConvertError);

  ClearTimestamp(t);
  EXPECT_EQ(BufferToText(&t, SQL_C_TYPE_TIMESTAMP, stTrimNone), "1899-12-30 00:00:00.000000000");
  EXPECT_EQ(TimestampToDateTime(t), 0.0);

  SQL_DATE_STRUCT d{2023, 2, 28};
  SQL_TIME_STRUCT tm{23, 59, 58};
  EXPECT_EQ(BufferToText(&BufferToTimestamp(&d, SQL_C_TYPE_DATE, t), SQL_C_TYPE_TIMESTAMP, stTrimNone),
            "2023-02-28 00:00:00.000000000");
  EXPECT_EQ(BufferToText(&BufferToTimestamp(&tm, SQL_C_TYPE_TIME, t), SQL_C_TYPE_TIMESTAMP, stTrimNone),
            "1899-12-30 23:59:58.000000000");
  double x = 1;
  EXPECT_EQ(BufferToText(&BufferToTimestamp(&x, SQL_C_DOUBLE, t), SQL_C_TYPE_TIMESTAMP, stTrimNone),
            "1899-12-30 00:00:00.000000000");
  SQL_DATE_STRUCT d2{};
  SQL_TIME_STRUCT tm2{};
  t = Stamp(2001, 2, 3, 4, 5, 6, 7);
  TimestampToDate(t, d2);
  TimestampToTime(t, tm2);
  EXPECT_EQ(d2.year * 10000 + d2.month * 100 + d2.day, 20010203);
  EXPECT_EQ(tm2.hour * 10000 + tm2.minute * 100 + tm2.second, 40506);
}

TEST(Conversions, TextHelpers) {
  struct Q { const char* in; const char* out; };
  const Q quotes[] = {
      {"ORDER DETAILS", "\"ORDER DETAILS\""},
      {"A.Col AS X", "A.Col AS X"},
      {"a.col as x", "a.col as x"},
      {"{fn UCASE(x)}", "{fn UCASE(x)}"},
      {"\"Quoted Name\"", "\"Quoted Name\""},
      {"COL$1", "\"COL$1\""},
      {"PLAIN", "PLAIN"},
      {"šifra artikla", "\"šifra artikla\""},
  };
  for (const Q& q : quotes) EXPECT_EQ(QuoteIdentifier(q.in), q.out) << q.in;

  struct Z { int64_t v; int w; const char* out; };
  const Z zeros[] = {{7, 1, "07"}, {123, 1, "123"}, {5, 8, "000000005"}, {0, 0, "0"},
                     {12, 1, "12"}, {-5, 3, "-005"}, {-5, 1, "-5"}};
  for (const Z& z : zeros) EXPECT_EQ(IntToStrZero(z.v, z.w), z.out) << z.v << "/" << z.w;

  TStringList list{"Alpha", "beta", "ČRKA"};
  EXPECT_EQ(IndexOfText("BETA", &list), 1);
  EXPECT_EQ(IndexOfText("alpha", &list), 0);
  EXPECT_EQ(IndexOfText("gamma", &list), -1);
  EXPECT_EQ(IndexOfText("ČRKA", &list), 2);
  EXPECT_EQ(IndexOfText("x", nullptr), -1);

  EXPECT_EQ(TrimString(" \t a b \r\n", stTrimBoth), "a b");
  EXPECT_EQ(TrimString(" a ", stTrimTrailing), " a");
  EXPECT_EQ(TrimString(" a ", stTrimLeading), "a ");

  TMemoryStream ms;
  EXPECT_EQ(StreamToString(&ms), "");
  ms.Write("ab\0cd", 5);
  ms.SetPosition(1);
  EXPECT_EQ(StreamToString(&ms), "ab");
  EXPECT_EQ(ms.Position(), 1);
  EXPECT_EQ(ms.Size(), 5);
  TMemoryStream all;
  all.Write("čšž", 6);
  EXPECT_EQ(StreamToString(&all), "čšž");

  char rows[30];
  EXPECT_EQ(RowPtr(rows, 1, 10), rows);
  EXPECT_EQ(RowPtr(rows, 3, 10), rows + 20);
  EXPECT_EQ(OffsetPtr(rows, 7), rows + 7);
}

TEST(Conversions, TextToTimestampTakesOnlyRealDates) {
  struct Case {
    const char* Text;
    bool Ok;
    SQL_TIMESTAMP_STRUCT Want;
  } cases[] = {
      {"2024-05-17", true, {2024, 5, 17, 0, 0, 0, 0}},
      {"2024-05-17 08:30:15", true, {2024, 5, 17, 8, 30, 15, 0}},
      {"2024-05-17T08:30", true, {2024, 5, 17, 8, 30, 0, 0}},
      {"2024-05-17 08:30:15.25", true, {2024, 5, 17, 8, 30, 15, 250000000}},
      {"2024-02-29 23:59:59.999999999", true, {2024, 2, 29, 23, 59, 59, 999999999}},
      {"2025-13-45", false, {}},
      {"2023-02-29", false, {}},
      {"2024-05-17 24:00:00", false, {}},
      {"2024-05-17 08:60", false, {}},
      {"2024-05-17 08:30:15.", false, {}},
      {"2024-05-17 08:30:15.1234567890", false, {}},
      {"2024/05/17", false, {}},
      {"24-05-17", false, {}},
      {"2024-05-17x", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    SQL_TIMESTAMP_STRUCT ts;
    EXPECT_EQ(TextToTimestamp(c.Text, ts), c.Ok) << c.Text;
    if (!c.Ok) continue;
    EXPECT_EQ(BufferToText(&ts, SQL_C_TYPE_TIMESTAMP, stTrimNone), BufferToText(&c.Want, SQL_C_TYPE_TIMESTAMP, stTrimNone));
  }
}

TEST(Conversions, ShortestDoubleTextReadsBackExactly) {
  for (double x : {0.1, 1.0 / 3, 2.0 / 3 * 1e-300, 123456789.125, -0.0, 9007199254740993.0, 4.9406564584124654e-324}) {
    const std::string t = ShortestDoubleText(x);
    double back = 0;
    EXPECT_EQ(ValFloat(t, back), 0) << t;
    EXPECT_EQ(back, x) << t;
    EXPECT_LE(t.size(), 24u) << t;
  }
  EXPECT_EQ(ShortestDoubleText(0.1), "0.1");
  EXPECT_EQ(ShortestDoubleText(1e21), "1e+21");
}

// How a SELECT text is counted: a count text, or reading the rows.
TEST(Conversions, CountStatementText) {
  struct Case {
    const char* Sql;
    const char* Count;  // "" for reading the rows
    bool Shaped;
  } cases[] = {
      {"SELECT a, b FROM t WHERE a > 1 ORDER BY a", "SELECT Count(*) FROM t WHERE a > 1 ", false},
      {"select a\r\nfrom t\r\norder by a", "SELECT Count(*) from t\r\n", false},
      {"SELECT a FROM(SELECT a FROM t UNION SELECT a FROM u) x", "SELECT Count(*) FROM(SELECT a FROM t UNION SELECT a FROM u) x", false},
      {"SELECT a FROM t WHERE a IN (SELECT DISTINCT a FROM u ORDER BY a LIMIT 3)",
       "SELECT Count(*) FROM t WHERE a IN (SELECT DISTINCT a FROM u ORDER BY a LIMIT 3)", false},
      {"SELECT ' FROM x', a FROM t", "SELECT Count(*) FROM t", false},
      {"SELECT \"order\" FROM t", "SELECT Count(*) FROM t", false},
      {"SELECT upper(a) FROM t", "SELECT Count(*) FROM t", false},
      {"SELECT max(a) FROM t", "", true},
      {"SELECT Count (*) FROM t", "", true},
      {"SELECT a, string_agg(b, ',') FROM t GROUP BY a", "", true},
      {"SELECT a, (SELECT max(b) FROM u) FROM t", "SELECT Count(*) FROM t", false},
      {"SELECT a FROM t LIMIT 2", "", true},
      {"SELECT a FROM t ORDER BY a OFFSET 5", "", true},
      {"SELECT TOP 5 a FROM t", "", true},
      {"SELECT a FROM t FETCH FIRST 2 ROWS ONLY", "", true},
      {"SELECT DISTINCT a FROM t", "", false},
      {"SELECT a FROM t GROUP BY a", "", false},
      {"SELECT a FROM t UNION SELECT a FROM u", "", false},
      {"SELECT a FROM t EXCEPT SELECT a FROM u", "", false},
      {"WITH x AS (SELECT a FROM t) SELECT a FROM x", "", false},
      {"SELECT 1", "", false},
      {"UPDATE t SET a = 1", "", false},
  };
  for (const Case& c : cases) {
    bool shaped = !c.Shaped;
    EXPECT_EQ(CountStatementText(c.Sql, shaped), c.Count) << c.Sql;
    EXPECT_EQ(shaped, c.Shaped) << c.Sql;
  }
}
