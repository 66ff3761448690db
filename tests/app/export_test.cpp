// The three export files against the real drivers: the same fixture on SQLite and on
// PostgreSQL, and the same bytes expected from both.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "cp1250.h"
#include "fmainfixture.h"
#include "numbers.h"

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
  std::string Out(const std::string& Name) const { return Env.Path(Name); }
  // The window shown, so that gauges repaint as they change.
  void ShowMain() {
    Main->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main->Widget()));
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

  EXPECT_EQ(articles.Shown, (std::vector<int>{33, 67, 100}));
  EXPECT_EQ(turnover.Shown, (std::vector<int>{60, 80, 100}));
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Main->fStevPrenosaIzd->Text(), "8");
}

TEST_P(ExportFiles, NullDateUnknownRecipientAndAQuantityTooWide) {
  Issue("20250000002", "20250000002", Out("n"), 1);
  EXPECT_EQ(ReadBytes(Out("n.VEN")),
            FileOf({"H00IZDAJA" + B(6) + B(4) + "1" + B(50), "H010250000002" "18991230" "IZ" "02" + B(40),
                    "H02" + B(6) + B(8) + "Neznani kupec" + B(27) + B(40) + " , " + B(37),
                    "D00D-400" + B(10) + "123456", "XXX" + B(5) + "5"}));
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
  EXPECT_EQ(turnover.Shown, (std::vector<int>{67, 100}));
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

TEST_P(ExportFiles, WriteFailureGivesOneMessageAndKeepsTheTransferNumber) {
  for (const char* ext : {".ART", ".VEN", ".NOT"})
    ASSERT_EQ(symlink("/dev/full", Out(std::string("full") + ext).c_str()), 0);
  Main->ExportArtikli("20250000001", "20250000001", Out("full"), Main->gArtikliIzd);
  Issue("20250000001", "20250000001", Out("full"), 7);
  Receipt("40000000001", "40000000001", Out("full"), 3);
  ASSERT_EQ(Rec.Messages.size(), 3u);
  for (const auto& m : Rec.Messages) EXPECT_EQ(m.Text.rfind("Ne morem pisati v datoteko...\r\n", 0), 0u) << m.Text;
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_EQ(Main->fStevPrenosaPre->Value(), 3);
  EXPECT_EQ(LoggedOperations(), (std::vector<std::string>{"ExportArtikli", "ExportPrometIzd", "ExportPrometPre"}));

  // The program goes on: the next export into a sound file completes.
  Issue("20250000001", "20250000001", Out("ok"), 7);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 8);
  EXPECT_EQ(Rec.Messages.size(), 3u);
}

// The disk fills up half-way through a file larger than one write: what reached the disk ends
// before the trailer, and the transfer number stays.
TEST_P(ExportFiles, DiskFullHalfWayLeavesNoTrailerAndKeepsTheTransferNumber) {
  Exec("INSERT INTO Promet (Kljuc, Datum, Sifra1, Sifra2) VALUES ('50000000001', '2025-07-01', 'IZ', '05')");
  Exec("INSERT INTO PrometPoz (Kljuc, Poz, Ident, Kolicina) "
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000) "
       "SELECT '50000000001', i, 'A-100', 1 FROM n");
  // About 104,000 bytes of records; files of this process may grow to 80,000 bytes.
  const rlim_t room = 80000;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* savedSignal = std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead
  const rlimit limited{room, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  Issue("50000000001", "50000000001", Out("poln"), 7);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedSignal);

  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text.rfind("Ne morem pisati v datoteko...\r\n", 0), 0u) << Rec.Messages[0].Text;
  const std::string ven = ReadBytes(Out("poln.VEN"));
  EXPECT_GT(ven.size(), 64u * 1024);
  EXPECT_LE(ven.size(), room);
  EXPECT_EQ(ven.rfind("H00IZDAJA" + B(6) + B(4) + "7", 0), 0u);
  EXPECT_EQ(ven.find("XXX"), std::string::npos);
  EXPECT_EQ(Main->fStevPrenosaIzd->Value(), 7);
  EXPECT_EQ(LoggedOperations(), std::vector<std::string>{"ExportPrometIzd"});
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

INSTANTIATE_TEST_SUITE_P(Odbc, ExportFiles, ::testing::Values(std::string("SQLITE")));
INSTANTIATE_TEST_SUITE_P(Server, ExportFiles, ::testing::Values(std::string("PG"), std::string("PG server form")),
                         [](const auto& Info) { return Info.index == 0 ? std::string("DataSource") : std::string("ServerForm"); });

}  // namespace
