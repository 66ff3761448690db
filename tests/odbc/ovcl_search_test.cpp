// Locate and Lookup of the ODBC data set, one table of cases on both drivers and in both modes.
#include "ovcl_fixture.h"

namespace {

void SearchTable(DataSetFixture& F) {
  F.Exec("CREATE TABLE s (id integer primary key, code varchar(20), name varchar(20), big bigint)");
  F.Exec("INSERT INTO s VALUES (1, 'abc', 'Abeceda', 5000000001)");
  F.Exec("INSERT INTO s VALUES (2, 'cab', 'Čebela', 5000000002)");
  F.Exec("INSERT INTO s VALUES (3, 'ABC', 'ABC velike', NULL)");
  F.Exec("INSERT INTO s VALUES (4, NULL, 'brez kode', 4)");
}

struct LocateCase {
  const char* What;
  const char* Fields;
  Variant Key;
  TLocateOptions Options;
  TODLocateOption Where;
  int Id;  // 0: not found
};

}  // namespace

DS_ALL(LocateAndLookupTable) {
  SearchTable(F);
  TCustomODDataSet* d = F.Open("SELECT id, code, name, big FROM s ORDER BY id", InCache);
  const LocateCase cases[] = {
      {"prefix", "code", Variant("ca"), {loPartialKey}, loPrefix, 2},
      {"prefix, not inside", "code", Variant("b"), {loPartialKey}, loPrefix, 0},
      {"substring", "code", Variant("b"), {loPartialKey}, loSubString, 1},
      {"whole value, case counts", "code", Variant("ABC"), {}, loPrefix, 3},
      {"case-insensitive", "code", Variant("ABC"), {loCaseInsensitive}, loPrefix, 1},
      {"case-insensitive prefix", "name", Variant("čeb"), {loCaseInsensitive, loPartialKey}, loPrefix, 2},
      {"trailing blanks trimmed", "code", Variant("cab  "), {}, loPrefix, 2},
      {"NULL key", "code", Null(), {}, loPrefix, 4},
      {"64-bit key", "big", Variant(std::int64_t(5000000002)), {}, loPrefix, 2},
      {"64-bit key compared whole", "big", Variant(std::int64_t(705032705)), {}, loPrefix, 0},
      {"two keys", "code;name", VarArrayOf({Variant("ABC"), Variant("ABC velike")}), {}, loPrefix, 3},
      {"two keys, one differs", "code;name", VarArrayOf({Variant("abc"), Variant("ABC velike")}), {}, loPrefix, 0},
      {"a key that cannot be converted", "id", Variant("x"), {}, loPrefix, 0},
      {"an integer key", "id", Variant(3), {}, loPrefix, 3},
  };
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.What);
    d->SetLocateOption(c.Where);
    d->First();
    d->Next();  // on id 2
    const bool found = d->Locate(c.Fields, c.Key, c.Options);
    EXPECT_EQ(found, c.Id != 0);
    EXPECT_EQ(d->FieldByName("id")->AsInteger(), c.Id != 0 ? c.Id : 2);
    // Lookup: whole values, case counting, and the current record stays.
    if (c.Options.Empty()) {
      d->First();
      const Variant v = d->Lookup(c.Fields, c.Key, "id;name");
      EXPECT_EQ(d->FieldByName("id")->AsInteger(), 1);
      if (c.Id == 0) {
        EXPECT_TRUE(v.IsNull());
      } else {
        ASSERT_TRUE(v.IsArray());
        EXPECT_EQ(v[0].AsInteger(), c.Id);
      }
    }
  }
  d->Last();
  EXPECT_EQ(d->Lookup("code", Variant("cab"), "name").AsString(), "Čebela");
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 4);
  d->Close();
  d->SetSQL("SELECT id, code FROM s WHERE id > 10");
  d->Open();
  EXPECT_FALSE(d->Locate("id", Variant(1), {}));
  EXPECT_TRUE(d->Lookup("id", Variant(1), "code").IsNull());
}
