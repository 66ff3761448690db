// The ODBC data set reading values: every column type round trip against a raw query, NULLs,
// values longer than their column (SQLite), long columns, a result without columns.
#include <cmath>
#include <cstring>

#include "ovcl_fixture.h"

namespace {

std::string UpperHex(std::string Raw) {
  if (Raw.rfind("\\x", 0) == 0) Raw = Raw.substr(2);
  for (char& c : Raw) c = char(std::toupper(static_cast<unsigned char>(c)));
  return Raw;
}

}  // namespace

DS_ALL(RoundTripOfEveryType) {
  const std::string bin = F.Pg ? "bytea" : "blob";
  F.Exec("CREATE TABLE r (k integer, i integer, s smallint, b bigint, v varchar(10), d date, tm time, ts timestamp(3), "
         "n numeric(10,2), bo boolean, bi " + bin + ", tx text)");
  const std::string bytes = F.Pg ? "'\\x0061006220'::bytea" : "x'0061006220'";
  F.Exec("INSERT INTO r VALUES (1, 7, -5, 5000000000, 'čččččččččč', '2024-05-06', '10:30:15', "
         "'2024-05-06 10:30:15.123', 12.34, " + std::string(F.Pg ? "true" : "1") + ", " + bytes +
         ", 'Dolgo besedilo: Čebelarstvo Žalec')");
  F.Exec("INSERT INTO r VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  const std::string sql = "SELECT i, s, b, v, d, tm, ts, n, bo, bi, tx FROM r ORDER BY k";
  TCustomODDataSet* d = F.Open(sql, InCache);
  RawOdbc raw("DSN=" + std::string(F.Pg ? "PG" : "SQLITE"));
  auto rows = raw.Query(std::string(F.Pg ? "SELECT i, s, b, v, d, tm, ts, n, bo, encode(bi, 'hex'), tx FROM r ORDER BY k"
                                         : "SELECT i, s, b, v, d, tm, ts, n, bo, nullif(hex(bi), ''), tx FROM r ORDER BY k"));
  ASSERT_EQ(rows.size(), 2u);

  // The field types the columns became.
  EXPECT_EQ(d->FieldByName("i")->DataType(), ftInteger);
  EXPECT_EQ(d->FieldByName("s")->DataType(), ftSmallint);
  EXPECT_EQ(d->FieldByName("b")->DataType(), ftLargeint);
  EXPECT_EQ(d->FieldByName("v")->DataType(), ftString);
  EXPECT_EQ(d->FieldByName("v")->Size(), 10);
  EXPECT_EQ(d->FieldByName("d")->DataType(), ftDate);
  EXPECT_EQ(d->FieldByName("tm")->DataType(), ftTime);
  EXPECT_EQ(d->FieldByName("ts")->DataType(), ftDateTime);
  EXPECT_EQ(d->FieldByName("n")->DataType(), ftFloat);
  EXPECT_EQ(d->FieldByName("tx")->DataType(), ftMemo);
  // SQLite's blob is a binary column of any length, PostgreSQL's bytea a long value.
  EXPECT_EQ(d->FieldByName("bi")->DataType(), F.Pg ? ftBlob : ftVarBytes);

  d->First();
  ASSERT_FALSE(d->Eof());
  const auto& r = rows[0];
  EXPECT_EQ(d->FieldByName("i")->AsString(), r[0]);
  EXPECT_EQ(d->FieldByName("s")->AsInteger(), -5);
  EXPECT_EQ(d->FieldByName("s")->AsString(), r[1]);
  EXPECT_EQ(d->FieldByName("b")->AsLargeInt(), 5000000000LL);
  EXPECT_EQ(d->FieldByName("b")->AsString(), r[2]);
  EXPECT_EQ(d->FieldByName("v")->AsString(), "čččččččččč");
  EXPECT_EQ(d->FieldByName("v")->AsString(), r[3]);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", d->FieldByName("d")->AsDateTime()), r[4]);
  EXPECT_EQ(FormatDateTime("hh:nn:ss", d->FieldByName("tm")->AsDateTime()), r[5]);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", d->FieldByName("ts")->AsDateTime()), r[6]);
  EXPECT_DOUBLE_EQ(d->FieldByName("n")->AsFloat(), 12.34);
  EXPECT_DOUBLE_EQ(d->FieldByName("n")->AsFloat(), std::stod(r[7]));
  // PostgreSQL's driver reads a boolean as the text "1" unless BoolsAsChar=0.
  EXPECT_EQ(d->FieldByName("bo")->AsString(), F.Pg ? r[8] : "True");
  EXPECT_EQ(d->FieldByName("bi")->AsString(), std::string("\0a\0b ", 5));
  EXPECT_EQ(Hex(d->FieldByName("bi")->AsString()), UpperHex(r[9]));
  EXPECT_EQ(d->FieldByName("tx")->AsString(), r[10]);
  for (int i = 0; i < d->FieldCount(); ++i) EXPECT_FALSE(d->Fields()->Fields(i)->IsNull()) << i;

  d->Next();
  ASSERT_FALSE(d->Eof());
  for (int i = 0; i < d->FieldCount(); ++i) {
    EXPECT_TRUE(d->Fields()->Fields(i)->IsNull()) << d->Fields()->Fields(i)->FieldName();
    EXPECT_EQ(rows[1][size_t(i)], "<NULL>");
  }
  EXPECT_EQ(d->FieldByName("v")->AsString(), "");
  d->Next();
  EXPECT_TRUE(d->Eof());
}

DS_ALL(ForwardAndBackAgainReadsTheSameValues) {
  F.Table({"1, 'ena', 10", "2, NULL, 20", "3, 'tri', NULL"});
  TCustomODDataSet* d = F.Open("SELECT id, name, qty FROM t ORDER BY id", InCache);
  d->Last();
  EXPECT_EQ(d->FieldByName("id")->AsInteger(), 3);
  EXPECT_TRUE(d->FieldByName("qty")->IsNull());
  d->Prior();
  EXPECT_TRUE(d->FieldByName("name")->IsNull());
  EXPECT_EQ(d->FieldByName("qty")->AsInteger(), 20);
  d->Prior();
  EXPECT_EQ(d->FieldByName("name")->AsString(), "ena");
}

// SQLite keeps any length whatever the declared size: the slot holds the column's size, cut at
// a character, and a record holding the cut value is not written unless the field is assigned.
TEST_F(OdbcDataSet, OverlongValuesAreCutAtTheirSizeAndRefusedOnPost) {
  Exec("CREATE TABLE o (id integer primary key, v varchar(10), b varbinary(8), n integer)");
  const std::string longText = "ččččččččččabcdefghijklmnopqr";  // 28 characters
  Exec("INSERT INTO o VALUES (1, '" + longText + "', x'0102030405060708090A0B', 5)");
  for (bool cached : {false, true}) {
    SCOPED_TRACE(cached ? "cached" : "direct");
    TCustomODDataSet* d = Make("SELECT id, v, b, n FROM o", cached);
    d->SetEditable(true);
    d->Open();
    EXPECT_EQ(d->FieldByName("v")->AsString(), "čččččččččč");
    EXPECT_EQ(d->FieldByName("b")->AsString(), std::string("\1\2\3\4\5\6\7\10", 8));
    // Editing another column: the post fails before anything is written, naming the column.
    d->Edit();
    d->FieldByName("n")->SetAsInteger(6);
    try {
      d->Post();
      ADD_FAILURE() << "posted a cut value";
    } catch (const EODBCLibrary& e) {
      EXPECT_NE(std::string(e.what()).find("column v"), std::string::npos) << e.what();
    }
    EXPECT_EQ(d->State(), dsEdit);
    d->Cancel();
    RawOdbc raw("DSN=SQLITE");
    EXPECT_EQ(raw.Query("SELECT v, n, length(b) FROM o")[0], (std::vector<std::string>{longText, "5", "11"}));
    delete d;
  }
}

DS_BOTH(LongColumnsBecomeMemoAndBlobFields) {
  F.Exec("CREATE TABLE l (id integer, w varchar(10000), tx text)");
  const std::string text(20000, 'x');
  F.Exec("INSERT INTO l VALUES (1, 'široko', '" + text + "')");
  TCustomODDataSet* d = F.Open("SELECT id, w, tx FROM l", false);
  EXPECT_EQ(d->FieldByName("w")->DataType(), ftMemo);
  EXPECT_EQ(d->FieldByName("w")->AsString(), "široko");
  EXPECT_EQ(d->FieldByName("tx")->AsString(), text);
}

DS_BOTH(DeferredLongValuesReadNullUntilAskedFor) {
  F.Exec("CREATE TABLE l (id integer, tx text)");
  F.Exec("INSERT INTO l VALUES (1, 'prvi')");
  F.Exec("INSERT INTO l VALUES (2, NULL)");
  for (bool cached : {false, true}) {
    TCustomODDataSet* d = F.Make("SELECT id, tx FROM l ORDER BY id", cached);
    d->hStmt()->SetBlobDeferral(true);
    d->Open();
    TField* tx = d->FieldByName("tx");
    // Direct mode reads a deferred value when asked for; a cache loads it at the fetch.
    EXPECT_EQ(tx->IsNull(), !cached);
    EXPECT_EQ(tx->AsString(), "prvi");
    EXPECT_FALSE(tx->IsNull());
    d->Next();
    EXPECT_EQ(tx->AsString(), "");
    EXPECT_TRUE(tx->IsNull());
    d->Prior();
    EXPECT_EQ(tx->AsString(), "prvi");
    // Writing outside edit or insert state is refused.
    EXPECT_THROW(d->CreateBlobStream(tx, bmWrite), EODBCLibrary);
    delete d;
  }
}

DS_BOTH(AStatementWithoutColumnsOpensWithNoFields) {
  F.Table({"1, 'ena', 10"});
  TCustomODDataSet* d = F.Open("UPDATE t SET qty = 11 WHERE id = 1", false);
  EXPECT_EQ(d->FieldDefs()->Count(), 0);
  EXPECT_EQ(d->RecordSize(), 0);
  EXPECT_TRUE(d->IsEmpty());
}

DS_BOTH(FieldDataIsRefusedOutsideEditing) {
  F.Table({"1, 'ena', 10"});
  TCustomODDataSet* d = F.Open("SELECT id, name FROM t", true);
  try {
    d->FieldByName("name")->SetAsString("x");
    ADD_FAILURE();
  } catch (const EODBCLibrary& e) {
    EXPECT_STREQ(e.what(), "DataSet not in edit or insert mode.");
  }
  EXPECT_EQ(d->FieldByName("name")->AsString(), "ena");
}
