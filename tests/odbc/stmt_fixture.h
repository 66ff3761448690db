#pragma once
// A connection and a statement on one of the test's data sources. Tests that must hold on both
// drivers are written once (STMT_BOTH) and run as OdbcStmt* (SQLite) and ServerStmt*
// (PostgreSQL).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ocl.h"
#include "oclstmt.h"
#include "testenv.h"

// Bytes as upper-case hexadecimal digits, as the tests read binary columns back.
inline std::string Hex(const std::string& B) {
  static const char digits[] = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : B) {
    h += digits[c >> 4];
    h += digits[c & 15];
  }
  return h;
}

// The server process of a PostgreSQL connection, for ending its session from outside.
inline std::string BackendOf(THdbc* Dbc) {
  THstmt pid(nullptr);
  pid.SetHdbc(Dbc);
  pid.SetSQL("SELECT pg_backend_pid()");
  pid.Execute();
  EXPECT_TRUE(pid.FetchNext());
  const std::string backend = pid.ColString(1);
  pid.Close();
  return backend;
}

class StmtFixture : public ::testing::Test {
public:
  void Open(const std::string& Dsn) {
    if (Dsn == "PG") Env.PgDatabase();
    Pg = Dsn == "PG";
    Owner = std::make_unique<TComponent>(nullptr);
    Dbc = new THdbc(Owner.get());
    Dbc->SetName("Baza");
    Dbc->SetDataSource(Dsn);
    Q = new THstmt(Owner.get());
    Q->SetName("qQuery0");
  }
  void TearDown() override {
    Owner.reset();
    FreeGlobalEnv();
  }
  // Runs a statement on a statement of its own.
  void Exec(const std::string& Sql) {
    THstmt s(nullptr);
    s.SetHdbc(Dbc);
    s.SetSQLParsing(false);
    s.SetSQL(Sql);
    s.Execute();
  }
  // What the database holds, read on a connection of its own (NULL as "<NULL>").
  using Rows = std::vector<std::vector<std::string>>;
  Rows Db(const std::string& Sql) {
    RawOdbc raw(Pg ? "DSN=PG" : "DSN=SQLITE");
    return raw.Query(Sql);
  }
  // Runs a statement on a connection of its own (another user).
  void DbExec(const std::string& Sql) {
    RawOdbc raw(Pg ? "DSN=PG" : "DSN=SQLITE");
    raw.Exec(Sql);
  }
  // A table's name as the generated statements write it: with the schema (PostgreSQL) or the
  // database (SQLite) the driver describes it in.
  std::string Qualified(const std::string& Table) const { return (Pg ? "public." : "main.") + Table; }
  // A text type both databases accept for long values.
  std::string LongText() const { return "text"; }
  std::string Binary() const { return Pg ? "bytea" : "blob"; }

  TestEnv Env;
  bool Pg = false;
  std::unique_ptr<TComponent> Owner;
  THdbc* Dbc = nullptr;
  THstmt* Q = nullptr;
};

class OdbcStmt : public StmtFixture {
public:
  void SetUp() override { Open("SQLITE"); }
};

class ServerStmt : public StmtFixture {
public:
  void SetUp() override { Open("PG"); }
};

#define STMT_BOTH(Name)                               \
  static void Name##Body(StmtFixture& F);             \
  TEST_F(OdbcStmt, Name) { Name##Body(*this); }       \
  TEST_F(ServerStmt, Name) { Name##Body(*this); }     \
  static void Name##Body(StmtFixture& F)
