#pragma once
// Shared by the export and main-window tests: the business-database fixture loaded into a real
// data source, an application object of the test's own with a recording dialog service, and the
// data module connected to the data source.
#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "apptest.h"
#include "dbtables.h"
#include "fdatasif.h"
#include "formatsettings.h"
#include "ocl.h"
#include "fmain.h"
#include "forms.h"
#include "fpublicvar.h"
#include "stdproc.h"
#include "testenv.h"

inline std::string FixtureFile(const char* Name) {
  return (std::filesystem::path(__FILE__).parent_path() / ".." / "fixtures" / Name).lexically_normal().string();
}

inline std::string ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the statements of a fixture file: comment lines dropped, a statement ends with ";" at the
// end of a line.
inline void RunSqlFile(RawOdbc& Db, const std::string& Path) {
  std::ifstream in(Path);
  ASSERT_TRUE(in) << Path;
  std::string line, stmt;
  while (std::getline(in, line)) {
    if (line.rfind("--", 0) == 0) continue;
    stmt += line + "\n";
    if (!line.empty() && line.back() == ';') {
      stmt.erase(stmt.find_last_of(';'));
      Db.Exec(stmt);
      stmt.clear();
    }
  }
}

// The Operation column of every row of the error table, in order.
inline std::vector<std::string> LoggedOperations() {
  std::vector<std::string> ops;
  for (auto& row : LogRows()) ops.push_back(row["Operation"]);
  return ops;
}

// Every value a gauge shows, read at each repaint.
class TGaugeRecorder : public QObject {
public:
  explicit TGaugeRecorder(TGauge* G) : FGauge(G) { G->Widget()->installEventFilter(this); }
  ~TGaugeRecorder() override {
    if (FGauge->Hooked()) FGauge->Widget()->removeEventFilter(this);
  }
  std::vector<int> Shown;
  // Called with each value shown, while the export that set it waits.
  std::function<void(int)> OnShown;

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) {
      Shown.push_back(FGauge->Progress());
      if (OnShown) OnShown(Shown.back());
    }
    return QObject::eventFilter(Watched, Event);
  }

private:
  TGauge* FGauge;
};

// A fresh application object, program settings and data source per test; Backend is "SQLITE"
// or "PG" (the latter needs the test server).
class TMainTestBase {
protected:
  explicit TMainTestBase(std::string Backend) : FBackend(std::move(Backend)), FSaved(Application) {
    Application = &App;
    Application->Initialize();
    ResetProgramSettings();
    FormatSettings() = TFormatSettings{};
    SetProgramParams(0, nullptr);
  }
  virtual ~TMainTestBase() {
    delete DataSif;
    DataSif = nullptr;
    delete Main;
    Main = nullptr;
    FreeGlobalEnv();  // the next test's ODBC set-up is read afresh
    ResetProgramSettings();
    FormatSettings() = TFormatSettings{};
    Application = FSaved;
  }

  // "PG server form" is the PostgreSQL database reached through the driver name "SQL Server"
  // with server and database attributes, as the data module's server form does.
  bool ServerForm() const { return FBackend == "PG server form"; }
  std::string Dsn() const { return ServerForm() ? "PG" : FBackend; }
  std::string ConnectString() const { return "DSN=" + Dsn() + ";"; }

  // Creates the business database in the data source.
  void LoadFixture() {
    if (Dsn() == "PG") Env.PgDatabase();
    RawOdbc db(ConnectString());
    RunSqlFile(db, FixtureFile("business_schema.sql"));
    RunSqlFile(db, FixtureFile("business_data.sql"));
  }
  void Exec(const std::string& Sql) {
    RawOdbc db(ConnectString());
    db.Exec(Sql);
  }

  // The data module on the data source, connected, without its creation handler.
  void ConnectDataModule() {
    DataSif = new TDataSif(Application);
    if (ServerForm()) {
      DbUserName = "postgres";
      for (THdbc* c : {DataSif->Database, DataSif->DatabaseUpdate}) {
        DataSif->SetDatabase(c, Env.PgSocketDir(), Env.PgDatabase());
        c->Attributes()->Add("PORT=" + Env.PgPort());  // the test server's socket is not the default port's
      }
    } else {
      DataSif->SetDataSource(DataSif->Database, FBackend);
      DataSif->SetDataSource(DataSif->DatabaseUpdate, FBackend);
    }
    DataSif->Database->SetConnected(true);
  }

  // The window without its creation handler (no settings read).
  void NewMain() { Main = new TMain(Application); }

  // The mapped drive root's folder for drive c.
  std::string DriveC() const { return Env.Path("root/c"); }

  TestEnv Env;
  std::string FBackend;
  TRecordingUiService Rec;
  TApplication App{nullptr};

private:
  TApplication* FSaved;
};
