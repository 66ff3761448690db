// Values written through the ODBC data set reach the database exactly: every field type, inserted
// and updated, in direct mode, cached mode and under cached updates, read back on a connection of
// its own and by a data set opened again. What a value loses on the way (a time's fraction, a
// double's digits beyond 15 on SQLite) is written into the expectations, nothing else. A seeded
// randomized sequence of inserts and updates is checked against a model of the table.
#include <cstdio>
#include <optional>
#include <random>

#include "datetime.h"
#include "ovcl_fixture.h"

namespace {

using Rows = DataSetFixture::Rows;
using std::nullopt;
using Opt = std::optional<std::string>;

enum TMode { mDirect, mCached, mCachedUpdates };

// One record's values as the database shows them in text (the read-back expressions below);
// nullopt is NULL. Numbers are set from their text, dates and times from their parts.
struct TValues {
  Opt I, B, S, N, D, V, Dt, Ts, Tm, Vb, Lb, M;
};

const char* const kColumns[] = {"i", "b", "s", "n", "d", "v", "dt", "ts", "tm", "vb", "lb", "m"};

std::vector<Opt> AsList(const TValues& R) { return {R.I, R.B, R.S, R.N, R.D, R.V, R.Dt, R.Ts, R.Tm, R.Vb, R.Lb, R.M}; }

int Num(const std::string& S, size_t Pos, size_t Len) { return std::stoi(S.substr(Pos, Len)); }

// "yyyy-mm-dd", "hh:mm:ss.zzz" or "yyyy-mm-dd hh:mm:ss.zzz".
TDateTime ParseStamp(const std::string& S) {
  TDateTime date = 0, time = 0;
  size_t t = 0;
  if (S.size() >= 10 && S[4] == '-') {
    date = EncodeDate(Num(S, 0, 4), Num(S, 5, 2), Num(S, 8, 2));
    t = S.size() > 10 ? 11 : S.size();
  }
  if (t < S.size())
    time = EncodeTime(Num(S, t, 2), Num(S, t + 3, 2), Num(S, t + 6, 2), S.size() > t + 9 ? Num(S, t + 9, 3) : 0);
  return ComposeDateTime(date, time);
}

std::string Unhex(const std::string& H) {
  std::string b;
  for (size_t i = 0; i + 1 < H.size(); i += 2) b += char(std::stoi(H.substr(i, 2), nullptr, 16));
  return b;
}

// Long values stand in comparisons as their length and a digest.
Opt Short(const Opt& S) {
  if (!S || S->size() <= 40) return S;
  return "<" + std::to_string(S->size()) + " bytes #" + std::to_string(std::hash<std::string>{}(*S) % 100000) + ">";
}

// The field is given the value the database should hold; Tm may carry a fraction the column
// does not keep (SetTime below).
void Assign(TField* F, const std::string& Column, const Opt& Value) {
  if (!Value) {
    F->Clear();
    return;
  }
  const std::string& v = *Value;
  if (Column == "i" || Column == "s") F->SetAsInteger(std::stoi(v));
  else if (Column == "b") F->SetAsLargeInt(std::stoll(v));
  else if (Column == "n" || Column == "d") F->SetAsFloat(std::stod(v));
  else if (Column == "dt" || Column == "ts") F->SetAsDateTime(ParseStamp(v));
  else if (Column == "tm") F->SetAsDateTime(ParseStamp(v + ".250"));  // the fraction is not kept
  else if (Column == "vb" || Column == "lb") F->SetAsString(Unhex(v));
  else F->SetAsString(v);
}

// What a data set opened again reads, against the value written.
void ExpectField(TField* F, const std::string& Column, const Opt& Value, int Id) {
  SCOPED_TRACE("id " + std::to_string(Id) + " column " + Column);
  if (!Value) {
    EXPECT_TRUE(F->IsNull());
    return;
  }
  ASSERT_FALSE(F->IsNull() && !Value->empty());
  const std::string& v = *Value;
  if (Column == "i" || Column == "s" || Column == "b") EXPECT_EQ(F->AsLargeInt(), std::stoll(v));
  else if (Column == "n" || Column == "d") EXPECT_EQ(F->AsFloat(), std::stod(v));
  else if (Column == "dt" || Column == "ts" || Column == "tm") EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", F->AsDateTime()), FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", ParseStamp(v)));
  else if (Column == "vb" || Column == "lb") EXPECT_EQ(Hex(F->AsString()), v);
  else EXPECT_EQ(Short(F->AsString()), Short(v));
}

std::string LongSlovenian() {
  std::string s;
  while (s.size() < 100000) s += "Čez žgoče šoje ćuk đuri. ";
  return s;
}

std::string Bytes(size_t N, int Seed) {
  std::string b(N, '\0');
  for (size_t i = 0; i < N; ++i) b[i] = char((i * 31 + size_t(Seed) * 7) % 251);  // zero bytes too
  return b;
}

// Records 1 to 3 hold every column, so that their inserts share one statement: binary values of
// lengths 5, 1 and 5 with zero bytes, text at the column's full length, the integer extremes,
// dates and stamps at both ends of the years a field holds. Record 4 is all NULL; record 5 holds
// empty values where a type has them.
std::vector<TValues> Records() {
  return {
      {"-2147483648", "-9223372036854775808", "-32768", "-98765432109.8765", "-2.5e-300", "čšžČŠŽćđĆĐ", "0001-01-01",
       "0001-01-01 00:00:00.001", "00:00:00", "00FF006100", Hex(Bytes(40000, 1)), LongSlovenian()},
      {"2147483647", "9223372036854775807", "32767", "98765432109.8765", "1.23456789012345e+300", "žžžžžžžžžž",
       "9999-12-31", "9999-12-31 23:59:59.999", "23:59:59", "FF", "00", "ž"},
      {"7", "-7", "1", "0.5", "0.1", "a", "0999-05-06", "0100-05-06 12:34:56.789", "10:30:15", "0102030405",
       Hex(Bytes(3, 3)), "Šest"},
      {nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt},
      {"0", "0", "0", "0", "0", "", "1899-12-30", "1899-12-30 00:00:00.000", "00:00:00", "", "", ""},
  };
}

class TWriteTable {
public:
  explicit TWriteTable(DataSetFixture& F) : F(F) {}

  void Create() {
    const std::string bin = F.Pg ? "bytea" : "blob";
    const std::string longBin = F.Pg ? "bytea" : "longvarbinary";
    F.Exec("CREATE TABLE w (id integer PRIMARY KEY, i integer, b bigint, s smallint, n numeric(15,4), d double "
           "precision, v varchar(10), dt date, ts timestamp, tm time, vb " + bin + ", lb " + longBin + ", m text)");
  }

  // What the database holds, row by row in id order, as TValues would spell it.
  Rows Held() {
    const std::string list = F.Pg
        ? "id, i, b, s, CAST(CAST(n AS double precision) AS varchar(40)), CAST(d AS varchar(40)), v, "
          "CAST(dt AS varchar(10)), to_char(ts, 'YYYY-MM-DD HH24:MI:SS.MS'), CAST(tm AS varchar(20)), "
          "upper(encode(vb, 'hex')), upper(encode(lb, 'hex')), m"
        : "id, i, b, s, CASE WHEN n IS NULL THEN NULL ELSE printf('%.15g', n) END, "
          "CASE WHEN d IS NULL THEN NULL ELSE printf('%.15g', d) END, v, dt, strftime('%Y-%m-%d %H:%M:%f', ts), tm, "
          "CASE WHEN vb IS NULL THEN NULL ELSE hex(vb) END, CASE WHEN lb IS NULL THEN NULL ELSE hex(lb) END, m";
    Rows got = F.Db("SELECT " + list + " FROM w ORDER BY id");
    for (auto& row : got)
      for (auto& cell : row) cell = *Short(cell);
    return got;
  }

  static Rows Want(const std::vector<std::pair<int, TValues>>& Records) {
    Rows want;
    for (const auto& [id, r] : Records) {
      std::vector<std::string> row{std::to_string(id)};
      for (const Opt& v : AsList(r)) row.push_back(v ? *Short(v) : "<NULL>");
      want.push_back(row);
    }
    return want;
  }

  // The database against the records, a row at a time so that a difference shows where it is.
  void Expect(const std::vector<std::pair<int, TValues>>& Records, const char* Step) {
    const Rows got = Held();
    const Rows want = Want(Records);
    ASSERT_EQ(got.size(), want.size()) << Step;
    for (size_t r = 0; r < got.size(); ++r)
      for (size_t c = 0; c < got[r].size(); ++c) {
        const std::string column = c == 0 ? "id" : kColumns[c - 1];
        // Numbers by value: the drivers spell a double each their own way.
        const bool number = (column == "n" || column == "d") && got[r][c] != "<NULL>" && want[r][c] != "<NULL>";
        if (number)
          EXPECT_EQ(std::stod(got[r][c]), std::stod(want[r][c])) << Step << ": id " << want[r][0] << " column " << column;
        else
          EXPECT_EQ(got[r][c], want[r][c]) << Step << ": id " << want[r][0] << " column " << column;
      }
  }

  DataSetFixture& F;
};

TCustomODDataSet* OpenW(DataSetFixture& F, TMode Mode) {
  TCustomODDataSet* d = F.Make("SELECT id, i, b, s, n, d, v, dt, ts, tm, vb, lb, m FROM w ORDER BY id", Mode != mDirect);
  d->SetEditable(true);
  if (Mode == mCachedUpdates) d->SetCachedUpdates(true);
  d->Open();
  return d;
}

void Put(TDataSet* D, const TValues& R) {
  const std::vector<Opt> values = AsList(R);
  for (size_t c = 0; c < values.size(); ++c) Assign(D->FieldByName(kColumns[c]), kColumns[c], values[c]);
  D->Post();
}

void RoundTrip(DataSetFixture& F, TMode Mode) {
  TWriteTable table(F);
  table.Create();
  const std::vector<TValues> records = Records();
  const int n = int(records.size());

  TCustomODDataSet* d = OpenW(F, Mode);
  std::vector<std::pair<int, TValues>> want;
  for (int k = 0; k < n; ++k) {
    d->Append();
    d->FieldByName("id")->SetAsInteger(k + 1);
    Put(d, records[size_t(k)]);
    want.emplace_back(k + 1, records[size_t(k)]);
  }
  if (Mode == mCachedUpdates) {
    EXPECT_EQ(table.Held(), Rows{});
    d->InsertRecords(nullptr, true);
  }
  table.Expect(want, "inserted");

  // Every record takes the next one's values (the last the first's): each column written over
  // by values of other lengths, NULL over values and values over NULL.
  if (Mode == mDirect) {
    d->Close();
    d->Open();
  }
  for (int k = 0; k < n; ++k) {
    ASSERT_TRUE(d->Locate("id", Variant(k + 1), {}));
    d->Edit();
    want[size_t(k)].second = records[size_t((k + 1) % n)];
    Put(d, want[size_t(k)].second);
  }
  if (Mode == mCachedUpdates) d->UpdateRecords(nullptr, true);
  table.Expect(want, "updated");

  // Only the binary columns, one record after another: one UPDATE statement, executed with
  // values of lengths 5, 1, 0, 3 and 40000, and back.
  const std::vector<std::string> lengths[] = {{"00FF006100", "FF", "", "000102", Hex(Bytes(40000, 9))},
                                              {"FF", "0102030405", "00", "", "A0"}};
  for (const auto& series : lengths) {
    for (int k = 0; k < n; ++k) {
      ASSERT_TRUE(d->Locate("id", Variant(k + 1), {}));
      d->Edit();
      TValues& r = want[size_t(k)].second;
      const std::string& bytes = series[size_t(k)];
      // SQLite's blob column is read bound, 255 bytes at most.
      r.Vb = bytes.size() > 510 ? series[0] : bytes;
      r.Lb = bytes;
      Assign(d->FieldByName("vb"), "vb", r.Vb);
      Assign(d->FieldByName("lb"), "lb", r.Lb);
      d->Post();
    }
    if (Mode == mCachedUpdates) d->UpdateRecords(nullptr, true);
    table.Expect(want, "binary columns");
  }
  delete d;

  // The values read back by a data set of their own.
  TCustomODDataSet* again = OpenW(F, mCached);
  for (const auto& [id, r] : want) {
    ASSERT_TRUE(again->Locate("id", Variant(id), {}));
    const std::vector<Opt> values = AsList(r);
    for (size_t c = 0; c < values.size(); ++c) ExpectField(again->FieldByName(kColumns[c]), kColumns[c], values[c], id);
  }
  delete again;
}

}  // namespace

#define DS_MODES(Name)                                                                       \
  static void Name##Body(DataSetFixture& F, TMode Mode);                                     \
  TEST_F(OdbcDataSet, Name##_Direct) { Name##Body(*this, mDirect); }                         \
  TEST_F(OdbcDataSet, Name##_Cached) { Name##Body(*this, mCached); }                         \
  TEST_F(OdbcDataSet, Name##_CachedUpdates) { Name##Body(*this, mCachedUpdates); }           \
  TEST_F(ServerDataSet, Name##_Direct) { Name##Body(*this, mDirect); }                       \
  TEST_F(ServerDataSet, Name##_Cached) { Name##Body(*this, mCached); }                       \
  TEST_F(ServerDataSet, Name##_CachedUpdates) { Name##Body(*this, mCachedUpdates); }         \
  static void Name##Body(DataSetFixture& F, TMode Mode)

DS_MODES(EveryFieldTypeRoundTripsThroughInsertAndUpdate) { RoundTrip(F, Mode); }

// An empty text or long value is stored alike by an insert and an update: empty, or NULL where
// EmptyStringToNull says so (the columns are nullable).
DS_ALL(EmptyValuesAreStoredAsEmptyStringToNullSays) {
  const std::string longBin = F.Pg ? "bytea" : "longvarbinary";
  const std::string hex = F.Pg ? "upper(encode(lb, 'hex'))" : "CASE WHEN lb IS NULL THEN NULL ELSE hex(lb) END";
  for (const TEmptyToNull rule : {enNever, enAlways, enIfNullable}) {
    F.Exec("DROP TABLE IF EXISTS e");
    F.Exec("CREATE TABLE e (id integer PRIMARY KEY, v varchar(10), m text, lb " + longBin + ")");
    F.Exec("INSERT INTO e VALUES (1, 'x', 'y', NULL)");
    F.Exec("UPDATE e SET lb = " + std::string(F.Pg ? "'\\x7a'::bytea" : "x'7a'"));
    TCustomODDataSet* d = F.Make("SELECT id, v, m, lb FROM e ORDER BY id", InCache);
    d->SetEditable(true);
    d->hStmt()->SetEmptyStringToNull(rule);
    d->Open();
    d->Edit();
    for (const char* f : {"v", "m", "lb"}) d->FieldByName(f)->SetAsString("");
    d->Post();
    d->Append();
    d->FieldByName("id")->SetAsInteger(2);
    for (const char* f : {"v", "m", "lb"}) d->FieldByName(f)->SetAsString("");
    d->Post();
    const std::string e = rule == enNever ? "" : "<NULL>";
    EXPECT_EQ(F.Db("SELECT id, v, m, " + hex + " FROM e ORDER BY id"), (Rows{{"1", e, e, e}, {"2", e, e, e}}))
        << EmptyToNullNames[rule];
    delete d;
  }
}

namespace {

// Values of every column drawn at random, as the database spells them: integers over their whole
// range, numerics and doubles of at most 15 significant digits, text of 0 to the column's 10
// characters, dates and stamps of any year from 1 to 9999, bytes with zeros of any length the
// column reads, NULL now and then.
class TRandomValues {
public:
  explicit TRandomValues(unsigned Seed) : G(Seed) {}

  TValues Draw() {
    TValues r;
    r.I = Maybe([&] { return std::to_string(Int(INT32_MIN, INT32_MAX)); });
    r.B = Maybe([&] { return std::to_string(Int(INT64_MIN, INT64_MAX)); });
    r.S = Maybe([&] { return std::to_string(Int(-32768, 32767)); });
    r.N = Maybe([&] {
      const int64_t m = Int(-999999999999999, 999999999999999);
      char buf[40];
      std::snprintf(buf, sizeof buf, "%s%lld.%04lld", m < 0 ? "-" : "", (long long)(std::llabs(m) / 10000),
                    (long long)(std::llabs(m) % 10000));
      return std::string(buf);
    });
    r.D = Maybe([&] {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%s%lld.%014llde%+d", Int(0, 1) ? "-" : "", (long long)Int(1, 9),
                    (long long)Int(0, 99999999999999), int(Int(-300, 300)));
      return std::string(buf);
    });
    r.V = Maybe([&] { return Text(size_t(Int(0, 10))); });
    r.Dt = Maybe([&] { return Date(); });
    r.Ts = Maybe([&] {
      char buf[24];
      std::snprintf(buf, sizeof buf, " %02d:%02d:%02d.%03d", int(Int(0, 23)), int(Int(0, 59)), int(Int(0, 59)),
                    int(Int(0, 999)));
      return Date() + buf;
    });
    r.Tm = Maybe([&] {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(Int(0, 23)), int(Int(0, 59)), int(Int(0, 59)));
      return std::string(buf);
    });
    r.Vb = Maybe([&] { return Hex(Bytes(size_t(Int(0, 255)))); });
    r.Lb = Maybe([&] { return Hex(Bytes(size_t(Int(0, 3000)))); });
    r.M = Maybe([&] { return Text(size_t(Int(0, 3000))); });
    return r;
  }
  int64_t Int(int64_t Lo, int64_t Hi) { return std::uniform_int_distribution<int64_t>(Lo, Hi)(G); }

private:
  template <class F>
  Opt Maybe(F Make) {
    if (Int(0, 5) == 0) return nullopt;
    return Make();
  }
  std::string Text(size_t Chars) {
    static const char* const letters[] = {"a", "b", "z", " ", "č", "š", "ž", "ć", "đ", "Č", "Š", "Ž", "Ć", "Đ"};
    std::string t;
    for (size_t i = 0; i < Chars; ++i) t += letters[Int(0, 13)];
    // Trailing blanks are not kept (the statement trims them).
    while (!t.empty() && t.back() == ' ') t.back() = 'x';
    return t;
  }
  std::string Bytes(size_t N) {
    std::string b(N, '\0');
    for (char& c : b) c = Int(0, 3) == 0 ? '\0' : char(Int(0, 255));
    return b;
  }
  std::string Date() {
    const int y = int(Int(1, 9999)), m = int(Int(1, 12));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, int(Int(1, DaysInMonth(y, m))));
    return buf;
  }
  std::mt19937_64 G;
};

// Inserts and updates at random against a model of the table, an update changing a random set of
// columns or the binary ones; the database is compared with the model along the way.
void RandomWrites(DataSetFixture& F, TMode Mode) {
  const unsigned seed = 20261210;
  SCOPED_TRACE("seed " + std::to_string(seed));
  TRandomValues random(seed);
  TWriteTable table(F);
  table.Create();
  TCustomODDataSet* d = OpenW(F, Mode);
  std::vector<std::pair<int, TValues>> model;
  for (int step = 1; step <= 40; ++step) {
    const bool insert = model.size() < 4 || random.Int(0, 2) == 0;
    if (insert) {
      const int id = int(model.size()) + 1;
      TValues r = random.Draw();
      d->Append();
      d->FieldByName("id")->SetAsInteger(id);
      Put(d, r);
      model.emplace_back(id, r);
    } else {
      auto& [id, r] = model[size_t(random.Int(0, int64_t(model.size()) - 1))];
      ASSERT_TRUE(d->Locate("id", Variant(id), {}));
      d->Edit();
      const TValues drawn = random.Draw();
      const std::vector<Opt> values = AsList(drawn);
      std::vector<Opt*> held = {&r.I, &r.B, &r.S, &r.N, &r.D, &r.V, &r.Dt, &r.Ts, &r.Tm, &r.Vb, &r.Lb, &r.M};
      // Half the updates write the binary columns alone: one statement, executed again with
      // values of other lengths.
      const bool bytesOnly = random.Int(0, 1) == 0;
      for (size_t c = 0; c < values.size(); ++c) {
        const bool binary = std::string(kColumns[c]) == "vb" || std::string(kColumns[c]) == "lb";
        if (bytesOnly ? !binary : random.Int(0, 1) == 0) continue;
        *held[c] = values[c];
        Assign(d->FieldByName(kColumns[c]), kColumns[c], values[c]);
      }
      d->Post();
    }
    if (step % 10 == 0) {
      if (Mode == mCachedUpdates) {
        d->InsertRecords(nullptr, true);
        d->UpdateRecords(nullptr, true);
      }
      table.Expect(model, ("step " + std::to_string(step)).c_str());
    }
    // Direct mode shows a record it inserted once it is opened again.
    if (Mode == mDirect && insert) {
      d->Close();
      d->Open();
    }
  }
  delete d;
}

}  // namespace

DS_MODES(RandomWritesAgainstAModel) { RandomWrites(F, Mode); }
