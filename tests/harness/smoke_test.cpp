// The test harness itself: both drivers reachable through unixODBC with the test's own ini files,
// and text survives the round trip byte for byte.
#include <gtest/gtest.h>

#include "testenv.h"

namespace {

const std::string kName = "\xC4\x8C" "ebelarstvo \xC5\xBD" "alec";  // "Čebelarstvo Žalec" in UTF-8

void RoundTrip(const std::string& connect) {
  RawOdbc db(connect);
  db.Exec("CREATE TABLE smoke (id INTEGER PRIMARY KEY, name VARCHAR(60))");
  db.Exec("INSERT INTO smoke (id, name) VALUES (1, '" + kName + "')");
  auto rows = db.Query("SELECT name FROM smoke WHERE id = 1");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], kName);
}

}  // namespace

TEST(OdbcSmoke, SqliteRoundTripThroughDataSource) {
  TestEnv env;
  RoundTrip("DSN=SQLITE;");
}

TEST(ServerSmoke, PostgresRoundTripThroughDataSource) {
  TestEnv env;
  env.PgDatabase();
  RoundTrip("DSN=PG;UID=postgres;PWD=;");
}

TEST(ServerSmoke, PostgresReachedThroughDriverNameSqlServer) {
  TestEnv env;
  RoundTrip("DRIVER={SQL Server};SERVER=" + env.PgSocketDir() + ";PORT=" + env.PgPort() +
            ";DATABASE=" + env.PgDatabase() + ";UID=postgres;PWD=;");
}
