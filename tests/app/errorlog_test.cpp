#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <set>

#include "apptest.h"
#include "dareg.h"
#include "datetime.h"
#include "oclstmt.h"
#include "text.h"
#include "widgets.h"

namespace {

ZEL_EXCEPTION(EQuietStop, EAbort)

struct BusyTimeout {
  explicit BusyTimeout(int ms) : FSaved(TEngineTable::DefaultBusyTimeout()) { TEngineTable::SetDefaultBusyTimeout(ms); }
  ~BusyTimeout() { TEngineTable::SetDefaultBusyTimeout(FSaved); }
  int FSaved;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

using ErrorLog = AppFixture;

TEST_F(ErrorLog, MissingTableIsCreatedWithItsTenColumnsAndTheRowAppended) {
  ProgramBuildNo = "40";
  TComponent sender(nullptr);
  sender.SetName("qQuery0");
  TDateTime before = Now();
  EConvertError e("bad number");
  WriteErrorLog(&e, &sender, "FloatToStrSQL");
  TDateTime after = Now();

  TTable t(nullptr);
  t.SetTableName(ErrorTableName);
  t.Open();
  struct Col { const char* name; TFieldType type; int size; };
  const Col cols[] = {{"Cas", ftDateTime, 0},         {"FormName", ftString, 20},
                      {"ControlName", ftString, 20},  {"SenderName", ftString, 20},
                      {"ObjectName", ftString, 100},  {"Operation", ftString, 30},
                      {"ExceptObject", ftString, 20}, {"BuildNo", ftSmallint, 0},
                      {"Error", ftString, 255},       {"SenderProp", ftMemo, 1}};
  ASSERT_EQ(t.FieldDefs()->Count(), 10);
  for (int i = 0; i < 10; ++i) {
    TFieldDef* d = t.FieldDefs()->Items(i);
    EXPECT_EQ(d->Name(), cols[i].name);
    EXPECT_EQ(d->DataType(), cols[i].type) << cols[i].name;
    if (cols[i].size) {
      EXPECT_EQ(d->Size(), cols[i].size) << cols[i].name;
    }
    EXPECT_FALSE(d->Required());
  }
  t.IndexDefs()->Update();
  EXPECT_EQ(t.IndexDefs()->Count(), 0);
  ASSERT_EQ(t.RecordCount(), 1);
  t.First();
  TDateTime cas = t.FieldByName("Cas")->AsDateTime();
  EXPECT_GE(cas, before - 1.0 / 86400);
  EXPECT_LE(cas, after + 1.0 / 86400);
  EXPECT_EQ(t.FieldByName("SenderName")->AsString(), "TComponent");
  EXPECT_EQ(t.FieldByName("ObjectName")->AsString(), "qQuery0");
  EXPECT_EQ(t.FieldByName("Operation")->AsString(), "FloatToStrSQL");
  EXPECT_EQ(t.FieldByName("ExceptObject")->AsString(), "EConvertError");
  EXPECT_EQ(t.FieldByName("Error")->AsString(), "bad number");
  EXPECT_EQ(t.FieldByName("BuildNo")->AsInteger(), 40);
  EXPECT_EQ(t.FieldByName("SenderProp")->AsString(), "");
  EXPECT_EQ(t.FieldByName("FormName")->AsString(), "");
  t.Close();
}

TEST_F(ErrorLog, LongTextsAreCutToTheColumnInCharacters) {
  std::string message;
  for (int i = 0; i < 300; ++i) message += "č";
  EConvertError e(message);
  WriteErrorLog(&e, Application, std::string(40, 'o'));
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Utf8Length(rows[0]["Error"]), 255u);
  EXPECT_EQ(rows[0]["Error"], Utf8Left(message, 255));
  EXPECT_EQ(rows[0]["Operation"], std::string(30, 'o'));
}

TEST_F(ErrorLog, SendersThatAreNoComponentsStillGiveARow) {
  EConvertError e("x");
  TStringList list;
  WriteErrorLog(&e, &list, "A");
  WriteErrorLog(&e, nullptr, "B");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["SenderName"], "TStringList");
  EXPECT_EQ(rows[0]["ObjectName"], "");
  EXPECT_EQ(rows[0]["Error"], "x");
  EXPECT_EQ(rows[1]["SenderName"], "");
  EXPECT_EQ(rows[1]["Operation"], "B");
}

TEST_F(ErrorLog, OnlyThePlainSilentAbortIsLeftOut) {
  EAbort plain("quiet");
  EQuietStop derived("derived");
  WriteErrorLog(&plain, Application, "Plain");
  WriteErrorLog(&derived, Application, "Derived");
  WriteErrorLog(nullptr, Application, "Trace");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Operation"], "Derived");
  EXPECT_EQ(rows[0]["ExceptObject"], "EQuietStop");
  EXPECT_EQ(rows[1]["Operation"], "Trace");
  EXPECT_EQ(rows[1]["ExceptObject"], "");
  EXPECT_EQ(rows[1]["Error"], "");
}

TEST_F(ErrorLog, BuildNumberTheColumnCannotHoldKeepsTheRestOfTheRow) {
  ProgramBuildNo = "40000";  // a build of 16 bits, beyond the small-integer column
  THstmt stmt(nullptr);
  stmt.SetName("qQuery0");
  stmt.SetSQL("SELECT 1");
  EConvertError e("kept");
  WriteErrorLog(&e, &stmt, "Op");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Error"], "kept");
  EXPECT_EQ(rows[0]["BuildNo"], "");
  EXPECT_EQ(rows[0]["SenderProp"], "hDbc --> \r\nSQL --> SELECT 1\r\n");
}

TEST_F(ErrorLog, LockedTableKeepsItsRowsAndDropsOnlyThisOne) {
  EConvertError e("x");
  WriteErrorLog(&e, Application, "First");
  BusyTimeout shortWait(200);
  {
    TTable holder(nullptr);
    holder.SetTableName(ErrorTableName);
    holder.SetExclusive(true);
    holder.Open();
    WriteErrorLog(&e, Application, "Locked");
    holder.Close();
  }
  WriteErrorLog(&e, Application, "After");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Operation"], "First");
  EXPECT_EQ(rows[1]["Operation"], "After");
}

TEST_F(ErrorLog, DamagedTableFileIsLeftAsItIs) {
  TTable probe(nullptr);
  probe.SetTableName(ErrorTableName);
  std::string file = probe.TableFileName();
  WriteFile(file, "not a table, but somebody's data");
  EConvertError e("x");
  WriteErrorLog(&e, Application, "Op");
  EXPECT_EQ(ReadAll(file), "not a table, but somebody's data");
}

TEST_F(ErrorLog, FailedPostLeavesTheTableUsable) {
  // A table made elsewhere with a unique index on the operation refuses a second equal row.
  {
    TTable t(nullptr);
    t.SetTableName(ErrorTableName);
    t.FieldDefs()->Add("Cas", ftDateTime);
    t.FieldDefs()->Add("SenderName", ftString, 20);
    t.FieldDefs()->Add("Operation", ftString, 30);
    t.FieldDefs()->Add("ExceptObject", ftString, 20);
    t.FieldDefs()->Add("FormName", ftString, 20);
    t.FieldDefs()->Add("ControlName", ftString, 20);
    t.FieldDefs()->Add("ObjectName", ftString, 100);
    t.FieldDefs()->Add("BuildNo", ftSmallint);
    t.FieldDefs()->Add("Error", ftString, 255);
    t.FieldDefs()->Add("SenderProp", ftMemo, 1);
    t.IndexDefs()->Add("ByOperation", "Operation", {ixUnique});
    t.CreateTable();
  }
  BusyTimeout shortWait(200);
  EConvertError e("x");
  WriteErrorLog(&e, Application, "Same");
  WriteErrorLog(&e, Application, "Same");  // refused by the index
  WriteErrorLog(&e, Application, "Other");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  std::set<std::string> ops{rows[0]["Operation"], rows[1]["Operation"]};
  EXPECT_EQ(ops, (std::set<std::string>{"Same", "Other"}));
  // Nobody holds the table: an exclusive open gets in at once.
  TTable t(nullptr);
  t.SetTableName(ErrorTableName);
  t.SetExclusive(true);
  EXPECT_NO_THROW(t.Open());
}

TEST_F(ErrorLog, ShowErrorAndLogShowsThenLogs) {
  EConvertError e("detail");
  TComponent sender(nullptr);
  sender.SetName("bKreirajIzd");
  ShowErrorAndLog(e, &sender, "ExportArtikli", "Napaka pri izvozu !");
  ASSERT_EQ(Rec.Cursors.size(), 1u);
  EXPECT_EQ(Rec.Cursors[0], crArrow);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "Napaka pri izvozu !\r\ndetail");
  EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  EXPECT_EQ(Rec.Messages[0].Buttons, TMsgDlgButtons{mbOK});
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["ObjectName"], "bKreirajIzd");
  EXPECT_EQ(rows[0]["Operation"], "ExportArtikli");
  EXPECT_EQ(rows[0]["Error"], "detail");
}

// A form "Main" with the edits "fKljucIzdOD" and "fFileNameIzd", shown and active.
class UiErrorLog : public AppFixture {
protected:
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(Application);
    Form->SetName("Main");
    First = new TEdit(Form);
    First->SetName("fKljucIzdOD");
    First->SetParent(Form);
    Second = new TEdit(Form);
    Second->SetName("fFileNameIzd");
    Second->SetParent(Form);
    Second->SetTop(30);
    Form->Show();
    Form->Widget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form->Widget()));
  }
  TForm* Form = nullptr;
  TEdit* First = nullptr;
  TEdit* Second = nullptr;
};

TEST_F(UiErrorLog, ActiveFormAndControlAreNamed) {
  EConvertError e("x");
  WriteErrorLog(&e, First, "Op");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["FormName"], "Main");
  EXPECT_EQ(rows[0]["ControlName"], "fKljucIzdOD");
  EXPECT_EQ(rows[0]["SenderName"], "TEdit");
}

namespace {

// Presses Return in the next modal window to appear (the message box a routine is about to show).
void AnswerNextModalWindow() {
  QTimer::singleShot(10, [] {
    if (QWidget* box = QApplication::activeModalWidget())
      QTest::keyClick(box, Qt::Key_Return);
    else
      AnswerNextModalWindow();
  });
}

}  // namespace

// A row logged right after a real message box was closed, before the window system has given
// the activation back, still names the form and control the clerk was in.
TEST_F(UiErrorLog, RowWrittenRightAfterAMessageBoxNamesTheActiveFormAndControl) {
  Second->SetFocus();
  ASSERT_EQ(Screen->ActiveControl(), Second);

  TUiService* recorder = SetUiService(nullptr);  // the real Qt message box
  AnswerNextModalWindow();
  EConvertError e("x");
  ShowErrorAndLog(e, Application, "Op", "Napaka !");
  SetUiService(recorder);

  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["FormName"], "Main");
  EXPECT_EQ(rows[0]["ControlName"], "fFileNameIzd");
  // ... and the window and its control get the activation and the focus back.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Second->Widget(); }, 2000));
}

// --- statements (SQLite's driver) ---------------------------------------------------------

class OdbcErrorLog : public AppFixture {
protected:
  OdbcErrorLog() {
    Dbc = new THdbc(Application);
    Dbc->SetName("Database");
    Dbc->SetDataSource("SQLITE");
    Stmt = new THstmt(Application);
    Stmt->SetName("qQuery0");
    Stmt->SetHdbc(Dbc);
  }
  THdbc* Dbc;
  THstmt* Stmt;
};

TEST_F(OdbcErrorLog, TraceEntryHoldsTheConnectionAndTheStatement) {
  SqlTraceOn = true;
  Stmt->SetSQL("SELECT 1");
  EXPECT_TRUE(HstmtExecute(Stmt, true));
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Operation"], "HstmtExecute");
  EXPECT_EQ(rows[0]["ExceptObject"], "");
  EXPECT_EQ(rows[0]["Error"], "");
  EXPECT_EQ(rows[0]["SenderName"], "THstmt");
  EXPECT_EQ(rows[0]["ObjectName"], "qQuery0");
  EXPECT_EQ(rows[0]["SenderProp"], "hDbc --> Database\r\nSQL --> SELECT 1\r\n");
  EXPECT_TRUE(Rec.Messages.empty());

  // A statement without a connection names none.
  THstmt loose(nullptr);
  loose.SetName("qLoose");
  loose.SetSQL("SELECT 2");
  EXPECT_THROW(HstmtExecute(&loose, false), EAbort);
  rows = LogRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1]["SenderProp"], "hDbc --> \r\nSQL --> SELECT 2\r\n");
  EXPECT_EQ(rows[2]["Operation"], "HstmtExecute-qLoose");
}

TEST_F(OdbcErrorLog, FailingExecutionLogsAndAbortsSilently) {
  struct Case { bool show; };
  for (Case c : {Case{false}, Case{true}}) {
    Rec.Messages.clear();
    Stmt->Close();
    Stmt->SetSQL("SELECT * FROM NoSuchTable");
    EXPECT_THROW(HstmtExecute(Stmt, c.show), EAbort);
    if (c.show) {
      ASSERT_EQ(Rec.Messages.size(), 1u);
      EXPECT_EQ(Rec.Messages[0].Text.rfind("Napaka pri odpiranju datoteke: qQuery0 !\r\n", 0), 0u)
          << Rec.Messages[0].Text;
      EXPECT_GT(Rec.Messages[0].Text.size(), std::string("Napaka pri odpiranju datoteke: qQuery0 !\r\n").size());
      EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
    } else {
      EXPECT_TRUE(Rec.Messages.empty());
    }
  }
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  for (auto& row : rows) {
    EXPECT_EQ(row["Operation"], "HstmtExecute-qQuery0");
    EXPECT_EQ(row["ExceptObject"], "EODBC");
    EXPECT_NE(row["Error"], "");
    EXPECT_EQ(row["SenderProp"], "hDbc --> Database\r\nSQL --> SELECT * FROM NoSuchTable\r\n");
  }
}

// --- the ODBC data set of the data-aware layer ---------------------------------------------

TEST_F(ErrorLog, DataSetSenderGivesItsConnectionTableAndSqlLines) {
  TComponent form(nullptr);
  auto* ds = new TdaODDataSet(&form);
  ds->SetName("qArtikli");
  ds->SQL()->Add("SELECT *");
  ds->SQL()->Add("FROM Artikli");
  ds->SetTable("Artikli");  // the lines stay
  EConvertError e("x");
  WriteErrorLog(&e, ds, "Op");
  auto* dbc = new THdbc(&form);
  dbc->SetName("Database");
  ds->SetDatabaseName("Database");
  ds->SQL()->Clear();
  WriteErrorLog(&e, ds, "Op");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["SenderName"], "TdaODDataSet");
  EXPECT_EQ(rows[0]["ObjectName"], "qArtikli");
  EXPECT_EQ(rows[0]["SenderProp"],
            "DatabaseName --> \r\nTableName --> Artikli\r\nhDbc --> \r\nSQL --> SELECT * FROM Artikli\r\n");
  EXPECT_EQ(rows[1]["SenderProp"],
            "DatabaseName --> Database\r\nTableName --> \r\nhDbc --> Database\r\nSQL -->\r\n");
}
