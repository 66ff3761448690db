// The main window offscreen, driven like a user: its start-up values, the key checks of
// "Kreiraj", the exports from both pages and the values saved at close.
#include <QApplication>
#include <QLineEdit>

#include <filesystem>

#include "dospath.h"
#include "fmainfixture.h"
#include "inifiles.h"
#include "registry.h"

namespace {

namespace fs = std::filesystem;

class UiMainBase : public TMainTestBase {
protected:
  explicit UiMainBase(std::string Backend) : TMainTestBase(std::move(Backend)) {}

  std::string IniPath() const { return MapDosPath(WindowsDirectory() + "/Zelkor.INI"); }
  void WriteIni(const std::string& Text) {
    fs::create_directories(fs::path(IniPath()).parent_path());
    std::ofstream(IniPath(), std::ios::binary) << Text;
  }
  std::string IniValue(const std::string& Key) const { return TIniFile(IniPath()).ReadString("Kolvar", Key, "<none>"); }

  // The program's start: the window, then the data module, as the entry does.
  void StartProgram(bool WithDataModule) {
    Application->CreateForm(Main);
    if (WithDataModule) Application->CreateForm(DataSif);
    Main->Show();
    Main->Widget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main->Widget()));
  }

  // Replaces the text of an edit by typing.
  static void Type(TCustomEdit* Edit, const std::string& Text) {
    QWidget* w = Edit->Widget();
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_Backspace);
    QTest::keyClicks(w, QString::fromUtf8(Text.c_str()));
  }
  static void Click(TButton* Button) { QTest::mouseClick(Button->Widget(), Qt::LeftButton); }

  // Files the exports may have written on drive c.
  std::vector<std::string> ExportFilesOnC() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(DriveC()))
      if (e.is_regular_file()) {
        const std::string ext = e.path().extension().string();
        if (ext == ".ART" || ext == ".VEN" || ext == ".NOT") names.push_back(e.path().filename().string());
      }
    std::sort(names.begin(), names.end());
    return names;
  }
};

class UiMain : public UiMainBase, public ::testing::Test {
protected:
  UiMain() : UiMainBase("SQLITE") {}
};

TEST_F(UiMain, FirstStartWithoutIniShowsTheDefaults) {
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  EXPECT_FALSE(fs::exists(IniPath()));
  EXPECT_EQ(Main->Caption(), "Kolvar ");
  EXPECT_EQ(Application->Title(), "Brintel KolvarIzdaja ");
  EXPECT_EQ(Main->Width(), 471);
  EXPECT_EQ(Main->Height(), 282);
  EXPECT_EQ(Main->PageControl1->ActivePage(), Main->cIzdaja);
  EXPECT_EQ(Main->cIzdaja->Caption(), "Izdaja blaga");
  EXPECT_EQ(Main->cPrevzem->Caption(), "Prevzem blaga");
  for (TEdit* e : {Main->fKljucIzdOD, Main->fKljucIzdDO, Main->fKljucPreOD, Main->fKljucPreDO})
    EXPECT_EQ(e->Text(), "00000000000") << e->Name();
  EXPECT_EQ(Main->fFileNameIzd->Text(), "c:\\KolvarIzdaja");
  EXPECT_EQ(Main->fFileNamePre->Text(), "c:\\KolvarPrevzem");
  for (TNumberEdit* n : {Main->fStevPrenosaIzd, Main->fStevPrenosaPre}) {
    EXPECT_EQ(n->Value(), 1);
    EXPECT_EQ(n->Text(), "1");
    EXPECT_EQ(n->EntryRequired(), integervalue);
    EXPECT_EQ(n->DisplayFormat(), "0;-0");
  }
  for (TGauge* g : {Main->gArtikliIzd, Main->gPrometIzd, Main->gArtikliPre, Main->gPrometPre})
    EXPECT_EQ(g->Progress(), 0);
  EXPECT_EQ(Main->bKreirajIzd->Caption(), "Kreiraj");
  EXPECT_EQ(Main->bKonecPre->Caption(), "Konec");
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(UiMain, LastUsedValuesComeFromTheIniAndABadTransferNumberFallsBackToOne) {
  WriteIni("[Program]\nPodjetje=Špedicija Čuk\n[Kolvar]\nKljucIzdOD=20250000001\nKljucIzdDO=20250000009\n"
           "FileNameIzd=c:\\Izvoz\\izd\nStevPrenosaIzd=sedem\nKljucPreOD=40000000001\nKljucPreDO=40000000002\n"
           "FileNamePre=c:\\Izvoz\\pre\nStevPrenosaPre=12\n");
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  EXPECT_EQ(Main->Caption(), "Kolvar Špedicija Čuk");
  EXPECT_EQ(Main->fKljucIzdDO->Text(), "20250000009");
  EXPECT_EQ(Main->fFileNameIzd->Text(), "c:\\Izvoz\\izd");
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 1);  // "sedem" is no integer
  // ... and the values after it are still read.
  EXPECT_EQ(Main->fKljucPreOD->Text(), "40000000001");
  EXPECT_EQ(Main->fFileNamePre->Text(), "c:\\Izvoz\\pre");
  EXPECT_EQ(Main->fStevPrenosaPre->Value(), 12);
}

TEST_F(UiMain, TypingAtStartGoesIntoTheFromKey) {
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  EXPECT_EQ(TControl::FromWidget(QApplication::focusWidget()), Main->fKljucIzdOD);
  EXPECT_EQ(Screen->ActiveControl(), Main->fKljucIzdOD);
  QTest::keyClicks(nullptr, "20250000007");  // to whatever has the focus
  EXPECT_EQ(Main->fKljucIzdOD->Text(), "20250000007");
}

// An INI carried over from the Windows program is in Windows-1250: its letters show as such,
// and closing the window writes them back in the same code page, every other byte unchanged.
TEST_F(UiMain, WindowsCodePageIniKeepsItsLettersThroughStartAndClose) {
  const std::string ini =
      "[Program]\r\nPodjetje=\x8Apedicija \xC8uk\r\n"
      "[Kolvar]\r\nKljucIzdOD=20250000001\r\nKljucIzdDO=20250000009\r\nFileNameIzd=c:\\Izvoz\\ra\xE8un\r\n"
      "StevPrenosaIzd=7\r\nKljucPreOD=40000000001\r\nKljucPreDO=40000000002\r\nFileNamePre=c:\\Izvoz\\\x9E" "aga\r\n"
      "StevPrenosaPre=3\r\n";
  WriteIni(ini);
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  EXPECT_EQ(Main->Caption(), "Kolvar Špedicija Čuk");
  EXPECT_EQ(Main->fFileNameIzd->Text(), "c:\\Izvoz\\račun");
  EXPECT_EQ(Main->fFileNamePre->Text(), "c:\\Izvoz\\žaga");
  Click(Main->bKonecIzd);
  EXPECT_EQ(ReadBytes(IniPath()), ini);

  delete Main;  // the next start of the program
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  Main->fFileNamePre->SetText("c:\\Izvoz\\Čopova");
  Click(Main->bKonecIzd);
  const std::string changed = ReadBytes(IniPath());
  EXPECT_NE(changed.find("\r\nFileNamePre=c:\\Izvoz\\\xC8opova\r\n"), std::string::npos) << changed;
  EXPECT_NE(changed.find("\r\nFileNameIzd=c:\\Izvoz\\ra\xE8un\r\n"), std::string::npos) << changed;
  EXPECT_EQ(changed.size(), ini.size() - 4 + 6);
}

TEST_F(UiMain, TabOrderOnEachPage) {
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  auto order = [&](std::vector<TWinControl*> Expected) {
    Expected.front()->SetFocus();
    for (size_t i = 1; i < Expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      EXPECT_EQ(TControl::FromWidget(QApplication::focusWidget()), Expected[i]) << "step " << i;
    }
  };
  order({Main->fKljucIzdOD, Main->fKljucIzdDO, Main->fFileNameIzd, Main->bKreirajIzd, Main->bKonecIzd,
         Main->fStevPrenosaIzd});
  Main->PageControl1->SetActivePage(Main->cPrevzem);
  order({Main->fKljucPreOD, Main->fKljucPreDO, Main->fFileNamePre, Main->bKreirajPre, Main->bKonecPre,
         Main->fStevPrenosaPre});
}

TEST_F(UiMain, KreirajRefusesAMissingKeyOrKeysThatDifferInTheFirstFiveCharacters) {
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  const struct {
    const char* From;
    const char* To;
    const char* Message;
  } cases[] = {
      {"", "20250000009", "Od številke do številke moraš obvezno vnesti !"},
      {"20250000001", "", "Od številke do številke moraš obvezno vnesti !"},
      {"20250000001", "20260000001", "Prvi štirje znaki od številke do številke morajo biti enaki !"},
      // Five characters are compared, not the four the message speaks of.
      {"20250000001", "20251000001", "Prvi štirje znaki od številke do številke morajo biti enaki !"},
      {"2025", "20250", "Prvi štirje znaki od številke do številke morajo biti enaki !"},
  };
  for (const auto& c : cases) {
    Rec.Messages.clear();
    Type(Main->fKljucIzdOD, c.From);
    Type(Main->fKljucIzdDO, c.To);
    Click(Main->bKreirajIzd);
    ASSERT_EQ(Rec.Messages.size(), 1u) << c.From << " " << c.To;
    EXPECT_EQ(Rec.Messages[0].Text, c.Message);
    EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  }
  EXPECT_TRUE(ExportFilesOnC().empty());
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(UiMain, ClosingStoresATransferNumberTypedIntoTheFieldThatStillHasTheFocus) {
  ASSERT_NO_FATAL_FAILURE(StartProgram(false));
  Type(Main->fStevPrenosaIzd, "15");
  ASSERT_EQ(TControl::FromWidget(QApplication::focusWidget()), Main->fStevPrenosaIzd);
  ASSERT_EQ(Main->fStevPrenosaIzd->Value(), 1);  // the field has not been left
  Main->Widget()->close();                       // the window's close box
  QApplication::processEvents();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(IniValue("StevPrenosaIzd"), "15");
  EXPECT_EQ(IniValue("StevPrenosaPre"), "1");
}

class UiMainExport : public UiMain {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadFixture());
    WriteIni("[Database]\nDataSource=sqlite\n[Kolvar]\nStevPrenosaIzd=7\nStevPrenosaPre=3\n");
    ASSERT_NO_FATAL_FAILURE(StartProgram(true));
    ASSERT_TRUE(DataSif->Database->Connected());
  }
};

TEST_F(UiMainExport, KreirajWritesTheFilesOfEachPage) {
  Type(Main->fKljucIzdOD, "20250000001");
  Type(Main->fKljucIzdDO, "20250000002");
  Click(Main->bKreirajIzd);
  // The articles file is written; the issue file is refused, for document 20250000002 holds a
  // quantity too wide for its field.
  EXPECT_EQ(ExportFilesOnC(), (std::vector<std::string>{"KolvarIzdaja.ART"}));
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "Številka 1234567 v dokumentu 20250000002 je predolga za polje (6 mest) !");
  EXPECT_EQ(Main->gArtikliIzd->Progress(), 100);
  EXPECT_EQ(Main->gPrometIzd->Progress(), 83);  // the last line written, 5 of 6
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  Type(Main->fKljucIzdDO, "20250000001");
  Click(Main->bKreirajIzd);
  EXPECT_EQ(ExportFilesOnC(), (std::vector<std::string>{"KolvarIzdaja.ART", "KolvarIzdaja.VEN"}));
  EXPECT_EQ(Main->gPrometIzd->Progress(), 100);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);

  Main->PageControl1->SetActivePage(Main->cPrevzem);
  Type(Main->fKljucPreOD, "40000000001");
  Type(Main->fKljucPreDO, "40000000002");
  Click(Main->bKreirajPre);
  EXPECT_EQ(ExportFilesOnC(), (std::vector<std::string>{"KolvarIzdaja.ART", "KolvarIzdaja.VEN", "KolvarPrevzem.ART",
                                                        "KolvarPrevzem.NOT"}));
  EXPECT_EQ(ReadBytes(DriveC() + "/KolvarPrevzem.NOT").substr(0, 20), "H00PREJEM          3");
  EXPECT_EQ(Main->fStevPrenosaPre->Value(), 4);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Rec.Messages.size(), 1u);
}

TEST_F(UiMainExport, TwoIssueExportsFromSevenThenCloseStoreNine) {
  Type(Main->fKljucIzdOD, "20250000001");
  Type(Main->fKljucIzdDO, "20250000001");
  Click(Main->bKreirajIzd);
  Click(Main->bKreirajIzd);
  // A transfer number typed on the receipt page is stored on its own.
  Main->PageControl1->SetActivePage(Main->cPrevzem);
  Type(Main->fStevPrenosaPre, "12");
  Click(Main->bKonecPre);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(IniValue("StevPrenosaIzd"), "9");
  EXPECT_EQ(IniValue("StevPrenosaPre"), "12");
  EXPECT_EQ(IniValue("KljucIzdOD"), "20250000001");
  EXPECT_EQ(IniValue("KljucPreOD"), "00000000000");
  EXPECT_EQ(IniValue("FileNameIzd"), "c:\\KolvarIzdaja");
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(UiMainExport, FailingQueryIsShownAndCreatesNoFile) {
  Exec("DROP TABLE MS");
  Type(Main->fKljucIzdOD, "20250000001");
  Type(Main->fKljucIzdDO, "20250000001");
  Click(Main->bKreirajIzd);
  ASSERT_EQ(Rec.Messages.size(), 1u);  // the articles query fails; the issue export does not start
  EXPECT_NE(Rec.Messages[0].Text.find("MS"), std::string::npos) << Rec.Messages[0].Text;
  EXPECT_TRUE(ExportFilesOnC().empty());
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_FALSE(Application->Terminated());
}

// The database server goes away while the window is open.
class ServerMain : public UiMainBase, public ::testing::Test {
protected:
  ServerMain() : UiMainBase("PG") {}
};

TEST_F(ServerMain, DatabaseGoneBeforeKreirajGivesAMessageAndTheProgramGoesOn) {
  ASSERT_NO_FATAL_FAILURE(LoadFixture());
  {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey("SOFTWARE\\Brintel\\SQL", true));
    r.WriteString("UserName", "postgres");
  }
  WriteIni("[Database]\nDataSource=PG\n");
  ASSERT_NO_FATAL_FAILURE(StartProgram(true));
  ASSERT_TRUE(DataSif->Database->Connected());
  TestEnv::PgAdmin("DROP DATABASE " + Env.PgDatabase() + " WITH (FORCE)");

  Type(Main->fKljucIzdOD, "20250000001");
  Type(Main->fKljucIzdDO, "20250000001");
  Click(Main->bKreirajIzd);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  EXPECT_TRUE(ExportFilesOnC().empty());
  EXPECT_FALSE(Application->Terminated());
  // Still responding: the next attempt is refused the same way.
  Click(Main->bKreirajIzd);
  EXPECT_EQ(Rec.Messages.size(), 2u);
  Click(Main->bKonecIzd);
  EXPECT_EQ(IniValue("KljucIzdOD"), "20250000001");
}

}  // namespace
