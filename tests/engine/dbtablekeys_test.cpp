// Key searches and ranges of the table component, alone and together with engine filters.
#include <gtest/gtest.h>

#include "dbtables.h"
#include "filterblob.h"
#include "testenv.h"

namespace {

using V = std::vector<std::string>;

// Goods in two groups; a composite index (group, name; by bytes) and a case-insensitive one
// on the name.
struct KeyFixture : ::testing::Test {
  TestEnv env;
  TTable t{nullptr};
  void SetUp() override {
    t.SetTableName("c:\\Data\\Goods");
    t.FieldDefs()->Add("Grp", ftString, 4);
    t.FieldDefs()->Add("Name", ftString, 20);
    t.FieldDefs()->Add("Qty", ftInteger);
    t.IndexDefs()->Add("ByGrpName", "Grp;Name", {});
    t.IndexDefs()->Add("ByNameCI", "Name", {ixCaseInsensitive});
    t.CreateTable();
    t.Open();
    const std::vector<std::vector<Variant>> rows = {
        {"A", "Čebula", 1}, {"A", "cesta", 2}, {"A", "Cena", 3}, {"A", "čaj", 4},   {"A", "Zelje", 5},
        {"B", "žaba", 6},   {"B", "Ćevap", 7}, {"B", "apno", 8}, {"B", "Dom", 9},   {"B", "cvet", 10}};
    for (const auto& r : rows) t.AppendRecord(r);
  }
  // Names from the first record on; backwards from the last must give the same.
  static V Names(TTable& t) {
    V out, back;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("Name")->AsString());
    for (t.Last(); !t.Bof(); t.Prior()) back.insert(back.begin(), t.FieldByName("Name")->AsString());
    EXPECT_EQ(out, back) << "backwards differs";
    return out;
  }
  std::string Name() { return t.FieldByName("Name")->AsString(); }
};

}  // namespace

TEST_F(KeyFixture, FindKeyAndFindNearestInACaseInsensitiveIndex) {
  t.SetIndexName("ByNameCI");
  EXPECT_EQ(Names(t), (V{"apno", "Cena", "cesta", "cvet", "čaj", "Čebula", "Ćevap", "Dom", "Zelje", "žaba"}));
  struct Case {
    bool nearest;
    std::string key;
    bool found;
    std::string at;  // where the table stands after
  };
  const Case cases[] = {
      {false, "ČEBULA", true, "Čebula"},  {false, "čeb", false, "Čebula"},  // a miss stays
      {false, "cvet", true, "cvet"},      {true, "ce", true, "Cena"},
      {true, "č", true, "čaj"},           {true, "zz", true, "žaba"},  // ž after z
      {true, "žz", false, "žaba"},        {false, "", true, "apno"},   // no value: the first
  };
  for (const auto& k : cases) {
    const std::vector<Variant> key = k.key.empty() ? std::vector<Variant>{} : std::vector<Variant>{Variant(k.key)};
    const bool found = k.nearest ? t.FindNearest(key) : t.FindKey(key);
    EXPECT_EQ(found, k.found) << k.key;
    EXPECT_EQ(Name(), k.at) << k.key;
  }
  // An exclusive nearest search passes over the equal key.
  t.SetKey();
  t.FieldByName("Name")->SetAsString("CESTA");
  t.SetKeyExclusive(true);
  EXPECT_TRUE(t.GotoNearest());
  EXPECT_EQ(Name(), "cvet");
  EXPECT_EQ(t.State(), dsBrowse);
  // EditKey keeps the key; Cancel drops the edit.
  t.EditKey();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "CESTA");
  t.FieldByName("Name")->SetAsString("zzz");
  t.Cancel();
  t.EditKey();
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "CESTA");
  t.Cancel();
  EXPECT_THROW(t.FindKey({"a", "b"}), EDatabaseError);  // more values than index fields
  EXPECT_THROW(t.KeyExclusive(), EDatabaseError);        // not editing a key
  t.SetIndexName("");
  EXPECT_THROW(t.FindKey({"apno"}), EDatabaseError);  // natural order has no key
}

TEST_F(KeyFixture, RangesOnACompositeAndACaseInsensitiveIndex) {
  t.SetIndexName("ByGrpName");
  // A partial key: the whole group, names by bytes.
  t.SetRange({"A"}, {"A"});
  EXPECT_EQ(Names(t), (V{"Cena", "Zelje", "cesta", "Čebula", "čaj"}));
  t.SetRange({"A", "C"}, {"A", "Czzz"});
  EXPECT_EQ(Names(t), (V{"Cena"}));
  EXPECT_FALSE(t.FindKey({"B", "Dom"}));  // outside the range
  EXPECT_EQ(Name(), "Cena");
  t.CancelRange();
  EXPECT_EQ(Name(), "Cena");  // the record stays
  EXPECT_EQ(Names(t).size(), 10u);
  EXPECT_TRUE(t.FindKey({"B", "Dom"}));

  t.SetIndexName("ByNameCI");
  // Č after C and before D, not after Z.
  t.SetRange({"c"}, {"czzz"});
  EXPECT_EQ(Names(t), (V{"Cena", "cesta", "cvet"}));
  t.SetRange({"č"}, {"čzzz"});
  EXPECT_EQ(Names(t), (V{"čaj", "Čebula"}));
  // Exclusive ends leave out the equal keys; an end left unset is open.
  t.SetRangeStart();
  t.FieldByName("Name")->SetAsString("CENA");
  t.SetKeyExclusive(true);
  t.SetRangeEnd();
  t.FieldByName("Name")->SetAsString("Čaj");
  t.ApplyRange();
  EXPECT_EQ(Names(t), (V{"cesta", "cvet", "čaj"}));
  t.SetRangeStart();
  t.FieldByName("Name")->SetAsString("d");
  t.SetRangeEnd();
  t.Post();
  EXPECT_FALSE(t.GetKeyBuffer(kiRangeEnd).Modified);
  t.ApplyRange();
  EXPECT_EQ(Names(t), (V{"Dom", "Zelje", "žaba"}));
  // RecordCount counts the table, not the range; a folder of tables is no SQL server.
  EXPECT_EQ(t.RecordCount(), 10);
  EXPECT_FALSE(t.IsSQLBased());
}

TEST_F(KeyFixture, ARangeAndAFilterTogether) {
  t.SetIndexName("ByNameCI");
  t.SetRange({"c"}, {"čzzz"});
  EXPECT_EQ(Names(t), (V{"Cena", "cesta", "cvet", "čaj", "Čebula"}));
  BlobBuilder b;
  const int qty = b.Field("Qty");
  b.Op(filterblob::opGt, qty, b.Int(3));
  const auto blob = b.Bytes();
  t.Handle()->ActivateFilter(t.Handle()->AddFilter(0, 1, false, blob, {}));
  t.Refresh();
  EXPECT_EQ(Names(t), (V{"cvet", "čaj"}));
  EXPECT_FALSE(t.FindKey({"Cena"}));  // in the range, but the filter refuses it
  EXPECT_TRUE(t.FindNearest({"Cena"}));
  EXPECT_EQ(Name(), "cvet");
  t.CancelRange();
  EXPECT_EQ(Names(t), (V{"apno", "cvet", "čaj", "Ćevap", "Dom", "Zelje", "žaba"}));
}
