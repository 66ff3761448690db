// Scans the goods-issue result (13 columns, no parameters: SQLite's driver streams only a
// statement without bound parameters) from one SQLite file (StepAPI=1) reading every value's
// text, through:
//   bare     the tightest loop, without the library: every column bound as text into row
//            arrays of 256 rows, each value made into a string,
//   stmt     THstmt: FetchNext and ColString of every column (the same text made of each value),
//   direct   the ODBC data set without a cache on a forward-only cursor: Open, then every
//            field's AsString and Next until Eof,
//   static   the same on the data set's default cursor (keyset, which SQLite's driver gives as
//            static: the driver holds the result in memory),
//   cached   the data set with Cached: every row copied into the data set's record cache.
// bare, stmt and direct alternate in one process, best of the passes by CPU time; static and
// cached run in a process of their own each (mode "static" / "cached"), so that each peak
// memory is its own; cached also reports the bytes of the values it holds (text at its length,
// other values at their field's size).
// The modes "bare", "stmt" and "direct" run that loop once, for instruction counts: run it under
// valgrind --tool=callgrind on files of two sizes made before (give the file) and divide the
// difference of the totals by the difference of the rows.
//
// Usage: dataset_scan_bench [rows (default 1000000)] [mode: pair (default), static, cached,
//        bare, stmt, direct] [sqlite file (default a temporary one, made anew; an existing file
//        is read as it is)]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "goodsissue.h"
#include "odbccheck.h"
#include "ovcl.h"

namespace {

// Numbers and dates read as text differ in form between the two (the statement's driver text,
// the fields' formatted values): the loops agree on the rows and on the text columns' values.
struct Sums {
  long Rows = 0;
  long long Chars = 0;      // of every column
  long long TextChars = 0;  // of the text columns
  bool operator==(const Sums& o) const { return Rows == o.Rows && TextChars == o.TextChars; }
};

bool IsTextColumn(int Col) { return Col != 2 && Col != 3 && Col != 13; }

constexpr int kColumns = 13;

Sums ThroughBareLoop(const std::string& File) {
  BareConnection b("DRIVER=" + std::string(ZELKOR_SQLITE_ODBC_DRIVER) + ";Database=" + File + ";StepAPI=1;");
  SQLHSTMT st = b.st;
  constexpr SQLULEN n = 256;
  SQLULEN fetched = 0;
  SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
  SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  OdbcCheck(SQLExecDirect(st, (SQLCHAR*)kGoodsIssueQuery, SQL_NTS), SQL_HANDLE_STMT, st, "execute");
  // Room per column: its declared size in UTF-8 and the terminator; numbers and dates as text.
  const SQLLEN room[kColumns + 1] = {0, 45, 24, 24, 9, 9, 33, 161, 161, 41, 161, 9, 61, 48};
  std::vector<std::vector<char>> chars(kColumns + 1);
  std::vector<std::vector<SQLLEN>> inds(kColumns + 1, std::vector<SQLLEN>(n));
  for (SQLUSMALLINT c = 1; c <= kColumns; ++c) {
    chars[c].resize(size_t(room[c]) * n);
    OdbcCheck(SQLBindCol(st, c, SQL_C_CHAR, chars[c].data(), room[c], inds[c].data()), SQL_HANDLE_STMT, st, "bind");
  }
  Sums s;
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    for (SQLULEN r = 0; r < fetched; ++r) {
      ++s.Rows;
      for (int c = 1; c <= kColumns; ++c) {
        if (inds[c][r] == SQL_NULL_DATA) continue;
        const std::string v(&chars[c][size_t(room[c]) * r], size_t(inds[c][r]));
        s.Chars += long(v.size());
        if (IsTextColumn(c)) s.TextChars += long(v.size());
      }
    }
  }
  return s;
}

Sums ThroughStmt(THdbc* Dbc) {
  THstmt q(nullptr);
  q.SetHdbc(Dbc);
  q.SetSQL(kGoodsIssueQuery);
  q.Execute();
  const int cols = q.NumCols();
  Sums s;
  while (q.FetchNext()) {
    ++s.Rows;
    for (int c = 1; c <= cols; ++c) {
      const long n = long(q.ColString(c).size());
      s.Chars += n;
      if (IsTextColumn(c)) s.TextChars += n;
    }
  }
  return s;
}

// ValueBytes (when given): the bytes of the values read, text at its length, other values at
// their field's size, NULL as nothing.
Sums ThroughDataSet(THdbc* Dbc, bool Cached, SQLULEN CursorType, long long* ValueBytes = nullptr) {
  TComponent owner(nullptr);
  auto* d = new TCustomODDataSet(&owner);
  d->SetHdbc(Dbc);
  d->SetCached(Cached);
  d->hStmt()->SetCursorType(CursorType);
  d->SetSQL(kGoodsIssueQuery);
  d->Open();
  std::vector<TField*> fields;
  for (int i = 0; i < d->FieldCount(); ++i) fields.push_back(d->Fields()->Fields(i));
  Sums s;
  while (!d->Eof()) {
    ++s.Rows;
    for (size_t i = 0; i < fields.size(); ++i) {
      const long n = long(fields[i]->AsString().size());
      s.Chars += n;
      const bool text = IsTextColumn(int(i) + 1);
      if (text) s.TextChars += n;
      if (ValueBytes != nullptr && !fields[i]->IsNull()) *ValueBytes += text ? n : fields[i]->DataSize();
    }
    d->Next();
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::string mode = argc > 2 ? argv[2] : "pair";
  std::string file = argc > 3 ? argv[3] : "";
  const bool temporary = file.empty();
  if (temporary)
    file = (std::filesystem::temp_directory_path() / ("zelkor-dsbench-" + std::to_string(getpid()) + ".db")).string();
  int status = 0;
  try {
    TComponent owner(nullptr);
    THdbc* dbc = new THdbc(&owner);
    dbc->SetDriver(ZELKOR_SQLITE_ODBC_DRIVER);
    dbc->Attributes()->Add("Database=" + file);
    dbc->Attributes()->Add("StepAPI=1");
    if (temporary || !std::filesystem::exists(file)) MakeGoodsIssueData(dbc, rows);
    const long afterMake = PeakRssKb();
    if (mode == "bare" || mode == "stmt" || mode == "direct") {
      const Sums s = mode == "bare"   ? ThroughBareLoop(file)
                     : mode == "stmt" ? ThroughStmt(dbc)
                                      : ThroughDataSet(dbc, false, SQL_CURSOR_FORWARD_ONLY);
      std::printf("%s: %ld rows, %lld characters\n", mode.c_str(), s.Rows, s.Chars);
    } else if (mode == "static" || mode == "cached") {
      long long valueBytes = 0;
      const double c0 = CpuSeconds();
      const Sums s = mode == "cached" ? ThroughDataSet(dbc, true, SQL_CURSOR_FORWARD_ONLY, &valueBytes)
                                      : ThroughDataSet(dbc, false, SQL_CURSOR_KEYSET_DRIVEN, &valueBytes);
      const double t = CpuSeconds() - c0;
      const long peak = PeakRssKb();
      const double perRow = s.Rows > 0 ? double(peak - afterMake) * 1024.0 / double(s.Rows) : 0.0;
      const double valuesPerRow = s.Rows > 0 ? double(valueBytes) / double(s.Rows) : 0.0;
      std::printf("%s: %ld rows, %lld characters, %.3f s CPU; peak memory %ld KB (%ld KB before the scan), "
                  "%.0f bytes a row for %.1f bytes of values a row (%.2fx, %.0f bytes a row beyond twice the "
                  "values)\n",
                  mode.c_str(), s.Rows, s.Chars, t, peak, afterMake, perRow, valuesPerRow,
                  valuesPerRow > 0 ? perRow / valuesPerRow : 0.0, perRow - 2 * valuesPerRow);
    } else {
      struct Loop {
        const char* Name;
        std::function<Sums()> Run;
        double Best = 1e30;
        Sums Got{};
      };
      Loop loops[] = {{"bare", [&] { return ThroughBareLoop(file); }},
                      {"stmt", [&] { return ThroughStmt(dbc); }},
                      {"direct", [&] { return ThroughDataSet(dbc, false, SQL_CURSOR_FORWARD_ONLY); }}};
      // Alternating passes; the best of each counts, so that none pays for a cold cache.
      for (int pass = 0; pass < 3; ++pass)
        for (Loop& l : loops) {
          const double c0 = CpuSeconds();
          l.Got = l.Run();
          l.Best = std::min(l.Best, CpuSeconds() - c0);
        }
      for (const Loop& l : loops)
        if (!(l.Got == loops[0].Got)) {
          std::printf("MISMATCH: bare read %ld rows / %lld characters of text, %s %ld / %lld\n", loops[0].Got.Rows,
                      loops[0].Got.TextChars, l.Name, l.Got.Rows, l.Got.TextChars);
          status = 1;
        }
      std::printf("rows %ld, 13 columns, StepAPI=1, no parameters; best of 3 alternating passes by CPU time\n",
                  loops[0].Got.Rows);
      for (const Loop& l : loops)
        std::printf("  %-7s %.3f s (%.0f rows/s)\n", l.Name, l.Best, double(l.Got.Rows) / l.Best);
      std::printf("ratio direct / stmt: %.3f\n", loops[2].Best / loops[1].Best);
      std::printf("ratio direct / bare: %.3f\n", loops[2].Best / loops[0].Best);
      std::printf("ratio stmt / bare:   %.3f\n", loops[1].Best / loops[0].Best);
      std::printf("peak memory: %ld KB (%ld KB before the scans)\n", PeakRssKb(), afterMake);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    status = 1;
  }
  if (temporary) std::filesystem::remove(file);
  return status;
}
