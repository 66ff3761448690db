// The connection component against the real drivers: SQLite ("SQLITE") and PostgreSQL ("PG",
// and the driver name "SQL Server").
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filer.h"
#include "ocl.h"
#include "published.h"
#include "streams.h"
#include "testenv.h"
#include "teststmt.h"

namespace {

// Records which connect entry the library used and the text it passed; the real driver
// manager does the work.
struct ConnectSpy {
  static inline int Connects = 0;
  static inline int DriverConnects = 0;
  static inline std::string Text;
  static inline SQLUSMALLINT Completion = 0;
  static SQLRETURN SQL_API Connect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT l1, SQLCHAR* uid, SQLSMALLINT l2,
                                   SQLCHAR* pwd, SQLSMALLINT l3) {
    ++Connects;
    Text = std::string((char*)dsn) + "|" + (char*)uid + "|" + (char*)pwd;
    return ::SQLConnect(h, dsn, l1, uid, l2, pwd, l3);
  }
  static SQLRETURN SQL_API DriverConnect(SQLHDBC h, SQLHWND w, SQLCHAR* in, SQLSMALLINT l, SQLCHAR* out,
                                         SQLSMALLINT ol, SQLSMALLINT* outl, SQLUSMALLINT c) {
    ++DriverConnects;
    Text = (char*)in;
    Completion = c;
    return ::SQLDriverConnect(h, w, in, l, out, ol, outl, c);
  }
  static void Reset() {
    Connects = DriverConnects = 0;
    Text.clear();
  }
};

class OdbcConnection : public ::testing::Test {
protected:
  void SetUp() override {
    Owner = std::make_unique<TComponent>(nullptr);
    Dbc = new THdbc(Owner.get());
    Dbc->SetName("Baza");
    ConnectSpy::Reset();
    Api.Table().SQLConnect = ConnectSpy::Connect;
    Api.Table().SQLDriverConnect = ConnectSpy::DriverConnect;
  }
  void TearDown() override {
    Owner.reset();
    FreeGlobalEnv();
  }
  // Connect/disconnect events as one line.
  std::string Log;
  void WatchEvents(THdbc* c) {
    c->BeforeConnect = [this](TObject*) { Log += "BC "; };
    c->AfterConnect = [this](TObject*) { Log += "AC "; };
    c->BeforeDisconnect = [this](TObject*) { Log += "BD "; };
    c->AfterDisconnect = [this](TObject*) { Log += "AD "; };
  }
  TestEnv Env;
  TODBCApiOverride Api;
  std::unique_ptr<TComponent> Owner;
  THdbc* Dbc = nullptr;
};

}  // namespace

TEST_F(OdbcConnection, ConnectsByDataSourceAndFiresEventsInOrder) {
  WatchEvents(Dbc);
  Dbc->SetConnected(false);  // closed already: harmless, no events
  EXPECT_EQ(Log, "");
  Dbc->SetDataSource("SQLITE");
  Dbc->SetConnected(true);
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(ConnectSpy::Connects, 1);
  EXPECT_EQ(ConnectSpy::DriverConnects, 0);
  EXPECT_EQ(ConnectSpy::Text, "SQLITE||");
  Dbc->SetConnected(true);  // connected already: once
  EXPECT_EQ(ConnectSpy::Connects, 1);
  EXPECT_TRUE(GlobalEnv()->Children().Contains(Dbc));
  EXPECT_EQ(Dbc->GetInfoString(SQL_DBMS_NAME), "SQLite");

  TTestStmt stmt(nullptr, Dbc);
  EXPECT_EQ(stmt.Query("SELECT 40 + 2"), std::vector<std::string>{"42"});
  EXPECT_TRUE(Dbc->Children().Contains(&stmt));

  Dbc->SetConnected(false);
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_TRUE(Dbc->Allocated());  // the handle stays until Terminate
  EXPECT_FALSE(stmt.Allocated());  // statements are terminated first
  EXPECT_FALSE(Dbc->Children().Contains(&stmt));
  Dbc->SetConnected(false);
  EXPECT_EQ(Log, "BC AC BD AD ");

  EXPECT_TRUE(Dbc->Terminate());
  EXPECT_FALSE(Dbc->Allocated());
  EXPECT_FALSE(GlobalEnv()->Children().Contains(Dbc));
  // The next use starts again from nothing.
  EXPECT_EQ(stmt.Query("SELECT 1"), std::vector<std::string>{"1"});
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(Log, "BC AC BD AD BC AC ");
}

TEST_F(OdbcConnection, ConnectStringPathAndItsText) {
  // A data source with attributes goes through the connection string.
  Dbc->SetDataSource("SQLITE");
  Dbc->Attributes()->Add("Timeout=5000");
  Dbc->Connect();
  EXPECT_EQ(ConnectSpy::DriverConnects, 1);
  EXPECT_EQ(ConnectSpy::Text, "DSN=SQLITE;Timeout=5000;");
  EXPECT_EQ(ConnectSpy::Completion, SQL_DRIVER_NOPROMPT);
  Dbc->Disconnect();

  // A driver and its attributes, no data source.
  Dbc->SetDataSource("");
  Dbc->SetDriver("SQLite3");
  TStringList attrs{"Database=" + Env.SqliteFile()};
  Dbc->SetAttributes(&attrs);
  Dbc->Connect();
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(ConnectSpy::Text, "DRIVER=SQLite3;Database=" + Env.SqliteFile() + ";");
  Dbc->Disconnect();

  // A data source whose name holds ";" and "}" reaches the driver manager whole.
  Env.AddDsn("Baza;1}", {{"Driver", "SQLite3"}, {"Database", Env.SqliteFile()}});
  Dbc->SetDriver("");
  Dbc->SetDataSource("Baza;1}");
  Dbc->Connect();
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(ConnectSpy::Text, "DSN={Baza;1}}};Database=" + Env.SqliteFile() + ";");
}

namespace {
SQLHWND PromptWindow = nullptr;
SQLRETURN SQL_API RefusedPrompt(SQLHDBC, SQLHWND w, SQLCHAR* in, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLSMALLINT*, SQLUSMALLINT c) {
  ++ConnectSpy::DriverConnects;
  ConnectSpy::Text = (char*)in;
  ConnectSpy::Completion = c;
  PromptWindow = w;
  return SQL_ERROR;
}
}  // namespace

// No driver here can prompt: the request is checked at the entry.
TEST_F(OdbcConnection, PromptGoesThroughTheConnectionStringWithTheDialogWindow) {
  int owner = 0;
  ODBCDialogWindowFunc = [&](TComponent*) { return SQLHWND(&owner); };
  Api.Table().SQLDriverConnect = RefusedPrompt;
  Dbc->SetInfoPrompt(SQL_DRIVER_COMPLETE);
  EXPECT_THROW(Dbc->Connect(), EODBC);
  EXPECT_EQ(ConnectSpy::DriverConnects, 1);
  EXPECT_EQ(ConnectSpy::Text, "");
  EXPECT_EQ(ConnectSpy::Completion, SQL_DRIVER_COMPLETE);
  EXPECT_EQ(PromptWindow, SQLHWND(&owner));
  ODBCDialogWindowFunc = nullptr;
}

TEST(ConnectString, QuotesOnlyWhatNeedsIt) {
  struct Case { const char* dsn; const char* uid; const char* pwd; const char* driver;
                std::vector<std::string> attrs; const char* text; };
  const Case cases[] = {
      {"", "clerk", "", "SQL Server", {"SERVER=s1", "DATABASE=db"},
       "DRIVER=SQL Server;SERVER=s1;DATABASE=db;UID=clerk;"},
      {"", "clerk", "pw", "SQL Server", {"SERVER=s1", "DATABASE=db"},
       "DRIVER=SQL Server;SERVER=s1;DATABASE=db;UID=clerk;PWD=pw;"},
      {"MSBRINTEL", "u", "p", "SQL Server", {}, "DSN=MSBRINTEL;DRIVER=SQL Server;UID=u;PWD=p;"},
      {"X", "", "", "", {"DATABASE=db"}, "DSN=X;DATABASE=db;"},
      {"", "", "", "", {}, ""},
      {"", "", "a;b", "", {}, "PWD={a;b};"},
      {"", "", "x}y{", "", {}, "PWD={x}}y{};"},
      {"", "", " lead", "", {}, "PWD={ lead};"},
      {"", "šef", "geslo čž", "", {}, "UID=šef;PWD=geslo čž;"},
      {"", "", "", "{SQL Server}", {}, "DRIVER={SQL Server};"},
      // Already braced, "}" inside doubled: as written; braces that do not quote a value are
      // part of it.
      {"", "", "{geslo}", "", {}, "PWD={geslo};"},
      {"", "", "{a;b}}c}", "", {}, "PWD={a;b}}c};"},
      {"", "", "{a}b}", "", {}, "PWD={{a}}b}}};"},
      {"", "{x;y}", "", "", {}, "UID={x;y};"},
      // Attribute lines are the caller's own pieces of the string.
      {"", "", "", "", {"DATABASE={x}"}, "DATABASE={x};"},
      {"", "", "", "", {"DRIVER={SQLite3}", "Database=a;b"}, "DRIVER={SQLite3};Database=a;b;"},
      {"", "", "", "", {"SERVER=a;b", "NOEQUALS"}, "SERVER=a;b;NOEQUALS;"},
  };
  for (const Case& c : cases) {
    THdbc d(nullptr);
    d.SetDataSource(c.dsn);
    d.SetUserName(c.uid);
    d.SetPassword(c.pwd);
    d.SetDriver(c.driver);
    for (const auto& a : c.attrs) d.Attributes()->Add(a);
    EXPECT_EQ(d.ConnectString(), c.text) << c.pwd;
  }
}

TEST_F(OdbcConnection, WrongDataSourceRaisesWithTheDriverManagersRecords) {
  WatchEvents(Dbc);
  Dbc->SetDataSource("NO_SUCH_DSN");
  try {
    Dbc->Connect();
    FAIL() << "connected";
  } catch (EODBC& E) {
    EXPECT_EQ(E.Source(), Dbc);
    EXPECT_EQ(E.RetCode(), SQL_ERROR);
    ASSERT_GE(E.ErrorCount(), 1);
    EXPECT_EQ(E.Errors()[0].SqlState, "IM002");
    EXPECT_EQ(E.Message(), E.Errors()[0].Message);
    EXPECT_FALSE(E.Message().empty());
  }
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_EQ(Log, "BC ");
  // A made-up source is judged the same way once it exists.
  Dbc->SetDataSource("SQLITE");
  Dbc->Connect();
  EXPECT_TRUE(Dbc->Connected());
}

TEST_F(OdbcConnection, DriverQuestions) {
  EXPECT_THROW(Dbc->GetFunctions(SQL_API_ALL_FUNCTIONS), EODBCLibrary);
  EXPECT_THROW(Dbc->GetFunctions(SQL_API_ODBC3_ALL_FUNCTIONS), EODBCLibrary);
  EXPECT_FALSE(Dbc->Allocated());  // refused without connecting
  Dbc->SetDataSource("SQLITE");
  EXPECT_TRUE(Dbc->GetFunctions(SQL_API_SQLEXECDIRECT));
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(Dbc->NoDescribeParam(), !Dbc->GetFunctions(SQL_API_SQLDESCRIBEPARAM));
  EXPECT_FALSE(Dbc->GetFunctions(4000));  // unknown function: False, no exception
  EXPECT_EQ(Dbc->DriverKey(), "SQLite;sqlite3odbc.so");
  EXPECT_EQ(Dbc->FindDriverSize(Dbc->DriverKey()), nullptr);  // callers then use "Default"
  EXPECT_NE(Dbc->GetInfoInteger(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1) & SQL_CA1_NEXT, 0);
  EXPECT_EQ(Dbc->GetInfoInteger(9999), 0);     // refused by the driver: 0, no exception
  EXPECT_EQ(Dbc->GetInfoString(9999), "");
}

namespace {
std::vector<std::string> Traced;
void RecordTrace(int Level, const char* Text) { Traced.push_back(std::to_string(Level) + " " + Text); }
}  // namespace

TEST_F(OdbcConnection, TracesEachStepByClassAndMethod) {
  Traced.clear();
  TraceProc = RecordTrace;
  Dbc->SetDataSource("SQLITE");
  Dbc->Connect();
  Dbc->Disconnect();
  Dbc->Terminate();
  TraceProc = nullptr;
  ASSERT_FALSE(Traced.empty());
  EXPECT_EQ(Traced.front(), "1 THdbc.Connect");  // a method traces before it does anything
  for (const char* step : {"1 THdbc.Init", "1 THenv.Init", "1 THdbc.SetCursorLib", "1 THdbc.SetIsolationLevel",
                           "1 THdbc.Disconnect", "1 THdbc.Terminate"})
    EXPECT_NE(std::find(Traced.begin(), Traced.end(), step), Traced.end()) << step;
}

TEST(DriverSizes, TableRowsAndLookup) {
  THdbc d(nullptr);
  const TDriverRec* def = d.FindDriverSize("Default");
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->CharSize, 255);
  EXPECT_EQ(def->LongVarCharSize, 2147483647);
  EXPECT_EQ(def->DecimalScale, 15);
  EXPECT_EQ(def->TimestampSize, 19);
  EXPECT_EQ(def->TimestampScale, 0);
  struct Case { const char* key; int32_t TimestampSize; int16_t TimestampScale; int32_t VarChar;
                int32_t Char; int32_t LongVarBinary; };
  const Case cases[] = {
      {"MICROSOFT SQL SERVER;SQLSRV32.DLL", 23, 3, 255, 255, 2147483647},
      {"Oracle;msorcl32.dll", 19, 0, 2000, 255, 2147483647},
      {"Oracle8;sqoci32.dll", 19, 0, 2000, 255, 2147483647},
      {"SQL Server;sysybnt.dll", 23, 3, 30, 255, 2147483647},
      {"Adaptive Server Anywhere;dbodbc6w.dll", 26, 6, 32767, 32767, 2147483647},
      {"Informix;iclit09a.dll", 25, 5, 255, 32767, 2147483647},
      {"InterBase;iscdrv32.dll", 19, 0, 32765, 32767, 2147483647},
      {"Access;odbcjt32.dll", 19, 0, 255, 255, 1073741823},
      {"dBase;odbcjt32.dll", 19, 0, 254, 254, 1073741823},
      {"Paradox;odbcjt32.dll", 19, 0, 255, 255, 1073741823},
      {"Visual FoxPro;vfpodbc.dll", 19, 0, 254, 254, 2147483647},
      {"FoxPro;odbcjt32.dll", 19, 0, 254, 254, 2147483647},
  };
  for (const Case& c : cases) {
    const TDriverRec* r = d.FindDriverSize(c.key);
    ASSERT_NE(r, nullptr) << c.key;
    EXPECT_EQ(r->TimestampSize, c.TimestampSize) << c.key;
    EXPECT_EQ(r->TimestampScale, c.TimestampScale) << c.key;
    EXPECT_EQ(r->VarCharSize, c.VarChar) << c.key;
    EXPECT_EQ(r->CharSize, c.Char) << c.key;
    EXPECT_EQ(r->LongVarBinarySize, c.LongVarBinary) << c.key;
  }
  EXPECT_EQ(d.FindDriverSize("Paradox;odbcjt32.dll")->BinarySize, 254);
  EXPECT_EQ(d.FindDriverSize("Paradox;odbcjt32.dll")->LongVarCharSize, 1073741823);
  EXPECT_EQ(d.FindDriverSize("SQL Server;sysybnt.dll")->VarBinarySize, 8);
  EXPECT_EQ(d.FindDriverSize("PostgreSQL;psqlodbca.so"), nullptr);
  EXPECT_EQ(d.Version(), "5.07");
  d.SetVersion("5.05");
  EXPECT_EQ(d.Version(), "5.07");
  EXPECT_EQ(d.IsolationLevel(), 2u);
  EXPECT_EQ(d.CursorLib(), 2u);
  EXPECT_EQ(d.InfoPrompt(), 0);
}

TEST_F(OdbcConnection, CursorLibraryDisconnectsIsolationLevelDoesNot) {
  WatchEvents(Dbc);
  // On a handle that is not connected yet the isolation level is only remembered.
  Dbc->Init();
  Dbc->SetIsolationLevel(SQL_TXN_SERIALIZABLE);
  Dbc->SetDataSource("SQLITE");
  Dbc->Connect();
  SQLULEN iso = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetConnectAttr(Dbc->Handle(), SQL_ATTR_TXN_ISOLATION, &iso, 0, nullptr)));
  EXPECT_EQ(SQLUINTEGER(iso), SQLUINTEGER(SQL_TXN_SERIALIZABLE));
  Log.clear();
  Dbc->SetIsolationLevel(SQL_TXN_READ_COMMITTED);
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(Log, "");
  Dbc->SetCursorLib(SQL_CUR_USE_DRIVER);
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_EQ(Log, "BD AD ");
  EXPECT_EQ(Dbc->CursorLib(), SQLUINTEGER(SQL_CUR_USE_DRIVER));
}

namespace {
// Like the driver manager for several attributes: a full SQLULEN lands in the caller's cell.
SQLRETURN SQL_API WideGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len,
                                     SQLINTEGER* outLen) {
  SQLULEN wide = 0;
  const SQLRETURN rc = ::SQLGetConnectAttr(h, attr, &wide, len, outLen);
  if (SQL_SUCCEEDED(rc)) std::memcpy(value, &wide, sizeof wide);
  return rc;
}
SQLRETURN SQL_API WideGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT len,
                              SQLSMALLINT* outLen) {
  if (type != SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1) return ::SQLGetInfo(h, type, value, len, outLen);
  SQLULEN wide = 0;
  const SQLRETURN rc = ::SQLGetInfo(h, type, &wide, len, outLen);
  if (SQL_SUCCEEDED(rc)) std::memcpy(value, &wide, sizeof wide);
  return rc;
}
}  // namespace

// The sanitizer watches the cells: each must hold what the driver manager may write.
TEST_F(OdbcConnection, CellsTakeAFullSQLULEN) {
  Dbc->SetDataSource("SQLITE");
  Dbc->Connect();
  const int32_t cursorAttrs = Dbc->GetInfoInteger(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1);
  Dbc->Disconnect();
  Api.Table().SQLGetConnectAttr = WideGetConnectAttr;
  Api.Table().SQLGetInfo = WideGetInfo;
  Dbc->SetCursorLib(SQL_CUR_USE_DRIVER);
  Dbc->SetIsolationLevel(SQL_TXN_SERIALIZABLE);
  Dbc->Connect();
  EXPECT_EQ(Dbc->GetInfoInteger(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1), cursorAttrs);
  TTestStmt stmt(nullptr, Dbc);
  EXPECT_THROW(stmt.Query("SELECT * FROM no_such_table"), EODBC);  // asks whether the link is dead
  EXPECT_TRUE(Dbc->Connected());
}

namespace {
int DisconnectFailures = 0;
SQLRETURN SQL_API FailingDisconnect(SQLHDBC h) {
  ::SQLDisconnect(h);
  ++DisconnectFailures;
  return SQL_ERROR;
}
}  // namespace

TEST_F(OdbcConnection, SilentTerminateSurvivesAFailingDisconnect) {
  Dbc->SetDataSource("SQLITE");
  Dbc->Connect();
  Api.Table().SQLDisconnect = FailingDisconnect;
  EXPECT_THROW(Dbc->Disconnect(), EODBC);  // an ordinary disconnect reports it
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_NO_THROW(TerminateSilently(Dbc));
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_FALSE(Dbc->Allocated());
  EXPECT_FALSE(GlobalEnv()->Terminating());
  EXPECT_EQ(DisconnectFailures, 2);
}

TEST_F(OdbcConnection, PoolingChangeTerminatesEveryConnection) {
  THdbc* second = new THdbc(Owner.get());
  Dbc->SetDataSource("SQLITE");
  second->SetDataSource("SQLITE");
  Dbc->Connect();
  second->Connect();
  THenv* env = GlobalEnv();
  EXPECT_EQ(Dbc->ConnectionPooling(), cpDefault);

  Dbc->SetConnectionPooling(cpDefault);  // same value: nothing changes
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_TRUE(second->Connected());

  Dbc->SetConnectionPooling(cpOnePerDriver);
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_FALSE(Dbc->Allocated());
  EXPECT_FALSE(second->Connected());
  EXPECT_FALSE(second->Allocated());
  EXPECT_TRUE(env->Children().Empty());
  EXPECT_TRUE(env->Allocated());
  EXPECT_EQ(second->ConnectionPooling(), cpOnePerDriver);
  EXPECT_EQ(ProcessConnectionPooling(), SQLUINTEGER(SQL_CP_ONE_PER_DRIVER));

  // Connections work again under the new setting.
  Dbc->Connect();
  EXPECT_TRUE(Dbc->Connected());
  env->SetConnectionPooling(cpOff);
  EXPECT_EQ(ProcessConnectionPooling(), SQLUINTEGER(SQL_CP_OFF));
  EXPECT_FALSE(Dbc->Connected());
}

TEST_F(OdbcConnection, LoadingRemembersConnectedUntilLoaded) {
  std::vector<std::string> shown;
  ODBCErrorDialogFunc = [&](EODBC& E, const std::string& text) { shown.push_back(text + " / " + E.Errors()[0].SqlState); };
  Dbc->SetComponentState(TComponentState{csLoading, csReading});
  Dbc->SetDataSource("SQLITE");
  Dbc->SetConnectionPooling(cpOnePerDriver);
  Dbc->SetConnected(true);
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_EQ(ExistingGlobalEnv(), nullptr);  // nothing touched the driver manager yet
  Dbc->SetComponentState(TComponentState{csLoading});
  Dbc->Loaded();
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(GlobalEnv()->ConnectionPooling(), cpOnePerDriver);
  EXPECT_TRUE(shown.empty());

  // A failed connect at load time is shown and loading goes on.
  THdbc* bad = new THdbc(Owner.get());
  bad->SetName("Druga");
  bad->SetComponentState(TComponentState{csLoading, csReading});
  bad->SetDataSource("NO_SUCH_DSN");
  bad->SetConnected(true);
  bad->SetComponentState(TComponentState{csLoading});
  EXPECT_NO_THROW(bad->Loaded());
  EXPECT_FALSE(bad->Connected());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Cannot connect Druga to database. / IM002");
  ODBCErrorDialogFunc = nullptr;
}

TEST_F(OdbcConnection, OrdinaryStatementErrorLeavesTheConnection) {
  Dbc->SetDataSource("SQLITE");
  TTestStmt stmt(nullptr, Dbc);
  int links = 0;
  GlobalEnv()->Error()->OnLinkError = [&](TObject*) { ++links; };
  try {
    stmt.Query("SELECT * FROM no_such_table");
    FAIL() << "no error";
  } catch (EODBC& E) {
    EXPECT_EQ(E.Source(), &stmt);
    EXPECT_FALSE(E.IsLinkError());
    EXPECT_EQ(stmt.Cleanups, 1);
  }
  EXPECT_EQ(links, 0);
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_TRUE(stmt.Allocated());
  GlobalEnv()->Error()->OnLinkError = nullptr;
}

// ---- PostgreSQL

namespace {

class ServerConnection : public OdbcConnection {
protected:
  void SetUp() override {
    if (!TestEnv::HasServer()) GTEST_SKIP() << "no PostgreSQL server";
    OdbcConnection::SetUp();
    Database = Env.PgDatabase();
  }
  std::string Database;
};

}  // namespace

TEST_F(ServerConnection, ConnectsByDataSourceName) {
  WatchEvents(Dbc);
  Dbc->SetDataSource("PG");
  Dbc->Connect();
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(Dbc->GetInfoString(SQL_DBMS_NAME), "PostgreSQL");
  TTestStmt stmt(nullptr, Dbc);
  EXPECT_EQ(stmt.Query("SELECT current_database()"), std::vector<std::string>{Database});
  // An ordinary failure on a live link is no link error: the connection stays.
  try {
    stmt.Query("SELECT * FROM no_such_table");
    ADD_FAILURE() << "no error";
  } catch (EODBC& E) {
    EXPECT_EQ(E.Errors()[0].SqlState, "42P01");
    EXPECT_FALSE(E.IsLinkError());
  }
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(stmt.Query("SELECT 1"), std::vector<std::string>{"1"});
  Dbc->SetConnected(false);
  EXPECT_EQ(Log, "BC AC BD AD ");
}

TEST_F(ServerConnection, ConnectsThroughTheDriverNameWithServerAndDatabase) {
  WatchEvents(Dbc);
  Dbc->SetDriver("SQL Server");
  Dbc->SetUserName("postgres");
  Dbc->Attributes()->Clear();
  Dbc->Attributes()->Add("SERVER=" + Env.PgSocketDir());
  Dbc->Attributes()->Add("DATABASE=" + Database);
  // The program's form names only server and database; the test server's socket carries a
  // port of its own, which the client library takes from the environment.
  setenv("PGPORT", Env.PgPort().c_str(), 1);
  Dbc->SetConnected(true);
  unsetenv("PGPORT");
  EXPECT_EQ(ConnectSpy::DriverConnects, 1);
  EXPECT_EQ(ConnectSpy::Text, "DRIVER=SQL Server;SERVER=" + Env.PgSocketDir() + ";DATABASE=" + Database +
                                  ";UID=postgres;");
  TTestStmt stmt(nullptr, Dbc);
  EXPECT_EQ(stmt.Query("SELECT current_database()"), std::vector<std::string>{Database});
  Dbc->SetConnected(false);
  EXPECT_EQ(Log, "BC AC BD AD ");
}

TEST_F(ServerConnection, WrongUserOrDatabaseRaisesTheDriversRecords) {
  struct Case { const char* what; std::string user; std::string db; };
  const Case cases[] = {{"user", "no_such_user", Database}, {"database", "postgres", "no_such_db"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    THdbc* d = new THdbc(Owner.get());
    d->SetDriver("SQL Server");
    d->SetUserName(c.user);
    d->Attributes()->Add("SERVER=" + Env.PgSocketDir());
    d->Attributes()->Add("PORT=" + Env.PgPort());
    d->Attributes()->Add("DATABASE=" + c.db);
    std::string state;
    try {
      d->Connect();
      ADD_FAILURE() << "connected";
    } catch (EODBC& E) {
      ASSERT_GE(E.ErrorCount(), 1);
      state = E.Errors()[0].SqlState;
      EXPECT_EQ(E.Message(), E.Errors()[0].Message);
      EXPECT_EQ(E.Source(), d);
    }
    EXPECT_EQ(state.substr(0, 2), "08") << state;  // a connection that could not be made
    EXPECT_FALSE(d->Connected());
  }
}

TEST_F(ServerConnection, BrokenLinkTearsDownAndTheNextUseReconnects) {
  Dbc->SetDataSource("PG");
  TTestStmt stmt(nullptr, Dbc);
  const std::string pid = stmt.Query("SELECT pg_backend_pid()").at(0);
  int links = 0;
  GlobalEnv()->Error()->OnLinkError = [&](TObject* s) {
    ++links;
    EXPECT_EQ(s, &stmt);
  };
  TestEnv::PgAdmin("SELECT pg_terminate_backend(" + pid + ")");
  bool raised = false;
  try {
    stmt.Query("SELECT 1");
  } catch (EODBC& E) {
    raised = true;
    // The driver reports the server's own notice first; the connection calls itself dead.
    EXPECT_TRUE(E.IsLinkError()) << E.Errors()[0].SqlState << " " << E.Message();
    // Nothing is torn down while the handler runs: a further statement meets the lost link
    // and the driver now says so in class "08".
    EXPECT_TRUE(Dbc->Allocated());
    EXPECT_EQ(links, 0);
    try {
      stmt.Query("SELECT 2");
      ADD_FAILURE() << "no error on a lost link";
    } catch (EODBC& E2) {
      EXPECT_EQ(E2.Errors()[0].SqlState.substr(0, 2), "08") << E2.Errors()[0].SqlState << " " << E2.Message();
    }
    // The inner one has ended: the connection is down already, and this one's end finds
    // nothing more to do.
    EXPECT_EQ(links, 1);
    EXPECT_FALSE(Dbc->Allocated());
  }
  ASSERT_TRUE(raised);
  EXPECT_EQ(links, 2);
  EXPECT_FALSE(Dbc->Connected());
  EXPECT_FALSE(Dbc->Allocated());
  EXPECT_FALSE(stmt.Allocated());
  EXPECT_TRUE(GlobalEnv()->Children().Empty());
  // The next use connects again and succeeds.
  const std::string pid2 = stmt.Query("SELECT pg_backend_pid()").at(0);
  EXPECT_NE(pid2, pid);
  EXPECT_TRUE(Dbc->Connected());
  GlobalEnv()->Error()->OnLinkError = nullptr;
}

// A password holding ";" and "}" on both drivers. SQLite's driver has no passwords and reads the
// string without braces: what matters there is that everything else still arrives.
TEST_F(OdbcConnection, BracedDriverLineAndAPasswordWithSeparators) {
  Dbc->SetUserName("šef;x");
  Dbc->SetPassword("a;b}c");
  Dbc->Attributes()->Add("DRIVER={SQLite3}");
  Dbc->Attributes()->Add("Database=" + Env.Path("pw.db"));
  Dbc->Connect();
  EXPECT_EQ(ConnectSpy::Text, "DRIVER={SQLite3};Database=" + Env.Path("pw.db") + ";UID={šef;x};PWD={a;b}}c};");
  TTestStmt stmt(nullptr, Dbc);
  stmt.Query("CREATE TABLE here (a integer)");
  Dbc->Disconnect();
  RawOdbc file("DRIVER=SQLite3;Database=" + Env.Path("pw.db") + ";");
  EXPECT_EQ(file.Query("SELECT name FROM sqlite_master").at(0).at(0), "here");
}

namespace {

// A role that must give its password: a rule for it alone on the test's database, ahead of the
// server's "trust" rules, in force while the object lives. The server is shared by every test:
// nothing else is touched, and the file is put back as it was.
class PasswordRole {
public:
  PasswordRole(const std::string& Database, const std::string& Password)
      : FRole("zk_pw_" + std::to_string(getpid())), FDatabase(Database) {
    TestEnv::PgAdmin("DROP ROLE IF EXISTS " + FRole);
    std::string literal;
    for (char c : Password) literal += c == '\'' ? std::string("''") : std::string(1, c);
    TestEnv::PgAdmin("CREATE ROLE " + FRole + " LOGIN PASSWORD '" + literal + "'");
    RawOdbc admin(AdminString());
    FHbaFile = admin.Query("SHOW hba_file").at(0).at(0);
    std::ifstream in(FHbaFile, std::ios::binary);
    FSaved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    WriteHba("local " + FDatabase + " " + FRole + " scram-sha-256\n" + FSaved);
  }
  ~PasswordRole() {
    try {
      WriteHba(FSaved);
      TestEnv::PgAdmin("DROP ROLE IF EXISTS " + FRole);
    } catch (...) {
    }
  }
  const std::string& Role() const { return FRole; }

private:
  static std::string AdminString() {
    return "DRIVER=" + TestEnv::PgDriverLib() + ";SERVERNAME=" + std::string(getenv("ZELKOR_PG_SOCKET")) +
           ";PORT=" + getenv("ZELKOR_PG_PORT") + ";DATABASE=postgres;UID=postgres;";
  }
  void WriteHba(const std::string& Text) {
    std::ofstream(FHbaFile, std::ios::binary | std::ios::trunc) << Text;
    TestEnv::PgAdmin("SELECT pg_reload_conf()");
  }
  std::string FRole, FDatabase, FHbaFile, FSaved;
};

}  // namespace

TEST_F(ServerConnection, PasswordWithSeparatorsArrivesWhole) {
  const std::string password = "a;b}c{d";
  PasswordRole role(Database, password);
  auto connect = [&](const std::string& Password) {
    THdbc d(nullptr);
    d.SetDriver("SQL Server");
    d.SetUserName(role.Role());
    d.SetPassword(Password);
    d.Attributes()->Add("SERVER=" + Env.PgSocketDir());
    d.Attributes()->Add("PORT=" + Env.PgPort());
    d.Attributes()->Add("DATABASE=" + Database);
    d.Connect();
    TTestStmt stmt(nullptr, &d);
    return stmt.Query("SELECT current_user").at(0);
  };
  // The server reloads its rules a moment after being asked: until a wrong password is refused
  // the rule is not in force yet.
  std::string refused;
  for (int i = 0; i < 100 && refused.empty(); ++i) {
    try {
      connect("a;b");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } catch (EODBC& E) {
      refused = E.Message();
    }
  }
  ASSERT_NE(refused.find("password authentication failed"), std::string::npos) << refused;
  EXPECT_EQ(connect(password), role.Role());
  EXPECT_NE(ConnectSpy::Text.find(";PWD={a;b}}c{d};"), std::string::npos) << ConnectSpy::Text;
}

// ---- form streams

namespace {

// The stored properties of one component, as the form stream holds them.
std::unique_ptr<TMemoryStream> StoredForm(const std::function<void(TWriter&)>& props) {
  auto ms = std::make_unique<TMemoryStream>();
  TWriter w(ms.get());
  props(w);
  w.WriteListEnd();
  ms->SetPosition(0);
  return ms;
}

}  // namespace

TEST_F(OdbcConnection, LoadsOlderStreamsAndConnectsWhenLoaded) {
  auto ms = StoredForm([](TWriter& w) {
    w.WritePropName("DataSource");
    w.WriteString("SQLITE");
    w.WritePropName("Version");
    w.WriteString("5.05");
    w.WritePropName("OnConnect");
    w.WriteIdent("BazaConnect");
    w.WritePropName("OnDisconnect");
    w.WriteIdent("BazaDisconnect");
    w.WritePropName("ConnectionPooling");
    w.WriteIdent("cpSomethingOld");
    w.WritePropName("CursorLib");
    w.WriteInteger(2);
    w.WritePropName("Connected");
    w.WriteBoolean(true);
  });
  TReader r(ms.get());
  Dbc->SetComponentState(TComponentState{csLoading});
  Dbc->ReadState(&r);
  EXPECT_EQ(ms->Position(), ms->Size());
  EXPECT_FALSE(Dbc->Connected());  // remembered until loaded
  EXPECT_EQ(Dbc->DataSource(), "SQLITE");
  EXPECT_EQ(Dbc->Version(), "5.07");
  Dbc->Loaded();
  EXPECT_TRUE(Dbc->Connected());
  EXPECT_EQ(GetStrProp(Dbc, "ConnectionPooling"), "cpDefault");

  // Pooling as a stored identifier is taken, pending until the handle is made.
  THdbc* other = new THdbc(Owner.get());
  auto ms2 = StoredForm([](TWriter& w) {
    w.WritePropName("ConnectionPooling");
    w.WriteIdent("cpOnePerDriver");
  });
  TReader r2(ms2.get());
  other->SetComponentState(TComponentState{csLoading});
  other->ReadState(&r2);
  other->Loaded();
  EXPECT_TRUE(Dbc->Connected());  // nothing applied yet
  other->Init();
  EXPECT_EQ(GlobalEnv()->ConnectionPooling(), cpOnePerDriver);
  EXPECT_FALSE(Dbc->Connected());

  // Any other reader error is raised.
  THdbc* third = new THdbc(Owner.get());
  auto bad = StoredForm([](TWriter& w) {
    w.WritePropName("OnFetch");
    w.WriteIdent("X");
  });
  TReader r3(bad.get());
  EXPECT_THROW(third->ReadState(&r3), EReadError);
  EXPECT_FALSE(third->ComponentState().Contains(csReading));
}
