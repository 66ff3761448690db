#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes.h"
#include "filer.h"
#include "published.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Written(const std::function<void(TWriter&)>& f) {
  TMemoryStream m;
  TWriter w(&m);
  f(w);
  auto* p = static_cast<unsigned char*>(m.Memory());
  return Bytes(p, p + m.Size());
}

struct TBytesStream {
  explicit TBytesStream(const Bytes& b) { m.WriteBuffer(b.data(), std::int64_t(b.size())); m.SetPosition(0); }
  TMemoryStream m;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(Filer, StringLayoutsBySizeAndContent) {
  struct Case { std::string text; Bytes head; };
  std::string s255(255, 'x'), s256(256, 'y');
  Case cases[] = {
      {"", {0x06, 0x00}},
      {"ID;", {0x06, 0x03}},
      {s255, {0x06, 0xFF}},
      {s256, {0x0C, 0x00, 0x01, 0x00, 0x00}},
      {"Šifra", {0x14, 0x06, 0x00, 0x00, 0x00}},  // 'Š' is two bytes
  };
  for (auto& c : cases) {
    Bytes got = Written([&](TWriter& w) { w.WriteString(c.text); });
    EXPECT_EQ(got, Concat({c.head, Text(c.text)})) << c.text.size();
    TBytesStream in(got);
    TReader r(&in.m);
    EXPECT_EQ(r.ReadString(), c.text);
    EXPECT_EQ(in.m.Position(), in.m.Size());
  }
}

TEST(Filer, TargetLikeListLayout) {
  // A list of five strings, as an update target writes it.
  Bytes got = Written([](TWriter& w) {
    w.WriteListBegin();
    for (const char* s : {"OD5.07", "ORDERS", "ID;", "", "STAMP;"}) w.WriteString(s);
    w.WriteListEnd();
  });
  Bytes want = Concat({{0x01}, {0x06, 0x06}, Text("OD5.07"), {0x06, 0x06}, Text("ORDERS"), {0x06, 0x03},
                       Text("ID;"), {0x06, 0x00}, {0x06, 0x06}, Text("STAMP;"), {0x00}});
  EXPECT_EQ(got, want);
  TBytesStream in(got);
  TReader r(&in.m);
  r.ReadListBegin();
  std::vector<std::string> items;
  while (!r.EndOfList()) items.push_back(r.ReadString());
  r.ReadListEnd();
  EXPECT_EQ(items, (std::vector<std::string>{"OD5.07", "ORDERS", "ID;", "", "STAMP;"}));
}

TEST(Filer, ReaderAcceptsEveryStringForm) {
  struct Case { const char* what; Bytes bytes; std::string text; };
  Case cases[] = {
      {"short", Concat({{0x06, 0x03}, Text("abc")}), "abc"},
      {"long", Concat({{0x0C, 0x03, 0, 0, 0}, Text("abc")}), "abc"},
      {"utf8", Concat({{0x14, 0x02, 0, 0, 0}, Text("č")}), "č"},
      // wide: length in UTF-16 units; "Až" and a character beyond the basic plane
      {"wide", {0x12, 0x04, 0, 0, 0, 'A', 0, 0x7E, 0x01, 0x3D, 0xD8, 0x00, 0xDE}, "Až\xF0\x9F\x98\x80"},
      {"wide lone surrogate", {0x12, 0x01, 0, 0, 0, 0x00, 0xD8}, "\xEF\xBF\xBD"},
  };
  for (auto& c : cases) {
    TBytesStream in(c.bytes);
    TReader r(&in.m);
    EXPECT_EQ(r.ReadString(), c.text) << c.what;
  }
}

TEST(Filer, WrongTypesAndTruncatedDataRaise) {
  struct Case { const char* what; Bytes bytes; std::function<void(TReader&)> read; const char* msg; };
  Case cases[] = {
      {"int as string", {0x02, 0x05}, [](TReader& r) { r.ReadString(); }, "Invalid property value"},
      {"string as int", {0x06, 0x00}, [](TReader& r) { r.ReadInteger(); }, "Invalid property value"},
      {"int as bool", {0x02, 0x01}, [](TReader& r) { r.ReadBoolean(); }, "Invalid property value"},
      {"no list start", {0x00}, [](TReader& r) { r.ReadListBegin(); }, "Invalid property value"},
      {"no list end", {0x06, 0x00}, [](TReader& r) { r.ReadListEnd(); }, "Invalid property value"},
      {"unknown code", {0x7F}, [](TReader& r) { r.SkipValue(); }, "Invalid property value"},
      {"empty", {}, [](TReader& r) { r.ReadValue(); }, "Stream read error"},
      {"short cut", {0x06, 0x05, 'a', 'b'}, [](TReader& r) { r.ReadString(); }, "Stream read error"},
      {"long length cut", {0x0C, 0x05, 0x00}, [](TReader& r) { r.ReadString(); }, "Stream read error"},
      {"huge length", {0x0C, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}, [](TReader& r) { r.ReadString(); }, "Stream read error"},
      {"wide cut", {0x12, 0x02, 0, 0, 0, 'a', 0, 'b'}, [](TReader& r) { r.ReadString(); }, "Stream read error"},
      {"int32 cut", {0x04, 0x01, 0x02}, [](TReader& r) { r.ReadInteger(); }, "Stream read error"},
      {"list without end", {0x01, 0x06, 0x00}, [](TReader& r) { r.SkipValue(); }, "Stream read error"},
  };
  for (auto& c : cases) {
    TBytesStream in(c.bytes);
    TReader r(&in.m);
    try {
      c.read(r);
      ADD_FAILURE() << c.what;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.msg) << c.what;
    }
  }
}

TEST(Filer, IntegersTakeTheSmallestFormAndRoundTrip) {
  struct Case { std::int64_t v; Bytes bytes; };
  Case cases[] = {
      {0, {0x02, 0x00}},
      {-128, {0x02, 0x80}},
      {127, {0x02, 0x7F}},
      {128, {0x03, 0x80, 0x00}},
      {-32769, {0x04, 0xFF, 0x7F, 0xFF, 0xFF}},
      {32768, {0x04, 0x00, 0x80, 0x00, 0x00}},
      {std::int64_t(1) << 31, {0x13, 0, 0, 0, 0x80, 0, 0, 0, 0}},
  };
  for (auto& c : cases) {
    Bytes got = Written([&](TWriter& w) { w.WriteInteger(c.v); });
    EXPECT_EQ(got, c.bytes) << c.v;
    TBytesStream in(got);
    TReader r(&in.m);
    EXPECT_EQ(r.ReadInt64(), c.v);
  }
  TBytesStream big(Written([](TWriter& w) { w.WriteInteger(std::int64_t(1) << 40); }));
  TReader r(&big.m);
  EXPECT_THROW(r.ReadInteger(), EReadError);  // does not fit an Integer
}

TEST(Filer, BooleansIdentsAndFloats) {
  Bytes got = Written([](TWriter& w) {
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteIdent("ptInput");
    w.WriteIdent("nil");
    w.WriteFloat(-1234.5);
    w.WriteFloat(0.1);
  });
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{0x09, 0x08, 0x07, 0x07}));
  TBytesStream in(got);
  TReader r(&in.m);
  EXPECT_TRUE(r.ReadBoolean());
  EXPECT_FALSE(r.ReadBoolean());
  EXPECT_EQ(r.ReadIdent(), "ptInput");
  EXPECT_EQ(r.NextValue(), vaNil);
  EXPECT_EQ(r.ReadIdent(), "nil");
  EXPECT_EQ(r.NextValue(), vaExtended);
  EXPECT_EQ(r.ReadFloat(), -1234.5);
  EXPECT_EQ(r.ReadFloat(), 0.1);
  // 1.0 as a 10-byte extended: mantissa 0x8000000000000000, exponent 0x3FFF
  Bytes one = {0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(Written([](TWriter& w) { w.WriteFloat(1.0); }), one);
}

TEST(Filer, SkipValueSkipsEveryKind) {
  Bytes got = Written([](TWriter& w) {
    w.WriteListBegin();
    w.WriteString(std::string(300, 'z'));
    w.WriteInteger(70000);
    w.WriteFloat(2.5);
    w.WriteIdent("X");
    w.WriteListBegin();
    w.WriteBoolean(true);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteString("after");
  });
  TBytesStream in(got);
  TReader r(&in.m);
  r.SkipValue();
  EXPECT_EQ(r.ReadString(), "after");
}

// ---- properties: published ones, sub-objects and defined ones

namespace {

class TTargetLike : public TPersistent {
public:
  std::string Table, Keys;
  void DefineProperties(TFiler* Filer) override {
    Filer->DefineProperty(
        "Target",
        [this](TReader* r) {
          r->ReadListBegin();
          Table = r->ReadString();
          Keys = r->ReadString();
          r->ReadListEnd();
        },
        [this](TWriter* w) {
          w->WriteListBegin();
          w->WriteString(Table);
          w->WriteString(Keys);
          w->WriteListEnd();
        },
        true);
  }
  ZEL_CLASS(TTargetLike, TPersistent)
};

class TStmtLike : public TComponent {
public:
  using TComponent::TComponent;
  std::string SQL() const { return FSQL; }
  void SetSQL(const std::string& v) { FSQL = v; }
  int RowSetSize() const { return FRows; }
  void SetRowSetSize(int v) { FRows = v; }
  bool Cached() const { return FCached; }
  void SetCached(bool v) { FCached = v; }
  TTargetLike* Target() const { return const_cast<TTargetLike*>(&FTarget); }
  TStringList* Lines() const { return const_cast<TStringList*>(&FLines); }
  ZEL_CLASS(TStmtLike, TComponent)

private:
  std::string FSQL;
  int FRows = 1;
  bool FCached = false;
  TTargetLike FTarget;
  TStringList FLines;
};

void RegisterOnce() {
  static bool done = [] {
    RegisterPublishedClass("TStmtLike", "TComponent");
    PublishProperty("TStmtLike", "SQL", &TStmtLike::SQL, &TStmtLike::SetSQL);
    PublishProperty("TStmtLike", "RowSetSize", &TStmtLike::RowSetSize, &TStmtLike::SetRowSetSize);
    PublishProperty("TStmtLike", "Cached", &TStmtLike::Cached, &TStmtLike::SetCached);
    PublishProperty("TStmtLike", "Target", &TStmtLike::Target);
    PublishProperty("TStmtLike", "Lines", &TStmtLike::Lines);
    PublishProperty("TComponent", "Tag", &TComponent::Tag, &TComponent::SetTag);
    return true;
  }();
  (void)done;
}

}  // namespace

TEST(Filer, PropertiesRoundTripWithSubObjectPathsAndDefinedProperties) {
  RegisterOnce();
  TStmtLike a(nullptr);
  a.SetSQL("select * from ČLANI");
  a.SetRowSetSize(300);
  a.SetCached(true);
  a.SetTag(7);
  a.Target()->Table = "ORDERS";
  a.Target()->Keys = "ID;";
  a.SetName("qryArt");
  a.Lines()->SetText("select *\nfrom ARTIKLI");
  TMemoryStream m;
  TWriter w(&m);
  w.WriteProperties(&a);

  m.SetPosition(0);
  TStmtLike b(nullptr);
  TReader r(&m);
  b.ReadState(&r);
  EXPECT_EQ(b.SQL(), a.SQL());
  EXPECT_EQ(b.RowSetSize(), 300);
  EXPECT_TRUE(b.Cached());
  EXPECT_EQ(b.Tag(), 7);
  EXPECT_EQ(b.Target()->Table, "ORDERS");
  EXPECT_EQ(b.Target()->Keys, "ID;");
  EXPECT_EQ(b.Name(), "qryArt");
  EXPECT_EQ(b.Lines()->Text(), "select *\r\nfrom ARTIKLI\r\n");
  EXPECT_FALSE(b.ComponentState().Contains(csReading));
  EXPECT_EQ(m.Position(), m.Size());

  // the defined property stands under the sub-object's path
  std::string bytes(static_cast<char*>(m.Memory()), size_t(m.Size()));
  EXPECT_NE(bytes.find("\x0DTarget.Target\x01"), std::string::npos);
}

TEST(Filer, UnknownPropertiesAndBadValuesRaise) {
  RegisterOnce();
  struct Case { const char* what; Bytes bytes; const char* msg; };
  Case cases[] = {
      {"unknown", Concat({{0x04}, Text("Nope"), {0x02, 0x01, 0x00}}), "Property Nope does not exist"},
      {"unknown path", Concat({{0x05}, Text("X.SQL"), {0x02, 0x01, 0x00}}), "Property X.SQL does not exist"},
      {"string for int", Concat({{0x0A}, Text("RowSetSize"), {0x06, 0x01, 'a', 0x00}}), "Invalid property value"},
      {"target bad value", Concat({{0x0D}, Text("Target.Target"), {0x01, 0x02, 0x01, 0x00}}), "Invalid property value"},
  };
  for (auto& c : cases) {
    TBytesStream in(c.bytes);
    TStmtLike s(nullptr);
    TReader r(&in.m);
    try {
      r.ReadProperties(&s);
      ADD_FAILURE() << c.what;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.msg) << c.what;
    }
  }
}

TEST(Published, GetAndSetByNameAlongTheClassChain) {
  RegisterOnce();
  TStmtLike s(nullptr);
  EXPECT_TRUE(IsPublishedProp(&s, "sql"));
  EXPECT_TRUE(IsPublishedProp(&s, "Tag"));  // from the ancestor
  TComponent plain(nullptr);
  EXPECT_FALSE(IsPublishedProp(&plain, "SQL"));
  SetPropValue(&s, "SQL", std::string("select 1"));
  EXPECT_EQ(s.SQL(), "select 1");
  SetPropValue(&s, "RowSetSize", std::string("25"));
  EXPECT_EQ(GetOrdProp(&s, "RowSetSize"), 25);
  EXPECT_EQ(GetStrProp(&s, "Cached"), "False");
  EXPECT_EQ(GetObjectProp(&s, "Target"), s.Target());
  try {
    GetPropValue(&s, "Missing");
    FAIL();
  } catch (const EPropertyError& e) {
    EXPECT_EQ(e.Message(), "Property Missing does not exist");
  }
  EXPECT_THROW(SetPropValue(&s, "Target", std::int64_t(1)), EPropertyError);  // read-only
  EXPECT_THROW(SetPropValue(&s, "RowSetSize", std::string("x")), EPropertyError);
  auto names = GetPropNames(&s);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "SQL", "RowSetSize", "Cached", "Target", "Lines"}));
}

TEST(Published, DescendantRegistrationHidesTheAncestors) {
  RegisterOnce();
  RegisterPublishedClass("TStmtLike2", "TStmtLike");
  struct TStmtLike2 : TStmtLike {
    using TStmtLike::TStmtLike;
    ZEL_CLASS(TStmtLike2, TStmtLike)
  };
  RegisterPublishedProp("TStmtLike2", "SQL", [](TObject*) { return TPropValue(std::string("fixed")); });
  TStmtLike2 d(nullptr);
  TStmtLike base(nullptr);
  EXPECT_EQ(GetStrProp(&d, "SQL"), "fixed");
  EXPECT_EQ(GetStrProp(&base, "SQL"), "");
}

TEST(Filer, DefinedPropertiesWithoutDataAreNotWrittenAndBinaryOnesRoundTrip) {
  struct TBlobHolder : TPersistent {
    std::string Data;
    bool Has = false;
    void DefineProperties(TFiler* Filer) override {
      Filer->DefineBinaryProperty(
          "Blob", [this](TStream* s) { Data.resize(size_t(s->Size())); s->ReadBuffer(Data.data(), s->Size()); },
          [this](TStream* s) { s->WriteBuffer(Data.data(), std::int64_t(Data.size())); }, Has);
    }
  };
  TBlobHolder a;
  a.Data = std::string("\x00\x01\xFF", 3);
  TMemoryStream empty;
  TWriter(&empty).WriteProperties(&a);
  EXPECT_EQ(empty.Size(), 1);  // only the list end
  a.Has = true;
  TMemoryStream m;
  TWriter(&m).WriteProperties(&a);
  auto* p = static_cast<unsigned char*>(m.Memory());
  EXPECT_EQ(Bytes(p, p + m.Size()), Concat({{0x04}, Text("Blob"), {0x0A, 0x03, 0, 0, 0, 0x00, 0x01, 0xFF, 0x00}}));
  m.SetPosition(0);
  TBlobHolder b;
  TReader r(&m);
  r.ReadProperties(&b);
  EXPECT_EQ(b.Data, a.Data);
}
