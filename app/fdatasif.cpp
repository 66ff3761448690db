#include "fdatasif.h"

#include "fpublicvar.h"
#include "stdproc.h"
#include "stdsql.h"
#include "text.h"

TDataSif* DataSif = nullptr;

namespace {

THdbc* NewConnection(TComponent* Owner, const char* Name) {
  auto* c = new THdbc(Owner);
  c->SetName(Name);
  c->SetDriver("SQL Server");
  c->SetDataSource("MSBrintel");
  c->SetConnectionPooling(cpDefault);
  c->SetVersion("5.05");
  return c;
}

THstmt* NewStatement(TComponent* Owner, const char* Name, THdbc* Connection) {
  auto* s = new THstmt(Owner);
  s->SetName(Name);
  s->SetHdbc(Connection);
  s->SetConcurrencyType(SQL_CONCUR_VALUES);
  return s;
}

}  // namespace

TDataSif::TDataSif(TComponent* AOwner) : TDataModule(AOwner) {
  SetName("DataSif");
  DatabaseUpdate = NewConnection(this, "DatabaseUpdate");
  Database = NewConnection(this, "Database");
  UpdateHstmt = NewStatement(this, "UpdateHstmt", DatabaseUpdate);
  UpdateHstmt->SetBlobPlacement(bpByExec);
  qQuery0 = NewStatement(this, "qQuery0", Database);
  qQuery1 = NewStatement(this, "qQuery1", Database);
  qQuery2 = NewStatement(this, "qQuery2", Database);
  qQueryFind = NewStatement(this, "qQueryFind", Database);
  qQueryDelete = NewStatement(this, "qQueryDelete", Database);
  OnCreate = [this](TObject* Sender) { DataSifCreate(Sender); };
}

// The routines that reach the module through DataSif then find none instead of a freed one.
TDataSif::~TDataSif() {
  if (DataSif == this) DataSif = nullptr;
}

void TDataSif::DataSifCreate(TObject* Sender) {
  try {
    std::string databaseName = GetStringFromIniFile("Database", "DataBaseName", "");
    std::string serverName = GetStringFromIniFile("Database", "ServerName", "");
    std::string dataSource = AnsiUpperCase(GetStringFromIniFile("Database", "DataSource", "MSBrintel"));
    CompanyName = GetStringFromIniFile("Database", "Podjetje", "");
    std::string title = "Brintel KolvarIzdaja " + GetStringFromIniFile("Program", "Podjetje", "");
    title += CompanyName.empty() ? " " : " (" + CompanyName + ")";
    Application->SetTitle(title);
    if (TForm* main = Application->MainForm()) main->SetCaption(title);
    if (!databaseName.empty() && !serverName.empty()) {
      SetDatabase(Database, serverName, databaseName);
      SetDatabase(DatabaseUpdate, serverName, databaseName);
    } else {
      SetDataSource(Database, dataSource);
      SetDataSource(DatabaseUpdate, dataSource);
    }
  } catch (Exception& E) {
    WriteErrorLog(&E, Sender, "DataSifCreate-Alias");
  }
  try {
    DatabaseUpdate->SetConnected(true);
    Database->SetConnected(true);
  } catch (Exception& E) {
    ShowErrorAndLog(E, Sender, "DataSifCreate-Connect", "Napaka v nastavitvi poti do podatkov (Database) !");
    Application->Terminate();
  }
  sqlFillTableIndex();
}

void TDataSif::SetDataSource(THdbc* Connection, const std::string& DataSourceName) {
  Connection->SetConnected(false);
  Connection->SetDataSource(DataSourceName);
  Connection->SetUserName(DbUserName);
  Connection->SetPassword(DbPassword);
}

void TDataSif::SetDatabase(THdbc* Connection, const std::string& ServerName, const std::string& DatabaseName) {
  Connection->SetConnected(false);
  Connection->SetDataSource("");
  Connection->SetUserName(DbUserName);
  Connection->SetPassword(DbPassword);
  Connection->Attributes()->Clear();
  Connection->Attributes()->Add("SERVER=" + ServerName);
  Connection->Attributes()->Add("DATABASE=" + DatabaseName);
}
