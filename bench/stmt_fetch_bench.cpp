// Fetches the rows of a goods-issue-shaped result (13 columns: key, position, date, two codes,
// recipient code, name, street, postal code, place, country, article, quantity) from one SQLite
// file twice: through THstmt (FetchNext and the column readers the export uses) and through a
// bare ODBC loop (SQLFetch + SQLGetData into local buffers, text columns made into strings as
// the export needs them). Prints both times, their ratio and the process's peak memory after
// each pass.
//
// Usage: stmt_fetch_bench [rows (default 1000000)] [sqlite file (default a temporary one)]
//        [stepapi 1|0 (default 1)]
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "ocl.h"
#include "odbccheck.h"
#include "oclstmt.h"

namespace {

const char* kQuery =
    "SELECT Kljuc, Poz, Datum, Sifra1, Sifra2, Sifra, Prejemnik, Naslov, Posta, Kraj, Drzava, Ident, "
    "Kolicina FROM Izdaja ORDER BY Kljuc, Poz";

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

long CurrentRssKb() {
  std::ifstream f("/proc/self/statm");
  long pages = 0, resident = 0;
  f >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// CPU time of the process: both loops run on one thread, so this is what they cost, also on a
// machine busy with other work.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// StepAPI=1 makes SQLite's driver step through a forward-only result instead of reading it
// all into memory first (the counterpart of PostgreSQL's UseDeclareFetch).
bool StepApi = true;

std::string ConnectString(const std::string& File) {
  return "DRIVER=" + std::string(ZELKOR_SQLITE_ODBC_DRIVER) + ";Database=" + File +
         ";StepAPI=" + (StepApi ? "1" : "0") + ";";
}

// Fills the file with Rows rows in one statement.
void MakeData(THdbc* Dbc, long Rows) {
  THstmt s(nullptr);
  s.SetHdbc(Dbc);
  s.SetSQLParsing(false);
  s.SetSQL("DROP TABLE IF EXISTS Izdaja");
  s.Execute();
  s.SetSQL(
      "CREATE TABLE Izdaja (Kljuc varchar(11), Poz integer, Datum date, Sifra1 varchar(2), Sifra2 varchar(2), "
      "Sifra varchar(8), Prejemnik varchar(40), Naslov varchar(40), Posta varchar(10), Kraj varchar(40), "
      "Drzava varchar(2), Ident varchar(15), Kolicina numeric(15,4), PRIMARY KEY (Kljuc, Poz))");
  s.Execute();
  s.SetSQL(
      "INSERT INTO Izdaja WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x + 1 < " +
      std::to_string(Rows) +
      ") SELECT 'K' || printf('%010d', x / 5), x % 5 + 1, date('2024-01-01', '+' || (x % 365) || ' days'), "
      "'A1', 'B2', printf('S%07d', x % 1000), 'Podjetje d.o.o. št. ' || (x % 1000), "
      "'Slovenska cesta ' || (x % 200), '1000', 'Ljubljana', 'SI', printf('ART%012d', x % 5000), "
      "(x % 1000) * 1.5 FROM c");
  s.Execute();
}

struct Sums {
  long Rows = 0;
  long long Chars = 0;
  long long Ints = 0;
  double Amount = 0;
  bool operator==(const Sums& o) const {
    return Rows == o.Rows && Chars == o.Chars && Ints == o.Ints && Amount == o.Amount;
  }
};

Sums ThroughStmt(THdbc* Dbc) {
  THstmt q(nullptr);
  q.SetHdbc(Dbc);
  q.Close();
  q.SetSQL(kQuery);
  q.Execute();
  Sums s;
  while (q.FetchNext()) {
    ++s.Rows;
    s.Chars += long(q.ColString(1).size());
    s.Ints += q.ColInteger(2);
    const SQL_TIMESTAMP_STRUCT d = q.ColTimestamp(3);
    s.Ints += d.year + d.month + d.day;
    for (int c = 4; c <= 12; ++c) s.Chars += long(q.ColString(c).size());
    s.Amount += q.ColDouble(13);
  }
  return s;
}

Sums ThroughBareLoop(const std::string& File) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  const std::string cs = ConnectString(File);
  OdbcCheck(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
            SQL_HANDLE_DBC, dbc, "connect");
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  OdbcCheck(SQLExecDirect(st, (SQLCHAR*)kQuery, SQL_NTS), SQL_HANDLE_STMT, st, "execute");
  Sums s;
  char buf[256];
  SQLLEN ind = 0;
  auto text = [&](SQLUSMALLINT c) {
    SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
    return ind == SQL_NULL_DATA ? std::string() : std::string(buf);
  };
  while (SQLFetch(st) == SQL_SUCCESS) {
    ++s.Rows;
    s.Chars += long(text(1).size());
    SQLINTEGER poz = 0;
    SQLGetData(st, 2, SQL_C_SLONG, &poz, 0, &ind);
    s.Ints += poz;
    SQL_DATE_STRUCT d{};
    SQLGetData(st, 3, SQL_C_TYPE_DATE, &d, 0, &ind);
    s.Ints += d.year + d.month + d.day;
    for (SQLUSMALLINT c = 4; c <= 12; ++c) s.Chars += long(text(c).size());
    double amount = 0;
    SQLGetData(st, 13, SQL_C_DOUBLE, &amount, 0, &ind);
    s.Amount += amount;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string file = argc > 2 ? argv[2] : "";
  bool temporary = false;
  if (argc > 3) StepApi = std::atoi(argv[3]) != 0;
  if (file.empty()) {
    file = (std::filesystem::temp_directory_path() / ("zelkor-bench-" + std::to_string(getpid()) + ".db")).string();
    temporary = true;
  }
  try {
    TComponent owner(nullptr);
    THdbc* dbc = new THdbc(&owner);
    dbc->SetDriver(ZELKOR_SQLITE_ODBC_DRIVER);
    dbc->Attributes()->Add("Database=" + file);
    dbc->Attributes()->Add(std::string("StepAPI=") + (StepApi ? "1" : "0"));
    auto t0 = std::chrono::steady_clock::now();
    MakeData(dbc, rows);
    std::printf("rows %ld, 13 columns, file %s, StepAPI=%d (made in %.2f s)\n", rows, file.c_str(), int(StepApi),
                Seconds(t0));
    std::printf("peak memory after making the data: %ld KB\n", PeakRssKb());

    // Alternating passes; the best of each counts, so neither side pays for a cold cache.
    double bare = 1e30, stmt = 1e30, bareWall = 1e30, stmtWall = 1e30;
    Sums a, b;
    for (int pass = 0; pass < 5; ++pass) {
      t0 = std::chrono::steady_clock::now();
      double c0 = CpuSeconds();
      a = ThroughBareLoop(file);
      double cpu = CpuSeconds() - c0, wall = Seconds(t0);
      bare = std::min(bare, cpu);
      bareWall = std::min(bareWall, wall);
      std::printf("pass %d bare loop %.3f s cpu (%.3f s wall), peak %ld KB, now %ld KB\n", pass + 1, cpu, wall,
                  PeakRssKb(), CurrentRssKb());
      t0 = std::chrono::steady_clock::now();
      c0 = CpuSeconds();
      b = ThroughStmt(dbc);
      cpu = CpuSeconds() - c0;
      wall = Seconds(t0);
      stmt = std::min(stmt, cpu);
      stmtWall = std::min(stmtWall, wall);
      std::printf("pass %d THstmt    %.3f s cpu (%.3f s wall), peak %ld KB, now %ld KB\n", pass + 1, cpu, wall,
                  PeakRssKb(), CurrentRssKb());
    }
    if (!(a == b)) {
      std::printf("MISMATCH: the two loops read different values\n");
      return 1;
    }
    std::printf("best of 5: bare loop %.3f s cpu / %.3f s wall (%.0f rows/s), THstmt %.3f s cpu / %.3f s wall "
                "(%.0f rows/s)\n",
                bare, bareWall, rows / bare, stmt, stmtWall, rows / stmt);
    std::printf("ratio THstmt / bare loop: %.3f (cpu), %.3f (wall)\n", stmt / bare, stmtWall / bareWall);
    std::printf("peak memory: %ld KB\n", PeakRssKb());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    if (temporary) std::filesystem::remove(file);
    return 1;
  }
  if (temporary) std::filesystem::remove(file);
  return 0;
}
