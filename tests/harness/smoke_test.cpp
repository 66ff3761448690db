// The test harness itself: both drivers reachable through unixODBC with the test's own ini files,
// and text survives the round trip byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

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

// Without the server's variables a server test must fail and say why, never pass or skip.
TEST(Harness, ServerTestWithoutServerFailsWithAClearMessage) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string cmd = "env -u ZELKOR_PG_SOCKET -u ZELKOR_PG_PORT -u ZELKOR_PG_USER '" + self +
                          "' --gtest_filter=ServerSmoke.PostgresRoundTripThroughDataSource 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
  EXPECT_NE(out.find("[  FAILED  ] ServerSmoke.PostgresRoundTripThroughDataSource"), std::string::npos) << out;
  EXPECT_NE(out.find("no PostgreSQL server: run the tests through ./test.sh"), std::string::npos) << out;
  EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
}
