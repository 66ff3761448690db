// The local-table engine on real files, including across processes.
#include "engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "childprocess.h"
#include "testenv.h"

namespace fs = std::filesystem;
using FT = TEngineFieldType;

namespace {

// The error log's ten columns, none required, no index.
std::vector<TEngineFieldDef> ErrorTableFields() {
  return {{"Cas", FT::DateTime, 0, 0, false},     {"FormName", FT::String, 20, 0, false},
          {"ControlName", FT::String, 20, 0, false}, {"SenderName", FT::String, 20, 0, false},
          {"ObjectName", FT::String, 100, 0, false}, {"Operation", FT::String, 30, 0, false},
          {"ExceptObject", FT::String, 20, 0, false}, {"BuildNo", FT::Smallint, 0, 0, false},
          {"Error", FT::String, 255, 0, false},      {"SenderProp", FT::Memo, 1, 0, false}};
}

std::string Text(const TEngineValue& v) {
  if (EngineIsNull(v)) return "<NULL>";
  if (auto n = std::get_if<int64_t>(&v)) return std::to_string(*n);
  if (auto d = std::get_if<double>(&v)) {
    std::ostringstream s;
    s.precision(17);
    s << *d;
    return s.str();
  }
  std::string out;
  for (char ch : std::get<std::string>(v)) {
    if (ch == '\r') out += "\\r";
    else if (ch == '\n') out += "\\n";
    else out += ch;
  }
  return out;
}

// Every record in the cursor's order, one line each: values separated by '|'.
std::vector<std::string> Dump(TEngineCursor& c, bool backwards = false) {
  std::vector<std::string> out;
  TEngineRecord r;
  if (backwards) c.Last(); else c.First();
  while (backwards ? c.Prior(r) : c.Next(r)) {
    std::string line;
    for (size_t i = 0; i < r.Values.size(); ++i) line += (i ? "|" : "") + Text(r.Values[i]);
    out.push_back(line);
  }
  return out;
}

std::vector<TEngineValue> ErrorRow(const std::string& operation, const std::string& error) {
  return {45000.5, std::string("TMain"), std::string("edNumber"), std::string("TApplication"),
          std::string("Zelkor"), operation, std::string("EConvertError"), int64_t(17), error,
          std::string("hDbc --> dbMain\r\nSQL --> select 1\r\n")};
}

// Child: creates the error table and appends one row.
const bool jobCreate = RegisterChildJob("create-error-table", [](const std::vector<std::string>& a) {
  TEngineTable::Create(a[0], ErrorTableFields(), {});
  TEngineTable t(a[0]);
  TEngineCursor c(t);
  c.Append();
  auto row = ErrorRow("FormCreate", "first");
  for (size_t i = 0; i < row.size(); ++i) c.SetValue(int(i), row[i]);
  c.Post();
  return 0;
});

// Child: writes every record of a table (natural order) into a text file.
const bool jobDump = RegisterChildJob("dump", [](const std::vector<std::string>& a) {
  TEngineTable t(a[0]);
  TEngineCursor c(t);
  std::ofstream out(a[1], std::ios::binary);
  for (const auto& line : Dump(c)) out << line << "\n";
  return out ? 0 : 1;
});

// Child: appends count rows tagged with its name; "reopen" opens the table for every row, as
// the error log does, else it keeps one table open.
const bool jobAppend = RegisterChildJob("append", [](const std::vector<std::string>& a) {
  const std::string& path = a[0];
  const std::string& tag = a[1];
  int count = std::stoi(a[2]);
  bool reopen = a[3] == "reopen";
  std::unique_ptr<TEngineTable> t;
  for (int i = 0; i < count; ++i) {
    if (!t || reopen) t = std::make_unique<TEngineTable>(path);
    t->InsertRecord({tag, int64_t(i)});
  }
  return 0;
});

std::vector<std::string> ReadLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> out;
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == '\n') {
      out.push_back(all.substr(start, i - start));
      start = i + 1;
    }
  return out;
}

}  // namespace

TEST(EngineTable, DefaultExtension) {
  EXPECT_EQ(EngineTableFileName("/x/ZelkorError"), "/x/ZelkorError.db");
  EXPECT_EQ(EngineTableFileName("/x/Errors.dat"), "/x/Errors.dat");
  EXPECT_EQ(EngineTableFileName("/x.y/Errors"), "/x.y/Errors.db");
}

TEST(EngineTable, ErrorTableOutlivesTheProcessThatWroteIt) {
  TestEnv env;
  const std::string path = EngineTableFileName(env.Path("c/ZelkorError"));
  ASSERT_EQ(RunChild("create-error-table", {path}), 0);

  {
    TEngineTable t(path);
    const auto& f = t.FieldDefs();
    auto want = ErrorTableFields();
    ASSERT_EQ(f.size(), want.size());
    for (size_t i = 0; i < f.size(); ++i) {
      EXPECT_EQ(f[i].Name, want[i].Name);
      EXPECT_EQ(f[i].Type, want[i].Type) << f[i].Name;
      EXPECT_EQ(f[i].Size, want[i].Size) << f[i].Name;
      EXPECT_FALSE(f[i].Required) << f[i].Name;
    }
    EXPECT_TRUE(t.IndexDefs().empty());
    EXPECT_EQ(t.RecordCount(), 1);
    TEngineCursor c(t);
    c.Append();
    c.SetValue("Cas", 45001.25);
    c.SetValue("Operation", std::string("HstmtExecute"));
    c.SetValue("SenderProp", std::string("hDbc --> \r\nSQL --> select 2\r\n"));
    c.Post();
  }

  // A third process reads what both wrote.
  const std::string dump = env.Path("dump.txt");
  ASSERT_EQ(RunChild("dump", {path, dump}), 0);
  auto lines = ReadLines(dump);
  EXPECT_EQ(lines, (std::vector<std::string>{
      "45000.5|TMain|edNumber|TApplication|Zelkor|FormCreate|EConvertError|17|first|"
      "hDbc --> dbMain\\r\\nSQL --> select 1\\r\\n",
      "45001.25|<NULL>|<NULL>|<NULL>|<NULL>|HstmtExecute|<NULL>|<NULL>|<NULL>|"
      "hDbc --> \\r\\nSQL --> select 2\\r\\n"}));
}

TEST(EngineTable, StringsAreCutToTheColumnSizeInCharacters) {
  TestEnv env;
  const std::string path = env.Path("cut.db");
  TEngineTable::Create(path, {{"Error", FT::String, 255}, {"Short", FT::String, 5}, {"Raw", FT::Bytes, 4}}, {});
  TEngineTable t(path);

  // 300 characters; the Slovenian letters take two bytes each.
  const char* chars[] = {"č", "š", "ž", "Č", "Š", "Ž", "ć", "đ", " ", "a", "b", "c"};
  std::string long300, first255;
  for (int i = 0; i < 300; ++i) {
    long300 += chars[i % 12];
    if (i < 255) first255 += chars[i % 12];
  }
  ASSERT_GT(long300.size(), 300u);

  struct Case {
    std::string error, shortText, raw;
    std::string wantError, wantShort, wantRaw;
  };
  const Case cases[] = {
      {long300, "čšžćđx", "abcdef", first255, "čšžćđ", "abcd"},
      {"kratko", "abc", "ab", "kratko", "abc", "ab"},
      {"", "", "", "", "", ""},
      {first255, "ab\xC5", "\x01\x02\x03\x04", first255, "ab\xC5", "\x01\x02\x03\x04"},
  };
  for (const auto& c : cases) {
    TEngineBookmark bm = t.InsertRecord({c.error, c.shortText, c.raw});
    TEngineRecord r;
    ASSERT_TRUE(t.ReadRecord(bm, r));
    EXPECT_EQ(std::get<std::string>(r.Values[0]), c.wantError);
    EXPECT_EQ(std::get<std::string>(r.Values[1]), c.wantShort);
    EXPECT_EQ(std::get<std::string>(r.Values[2]), c.wantRaw);
  }
}

TEST(EngineTable, OpeningAMissingTableRaises) {
  TestEnv env;
  const std::string path = env.Path("c/Nowhere.db");
  try {
    TEngineTable t(path);
    FAIL() << "opened a missing table";
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.Code(), EEngineError::ecTableNotFound);
    EXPECT_TRUE(e.InheritsFrom("EDatabaseError"));
    EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(fs::exists(path));  // opening creates nothing
}

TEST(EngineTable, AFileThatIsNoTableIsRefusedAndLeftAlone) {
  TestEnv env;
  const std::string path = env.Path("notes.db");
  std::ofstream(path) << "not a table at all, just some text that is long enough to look like a header";
  const auto size = fs::file_size(path);
  try {
    TEngineTable t(path);
    FAIL() << "opened a text file";
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.Code(), EEngineError::ecNotATable) << e.Message();
  }
  EXPECT_THROW(TEngineTable::Create(path, ErrorTableFields(), {}), EEngineError);
  EXPECT_EQ(fs::file_size(path), size);
  // Asked to replace it, the engine puts a table in its place.
  TEngineTable::Create(path, ErrorTableFields(), {}, true);
  TEngineTable t(path);
  EXPECT_EQ(t.RecordCount(), 0);
}

TEST(EngineTable, CreatingOverAnExistingTableRefusesUnlessAsked) {
  TestEnv env;
  const std::string path = env.Path("c/ZelkorError.db");
  TEngineTable::Create(path, ErrorTableFields(), {});
  {
    TEngineTable t(path);
    t.InsertRecord(ErrorRow("FormCreate", "one"));
    t.InsertRecord(ErrorRow("FormCreate", "two"));
  }
  try {
    TEngineTable::Create(path, {{"Other", FT::Integer}}, {});
    FAIL() << "replaced an existing table";
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.Code(), EEngineError::ecTableExists);
  }
  {
    TEngineTable t(path);
    EXPECT_EQ(t.FieldDefs().size(), 10u);
    EXPECT_EQ(t.RecordCount(), 2);
  }
  // Asked to, it replaces the table: new definitions, no rows, bookmarks start again.
  TEngineTable::Create(path, {{"Other", FT::Integer}}, {{"ByOther", "Other", eioUnique}}, true);
  TEngineTable t(path);
  ASSERT_EQ(t.FieldDefs().size(), 1u);
  EXPECT_EQ(t.FieldDefs()[0].Name, "Other");
  ASSERT_EQ(t.IndexDefs().size(), 1u);
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.InsertRecord({int64_t(5)}), 1);
  // No private build file is left beside the table.
  for (const auto& e : fs::directory_iterator(env.Path("c")))
    EXPECT_EQ(e.path().filename(), "ZelkorError.db");
}

TEST(EngineTable, BadDefinitionsAreRefused) {
  TestEnv env;
  struct Case {
    const char* what;
    std::vector<TEngineFieldDef> fields;
    std::vector<TEngineIndexDef> indexes;
  };
  const Case cases[] = {
      {"no fields", {}, {}},
      {"empty name", {{"", FT::Integer}}, {}},
      {"duplicate name", {{"A", FT::Integer}, {"a", FT::String, 5}}, {}},
      {"string without size", {{"A", FT::String, 0}}, {}},
      {"index on a missing field", {{"A", FT::Integer}}, {{"X", "B", 0}}},
      {"index on a memo", {{"A", FT::Memo}}, {{"X", "A", 0}}},
      {"two primary indexes", {{"A", FT::Integer}}, {{"", "A", eioPrimary}, {"P2", "A", eioPrimary}}},
      {"duplicate index name", {{"A", FT::Integer}}, {{"X", "A", 0}, {"x", "A", 0}}},
  };
  for (const auto& c : cases) {
    const std::string path = env.Path(std::string("bad-") + c.what + ".db");
    try {
      TEngineTable::Create(path, c.fields, c.indexes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EEngineError& e) {
      EXPECT_EQ(e.Code(), EEngineError::ecInvalidDefinition) << c.what;
    }
    EXPECT_FALSE(fs::exists(path)) << c.what;
  }
}

TEST(EngineTable, TwoProcessesAppendingAtOnceLoseNoRow) {
  TestEnv env;
  const std::string path = env.Path("c/Shared.db");
  TEngineTable::Create(path, {{"Who", FT::String, 10}, {"Seq", FT::Integer}}, {});
  constexpr int kRows = 1000;
  pid_t a = StartChild("append", {path, "keep", std::to_string(kRows), "keep"});
  pid_t b = StartChild("append", {path, "reopen", std::to_string(kRows), "reopen"});
  EXPECT_EQ(WaitChild(a), 0);
  EXPECT_EQ(WaitChild(b), 0);

  TEngineTable t(path);
  EXPECT_EQ(t.RecordCount(), 2 * kRows);
  std::set<std::pair<std::string, int64_t>> seen;
  TEngineCursor c(t);
  TEngineRecord r;
  std::string last;
  int switches = 0;
  while (c.Next(r)) {
    seen.insert({std::get<std::string>(r.Values[0]), std::get<int64_t>(r.Values[1])});
    if (!last.empty() && last != std::get<std::string>(r.Values[0])) ++switches;
    last = std::get<std::string>(r.Values[0]);
  }
  EXPECT_EQ(seen.size(), size_t(2 * kRows));  // every row of each writer, none twice
  EXPECT_GT(switches, 1) << "the writers did not overlap";
}

TEST(EngineTable, WritesAreCheckedAgainstTheDefinitions) {
  TestEnv env;
  const std::string path = env.Path("checked.db");
  TEngineTable::Create(path,
                       {{"Id", FT::AutoInc}, {"Code", FT::String, 5, 0, true}, {"Small", FT::Smallint},
                        {"W", FT::Word}, {"Flag", FT::Boolean}, {"Amount", FT::Float}},
                       {{"", "Code", eioPrimary | eioCaseInsensitive}});
  TEngineTable t(path);
  using V = std::vector<TEngineValue>;
  const TEngineValue null;
  auto s = [](const char* x) { return TEngineValue(std::string(x)); };
  auto n = [](int64_t x) { return TEngineValue(x); };
  struct Case { const char* what; V row; EEngineError::TCode code; };
  const Case refused[] = {
      {"required field empty", {null, null, null, null, null, null}, EEngineError::ecRequiredField},
      {"smallint too big", {null, s("a"), n(40000), null, null, null}, EEngineError::ecValueOutOfRange},
      {"word negative", {null, s("b"), null, n(-1), null, null}, EEngineError::ecValueOutOfRange},
      {"text into a number", {null, s("c"), s("12"), null, null, null}, EEngineError::ecGeneral},
      {"fraction into an integer", {null, s("d"), TEngineValue(1.5), null, null, null}, EEngineError::ecValueOutOfRange},
      {"too few values", {null, s("e")}, EEngineError::ecGeneral},
  };
  for (const auto& c : refused) {
    try {
      t.InsertRecord(c.row);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EEngineError& e) {
      EXPECT_EQ(e.Code(), c.code) << c.what << ": " << e.Message();
    }
  }
  EXPECT_EQ(t.RecordCount(), 0);

  TEngineRecord r;
  TEngineBookmark a = t.InsertRecord({null, s("abc"), n(-32768), n(65535), n(5), n(2)});
  ASSERT_TRUE(t.ReadRecord(a, r));
  EXPECT_EQ(r.Values[0], n(1));                     // numbered
  EXPECT_EQ(r.Values[4], n(1));                     // a Boolean holds 0 or 1
  EXPECT_EQ(r.Values[5], TEngineValue(2.0));        // a Float holds a double
  try {
    t.InsertRecord({null, s("ABC"), null, null, null, null});  // same key, case aside
    FAIL() << "duplicate key accepted";
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.Code(), EEngineError::ecKeyViolation);
  }
  EXPECT_EQ(t.RecordCount(), 1);
  TEngineBookmark b = t.InsertRecord({null, s("x"), null, null, null, null});
  t.DeleteRecord(b);
  TEngineBookmark c = t.InsertRecord({null, s("y"), null, null, null, null});
  ASSERT_TRUE(t.ReadRecord(c, r));
  EXPECT_EQ(r.Values[0], n(3));  // the deleted record's number is not given again
  EXPECT_NE(c, b);               // nor its bookmark
}

TEST(EngineTable, ReadOnlyAndExclusiveOpens) {
  TestEnv env;
  const std::string path = env.Path("locks.db");
  TEngineTable::Create(path, {{"A", FT::Integer}}, {});
  {
    TEngineTable ro(path, true);
    try {
      ro.InsertRecord({int64_t(1)});
      FAIL() << "wrote through a read-only table";
    } catch (const EEngineError& e) {
      EXPECT_EQ(e.Code(), EEngineError::ecReadOnly);
    }
    TEngineCursor c(ro);
    EXPECT_THROW(c.Append(), EEngineError);
  }
  const int saved = TEngineTable::DefaultBusyTimeout();
  TEngineTable::SetDefaultBusyTimeout(200);
  {
    TEngineTable excl(path, false, true);
    excl.InsertRecord({int64_t(1)});
    try {
      TEngineTable other(path);
      ADD_FAILURE() << "opened a table another connection holds exclusively";
    } catch (const EEngineError& e) {
      EXPECT_EQ(e.Code(), EEngineError::ecBusy) << e.Message();
    }
  }
  TEngineTable::SetDefaultBusyTimeout(saved);
  TEngineTable after(path);  // free again once the exclusive one closed
  EXPECT_EQ(after.RecordCount(), 1);
}

namespace {

// People with a name, a town and a number; the indexes cover each kind of order.
struct OrderFixture : ::testing::Test {
  TestEnv env;
  std::string path = env.Path("people.db");
  void SetUp() override {
    TEngineTable::Create(path, {{"Name", FT::String, 20}, {"Town", FT::String, 20}, {"Num", FT::Integer}},
                         {{"", "Num", eioPrimary},
                          {"ByName", "Name", 0},
                          {"ByNameCI", "Name", eioCaseInsensitive},
                          {"ByNumDesc", "Num", eioDescending},
                          {"ByTownName", "Town;Name", eioCaseInsensitive},
                          {"ByTownDesc", "Town", eioDescending}});
    TEngineTable t(path);
    struct Row { const char* name; const char* town; int num; };
    const Row rows[] = {{"žaba", "Kranj", 4}, {"Cesta", "celje", 2}, {"čaj", "Kranj", 7},
                        {"cvet", nullptr, 1}, {"Zebra", "Celje", 9}, {"Čebula", "kranj", 3},
                        {"apno", nullptr, 5}, {"Apno", "Bled", 8}};
    for (const auto& r : rows)
      t.InsertRecord({std::string(r.name), r.town ? TEngineValue(std::string(r.town)) : TEngineValue(),
                      int64_t(r.num)});
  }
  // Names in the cursor's order, forwards; checks that backwards gives the reverse.
  std::vector<std::string> Names(TEngineCursor& c) {
    std::vector<std::string> fwd, back;
    for (auto& l : Dump(c)) fwd.push_back(l.substr(0, l.find('|')));
    for (auto& l : Dump(c, true)) back.insert(back.begin(), l.substr(0, l.find('|')));
    EXPECT_EQ(fwd, back) << "backwards differs";
    return fwd;
  }
};

}  // namespace

TEST_F(OrderFixture, AnIndexOrdersTheCursor) {
  TEngineTable t(path);
  TEngineCursor c(t);
  using V = std::vector<std::string>;
  struct Case { std::string index; V names; };
  const Case cases[] = {
      {"", {"cvet", "Cesta", "Čebula", "žaba", "apno", "čaj", "Apno", "Zebra"}},  // the primary index
      {"ByName", {"Apno", "Cesta", "Zebra", "apno", "cvet", "Čebula", "čaj", "žaba"}},
      // case-insensitive: equal keys keep their creation order; č after c, ž after z
      {"ByNameCI", {"apno", "Apno", "Cesta", "cvet", "čaj", "Čebula", "Zebra", "žaba"}},
      {"ByNumDesc", {"Zebra", "Apno", "čaj", "apno", "žaba", "Čebula", "Cesta", "cvet"}},
      // NULL towns first, then Bled, celje/Celje, Kranj/kranj; names within a town
      {"ByTownName", {"apno", "cvet", "Apno", "Cesta", "Zebra", "čaj", "Čebula", "žaba"}},
      // descending: byte order reversed, NULL towns last
      {"ByTownDesc", {"Čebula", "Cesta", "žaba", "čaj", "Zebra", "Apno", "cvet", "apno"}},
  };
  // Natural order is the order of creation.
  EXPECT_EQ(Names(c), (V{"žaba", "Cesta", "čaj", "cvet", "Zebra", "Čebula", "apno", "Apno"}));
  for (const auto& k : cases) {
    c.SetIndex(k.index);
    EXPECT_EQ(Names(c), k.names) << "index '" << k.index << "'";
  }
  c.SetNaturalOrder();
  EXPECT_EQ(Names(c).front(), "žaba");
  // The primary index, chosen by its field.
  c.SetIndexFields("Num");
  EXPECT_EQ(Names(c), (V{"cvet", "Cesta", "Čebula", "žaba", "apno", "čaj", "Apno", "Zebra"}));
  // The first index whose fields begin with the list.
  c.SetIndexFields("town");
  EXPECT_EQ(c.IndexPos(), t.IndexIndex("ByTownName"));
  EXPECT_THROW(c.SetIndex("NoSuchIndex"), EEngineError);
  EXPECT_THROW(c.SetIndexFields("Name;Num"), EEngineError);
}

TEST_F(OrderFixture, CursorFollowsEditsDeletesAndOtherWriters) {
  TEngineTable t(path);
  TEngineCursor c(t);
  c.SetIndex("ByNameCI");
  TEngineRecord r;
  c.First();
  ASSERT_TRUE(c.Next(r));  // apno
  ASSERT_TRUE(c.Next(r));  // Apno
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "Apno");
  TEngineBookmark apno2 = c.Bookmark();

  // Deleting the current record leaves the cursor between its neighbours.
  c.Delete();
  EXPECT_FALSE(c.Current(r));
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "Cesta");
  ASSERT_TRUE(c.Prior(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "apno");
  EXPECT_FALSE(c.GotoBookmark(apno2));

  // An edit that changes the key moves the record; the cursor goes with it.
  ASSERT_TRUE(c.Next(r));  // Cesta
  c.Edit();
  c.SetValue("Name", std::string("Zvon"));
  c.Post();
  ASSERT_TRUE(c.Current(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "Zvon");
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "žaba");
  EXPECT_FALSE(c.Next(r));
  EXPECT_TRUE(c.Eof());

  // Cancel leaves the record as it was.
  ASSERT_TRUE(c.Prior(r));
  c.Edit();
  c.SetValue("Name", std::string("Xyz"));
  EXPECT_EQ(std::get<std::string>(c.Value("Name")), "Xyz");
  c.Cancel();
  ASSERT_TRUE(c.Current(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "žaba");

  // A row another connection writes shows at the next move; a refresh sees its edits.
  TEngineTable other(path);
  TEngineBookmark added = other.InsertRecord({std::string("Ždral"), TEngineValue(), int64_t(20)});
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(std::get<std::string>(r.Values[0]), "Ždral");
  other.ModifyRecord(added, {std::string("Ždral"), std::string("Ptuj"), int64_t(20)});
  c.Refresh();
  EXPECT_EQ(std::get<std::string>(c.Value("Town")), "Ptuj");
  other.DeleteRecord(added);
  EXPECT_THROW(c.Edit(), EEngineError);  // the record has gone
  EXPECT_FALSE(c.Editing());
  c.Refresh();
  EXPECT_FALSE(c.Current(r));
  try {
    other.ModifyRecord(added, {std::string("x"), TEngineValue(), int64_t(21)});
    FAIL();
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.Code(), EEngineError::ecRecordDeleted);
  }
}
