// Values written into a statement's parameters and cells, against SQLite and PostgreSQL: what
// each driver does with a binary parameter executed again, the statement sending each value
// with its own length, and writers that refuse a value their cell cannot hold.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "stmt_fixture.h"

namespace {

std::string HexList(StmtFixture& F) {
  const std::string hex = F.Pg ? "upper(encode(v, 'hex'))" : "CASE WHEN v IS NULL THEN NULL ELSE hex(v) END";
  std::string s;
  for (const auto& row : F.Db("SELECT " + hex + " FROM b ORDER BY n")) s += "[" + row[0] + "]";
  return s;
}

const std::vector<std::string> kValues = {std::string("\x00\xFF\x00\x61\x00", 5), "\xFF", "",
                                          "\x01\x02\x03\x04\x05"};
const char* const kOwnLengths = "[00FF006100][FF][][0102030405]";

}  // namespace

// The driver probe: one prepared INSERT executed four times with binary values of lengths 5, 1,
// 0 and 5. Changing only the length indicator between executions is enough for PostgreSQL's
// driver; SQLite's keeps the length of the first execution (the shorter values come out padded
// with the first value's bytes). Binding the parameter again, sending the value at execution
// (SQLPutData) or preparing again each give every value its own length on both. Character data
// keeps its own length with the indicator alone on both drivers.
STMT_BOTH(DriverProbeBinaryParameterExecutedAgain) {
  enum TWay { wIndicator, wRebind, wAtExec, wPrepare };
  // What comes back of binary values; character data gives its own lengths in every way.
  struct Case {
    TWay Way;
    SQLSMALLINT CType, SQLType;
    const char* Sqlite;
    const char* Pg;
  };
  const char* const keptFirst = "[00FF006100][FFFF006100][FFFF006100][0102030405]";
  const Case cases[] = {
      {wIndicator, SQL_C_BINARY, SQL_VARBINARY, keptFirst, kOwnLengths},
      {wIndicator, SQL_C_BINARY, SQL_LONGVARBINARY, keptFirst, kOwnLengths},
      {wIndicator, SQL_C_CHAR, SQL_LONGVARCHAR, kOwnLengths, kOwnLengths},
      {wRebind, SQL_C_BINARY, SQL_VARBINARY, kOwnLengths, kOwnLengths},
      {wRebind, SQL_C_BINARY, SQL_LONGVARBINARY, kOwnLengths, kOwnLengths},
      {wAtExec, SQL_C_BINARY, SQL_LONGVARBINARY, kOwnLengths, kOwnLengths},
      {wPrepare, SQL_C_BINARY, SQL_VARBINARY, kOwnLengths, kOwnLengths},
  };
  RawOdbc raw(F.Pg ? "DSN=PG" : "DSN=SQLITE");
  for (const Case& c : cases) {
    const bool text = c.CType == SQL_C_CHAR;
    raw.Exec("DROP TABLE IF EXISTS b");
    raw.Exec("CREATE TABLE b (n integer, v " + (text ? F.LongText() : F.Binary()) + ")");
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(raw.dbc), &h)));
    auto* insert = reinterpret_cast<SQLCHAR*>(const_cast<char*>("INSERT INTO b VALUES (?, ?)"));
    unsigned char buf[16] = {};
    SQLINTEGER n = 0;
    SQLLEN nInd = 0, ind = 0;
    auto bind = [&] {
      ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &nInd)));
      ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(h, 2, SQL_PARAM_INPUT, c.CType, c.SQLType, sizeof buf, 0, buf,
                                                 sizeof buf, &ind)));
    };
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(h, insert, SQL_NTS)));
    for (size_t i = 0; i < kValues.size(); ++i) {
      // As text the same lengths: "abcde", "x", "", "hello".
      const std::string v = text ? std::vector<std::string>{"abcde", "x", "", "hello"}[i] : kValues[i];
      n = SQLINTEGER(i);
      std::memcpy(buf, v.data(), v.size());
      if (c.Way == wPrepare && i > 0) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(h, insert, SQL_NTS)));
      }
      ind = c.Way == wAtExec ? SQL_LEN_DATA_AT_EXEC(SQLLEN(v.size())) : SQLLEN(v.size());
      if (i == 0 || c.Way != wIndicator) bind();
      SQLRETURN rc = SQLExecute(h);
      if (c.Way == wAtExec) {
        ASSERT_EQ(rc, SQL_NEED_DATA);
        SQLPOINTER token = nullptr;
        for (rc = SQLParamData(h, &token); rc == SQL_NEED_DATA; rc = SQLParamData(h, &token))
          SQLPutData(h, buf, SQLLEN(v.size()));
      }
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << c.Way;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    std::string got;
    if (text)
      for (const auto& row : F.Db("SELECT v FROM b ORDER BY n")) got += "[" + row[0] + "]";
    else
      got = HexList(F);
    const std::string want = text ? "[abcde][x][][hello]" : F.Pg ? c.Pg : c.Sqlite;
    EXPECT_EQ(got, want) << "way " << c.Way << ", SQL type " << c.SQLType;
  }
}

// The statement binds a binary parameter once and is given each value's length: every value is
// sent with its own, as a bound short value and as a long value from a stream.
STMT_BOTH(BinaryParameterKeepsItsOwnLengthWhenExecutedAgain) {
  for (const bool Long : {false, true}) {
    F.Exec("DROP TABLE IF EXISTS b");
    F.Exec("CREATE TABLE b (n integer, v " + F.Binary() + ")");
    THstmt* q = F.Q;
    q->SetSQL("INSERT INTO b VALUES (:n, :v)");
    q->Prepare();
    int32_t n = 0;
    unsigned char buf[16] = {};
    TMemoryStream stream;
    stream.SetSize(16);  // one block for every value: bound once
    q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &n);
    if (Long)
      q->BindBlobParam(2, &stream, true);
    else
      q->BindParam(2, SQL_C_BINARY, SQL_VARBINARY, buf);
    for (size_t i = 0; i < kValues.size(); ++i) {
      n = int32_t(i);
      std::memcpy(Long ? stream.Memory() : buf, kValues[i].data(), kValues[i].size());
      q->SetParamSize(2, SQLLEN(kValues[i].size()));
      q->Execute();
    }
    EXPECT_EQ(HexList(F), kOwnLengths) << (Long ? "long" : "bound");
  }
}

// A writer whose text is no value of its cell's C type raises, naming the column, and leaves the
// cell as it was: the earlier value is never written in its place. Dates and stamps are written
// for every year from 1 to 9999.
STMT_BOTH(CellWritersConvertOrRaise) {
  F.Exec("CREATE TABLE c (id integer PRIMARY KEY, i integer, s smallint, d double precision, dt date, "
         "ts timestamp, tm time)");
  F.Exec("INSERT INTO c VALUES (1, 5, 6, 1.5, '2024-05-17', '2024-05-17 08:30:00', '10:30:00')");
  THstmt* q = F.Q;
  q->SetSQL("SELECT id, i, s, d, dt, ts, tm FROM c");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  struct Bad {
    int Col;
    const char* Text;
  };
  const Bad bad[] = {{2, "pet"}, {2, "1.5"}, {2, "99999999999999999999"}, {3, "x"}, {4, "1,5"}, {4, "1e999"},
                     {5, "17.5.2024"}, {5, "24-05-17"}, {6, "2024-05-17"}, {7, "ura"}};
  for (const Bad& b : bad) {
    const std::string before = q->ColString(b.Col);
    const std::string name = q->ColNames()->Get(b.Col - 1);
    try {
      q->SetColString(b.Col, b.Text);
      ADD_FAILURE() << b.Text << " was stored in " << name << " as " << q->ColString(b.Col);
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.what()).find("column " + name), std::string::npos) << e.what();
    }
    EXPECT_EQ(q->ColString(b.Col), before) << b.Text;
  }
  // A small integer cell takes no value beyond 16 bits (PostgreSQL's smallint is bound as one;
  // SQLite's integers are read 64 bits wide).
  if (F.Pg) {
    EXPECT_THROW(q->SetColInteger(3, 70000), EConvertError);
  }

  struct Stamp {
    int16_t Year;
    uint16_t Month, Day, Hour, Minute, Second;
    uint32_t Fraction;
  };
  const Stamp stamps[] = {{1, 1, 1, 0, 0, 0, 1000000},     {100, 5, 6, 12, 34, 56, 789000000},
                          {999, 5, 6, 1, 2, 3, 0},         {1000, 1, 1, 0, 0, 0, 0},
                          {9999, 12, 31, 23, 59, 59, 999000000}};
  for (const Stamp& s : stamps) {
    SQL_TIMESTAMP_STRUCT ts{s.Year, s.Month, s.Day, s.Hour, s.Minute, s.Second, s.Fraction};
    q->SetColTimestamp(5, ts);
    q->SetColTimestamp(6, ts);
    q->SetColTimestamp(7, ts);
    const SQL_TIMESTAMP_STRUCT date = q->ColTimestamp(5), stamp = q->ColTimestamp(6), time = q->ColTimestamp(7);
    EXPECT_EQ(std::vector<int>({date.year, date.month, date.day}), std::vector<int>({s.Year, s.Month, s.Day}));
    EXPECT_EQ(std::vector<long>({stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                                 long(stamp.fraction)}),
              std::vector<long>({s.Year, s.Month, s.Day, s.Hour, s.Minute, s.Second, long(s.Fraction)}));
    // A time keeps hours, minutes and seconds.
    EXPECT_EQ(std::vector<int>({time.hour, time.minute, time.second, int(time.fraction)}),
              std::vector<int>({s.Hour, s.Minute, s.Second, 0}));
  }
  // A year the text cannot hold in four digits is refused, not written as the last good one.
  SQL_TIMESTAMP_STRUCT far{10000, 1, 1, 0, 0, 0, 0};
  EXPECT_THROW(q->SetColTimestamp(6, far), EConvertError);
  EXPECT_EQ(q->ColTimestamp(6).year, 9999);
}

// A double of 17 significant digits written through a parameter: PostgreSQL's driver reads it
// back exactly; SQLite's reads every double with 15 significant digits.
STMT_BOTH(DoublesReadBackWithTheDriversDigits) {
  F.Exec("CREATE TABLE f (n integer, d double precision)");
  F.Q->SetSQL("INSERT INTO f VALUES (1, :d)");
  F.Q->Prepare();
  double value = 0.1 + 0.2;  // 0.30000000000000004
  F.Q->BindParam(1, SQL_C_DOUBLE, SQL_DOUBLE, &value);
  F.Q->Execute();
  THstmt r(nullptr);
  r.SetHdbc(F.Dbc);
  r.SetSQL("SELECT d, CASE WHEN d = 0.3 THEN 1 ELSE 0 END FROM f");
  r.Execute();
  ASSERT_TRUE(r.FetchNext());
  // The database holds the value exactly in both.
  EXPECT_EQ(r.ColInteger(2), 0);
  EXPECT_EQ(r.ColDouble(1), F.Pg ? value : 0.3);
}
