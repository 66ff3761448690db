// Data-set support without a driver: type maps, the update target's stream and list text, the
// statement options on an open data set and in a form stream, the stored parameters of older
// versions, the blob stream and the master/detail link.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filer.h"
#include "odsi.h"
#include "odsi_fixture.h"
#include "ovcl.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Short(const std::string& s) { return Concat({{0x06, (unsigned char)s.size()}, Text(s)}); }

Bytes StreamBytes(const TMemoryStream& m) {
  auto* p = static_cast<const unsigned char*>(m.Memory());
  return p == nullptr ? Bytes{} : Bytes(p, p + m.Size());
}

void Load(TMemoryStream& m, const Bytes& b) {
  m.Clear();
  m.WriteBuffer(b.data(), std::int64_t(b.size()));
  m.SetPosition(0);
}

}  // namespace

// ---- type maps

TEST(OdsiTypeMaps, FieldTypeToCType) {
  const std::pair<int, SQLSMALLINT> cases[] = {
      {ftSmallint, SQL_C_SSHORT},    {ftInteger, SQL_C_SLONG},     {ftWord, SQL_C_USHORT},
      {ftBoolean, SQL_C_BIT},        {ftFloat, SQL_C_DOUBLE},      {ftCurrency, SQL_C_DOUBLE},
      {ftDate, SQL_C_TYPE_DATE},     {ftTime, SQL_C_TYPE_TIME},    {ftDateTime, SQL_C_TYPE_TIMESTAMP},
      {ftBytes, SQL_C_BINARY},       {ftBlob, SQL_C_BINARY},       {ftLargeint, SQL_C_SBIGINT},
      {ftVarBytes, SQL_C_BINARY},    {ftUnknown, SQL_C_CHAR},      {ftString, SQL_C_CHAR},
      {ftBCD, SQL_C_CHAR},           {ftAutoInc, SQL_C_CHAR},      {ftMemo, SQL_C_CHAR},
      {ftGraphic, SQL_C_CHAR},       {ftGuid, SQL_C_CHAR},         {128 + ftInteger, SQL_C_SLONG},
      {128 + ftBlob, SQL_C_BINARY},
  };
  for (const auto& [type, ctype] : cases) EXPECT_EQ(FieldTypeToCType(type), ctype) << type;
}

TEST(OdsiTypeMaps, SqlTypeToFieldType) {
  struct Case { SQLSMALLINT sql; bool sign; TFieldType type; };
  const Case cases[] = {
      {SQL_CHAR, false, ftString},          {SQL_VARCHAR, true, ftString},
      {SQL_WCHAR, false, ftString},         {SQL_WVARCHAR, false, ftString},
      {SQL_WLONGVARCHAR, false, ftMemo},    {SQL_GUID, false, ftString},
      {SQL_NUMERIC, false, ftFloat},        {SQL_DECIMAL, false, ftFloat},
      {SQL_FLOAT, false, ftFloat},          {SQL_REAL, false, ftFloat},
      {SQL_DOUBLE, false, ftFloat},         {SQL_INTEGER, false, ftInteger},
      {SQL_SMALLINT, true, ftSmallint},     {SQL_SMALLINT, false, ftWord},
      {SQL_TINYINT, true, ftSmallint},      {SQL_TINYINT, false, ftWord},
      {SQL_TYPE_DATE, false, ftDate},       {SQL_TYPE_TIME, false, ftTime},
      {SQL_TYPE_TIMESTAMP, false, ftDateTime}, {SQL_BIT, false, ftBoolean},
      {SQL_BIGINT, false, ftLargeint},      {SQL_LONGVARBINARY, false, ftBlob},
      {SQL_VARBINARY, false, ftBytes},      {SQL_BINARY, false, ftBytes},
      {SQL_LONGVARCHAR, false, ftMemo},     {SQL_INTERVAL_DAY, false, ftUnknown},
      {0, false, ftUnknown},                {99, true, ftUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(SqlTypeToFieldType(c.sql, c.sign), c.type) << c.sql << " " << c.sign;
}

TEST(OdsiTypeMaps, ProcColumnTypeToParamType) {
  const std::pair<SQLSMALLINT, TParamType> cases[] = {
      {SQL_PARAM_INPUT, ptInput},    {SQL_PARAM_INPUT_OUTPUT, ptInputOutput}, {SQL_PARAM_OUTPUT, ptOutput},
      {SQL_RETURN_VALUE, ptResult},  {SQL_PARAM_TYPE_UNKNOWN, ptUnknown},     {SQL_RESULT_COL, ptUnknown},
      {-1, ptUnknown},               {6, ptUnknown},
  };
  for (const auto& [col, type] : cases) EXPECT_EQ(ProcColumnTypeToParamType(col), type) << col;
}

TEST(OdsiTypeMaps, ParamTypeToODBC) {
  const std::pair<int, SQLSMALLINT> cases[] = {
      {ptUnknown, SQL_PARAM_TYPE_UNKNOWN}, {ptInput, SQL_PARAM_INPUT}, {ptInputOutput, SQL_PARAM_INPUT_OUTPUT},
      {ptOutput, SQL_PARAM_OUTPUT},        {ptResult, SQL_PARAM_OUTPUT}, {7, 0}, {-1, 0},
  };
  for (const auto& [type, io] : cases) EXPECT_EQ(ParamTypeToODBC(type), io) << type;
}

// ---- the update target's stream

TEST(OdsiTarget, StreamBytesOfTheCurrentVersion) {
  TTarget t;
  t.SetTargetTable("ORDERS");
  t.PrimaryCols()->Add("ID");
  t.UpdateIgnoreCols()->Add("STAMP");
  TMemoryStream m;
  TWriter(&m).WriteProperties(&t);
  const Bytes target = Concat({{0x01}, Short("OD5.07"), Short("ORDERS"), Short("ID;"), {0x06, 0x00}, Short("STAMP;"), {0x00}});
  EXPECT_EQ(StreamBytes(m), Concat({{0x06}, Text("Target"), target, {0x00}}));

  // Empty lists are empty strings; long and non-ASCII names take their own string forms.
  TTarget e;
  TMemoryStream me;
  TWriter(&me).WriteProperties(&e);
  EXPECT_EQ(StreamBytes(me), Concat({{0x06}, Text("Target"), {0x01}, Short("OD5.07"), {0x06, 0x00}, {0x06, 0x00},
                                      {0x06, 0x00}, {0x06, 0x00}, {0x00, 0x00}}));
  TTarget u;
  u.SetTargetTable("ŠIFRANT");
  u.InsertIgnoreCols()->Add(std::string(300, 'C'));
  TMemoryStream mu;
  TWriter(&mu).WriteProperties(&u);
  const Bytes ub = StreamBytes(mu);
  const Bytes table = Concat({{0x14, 0x08, 0, 0, 0}, Text("ŠIFRANT")});
  EXPECT_NE(std::search(ub.begin(), ub.end(), table.begin(), table.end()), ub.end());
  const Bytes longList = {0x0C, 0x2D, 0x01, 0, 0, 'C'};  // 301 bytes
  EXPECT_NE(std::search(ub.begin(), ub.end(), longList.begin(), longList.end()), ub.end());

  // Read back whole.
  mu.SetPosition(0);
  TTarget back;
  TReader(&mu).ReadProperties(&back);
  EXPECT_EQ(back.TargetTable(), "ŠIFRANT");
  EXPECT_EQ(back.InsertIgnoreCols()->Count(), 1);
  EXPECT_EQ(back.InsertIgnoreCols()->Get(0), std::string(300, 'C'));
}

TEST(OdsiTarget, OlderTagsAndMalformedValues) {
  struct Case {
    const char* what;
    Bytes value;       // after the property name
    bool ok;
    const char* update;  // UpdateIgnoreCols in list text form
  };
  const Bytes tail4 = Concat({Short("T"), Short("ID;"), Short("A;B;")});
  const Case cases[] = {
      // Before "OD5.03": four strings, the insert list serves updates too.
      {"OD5.02", Concat({{0x01}, Short("OD5.02"), tail4, {0x00}}), true, "A;B;"},
      {"OD4", Concat({{0x01}, Short("OD4.00"), tail4, {0x00}}), true, "A;B;"},
      {"OD5.03", Concat({{0x01}, Short("OD5.03"), tail4, Short("C;"), {0x00}}), true, "C;"},
      {"OD5.1 sorts after", Concat({{0x01}, Short("OD5.1"), tail4, Short("C;"), {0x00}}), true, "C;"},
      // A wide string is read too.
      {"wide", Concat({{0x01}, Short("OD5.07"), tail4, {0x12, 0x02, 0, 0, 0, 'C', 0, ';', 0}, {0x00}}), true, "C;"},
      {"four strings at OD5.07", Concat({{0x01}, Short("OD5.07"), tail4, {0x00}}), false, ""},
      {"integer for a string", Concat({{0x01}, Short("OD5.07"), {0x02, 0x01}, {0x00}}), false, ""},
      {"no list", Short("OD5.07"), false, ""},
      {"cut", Concat({{0x01}, Short("OD5.07"), {0x06, 0x05, 'A'}}), false, ""},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    Load(m, Concat({{0x06}, Text("Target"), c.value, {0x00}}));
    TTarget t;
    TReader r(&m);
    if (!c.ok) {
      EXPECT_THROW(r.ReadProperties(&t), EReadError) << c.what;
      continue;
    }
    r.ReadProperties(&t);
    EXPECT_EQ(t.TargetTable(), "T") << c.what;
    EXPECT_EQ(TTarget::GetListText(t.PrimaryCols()), "ID;") << c.what;
    EXPECT_EQ(TTarget::GetListText(t.InsertIgnoreCols()), "A;B;") << c.what;
    EXPECT_EQ(TTarget::GetListText(t.UpdateIgnoreCols()), c.update) << c.what;
  }
}

TEST(OdsiTarget, ListText) {
  struct Case { std::string text; std::vector<std::string> items; };
  const Case cases[] = {
      {"", {}},
      {"A", {}},                      // no ";": nothing
      {"A;B", {"A"}},                 // what follows the last ";" is dropped
      {"A;B;", {"A", "B"}},
      {";;", {"", ""}},               // empty names count
      {"Šifra;Naziv artikla;", {"Šifra", "Naziv artikla"}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.Add("old");
    TTarget::SetListText(&l, c.text);
    std::vector<std::string> got;
    for (int i = 0; i < l.Count(); ++i) got.push_back(l.Get(i));
    EXPECT_EQ(got, c.items) << c.text;
  }
  TStringList l{"A", "B"};
  EXPECT_EQ(TTarget::GetListText(&l), "A;B;");
  TTarget t;
  t.SetTargetTable("X");
  t.PrimaryCols()->Add("A");
  t.InsertIgnoreCols()->Add("B");
  t.UpdateIgnoreCols()->Add("C");
  t.Clear();
  EXPECT_EQ(t.TargetTable(), "");
  EXPECT_EQ(t.PrimaryCols()->Count() + t.InsertIgnoreCols()->Count() + t.UpdateIgnoreCols()->Count(), 0);
}

// ---- statement options (on the query itself; the open data set's cases are in
// odsi_params_test.cpp, which has a driver)

TEST(OdsiOptions, DefaultsOfADataSetsStatement) {
  TODQuery ds(nullptr);
  THstmt* s = ds.Hstmt();
  TDataSetHstmt* o = ds.hStmt();
  EXPECT_EQ(o->Hstmt(), s);
  EXPECT_TRUE(s->SQLParsing());
  // Not cached and not editable: a read-only cursor that scrolls (a plain statement is
  // forward-only).
  EXPECT_FALSE(ds.Cached());
  EXPECT_EQ(s->ConcurrencyType(), SQLULEN(SQL_CONCUR_READ_ONLY));
  EXPECT_EQ(s->CursorType(), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN));
  ds.SetEditable(true);
  EXPECT_EQ(s->ConcurrencyType(), SQLULEN(SQL_CONCUR_VALUES));
  EXPECT_EQ(s->RowSetSize(), 1u);
  EXPECT_FALSE(s->SkipByPosition() || s->SkipByCursor() || s->BindBookmarks() || s->BlobDeferral() ||
               s->ExecAsync() || s->BindByName());
  EXPECT_EQ(s->BlobSize(), 32768);
  EXPECT_EQ(s->BlobPlacement(), bpDetect);
  EXPECT_EQ(s->EmptyStringToNull(), enNever);
  EXPECT_EQ(s->StringTrimming(), stTrimTrailing);
  EXPECT_EQ(s->RowCountMethod(), rcFunction);
  EXPECT_EQ(s->NoRowsAffected(), TNoRowsAffected{nrByUpdate});
  EXPECT_EQ(o->Target()->Hstmt(), s);
}

TEST(OdsiOptions, PublishedByNameWithTheirIdentifiers) {
  TODQuery ds(nullptr);
  TObject* o = GetObjectProp(&ds, "hStmt");
  ASSERT_EQ(o, ds.hStmt());
  EXPECT_EQ(GetStrProp(o, "StringTrimming"), "stTrimTrailing");
  EXPECT_EQ(GetStrProp(o, "NoRowsAffected"), "[nrByUpdate]");
  SetPropValue(o, "BlobPlacement", std::string("bpByParts"));
  EXPECT_EQ(ds.Hstmt()->BlobPlacement(), bpByParts);
  SetPropValue(o, "NoRowsAffected", TPropSet{{"nrByInsert", "nrByRefresh"}});
  EXPECT_EQ(ds.Hstmt()->NoRowsAffected(), (TNoRowsAffected{nrByInsert, nrByRefresh}));
  SetPropValue(o, "RowSetSize", std::int64_t(3));
  EXPECT_TRUE(ds.Cached());
  EXPECT_THROW(SetPropValue(o, "StringTrimming", std::string("stTrimMiddle")), EPropertyError);
  EXPECT_THROW(SetPropValue(o, "NoRowsAffected", TPropSet{{"nrByMerge"}}), EPropertyError);
  EXPECT_EQ(GetObjectProp(o, "Target"), ds.hStmt()->Target());
}

TEST(OdsiOptions, FormStreamLeavesDefaultsOutAndReadsBack) {
  TComponent form(nullptr);
  auto* ds = new TTestODDataSet(&form);
  ds->SetName("qArtikli");
  TMemoryStream plain;
  TWriter(&plain).WriteProperties(ds);
  // Only the name and the target, which is always written.
  const Bytes target = Concat({{0x13}, Text("hStmt.Target.Target"), {0x01}, Short("OD5.07"), {0x06, 0x00},
                               {0x06, 0x00}, {0x06, 0x00}, {0x06, 0x00}, {0x00}});
  EXPECT_EQ(StreamBytes(plain), Concat({{0x04}, Text("Name"), Short("qArtikli"), target, {0x00}}));

  TDataSetHstmt* o = ds->hStmt();
  o->SetConcurrencyType(SQL_CONCUR_VALUES);
  o->SetBlobSize(65536);
  o->SetStringTrimming(stTrimBoth);
  o->SetNoRowsAffected({nrByUpdate, nrByDelete});
  o->SetExecAsync(true);
  o->Target()->SetTargetTable("ARTIKLI");
  o->Target()->PrimaryCols()->Add("SIFRA");
  TMemoryStream m;
  TWriter(&m).WriteProperties(ds);
  const Bytes b = StreamBytes(m);
  const auto has = [&](const Bytes& part) { return std::search(b.begin(), b.end(), part.begin(), part.end()) != b.end(); };
  EXPECT_TRUE(has(Concat({{0x15}, Text("hStmt.ConcurrencyType"), {0x02, 0x04}})));
  EXPECT_TRUE(has(Concat({{0x0E}, Text("hStmt.BlobSize"), {0x04, 0x00, 0x00, 0x01, 0x00}})));
  EXPECT_TRUE(has(Concat({{0x14}, Text("hStmt.StringTrimming"), {0x07, 0x0A}, Text("stTrimBoth")})));
  EXPECT_TRUE(has(Concat({{0x14}, Text("hStmt.NoRowsAffected"), {0x0B, 0x0A}, Text("nrByUpdate"), {0x0A},
                          Text("nrByDelete"), {0x00}})));
  EXPECT_TRUE(has(Concat({{0x0F}, Text("hStmt.ExecAsync"), {0x09}})));
  for (const char* left : {"CursorType", "RowSetSize", "SQLParsing", "SkipBy", "BlobPlacement", "BindByName",
                           "RowCountMethod", "EmptyStringToNull", "BlobDeferral", "BindBookmarks"})
    EXPECT_FALSE(has(Text(left))) << left;

  // Read into a new data set of another form.
  TComponent form2(nullptr);
  auto* back = new TTestODDataSet(&form2);
  m.SetPosition(0);
  TReader r(&m);
  back->SetComponentState(TComponentState{csLoading});
  back->ReadState(&r);
  back->Loaded();
  EXPECT_EQ(m.Position(), m.Size());
  TDataSetHstmt* ob = back->hStmt();
  EXPECT_EQ(back->Name(), "qArtikli");
  EXPECT_EQ(ob->ConcurrencyType(), SQLULEN(SQL_CONCUR_VALUES));
  EXPECT_EQ(ob->BlobSize(), 65536);
  EXPECT_EQ(ob->StringTrimming(), stTrimBoth);
  EXPECT_EQ(ob->NoRowsAffected(), (TNoRowsAffected{nrByUpdate, nrByDelete}));
  EXPECT_TRUE(ob->ExecAsync());
  EXPECT_EQ(ob->CursorType(), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(ob->Target()->TargetTable(), "ARTIKLI");
  EXPECT_EQ(TTarget::GetListText(ob->Target()->PrimaryCols()), "SIFRA;");
}

// ---- the stored parameters of older versions

namespace {

// One stored parameter: name, types, the value items, Bound, NULL and the unused integer.
void WriteStoredParam(TWriter& w, const std::string& name, int paramType, int dataType,
                      const std::function<void(TWriter&)>& value, bool bound, bool isNull) {
  w.WriteString(name);
  w.WriteInteger(paramType);
  w.WriteInteger(dataType);
  if (value) value(w);
  w.WriteBoolean(bound);
  w.WriteBoolean(isNull);
  w.WriteInteger(0);
}

void StoredParams(TMemoryStream& m, const std::string& version, const std::function<void(TWriter&)>& items) {
  m.Clear();
  TWriter w(&m);
  w.WritePropName("Params");
  w.WriteListBegin();
  w.WriteString(version);
  w.WriteListBegin();
  items(w);
  w.WriteListEnd();
  w.WriteListEnd();
  w.WriteListEnd();
  m.SetPosition(0);
}

}  // namespace

TEST(OdsiParamsStream, EveryTypeLoadsAndLargeIntegersStayWhole) {
  const std::int64_t big = std::int64_t(1) << 40;
  for (const char* version : {"OD5.07", "OD4.00", "anything"}) {
    TMemoryStream m;
    StoredParams(m, version, [&](TWriter& w) {
      WriteStoredParam(w, "S", ptInput, ftString, [](TWriter& x) { x.WriteString("Žaga"); }, true, false);
      WriteStoredParam(w, "M", ptInput, ftMemo, [](TWriter& x) { x.WriteString("dolg\r\ntekst"); }, true, false);
      WriteStoredParam(w, "SI", ptInput, ftSmallint, [](TWriter& x) { x.WriteInteger(-300); }, true, false);
      WriteStoredParam(w, "W", ptInput, ftWord, [](TWriter& x) { x.WriteInteger(65535); }, true, false);
      WriteStoredParam(w, "I", ptInputOutput, ftInteger, [](TWriter& x) { x.WriteInteger(-70000); }, true, false);
      WriteStoredParam(w, "L", ptInput, ftLargeint, [&](TWriter& x) { x.WriteInteger(big); }, true, false);
      WriteStoredParam(w, "B", ptInput, ftBoolean, [](TWriter& x) { x.WriteBoolean(true); }, true, false);
      WriteStoredParam(w, "F", ptInput, ftFloat, [](TWriter& x) { x.WriteFloat(2.5); }, true, false);
      WriteStoredParam(w, "C", ptInput, ftCurrency, [](TWriter& x) { x.WriteFloat(12.3456); }, true, false);
      WriteStoredParam(w, "D", ptInput, ftDate, [](TWriter& x) { x.WriteFloat(45418); }, true, false);
      WriteStoredParam(w, "T", ptInput, ftTime, [](TWriter& x) { x.WriteFloat(0.4375); }, true, false);
      WriteStoredParam(w, "DT", ptOutput, ftDateTime, [](TWriter& x) { x.WriteFloat(45418.4375); }, false, false);
      WriteStoredParam(w, "BL", ptInput, ftBlob, nullptr, true, false);
      WriteStoredParam(w, "BY", ptInput, ftBytes, nullptr, true, false);
      WriteStoredParam(w, "N", ptResult, ftInteger, [](TWriter& x) { x.WriteInteger(5); }, true, true);
    });
    TODParams params(nullptr);
    params.CreateParam(ftInteger, "Old", ptInput);
    TReader r(&m);
    r.ReadProperties(&params);
    EXPECT_EQ(m.Position(), m.Size()) << version;
    ASSERT_EQ(params.Count(), 15) << version;
    EXPECT_EQ(params.FindParam("Old"), nullptr);
    EXPECT_EQ(params.ParamByName("S")->AsString(), "Žaga");
    EXPECT_EQ(params.ParamByName("M")->DataType(), ftMemo);
    EXPECT_EQ(params.ParamByName("M")->AsString(), "dolg\r\ntekst");
    EXPECT_EQ(params.ParamByName("SI")->AsInteger(), -300);
    EXPECT_EQ(params.ParamByName("W")->AsInteger(), 65535);
    EXPECT_EQ(params.ParamByName("I")->AsInteger(), -70000);
    EXPECT_EQ(params.ParamByName("I")->ParamType(), ptInputOutput);
    EXPECT_EQ(params.ParamByName("L")->DataType(), ftLargeint);
    EXPECT_EQ(params.ParamByName("L")->AsLargeInt(), big);
    EXPECT_TRUE(params.ParamByName("B")->AsBoolean());
    EXPECT_EQ(params.ParamByName("F")->AsFloat(), 2.5);
    EXPECT_EQ(params.ParamByName("C")->AsCurrency().Value, 123456);
    EXPECT_EQ(params.ParamByName("D")->DataType(), ftDate);
    EXPECT_EQ(params.ParamByName("D")->AsDateTime(), 45418.0);
    EXPECT_EQ(params.ParamByName("T")->AsDateTime(), 0.4375);
    EXPECT_EQ(params.ParamByName("DT")->AsDateTime(), 45418.4375);
    EXPECT_FALSE(params.ParamByName("DT")->Bound());
    EXPECT_EQ(params.ParamByName("DT")->ParamType(), ptOutput);
    EXPECT_TRUE(params.ParamByName("BL")->IsNull());
    EXPECT_EQ(params.ParamByName("BL")->DataType(), ftBlob);
    EXPECT_TRUE(params.ParamByName("BY")->IsNull());
    EXPECT_TRUE(params.ParamByName("N")->IsNull());
    EXPECT_EQ(params.ParamByName("N")->ParamType(), ptResult);
  }
}

TEST(OdsiParamsStream, MalformedDataRaisesTheReadersError) {
  struct Case { const char* what; std::function<void(TWriter&)> items; };
  const Case cases[] = {
      {"integer too large for ftInteger",
       [](TWriter& w) { WriteStoredParam(w, "I", ptInput, ftInteger, [](TWriter& x) { x.WriteInteger(std::int64_t(1) << 40); }, true, false); }},
      {"smallint out of range",
       [](TWriter& w) { WriteStoredParam(w, "S", ptInput, ftSmallint, [](TWriter& x) { x.WriteInteger(70000); }, true, false); }},
      {"word below zero",
       [](TWriter& w) { WriteStoredParam(w, "W", ptInput, ftWord, [](TWriter& x) { x.WriteInteger(-1); }, true, false); }},
      {"text for an integer",
       [](TWriter& w) { WriteStoredParam(w, "I", ptInput, ftInteger, [](TWriter& x) { x.WriteString("12"); }, true, false); }},
      {"unknown data type", [](TWriter& w) { WriteStoredParam(w, "X", ptInput, 99, nullptr, true, false); }},
      {"unknown parameter type", [](TWriter& w) { WriteStoredParam(w, "X", 9, ftString, [](TWriter& x) { x.WriteString(""); }, true, false); }},
      {"missing Bound", [](TWriter& w) {
         w.WriteString("X");
         w.WriteInteger(ptInput);
         w.WriteInteger(ftBlob);
         w.WriteInteger(0);
       }},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    StoredParams(m, "OD5.07", c.items);
    TODParams params(nullptr);
    TReader r(&m);
    EXPECT_THROW(r.ReadProperties(&params), EReadError) << c.what;
  }
  // Cut off anywhere, the stream raises.
  TMemoryStream whole;
  StoredParams(whole, "OD5.07", [](TWriter& w) {
    WriteStoredParam(w, "A", ptInput, ftString, [](TWriter& x) { x.WriteString("abc"); }, true, false);
    WriteStoredParam(w, "B", ptInput, ftLargeint, [](TWriter& x) { x.WriteInteger(std::int64_t(1) << 40); }, true, false);
  });
  for (std::int64_t n = 1; n < whole.Size(); ++n) {
    TMemoryStream cut;
    cut.WriteBuffer(whole.Memory(), n);
    cut.SetPosition(0);
    TODParams params(nullptr);
    TReader r(&cut);
    EXPECT_THROW(r.ReadProperties(&params), EReadError) << n;
  }
  // The property is read only: a parameter collection writes its inherited form.
  TODParams params(nullptr);
  params.CreateParam(ftInteger, "A", ptInput)->SetAsInteger(1);
  TMemoryStream out;
  TWriter(&out).WriteProperties(&params);
  const Bytes b = StreamBytes(out);
  EXPECT_EQ(std::search(b.begin(), b.end(), Text("Params").begin(), Text("Params").end()), b.end());
}

// ---- the blob stream

TEST(OdsiBlobStream, AWriteMarksTheValueAndFiresOneFieldChange) {
  TTestODDataSet ds;
  ds.FieldDefs()->Add("Id", ftInteger);
  ds.FieldDefs()->Add("Opis", ftMemo);
  ds.Open();
  ds.Append();
  TField* field = ds.FieldByName("Opis");
  int changes = 0;
  field->OnChange = [&](TField* f) {
    EXPECT_EQ(f, field);
    ++changes;
  };
  TMemoryStream memory;
  unsigned char cell[sizeof(void*) + 1] = {};  // a stream reference, then the has-value flag
  unsigned char* hasValue = cell + sizeof(void*);
  {
    TODBlobStream blob(&memory, &ds, field, hasValue);
    EXPECT_FALSE(ds.Modified());
    const char ten[] = "0123456789";
    EXPECT_EQ(blob.Write(ten, 10), 10);
    EXPECT_EQ(*hasValue, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(ds.Modified());
    EXPECT_EQ(blob.Size(), 10);
    // Reads and seeks are the memory stream's and change nothing.
    EXPECT_EQ(blob.Seek(2, soBeginning), 2);
    char got[4] = {};
    EXPECT_EQ(blob.Read(got, 3), 3);
    EXPECT_EQ(std::string(got), "234");
    EXPECT_EQ(changes, 1);
  }
  // Freed, the value stays in the record's stream.
  EXPECT_EQ(memory.Size(), 10);
  EXPECT_EQ(std::memcmp(memory.Memory(), "0123456789", 10), 0);
  ds.Cancel();
}

// ---- the master/detail link

TEST(OdsiDataLink, TheDetailFollowsItsMaster) {
  TMemDataSet master;
  master.FieldDefs()->Add("Id", ftInteger);
  master.Open();
  master.AppendRecord({Variant(1)});
  master.AppendRecord({Variant(2)});
  master.First();
  TDataSource source(nullptr);
  source.SetDataSet(&master);

  TTestODDataSet detail;
  detail.FieldDefs()->Add("Id", ftInteger);
  detail.Open();
  detail.AppendRecord({Variant(1)});
  TODDataLink link(&detail);
  EXPECT_EQ(link.GetDetailDataSet(), &detail);
  link.SetDataSource(&source);
  const int start = detail.Refreshes;  // taking the source counts as a change
  master.Next();  // a scroll: the whole record changed
  EXPECT_EQ(detail.Refreshes, start + 1);

  // A pending edit of the detail is settled before the master moves.
  detail.Edit();
  detail.FieldByName("Id")->SetAsInteger(7);
  master.Prior();
  EXPECT_EQ(detail.State(), dsBrowse);
  EXPECT_EQ(detail.FieldByName("Id")->AsInteger(), 7);
  EXPECT_EQ(detail.Refreshes, start + 2);

  // The master closing and opening refreshes the detail; a closed detail is left alone.
  master.Close();
  EXPECT_EQ(detail.Refreshes, start + 3);
  detail.Close();
  master.Open();
  master.Next();
  EXPECT_EQ(detail.Refreshes, start + 3);
  link.SetDataSource(nullptr);
}

// ---- a statement's connection in a form stream

TEST(OdsiFormStream, TheConnectionIsStoredByNameAndFoundAgain) {
  TComponent form(nullptr);
  form.SetName("DataModule1");
  auto* dbc = new THdbc(&form);
  dbc->SetName("Baza");
  auto* stmt = new THstmt(&form);
  stmt->SetName("qQuery0");
  stmt->SetHdbc(dbc);
  TMemoryStream m;
  TWriter(&m).WriteProperties(stmt);
  const Bytes b = StreamBytes(m);
  const Bytes ref = Concat({{0x04}, Text("hDbc"), {0x07, 0x04}, Text("Baza")});
  EXPECT_NE(std::search(b.begin(), b.end(), ref.begin(), ref.end()), b.end());

  // A statement read into a form before the connection it names is created gets it at the
  // fixup (until then it has the form's first connection, as every new statement does).
  TComponent form2(nullptr);
  auto* other = new THdbc(&form2);
  other->SetName("Druga");
  auto* stmt2 = new THstmt(&form2);
  m.SetPosition(0);
  TReader r(&m);
  stmt2->ReadState(&r);
  EXPECT_EQ(stmt2->hDbc(), other);
  auto* dbc2 = new THdbc(&form2);
  dbc2->SetName("Baza");
  r.FixupReferences();
  EXPECT_EQ(stmt2->hDbc(), dbc2);
}
