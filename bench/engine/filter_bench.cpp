// 100,000 engine records (an integer, a text, a float) scanned through a cursor that filters
// by an expression, against the tightest bare loop: the same condition as a SQLite WHERE on
// the same file, stepping the rows and reading their columns. Best of several runs each.
//   filter_bench [records] [runs]
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "../../tests/dataaware/filterfields.h"
#include "../besttime.h"
#include "dafilteremitter.h"
#include "engine.h"
#include "formatsettings.h"

namespace fs = std::filesystem;
using FT = TEngineFieldType;

namespace {

const char* kFilter = "Qty < 500 AND Price > 10,5";
const char* kWhere = "f1 < 500 AND f3 > 10.5";

void Fill(const std::string& path, int records) {
  TEngineTable::Create(path, {{"Qty", FT::Integer}, {"Name", FT::String, 20}, {"Price", FT::Float}}, {}, true);
  // One transaction for the load; the engine's own inserts commit one by one.
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO data(f1, f2, f3) VALUES(?, ?, ?)", -1, &st, nullptr);
  std::mt19937 rng(17);
  for (int i = 0; i < records; ++i) {
    const std::string name = "Artikel " + std::to_string(i);
    sqlite3_bind_int(st, 1, int(rng() % 1000));
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, double(rng() % 2000) / 100.0);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

long Engine(const std::string& path, const std::vector<std::uint8_t>& blob) {
  TEngineTable t(path, true);
  TEngineCursor c(t);
  c.ActivateFilter(c.AddFilter(0, 1, false, blob, {}));
  TEngineRecord r;
  long n = 0;
  while (c.Next(r)) ++n;
  return n;
}

long Bare(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, (std::string("SELECT _recno_, f1, f2, f3 FROM data WHERE ") + kWhere + " ORDER BY _recno_").c_str(),
                     -1, &st, nullptr);
  long n = 0;
  long long sink = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    sink += sqlite3_column_int64(st, 0) + sqlite3_column_int(st, 1) + sqlite3_column_bytes(st, 2);
    sink += (long long)sqlite3_column_double(st, 3);
    ++n;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  if (sink == -1) std::puts("");
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (argc > 4) {  // another condition: the filter text and the same as SQL
    kFilter = argv[3];
    kWhere = argv[4];
  }
  const std::string path = (fs::temp_directory_path() / ("zelkor-filter-bench-" + std::to_string(getpid()) + ".db")).string();
  Fill(path, records);
  FormatSettings().DecimalSeparator = ',';
  FilterFieldList fields{{{"Qty", ftInteger, 0}, {"Name", ftString, 20}, {"Price", ftFloat, 0}}};
  FilterTable = &fields;
  const std::vector<std::uint8_t>* compiled = CompileFilter(kFilter);
  if (!compiled) {
    std::fprintf(stderr, "filter does not compile\n");
    return 1;
  }
  const std::vector<std::uint8_t> blob = *compiled;
  FreeFilterBuffer();
  long engineRows = 0, bareRows = 0;
  const double bare = Best(runs, [&] { return Bare(path); }, bareRows);
  const double engine = Best(runs, [&] { return Engine(path, blob); }, engineRows);
  fs::remove(path);
  std::printf("records %d, kept %ld (bare %ld)\n", records, engineRows, bareRows);
  std::printf("bare SQLite WHERE   %8.2f ms\n", bare * 1000);
  std::printf("engine filter scan  %8.2f ms\n", engine * 1000);
  std::printf("ratio               %8.2f\n", engine / bare);
  return engineRows == bareRows ? 0 : 2;
}
