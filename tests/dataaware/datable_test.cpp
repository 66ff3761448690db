// The extended table on engine files: its setters, query cursors, filter lines and the filter
// handler, the Escape check, key search over lookup values, index choice, pictures, and one
// scenario with all of it.
#include "datable.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include "artikli.h"
#include "dasearch.h"
#include "fakekeyqueue.h"
#include "forms.h"
#include "uiqt.h"

namespace {

using V = std::vector<std::string>;

struct TableFixture : ArticleTables {
  TdaTable t{nullptr};
  void SetUp() override {
    ArticleTables::SetUp();
    t.SetName("Artikli");
    t.SetTableName("c:\\Data\\Artikli.db");
  }
  void SetFilterLines(std::initializer_list<std::string> Lines) {
    TStringList l(Lines);
    t.SetdaFilter(&l);
  }
};

}  // namespace

TEST_F(TableFixture, TableNameAndQuerySetters) {
  t.SetIndexFieldNames("Naziv");
  t.Open();
  TStringList sql{"SELECT Naziv FROM Artikli"};
  t.SetQuery(&sql);
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.TableName(), "");
  EXPECT_EQ(t.IndexFieldNames(), "");
  EXPECT_EQ(t.Query()->Text(), sql.Text());
  t.SetTableName("");
  EXPECT_EQ(t.Query()->Count(), 1) << "an empty name keeps the lines";
  t.SetQuery(t.Query());
  EXPECT_EQ(t.Query()->Count(), 1) << "its own lines stay";
  t.SetTableName("c:\\Data\\Artikli.db");
  EXPECT_EQ(t.Query()->Count(), 0);
  TStringList lookups{"a;b;c;d"};
  t.SetLookupFields(&lookups);
  lookups.Clear();
  EXPECT_EQ(t.LookupFields()->Count(), 1) << "a copy";
  t.SetLookupFields(nullptr);
  EXPECT_EQ(t.LookupFields()->Count(), 0);
  // Empty lines leave the table alone (but still close it).
  t.Open();
  TStringList none;
  t.SetQuery(&none);
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.TableName(), "c:\\Data\\Artikli.db");
}

TEST_F(TableFixture, QueryLinesOpenSqlOrQbeCursors) {
  struct Case {
    std::vector<std::string> Lines;
    const char* Language;
    V Names;
  };
  const std::vector<std::string> qbeBody = {"", "ANSWER: :PRIV:ANSWER.DB", "", "Artikli.db | Naziv | Cena     |",
                                            "           | Check | <\"2,5\"  |", "", "EndQuery"};
  auto qbe = [&](const std::string& first) {
    std::vector<std::string> lines{first};
    lines.insert(lines.end(), qbeBody.begin(), qbeBody.end());
    return lines;
  };
  const std::vector<Case> cases = {
      // Lines of SQL are joined with blanks; the answer is in the engine's collation order.
      {{"SELECT Naziv FROM", "Artikli WHERE Cena < 5", "ORDER BY Naziv"}, "SQL", {"cesta", "Čebula", "Čebula", "Žebljički"}},
      {{"select naziv from artikli where naziv like 'Ž%'"}, "SQL", {"Žebljički"}},
      {qbe("Query"), "QBE", {"Čebula", "Žebljički"}},
      {qbe("query"), "QBE", {"Čebula", "Žebljički"}},
      {qbe("QUERY  "), "QBE", {"Čebula", "Žebljički"}},
  };
  t.SetDatabaseName("c:\\Data");
  for (const Case& c : cases) {
    TStringList lines;
    for (const auto& l : c.Lines) lines.Add(l);
    t.SetQuery(&lines);
    t.Open();
    EXPECT_EQ(t.QueryLanguage(), c.Language) << c.Lines[0];
    EXPECT_EQ(Column(t, "Naziv"), c.Names) << c.Lines[0];
    EXPECT_FALSE(t.CanModify());
    t.Close();
    EXPECT_EQ(t.TableName(), "");
    EXPECT_EQ(t.Query()->Count(), int(c.Lines.size())) << "the lines stay";
  }
  // The field definitions of a query, read while it is closed.
  t.FieldDefs()->SetUpdated(false);
  t.FieldDefs()->Update();
  EXPECT_EQ(t.FieldDefs()->Count(), 1);
  EXPECT_FALSE(t.Active());
  // A first word that only begins with "query" is SQL; the engine refuses it, and the screen
  // cursor is back.
  ui.Cursors.clear();
  TStringList wrong{"querying Artikli"};
  t.SetQuery(&wrong);
  EXPECT_THROW(t.Open(), EEngineError);
  EXPECT_EQ(t.QueryLanguage(), "SQL");
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(ui.Cursors, std::vector<TCursor>{crDefault});
}

TEST_F(TableFixture, FilterLinesJoinedAndInstalled) {
  SetFilterLines({"Cena > 1 ", "", "Kolicina < 8 \t ", "  \t"});
  EXPECT_EQ(t.BuildFilterText(), "Cena > 1 AND (Kolicina < 8)");
  t.Open();
  EXPECT_NE(t.FilterHandle(), 0u);
  EXPECT_EQ(Column(t, "Sifra"), (V{"A2", "A3", "B1"}));
  EXPECT_FALSE(t.IsSequenced());
  // Set on the open table: installed at once; one that cannot be installed says so, keeps its
  // lines and the filter before.
  SetFilterLines({"Naziv >= \"čebula\""});
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2", "A4", "B1"}));
  SetFilterLines({"Cena >"});
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Text, "Fail to set filter");
  EXPECT_EQ(ui.Messages[0].DlgType, mtWarning);
  EXPECT_EQ(t.daFilter()->Strings(0), "Cena >");
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2", "A4", "B1"}));
  // Opening with lines that cannot be installed: the same message, and the table opens
  // unfiltered; so does a constant that does not convert.
  for (const char* text : {"Cena >", "Cena > abc"}) {
    t.Close();
    SetFilterLines({text});
    ui.Messages.clear();
    t.Open();
    ASSERT_EQ(ui.Messages.size(), 1u) << text;
    EXPECT_EQ(ui.Messages[0].Text, "Fail to set filter");
    EXPECT_EQ(Column(t, "Sifra").size(), 5u) << text;
  }
  SetFilterLines({"a", "b", "c"});
  EXPECT_EQ(t.BuildFilterText(), "a AND (b) AND (c)");
  t.Close();
  EXPECT_EQ(t.FilterHandle(), 0u);
}

// Lines that cannot be installed leave the handler installed, and the message says which
// filter failed.
TEST_F(TableFixture, FilterLinesThatFailKeepTheHandler) {
  t.SetOnFilter([](TdaTable* table, bool& accept) { accept = table->FieldByName("Skupina")->AsInteger() != 1; });
  for (const char* text : {"Kolicina = abc", "Cena >"}) {
    SCOPED_TRACE(text);
    t.Close();
    SetFilterLines({text});
    ui.Messages.clear();
    t.Open();
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Fail to set filter " + std::string(text) + "; the OnFilter handler filters alone");
    EXPECT_EQ(t.FilterHandle(), 0u);
    EXPECT_NE(t.FilterCallbackHandle(), 0u);
    EXPECT_EQ(Column(t, "Sifra"), (V{"A2", "A3", "B1"}));
  }
}

TEST_F(TableFixture, TheFilterHandlerSeesEachCandidateUnderTest) {
  SetFilterLines({"Cena < 5"});
  std::vector<std::string> seen;
  bool fail = false;
  t.SetOnFilter([&](TdaTable* table, bool& accept) {
    EXPECT_EQ(table, &t);
    EXPECT_EQ(table->State(), dsFilter);
    const std::string sifra = table->FieldByName("Sifra")->AsString();
    EXPECT_FALSE(table->FieldByName("Naziv")->AsString().empty());
    seen.push_back(sifra);
    if (fail && sifra == "A3") throw EDatabaseError("handler failed");
    accept = table->FieldByName("Skupina")->AsInteger() != 1;
  });
  t.Open();
  EXPECT_NE(t.FilterCallbackHandle(), 0u);
  EXPECT_EQ(Column(t, "Sifra"), (V{"A2", "A3"}));
  std::sort(seen.begin(), seen.end());
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen, (V{"A1", "A2", "A3", "A4"})) << "only what the expression keeps, each of it";
  // An exception from the handler reaches the caller, and the handler runs again afterwards.
  fail = true;
  EXPECT_THROW(Column(t, "Sifra"), EDatabaseError);
  fail = false;
  seen.clear();
  EXPECT_EQ(Column(t, "Sifra"), (V{"A2", "A3"}));
  EXPECT_FALSE(seen.empty());
  // Switched off and on from outside: re-read at once each time.
  t.First();
  t.SetOnFilterOptions({ofoShowHourGlass});
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A2");
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2", "A3", "A4"}));
  t.First();
  t.SetOnFilterOptions({ofoEnabled, ofoShowHourGlass});
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A2") << "A1 left the view at once";
  // Cleared: the expression alone.
  t.SetOnFilter(nullptr);
  EXPECT_EQ(t.FilterCallbackHandle(), 0u);
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2", "A3", "A4"}));
  // The hourglass showed while records were dropped, and the arrow came back.
  ASSERT_FALSE(ui.Cursors.empty());
  EXPECT_NE(std::find(ui.Cursors.begin(), ui.Cursors.end(), crHourGlass), ui.Cursors.end());
  EXPECT_EQ(Screen->Cursor(), crArrow);
}

namespace {

struct ManyRecords : ArticleTables {
  TdaTable t{nullptr};
  int calls = 0;
  void SetUp() override {
    ArticleTables::SetUp();
    TEngineTable::Create(File("Veliko.db"), {{"N", TEngineFieldType::Integer}}, {});
    TEngineTable v(File("Veliko.db"));
    for (int n = 1; n <= 250; ++n) v.InsertRecord({int64_t(n)});
    t.SetTableName("c:\\Data\\Veliko.db");
  }
  int N() { return t.FieldByName("N")->AsInteger(); }
  int Visible() { return int(Column(t, "N").size()); }
};

}  // namespace

TEST_F(ManyRecords, EscapeStopsTheFilterAtTheHundredthCall) {
  FakeKeyQueue keys;
  keys.Keys = {'a', 27, 'b'};
  std::vector<int> askedAt;
  keys.OnCall = [&] { askedAt.push_back(calls); };
  int escapes = 0;
  t.OnFilterEscape = [&](TDataSet* ds) {
    EXPECT_EQ(ds, &t);
    ++escapes;
  };
  t.SetOnFilterOptions({ofoEnabled, ofoShowHourGlass, ofoCancelOnEscape});
  t.SetOnFilter([&](TdaTable*, bool& accept) {
    ++calls;
    accept = N() % 2 == 0;
  });
  t.Open();
  Visible();
  ASSERT_FALSE(askedAt.empty());
  EXPECT_EQ(askedAt[0], 100) << "the first check comes with the hundredth record";
  EXPECT_EQ(escapes, 1);
  EXPECT_FALSE(t.OnFilterOptions().Contains(ofoEnabled));
  EXPECT_EQ(keys.Keys, (std::deque<int>{'a', 'b'})) << "the other keys stay where they were";
  EXPECT_EQ(Visible(), 250) << "after Escape every record is kept";
  // Switched on again: read again at once, filtered.
  t.First();
  t.SetOnFilterOptions({ofoEnabled, ofoShowHourGlass, ofoCancelOnEscape});
  EXPECT_EQ(N(), 2);
  EXPECT_EQ(Visible(), 125);
  EXPECT_EQ(escapes, 1);
}

// A handler that changes its own table's filter while the table reads for it: the handler
// that runs stays whole, and the change takes effect from the record after the one being read,
// each record showing once, in order.
TEST_F(ManyRecords, FilterChangedFromInsideTheHandlerTakesEffectAfterTheRead) {
  std::vector<int> replaced, cleared, narrowed;
  for (int n = 1; n <= 250; ++n) {
    const bool before = n <= 10 && n % 2 == 0;
    if (before || (n > 10 && n % 3 == 0)) replaced.push_back(n);
    if (before || n > 10) cleared.push_back(n);
    if (before || (n > 200 && n % 2 == 0)) narrowed.push_back(n);
  }
  const auto even = [this](TdaTable*, bool& accept) { accept = N() % 2 == 0; };
  const struct {
    const char* What;
    std::function<void(TdaTable*)> Change;
    std::vector<int> Visible;
    bool HandlerAfter;
  } cases[] = {
      {"clears OnFilter", [](TdaTable* table) { table->SetOnFilter(nullptr); }, cleared, false},
      {"replaces OnFilter",
       [this](TdaTable* table) { table->SetOnFilter([this](TdaTable*, bool& accept) { accept = N() % 3 == 0; }); },
       replaced, true},
      {"changes daFilter",
       [](TdaTable* table) {
         TStringList lines({"N > 200"});
         table->SetdaFilter(&lines);
       },
       narrowed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    t.Close();
    t.daFilter()->Clear();
    bool changed = false;
    t.SetOnFilter([&, even](TdaTable* table, bool& accept) {
      // A handler that outlives its own replacement: its captures are read after the change.
      const int n = N();
      if (n == 10 && !changed) {
        changed = true;
        c.Change(table);
      }
      even(table, accept);
      EXPECT_EQ(N(), n);
    });
    t.Open();
    std::vector<int> seen;
    for (const std::string& n : Column(t, "N")) seen.push_back(std::stoi(n));
    EXPECT_EQ(seen, c.Visible);
    EXPECT_EQ(bool(t.OnFilter()), c.HandlerAfter);
    EXPECT_EQ(t.FilterCallbackHandle() != 0, c.HandlerAfter);
    EXPECT_TRUE(ui.Messages.empty());
  }
}

namespace {

// The Escape check on the toolkit's own queue, with work queued that would close or free the
// table in the middle of its read.
struct UiFilterEscape : ManyRecords {
  // Closes the table when it gets its event.
  struct Closer : QObject {
    TdaTable* Table = nullptr;
    bool event(QEvent* e) override {
      if (e->type() != QEvent::User) return QObject::event(e);
      Table->Close();
      return true;
    }
  };
};

}  // namespace

TEST_F(UiFilterEscape, OnlyThePendingEscapeIsTakenDuringTheRead) {
  TApplication app(nullptr);
  TApplication* saved = Application;
  Application = &app;
  struct Restore {
    TApplication* Saved;
    ~Restore() { Application = Saved; }
  } restore{saved};
  EnsureQtApplication();
  QWidget input;
  Closer closer;
  const struct {
    const char* What;
    std::function<void(TdaTable*)> Queue;  // queues work that ends the table's read for good
    bool Freed;                            // the work frees the table (else it closes it)
  } cases[] = {
      {"a posted event", [&](TdaTable* table) {
         closer.Table = table;
         QCoreApplication::postEvent(&closer, new QEvent(QEvent::User));
       }, false},
      {"a queued call", [](TdaTable* table) { UiQueueCall([table] { table->Close(); }); }, false},
      {"a released form", [](TdaTable* table) { static_cast<TForm*>(table->Owner())->Release(); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TComponentRef<TForm> form(new TForm(nullptr));
    auto* table = new TdaTable(form.Get());
    table->SetTableName("c:\\Data\\Veliko.db");
    TComponentRef<TdaTable> alive(table);
    int escapes = 0;
    table->OnFilterEscape = [&](TDataSet*) { ++escapes; };
    table->SetOnFilterOptions({ofoEnabled, ofoShowHourGlass, ofoCancelOnEscape});
    table->SetOnFilter([](TdaTable* t, bool& accept) { accept = t->FieldByName("N")->AsInteger() % 2 == 0; });
    QCoreApplication::postEvent(&input, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b"));
    c.Queue(table);
    table->Open();
    // Filtered until the hundredth call, then every record.
    const size_t visible = Column(*table, "N").size();
    EXPECT_GT(visible, 125u);
    EXPECT_LT(visible, 250u);
    EXPECT_EQ(escapes, 1);
    EXPECT_TRUE(table->Active()) << "nothing queued ran during the read";
    // Afterwards the queued work runs.
    app.ProcessMessages();
    if (c.Freed) {
      EXPECT_FALSE(alive);
      EXPECT_FALSE(form);
    } else {
      ASSERT_TRUE(alive);
      EXPECT_FALSE(table->Active());
      delete form.Get();
    }
  }
}

TEST_F(ManyRecords, SwitchedOffInsideTheHandlerTakesEffectWithoutARead) {
  t.SetOnFilter([&](TdaTable* table, bool& accept) {
    ++calls;
    if (N() == 3) SetFilterEnabled(table, false);
    accept = N() % 2 == 0;
  });
  t.Open();
  const V numbers = Column(t, "N");
  ASSERT_EQ(numbers.size(), 248u);
  EXPECT_EQ(numbers[0], "2");
  EXPECT_EQ(numbers[1], "4");
  EXPECT_EQ(numbers[2], "5");
  EXPECT_FALSE(t.OnFilterOptions().Contains(ofoEnabled));
}

TEST_F(TableFixture, FindKeyByLookupValues) {
  t.SetIndexName("ixSkupina");
  t.Open();
  int scrolls = 0;
  t.AfterScroll = [&](TDataSet*) { ++scrolls; };
  EXPECT_TRUE(t.FindKeyByLookupValues({"1", "čebula"}, 1));
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A1");
  EXPECT_TRUE(t.FindKeyByLookupValues({"2"}, 0));
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A2");
  scrolls = 0;
  EXPECT_TRUE(t.FindKeyByLookupValues({"2", "ŽEBLJIČKI"}, 1));  // the current record already
  EXPECT_EQ(scrolls, 0);
  EXPECT_FALSE(t.FindKeyByLookupValues({"4"}, 0));
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A2");
  EXPECT_TRUE(ui.Messages.empty());
  EXPECT_FALSE(t.FindKeyByLookupValues({"1", "x", "y"}, 2));
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Text, "Table Artikli: FindKey has too many lookup values for index ixSkupina");
  // NarrowSearch cancels the range first.
  t.SetRange({1}, {1});
  EXPECT_FALSE(t.FindKeyByLookupValues({"3"}, 0));
  t.SetNarrowSearch(true);
  EXPECT_TRUE(t.FindKeyByLookupValues({"3"}, 0));
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "A3");
  // A table without an index.
  TdaTable opisi(nullptr);
  opisi.SetTableName("c:\\Data\\Opisi.db");
  opisi.Open();
  EXPECT_FALSE(opisi.FindKeyByLookupValues({"Čebula"}, 0));
}

TEST_F(TableFixture, FindIndexForFields) {
  struct Case {
    const char *Fields, *Index;
  };
  for (const Case& c : {Case{"Naziv", "ixNaziv"}, Case{"naziv", "ixNaziv"}, Case{"Skupina", "ixSkupina"},
                        Case{"SKUPINA;naziv", "ixSkupina"}, Case{"Sifra", ""}, Case{"Cena", "?"},
                        Case{"Skup", "?"}, Case{"Naziv;Skupina", "?"}}) {
    EXPECT_EQ(t.FindIndexForFields(c.Fields), c.Index) << c.Fields;
    EXPECT_FALSE(t.Active());
  }
}

TEST_F(TableFixture, PicturesOfTheTableFile) {
  TEngineTable(File("Artikli.db")).SetValidityCheck(1, "&#");
  EXPECT_TRUE(t.IsParadoxTable());
  EXPECT_EQ(t.GetParadoxPicture("Sifra"), "&#") << "read while the table is closed";
  EXPECT_EQ(t.GetParadoxPicture("sifra"), "") << "the name is exact";
  EXPECT_EQ(t.GetParadoxPicture("Naziv"), "");
  TdaTable other(nullptr);
  other.SetTableName("c:\\Data\\Artikli");  // the default extension, but no Paradox name
  EXPECT_FALSE(other.IsParadoxTable());
  EXPECT_EQ(other.GetParadoxPicture("Sifra"), "");
  other.SetTableType(ttParadox);
  EXPECT_TRUE(other.IsParadoxTable());
  EXPECT_EQ(other.GetParadoxPicture("Sifra"), "&#");
  other.SetTableType(ttDBase);
  EXPECT_FALSE(other.IsParadoxTable());
  // Checked at the first post.
  t.Open();
  t.Append();
  t.FieldByName("Sifra")->SetAsString("C12");
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.FieldByName("Sifra")->SetAsString("c1");
  t.Post();
  EXPECT_EQ(t.FieldByName("Sifra")->AsString(), "c1");
}

// The pictures belong to a table file: a component turned to another file checks its posts by
// that file's pictures, never by those of the file it showed before.
TEST_F(TableFixture, PicturesFollowTheTableFile) {
  TEngineTable(File("Artikli.db")).SetValidityCheck(1, "&#");
  TEngineTable::Create(File("Sifre.db"), {{"Sifra", TEngineFieldType::String, 10}}, {});
  TEngineTable(File("Sifre.db")).SetValidityCheck(1, "###");
  EXPECT_EQ(t.GetParadoxPicture("Sifra"), "&#");
  t.SetTableName("c:\\Data\\Sifre.db");
  EXPECT_EQ(t.GetParadoxPicture("Sifra"), "###");
  t.Open();
  t.Append();
  t.FieldByName("Sifra")->SetAsString("123");
  EXPECT_NO_THROW(t.Post());
  t.Append();
  t.FieldByName("Sifra")->SetAsString("A1");
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();
  t.Close();
  // So does one given another folder or another table type.
  t.SetDatabaseName("c:\\Data");
  t.SetTableName("Artikli");
  t.SetTableType(ttParadox);
  EXPECT_EQ(t.GetParadoxPicture("Sifra"), "&#");
  t.SetTableType(ttDBase);
  EXPECT_EQ(t.GetParadoxPicture("Sifra"), "");
}

TEST_F(TableFixture, ScenarioOnEngineFiles) {
  CreatePersistentFields(t);
  TField* group = AddCalcField(t, "ImeSkupine");
  TStringList lookups{"ImeSkupine;c:\\Data;Skupine.db;Ime;"}, links{"Skupina;Skupina"};
  t.SetLookupFields(&lookups);
  t.SetLookupLinks(&links);
  TStringList masks{"Sifra\t&####\tT\tT"};
  t.SetPictureMasks(&masks);
  SetFilterLines({"Naziv >= \"čebula\"", "Cena < 5"});
  t.SetOnFilter([](TdaTable* table, bool& accept) { accept = table->FieldByName("Kolicina")->AsInteger() != 3; });
  t.Open();
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2"}));
  t.Last();
  EXPECT_EQ(group->AsString(), "Železnina");

  t.Append();
  t.FieldByName("Sifra")->SetAsString("ab12");
  t.FieldByName("Naziv")->SetAsString("Čebulček");
  t.FieldByName("Cena")->SetAsFloat(7);
  t.FieldByName("Skupina")->SetAsInteger(1);
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_EQ(t.State(), dsInsert);
  t.FieldByName("Sifra")->SetAsString("C1234");
  t.Post();
  // Too dear for the filter: written, and out of the view.
  EXPECT_EQ(t.RecordCount(), 6);
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2"}));
  EXPECT_NE(t.FieldByName("Sifra")->AsString(), "C1234");

  t.First();
  EXPECT_TRUE(FindText(true, &t, "Naziv", false, false, 1, "žeb"));
  EXPECT_EQ(t.FieldByName("Naziv")->AsString(), "Žebljički");
  EXPECT_EQ(group->AsString(), "Železnina");

  t.Close();
  t.Open();
  EXPECT_EQ(Column(t, "Sifra"), (V{"A1", "A2"}));
  t.First();
  EXPECT_EQ(group->AsString(), "Zelenjava");
  TEngineTable file(File("Artikli.db"));
  EXPECT_EQ(file.RecordCount(), 6);
}
