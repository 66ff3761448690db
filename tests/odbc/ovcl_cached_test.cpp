// The ODBC data set with cached updates: changes kept in the cache with their update status and
// saved copies, applied and reverted by kind, errors on the way (skipped, raised and retried,
// the server gone), and the handlers that take a change over. A connection of its own checks
// what reached the database.
#include <algorithm>
#include <random>

#include "ovcl_fixture.h"
#include "text.h"

namespace {

using Rows = DataSetFixture::Rows;

TCustomODDataSet* OpenCached(DataSetFixture& F, const std::vector<std::string>& Values) {
  F.Table(Values);
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", true);
  d->SetEditable(true);
  d->SetCachedUpdates(true);
  d->Open();
  return d;
}

std::vector<std::string> FiveRows() {
  return {"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30", "4, 'stiri', 40", "5, 'pet', 50"};
}

bool GoTo(TDataSet* D, int Id) { return D->Locate("id", Variant(Id), {}); }

void SetName(TDataSet* D, int Id, const std::string& Name) {
  ASSERT_TRUE(GoTo(D, Id)) << Id;
  D->Edit();
  D->FieldByName("name")->SetAsString(Name);
  D->Post();
}

void InsertBefore(TDataSet* D, int Before, int Id, const std::string& Name) {
  ASSERT_TRUE(GoTo(D, Before)) << Before;
  D->Insert();
  D->FieldByName("id")->SetAsInteger(Id);
  D->FieldByName("name")->SetAsString(Name);
  D->Post();
}

void DeleteId(TDataSet* D, int Id) {
  ASSERT_TRUE(GoTo(D, Id)) << Id;
  D->Delete();
}

// id:name of every record the data set shows, in order.
std::string Shown(TDataSet* D) {
  std::string s;
  D->First();
  while (!D->Eof()) {
    s += D->FieldByName("id")->AsString() + ":" + D->FieldByName("name")->AsString() + " ";
    D->Next();
  }
  return s;
}

}  // namespace

DS_BOTH(ChangesWaitInTheCacheWithTheirStatus) {
  TCustomODDataSet* d = OpenCached(F, FiveRows());
  TField* name = d->FieldByName("name");
  // Editing twice keeps the values from before the first edit as the old ones.
  SetName(d, 2, "a");
  SetName(d, 2, "b");
  EXPECT_EQ(d->UpdateStatus(), usModified);
  EXPECT_EQ(name->AsString(), "b");
  EXPECT_EQ(name->OldValue().AsString(), "dva");
  EXPECT_EQ(d->PendingUpdates(), 1);
  ASSERT_TRUE(GoTo(d, 1));
  EXPECT_EQ(d->UpdateStatus(), usUnmodified);
  EXPECT_EQ(name->OldValue().AsString(), "ena");

  // A modified record deleted keeps its saved copy: the delete finds the row by its old key.
  ASSERT_TRUE(GoTo(d, 2));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(22);
  d->Post();
  DeleteId(d, 22);
  DeleteId(d, 3);
  EXPECT_EQ(d->PendingUpdates(), 2);
  // An inserted record deleted leaves no trace.
  InsertBefore(d, 4, 9, "devet");
  EXPECT_EQ(d->UpdateStatus(), usInserted);
  EXPECT_EQ(d->PendingUpdates(), 3);
  SetName(d, 9, "devet!");
  EXPECT_EQ(d->UpdateStatus(), usInserted);
  EXPECT_EQ(d->PendingUpdates(), 3);
  DeleteId(d, 9);
  EXPECT_EQ(d->PendingUpdates(), 2);
  InsertBefore(d, 4, 7, "sedem");
  SetName(d, 4, "stiri!");
  EXPECT_EQ(d->PendingUpdates(), 4);
  EXPECT_EQ(Shown(d), "1:ena 7:sedem 4:stiri! 5:pet ");
  const std::vector<std::pair<int, TUpdateStatus>> statuses = {
      {1, usUnmodified}, {7, usInserted}, {4, usModified}, {5, usUnmodified}};
  for (const auto& [id, status] : statuses) {
    ASSERT_TRUE(GoTo(d, id));
    EXPECT_EQ(d->UpdateStatus(), status) << id;
  }
  // Nothing reached the database yet.
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena"}, {"2", "dva"}, {"3", "tri"}, {"4", "stiri"}, {"5", "pet"}}));

  d->DeleteRecords(nullptr, true);
  EXPECT_EQ(d->PendingUpdates(), 2);
  d->InsertRecords(nullptr, true);
  d->UpdateRecords(nullptr, true);
  EXPECT_EQ(d->PendingUpdates(), 0);
  const Rows applied{{"1", "ena"}, {"4", "stiri!"}, {"5", "pet"}, {"7", "sedem"}};
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"), applied);
  for (int id : {1, 7, 4, 5}) {
    ASSERT_TRUE(GoTo(d, id));
    EXPECT_EQ(d->UpdateStatus(), usUnmodified) << id;
  }
  // Applied changes are no longer pending: the data set opens again and agrees.
  d->Close();
  d->Open();
  EXPECT_EQ(Shown(d), "1:ena 4:stiri! 5:pet 7:sedem ");
  delete d;
}

DS_BOTH(RevertingInAnyOrderRestoresTheStart) {
  F.Table(FiveRows());
  const std::vector<std::string> orders = {"UID", "UDI", "IUD", "IDU", "DUI", "DIU"};
  for (const std::string& order : orders) {
    SCOPED_TRACE(order);
    TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", true);
    d->SetEditable(true);
    d->SetCachedUpdates(true);
    d->Open();
    const std::string start = Shown(d);
    ASSERT_TRUE(GoTo(d, 4));
    TBookmark four = d->GetBookmark();
    // Deleted around inserted records: the deleted ones go back where they were in the result.
    InsertBefore(d, 2, 12, "x");
    DeleteId(d, 2);
    DeleteId(d, 1);
    SetName(d, 3, "tri!");
    DeleteId(d, 3);
    InsertBefore(d, 4, 34, "y");
    DeleteId(d, 4);
    DeleteId(d, 5);
    InsertBefore(d, 12, 1, "z");
    SetName(d, 34, "y!");
    EXPECT_EQ(Shown(d), "1:z 12:x 34:y! ");
    for (char kind : order) {
      if (kind == 'U') d->UpdateRecords(nullptr, false);
      if (kind == 'I') d->InsertRecords(nullptr, false);
      if (kind == 'D') d->DeleteRecords(nullptr, false);
    }
    EXPECT_EQ(Shown(d), start);
    EXPECT_EQ(d->PendingUpdates(), 0);
    EXPECT_EQ(d->OldCopyCount(), 0);
    // A bookmark taken before the delete finds the record again.
    d->GotoBookmark(four);
    EXPECT_EQ(d->FieldByName("id")->AsInteger(), 4);
    d->FreeBookmark(four);
    delete d;
  }
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena"}, {"2", "dva"}, {"3", "tri"}, {"4", "stiri"}, {"5", "pet"}}));
}

DS_BOTH(AnErrorSkippedByTheHandlerCountsAsApplied) {
  TCustomODDataSet* d = OpenCached(F, FiveRows());
  std::vector<std::pair<TUpdateKind, std::string>> errors;
  d->OnUpdateError = [&](TDataSet*, EODBC& E, TUpdateKind Kind, bool& RaiseError) {
    errors.emplace_back(Kind, E.Message());
    RaiseError = false;
  };
  SetName(d, 1, "ena!");
  ASSERT_TRUE(GoTo(d, 2));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(5);  // taken by another row
  d->Post();
  SetName(d, 3, "tri!");
  d->UpdateRecords(nullptr, true);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, ukModify);
  EXPECT_EQ(d->PendingUpdates(), 0);
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena!"}, {"2", "dva"}, {"3", "tri!"}, {"4", "stiri"}, {"5", "pet"}}));
  delete d;
}

DS_BOTH(AfterARaisedErrorARetryWritesOnlyTheRest) {
  TCustomODDataSet* d = OpenCached(F, FiveRows());
  std::vector<int> written;
  d->OnUpdateRecord = [&](TDataSet* D, TUpdateKind, bool&) { written.push_back(D->FieldByName("id")->AsInteger()); };
  SetName(d, 1, "ena!");
  ASSERT_TRUE(GoTo(d, 2));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(5);
  d->Post();
  SetName(d, 3, "tri!");
  EXPECT_THROW(d->UpdateRecords(nullptr, true), EODBC);
  EXPECT_EQ(written, (std::vector<int>{1, 5}));
  EXPECT_EQ(d->PendingUpdates(), 2);
  EXPECT_EQ(F.Db("SELECT id, name FROM t WHERE id <= 3 ORDER BY id"), (Rows{{"1", "ena!"}, {"2", "dva"}, {"3", "tri"}}));
  const std::vector<std::pair<int, TUpdateStatus>> statuses = {{1, usUnmodified}, {5, usModified}, {3, usModified}};
  for (const auto& [id, status] : statuses) {
    ASSERT_TRUE(GoTo(d, id));
    EXPECT_EQ(d->UpdateStatus(), status) << id;
  }
  // Mended and applied again: only the two records left are written.
  ASSERT_TRUE(GoTo(d, 5));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(6);
  d->Post();
  written.clear();
  d->UpdateRecords(nullptr, true);
  EXPECT_EQ(written, (std::vector<int>{6, 3}));
  EXPECT_EQ(d->PendingUpdates(), 0);
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena!"}, {"3", "tri!"}, {"4", "stiri"}, {"5", "pet"}, {"6", "dva"}}));
  delete d;
}

DS_BOTH(AHandlerThatTakesTheChangeOverLeavesTheDatabaseAlone) {
  TCustomODDataSet* d = OpenCached(F, FiveRows());
  std::vector<std::string> seen;
  d->OnUpdateRecord = [&](TDataSet* D, TUpdateKind Kind, bool& Apply) {
    // The record being applied and its old values are the ones the handler reads.
    seen.push_back(std::to_string(int(Kind)) + " " + D->FieldByName("name")->AsString() + " " +
                   D->FieldByName("name")->OldValue().AsString());
    Apply = false;
  };
  SetName(d, 1, "ena!");
  DeleteId(d, 2);
  InsertBefore(d, 3, 8, "osem");
  d->UpdateRecords(nullptr, true);
  d->DeleteRecords(nullptr, true);
  d->InsertRecords(nullptr, true);
  EXPECT_EQ(seen, (std::vector<std::string>{"0 ena! ena", "2 dva dva", "1 osem osem"}));
  EXPECT_EQ(d->PendingUpdates(), 0);
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena"}, {"2", "dva"}, {"3", "tri"}, {"4", "stiri"}, {"5", "pet"}}));
  delete d;
}

TEST_F(ServerDataSet, TheServerGoneWhileApplyingShowsNothingAsSavedThatIsNot) {
  TCustomODDataSet* d = OpenCached(*this, FiveRows());
  const std::string backend = BackendOf(Dbc);
  int calls = 0;
  d->OnUpdateRecord = [&](TDataSet*, TUpdateKind, bool&) {
    if (++calls == 2) TestEnv::PgAdmin("SELECT pg_terminate_backend(" + backend + ")");
  };
  SetName(d, 1, "ena!");
  SetName(d, 2, "dva!");
  SetName(d, 3, "tri!");
  EXPECT_THROW(d->UpdateRecords(nullptr, true), EODBC);
  EXPECT_EQ(Db("SELECT id, name FROM t WHERE id <= 3 ORDER BY id"), (Rows{{"1", "ena!"}, {"2", "dva"}, {"3", "tri"}}));
  // The connection went with the server: the changes not written are still pending, and are
  // written once it is back.
  // The records read stay on show (up to id 3); no further row can be read from the result
  // that went.
  ASSERT_TRUE(d->Active());
  EXPECT_EQ(d->PendingUpdates(), 2);
  d->First();
  std::string shown;
  try {
    while (!d->Eof()) {
      shown += d->FieldByName("name")->AsString() + " ";
      d->Next();
    }
    ADD_FAILURE() << "read to the end";
  } catch (const EODBCLibrary& e) {
    EXPECT_NE(std::string(e.what()).find("apply or cancel them"), std::string::npos) << e.what();
  }
  EXPECT_EQ(shown, "ena! dva! tri! ");
  d->UpdateRecords(nullptr, true);
  EXPECT_EQ(d->PendingUpdates(), 0);
  EXPECT_EQ(Db("SELECT id, name FROM t ORDER BY id"),
            (Rows{{"1", "ena!"}, {"2", "dva!"}, {"3", "tri!"}, {"4", "stiri"}, {"5", "pet"}}));
  d->Close();
  d->Open();
  EXPECT_EQ(Shown(d), "1:ena! 2:dva! 3:tri! 4:stiri 5:pet ");
  delete d;
}

namespace {

// Every field's bytes as the data set hands them out, with its null answer.
std::string Image(TDataSet* D) {
  std::string s;
  for (int i = 0; i < D->FieldCount(); ++i) {
    TField* f = D->Fields()->Fields(i);
    std::string buf(size_t(f->DataSize()), '\0');
    s += f->GetData(buf.data()) ? '1' : '0';
    s += buf;
  }
  return s;
}

}  // namespace

// The cache keeps its rows packed and unpacks one where it is shown: every record, read forward,
// backward and through bookmarks, after edits and deletes and their revert, gives the bytes the
// same row gives read without a cache. Seeded values of every shape a packed slot meets: texts
// of any length with characters of several bytes, empty and NULL, numbers with zero bytes,
// dates, and (SQLite) binary values ending in zero bytes and texts longer than their column,
// which are cut and keep their mark (posting such a record unassigned raises).
DS_BOTH(CachedRowsReadBackAsTheirRowsInAnyOrder) {
  std::mt19937 rng(25);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  const char* const letters[] = {"a", "Z", "0", "č", "Ž", "ß", "€"};
  auto text = [&](int MaxChars) {
    std::string t;
    for (int k = pick(MaxChars + 1); k > 0; --k) t += letters[pick(7)];
    return t;
  };
  const bool bin = !F.Pg;  // PostgreSQL's bytea is a long value, and rows with one stay unpacked
  F.Exec(std::string("CREATE TABLE p (id integer primary key, t varchar(12), i integer, b bigint, n numeric(12,3), "
                     "d date") + (bin ? ", bi blob)" : ")"));
  const int rows = 150;
  std::vector<std::string> texts(rows + 1);
  for (int id = 1; id <= rows; ++id) {
    auto nullOr = [&](const std::string& v) { return pick(5) == 0 ? std::string("NULL") : v; };
    texts[size_t(id)] = text(F.Pg ? 12 : 16);  // SQLite keeps a text of any length
    const std::string t = nullOr("'" + texts[size_t(id)] + "'");
    if (t == "NULL") texts[size_t(id)] = "<null>";
    const long long b = pick(3) == 0 ? 0 : (long long)(rng()) * (pick(2) ? 256 : -1);
    std::string blob = "x'";
    for (int k = pick(5); k > 0; --k) blob += pick(2) ? "00" : "7F";
    blob += "00'";
    F.Exec("INSERT INTO p VALUES (" + std::to_string(id) + ", " + t + ", " + nullOr(std::to_string(pick(3) - 1)) + ", " +
           nullOr(std::to_string(b)) + ", " + nullOr(std::to_string(pick(20000) - 10000) + ".125") + ", " +
           nullOr("'20" + std::to_string(10 + pick(20)) + "-0" + std::to_string(1 + pick(9)) + "-1" +
                  std::to_string(pick(10)) + "'") +
           (bin ? ", " + nullOr(blob) : "") + ")");
  }
  const std::string sql = std::string("SELECT id, t, i, b, n, d") + (bin ? ", bi" : "") + " FROM p ORDER BY id";
  std::vector<std::string> expected;
  TCustomODDataSet* direct = F.Open(sql, false);
  std::vector<int> cut;
  for (direct->First(); !direct->Eof(); direct->Next()) {
    TField* t = direct->FieldByName("t");
    const std::string& model = texts[expected.size() + 1];
    ASSERT_EQ(t->IsNull() ? "<null>" : t->AsString(), model == "<null>" ? model : Utf8Left(model, 12));
    if (model != "<null>" && Utf8Length(model) > 12) cut.push_back(int(expected.size()));
    expected.push_back(Image(direct));
  }
  EXPECT_EQ(cut.empty(), F.Pg);
  ASSERT_EQ(int(expected.size()), rows);
  direct->Close();

  TCustomODDataSet* d = F.Make(sql, true);
  d->SetEditable(true);
  d->SetCachedUpdates(true);
  d->Open();
  auto current = [&] { return d->FieldByName("id")->AsInteger() - 1; };
  auto checkAll = [&](const char* when) {
    int k = 0;
    for (d->First(); !d->Eof(); d->Next(), ++k) ASSERT_EQ(Image(d), expected[size_t(current())]) << when << " " << k;
    EXPECT_EQ(k, rows) << when;
    k = 0;
    for (d->Last(); !d->Bof(); d->Prior(), ++k) ASSERT_EQ(Image(d), expected[size_t(current())]) << when << " " << k;
  };
  checkAll("read");
  std::vector<TBookmark> marks;
  for (d->First(); !d->Eof(); d->Next()) marks.push_back(d->GetBookmark());
  for (int n = 0; n < 200; ++n) {
    const int k = pick(rows);
    d->GotoBookmark(marks[size_t(k)]);
    ASSERT_EQ(current(), k);
    EXPECT_EQ(d->RecNo(), k + 1);
    ASSERT_EQ(Image(d), expected[size_t(k)]) << k;
  }
  for (TBookmark& m : marks) d->FreeBookmark(m);
  for (int k : cut) {
    ASSERT_TRUE(d->Locate("id", Variant(k + 1), {}));
    d->Edit();
    d->FieldByName("i")->SetAsInteger(7);
    EXPECT_THROW(d->Post(), EODBCLibrary) << k;
    d->Cancel();
  }

  std::vector<int> edited;
  for (int k = 0; k < rows; k += 1 + pick(4)) {
    ASSERT_TRUE(d->Locate("id", Variant(k + 1), {}));
    d->Edit();
    d->FieldByName("t")->SetAsString("x" + text(5));
    d->FieldByName("i")->Clear();
    d->Post();
    edited.push_back(k);
  }
  for (int k = 0; k < rows; ++k) {
    ASSERT_TRUE(d->Locate("id", Variant(k + 1), {}));
    const bool changed = std::find(edited.begin(), edited.end(), k) != edited.end();
    if (changed)
      EXPECT_EQ(d->FieldByName("t")->AsString()[0], 'x') << k;
    else
      EXPECT_EQ(Image(d), expected[size_t(k)]) << k;
    EXPECT_EQ(d->UpdateStatus(), changed ? usModified : usUnmodified) << k;
  }
  d->UpdateRecords(nullptr, false);
  checkAll("edits reverted");

  for (int n = 0; n < 20; ++n) {
    d->First();
    d->MoveBy(pick(rows - n));
    d->Delete();
  }
  d->DeleteRecords(nullptr, false);
  checkAll("deletes reverted");
  EXPECT_EQ(d->PendingUpdates(), 0);
}
