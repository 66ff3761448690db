// The goods-issue export of 900,000 detail lines (45,000 documents of 20 lines) from SQLite, the
// most whose file (990,002 lines) the six-character trailer count still holds:
// the program's ExportPrometIzd against a bare ODBC loop that runs the same query and writes the
// same bytes by hand. Prints the times, their ratio, the peak memory of each, and the program's
// peak memory at a quarter of the lines (flat memory: the two should match).
//   export_bench [lines] [lines per document]
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cp1250.h"
#include "fdatasif.h"
#include "fmain.h"
#include "forms.h"
#include "../odbccheck.h"

namespace fs = std::filesystem;

namespace {

const char* const IssueQuery =
    "SELECT P.Kljuc, P.Poz, G.Datum, G.Sifra1, G.Sifra2, S.Sifra, G.Prejemnik, S.Naslov, S.Posta, "
    "K.Naziv AS Kraj, S.Drzava, P.Ident, P.Kolicina FROM PrometPoz P JOIN Promet G ON P.Kljuc = G.Kljuc "
    "LEFT JOIN Subjekt S ON G.Prejemnik = S.Naziv LEFT JOIN Posta K ON S.Posta = K.Posta WHERE ";

std::string Key(int Doc) {
  char b[16];
  std::snprintf(b, sizeof b, "32025%06d", Doc);
  return b;
}

// ---- measurement: each export runs in a child process of its own, so that its peak memory
// is its own and not what an earlier run left in the heap.

struct TRun {
  double Seconds = 0;     // wall time of the export alone
  double CpuSeconds = 0;  // user + system time of the export alone
  long MaxRssKiB = 0;     // peak resident size of the child (its own image, from exec on)
};

// VmHWM of this process: the peak resident size since exec.
long PeakRssKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double CpuNow() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

TRun RunChild(const std::string& Mode, int Docs, const std::string& Dir) {
  int fd[2];
  if (pipe(fd) != 0) throw std::runtime_error("pipe");
  const std::string docs = std::to_string(Docs);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fd[1], 1);
    close(fd[0]);
    close(fd[1]);
    execl("/proc/self/exe", "export_bench", "--child", Mode.c_str(), docs.c_str(), Dir.c_str(), (char*)nullptr);
    _exit(127);
  }
  close(fd[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  TRun r;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      std::sscanf(out.c_str(), "%lf %lf %ld", &r.Seconds, &r.CpuSeconds, &r.MaxRssKiB) != 3)
    throw std::runtime_error(Mode + " run failed: " + out);
  return r;
}

// ---- the business database

void Check(int Rc, sqlite3* Db, const char* What) {
  if (Rc != SQLITE_OK && Rc != SQLITE_DONE && Rc != SQLITE_ROW)
    throw std::runtime_error(std::string(What) + ": " + sqlite3_errmsg(Db));
}

std::string ReadText(const std::string& Path) {
  std::ifstream in(Path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void CreateDatabase(const std::string& File, int Docs, int LinesPerDoc) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(File.c_str(), &db), db, "open");
  Check(sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr), db, "pragma");
  Check(sqlite3_exec(db, ReadText(std::string(ZELKOR_FIXTURES) + "/business_schema.sql").c_str(), nullptr, nullptr, nullptr),
        db, "schema");
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  auto run = [&](const char* Sql, auto&& Bind, int Count) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, Sql, -1, &st, nullptr), db, Sql);
    for (int i = 0; i < Count; ++i) {
      Bind(st, i);
      Check(sqlite3_step(st), db, Sql);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
  };
  auto text = [](sqlite3_stmt* St, int N, const std::string& S) { sqlite3_bind_text(St, N, S.c_str(), int(S.size()), SQLITE_TRANSIENT); };
  const char* places[] = {"Ljubljana", "Maribor", "Celje", "Kranj", "Škofja Loka", "Črnomelj", "Žalec", "Koper"};
  run("INSERT INTO Posta VALUES (?, ?)", [&](sqlite3_stmt* st, int i) {
    text(st, 1, std::to_string(1000 + i * 1000));
    text(st, 2, places[i]);
  }, 8);
  const int customers = 200;
  auto customer = [](int i) { return "Kupec Žagar in Čuk d.o.o. " + std::to_string(i); };
  run("INSERT INTO Subjekt VALUES (?, ?, ?, ?, 'SI')", [&](sqlite3_stmt* st, int i) {
    text(st, 1, "K" + std::to_string(10000 + i));
    text(st, 2, customer(i));
    text(st, 3, "Šmartinska cesta " + std::to_string(i + 1));
    text(st, 4, std::to_string(1000 + (i % 8) * 1000));
  }, customers);
  const int articles = 500;
  auto article = [](int i) { return "ART-" + std::to_string(10000 + i); };
  run("INSERT INTO MS VALUES (?, ?, '84713000', 1.5)", [&](sqlite3_stmt* st, int i) {
    text(st, 1, article(i));
    text(st, 2, "Izdelek številka " + std::to_string(i));
  }, articles);
  run("INSERT INTO Promet VALUES (?, '2025-03-14', 'IZ', '01', NULL, 'EUR', ?)", [&](sqlite3_stmt* st, int i) {
    text(st, 1, Key(i + 1));
    text(st, 2, customer(i % customers));
  }, Docs);
  run("INSERT INTO PrometPoz VALUES (?, ?, ?, ?, 2.5, 2.5, 1, NULL, 'SI', '2025-03-14')", [&](sqlite3_stmt* st, int i) {
    text(st, 1, Key(i / LinesPerDoc + 1));
    sqlite3_bind_int(st, 2, i % LinesPerDoc + 1);
    text(st, 3, article((i * 7) % articles));
    sqlite3_bind_int(st, 4, 1 + (i * 13) % 9999);
  }, Docs * LinesPerDoc);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

// ---- the bare loop: raw ODBC calls, hand-made fixed-width fields

struct TBareCol {
  std::vector<char> Buf;
  SQLLEN Ind = 0;
};

// Appends a text field of Width characters (in Windows-1250 one byte each).
void Put(std::string& Out, const char* S, size_t Len, size_t Width, bool Right) {
  std::string converted;
  for (size_t i = 0; i < Len; ++i)
    if (static_cast<unsigned char>(S[i]) >= 0x80) {
      converted = Utf8ToCp1250(std::string_view(S, Len));
      S = converted.data();
      Len = converted.size();
      break;
    }
  if (Len >= Width) {
    Out.append(S, Width);
  } else if (Right) {
    Out.append(Width - Len, ' ');
    Out.append(S, Len);
  } else {
    Out.append(S, Len);
    Out.append(Width - Len, ' ');
  }
}
void Put(std::string& Out, const TBareCol& C, size_t Width, bool Right = false) {
  const size_t len = C.Ind == SQL_NULL_DATA ? 0 : strnlen(C.Buf.data(), C.Buf.size());
  Put(Out, C.Buf.data(), len, Width, Right);
}

void BareLoop(const std::string& Where, const std::string& OutFile) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  OdbcCheck(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=BENCH;", SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
            SQL_HANDLE_DBC, dbc, "connect");
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  const std::string sql = IssueQuery + Where + " ORDER BY P.Kljuc, P.Poz";
  OdbcCheck(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "execute");

  const size_t sizes[14] = {0, 81, 16, 0, 9, 9, 41, 241, 241, 41, 161, 81, 61, 0};
  TBareCol cols[14];
  SQL_DATE_STRUCT date{};
  SQLLEN dateInd = 0;
  double qty = 0;
  SQLLEN qtyInd = 0;
  for (int c = 1; c <= 12; ++c) {
    if (c == 3) continue;
    cols[c].Buf.assign(sizes[c], 0);
    SQLBindCol(st, SQLUSMALLINT(c), SQL_C_CHAR, cols[c].Buf.data(), SQLLEN(sizes[c]), &cols[c].Ind);
  }
  SQLBindCol(st, 3, SQL_C_TYPE_DATE, &date, sizeof date, &dateInd);
  SQLBindCol(st, 13, SQL_C_DOUBLE, &qty, sizeof qty, &qtyInd);

  const int fd = ::open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string out;
  out.reserve(70 * 1024);
  auto endLine = [&] {
    out += "\r\n";
    if (out.size() >= 64 * 1024) {
      if (::write(fd, out.data(), out.size()) != ssize_t(out.size())) throw std::runtime_error("write");
      out.clear();
    }
  };
  long lines = 1;
  out += "H00IZDAJA          1";
  out.append(50, ' ');
  endLine();
  std::string key;
  char num[32];
  while (true) {
    const SQLRETURN rc = SQLFetch(st);
    if (rc == SQL_NO_DATA) break;
    OdbcCheck(rc, SQL_HANDLE_STMT, st, "fetch");
    const char* k = cols[1].Buf.data();
    if (key != k) {
      key = k;
      out += "H01";
      Put(out, key.size() > 1 ? key.data() + 1 : "", key.size() > 1 ? std::min<size_t>(key.size() - 1, 10) : 0, 10, false);
      if (dateInd == SQL_NULL_DATA)
        out += "18991230";
      else {
        std::snprintf(num, sizeof num, "%04d%02d%02d", date.year, date.month, date.day);
        out += num;
      }
      Put(out, cols[4], 2);
      Put(out, cols[5], 2);
      out.append(40, ' ');
      endLine();
      out += "H02      ";
      Put(out, cols[6], 8);
      Put(out, cols[7], 40);
      Put(out, cols[8], 40);
      auto text = [](const TBareCol& C) { return C.Ind == SQL_NULL_DATA ? std::string() : std::string(C.Buf.data()); };
      const std::string address = text(cols[9]) + " " + text(cols[10]) + ", " + text(cols[11]);
      Put(out, address.data(), address.size(), 40, false);
      endLine();
      lines += 2;
    }
    out += "D00";
    Put(out, cols[12], 15);
    const int n = std::snprintf(num, sizeof num, "%lld", qtyInd == SQL_NULL_DATA ? 0LL : (long long)std::llround(qty));
    Put(out, num, size_t(n), 6, true);
    endLine();
    ++lines;
  }
  const int n = std::snprintf(num, sizeof num, "%ld", lines + 1);
  out += "XXX";
  Put(out, num, size_t(n), 6, true);
  out += "\r\n";
  if (::write(fd, out.data(), out.size()) != ssize_t(out.size())) throw std::runtime_error("write");
  ::close(fd);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// The child: one export of Docs documents into Dir, then "seconds cpu-seconds peak-KiB" on stdout.
int Child(const std::string& Mode, int Docs, const std::string& Dir) {
  const std::string where = "P.Kljuc >= '" + Key(1) + "' AND P.Kljuc <= '" + Key(Docs) + "'";
  const std::string base = Dir + "/" + Mode + "-" + std::to_string(Docs);
  TRecordingUiService dialogs;  // a failure is reported, never waits for a click
  if (Mode == "program") {
    Application->Initialize();
    Main = new TMain(Application);  // the window without its settings: the fields are set here
    DataSif = new TDataSif(Application);
    DataSif->SetDataSource(DataSif->Database, "BENCH");
    DataSif->Database->SetConnected(true);
    Main->Show();
    Main->fKljucIzdOD->SetText(Key(1));
    Main->fKljucIzdDO->SetText(Key(Docs));
    Main->fFileNameIzd->SetText(base);
    Main->fStevPrenosaIzd->SetValue(1);
  }
  const double cpu0 = CpuNow();
  const auto t0 = std::chrono::steady_clock::now();
  if (Mode == "program")
    Main->ExportPrometIzd();
  else
    BareLoop(where, base + ".VEN");
  const auto t1 = std::chrono::steady_clock::now();
  const double cpu = CpuNow() - cpu0;
  if (!dialogs.Messages.empty()) {
    std::printf("the export reported: %s\n", dialogs.Messages[0].Text.c_str());
    return 1;
  }
  std::printf("%.6f %.6f %ld\n", std::chrono::duration<double>(t1 - t0).count(), cpu, PeakRssKiB());
  std::fflush(stdout);
  std::_Exit(0);  // the measurement is taken; no need to tear the window layer down
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::string(argv[1]) == "--child") return Child(argv[2], std::atoi(argv[3]), argv[4]);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 900000;
    const int perDoc = argc > 2 ? std::atoi(argv[2]) : 20;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const int docs = lines / perDoc;
    std::string tmpl = (fs::temp_directory_path() / "zelkor-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("no temporary folder");
    const std::string dir = tmpl;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    setenv("ZELKOR_ROOT", (dir + "/root").c_str(), 1);
    setenv("ZELKOR_REGISTRY", (dir + "/registry").c_str(), 1);
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    std::ofstream(dir + "/odbcinst.ini") << "[SQLite3]\nDriver=" << ZELKOR_SQLITE_ODBC_DRIVER << "\nThreading=2\n";
    // StepAPI: the driver steps through the result instead of reading it whole first.
    std::ofstream(dir + "/odbc.ini") << "[BENCH]\nDriver=SQLite3\nDatabase=" << dir << "/bench.db\nTimeout=10000\nStepAPI=1\n";

    std::printf("Creating %d documents of %d lines (%d lines) ...\n", docs, perDoc, docs * perDoc);
    std::fflush(stdout);
    CreateDatabase(dir + "/bench.db", docs, perDoc);

    TRun bare, program;
    bare.Seconds = program.Seconds = bare.CpuSeconds = program.CpuSeconds = 1e9;
    for (int round = 1; round <= rounds; ++round) {
      const TRun b = RunChild("bare", docs, dir);
      const TRun p = RunChild("program", docs, dir);
      std::printf("round %d: bare %.3f s (cpu %.3f s), program %.3f s (cpu %.3f s)\n", round, b.Seconds, b.CpuSeconds,
                  p.Seconds, p.CpuSeconds);
      std::fflush(stdout);
      bare.Seconds = std::min(bare.Seconds, b.Seconds);
      bare.CpuSeconds = std::min(bare.CpuSeconds, b.CpuSeconds);
      bare.MaxRssKiB = std::max(bare.MaxRssKiB, b.MaxRssKiB);
      program.Seconds = std::min(program.Seconds, p.Seconds);
      program.CpuSeconds = std::min(program.CpuSeconds, p.CpuSeconds);
      program.MaxRssKiB = std::max(program.MaxRssKiB, p.MaxRssKiB);
    }
    const std::string a = ReadText(dir + "/bare-" + std::to_string(docs) + ".VEN");
    const std::string b = ReadText(dir + "/program-" + std::to_string(docs) + ".VEN");
    const TRun quarter = RunChild("program", docs / 4, dir);
    const TRun bareQuarter = RunChild("bare", docs / 4, dir);

    std::printf("\nlines exported:        %d detail lines, %d documents, %zu bytes\n", docs * perDoc, docs, b.size());
    std::printf("same bytes:            %s\n", a == b ? "yes" : "NO");
    std::printf("bare ODBC loop:        %.3f s wall, %.3f s cpu (best of %d), peak memory %ld KiB\n", bare.Seconds,
                bare.CpuSeconds, rounds, bare.MaxRssKiB);
    std::printf("program export:        %.3f s wall, %.3f s cpu (best of %d), peak memory %ld KiB\n", program.Seconds,
                program.CpuSeconds, rounds, program.MaxRssKiB);
    std::printf("ratio program / bare:  %.2f wall, %.2f cpu\n", program.Seconds / bare.Seconds,
                program.CpuSeconds / bare.CpuSeconds);
    std::printf("peak memory at 1/4 of the lines: program %ld KiB, bare %ld KiB\n", quarter.MaxRssKiB,
                bareQuarter.MaxRssKiB);
    fs::remove_all(dir);
    return a == b ? 0 : 1;
  } catch (std::exception& e) {
    std::fprintf(stderr, "export_bench: %s\n", e.what());
    return 2;
  }
}
