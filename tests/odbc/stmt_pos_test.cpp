// Positioned row operations against SQLite and PostgreSQL: generated statements, the drivers'
// own row operations, table and key detection. A connection of its own checks what reached the
// database.
#include <cstring>
#include <string>
#include <vector>

#include "odbcapi.h"
#include "stmt_fixture.h"
#include "write_hook.h"

namespace {

using Rows = StmtFixture::Rows;

void MakeT(StmtFixture& F) {
  F.Exec("CREATE TABLE t (id integer PRIMARY KEY, name varchar(20), memo " + F.LongText() + ", n integer DEFAULT 7)");
  F.Exec("INSERT INTO t VALUES (1, 'ena', 'm1', 1)");
  F.Exec("INSERT INTO t VALUES (2, 'dva', 'm2', 2)");
  F.Exec("INSERT INTO t VALUES (3, 'tri', 'm3', 3)");
}

// The guard that makes a generated update or delete change its row only while the key names
// that row alone.
std::string OneRow(const std::string& Table, const std::string& Key) {
  return " AND (SELECT count(*) FROM " + Table + " WHERE " + Key + ") = 1";
}

// The texts of the generated statements, as OnStatement sees them.
struct StatementLog {
  std::vector<std::string> Texts;
  void Attach(THstmt* Q) {
    Q->OnStatement = [this](TObject*, uint16_t Op, std::string& Sql) {
      Texts.push_back(std::to_string(Op) + " " + Sql);
    };
  }
};

// Counts the driver's own row operations and passes them on.
struct RowOpSpy {
  static inline int Updates = 0, Deletes = 0, Refreshes = 0, Adds = 0;
  static inline TODBCApi Real;
  static SQLRETURN SQL_API SetPos(SQLHSTMT h, SQLSETPOSIROW r, SQLUSMALLINT op, SQLUSMALLINT lock) {
    if (op == SQL_UPDATE) ++Updates;
    if (op == SQL_DELETE) ++Deletes;
    if (op == SQL_REFRESH) ++Refreshes;
    return Real.SQLSetPos(h, r, op, lock);
  }
  static SQLRETURN SQL_API Bulk(SQLHSTMT h, SQLSMALLINT op) {
    if (op == SQL_ADD) ++Adds;
    return Real.SQLBulkOperations(h, op);
  }
  explicit RowOpSpy(TODBCApiOverride& Api) {
    Updates = Deletes = Refreshes = Adds = 0;
    Real = Api.Saved();
    Api.Table().SQLSetPos = SetPos;
    Api.Table().SQLBulkOperations = Bulk;
  }
};

void ExpectNoDataFound(const std::function<void()>& Op) {
  try {
    Op();
    ADD_FAILURE() << "no exception";
  } catch (const EODBC& e) {
    EXPECT_EQ(e.RetCode(), SQL_NO_DATA);
    EXPECT_EQ(e.Message(), "No Data Found");
  }
}

void ExpectLibraryError(const std::function<void()>& Op, const std::string& Message) {
  try {
    Op();
    ADD_FAILURE() << "no exception, expected " << Message;
  } catch (const EODBC& e) {
    ADD_FAILURE() << "EODBC " << e.Message();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), Message);
  }
}

}  // namespace

// ---- generated statements (a forward-only, read-only cursor has no row operations)

STMT_BOTH(GeneratedStatementsChangeTheRowThatWasRead) {
  MakeT(F);
  THstmt* q = F.Q;
  StatementLog log;
  log.Attach(q);
  TODBCApiOverride api;
  RowOpSpy spy(api);
  q->SetSQL("SELECT id, name, memo, n FROM t ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());

  // A new key: the row that had the old one changes, and only that row.
  q->SetColInteger(1, 11);
  q->SetColString(2, "enajst");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, name, memo, n FROM t ORDER BY id"),
            (Rows{{"2", "dva", "m2", "2"}, {"3", "tri", "m3", "3"}, {"11", "enajst", "m1", "1"}}));
  // The next change of the same row finds it under its new key.
  q->SetColString(2, "spet");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 11"), (Rows{{"spet"}}));

  // Refresh shows what another connection wrote; an unsaved edit is replaced.
  F.DbExec("UPDATE t SET name = 'drugo', memo = 'nov memo', n = NULL WHERE id = 11");
  q->SetColString(2, "ne shrani");
  q->DoRefresh();
  EXPECT_EQ(q->ColInteger(1), 11);
  EXPECT_EQ(q->ColString(2), "drugo");
  EXPECT_EQ(q->ColString(3), "nov memo");
  EXPECT_TRUE(q->ColNull(4));

  q->DoDelete();
  EXPECT_EQ(F.Db("SELECT id FROM t ORDER BY id"), (Rows{{"2"}, {"3"}}));

  // A column left out of an insert gets its default.
  q->SetColInteger(1, 20);
  q->SetColString(2, "nov");
  q->SetColString(3, "dolg memo");
  q->SetColIgnore(4, true);
  q->DoInsert();
  EXPECT_EQ(F.Db("SELECT id, name, memo, n FROM t WHERE id = 20"), (Rows{{"20", "nov", "dolg memo", "7"}}));

  const std::string t = F.Qualified("t");
  EXPECT_EQ(log.Texts, (std::vector<std::string>{
                           "1 UPDATE " + t + " SET id = ?, name = ?, memo = ?, n = ? WHERE id = ?" + OneRow(t, "id = ?"),
                           "4 SELECT id, name, memo, n FROM " + t + " WHERE id = ?",
                           "2 DELETE FROM " + t + " WHERE id = ?" + OneRow(t, "id = ?"),
                           "8 INSERT INTO " + t + " (id, name, memo) VALUES (?, ?, ?)",
                       }));
  EXPECT_EQ(spy.Updates + spy.Deletes + spy.Refreshes + spy.Adds, 0);
}

STMT_BOTH(KeyOfAnotherRowWrittenIntoTheBuffers) {
  // A data set writes a record of its own into row 1: its old values first, then the new ones.
  MakeT(F);
  THstmt* q = F.Q;
  q->SetSQL("SELECT id, name FROM t ORDER BY id");
  q->Execute();
  while (q->FetchNext() && q->ColInteger(1) != 3) {
  }
  q->SetColInteger(1, 1);
  q->SetColString(2, "ena");
  q->KeepKeyValues();
  q->SetColInteger(1, 21);
  q->SetColString(2, "enaindvajset");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"), (Rows{{"2", "dva"}, {"3", "tri"}, {"21", "enaindvajset"}}));
}

STMT_BOTH(GeneratedStatementsReportRowsNotFound) {
  MakeT(F);
  THstmt* q = F.Q;
  q->SetSQL("SELECT id, name FROM t ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  F.DbExec("DELETE FROM t WHERE id = 1");
  q->SetColString(2, "x");
  ExpectNoDataFound([&] { q->DoUpdate(); });
  // By default only an update that finds nothing is an error.
  q->DoDelete();
  q->DoRefresh();
  EXPECT_EQ(q->ColString(2), "x");
  q->SetNoRowsAffected({nrByDelete, nrByRefresh});
  ExpectNoDataFound([&] { q->DoDelete(); });
  ExpectNoDataFound([&] { q->DoRefresh(); });
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"), (Rows{{"2", "dva"}, {"3", "tri"}}));
}

STMT_BOTH(TwoColumnKeyAndQuotedNames) {
  F.Exec("CREATE TABLE k2 (a integer, b integer, v varchar(10), PRIMARY KEY (a, b))");
  F.Exec("INSERT INTO k2 VALUES (1, 1, 'x')");
  F.Exec("INSERT INTO k2 VALUES (1, 2, 'y')");
  THstmt* q = F.Q;
  q->SetSQL("SELECT a, b, v FROM k2 ORDER BY a, b");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->PrimaryWhere(), "a = ? AND b = ?");
  EXPECT_EQ(q->PrimaryColNames(), "a;b;");
  q->SetColInteger(2, 5);
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT a, b, v FROM k2 ORDER BY a, b"), (Rows{{"1", "2", "y"}, {"1", "5", "x"}}));

  F.Exec("CREATE TABLE \"my table\" (\"my id\" integer PRIMARY KEY, \"the name\" varchar(10))");
  F.Exec("INSERT INTO \"my table\" VALUES (1, 'a')");
  StatementLog log;
  log.Attach(q);
  q->SetSQL("SELECT \"my id\", \"the name\" FROM \"my table\"");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(2, "b");
  q->DoUpdate();
  EXPECT_EQ(log.Texts, (std::vector<std::string>{
                           "1 UPDATE " + F.Qualified("\"my table\"") + " SET \"my id\" = ?, \"the name\" = ? WHERE \"my id\" = ?" +
                           OneRow(F.Qualified("\"my table\""), "\"my id\" = ?")}));
  EXPECT_EQ(F.Db("SELECT \"the name\" FROM \"my table\""), (Rows{{"b"}}));
}

STMT_BOTH(ExpressionColumnsAreNeverWritten) {
  MakeT(F);
  THstmt* q = F.Q;
  StatementLog log;
  log.Attach(q);
  q->SetSQL("SELECT id, n + 1 AS e, name FROM t WHERE id = 2");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  const SQLLEN eLength = q->ColSize(2);
  q->SetColString(3, "dve");
  q->DoUpdate();
  q->DoRefresh();
  // The expression keeps its indicator and value.
  EXPECT_EQ(q->ColSize(2), eLength);
  EXPECT_EQ(q->ColInteger(2), 3);
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 2"), (Rows{{"dve"}}));
  EXPECT_EQ(log.Texts, (std::vector<std::string>{
                           "1 UPDATE " + F.Qualified("t") + " SET id = ?, name = ? WHERE id = ?" + OneRow(F.Qualified("t"), "id = ?"),
                           "4 SELECT id, name FROM " + F.Qualified("t") + " WHERE id = ?",
                       }));
}

STMT_BOTH(StatementRewritesLastUntilUnprepared) {
  MakeT(F);
  F.Exec("CREATE TABLE t2 (id integer PRIMARY KEY, name varchar(20), memo " + F.LongText() + ", n integer)");
  THstmt* q = F.Q;
  int calls = 0;
  q->OnStatement = [&](TObject* Sender, uint16_t Op, std::string& Sql) {
    EXPECT_EQ(Sender, q);
    EXPECT_EQ(Op, 8);
    if (++calls == 1) Sql.replace(Sql.find(".t "), 3, ".t2 ");
  };
  q->SetSQL("SELECT id, name, memo, n FROM t WHERE id = 1");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  for (int id : {50, 51}) {
    q->SetColInteger(1, id);
    q->DoInsert();
  }
  q->SetSkipByCursor(false);  // unprepares
  q->SetColInteger(1, 52);
  q->DoInsert();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(F.Db("SELECT id, memo FROM t2 ORDER BY id"), (Rows{{"50", "m1"}, {"51", "m1"}}));
  EXPECT_EQ(F.Db("SELECT id, memo FROM t WHERE id > 3"), (Rows{{"52", "m1"}}));
}

STMT_BOTH(ConfirmationsAndTheirQuestions) {
  MakeT(F);
  THstmt* q = F.Q;
  std::vector<std::string> asked;
  const auto refuse = [&](TObject* Sender, const std::string& Msg) {
    EXPECT_EQ(Sender, q);
    asked.push_back(Msg);
    return false;
  };
  q->OnInsert = q->OnUpdate = q->OnDelete = q->OnRefresh = refuse;
  q->SetSQL("SELECT id, name FROM t WHERE id = 1");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(2, "ne");
  q->DoUpdate();
  q->DoInsert();
  q->DoDelete();
  F.DbExec("UPDATE t SET name = 'drugo' WHERE id = 1");
  q->DoRefresh();
  EXPECT_EQ(asked, (std::vector<std::string>{"Update row(s)?", "Insert row(s)?", "Delete row(s)?", "Refresh row(s)?"}));
  EXPECT_EQ(q->ColString(2), "ne");
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"), (Rows{{"1", "drugo"}, {"2", "dva"}, {"3", "tri"}}));
}

STMT_BOTH(RowsAndKeysThatCannotBeChanged) {
  MakeT(F);
  F.Exec("CREATE TABLE nokey (a integer, b varchar(10))");
  F.Exec("INSERT INTO nokey VALUES (NULL, 'x')");
  THstmt* q = F.Q;
  // A key column that is NULL would find no row.
  q->SetSQL("SELECT a, b FROM nokey");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->PrimaryColNames(), "");
  ExpectLibraryError([&] { q->DoUpdate(); }, "Unable to determine primary columns:  set PrimaryCols property.");
  q->SetColPrimary(1, true);
  q->SetColString(2, "y");
  ExpectLibraryError([&] { q->DoUpdate(); }, "key column a is NULL");
  EXPECT_EQ(F.Db("SELECT b FROM nokey"), (Rows{{"x"}}));
  // Nothing to set is nothing to do; nothing to insert is an error.
  q->SetColIgnore(1, true);
  q->SetColIgnore(2, true);
  q->DoUpdate();
  ExpectLibraryError([&] { q->DoInsert(); }, "No column of the row can be inserted.");

  // A flag on another row than row 1 of a row set raises before anything is done.
  q->Close();
  q->SetRowSetSize(3);
  q->SetSQL("SELECT id, name FROM t ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(2, "nova");
  q->SetRowOperation(2, roUpdate);
  ExpectLibraryError([&] { q->DoUpdate(); }, "Row operations change row 1 of the row set only.");
  ExpectLibraryError([&] { q->UpdateRow(2); }, "Row operations change row 1 of the row set only.");
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 1"), (Rows{{"ena"}}));
  // Unflagged, row 1 is left alone; flagged, it is written.
  q->SetRowOperation(2, 0);
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 1"), (Rows{{"ena"}}));
  EXPECT_EQ(q->RowFlags(0), nullptr);
  EXPECT_EQ(q->RowFlags(4), nullptr);
  *q->RowFlags(1) = roUpdate;
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 1"), (Rows{{"nova"}}));
}

STMT_BOTH(RawBytesReachTheDatabaseExactly) {
  F.Exec("CREATE TABLE bin (id integer PRIMARY KEY, data " + F.Binary() + ")");
  F.Exec("INSERT INTO bin (id) VALUES (1)");
  THstmt* q = F.Q;
  q->SetSQL("SELECT id, data FROM bin");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  const char bytes[] = {'a', 0, 'b', ' ', ' ', 0};
  q->SetColBytes(2, bytes, sizeof bytes);
  q->DoUpdate();
  q->SetColBytes(2, "", 0);  // an empty value is not NULL
  q->SetColInteger(1, 2);
  q->DoInsert();
  THstmt check(nullptr);
  check.SetHdbc(F.Dbc);
  check.SetSQL("SELECT id, data FROM bin ORDER BY id");
  check.Execute();
  ASSERT_TRUE(check.FetchNext());
  // SQLite's blob is a binary column of 255 bytes, PostgreSQL's bytea a long one.
  ASSERT_EQ(check.ColSize(2), SQLLEN(sizeof bytes));
  EXPECT_EQ(std::memcmp(check.ColValue(2), bytes, sizeof bytes), 0);
  ASSERT_TRUE(check.FetchNext());
  EXPECT_FALSE(check.ColNull(2));
  EXPECT_EQ(check.ColSize(2), 0);
  // A value that does not fit its element is refused, the cell unchanged.
  q->Close();
  q->SetSQL("SELECT id FROM bin WHERE id = 1");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_THROW(q->SetColBytes(1, bytes, 2), EODBCLibrary);
  EXPECT_EQ(q->ColInteger(1), 1);
}

// In a row set of several rows each row's long value is its own: reading another row's leaves
// the value written for row 1, which the update writes; the next row set reads its own again.
STMT_BOTH(ALongValueWrittenForRowOneStaysItsOwnInARowSet) {
  F.Exec("CREATE TABLE rl (id integer PRIMARY KEY, t " + F.LongText() + ")");
  for (const char* r : {"1, 'ena'", "2, 'dva'", "3, 'tri'", "4, 'stiri'"})
    F.Exec(std::string("INSERT INTO rl VALUES (") + r + ")");
  THstmt* q = F.Q;
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetRowSetSize(3);
  q->SetSQL("SELECT id, t FROM rl ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(2, 1, "nova");
  if (F.Pg) {
    EXPECT_EQ(q->ColString(2, 2), "dva");
    EXPECT_EQ(q->ColString(2, 3), "tri");
  } else {
    // SQLite's driver cannot position on a row of the set to read it.
    EXPECT_THROW(q->ColString(2, 2), EODBCLibrary);
  }
  EXPECT_EQ(q->ColString(2, 1), "nova");
  EXPECT_EQ(q->ColSizeRow(2, 1), 4);
  q->SetRowOperation(1, roUpdate);
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, t FROM rl ORDER BY id"), (Rows{{"1", "nova"}, {"2", "dva"}, {"3", "tri"}, {"4", "stiri"}}));
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColSizeRow(2, 1), SQL_NULL_DATA);  // not read yet
  if (F.Pg) {
    EXPECT_EQ(q->ColString(2, 1), "stiri");
  }
}

TEST_F(OdbcStmt, RefreshRefusesAValueLongerThanItsBuffer) {
  // SQLite keeps what it is given, whatever the declared size.
  Exec("CREATE TABLE s (id integer PRIMARY KEY, code varchar(2), note varchar(10))");
  Exec("INSERT INTO s VALUES (1, 'ab', 'x')");
  Q->SetSQL("SELECT id, note, code FROM s");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  Exec("UPDATE s SET note = 'y', code = 'abcdefghijklmnop' WHERE id = 1");
  ExpectLibraryError([&] { Q->DoRefresh(); }, "Value of column code is longer than its buffer.");
  EXPECT_EQ(Q->ColString(2), "x");
  EXPECT_EQ(Q->ColString(3), "ab");
}

// ---- the drivers' own row operations (a static cursor that can change its rows)

namespace {

// Table s of two rows, read through a static cursor that can change its rows; row 1 fetched.
void OpenUpdatable(StmtFixture& F) {
  F.Exec("CREATE TABLE s (id integer PRIMARY KEY, name varchar(20))");
  F.Exec("INSERT INTO s VALUES (1, 'ena')");
  F.Exec("INSERT INTO s VALUES (2, 'dva')");
  F.Q->SetCursorType(SQL_CURSOR_STATIC);
  F.Q->SetConcurrencyType(SQL_CONCUR_VALUES);
  F.Q->SetSQL("SELECT id, name FROM s ORDER BY id");
  F.Q->Execute();
  ASSERT_TRUE(F.Q->FetchNext());
}

}  // namespace

// PostgreSQL's driver changes the rows of an updatable cursor itself; SQLite's is never asked
// (it keeps the old key after a key edit, finds its row by the result's values and answers
// success for a row that is gone): the generated statements serve it.
STMT_BOTH(DriverRowOperations) {
  MakeT(F);
  TODBCApiOverride api;
  RowOpSpy spy(api);
  OpenUpdatable(F);
  THstmt* q = F.Q;
  const int own = F.Pg ? 1 : 0;
  q->SetColInteger(1, 11);
  q->DoUpdate();
  EXPECT_EQ(spy.Updates, own);
  ASSERT_TRUE(q->FetchNext());
  q->DoDelete();
  EXPECT_EQ(spy.Deletes, own);
  EXPECT_EQ(F.Db("SELECT id, name FROM s ORDER BY id"), (Rows{{"11", "ena"}}));
  q->SetColInteger(1, 3);
  q->SetColString(2, "tri");
  q->DoInsert();
  EXPECT_EQ(spy.Adds, own);
  EXPECT_EQ(F.Db("SELECT id, name FROM s ORDER BY id"), (Rows{{"3", "tri"}, {"11", "ena"}}));

  // A long value: the generated insert adds the row (PostgreSQL's driver could not read a row
  // it added back).
  q->Close();
  q->SetSQL("SELECT id, name, memo, n FROM t ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColInteger(1, 9);
  q->SetColString(3, std::string(40000, 'm'));
  q->DoInsert();
  EXPECT_EQ(spy.Adds, own);
  EXPECT_EQ(F.Db("SELECT name, memo, n FROM t WHERE id = 9"), (Rows{{"ena", std::string(40000, 'm'), "1"}}));
  // The buffers hold the added row now, the cursor still the fetched one: the update goes by
  // the key.
  q->SetColString(2, "devet");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, name FROM t WHERE id IN (1, 9) ORDER BY id"), (Rows{{"1", "ena"}, {"9", "devet"}}));
  // An emptied long value is written empty (PostgreSQL's driver would leave out a column
  // bound without a buffer).
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(3), "m2");
  q->SetColString(3, "");
  const int updates = spy.Updates;
  q->DoUpdate();
  EXPECT_EQ(spy.Updates, F.Pg ? updates + 1 : updates);
  EXPECT_EQ(F.Db("SELECT memo FROM t WHERE id = 2"), (Rows{{""}}));

  // A refresh of a static cursor is never asked of the driver.
  F.DbExec("UPDATE t SET name = 'drugo' WHERE id = 2");
  q->DoRefresh();
  EXPECT_EQ(q->ColString(2), "drugo");
  EXPECT_EQ(spy.Refreshes, 0);
  // SkipByPosition: the generated statements only.
  q->SetSkipByPosition(true);
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(2, "tri!");
  const int before = spy.Updates;
  q->DoUpdate();
  EXPECT_EQ(spy.Updates, before);
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 3"), (Rows{{"tri!"}}));
}

// A key edited on an updatable cursor is the key of the next update and of the delete (SQLite's
// own update kept the old one: the next update failed and the delete deleted nothing).
STMT_BOTH(AKeyEditIsTheNextWritesKey) {
  OpenUpdatable(F);
  THstmt* q = F.Q;
  q->SetColInteger(1, 11);
  q->DoUpdate();
  q->SetColString(2, "enajst");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT id, name FROM s ORDER BY id"), (Rows{{"2", "dva"}, {"11", "enajst"}}));
  q->SetNoRowsAffected({nrByUpdate, nrByDelete});
  q->DoDelete();
  EXPECT_EQ(F.Db("SELECT id, name FROM s ORDER BY id"), (Rows{{"2", "dva"}}));
}

// An update or delete whose key matches several rows changes nothing, in autocommit mode and in
// the caller's own transaction alike: the statement changes its row only while the key names
// that row alone. (No transaction of the library's own could serve PostgreSQL: its driver closes
// the connection's cursors when one ends, and the server cursor of a forward-only result is
// gone, "Function sequence error" at the next fetch.)
STMT_BOTH(AKeyOfSeveralRowsChangesNothing) {
  F.Exec("CREATE TABLE m (id integer, name varchar(10))");
  for (const char* v : {"1, 'a'", "1, 'b'", "2, 'c'", "3, 'd'", "4, 'e'"}) F.Exec(std::string("INSERT INTO m VALUES (") + v + ")");
  const Rows all = F.Db("SELECT id, name FROM m ORDER BY name");
  THstmt* q = F.Q;
  // Reads the first row, whose key (id 1) names two rows, and tries to change it both ways.
  const auto refused = [&](SQLULEN Cursor) {
    q->Close();
    q->SetCursorType(Cursor);
    q->SetSQL("SELECT id, name FROM m ORDER BY name");
    q->Execute();
    ASSERT_TRUE(q->FetchNext());
    q->SetColPrimary(1, true);
    q->SetColString(2, "x");
    ExpectLibraryError([&] { q->DoUpdate(); }, "The key of the row matched 2 rows of table " + F.Qualified("m") + "; nothing was changed.");
    ExpectLibraryError([&] { q->DoDelete(); }, "The key of the row matched 2 rows of table " + F.Qualified("m") + "; nothing was changed.");
    EXPECT_EQ(F.Db("SELECT id, name FROM m ORDER BY name"), all);
  };
  for (SQLULEN cursor : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(cursor);
    refused(cursor);
    // One row: written and committed; the cursor reads on.
    ASSERT_TRUE(q->FetchNext());
    ASSERT_TRUE(q->FetchNext());
    EXPECT_EQ(q->ColString(2), "c");
    q->SetColString(2, "c!");
    q->DoUpdate();
    EXPECT_EQ(F.Db("SELECT name FROM m WHERE id = 2"), (Rows{{"c!"}}));
    ASSERT_TRUE(q->FetchNext());
    EXPECT_EQ(q->ColString(2), "d");
    ASSERT_TRUE(q->FetchNext());
    EXPECT_EQ(q->ColString(2), "e");
    F.Exec("UPDATE m SET name = 'c' WHERE id = 2");
  }
  // In the caller's own transaction the same: refused, nothing changed.
  q->Close();
  SQLHDBC dbc = F.Dbc->Handle();
  ASSERT_TRUE(SQL_SUCCEEDED(ODBCApi().SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
  refused(SQL_CURSOR_FORWARD_ONLY);
  q->Close();
  ODBCApi().SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  ODBCApi().SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  EXPECT_EQ(F.Db("SELECT id, name FROM m ORDER BY name"), all);
}

// Another user adds a row of the record's key just before the update or delete runs (after
// anything the library may have read before it): the write changes neither row and says so.
STMT_BOTH(ARowOfTheKeyAddedMeanwhileIsNeverChanged) {
  F.Exec("CREATE TABLE m (id integer, name varchar(10))");
  for (bool update : {true, false}) {
    SCOPED_TRACE(update ? "update" : "delete");
    F.Exec("DELETE FROM m");
    F.Exec("INSERT INTO m VALUES (1, 'a')");
    F.Exec("INSERT INTO m VALUES (2, 'b')");
    TODBCApiOverride api;
    WriteHook hook(api);
    THstmt* q = F.Q;
    q->Close();
    q->SetSQL("SELECT id, name FROM m ORDER BY id");
    q->Execute();
    ASSERT_TRUE(q->FetchNext());
    q->SetColPrimary(1, true);
    q->SetColString(2, "x");
    WriteHook::Before = [&] { F.DbExec("INSERT INTO m VALUES (1, 'z')"); };
    ExpectLibraryError([&] { update ? q->DoUpdate() : q->DoDelete(); },
                       "The key of the row matched 2 rows of table " + F.Qualified("m") + "; nothing was changed.");
    EXPECT_EQ(WriteHook::Before, nullptr);
    q->Close();
    EXPECT_EQ(F.Db("SELECT id, name FROM m ORDER BY id, name"), (Rows{{"1", "a"}, {"1", "z"}, {"2", "b"}}));
  }
}

// A text that OnStatement rewrote without the guard and that changed two rows: the write raises
// and says the change is kept, never reports it done.
STMT_BOTH(ARewrittenTextThatChangedSeveralRowsRaises) {
  F.Exec("CREATE TABLE m (id integer, name varchar(10))");
  F.Exec("INSERT INTO m VALUES (1, 'a')");
  F.Exec("INSERT INTO m VALUES (1, 'b')");
  THstmt* q = F.Q;
  q->OnStatement = [](TObject*, uint16_t, std::string& Sql) { Sql = Sql.substr(0, Sql.find(" AND (SELECT count(*)")); };
  q->SetSQL("SELECT id, name FROM m ORDER BY name");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColPrimary(1, true);
  q->SetColString(2, "x");
  ExpectLibraryError([&] { q->DoUpdate(); }, "The key of the row matched 2 rows of table " + F.Qualified("m") + "; the change is kept.");
  q->Close();
  EXPECT_EQ(F.Db("SELECT id, name FROM m"), (Rows{{"1", "x"}, {"1", "x"}}));
}

// SQLite's driver writes a timestamp through its own update and bulk add cut to the minute; such
// a row goes through the generated statements, which keep the milliseconds.
STMT_BOTH(TimestampsKeepTheirSecondsThroughRowOperations) {
  F.Exec("CREATE TABLE ts (id integer PRIMARY KEY, name varchar(20), at timestamp)");
  F.Exec("INSERT INTO ts VALUES (1, 'ena', '2024-01-02 03:04:05.250')");
  F.Q->SetCursorType(SQL_CURSOR_STATIC);
  F.Q->SetConcurrencyType(SQL_CONCUR_VALUES);
  F.Q->SetSQL("SELECT id, name, at FROM ts");
  F.Q->Execute();
  ASSERT_TRUE(F.Q->FetchNext());
  F.Q->SetColString(2, "ena!");
  F.Q->DoUpdate();
  F.Q->SetColInteger(1, 2);
  F.Q->DoInsert();
  const std::string at = F.Pg ? "2024-01-02 03:04:05.25" : "2024-01-02 03:04:05.250";
  EXPECT_EQ(F.Db("SELECT id, name, at FROM ts ORDER BY id"), (Rows{{"1", "ena!", at}, {"2", "ena!", at}}));
}

STMT_BOTH(DriverRowOperationsOnARowThatIsGone) {
  TODBCApiOverride api;
  RowOpSpy spy(api);
  OpenUpdatable(F);
  THstmt* q = F.Q;
  F.DbExec("DELETE FROM s WHERE id = 1");
  q->SetColString(2, "x");
  // PostgreSQL's driver says the row changed; SQLite's generated update finds no row.
  try {
    q->DoUpdate();
    ADD_FAILURE() << "no exception";
  } catch (const EODBC& e) {
    EXPECT_EQ(e.RetCode(), F.Pg ? SQL_SUCCESS_WITH_INFO : SQL_NO_DATA);
    EXPECT_EQ(e.SqlState(), F.Pg ? "01001" : "");
  }
  EXPECT_EQ(spy.Updates, F.Pg ? 1 : 0);
  EXPECT_EQ(F.Db("SELECT id, name FROM s"), (Rows{{"2", "dva"}}));
}

TEST_F(ServerStmt, DriverUpdateOfARowChangedByAnotherUserChangesNothing) {
  Exec("CREATE TABLE s (id integer PRIMARY KEY, name varchar(20), memo text)");
  Exec("INSERT INTO s VALUES (1, 'ena', 'm')");
  Q->SetCursorType(SQL_CURSOR_STATIC);
  Q->SetConcurrencyType(SQL_CONCUR_VALUES);
  Q->SetSQL("SELECT id, name, memo FROM s");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  DbExec("UPDATE s SET name = 'drugi' WHERE id = 1");
  Q->SetColString(2, "moj");
  Q->SetColString(3, "moj memo");
  try {
    Q->DoUpdate();
    ADD_FAILURE() << "no exception";
  } catch (const EODBC& e) {
    EXPECT_EQ(e.SqlState(), "01001");
  }
  EXPECT_EQ(Db("SELECT id, name, memo FROM s"), (Rows{{"1", "drugi", "m"}}));
  // After a refresh the buffers are newer than the cursor's copy: the change goes by key.
  Q->DoRefresh();
  EXPECT_EQ(Q->ColString(2), "drugi");
  Q->SetColString(3, "moj memo");
  Q->DoUpdate();
  EXPECT_EQ(Db("SELECT id, name, memo FROM s"), (Rows{{"1", "drugi", "moj memo"}}));
  // Fetched again, the cursor's old copy is in the buffers: writing it back would undo the
  // change, and the driver refuses.
  ASSERT_TRUE(Q->FetchFirst());
  EXPECT_EQ(Q->ColString(3), "m");
  Q->SetColString(2, "moj");
  EXPECT_THROW(Q->DoUpdate(), EODBC);
  EXPECT_EQ(Db("SELECT id, name, memo FROM s"), (Rows{{"1", "drugi", "moj memo"}}));
}

TEST_F(ServerStmt, ReadOnlyCursorNeverAsksTheDriver) {
  // PostgreSQL's driver crashes on SQLBulkOperations over a read-only cursor.
  Exec("CREATE TABLE s (id integer PRIMARY KEY, name varchar(20))");
  Exec("INSERT INTO s VALUES (1, 'ena')");
  TODBCApiOverride api;
  RowOpSpy spy(api);
  Q->SetCursorType(SQL_CURSOR_STATIC);
  Q->SetSQL("SELECT id, name FROM s");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  Q->SetColInteger(1, 2);
  Q->DoInsert();
  Q->DoUpdate();
  EXPECT_EQ(spy.Adds + spy.Updates, 0);
  EXPECT_EQ(Db("SELECT id, name FROM s ORDER BY id"), (Rows{{"1", "ena"}, {"2", "ena"}}));
}

// ---- table and key detection

STMT_BOTH(TableFromTheStatementText) {
  MakeT(F);
  F.Exec("CREATE TABLE u (id integer PRIMARY KEY, t_id integer)");
  THstmt* q = F.Q;
  // Column 1 names no table: the FROM clause does, also across line breaks.
  for (const char* sql : {"SELECT x.n * 2 AS d, x.id, x.name FROM t x WHERE x.id > 1 ORDER BY x.id",
                          "SELECT x.n * 2 AS d, x.id, x.name\nFROM t x\nWHERE x.id > 1 ORDER BY x.id",
                          "SELECT x.n * 2 AS d, x.id, x.name FROM \"t\" x WHERE x.id > 1 ORDER BY x.id"}) {
    q->SetSQL(sql);
    q->Execute();
    ASSERT_TRUE(q->FetchNext());
    EXPECT_EQ(q->TargetTableName(), F.Qualified("t")) << sql;
    EXPECT_EQ(q->PrimaryColNames(), "id;") << sql;
  }
  q->SetColString(3, "dva!");
  q->DoUpdate();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 2"), (Rows{{"dva!"}}));

  // Where no column names a table the outer FROM clause must hold one table: a parenthesis or
  // a quoted text is not read.
  struct Case {
    const char* Sql;
    const char* Table;  // nullptr: refused
  };
  const char* const several = "Unable to determine table name:  FROM clause holds more than one table; set TargetTable property.";
  for (const Case& c : {Case{"SELECT 1 + 1 AS a, 'x FROM u' AS b FROM t", "t"},
                        Case{"SELECT (SELECT count(*) FROM u) AS a FROM t WHERE id = 1", "t"},
                        Case{"SELECT 2 * n AS a FROM t JOIN u ON u.t_id = t.id", nullptr},
                        Case{"SELECT 2 * n AS a FROM t, u", nullptr},
                        Case{"SELECT 2 * n AS a FROM (SELECT n FROM t) x", ""}}) {
    q->SetSQL(c.Sql);
    q->Execute();
    if (c.Table == nullptr)
      ExpectLibraryError([&] { q->TargetTableName(); }, several);
    else if (*c.Table == 0)
      ExpectLibraryError([&] { q->TargetTableName(); }, "Unable to determine table name:  set TargetTable property.");
    else
      EXPECT_EQ(q->TargetTableName(), c.Table) << c.Sql;
  }
  q->SetSQL("SELECT 1 + 1");
  q->Execute();
  ExpectLibraryError([&] { q->TargetTableName(); }, "Unable to determine table name:  set TargetTable property.");
  // A table set by the caller wins.
  q->SetTargetTable(" u ");
  EXPECT_EQ(q->TargetTableName(), "u");
}

STMT_BOTH(KeyDetection) {
  MakeT(F);
  THstmt* q = F.Q;
  // The key is not in the result: an error, and no column is left marked.
  q->SetSQL("SELECT name, n FROM t");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  ExpectLibraryError([&] { q->PrimaryColNames(); }, "Identifier id not found in result set.");
  EXPECT_FALSE(q->ColPrimary(1));
  EXPECT_FALSE(q->ColPrimary(2));
  // Columns the caller marks are the key; detection leaves them.
  q->SetColPrimary(2, true);
  EXPECT_EQ(q->PrimaryWhere(), "n = ?");
  // Close forgets the marks: the next result's key is detected again.
  q->SetSQL("SELECT n, id FROM t");
  q->Execute();
  EXPECT_EQ(q->PrimaryColNames(), "id;");
}

TEST_F(OdbcStmt, KeyDetectionSkipsPseudoColumns) {
  // SQLite's best row identifier of a table with an integer key is its row id, a pseudo column.
  Exec("CREATE TABLE k (code integer PRIMARY KEY, v varchar(5))");
  Q->SetSQL("SELECT v, code FROM k");
  Q->Execute();
  EXPECT_EQ(Q->PrimaryColNames(), "code;");
}
