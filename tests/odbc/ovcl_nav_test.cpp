// The ODBC data set moving through its records: navigation, bookmarks, record numbers and
// counts, forward-only cursors, the cache primitives, filtering and a result ended under it.
#include <chrono>
#include <cstring>

#include "odbcapi.h"
#include "ovcl_fixture.h"

namespace {

std::vector<std::string> FiveRows() {
  return {"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30", "4, 'štiri', 40", "5, 'pet', 50"};
}

// Catches what data sets hand to the application's exception handling.
struct ExceptionCatcher {
  ExceptionCatcher() {
    Messages().clear();
    HandleExceptionHook = [](TObject*) {
      try {
        throw;
      } catch (const std::exception& e) {
        Messages().push_back(e.what());
      }
    };
  }
  ~ExceptionCatcher() { HandleExceptionHook = nullptr; }
  static std::vector<std::string>& Messages() {
    static std::vector<std::string> m;
    return m;
  }
};

// Stand-ins for what no driver here does: a bookmark that every row shares, and no size of a
// result.
SQLRETURN SQL_API SharedBookmark(SQLHSTMT H, SQLUSMALLINT Col, SQLSMALLINT Type, SQLPOINTER Value, SQLLEN Length,
                                 SQLLEN* Ind) {
  const SQLRETURN rc = ::SQLGetData(H, Col, Type, Value, Length, Ind);
  if (Col == 0 && SQL_SUCCEEDED(rc) && Value != nullptr && Length > 0) std::memset(Value, 7, size_t(Length));
  return rc;
}

SQLRETURN SQL_API NoCursorRowCount(SQLSMALLINT Type, SQLHANDLE H, SQLSMALLINT Rec, SQLSMALLINT Id, SQLPOINTER Value,
                                   SQLSMALLINT Length, SQLSMALLINT* Got) {
  if (Id == SQL_DIAG_CURSOR_ROW_COUNT) return SQL_NO_DATA;
  return ::SQLGetDiagField(Type, H, Rec, Id, Value, Length, Got);
}

}  // namespace

// Where a record could be found as another, the data set refuses instead: rows that share the
// driver's bookmark (on a driver whose rows do not keep their numbers), and on SQLite a row
// whose number is not known (reached from the end of a result of unknown size).
TEST_F(ServerDataSet, RowsThatShareTheDriversBookmarkAreRefused) {
  Table(FiveRows());
  TODBCApiOverride api;
  api.Table().SQLGetData = SharedBookmark;
  TCustomODDataSet* d = Open("SELECT id FROM t ORDER BY id", false);
  try {
    d->Next();
    ADD_FAILURE() << "no exception";
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "The driver gives rows of this result the same bookmark: read it with Cached set.");
  }
}

TEST_F(OdbcDataSet, ARowWhoseNumberIsNotKnownIsRefused) {
  Table(FiveRows());
  TODBCApiOverride api;
  api.Table().SQLGetDiagField = NoCursorRowCount;
  TCustomODDataSet* d = Open("SELECT id FROM t ORDER BY id", false);
  d->Next();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 2);
  try {
    d->Last();
    ADD_FAILURE() << "no exception";
  } catch (const EODBCLibrary& e) {
    EXPECT_NE(std::string(e.what()).find("is not known"), std::string::npos) << e.what();
  }
  d->First();
  EXPECT_EQ(Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));
}

DS_ALL(NavigationBookmarksAndRecordNumbers) {
  F.Table(FiveRows());
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->hStmt()->SetRowCountMethod(rcCustom);
  d->Open();
  TField* id = d->FieldByName("id");
  EXPECT_TRUE(d->Bof());
  EXPECT_EQ(id->AsInteger(), 1);
  d->Next();
  EXPECT_EQ(id->AsInteger(), 2);
  d->Prior();
  EXPECT_EQ(id->AsInteger(), 1);
  d->Prior();
  EXPECT_TRUE(d->Bof());
  EXPECT_EQ(d->MoveBy(3), 3);
  EXPECT_EQ(id->AsInteger(), 4);
  EXPECT_EQ(d->RecNo(), InCache ? 4 : -1);
  d->Last();
  EXPECT_EQ(id->AsInteger(), 5);
  EXPECT_TRUE(d->Eof());
  d->Next();
  EXPECT_TRUE(d->Eof());
  EXPECT_EQ(d->MoveBy(-2), -2);
  EXPECT_EQ(id->AsInteger(), 3);
  // The cache counts its rows (reading the rest); without it the statement's count stands.
  EXPECT_EQ(d->DoRowCount(nullptr), InCache ? 5 : -1);
  if (InCache) {
    EXPECT_EQ(d->RecordCount(), 5);
  }

  // Bookmarks: the row number on SQLite (8 bytes), the driver's on PostgreSQL (4), zero-padded;
  // 4 in a cache.
  TBookmark b3 = d->GetBookmark();
  if (InCache) {
    EXPECT_EQ(d->BookmarkSize(), 4);
  } else {
    ASSERT_GE(d->BookmarkSize(), 8);
    for (int i = F.Pg ? 4 : 8; i < d->BookmarkSize(); ++i) EXPECT_EQ(b3[i], 0) << i;
  }
  d->First();
  TBookmark b1 = d->GetBookmark();
  d->GotoBookmark(b3);
  EXPECT_EQ(id->AsInteger(), 3);
  EXPECT_EQ(d->FieldByName("name")->AsString(), "tri");
  d->Next();
  EXPECT_EQ(id->AsInteger(), 4);
  d->GotoBookmark(b1);
  EXPECT_EQ(id->AsInteger(), 1);
  TBookmark again = d->GetBookmark();
  EXPECT_EQ(d->CompareBookmarks(b1, again), 0);
  EXPECT_NE(d->CompareBookmarks(b1, b3), 0);
  EXPECT_EQ(d->CompareBookmarks(b1, nullptr), 1);
  EXPECT_EQ(d->CompareBookmarks(nullptr, b1), 1);
  EXPECT_EQ(d->CompareBookmarks(nullptr, nullptr), 0);
  EXPECT_FALSE(d->BookmarkValid(nullptr));
  d->FreeBookmark(b1);
  d->FreeBookmark(b3);
  d->FreeBookmark(again);
  if (InCache) {
    d->SetRecNo(4);
    EXPECT_EQ(id->AsInteger(), 4);
    EXPECT_EQ(d->RecNo(), 4);
    EXPECT_TRUE(d->MoveAbsolute(9));  // past the end: the last row
    EXPECT_EQ(id->AsInteger(), 5);
  }
}

DS_ALL(AnEmptyResult) {
  F.Table({});
  TCustomODDataSet* d = F.Open("SELECT id, name FROM t", InCache);
  EXPECT_TRUE(d->IsEmpty());
  EXPECT_TRUE(d->Bof());
  EXPECT_TRUE(d->Eof());
  EXPECT_EQ(d->RecNo(), InCache ? 0 : -1);
  EXPECT_TRUE(d->FieldByName("id")->IsNull());
  EXPECT_TRUE(d->MoveAbsolute(3));
  d->Last();
  EXPECT_TRUE(d->IsEmpty());
}

TEST_F(ServerDataSet, AForwardOnlyCursorIsRefusedWithoutACacheAndMovesBackWithOne) {
  Table(FiveRows());
  TCustomODDataSet* d = Make("SELECT id FROM t ORDER BY id", false);
  d->hStmt()->SetCursorType(SQL_CURSOR_FORWARD_ONLY);
  try {
    d->Open();
    ADD_FAILURE() << "opened";
  } catch (const EODBCLibrary& e) {
    EXPECT_NE(std::string(e.what()).find("set Cached"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(d->Active());
  d->SetCached(true);
  EXPECT_EQ(d->hStmt()->CursorType(), SQLULEN(SQL_CURSOR_FORWARD_ONLY));
  d->Open();
  EXPECT_EQ(Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));
  d->Last();
  d->Prior();
  d->Prior();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
}

// SQLite's forward-only cursor, its rows numbered as they are read: read forward without a cache
// (and without the driver holding the result), never back.
TEST_F(OdbcDataSet, AForwardOnlyCursorReadsForwardWithoutACache) {
  Table(FiveRows());
  TCustomODDataSet* d = Make("SELECT id FROM t ORDER BY id", false);
  d->hStmt()->SetCursorType(SQL_CURSOR_FORWARD_ONLY);
  d->Open();
  EXPECT_EQ(Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_THROW(d->First(), EODBCLibrary);
  d->Close();
  d->Open();
  d->Next();
  d->Prior();  // a forward-only cursor does not go back
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 2);
  EXPECT_THROW(d->Last(), EODBCLibrary);
}

DS_BOTH(CachePrimitives) {
  F.Table(FiveRows());
  TCustomODDataSet* d = F.Make("SELECT id FROM t ORDER BY id", true);
  d->hStmt()->SetRowSetSize(5);
  d->hStmt()->SetRowSetSize(1);
  d->Open();
  // The framework read the first record; the cache fetches as far as it is asked.
  EXPECT_EQ(d->CacheCount(), 1);
  EXPECT_TRUE(d->FetchCache(SQL_FETCH_FIRST, 0));
  EXPECT_FALSE(d->FetchPrev());
  EXPECT_EQ(d->CachePos(), 0);
  EXPECT_FALSE(d->FetchPrev());
  EXPECT_EQ(d->CachePos(), 0);
  EXPECT_TRUE(d->FetchAbsolute(3));
  EXPECT_EQ(d->CacheCount(), 3);
  EXPECT_FALSE(d->AllFetched());
  EXPECT_TRUE(d->FetchAbsolute(-1));
  EXPECT_EQ(d->CachePos(), 5);
  EXPECT_TRUE(d->AllFetched());
  EXPECT_FALSE(d->FetchNext());
  EXPECT_EQ(d->CachePos(), 6);
  EXPECT_FALSE(d->FetchAbsolute(-9));
  EXPECT_EQ(d->CachePos(), 0);
  EXPECT_FALSE(d->FetchAbsolute(0));
  // A record id that left the cache.
  const std::int32_t id2 = d->RecordId(d->CacheRecord(1));
  d->DeleteCacheRecord(1);
  try {
    d->FetchCache(SQL_FETCH_BOOKMARK, id2);
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "Bookmark not found in cache.");
  }
  // A record inserted in the middle: ids no longer rise along the list, lookups still find.
  TRecordBuffer rec = d->NewCacheRecord();
  const std::int32_t newId = d->RecordId(rec);
  d->InsertCacheRecord(1, rec);
  EXPECT_EQ(d->IndexOfCacheId(newId), 1);
  EXPECT_EQ(d->IndexOfCacheId(d->RecordId(d->CacheRecord(3))), 3);
  EXPECT_EQ(d->IndexOfCacheId(id2), -1);
  d->Close();

  // Row sets of five rows: asking for the third record of an empty cache appends a row set.
  d->hStmt()->SetRowSetSize(5);
  EXPECT_TRUE(d->Cached());
  d->Open();
  EXPECT_EQ(d->CacheCount(), 5);
  EXPECT_FALSE(d->AllFetched());
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));
}

DS_ALL(AFilterHandlerSeesTheRecordUnderTest) {
  F.Table(FiveRows());
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", InCache);
  int opens = 0;
  d->AfterOpen = [&](TDataSet*) { ++opens; };
  std::vector<int> seen;
  d->SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
    seen.push_back(ds->FieldByName("id")->AsInteger());
    accept = ds->FieldByName("qty")->AsInteger() % 20 != 0;
  });
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));  // not filtered yet
  EXPECT_TRUE(seen.empty());
  d->SetFiltered(true);
  // A cache is filtered again without opening; a cursor is read again.
  EXPECT_EQ(opens, InCache ? 1 : 2);
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(seen.size() >= 5, true);
  // Searching passes the filter too; the handler still reads the record under test.
  EXPECT_FALSE(d->Locate("id", Variant(2), {}));
  EXPECT_TRUE(d->Locate("id", Variant(3), {}));
  EXPECT_EQ(d->FieldByName("name")->AsString(), "tri");
  d->Last();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 5);
  d->Prior();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
  d->SetFiltered(false);
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));
}

DS_ALL(AFilterHandlerThatThrowsIsReportedAndReadingGoesOn) {
  F.Table(FiveRows());
  ExceptionCatcher catcher;
  TCustomODDataSet* d = F.Make("SELECT id, qty FROM t ORDER BY id", InCache);
  d->SetOnFilterRecord([](TDataSet* ds, bool& accept) {
    const int id = ds->FieldByName("id")->AsInteger();
    if (id == 2) {
      accept = false;
      throw EConvertError("ne gre: 2");
    }
    if (id == 4) throw EConvertError("ne gre: 4");  // Accept still True
  });
  d->SetFiltered(true);
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 3, 4, 5}));
  ASSERT_GE(catcher.Messages().size(), 2u);
  EXPECT_EQ(catcher.Messages()[0], "ne gre: 2");
}

DS_ALL(FindFirstNextPriorUseTheFilterHandler) {
  F.Table(FiveRows());
  TCustomODDataSet* d = F.Make("SELECT id, qty FROM t ORDER BY id", InCache);
  d->SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("qty")->AsInteger() >= 30; });
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 2, 3, 4, 5}));  // Filtered is off
  ASSERT_TRUE(d->FindFirst());
  EXPECT_TRUE(d->Found());
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
  ASSERT_TRUE(d->FindNext());
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 4);
  ASSERT_TRUE(d->FindPrior());
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
  EXPECT_FALSE(d->FindPrior());
  EXPECT_FALSE(d->Found());
  ASSERT_TRUE(d->FindLast());
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 5);
  EXPECT_FALSE(d->FindNext());
  // The neighbours of a found record are not filtered.
  d->Prior();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 4);
}

// A failed write on the same connection ends PostgreSQL's server cursor (UseDeclareFetch=1,
// Fetch=1000 here) silently, and scrolling it then crashes the driver: the data set raises.
TEST_F(ServerDataSet, AResultEndedByAFailedWriteRaisesInsteadOfEndingEarly) {
  Exec("CREATE TABLE t (id integer primary key, name varchar(20), qty integer)");
  Exec("INSERT INTO t SELECT g, 'n', g FROM generate_series(1, 3000) g");
  for (bool cached : {false, true}) {
    SCOPED_TRACE(cached ? "cached" : "direct");
    TCustomODDataSet* d = Open("SELECT id FROM t ORDER BY id", cached);
    EXPECT_THROW(Exec("INSERT INTO t VALUES (1, 'x', 1)"), EODBC);
    int n = 0;
    try {
      while (!d->Eof()) {
        ++n;
        d->Next();
      }
      ADD_FAILURE() << "read " << n << " rows and ended";
    } catch (const EODBCLibrary& e) {
      EXPECT_NE(std::string(e.what()).find("open the data set again"), std::string::npos) << e.what();
    }
    d->Close();
    d->Open();
    d->Last();
    EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3000);
    delete d;
  }
}

DS_BOTH(FindingACacheRecordByBookmarkIsNotAScan) {
  F.Exec("CREATE TABLE big (id integer primary key)");
  F.Exec(F.Pg ? "INSERT INTO big SELECT g FROM generate_series(1, 100000) g"
              : "INSERT INTO big WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 100000) "
                "SELECT x FROM c");
  TCustomODDataSet* d = F.Open("SELECT id FROM big ORDER BY id", true);
  d->Last();
  std::vector<std::vector<char>> marks;
  for (int i = 0; i < 100; ++i) {
    d->MoveAbsolute(1 + (i * 7919) % 100000);
    TBookmark b = d->GetBookmark();
    marks.emplace_back(b, b + 4);
    d->FreeBookmark(b);
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (int round = 0; round < 200; ++round)
    for (size_t i = 0; i < marks.size(); ++i) {
      d->GotoBookmark(marks[i].data());
      ASSERT_EQ(d->FieldByName("id")->AsInteger(), 1 + int(i * 7919) % 100000);
    }
  // 20,000 moves; a scan of the cache for each would compare a billion ids.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 20.0);
}
