// The statement's token scanner, properties and lifecycle; and, through scripted entries of the
// function table, what no driver here produces: asynchronous polling, a data-at-execution
// request for a value no parameter holds, a long value whose length the driver cannot tell.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "oclstmt.h"
#include "filer.h"
#include "published.h"
#include "stmt_fixture.h"

namespace {

std::string Parse(const std::string& Sql, std::string* Names = nullptr) {
  THstmt s(nullptr);
  s.SetSQL(Sql);
  const std::string out = s.ParseSQL();
  if (Names != nullptr) {
    Names->clear();
    TStrings* n = s.ParamNames();
    for (int i = 0; i < n->Count(); ++i) *Names += (i ? "," : "") + n->Get(i);
  }
  return out;
}

}  // namespace

TEST(StmtParse, TokensBecomeMarkers) {
  struct Case {
    const char* Sql;
    const char* Out;
    const char* Names;
  } cases[] = {
      {"SELECT * FROM t WHERE a = :a AND b = ':x' AND c = 'it''s' AND d = :D_2",
       "SELECT * FROM t WHERE a = ? AND b = ':x' AND c = 'it''s' AND d = ?", "a,D_2"},
      {"SELECT \":q\" FROM t", "SELECT \"?\" FROM t", "q"},  // double quotes do not protect
      {"UPDATE t SET a = :v WHERE b = :v", "UPDATE t SET a = ? WHERE b = ?", "v,v"},
      {"SELECT '' || :x", "SELECT '' || ?", "x"},
      {"SELECT :a@b, :c", "SELECT ?, ?", "a@b,c"},
      {"SELECT 'č:ž' || :ime", "SELECT 'č:ž' || ?", "ime"},
  };
  for (const Case& c : cases) {
    std::string names;
    EXPECT_EQ(Parse(c.Sql, &names), c.Out);
    EXPECT_EQ(names, c.Names) << c.Sql;
  }
}

TEST(StmtParse, BadTokensRaise) {
  for (const char* sql : {"SELECT :", "SELECT : a", "SELECT a::int FROM t", "SELECT x FROM t WHERE a = :-1"}) {
    try {
      Parse(sql);
      ADD_FAILURE() << sql;
    } catch (const EODBCLibrary& e) {
      EXPECT_EQ(e.Message(), "Invalid parameter token in SQL statement.") << sql;
    }
  }
}

TEST(StmtParse, ParsingOffSendsTheTextUnchanged) {
  THstmt s(nullptr);
  s.SetSQLParsing(false);
  s.SetSQL("SELECT a::int, :b");
  EXPECT_EQ(s.ParseSQL(), "SELECT a::int, :b");
  EXPECT_EQ(s.ParamNames()->Count(), 0);
}

TEST(StmtParse, ParamByName) {
  THstmt s(nullptr);
  s.SetSQL("SELECT :Kljuc, :b");
  // Before the text is parsed every name raises.
  EXPECT_THROW(s.ParamByName("Kljuc"), EODBCLibrary);
  s.ParseSQL();
  EXPECT_EQ(s.ParamByName("KLJUC"), 1);
  EXPECT_EQ(s.ParamByName("b"), 2);
  try {
    s.ParamByName("nema");
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Token NEMA not found in SQL statement.");
  }
}

TEST(StmtProps, DefaultsAndSetters) {
  TComponent owner(nullptr);
  THstmt* s = new THstmt(&owner);
  EXPECT_EQ(s->hDbc(), nullptr);
  EXPECT_TRUE(s->SQLParsing());
  EXPECT_EQ(s->ConcurrencyType(), 1u);
  EXPECT_EQ(s->CursorType(), 0u);
  EXPECT_EQ(s->RowSetSize(), 1u);
  EXPECT_EQ(s->BlobSize(), 32768);
  EXPECT_EQ(s->BlobPlacement(), bpDetect);
  EXPECT_EQ(s->StringTrimming(), stTrimTrailing);
  EXPECT_EQ(s->EmptyStringToNull(), enNever);
  EXPECT_EQ(s->RowCountMethod(), rcFunction);
  EXPECT_EQ(s->NoRowsAffected(), TNoRowsAffected{nrByUpdate});
  s->SetBlobSize(1025);
  EXPECT_EQ(s->BlobSize(), 1025);
  s->SetRowSetSize(0);
  EXPECT_EQ(s->RowSetSize(), 1u);
  EXPECT_STREQ(s->ClassName(), "THstmt");
  EXPECT_TRUE(s->InheritsFrom("THbase"));
  // Without a connection the handle cannot be allocated.
  s->SetName("qQuery1");
  try {
    s->Execute();
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Property Hdbc of qQuery1 not set.");
  }
  EXPECT_FALSE(s->Allocated());
}

TEST_F(OdbcStmt, ConnectionOfTheOwnerAndItsRemoval) {
  // Created with an owner that holds connections, a statement takes the first.
  THdbc* second = new THdbc(Owner.get());
  second->SetDataSource("SQLITE");
  THstmt* s = new THstmt(Owner.get());
  EXPECT_EQ(s->hDbc(), Dbc);
  s->SetSQL("SELECT 1");
  s->Execute();
  EXPECT_TRUE(Dbc->Children().Contains(s));
  // Freeing the connection clears hDbc and releases the statement's handle.
  delete Dbc;
  Dbc = nullptr;
  EXPECT_EQ(s->hDbc(), nullptr);
  EXPECT_FALSE(s->Allocated());
  // Disconnecting terminates the statements; the next use connects again.
  s->SetHdbc(second);
  s->SetSQL("SELECT 2");
  s->Execute();
  second->Disconnect();
  EXPECT_FALSE(s->Allocated());
  s->SetSQL("SELECT 3");
  s->Execute();
  ASSERT_TRUE(s->FetchNext());
  EXPECT_EQ(s->ColInteger(1), 3);
  EXPECT_TRUE(second->Connected());
}

TEST_F(OdbcStmt, SetSqlClosesAndUnprepares) {
  Exec("CREATE TABLE t (a integer)");
  Q->SetSQL("SELECT a FROM t WHERE a = :a");
  EXPECT_FALSE(Q->Allocated());  // storing the text needs no handle
  Q->Prepare();
  int32_t a = 1;
  Q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &a);
  EXPECT_TRUE(Q->Prepared());
  ASSERT_NE(Q->ParamRec(1), nullptr);
  Q->SetSQL(Q->SQL());
  EXPECT_FALSE(Q->Prepared());
  EXPECT_EQ(Q->ParamRec(1), nullptr);
  // A parameter type other than input, input/output and output is ignored.
  Q->SetParamType(3);
  Q->Prepare();
  Q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &a);
  Q->Execute();
  EXPECT_FALSE(Q->FetchNext());
  // Accessors of a statement that has not run give empty results.
  Q->Close();
  EXPECT_EQ(Q->NumCols(), 0);
  EXPECT_EQ(Q->ColString(1), "");
}

namespace {

struct AsyncScript {
  static inline int StillExecuting = 0;
  static inline int Polls = 0;
  static inline int AsyncOnCalls = 0;
  static inline TODBCApi Real;
  static SQLRETURN SQL_API ExecDirect(SQLHSTMT h, SQLCHAR* t, SQLINTEGER l) {
    ++Polls;
    if (StillExecuting > 0) {
      --StillExecuting;
      return SQL_STILL_EXECUTING;
    }
    return Real.SQLExecDirect(h, t, l);
  }
  static SQLRETURN SQL_API SetStmtAttr(SQLHSTMT h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l) {
    if (a == SQL_ATTR_ASYNC_ENABLE) {
      if (v == reinterpret_cast<SQLPOINTER>(SQL_ASYNC_ENABLE_ON)) ++AsyncOnCalls;
      return SQL_SUCCESS;  // the driver here has no asynchronous mode
    }
    return Real.SQLSetStmtAttr(h, a, v, l);
  }
};

}  // namespace

TEST_F(OdbcStmt, AsynchronousExecutionPumpsMessages) {
  TODBCApiOverride api;
  AsyncScript::Real = api.Saved();
  api.Table().SQLExecDirect = AsyncScript::ExecDirect;
  api.Table().SQLSetStmtAttr = AsyncScript::SetStmtAttr;
  int pumped = 0;
  ODBCProcessMessages = [&] { ++pumped; };
  AsyncScript::StillExecuting = 3;
  Q->SetExecAsync(true);
  Q->SetSQL("SELECT 7");
  Q->Execute();
  ODBCProcessMessages = nullptr;
  EXPECT_EQ(pumped, 3);
  EXPECT_EQ(AsyncScript::Polls, 4);
  EXPECT_EQ(AsyncScript::AsyncOnCalls, 1);
  EXPECT_FALSE(Q->AsyncOn());
  ASSERT_TRUE(Q->FetchNext());
  EXPECT_EQ(Q->ColInteger(1), 7);
  // A failure while asynchronous switches the mode off before the exception leaves.
  Q->SetSQL("SELECT * FROM nema");
  EXPECT_THROW(Q->Execute(), EODBC);
  EXPECT_FALSE(Q->AsyncOn());
}

namespace {

struct ParamDataScript {
  static inline TODBCApi Real;
  static inline int Cancels = 0;
  static SQLRETURN SQL_API ParamData(SQLHSTMT, SQLPOINTER* token) {
    *token = reinterpret_cast<SQLPOINTER>(0x1234);  // nobody's value
    return SQL_NEED_DATA;
  }
  static SQLRETURN SQL_API Execute(SQLHSTMT) { return SQL_NEED_DATA; }
  static SQLRETURN SQL_API Cancel(SQLHSTMT h) {
    ++Cancels;
    return Real.SQLCancel(h);
  }
};

}  // namespace

TEST_F(OdbcStmt, DataRequestForAnUnknownValueRaises) {
  Exec("CREATE TABLE b (t text)");
  Q->SetSQL("INSERT INTO b VALUES (:t)");
  Q->Prepare();
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  Q->BindBlobParam(1, &m, false);
  TODBCApiOverride api;
  ParamDataScript::Real = api.Saved();
  api.Table().SQLExecute = ParamDataScript::Execute;
  api.Table().SQLParamData = ParamDataScript::ParamData;
  api.Table().SQLCancel = ParamDataScript::Cancel;
  EXPECT_THROW(Q->Execute(), EODBCLibrary);
  EXPECT_EQ(ParamDataScript::Cancels, 1);
}

TEST_F(OdbcStmt, ParameterSizes) {
  Exec("CREATE TABLE b (t text)");
  Q->SetBlobPlacement(bpByParts);
  Q->SetSQL("INSERT INTO b VALUES (:t)");
  Q->Prepare();
  char v[] = "x";
  Q->BindParam(1, SQL_C_CHAR, SQL_LONGVARCHAR, v);
  EXPECT_LE(Q->ParamRec(1)->Ind, SQL_LEN_DATA_AT_EXEC_OFFSET);
  Q->SetParamSize(1, 10);
  EXPECT_EQ(Q->ParamRec(1)->Ind, -110);
  EXPECT_EQ(Q->GetParamSize(1), 10);
  Q->SetBlobPlacement(bpByExec);
  Q->BindParam(1, SQL_C_CHAR, SQL_LONGVARCHAR, v);
  Q->SetParamSize(1, 10);
  EXPECT_EQ(Q->ParamRec(1)->Ind, 10);
  EXPECT_EQ(Q->GetParamSize(7), 0);  // no such parameter
  Q->SetParamSize(7, 3);
}

TEST(StmtProps, TakesAConnectionPlacedLater) {
  TComponent owner(nullptr);
  THstmt* s = new THstmt(&owner);
  EXPECT_EQ(s->hDbc(), nullptr);
  THdbc* d = new THdbc(&owner);
  EXPECT_EQ(s->hDbc(), d);
  THdbc* other = new THdbc(&owner);
  EXPECT_EQ(s->hDbc(), d);  // only while it has none
  delete d;
  EXPECT_EQ(s->hDbc(), nullptr);
  (void)other;
}

TEST(StmtProps, PublishedByName) {
  THstmt s(nullptr);
  SetPropValue(&s, "SQL", std::string("SELECT 1"));
  EXPECT_EQ(s.SQL(), "SELECT 1");
  SetPropValue(&s, "StringTrimming", std::string("stTrimBoth"));
  EXPECT_EQ(s.StringTrimming(), stTrimBoth);
  EXPECT_EQ(GetStrProp(&s, "RowCountMethod"), "rcFunction");
  SetPropValue(&s, "RowSetSize", std::int64_t(5));
  EXPECT_EQ(GetOrdProp(&s, "RowSetSize"), 5);
  EXPECT_THROW(SetPropValue(&s, "BlobPlacement", std::string("bpNever")), EPropertyError);
}

TEST(StmtProps, ReadsStreamsOfOlderVersions) {
  TMemoryStream m;
  {
    TWriter w(&m);
    w.WritePropName("SQL");
    w.WriteString("SELECT 1");
    w.WritePropName("OnPrepare");
    w.WriteIdent("qQuery0Prepare");
    w.WritePropName("OnFetch");
    w.WriteIdent("qQuery0Fetch");
    w.WritePropName("StringTrimming");
    w.WriteIdent("stTrimOld");
    w.WritePropName("BlobSize");
    w.WriteInteger(4096);
    w.WriteListEnd();
  }
  m.SetPosition(0);
  THstmt s(nullptr);
  TReader r(&m);
  s.ReadState(&r);
  EXPECT_EQ(s.SQL(), "SELECT 1");
  EXPECT_EQ(s.StringTrimming(), stTrimNone);
  EXPECT_EQ(s.BlobSize(), 4096);
  EXPECT_FALSE(s.ComponentState().Contains(csReading));
  // Any other unknown property is an error.
  TMemoryStream bad;
  {
    TWriter w(&bad);
    w.WritePropName("Bogus");
    w.WriteInteger(1);
    w.WriteListEnd();
  }
  bad.SetPosition(0);
  TReader rb(&bad);
  EXPECT_THROW(s.ReadState(&rb), EReadError);
}

namespace {

// A driver that cannot tell the length of a long value.
struct NoTotalScript {
  static SQLRETURN SQL_API GetData(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER v, SQLLEN l, SQLLEN* ind) {
    if (v != nullptr && l > 0) std::memset(v, 'x', size_t(l));
    *ind = SQL_NO_TOTAL;
    return SQL_SUCCESS_WITH_INFO;
  }
};

}  // namespace

TEST_F(OdbcStmt, LongValueOfUnknownLengthRaisesAndWritesNothing) {
  Exec("CREATE TABLE b (id integer, t text)");
  Exec("INSERT INTO b VALUES (1, 'abc')");
  Exec("INSERT INTO b VALUES (2, 'def')");
  Q->SetBlobDeferral(true);
  Q->SetSQL("SELECT id, t FROM b ORDER BY id");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  TMemoryStream* s = Q->ColStream(2);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(Q->ColString(2), "abc");
  ASSERT_TRUE(Q->FetchNext());
  TODBCApiOverride api;
  api.Table().SQLGetData = NoTotalScript::GetData;
  try {
    Q->ColStream(2);
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Unable to retrieve blob.  You may have to increase the BlobSize property.");
  }
  EXPECT_EQ(StreamToString(s), "abc");
}

// Without a description from the driver a parameter is sized from the connection's table (the
// row "Default" for a driver without a row of its own).
TEST_F(OdbcStmt, ParameterDescriptionFallsBackToTheSizeTable) {
  struct Case {
    SQLSMALLINT Type;
    SQLULEN Size;
    SQLSMALLINT Digits;
  } cases[] = {{SQL_CHAR, 255, 0},       {SQL_VARCHAR, 255, 0},         {SQL_LONGVARCHAR, 2147483647, 0},
               {SQL_BINARY, 255, 0},     {SQL_VARBINARY, 255, 0},       {SQL_LONGVARBINARY, 2147483647, 0},
               {SQL_DECIMAL, 15, 15},    {SQL_NUMERIC, 15, 15},         {SQL_TYPE_TIMESTAMP, 19, 0},
               {SQL_INTEGER, 0, 0}};
  for (const Case& c : cases) {
    SQLSMALLINT type = c.Type, nullable = SQL_NULLABLE, digits = 9;
    SQLULEN size = 9;
    Q->DescribeParam(1, type, true, nullable, digits, size);
    EXPECT_EQ(type, c.Type);
    EXPECT_EQ(size, c.Size) << c.Type;
    EXPECT_EQ(digits, c.Digits) << c.Type;
    EXPECT_EQ(nullable, SQL_NULLABLE_UNKNOWN);
  }
}

namespace {

// A driver with an asynchronous mode, over SQLite's: the mode is taken (and may be refused), the
// execution and each data-at-execution call report "still executing" once first, and a piece
// of data may fail. Switching the mode off goes to the real driver manager, which refuses it
// while the statement waits for data.
struct AsyncDataScript {
  static inline TODBCApi Real;
  static inline bool RefuseAsync = false;
  static inline int FailPiece = 0;  // the piece of data that fails, 0 for none
  static inline int Pieces = 0;
  static inline int Cancels = 0;
  static inline bool Busy = false;
  static inline std::string Log;
  static void Reset() {
    FailPiece = Pieces = Cancels = 0;
    RefuseAsync = Busy = false;
    Log.clear();
  }
  // Every other call first answers "still executing".
  static bool StillExecuting() {
    Busy = !Busy;
    return Busy;
  }
  static SQLRETURN SQL_API SetStmtAttr(SQLHSTMT h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l) {
    if (a != SQL_ATTR_ASYNC_ENABLE) return Real.SQLSetStmtAttr(h, a, v, l);
    if (v == reinterpret_cast<SQLPOINTER>(SQL_ASYNC_ENABLE_ON)) {
      Log += "on ";
      return RefuseAsync ? SQL_ERROR : SQL_SUCCESS;
    }
    const SQLRETURN rc = Real.SQLSetStmtAttr(h, a, v, l);
    Log += "off=" + std::to_string(rc) + " ";
    return rc;
  }
  static SQLRETURN SQL_API Execute(SQLHSTMT h) { return StillExecuting() ? SQL_STILL_EXECUTING : Real.SQLExecute(h); }
  static SQLRETURN SQL_API ParamData(SQLHSTMT h, SQLPOINTER* token) {
    if (StillExecuting()) return SQL_STILL_EXECUTING;
    const SQLRETURN rc = Real.SQLParamData(h, token);
    Log += "data=" + std::to_string(rc) + " ";
    return rc;
  }
  static SQLRETURN SQL_API PutData(SQLHSTMT h, SQLPOINTER d, SQLLEN n) {
    if (StillExecuting()) return SQL_STILL_EXECUTING;
    if (++Pieces == FailPiece) return SQL_ERROR;
    return Real.SQLPutData(h, d, n);
  }
  static SQLRETURN SQL_API Cancel(SQLHSTMT h) {
    ++Cancels;
    Log += "cancel ";
    return Real.SQLCancel(h);
  }
};

}  // namespace

// Asynchronous execution together with values sent at execution: the mode goes off only after
// the data was sent and only when it was on; a failure while sending cancels the statement,
// which then runs again.
TEST_F(OdbcStmt, AsynchronousExecutionWithDataAtExecution) {
  Exec("CREATE TABLE ad (id integer PRIMARY KEY, t text)");
  Exec("INSERT INTO ad VALUES (9, 'taken')");
  TODBCApiOverride api;
  AsyncDataScript::Real = api.Saved();
  api.Table().SQLSetStmtAttr = AsyncDataScript::SetStmtAttr;
  api.Table().SQLExecute = AsyncDataScript::Execute;
  api.Table().SQLParamData = AsyncDataScript::ParamData;
  api.Table().SQLPutData = AsyncDataScript::PutData;
  api.Table().SQLCancel = AsyncDataScript::Cancel;
  int pumped = 0;
  ODBCProcessMessages = [&] { ++pumped; };
  const std::string text(3000, 'x');  // three pieces of 1025 bytes
  TMemoryStream m;
  m.WriteBuffer(text.data(), SQLLEN(text.size()));
  int32_t id = 0;
  struct Case {
    const char* What;
    int Id;
    bool Refuse;
    int FailPiece;
    bool Raises;
    const char* Log;
  } cases[] = {
      {"sent", 1, false, 0, false, "on data=99 data=0 off=0 "},
      {"a piece fails", 2, false, 2, true, "on data=99 cancel off=0 "},
      {"the row is refused", 9, false, 0, true, "on data=99 data=-1 cancel off=0 "},
      {"mode refused", 3, true, 0, false, "on data=99 data=0 "},
  };
  Q->SetExecAsync(true);
  Q->SetBlobPlacement(bpByParts);
  Q->SetBlobSize(1025);
  for (const Case& c : cases) {
    AsyncDataScript::Reset();
    AsyncDataScript::RefuseAsync = c.Refuse;
    AsyncDataScript::FailPiece = c.FailPiece;
    Q->SetSQL("INSERT INTO ad VALUES (:id, :t)");
    Q->Prepare();
    id = c.Id;
    Q->BindParam(1, SQL_C_SLONG, SQL_INTEGER, &id);
    Q->BindBlobParam(2, &m, false);
    if (c.Raises)
      EXPECT_THROW(Q->Execute(), EODBC) << c.What;
    else
      EXPECT_NO_THROW(Q->Execute()) << c.What;
    EXPECT_EQ(AsyncDataScript::Log, c.Log) << c.What;
    EXPECT_FALSE(Q->AsyncOn()) << c.What;
    // The statement takes the next execution.
    AsyncDataScript::FailPiece = 0;
    id = 100 + c.Id;
    EXPECT_NO_THROW(Q->Execute()) << c.What;
  }
  ODBCProcessMessages = nullptr;
  EXPECT_GT(pumped, 0);
  THstmt r(nullptr);
  r.SetHdbc(Dbc);
  r.SetSQL("SELECT id, length(t) FROM ad ORDER BY id");
  r.Execute();
  std::string rows;
  while (r.FetchNext()) rows += std::to_string(r.ColInteger(1)) + ":" + std::to_string(r.ColInteger(2)) + " ";
  EXPECT_EQ(rows, "1:3000 3:3000 9:5 101:3000 102:3000 103:3000 109:3000 ");
}
