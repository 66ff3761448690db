// Fetching in every orientation, row sets, bookmarks and long columns read in pieces, against
// SQLite and PostgreSQL.
#include <functional>
#include <string>
#include <vector>

#include "stmt_fixture.h"
#include "text.h"

namespace {

void MakeNumbers(StmtFixture& F, int n) {
  F.Exec("CREATE TABLE num (n integer, s varchar(10))");
  for (int i = 1; i <= n; ++i) F.Exec("INSERT INTO num VALUES (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
}

// Counts the pieces a long value is read in.
struct GetDataSpy {
  static inline int Calls = 0;
  static SQLRETURN SQL_API GetData(SQLHSTMT h, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN l, SQLLEN* i) {
    ++Calls;
    return ::SQLGetData(h, c, t, v, l, i);
  }
};

}  // namespace

STMT_BOTH(ScrollInEveryOrientation) {
  MakeNumbers(F, 10);
  THstmt* q = F.Q;
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetSQL("SELECT n, s FROM num ORDER BY n");
  q->Execute();
  // The row number of a row reached from the end is known where the driver gave the size of
  // the result (SQLite's does, PostgreSQL's does not).
  struct Step {
    const char* What;
    std::function<bool()> Go;
    int Want;
    bool FromEnd = false;
  } steps[] = {
      {"first", [&] { return q->FetchFirst(); }, 1},
      {"next", [&] { return q->FetchNext(); }, 2},
      {"last", [&] { return q->FetchLast(); }, 10, true},
      {"prior", [&] { return q->FetchPrev(); }, 9, true},
      {"absolute 5", [&] { return q->FetchAbsolute(5); }, 5},
      {"relative 2", [&] { return q->FetchRelative(2); }, 7},
      {"absolute -1", [&] { return q->FetchAbsolute(-1); }, 10, true},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(s.Go()) << s.What;
    EXPECT_EQ(q->RowNumber(), s.FromEnd && F.Pg ? -1 : s.Want) << s.What;
    EXPECT_EQ(q->ColInteger(1), s.Want) << s.What;
    EXPECT_EQ(q->ColString(2), "r" + std::to_string(s.Want)) << s.What;
  }
  EXPECT_FALSE(q->FetchNext());
  EXPECT_TRUE(q->FetchPrev());
  EXPECT_EQ(q->ColInteger(1), 10);
  EXPECT_FALSE(q->FetchAbsolute(11));
}

STMT_BOTH(RowSetsLargerThanOne) {
  MakeNumbers(F, 10);
  THstmt* q = F.Q;
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetRowSetSize(3);
  q->SetRowSetSize(0);  // ignored
  EXPECT_EQ(q->RowSetSize(), 3u);
  q->SetSQL("SELECT n, s FROM num ORDER BY n");
  q->Execute();
  ASSERT_TRUE(q->FetchFirst());
  EXPECT_EQ(q->NumRowsFetched(), 3u);
  for (int r = 1; r <= 3; ++r) {
    EXPECT_EQ(q->ColInteger(1, r), r);
    EXPECT_EQ(q->ColString(2, r), "r" + std::to_string(r));
    EXPECT_TRUE(q->RowValid(r));
  }
  EXPECT_EQ(q->RowStatus(4), SQL_ROW_NOROW);
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColInteger(1), 4);
  EXPECT_EQ(q->ColInt64(1, 3), 6);
  ASSERT_TRUE(q->FetchAbsolute(9));
  EXPECT_EQ(q->NumRowsFetched(), 2u);
  EXPECT_EQ(q->ColInteger(1, 2), 10);
  EXPECT_FALSE(q->RowValid(3));
  ASSERT_TRUE(q->FetchAbsolute(7));
  ASSERT_TRUE(q->FetchPrev());
  EXPECT_EQ(q->ColInteger(1, 1), 4);
  EXPECT_EQ(q->ColInteger(1, 3), 6);
  // Row flags are cleared by each fetch.
  q->SetRowOperation(2, roUpdate | 0x30);
  EXPECT_EQ(q->RowOperation(2), roUpdate);
  q->SetRowOperation(2, 0);
  EXPECT_EQ(q->RowOperation(2), 0);
  q->SetRowOperation(1, roDelete);
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->RowOperation(1), 0);
}

STMT_BOTH(Bookmarks) {
  MakeNumbers(F, 6);
  for (bool bind : {false, true}) {
    THstmt* q = F.Q;
    q->SetBindBookmarks(bind);
    q->SetCursorType(SQL_CURSOR_STATIC);
    q->SetSQL("SELECT n FROM num ORDER BY n");
    q->Execute();
    ASSERT_TRUE(q->FetchAbsolute(4));
    const std::vector<unsigned char> bm = q->GetBookmark();
    ASSERT_FALSE(bm.empty()) << "bound " << bind;
    ASSERT_TRUE(q->FetchFirst());
    EXPECT_EQ(q->ColInteger(1), 1);
    ASSERT_TRUE(q->FetchBookmark(bm)) << "bound " << bind;
    EXPECT_EQ(q->ColInteger(1), 4) << "bound " << bind;
    q->Close();
  }
}

// What the data set on SQLite finds its records by. SQLite's driver makes the bookmark of a row
// the value of the result's first integer column of a table's key wherever the result has one
// (a key of several columns, a view over one, a self-join), and a bookmark fetch lands on the
// first row with that value; its row numbers stay whatever the statement writes through its
// cursor or another writes beside it. PostgreSQL's bookmarks tell rows apart, and its cursor
// drops a row it deleted from its numbering.
TEST_F(OdbcStmt, DriverBookmarksRepeatWhereRowNumbersDoNot) {
  Exec("CREATE TABLE k2 (a integer, b integer, v varchar(10), PRIMARY KEY (a, b))");
  Exec("INSERT INTO k2 VALUES (3, 40, 'w'), (1, 10, 'x'), (2, 20, 'y'), (1, 30, 'z')");
  Exec("CREATE VIEW vk AS SELECT a, b, v FROM k2");
  Exec("CREATE TABLE ip (id integer primary key, v varchar(10))");
  Exec("INSERT INTO ip VALUES (10, 'p'), (20, 'q')");
  struct Case {
    const char* Sql;
    int Row;   // a row whose bookmark is an earlier row's
    int Lands;  // the row its bookmark finds
  } cases[] = {
      {"SELECT a, b, v FROM k2 ORDER BY b", 3, 1},
      {"SELECT v, a FROM k2 ORDER BY b", 3, 1},
      {"SELECT a, b, v FROM vk ORDER BY b", 3, 1},
      {"SELECT x.id, y.v FROM ip x, ip y ORDER BY y.id, x.id", 4, 2},
  };
  const auto rowText = [this] { return Q->ColString(1) + "," + Q->ColString(2); };
  for (const Case& c : cases) {
    Q->SetCursorType(SQL_CURSOR_STATIC);
    Q->SetSQL(c.Sql);
    Q->Execute();
    EXPECT_TRUE(Q->StableRowNumbers());
    ASSERT_TRUE(Q->FetchAbsolute(c.Lands)) << c.Sql;
    const std::string landed = rowText();
    ASSERT_TRUE(Q->FetchAbsolute(c.Row)) << c.Sql;
    EXPECT_EQ(Q->RowNumber(), c.Row) << c.Sql;
    const std::string own = rowText();
    const std::vector<unsigned char> bm = Q->GetBookmark();
    ASSERT_TRUE(Q->FetchBookmark(bm)) << c.Sql;
    EXPECT_EQ(rowText(), landed) << c.Sql;
    EXPECT_NE(landed, own) << c.Sql;
    EXPECT_EQ(Q->RowNumber(), -1) << c.Sql;
    Q->Close();
  }
}

// Its own update, delete and insert and a write beside it: SQLite's rows keep their numbers (and
// their values as read); on PostgreSQL the rows after the deleted one move up and the inserted
// one shows at the end.
STMT_BOTH(RowNumbersStayOnlyOnSQLite) {
  F.Exec("CREATE TABLE k2 (a integer, b integer, v varchar(10), PRIMARY KEY (a, b))");
  F.Exec("INSERT INTO k2 VALUES (3, 40, 'w'), (1, 10, 'x'), (2, 20, 'y'), (1, 30, 'z')");
  THstmt* q = F.Q;
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetConcurrencyType(SQL_CONCUR_VALUES);
  q->SetSQL("SELECT a, b, v FROM k2 ORDER BY b");
  q->Execute();
  EXPECT_EQ(q->StableRowNumbers(), !F.Pg);
  ASSERT_TRUE(q->FetchAbsolute(3));
  q->SetColString(3, "z!");
  q->UpdateRow(1);
  ASSERT_TRUE(q->FetchAbsolute(2));
  q->DeleteRow(1);
  q->SetColInteger(1, 5);
  q->SetColInteger(2, 5);
  q->SetColString(3, "n");
  q->InsertRow();
  F.Exec("INSERT INTO k2 VALUES (0, 1, 'first')");
  std::vector<std::string> rows;
  for (int n = 1; q->FetchAbsolute(n); ++n) {
    EXPECT_EQ(q->RowNumber(), n);
    rows.push_back(q->ColString(3));
  }
  using Texts = std::vector<std::string>;
  const Texts want = F.Pg ? Texts{"x", "z!", "w", "n"} : Texts{"x", "y", "z", "w"};
  EXPECT_EQ(rows, want);
}

// A forward-only cursor of a driver that claims bookmarks but cannot size them still runs
// every statement.
STMT_BOTH(ForwardOnlyStatementsDoNotTripOnBookmarks) {
  MakeNumbers(F, 2);
  F.Q->SetBindBookmarks(true);
  F.Q->SetSQL("SELECT n FROM num ORDER BY n");
  F.Q->Execute();
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_EQ(F.Q->ColInteger(1), 1);
  ASSERT_TRUE(F.Q->FetchNext());
  EXPECT_FALSE(F.Q->FetchNext());
}

STMT_BOTH(LongTextReadInPieces) {
  F.Exec("CREATE TABLE lt (id integer, t " + F.LongText() + ")");
  const std::string exact(2048, 'a'), more = std::string(2047, 'b') + "č";  // 2049 bytes
  F.Exec("INSERT INTO lt VALUES (1, '" + exact + "')");
  F.Exec("INSERT INTO lt VALUES (2, '" + more + "')");
  F.Exec("INSERT INTO lt VALUES (3, NULL)");
  F.Exec("INSERT INTO lt VALUES (4, '')");
  TODBCApiOverride api;
  api.Table().SQLGetData = GetDataSpy::GetData;
  THstmt* q = F.Q;
  q->SetBlobSize(1024);  // ignored: not above 1024
  EXPECT_EQ(q->BlobSize(), 32768);
  q->SetBlobSize(2048);
  q->SetSQL("SELECT id, t FROM lt ORDER BY id");
  q->Execute();
  struct Want {
    std::string Text;
    SQLLEN Size;
    int Pieces;
  } wants[] = {{exact, 2048, 1}, {more, 2049, 2}, {"", SQL_NULL_DATA, 1}, {"", 0, 1}};
  for (const Want& w : wants) {
    GetDataSpy::Calls = 0;
    ASSERT_TRUE(q->FetchNext());
    EXPECT_EQ(GetDataSpy::Calls, w.Pieces) << q->ColInteger(1);
    EXPECT_TRUE(q->ColIsBlob(2));
    EXPECT_EQ(q->ColString(2), w.Text);
    EXPECT_EQ(q->ColSize(2), w.Size) << q->ColInteger(1);
    EXPECT_EQ(q->ColStream(2)->Size(), w.Size < 0 ? 0 : w.Size);
    EXPECT_EQ(GetDataSpy::Calls, w.Pieces) << "read once per fetch";
  }
  EXPECT_FALSE(q->FetchNext());
}

STMT_BOTH(DeferredLongColumnsAndRowSets) {
  F.Exec("CREATE TABLE dl (id integer, t " + F.LongText() + ")");
  for (int i = 1; i <= 5; ++i)
    F.Exec("INSERT INTO dl VALUES (" + std::to_string(i) + ", '" + std::string(3000 + i, char('a' + i)) + "')");
  THstmt* q = F.Q;
  q->SetBlobDeferral(true);
  q->SetSQL("SELECT id, t FROM dl ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColSize(2), SQL_NULL_DATA);  // not read yet
  EXPECT_EQ(q->ColStream(2)->Size(), 3001);
  EXPECT_EQ(q->ColSize(2), 3001);
  q->Close();
  // A row set of three: long values are read on demand, the cursor positioned on the row.
  q->SetBlobDeferral(false);
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetRowSetSize(3);
  q->SetSQL("SELECT id, t FROM dl ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColInteger(1, 3), 3);
  if (F.Pg) {
    EXPECT_EQ(q->ColString(2, 3), std::string(3003, 'd'));
    EXPECT_EQ(q->ColString(2, 1), std::string(3001, 'b'));
    EXPECT_EQ(q->ColStream(2, 2)->Size(), 3002);
  } else {
    // SQLite's driver positions on the wrong row: refused rather than another row's value.
    EXPECT_THROW(q->ColString(2, 3), EODBCLibrary);
  }
}

// A cache reads ahead and writes its records through row 1: a long value read, written or read
// back for row 1 stays row 1's value wherever the cursor has gone; with nothing held, no row is
// NULL.
STMT_BOTH(ALongValueHeldForRowOneOutlivesTheCursor) {
  F.Exec("CREATE TABLE dl (id integer, t " + F.LongText() + ")");
  F.Exec("INSERT INTO dl VALUES (1, 'ena')");
  F.Exec("INSERT INTO dl VALUES (2, 'dva')");
  THstmt* q = F.Q;
  q->SetBlobDeferral(true);
  q->SetSQL("SELECT id, t FROM dl ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_EQ(q->ColString(2), "ena");
  ASSERT_TRUE(q->FetchNext());
  ASSERT_FALSE(q->FetchNext());
  ASSERT_FALSE(q->RowValid(1));
  // Not read before the cursor left: NULL, with no other row's value behind it.
  EXPECT_EQ(q->ColStream(2)->Size(), 0);
  EXPECT_TRUE(q->ColNull(2));
  TMemoryStream value;
  value.WriteBuffer("nova", 4);
  q->SetColStream(2, &value);
  EXPECT_EQ(q->ColString(2), "nova");
  EXPECT_EQ(q->ColSize(2), 4);
  TMemoryStream empty;
  q->SetColStream(2, &empty);
  EXPECT_EQ(q->ColStream(2)->Size(), 0);
  EXPECT_FALSE(q->ColNull(2));
}

STMT_BOTH(WritersStoreIntoTheRowBuffers) {
  F.Exec("CREATE TABLE w (s varchar(5), n integer, d date, x double precision, t " + F.LongText() + ")");
  F.Exec("INSERT INTO w VALUES ('abc', 1, '2024-01-02', 1.5, 'dolgo')");
  THstmt* q = F.Q;
  q->SetSQL("SELECT s, n, d, x, t FROM w");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  q->SetColString(1, "  xy  ");
  EXPECT_EQ(q->ColString(1), "  xy");
  EXPECT_EQ(q->ColSize(1), 4);
  q->SetColInteger(1, 12345);
  EXPECT_EQ(q->ColString(1), "12345");
  EXPECT_EQ(q->ColSize(1), 5);
  // Five characters of two bytes each fit the element; a longer text is refused whole.
  q->SetColString(1, "ččččč");
  EXPECT_EQ(q->ColString(1), "ččččč");
  EXPECT_THROW(q->SetColString(1, std::string(100, 'z')), EODBCLibrary);
  EXPECT_EQ(q->ColString(1), "ččččč");
  q->SetColInteger(2, -7);
  EXPECT_EQ(q->ColInteger(2), -7);
  // SQLite's integer columns are read 64 bits wide.
  EXPECT_EQ(q->ColCType(2), F.Pg ? SQL_C_SLONG : SQL_C_SBIGINT);
  EXPECT_EQ(q->ColSize(2), CTypeSize(q->ColCType(2)));
  SQL_TIMESTAMP_STRUCT ts{2030, 12, 31, 10, 11, 12, 0};
  q->SetColTimestamp(3, ts);
  EXPECT_EQ(q->ColTimestamp(3).year, 2030);
  EXPECT_EQ(q->ColTimestamp(3).hour, 0);
  q->SetColDouble(4, -2.25);
  EXPECT_DOUBLE_EQ(q->ColDouble(4), -2.25);
  // The empty text makes the cell NULL only when the setting says so.
  struct Case {
    TEmptyToNull Rule;
    bool Null;
  } cases[] = {{enNever, false}, {enAlways, true}, {enIfNullable, true}};
  for (const Case& c : cases) {
    q->SetEmptyStringToNull(c.Rule);
    q->SetColString(1, "");
    EXPECT_EQ(q->ColNull(1), c.Null) << c.Rule;
    q->SetColString(1, " ");
    EXPECT_FALSE(q->ColNull(1));
  }
  q->SetColNull(2, true);
  EXPECT_TRUE(q->ColNull(2));
  q->SetColIgnore(2, true);
  EXPECT_TRUE(q->ColIgnoreRow(2, 1));
  EXPECT_THROW(q->SetColSize(1, 1000), EODBCLibrary);
  // A long column holds exactly the text in its stream (no terminator): its size is what a
  // positioned write sends.
  ASSERT_TRUE(q->ColIsBlob(5));
  q->SetEmptyStringToNull(enNever);
  q->SetColString(5, "  Šotor  ");
  EXPECT_EQ(q->ColSize(5), 8);
  EXPECT_EQ(q->ColStream(5)->Size(), 8);
  EXPECT_EQ(q->ColString(5), "  Šotor");
  q->SetColSize(5, 3);
  EXPECT_EQ(StreamToString(q->ColStream(5)), "  \xC5");
  TMemoryStream src;
  src.WriteBuffer("xyz", 3);
  q->SetColStream(5, &src);
  EXPECT_EQ(q->ColSize(5), 3);
  EXPECT_EQ(q->ColString(5), "xyz");
  q->SetColInteger(5, 7);  // numbers are not written into long columns
  EXPECT_EQ(q->ColString(5), "xyz");
  // Writers on cells that do not exist do nothing.
  q->SetColString(9, "x");
  q->SetColString(1, 2, "x");
}

// SQLite's driver reads a whole result into memory unless StepAPI=1 is set for the data source;
// with it, forward-only results stream and scrollable cursors still scroll.
TEST_F(OdbcStmt, StepApiDataSourceStreamsAndScrolls) {
  Env.AddDsn("SQLITESTEP", {{"Driver", "SQLite3"}, {"Database", Env.SqliteFile()}, {"StepAPI", "1"}});
  MakeNumbers(*this, 5);
  Dbc->SetConnected(false);
  Dbc->SetDataSource("SQLITESTEP");
  Q->SetSQL("SELECT n FROM num ORDER BY n");
  Q->Execute();
  int n = 0;
  while (Q->FetchNext()) EXPECT_EQ(Q->ColInteger(1), ++n);
  EXPECT_EQ(n, 5);
  Q->SetCursorType(SQL_CURSOR_STATIC);
  Q->SetSQL("SELECT n FROM num ORDER BY n");
  Q->Execute();
  ASSERT_TRUE(Q->FetchLast());
  EXPECT_EQ(Q->ColInteger(1), 5);
  ASSERT_TRUE(Q->FetchAbsolute(2));
  EXPECT_EQ(Q->ColInteger(1), 2);
}

// Row sets of several rows stepped in every direction give the rows the standard's rules name,
// also where the driver's own stepping is emulated (SQLite's steps from the wrong row).
STMT_BOTH(RowSetsSteppedInEveryDirection) {
  MakeNumbers(F, 10);
  THstmt* q = F.Q;
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetRowSetSize(3);
  q->SetSQL("SELECT n FROM num ORDER BY n");
  q->Execute();
  struct Step {
    const char* What;
    std::function<bool()> Go;
    int First;  // first row of the row set; 0 for none
    bool FromEnd = false;  // its number is known only from the size of the result
  } steps[] = {
      {"prior before the start", [&] { return q->FetchPrev(); }, 0},
      {"next from before the start", [&] { return q->FetchNext(); }, 1},
      {"next", [&] { return q->FetchNext(); }, 4},
      {"prior", [&] { return q->FetchPrev(); }, 1},
      {"prior from the first", [&] { return q->FetchPrev(); }, 0},
      {"next again", [&] { return q->FetchNext(); }, 1},
      {"absolute 3", [&] { return q->FetchAbsolute(3); }, 3},
      {"prior near the start", [&] { return q->FetchPrev(); }, 1},
      {"absolute 7", [&] { return q->FetchAbsolute(7); }, 7},
      {"relative -2", [&] { return q->FetchRelative(-2); }, 5},
      {"relative 3", [&] { return q->FetchRelative(3); }, 8},
      {"relative -7", [&] { return q->FetchRelative(-7); }, 1},
      {"prior from the first again", [&] { return q->FetchPrev(); }, 0},
      {"relative 2 from before", [&] { return q->FetchRelative(2); }, 2},
      {"relative 20", [&] { return q->FetchRelative(20); }, 0},
      {"prior from after the end", [&] { return q->FetchPrev(); }, 8, true},
      {"last", [&] { return q->FetchLast(); }, 8, true},
      {"prior from the last", [&] { return q->FetchPrev(); }, 5, true},
      {"absolute -4", [&] { return q->FetchAbsolute(-4); }, 7, true},
      {"relative -1", [&] { return q->FetchRelative(-1); }, 6, true},
  };
  for (const Step& s : steps) {
    const bool got = s.Go();
    EXPECT_EQ(got, s.First != 0) << s.What;
    EXPECT_EQ(q->RowNumber(), s.FromEnd && F.Pg ? -1 : s.First) << s.What;
    if (got && s.First != 0) {
      EXPECT_EQ(q->ColInteger(1, 1), s.First) << s.What;
    }
  }
}

// SQLite keeps 64-bit values in any integer column and its driver would narrow them to the
// declared type without a word: they are read whole, and a reader too narrow for the value
// raises a range error naming the column.
TEST_F(OdbcStmt, IntegerColumnsNeverWrap) {
  Exec("CREATE TABLE w (i integer, s smallint, t tinyint)");
  Exec("INSERT INTO w VALUES (5000000000, 70000, 300)");
  Exec("INSERT INTO w VALUES (-7, -2, 1)");
  Q->SetSQL("SELECT i, s, t, i + 1 FROM w ORDER BY i DESC");
  Q->Execute();
  ASSERT_TRUE(Q->FetchNext());
  EXPECT_EQ(Q->ColInt64(1, 1), 5000000000);
  EXPECT_EQ(Q->ColInt64("s"), 70000);
  EXPECT_EQ(Q->ColInt64(4, 1), 5000000001);
  EXPECT_EQ(Q->ColString(1), "5000000000");
  EXPECT_DOUBLE_EQ(Q->ColDouble(2), 70000.0);
  EXPECT_EQ(Q->ColInteger(2), 70000);
  EXPECT_EQ(Q->ColInteger(3), 300);
  struct Case {
    std::function<void()> Read;
    const char* Message;
  } cases[] = {
      {[&] { Q->ColInteger(1); }, "Value 5000000000 of column i is out of range for a 32-bit integer."},
      {[&] { Q->ColSmallint(2); }, "Value 70000 of column s is out of range for a 16-bit integer."},
      {[&] { Q->ColWord(2, 1); }, "Value 70000 of column s is out of range for a 16-bit integer."},
  };
  for (const Case& c : cases) {
    try {
      c.Read();
      ADD_FAILURE() << c.Message;
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), c.Message);
    }
  }
  ASSERT_TRUE(Q->FetchNext());
  EXPECT_EQ(Q->ColInteger(1), -7);
  EXPECT_EQ(Q->ColSmallint(2), -2);
  EXPECT_EQ(Q->ColWord(2, 1), 65534);  // a negative 16-bit value keeps its low bits
}

// A date the driver cannot convert is an error when read, never day zero: only NULL is. SQLite
// keeps any text in a date column (its driver reports what it cannot convert as NULL);
// PostgreSQL's date columns refuse such text, but a text column read as a date shows it.
STMT_BOTH(UnconvertibleDatesRaiseOnlyNullIsDayZero) {
  F.Exec(F.Pg ? "CREATE TABLE bd (id integer, d varchar(20), t varchar(30))"
              : "CREATE TABLE bd (id integer, d date, t timestamp)");
  F.Exec("INSERT INTO bd VALUES (1, '2025-13-45', '2025-13-45 10:00:00')");
  F.Exec("INSERT INTO bd VALUES (2, NULL, NULL)");
  F.Exec("INSERT INTO bd VALUES (3, '2024-02-30', 'x')");
  F.Exec("INSERT INTO bd VALUES (4, '2024-05-17', '2024-05-17 08:30:00.250')");
  F.Exec("INSERT INTO bd VALUES (5, '', '')");
  THstmt* q = F.Q;
  q->SetSQL("SELECT id, d, t FROM bd ORDER BY id");
  q->Execute();
  struct Want {
    bool Raises;
    const char* Text;  // ColString of the date column
  } wants[] = {{true, "2025-13-45"}, {false, ""}, {true, "2024-02-30"}, {false, "2024-05-17"}, {true, ""}};
  for (const Want& w : wants) {
    ASSERT_TRUE(q->FetchNext());
    const int id = q->ColInteger(1);
    if (w.Raises) {
      try {
        q->ColTimestamp(2);
        ADD_FAILURE() << id;
      } catch (const EConvertError& E) {
        EXPECT_EQ(E.Message(), "Value '" + std::string(w.Text) + "' of column d is not a valid date.");
      }
      EXPECT_THROW(q->ColTimestamp(3), EConvertError) << id;
      EXPECT_FALSE(q->ColNull(2)) << id;
      EXPECT_EQ(q->ColString(2), w.Text) << id;
    } else if (id == 2) {
      EXPECT_TRUE(q->ColNull(2));
      EXPECT_DOUBLE_EQ(TimestampToDateTime(q->ColTimestamp(2)), 0.0);
      EXPECT_DOUBLE_EQ(TimestampToDateTime(q->ColTimestamp(3)), 0.0);
    } else {
      EXPECT_DOUBLE_EQ(TimestampToDateTime(q->ColTimestamp(2)), EncodeDate(2024, 5, 17));
      const SQL_TIMESTAMP_STRUCT t = q->ColTimestamp(3);
      EXPECT_EQ(t.hour, 8);
      EXPECT_EQ(t.fraction, 250000000u);
    }
  }
  if (F.Pg) return;
  // In a row set of several rows SQLite's driver cannot show its text: such a cell cannot be
  // read at all rather than read as NULL.
  q->SetCursorType(SQL_CURSOR_STATIC);
  q->SetRowSetSize(5);
  q->SetSQL("SELECT id, d FROM bd ORDER BY id");
  q->Execute();
  ASSERT_TRUE(q->FetchNext());
  EXPECT_THROW(q->ColTimestamp(2, 1), EODBCLibrary);
  EXPECT_EQ(q->ColTimestamp(2, 4).day, 17);
}
