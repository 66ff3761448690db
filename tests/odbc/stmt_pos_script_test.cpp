// Row operations that no driver here offers, through scripted entries of the function table:
// positioned UPDATE and DELETE by cursor name, a driver refresh of a cursor that sees other
// users' changes, long values sent at execution by SQLSetPos and SQLBulkOperations. And the
// published set property NoRowsAffected in form streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filer.h"
#include "oclcatalog.h"
#include "published.h"
#include "stmt_fixture.h"

namespace {

using Rows = StmtFixture::Rows;

// Adds capabilities to what the real driver reports.
struct InfoScript {
  static inline TODBCApi Real;
  static inline SQLUINTEGER ExtraForwardOnly = 0;
  static inline SQLUINTEGER KeysetAttributes = 0;
  static inline const char* NeedLongDataLen = nullptr;
  static inline bool ReportKeyset = false;
  static inline int Refreshes = 0;
  static inline SQLRETURN RefreshResult = SQL_SUCCESS;
  static inline int PutDatas = 0;

  static SQLRETURN SQL_API GetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER v, SQLSMALLINT len, SQLSMALLINT* out) {
    const SQLRETURN rc = Real.SQLGetInfo(h, type, v, len, out);
    if (type == SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1) *static_cast<SQLUINTEGER*>(v) |= ExtraForwardOnly;
    if (type == SQL_KEYSET_CURSOR_ATTRIBUTES1 && KeysetAttributes != 0) *static_cast<SQLUINTEGER*>(v) = KeysetAttributes;
    if (type == SQL_NEED_LONG_DATA_LEN && NeedLongDataLen != nullptr) {
      std::strcpy(static_cast<char*>(v), NeedLongDataLen);
      if (out != nullptr) *out = SQLSMALLINT(std::strlen(NeedLongDataLen));
    }
    return rc;
  }
  static SQLRETURN SQL_API GetStmtAttr(SQLHSTMT h, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l, SQLINTEGER* out) {
    const SQLRETURN rc = Real.SQLGetStmtAttr(h, a, v, l, out);
    if (a == SQL_ATTR_CURSOR_TYPE && ReportKeyset) *static_cast<SQLULEN*>(v) = SQL_CURSOR_KEYSET_DRIVEN;
    return rc;
  }
  static SQLRETURN SQL_API SetPos(SQLHSTMT h, SQLSETPOSIROW r, SQLUSMALLINT op, SQLUSMALLINT lock) {
    if (op != SQL_REFRESH) return Real.SQLSetPos(h, r, op, lock);
    ++Refreshes;
    return RefreshResult;
  }
  static SQLRETURN SQL_API PutData(SQLHSTMT h, SQLPOINTER d, SQLLEN n) {
    ++PutDatas;
    return Real.SQLPutData(h, d, n);
  }
  explicit InfoScript(TODBCApiOverride& Api) {
    Real = Api.Saved();
    ExtraForwardOnly = KeysetAttributes = 0;
    NeedLongDataLen = nullptr;
    ReportKeyset = false;
    Refreshes = PutDatas = 0;
    RefreshResult = SQL_SUCCESS;
    Api.Table().SQLGetInfo = GetInfo;
    Api.Table().SQLGetStmtAttr = GetStmtAttr;
    Api.Table().SQLSetPos = SetPos;
    Api.Table().SQLPutData = PutData;
  }
};

}  // namespace

TEST_F(OdbcStmt, PositionedStatementsByCursorName) {
  Exec("CREATE TABLE t (id integer PRIMARY KEY, name varchar(20))");
  Exec("INSERT INTO t VALUES (1, 'ena')");
  TODBCApiOverride api;
  InfoScript script(api);
  InfoScript::ExtraForwardOnly = SQL_CA1_POSITIONED_UPDATE | SQL_CA1_POSITIONED_DELETE;
  std::vector<std::string> texts;
  // The driver cannot run WHERE CURRENT OF: the handler records the text and puts a runnable
  // one in its place, with no marker for a key.
  Q->OnStatement = [&](TObject*, uint16_t Op, std::string& Sql) {
    texts.push_back(Sql);
    const size_t at = Sql.find("WHERE CURRENT OF ");
    if (at != std::string::npos) Sql = Sql.substr(0, at) + (Op == 1 ? "WHERE id = 1" : "WHERE id = 11");
  };
  Q->SetSQL("SELECT id, name FROM t");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  const std::string cursor = Q->CursorName();
  ASSERT_FALSE(cursor.empty());
  Q->SetColInteger(1, 11);
  Q->DoUpdate();
  Q->SetSkipByCursor(true);
  Q->SetColString(2, "x");
  Q->DoUpdate();
  EXPECT_EQ(Db("SELECT id, name FROM t"), (Rows{{"11", "x"}}));
  Q->SetSkipByCursor(false);
  Q->DoDelete();
  EXPECT_EQ(Db("SELECT count(*) FROM t"), (Rows{{"0"}}));
  EXPECT_EQ(texts, (std::vector<std::string>{"UPDATE main.t SET id = ?, name = ? WHERE CURRENT OF " + cursor,
                                             "UPDATE main.t SET id = ?, name = ? WHERE id = ? AND (SELECT count(*) FROM main.t WHERE id = ?) = 1",
                                             "DELETE FROM main.t WHERE CURRENT OF " + cursor}));
}

// SQLite's own refresh is never asked (it answers from a stale copy): PostgreSQL's carries the script.
TEST_F(ServerStmt, DriverRefreshOfACursorThatSeesOtherUsers) {
  Exec("CREATE TABLE t (id integer PRIMARY KEY, name varchar(20))");
  Exec("INSERT INTO t VALUES (1, 'ena')");
  TODBCApiOverride api;
  InfoScript script(api);
  InfoScript::ReportKeyset = true;
  InfoScript::KeysetAttributes = SQL_CA1_NEXT | SQL_CA1_POS_REFRESH;
  int generated = 0;
  Q->OnStatement = [&](TObject*, uint16_t, std::string&) { ++generated; };
  Q->SetCursorType(SQL_CURSOR_KEYSET_DRIVEN);
  Q->SetSQL("SELECT id, name FROM t");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  Q->DoRefresh();
  EXPECT_EQ(InfoScript::Refreshes, 1);
  EXPECT_EQ(generated, 0);
  EXPECT_EQ(Q->ColString(2), "ena");
  // The row is gone: an error only when asked for.
  InfoScript::RefreshResult = SQL_NO_DATA;
  Q->DoRefresh();
  Q->SetNoRowsAffected({nrByRefresh});
  EXPECT_THROW(Q->DoRefresh(), EODBC);
}

TEST_F(ServerStmt, LongValuesSentAtExecutionByTheDriver) {
  Exec("CREATE TABLE t (id integer PRIMARY KEY, memo text)");
  Exec("INSERT INTO t VALUES (1, 'm1')");
  TODBCApiOverride api;
  InfoScript script(api);
  InfoScript::NeedLongDataLen = "Y";
  Q->SetCursorType(SQL_CURSOR_STATIC);
  Q->SetConcurrencyType(SQL_CONCUR_VALUES);
  Q->SetBlobSize(2000);
  Q->SetSQL("SELECT id, memo FROM t");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  const std::string memo(5000, 'x');
  Q->SetColString(2, memo);
  Q->DoUpdate();
  EXPECT_EQ(InfoScript::PutDatas, 3);  // in BlobSize pieces
  EXPECT_EQ(Q->ColString(2), memo);    // the indicator is a length again
  Q->SetColInteger(1, 2);
  Q->SetColString(2, "");
  Q->DoInsert();
  EXPECT_EQ(Db("SELECT id, length(memo) FROM t ORDER BY id"), (Rows{{"1", "5000"}, {"2", "0"}}));
}

TEST(StmtProps, NoRowsAffectedIsPublished) {
  THstmt s(nullptr);
  EXPECT_EQ(GetStrProp(&s, "NoRowsAffected"), "[nrByUpdate]");
  SetPropValue(&s, "NoRowsAffected", std::string("[nrByInsert, NRBYREFRESH]"));
  EXPECT_EQ(s.NoRowsAffected(), (TNoRowsAffected{nrByInsert, nrByRefresh}));
  SetPropValue(&s, "NoRowsAffected", std::string("[]"));
  EXPECT_TRUE(s.NoRowsAffected().Empty());
  for (const char* bad : {"[nrByNothing]", "[nrByInsert,]", "[nrByInsert"})
    EXPECT_THROW(SetPropValue(&s, "NoRowsAffected", std::string(bad)), EPropertyError) << bad;
  EXPECT_TRUE(s.NoRowsAffected().Empty());
}

TEST(StmtProps, StreamsWithSetValuesLoad) {
  struct Case {
    std::vector<std::string> Members;
    TNoRowsAffected Want;
  } cases[] = {
      {{"nrByInsert", "nrByDelete"}, {nrByInsert, nrByDelete}},
      {{}, {}},
      {{"nrByRefresh"}, {nrByRefresh}},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    {
      TWriter w(&m);
      w.WritePropName("NoRowsAffected");
      w.WriteValue(vaSet);
      for (const std::string& e : c.Members) w.WriteStr(e);
      w.WriteStr("");
      w.WritePropName("BlobSize");
      w.WriteInteger(4096);
      w.WriteListEnd();
    }
    m.SetPosition(0);
    THstmt s(nullptr);
    TReader r(&m);
    s.ReadState(&r);
    EXPECT_EQ(s.NoRowsAffected(), c.Want);
    EXPECT_EQ(s.BlobSize(), 4096);
  }
  // What the writer makes of a set reads back.
  THstmt a(nullptr);
  a.SetNoRowsAffected({nrByDelete, nrByUpdate});
  TMemoryStream m;
  {
    TWriter w(&m);
    w.WriteProperties(&a);
  }
  m.SetPosition(0);
  THstmt b(nullptr);
  TReader r(&m);
  b.ReadState(&r);
  EXPECT_EQ(b.NoRowsAffected(), (TNoRowsAffected{nrByUpdate, nrByDelete}));
  // A member the type does not have is a read error.
  TMemoryStream bad;
  {
    TWriter w(&bad);
    w.WritePropName("NoRowsAffected");
    w.WriteValue(vaSet);
    w.WriteStr("nrByEverything");
    w.WriteStr("");
    w.WriteListEnd();
  }
  bad.SetPosition(0);
  TReader rb(&bad);
  EXPECT_THROW(b.ReadState(&rb), EReadError);

  // The catalog's table types load the same way.
  TMemoryStream cs;
  {
    TWriter w(&cs);
    w.WritePropName("TableType");
    w.WriteValue(vaSet);
    w.WriteStr("ttSystem");
    w.WriteStr("");
    w.WritePropName("ProcedureName");
    w.WriteString("p%");
    w.WriteListEnd();
  }
  cs.SetPosition(0);
  TODCatalog cat(nullptr);
  TReader rc(&cs);
  rc.ReadProperties(&cat);
  EXPECT_EQ(cat.TableType(), TTableTypeSet{ttSystem});
  EXPECT_EQ(cat.ProcedureName(), "p%");
}
