// The query component: its SQL list, the statement options it shows as properties of its own,
// and a form-stream round trip.
#include <algorithm>
#include <functional>

#include "filer.h"
#include "ovcl_fixture.h"
#include "published.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes StreamBytes(const TMemoryStream& m) {
  auto* p = static_cast<const unsigned char*>(m.Memory());
  return p == nullptr ? Bytes{} : Bytes(p, p + m.Size());
}

bool Holds(const Bytes& B, const std::string& Part) {
  return std::search(B.begin(), B.end(), Part.begin(), Part.end()) != B.end();
}

}  // namespace

TEST(ODQuery, DerivedPropertiesAreViewsOfTheStatementOptions) {
  TComponent form(nullptr);
  auto* dbc = new THdbc(&form);
  struct Case {
    const char* What;
    std::function<void(TODQuery&)> Setup;  // the options before
    const char* Prop;
    TPropValue Value;
    std::function<bool(TODQuery&)> Holds;  // the options after
  };
  const auto opts = [](TODQuery& q) { return q.hStmt(); };
  const Case cases[] = {
      {"live over read-only", [&](TODQuery& q) { opts(q)->SetConcurrencyType(1); }, "RequestLive", true,
       [&](TODQuery& q) { return opts(q)->ConcurrencyType() == 4 && q.Editable(); }},
      {"live keeps a locking cursor", [&](TODQuery& q) { opts(q)->SetConcurrencyType(2); }, "RequestLive", true,
       [&](TODQuery& q) { return opts(q)->ConcurrencyType() == 2 && q.Editable(); }},
      {"not live", [&](TODQuery& q) { q.SetEditable(true); opts(q)->SetConcurrencyType(4); }, "RequestLive", false,
       [&](TODQuery& q) { return opts(q)->ConcurrencyType() == 1 && !q.Editable(); }},
      {"one direction", [&](TODQuery&) {}, "UniDirectional", true,
       [&](TODQuery& q) { return opts(q)->CursorType() == 0; }},
      {"keyset stays", [&](TODQuery& q) { opts(q)->SetCursorType(1); }, "UniDirectional", false,
       [&](TODQuery& q) { return opts(q)->CursorType() == 1; }},
      {"static with the manager's cursors",
       [&](TODQuery& q) { dbc->SetCursorLib(SQL_CUR_USE_ODBC); q.SetHdbc(dbc); opts(q)->SetCursorType(0); },
       "UniDirectional", false, [&](TODQuery& q) { return opts(q)->CursorType() == 3; }},
      {"keyset with the driver's cursors",
       [&](TODQuery& q) { dbc->SetCursorLib(SQL_CUR_USE_DRIVER); q.SetHdbc(dbc); opts(q)->SetCursorType(0); },
       "UniDirectional", false, [&](TODQuery& q) { return opts(q)->CursorType() == 1; }},
      {"keyset without a connection", [&](TODQuery& q) { opts(q)->SetCursorType(0); }, "UniDirectional", false,
       [&](TODQuery& q) { return opts(q)->CursorType() == 1; }},
      {"blobs deferred", [&](TODQuery&) {}, "CacheBlobs", false, [&](TODQuery& q) { return opts(q)->BlobDeferral(); }},
      {"blobs read", [&](TODQuery& q) { opts(q)->SetBlobDeferral(true); }, "CacheBlobs", true,
       [&](TODQuery& q) { return !opts(q)->BlobDeferral(); }},
      {"bound by name", [&](TODQuery&) {}, "ParamBindMode", std::string("pbByName"),
       [&](TODQuery& q) { return opts(q)->BindByName(); }},
      {"bound by number", [&](TODQuery& q) { opts(q)->SetBindByName(true); }, "ParamBindMode", std::string("pbByNumber"),
       [&](TODQuery& q) { return !opts(q)->BindByName(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TODQuery q(nullptr);
    c.Setup(q);
    SetPropValue(&q, c.Prop, c.Value);
    EXPECT_TRUE(c.Holds(q));
    EXPECT_EQ(GetPropValue(&q, c.Prop), c.Value);
  }
}

TEST(ODQuery, PublishedInOrder) {
  TODQuery q(nullptr);
  std::vector<std::string> names = GetPropNames(&q);
  names.erase(names.begin(), std::find(names.begin(), names.end(), "hDbc"));
  EXPECT_EQ(names, (std::vector<std::string>{
                       "hDbc", "hStmt", "SQL", "TableName", "StoredProcName", "RequestLive", "UniDirectional",
                       "CacheBlobs", "ParamBindMode", "DataSource", "ParamCheck", "Editable", "Params", "LocateOption",
                       "LocateInsert", "UpdateObject", "Cached", "CachedUpdates", "EmptyFieldToNull", "Active",
                       "Filtered", "AutoCalcFields"}));
}

TEST_F(OdbcDataSet, TheSqlListClosesAndReopensNothingUntilItsUpdateEnds) {
  Table({"1, 'ena', 10", "2, 'dva', 20"});
  auto* q = new TODQuery(Owner.get());
  q->SetHdbc(Dbc);
  q->SQL()->Add("SELECT id, name");
  q->SQL()->Add("FROM t ORDER BY id");
  EXPECT_EQ(q->SQLText(), "SELECT id, name\r\nFROM t ORDER BY id\r\n");
  q->Open();
  EXPECT_EQ(Ids(q), (std::vector<int>{1, 2}));
  // A new line closes the open query.
  q->SQL()->Add("");
  EXPECT_FALSE(q->Active());
  q->Open();
  // Built line by line inside an update, the query stays as it was until the update ends.
  q->SQL()->BeginUpdate();
  q->SQL()->Clear();
  q->SQL()->Add("SELECT id FROM t");
  q->SQL()->Add("WHERE id > 1");
  EXPECT_TRUE(q->Active());
  EXPECT_EQ(q->FieldCount(), 2);
  q->SQL()->EndUpdate();
  EXPECT_FALSE(q->Active());
  q->Open();
  EXPECT_EQ(Ids(q), (std::vector<int>{2}));
  // A table name wins over the lines, which stay.
  q->SetTable("t");
  EXPECT_EQ(q->SQL()->Count(), 2);
  q->Open();
  EXPECT_EQ(q->FieldCount(), 3);
  // Text set as a whole goes through the list.
  q->SetSQL("SELECT name FROM t\r\nWHERE id = 1");
  EXPECT_EQ(q->SQL()->Count(), 2);
  EXPECT_EQ(q->TableName(), "");
  q->Open();
  EXPECT_EQ(q->FieldByName("name")->AsString(), "ena");
}

TEST_F(OdbcDataSet, AFormRoundTripLeavesDefaultsOutAndKeepsTheTarget) {
  Table({"1, 'ena', 10", "2, 'dva', 20"});
  Owner->SetName("DataModule1");
  auto* q = new TODQuery(Owner.get());
  q->SetName("qArtikli");
  q->SetHdbc(Dbc);
  q->SQL()->Add("SELECT id, name, qty FROM t");
  q->SQL()->Add("ORDER BY id");
  q->SetLocateInsert(true);
  q->SetLocateOption(loSubString);
  q->SetRequestLive(true);
  q->SetCacheBlobs(false);
  q->SetParamBindMode(pbByName);
  TTarget* target = q->hStmt()->Target();
  target->SetTargetTable("t");
  target->PrimaryCols()->Add("id");
  target->InsertIgnoreCols()->Add("qty");
  target->UpdateIgnoreCols()->Add("name");
  q->Open();

  TMemoryStream m;
  TWriter(&m).WriteProperties(q);
  const Bytes b = StreamBytes(m);
  for (const char* stored : {"qArtikli", "hDbc", "Baza", "SQL.Strings", "ORDER BY id", "RequestLive", "CacheBlobs",
                             "ParamBindMode", "pbByName", "Editable", "LocateOption", "loSubString", "LocateInsert",
                             "Active", "hStmt.ConcurrencyType", "hStmt.BlobDeferral", "hStmt.BindByName"})
    EXPECT_TRUE(Holds(b, stored)) << stored;
  for (const char* left : {"TableName", "StoredProcName", "UniDirectional", "ParamCheck", "Cached", "EmptyFieldToNull",
                           "Filtered", "AutoCalcFields", "DataSource", "UpdateObject", "hStmt.CursorType"})
    EXPECT_FALSE(Holds(b, left)) << left;

  // Read into a query of another form with its own connection of the same name.
  TComponent form2(nullptr);
  form2.SetName("DataModule1");
  auto* dbc2 = new THdbc(&form2);
  dbc2->SetName("Baza");
  dbc2->SetDataSource("SQLITE");
  auto* back = new TODQuery(&form2);
  m.SetPosition(0);
  TReader r(&m);
  back->SetComponentState(TComponentState{csLoading});
  back->ReadState(&r);
  r.FixupReferences();
  EXPECT_FALSE(back->Active());  // opened once loaded
  back->Loaded();
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(back->Name(), "qArtikli");
  EXPECT_EQ(back->hDbc(), dbc2);
  EXPECT_EQ(back->SQL()->Text(), "SELECT id, name, qty FROM t\r\nORDER BY id\r\n");
  EXPECT_TRUE(back->LocateInsert());
  EXPECT_EQ(back->LocateOption(), loSubString);
  EXPECT_TRUE(back->RequestLive());
  EXPECT_TRUE(back->Editable());
  EXPECT_FALSE(back->CacheBlobs());
  EXPECT_EQ(back->ParamBindMode(), pbByName);
  EXPECT_TRUE(back->ParamCheck());
  TTarget* t2 = back->hStmt()->Target();
  EXPECT_EQ(t2->TargetTable(), "t");
  EXPECT_EQ(TTarget::GetListText(t2->PrimaryCols()), "id;");
  EXPECT_EQ(TTarget::GetListText(t2->InsertIgnoreCols()), "qty;");
  EXPECT_EQ(TTarget::GetListText(t2->UpdateIgnoreCols()), "name;");
  ASSERT_TRUE(back->Active());
  EXPECT_EQ(Ids(back), (std::vector<int>{1, 2}));

  // A table name is stored and read back as the source. (A new source clears the target.)
  q->SetTable("t");
  EXPECT_EQ(target->PrimaryCols()->Count(), 0);
  target->PrimaryCols()->Add("id");
  TMemoryStream m2;
  TWriter(&m2).WriteProperties(q);
  TComponent form3(nullptr);
  (new THdbc(&form3))->SetName("Baza");
  auto* third = new TODQuery(&form3);
  m2.SetPosition(0);
  TReader r2(&m2);
  third->SetComponentState(TComponentState{csLoading});
  third->ReadState(&r2);
  r2.FixupReferences();
  third->Loaded();
  EXPECT_EQ(third->TableName(), "t");
  EXPECT_EQ(TTarget::GetListText(third->hStmt()->Target()->PrimaryCols()), "id;");
}
