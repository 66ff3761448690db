// The write path against a reference model: random tables, random queries over them, every
// mode of the query and random steps. After every step the whole database, read on a second
// connection, must equal the model, and a step the library refused must have changed nothing.
//
// Seeded and reproducible: ZELKOR_WRITEMODEL_SEED runs that one seed (otherwise a fixed set),
// ZELKOR_WRITEMODEL_STEPS the steps per seed; ZELKOR_WRITEMODEL_KEY (0 integer, 1 text,
// 2 numeric, 3 timestamp, 4 two columns), _QUERY (0 single table, 1 qualified, 2 join,
// 3 subquery column, 4 expression column, 5 aliased key, 6 a label that is not the key) and
// _MODE (0 direct, 1 cached, 2 cached updates) fix the shape of a seed;
// ZELKOR_WRITEMODEL_EARLY_DATES=0 moves the dates before year 1000 of the values by a thousand
// years (the seed's steps stay the same). A failure prints the seed, the query, the mode, every
// step taken and the line that runs it again; tools/writefuzz.sh runs seeds for as long as asked.
//
// Outcomes the model allows: a write by the key as the driver gave it (text with its trailing
// blanks, numerics and timestamps in full) must succeed and change exactly that row; a column of
// another table or of no table (a join's, an expression's) must be refused, and so must a write
// whose key is not in the result; where the model lets a write be refused (ExactKey), one that is
// not refused must still change exactly the row the record was read from.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "datetime.h"
#include "ovcl.h"
#include "stmt_fixture.h"

namespace {

enum class Ty { Int, Text, Num, Ts, Date, Memo, Bin };
enum class KeyKind { Int, Text, Num, Ts, Two };
enum class Mode { Direct, Cached, CachedUpdates };
enum class Query { Single, Qualified, Join, Subquery, Expression, AliasedKey, LabelAsKey };
const char* ModeName(Mode m) {
  return m == Mode::Direct ? "direct" : m == Mode::Cached ? "cached" : "cached updates";
}

constexpr const char* kNull = "<NULL>";

struct Col {
  std::string name;
  Ty ty;
  int size = 0;  // declared size of a text column
  bool key = false;
};

using Values = std::vector<std::string>;  // canonical text per column, kNull for NULL
using Db = std::map<std::string, std::vector<Values>>;  // table -> rows, sorted

struct Table {
  std::string name;  // as written in SQL: "t", "s2.t", "u", "c"
  std::vector<Col> cols;
  std::map<int, Values> rows;  // by the model's row id
};

// One write of the data set as the model sees it.
enum class Expect { Succeed, Either, Refuse };

std::string RTrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : bytes) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

std::string Unhex(const std::string& h) {
  std::string b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return b;
}

// Decimal text without trailing zeros of the fraction ("12.50" -> "12.5", "3.0" -> "3").
std::string NormNum(std::string s) {
  if (s == kNull) return s;
  if (s.find('e') != std::string::npos || s.find('E') != std::string::npos) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10f", std::strtod(s.c_str(), nullptr));
    s = buf;
  }
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

// "YYYY-MM-DD HH:MM:SS.uuuuuu" from any fraction length.
std::string NormTs(const std::string& s) {
  if (s == kNull) return s;
  int y, mo, d, h = 0, mi = 0, se = 0;
  if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se) < 3) return "?" + s;
  std::string frac;
  size_t dot = s.find('.', 10);
  if (dot != std::string::npos) frac = s.substr(dot + 1);
  while (frac.size() < 6) frac += '0';
  while (frac.size() > 6 && frac.back() == '0') frac.pop_back();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.", y, mo, d, h, mi, se);
  return buf + frac;
}

std::string NormDate(const std::string& s) {
  if (s == kNull) return s;
  int y, mo, d;
  if (std::sscanf(s.c_str(), "%d-%d-%d", &y, &mo, &d) != 3) return "?" + s;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
  return buf;
}

std::string Norm(Ty t, const std::string& v) {
  if (v == kNull) return v;
  switch (t) {
    case Ty::Num: return NormNum(v);
    case Ty::Ts: return NormTs(v);
    case Ty::Date: return NormDate(v);
    case Ty::Bin: {
      std::string s = v;
      for (char& c : s) c = char(std::tolower((unsigned char)c));
      return s;
    }
    default: return v;
  }
}

TDateTime TsValue(const std::string& c) {
  int y, mo, d, h, mi, se, us;
  std::sscanf(c.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &se, &us);
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, se, 0) + us / 86400e6);
}

// Numbers in the keys' ordering.
long double NumValue(const std::string& s) { return std::strtold(s.c_str(), nullptr); }

class WriteModel {
public:
  // Shape: key, query and mode when the caller chooses them (-1: drawn from the seed).
  WriteModel(StmtFixture& F, std::uint32_t Seed, int Steps, std::array<int, 3> Shape = {-1, -1, -1})
      : F(F), Seed(Seed), Steps(Steps), Shape(Shape), Rng(Seed) {
    const char* early = std::getenv("ZELKOR_WRITEMODEL_EARLY_DATES");
    EarlyDates = !(early && std::string(early) == "0");
  }

  void Run() {
    Raw = std::make_unique<RawOdbc>(F.Pg ? "DSN=PG" : "DSN=SQLITE");
    if (!F.Pg) Raw->Exec("ATTACH DATABASE '" + S2File() + "' AS s2");
    // The tables are made on the other connection in one transaction (SQLite syncs every
    // statement of its own).
    Raw->Exec("BEGIN");
    DropAll();
    BuildSchema();
    Raw->Exec("COMMIT");
    // Only now does the query's connection first run a statement: SQLite's driver describes
    // the columns of a statement before it runs it, from the schema the connection last read,
    // so a table another connection made again since would be described as it was.
    if (!F.Pg) F.Exec("ATTACH DATABASE '" + S2File() + "' AS s2");
    BuildQuery();
    if (!CheckDb("initial data")) return;
    OpenDataSet();
    if (Failed || !CheckView("open")) return;
    for (Step = 1; Step <= Steps && !Failed; ++Step) {
      RandomStep();
      if (!Failed) CheckDb("after the step");
    }
  }

  bool Failed = false;

private:
  // ---------------------------------------------------------------- randomness
  // A shape the caller fixed (to narrow a finding down), else the random one, which is drawn
  // all the same so that the rest of the seed stays as it was.
  int Fixed(const char* name, int given, int drawn) const {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : given >= 0 ? given : drawn;
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Rng); }
  bool Chance(int percent) { return Pick(100) < percent; }
  template <class T>
  const T& OneOf(const std::vector<T>& v) { return v[size_t(Pick(int(v.size())))]; }

  std::string RandomText(int maxLen, bool blanks) {
    static const std::string letters = "abcdefghijklmnopqrstuvwxyzABC ";
    int n = 1 + Pick(maxLen);
    std::string s;
    for (int i = 0; i < n; ++i) s += letters[size_t(Pick(int(letters.size()) - (i == 0 ? 1 : 0)))];
    if (!blanks) s = RTrim(s);
    if (s.empty()) s = "z";
    if (blanks && Chance(30)) s += std::string(size_t(1 + Pick(2)), ' ');
    return s.substr(0, size_t(maxLen));
  }
  std::string RandomTs(bool micros) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06d", 1990 + Pick(40), 1 + Pick(12),
                  1 + Pick(28), Pick(24), Pick(60), Pick(60), micros ? Pick(1000000) : Pick(1000) * 1000);
    return buf;
  }
  std::string RandomDate() {
    static const std::vector<int> years = {1, 100, 999, 1000, 1899, 1900, 1970, 2024, 9999};
    int y = Chance(60) ? OneOf(years) : 1 + Pick(9999);
    if (y < 1000 && !EarlyDates) y += 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, 1 + Pick(12), 1 + Pick(28));
    return buf;
  }
  // A value that the data set's field holds exactly (what the test assigns), or one the database
  // holds but a field may not (what the tables start with).
  std::string RandomValue(const Col& c, bool exact) {
    switch (c.ty) {
      case Ty::Int: return std::to_string(c.name == "qty" ? Pick(1000) : Pick(100000));
      case Ty::Text: return RandomText(c.size, !exact);  // the data set trims what it writes
      case Ty::Num:
        if (exact) return NormNum(std::to_string(Pick(4000) / 4.0 - 100));
        return NormNum(F.Pg ? "1234567" + std::to_string(Pick(10)) + ".123456789" + std::to_string(Pick(10))
                            : std::to_string(1 + Pick(9)) + ".31415926" + std::to_string(10 + Pick(90)));
      case Ty::Ts: return RandomTs(!exact);
      case Ty::Date: return RandomDate();
      case Ty::Memo: {
        std::string s = RandomText(40, false);
        while (int(s.size()) < 200 + Pick(3000)) s += " " + RandomText(40, false);
        return RTrim(s);
      }
      case Ty::Bin: {
        std::string b;
        int n = 1 + Pick(40);
        for (int i = 0; i < n; ++i) b += char(Chance(30) ? 0 : Pick(256));
        return Hex(b);
      }
    }
    return kNull;
  }
  // Key values in families of near-duplicates.
  std::string RandomKeyPart(Ty t) {
    switch (t) {
      case Ty::Int: return std::to_string(1 + Pick(60));
      case Ty::Text: {
        std::vector<std::string> family = {"ab", "ab ", "ab  ", "Ab", "abc", "x", "x ", "pq r"};
        if (!F.Pg) family.insert(family.end(), {"abcdefgh", "abcdefghij", "abcdefgh "});
        return Chance(80) ? OneOf(family) : RandomText(8, true);
      }
      case Ty::Num:
        if (F.Pg)
          return OneOf(std::vector<std::string>{"12345678.0000000001", "12345678.0000000002",
                                                "12345678.0000000011", "12345678", "2.5"});
        return OneOf(std::vector<std::string>{"1.0000000001", "1.0000000002", "1.0000000011", "1", "2.5"});
      case Ty::Ts:
        return OneOf(std::vector<std::string>{"2024-03-01 10:00:00.000001", "2024-03-01 10:00:00.000002",
                                              "2024-03-01 10:00:00.000000", "2024-03-01 10:00:00.001000",
                                              "2024-03-01 10:00:00.001001"});
      default: return kNull;
    }
  }
  // A key value that a field holds exactly, for inserts and key edits.
  std::string ExactKeyPart(Ty t) {
    switch (t) {
      case Ty::Int: return std::to_string(100 + Pick(900));
      case Ty::Text: return Chance(70) ? RandomText(8, false) : OneOf(std::vector<std::string>{"ab", "Ab", "x"});
      case Ty::Num: return NormNum(std::to_string(Pick(400) / 4.0));
      case Ty::Ts: return RandomTs(false);
      default: return kNull;
    }
  }

  // ---------------------------------------------------------------- schema
  // What an earlier seed left in the database.
  void DropAll() {
    for (const char* t : {"t", "u", "c"}) Raw->Exec(std::string("DROP TABLE IF EXISTS ") + t);
    if (F.Pg) Raw->Exec("DROP SCHEMA IF EXISTS s2 CASCADE");
  }
  std::string S2File() const { return F.Env.Path("s2_" + std::to_string(Seed) + ".db"); }
  std::string SqlType(const Col& c) const {
    switch (c.ty) {
      case Ty::Int: return "integer";
      case Ty::Text: return "varchar(" + std::to_string(c.size) + ")";
      case Ty::Num: return "numeric(30,10)";
      case Ty::Ts: return F.Pg ? "timestamp(6)" : "timestamp";
      case Ty::Date: return "date";
      case Ty::Memo: return "text";
      case Ty::Bin: return F.Pg ? "bytea" : "blob";
    }
    return "";
  }
  std::string Literal(const Col& c, const std::string& v) const {
    if (v == kNull) return "NULL";
    switch (c.ty) {
      case Ty::Int:
      case Ty::Num: return v;
      case Ty::Bin: return F.Pg ? "decode('" + v + "', 'hex')" : "X'" + v + "'";
      default: return "'" + v + "'";
    }
  }
  // The column as the raw connection reads it, for Norm.
  std::string ReadExpr(const Col& c) const {
    switch (c.ty) {
      case Ty::Ts: return F.Pg ? "to_char(" + c.name + ", 'YYYY-MM-DD HH24:MI:SS.US')" : c.name;
      case Ty::Date: return F.Pg ? "to_char(" + c.name + ", 'YYYY-MM-DD')" : c.name;
      case Ty::Bin:
        return F.Pg ? "encode(" + c.name + ", 'hex')" : "CASE WHEN " + c.name + " IS NULL THEN NULL ELSE hex(" + c.name + ") END";
      case Ty::Num: return F.Pg ? c.name + "::text" : c.name;
      default: return c.name;
    }
  }

  void CreateTable(Table& t, const std::vector<std::string>& keys) {
    std::string sql = "CREATE TABLE " + t.name + " (";
    for (const Col& c : t.cols) {
      sql += c.name + " " + SqlType(c);
      if (c.name == "qty") sql += " CHECK (qty >= 0)";
      sql += ", ";
    }
    std::string pk;
    for (const std::string& k : keys) pk += (pk.empty() ? "" : ", ") + k;
    sql += "PRIMARY KEY (" + pk + "))";
    Raw->Exec(sql);
  }
  void InsertRow(Table& t, const Values& v) {
    std::string sql = "INSERT INTO " + t.name + " VALUES (";
    for (size_t i = 0; i < t.cols.size(); ++i) sql += (i ? ", " : "") + Literal(t.cols[i], v[i]);
    Raw->Exec(sql + ")");
    t.rows[NextRid++] = v;
  }
  // A key (all key columns) that no row of t has.
  bool KeyTaken(const Table& t, const Values& v, int exceptRid = -1) const {
    for (const auto& [rid, r] : t.rows) {
      if (rid == exceptRid) continue;
      bool same = true;
      for (size_t i = 0; i < t.cols.size(); ++i)
        if (t.cols[i].key && r[i] != v[i]) same = false;
      if (same) return true;
    }
    return false;
  }

  void BuildSchema() {
    Key = KeyKind(Fixed("ZELKOR_WRITEMODEL_KEY", Shape[0], Pick(5)));
    std::vector<Col> cols;
    switch (Key) {
      case KeyKind::Int: cols.push_back({"id", Ty::Int, 0, true}); break;
      case KeyKind::Text: cols.push_back({"id", Ty::Text, 8, true}); break;
      case KeyKind::Num: cols.push_back({"id", Ty::Num, 0, true}); break;
      case KeyKind::Ts: cols.push_back({"id", Ty::Ts, 0, true}); break;
      case KeyKind::Two:
        cols.push_back({"id", Ty::Int, 0, true});
        cols.push_back({"id2", Ty::Text, 8, true});
        break;
    }
    cols.push_back({"qty", Ty::Int});
    cols.push_back({"name", Ty::Text, 20});
    cols.push_back({"amt", Ty::Num});
    cols.push_back({"ts", Ty::Ts});
    cols.push_back({"d", Ty::Date});
    cols.push_back({"memo", Ty::Memo});
    cols.push_back({"bin", Ty::Bin});
    std::vector<std::string> keys;
    for (const Col& c : cols)
      if (c.key) keys.push_back(c.name);

    if (F.Pg) Raw->Exec("CREATE SCHEMA s2");
    for (const char* name : {"t", "s2.t"}) {
      Table t{name, cols, {}};
      CreateTable(t, keys);
      Tables.push_back(t);
    }
    // Both tables get rows with the same keys, so that a write to the wrong one shows.
    int n = 3 + Pick(6);
    for (int i = 0, tries = 0; i < n && tries < 200; ++tries) {
      Values v;
      for (const Col& c : cols) v.push_back(c.key ? RandomKeyPart(c.ty) : (Chance(15) ? kNull : RandomValue(c, false)));
      if (KeyTaken(Tables[0], v)) continue;
      ++i;
      InsertRow(Tables[0], v);
      for (size_t c = 0; c < cols.size(); ++c)
        if (!cols[c].key) v[c] = Chance(15) ? kNull : RandomValue(cols[c], false);
      InsertRow(Tables[1], v);
    }
    // u: a note for some rows of t, joined by its key; c: rows a subquery counts.
    Table u{"u", {{"uid", Ty::Int, 0, true}}, {}};
    for (const Col& c : cols)
      if (c.key) u.cols.push_back({c.name, c.ty, c.size});
    u.cols.push_back({"note", Ty::Text, 20});
    CreateTable(u, {"uid"});
    Tables.push_back(u);
    int uid = 1;
    for (const auto& [rid, r] : std::map<int, Values>(Tables[0].rows)) {
      if (!Chance(70)) continue;
      Values v{std::to_string(uid++)};
      for (size_t c = 0; c < cols.size(); ++c)
        if (cols[c].key) v.push_back(r[c]);
      v.push_back(RandomText(20, true));
      InsertRow(Tables[2], v);
    }
    Table cnt{"c", {{"cid", Ty::Int, 0, true}, {"x", Ty::Int}}, {}};
    CreateTable(cnt, {"cid"});
    Tables.push_back(cnt);
    for (int i = 1; i <= 3; ++i) InsertRow(Tables[3], {std::to_string(i), std::to_string(i - 1)});
  }

  // ---------------------------------------------------------------- query
  // A result column: a column of the target (Base >= 0) or not (the join's note, an expression).
  struct ResCol {
    std::string label;
    int base = -1;
  };

  void BuildQuery() {
    Q = Query(Fixed("ZELKOR_WRITEMODEL_QUERY", Shape[1], Pick(7)));
    if (Q == Query::LabelAsKey && Key == KeyKind::Two) Q = Query::AliasedKey;
    M = Mode(Fixed("ZELKOR_WRITEMODEL_MODE", Shape[2], Pick(3)));
    Target = Q == Query::Qualified ? 1 : 0;
    const Table& t = Tables[size_t(Target)];
    // Every key column, qty, and a random choice of the others.
    std::vector<int> chosen;
    for (size_t i = 0; i < t.cols.size(); ++i)
      if (t.cols[i].key || t.cols[i].name == "qty" || Chance(60)) chosen.push_back(int(i));
    std::string list, order;
    std::string pre = Q == Query::Join ? "t." : "";
    // Qualified, so that a label of the result (LabelAsKey's id) does not stand for the column.
    for (size_t i = 0; i < t.cols.size(); ++i)
      if (t.cols[i].key) order += (order.empty() ? "" : ", ") + t.name + "." + t.cols[i].name;
    auto add = [&](const std::string& expr, const std::string& label, int base) {
      list += (list.empty() ? "" : ", ") + expr;
      Res.push_back({label, base});
    };
    if (Q == Query::Subquery) add("(SELECT count(*) FROM c WHERE c.x > 0) AS cnt", "cnt", -1);
    for (int i : chosen) {
      const Col& c = t.cols[size_t(i)];
      if (Q == Query::AliasedKey && c.key) add(c.name + " AS r" + c.name, "r" + c.name, i);
      else if (Q == Query::LabelAsKey && c.key) continue;
      else if (Q == Query::LabelAsKey && c.name == "name") add("name AS id", "id", i);
      else add(pre + c.name, c.name, i);
    }
    if (Q == Query::LabelAsKey && std::none_of(Res.begin(), Res.end(), [](const ResCol& r) { return r.label == "id"; }))
      add("name AS id", "id", ColIndex("name"));
    if (Q == Query::Join) add("u.note", "note", -1);
    if (Q == Query::Expression) add("qty + 1 AS qty1", "qty1", -1);
    std::string from = t.name;
    if (Q == Query::Join) {
      from = "t LEFT JOIN u ON ";
      std::string on;
      for (const Col& c : t.cols)
        if (c.key) on += (on.empty() ? "" : " AND ") + ("u." + c.name + " = t." + c.name);
      from += on;
    }
    Sql = "SELECT " + list + " FROM " + from + " ORDER BY " + order;
  }
  // The index of a column of the target.
  int ColIndex(const std::string& name) const {
    const auto& cols = Tables[size_t(Target)].cols;
    for (size_t i = 0; i < cols.size(); ++i)
      if (cols[i].name == name) return int(i);
    return -1;
  }

  // ---------------------------------------------------------------- the data set and its model
  struct Rec {
    int rid = -1;     // row of the target; -1 for a record inserted under cached updates
    Values vals;      // what the record holds (target columns)
    Values orig;      // the row as read (the key of its next write)
    int status = 0;   // cached updates: 0 unchanged, 1 modified, 2 inserted
    int changed = 0;  // cached updates: when a modified record was first changed
  };
  // The data set applies its deletes in the order their records were first changed (the
  // order of its saved copies), not the order of the deletes.
  struct PendingDelete {
    int rid;
    Values orig;
    int changed;
  };

  Table& T() { return Tables[size_t(Target)]; }
  // A key that a row of the target or another record shown holds: under cached updates a
  // record's pending key is in no row yet, and a second record given it clashes at the apply.
  bool KeyInUse(const Values& v, size_t Except = SIZE_MAX) {
    if (KeyTaken(T(), v, Except < View.size() ? View[Except].rid : -1)) return true;
    for (size_t j = 0; j < View.size(); ++j) {
      if (j == Except) continue;
      bool same = true;
      for (size_t c = 0; c < Cols().size(); ++c)
        if (Cols()[c].key && View[j].vals[c] != v[c]) same = false;
      if (same) return true;
    }
    return false;
  }
  const std::vector<Col>& Cols() { return T().cols; }

  bool Less(const Values& a, const Values& b) {
    for (size_t i = 0; i < Cols().size(); ++i) {
      const Col& c = Cols()[i];
      if (!c.key || a[i] == b[i]) continue;
      if (c.ty == Ty::Int || c.ty == Ty::Num) return NumValue(a[i]) < NumValue(b[i]);
      return a[i] < b[i];  // bytes; timestamps in their fixed form
    }
    return false;
  }
  // The query's result over the model, in its order.
  std::vector<Rec> QueryModel() {
    std::vector<Rec> v;
    for (const auto& [rid, r] : T().rows) v.push_back({rid, r, r, 0});
    std::stable_sort(v.begin(), v.end(), [&](const Rec& a, const Rec& b) { return Less(a.vals, b.vals); });
    return v;
  }

  void OpenDataSet() {
    auto* q = new TODQuery(F.Owner.get());
    q->SetHdbc(F.Dbc);
    q->SetCached(M != Mode::Direct);
    q->SetSQL(Sql);
    q->SetEditable(true);
    if (M == Mode::CachedUpdates) q->SetCachedUpdates(true);
    D = q;
    Reopen(false);
  }
  void Reopen(bool close) {
    try {
      if (close) D->Close();
      D->Open();
    } catch (const std::exception& e) {
      Fail(std::string("open raised: ") + e.what());
      return;
    }
    View = QueryModel();
    Deletes.clear();
  }

  // ---------------------------------------------------------------- checks
  std::string Describe() const {
    std::ostringstream s;
    s << "seed " << Seed << " on " << (F.Pg ? "PostgreSQL" : "SQLite") << ", " << ModeName(M) << "\n  query: " << Sql
      << "\n  steps:\n";
    for (const std::string& l : Log) s << "    " << l << "\n";
    return s.str();
  }
  void Fail(const std::string& what) {
    if (Failed) return;
    Failed = true;
    ADD_FAILURE() << "step " << Step << ": " << what << "\n" << Describe() << "  reproduce: ZELKOR_WRITEMODEL_SEED=" << Seed
                  << " ZELKOR_WRITEMODEL_STEPS=" << Step << " ZELKOR_WRITEMODEL_KEY=" << int(Key)
                  << " ZELKOR_WRITEMODEL_QUERY=" << int(Q) << " ZELKOR_WRITEMODEL_MODE=" << int(M)
                  << (EarlyDates ? "" : " ZELKOR_WRITEMODEL_EARLY_DATES=0");
  }
  void Note(const std::string& l) { Log.push_back(std::to_string(Step) + ": " + l); }

  static std::string RowText(const Values& v) {
    std::string s = "(";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + (v[i].size() > 24 ? v[i].substr(0, 24) + "..." : "'" + v[i] + "'");
    return s + ")";
  }
  Db ModelDb() const {
    Db db;
    for (const Table& t : Tables) {
      auto& rows = db[t.name];
      for (const auto& [rid, r] : t.rows) rows.push_back(r);
      std::sort(rows.begin(), rows.end());
    }
    return db;
  }
  Db ReadDb() {
    Db db;
    for (const Table& t : Tables) {
      std::string sql = "SELECT ";
      for (size_t i = 0; i < t.cols.size(); ++i) sql += (i ? ", " : "") + ReadExpr(t.cols[i]);
      auto rows = Raw->Query(sql + " FROM " + t.name);
      for (auto& r : rows)
        for (size_t i = 0; i < r.size(); ++i) r[i] = Norm(t.cols[i].ty, r[i]);
      std::sort(rows.begin(), rows.end());
      db[t.name] = rows;
    }
    return db;
  }
  static std::string DiffText(const Db& want, const Db& got) {
    std::ostringstream s;
    for (const auto& [name, rows] : want) {
      const auto& g = got.at(name);
      for (const auto& r : rows)
        if (std::find(g.begin(), g.end(), r) == g.end()) s << "    " << name << " lacks " << RowText(r) << "\n";
      for (const auto& r : g)
        if (std::find(rows.begin(), rows.end(), r) == rows.end()) s << "    " << name << " has   " << RowText(r) << "\n";
    }
    return s.str();
  }
  bool CheckDb(const std::string& when) {
    Db got;
    try {
      got = ReadDb();
    } catch (const std::exception& e) {
      Fail(std::string("reading the database failed: ") + e.what());
      return false;
    }
    Db want = ModelDb();
    if (got != want) Fail("the database differs from the model " + when + ":\n" + DiffText(want, got));
    return !Failed;
  }

  // The field shows the model's value as the data set reads it: text trimmed at the end and cut
  // to its size, numbers and times to the field's precision.
  bool Shows(TField* f, const Col& c, const std::string& v, std::string& why) {
    if (v == kNull || f->IsNull()) {
      if ((v == kNull) == f->IsNull()) return true;
      why = f->IsNull() ? "NULL" : "'" + f->AsString() + "'";
      return false;
    }
    bool ok = true;
    switch (c.ty) {
      case Ty::Int: ok = f->AsString() == v; break;
      case Ty::Text: ok = f->AsString() == RTrim(v.substr(0, size_t(c.size))); break;
      case Ty::Memo: ok = RTrim(f->AsString()) == RTrim(v); break;
      case Ty::Num: {
        double want = std::strtod(v.c_str(), nullptr);
        ok = std::fabs(f->AsFloat() - want) <= 1e-9 * std::max(1.0, std::fabs(want));
        break;
      }
      case Ty::Ts: ok = std::fabs(f->AsDateTime() - TsValue(v)) < 1.5 / 86400e3; break;
      case Ty::Date: {
        int y, mo, d, fy, fm, fd;
        std::sscanf(v.c_str(), "%d-%d-%d", &y, &mo, &d);
        DecodeDate(f->AsDateTime(), fy, fm, fd);
        ok = y == fy && mo == fm && d == fd;
        break;
      }
      case Ty::Bin: ok = f->AsString() == Unhex(v); break;
    }
    if (!ok) why = c.ty == Ty::Bin ? Hex(f->AsString()) : "'" + f->AsString() + "'";
    return ok;
  }
  // Assigning what the field already shows changes nothing the data set can see (a key 'ab  '
  // shown as 'ab' and assigned 'ab'): the model makes no such edit.
  static bool SameAsShown(const Col& c, const std::string& was, const std::string& v) {
    if (was == kNull || v == kNull) return was == v;
    switch (c.ty) {
      case Ty::Text: return v == RTrim(was.substr(0, size_t(c.size)));
      case Ty::Memo: return RTrim(v) == RTrim(was);
      case Ty::Num: return std::strtod(v.c_str(), nullptr) == std::strtod(was.c_str(), nullptr);
      default: return v == was;
    }
  }
  // The data set's current record is the model's record i.
  bool CheckRecord(size_t i, const std::string& when) {
    for (const ResCol& r : Res) {
      if (r.base < 0) continue;
      TField* f = D->FindField(r.label);
      if (!f) {
        Fail("no field " + r.label);
        return false;
      }
      std::string why;
      if (!Shows(f, Cols()[size_t(r.base)], View[i].vals[size_t(r.base)], why)) {
        Fail(when + ": record " + std::to_string(i) + " shows " + r.label + " = " + why + ", the model " +
             RowText({View[i].vals[size_t(r.base)]}));
        return false;
      }
    }
    return true;
  }
  bool CheckView(const std::string& when) {
    try {
      D->First();
      for (size_t i = 0; i < View.size(); ++i) {
        if (D->Eof()) {
          Fail(when + ": the data set ends after " + std::to_string(i) + " records, the model has " +
               std::to_string(View.size()));
          return false;
        }
        if (!CheckRecord(i, when)) return false;
        D->Next();
      }
      if (!D->Eof()) Fail(when + ": the data set shows more records than the model's " + std::to_string(View.size()));
    } catch (const std::exception& e) {
      Fail(when + ": reading the data set raised: " + e.what());
    }
    return !Failed;
  }
  // Moves to record i and checks that it is the model's.
  bool GoTo(size_t i) {
    try {
      D->First();
      if (i > 0) D->MoveBy(int(i));
    } catch (const std::exception& e) {
      Fail(std::string("moving raised: ") + e.what());
      return false;
    }
    return CheckRecord(i, "moving to it");
  }

  // ---------------------------------------------------------------- outcomes
  // The key of a write is the row as the driver gave it: text with its blanks, numerics and
  // timestamps in full. Keys the model lets the library refuse: a decimal of more digits than a
  // double holds (the driver gives the data set's numeric field a double), SQLite's timestamp
  // text, which a timestamp parameter matches only in the driver's own form, and SQLite text
  // longer than its declared size (its field holds it cut, and posting a cut value raises).
  bool ExactKey(const Values& v) {
    for (size_t i = 0; i < Cols().size(); ++i) {
      const Col& c = Cols()[i];
      if (!c.key) continue;
      if (c.ty == Ty::Num && std::count_if(v[i].begin(), v[i].end(), ::isdigit) > 15) return false;
      // Read as a double, a decimal that another row's key reads as too cannot tell the two
      // apart: the library may refuse it.
      if (c.ty == Ty::Num)
        for (const auto& [id, other] : T().rows)
          if (other[i] != v[i] && other[i] != kNull && std::strtod(other[i].c_str(), nullptr) == std::strtod(v[i].c_str(), nullptr))
            return false;
      if (c.ty == Ty::Ts && !F.Pg) return false;
      if (c.ty == Ty::Text && int(v[i].size()) > c.size) return false;
    }
    return true;
  }
  Expect WriteOf(const Rec& r) {
    // The key is not in the result: no row can be proven, but by PostgreSQL's own positioned
    // update on the cursor's row.
    if (Q == Query::LabelAsKey) return F.Pg && M == Mode::Direct ? Expect::Either : Expect::Refuse;
    return ExactKey(r.orig) ? Expect::Succeed : Expect::Either;
  }
  // A post or delete under cached updates only keeps the change (it may refuse what it cannot
  // write later); an inserted record is written by its values alone.
  Expect KeepOf(const Rec& r) {
    if (r.status == 2) return Expect::Succeed;
    return WriteOf(r) == Expect::Refuse ? Expect::Either : WriteOf(r);
  }
  // The database after a step that wrote (Applied) or that was refused (nothing changed).
  bool Judge(const std::string& what, Expect e, bool raised, const std::string& message,
             const std::vector<Table>& before) {
    Note(what + (raised ? " -> refused: " + message : " -> done"));
    if (raised) Tables = before;
    // A refusal that changed the database is the worse fault: looked at first.
    if (!CheckDb(raised ? "after a refused step" : "after the write")) return false;
    if (raised && e == Expect::Succeed) {
      Fail(what + " raised (the database unchanged): " + message);
      return false;
    }
    if (!raised && e == Expect::Refuse) {
      Fail(what + " was not refused");
      return false;
    }
    // A failed statement ends the open server cursor of PostgreSQL's driver: the data set says
    // so at its next read, and is opened again.
    if (raised && F.Pg && M == Mode::Direct) {
      Note("open again after the refused step");
      Reopen(true);
      return CheckView("reopened after the refused step");
    }
    return true;
  }

  template <class Body>
  bool Try(Body&& body, std::string& message) {
    try {
      body();
      return false;
    } catch (const std::exception& e) {
      message = e.what();
    }
    try {
      if (D->State() == dsEdit || D->State() == dsInsert) D->Cancel();
    } catch (const std::exception& e) {
      message += std::string(" (and Cancel raised: ") + e.what() + ")";
    }
    return true;
  }

  void Assign(TField* f, const Col& c, const std::string& v) {
    if (v == kNull) return f->Clear();
    switch (c.ty) {
      case Ty::Int: f->SetAsInteger(std::stoi(v)); break;
      case Ty::Num: f->SetAsFloat(std::strtod(v.c_str(), nullptr)); break;
      case Ty::Ts: f->SetAsDateTime(TsValue(v)); break;
      case Ty::Date: f->SetAsDateTime(TsValue(v + " 00:00:00.000000")); break;
      case Ty::Bin: f->SetAsString(Unhex(v)); break;
      default: f->SetAsString(v); break;
    }
  }
  // The model's row after a write of record r's values over the row it read.
  void WriteRow(const Rec& r, const Values& vals) {
    Values& row = T().rows.at(r.rid);
    for (const ResCol& c : Res)
      if (c.base >= 0) row[size_t(c.base)] = vals[size_t(c.base)];
  }

  // ---------------------------------------------------------------- steps
  void RandomStep() {
    if (View.empty() && Chance(70)) return StepInsert();
    int r = Pick(100);
    if (r < 24) return StepEdit(false);
    if (r < 36) return StepEdit(true);
    if (r < 46) return StepInsert();
    if (r < 56) return StepDelete();
    if (r < 64) return StepScroll();
    if (r < 70) return StepCancel();
    if (r < 74) return StepCloseReopen();
    if (M == Mode::CachedUpdates) {
      if (r < 86) return StepApply(false);
      if (r < 93) return StepApply(true);
      return StepRevert();
    }
    if (r < 88) return StepExternalChange();
    return StepEdit(false, true);
  }

  // An edit of one column: a key column, any other column (of the target or not), or qty set
  // to a value its check refuses.
  void StepEdit(bool key, bool poison = false) {
    if (View.empty()) return;
    size_t i = size_t(Pick(int(View.size())));
    std::vector<size_t> cand;
    for (size_t c = 0; c < Res.size(); ++c) {
      bool isKey = Res[c].base >= 0 && Cols()[size_t(Res[c].base)].key;
      if (poison ? Res[c].label == "qty" : isKey == key) cand.push_back(c);
    }
    if (cand.empty()) return;
    const ResCol& rc = Res[OneOf(cand)];
    if (!GoTo(i)) return;
    Rec& rec = View[i];
    std::string v;
    Values vals = rec.vals;
    Expect e;
    if (rc.base < 0) {
      v = "9";
      e = Expect::Refuse;
    } else {
      const Col& c = Cols()[size_t(rc.base)];
      const std::string& was = rec.vals[size_t(rc.base)];
      const auto usable = [&] { return !SameAsShown(c, was, v) && (!c.key || !KeyInUse(vals, i)); };
      for (int tries = 0; tries < 50; ++tries) {
        v = c.key ? ExactKeyPart(c.ty) : poison ? "-1" : (Chance(10) ? kNull : RandomValue(c, true));
        vals[size_t(rc.base)] = v;
        if (usable()) break;
      }
      if (!usable()) return;
      e = M == Mode::CachedUpdates ? KeepOf(rec) : poison ? Expect::Refuse : WriteOf(rec);
    }
    std::vector<Table> before = Tables;
    std::string what = "edit record " + std::to_string(i) + " " + RowText(rec.orig) + ": " + rc.label + " := " +
                       RowText({v});
    std::string msg;
    bool raised = Try([&] {
      D->Edit();
      Assign(D->FieldByName(rc.label), rc.base >= 0 ? Cols()[size_t(rc.base)] : Col{"x", Ty::Int}, v);
      D->Post();
    }, msg);
    if (!raised) {
      if (M != Mode::CachedUpdates) {
        WriteRow(rec, vals);
        rec.orig = T().rows.at(rec.rid);
      } else if (rec.status == 0) {
        rec.status = 1;
        rec.changed = ++Changes;
      }
      rec.vals = vals;
    }
    if (!Judge(what, e, raised, msg, before)) return;
    try {
      D->First();
      D->MoveBy(int(i));
    } catch (const std::exception& ex) {
      return Fail(std::string("moving raised: ") + ex.what());
    }
    CheckRecord(i, raised ? "after the refused edit" : "after the edit");
  }

  void StepInsert() {
    if (Q == Query::LabelAsKey) return;  // no key to give
    size_t i = View.empty() ? 0 : size_t(Pick(int(View.size())));
    if (!View.empty() && !GoTo(i)) return;
    Values vals(Cols().size(), kNull);
    for (int tries = 0; tries < 50; ++tries) {
      for (size_t c = 0; c < Cols().size(); ++c)
        if (Cols()[c].key) vals[c] = ExactKeyPart(Cols()[c].ty);
      if (!KeyInUse(vals)) break;
    }
    if (KeyInUse(vals)) return;
    for (const ResCol& r : Res)
      if (r.base >= 0 && !Cols()[size_t(r.base)].key && Chance(80)) vals[size_t(r.base)] = RandomValue(Cols()[size_t(r.base)], true);
    std::vector<Table> before = Tables;
    std::string msg;
    bool raised = Try([&] {
      D->Insert();
      for (const ResCol& r : Res)
        if (r.base >= 0 && vals[size_t(r.base)] != kNull) Assign(D->FieldByName(r.label), Cols()[size_t(r.base)], vals[size_t(r.base)]);
      D->Post();
    }, msg);
    if (!raised && M != Mode::CachedUpdates) T().rows[NextRid++] = vals;
    if (!Judge("insert " + RowText(vals) + " at record " + std::to_string(i), Expect::Succeed, raised, msg, before)) return;
    if (raised) return;
    if (M == Mode::CachedUpdates) {
      View.insert(View.begin() + long(i), Rec{-1, vals, vals, 2});
      CheckView("after the insert");
    } else {
      Reopen(true);
      CheckView("reopened after the insert");
    }
  }

  void StepDelete() {
    if (View.empty()) return;
    size_t i = size_t(Pick(int(View.size())));
    if (!GoTo(i)) return;
    Rec rec = View[i];
    Expect e = M == Mode::CachedUpdates ? KeepOf(rec) : WriteOf(rec);
    std::vector<Table> before = Tables;
    std::string msg;
    bool raised = Try([&] { D->Delete(); }, msg);
    if (!raised) {
      if (M != Mode::CachedUpdates) T().rows.erase(rec.rid);
      else if (rec.status != 2) Deletes.push_back({rec.rid, rec.orig, rec.status == 1 ? rec.changed : ++Changes});
      View.erase(View.begin() + long(i));
    }
    if (Judge("delete record " + std::to_string(i) + " " + RowText(rec.orig), e, raised, msg, before))
      CheckView(raised ? "after the refused delete" : "after the delete");
  }

  void StepScroll() {
    if (View.empty()) return;
    int n = int(View.size()), at = 0;
    std::string moves;
    try {
      D->First();
      for (int k = 0; k < 4; ++k) {
        int r = Pick(4);
        if (r == 0) {
          D->Last();
          at = n - 1;
          moves += " last";
        } else if (r == 1) {
          D->First();
          at = 0;
          moves += " first";
        } else {
          int by = Pick(2 * n + 1) - n;
          D->MoveBy(by);
          at = std::clamp(at + by, 0, n - 1);
          moves += " by " + std::to_string(by);
        }
      }
    } catch (const std::exception& e) {
      return Fail(std::string("scrolling raised: ") + e.what());
    }
    Note("scroll" + moves);
    CheckRecord(size_t(at), "after scrolling");
  }

  void StepCancel() {
    if (View.empty()) return;
    size_t i = size_t(Pick(int(View.size())));
    std::vector<size_t> cand;
    for (size_t c = 0; c < Res.size(); ++c)
      if (Res[c].base >= 0) cand.push_back(c);
    const ResCol& rc = Res[OneOf(cand)];
    if (!GoTo(i)) return;
    std::string v = RandomValue(Cols()[size_t(rc.base)], true);
    Note("edit record " + std::to_string(i) + ": " + rc.label + " := " + RowText({v}) + ", cancel");
    try {
      D->Edit();
      Assign(D->FieldByName(rc.label), Cols()[size_t(rc.base)], v);
      D->Cancel();
    } catch (const std::exception& e) {
      return Fail(std::string("edit and cancel raised: ") + e.what());
    }
    if (CheckDb("after the cancel")) CheckRecord(i, "after the cancel");
  }

  void StepCloseReopen() {
    Note("close and open again");
    Reopen(true);
    CheckView("reopened");
  }

  // Another connection changes a row; the data set refreshes that record, first perhaps a
  // neighbour's.
  void StepExternalChange() {
    if (View.empty()) return;
    size_t i = size_t(Pick(int(View.size())));
    Rec& rec = View[i];
    Values& row = T().rows.at(rec.rid);
    int qty = ColIndex("qty"), name = ColIndex("name");
    row[size_t(qty)] = std::to_string(Pick(1000));
    row[size_t(name)] = RandomText(20, true);
    std::string where = ExactWhere(row);
    if (where.empty()) return Fail("the other connection finds no row " + RowText(rec.orig));
    Raw->Exec("UPDATE " + T().name + " SET qty = " + row[size_t(qty)] + ", name = '" + row[size_t(name)] + "' WHERE " + where);
    Note("another connection sets qty, name of " + RowText(rec.orig) + " to " + row[size_t(qty)] + ", '" +
         row[size_t(name)] + "'");
    if (!CheckDb("after the other connection's change")) return;
    std::vector<size_t> order;
    if (View.size() > 1 && Chance(50)) order.push_back((i + 1 + size_t(Pick(int(View.size()) - 1))) % View.size());
    order.push_back(i);
    for (size_t j : order) {
      if (!GoTo(j)) return;
      std::string msg;
      bool raised = Try([&] { D->Refresh(); }, msg);
      Note("refresh record " + std::to_string(j) + (raised ? " -> refused: " + msg : ""));
      if (raised && WriteOf(View[j]) == Expect::Succeed) return Fail("refresh raised: " + msg + " DBG " + RowText(View[j].orig));
      // A refresh that did not raise must show the record's own row, also where it might have.
      if (raised) {
        Reopen(true);  // a record left stale; start from what the database holds
        CheckView("reopened after a refused refresh");
        return;
      }
      View[j].vals = View[j].orig = T().rows.at(View[j].rid);
      try {
        D->First();
        D->MoveBy(int(j));
      } catch (const std::exception& e) {
        return Fail(std::string("moving raised: ") + e.what());
      }
      if (!CheckRecord(j, "after the refresh")) return;
    }
  }

  // The condition that finds the row of the model's Row on the other connection. SQLite keeps
  // a timestamp as the text it was written as, which a literal matches only in the same form: the
  // row is found by its rowid there.
  std::string ExactWhere(const Values& row) {
    std::string where, keys;
    for (size_t c = 0; c < Cols().size(); ++c)
      if (Cols()[c].key) {
        where += (where.empty() ? "" : " AND ") + Cols()[c].name + " = " + Literal(Cols()[c], row[c]);
        keys += ", " + ReadExpr(Cols()[c]);
      }
    if (F.Pg) return where;
    for (const auto& r : Raw->Query("SELECT rowid" + keys + " FROM " + T().name)) {
      bool same = true;
      for (size_t c = 0, k = 1; c < Cols().size(); ++c)
        if (Cols()[c].key && Norm(Cols()[c].ty, r[k++]) != row[c]) same = false;
      if (same) return "rowid = " + r[0];
    }
    return "";
  }

  // The writes an apply makes, in its order: deletes, inserts, updates.
  struct Write {
    std::string what;
    Expect expect;
    std::function<void()> apply;  // on the model's tables
  };
  std::vector<Write> PendingWrites() {
    std::vector<Write> w;
    std::vector<PendingDelete> deletes = Deletes;
    std::stable_sort(deletes.begin(), deletes.end(), [](const PendingDelete& a, const PendingDelete& b) { return a.changed < b.changed; });
    for (const PendingDelete& p : deletes) {
      int rid = p.rid;
      w.push_back({"delete " + RowText(p.orig), WriteOf(Rec{rid, p.orig, p.orig, 0}), [this, rid] { T().rows.erase(rid); }});
    }
    const int qty = ColIndex("qty");
    for (const Rec& r : View)
      if (r.status == 2) {
        Values v = r.vals;
        w.push_back({"insert " + RowText(v), v[size_t(qty)] == "-1" ? Expect::Refuse : Expect::Succeed,
                     [this, v] { T().rows[NextRid++] = v; }});
      }
    for (const Rec& r : View)
      if (r.status == 1) {
        Rec copy = r;
        w.push_back({"update " + RowText(r.orig) + " to " + RowText(r.vals),
                     r.vals[size_t(qty)] == "-1" ? Expect::Refuse : WriteOf(r), [this, copy] { WriteRow(copy, copy.vals); }});
      }
    return w;
  }

  // Applies every pending change; with Failing, a record is first given a value the
  // database refuses, so that the apply stops part-way. What was written stays, the rest is
  // reverted.
  void StepApply(bool failing) {
    if (failing) {
      StepEdit(false, true);
      if (Failed) return;
    }
    std::vector<Write> writes = PendingWrites();
    std::string msg;
    bool raised = Try([&] {
      D->DeleteRecords(nullptr, true);
      D->InsertRecords(nullptr, true);
      D->UpdateRecords(nullptr, true);
    }, msg);
    Note("apply " + std::to_string(writes.size()) + " changes" + (raised ? " -> refused: " + msg : " -> done"));
    for (const Write& w : writes) Note("  pending: " + w.what);
    Db got;
    try {
      got = ReadDb();
    } catch (const std::exception& e) {
      return Fail(std::string("reading the database failed: ") + e.what());
    }
    // The database must hold the first n writes, the apply must have stopped at write n when
    // it raised, and no write before it may be one the model expects refused.
    // The longest prefix counts: a change that writes what the row holds matches either way.
    std::vector<Table> start = Tables;
    std::vector<Table> match;
    size_t n = 0;
    bool found = false;
    for (size_t k = 0;; ++k) {
      if (ModelDb() == got) {
        found = true;
        n = k;
        match = Tables;
      }
      if (k == writes.size()) break;
      writes[k].apply();
    }
    Tables = found ? match : start;
    if (!found) {
      Db want = ModelDb();
      return Fail("after the apply the database holds no prefix of the pending changes; against none applied:\n" +
                  DiffText(want, got));
    }
    for (size_t k = 0; k < n; ++k)
      if (writes[k].expect == Expect::Refuse) return Fail("apply wrote what must be refused: " + writes[k].what);
    if (!raised && n < writes.size()) return Fail("apply reported success but did not write: " + writes[n].what);
    if (raised && n == writes.size()) return Fail("apply raised after writing every pending change: " + msg);
    if (raised && writes[n].expect == Expect::Succeed)
      return Fail("apply raised with " + std::to_string(n) + " of the pending changes written; the next, " +
                  writes[n].what + ", may not fail: " + msg);
    if (!raised && !writes.empty() && D->PendingUpdates() != 0) return Fail("changes still pending after the apply");
    if (raised) {
      std::string rmsg;
      if (Try([&] {
            D->DeleteRecords(nullptr, false);
            D->InsertRecords(nullptr, false);
            D->UpdateRecords(nullptr, false);
          }, rmsg))
        return Fail("revert after the failed apply raised: " + rmsg);
      if (!CheckDb("after reverting the rest")) return;
    }
    if (D->PendingUpdates() != 0) return Fail("changes still pending: " + std::to_string(D->PendingUpdates()));
    Reopen(true);
    CheckView("reopened after the apply");
  }

  void StepRevert() {
    std::string msg;
    bool raised = Try([&] {
      D->DeleteRecords(nullptr, false);
      D->InsertRecords(nullptr, false);
      D->UpdateRecords(nullptr, false);
    }, msg);
    Note("revert every change");
    if (raised) return Fail("revert raised: " + msg);
    if (!CheckDb("after the revert")) return;
    if (D->PendingUpdates() != 0) return Fail("changes still pending after the revert");
    View = QueryModel();
    Deletes.clear();
    CheckView("after the revert");
  }

  StmtFixture& F;
  std::uint32_t Seed;
  int Steps;
  std::array<int, 3> Shape;
  bool EarlyDates = true;
  int Step = 0;
  std::mt19937 Rng;
  std::unique_ptr<RawOdbc> Raw;
  std::vector<Table> Tables;  // t, s2.t, u, c
  int NextRid = 1;
  KeyKind Key = KeyKind::Int;
  Query Q = Query::Single;
  Mode M = Mode::Direct;
  int Target = 0;
  std::vector<ResCol> Res;
  std::string Sql;
  TCustomODDataSet* D = nullptr;
  std::vector<Rec> View;
  std::vector<PendingDelete> Deletes;
  int Changes = 0;
  std::vector<std::string> Log;
};

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Every seed on a connection of its own, over tables of its own. Without a seed given, a fixed
// set whose shapes take every key, query and mode in turn.
void RunSeeds(StmtFixture& F) {
  const int steps = EnvInt("ZELKOR_WRITEMODEL_STEPS", 12);
  if (const char* s = std::getenv("ZELKOR_WRITEMODEL_SEED"); s && *s) {
    WriteModel(F, std::uint32_t(std::stoul(s)), steps).Run();
    return;
  }
  for (int i = 0; i < 21; ++i) {
    if (i > 0) F.Open(F.Pg ? "PG" : "SQLITE");
    WriteModel m(F, std::uint32_t(i + 1), steps, {i % 5, i % 7, i % 3});
    m.Run();
    if (m.Failed) return;
  }
}

}  // namespace

STMT_BOTH(RandomWritesAgreeWithTheModel) { RunSeeds(F); }
