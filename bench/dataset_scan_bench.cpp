// Scans the goods-issue result (13 columns, no parameters: SQLite's driver streams only a
// statement without bound parameters) from one SQLite file (StepAPI=1) reading every field's
// text, through:
//   stmt     THstmt: FetchNext and ColString of every column (the tightest loop with the same
//            text made of each value),
//   direct   the ODBC data set without a cache on a forward-only cursor: Open, then every
//            field's AsString and Next until Eof,
//   static   the same on the data set's default cursor (keyset, which SQLite's driver gives as
//            static: the driver holds the result in memory),
//   cached   the data set with Cached: every row copied into the data set's record cache.
// stmt and direct alternate in one process, best of the passes by CPU time; static and cached
// run in a process of their own each (argument "static" / "cached"), so that each peak memory
// is its own.
//
// Usage: dataset_scan_bench [rows (default 1000000)] [mode: pair (default), static, cached]
//        [sqlite file (default a temporary one, made anew)]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "goodsissue.h"
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

Sums ThroughDataSet(THdbc* Dbc, bool Cached, SQLULEN CursorType) {
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
      if (IsTextColumn(int(i) + 1)) s.TextChars += n;
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
    if (mode == "static" || mode == "cached") {
      const double c0 = CpuSeconds();
      const Sums s = mode == "cached" ? ThroughDataSet(dbc, true, SQL_CURSOR_FORWARD_ONLY)
                                      : ThroughDataSet(dbc, false, SQL_CURSOR_KEYSET_DRIVEN);
      const double t = CpuSeconds() - c0;
      const long peak = PeakRssKb();
      std::printf("%s: %ld rows, %lld characters, %.3f s CPU; peak memory %ld KB (%ld KB before the scan), "
                  "%.0f bytes a row\n",
                  mode.c_str(), s.Rows, s.Chars, t, peak, afterMake,
                  s.Rows > 0 ? double(peak - afterMake) * 1024.0 / double(s.Rows) : 0.0);
    } else {
      double bestStmt = 1e30, bestDirect = 1e30;
      Sums a, b;
      for (int pass = 0; pass < 3; ++pass) {
        double c0 = CpuSeconds();
        a = ThroughStmt(dbc);
        bestStmt = std::min(bestStmt, CpuSeconds() - c0);
        c0 = CpuSeconds();
        b = ThroughDataSet(dbc, false, SQL_CURSOR_FORWARD_ONLY);
        bestDirect = std::min(bestDirect, CpuSeconds() - c0);
      }
      if (!(a == b)) {
        std::printf("MISMATCH: stmt read %ld rows / %lld characters of text, the data set %ld / %lld\n", a.Rows,
                    a.TextChars, b.Rows, b.TextChars);
        status = 1;
      }
      std::printf("rows %ld, 13 columns, StepAPI=1, no parameters; best of 3 by CPU time\n", a.Rows);
      std::printf("  stmt    %.3f s (%.0f rows/s)\n", bestStmt, double(a.Rows) / bestStmt);
      std::printf("  direct  %.3f s (%.0f rows/s)\n", bestDirect, double(b.Rows) / bestDirect);
      std::printf("ratio direct / stmt: %.3f\n", bestDirect / bestStmt);
      std::printf("peak memory: %ld KB (%ld KB before the scans)\n", PeakRssKb(), afterMake);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    status = 1;
  }
  if (temporary) std::filesystem::remove(file);
  return status;
}
