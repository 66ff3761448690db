// The statement on the export road, with parameters, events and row counts, against SQLite and
// PostgreSQL.
#include <cstring>
#include <string>
#include <vector>

#include "stmt_fixture.h"
#include "text.h"

namespace {

// 200 characters, most of them two bytes long in UTF-8.
std::string Slovenian200() {
  std::string s;
  const std::string word = "Čžšćđ ČŽŠĆĐ ";  // 12 characters
  while (Utf8Length(s) < 200) s += word;
  return Utf8Left(s, 199) + "x";
}

void MakeDocs(StmtFixture& F) {
  F.Exec("CREATE TABLE docs (id integer, name varchar(200), amount numeric(12,4), d date, ts timestamp)");
  F.Exec("INSERT INTO docs VALUES (1, 'Prvi  ', 12.5, '2024-05-17', '2024-05-17 08:30:00')");
  F.Exec("INSERT INTO docs VALUES (2, NULL, NULL, NULL, NULL)");
  F.Exec("INSERT INTO docs VALUES (3, '" + Slovenian200() + "', -0.25, '1999-12-31', '2000-01-01 23:59:59')");
}

}  // namespace

STMT_BOTH(ExportRoad) {
  MakeDocs(F);
  THstmt* q = F.Q;
  // Close on a statement that never ran allocates its handle and connects.
  q->Close();
  EXPECT_TRUE(q->Allocated());
  EXPECT_TRUE(F.Dbc->Connected());
  EXPECT_TRUE(F.Dbc->Children().Contains(q));
  q->SetSQL("SELECT id, name, amount, d, ts FROM docs ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColInteger(1), 1);
  EXPECT_EQ(q->ColString(2), "Prvi");  // trailing blanks trimmed by default
  EXPECT_DOUBLE_EQ(q->ColDouble(3), 12.5);
  // A number read as text: the run-time's scientific form, its leading blank kept.
  EXPECT_EQ(q->ColString(3), " 1.25000000000000E+0001");
  EXPECT_EQ(q->ColCType(3), SQL_C_DOUBLE);
  EXPECT_EQ(q->ColPrecision(2), 200u);
  EXPECT_EQ(q->ColNullable(2), SQL_NULLABLE);
  EXPECT_EQ(q->ColNullable(9), SQL_NULLABLE_UNKNOWN);
  EXPECT_EQ(q->ColCType(4), SQL_C_TYPE_DATE);
  SQL_TIMESTAMP_STRUCT d = q->ColTimestamp(4);
  EXPECT_EQ(d.year, 2024);
  EXPECT_EQ(d.month, 5);
  EXPECT_EQ(d.day, 17);
  EXPECT_EQ(d.hour, 0);
  EXPECT_DOUBLE_EQ(TimestampToDateTime(d), EncodeDate(2024, 5, 17));
  SQL_TIMESTAMP_STRUCT ts;
  q->ColTimestamp(5, ts);
  EXPECT_EQ(ts.hour, 8);
  EXPECT_EQ(ts.minute, 30);
  // A character column is read as a date: text that is none is an error, not day zero.
  EXPECT_THROW(q->ColTimestamp(2), EConvertError);

  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColInteger(1), 2);
  EXPECT_TRUE(q->ColNull(2));
  EXPECT_EQ(q->ColString(2), "");
  EXPECT_EQ(q->ColDouble(3), 0);
  EXPECT_EQ(q->ColInteger(3), 0);
  EXPECT_DOUBLE_EQ(TimestampToDateTime(q->ColTimestamp(4)), 0.0);
  EXPECT_DOUBLE_EQ(TimestampToDateTime(q->ColTimestamp(5)), 0.0);

  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(2), Slovenian200());
  EXPECT_EQ(Utf8Length(q->ColString(2)), 200u);
  EXPECT_DOUBLE_EQ(q->ColDouble(3), -0.25);
  EXPECT_EQ(q->ColTimestamp(5).second, 59);

  EXPECT_FALSE(q->FetchNext());
  EXPECT_EQ(q->NumRowsFetched(), 0u);
  // The same statement takes the next query after Close.
  q->Close();
  q->SetSQL("SELECT Count(*) FROM docs");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColInteger(1), 3);
}

STMT_BOTH(AccessorsByNameAndMissingCells) {
  MakeDocs(F);
  THstmt* q = F.Q;
  q->SetSQL("SELECT id AS Kljuc, name AS Naziv FROM docs WHERE id = 1");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColByName("naziv"), 2);
  EXPECT_EQ(q->ColString("NAZIV"), "Prvi");
  EXPECT_EQ(q->ColInteger("kljuc"), 1);
  try {
    q->ColByName("Nema");
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Identifier Nema not found in result set.");
  }
  // No such column or row: empty results, no exception.
  EXPECT_EQ(q->ColString(0), "");
  EXPECT_EQ(q->ColString(3), "");
  EXPECT_EQ(q->ColInteger(99), 0);
  EXPECT_EQ(q->ColString(1, 2), "");
  EXPECT_EQ(q->ColStream(1), nullptr);
  EXPECT_EQ(q->RowStatus(0), SQL_ROW_NOROW);
  EXPECT_EQ(q->RowStatus(2), SQL_ROW_NOROW);
  EXPECT_EQ(q->NumCols(), 2);
}

STMT_BOTH(StringTrimming) {
  F.Exec("CREATE TABLE tr (s varchar(20))");
  F.Exec("INSERT INTO tr VALUES ('  ab  ')");
  struct Case {
    TStringTrimming T;
    const char* Want;
  } cases[] = {{stTrimNone, "  ab  "}, {stTrimTrailing, "  ab"}, {stTrimLeading, "ab  "}, {stTrimBoth, "ab"}};
  for (const Case& c : cases) {
    F.Q->SetStringTrimming(c.T);
    F.Q->SetSQL("SELECT s FROM tr");
    F.Q->Execute();
    ASSERT_TRUE(F.Q->FetchNext());
    EXPECT_EQ(F.Q->ColString(1), c.Want) << c.T;
  }
}

// A value longer than the column's declared size (SQLite does not enforce it; PostgreSQL's
// varchar without a length is described as 255) comes back whole.
STMT_BOTH(ValueLongerThanDescribedSizeIsReadWhole) {
  F.Exec(F.Pg ? "CREATE TABLE lv (s varchar)" : "CREATE TABLE lv (s varchar(10))");
  std::string v;
  for (int i = 0; i < 700; ++i) v += "ž";
  F.Exec("INSERT INTO lv VALUES ('" + v + "')");
  F.Exec("INSERT INTO lv VALUES ('kratko')");
  F.Q->SetSQL("SELECT s FROM lv ORDER BY s DESC");
  F.Q->Execute();
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_EQ(F.Q->ColString(1), v);
  EXPECT_EQ(F.Q->ColSize(1), SQLLEN(v.size()));
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_EQ(F.Q->ColString(1), "kratko");
  // In a row set of several rows the long value is read again on its own row; where the driver
  // cannot position on it (SQLite) the fetch is refused rather than cut.
  F.Q->SetCursorType(SQL_CURSOR_STATIC);
  F.Q->SetRowSetSize(2);
  F.Q->SetSQL("SELECT s FROM lv ORDER BY s");
  F.Q->Execute();
  if (F.Pg) {
    ASSERT_TRUE(F.Q->FetchNext());
    EXPECT_EQ(F.Q->ColString(1, 1), "kratko");
    EXPECT_EQ(F.Q->ColString(1, 2), v);
    EXPECT_EQ(F.Q->ColSizeRow(1, 2), SQLLEN(v.size()));
  } else {
    EXPECT_THROW(F.Q->FetchNext(), EODBCLibrary);
  }
}

STMT_BOTH(NamedParametersReexecuted) {
  MakeDocs(F);
  THstmt* q = F.Q;
  q->SetSQL("SELECT name FROM docs WHERE id >= :lo AND id <= :hi AND ':x' <> 'a''b' ORDER BY id");
  q->Prepare();
  ASSERT_EQ(q->ParamNames()->Count(), 2);
  EXPECT_EQ(q->ParamByName("HI"), 2);
  int32_t lo = 1, hi = 1;
  q->BindParam(q->ParamByName("lo"), SQL_C_SLONG, SQL_INTEGER, &lo);
  q->BindParam(q->ParamByName("hi"), SQL_C_SLONG, SQL_INTEGER, &hi);
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(1), "Prvi");
  EXPECT_FALSE(q->FetchNext());
  lo = 2;
  hi = 3;
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_TRUE(q->ColNull(1));
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(1), Slovenian200());
  EXPECT_FALSE(q->FetchNext());
}

STMT_BOTH(NullAndTextParameters) {
  F.Exec("CREATE TABLE p (id integer, s varchar(300))");
  THstmt* q = F.Q;
  q->SetSQL("INSERT INTO p VALUES (:id, :s)");
  q->Prepare();
  int32_t id = 1;
  std::string s = Slovenian200();
  q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &id);
  q->BindParam(2, SQL_C_CHAR, SQL_VARCHAR, s.data());
  EXPECT_EQ(q->GetParamSize(2), SQL_NTS);
  q->Execute();
  id = 2;
  q->BindParam(2, SQL_C_CHAR, SQL_VARCHAR, nullptr);
  EXPECT_EQ(q->GetParamSize(2), SQL_NULL_DATA);
  q->Execute();
  THstmt r(nullptr);
  r.SetHdbc(F.Dbc);
  r.SetSQL("SELECT id, s FROM p ORDER BY id");
  r.Execute();
  ASSERT_TRUE(r.FetchNext());
  EXPECT_EQ(r.ColString(2), Slovenian200());
  ASSERT_TRUE(r.FetchNext());
  EXPECT_TRUE(r.ColNull(2));
}

namespace {

// Counts the pieces values are sent in at execution.
struct PutDataSpy {
  static inline int Calls = 0;
  static SQLRETURN SQL_API PutData(SQLHSTMT h, SQLPOINTER d, SQLLEN n) {
    ++Calls;
    return ::SQLPutData(h, d, n);
  }
};

}  // namespace

// A long text and a binary value sent at execution in pieces, and with the execute.
STMT_BOTH(LongParametersSentAtExecution) {
  TODBCApiOverride api;
  api.Table().SQLPutData = PutDataSpy::PutData;
  F.Exec("CREATE TABLE b (id integer, t " + F.LongText() + ", bin " + F.Binary() + ")");
  std::string text;
  while (text.size() < 100000) text += "Šumi potok čez kamenje. ";
  std::string bin(70000, '\0');
  for (size_t i = 0; i < bin.size(); ++i) bin[i] = char(i * 7 + 3);
  int32_t id = 0;
  for (TBlobPlacement placement : {bpByParts, bpByExec}) {
    ++id;
    THstmt* q = F.Q;
    q->SetBlobPlacement(placement);
    q->SetBlobSize(4096);
    q->SetSQL("INSERT INTO b VALUES (:id, :t, :bin)");
    q->Prepare();
    TMemoryStream ts, bs;
    ts.WriteBuffer(text.data(), SQLLEN(text.size()));
    bs.WriteBuffer(bin.data(), SQLLEN(bin.size()));
    q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &id);
    q->BindBlobParam(2, &ts, false);
    q->BindBlobParam(3, &bs, true);
    EXPECT_EQ(q->GetParamSize(2), SQLLEN(text.size()));
    PutDataSpy::Calls = 0;
    q->Execute();
    // By parts: every BlobSize piece of both values in its own call; with the execute: none.
    const int pieces = int((text.size() + 4095) / 4096 + (bin.size() + 4095) / 4096);
    EXPECT_EQ(PutDataSpy::Calls, placement == bpByParts ? pieces : 0) << placement;

    THstmt r(nullptr);
    r.SetHdbc(F.Dbc);
    r.SetSQL("SELECT t, bin FROM b WHERE id = " + std::to_string(id));
    r.Execute();
    ASSERT_TRUE(r.FetchNext());
    EXPECT_EQ(r.ColString(1), text) << placement;
    // SQLite describes a blob as binary of 255 bytes (bound, read again in full when longer);
    // PostgreSQL's bytea is a long column.
    ASSERT_EQ(r.ColSize(2), SQLLEN(bin.size()));
    EXPECT_EQ(std::memcmp(r.ColValue(2), bin.data(), bin.size()), 0);
    EXPECT_EQ(r.ColIsBlob(2), F.Pg);
  }
  // An empty stream is sent as NULL.
  F.Q->SetSQL("INSERT INTO b VALUES (9, :t, NULL)");
  F.Q->Prepare();
  TMemoryStream empty;
  F.Q->BindBlobParam(1, &empty, false);
  EXPECT_EQ(F.Q->GetParamSize(1), SQL_NULL_DATA);
  F.Q->Execute();
  THstmt r(nullptr);
  r.SetHdbc(F.Dbc);
  r.SetSQL("SELECT t FROM b WHERE id = 9");
  r.Execute();
  ASSERT_TRUE(r.FetchNext());
  EXPECT_TRUE(r.ColNull(1));
  // A text bound as a long value with no length given is sent whole, up to its terminator.
  F.Q->SetBlobPlacement(bpByParts);
  F.Q->SetSQL("INSERT INTO b VALUES (10, :t, NULL)");
  F.Q->Prepare();
  char word[] = "Čaša vode";
  F.Q->BindParam(1, SQL_C_CHAR, SQL_LONGVARCHAR, word);
  F.Q->Execute();
  r.SetSQL("SELECT t FROM b WHERE id = 10");
  r.Execute();
  ASSERT_TRUE(r.FetchNext());
  EXPECT_EQ(r.ColString(1), word);
}

TEST_F(ServerStmt, OutputParameters) {
  Exec("CREATE FUNCTION dbl(a integer, OUT b integer) AS 'SELECT a * 2' LANGUAGE SQL");
  Q->SetSQLParsing(false);
  Q->SetSQL("{ call dbl(?, ?) }");
  Q->Prepare();
  int32_t in = 21, out = 0;
  Q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &in);
  Q->SetParamType(SQL_PARAM_OUTPUT);
  Q->BindParam(2, SQL_C_SLONG, SQL_INTEGER, &out);
  Q->Execute();
  EXPECT_EQ(out, 42);
  EXPECT_EQ(Q->GetParamSize(2), 4);
}

STMT_BOTH(EventsAroundExecuteAndFetch) {
  MakeDocs(F);
  THstmt* q = F.Q;
  std::string log;
  q->BeforeExecute = [&](TObject* s) { log += s == q ? "BE " : "?? "; };
  q->AfterExecute = [&](TObject*) { log += "AE "; };
  q->BeforeFetch = [&](TObject*) { log += "BF "; };
  q->AfterFetch = [&](TObject*) { log += "AF "; };
  q->BeforePrepare = [&](TObject*) { log += "BP "; };
  q->AfterPrepare = [&](TObject*) { log += "AP "; };
  q->SetSQL("SELECT id FROM docs WHERE id = 1");
  q->SetPrepared(true);
  EXPECT_EQ(log, "BP AP ");
  log.clear();
  q->Execute();
  EXPECT_TRUE(q->FetchNext());
  EXPECT_FALSE(q->FetchNext());
  EXPECT_EQ(log, "BE AE BF AF BF ");
  // A failed execution fires no after-event.
  log.clear();
  q->SetSQL("SELECT nothing FROM nowhere");
  EXPECT_THROW(q->Execute(), EODBC);
  EXPECT_EQ(log, "BE ");
  EXPECT_FALSE(q->Executed());
  // An UPDATE that touches no row returns normally without the after-event.
  log.clear();
  q->SetSQL("UPDATE docs SET name = 'x' WHERE id = 99");
  q->Execute();
  EXPECT_EQ(log, "BE ");
  EXPECT_TRUE(q->Executed());
  EXPECT_EQ(q->NumCols(), 0);
  // One that does touch a row fires it and counts the row.
  log.clear();
  q->SetSQL("UPDATE docs SET name = 'x' WHERE id = 1");
  q->Execute();
  EXPECT_EQ(log, "BE AE ");
  EXPECT_EQ(q->NumRowsAffected(), 1);
}

STMT_BOTH(RowCountByEachMethod) {
  F.Exec("CREATE TABLE rc (g integer, v integer)");
  for (int i = 1; i <= 7; ++i)
    F.Exec("INSERT INTO rc VALUES (" + std::to_string(i % 3) + ", " + std::to_string(i) + ")");
  THstmt* q = F.Q;
  struct Case {
    const char* Sql;
    int Want;
    int32_t Params[2];  // values of the tokens in order
  } cases[] = {
      {"SELECT v FROM rc WHERE v > 2 ORDER BY v", 5, {}},
      {"SELECT g, Count(*) FROM rc GROUP BY g ORDER BY g", 3, {}},
      {"SELECT DISTINCT g FROM rc", 3, {}},
      {"SELECT v FROM rc WHERE v >= :lo\r\nORDER BY v", 4, {4}},
      {"SELECT v FROM rc WHERE v IN (SELECT v FROM rc WHERE v < :lo) ORDER BY v", 3, {4}},
      // Cutting the select list would drop :k and bind its value to :lo.
      {"SELECT v * :k FROM rc WHERE v >= :lo ORDER BY v", 4, {100, 4}},
  };
  int custom = 0;
  q->OnRowCount = [&](TObject*) { return ++custom > 0 ? 42 : -1; };
  for (TRowCountMethod m : {rcFunction, rcSelect, rcTraverse, rcCustom}) {
    for (const Case& c : cases) {
      q->SetRowCountMethod(m);
      q->SetSQL(c.Sql);
      q->Prepare();
      int32_t params[2] = {c.Params[0], c.Params[1]};
      for (int i = 0; i < q->ParamNames()->Count(); ++i) q->BindParam(i + 1, SQL_C_SLONG, SQL_INTEGER, &params[i]);
      q->Execute();
      const int want = m == rcCustom ? 42 : c.Want;
      EXPECT_EQ(q->RowCount(), want) << c.Sql << " method " << m;
      // The statement's own cursor is untouched.
      int n = 0;
      while (q->FetchNext()) ++n;
      EXPECT_EQ(n, c.Want) << c.Sql;
    }
  }
}

// More rows than the server driver fetches per round trip (Fetch=1000 in the test's data source).
STMT_BOTH(RowCountOfALargeResult) {
  F.Exec("CREATE TABLE big (v integer)");
  F.Exec(F.Pg ? "INSERT INTO big SELECT generate_series(1, 2500)"
              : "INSERT INTO big WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2500) "
                "SELECT x FROM c");
  for (TRowCountMethod m : {rcFunction, rcSelect, rcTraverse}) {
    F.Q->SetRowCountMethod(m);
    F.Q->SetSQL("SELECT v FROM big ORDER BY v");
    F.Q->Execute();
    ASSERT_TRUE(F.Q->FetchNext());
    EXPECT_EQ(F.Q->RowCount(), 2500) << m;
  }
}

STMT_BOTH(MaxRowsAndCursorTypeInEffect) {
  MakeDocs(F);
  THstmt* q = F.Q;
  q->SetMaxRows(2);
  EXPECT_EQ(q->MaxRows(), 2u);
  q->SetSQL("SELECT id FROM docs ORDER BY id");
  q->Execute();
  int n = 0;
  while (q->FetchNext()) ++n;
  // PostgreSQL's driver does not apply the limit to its declare/fetch cursor.
  EXPECT_EQ(n, F.Pg ? 3 : 2);
  q->SetMaxRows(0);
  // A cursor type the driver does not offer is answered with another; what the cursor can do
  // is read for the one in effect.
  q->SetCursorType(SQL_CURSOR_DYNAMIC);
  q->SetSQL("SELECT id FROM docs ORDER BY id");
  q->Execute();
  SQLULEN inEffect = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetStmtAttr(q->Handle(), SQL_ATTR_CURSOR_TYPE, &inEffect, 0, nullptr)));
  EXPECT_NE(inEffect, SQLULEN(SQL_CURSOR_DYNAMIC));  // both drivers answer with another type
  const SQLUSMALLINT info = inEffect == SQL_CURSOR_STATIC         ? SQL_STATIC_CURSOR_ATTRIBUTES1
                            : inEffect == SQL_CURSOR_KEYSET_DRIVEN ? SQL_KEYSET_CURSOR_ATTRIBUTES1
                                                                   : SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1;
  EXPECT_EQ(q->CursorAttributes(), SQLUINTEGER(F.Dbc->GetInfoInteger(info))) << inEffect;
  EXPECT_NE(q->CursorAttributes() & SQL_CA1_ABSOLUTE, 0u);
  ASSERT_TRUE(q->FetchLast());
  EXPECT_EQ(q->ColInteger(1), 3);
}

// Naming parameters in the descriptor leaves binding by number working on drivers that ignore
// the names; the count statement of a text it cannot use falls back to traversal.
STMT_BOTH(BindByNameAndAnUnusableCountText) {
  MakeDocs(F);
  THstmt* q = F.Q;
  q->SetBindByName(true);
  q->SetSQL("SELECT name FROM docs WHERE id = :id");
  q->Prepare();
  int32_t id = 1;
  q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &id);
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(1), "Prvi");
  // " FROM " inside a literal first: the cut text is no statement at all.
  q->SetBindByName(false);
  q->SetRowCountMethod(rcSelect);
  q->SetSQL("SELECT ' FROM (' || name FROM docs WHERE id < 3");
  q->Execute();
  EXPECT_EQ(q->RowCount(), 2);
}

// Neither driver here executes asynchronously: asked to, each runs the statement as usual.
STMT_BOTH(AsynchronousExecutionOnARealDriver) {
  MakeDocs(F);
  F.Q->SetExecAsync(true);
  F.Q->SetSQL("SELECT name FROM docs WHERE id = 1");
  F.Q->Execute();
  EXPECT_FALSE(F.Q->AsyncOn());
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_EQ(F.Q->ColString(1), "Prvi");
}

// The program's statements ask for optimistic concurrency by values on a forward-only cursor;
// a driver that answers with another concurrency still runs them.
STMT_BOTH(ConcurrencyByValuesOnTheExportRoad) {
  MakeDocs(F);
  F.Q->SetConcurrencyType(SQL_CONCUR_VALUES);
  F.Q->SetSQL("SELECT id FROM docs ORDER BY id");
  F.Q->Execute();
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_EQ(F.Q->ColInteger(1), 1);
  EXPECT_EQ(F.Q->ConcurrencyType(), SQLULEN(SQL_CONCUR_VALUES));
}

namespace {

// The data sources a row count must hold on: each driver with and without streaming (SQLite's
// StepAPI, PostgreSQL's UseDeclareFetch), which decides whether the driver counts the rows.
void UseDataSource(StmtFixture& F, const std::string& Variant) {
  if (Variant.empty()) return;
  if (F.Pg)
    F.Env.AddDsn(Variant, {{"Driver", "PostgreSQL"}, {"Servername", F.Env.PgSocketDir()}, {"Port", F.Env.PgPort()},
                           {"Database", F.Env.PgDatabase()}, {"Username", "postgres"}, {"UseDeclareFetch", "0"}});
  else
    F.Env.AddDsn(Variant, {{"Driver", "SQLite3"}, {"Database", F.Env.SqliteFile()}, {"StepAPI", "1"}});
  F.Dbc->SetConnected(false);
  F.Dbc->SetDataSource(Variant);
}

}  // namespace

// The number of rows the statement returns, by every method, also for texts that fold or limit
// their rows and with MaxRows; on each driver's streaming data source (the test's "PG" streams,
// "SQLITE" does not) and on the other.
STMT_BOTH(RowCountOfFoldedAndLimitedResults) {
  F.Exec("CREATE TABLE rc (g integer, v integer)");
  for (int i = 1; i <= 7; ++i)
    F.Exec("INSERT INTO rc VALUES (" + std::to_string(i % 3) + ", " + std::to_string(i) + ")");
  struct Case {
    const char* Sql;
    SQLULEN MaxRows;
    int Want;
  } cases[] = {
      {"SELECT v FROM rc WHERE v > 2 ORDER BY v", 0, 5},
      {"SELECT max(v) FROM rc WHERE v > 2", 0, 1},
      {"SELECT Count(*), Sum(v) FROM rc", 0, 1},
      {"SELECT g, max(v) FROM rc GROUP BY g", 0, 3},
      {"SELECT v FROM rc ORDER BY v LIMIT 2", 0, 2},
      {"SELECT v FROM rc ORDER BY v LIMIT 10 OFFSET 5", 0, 2},
      {"SELECT v FROM rc WHERE v IN (SELECT v FROM rc ORDER BY v LIMIT 3) ORDER BY v", 0, 3},
      {"SELECT v, (SELECT max(v) FROM rc) FROM rc WHERE v > 5", 0, 2},
      {"SELECT v FROM rc ORDER BY v", 2, 2},
      {"SELECT max(v) FROM rc", 5, 1},
  };
  for (const char* variant : {"", "STREAMING"}) {
    // The test's own data sources stream on PostgreSQL and not on SQLite: the other of each.
    UseDataSource(F, variant[0] == 0 ? "" : F.Pg ? "PGPLAIN" : "SQLITESTEP");
    for (TRowCountMethod m : {rcFunction, rcSelect, rcTraverse}) {
      for (const Case& c : cases) {
        THstmt* q = F.Q;
        q->SetRowCountMethod(m);
        q->SetMaxRows(c.MaxRows);
        q->SetSQL(c.Sql);
        q->Execute();
        int fetched = 0;
        // The statement's own rows, as the caller meets them (PostgreSQL's streaming cursor
        // does not apply MaxRows at all).
        while (q->FetchNext()) ++fetched;
        const int want = F.Pg && c.MaxRows > 0 && F.Dbc->DataSource() == "PG" ? fetched : c.Want;
        EXPECT_EQ(fetched, want) << c.Sql;
        q->SetSQL(c.Sql);
        q->Execute();
        ASSERT_TRUE(q->FetchNext());
        EXPECT_EQ(q->RowCount(), want) << c.Sql << " method " << m << " on " << F.Dbc->DataSource();
        q->SetMaxRows(0);
      }
    }
  }
}

// A timestamp parameter keeps its fraction, prepared or sent directly.
STMT_BOTH(TimestampParameterKeepsItsFraction) {
  F.Exec("CREATE TABLE tp (id integer, t timestamp)");
  SQL_TIMESTAMP_STRUCT ts{2024, 5, 17, 8, 30, 15, 123000000};
  int32_t id = 0;
  for (bool prepared : {true, false}) {
    ++id;
    THstmt* q = F.Q;
    q->SetSQL("INSERT INTO tp VALUES (:id, :t)");
    if (prepared) q->Prepare();
    q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &id);
    q->BindParam(2, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &ts);
    q->Execute();
  }
  THstmt r(nullptr);
  r.SetHdbc(F.Dbc);
  r.SetSQL("SELECT t FROM tp ORDER BY id");
  r.Execute();
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(r.FetchNext());
    const SQL_TIMESTAMP_STRUCT got = r.ColTimestamp(1);
    EXPECT_EQ(got.second, 15);
    EXPECT_EQ(got.fraction, 123000000u) << (i == 0 ? "prepared" : "direct");
  }
}

// SetColDouble writes the shortest text that reads back as the same double.
STMT_BOTH(SetColDoubleWritesTheShortestExactText) {
  F.Exec("CREATE TABLE d (s varchar(40), x double precision)");
  F.Exec("INSERT INTO d VALUES ('', 0)");
  THstmt* q = F.Q;
  q->SetSQL("SELECT s, x FROM d");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  struct Case {
    double X;
    const char* Text;
  } cases[] = {{0.1, "0.1"}, {-2.25, "-2.25"}, {1234567.891, "1234567.891"}, {1.0 / 3, "0.3333333333333333"},
               {0.1 + 0.2, "0.30000000000000004"}, {1e21, "1e+21"}, {5e-324, "5e-324"},
               {1.7976931348623157e308, "1.7976931348623157e+308"}, {0, "0"}};
  for (const Case& c : cases) {
    q->SetColDouble(1, c.X);
    EXPECT_EQ(q->ColString(1), c.Text);
    q->SetColDouble(2, c.X);
    EXPECT_EQ(q->ColDouble(2), c.X) << c.Text;
  }
}
