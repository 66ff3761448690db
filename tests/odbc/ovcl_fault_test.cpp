// The data set's writes under faults a user meets: the server session ended mid-write, another
// user's change between the read and the write, text the database must keep byte for byte.
// A connection of its own checks what reached the database.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "filelimit.h"
#include "ovcl_fixture.h"
#include "write_hook.h"

namespace {

using Rows = StmtFixture::Rows;

TCustomODDataSet* OpenEditable(DataSetFixture& F, const std::string& Sql, bool InCache) {
  TCustomODDataSet* d = F.Make(Sql, InCache);
  d->SetEditable(true);
  d->Open();
  return d;
}

}  // namespace

// A post reported done is in the database at once, for every other user, and stays there when
// the session ends right after it.
DS_ALL(APostedRowIsCommittedAtOnce) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30"});
  TCustomODDataSet* d = OpenEditable(F, "SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->Edit();
  d->FieldByName("name")->SetAsString("ena!");
  d->Post();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 1"), (Rows{{"ena!"}}));
  d->Next();
  d->Delete();
  EXPECT_EQ(F.Db("SELECT count(*) FROM t WHERE id = 2"), (Rows{{"0"}}));
  d->Append();
  d->FieldByName("id")->SetAsInteger(4);
  d->FieldByName("name")->SetAsString("stiri");
  d->Post();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 4"), (Rows{{"stiri"}}));
  if (F.Pg) TestEnv::PgAdmin("SELECT pg_terminate_backend(" + BackendOf(F.Dbc) + ")");
  EXPECT_EQ(F.Db("SELECT id, name FROM t ORDER BY id"), (Rows{{"1", "ena!"}, {"3", "tri"}, {"4", "stiri"}}));
}

// The session ends just before the write reaches the server: the post raises and nothing is
// written. It ends just after the write: the row is written, and the post says so (no raise),
// whatever reading it back did.
TEST_F(ServerDataSet, TheSessionEndedAroundAPost) {
  for (bool after : {false, true})
    for (int op : {0, 1, 2}) {  // edit, insert, delete
      for (bool cached : {false, true}) {
        SCOPED_TRACE(std::string(after ? "after" : "before") + " op " + std::to_string(op) + (cached ? " cached" : " direct"));
        Exec("DROP TABLE IF EXISTS t");
        Table({"1, 'ena', 10", "2, 'dva', 20"});
        TCustomODDataSet* d = OpenEditable(*this, "SELECT id, name, qty FROM t ORDER BY id", cached);
        const std::string backend = BackendOf(Dbc);
        const Rows before = Db("SELECT id, name, qty FROM t ORDER BY id");
        Rows written = before;
        bool raised = false;
        {
        TODBCApiOverride api;
        WriteHook hook(api);
        (after ? WriteHook::After : WriteHook::Before) = [&] { TestEnv::PgAdmin("SELECT pg_terminate_backend(" + backend + ")"); };
        try {
          if (op == 0) {
            d->Edit();
            d->FieldByName("name")->SetAsString("ena!");
            d->Post();
            written[0][1] = "ena!";
          } else if (op == 1) {
            d->Append();
            d->FieldByName("id")->SetAsInteger(3);
            d->FieldByName("name")->SetAsString("tri");
            d->Post();
            written.push_back({"3", "tri", "<NULL>"});
          } else {
            d->Delete();
            written.erase(written.begin());
          }
        } catch (const std::exception& e) {
          raised = true;
          if (after) ADD_FAILURE() << "raised although written: " << e.what();
        }
        }
        EXPECT_EQ(raised, !after);
        EXPECT_EQ(Db("SELECT id, name, qty FROM t ORDER BY id"), after ? written : before);
        // A lost link closes the connection's data sets (TerminateOnLinkError); one that stays
        // open keeps the values typed where they were not written, and none where they were.
        if (d->Active()) {
          EXPECT_EQ(d->State(), after || op == 2 ? dsBrowse : op == 0 ? dsEdit : dsInsert);
        }
        delete d;
        Dbc->SetConnected(false);
      }
    }
}

// Under cached updates the session ends just after one change of an apply was written: that
// change counts as applied (a second apply would insert the row twice or raise for a change the
// database holds), and the rest stays pending and is written once the server is back.
TEST_F(ServerDataSet, TheSessionEndedJustAfterAnApplyWroteAChange) {
  for (int kind : {0, 1, 2}) {  // update, insert, delete
    SCOPED_TRACE(kind);
    Exec("DROP TABLE IF EXISTS t");
    Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30"});
    TCustomODDataSet* d = Make("SELECT id, name, qty FROM t ORDER BY id", true);
    d->SetEditable(true);
    d->SetCachedUpdates(true);
    d->Open();
    ASSERT_TRUE(d->Locate("id", Variant(1), {}));
    d->Edit();
    d->FieldByName("name")->SetAsString("ena!");
    d->Post();
    ASSERT_TRUE(d->Locate("id", Variant(3), {}));
    d->Edit();
    d->FieldByName("name")->SetAsString("tri!");
    d->Post();
    d->Append();
    d->FieldByName("id")->SetAsInteger(4);
    d->FieldByName("name")->SetAsString("stiri");
    d->Post();
    d->Append();
    d->FieldByName("id")->SetAsInteger(5);
    d->FieldByName("name")->SetAsString("pet");
    d->Post();
    ASSERT_TRUE(d->Locate("id", Variant(2), {}));
    d->Delete();
    const std::string backend = BackendOf(Dbc);
    {
      TODBCApiOverride api;
      WriteHook hook(api);
      WriteHook::After = [&] { TestEnv::PgAdmin("SELECT pg_terminate_backend(" + backend + ")"); };
      // The apply goes on to its next change, if any, and raises there: the link is gone.
      try {
        kind == 0 ? d->UpdateRecords(nullptr, true) : kind == 1 ? d->InsertRecords(nullptr, true) : d->DeleteRecords(nullptr, true);
        EXPECT_EQ(kind, 2);
      } catch (const EODBC&) {
        EXPECT_NE(kind, 2);
      }
    }
    EXPECT_EQ(d->PendingUpdates(), 4);
    ASSERT_TRUE(d->Active());
    // The first statement on the lost link finds it lost (and raises); the next reconnects.
    const auto applyAll = [d] {
      d->DeleteRecords(nullptr, true);
      d->InsertRecords(nullptr, true);
      d->UpdateRecords(nullptr, true);
    };
    // (Tried again once the error is gone: its end tears the lost link down.)
    bool lost = false;
    try {
      applyAll();
    } catch (const EODBC&) {
      lost = true;
    }
    if (lost) applyAll();
    EXPECT_EQ(d->PendingUpdates(), 0);
    EXPECT_EQ(Db("SELECT id, name FROM t ORDER BY id"), (Rows{{"1", "ena!"}, {"3", "tri!"}, {"4", "stiri"}, {"5", "pet"}}));
    delete d;
    Dbc->SetConnected(false);
  }
}

// Another user changes or deletes the row between the read and the post. The post writes only
// what this record changed (another user's value of another column stays), or raises where the
// row is gone or the driver's own update sees the change; it never reports a write it did not do.
DS_ALL(AnotherUsersChangeBetweenReadAndPost) {
  struct Case {
    const char* Other;     // what the other user does to row 1
    const char* Mine;      // the name this record posts
    Rows Written;          // the table after a post reported done
  };
  const std::vector<Case> cases = {
      {"UPDATE t SET qty = 11 WHERE id = 1", "ena!", {{"1", "ena!", "11"}, {"2", "dva", "20"}}},
      {"UPDATE t SET name = 'njihov' WHERE id = 1", "ena!", {{"1", "ena!", "10"}, {"2", "dva", "20"}}},
      {"DELETE FROM t WHERE id = 1", "ena!", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Other);
    F.Exec("DROP TABLE IF EXISTS t");
    F.Table({"1, 'ena', 10", "2, 'dva', 20"});
    TCustomODDataSet* d = OpenEditable(F, "SELECT id, name, qty FROM t ORDER BY id", InCache);
    d->Edit();
    d->FieldByName("name")->SetAsString(c.Mine);
    F.DbExec(c.Other);
    const Rows theirs = F.Db("SELECT id, name, qty FROM t ORDER BY id");
    bool raised = false;
    try {
      d->Post();
    } catch (const EODBC&) {
      raised = true;
      d->Cancel();
    } catch (const EODBCLibrary&) {
      raised = true;
    }
    const Rows now = F.Db("SELECT id, name, qty FROM t ORDER BY id");
    if (c.Written.empty()) {
      EXPECT_TRUE(raised);
    }
    EXPECT_EQ(now, raised ? theirs : c.Written);
    delete d;
  }
}

// Text with control characters and letters beyond ASCII, as a value and as a key: written,
// found by and read back byte for byte.
DS_ALL(TextOfEveryKindIsWrittenAndFoundExactly) {
  F.Exec("CREATE TABLE tx (k varchar(40) PRIMARY KEY, v varchar(60))");
  const std::vector<std::string> texts = {"Čebelarstvo Žagar", "šđčćž ŠĐČĆŽ", "tab\there", "crlf\r\nnext",
                                          std::string("bell\x07 esc\x1b del\x7f"), "quote ' and \" and \\"};
  TCustomODDataSet* d = OpenEditable(F, "SELECT k, v FROM tx ORDER BY k", InCache);
  for (size_t i = 0; i < texts.size(); ++i) {
    d->Append();
    d->FieldByName("k")->SetAsString(texts[i]);
    d->FieldByName("v")->SetAsString("v" + std::to_string(i));
    d->Post();
  }
  d->Close();
  d->Open();
  // Each record edited by its key: the value reaches exactly its row.
  while (!d->Eof()) {
    const std::string k = d->FieldByName("k")->AsString();
    d->Edit();
    d->FieldByName("v")->SetAsString(k + "|");
    d->Post();
    d->Refresh();
    d->Next();
  }
  Rows expected;
  for (const std::string& t : texts) expected.push_back({t, t + "|"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(F.Db("SELECT k, v FROM tx ORDER BY k"), expected);
  // A refresh reads each row back as it is stored.
  d->First();
  for (const auto& row : expected) {
    ASSERT_FALSE(d->Eof());
    EXPECT_EQ(d->FieldByName("k")->AsString(), row[0]);
    EXPECT_EQ(d->FieldByName("v")->AsString(), row[1]);
    d->Next();
  }
  delete d;
}

// A key edited and posted: the refresh and the delete that follow find the row by its new key.
DS_ALL(AKeyEditedThenRefreshedAndDeleted) {
  F.Table({"1, 'ena', 10", "11, 'enajst', 110", "2, 'dva', 20"});
  TCustomODDataSet* d = OpenEditable(F, "SELECT id, name, qty FROM t ORDER BY id", InCache);
  ASSERT_TRUE(d->Locate("id", Variant(2), {}));
  d->Edit();
  d->FieldByName("id")->SetAsInteger(12);
  d->Post();
  F.DbExec("UPDATE t SET qty = 120 WHERE id = 12");
  d->Refresh();
  ASSERT_TRUE(d->Locate("id", Variant(12), {}));
  EXPECT_EQ(d->FieldByName("qty")->AsInteger(), 120);
  d->Delete();
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), (Rows{{"1", "ena", "10"}, {"11", "enajst", "110"}}));
  delete d;
}

// Two users edit the same row through data sets of their own connections: each post either
// reaches the database or raises with nothing written; the second one's columns win where both
// wrote.
DS_ALL(TwoConnectionsEditTheSameRow) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20"});
  auto* other = new THdbc(F.Owner.get());
  other->SetName("Druga");
  other->SetDataSource(F.Pg ? "PG" : "SQLITE");
  TCustomODDataSet* a = OpenEditable(F, "SELECT id, name, qty FROM t ORDER BY id", InCache);
  TCustomODDataSet* b = F.Make("SELECT id, name, qty FROM t ORDER BY id", InCache);
  b->SetHdbc(other);
  b->SetEditable(true);
  b->Open();
  a->Edit();
  a->FieldByName("name")->SetAsString("prvi");
  b->Edit();
  b->FieldByName("name")->SetAsString("drugi");
  b->FieldByName("qty")->SetAsInteger(11);
  const auto post = [](TDataSet* D) {
    try {
      D->Post();
      return true;
    } catch (const EODBCLibrary& e) {
      EXPECT_EQ(e.Message(), "the content was changed before updates");
      D->Cancel();
      return false;
    }
  };
  const bool first = post(a);
  EXPECT_TRUE(first);
  EXPECT_EQ(F.Db("SELECT name, qty FROM t WHERE id = 1"), (Rows{{first ? "prvi" : "ena", "10"}}));
  const bool second = post(b);
  EXPECT_EQ(F.Db("SELECT name, qty FROM t WHERE id = 1"),
            (Rows{{second ? "drugi" : first ? "prvi" : "ena", second ? "11" : "10"}}));
  // PostgreSQL's own positioned update (direct mode) sees that the row changed since it was
  // read and refuses; the generated update writes by the key.
  EXPECT_EQ(second, !(F.Pg && !InCache));
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 2"), (Rows{{"dva"}}));
  delete b;
  delete a;
}

// SQLite: the database's disk fills up while a cached apply writes. The apply raises at the
// change that did not fit; the database holds exactly the changes before it, each whole; the
// rest stays pending and is written, each once, when there is room again.
TEST_F(OdbcDataSet, TheDiskFillsDuringACachedApply) {
  const int count = 40;
  const auto value = [](int I) { return std::string(3000, char('a' + I % 26)) + std::to_string(I); };
  for (bool inserts : {true, false}) {
    SCOPED_TRACE(inserts ? "inserts" : "updates");
    Exec("DROP TABLE IF EXISTS big");
    Exec("VACUUM");  // the file gives the dropped table's pages back: the writes must grow it
    Exec("CREATE TABLE big (id integer PRIMARY KEY, v text)");
    if (!inserts)
      for (int i = 1; i <= count; ++i) Exec("INSERT INTO big VALUES (" + std::to_string(i) + ", 'nic')");
    TCustomODDataSet* d = Make("SELECT id, v FROM big ORDER BY id", true);
    d->SetEditable(true);
    d->SetCachedUpdates(true);
    d->Open();
    for (int i = 1; i <= count; ++i) {
      if (inserts) {
        d->Append();
        d->FieldByName("id")->SetAsInteger(i);
      } else {
        ASSERT_TRUE(d->Locate("id", Variant(i), {}));
        d->Edit();
      }
      d->FieldByName("v")->SetAsString(value(i));
      d->Post();
    }
    const auto apply = [&] { inserts ? d->InsertRecords(nullptr, true) : d->UpdateRecords(nullptr, true); };
    bool raised = false;
    WithFilesLimitedTo(std::filesystem::file_size(Env.SqliteFile()) + 12 * 4096, [&] {
      try {
        apply();
      } catch (const EODBCLibrary&) {
        raised = true;
      }
    });
    ASSERT_TRUE(raised);
    const Rows stored = Db("SELECT id, v FROM big WHERE v <> 'nic' ORDER BY id");
    ASSERT_GT(stored.size(), 0u);
    ASSERT_LT(stored.size(), size_t(count));
    for (size_t i = 0; i < stored.size(); ++i)
      EXPECT_EQ(stored[i], (std::vector<std::string>{std::to_string(i + 1), value(int(i) + 1)}));
    EXPECT_EQ(d->PendingUpdates(), count - int(stored.size()));
    apply();
    EXPECT_EQ(d->PendingUpdates(), 0);
    Rows all;
    for (int i = 1; i <= count; ++i) all.push_back({std::to_string(i), value(i)});
    EXPECT_EQ(Db("SELECT id, v FROM big ORDER BY id"), all);
    delete d;
  }
}

// SQLite: no room for a post's row. The post raises, the record keeps the values typed, and the
// database holds nothing of it; with room again the same post writes it.
TEST_F(OdbcDataSet, TheDiskFillsDuringAPost) {
  Exec("CREATE TABLE big (id integer PRIMARY KEY, v text)");
  Exec("INSERT INTO big VALUES (1, 'ena')");
  Exec("INSERT INTO big VALUES (2, 'dva')");
  const std::string large(200000, 'x');
  for (bool insert : {false, true}) {
    SCOPED_TRACE(insert ? "insert" : "edit");
    TCustomODDataSet* d = Make("SELECT id, v FROM big ORDER BY id", false);
    d->SetEditable(true);
    d->Open();
    const Rows before = Db("SELECT id, v FROM big ORDER BY id");
    if (insert) {
      d->Append();
      d->FieldByName("id")->SetAsInteger(3);
    } else {
      d->Edit();
    }
    d->FieldByName("v")->SetAsString(large);
    bool raised = false;
    WithFilesLimitedTo(std::filesystem::file_size(Env.SqliteFile()) + 8192, [&] {
      try {
        d->Post();
      } catch (const EODBCLibrary& e) {
        raised = true;
      }
    });
    EXPECT_TRUE(raised);
    EXPECT_EQ(Db("SELECT id, v FROM big ORDER BY id"), before);
    EXPECT_EQ(d->State(), insert ? dsInsert : dsEdit);
    d->Post();
    EXPECT_EQ(Db("SELECT v FROM big WHERE id = " + std::string(insert ? "3" : "1")), (Rows{{large}}));
    delete d;
  }
}

// Text handed over in Windows-1250 (bytes that are no UTF-8): SQLite stores the bytes as they
// came; PostgreSQL refuses them, the post raises, and no row is touched, the neighbours neither.
// (On PostgreSQL direct, like any failed write, it ends the server cursor, as the README says.)
DS_ALL(TextThatIsNoUtf8IsStoredAsGivenOrRefused) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20"});
  const Rows before = F.Db("SELECT id, name, qty FROM t ORDER BY id");
  const std::string cp1250 = "\x8a\x9a\xe8\x9e";  // Š š č ž in Windows-1250
  TCustomODDataSet* d = OpenEditable(F, "SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->Edit();
  d->FieldByName("name")->SetAsString(cp1250);
  if (F.Pg) {
    EXPECT_ANY_THROW(d->Post());
    EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), before);
    // The failed write ended the direct read's server cursor: Cancel says to open again.
    if (InCache) {
      d->Cancel();
    } else {
      EXPECT_THROW(d->Cancel(), EODBCLibrary);
    }
    EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), before);
  } else {
    d->Post();
    EXPECT_EQ(F.Db("SELECT hex(name) FROM t WHERE id = 1"), (Rows{{"8A9AE89E"}}));
    EXPECT_EQ(F.Db("SELECT id, name, qty FROM t WHERE id = 2"), (Rows{{"2", "dva", "20"}}));
  }
  delete d;
}
