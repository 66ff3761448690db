// One working session with the ODBC data set on a table of articles, on each driver and in
// each mode: reading, searching, writing at once, then cached changes reverted and applied. A
// connection of its own checks what the database holds at each step.
#include <cstdio>

#include "ovcl_fixture.h"

namespace {

using Rows = DataSetFixture::Rows;

void MakeArticles(DataSetFixture& F) {
  F.Exec("CREATE TABLE art (id integer PRIMARY KEY, code varchar(10), name varchar(40), qty smallint, "
         "price numeric(10,2), note " + F.LongText() + " DEFAULT 'brez opombe')");
  for (int i = 1; i <= 20; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "A%03d", i);
    F.Exec("INSERT INTO art VALUES (" + std::to_string(i) + ", '" + code + "', 'Artikel " + std::to_string(i) + "', " +
           std::to_string(i) + ", " + std::to_string(i) + ".25, " + (i % 4 == 0 ? "NULL" : "'opomba " + std::to_string(i) + "'") +
           ")");
  }
}

// The table as the database holds it; prices in cents, so both databases write them alike.
const char* const kArticles =
    "SELECT id, code, name, qty, CAST(price * 100 AS integer), note FROM art ORDER BY id";

// The same from the data set, read from the first record.
Rows Shown(TDataSet* D) {
  Rows rows;
  for (D->First(); !D->Eof(); D->Next()) {
    std::vector<std::string> r;
    for (const char* f : {"id", "code", "name", "qty"}) r.push_back(D->FieldByName(f)->AsString());
    r.push_back(std::to_string(int(D->FieldByName("price")->AsFloat() * 100 + 0.5)));
    TField* note = D->FieldByName("note");
    r.push_back(note->IsNull() ? "<NULL>" : note->AsString());
    rows.push_back(r);
  }
  return rows;
}

int Id(TDataSet* D) { return D->FieldByName("id")->AsInteger(); }

void AddArticle(TDataSet* D, int Id, const std::string& Code) {
  D->Insert();
  D->FieldByName("id")->SetAsInteger(Id);
  D->FieldByName("code")->SetAsString(Code);
  D->FieldByName("name")->SetAsString("Novi " + Code);
  D->FieldByName("qty")->SetAsInteger(1);
  D->FieldByName("price")->SetAsFloat(2.5);
  D->Post();  // note left NULL: the database's default
}

}  // namespace

DS_ALL(ArticlesFromOpeningToAppliedCachedChanges) {
  MakeArticles(F);
  TCustomODDataSet* d = F.Make("SELECT id, code, name, qty, price, note FROM art ORDER BY id", InCache);
  d->SetEditable(true);
  d->Open();
  EXPECT_EQ(Shown(d), F.Db(kArticles));

  // Navigating and a bookmark.
  d->First();
  d->MoveBy(6);
  EXPECT_EQ(Id(d), 7);
  TBookmark seven = d->GetBookmark();
  d->Last();
  EXPECT_EQ(Id(d), 20);
  d->MoveBy(-5);
  EXPECT_EQ(Id(d), 15);

  // Locate by a prefix of the code in another case; Lookup of two fields without moving.
  ASSERT_TRUE(d->Locate("code", Variant(std::string("a01")), {loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(d->FieldByName("code")->AsString(), "A010");
  const Variant found = d->Lookup("code", Variant(std::string("A015")), "name;qty");
  ASSERT_TRUE(found.IsArray());
  EXPECT_EQ(found[0].AsString(), "Artikel 15");
  EXPECT_EQ(found[1].AsInteger(), 15);
  EXPECT_EQ(Id(d), 10);

  // Written at once: an edit to a negative quantity, an insert that takes the note's default,
  // a delete.
  d->Edit();
  d->FieldByName("qty")->SetAsInteger(-5);
  d->Post();
  EXPECT_EQ(F.Db("SELECT qty FROM art WHERE id = 10"), (Rows{{"-5"}}));
  AddArticle(d, 21, "A021");
  EXPECT_EQ(F.Db("SELECT code, note FROM art WHERE id = 21"), (Rows{{"A021", "brez opombe"}}));
  ASSERT_TRUE(d->Locate("id", Variant(3), {}));
  d->Delete();
  EXPECT_EQ(F.Db("SELECT count(*) FROM art WHERE id = 3"), (Rows{{"0"}}));

  // Another user's change, refreshed; back to the bookmark.
  F.DbExec("UPDATE art SET name = 'Spremenjen', price = 99.99 WHERE id = 12");
  ASSERT_TRUE(d->Locate("id", Variant(12), {}));
  d->Refresh();
  EXPECT_EQ(d->FieldByName("name")->AsString(), "Spremenjen");
  EXPECT_DOUBLE_EQ(d->FieldByName("price")->AsFloat(), 99.99);
  d->GotoBookmark(seven);
  EXPECT_EQ(Id(d), 7);
  d->FreeBookmark(seven);
  ASSERT_TRUE(d->Locate("id", Variant(12), {}));
  EXPECT_EQ(d->FieldByName("name")->AsString(), "Spremenjen");

  // Cached changes: reverted, nothing reaches the database and the start is back; applied, the
  // database holds exactly them.
  d->Close();
  d->SetCachedUpdates(true);
  d->Open();
  const Rows before = F.Db(kArticles);
  EXPECT_EQ(Shown(d), before);
  for (bool apply : {false, true}) {
    SCOPED_TRACE(apply ? "applied" : "reverted");
    ASSERT_TRUE(d->Locate("id", Variant(4), {}));
    d->Edit();
    d->FieldByName("name")->SetAsString("Artikel štiri");
    d->FieldByName("note")->SetAsString("nova opomba");
    d->Post();
    ASSERT_TRUE(d->Locate("id", Variant(8), {}));
    AddArticle(d, 22, "A022");
    ASSERT_TRUE(d->Locate("id", Variant(5), {}));
    d->Delete();
    EXPECT_EQ(d->PendingUpdates(), 3);
    EXPECT_EQ(F.Db(kArticles), before);
    d->DeleteRecords(nullptr, apply);
    d->InsertRecords(nullptr, apply);
    d->UpdateRecords(nullptr, apply);
    EXPECT_EQ(d->PendingUpdates(), 0);
    if (!apply) {
      EXPECT_EQ(Shown(d), before);
    }
  }
  Rows expected = before;
  for (auto& r : expected)
    if (r[0] == "4") r[2] = "Artikel štiri", r[5] = "nova opomba";
  expected.erase(std::remove_if(expected.begin(), expected.end(), [](const auto& r) { return r[0] == "5"; }),
                 expected.end());
  expected.push_back({"22", "A022", "Novi A022", "1", "250", "brez opombe"});
  EXPECT_EQ(F.Db(kArticles), expected);
  // Opened again, the data set agrees with the database.
  d->Close();
  d->Open();
  EXPECT_EQ(Shown(d), expected);
  delete d;
}
