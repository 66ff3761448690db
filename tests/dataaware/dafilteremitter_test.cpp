// The filter-expression emitter (blob bytes, refusals) and filter installation on a table
// of the engine, with the other vendor's driver through a test double.
#include "dafilteremitter.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

#include "dialogs.h"
#include "filterfields.h"
#include "formatsettings.h"
#include "testenv.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian packers for the expected blobs.
void Add16(Bytes& b, std::uint32_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
void Add32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
Bytes Header(int total, int n) {
  Bytes b;
  for (int v : {1, total, n, 10, 10 + 14 * n}) Add16(b, std::uint32_t(v));
  return b;
}
Bytes Op(int code, int left, int right) {
  Bytes b;
  Add32(b, 2);
  Add32(b, std::uint32_t(code));
  for (int v : {left, right, 0}) Add16(b, std::uint32_t(v));
  return b;
}
Bytes Fld(int number, int literal) {
  Bytes b;
  Add32(b, 4);
  Add32(b, 13);
  for (int v : {number, literal, 0}) Add16(b, std::uint32_t(v));
  return b;
}
Bytes Cst(int type, int size, int literal) {
  Bytes b;
  Add32(b, 5);
  Add32(b, 14);
  for (int v : {type, size, literal}) Add16(b, std::uint32_t(v));
  return b;
}
Bytes Str(const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); }  // NULs included
Bytes I32(std::int32_t v) {
  Bytes b;
  Add32(b, std::uint32_t(v));
  return b;
}
Bytes F64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  Bytes b;
  for (int i = 0; i < 8; ++i) b.push_back(std::uint8_t(bits >> (8 * i)));
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
std::string Hex(const Bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < b.size(); ++i) {
    if (i) s += (i == 10 || (i > 10 && (i - 10) % 14 == 0)) ? " | " : " ";
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}

struct EmitterFixture : ::testing::Test {
  void SetUp() override {
    FilterTable = &table;
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().DateSeparator = '.';
    FormatSettings().ShortDateFormat = "d.m.yyyy";
  }
  void TearDown() override {
    FilterTable = nullptr;
    FreeFilterBuffer();
    FormatSettings() = TFormatSettings{};
  }
  FilterFieldList table{{{"Qty", ftInteger, 0},  {"Name", ftString, 20}, {"Paid", ftBoolean, 0},
                         {"Dat", ftDate, 0},     {"Tm", ftTime, 0},      {"Stamp", ftDateTime, 0},
                         {"Amount", ftFloat, 0}, {"Price", ftBCD, 2},    {"B", ftSmallint, 0},
                         {"A", ftInteger, 0},    {"W", ftWord, 0}}};
  TRecordingUiService ui;
};

// The blob's bytes up to its total size.
Bytes Blob(const std::string& text) {
  const std::vector<std::uint8_t>* b = CompileFilter(text);
  if (!b) return {};
  EXPECT_EQ(b->size(), size_t(10 + 14 * ((*b)[4] | (*b)[5] << 8) + 1000));
  const size_t total = size_t((*b)[2] | (*b)[3] << 8);
  return Bytes(b->begin(), b->begin() + std::ptrdiff_t(total));
}

}  // namespace

TEST_F(EmitterFixture, BlobsAreWrittenByteForByte) {
  const std::int32_t day = 738900;  // 2024-01-15: 45306 days after 1899-12-30, + 693594
  const double ms1030 = 37800000;
  Bytes bcd(34, 0);  // 12.345 with 2 places: 12.35, 32 digits right-aligned
  bcd[0] = 32;
  bcd[1] = 2;
  bcd[16] = 0x12;
  bcd[17] = 0x35;
  struct Case {
    std::string text;
    Bytes blob;
  };
  const Case cases[] = {
      {"Qty > 5", Cat({Header(60, 3), Op(5, 28, 14), Cst(6, 4, 4), Fld(1, 0), Str(std::string("Qty\0", 4)), I32(5)})},
      // Slovenian text in Windows-1250: Č is C8.
      {"Name = \"Čebula\"",
       Cat({Header(64, 3), Op(3, 28, 14), Cst(1, 7, 5), Fld(1, 0), Str(std::string("Name\0\xC8" "ebula\0", 12))})},
      {"Paid = True", Cat({Header(59, 3), Op(3, 28, 14), Cst(4, 2, 5), Fld(1, 0), Str(std::string("Paid\0\xFF\xFF", 7))})},
      {"Paid = \"\"", Cat({Header(59, 3), Op(3, 28, 14), Cst(4, 2, 5), Fld(1, 0), Str(std::string("Paid\0\0\0", 7))})},
      {"Dat >= \"15.1.2024\"", Cat({Header(60, 3), Op(7, 28, 14), Cst(2, 4, 4), Fld(1, 0), Str(std::string("Dat\0", 4)), I32(day)})},
      {"Tm < \"10:30\"", Cat({Header(59, 3), Op(6, 28, 14), Cst(10, 4, 3), Fld(1, 0), Str(std::string("Tm\0", 3)), I32(37800000)})},
      {"Stamp = \"15.1.2024 10:30\"",
       Cat({Header(66, 3), Op(3, 28, 14), Cst(11, 8, 6), Fld(1, 0), Str(std::string("Stamp\0", 6)), F64(day * 86400000.0 + ms1030)})},
      // Before 1899-12-30 the time of day is kept, not taken away.
      {"Stamp = \"29.12.1899 6:00\"",
       Cat({Header(66, 3), Op(3, 28, 14), Cst(11, 8, 6), Fld(1, 0), Str(std::string("Stamp\0", 6)),
            F64(693593 * 86400000.0 + 21600000)})},
      {"Amount > 2,5", Cat({Header(67, 3), Op(5, 28, 14), Cst(7, 8, 7), Fld(1, 0), Str(std::string("Amount\0", 7)), F64(2.5)})},
      {"Price = 12,345", Cat({Header(92, 3), Op(3, 28, 14), Cst(8, 34, 6), Fld(1, 0), Str(std::string("Price\0", 6)), bcd})},
      {"B = -5", Cat({Header(56, 3), Op(3, 28, 14), Cst(5, 2, 2), Fld(1, 0), Str(std::string("B\0\xFB\xFF", 4))})},
      {"W = 65535", Cat({Header(56, 3), Op(3, 28, 14), Cst(5, 2, 2), Fld(1, 0), Str(std::string("W\0\xFF\xFF", 4))})},
      // Three fields: numbered in the order of writing, operands before their operator.
      {"A = 1 AND Name = \"x\" AND Paid = T",
       Cat({Header(184, 11), Op(10, 56, 14), Op(3, 42, 28), Cst(4, 2, 18), Fld(3, 13), Op(10, 112, 70), Op(3, 98, 84),
            Cst(1, 2, 11), Fld(2, 6), Op(3, 140, 126), Cst(6, 4, 2), Fld(1, 0),
            Str(std::string("A\0\1\0\0\0Name\0x\0Paid\0\xFF\xFF", 20))})},
  };
  for (const auto& k : cases) EXPECT_EQ(Hex(Blob(k.text)), Hex(k.blob)) << k.text;
  EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(EmitterFixture, TextsThatCannotBeWrittenAreRefused) {
  std::string overflow, deep;
  for (int i = 0; i < 17; ++i) overflow += (i ? " OR " : "") + std::string("Name = \"") + std::string(62, 'x') + "\"";
  std::string half;
  for (int i = 0; i < 600; ++i) half += (i ? " OR " : "") + std::string("A = 1");
  deep = "(" + half + ") AND (" + half + ")";
  // Refused: nothing left after the expression, the pool's 1000 bytes, the 65535 bytes.
  // (Under a decimal comma 2.5 reads as 2 and leaves ".5".)
  for (const std::string& text : {std::string("Name = Smith AND Qty > 5"), std::string("A = 1)"),
                                  std::string("Amount > 2.5"), overflow, deep})
    EXPECT_EQ(CompileFilter(text), nullptr) << text.substr(0, 40);
  EXPECT_NE(CompileFilter("A = 1  \t"), nullptr);  // blanks after it are fine
  // Conversion errors.
  for (const std::string& text : {std::string("B = 70000"), std::string("B = -32769"), std::string("W = -1"),
                                  std::string("A = 3000000000"), std::string("Qty = abc"), std::string("Amount > abc"),
                                  std::string("Dat = \"31.2.2024\""), std::string("Name = \"日本\""),
                                  std::string("Price = " + std::string(31, '9'))})
    EXPECT_THROW(CompileFilter(text), EConvertError) << text;
  EXPECT_FALSE(EmitFilterNode(nullptr));
}

// ---- installation on a table ------------------------------------------------------------------

namespace {

// A table that keeps a filter text and a record callback across opens, as the extended table
// does: both installed while the cursor opens (forced), handles cleared when it closes.
class FilteredTable : public TTable {
 public:
  FilteredTable() : TTable(nullptr) {}
  ~FilteredTable() override {
    Destroying();
    Close();
  }
  std::string Text;
  TEngineFilterCallback Callback;
  TEngineFilterHandle FilterHandle = 0, CallbackHandle = 0;

  void SetText(const std::string& Value) {
    Text = Value;
    if (Active() && !SetFilterExpression(Text, this, FilterHandle, false))
      MessageDlg("Fail to set filter", mtWarning, TMsgDlgButtons{mbOK}, 0);
  }
  void SetCallback(TEngineFilterCallback Value) {
    Callback = std::move(Value);
    SetFilterCallback(Callback, this, CallbackHandle);
  }
  // Bookmarks of the records in the buffer ring.
  std::vector<TEngineBookmark> Ring() {
    std::vector<TEngineBookmark> out;
    for (int i = 0; i < RecordCountInBuffers(); ++i) {
      TEngineBookmark bm;
      GetBookmarkData(Buffers(i), &bm);
      out.push_back(bm);
    }
    return out;
  }
  void SetRing(int n) { SetBufferCount(n); }
  // The fields as a record filter sees the record under test.
  void UnderTest(const TEngineRecord& Record, const std::function<void()>& Body) { WithRecordUnderTest(Record, Body); }

 protected:
  void PrepareCursor() override {
    TTable::PrepareCursor();
    if (!Text.empty()) SetFilterExpression(Text, this, FilterHandle, true);
    if (Callback) SetFilterCallback(Callback, this, CallbackHandle);
  }
  void CloseCursor() override {
    FilterHandle = CallbackHandle = 0;
    TTable::CloseCursor();
  }
};

std::vector<int> Quantities(TDataSet& t) {
  std::vector<int> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("Qty")->AsInteger());
  return out;
}

struct InstallFixture : ::testing::Test {
  TestEnv env;
  FilteredTable t;
  TRecordingUiService ui;
  void SetUp() override {
    t.SetTableName("c:\\Data\\Stock");
    t.FieldDefs()->Add("Qty", ftInteger);
    t.FieldDefs()->Add("Name", ftString, 20);
    t.IndexDefs()->Add("", "Qty", {ixPrimary});
    t.CreateTable();
    t.Open();
    for (int q = 1; q <= 10; ++q) t.AppendRecord({q, "item " + std::to_string(q)});
  }
  std::vector<int> All() { return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; }
};

}  // namespace

TEST_F(InstallFixture, InstallFailReplaceConvertAndClear) {
  t.SetText("Qty > 5");
  const TEngineFilterHandle first = t.FilterHandle;
  EXPECT_NE(first, 0u);
  EXPECT_EQ(Quantities(t), (std::vector<int>{6, 7, 8, 9, 10}));
  // A text that does not parse: one message, the filter before stays with its handle.
  t.SetText("Qty >");
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Text, "Fail to set filter");
  EXPECT_EQ(t.FilterHandle, first);
  EXPECT_EQ(Quantities(t), (std::vector<int>{6, 7, 8, 9, 10}));
  // Trailing text is refused the same way.
  t.SetText("Qty < 3 AND Name = item 1 AND Qty > 0");
  EXPECT_EQ(ui.Messages.size(), 2u);
  EXPECT_EQ(t.FilterHandle, first);
  // Every refusal of the emitter leaves the filter before in place.
  std::string overflow;
  for (int i = 0; i < 17; ++i) overflow += (i ? " OR " : "") + std::string("Name = \"") + std::string(62, 'x') + "\"";
  for (const std::string& text : {overflow, std::string("Qty = 3000000000"), std::string("Name = \"日本\"")}) {
    try {
      t.SetText(text);
    } catch (const EConvertError&) {
    }
    EXPECT_EQ(t.FilterHandle, first) << text.substr(0, 30);
    EXPECT_EQ(Quantities(t), (std::vector<int>{6, 7, 8, 9, 10})) << text.substr(0, 30);
  }
  ui.Messages.clear();
  t.SetText("Qty < 3");
  EXPECT_NE(t.FilterHandle, first);
  const TEngineFilterHandle second = t.FilterHandle;
  EXPECT_EQ(Quantities(t), (std::vector<int>{1, 2}));
  // A constant that does not convert raises; nothing changes.
  EXPECT_THROW(t.SetText("Qty = abc"), EConvertError);
  EXPECT_EQ(t.FilterHandle, second);
  EXPECT_EQ(Quantities(t), (std::vector<int>{1, 2}));
  // A blob the engine refuses (10 stands as a field here): no filter is left.
  t.SetText("(Qty) * (2) > 10");
  EXPECT_EQ(t.FilterHandle, 0u);
  EXPECT_EQ(Quantities(t), All());
  t.SetText("Qty <= 2");
  t.SetText("");
  EXPECT_EQ(t.FilterHandle, 0u);
  EXPECT_EQ(Quantities(t), All());
  // A stale handle drops nothing: the table's own stays.
  t.SetText("Qty > 8");
  TEngineFilterHandle stale = second;
  DropFilter(&t, stale);
  EXPECT_EQ(stale, 0u);
  EXPECT_EQ(Quantities(t), (std::vector<int>{9, 10}));
  EXPECT_EQ(t.RecordCount(), 10);  // RecordCount ignores filters
}

TEST_F(InstallFixture, CallbackAndExpressionSurviveCloseAndOpen) {
  t.SetText("Qty > 5");
  std::vector<int> seen;
  t.SetCallback([&](std::intptr_t client, const TEngineRecord& rec) {
    EXPECT_EQ(client, reinterpret_cast<std::intptr_t>(static_cast<TTable*>(&t)));
    int q = 0;
    std::string name;
    t.UnderTest(rec, [&] {
      EXPECT_EQ(t.State(), dsFilter);
      q = t.FieldByName("Qty")->AsInteger();
      name = t.FieldByName("Name")->AsString();
    });
    EXPECT_EQ(name, "item " + std::to_string(q));
    seen.push_back(q);
    return q % 2 == 0;
  });
  EXPECT_EQ(Quantities(t), (std::vector<int>{6, 8, 10}));
  for (int q : seen) EXPECT_GT(q, 5) << "the callback sees only what the expression keeps";
  t.Close();
  EXPECT_EQ(t.FilterHandle, 0u);
  // Not active, not forced: nothing is installed and no handle kept.
  TEngineFilterHandle h = 99;
  EXPECT_TRUE(SetFilterExpression("Qty > 1", &t, h, false));
  EXPECT_EQ(h, 0u);
  t.Open();
  EXPECT_NE(t.FilterHandle, 0u);
  EXPECT_NE(t.CallbackHandle, 0u);
  EXPECT_EQ(Quantities(t), (std::vector<int>{6, 8, 10}));
  t.SetCallback({});
  EXPECT_EQ(t.CallbackHandle, 0u);
  EXPECT_EQ(Quantities(t), (std::vector<int>{6, 7, 8, 9, 10}));
}

TEST_F(InstallFixture, ANewFilterLeavesNoExcludedRecordInTheBufferRing) {
  t.SetRing(6);
  t.First();
  t.MoveBy(4);  // on 5, the ring holding 1 to 6
  ASSERT_EQ(t.FieldByName("Qty")->AsInteger(), 5);
  t.SetText("Qty > 7");
  for (TEngineBookmark bm : t.Ring()) EXPECT_GT(bm, 7) << "excluded record left in the ring";
  EXPECT_EQ(t.Ring().size(), 3u);
  EXPECT_EQ(t.FieldByName("Qty")->AsInteger(), 8);
  t.SetCallback([](std::intptr_t, const TEngineRecord& rec) { return std::get<int64_t>(rec.Values[0]) != 8; });
  for (TEngineBookmark bm : t.Ring()) EXPECT_TRUE(bm == 9 || bm == 10) << bm;
}

// The driver's module is a shared library built beside the tests; the filter finds it by its
// module name once it is loaded, and not before.
struct DriverModule {
  void* Handle = nullptr;
  const char* (*Calls)() = nullptr;
  const char* (*Filter)(std::int32_t) = nullptr;
  void (*Reset)(std::int32_t) = nullptr;
  DriverModule() {
    Handle = dlopen(ZELKOR_TABLE_DRIVER_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!Handle) throw std::runtime_error(dlerror());
    Calls = reinterpret_cast<const char* (*)()>(dlsym(Handle, "SDE_TEST_CALLS"));
    Filter = reinterpret_cast<const char* (*)(std::int32_t)>(dlsym(Handle, "SDE_TEST_FILTER"));
    Reset = reinterpret_cast<void (*)(std::int32_t)>(dlsym(Handle, "SDE_TEST_RESET"));
  }
  ~DriverModule() { dlclose(Handle); }
  std::vector<std::string> TakeCalls() {
    std::vector<std::string> lines;
    std::string all = Calls();
    for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1)
      lines.push_back(all.substr(at, nl - at));
    Reset(Selected);
    return lines;
  }
  std::int32_t Selected = 0x10001;
};

TEST_F(InstallFixture, TheOtherVendorsDriverGetsTheTextThroughItsModule) {
  t.Close();
  t.SetTableType(TDBTableType(5));
  t.SetTableName("c:\\Data\\Stock.db");
  t.Open();
  TEngineFilterHandle h = 42;
  // Not loaded: nothing to call.
  EXPECT_FALSE(SetFilterExpression("Qty > 5", &t, h, false));

  DriverModule module;
  module.Reset(module.Selected);
  const std::int32_t area = std::int32_t(t.Handle()->Id());
  const std::string select = "select " + std::to_string(area);
  ASSERT_TRUE(SetFilterExpression("Qty > 5 AND Name = \"Žebelj\"", &t, h, false));
  EXPECT_EQ(module.Filter(area), std::string("Qty > 5 AND Name = \"\x8E" "ebelj\""));
  EXPECT_EQ(module.TakeCalls(), (std::vector<std::string>{select, "query Qty > 5 AND Name = \"\x8E" "ebelj\"",
                                                          "select " + std::to_string(module.Selected)}));
  EXPECT_EQ(h, 42u);  // not touched
  // The same work area selected before: nothing to restore.
  module.Reset(area);
  ASSERT_TRUE(SetFilterExpression("Qty > 1", &t, h, false));
  EXPECT_EQ(module.TakeCalls(), (std::vector<std::string>{select, "query Qty > 1"}));
  // An empty text removes the driver's filter of the table.
  ASSERT_TRUE(SetFilterExpression("Qty > 1", &t, h, false));
  module.TakeCalls();
  EXPECT_TRUE(SetFilterExpression("", &t, h, false));
  EXPECT_EQ(module.TakeCalls(), (std::vector<std::string>{select, "query ", "select " + std::to_string(module.Selected)}));
  EXPECT_EQ(module.Filter(area), std::string());
  // A text over 256 bytes does not reach the module; one of 256 does.
  EXPECT_FALSE(SetFilterExpression("Qty > " + std::string(300, '1'), &t, h, false));
  EXPECT_TRUE(module.TakeCalls().empty());
  EXPECT_TRUE(SetFilterExpression("Qty > " + std::string(250, '1'), &t, h, false));
  EXPECT_EQ(module.TakeCalls().size(), 3u);
  EXPECT_EQ(Quantities(t).size(), 10u);  // the engine itself filters nothing here
  // A closed table, not forced: nothing is called.
  t.Close();
  EXPECT_TRUE(SetFilterExpression("", &t, h, false));
  EXPECT_TRUE(SetFilterExpression("Qty > 5", &t, h, false));
  EXPECT_TRUE(module.TakeCalls().empty());
}
