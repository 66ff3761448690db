#pragma once
// Per-test environment: a fresh temporary folder that holds the mapped drive root, the registry
// file and the test's own odbcinst.ini / odbc.ini. Data sources:
//   "SQLITE"  a SQLite database file in the folder (driver "SQLite3");
//   "PG"      a fresh database on the PostgreSQL server that ./test.sh started (driver
//             "PostgreSQL"; the same library is registered as "SQL Server" too).
// In a Server* suite without the server's variables the constructor throws, so the test fails
// with a message that says how to start the server instead of being skipped.
#include <map>
#include <string>
#include <vector>

class TestEnv {
public:
  TestEnv();
  ~TestEnv();
  TestEnv(const TestEnv&) = delete;
  TestEnv& operator=(const TestEnv&) = delete;

  const std::string& Dir() const { return FDir; }
  std::string Path(const std::string& name) const { return FDir + "/" + name; }
  std::string SqliteFile() const { return Path("sqlite.db"); }

  // True when ./test.sh (or the caller) has named a running server.
  static bool HasServer();
  // The server's socket folder, port and database created for this test. The first call
  // creates the database; without a server it fails the test with a clear message (throws).
  std::string PgSocketDir() const;
  std::string PgPort() const;
  const std::string& PgDatabase();
  // Runs statements as the server's superuser on the maintenance database.
  static void PgAdmin(const std::string& sql);

  // Adds or replaces a data source in the test's odbc.ini.
  void AddDsn(const std::string& name, const std::map<std::string, std::string>& attrs);

  // Driver libraries registered in the test's odbcinst.ini.
  static std::string SqliteDriverLib();
  static std::string PgDriverLib();

private:
  void WriteOdbcIni();
  std::string FDir;
  std::string FPgDb;
  bool FPgCreated = false;
  std::map<std::string, std::map<std::string, std::string>> FDsns;
};

// Raw ODBC helpers for tests that need the driver directly (no library code).
struct RawOdbc {
  explicit RawOdbc(const std::string& connectString);  // throws std::runtime_error with diagnostics
  ~RawOdbc();
  void Exec(const std::string& sql);
  // All rows of a query as text (NULL as "<NULL>").
  std::vector<std::vector<std::string>> Query(const std::string& sql);
  void* env = nullptr;
  void* dbc = nullptr;
};
