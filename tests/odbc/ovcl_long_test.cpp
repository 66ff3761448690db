// Long values (text and binary) written through the ODBC data set: every write puts exactly what
// the record holds into its long columns, whether they were read at the fetch or deferred, after
// a refresh, after a post, after a revert of cached updates, emptied on purpose or really NULL.
// The data set shows its records through a ring of three, as a grid would. A connection of its
// own checks what reached the database.
#include <functional>
#include <optional>

#include "ovcl_fixture.h"

namespace {

using Rows = DataSetFixture::Rows;

// SQLite's driver reads a column declared "blob" as binary of 255 bytes, bound like any other;
// "longvarbinary" it reads in pieces, as PostgreSQL's driver reads bytea.
std::string LongBinaryType(const DataSetFixture& F) { return F.Pg ? "bytea" : "longvarbinary"; }

std::string Bytes(int Seed, size_t N) {
  std::string b(N, '\0');
  for (size_t i = 0; i < N; ++i) b[i] = char((i * 31 + size_t(Seed) * 7) % 251);  // zero bytes too
  return b;
}

// Long values stand in comparisons as their length and a digest: a failure stays readable.
std::string Short(const std::string& S) {
  if (S.size() <= 40) return S;
  return "<" + std::to_string(S.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(S) % 100000) + ">";
}

const std::string kNull = "<NULL>";

// One row of table lv as text: id, v, tx and bn in hex; NULL as <NULL>.
struct TRow {
  std::string Id, V, Tx, Bn;
};

class TLongTable {
public:
  explicit TLongTable(DataSetFixture& F) : F(F) {}

  // Rows 1 to 4: short values; values longer than BlobSize (read in two pieces); NULLs; short.
  void Create() {
    F.Exec("DROP TABLE IF EXISTS lv");
    F.Exec("CREATE TABLE lv (id integer PRIMARY KEY, v varchar(10), tx " + F.LongText() + ", bn " + LongBinaryType(F) +
           ")");
    Want = {{"1", "a", "ena", Hex(Bytes(1, 10))},
            {"2", "b", std::string(40000, 'x'), Hex(Bytes(2, 40000))},
            {"3", "c", kNull, kNull},
            {"4", "d", "štiri", Hex(Bytes(4, 3))}};
    for (const TRow& r : Want) Put(r, true);
  }
  // Another user's change of a row's long values.
  void Change(int Id, const std::string& Tx, const std::string& Bn) {
    TRow& r = Want[size_t(Id) - 1];
    r.Tx = Tx;
    r.Bn = Hex(Bn);
    Put(r, false);
  }
  // What the database holds, against what it should.
  void Check(const char* Step) {
    const std::string hex = F.Pg ? "upper(encode(bn, 'hex'))" : "CASE WHEN bn IS NULL THEN NULL ELSE hex(bn) END";
    Rows got = F.Db("SELECT id, v, tx, " + hex + " FROM lv ORDER BY id");
    for (auto& row : got)
      for (auto& cell : row) cell = Short(cell);
    Rows want;
    for (const TRow& r : Want) want.push_back({r.Id, r.V, Short(r.Tx), Short(r.Bn)});
    EXPECT_EQ(got, want) << Step;
  }
  TRow& Row(int Id) { return Want[size_t(Id) - 1]; }

private:
  std::string Literal(const std::string& HexValue) const {
    if (HexValue == kNull) return "NULL";
    return F.Pg ? "decode('" + HexValue + "', 'hex')" : "X'" + HexValue + "'";
  }
  void Put(const TRow& R, bool Insert) {
    const std::string tx = R.Tx == kNull ? "NULL" : "'" + R.Tx + "'";
    if (Insert)
      F.DbExec("INSERT INTO lv VALUES (" + R.Id + ", '" + R.V + "', " + tx + ", " + Literal(R.Bn) + ")");
    else
      F.DbExec("UPDATE lv SET tx = " + tx + ", bn = " + Literal(R.Bn) + " WHERE id = " + R.Id);
  }

  DataSetFixture& F;
  std::vector<TRow> Want;
};

// A data set on lv shown through a ring of three records.
struct TShownLong {
  TShownLong(DataSetFixture& F, bool InCache, bool Deferred, bool CachedUpdates = false) {
    D = F.Make("SELECT id, v, tx, bn FROM lv ORDER BY id", InCache);
    D->SetEditable(true);
    D->SetCachedUpdates(CachedUpdates);
    D->hStmt()->SetBlobDeferral(Deferred);
    Ring.SetBufferCount(3);
    Ring.SetDataSource(&Source);
    Source.SetDataSet(D);
    D->Open();
  }
  ~TShownLong() {
    Source.SetDataSet(nullptr);
    delete D;
  }
  bool GoTo(int Id) { return D->Locate("id", Variant(Id), {}); }
  // The current record as the data set shows it.
  TRow Shown() {
    const auto cell = [this](const char* Name, bool Binary) {
      TField* f = D->FieldByName(Name);
      // Read first: a deferred value reads as NULL until it is asked for.
      const std::string v = f->AsString();
      if (f->IsNull()) return kNull;
      return Binary ? Hex(v) : v;
    };
    return {D->FieldByName("id")->AsString(), cell("v", false), cell("tx", false), cell("bn", true)};
  }
  void SetV(const std::string& V) {
    D->Edit();
    D->FieldByName("v")->SetAsString(V);
    D->Post();
  }

  TCustomODDataSet* D = nullptr;
  TDataSource Source{nullptr};
  TDataLink Ring;
};

void ExpectShown(TShownLong& S, const TRow& Want, const std::string& Step) {
  const TRow got = S.Shown();
  EXPECT_EQ(got.Id, Want.Id) << Step;
  EXPECT_EQ(got.V, Want.V) << Step;
  EXPECT_EQ(Short(got.Tx), Short(Want.Tx)) << Step;
  EXPECT_EQ(Short(got.Bn), Short(Want.Bn)) << Step;
}

// Values to assign to a record; tx and bn may be kNull (cleared) or empty (emptied).
struct TChange {
  std::optional<std::string> V, Tx, Bn;
};

void Assign(TDataSet* D, TRow& Want, const TChange& C) {
  const auto set = [D](const char* Name, const std::string& Value) {
    if (Value == kNull)
      D->FieldByName(Name)->Clear();
    else
      D->FieldByName(Name)->SetAsString(Value);
  };
  if (C.V) set("v", Want.V = *C.V);
  if (C.Tx) set("tx", Want.Tx = *C.Tx);
  if (C.Bn) {
    set("bn", *C.Bn);
    Want.Bn = *C.Bn == kNull ? kNull : Hex(*C.Bn);
  }
}

}  // namespace

DS_ALL(APostWritesTheLongValuesTheRecordHolds) {
  for (bool deferred : {false, true}) {
    SCOPED_TRACE(deferred ? "deferred" : "read at the fetch");
    TLongTable t(F);
    t.Create();
    TShownLong s(F, InCache, deferred);
    // A record posted with the change; then refreshed, and an edit of another field posted.
    const auto post = [&](int Id, const TChange& Change, const std::string& Step) {
      ASSERT_TRUE(s.GoTo(Id)) << Step;
      s.D->Edit();
      Assign(s.D, t.Row(Id), Change);
      s.D->Post();
      t.Check(Step.c_str());
      ExpectShown(s, t.Row(Id), Step);
      s.D->Refresh();
      ExpectShown(s, t.Row(Id), Step + ", refresh");
      s.D->Edit();
      Assign(s.D, t.Row(Id), {t.Row(Id).V + "+", {}, {}});
      s.D->Post();
      t.Check((Step + ", refresh, edit").c_str());
      ExpectShown(s, t.Row(Id), Step + ", refresh, edit");
    };

    post(1, {"a!", {}, {}}, "edit");
    // Another user changes the long values; the record is refreshed, with the cursor past it.
    t.Change(2, std::string(35000, 'y'), Bytes(5, 33000));
    s.D->Last();
    ASSERT_TRUE(s.GoTo(2));
    s.D->Refresh();
    ExpectShown(s, t.Row(2), "refresh");
    post(2, {"b!", {}, {}}, "refreshed");
    // Read back after its posts, from another record.
    s.D->Next();
    s.D->Prior();
    ExpectShown(s, t.Row(2), "read back");
    post(2, {"b!!", {}, {}}, "read back");
    post(3, {"c!", {}, {}}, "NULL");
    post(4, {{}, "", ""}, "emptied");
    post(1, {{}, kNull, kNull}, "cleared");
    post(4, {{}, "nova", Bytes(6, 5)}, "assigned");

    // Every record as the database holds it, opened again.
    s.D->Close();
    s.D->Open();
    for (int id = 1; id <= 4; ++id) {
      ASSERT_TRUE(s.GoTo(id));
      ExpectShown(s, t.Row(id), "opened again");
    }
  }
}

DS_BOTH(RevertedCachedUpdatesWriteTheLongValuesAsRead) {
  for (bool deferred : {false, true}) {
    SCOPED_TRACE(deferred ? "deferred" : "read at the fetch");
    TLongTable t(F);
    t.Create();
    TShownLong s(F, true, deferred, true);

    // A change of the long values reverted, then another field changed and applied.
    ASSERT_TRUE(s.GoTo(2));
    s.D->Edit();
    s.D->FieldByName("tx")->SetAsString("spremenjeno");
    s.D->FieldByName("bn")->Clear();
    s.D->Post();
    s.D->UpdateRecords(nullptr, false);
    ExpectShown(s, t.Row(2), "reverted");
    s.SetV("b!");
    t.Row(2).V = "b!";
    s.D->UpdateRecords(nullptr, true);
    t.Check("reverted, edited, applied");

    // A deletion reverted, then another field changed and applied.
    ASSERT_TRUE(s.GoTo(4));
    s.D->Delete();
    s.D->DeleteRecords(nullptr, false);
    ASSERT_TRUE(s.GoTo(4));
    ExpectShown(s, t.Row(4), "undeleted");
    s.SetV("d!");
    t.Row(4).V = "d!";
    ASSERT_TRUE(s.GoTo(3));
    s.SetV("c!");
    t.Row(3).V = "c!";
    s.D->UpdateRecords(nullptr, true);
    t.Check("undeleted, edited, applied");

    // A refresh after the apply reads what was written.
    ASSERT_TRUE(s.GoTo(2));
    s.D->Refresh();
    ExpectShown(s, t.Row(2), "applied, refresh");
  }
}
