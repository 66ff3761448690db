// Applying cached updates against the tightest loop that writes the same values. A SQLite file
// holds art(id, code, name, qty, price, note) of N rows (default 10,000). Each pass:
//   apply  the ODBC data set with CachedUpdates: every record edited (name and qty; not timed),
//          then UpdateRecords(nullptr, true) timed: one generated UPDATE a record, by its key;
//   bare   raw ODBC on a connection of its own: the UPDATE the data set generates (the columns
//          the edit changed, the key in the WHERE clause with the data set's proof that it names
//          one row; "unguarded" leaves the proof out) prepared once, parameters bound once,
//          the same values written into the buffers and SQLExecute for each row.
// The two alternate in one process, several passes, best of each by wall-clock and by CPU time.
// Both connections use SyncPragma=OFF so that the disk's flushes do not hide the per-row work;
// a journal mode (WAL, MEMORY, ...) makes each statement's own commit cheaper still.
// With "bytes" every edit also writes tag, a blob of 1 to 8 bytes (zeros among them) whose
// length changes from row to row: SQLite's driver keeps a binary parameter's length from the
// first execution, so both sides bind such a parameter again when its length changed.
//
// Usage: cached_apply_bench [rows (default 10000)] [passes (default 5)] [journal mode (default:
//        the driver's; "-" for it)] [bytes] [unguarded]
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "besttime.h"
#include "odbccheck.h"
#include "ovcl.h"

namespace {

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string NameOf(int Id, int Pass) { return "Artikel " + std::to_string(Id) + " / " + std::to_string(Pass); }
int QtyOf(int Id, int Pass) { return Id % 1000 + Pass; }
std::string TagOf(int Id, int Pass) {
  std::string t(size_t((Id + Pass) % 8 + 1), '\0');
  for (size_t i = 0; i < t.size(); i += 2) t[i] = char(Id + Pass + int(i));
  return t;
}
bool WithBytes = false;
bool Unguarded = false;

struct Times {
  double Wall = 1e30, Cpu = 1e30;
  void Keep(double W, double C) {
    Wall = std::min(Wall, W);
    Cpu = std::min(Cpu, C);
  }
};

void MakeTable(THdbc* Dbc, int Rows) {
  THstmt s(nullptr);
  s.SetHdbc(Dbc);
  s.SetSQLParsing(false);
  const auto exec = [&](const std::string& Sql) {
    s.SetSQL(Sql);
    s.Execute();
    s.Close();
  };
  exec("CREATE TABLE art (id integer PRIMARY KEY, code varchar(10), name varchar(40), qty integer, price double, "
       "note varchar(100), tag blob)");
  exec("BEGIN");
  for (int i = 1; i <= Rows; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "A%05d", i);
    exec("INSERT INTO art VALUES (" + std::to_string(i) + ", '" + code + "', '" + NameOf(i, 0) + "', " +
         std::to_string(QtyOf(i, 0)) + ", " + std::to_string(i) + ".25, 'opomba " + std::to_string(i) + "', NULL)");
  }
  exec("COMMIT");
}

// Edits every record, then applies; returns the apply's wall and CPU seconds.
void ThroughDataSet(THdbc* Dbc, int Rows, int Pass, double& Wall, double& Cpu) {
  TComponent owner(nullptr);
  auto* d = new TCustomODDataSet(&owner);
  d->SetHdbc(Dbc);
  d->SetEditable(true);
  d->SetCachedUpdates(true);
  d->SetSQL("SELECT id, code, name, qty, price, note, tag FROM art ORDER BY id");
  d->Open();
  TField* id = d->FieldByName("id");
  TField* name = d->FieldByName("name");
  TField* qty = d->FieldByName("qty");
  TField* tag = d->FieldByName("tag");
  for (; !d->Eof(); d->Next()) {
    const int i = int(id->AsInteger());
    d->Edit();
    name->SetAsString(NameOf(i, Pass));
    qty->SetAsInteger(QtyOf(i, Pass));
    if (WithBytes) tag->SetAsString(TagOf(i, Pass));
    d->Post();
  }
  if (d->PendingUpdates() != Rows) throw std::runtime_error("not every record was edited");
  const double w0 = WallSeconds(), c0 = CpuSeconds();
  d->UpdateRecords(nullptr, true);
  Wall = WallSeconds() - w0;
  Cpu = CpuSeconds() - c0;
  if (d->PendingUpdates() != 0) throw std::runtime_error("updates left pending");
}

// The same statement and values through raw ODBC.
void ThroughBareLoop(const std::string& ConnectString, int Rows, int Pass, double& Wall, double& Cpu) {
  BareConnection c(ConnectString);
  SQLHSTMT st = c.st;
  // The values of each row, made before the clock starts (the data set's are in its cache).
  struct Row {
    int Id;
    std::string Name;
    int Qty;
    std::string Tag;
  };
  std::vector<Row> rows;
  rows.reserve(size_t(Rows));
  for (int i = 1; i <= Rows; ++i) rows.push_back({i, NameOf(i, Pass), QtyOf(i, Pass), TagOf(i, Pass)});
  const double w0 = WallSeconds(), c0 = CpuSeconds();
  const std::string sql = std::string(WithBytes ? "UPDATE art SET name = ?, qty = ?, tag = ? WHERE id = ?"
                                                : "UPDATE art SET name = ?, qty = ? WHERE id = ?") +
                          (Unguarded ? "" : " AND (SELECT count(*) FROM art WHERE id = ?) = 1");
  OdbcCheck(SQLPrepare(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "prepare");
  SQLINTEGER qty = 0, key = 0;
  char name[161] = {};
  unsigned char tag[8] = {};
  SQLLEN nameInd = SQL_NTS, qtyInd = 0, keyInd = 0, tagInd = 0, tagSent = -1;
  const SQLUSMALLINT keyNo = WithBytes ? 4 : 3;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, name, sizeof name, &nameInd);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &qty, 0, &qtyInd);
  SQLBindParameter(st, keyNo, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyInd);
  if (!Unguarded) SQLBindParameter(st, keyNo + 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyInd);
  for (const Row& r : rows) {
    key = r.Id;
    qty = r.Qty;
    std::strcpy(name, r.Name.c_str());
    if (WithBytes) {
      std::memcpy(tag, r.Tag.data(), r.Tag.size());
      tagInd = SQLLEN(r.Tag.size());
      if (tagInd != tagSent)
        SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BINARY, sizeof tag, 0, tag, sizeof tag, &tagInd);
      tagSent = tagInd;
    }
    OdbcCheck(SQLExecute(st), SQL_HANDLE_STMT, st, "execute");
  }
  Wall = WallSeconds() - w0;
  Cpu = CpuSeconds() - c0;
}

// Every row holds the values of the pass.
bool Holds(THdbc* Dbc, int Rows, int Pass) {
  THstmt s(nullptr);
  s.SetHdbc(Dbc);
  s.SetSQL("SELECT id, name, qty, tag FROM art ORDER BY id");
  s.Execute();
  int n = 0;
  while (s.FetchNext()) {
    const int i = s.ColInteger(1);
    if (s.ColString(2) != NameOf(i, Pass) || s.ColInteger(3) != QtyOf(i, Pass)) return false;
    const std::string tag(static_cast<const char*>(s.ColValue(4)), size_t(std::max<SQLLEN>(s.ColSize(4), 0)));
    if (WithBytes && tag != TagOf(i, Pass)) return false;
    ++n;
  }
  return n == Rows;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string journal = argc > 3 && std::strcmp(argv[3], "-") != 0 && std::strcmp(argv[3], "bytes") != 0 &&
                                  std::strcmp(argv[3], "unguarded") != 0 ? argv[3] : "";
  for (int a = 3; a < argc; ++a) {
    WithBytes = WithBytes || std::strcmp(argv[a], "bytes") == 0;
    Unguarded = Unguarded || std::strcmp(argv[a], "unguarded") == 0;
  }
  const std::string file =
      (std::filesystem::temp_directory_path() / ("zelkor-applybench-" + std::to_string(getpid()) + ".db")).string();
  int status = 0;
  try {
    const std::string attrs = "Database=" + file + ";SyncPragma=OFF" + (journal.empty() ? "" : ";JournalMode=" + journal);
    TComponent owner(nullptr);
    THdbc* dbc = new THdbc(&owner);
    dbc->SetDriver(ZELKOR_SQLITE_ODBC_DRIVER);
    dbc->Attributes()->Add("Database=" + file);
    dbc->Attributes()->Add("SyncPragma=OFF");
    if (!journal.empty()) dbc->Attributes()->Add("JournalMode=" + journal);
    MakeTable(dbc, rows);
    Times apply, bare;
    int pass = 0;
    for (int p = 0; p < passes; ++p) {
      double w = 0, c = 0;
      ++pass;
      ThroughDataSet(dbc, rows, pass, w, c);
      if (!Holds(dbc, rows, pass)) throw std::runtime_error("the data set's apply did not write every row");
      apply.Keep(w, c);
      ++pass;
      ThroughBareLoop("DRIVER=" + std::string(ZELKOR_SQLITE_ODBC_DRIVER) + ";" + attrs, rows, pass, w, c);
      if (!Holds(dbc, rows, pass)) throw std::runtime_error("the bare loop did not write every row");
      bare.Keep(w, c);
    }
    std::printf("%d cached edits (name and qty%s of every row of art, 7 columns), SQLite, SyncPragma=OFF, journal %s; "
                "best of %d\n",
                rows, WithBytes ? " and a 1 to 8 byte tag" : "", journal.empty() ? "default" : journal.c_str(), passes);
    std::printf("  apply  %.3f s wall, %.3f s CPU (%.1f us a row)\n", apply.Wall, apply.Cpu, apply.Wall * 1e6 / rows);
    std::printf("  bare   %.3f s wall, %.3f s CPU (%.1f us a row)\n", bare.Wall, bare.Cpu, bare.Wall * 1e6 / rows);
    std::printf("ratio apply / bare: %.3f wall, %.3f CPU\n", apply.Wall / bare.Wall, apply.Cpu / bare.Cpu);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    status = 1;
  }
  std::filesystem::remove(file);
  for (const char* suffix : {"-journal", "-wal", "-shm"}) std::filesystem::remove(file + suffix);
  return status;
}
