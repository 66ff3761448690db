#include <unistd.h>

#include "apptest.h"
#include "stdsql.h"

namespace {

class DataModuleFixture : public AppFixture {
protected:
  DataModuleFixture() { Application->Initialize(); }

  // Start-up as far as the data module: settings already in place, the main window, then the
  // data module with its creation handler.
  void Start(const std::string& ini) {
    UseIni(ini);
    Application->CreateForm(Main);
    Main->SetName("Main");
    Main->SetCaption("Kolvar");
    Application->CreateForm(DataSif);
  }

  static void FillIndex(RawOdbc& db) {
    db.Exec("CREATE TABLE BrintelIndex (TableName VARCHAR(40), FieldsName VARCHAR(200))");
    db.Exec("INSERT INTO BrintelIndex VALUES ('Artikli', 'Sifra,Naziv')");
    db.Exec("INSERT INTO BrintelIndex VALUES ('Promet', 'Kljuc')");
    db.Exec("INSERT INTO BrintelIndex VALUES ('ARTIKLI', 'Sifra,Naziv,Cena')");
    db.Exec("CREATE TABLE Promet (Kljuc INTEGER)");
    db.Exec("INSERT INTO Promet VALUES (1)");
    db.Exec("INSERT INTO Promet VALUES (2)");
    db.Exec("INSERT INTO Promet VALUES (3)");
  }

  void ExpectIndexLoaded() {
    ASSERT_EQ(TableIndex->Count(), 2);
    EXPECT_EQ(TableIndex->Strings(0), "ARTIKLI=Sifra,Naziv,Cena");  // the last row wins, in place
    EXPECT_EQ(TableIndex->Strings(1), "Promet=Kljuc");
    EXPECT_EQ(TableIndex->Values("artikli"), "Sifra,Naziv,Cena");
  }

  // Counts with and without a WHERE part; the trace shows the statements as sent.
  void ExpectCounts() {
    SqlTraceOn = true;
    EXPECT_EQ(GetQueryRecordCount("Promet", ""), 3);
    EXPECT_EQ(GetQueryRecordCount("Promet", "Kljuc > 1"), 2);
    SqlTraceOn = false;
    auto rows = LogRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["SenderProp"], "hDbc --> Database\r\nSQL --> SELECT COUNT(*) AS Stevilo FROM Promet\r\n");
    EXPECT_EQ(rows[1]["SenderProp"],
              "hDbc --> Database\r\nSQL --> SELECT COUNT(*) AS Stevilo FROM Promet WHERE Kljuc > 1\r\n");
    EXPECT_EQ(rows[1]["ObjectName"], "qQueryFind");
  }

  TForm* Main = nullptr;
};

using OdbcDataModule = DataModuleFixture;
using ServerDataModule = DataModuleFixture;

}  // namespace

TEST_F(OdbcDataModule, DataSourceFormTitleAndTableIndex) {
  {
    RawOdbc db("DSN=SQLITE");
    FillIndex(db);
  }
  DbUserName = "sa";
  DbPassword = "";
  // A server without a database name keeps the data-source form; the name is upper-cased.
  Start("[Program]\nPodjetje=Y\n[Database]\nDataSource=sqlite\nServerName=nekje\nPodjetje=X\n");
  ASSERT_TRUE(DataSif);
  EXPECT_EQ(Application->Title(), "Brintel KolvarIzdaja Y (X)");
  EXPECT_EQ(Main->Caption(), "Brintel KolvarIzdaja Y (X)");
  EXPECT_EQ(CompanyName, "X");
  for (THdbc* c : {DataSif->Database, DataSif->DatabaseUpdate}) {
    EXPECT_EQ(c->DataSource(), "SQLITE");
    EXPECT_EQ(c->Driver(), "SQL Server");
    EXPECT_EQ(c->UserName(), "sa");
    EXPECT_EQ(c->Attributes()->Count(), 0);
    EXPECT_TRUE(c->Connected());
  }
  EXPECT_EQ(DataSif->UpdateHstmt->hDbc(), DataSif->DatabaseUpdate);
  for (THstmt* s : {DataSif->qQuery0, DataSif->qQuery1, DataSif->qQuery2, DataSif->qQueryFind,
                    DataSif->qQueryDelete}) {
    EXPECT_EQ(s->hDbc(), DataSif->Database) << s->Name();
    EXPECT_EQ(s->ConcurrencyType(), SQLULEN(SQL_CONCUR_VALUES)) << s->Name();
  }
  EXPECT_EQ(DataSif->UpdateHstmt->BlobPlacement(), bpByExec);
  ExpectIndexLoaded();
  EXPECT_TRUE(Rec.Messages.empty());
  EXPECT_FALSE(Application->Terminated());
  ExpectCounts();
}

TEST_F(OdbcDataModule, FailedCountIsZeroAndLoggedOnce) {
  Start("[Database]\nDataSource=SQLITE\n");
  const size_t before = LogRows().size();  // the missing index table's row
  EXPECT_EQ(GetQueryRecordCount("NoSuchTable", "X = 1"), 0);
  EXPECT_TRUE(Rec.Messages.empty());
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), before + 1);  // the silent abort after it is not logged again
  EXPECT_EQ(rows.back()["Operation"], "HstmtExecute-qQueryFind");
  EXPECT_EQ(rows.back()["ExceptObject"], "EODBC");
  EXPECT_EQ(rows.back()["SenderProp"],
            "hDbc --> Database\r\nSQL --> SELECT COUNT(*) AS Stevilo FROM NoSuchTable WHERE X = 1\r\n");

  // A freed data module is not reached through a stale pointer.
  delete DataSif;
  EXPECT_EQ(DataSif, nullptr);
  EXPECT_EQ(GetQueryRecordCount("Promet", ""), 0);
  EXPECT_EQ(LogRows().back()["Operation"], "GetQueryRecordCount");
}

TEST_F(OdbcDataModule, ConnectionFailureShowsOneMessageAndEndsTheProgram) {
  DbUserName = "prenos";
  DbPassword = "Skrivno-Geslo-42";
  Start("[Program]\nPodjetje=Y\n");  // no [Database]: data source MSBrintel, which is not set up
  for (THdbc* c : {DataSif->Database, DataSif->DatabaseUpdate}) {
    EXPECT_EQ(c->DataSource(), "MSBRINTEL");
    EXPECT_EQ(c->UserName(), "prenos");
    EXPECT_EQ(c->Password(), "Skrivno-Geslo-42");
    EXPECT_FALSE(c->Connected());
  }
  EXPECT_EQ(Application->Title(), "Brintel KolvarIzdaja Y ");
  EXPECT_EQ(Main->Caption(), "Brintel KolvarIzdaja Y ");
  ASSERT_EQ(Rec.Messages.size(), 1u);
  const std::string head = "Napaka v nastavitvi poti do podatkov (Database) !\r\n";
  EXPECT_EQ(Rec.Messages[0].Text.rfind(head, 0), 0u) << Rec.Messages[0].Text;
  EXPECT_GT(Rec.Messages[0].Text.size(), head.size());
  EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  EXPECT_TRUE(Application->Terminated());
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Operation"], "DataSifCreate-Connect");
  EXPECT_EQ(rows[0]["SenderName"], "TDataSif");
  EXPECT_EQ(rows[0]["ObjectName"], "DataSif");
  EXPECT_EQ(rows[1]["Operation"], "sqlFillTableIndex");
  EXPECT_EQ(rows[1]["ObjectName"], "UpdateHstmt");
  EXPECT_EQ(TableIndex->Count(), 0);
  // The password goes nowhere.
  EXPECT_EQ(Rec.Messages[0].Text.find("Skrivno"), std::string::npos);
  for (auto& row : rows)
    for (auto& [column, value] : row) EXPECT_EQ(value.find("Skrivno"), std::string::npos) << column;
  // The program ends as soon as its message loop starts.
  Application->Run();
  SUCCEED();
}

TEST_F(OdbcDataModule, SetDatabaseReplacesTheAttributes) {
  Start("[Database]\nDataSource=SQLITE\n");
  DbUserName = "u";
  DbPassword = "p";
  THdbc* c = DataSif->Database;
  c->Attributes()->Add("OLD=1");
  DataSif->SetDatabase(c, "srv", "baza");
  EXPECT_FALSE(c->Connected());
  EXPECT_EQ(c->DataSource(), "");
  EXPECT_EQ(c->UserName(), "u");
  EXPECT_EQ(c->Password(), "p");
  ASSERT_EQ(c->Attributes()->Count(), 2);
  EXPECT_EQ(c->Attributes()->Strings(0), "SERVER=srv");
  EXPECT_EQ(c->Attributes()->Strings(1), "DATABASE=baza");
  EXPECT_EQ(c->Driver(), "SQL Server");
  // Back to a data source: the attributes and the driver stay as they are.
  DataSif->SetDataSource(c, "SQLITE");
  EXPECT_EQ(c->DataSource(), "SQLITE");
  EXPECT_EQ(c->Attributes()->Count(), 2);
}

// --- PostgreSQL ------------------------------------------------------------------------------

namespace {

// psqlODBC takes the server name as the socket folder and, with no port given, uses the
// standard one; a folder of the test's own links that port to the test server's socket.
std::string SocketFolderWithStandardPort(TestEnv& env) {
  std::string dir = env.Path("pgsock");
  std::filesystem::create_directories(dir);
  std::string target = env.PgSocketDir() + "/.s.PGSQL." + env.PgPort();
  std::filesystem::create_symlink(target, dir + "/.s.PGSQL.5432");
  return dir;
}

}  // namespace

TEST_F(ServerDataModule, ServerFormThroughTheSqlServerDriver) {
  std::string db = Env.PgDatabase();
  {
    RawOdbc raw("DSN=PG");
    FillIndex(raw);
  }
  DbUserName = "postgres";
  std::string server = SocketFolderWithStandardPort(Env);
  Start("[Database]\nServerName=" + server + "\nDataBaseName=" + db + "\nDataSource=PG\n");
  for (THdbc* c : {DataSif->Database, DataSif->DatabaseUpdate}) {
    EXPECT_EQ(c->DataSource(), "");
    EXPECT_EQ(c->Driver(), "SQL Server");
    ASSERT_EQ(c->Attributes()->Count(), 2);
    EXPECT_EQ(c->Attributes()->Strings(0), "SERVER=" + server);
    EXPECT_EQ(c->Attributes()->Strings(1), "DATABASE=" + db);
    EXPECT_TRUE(c->Connected());
  }
  EXPECT_TRUE(Rec.Messages.empty()) << Rec.Messages[0].Text;
  EXPECT_FALSE(Application->Terminated());
  ExpectIndexLoaded();
  ExpectCounts();
}

TEST_F(ServerDataModule, DataSourceForm) {
  Env.PgDatabase();
  {
    RawOdbc raw("DSN=PG");
    FillIndex(raw);
  }
  DbUserName = "postgres";
  Start("[Database]\nDataSource=pg\n");
  EXPECT_EQ(DataSif->Database->DataSource(), "PG");
  EXPECT_TRUE(DataSif->Database->Connected());
  EXPECT_TRUE(Rec.Messages.empty());
  ExpectIndexLoaded();
  ExpectCounts();
}
