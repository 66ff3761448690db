// The catalog component: PostgreSQL's functions with their parameters, SQLite's empty list, and
// through a scripted function table the ";1" names of other drivers and failed reads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "oclcatalog.h"
#include "text.h"
#include "stmt_fixture.h"
#include "testenv.h"

namespace {

std::vector<std::string> Names(TStrings* List) {
  std::vector<std::string> v;
  for (int i = 0; i < List->Count(); ++i) v.push_back(List->Get(i));
  return v;
}

std::vector<int> ColumnTypes(TCatalogProcedure* P) {
  std::vector<int> v;
  for (int i = 0; i < P->Columns()->Count(); ++i) v.push_back(P->Columns()->Items(i)->ColumnType);
  return v;
}

// Counts the catalog calls and passes them on, or fails them when told to.
struct CatalogSpy {
  static inline TODBCApi Real;
  static inline int Procedures = 0, Fetches = 0;
  static inline bool FailProcedures = false;
  static inline int FailFetchAt = 0;
  static SQLRETURN SQL_API Procs(SQLHSTMT h, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* n,
                                 SQLSMALLINT nl) {
    ++Procedures;
    if (FailProcedures) return SQL_ERROR;
    return Real.SQLProcedures(h, c, cl, s, sl, n, nl);
  }
  static SQLRETURN SQL_API Fetch(SQLHSTMT h) {
    if (++Fetches == FailFetchAt) return SQL_ERROR;
    return Real.SQLFetch(h);
  }
  explicit CatalogSpy(TODBCApiOverride& Api) {
    Real = Api.Saved();
    Procedures = Fetches = FailFetchAt = 0;
    FailProcedures = false;
    Api.Table().SQLProcedures = Procs;
    Api.Table().SQLFetch = Fetch;
  }
};

class ServerCatalog : public StmtFixture {
public:
  void SetUp() override {
    Open("PG");
    for (const char* sql : {
             "CREATE SCHEMA other",
             "CREATE FUNCTION f_inout(a integer, OUT b text) AS 'SELECT a::text' LANGUAGE sql",
             "CREATE FUNCTION f_ret(x integer) RETURNS integer AS 'SELECT x + 1' LANGUAGE sql",
             "CREATE FUNCTION other.f_ret(x integer, y integer) RETURNS integer AS 'SELECT x + y' LANGUAGE sql",
             "CREATE FUNCTION a_b(p integer) RETURNS integer AS 'SELECT p' LANGUAGE sql",
             "CREATE FUNCTION axb(q text, r text) RETURNS text AS 'SELECT q' LANGUAGE sql",
             "CREATE FUNCTION ov(i integer) RETURNS integer AS 'SELECT i' LANGUAGE sql",
             "CREATE FUNCTION ov(t text) RETURNS text AS 'SELECT t' LANGUAGE sql",
             "CREATE FUNCTION \"MixedCase\"(n integer) RETURNS integer AS 'SELECT n' LANGUAGE sql",
             "CREATE FUNCTION mixedcase(u text, v text) RETURNS text AS 'SELECT u' LANGUAGE sql",
         })
      Exec(sql);
    Cat = new TODCatalog(Owner.get());
    Cat->SetName("Katalog");
  }
  TODCatalog* Cat = nullptr;
};

class OdbcCatalog : public StmtFixture {
public:
  void SetUp() override { Open("SQLITE"); }
};

}  // namespace

TEST_F(ServerCatalog, FunctionsWithTheirParameters) {
  EXPECT_EQ(Cat->hDbc(), Dbc);  // the owner's connection
  TCatalogProcedure* p = Cat->FindProcedure("", "F_INOUT");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Name, "f_inout");
  EXPECT_EQ(p->Owner, "public");
  EXPECT_EQ(p->ProcedureType, SQL_PT_FUNCTION);
  EXPECT_EQ(Names(p->ColumnNames()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ColumnTypes(p), (std::vector<int>{SQL_PARAM_INPUT, SQL_PARAM_OUTPUT}));
  const TCatalogColumn* a = p->Columns()->Items(0);
  EXPECT_EQ(a->DataType, SQL_INTEGER);
  EXPECT_EQ(a->TypeName, "int4");
  EXPECT_EQ(a->ColumnSize, 10);
  EXPECT_EQ(a->Radix, 10);
  EXPECT_EQ(a->DefaultValue, "");

  // A return value has no name; only this owner's function is read.
  p = Cat->FindProcedure("public", "f_ret");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Names(p->ColumnNames()), (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(Names(p->ColumnNames()), (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(ColumnTypes(p), (std::vector<int>{SQL_RETURN_VALUE, SQL_PARAM_INPUT}));
  EXPECT_EQ(Cat->FindProcedure("other", "f_ret"), nullptr);
  EXPECT_EQ(Cat->FindProcedure("", "nema"), nullptr);

  // "_" is not a wildcard for the exact name.
  EXPECT_EQ(Names(Cat->FindProcedure("", "a_b")->ColumnNames()), (std::vector<std::string>{"", "p"}));
  EXPECT_EQ(Names(Cat->FindProcedure("", "AXB")->ColumnNames()), (std::vector<std::string>{"", "q", "r"}));

  try {
    Cat->FindProcedure("", "ov");
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "procedure ov is overloaded");
  }
  TCatalogProcedures* list = Cat->Procedures();
  int overloads = 0;
  for (int i = 0; i < list->Count(); ++i) {
    if (list->Items(i)->Name != "ov") continue;
    ++overloads;
    EXPECT_THROW(list->Items(i)->Columns(), EODBCLibrary);
  }
  EXPECT_EQ(overloads, 2);
}

// Two functions whose names differ only in case: the name written exactly finds its own one,
// with its own parameters; a name that matches both only ignoring case cannot tell them apart.
TEST_F(ServerCatalog, ExactNameWinsOverCaseInsensitiveMatches) {
  const struct {
    const char* Asked;
    std::vector<std::string> Columns;
  } cases[] = {
      {"MixedCase", {"", "n"}},
      {"mixedcase", {"", "u", "v"}},
      {" MixedCase ", {"", "n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Asked);
    TCatalogProcedure* p = Cat->FindProcedure("PUBLIC", c.Asked);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name, Trim(c.Asked));
    EXPECT_EQ(Names(p->ColumnNames()), c.Columns);
  }
  try {
    Cat->FindProcedure("", "MIXEDCASE");
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "procedure MixedCase is overloaded");
  }
  // The driver's own answer to a procedure name, which the catalog does not rely on (it checks
  // each row's name): the name as written tells case apart, and one all in capitals is folded
  // to lower case as an unquoted identifier would be.
  RawOdbc raw("DSN=PG");
  const std::pair<const char*, const char*> answers[] = {
      {"MixedCase", "MixedCase "}, {"mixedcase", "mixedcase "}, {"MIXEDCASE", "mixedcase "}};
  for (const auto& [name, expected] : answers) {
    SQLHSTMT h = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &h)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLProcedureColumns(h, nullptr, 0, nullptr, 0, (SQLCHAR*)name, SQL_NTS, nullptr, 0)));
    std::set<std::string> procs;
    while (SQL_SUCCEEDED(SQLFetch(h))) {
      char buf[64] = {};
      SQLLEN len = 0;
      SQLGetData(h, 3, SQL_C_CHAR, buf, sizeof buf, &len);
      procs.insert(buf);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    std::string got;
    for (const std::string& p : procs) got += p + " ";
    EXPECT_EQ(got, expected) << name;
  }
}

TEST_F(ServerCatalog, OwnerFilterAndLazyReads) {
  TODBCApiOverride api;
  CatalogSpy spy(api);
  ASSERT_NE(Cat->FindProcedure("", "f_inout"), nullptr);
  ASSERT_NE(Cat->FindProcedure("", "a_b"), nullptr);
  EXPECT_EQ(CatalogSpy::Procedures, 1);
  Cat->SetProcedureName("%");
  Cat->FindProcedure("", "a_b");
  EXPECT_EQ(CatalogSpy::Procedures, 1);
  Cat->Invalidate();
  Cat->FindProcedure("", "a_b");
  EXPECT_EQ(CatalogSpy::Procedures, 2);

  Cat->SetProcedureOwner(" other ");
  TCatalogProcedure* p = Cat->FindProcedure("OTHER", "F_RET");
  EXPECT_EQ(Cat->ProcedureOwner(), "other");  // trimmed when read
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Names(p->ColumnNames()), (std::vector<std::string>{"", "x", "y"}));
  EXPECT_EQ(Cat->Procedures()->Count(), 1);
  EXPECT_EQ(CatalogSpy::Procedures, 3);
}

TEST_F(ServerCatalog, FailedReadKeepsTheOldList) {
  TODBCApiOverride api;
  CatalogSpy spy(api);
  TCatalogProcedures* list = Cat->Procedures();
  const int count = list->Count();
  ASSERT_EQ(count, 8);  // other.f_ret is not on the search path
  CatalogSpy::FailProcedures = true;
  Cat->Invalidate();
  EXPECT_THROW(Cat->Procedures(), EODBC);
  EXPECT_EQ(list->Count(), count);
  // A fetch that fails half-way leaves the old list whole, and stale.
  CatalogSpy::FailProcedures = false;
  CatalogSpy::Fetches = 0;
  CatalogSpy::FailFetchAt = 3;
  EXPECT_THROW(Cat->Procedures(), EODBC);
  EXPECT_EQ(list->Count(), count);
  const int calls = CatalogSpy::Procedures;
  CatalogSpy::FailFetchAt = 0;
  EXPECT_EQ(Cat->Procedures()->Count(), count);
  EXPECT_EQ(CatalogSpy::Procedures, calls + 1);
}

TEST_F(ServerCatalog, ConnectionComesAndGoes) {
  TODCatalog alone(nullptr);
  alone.SetName("Sam");
  try {
    alone.Procedures();
    FAIL();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Property Hdbc of Sam not set.");
  }
  alone.SetHdbc(Dbc);
  EXPECT_NE(alone.FindProcedure("", "a_b"), nullptr);
  delete Dbc;
  Dbc = nullptr;
  EXPECT_EQ(alone.hDbc(), nullptr);
  EXPECT_EQ(Cat->hDbc(), nullptr);
  // A connection placed in the owner later is taken.
  THdbc* d = new THdbc(Owner.get());
  d->SetDataSource("PG");
  EXPECT_EQ(Cat->hDbc(), d);
  EXPECT_NE(Cat->FindProcedure("", "a_b"), nullptr);
}

TEST_F(OdbcCatalog, SqliteHasNoProcedures) {
  TODCatalog cat(Owner.get());
  EXPECT_EQ(cat.Procedures()->Count(), 0);
  EXPECT_EQ(cat.FindProcedure("", "x"), nullptr);
}

namespace {

// A driver that numbers its procedures ("name;1"), played by SQLite answering literal queries.
struct NumberedNames {
  static inline std::string AskedName;
  static SQLRETURN SQL_API Procs(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
    return ::SQLExecDirect(h,
                           (SQLCHAR*)"SELECT NULL, 'dbo', 'Knj_izi;1', NULL, NULL, NULL, 'books', 1 "
                                     "UNION ALL SELECT NULL, 'dbo', 'KnjXizi;1', NULL, NULL, NULL, '', 1",
                           SQL_NTS);
  }
  static SQLRETURN SQL_API Cols(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* n, SQLSMALLINT nl,
                                SQLCHAR*, SQLSMALLINT) {
    AskedName.assign(reinterpret_cast<char*>(n), size_t(nl));
    return ::SQLExecDirect(
        h,
        (SQLCHAR*)"SELECT NULL, 'dbo', 'Knj_izi;1', '@RETURN_VALUE', 5, 4, 'int', 10, 4, NULL, 10, NULL, NULL, NULL "
                  "UNION ALL SELECT NULL, 'dbo', 'KnjXizi;1', '@other', 1, 4, 'int', 10, 4, 0, 10, 1, NULL, NULL "
                  "UNION ALL SELECT NULL, 'dbo', 'Knj_izi;1', '@kolicina', 1, 3, 'decimal', 12, 14, 4, 10, 1, 'qty', '0'",
        SQL_NTS);
  }
};

}  // namespace

TEST_F(OdbcCatalog, NumberedNamesAndExactMatches) {
  TODBCApiOverride api;
  api.Table().SQLProcedures = NumberedNames::Procs;
  api.Table().SQLProcedureColumns = NumberedNames::Cols;
  TODCatalog cat(Owner.get());
  TCatalogProcedure* p = cat.FindProcedure("", "knj_izi");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Name, "Knj_izi");
  EXPECT_EQ(p->Owner, "dbo");
  EXPECT_EQ(p->Remarks, "books");
  EXPECT_EQ(Names(p->ColumnNames()), (std::vector<std::string>{"@RETURN_VALUE", "@kolicina"}));
  EXPECT_EQ(NumberedNames::AskedName, "Knj\\_izi");
  // A NULL in the result reads as 0 or the empty text.
  const TCatalogColumn* r = p->Columns()->Items(0);
  EXPECT_EQ(r->DecimalDigits, 0);
  EXPECT_EQ(r->Nullable, 0);
  const TCatalogColumn* q = p->Columns()->Items(1);
  EXPECT_EQ(q->DataType, SQL_DECIMAL);
  EXPECT_EQ(q->DecimalDigits, 4);
  EXPECT_EQ(q->Remarks, "qty");
  EXPECT_EQ(q->DefaultValue, "0");
}
