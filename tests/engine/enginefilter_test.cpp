// Filter expressions of the engine: the decoder's checks, the evaluator's semantics, filters
// on a cursor's reads, and the BCD form of decimal constants.
#include "enginefilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

#include "childprocess.h"
#include "cp1250.h"
#include "datetime.h"
#include "enginebcd.h"
#include "filterblob.h"
#include "testenv.h"

using FT = TEngineFieldType;
using namespace filterblob;

namespace {

std::string W(const std::string& utf8) { return Utf8ToCp1250(utf8); }

std::vector<TEngineFieldDef> Fields() {
  return {{"Name", FT::String, 20}, {"Qty", FT::Integer},  {"Price", FT::BCD, 2, 10},
          {"Amount", FT::Float},    {"Dat", FT::Date},     {"Stamp", FT::DateTime},
          {"Tm", FT::Time},         {"Paid", FT::Boolean}, {"W", FT::Word},
          {"Notes", FT::Memo, 1},   {"Raw", FT::Blob, 1},  {"Šifra", FT::Integer}};
}

const TDateTime kOld = -1.25;  // 1899-12-29 06:00

struct FilterFixture : ::testing::Test {
  TestEnv env;
  std::string path = env.Path("goods.db");
  void SetUp() override {
    TEngineTable::Create(path, Fields(), {{"ByQty", "Qty", 0}});
    TEngineTable t(path);
    TEngineValue n;
    auto s = [](const char* v) { return TEngineValue(std::string(v)); };
    // Name, Qty, Price, Amount, Dat, Stamp, Tm, Paid, W, Notes, Raw, Šifra
    t.InsertRecord({s("Cena"), int64_t(1), 1.005, 2.5, EncodeDate(2024, 1, 15), kOld, EncodeTime(10, 0, 0, 0),
                    int64_t(1), int64_t(40000), s("x"), n, int64_t(7)});
    t.InsertRecord({s("čaj"), int64_t(2), 2.0, n, n, 45000.5, EncodeTime(11, 0, 0, 0), int64_t(0), int64_t(1), n, n, n});
    t.InsertRecord({s("Zelje"), int64_t(0), n, 1.0, n, n, n, int64_t(1), n, n, n, n});
    t.InsertRecord({n, int64_t(4), n, n, n, n, n, n, n, n, n, n});
    t.InsertRecord({s("cesta"), int64_t(3), n, n, n, n, n, int64_t(1), n, n, n, n});
    t.InsertRecord({s("Ćevap"), int64_t(5), n, n, n, n, n, n, n, n, n, n});
  }
};

// Names of the records a cursor reads forwards (NULL as "-"); backwards must agree.
std::vector<std::string> Names(TEngineCursor& c) {
  std::vector<std::string> fwd, back;
  TEngineRecord r;
  auto name = [&] { return EngineIsNull(r.Values[0]) ? std::string("-") : std::get<std::string>(r.Values[0]); };
  c.First();
  while (c.Next(r)) fwd.push_back(name());
  c.Last();
  while (c.Prior(r)) back.insert(back.begin(), name());
  EXPECT_EQ(fwd, back) << "backwards differs";
  return fwd;
}

using V = std::vector<std::string>;

}  // namespace

TEST_F(FilterFixture, ExpressionsKeepTheRecordsTheirSemanticsSay) {
  struct Case {
    std::string what;
    std::function<void(BlobBuilder&)> build;
    V names;
  };
  auto cmp = [](std::uint32_t op, auto left, auto right) {
    return [=](BlobBuilder& b) {
      int l = left(b);
      int r = right(b);
      b.Op(op, l, r);
    };
  };
  auto field = [](const char* name) { return [=](BlobBuilder& b) { return b.Field(W(name)); }; };
  auto text = [](const char* t) { return [=](BlobBuilder& b) { return b.Text(W(t)); }; };
  auto num = [](int v) { return [=](BlobBuilder& b) { return b.Int(v); }; };
  const V all{"Cena", "čaj", "Zelje", "-", "cesta", "Ćevap"};
  const Case cases[] = {
      {"text = is exact", cmp(opEq, field("Name"), text("cesta")), {"cesta"}},
      {"text = case matters", cmp(opEq, field("Name"), text("Cesta")), {}},
      {"text <> keeps NULL (it is \"\")", cmp(opNe, field("Name"), text("cesta")), {"Cena", "čaj", "Zelje", "-", "Ćevap"}},
      {"NULL text equals \"\"", cmp(opEq, field("Name"), text("")), {"-"}},
      // Č and Ć after C, not after Z; case does not count for the order.
      {"text < in the collation", cmp(opLt, field("Name"), text("D")), {"Cena", "čaj", "-", "cesta", "Ćevap"}},
      {"text > in the collation", cmp(opGt, field("Name"), text("z")), {"Zelje"}},
      {"text >= differing only in case", cmp(opGe, field("Name"), text("CESTA")), {"čaj", "Zelje", "cesta", "Ćevap"}},
      {"integers", cmp(opGe, field("Qty"), num(3)), {"-", "cesta", "Ćevap"}},
      {"NULL number: <> is false too", [](BlobBuilder& b) { b.Op(opNe, b.Field("Amount"), b.Float(2.5)); }, {"Zelje"}},
      {"BCD field rounded to its places", [](BlobBuilder& b) { b.Op(opEq, b.Field("Price"), b.Bcd(1.01, 2)); }, {"Cena"}},
      {"float against BCD constant", [](BlobBuilder& b) { b.Op(opLt, b.Field("Amount"), b.Bcd(2.5, 2)); }, {"Zelje"}},
      // 6 / Qty > 2 OR Name = 'Zelje': Zelje's Qty is 0, so it is dropped all the same.
      {"division by zero drops the record",
       [](BlobBuilder& b) {
         int q = b.Op(opDiv, b.Int(6), b.Field("Qty"));
         int l = b.Op(opGt, q, b.Int(2));
         int r = b.Op(opEq, b.Field("Name"), b.Text("Zelje"));
         b.Op(opOr, l, r);
       },
       {"Cena", "čaj"}},
      {"arithmetic with NULL is NULL",
       [](BlobBuilder& b) { b.Op(opGt, b.Op(opAdd, b.Field("Amount"), b.Int(1)), b.Int(0)); }, {"Cena", "Zelje"}},
      {"logical constant", [](BlobBuilder& b) { b.Op(opEq, b.Field("Paid"), b.Logical(true)); }, {"Cena", "Zelje", "cesta"}},
      {"Boolean field as a truth value",
       [](BlobBuilder& b) {
         int p = b.Field("Paid");
         b.Op(opAnd, p, b.Op(opGt, b.Field("Qty"), b.Int(0)));
       },
       {"Cena", "cesta"}},
      {"date", [](BlobBuilder& b) { b.Op(opEq, b.Field("Dat"), b.Date(DateTimeToTimeStamp(EncodeDate(2024, 1, 15)).Date)); }, {"Cena"}},
      {"date-time before 1899 keeps its time",
       [](BlobBuilder& b) { b.Op(opEq, b.Field("Stamp"), b.Stamp((693594.0 - 1) * 86400000 + 6 * 3600000)); }, {"Cena"}},
      {"time", [](BlobBuilder& b) { b.Op(opGt, b.Field("Tm"), b.Time(10 * 3600000 + 30 * 60000)); }, {"čaj"}},
      {"16-bit constant of a Word field is unsigned",
       [](BlobBuilder& b) { b.Op(opEq, b.Field("W"), b.Small(std::int16_t(std::uint16_t(40000)))); }, {"Cena"}},
      {"memo compares as text", cmp(opEq, field("Notes"), text("x")), {"Cena"}},
      {"field names ignore ASCII case and are Windows-1250", cmp(opEq, field("ŠIFRA"), num(7)), {"Cena"}},
      {"AND and OR",
       [](BlobBuilder& b) {
         int a = b.Op(opLt, b.Field("Qty"), b.Int(2));
         int c = b.Op(opEq, b.Field("Name"), b.Text("cesta"));
         b.Op(opOr, a, c);
       },
       {"Cena", "Zelje", "cesta"}},
  };
  TEngineTable t(path);
  for (const auto& k : cases) {
    TEngineCursor c(t);
    BlobBuilder b;
    k.build(b);
    const auto blob = b.Bytes();
    TEngineFilterHandle h = 0;
    ASSERT_NO_THROW(h = c.AddFilter(0, 1, false, blob, {})) << k.what;
    EXPECT_EQ(Names(c), all) << k.what << ": inactive";
    c.ActivateFilter(h);
    EXPECT_EQ(Names(c), k.names) << k.what;
  }
}

TEST_F(FilterFixture, MalformedBlobsAreRefusedWithTheirFault) {
  // Qty > 1: the root (offset 0), the constant (14), the field (28); pool "Qty\0" + 4 bytes.
  BlobBuilder base;
  const int qty = base.Field("Qty");
  const int one = base.Int(1);
  base.Op(opGt, qty, one);
  const std::vector<std::uint8_t> good = base.Bytes();
  using Blob = std::vector<std::uint8_t>;
  auto set16 = [](Blob b, size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
    return b;
  };
  auto set8 = [](Blob b, size_t at, std::uint8_t v) {
    b[at] = v;
    return b;
  };
  const size_t root = 10, constant = 24, field = 38, pool = 52;
  struct Case {
    std::string what;
    Blob blob;
    std::string fault;
  };
  auto build = [](const std::function<void(BlobBuilder&)>& f) {
    BlobBuilder b;
    f(b);
    return b.Bytes();
  };
  Blob deep;
  {
    BlobBuilder b;
    int x = b.Field("Paid");
    for (int i = 0; i < TEngineFilterExpression::MaxDepth; ++i) x = b.Op(opAnd, x, b.Field("Paid"));
    deep = b.Bytes();
  }
  const Case cases[] = {
      {"short", Blob(good.begin(), good.begin() + 5), "shorter than its header"},
      {"version", set16(good, 0, 2), "version 2"},
      {"total beyond the blob", set16(good, 2, std::uint16_t(good.size() + 1)), "larger than the blob"},
      {"total inside the nodes", set16(good, 2, 40), "smaller than the nodes"},
      {"no nodes", set16(good, 4, 0), "no nodes"},
      {"node area", set16(good, 6, 12), "node area"},
      {"pool start", set16(good, 8, 50), "literal pool"},
      {"operator code", set8(good, root + 4, 9), "operator code 9"},
      {"node class", set8(good, root, 3), "node class 3"},
      {"offset out of range", set16(good, root + 8, 42), "offset 42 out of range"},
      {"offset between slots", set16(good, root + 8, 15), "offset 15 out of range"},
      {"node used twice", set16(good, root + 10, 28), "used twice"},
      {"reserved bytes", set8(good, root + 12, 1), "reserved"},
      {"field node operator", set8(good, field + 4, 14), "field node with operator 14"},
      {"field number 0", set16(good, field + 8, 0), "field number 0"},
      {"constant node operator", set8(good, constant + 4, 13), "constant node with operator 13"},
      {"value type", set16(good, constant + 8, 3), "value type 3"},
      {"value size", set16(good, constant + 10, 2), "with size 2"},
      {"value beyond the pool", set16(good, constant + 12, 6), "beyond the pool"},
      {"literal offset beyond the pool", set16(good, field + 10, 40), "beyond the pool"},
      {"name without NUL", set8(set8(set8(set8(set8(good, pool + 3, 'x'), pool + 4, 'y'), pool + 5, 'y'), pool + 6, 'y'), pool + 7, 'y'),
       "without its NUL"},
      {"unknown field", set8(good, pool, 'X'), "no field named 'Xty'"},
      {"a node left out",
       build([](BlobBuilder& b) {
         b.Int(5);
         const int f = b.Field("Qty");
         b.Op(opGt, f, b.Int(1));
       }),
       "1 nodes are not part of the tree"},
      {"root not a truth value", build([](BlobBuilder& b) { b.Field("Qty"); }), "not a truth value"},
      {"text against number", build([](BlobBuilder& b) { b.Op(opGt, b.Field("Name"), b.Int(1)); }), "different kinds"},
      {"arithmetic on text", build([](BlobBuilder& b) { b.Op(opGt, b.Op(opAdd, b.Field("Name"), b.Text("a")), b.Text("b")); }), "not a number"},
      {"AND over a number", build([](BlobBuilder& b) { b.Op(opAnd, b.Field("Qty"), b.Field("Paid")); }), "not a truth value"},
      {"blob field", build([](BlobBuilder& b) { b.Op(opEq, b.Field("Raw"), b.Text("a")); }), "cannot be compared"},
      {"NaN", build([](BlobBuilder& b) { b.Op(opEq, b.Field("Amount"), b.Float(std::nan(""))); }), "not finite"},
      {"text size",
       set16(build([](BlobBuilder& b) {
               const int f = b.Field("Name");
               b.Op(opEq, f, b.Text("ab"));
             }),
             24 + 10, 2),
       "does not match its NUL"},
      {"too deep", deep, "deeper than"},
  };
  TEngineTable t(path);
  TEngineCursor c(t);
  EXPECT_NO_THROW(c.AddFilter(0, 1, false, good, {}));
  for (const auto& k : cases) {
    try {
      c.AddFilter(0, 1, false, k.blob, {});
      ADD_FAILURE() << k.what << ": taken";
    } catch (const EEngineError& e) {
      EXPECT_EQ(e.Code(), EEngineError::ecInvalidFilter) << k.what;
      EXPECT_NE(std::string(e.Message()).find(k.fault), std::string::npos) << k.what << ": " << e.Message();
    }
  }
}

TEST_F(FilterFixture, EveryReadHonoursTheFiltersAndCallbacksSeeWhatExpressionsKeep) {
  TEngineTable t(path);
  TEngineCursor c(t);
  BlobBuilder b;
  b.Op(opGe, b.Field("Qty"), b.Int(2));
  const auto blob = b.Bytes();
  const TEngineFilterHandle expr = c.AddFilter(0, 1, false, blob, {});
  c.ActivateFilter(expr);
  EXPECT_TRUE(c.Filtered());
  EXPECT_EQ(Names(c), (V{"čaj", "-", "cesta", "Ćevap"}));
  // Current and GotoBookmark: a record the filter refuses is not there.
  EXPECT_FALSE(c.GotoBookmark(1));  // Cena, Qty 1
  EXPECT_TRUE(c.GotoBookmark(2));
  TEngineRecord r;
  t.ModifyRecord(2, {std::string("čaj"), int64_t(0), TEngineValue(), TEngineValue(), TEngineValue(), TEngineValue(),
                     TEngineValue(), TEngineValue(), TEngineValue(), TEngineValue(), TEngineValue(), TEngineValue()});
  EXPECT_FALSE(c.Current(r));
  ASSERT_TRUE(c.Next(r));  // on from the key it left
  EXPECT_EQ(r.Bookmark, 4);
  // A callback in the natural order; it sees only what the expression kept, and may read the
  // table through the same cursor while it is asked.
  std::vector<TEngineBookmark> seen;
  const std::intptr_t client = 77;
  bool inside = false;  // as the table component guards its handler
  const TEngineFilterHandle cb = c.AddFilter(client, 1, false, {}, [&](std::intptr_t data, const TEngineRecord& rec) {
    if (inside) return true;
    inside = true;
    EXPECT_EQ(data, client);
    seen.push_back(rec.Bookmark);
    TEngineRecord other;
    c.GotoBookmark(rec.Bookmark);
    c.Current(other);
    inside = false;
    return rec.Bookmark != 5;
  });
  c.ActivateFilter(cb);
  EXPECT_EQ(Names(c), (V{"-", "Ćevap"}));
  EXPECT_EQ(seen, (std::vector<TEngineBookmark>{4, 5, 6, 6, 5, 4}));
  // Unknown handles are harmless; a handle is never reused, not even by another cursor.
  TEngineCursor other(t);
  const TEngineFilterHandle h2 = other.AddFilter(0, 1, false, blob, {});
  EXPECT_NE(h2, expr);
  EXPECT_NE(h2, cb);
  c.DropFilter(h2);
  c.DropFilter(0);
  c.DeactivateFilter(999999);
  EXPECT_EQ(Names(c), (V{"-", "Ćevap"}));
  c.DropFilter(cb);
  c.DeactivateFilter(expr);
  EXPECT_FALSE(c.Filtered());
  EXPECT_EQ(Names(c).size(), 6u);
  // RecordCount ignores filters.
  c.ActivateFilter(expr);
  EXPECT_EQ(t.RecordCount(), 6);
  EXPECT_THROW(c.AddFilter(0, 1, false, {}, {}), EEngineError);
}

TEST_F(FilterFixture, APostedRecordThatFailsTheFilterLeavesTheCursorOnItsKey) {
  TEngineTable t(path);
  TEngineCursor c(t);
  c.SetIndex("ByQty");
  BlobBuilder b;
  b.Op(opNe, b.Field("Qty"), b.Int(3));
  const auto blob = b.Bytes();
  c.ActivateFilter(c.AddFilter(0, 1, false, blob, {}));
  c.Append();
  c.SetValue("Name", std::string("novo"));
  c.SetValue("Qty", int64_t(3));
  c.Post();
  EXPECT_EQ(c.Bookmark(), 0);
  TEngineRecord r;
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(std::get<int64_t>(r.Values[1]), 4);
  ASSERT_TRUE(c.Prior(r));
  EXPECT_EQ(std::get<int64_t>(r.Values[1]), 2);
}

TEST(EngineBcd, DoublesConvertByTheirShortestDecimalForm) {
  struct Case {
    double value;
    int decimals;
    bool ok;
    double back;
  };
  const Case cases[] = {
      {1.005, 2, true, 1.01},  {-1.005, 2, true, -1.01},   {123.456, 0, true, 123}, {0.5, 0, true, 1},
      {99.995, 2, true, 100},  {-0.001, 2, true, 0},       {12.34, 2, true, 12.34}, {1e29, 2, true, 1e29},
      {1e30, 2, false, 0},     {std::nan(""), 2, false, 0}, {1.0, 33, false, 0},
  };
  for (const auto& k : cases) {
    TEngineBcd b{};
    ASSERT_EQ(EngineDoubleToBcd(k.value, 32, k.decimals, b), k.ok) << k.value;
    if (!k.ok) continue;
    double v = -99;
    ASSERT_TRUE(EngineBcdToDouble(b, v)) << k.value;
    EXPECT_EQ(v, k.back) << k.value;
    EXPECT_FALSE(std::signbit(v) && v == 0) << "negative zero";
  }
  // 12.34 with 32 digits, 2 of them places: digits right-aligned in 16 bytes.
  TEngineBcd b{};
  ASSERT_TRUE(EngineDoubleToBcd(-12.34, 32, 2, b));
  TEngineBcd want{};
  want[0] = 32;
  want[1] = 0x80 | 2;
  want[16] = 0x12;
  want[17] = 0x34;
  EXPECT_EQ(b, want);
  // Malformed forms are refused.
  auto bad = [](std::function<void(TEngineBcd&)> f) {
    TEngineBcd x = {};
    EngineDoubleToBcd(1.5, 4, 1, x);
    f(x);
    double v;
    return !EngineBcdToDouble(x, v);
  };
  EXPECT_TRUE(bad([](TEngineBcd& x) { x[2] = 0xA0; }));
  EXPECT_TRUE(bad([](TEngineBcd& x) { x[1] = 5; }));
  EXPECT_TRUE(bad([](TEngineBcd& x) { x[0] = 0; }));
  EXPECT_TRUE(bad([](TEngineBcd& x) { x[5] = 0x01; }));  // a digit beyond the precision
  EXPECT_EQ(EngineRoundDecimal(2.675, 2), 2.68);
}

namespace {

// Child: sets the Qty of a record, or deletes it when the quantity is "delete".
const bool jobSetQty = RegisterChildJob("set-qty", [](const std::vector<std::string>& a) {
  TEngineTable t(a[0]);
  const TEngineBookmark bm = std::stoll(a[1]);
  if (a[2] == "delete") {
    t.DeleteRecord(bm);
    return 0;
  }
  TEngineRecord r;
  if (!t.ReadRecord(bm, r)) return 1;
  r.Values[1] = int64_t(std::stoll(a[2]));
  t.ModifyRecord(bm, r.Values);
  return 0;
});

}  // namespace

TEST_F(FilterFixture, ReadAheadNeverHidesAWriteOnceItIsSeen) {
  TEngineTable t(path);
  TEngineTable other(path);
  TEngineCursor c(t);
  TEngineRecord r;
  auto qty = [&] { return std::get<int64_t>(r.Values[1]); };
  c.First();
  ASSERT_TRUE(c.Next(r));  // 1: Cena; the following records are read ahead
  ASSERT_TRUE(c.Next(r));  // 2: čaj
  // A write through any table of this process is seen at once.
  TEngineRecord third;
  ASSERT_TRUE(other.ReadRecord(3, third));
  third.Values[1] = int64_t(33);
  other.ModifyRecord(3, third.Values);
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(qty(), 33);
  // Another process's write, once the read-ahead's trust has run out.
  ASSERT_EQ(RunChild("set-qty", {path, "4", "44"}), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(qty(), 44);
  ASSERT_EQ(RunChild("set-qty", {path, "5", "delete"}), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_TRUE(c.Next(r));
  EXPECT_EQ(r.Bookmark, 6);
}
