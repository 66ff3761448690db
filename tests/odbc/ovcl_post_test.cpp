// The ODBC data set writing records at once (direct mode, and cached mode without cached
// updates): edit, insert, delete and refresh, key changes, conflicts with other users, failures,
// and finding an inserted row again. A connection of its own checks what reached the database.
#include <algorithm>

#include "ovcl_fixture.h"

namespace {

using Rows = DataSetFixture::Rows;

// Table t of four rows, read in id order by an editable data set.
TCustomODDataSet* OpenFour(DataSetFixture& F, bool InCache) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30", "4, 'stiri', 40"});
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->SetEditable(true);
  d->Open();
  return d;
}

std::string Name(TDataSet* D) { return D->FieldByName("name")->AsString(); }

bool GoTo(TDataSet* D, int Id) { return D->Locate("id", Variant(Id), {}); }

}  // namespace

DS_ALL(EditInsertDeleteAndRefreshReachTheDatabase) {
  TCustomODDataSet* d = OpenFour(F, InCache);
  ASSERT_TRUE(GoTo(d, 2));
  d->Edit();
  d->FieldByName("name")->SetAsString("dva!");
  d->FieldByName("qty")->SetAsInteger(22);
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"),
            (Rows{{"1", "ena", "10"}, {"2", "dva!", "22"}, {"3", "tri", "30"}, {"4", "stiri", "40"}}));
  EXPECT_EQ(Name(d), "dva!");
  // Read again after scrolling away: the posted values, also where the cursor still has the
  // old ones (SQLite's static cursor).
  d->Last();
  ASSERT_TRUE(GoTo(d, 2));
  EXPECT_EQ(Name(d), "dva!");
  EXPECT_EQ(d->FieldByName("qty")->AsInteger(), 22);
  // A second edit of the same row.
  d->Edit();
  d->FieldByName("name")->SetAsString("dva!!");
  d->Post();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 2"), (Rows{{"dva!!"}}));

  // A new key changes exactly the row that had the old one; the next edit finds it there.
  d->Edit();
  d->FieldByName("id")->SetAsInteger(20);
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena"}, {"3", "tri"}, {"4", "stiri"}, {"20", "dva!!"}}));
  d->First();
  ASSERT_TRUE(GoTo(d, 20));
  d->Edit();
  d->FieldByName("qty")->SetAsInteger(200);
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, qty FROM t WHERE qty >= 200 OR id = 2"), (Rows{{"20", "200"}}));

  // Insert: a NULL column is left out, so the row gets what the database gives it.
  ASSERT_TRUE(GoTo(d, 3));
  d->Insert();
  d->FieldByName("id")->SetAsInteger(5);
  d->FieldByName("name")->SetAsString("pet");
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t WHERE id = 5"), (Rows{{"5", "pet", "<NULL>"}}));
  // The cache holds the new record where it was inserted; a cursor shows its own row there,
  // never the values written into its buffers.
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), InCache ? 5 : 3);
  EXPECT_EQ(Name(d), InCache ? "pet" : "tri");

  // Delete: the row goes, and the data set skips it without reading the result again.
  ASSERT_TRUE(GoTo(d, 3));
  d->Delete();
  EXPECT_EQ(F.Db("SELECT count(*) FROM t WHERE id = 3"), (Rows{{"0"}}));
  std::vector<int> ids = DataSetFixture::Ids(d);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 3), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 20), 1);
  if (InCache) {
    EXPECT_EQ(ids, (std::vector<int>{1, 20, 5, 4}));
  }

  // Refresh shows what another user wrote, also once the record was scrolled away from.
  F.DbExec("UPDATE t SET name = 'drugi', qty = 11 WHERE id = 1");
  ASSERT_TRUE(GoTo(d, 1));
  EXPECT_EQ(Name(d), "ena");
  d->Refresh();
  EXPECT_EQ(Name(d), "drugi");
  d->Last();
  ASSERT_TRUE(GoTo(d, 1));
  EXPECT_EQ(Name(d), "drugi");
  EXPECT_EQ(d->FieldByName("qty")->AsInteger(), 11);
  // Edited after the refresh, the row keeps the other user's values in the columns not changed.
  d->Edit();
  d->FieldByName("name")->SetAsString("moj");
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t WHERE id = 1"), (Rows{{"1", "moj", "11"}}));
  delete d;
}

DS_ALL(AKeyTakenByAnotherRowIsRefused) {
  TCustomODDataSet* d = OpenFour(F, InCache);
  ASSERT_TRUE(GoTo(d, 2));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(3);
  d->FieldByName("name")->SetAsString("ne");
  EXPECT_THROW(d->Post(), EODBC);
  EXPECT_EQ(d->State(), dsEdit);
  EXPECT_EQ(d->FieldByName("name")->AsString(), "ne");
  EXPECT_EQ(F.Db("SELECT id, name FROM t WHERE id IN (2, 3) ORDER BY id"), (Rows{{"2", "dva"}, {"3", "tri"}}));
  if (F.Pg && !InCache) {
    // The failure ended PostgreSQL's server cursor: the record is put back as it was read and
    // the data set says it must be opened again.
    try {
      d->Cancel();
      ADD_FAILURE() << "no exception";
    } catch (const EODBCLibrary& e) {
      EXPECT_NE(std::string(e.what()).find("open the data set again"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Name(d), "dva");
    d->Close();
    d->Open();
    ASSERT_TRUE(GoTo(d, 2));
  } else {
    d->Cancel();
  }
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 2);
  EXPECT_EQ(Name(d), "dva");
  d->Edit();
  d->FieldByName("name")->SetAsString("da");
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name FROM t WHERE id IN (2, 3) ORDER BY id"), (Rows{{"2", "da"}, {"3", "tri"}}));
  delete d;
}

DS_ALL(ARowAnotherUserDeletedIsNotSaved) {
  TCustomODDataSet* d = OpenFour(F, InCache);
  ASSERT_TRUE(GoTo(d, 2));
  F.DbExec("DELETE FROM t WHERE id = 2");
  d->Edit();
  d->FieldByName("name")->SetAsString("ne");
  EXPECT_THROW(d->Post(), EODBC);
  EXPECT_EQ(d->State(), dsEdit);
  d->Cancel();
  EXPECT_EQ(Name(d), "dva");
  EXPECT_EQ(F.Db("SELECT count(*) FROM t"), (Rows{{"3"}}));
  delete d;
}

// A field reads some values inexactly: a numeric beyond a double's digits, a timestamp's
// microseconds, a text's trailing blanks. An edit of another column leaves them as they are in
// the database; only what the edit changed is written.
DS_ALL(AnEditWritesOnlyWhatItChanged) {
  F.Exec("CREATE TABLE x (id integer PRIMARY KEY, name varchar(20), amt numeric(30,10), at timestamp, tx varchar(10))");
  F.Exec("INSERT INTO x VALUES (1, 'ena', 12345678901234567890.1234567890, '2024-01-02 03:04:05.123456', 'ab  ')");
  F.Exec("INSERT INTO x VALUES (2, 'dva', 0.5, '2024-01-02 03:04:05.5', 'cd')");
  const std::string others = "SELECT id, amt, at, tx || '|' FROM x ORDER BY id";
  const Rows before = F.Db(others);
  for (bool cachedUpdates : {false, true}) {
    if (cachedUpdates && !InCache) continue;
    SCOPED_TRACE(cachedUpdates ? "cached updates" : "at once");
    TCustomODDataSet* d = F.Make("SELECT id, name, amt, at, tx FROM x ORDER BY id", InCache);
    d->SetEditable(true);
    d->SetCachedUpdates(cachedUpdates);
    d->Open();
    for (const char* name : {"ena!", "ena!!"}) {
      d->Edit();
      d->FieldByName("name")->SetAsString(name);
      d->Post();
    }
    d->Next();
    d->Edit();  // nothing changed
    d->Post();
    d->Edit();
    d->FieldByName("tx")->SetAsString("ef");
    d->Post();
    if (cachedUpdates) d->UpdateRecords(nullptr, true);
    EXPECT_EQ(F.Db("SELECT name, tx FROM x ORDER BY id"), (Rows{{"ena!!", "ab  "}, {"dva", "ef"}}));
    Rows want = before;
    want[1][3] = "ef|";
    EXPECT_EQ(F.Db(others), want);
    delete d;
    F.DbExec("UPDATE x SET name = CASE id WHEN 1 THEN 'ena' ELSE 'dva' END, tx = CASE id WHEN 1 THEN 'ab  ' ELSE 'cd' END");
  }
}

DS_ALL(TimestampsAreWrittenWithTheirMilliseconds) {
  F.Exec("CREATE TABLE tm (id integer PRIMARY KEY, at timestamp)");
  F.Exec("INSERT INTO tm VALUES (1, '2024-01-02 03:04:05.250')");
  TCustomODDataSet* d = F.Make("SELECT id, at FROM tm ORDER BY id", InCache);
  d->SetEditable(true);
  d->Open();
  d->Insert();  // every column given: nothing is left out
  d->FieldByName("id")->SetAsInteger(2);
  d->FieldByName("at")->SetAsDateTime(EncodeDate(2025, 6, 7) + EncodeTime(8, 9, 10, 500));
  d->Post();
  ASSERT_TRUE(GoTo(d, 1));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(3);
  d->FieldByName("at")->SetAsDateTime(EncodeDate(2025, 6, 7) + EncodeTime(8, 9, 11, 750));
  d->Post();
  const Rows want = F.Pg ? Rows{{"2", "2025-06-07 08:09:10.5"}, {"3", "2025-06-07 08:09:11.75"}}
                         : Rows{{"2", "2025-06-07 08:09:10.500"}, {"3", "2025-06-07 08:09:11.750"}};
  EXPECT_EQ(F.Db("SELECT id, at FROM tm ORDER BY id"), want);
  delete d;
}

// SQLite lets a key of text hold NULL. Its driver finds the row of its own update or delete by
// the key, finds none and says nothing: the data set would show the row deleted.
TEST_F(OdbcDataSet, ARowWithANullKeyIsNeitherWrittenNorHidden) {
  Exec("CREATE TABLE nk (code varchar(5) PRIMARY KEY, v varchar(5))");
  Exec("INSERT INTO nk VALUES (NULL, '1')");
  Exec("INSERT INTO nk VALUES ('b', '2')");
  for (bool inCache : {false, true}) {
    SCOPED_TRACE(inCache ? "cached" : "direct");
    TCustomODDataSet* d = Make("SELECT code, v FROM nk ORDER BY v", inCache);
    d->SetEditable(true);
    d->Open();
    ASSERT_TRUE(d->FieldByName("code")->IsNull());
    d->Edit();
    d->FieldByName("code")->SetAsString("a");
    d->FieldByName("v")->SetAsString("X");
    try {
      d->Post();
      ADD_FAILURE() << "posted";
    } catch (const EODBCLibrary& e) {
      EXPECT_STREQ(e.what(), "key column code is NULL");
    }
    d->Cancel();
    try {
      d->Delete();
      ADD_FAILURE() << "deleted";
    } catch (const EODBCLibrary& e) {
      EXPECT_STREQ(e.what(), "key column code is NULL");
    }
    EXPECT_EQ(Ids(d, "v"), (std::vector<int>{1, 2}));
    EXPECT_EQ(Db("SELECT code, v FROM nk ORDER BY v"), (Rows{{"<NULL>", "1"}, {"b", "2"}}));
    delete d;
  }
}

TEST_F(ServerDataSet, AnotherUsersChangeIsAConflict) {
  // PostgreSQL's driver changes the row it read and reports another user's change first.
  TCustomODDataSet* d = OpenFour(*this, false);
  ASSERT_TRUE(GoTo(d, 2));
  // Also on a row written before through the data set (the driver shows its own change).
  for (bool other : {false, true}) {
    if (other) DbExec("UPDATE t SET qty = 21 WHERE id = 2");
    d->Edit();
    d->FieldByName("name")->SetAsString(other ? "moj" : "dva!");
    if (!other) d->Post();
  }
  try {
    d->Post();
    ADD_FAILURE() << "no exception";
  } catch (const EODBC& e) {
    EXPECT_EQ(e.SqlState(), "01001");
  }
  EXPECT_EQ(d->State(), dsEdit);
  EXPECT_EQ(Db("SELECT name, qty FROM t WHERE id = 2"), (Rows{{"dva!", "21"}}));
  // The cursor lives on (a conflict is no failure of the server).
  d->Cancel();
  EXPECT_EQ(Name(d), "dva!");
  d->Next();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
  // Refreshed, the row is written by its key over the other user's version.
  d->Prior();
  d->Refresh();
  EXPECT_EQ(d->FieldByName("qty")->AsInteger(), 21);
  d->Edit();
  d->FieldByName("name")->SetAsString("moj");
  d->Post();
  EXPECT_EQ(Db("SELECT name, qty FROM t WHERE id = 2"), (Rows{{"moj", "21"}}));
  delete d;
}

// ---- finding an inserted row again

DS_ALL(LocateInsertFindsTheNewRowByItsKey) {
  // (SQLite's driver makes the first column of a key of several columns its bookmark when that
  // column is an integer: such a result cannot be read without a cache.)
  F.Exec("CREATE TABLE k2 (a varchar(5), b integer, v varchar(10), PRIMARY KEY (a, b))");
  for (const char* r : {"'1', 1, 'x'", "'1', 2, 'y'", "'2', 1, 'z'"}) F.Exec("INSERT INTO k2 VALUES (" + std::string(r) + ")");
  TCustomODDataSet* d = F.Make("SELECT a, b, v FROM k2 ORDER BY a, b", InCache);
  d->SetEditable(true);
  d->SetLocateInsert(true);
  d->Open();
  d->Last();
  d->Insert();
  d->FieldByName("a")->SetAsInteger(1);
  d->FieldByName("b")->SetAsInteger(5);
  d->FieldByName("v")->SetAsString("nov");
  d->Post();
  // Opened again (the row in its place in the result), and on the row with both key values.
  EXPECT_EQ(d->FieldByName("a")->AsInteger(), 1);
  EXPECT_EQ(d->FieldByName("b")->AsInteger(), 5);
  EXPECT_EQ(d->FieldByName("v")->AsString(), "nov");
  d->Next();
  EXPECT_EQ(d->FieldByName("a")->AsInteger(), 2);
  // The framework's insert of values takes the same way.
  d->AppendRecord({Variant(std::string("2")), Variant(0), Variant(std::string("nič"))});
  EXPECT_EQ(d->FieldByName("a")->AsInteger(), 2);
  EXPECT_EQ(d->FieldByName("b")->AsInteger(), 0);
  EXPECT_EQ(d->FieldByName("v")->AsString(), "nič");
  EXPECT_EQ(F.Db("SELECT a, b, v FROM k2 ORDER BY a, b"),
            (Rows{{"1", "1", "x"}, {"1", "2", "y"}, {"1", "5", "nov"}, {"2", "0", "nič"}, {"2", "1", "z"}}));
  delete d;
}

DS_ALL(LocateInsertWithoutAKeyInsertsNothing) {
  F.Exec("CREATE TABLE nokey (a integer, v varchar(10))");
  F.Exec("INSERT INTO nokey VALUES (1, 'x')");
  TCustomODDataSet* d = F.Make("SELECT a, v FROM nokey", InCache);
  d->SetEditable(true);
  d->SetLocateInsert(true);
  d->Open();
  d->Insert();
  d->FieldByName("a")->SetAsInteger(2);
  // Refused before anything is written, so a second attempt cannot insert the row twice.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      d->Post();
      ADD_FAILURE() << "no exception";
    } catch (const EODBCLibrary& e) {
      EXPECT_EQ(e.Message(), "Cannot detect primary columns to locate inserted row.");
    }
    EXPECT_EQ(d->State(), dsInsert);
  }
  d->Cancel();
  EXPECT_EQ(F.Db("SELECT a, v FROM nokey"), (Rows{{"1", "x"}}));
  if (InCache) {
    EXPECT_EQ(d->CacheCount(), 1);
  }
  delete d;
}

DS_BOTH(LocateInsertUnderCachedUpdatesStaysInTheCache) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30"});
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", true);
  d->SetEditable(true);
  d->SetCachedUpdates(true);
  d->SetLocateInsert(true);
  d->Open();
  ASSERT_TRUE(GoTo(d, 3));
  d->Edit();
  d->FieldByName("name")->SetAsString("tri!");
  d->Post();
  d->First();
  d->Insert();
  d->FieldByName("id")->SetAsInteger(9);
  d->FieldByName("name")->SetAsString("devet");
  d->Post();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 9);
  EXPECT_EQ(d->UpdateStatus(), usInserted);
  // Nothing was opened again: the edit is still pending and on show.
  EXPECT_EQ(d->PendingUpdates(), 2);
  ASSERT_TRUE(GoTo(d, 3));
  EXPECT_EQ(Name(d), "tri!");
  EXPECT_EQ(DataSetFixture::Ids(d), (std::vector<int>{9, 1, 2, 3}));
  EXPECT_EQ(F.Db("SELECT count(*) FROM t"), (Rows{{"3"}}));
  delete d;
}

// SQLite's driver makes the value of the key's integer column a the bookmark of every row of k2
// and finds a bookmark as the first row with that value (OdbcStmt.DriverBookmarksRepeatRowNumbers
// Stay): rows with the same a share one, apart (by b) and as neighbours (by a, b). Each record is
// shown, found, read (its deferred long value too) and written as itself, and so is every record
// of a ring of three that a link shows.
DS_ALL(RowsThatShareADriverBookmarkAreEachShownAndWrittenAsThemselves) {
  F.Exec("CREATE TABLE k2 (a integer, b integer, v varchar(10), n " + F.LongText() + ", PRIMARY KEY (a, b))");
  for (const char* r : {"3, 40, 'w'", "1, 10, 'x'", "2, 20, 'y'", "1, 30, 'z'", "2, 50, 'u'"})
    F.Exec(std::string("INSERT INTO k2 (a, b, v) VALUES (") + r + ")");
  F.Exec("UPDATE k2 SET n = 'note ' || v");
  const std::string byB = "SELECT a, b, v, n FROM k2 ORDER BY b";
  TCustomODDataSet* d = F.Make(byB, InCache);
  d->SetEditable(true);
  d->hStmt()->SetBlobDeferral(true);
  TDataSource source(nullptr);
  TDataLink ring;
  ring.SetBufferCount(3);
  ring.SetDataSource(&source);
  source.SetDataSet(d);
  d->Open();
  const auto shown = [d] {
    std::vector<std::string> row;
    for (const char* f : {"a", "b", "v", "n"}) row.push_back(d->FieldByName(f)->AsString());
    return row;
  };
  // The current record as the database holds it, and the ring a run of the result's rows.
  const auto expectShown = [&](const Rows& Want, size_t I) {
    EXPECT_EQ(shown(), Want[I]) << "row " << I;
    const int active = ring.ActiveRecord();
    Rows run;
    for (int k = 0; k < ring.RecordCount(); ++k) {
      ring.SetActiveRecord(k);
      run.push_back(shown());
    }
    ring.SetActiveRecord(active);
    EXPECT_TRUE(std::search(Want.begin(), Want.end(), run.begin(), run.end()) != Want.end())
        << "ring at row " << I << ": " << ::testing::PrintToString(run);
  };
  // Forwards, backwards, and to each record by its bookmark out of order.
  const auto walk = [&](const std::string& Sql) {
    const Rows want = F.Db(Sql);
    std::vector<TBookmark> marks;
    d->First();
    while (!d->Eof()) {
      if (marks.size() >= want.size()) break;
      expectShown(want, marks.size());
      marks.push_back(d->GetBookmark());
      d->Next();
    }
    EXPECT_EQ(marks.size(), want.size());
    d->Last();
    for (size_t i = want.size(); i-- > 0; d->Prior()) expectShown(want, i);
    EXPECT_TRUE(d->Bof());
    for (size_t i = 0; i < marks.size(); ++i) {
      const size_t k = (i * 3 + 2) % marks.size();
      d->GotoBookmark(marks[k]);
      expectShown(want, k);
    }
    for (TBookmark& m : marks) d->FreeBookmark(m);
  };
  walk(byB);

  const auto locate = [d](int A, int B) { return d->Locate("a;b", VarArrayOf({Variant(A), Variant(B)}), {}); };
  ASSERT_TRUE(locate(1, 30));
  EXPECT_EQ(shown(), (std::vector<std::string>{"1", "30", "z", "note z"}));
  d->Refresh();
  EXPECT_EQ(shown(), (std::vector<std::string>{"1", "30", "z", "note z"}));
  d->Edit();
  d->FieldByName("v")->SetAsString("z!");
  d->Post();
  EXPECT_EQ(F.Db("SELECT a, b, v, n FROM k2 WHERE a = 1 ORDER BY b"),
            (Rows{{"1", "10", "x", "note x"}, {"1", "30", "z!", "note z"}}));
  d->Refresh();
  EXPECT_EQ(shown(), (std::vector<std::string>{"1", "30", "z!", "note z"}));
  walk(byB);

  // A delete hides that record only, not the one that shared its driver bookmark.
  ASSERT_TRUE(locate(1, 10));
  TBookmark gone = d->GetBookmark();
  d->Delete();
  EXPECT_EQ(F.Db("SELECT b FROM k2 ORDER BY b"), (Rows{{"20"}, {"30"}, {"40"}, {"50"}}));
  walk(byB);
  EXPECT_ANY_THROW(d->GotoBookmark(gone));
  d->FreeBookmark(gone);
  ASSERT_TRUE(locate(1, 30));
  EXPECT_EQ(shown(), (std::vector<std::string>{"1", "30", "z!", "note z"}));

  d->Close();
  d->SetSQL("SELECT a, b, v, n FROM k2 ORDER BY a, b");
  d->Open();
  walk("SELECT a, b, v, n FROM k2 ORDER BY a, b");
}
