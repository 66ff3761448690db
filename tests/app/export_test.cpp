// The three export files against the real drivers: the same fixture on SQLite and on
// PostgreSQL, and the same bytes expected from both.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "cp1250.h"
#include "filelimit.h"
#include "fmainfixture.h"
#include "numbers.h"
#include "text.h"

namespace {

std::string B(int n) { return std::string(static_cast<size_t>(n), ' '); }

// The file as the customs system reads it: Windows-1250 lines ended by CR LF.
std::string FileOf(const std::vector<std::string>& Utf8Lines) {
  std::string out;
  for (const auto& l : Utf8Lines) out += Utf8ToCp1250(l) + "\r\n";
  return out;
}

const std::string ArtA100 = "D00A-100" + B(10) + "Čokolada mlečna 100 g" + B(29) + "A-100" + B(13) + "18063210" + B(1) +
                            B(10) + B(4) + "0.10";
const std::string ArtB200 = "D00B-200" + B(10) + "Šumeče tablete z vitaminom C, 20 kosov, v aluminij" + "B-200" + B(13) +
                            "21069092" + B(1) + B(10) + B(4) + "0.12";
const std::string ArtC300 = "D00C-300" + B(10) + "Žebelj pocinkan 3 mm" + B(30) + "C-300" + B(13) + "73170080" + B(1) +
                            B(10) + B(1) + "1234.50";
const std::string ArtH00 = "H00ARTIKLI" + B(5) + B(50);
const std::string H02Zagar = "H02" + B(6) + "S001" + B(4) + "Čebelarstvo Žagar d.o.o." + B(16) + "Šmartinska cesta 152" +
                             B(20) + "1000 Ljubljana, SI" + B(22);

class ExportFiles : public TMainTestBase, public ::testing::TestWithParam<std::string> {
protected:
  ExportFiles() : TMainTestBase(GetParam()) {}
  void SetUp() override {
    std::filesystem::create_directories(Env.Path("izvoz"));
    ASSERT_NO_FATAL_FAILURE(LoadFixture());
    ConnectDataModule();
    NewMain();
  }

  // Sets the issue page and runs its turnover export into Base.VEN.
  void Issue(const std::string& From, const std::string& To, const std::string& Base, double Transfer) {
    Main->fKljucIzdOD->SetText(From);
    Main->fKljucIzdDO->SetText(To);
    Main->fFileNameIzd->SetText(Base);
    Main->fStevPrenosaIzd->SetValue(Transfer);
    Main->ExportPrometIzd();
  }
  void Receipt(const std::string& From, const std::string& To, const std::string& Base, double Transfer) {
    Main->fKljucPreOD->SetText(From);
    Main->fKljucPreDO->SetText(To);
    Main->fFileNamePre->SetText(Base);
    Main->fStevPrenosaPre->SetValue(Transfer);
    Main->ExportPrometPre();
  }
  // The export folder, which holds nothing but what the exports leave.
  std::string Out(const std::string& Name) const { return Env.Path("izvoz/" + Name); }
  std::set<std::string> Left() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Env.Path("izvoz"))) names.insert(e.path().filename());
    return names;
  }
  // The window shown, so that gauges repaint as they change.
  void ShowMain() {
    Main->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main->Widget()));
  }

  // A document of Lines lines, each of an article of its own ("X-1", "X-2", ...), on the issue
  // and the receipt page alike.
  void BulkDocument(const std::string& Key, int Lines) {
    const std::string n = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                          std::to_string(Lines) + ") ";
    Exec("INSERT INTO Promet (Kljuc, Datum, Sifra1, Sifra2, Valuta) VALUES ('" + Key +
         "', '2025-07-01', 'IZ', '05', 'EUR')");
    Exec("INSERT INTO MS (Ident, Naziv, CarTarifa, DimTezaBruto) " + n +
         "SELECT 'X-' || i, 'Artikel številka ' || i, '12345678', 1 FROM n");
    Exec("INSERT INTO PrometPoz (Kljuc, Poz, Ident, Kolicina, ProdCena, CenaZaVred, Poreklo, Datum) " + n +
         "SELECT '" + Key + "', i, 'X-' || i, 1, 2, 2, 'DE', '2025-07-01' FROM n");
  }

  // Another running program that exports at this moment: a process of its own, with its own
  // connection to the database, runs Export and reports the messages the clerk got there.
  std::string InAnotherProgram(const std::function<void()>& Export) {
    return OutputOfChild([&](int Out) {
      std::string report;
      try {
        Rec.Messages.clear();
        // A data module of its own: the connection inherited is this program's and stays untouched.
        DataSif->SetName("");
        DbUserName.clear();  // the window's start-up read the registry's default; the data source names the user
        ConnectDataModule();
        Export();
        for (const auto& m : Rec.Messages) report += m.Text + "\n";
      } catch (std::exception& e) {
        report = std::string("<exception> ") + e.what();
      }
      if (write(Out, report.data(), report.size()) < 0) _exit(1);
    });
  }
};

TEST_P(ExportFiles, EmptyRangeGivesHeaderAndTrailerOfTwoLines) {
  Main->ExportArtikli("99999999990", "99999999999", Out("prazno"), Main->gArtikliIzd);
  EXPECT_EQ(ReadBytes(Out("prazno.ART")), FileOf({ArtH00, "XXX" + B(5) + "2"}));
  EXPECT_EQ(Main->gArtikliIzd->Progress(), 100);
  Issue("99999999990", "99999999999", Out("prazno"), 1);
  EXPECT_EQ(ReadBytes(Out("prazno.VEN")), FileOf({"H00IZDAJA" + B(6) + B(4) + "1" + B(50), "XXX" + B(5) + "2"}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 2);
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_P(ExportFiles, OneDocumentOfThreeLinesWithGaugeReadings) {
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  TGaugeRecorder articles(Main->gArtikliIzd), turnover(Main->gPrometIzd);
  Main->ExportArtikli("20250000001", "20250000001", Out("izd"), Main->gArtikliIzd);
  Issue("20250000001", "20250000001", Out("izd"), 7);

  EXPECT_EQ(ReadBytes(Out("izd.ART")), FileOf({ArtH00, ArtA100, ArtB200, ArtC300, "XXX" + B(5) + "5"}));
  const std::string ven = ReadBytes(Out("izd.VEN"));
  EXPECT_EQ(ven, FileOf({"H00IZDAJA" + B(6) + B(4) + "7" + B(50),
                         "H010250000001" "20250314" "IZ" "01" + B(40), H02Zagar,
                         "D00A-100" + B(10) + B(4) + "12", "D00B-200" + B(10) + B(4) + "30",
                         "D00C-300" + B(10) + B(5) + "5", "XXX" + B(5) + "7"}));
  // Every record has exactly its width in bytes: Slovenian letters are single bytes.
  const size_t widths[] = {70, 65, 137, 24, 24, 24, 9};
  size_t at = 0;
  for (size_t w : widths) {
    ASSERT_EQ(ven.substr(at + w, 2), "\r\n") << "record of width " << w;
    at += w + 2;
  }
  EXPECT_EQ(at, ven.size());
  EXPECT_EQ(ven.substr(72 + 65 + 2 + 17, 2), "\xC8" "e");  // "Če" of the recipient

  // 100 only once the file is complete: the last detail line shows 99.
  EXPECT_EQ(articles.Shown, (std::vector<int>{33, 67, 99, 100}));
  EXPECT_EQ(turnover.Shown, (std::vector<int>{60, 80, 99, 100}));
  EXPECT_EQ(Left(), (std::set<std::string>{"izd.ART", "izd.VEN"}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Main->fStevPrenosaIzd->Text(), "8");
}

TEST_P(ExportFiles, NullDateAndUnknownRecipient) {
  Exec("UPDATE PrometPoz SET Kolicina = 123456 WHERE Kljuc = '20250000002'");  // the widest that fits
  Issue("20250000002", "20250000002", Out("n"), 1);
  EXPECT_EQ(ReadBytes(Out("n.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "1" + B(50), "H010250000002" "18991230" "IZ" "02" + B(40),
                    "H02" + B(6) + B(8) + "Neznani kupec" + B(27) + B(40) + " , " + B(37),
                    "D00D-400" + B(10) + "123456", "XXX" + B(5) + "5"}));
}

// A number too wide for its field stops the export with a message naming the first such number
// in file order and its document; the previous file stays, nothing else is left behind, and
// the transfer number and the gauge do not move on.
TEST_P(ExportFiles, NumberTooWideStopsTheExport) {
  Exec("UPDATE PrometPoz SET ProdCena = 24999997.5, CenaZaVred = 24999997.5 WHERE Kljuc = '40000000001' AND Poz = 2");
  Exec("UPDATE MS SET DimTezaBruto = 123456.75 WHERE Ident = 'C-300'");
  struct Case {
    const char* Name;
    std::function<void()> Export;
    std::string Message;
    TGauge* Gauge;
    TNumberEdit* Transfer;  // keeps the number the export started with
    double Start;
  };
  const Case cases[] = {
      {"kol.VEN", [&] { Issue("20250000001", "20250000002", Out("kol"), 7); },
       "Številka 1234567 v dokumentu 20250000002 je predolga za polje (6 mest) !", Main->gPrometIzd,
       Main->fStevPrenosaIzd, 7},
      // The price comes before the value (49999995.00) of the same line.
      {"cena.NOT", [&] { Receipt("40000000001", "40000000002", Out("cena"), 3); },
       "Številka 24999997.50 v dokumentu 40000000001 je predolga za polje (8 mest) !", Main->gPrometPre,
       Main->fStevPrenosaPre, 3},
      // In the articles file the article stands for the document.
      {"teza.ART", [&] { Main->ExportArtikli("20250000001", "20250000001", Out("teza"), Main->gArtikliIzd); },
       "Številka 123456.75 v dokumentu C-300 je predolga za polje (8 mest) !", Main->gArtikliIzd, nullptr, 0},
      {"prenos.VEN", [&] { Issue("20250000001", "20250000001", Out("prenos"), 123456); },
       "Številka 123456 v dokumentu " + Out("prenos.VEN") + " je predolga za polje (5 mest) !", Main->gPrometIzd,
       Main->fStevPrenosaIzd, 123456},
  };
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  for (const auto& c : cases) {
    Rec.Messages.clear();
    WriteFile(Out(c.Name), "prejšnja datoteka\r\n");
    c.Gauge->SetProgress(0);
    c.Export();
    ASSERT_EQ(Rec.Messages.size(), 1u) << c.Name;
    EXPECT_EQ(Rec.Messages[0].Text, c.Message);
    EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
    EXPECT_EQ(ReadBytes(Out(c.Name)), "prejšnja datoteka\r\n") << c.Name;
    EXPECT_EQ(Left(), std::set<std::string>{c.Name}) << c.Name;
    std::filesystem::remove(Out(c.Name));
    EXPECT_LT(c.Gauge->Progress(), 100) << c.Name;
    if (c.Transfer) {
      EXPECT_EQ(c.Transfer->Value(), c.Start) << c.Name;
    }
  }
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 4u);
  const char* operations[] = {"ExportPrometIzd", "ExportPrometPre", "ExportArtikli", "ExportPrometIzd"};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].at("Operation"), operations[i]);
    EXPECT_EQ(rows[i].at("ExceptObject"), "ENumberTooWide");
    EXPECT_EQ(rows[i].at("Error"), Utf8Left(cases[i].Message, 255));
  }
}

// Control characters in database text become blanks: a record never splits, every field keeps
// its width and the trailer counts the lines there are.
TEST_P(ExportFiles, ControlCharactersInDatabaseTextBecomeBlanks) {
  Exec("UPDATE Subjekt SET Naslov = 'Šmartinska\r\ncesta 152', Naziv = 'Čebelarstvo\tŽagar d.o.o.' WHERE Sifra = 'S001'");
  Exec("UPDATE Promet SET Prejemnik = 'Čebelarstvo\tŽagar d.o.o.' WHERE Kljuc = '20250000001'");
  Exec("UPDATE MS SET Naziv = 'Čokolada\tmlečna\r\n100 g' WHERE Ident = 'A-100'");
  Main->ExportArtikli("20250000001", "20250000001", Out("ctl"), Main->gArtikliIzd);
  Issue("20250000001", "20250000001", Out("ctl"), 7);
  EXPECT_EQ(ReadBytes(Out("ctl.ART")),
            FileOf({ArtH00,
                    "D00A-100" + B(10) + "Čokolada mlečna  100 g" + B(28) + "A-100" + B(13) + "18063210" + B(1) + B(10) +
                        B(4) + "0.10",
                    ArtB200, ArtC300, "XXX" + B(5) + "5"}));
  EXPECT_EQ(ReadBytes(Out("ctl.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "7" + B(50), "H010250000001" "20250314" "IZ" "01" + B(40),
                    "H02" + B(6) + "S001" + B(4) + "Čebelarstvo Žagar d.o.o." + B(16) + "Šmartinska  cesta 152" + B(19) +
                        "1000 Ljubljana, SI" + B(22),
                    "D00A-100" + B(10) + B(4) + "12", "D00B-200" + B(10) + B(4) + "30", "D00C-300" + B(10) + B(5) + "5",
                    "XXX" + B(5) + "7"}));
}

TEST_P(ExportFiles, KeysOfFiveCharactersAndWithAQuote) {
  Issue("30001", "30001", Out("k5"), 1);
  EXPECT_EQ(ReadBytes(Out("k5.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "1" + B(50), "H010001" + B(6) + "20250102" "IZ" "03" + B(40),
                    "H02" + B(6) + "S002" + B(4) + "Gradbeništvo Kovač s.p." + B(17) + "Ulica heroja Šlandra 12" + B(17) +
                        "2000 Maribor, SI" + B(24),
                    "D00A-100" + B(10) + B(5) + "4", "XXX" + B(5) + "5"}));

  // A quote is part of the key: the range selects by the same string, both ends included.
  Issue("6000'00001", "6000'00001", Out("q"), 1);
  EXPECT_EQ(ReadBytes(Out("q.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "1" + B(50), "H01000'00001" + B(1) + "20250630" "IZ" "04" + B(40),
                    H02Zagar, "D00E-500" + B(10) + B(5) + "7", "XXX" + B(5) + "5"}));
  // ... and cannot change the statement: pasted as typed this range would select everything.
  Main->ExportArtikli("x' OR '1'='1", "x", Out("inj"), Main->gArtikliIzd);
  EXPECT_EQ(ReadBytes(Out("inj.ART")), FileOf({ArtH00, "XXX" + B(5) + "2"}));
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_P(ExportFiles, TransferNumberSevenThenEight) {
  Issue("99999999990", "99999999999", Out("t"), 7);
  EXPECT_EQ(ReadBytes(Out("t.VEN")).substr(15, 5), "    7");
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  Main->ExportPrometIzd();
  EXPECT_EQ(ReadBytes(Out("t.VEN")).substr(15, 5), "    8");
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 9);
}

TEST_P(ExportFiles, ReceiptFileWithAmountsCutNotRounded) {
  Main->PageControl1->SetActivePage(Main->cPrevzem);
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  TGaugeRecorder turnover(Main->gPrometPre);
  Main->ExportArtikli("40000000001", "40000000001", Out("pre"), Main->gArtikliPre);
  Receipt("40000000001", "40000000001", Out("pre"), 3);
  EXPECT_EQ(ReadBytes(Out("pre.ART")), FileOf({ArtH00, ArtA100, ArtC300, "XXX" + B(5) + "4"}));
  const std::string line1 = "D00A-100" + B(10) + B(20) + B(4) + "12" + B(4) + "3.50" + B(4) + "42.00" + "D" + "DE " +
                            "EUR" + "3" + B(9) + "20250519";
  const std::string line2 = "D00C-300" + B(10) + B(20) + B(5) + "2" + B(4) + "1.25" + B(5) + "2.50" + "N" + "CN " +
                            B(3) + B(10) + "18991230";
  EXPECT_EQ(ReadBytes(Out("pre.NOT")), FileOf({"H00PREJEM" + B(6) + B(4) + "3" + B(50),
                                               "H010000000001" "20250520" "PR" "03" "EUR" + B(40), line1, line2,
                                               "XXX" + B(5) + "5"}));
  EXPECT_EQ(line1.size(), 86u);
  EXPECT_EQ(turnover.Shown, (std::vector<int>{67, 99, 100}));
  EXPECT_EQ(Main->fStevPrenosaPre->Value(), 4);

  Receipt("40000000002", "40000000002", Out("pre2"), 4);
  EXPECT_EQ(ReadBytes(Out("pre2.NOT")),
            FileOf({"H00PREJEM" + B(6) + B(4) + "4" + B(50), "H010000000002" "20250521" "PR" "04" + B(3) + B(40),
                    "D00E-500" + B(10) + B(20) + B(5) + "1" + B(3) + "10.00" + B(4) + "10.00" + "D" + "DE " + "EUR" + "1" +
                        B(9) + "20250521",
                    "XXX" + B(5) + "4"}));
}

TEST_P(ExportFiles, FolderThatDoesNotExistGivesOneMessageAndTheNextExportRuns) {
  Main->ExportArtikli("20250000001", "20250000001", "c:\\NiMape\\izvoz", Main->gArtikliIzd);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text.rfind("Napaka v nastavitvi poti do podatkov (Database) !\r\n", 0), 0u)
      << Rec.Messages[0].Text;
  // The path as the clerk typed it, not the folder it maps to.
  EXPECT_NE(Rec.Messages[0].Text.find("\"c:\\NiMape\\izvoz.ART\""), std::string::npos) << Rec.Messages[0].Text;
  EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  EXPECT_FALSE(std::filesystem::exists(DriveC() + "/NiMape"));
  EXPECT_EQ(LoggedOperations(), std::vector<std::string>{"ExportArtikli"});

  Issue("20250000001", "20250000001", "c:\\izvoz", 5);
  EXPECT_EQ(Rec.Messages.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(DriveC() + "/izvoz.VEN"));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 6);

  // A turnover file that cannot be created leaves the transfer number as it is.
  Issue("20250000001", "20250000001", "c:\\NiMape\\izvoz", 6);
  EXPECT_EQ(Rec.Messages.size(), 2u);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 6);
}

// The disk fills up part-way through each of the three files: one message each, the previous
// files stay as they were, no temporary file is left, the transfer numbers stay.
TEST_P(ExportFiles, DiskFullPartWayKeepsThePreviousFiles) {
  BulkDocument("50000000001", 3000);  // each file well over a write's worth of bytes
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  for (const char* ext : {".ART", ".VEN", ".NOT"}) WriteFile(Out(std::string("poln") + ext), std::string("prej ") + ext);
  WithFilesLimitedTo(64 * 1024 + 100, [&] {
    Main->ExportArtikli("50000000001", "50000000001", Out("poln"), Main->gArtikliIzd);
    Issue("50000000001", "50000000001", Out("poln"), 7);
    Receipt("50000000001", "50000000001", Out("poln"), 3);
  });
  ASSERT_EQ(Rec.Messages.size(), 3u);
  for (const auto& m : Rec.Messages) EXPECT_EQ(m.Text.rfind("Ne morem pisati v datoteko...\r\n", 0), 0u) << m.Text;
  EXPECT_NE(Rec.Messages[1].Text.find(Out("poln.VEN")), std::string::npos) << Rec.Messages[1].Text;
  for (const char* ext : {".ART", ".VEN", ".NOT"})
    EXPECT_EQ(ReadBytes(Out(std::string("poln") + ext)), std::string("prej ") + ext);
  EXPECT_EQ(Left(), (std::set<std::string>{"poln.ART", "poln.VEN", "poln.NOT"}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_EQ(Main->fStevPrenosaPre->Value(), 3);
  for (TGauge* g : {Main->gArtikliIzd, Main->gPrometIzd, Main->gPrometPre}) {
    EXPECT_GT(g->Progress(), 0) << g->Name();  // where the export stopped
    EXPECT_LT(g->Progress(), 100) << g->Name();
  }
  EXPECT_EQ(LoggedOperations(), (std::vector<std::string>{"ExportArtikli", "ExportPrometIzd", "ExportPrometPre"}));

  // With room again the same exports complete.
  Issue("50000000001", "50000000001", Out("poln"), 7);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Main->gPrometIzd->Progress(), 100);
  EXPECT_EQ(ReadBytes(Out("poln.VEN")).size(), 72u + 67 + 139 + 3000 * 26 + 11);
  EXPECT_EQ(Rec.Messages.size(), 3u);
}

// A link is kept and the file it names replaced; a name that is a folder or a device is refused
// as a file that cannot be created, and left alone.
TEST_P(ExportFiles, LinksFoldersAndDevices) {
  WriteFile(Env.Path("drugje.VEN"), "prej");
  ASSERT_EQ(symlink(Env.Path("drugje.VEN").c_str(), Out("link.VEN").c_str()), 0);
  Issue("20250000001", "20250000001", Out("link"), 7);
  EXPECT_TRUE(std::filesystem::is_symlink(Out("link.VEN")));
  EXPECT_EQ(ReadBytes(Env.Path("drugje.VEN")).substr(0, 20), "H00IZDAJA          7");
  EXPECT_TRUE(Rec.Messages.empty());

  std::filesystem::create_directories(Out("mapa.VEN"));
  ASSERT_EQ(symlink("/dev/full", Out("naprava.VEN").c_str()), 0);
  Issue("20250000001", "20250000001", Out("mapa"), 8);
  Issue("20250000001", "20250000001", Out("naprava"), 8);
  ASSERT_EQ(Rec.Messages.size(), 2u);
  for (const auto& m : Rec.Messages)
    EXPECT_EQ(m.Text.rfind("Napaka v nastavitvi poti do podatkov (Database) !\r\n", 0), 0u) << m.Text;
  EXPECT_TRUE(std::filesystem::is_directory(Out("mapa.VEN")));
  EXPECT_EQ(std::filesystem::read_symlink(Out("naprava.VEN")), "/dev/full");
  EXPECT_EQ(Left(), (std::set<std::string>{"link.VEN", "mapa.VEN", "naprava.VEN"}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
}

// Another program exports into the same file while this one is writing it: the other one is
// refused with a message, this one completes, and the file is this one's, whole.
TEST_P(ExportFiles, TwoProgramsExportingTheSameFile) {
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  WriteFile(Out("hkrati.VEN"), "prej");
  std::string other;
  TGaugeRecorder turnover(Main->gPrometIzd);
  turnover.OnShown = [&](int) {
    if (other.empty()) other = InAnotherProgram([&] { Main->ExportPrometIzd(); });
  };
  Issue("20250000001", "20250000001", Out("hkrati"), 7);
  EXPECT_EQ(other, "Datoteko " + Out("hkrati.VEN") + " pravkar zapisuje drug program, poskusite znova kasneje !\n");
  EXPECT_TRUE(Rec.Messages.empty());
  EXPECT_EQ(ReadBytes(Out("hkrati.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "7" + B(50), "H010250000001" "20250314" "IZ" "01" + B(40), H02Zagar,
                    "D00A-100" + B(10) + B(4) + "12", "D00B-200" + B(10) + B(4) + "30",
                    "D00C-300" + B(10) + B(5) + "5", "XXX" + B(5) + "7"}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Left(), std::set<std::string>{"hkrati.VEN"});
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);  // the other program's refusal
  EXPECT_EQ(rows[0].at("Operation"), "ExportPrometIzd");
  EXPECT_EQ(rows[0].at("ExceptObject"), "EFileInUse");

  // Once this one is done the file is free again.
  Main->ExportPrometIzd();
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 9);
  EXPECT_EQ(Left(), std::set<std::string>{"hkrati.VEN"});
}

TEST_P(ExportFiles, FailingQueryLeavesTheExportAndCreatesNoFile) {
  Exec("DROP TABLE Posta");
  EXPECT_THROW(Issue("20250000001", "20250000001", Out("dq"), 7), Exception);
  EXPECT_FALSE(std::filesystem::exists(Out("dq.VEN")));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  Exec("DROP TABLE MS");
  EXPECT_THROW(Main->ExportArtikli("20250000001", "20250000001", Out("dq"), Main->gArtikliIzd), Exception);
  EXPECT_FALSE(std::filesystem::exists(Out("dq.ART")));
  EXPECT_TRUE(Rec.Messages.empty());  // shown by the caller's default handling, not here
  for (const auto& op : LoggedOperations()) EXPECT_EQ(op.rfind("Export", 0), std::string::npos) << op;
}

// The database server ends the export's session part-way through the rows (the data source
// streams them, a thousand a round trip): the failure is logged under the export and goes on to
// the clerk as the failing query would; the previous file stays, no temporary file is left.
using ExportFilesStreamed = ExportFiles;

TEST_P(ExportFilesStreamed, SessionEndedPartWayKeepsThePreviousFile) {
  BulkDocument("50000000001", 3000);
  ASSERT_NO_FATAL_FAILURE(ShowMain());
  WriteFile(Out("prekinjeno.VEN"), "prejšnja datoteka\r\n");
  const std::string database = Env.PgDatabase();
  TGaugeRecorder turnover(Main->gPrometIzd);
  bool ended = false;
  turnover.OnShown = [&](int) {
    if (ended) return;
    ended = true;
    TestEnv::PgAdmin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + database + "'");
  };
  EXPECT_THROW(Issue("50000000001", "50000000001", Out("prekinjeno"), 7), Exception);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ReadBytes(Out("prekinjeno.VEN")), "prejšnja datoteka\r\n");
  EXPECT_EQ(Left(), std::set<std::string>{"prekinjeno.VEN"});
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_GT(Main->gPrometIzd->Progress(), 0);
  EXPECT_LT(Main->gPrometIzd->Progress(), 100);
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("Operation"), "ExportPrometIzd");
  EXPECT_EQ(rows[0].at("ExceptObject"), "EODBC");
  EXPECT_TRUE(Rec.Messages.empty());  // shown by the caller's default handling
}

// SQLite keeps whatever text a date column is given; a date that is no date stops the export
// like a failed fetch (only a real NULL is the day zero 18991230), and the previous file stays.
using ExportFilesLooseTypes = ExportFiles;

TEST_P(ExportFilesLooseTypes, DateThatIsNoDateStopsTheExport) {
  Exec("UPDATE Promet SET Datum = '2025-13-45' WHERE Kljuc = '20250000002'");
  WriteFile(Out("datum.VEN"), "prej");
  EXPECT_THROW(Issue("20250000001", "20250000002", Out("datum"), 7), EConvertError);
  EXPECT_EQ(ReadBytes(Out("datum.VEN")), "prej");
  EXPECT_EQ(Left(), std::set<std::string>{"datum.VEN"});
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_LT(Main->gPrometIzd->Progress(), 100);
  EXPECT_EQ(LoggedOperations(), std::vector<std::string>{"ExportPrometIzd"});
}

INSTANTIATE_TEST_SUITE_P(Odbc, ExportFilesLooseTypes, ::testing::Values(std::string("SQLITE")));
INSTANTIATE_TEST_SUITE_P(Server, ExportFilesStreamed, ::testing::Values(std::string("PG")));

INSTANTIATE_TEST_SUITE_P(Odbc, ExportFiles, ::testing::Values(std::string("SQLITE")));
INSTANTIATE_TEST_SUITE_P(Server, ExportFiles, ::testing::Values(std::string("PG"), std::string("PG server form")),
                         [](const auto& Info) { return Info.index == 0 ? std::string("DataSource") : std::string("ServerForm"); });

}  // namespace
