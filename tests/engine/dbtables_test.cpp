// The table component over the engine: the error log's road and the data-set services.
#include "dbtables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "childprocess.h"
#include "datetime.h"
#include "dospath.h"
#include "testenv.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

const char* const kErrorTable = "c:\\ZelkorError";

// The error log's open: try to open; on any failure define the ten columns and create.
void OpenErrorTable(TTable& t) {
  try {
    t.Open();
  } catch (const Exception&) {
    t.Close();
    t.FieldDefs()->Clear();
    t.FieldDefs()->Add("Cas", ftDateTime, 0, false);
    t.FieldDefs()->Add("FormName", ftString, 20, false);
    t.FieldDefs()->Add("ControlName", ftString, 20, false);
    t.FieldDefs()->Add("SenderName", ftString, 20, false);
    t.FieldDefs()->Add("ObjectName", ftString, 100, false);
    t.FieldDefs()->Add("Operation", ftString, 30, false);
    t.FieldDefs()->Add("ExceptObject", ftString, 20, false);
    t.FieldDefs()->Add("BuildNo", ftSmallint, 0, false);
    t.FieldDefs()->Add("Error", ftString, 255, false);
    t.FieldDefs()->Add("SenderProp", ftMemo, 1, false);
    t.IndexDefs()->Clear();
    t.CreateTable();
    t.Open();
  }
}

// One log row, as the error log writes it: its own table component, open, append, post, close.
void WriteLogRow(const std::string& operation, const std::string& error) {
  TTable t(nullptr);
  t.SetDatabaseName("");
  t.SetTableName(kErrorTable);
  OpenErrorTable(t);
  t.Append();
  t.FieldByName("Cas")->SetAsDateTime(EncodeDate(2026, 12, 10) + EncodeTime(3, 4, 5, 678));
  t.FieldByName("FormName")->SetAsString("fmMain");
  t.FieldByName("SenderName")->SetAsString("TButton");
  t.FieldByName("Operation")->SetAsString(operation);
  t.FieldByName("ExceptObject")->SetAsString("EConvertError");
  t.FieldByName("BuildNo")->SetAsString("17");
  t.FieldByName("Error")->SetAsString(error);
  t.FieldByName("SenderProp")->SetAsString("hDbc --> dbMain\r\nSQL --> select 1\r\n");
  t.Post();
  t.Close();
}

const bool jobLog = RegisterChildJob("log-rows", [](const std::vector<std::string>& a) {
  int count = std::stoi(a[1]);
  for (int i = 0; i < count; ++i) WriteLogRow(a[0], std::to_string(i));
  return 0;
});

std::string Slovenian300() {
  const char* chars[] = {"č", "š", "ž", "Č", "Š", "Ž", "ć", "đ", " ", "N", "a", "p"};
  std::string s;
  for (int i = 0; i < 300; ++i) s += chars[i % 12];
  return s;
}

}  // namespace

TEST(Table, ReportsItsAncestors) {
  TTable t(nullptr);
  EXPECT_STREQ(t.ClassName(), "TTable");
  EXPECT_TRUE(t.InheritsFrom("TBDEDataSet"));
  EXPECT_TRUE(t.InheritsFrom("TDBDataSet"));
  EXPECT_TRUE(t.InheritsFrom("TDataSet"));
  EXPECT_EQ(int(ttDefault), 0);
  EXPECT_EQ(int(ttASCII), 4);
}

TEST(Table, ErrorLogRoadCreatesTheTableOnceAndAppendsAcrossProcesses) {
  TestEnv env;
  const std::string long300 = Slovenian300();
  WriteLogRow("FormCreate", long300);  // creates the table
  const std::string file = MapDosPath("c:\\ZelkorError.db");
  ASSERT_TRUE(fs::exists(file)) << file;
  ASSERT_EQ(RunChild("log-rows", {"HstmtExecute", "1"}), 0);  // another process opens and appends

  TTable t(nullptr);
  t.SetTableName(kErrorTable);
  t.Open();
  ASSERT_EQ(t.FieldCount(), 10);
  const char* names[] = {"Cas", "FormName", "ControlName", "SenderName", "ObjectName",
                         "Operation", "ExceptObject", "BuildNo", "Error", "SenderProp"};
  const TFieldType types[] = {ftDateTime, ftString, ftString, ftString, ftString,
                              ftString, ftString, ftSmallint, ftString, ftMemo};
  const int sizes[] = {0, 20, 20, 20, 100, 30, 20, 0, 255, 1};
  for (int i = 0; i < 10; ++i) {
    TFieldDef* d = t.FieldDefs()->Items(i);
    EXPECT_EQ(d->Name(), names[i]);
    EXPECT_EQ(d->DataType(), types[i]) << names[i];
    EXPECT_EQ(d->Size(), sizes[i]) << names[i];
    EXPECT_FALSE(d->Required()) << names[i];
  }
  t.IndexDefs()->Update();
  EXPECT_EQ(t.IndexDefs()->Count(), 0);
  EXPECT_EQ(t.RecordCount(), 2);

  t.First();
  EXPECT_EQ(t.FieldByName("Error")->AsString(), Utf8Left(long300, 255));
  EXPECT_EQ(Utf8Length(t.FieldByName("Error")->AsString()), 255u);
  EXPECT_EQ(t.FieldByName("Operation")->AsString(), "FormCreate");
  EXPECT_EQ(t.FieldByName("BuildNo")->AsInteger(), 17);
  EXPECT_TRUE(t.FieldByName("ControlName")->IsNull());
  EXPECT_EQ(t.FieldByName("SenderProp")->AsString(), "hDbc --> dbMain\r\nSQL --> select 1\r\n");
  EXPECT_NEAR(t.FieldByName("Cas")->AsDateTime(), EncodeDate(2026, 12, 10) + EncodeTime(3, 4, 5, 678), 1e-9);
  t.Next();
  EXPECT_EQ(t.FieldByName("Operation")->AsString(), "HstmtExecute");
  EXPECT_EQ(t.FieldByName("Error")->AsString(), "0");
  t.Next();
  EXPECT_TRUE(t.Eof());
}

TEST(Table, TwoProcessesLoggingAtOnceLoseNoRow) {
  TestEnv env;
  WriteLogRow("first", "");
  pid_t a = StartChild("log-rows", {"A", "1000"});
  pid_t b = StartChild("log-rows", {"B", "1000"});
  EXPECT_EQ(WaitChild(a), 0);
  EXPECT_EQ(WaitChild(b), 0);
  TTable t(nullptr);
  t.SetTableName(kErrorTable);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 2001);
  int fromA = 0, fromB = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string op = t.FieldByName("Operation")->AsString();
    fromA += op == "A";
    fromB += op == "B";
  }
  EXPECT_EQ(fromA, 1000);
  EXPECT_EQ(fromB, 1000);
}

TEST(Table, OpeningAMissingTableRaisesAndLeavesItClosed) {
  TestEnv env;
  TTable t(nullptr);
  t.SetDatabaseName("c:\\Data");
  t.SetTableName("Missing");
  try {
    t.Open();
    FAIL() << "opened a missing table";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("does not exist"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("Missing.db"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.Handle(), nullptr);
  EXPECT_FALSE(fs::exists(MapDosPath("c:\\Data\\Missing.db")));
}

TEST(Table, CreateTableKeepsAnExistingTableUnlessAskedToReplaceIt) {
  TestEnv env;
  WriteLogRow("one", "x");
  WriteLogRow("two", "y");
  TTable t(nullptr);
  t.SetTableName(kErrorTable);
  t.FieldDefs()->Clear();
  t.FieldDefs()->Add("Other", ftInteger);
  EXPECT_THROW(t.CreateTable(), EDatabaseError);
  t.Open();
  EXPECT_EQ(t.FieldCount(), 10);
  EXPECT_EQ(t.RecordCount(), 2);
  t.Close();

  t.FieldDefs()->Clear();
  t.FieldDefs()->Add("Other", ftInteger);
  t.CreateTable(true);
  t.Open();
  EXPECT_EQ(t.FieldCount(), 1);
  EXPECT_EQ(t.RecordCount(), 0);
}

TEST(Table, PathsAndTableTypes) {
  TestEnv env;
  struct Case { const char* database; const char* table; TDBTableType type; const char* dos; };
  const Case cases[] = {
      {"", "c:\\ZelkorError", ttDefault, "c:\\ZelkorError.db"},
      {"c:\\Data", "Stock", ttParadox, "c:\\Data\\Stock.db"},
      {"c:\\Data", "Stock", ttDBase, "c:\\Data\\Stock.dbf"},
      {"c:\\Data", "Stock", ttFoxPro, "c:\\Data\\Stock.dbf"},
      {"c:\\Data", "Stock", ttASCII, "c:\\Data\\Stock.txt"},
      {"c:\\Data", "Stock.tbl", ttDBase, "c:\\Data\\Stock.tbl"},
      {"c:\\Data", "d:\\Other\\Stock", ttDefault, "d:\\Other\\Stock.db"},
  };
  for (const auto& c : cases) {
    TTable t(nullptr);
    t.SetDatabaseName(c.database);
    t.SetTableName(c.table);
    t.SetTableType(c.type);
    EXPECT_EQ(t.TableFileName(), MapDosPath(c.dos)) << c.table;
  }
  // A name differing only in case finds the existing file.
  TTable a(nullptr);
  a.SetTableName("c:\\Data\\Stock");
  a.FieldDefs()->Add("A", ftInteger);
  a.CreateTable();
  TTable b(nullptr);
  b.SetTableName("C:\\DATA\\STOCK");
  EXPECT_TRUE(b.Exists());
  EXPECT_NO_THROW(b.Open());
  TTable none(nullptr);
  EXPECT_THROW(none.Open(), EDatabaseError);  // no TableName
}

namespace {

// A table of towns with every kind of index.
struct TableFixture : ::testing::Test {
  TestEnv env;
  void SetUp() override {
    TTable t(nullptr);
    t.SetTableName("c:\\Data\\Towns");
    t.FieldDefs()->Add("Id", ftInteger, 0, true);
    t.FieldDefs()->Add("Name", ftString, 20);
    t.FieldDefs()->Add("People", ftInteger);
    t.IndexDefs()->Add("", "Id", {ixPrimary, ixUnique});
    t.IndexDefs()->Add("ByName", "Name", {ixCaseInsensitive});
    t.IndexDefs()->Add("ByPeople", "People", {ixDescending});
    t.CreateTable();
    t.Open();
    const std::vector<std::vector<Variant>> rows = {
        {4, "Ljubljana", 280000}, {2, "celje", 37000}, {7, "Črnomelj", 5800},
        {1, "Kranj", 37500}, {5, "ajdovščina", 6900}, {3, "Bled", 5200}};
    for (const auto& r : rows) t.AppendRecord(r);
  }
  void Open(TTable& t) {
    t.SetTableName("c:\\Data\\Towns");
    t.Open();
  }
  static std::vector<std::string> Names(TTable& t) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("Name")->AsString());
    return out;
  }
};

}  // namespace

TEST_F(TableFixture, IndexesOrderTheRecordsAndSwitchingKeepsTheCurrentOne) {
  TTable t(nullptr);
  t.SetIndexName("ByName");
  Open(t);
  using V = std::vector<std::string>;
  EXPECT_EQ(Names(t), (V{"ajdovščina", "Bled", "celje", "Črnomelj", "Kranj", "Ljubljana"}));
  ASSERT_EQ(t.IndexFieldCount(), 1);
  EXPECT_EQ(t.IndexFields(0)->FieldName(), "Name");

  ASSERT_TRUE(t.Locate("Name", "Kranj", {}));
  t.SetIndexName("ByPeople");
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "Kranj");  // still on the same record
  t.Next();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "celje");  // in the new order
  EXPECT_EQ(Names(t), (V{"Ljubljana", "Kranj", "celje", "ajdovščina", "Črnomelj", "Bled"}));

  t.SetIndexFieldNames("Id");  // the primary index
  EXPECT_EQ(t.IndexName(), "");
  EXPECT_EQ(Names(t), (V{"Kranj", "celje", "Bled", "Ljubljana", "ajdovščina", "Črnomelj"}));
  t.SetIndexName("");  // the primary index again
  EXPECT_EQ(Names(t).front(), "Kranj");
  EXPECT_THROW(t.SetIndexName("NoSuch"), EDatabaseError);
  EXPECT_TRUE(t.Active());

  t.IndexDefs()->Update();
  ASSERT_EQ(t.IndexDefs()->Count(), 3);
  EXPECT_TRUE(t.IndexDefs()->Items(0)->Options().Contains(ixPrimary));
  EXPECT_TRUE(t.IndexDefs()->Find("byname")->Options().Contains(ixCaseInsensitive));
  EXPECT_TRUE(t.IndexDefs()->Find("ByPeople")->Options().Contains(ixDescending));
  EXPECT_EQ(t.IndexDefs()->Find("ByPeople")->Fields(), "People");
}

TEST_F(TableFixture, EditCancelDeleteAndBookmarks) {
  TTable t(nullptr);
  t.SetIndexName("ByName");
  Open(t);
  ASSERT_TRUE(t.Locate("Name", "celje", {}));
  TBookmark celje = t.GetBookmark();

  t.Edit();
  t.FieldByName("People")->SetAsInteger(1);
  t.Cancel();
  EXPECT_EQ(t.FieldByName("People")->AsInteger(), 37000);
  t.Edit();
  t.FieldByName("Name")->SetAsString("Celje");
  t.Post();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "Celje");

  // Records inserted before it and the deletion of a neighbour leave the bookmark valid.
  t.AppendRecord({8, "Bovec", 1600});
  t.AppendRecord({9, "Ankaran", 3200});
  ASSERT_TRUE(t.Locate("Name", "Bled", {}));
  t.Delete();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "Bovec");  // the next record
  ASSERT_TRUE(t.BookmarkValid(celje));
  t.GotoBookmark(celje);
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "Celje");
  EXPECT_EQ(t.FieldByName("People")->AsInteger(), 37000);
  t.Delete();
  EXPECT_FALSE(t.BookmarkValid(celje));
  EXPECT_THROW(t.GotoBookmark(celje), EDatabaseError);
  t.FreeBookmark(celje);
  EXPECT_EQ(t.RecordCount(), 6);

  // A key the unique index holds already: the post fails and the record stays in insert.
  t.Append();
  t.FieldByName("Id")->SetAsInteger(4);
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 6);

  // A required field left empty.
  t.Append();
  t.FieldByName("Name")->SetAsString("Piran");
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();

  // Another user's row shows after a refresh.
  {
    TTable other(nullptr);
    Open(other);
    other.AppendRecord({10, "Aaa", 1});
  }
  t.Refresh();
  t.First();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "Aaa");
}

TEST_F(TableFixture, ReadOnlyTableRefusesChanges) {
  TTable t(nullptr);
  t.SetReadOnly(true);
  Open(t);
  EXPECT_FALSE(t.CanModify());
  EXPECT_THROW(t.Edit(), EDatabaseError);
  EXPECT_THROW(t.Append(), EDatabaseError);
  EXPECT_EQ(t.RecordCount(), 6);
  EXPECT_THROW(t.SetReadOnly(false), EDatabaseError);  // not while open
  t.Close();

  const int saved = TEngineTable::DefaultBusyTimeout();
  TEngineTable::SetDefaultBusyTimeout(200);
  t.SetReadOnly(false);
  t.SetExclusive(true);
  t.Open();
  TTable other(nullptr);
  EXPECT_THROW(Open(other), EDatabaseError);  // held by the exclusive one
  EXPECT_FALSE(other.Active());
  t.Close();
  TEngineTable::SetDefaultBusyTimeout(saved);
  EXPECT_NO_THROW(Open(other));
}

TEST(Table, EveryFieldTypeKeepsItsValue) {
  TestEnv env;
  TTable t(nullptr);
  t.SetTableName("c:\\Types");
  struct Col { const char* name; TFieldType type; int size; Variant value; std::string text; };
  const TDateTime date = EncodeDate(2026, 12, 10), time = EncodeTime(13, 14, 15, 16);
  const Col cols[] = {
      {"S", ftString, 10, "čšž abcdefghij", "čšž abcdef"},
      {"Small", ftSmallint, 0, -1234, "-1234"},
      {"Int", ftInteger, 0, 2000000000, "2000000000"},
      {"W", ftWord, 0, 65000, "65000"},
      {"Large", ftLargeint, 0, 9000000000000LL, "9000000000000"},
      {"Auto", ftAutoInc, 0, Variant(), "1"},
      {"B", ftBoolean, 0, true, "True"},
      {"F", ftFloat, 0, 0.125, "0.125"},
      {"D", ftDate, 0, Variant::FromDateTime(date), ""},
      {"T", ftTime, 0, Variant::FromDateTime(time), ""},
      {"DT", ftDateTime, 0, Variant::FromDateTime(date + time), ""},
      {"Bytes", ftBytes, 4, std::string("\x01\x02\x03\x04\x05", 5), std::string("\x01\x02\x03\x04", 4)},
      {"VB", ftVarBytes, 6, std::string("ab\0c", 4), std::string("ab\0c", 4)},
      {"Blob", ftBlob, 0, std::string("\0\xff\x10", 3), std::string("\0\xff\x10", 3)},
      {"M", ftMemo, 1, "vrstica 1\r\nvrstica 2 čšž", "vrstica 1\r\nvrstica 2 čšž"},
  };
  for (const auto& c : cols) t.FieldDefs()->Add(c.name, c.type, c.size);
  t.CreateTable();
  t.Open();
  t.Append();
  for (const auto& c : cols)
    if (!c.value.IsEmpty()) t.FieldByName(c.name)->SetAsVariant(c.value);
  t.Post();
  t.Append();  // a second record with every field empty
  t.Post();
  t.Close();

  TTable r(nullptr);
  r.SetTableName("c:\\Types");
  r.Open();
  ASSERT_EQ(r.RecordCount(), 2);
  r.First();
  for (const auto& c : cols) {
    TField* f = r.FieldByName(c.name);
    EXPECT_EQ(f->DataType(), c.type) << c.name;
    if (!c.text.empty()) {
      EXPECT_EQ(f->AsString(), c.text) << c.name;
    }
  }
  EXPECT_DOUBLE_EQ(r.FieldByName("D")->AsDateTime(), date);
  EXPECT_NEAR(r.FieldByName("T")->AsDateTime(), time, 1e-9);
  EXPECT_NEAR(r.FieldByName("DT")->AsDateTime(), date + time, 1e-9);
  r.Next();
  for (const auto& c : cols) {
    if (c.type == ftAutoInc) EXPECT_EQ(r.FieldByName(c.name)->AsInteger(), 2);
    else EXPECT_TRUE(r.FieldByName(c.name)->IsNull()) << c.name;
  }
}

TEST_F(TableFixture, PersistentCalculatedAndFilteredRecords) {
  TTable t(nullptr);
  t.SetIndexName("ByPeople");
  auto* name = new TStringField(&t);
  name->SetFieldName("Name");
  name->SetSize(20);
  name->SetDataSet(&t);
  auto* people = new TIntegerField(&t);
  people->SetFieldName("People");
  people->SetDataSet(&t);
  auto* thousands = new TIntegerField(&t);
  thousands->SetFieldName("Thousands");
  thousands->SetFieldKind(fkCalculated);
  thousands->SetDataSet(&t);
  t.OnCalcFields = [](TDataSet* ds) {
    ds->FieldByName("Thousands")->SetAsInteger(ds->FieldByName("People")->AsInteger() / 1000);
  };
  Open(t);
  EXPECT_EQ(t.FieldCount(), 3);  // only the persistent fields
  EXPECT_EQ(t.FindField("Id"), nullptr);
  t.First();
  EXPECT_EQ(name->AsString(), "Ljubljana");
  EXPECT_EQ(thousands->AsInteger(), 280);

  // The filter sees each record (and its calculated fields) before the data set takes it.
  t.SetOnFilterRecord([](TDataSet* ds, bool& accept) {
    accept = ds->FieldByName("Thousands")->AsInteger() < 10;
  });
  EXPECT_EQ(name->AsString(), "Ljubljana");  // the handler alone filters nothing
  t.SetFiltered(true);
  EXPECT_EQ(name->AsString(), "ajdovščina");  // the records are read again at once
  EXPECT_EQ(Names(t), (std::vector<std::string>{"ajdovščina", "Črnomelj", "Bled"}));
  t.Last();
  EXPECT_EQ(name->AsString(), "Bled");
  t.Prior();
  EXPECT_EQ(name->AsString(), "Črnomelj");
  t.SetFiltered(false);
  EXPECT_EQ(Names(t).size(), 6u);

  // Editing a persistent field recalculates, and the edit can still be read as old value.
  ASSERT_TRUE(t.Locate("Name", "Kranj", {}));
  t.Edit();
  people->SetAsInteger(42000);
  EXPECT_EQ(thousands->AsInteger(), 42);
  EXPECT_EQ(people->OldValue().AsInteger(), 37500);
  t.Post();
  EXPECT_EQ(people->AsInteger(), 42000);
}

TEST(Table, EmptyTableAndDeletingAtTheEnds) {
  TestEnv env;
  TTable t(nullptr);
  t.SetTableName("c:\\Empty");
  t.FieldDefs()->Add("N", ftInteger);
  t.CreateTable();
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Bof());
  EXPECT_TRUE(t.Eof());
  EXPECT_THROW(t.Delete(), EDatabaseError);
  t.Append();
  t.FieldByName("N")->SetAsInteger(1);
  t.Cancel();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.RecordCount(), 0);

  for (int n : {1, 2, 3}) t.AppendRecord({n});
  t.First();
  t.Insert();  // natural order: a new record goes to the end whatever the position
  t.FieldByName("N")->SetAsInteger(4);
  t.Post();
  EXPECT_EQ(t.FieldByName("N")->AsInteger(), 4);
  t.Last();
  t.Delete();  // the last one: the one before it becomes current
  EXPECT_EQ(t.FieldByName("N")->AsInteger(), 3);
  t.First();
  t.Delete();
  EXPECT_EQ(t.FieldByName("N")->AsInteger(), 2);
  t.Delete();
  t.Delete();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.RecordCount(), 0);
}
