// The ODBC data set's parameters: from the SQL text's tokens, from the catalog for stored
// procedures, the call text, master/detail, and pending cached updates never dropped by a
// reopen.
#include "ovcl_fixture.h"

namespace {

// A data set with cached updates pending, as posting under CachedUpdates leaves it.
class TPendingDataSet : public TCustomODDataSet {
public:
  using TCustomODDataSet::TCustomODDataSet;
  void SetPending(int N) { FPendingUpdates = N; }
};

}  // namespace

TEST(OvclUnit, StoredProcedureCallText) {
  struct Case {
    std::vector<std::pair<const char*, TParamType>> Params;
    const char* Text;
  };
  const Case cases[] = {
      {{{"RET", ptResult}, {"A", ptInput}, {"B", ptInput}}, "{:RET = CALL P(:A, :B)}"},
      {{{"RET", ptResult}}, "{:RET = CALL P}"},
      {{}, "{CALL P}"},
      {{{"A", ptInput}, {"RET", ptResult}, {"B", ptOutput}}, "{:RET = CALL P(:A, :B)}"},
      {{{"R1", ptResult}, {"A", ptInputOutput}, {"R2", ptResult}}, "{:R1 = CALL P(:A)}"},
  };
  for (const Case& c : cases) {
    TCustomODDataSet d(nullptr);
    d.SetStoredProc("P");
    for (const auto& [name, type] : c.Params) d.Params()->CreateParam(ftInteger, name, type);
    EXPECT_EQ(d.StoredProcStatement(), c.Text);
  }
  // The table wins over the stored procedure, and its parameters are none.
  TCustomODDataSet d(nullptr);
  d.SetSQL("SELECT * FROM x WHERE a = :a");
  d.SetTable("t");
  EXPECT_EQ(d.SQLText(), "SELECT * FROM x WHERE a = :a");
  EXPECT_EQ(d.Params()->Count(), 0);
  EXPECT_ANY_THROW(d.Prepare());  // no connection to prepare on
  TCustomODDataSet none(nullptr);
  try {
    none.Prepare();
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "SQL-, Table- or StoredProc-Property must be set.");
  }
}

DS_BOTH(ParametersFromTokensAreReExecuted) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30", "4, 'štiri', 40"});
  TCustomODDataSet* d = F.Make("SELECT id FROM t WHERE qty >= :lo AND name <> :nm ORDER BY id", true);
  ASSERT_EQ(d->Params()->Count(), 2);
  EXPECT_EQ(d->Params()->Items(0)->Name(), "lo");
  d->Params()->ParamByName("lo")->SetAsInteger(20);
  d->Params()->ParamByName("nm")->SetAsString("tri");
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{2, 4}));
  d->Close();
  d->Params()->ParamByName("lo")->SetAsInteger(30);
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{4}));
  d->Close();
  d->Params()->ParamByName("nm")->Clear();  // NULL: no row is unequal to it
  d->Open();
  EXPECT_TRUE(d->IsEmpty());
  d->Close();

  // An UPDATE through ExecSQL, twice with other values.
  TCustomODDataSet* u = F.Make("UPDATE t SET qty = :q WHERE id = :id", false);
  for (int id : {1, 2}) {
    u->Params()->ParamByName("q")->SetAsInteger(100 + id);
    u->Params()->ParamByName("id")->SetAsInteger(id);
    u->ExecSQL();
  }
  RawOdbc raw("DSN=" + std::string(F.Pg ? "PG" : "SQLITE"));
  EXPECT_EQ(raw.Query("SELECT qty FROM t WHERE id <= 2 ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"101"}, {"102"}}));

  // A parameter without a token in the text.
  u->Params()->CreateParam(ftInteger, "zz", ptInput)->SetAsInteger(1);
  try {
    u->ExecSQL();
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "Token ZZ not found in SQL statement.");
  }
}

// PostgreSQL's driver reports a function's return value without a name: it becomes RESULT.
TEST_F(ServerDataSet, StoredProceduresFromTheCatalog) {
  Exec("CREATE FUNCTION f1(a integer, b integer) RETURNS integer AS 'SELECT a + b' LANGUAGE sql");
  Exec("CREATE FUNCTION f2(a integer, OUT s integer, OUT d integer) AS 'SELECT a + 1, a - 1' LANGUAGE sql");
  Exec("CREATE FUNCTION f3(a integer, INOUT b integer) AS 'SELECT a + b' LANGUAGE sql");
  struct Case {
    const char* Proc;
    const char* Text;
    std::vector<std::pair<const char*, TParamType>> Params;
    std::vector<std::pair<const char*, int>> In, Out;
  };
  const Case cases[] = {
      {"f1", "{:RESULT = CALL f1(:a, :b)}", {{"RESULT", ptResult}, {"a", ptInput}, {"b", ptInput}}, {{"a", 4}, {"b", 5}}, {{"RESULT", 9}}},
      {"f2", "{CALL f2(:a, :s, :d)}", {{"a", ptInput}, {"s", ptOutput}, {"d", ptOutput}}, {{"a", 7}}, {{"s", 8}, {"d", 6}}},
      {"f3", "{CALL f3(:a, :b)}", {{"a", ptInput}, {"b", ptInputOutput}}, {{"a", 2}, {"b", 40}}, {{"b", 42}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Proc);
    TCustomODDataSet* d = Make("", false);
    d->SetStoredProc(c.Proc);
    ASSERT_EQ(d->Params()->Count(), int(c.Params.size()));
    for (size_t i = 0; i < c.Params.size(); ++i) {
      EXPECT_EQ(d->Params()->Items(int(i))->Name(), c.Params[i].first);
      EXPECT_EQ(d->Params()->Items(int(i))->ParamType(), c.Params[i].second);
      EXPECT_EQ(d->Params()->Items(int(i))->DataType(), ftInteger);
    }
    EXPECT_EQ(d->StoredProcStatement(), c.Text);
    for (const auto& [name, value] : c.In) d->Params()->ParamByName(name)->SetAsInteger(value);
    d->ExecSQL();
    for (const auto& [name, value] : c.Out) EXPECT_EQ(d->Params()->ParamByName(name)->AsInteger(), value) << name;
    // Executed again with other values.
    for (const auto& [name, value] : c.In) d->Params()->ParamByName(name)->SetAsInteger(value + (name == c.In[0].first));
    d->ExecSQL();
    EXPECT_EQ(d->Params()->ParamByName(c.Out[0].first)->AsInteger(), c.Out[0].second + 1);
  }
  // A procedure the catalog does not know leaves the parameters as they are.
  TCustomODDataSet* d = Make("", false);
  d->SetStoredProc("nobody");
  EXPECT_EQ(d->Params()->Count(), 0);
}

TEST_F(OdbcDataSet, ScrollingTheMasterOpensTheDetailAgain) {
  Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30"});
  Exec("CREATE TABLE line (mid integer, pos integer, what varchar(20))");
  for (const char* r : {"1, 1, 'a'", "1, 2, 'b'", "3, 1, 'c'"}) Exec("INSERT INTO line VALUES (" + std::string(r) + ")");
  TCustomODDataSet* master = Open("SELECT id, name FROM t ORDER BY id", false);
  auto* source = new TDataSource(Owner.get());
  source->SetDataSet(master);
  TCustomODDataSet* detail = Make("SELECT mid, pos, what FROM line WHERE mid = :id ORDER BY pos", true);
  detail->SetDataSource(source);
  int opens = 0;
  detail->AfterOpen = [&](TDataSet*) { ++opens; };
  detail->Open();
  EXPECT_EQ(Ids(detail, "pos"), (std::vector<int>{1, 2}));
  master->Next();
  EXPECT_TRUE(detail->IsEmpty());
  master->Next();
  EXPECT_EQ(detail->FieldByName("what")->AsString(), "c");
  EXPECT_EQ(opens, 3);
  std::vector<TField*> masterFields, detailFields;
  detail->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master->FieldByName("id"));
  EXPECT_TRUE(detailFields.empty());  // the detail has no field named id
  // A data source that leads back to the data set is refused.
  auto* own = new TDataSource(Owner.get());
  own->SetDataSet(detail);
  try {
    master->SetDataSource(own);
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "Circular Reference to DataSource");
  }
}

DS_BOTH(PendingCachedUpdatesAreNeverDroppedByAReopen) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20"});
  auto* master = F.Open("SELECT id FROM t ORDER BY id", true);
  auto* source = new TDataSource(F.Owner.get());
  source->SetDataSet(master);
  auto* d = new TPendingDataSet(F.Owner.get());
  d->SetHdbc(F.Dbc);
  d->SetCachedUpdates(true);
  d->SetSQL("SELECT id, name FROM t WHERE id = :id");
  d->SetDataSource(source);
  d->Open();
  d->SetPending(1);
  EXPECT_THROW(d->SetSQL("SELECT id FROM t"), EODBCLibrary);
  EXPECT_THROW(d->SetCached(false), EODBCLibrary);
  EXPECT_THROW(d->hStmt()->SetCursorType(SQL_CURSOR_STATIC), EODBCLibrary);
  EXPECT_THROW(d->RefreshResults(), EODBCLibrary);
  EXPECT_THROW(master->Next(), EODBCLibrary);
  EXPECT_TRUE(d->Active());
  EXPECT_EQ(d->PendingUpdates(), 1);
  // An explicit Close drops them.
  d->Close();
  d->SetSQL("SELECT id FROM t");
  d->Open();
  EXPECT_EQ(d->PendingUpdates(), 0);
}

DS_BOTH(ARemovedParameterBindsAgainFromScratch) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20", "3, 'tri', 30", "4, 'stiri', 40"});
  TCustomODDataSet* d = F.Make("SELECT id FROM t WHERE qty >= :lo AND name <> :nm ORDER BY id", true);
  TODParams* params = d->Params();
  params->ParamByName("lo")->SetAsInteger(20);
  params->ParamByName("nm")->SetAsString("tri");
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{2, 4}));
  d->Close();
  // The statement kept no binding of the freed buffer: the token without a parameter is refused
  // before anything is sent.
  TParam* nm = params->ParamByName("nm");
  params->RemoveParam(nm);
  delete nm;
  try {
    d->Open();
    ADD_FAILURE() << "opened with a token that has no parameter";
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "Token NM of the SQL statement has no parameter.");
  }
  EXPECT_FALSE(d->Active());
  // Given again (as another type), it is bound anew and sent.
  params->CreateParam(ftString, "nm", ptInput)->SetAsString("dva");
  params->ParamByName("lo")->SetAsString("10");
  d->Open();
  EXPECT_EQ(F.Ids(d), (std::vector<int>{1, 3, 4}));
}

DS_BOTH(BinaryParametersKeepTheirOwnLengthWhenExecutedAgain) {
  const std::vector<std::string> values = {std::string("\x00\xFF\x00\x61\x00", 5), "\xFF", "",
                                           std::string("\x01\x02\x00\x04\x05", 5), std::string(3000, '\x07')};
  for (const TFieldType type : {ftVarBytes, ftBytes, ftBlob}) {
    F.Exec("DROP TABLE IF EXISTS b");
    F.Exec("CREATE TABLE b (n integer, v " + F.Binary() + ")");
    TCustomODDataSet* d = F.Make("INSERT INTO b VALUES (:n, :v)", false);
    std::string want;
    for (size_t i = 0; i < values.size(); ++i) {
      d->Params()->ParamByName("n")->SetAsInteger(int(i));
      TParam* v = d->Params()->ParamByName("v");
      v->SetDataType(type);
      v->SetValue(Variant(values[i]));
      d->ExecSQL();
      want += "[" + Hex(values[i]) + "]";
    }
    const std::string hex = F.Pg ? "upper(encode(v, 'hex'))" : "hex(v)";
    std::string got;
    for (const auto& row : F.Db("SELECT " + hex + " FROM b ORDER BY n")) got += "[" + row[0] + "]";
    EXPECT_EQ(got, want) << FieldTypeName(type);
    delete d;
  }
}
