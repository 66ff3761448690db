// 100,000 engine records (an integer, a text, a float); FindText from the first record for a
// text anywhere in the text field, ignoring case, that only the last record holds. Against the
// tightest bare loop: a plain SQLite SELECT of the same file, stepping the rows and making the
// same comparison (upper-cased value, substring search); and against the engine's own cursor
// read in a loop. Best of several runs each.
//   findtext_bench [records] [runs]
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../besttime.h"
#include "dasearch.h"
#include "datable.h"
#include "dialogs.h"
#include "text.h"

namespace fs = std::filesystem;
using FT = TEngineFieldType;

namespace {

const std::string kSearch = "čebula zadnja";

void Fill(const std::string& path, int records) {
  TEngineTable::Create(path, {{"Qty", FT::Integer}, {"Name", FT::String, 40}, {"Price", FT::Float}}, {}, true);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO data(f1, f2, f3) VALUES(?, ?, ?)", -1, &st, nullptr);
  for (int i = 0; i < records; ++i) {
    const std::string name = i + 1 == records ? "Rdeča Čebula zadnja" : "Artikel številka " + std::to_string(i);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, i / 100.0);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

long Bare(const std::string& path, const std::string& search) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT _recno_, f2 FROM data ORDER BY _recno_", -1, &st, nullptr);
  long found = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (text && AnsiUpperCase(text).find(search) != std::string::npos) {
      found = long(sqlite3_column_int64(st, 0));
      break;
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return found;
}

long EngineLoop(const std::string& path, const std::string& search) {
  TEngineTable t(path, true);
  TEngineCursor c(t);
  TEngineRecord r;
  while (c.Next(r))
    if (auto* s = std::get_if<std::string>(&r.Values[1]); s && AnsiUpperCase(*s).find(search) != std::string::npos)
      return long(r.Bookmark);
  return 0;
}

long Find(TdaTable& table) {
  table.First();
  if (!FindText(true, &table, "Name", false, false, 2, kSearch)) return 0;
  return long(table.FieldByName("Qty")->AsInteger() + 1);
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  TRecordingUiService ui;  // the screen cursor without a window system
  const std::string path =
      (fs::temp_directory_path() / ("zelkor-findtext-bench-" + std::to_string(getpid()) + ".db")).string();
  Fill(path, records);
  const std::string search = AnsiUpperCase(kSearch);
  long bareAt = 0, engineAt = 0, findAt = 0;
  const double bare = Best(runs, [&] { return Bare(path, search); }, bareAt);
  const double engine = Best(runs, [&] { return EngineLoop(path, search); }, engineAt);
  double find;
  {
    TdaTable table(nullptr);
    table.SetTableName(path);
    table.Open();
    find = Best(runs, [&] { return Find(table); }, findAt);
  }
  fs::remove(path);
  std::printf("records %d, found at %ld (bare %ld, engine loop %ld)\n", records, findAt, bareAt, engineAt);
  std::printf("bare SQLite loop    %8.2f ms\n", bare * 1000);
  std::printf("engine cursor loop  %8.2f ms\n", engine * 1000);
  std::printf("FindText            %8.2f ms\n", find * 1000);
  std::printf("ratio to bare       %8.2f\n", find / bare);
  std::printf("ratio to engine     %8.2f\n", find / engine);
  return findAt == bareAt && findAt == engineAt ? 0 : 2;
}
