// SQL and QBE queries over engine tables, and validity checks kept with a table.
#include "enginequery.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "datetime.h"
#include "dbtables.h"
#include "formatsettings.h"
#include "testenv.h"

namespace fs = std::filesystem;
using FT = TEngineFieldType;
using V = std::vector<std::string>;

namespace {

// The answer of a query as the table component shows it.
class QueryTable : public TDBDataSet {
public:
  QueryTable(TEngineQueryLanguage Language, std::string Text) : TDBDataSet(nullptr), FLanguage(Language), FText(std::move(Text)) {}
  ~QueryTable() override {
    Destroying();
    Close();
  }
  std::string AnswerPath() const { return Handle() ? Handle()->Table().Path() : std::string(); }

protected:
  std::unique_ptr<TEngineTable> CreateHandle() override {
    TEngineQuery q(DatabaseName(), FLanguage);
    q.Prepare(FText);
    return q.Execute();
  }

private:
  TEngineQueryLanguage FLanguage;
  std::string FText;
};

struct QueryFixture : ::testing::Test {
  TestEnv env;
  void SetUp() override {
    TEngineTable::Create(env.Path("Articles.db"),
                         {{"Code", FT::AutoInc}, {"Name", FT::String, 20}, {"Grp", FT::Integer}, {"Price", FT::Float},
                          {"Dat", FT::Date}},
                         {});
    TEngineTable::Create(env.Path("Groups.db"), {{"Grp", FT::Integer}, {"Title", FT::String, 30}}, {});
    TEngineTable a(env.Path("Articles.db"));
    const TDateTime d = EncodeDate(2026, 3, 1);
    struct Row { const char* name; int grp; double price; };
    for (const Row& r : {Row{"Zelje", 1, 2.0}, Row{"čaj", 1, 3.5}, Row{"Cena", 2, 1.0}, Row{"Čebula", 1, 4.0},
                         Row{"apno", 2, 9.0}, Row{"cesta", 3, 5.0}})
      a.InsertRecord({TEngineValue(), std::string(r.name), int64_t(r.grp), r.price, d});
    TEngineTable g(env.Path("Groups.db"));
    g.InsertRecord({int64_t(1), std::string("Zelenjava")});
    g.InsertRecord({int64_t(2), std::string("Drugo")});
  }
  void TearDown() override { FormatSettings() = TFormatSettings{}; }
  static V Rows(TDataSet& ds) {
    V out;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      std::string line;
      for (int i = 0; i < ds.FieldCount(); ++i) line += (i ? "|" : "") + ds.Fields()->Fields(i)->AsString();
      out.push_back(line);
    }
    return out;
  }
};

}  // namespace

TEST_F(QueryFixture, AnSqlQueryOverTwoTablesInSlovenianOrderIsReadOnly) {
  QueryTable q(qlSQL,
               "SELECT a.Name, g.Title, a.Price, a.Dat, a.Price * 2 AS Twice FROM Articles a "
               "JOIN \"Groups.db\" g ON a.Grp = g.Grp WHERE a.Price < 9 ORDER BY a.Name");
  q.SetDatabaseName(env.Dir());
  q.Open();
  EXPECT_EQ(Rows(q), (V{"Cena|Drugo|1|3/1/2026|2", "čaj|Zelenjava|3.5|3/1/2026|7", "Čebula|Zelenjava|4|3/1/2026|8",
                        "Zelje|Zelenjava|2|3/1/2026|4"}));
  // Fields taken straight from a table keep their type; text keeps at least its field's size.
  EXPECT_EQ(q.FieldByName("Name")->DataType(), ftString);
  EXPECT_EQ(q.FieldByName("Name")->Size(), 20);
  EXPECT_EQ(q.FieldByName("Title")->Size(), 30);
  EXPECT_EQ(q.FieldByName("Price")->DataType(), ftFloat);
  EXPECT_EQ(q.FieldByName("Dat")->DataType(), ftDate);
  EXPECT_EQ(q.FieldByName("Twice")->DataType(), ftFloat);
  EXPECT_FALSE(q.CanModify());
  q.First();
  EXPECT_THROW(q.Edit(), EDatabaseError);
  EXPECT_THROW(q.Append(), EDatabaseError);
  const std::string answer = q.AnswerPath();
  EXPECT_TRUE(fs::exists(answer));
  q.Close();
  EXPECT_FALSE(fs::exists(answer));  // the answer goes with its table
}

// An answer is a file of its own, readable by this user only: what already stands in the
// temporary folder under a name the answer could take (a stale answer of an ended process with
// the same process number, a link another user planted there) is neither taken nor written.
TEST_F(QueryFixture, AnAnswerTakesNoFileThatStandsInTheTemporaryFolder) {
  const std::string tmp = env.Path("tmp");
  fs::create_directories(tmp);
  const char* saved = std::getenv("TMPDIR");
  const std::string savedTmp = saved ? saved : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string groups = bytes(env.Path("Groups.db"));
  std::vector<std::string> planted;
  for (int k = 0; k < 20; ++k) {
    planted.push_back(tmp + "/zelkor-answer-" + std::to_string(getpid()) + "-" + std::to_string(k) + ".db");
    if (k % 2 == 0) fs::create_symlink(env.Path("Groups.db"), planted.back());
    else fs::copy_file(env.Path("Groups.db"), planted.back());
  }
  std::string answer;
  {
    QueryTable q(qlSQL, "SELECT Name FROM Articles WHERE Grp = 1 ORDER BY Name");
    q.SetDatabaseName(env.Dir());
    EXPECT_NO_THROW(q.Open());
    EXPECT_EQ(Rows(q), (V{"čaj", "Čebula", "Zelje"}));
    answer = q.AnswerPath();
    EXPECT_EQ(fs::path(answer).parent_path(), fs::path(tmp));
    EXPECT_EQ(std::find(planted.begin(), planted.end(), answer), planted.end());
    EXPECT_EQ(fs::status(answer).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
  }
  EXPECT_FALSE(fs::exists(answer));
  EXPECT_EQ(bytes(env.Path("Groups.db")), groups);
  for (const auto& p : planted) EXPECT_TRUE(fs::exists(fs::symlink_status(p))) << p;
  if (saved) setenv("TMPDIR", savedTmp.c_str(), 1);
  else unsetenv("TMPDIR");
}

TEST_F(QueryFixture, SqlTheEngineCannotRunRaises) {
  struct Case {
    std::string sql;
    std::string reason;
  };
  const Case cases[] = {
      {"SELEC Name FROM Articles", "syntax error"},
      {"SELECT Nope FROM Articles", "no such column"},
      {"SELECT Name FROM Missing", "no such table"},
      {"SELECT Name FROM Articles -- all of them", "\"--\""},
      {"SELECT Name FROM Articles; SELECT 1", "one statement"},
      {"DELETE FROM Articles", "cannot modify"},
      {"ATTACH DATABASE 'x.db' AS x", "must select rows"},
      {"SELECT 'it''s' -- x", "\"--\""},
      {"", "empty"},
  };
  for (const auto& k : cases) {
    TEngineQuery q(env.Dir(), qlSQL);
    try {
      q.Prepare(k.sql);
      q.Execute();
      ADD_FAILURE() << k.sql << ": ran";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.Message()).find(k.reason), std::string::npos) << k.sql << ": " << e.Message();
    }
  }
  // "--" inside a text is no comment.
  TEngineQuery q(env.Dir(), qlSQL);
  q.Prepare("SELECT Name FROM Articles WHERE Name <> 'a--b'");
  EXPECT_EQ(q.Execute()->RecordCount(), 6);
  // The tables are not written to.
  EXPECT_EQ(TEngineTable(env.Path("Articles.db")).RecordCount(), 6);
}

TEST_F(QueryFixture, AQbeQueryOfTheSubset) {
  FormatSettings().DecimalSeparator = ',';
  QueryTable q(qlQBE,
               "Query\r\n\r\nANSWER: :PRIV:ANSWER.DB\r\n\r\n"
               "Articles.db | Name  | Grp | Price  |\r\n"
               "            | Check | 1   | >\"2,5\" |\r\n"
               "            | Check | 2   |        |\r\n"
               "\r\nEndQuery\r\n");
  q.SetDatabaseName(env.Dir());
  q.Open();
  EXPECT_EQ(Rows(q), (V{"apno", "Cena", "čaj", "Čebula"}));
  q.Close();

  struct Case {
    std::string body;  // between the table line and EndQuery
    std::string reason;
  };
  const Case cases[] = {
      {"| Check | _x |", "example elements"},
      {"| Check | 1, 2 |", "one condition"},
      {"| Check ..a.. | |", "wildcards"},
      {"| Check blank | |", "not supported"},
      {"| CheckGroup | |", "not supported"},
      {"| | 1 |", "no field is checked"},
      {"| CheckPlus | Check |", "cannot be mixed"},
      {"| Check | |\r\n| | 1 |", "same check marks"},
      {"| Check | abc |", "not a valid value"},
      {"| Check | |\r\nGroups.db | Grp |\r\n| Check |", "one table"},
  };
  for (const auto& k : cases) {
    TEngineQuery e(env.Dir(), qlQBE);
    EXPECT_THROW(
        {
          try {
            e.Prepare("Query\r\nArticles.db | Name | Grp |\r\n" + k.body + "\r\nEndQuery");
          } catch (const EEngineError& x) {
            EXPECT_EQ(x.Code(), EEngineError::ecInvalidQuery);
            EXPECT_NE(std::string(x.Message()).find(k.reason), std::string::npos) << k.body << ": " << x.Message();
            throw;
          }
        },
        EEngineError)
        << k.body;
  }
  TEngineQuery e(env.Dir(), qlQBE);
  EXPECT_THROW(e.Prepare("Query\r\nArticles.db | Name |\r\n| Check |"), EEngineError);  // no EndQuery
  EXPECT_THROW(e.Prepare("Query\r\nArticles.db | Nope |\r\n| Check |\r\nEndQuery"), EEngineError);
}

TEST(ValidityChecks, PicturesAreKeptWithTheTable) {
  TestEnv env;
  const std::string path = env.Path("Masks.db");
  TEngineTable::Create(path, {{"Code", FT::String, 10}, {"Qty", FT::Integer}, {"Note", FT::String, 5}}, {});
  {
    TEngineTable t(path);
    EXPECT_TRUE(t.ValidityChecks().empty());  // a table that never had one
    t.SetValidityCheck(3, "*!");
    t.SetValidityCheck(1, "&&###");
    t.SetValidityCheck(3, "*&");
    EXPECT_THROW(t.SetValidityCheck(4, "#"), EEngineError);
  }
  TEngineTable t(path, true);
  const auto checks = t.ValidityChecks();
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_EQ(checks[0].FieldNo, 1);
  EXPECT_EQ(checks[0].Picture, "&&###");
  EXPECT_EQ(checks[1].FieldNo, 3);
  EXPECT_EQ(checks[1].Picture, "*&");
  EXPECT_THROW(t.SetValidityCheck(1, ""), EEngineError);  // read-only
  TEngineTable w(path);
  w.SetValidityCheck(1, "");
  EXPECT_EQ(w.ValidityChecks().size(), 1u);
}
