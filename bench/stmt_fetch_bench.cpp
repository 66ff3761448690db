// Fetches the rows of a goods-issue-shaped result (13 columns: key, position, date, two codes,
// recipient code, name, street, postal code, place, country, article, quantity), and the same
// with a long text column (a note) as the 14th, from one SQLite file through:
//   bare   SQLFetch + SQLGetData per column into local buffers (text made into strings),
//   tight  the tightest loop: columns bound into row arrays of kTightRows rows (which the
//          SQLite driver honours; the note bound too: its values are known to fit), text made
//          into strings as the export needs them ("inplace": text used where the driver put it),
//   THstmt FetchNext and the column readers the export uses, at the default row set of one row
//          and with a row set of kTightRows rows (not for the note: SQLite's driver cannot
//          position on a row of a row set to read a long value).
// Prints CPU times (best of the passes) and their ratios, and the process's peak memory.
//
// Usage: stmt_fetch_bench [rows (default 1000000)] [sqlite file (default a temporary one)]
//        [stepapi 1|0 (default 1)] [only: one loop, e.g. "tight-text", for instruction counts]
// Loops: bare, tight, inplace, stmt, stmt-rows, and each with "-text" for the result with the
// note.
// Instruction counts per row: run one loop under valgrind --tool=callgrind
// --toggle-collect='*Through*' and divide by the rows.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ocl.h"
#include "goodsissue.h"
#include "odbccheck.h"
#include "oclstmt.h"

namespace {

const char* const kQuery = kGoodsIssueQuery;
const char* const kQueryText = kGoodsIssueQueryText;
constexpr SQLULEN kTightRows = 256;
constexpr SQLLEN kNoteRoom = 256;

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// StepAPI=1 makes SQLite's driver step through a forward-only result instead of reading it
// all into memory first (the counterpart of PostgreSQL's UseDeclareFetch).
bool StepApi = true;

std::string ConnectString(const std::string& File) {
  return "DRIVER=" + std::string(ZELKOR_SQLITE_ODBC_DRIVER) + ";Database=" + File +
         ";StepAPI=" + (StepApi ? "1" : "0") + ";";
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

Sums ThroughStmt(THdbc* Dbc, bool Text, SQLULEN RowSet) {
  THstmt q(nullptr);
  q.SetHdbc(Dbc);
  q.SetRowSetSize(RowSet);
  q.Close();
  q.SetSQL(Text ? kQueryText : kQuery);
  q.Execute();
  const int last = Text ? 14 : 12;
  Sums s;
  while (q.FetchNext()) {
    const int rows = int(q.NumRowsFetched());
    for (int r = 1; r <= rows; ++r) {
      ++s.Rows;
      s.Chars += long(q.ColString(1, r).size());
      s.Ints += q.ColInteger(2, r);
      const SQL_TIMESTAMP_STRUCT d = q.ColTimestamp(3, r);
      s.Ints += d.year + d.month + d.day;
      for (int c = 4; c <= last; ++c)
        if (c != 13) s.Chars += long(q.ColString(c, r).size());
      s.Amount += q.ColDouble(13, r);
    }
  }
  return s;
}

Sums ThroughBareLoop(const std::string& File, bool Text) {
  BareConnection b(ConnectString(File));
  SQLHSTMT st = b.st;
  OdbcCheck(SQLExecDirect(st, (SQLCHAR*)(Text ? kQueryText : kQuery), SQL_NTS), SQL_HANDLE_STMT, st, "execute");
  const SQLUSMALLINT last = Text ? 14 : 12;
  Sums s;
  char buf[512];
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
    for (SQLUSMALLINT c = 4; c <= last; ++c)
      if (c != 13) s.Chars += long(text(c).size());
    double amount = 0;
    SQLGetData(st, 13, SQL_C_DOUBLE, &amount, 0, &ind);
    s.Amount += amount;
  }
  return s;
}

// Bound row arrays; text values made into strings as the export needs them, or (InPlace) used
// where the driver put them.
Sums ThroughTightLoop(const std::string& File, bool Text, bool InPlace) {
  BareConnection b(ConnectString(File));
  SQLHSTMT st = b.st;
  const SQLULEN n = kTightRows;
  SQLULEN fetched = 0;
  SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
  SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  OdbcCheck(SQLExecDirect(st, (SQLCHAR*)(Text ? kQueryText : kQuery), SQL_NTS), SQL_HANDLE_STMT, st, "execute");
  const SQLUSMALLINT cols = Text ? 14 : 13;
  // Room per character column: its declared size in UTF-8 and the terminator.
  const SQLLEN room[15] = {0, 45, 0, 0, 9, 9, 33, 161, 161, 41, 161, 9, 61, 0, kNoteRoom};
  std::vector<std::vector<char>> chars(cols + 1);
  std::vector<std::vector<SQLLEN>> inds(cols + 1, std::vector<SQLLEN>(n));
  std::vector<SQLINTEGER> poz(n);
  std::vector<SQL_DATE_STRUCT> dates(n);
  std::vector<double> amounts(n);
  for (SQLUSMALLINT c = 1; c <= cols; ++c) {
    SQLRETURN rc;
    if (c == 2)
      rc = SQLBindCol(st, c, SQL_C_SLONG, poz.data(), 0, inds[c].data());
    else if (c == 3)
      rc = SQLBindCol(st, c, SQL_C_TYPE_DATE, dates.data(), 0, inds[c].data());
    else if (c == 13)
      rc = SQLBindCol(st, c, SQL_C_DOUBLE, amounts.data(), 0, inds[c].data());
    else {
      chars[c].resize(size_t(room[c]) * n);
      rc = SQLBindCol(st, c, SQL_C_CHAR, chars[c].data(), room[c], inds[c].data());
    }
    OdbcCheck(rc, SQL_HANDLE_STMT, st, "bind");
  }
  Sums s;
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    for (SQLULEN r = 0; r < fetched; ++r) {
      ++s.Rows;
      for (SQLUSMALLINT c = 1; c <= cols; ++c) {
        if (c == 2 || c == 3 || c == 13 || inds[c][r] == SQL_NULL_DATA) continue;
        if (InPlace) {
          s.Chars += inds[c][r];
        } else {
          const std::string v(&chars[c][size_t(room[c]) * r], size_t(inds[c][r]));
          s.Chars += long(v.size());
        }
      }
      s.Ints += poz[r];
      s.Ints += dates[r].year + dates[r].month + dates[r].day;
      s.Amount += amounts[r];
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string file = argc > 2 ? argv[2] : "";
  bool temporary = false;
  if (argc > 3) StepApi = std::atoi(argv[3]) != 0;
  const std::string only = argc > 4 ? argv[4] : "";
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
    if (!temporary && std::filesystem::exists(file) && !only.empty()) {
      // A file made by an earlier run: its rows are taken as they are.
    } else {
      MakeGoodsIssueData(dbc, rows);
    }
    if (only.empty())
      std::printf("rows %ld, 13 columns (+ a text column), file %s, StepAPI=%d (made in %.2f s)\n", rows,
                  file.c_str(), int(StepApi), Seconds(t0));

    struct Loop {
      std::string Name;
      std::function<Sums()> Run;
      double Best = 1e30;
      Sums Got{};
    };
    std::vector<Loop> loops;
    for (bool text : {false, true}) {
      const std::string sfx = text ? "-text" : "";
      loops.push_back({"bare" + sfx, [&, text] { return ThroughBareLoop(file, text); }});
      loops.push_back({"tight" + sfx, [&, text] { return ThroughTightLoop(file, text, false); }});
      loops.push_back({"inplace" + sfx, [&, text] { return ThroughTightLoop(file, text, true); }});
      loops.push_back({"stmt" + sfx, [&, text] { return ThroughStmt(dbc, text, 1); }});
      if (!text) loops.push_back({"stmt-rows" + sfx, [&, text] { return ThroughStmt(dbc, text, kTightRows); }});
    }
    if (!only.empty()) {
      for (Loop& l : loops)
        if (l.Name == only) {
          l.Got = l.Run();
          std::printf("%s: %ld rows\n", l.Name.c_str(), l.Got.Rows);
          return 0;
        }
      std::fprintf(stderr, "no loop %s\n", only.c_str());
      return 1;
    }
    // Alternating passes; the best of each counts, so that none pays for a cold cache.
    for (int pass = 0; pass < 5; ++pass) {
      for (Loop& l : loops) {
        const double c0 = CpuSeconds();
        l.Got = l.Run();
        l.Best = std::min(l.Best, CpuSeconds() - c0);
      }
    }
    for (const Loop& l : loops) {
      const Loop& base = loops[l.Name.find("-text") == std::string::npos ? 0 : 5];
      if (!(l.Got == base.Got)) {
        std::printf("MISMATCH: %s read other values than %s\n", l.Name.c_str(), base.Name.c_str());
        return 1;
      }
    }
    auto find = [&](const std::string& n) -> const Loop& {
      for (const Loop& l : loops)
        if (l.Name == n) return l;
      throw std::runtime_error("no loop " + n);
    };
    std::printf("best of 5, CPU time:\n");
    for (const Loop& l : loops)
      std::printf("  %-15s %.3f s  (%.0f rows/s)\n", l.Name.c_str(), l.Best, double(rows) / l.Best);
    const char* pairs[][2] = {{"stmt", "bare"},           {"stmt", "tight"},           {"stmt-rows", "tight"},
                              {"stmt", "inplace"},        {"stmt-rows", "inplace"},    {"stmt-text", "bare-text"},
                              {"stmt-text", "tight-text"}, {"stmt-text", "inplace-text"}};
    for (const auto& p : pairs)
      std::printf("ratio %s / %s: %.3f\n", p[0], p[1], find(p[0]).Best / find(p[1]).Best);
    std::printf("peak memory: %ld KB\n", PeakRssKb());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    if (temporary) std::filesystem::remove(file);
    return 1;
  }
  if (temporary) std::filesystem::remove(file);
  return 0;
}
