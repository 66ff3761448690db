// The query's parameters through their driver buffers, its statement options on an open query,
// the update target on a statement and the row-set check, against SQLite (OdbcOdsi*) and
// PostgreSQL (ServerOdsi*).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "odsi.h"
#include "ovcl.h"
#include "stmt_fixture.h"
#include "text.h"

namespace {

// The test's statement fixture with a query on its connection. The query's parameters are the
// test's own (ParamCheck off: the text does not rebuild them).
class OdsiDbFixture : public StmtFixture {
public:
  void OpenDataSet(const std::string& Dsn) {
    // SQLite's driver describes an expression column that holds a 64-bit integer as
    // SQL_INTEGER unless the data source says BigInt; a 32-bit read of it gives 0.
    if (Dsn != "PG") Env.AddDsn("SQLITE", {{"Driver", "SQLite3"}, {"Database", Env.SqliteFile()}, {"BigInt", "1"}});
    Open(Dsn);
    Ds = new TODQuery(Owner.get());
    Ds->SetHdbc(Dbc);
    Ds->SetParamCheck(false);
  }
  // Runs Sql with the data set's parameters and fetches its one row.
  THstmt& RunAndFetch(const std::string& Sql) {
    Ds->SetSQL(Sql);
    Ds->ExecSQL();
    THstmt& s = *Ds->Hstmt();
    EXPECT_TRUE(s.FetchNext()) << Sql;
    return s;
  }

  TODQuery* Ds = nullptr;
};

class OdbcOdsi : public OdsiDbFixture {
public:
  void SetUp() override { OpenDataSet("SQLITE"); }
};

class ServerOdsi : public OdsiDbFixture {
public:
  void SetUp() override { OpenDataSet("PG"); }
};

#define ODSI_BOTH(Name)                             \
  static void Name##Body(OdsiDbFixture& F);         \
  TEST_F(OdbcOdsi, Name) { Name##Body(*this); }     \
  TEST_F(ServerOdsi, Name) { Name##Body(*this); }   \
  static void Name##Body(OdsiDbFixture& F)

// 255 characters, most of them two bytes long in UTF-8.
std::string Slovenian(size_t Chars) {
  std::string s;
  while (Utf8Length(s) < Chars) s += "Čšž ćđ ČŠŽĆĐ ";
  return Utf8Left(s, Chars - 1) + "x";
}

// Bytes 0..255 over and over, a zero every 7th byte.
std::string BytesWithZeros(size_t Size) {
  std::string s(Size, '\0');
  for (size_t i = 0; i < Size; ++i) s[i] = i % 7 == 0 ? '\0' : char(i & 0xFF);
  return s;
}

std::string ColBytes(THstmt& S) {
  const SQLLEN n = S.ColSize(1);
  if (n <= 0) return {};
  return std::string(static_cast<const char*>(S.ColValue(1)), size_t(n));
}

}  // namespace

ODSI_BOTH(SelectRoundTripThroughTheParameterBuffers) {
  const std::string text255 = Slovenian(255);
  const std::string bytes300 = BytesWithZeros(300);
  const std::string memo = Slovenian(20000);
  const std::string blob = BytesWithZeros(100000);
  const TDateTime stamp = EncodeDate(2024, 5, 6) + EncodeTime(10, 30, 15, 123);
  struct Case {
    const char* what;
    std::function<void(TParam&)> set;
    bool binary;  // PostgreSQL must be told the parameter is bytea
    std::function<void(THstmt&)> check;
  };
  const auto text = [](const std::string& want) {
    return [want](THstmt& s) {
      EXPECT_FALSE(s.ColNull(1));
      EXPECT_EQ(s.ColString(1), want);
    };
  };
  const Case cases[] = {
      {"Smallint", [](TParam& p) { p.SetAsSmallInt(-12345); }, false, text("-12345")},
      {"Word", [](TParam& p) { p.SetAsWord(65000); }, false, text("65000")},
      {"Integer", [](TParam& p) { p.SetAsInteger(-2000000000); }, false, text("-2000000000")},
      {"Largeint", [](TParam& p) { p.SetAsLargeInt(std::int64_t(1) << 40); }, false, text("1099511627776")},
      {"Boolean true", [](TParam& p) { p.SetAsBoolean(true); }, false, text("1")},
      {"Boolean false", [](TParam& p) { p.SetAsBoolean(false); }, false, text("0")},
      // SQLite's driver carries a double through 15 significant digits.
      {"Float", [](TParam& p) { p.SetAsFloat(-2142857142.85714); }, false,
       [](THstmt& s) { EXPECT_EQ(s.ColDouble(1), -2142857142.85714); }},
      {"Currency", [](TParam& p) { p.SetAsCurrency(Currency{-12345678}); }, false,
       [](THstmt& s) { EXPECT_EQ(s.ColDouble(1), -1234.5678); }},
      {"BCD", [](TParam& p) { p.SetAsBCD(Currency{123456789}); }, false, text("12345.6789")},
      {"BCD negative", [](TParam& p) { p.SetAsBCD(Currency{-5000}); }, false, text("-0.5")},
      {"AutoInc", [](TParam& p) { p.SetDataType(ftAutoInc); p.SetValue(Variant(-42)); }, false, text("-42")},
      {"Date", [](TParam& p) { p.SetAsDate(EncodeDate(2024, 5, 6)); }, false, text("2024-05-06")},
      {"Time", [](TParam& p) { p.SetAsTime(EncodeTime(10, 30, 0, 0)); }, false, text("10:30:00")},
      {"DateTime", [&](TParam& p) { p.SetAsDateTime(stamp); }, false,
       [](THstmt& s) { EXPECT_EQ(s.ColString(1).substr(0, 23), "2024-05-06 10:30:15.123"); }},
      {"Slovenian text of 255 characters", [&](TParam& p) { p.SetAsString(text255); }, false, text(text255)},
      {"300 bytes with zeros", [&](TParam& p) { p.SetBlobData(bytes300.data(), 300); p.SetDataType(ftBytes); }, true,
       [&](THstmt& s) { EXPECT_EQ(ColBytes(s), bytes300); }},
      {"VarBytes, no length prefix", [&](TParam& p) { p.SetBlobData(bytes300.data(), 300); p.SetDataType(ftVarBytes); },
       true, [&](THstmt& s) { EXPECT_EQ(ColBytes(s), bytes300); }},
      {"Memo", [&](TParam& p) { p.SetAsMemo(memo); }, false, text(memo)},
      {"empty Memo", [](TParam& p) { p.SetAsMemo(""); }, false, text("")},
      {"Blob", [&](TParam& p) { p.SetAsBlob(blob); }, true, [&](THstmt& s) { EXPECT_EQ(ColBytes(s), blob); }},
      {"empty Blob", [](TParam& p) { p.SetAsBlob(""); }, true, [](THstmt& s) {
         EXPECT_FALSE(s.ColNull(1));
         EXPECT_EQ(s.ColSize(1), 0);
       }},
      {"NULL", [](TParam& p) { p.SetDataType(ftInteger); p.Clear(); }, false,
       [](THstmt& s) { EXPECT_TRUE(s.ColNull(1)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TODParams& params = *F.Ds->Params();
    params.Clear();
    TParam* p = params.CreateParam(ftUnknown, "P", ptInput);
    c.set(*p);
    const std::string sql = F.Pg && c.binary ? "SELECT CAST(:P AS bytea)" : "SELECT :P";
    c.check(F.RunAndFetch(sql));
  }
}

ODSI_BOTH(BindingLifecycle) {
  TODQuery& ds = *F.Ds;
  TODParams& params = *ds.Params();
  TParam* a = params.CreateParam(ftInteger, "A", ptInput);
  TParam* b = params.CreateParam(ftString, "B", ptInput);
  a->SetAsInteger(1);
  b->SetAsString("x");
  ds.SetSQL("SELECT :A, :B");
  ds.ExecSQL();
  THstmt& s = *ds.Hstmt();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_EQ(s.ColString(1), "1");
  EXPECT_EQ(s.ColString(2), "x");
  EXPECT_TRUE(ds.ParamsBound());
  const unsigned char* bufA = params.FindBinding("a")->Buffer.data();  // names match in any case
  const unsigned char* bufB = params.FindBinding(" B ")->Buffer.data();
  EXPECT_EQ(params.FindBinding("B")->Buffer.size(), 4u * 255 + 1);
  EXPECT_EQ(s.ParamRec(1)->Value, bufA);
  EXPECT_EQ(s.ParamRec(2)->Value, bufB);

  // An unchanged parameter keeps its buffer and binding: the new value is copied in.
  a->SetAsInteger(2);
  ds.ExecSQL();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_EQ(s.ColString(1), "2");
  EXPECT_EQ(s.ParamRec(1)->Value, bufA);
  EXPECT_EQ(params.FindBinding("A")->Buffer.data(), bufA);

  // A type change gives a new buffer and binds again; the other parameter keeps its buffer.
  a->SetAsString("tekst");
  ds.ExecSQL();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_EQ(s.ColString(1), "tekst");
  EXPECT_EQ(params.BindingCount(), 2);
  EXPECT_EQ(params.FindBinding("A")->FieldType, ftString);
  EXPECT_EQ(s.ParamRec(1)->Value, params.FindBinding("A")->Buffer.data());
  EXPECT_EQ(params.FindBinding("B")->Buffer.data(), bufB);

  // NULL is sent as NULL and leaves the buffer as it was.
  b->Clear();
  ds.ExecSQL();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_TRUE(s.ColNull(2));
  EXPECT_EQ(s.ParamRec(2)->Value, bufB);
  EXPECT_EQ(params.FindBinding("B")->Buffer.data(), bufB);
  EXPECT_STREQ(reinterpret_cast<const char*>(bufB), "x");

  // A text longer than its buffer grows it and binds again: never cut, never past the end.
  const std::string longText = Slovenian(2000);
  ASSERT_GT(longText.size(), 4u * 255 + 1);
  b->SetAsString(longText);
  ds.ExecSQL();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_EQ(s.ColString(2), longText);
  EXPECT_GT(params.FindBinding("B")->Buffer.size(), longText.size());
  EXPECT_EQ(s.ParamRec(2)->Value, params.FindBinding("B")->Buffer.data());

  // A removed parameter frees every binding; the next bind makes new ones.
  params.RemoveParam(b);
  delete b;
  params.SyncBindings();
  EXPECT_EQ(params.BindingCount(), 1);
  EXPECT_EQ(params.FindBinding("B"), nullptr);
  ds.SetSQL("SELECT :A");
  ds.ExecSQL();
  ASSERT_TRUE(s.FetchNext());
  EXPECT_EQ(s.ColString(1), "tekst");

  // A parameter the text has no token for fails the bind with the statement's message.
  params.CreateParam(ftInteger, "Nope", ptInput)->SetAsInteger(1);
  try {
    ds.ExecSQL();
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Token NOPE not found in SQL statement.");
  }
}

TEST_F(OdbcOdsi, BufferSizesFollowTheDescriptions) {
  TODParams& params = *Ds->Params();
  params.AddDescription("T", true, ftString, 0, 10);
  params.AddDescription("Y", false, ftBytes, 0, 300);
  params.AddDescription("T", false, ftString, 0, 99);  // the first match wins
  params.AddDescription("Z", false, ftInteger, 0, 10);
  struct Case { const char* name; TFieldType type; int size; };
  const Case cases[] = {
      {"T", ftString, 41},    {" t ", ftString, 41},  {"X", ftString, 1021}, {"Z", ftString, 1021},
      {"Y", ftBytes, 300},    {"X", ftBytes, 256},    {"Y", ftVarBytes, 256}, {"T", ftBoolean, 1},
      {"T", ftSmallint, 2},   {"T", ftInteger, 4},    {"T", ftLargeint, 8},  {"T", ftFloat, 8},
      {"T", ftCurrency, 8},   {"T", ftDate, 6},       {"T", ftTime, 6},      {"T", ftDateTime, 16},
      {"T", ftBCD, 256},      {"T", ftMemo, 0},       {"T", ftBlob, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(params.BufferSize(c.name, c.type), c.size) << c.name << " " << int(c.type);
  EXPECT_TRUE(params.FindDescription("t")->Required);
  params.DeleteDescription("T");
  EXPECT_EQ(params.FindDescription("T")->Size, 99);
  params.DeleteDescription("none");
  params.ClearDescriptions();
  EXPECT_EQ(params.FindDescription("Y"), nullptr);
  // Clear keeps no binding and no parameter; descriptions stay.
  params.AddDescription("T", false, ftString, 0, 10);
  params.CreateParam(ftString, "T", ptInput)->SetAsString("a");
  params.SyncBindings();
  EXPECT_EQ(params.FindBinding("T")->Buffer.size(), 41u);
  params.Clear();
  EXPECT_EQ(params.Count(), 0);
  EXPECT_EQ(params.BindingCount(), 0);
  EXPECT_NE(params.FindDescription("T"), nullptr);
}

TEST_F(OdbcOdsi, ALongValueIsNoOutputParameter) {
  TODParams& params = *Ds->Params();
  params.CreateParam(ftMemo, "M", ptInputOutput)->SetAsMemo("x");
  Ds->SetSQL("SELECT :M");
  EXPECT_THROW(Ds->ExecSQL(), EODBCLibrary);
  // The refused direction does not stick to the next bind.
  params.Clear();
  params.CreateParam(ftMemo, "M", ptInput)->SetAsMemo("y");
  THstmt& s = RunAndFetch("SELECT :M");
  EXPECT_EQ(s.ColString(1), "y");
}

TEST_F(ServerOdsi, OutputParametersOfAFunction) {
  Exec("CREATE FUNCTION f_out(a integer, OUT n integer, OUT d date, OUT x integer, OUT t varchar, OUT b numeric)"
       " AS $$ SELECT a * 2, DATE '2024-05-06', NULL::integer, 'kratko'::varchar, 12345.6789 $$ LANGUAGE sql");
  Exec("CREATE FUNCTION f_long(OUT n integer, OUT t varchar) AS $$ SELECT 1, repeat('ab', 100)::varchar $$"
       " LANGUAGE sql");
  Exec("CREATE FUNCTION f_ret(a integer) RETURNS integer AS $$ SELECT a * 3 $$ LANGUAGE sql");
  TODParams& params = *Ds->Params();
  params.AddDescription("T", false, ftString, 0, 10);
  params.CreateParam(ftInteger, "A", ptInput)->SetAsInteger(5);
  TParam* n = params.CreateParam(ftInteger, "N", ptOutput);
  TParam* d = params.CreateParam(ftDate, "D", ptOutput);
  TParam* x = params.CreateParam(ftInteger, "X", ptOutput);
  x->SetAsInteger(99);
  TParam* t = params.CreateParam(ftString, "T", ptOutput);
  TParam* b = params.CreateParam(ftBCD, "B", ptOutput);
  Ds->SetSQL("{call f_out(:A, :N, :D, :X, :T, :B)}");
  Ds->ExecSQL();
  EXPECT_EQ(n->AsInteger(), 10);
  EXPECT_EQ(d->DataType(), ftDate);
  EXPECT_EQ(d->AsDateTime(), EncodeDate(2024, 5, 6));
  EXPECT_TRUE(x->IsNull());
  EXPECT_EQ(x->DataType(), ftInteger);
  EXPECT_EQ(t->AsString(), "kratko");
  EXPECT_EQ(b->AsCurrency().Value, 123456789);

  // A returned text longer than its buffer (4 x 10 + 1 bytes) raises and is not stored.
  params.Clear();
  params.CreateParam(ftInteger, "N", ptOutput);
  t = params.CreateParam(ftString, "T", ptOutput);
  t->SetAsString("prej");
  Ds->SetSQL("{call f_long(:N, :T)}");
  try {
    Ds->ExecSQL();
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_NE(e.Message().find("Output parameter T came back cut"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(t->AsString(), "prej");

  // A result parameter goes as an output parameter.
  params.Clear();
  TParam* r = params.CreateParam(ftInteger, "R", ptResult);
  params.CreateParam(ftInteger, "A", ptInput)->SetAsInteger(7);
  Ds->SetSQL("{:R = call f_ret(:A)}");
  Ds->ExecSQL();
  EXPECT_EQ(r->AsInteger(), 21);
}

// ---- statement options on an open query

namespace {

TODQuery* OpenQuery(OdsiDbFixture& F) {
  F.Exec("CREATE TABLE t (id integer)");
  F.Exec("INSERT INTO t VALUES (1)");
  TODQuery* q = F.Ds;
  q->SetSQL("SELECT id FROM t");
  q->Open();
  EXPECT_TRUE(q->Active());
  EXPECT_TRUE(q->Prepared());
  return q;
}

}  // namespace

TEST_F(OdbcOdsi, TerminatingOptionsCloseAnOpenQueryAndTheOthersDoNot) {
  struct Case { const char* name; std::function<void(TDataSetHstmt&)> set; bool closes; };
  const Case cases[] = {
      {"SQLParsing", [](TDataSetHstmt& o) { o.SetSQLParsing(false); }, true},
      {"ConcurrencyType", [](TDataSetHstmt& o) { o.SetConcurrencyType(SQL_CONCUR_LOCK); }, true},
      {"CursorType", [](TDataSetHstmt& o) { o.SetCursorType(SQL_CURSOR_STATIC); }, true},
      {"RowSetSize", [](TDataSetHstmt& o) { o.SetRowSetSize(1); }, true},
      {"BindBookmarks", [](TDataSetHstmt& o) { o.SetBindBookmarks(true); }, true},
      {"SkipByPosition", [](TDataSetHstmt& o) { o.SetSkipByPosition(true); }, false},
      {"BlobSize", [](TDataSetHstmt& o) { o.SetBlobSize(4096); }, false},
      {"BlobDeferral", [](TDataSetHstmt& o) { o.SetBlobDeferral(true); }, false},
      {"BlobPlacement", [](TDataSetHstmt& o) { o.SetBlobPlacement(bpByExec); }, false},
      {"ExecAsync", [](TDataSetHstmt& o) { o.SetExecAsync(true); }, false},
      {"EmptyStringToNull", [](TDataSetHstmt& o) { o.SetEmptyStringToNull(enAlways); }, false},
      {"StringTrimming", [](TDataSetHstmt& o) { o.SetStringTrimming(stTrimBoth); }, false},
      {"BindByName", [](TDataSetHstmt& o) { o.SetBindByName(true); }, false},
      {"RowCountMethod", [](TDataSetHstmt& o) { o.SetRowCountMethod(rcTraverse); }, false},
      {"NoRowsAffected", [](TDataSetHstmt& o) { o.SetNoRowsAffected({nrByDelete}); }, false},
  };
  TODQuery* q = OpenQuery(*this);
  for (const Case& c : cases) {
    if (!q->Active()) q->Open();
    ASSERT_TRUE(q->Prepared() && q->ParamsBound()) << c.name;
    c.set(*q->hStmt());
    EXPECT_EQ(q->Active(), !c.closes) << c.name;
    EXPECT_EQ(q->Prepared(), !c.closes) << c.name;
    EXPECT_EQ(q->ParamsBound(), !c.closes) << c.name;
  }
  // The statement's own terminate, as a connection's tear-down does, closes the query too.
  if (!q->Active()) q->Open();
  q->Hstmt()->Terminate();
  EXPECT_FALSE(q->Active());
  EXPECT_FALSE(q->Prepared());
}

TEST_F(OdbcOdsi, RowSetSizeAndSkipOptionsFollowCached) {
  TODQuery* q = OpenQuery(*this);
  TDataSetHstmt* o = q->hStmt();
  o->SetRowSetSize(10);
  EXPECT_FALSE(q->Active());
  EXPECT_TRUE(q->Cached());
  EXPECT_EQ(o->RowSetSize(), 10u);
  // Cached takes a read-only forward-only cursor and both skip options, and reads.
  EXPECT_EQ(o->ConcurrencyType(), SQLULEN(SQL_CONCUR_READ_ONLY));
  EXPECT_EQ(o->CursorType(), SQLULEN(SQL_CURSOR_FORWARD_ONLY));
  EXPECT_TRUE(o->SkipByPosition());
  EXPECT_TRUE(o->SkipByCursor());
  q->Open();
  EXPECT_EQ(q->FieldByName("id")->AsInteger(), 1);

  // Switching a skip option off ends Cached, which sets RowSetSize back to 1 and takes a cursor
  // that scrolls: keyset-driven on a connection that uses the driver's cursors.
  o->SetSkipByCursor(false);
  EXPECT_FALSE(q->Active());
  EXPECT_FALSE(q->Cached());
  EXPECT_EQ(o->RowSetSize(), 1u);
  EXPECT_EQ(o->ConcurrencyType(), SQLULEN(SQL_CONCUR_VALUES));
  EXPECT_EQ(o->CursorType(), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_TRUE(o->SkipByPosition());  // only the one switched off
  q->Open();
  EXPECT_EQ(q->FieldByName("id")->AsInteger(), 1);
  q->Close();

  // With the driver manager's cursors a scrolling cursor is static.
  THdbc dbc(nullptr);
  dbc.SetCursorLib(SQL_CUR_USE_ODBC);
  q->SetHdbc(&dbc);
  EXPECT_EQ(o->ScrollCursorType(), SQLULEN(SQL_CURSOR_STATIC));
  q->SetCached(true);
  q->SetCached(false);
  EXPECT_EQ(o->CursorType(), SQLULEN(SQL_CURSOR_STATIC));
  dbc.SetCursorLib(SQL_CUR_USE_DRIVER);
  EXPECT_EQ(o->ScrollCursorType(), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN));
  q->SetHdbc(Dbc);

  // A RowSetSize of 1 or 0 (ignored) leaves Cached alone; while loading, Cached keeps the
  // stored cursor.
  o->SetRowSetSize(0);
  EXPECT_FALSE(q->Cached());
  o->SetCursorType(SQL_CURSOR_DYNAMIC);
  q->SetComponentState(TComponentState{csLoading});
  o->SetRowSetSize(5);
  EXPECT_TRUE(q->Cached());
  EXPECT_EQ(o->CursorType(), SQLULEN(SQL_CURSOR_DYNAMIC));
  o->SetSkipByPosition(false);
  EXPECT_FALSE(q->Cached());
  EXPECT_EQ(o->RowSetSize(), 1u);
  EXPECT_EQ(o->CursorType(), SQLULEN(SQL_CURSOR_DYNAMIC));
  q->SetComponentState(TComponentState{});
}

// ---- the update target on a statement's result

TEST_F(OdbcOdsi, AssignToHstmtMarksAndTakesBackItsMarks) {
  Exec("CREATE TABLE t (id integer, a varchar(10), b varchar(10), stamp varchar(20))");
  Exec("INSERT INTO t VALUES (1, 'ena', 'dva', '2024-05-06')");
  THstmt& s = *Ds->Hstmt();
  Ds->SetSQL("SELECT id, a, b, stamp FROM t");
  s.Execute();
  ASSERT_TRUE(s.FetchNext());
  TTarget& target = *Ds->hStmt()->Target();
  target.PrimaryCols()->Add("id");
  target.InsertIgnoreCols()->Add("STAMP");
  target.UpdateIgnoreCols()->Add("b");
  s.SetTargetTable("old");

  target.AssignToHstmt(true);
  EXPECT_EQ(s.TargetTable(), "");  // an empty table is handed on too
  EXPECT_TRUE(s.ColPrimary(1));
  EXPECT_TRUE(s.ColIgnoreRow(4, 1));
  EXPECT_FALSE(s.ColIgnoreRow(3, 1));

  // Before an update: the insert's mark is taken back, the update list marked.
  target.SetTargetTable("t");
  target.AssignToHstmt(false);
  EXPECT_EQ(s.TargetTable(), "t");
  EXPECT_FALSE(s.ColIgnoreRow(4, 1));
  EXPECT_EQ(s.ColSize(4), 10);
  EXPECT_EQ(s.ColString(4), "2024-05-06");
  EXPECT_TRUE(s.ColIgnoreRow(3, 1));
  EXPECT_TRUE(s.ColPrimary(1));

  // Another key: the old key column is no longer primary.
  target.PrimaryCols()->Clear();
  target.PrimaryCols()->Add("a");
  target.AssignToHstmt(false);
  EXPECT_FALSE(s.ColPrimary(1));
  EXPECT_TRUE(s.ColPrimary(2));
  EXPECT_TRUE(s.ColIgnoreRow(3, 1));  // set again, still ours

  // An unknown name raises before anything changes.
  target.PrimaryCols()->Add("nope");
  target.UpdateIgnoreCols()->Clear();
  try {
    target.AssignToHstmt(false);
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Identifier nope not found in result set.");
  }
  EXPECT_TRUE(s.ColPrimary(2));
  EXPECT_TRUE(s.ColIgnoreRow(3, 1));
  target.PrimaryCols()->Delete(1);

  // A value written after a mark stands: the next call gives nothing back over it.
  target.UpdateIgnoreCols()->Add("b");
  target.AssignToHstmt(false);
  s.SetColString(3, "novo");
  target.UpdateIgnoreCols()->Clear();
  target.AssignToHstmt(false);
  EXPECT_EQ(s.ColString(3), "novo");
  EXPECT_EQ(s.ColSize(3), 4);

  // Before an insert a column left out stays out: the caller marks the NULL columns of an
  // insert the same way.
  target.UpdateIgnoreCols()->Add("b");
  target.AssignToHstmt(false);
  target.InsertIgnoreCols()->Clear();
  target.AssignToHstmt(true);
  EXPECT_TRUE(s.ColIgnoreRow(3, 1));
  s.SetColString(3, "spet");
  target.AssignToHstmt(false);
  EXPECT_TRUE(s.ColIgnoreRow(3, 1));  // marked for the update

  // A new result has columns of its own: nothing of the old marks reaches them.
  // (A new text clears the query's target: the key is named again.)
  s.Close();
  Ds->SetSQL("SELECT id, a, b, stamp FROM t");
  EXPECT_EQ(target.PrimaryCols()->Count() + target.UpdateIgnoreCols()->Count(), 0);
  target.PrimaryCols()->Add("a");
  s.Execute();
  ASSERT_TRUE(s.FetchNext());
  target.AssignToHstmt(false);
  EXPECT_FALSE(s.ColIgnoreRow(3, 1));
  EXPECT_EQ(s.ColString(3), "dva");
  EXPECT_TRUE(s.ColPrimary(2));
}

TEST_F(OdbcOdsi, ALongColumnIsRefusedWithARowSetAboveOne) {
  Exec("CREATE TABLE notes (id integer, body text)");
  THstmt& s = *Ds->Hstmt();
  TDataSetHstmt& o = *Ds->hStmt();
  o.SetRowSetSize(10);
  Ds->SetSQL("SELECT id, body FROM notes");
  s.Execute();
  try {
    o.CheckLongColumns();
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_EQ(e.Message(), "Column body is a long value, which cannot be read with a RowSetSize above 1.");
  }
  Ds->SetSQL("SELECT id FROM notes");
  s.Execute();
  EXPECT_NO_THROW(o.CheckLongColumns());
  o.SetRowSetSize(1);
  Ds->SetSQL("SELECT id, body FROM notes");
  s.Execute();
  EXPECT_NO_THROW(o.CheckLongColumns());
}
