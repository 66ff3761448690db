// Every write of the data set changes exactly the row it read, in the table it read it from, or
// refuses with nothing changed: tables read through a schema or an attached database, a select
// list that starts with a subquery, joins, aliased keys, keys the fields hold inexactly, keys
// that match several rows, ignore lists and long columns. A connection of its own checks every
// table involved.
#include "ovcl_fixture.h"
#include "testenv.h"

namespace {

using Rows = DataSetFixture::Rows;

TCustomODDataSet* OpenEditable(DataSetFixture& F, const std::string& Sql, bool InCache) {
  TCustomODDataSet* d = F.Make(Sql, InCache);
  d->SetEditable(true);
  d->Open();
  return d;
}

void EditField(TDataSet* D, const char* Field, const std::string& Value) {
  D->Edit();
  D->FieldByName(Field)->SetAsString(Value);
  D->Post();
}

// Runs Op, which must raise; the message must hold Part.
template <class E = Exception>
void ExpectRefusal(const std::function<void()>& Op, const std::string& Part) {
  try {
    Op();
    ADD_FAILURE() << "no exception, expected " << Part;
  } catch (const E& e) {
    EXPECT_NE(e.Message().find(Part), std::string::npos) << e.Message();
  }
}

// PostgreSQL's driver changes the row under a direct data set's cursor itself, found by the
// row's own identity rather than by a key: the record's row changes, whatever its key.
bool ByCursor(const DataSetFixture& F, bool InCache) { return F.Pg && !InCache; }

}  // namespace

// The same table name in two schemas (PostgreSQL) or two databases (SQLite): the one read is
// the one written.
DS_ALL(ATableReadThroughASchemaIsTheOneWritten) {
  const std::string attach = "ATTACH DATABASE '" + F.Env.SqliteFile() + ".s2' AS s2";
  F.Exec(F.Pg ? "CREATE SCHEMA s2" : attach);
  for (const char* t : {"pd", "s2.pd"}) {
    F.Exec(std::string("CREATE TABLE ") + t + " (id integer PRIMARY KEY, name varchar(20))");
    F.Exec(std::string("INSERT INTO ") + t + " VALUES (1, 'ena')");
    F.Exec(std::string("INSERT INTO ") + t + " VALUES (2, 'dva')");
  }
  const auto both = [&] {
    RawOdbc raw(F.Pg ? "DSN=PG" : "DSN=SQLITE");
    if (!F.Pg) raw.Exec(attach);
    return std::vector<Rows>{raw.Query("SELECT id, name FROM pd ORDER BY id"),
                             raw.Query("SELECT id, name FROM s2.pd ORDER BY id")};
  };
  TCustomODDataSet* d = OpenEditable(F, "SELECT id, name FROM s2.pd ORDER BY id", InCache);
  EditField(d, "name", "ena!");
  d->Next();
  d->Delete();
  d->Append();
  d->FieldByName("id")->SetAsInteger(3);
  d->FieldByName("name")->SetAsString("tri");
  d->Post();
  EXPECT_EQ(both(), (std::vector<Rows>{Rows{{"1", "ena"}, {"2", "dva"}}, Rows{{"1", "ena!"}, {"3", "tri"}}}));
}

// A subquery before the table's columns: its FROM is not the target's.
DS_ALL(ASubqueryColumnIsNotTheTarget) {
  F.Exec("CREATE TABLE pct (id integer PRIMARY KEY, name varchar(20))");
  F.Exec("CREATE TABLE pcu (id integer PRIMARY KEY, name varchar(20), pid integer)");
  for (const char* v : {"1, 'ena'", "2, 'dva'"}) {
    F.Exec(std::string("INSERT INTO pct VALUES (") + v + ")");
    F.Exec(std::string("INSERT INTO pcu VALUES (") + v + ", 1)");
  }
  TCustomODDataSet* d = OpenEditable(
      F, "SELECT (SELECT count(*) FROM pcu WHERE pcu.pid = pct.id) AS cnt, pct.id, pct.name FROM pct ORDER BY pct.id",
      InCache);
  EXPECT_TRUE(d->FieldByName("cnt")->ReadOnly());
  EditField(d, "name", "ena!");
  d->Next();
  d->Delete();
  EXPECT_EQ(F.Db("SELECT id, name FROM pct ORDER BY id"), (Rows{{"1", "ena!"}}));
  EXPECT_EQ(F.Db("SELECT id, name FROM pcu ORDER BY id"), (Rows{{"1", "ena"}, {"2", "dva"}}));
}

// In a join the second table's columns are read-only; the first table's are written (also on
// PostgreSQL, whose driver calls every column of a join's scrolling cursor read-only).
DS_ALL(AJoinWritesOnlyItsTarget) {
  F.Exec("CREATE TABLE pbt (id integer PRIMARY KEY, name varchar(20), note varchar(20))");
  F.Exec("CREATE TABLE pbu (id integer PRIMARY KEY, note varchar(20))");
  F.Exec("INSERT INTO pbt VALUES (1, 'ena', 'pbt note')");
  F.Exec("INSERT INTO pbu VALUES (1, 'pbu note')");
  TCustomODDataSet* d =
      OpenEditable(F, "SELECT pbt.id, pbt.name, pbu.note FROM pbt JOIN pbu ON pbu.id = pbt.id", InCache);
  d->Edit();
  ExpectRefusal([&] { d->FieldByName("note")->SetAsString("mine"); }, "Field 'note' cannot be modified");
  d->FieldByName("name")->SetAsString("ena!");
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, name, note FROM pbt"), (Rows{{"1", "ena!", "pbt note"}}));
  EXPECT_EQ(F.Db("SELECT id, note FROM pbu"), (Rows{{"1", "pbu note"}}));
  d->Delete();
  EXPECT_EQ(F.Db("SELECT count(*) FROM pbt"), (Rows{{"0"}}));
  EXPECT_EQ(F.Db("SELECT id, note FROM pbu"), (Rows{{"1", "pbu note"}}));
}

// A result label that is another column's base name is no key: the key is not in the result.
DS_ALL(AnAliasIsNoKey) {
  F.Exec("CREATE TABLE pa (id integer PRIMARY KEY, name varchar(20), v integer)");
  F.Exec("INSERT INTO pa VALUES (1, 'x', 1)");
  F.Exec("INSERT INTO pa VALUES (2, 'x', 2)");
  TCustomODDataSet* d = OpenEditable(F, "SELECT name AS id, v FROM pa ORDER BY v", InCache);
  d->Edit();
  d->FieldByName("v")->SetAsInteger(10);
  if (ByCursor(F, InCache)) {
    d->Post();
    EXPECT_EQ(F.Db("SELECT id, name, v FROM pa ORDER BY id"), (Rows{{"1", "x", "10"}, {"2", "x", "2"}}));
    return;
  }
  ExpectRefusal([&] { d->Post(); }, "Identifier id not found in result set.");
  d->Cancel();
  EXPECT_EQ(F.Db("SELECT id, name, v FROM pa ORDER BY id"), (Rows{{"1", "x", "1"}, {"2", "x", "2"}}));
}

// Keys the record's fields hold inexactly: text with trailing blanks (trimmed when read), a
// timestamp with microseconds. Each write finds the row it read, never its neighbour; where the
// driver cannot send the key exactly (SQLite's timestamps go to the millisecond) it is refused.
DS_ALL(AKeyIsTheRowsValueAsTheDriverGaveIt) {
  struct Case {
    const char* Type;
    const char* Read;  // the key of the row the record is
    const char* Near;  // its neighbour's
    bool Refused;
  };
  for (const Case& c : {Case{"varchar(10)", "'a '", "'a'", false},
                        Case{"timestamp", "'2024-01-02 03:04:05.123456'", "'2024-01-02 03:04:05.123'", !F.Pg}}) {
    SCOPED_TRACE(c.Type);
    F.Exec(std::string("CREATE TABLE kx (k ") + c.Type + " PRIMARY KEY, v integer)");
    F.Exec(std::string("INSERT INTO kx VALUES (") + c.Read + ", 1)");
    F.Exec(std::string("INSERT INTO kx VALUES (") + c.Near + ", 2)");
    const Rows before = F.Db("SELECT k, v FROM kx ORDER BY v");
    TCustomODDataSet* d = OpenEditable(F, "SELECT k, v FROM kx WHERE v = 1", InCache);
    d->Edit();
    d->FieldByName("v")->SetAsInteger(10);
    if (c.Refused) {
      ExpectRefusal([&] { d->Post(); }, "cannot be kept exactly");
      d->Cancel();
      ExpectRefusal([&] { d->Delete(); }, "cannot be kept exactly");
      EXPECT_EQ(F.Db("SELECT k, v FROM kx ORDER BY v"), before);
    } else {
      d->Post();
      F.DbExec("UPDATE kx SET v = 11 WHERE v = 10");
      d->Refresh();
      EXPECT_EQ(d->FieldByName("v")->AsInteger(), 11);
      d->Delete();
      EXPECT_EQ(F.Db("SELECT k, v FROM kx"), (Rows{{before[1][0], "2"}}));
    }
    d->Close();
    F.Exec("DROP TABLE kx");
  }
}

// Where the key cannot be kept exactly the write is refused and changes nothing (SQLite's text
// longer than its buffer); a decimal of more digits than a double holds is found as the double
// it was read as (PostgreSQL), its neighbour in the 10th decimal left alone.
DS_ALL(AKeyThatCannotBeKeptExactlyIsRefused) {
  const char* const key = F.Pg ? "k numeric(30,10)" : "k varchar(2)";
  F.Exec(std::string("CREATE TABLE kn (") + key + " PRIMARY KEY, v integer)");
  F.Exec(F.Pg ? "INSERT INTO kn VALUES (1.0000000001, 1)" : "INSERT INTO kn VALUES ('abcdefghijklmnop', 1)");
  F.Exec(F.Pg ? "INSERT INTO kn VALUES (1.0000000002, 2)" : "INSERT INTO kn VALUES ('ab', 2)");
  const Rows before = F.Db("SELECT k, v FROM kn ORDER BY v");
  TCustomODDataSet* d = OpenEditable(F, "SELECT v, k FROM kn WHERE v = 1", InCache);
  d->Edit();
  d->FieldByName("v")->SetAsInteger(10);
  if (F.Pg) {
    d->Post();
    EXPECT_EQ(F.Db("SELECT k, v FROM kn ORDER BY k"), (Rows{{before[0][0], "10"}, before[1]}));
    d->Delete();
    EXPECT_EQ(F.Db("SELECT k, v FROM kn ORDER BY v"), (Rows{before[1]}));
    return;
  }
  // A post of a record whose field was cut is refused before: the value would be written cut.
  ExpectRefusal([&] { d->Post(); }, "was cut when it was read");
  d->Cancel();
  ExpectRefusal([&] { d->Delete(); }, "cannot be kept exactly");
  EXPECT_EQ(F.Db("SELECT k, v FROM kn ORDER BY v"), before);
}

// A key that matches several rows (the caller's key columns are no key): the update and the
// delete raise and keep nothing.
DS_ALL(AKeyThatMatchesSeveralRowsChangesNothing) {
  F.Table({"1, 'ena', 10", "2, 'ena', 20"});
  TCustomODDataSet* d = F.Make("SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->SetEditable(true);
  d->hStmt()->Target()->PrimaryCols()->Add("name");
  d->Open();
  d->Edit();
  d->FieldByName("qty")->SetAsInteger(11);
  if (ByCursor(F, InCache)) {
    d->Post();
    EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), (Rows{{"1", "ena", "11"}, {"2", "ena", "20"}}));
    d->Delete();
    EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), (Rows{{"2", "ena", "20"}}));
    return;
  }
  ExpectRefusal([&] { d->Post(); }, "The key of the row matched 2 rows of table");
  d->Cancel();
  ExpectRefusal([&] { d->Delete(); }, "nothing was changed");
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), (Rows{{"1", "ena", "10"}, {"2", "ena", "20"}}));
}

// SQLite: another connection made the table again without its key, with two rows of the key
// the record was read with.
TEST_F(OdbcDataSet, AKeyThatNoLongerIsOneChangesNothing) {
  Table({"1, 'ena', 10"});
  TCustomODDataSet* d = OpenEditable(*this, "SELECT id, name, qty FROM t ORDER BY id", true);
  DbExec("DROP TABLE t");
  DbExec("CREATE TABLE t (id integer, name varchar(20), qty integer)");
  DbExec("INSERT INTO t VALUES (1, 'ena', 10)");
  DbExec("INSERT INTO t VALUES (1, 'ena', 11)");
  d->Edit();
  d->FieldByName("name")->SetAsString("ena!");
  ExpectRefusal([&] { d->Post(); }, "matched 2 rows");
  d->Cancel();
  EXPECT_EQ(Db("SELECT id, name, qty FROM t ORDER BY qty"), (Rows{{"1", "ena", "10"}, {"1", "ena", "11"}}));
}

// An insert that leaves a column out, then an edit of another row: the edit writes only what
// it changed (the insert's mark once gave that row's column the inserted value's length).
DS_ALL(AnInsertsMarksDoNotOutliveIt) {
  F.Exec("CREATE TABLE ti (id integer PRIMARY KEY, name varchar(20), note varchar(30), qty integer)");
  F.Exec("INSERT INTO ti VALUES (1, 'ena', 'a much longer note here', 1)");
  TCustomODDataSet* d = F.Make("SELECT id, name, note, qty FROM ti ORDER BY id", InCache);
  d->SetEditable(true);
  d->hStmt()->Target()->InsertIgnoreCols()->Add("note");
  d->hStmt()->Target()->UpdateIgnoreCols()->Add("qty");
  d->Open();
  d->Append();
  d->FieldByName("id")->SetAsInteger(2);
  d->FieldByName("note")->SetAsString("ab");
  d->Post();
  d->First();
  EditField(d, "name", "ena!");
  EXPECT_EQ(F.Db("SELECT id, name, note FROM ti ORDER BY id"),
            (Rows{{"1", "ena!", "a much longer note here"}, {"2", "<NULL>", "<NULL>"}}));
}

// The first Post into an empty result with a long column: the row is written once, the Post
// succeeds and the data set stays usable.
DS_ALL(APostIntoAnEmptyResultWithALongColumn) {
  F.Exec("CREATE TABLE tl (id integer PRIMARY KEY, memo " + F.LongText() + ")");
  TCustomODDataSet* d = OpenEditable(F, "SELECT id, memo FROM tl", InCache);
  d->Append();
  d->FieldByName("id")->SetAsInteger(1);
  d->FieldByName("memo")->SetAsString("dolg");
  d->Post();
  EXPECT_EQ(d->State(), dsBrowse);
  EXPECT_EQ(F.Db("SELECT id, memo FROM tl"), (Rows{{"1", "dolg"}}));
  d->Append();
  d->FieldByName("id")->SetAsInteger(2);
  d->Post();
  EXPECT_EQ(F.Db("SELECT id, memo FROM tl ORDER BY id"), (Rows{{"1", "dolg"}, {"2", "<NULL>"}}));
}
