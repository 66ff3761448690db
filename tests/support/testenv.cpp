#include "testenv.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const char kNoServer[] =
    "no PostgreSQL server: run the tests through ./test.sh, which starts one and sets "
    "ZELKOR_PG_SOCKET, ZELKOR_PG_PORT and ZELKOR_PG_USER (or: source tools/pgserver.sh && pg_start)";

std::string EnvOr(const char* name, const char* def = "") {
  const char* v = getenv(name);
  return v ? v : def;
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  std::string out;
  SQLCHAR state[6], msg[1024];
  SQLINTEGER native;
  SQLSMALLINT len;
  for (SQLSMALLINT i = 1; SQLGetDiagRec(type, h, i, state, &native, msg, sizeof msg, &len) == SQL_SUCCESS; ++i)
    out += std::string((char*)state) + ": " + (char*)msg + "\n";
  return out;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (!SQL_SUCCEEDED(rc)) throw std::runtime_error(std::string(what) + " failed: " + Diagnostics(type, h));
}

std::string AdminConnectString(const std::string& db) {
  return "DRIVER=" + TestEnv::PgDriverLib() + ";SERVERNAME=" + EnvOr("ZELKOR_PG_SOCKET") +
         ";PORT=" + EnvOr("ZELKOR_PG_PORT") + ";DATABASE=" + db + ";UID=" + EnvOr("ZELKOR_PG_USER", "postgres") + ";PWD=;";
}

}  // namespace

std::string TestEnv::SqliteDriverLib() { return ZELKOR_SQLITE_ODBC_DRIVER; }
std::string TestEnv::PgDriverLib() { return ZELKOR_PG_ODBC_DRIVER; }

bool TestEnv::HasServer() { return !EnvOr("ZELKOR_PG_SOCKET").empty() && !EnvOr("ZELKOR_PG_PORT").empty(); }

TestEnv::TestEnv() {
  // A Server* test without a server fails here with a clear message, before its fixture can
  // skip it or stumble over a data source that is not there.
  if (!HasServer()) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != nullptr && std::string_view(test->test_suite_name()).starts_with("Server"))
      throw std::runtime_error(kNoServer);
  }
  // Keep the driver libraries mapped after the driver manager unloads them, so that the leak
  // checker can name (and suppress) what they keep for the process's life.
  static const bool pinned = [] {
    dlopen(ZELKOR_SQLITE_ODBC_DRIVER, RTLD_NOW | RTLD_NODELETE);
    dlopen(ZELKOR_PG_ODBC_DRIVER, RTLD_NOW | RTLD_NODELETE);
    return true;
  }();
  (void)pinned;
  std::string tmpl = (fs::temp_directory_path() / "zelkor-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
  FDir = tmpl;
  fs::create_directories(Path("root"));
  setenv("ZELKOR_ROOT", Path("root").c_str(), 1);
  setenv("ZELKOR_REGISTRY", Path("registry.ini").c_str(), 1);
  setenv("ODBCSYSINI", FDir.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", Path("odbc.ini").c_str(), 1);
  setenv("HOME", FDir.c_str(), 1);  // keeps ~/.odbc.ini out of the picture

  std::ofstream inst(Path("odbcinst.ini"));
  inst << "[ODBC]\nPooling=No\n\n"
       << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << SqliteDriverLib() << "\nThreading=2\n\n"
       << "[PostgreSQL]\nDescription=PostgreSQL ODBC driver (ANSI)\nDriver=" << PgDriverLib() << "\n\n"
       << "[SQL Server]\nDescription=PostgreSQL ODBC driver (ANSI)\nDriver=" << PgDriverLib() << "\n";
  inst.close();

  FDsns["SQLITE"] = {{"Driver", "SQLite3"}, {"Database", SqliteFile()}, {"Timeout", "10000"}};
  static std::atomic<int> counter{0};
  FPgDb = "zt_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  if (HasServer())
    FDsns["PG"] = {{"Driver", "PostgreSQL"}, {"Servername", PgSocketDir()}, {"Port", PgPort()},
                   {"Database", FPgDb}, {"Username", EnvOr("ZELKOR_PG_USER", "postgres")},
                   {"UseDeclareFetch", "1"}, {"Fetch", "1000"}};
  WriteOdbcIni();
}

TestEnv::~TestEnv() {
  if (FPgCreated) {
    try {
      PgAdmin("DROP DATABASE IF EXISTS " + FPgDb + " WITH (FORCE)");
    } catch (...) {
    }
  }
  std::error_code ec;
  fs::remove_all(FDir, ec);
}

std::string TestEnv::PgSocketDir() const { return EnvOr("ZELKOR_PG_SOCKET"); }
std::string TestEnv::PgPort() const { return EnvOr("ZELKOR_PG_PORT"); }

const std::string& TestEnv::PgDatabase() {
  if (!HasServer()) throw std::runtime_error(kNoServer);
  if (!FPgCreated) {
    PgAdmin("CREATE DATABASE " + FPgDb + " ENCODING 'UTF8' TEMPLATE template0");
    FPgCreated = true;
  }
  return FPgDb;
}

void TestEnv::PgAdmin(const std::string& sql) {
  if (!HasServer()) throw std::runtime_error(kNoServer);
  RawOdbc c(AdminConnectString("postgres"));
  c.Exec(sql);
}

void TestEnv::AddDsn(const std::string& name, const std::map<std::string, std::string>& attrs) {
  FDsns[name] = attrs;
  WriteOdbcIni();
}

void TestEnv::WriteOdbcIni() {
  std::ofstream ini(Path("odbc.ini"), std::ios::trunc);
  for (auto& [name, attrs] : FDsns) {
    ini << "[" << name << "]\n";
    for (auto& [k, v] : attrs) ini << k << "=" << v << "\n";
    ini << "\n";
  }
}

RawOdbc::RawOdbc(const std::string& cs) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string d = Diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    dbc = env = nullptr;
    throw std::runtime_error("connect failed: " + d);
  }
}

RawOdbc::~RawOdbc() {
  if (dbc) {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
  if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void RawOdbc::Exec(const std::string& sql) {
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
  std::string d = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "" : Diagnostics(SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  if (!d.empty()) throw std::runtime_error("'" + sql + "' failed: " + d);
}

std::vector<std::vector<std::string>> RawOdbc::Query(const std::string& sql) {
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  std::vector<std::vector<std::string>> rows;
  try {
    Check(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, sql.c_str());
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    while (true) {
      SQLRETURN rc = SQLFetch(st);
      if (rc == SQL_NO_DATA) break;
      Check(rc, SQL_HANDLE_STMT, st, "SQLFetch");
      std::vector<std::string> row;
      for (SQLSMALLINT c = 1; c <= cols; ++c) {
        std::string value;
        char buf[4096];
        SQLLEN ind = 0;
        bool isNull = false;
        while (true) {
          rc = SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
          if (rc == SQL_NO_DATA) break;
          Check(rc, SQL_HANDLE_STMT, st, "SQLGetData");
          if (ind == SQL_NULL_DATA) { isNull = true; break; }
          size_t got = (ind == SQL_NO_TOTAL || ind >= (SQLLEN)sizeof buf) ? sizeof buf - 1 : (size_t)ind;
          value.append(buf, got);
          if (rc == SQL_SUCCESS) break;
        }
        row.push_back(isNull ? "<NULL>" : value);
      }
      rows.push_back(std::move(row));
    }
  } catch (...) {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    throw;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return rows;
}
