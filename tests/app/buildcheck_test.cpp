#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <thread>

#include "apptest.h"
#include "process.h"
#include "version.h"

namespace {

struct Build { std::uint16_t major, minor, release, build; };

class BuildCheck : public AppFixture {
protected:
  BuildCheck() {
    UseIni();
    ProgramFile = MapDosPath("c:\\Prog\\Zelkor.exe");
    std::filesystem::create_directories(std::filesystem::path(ProgramFile).parent_path());
  }

  void WriteProgram(const std::string& path, Build b) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteVersionRecordFile(path, b.major, b.minor, b.release, b.build);
  }

  // A stand-in upgrade program that writes its arguments into Marker().
  void WriteUpgradeProgram(const std::string& dosFolder) {
    std::string path = MapDosPath(dosFolder + "\\RazuVorivur.EXE");
    WriteFile(path, "#!/bin/sh\necho \"$@\" > '" + Marker() + "'\n");
    chmod(path.c_str(), 0755);
  }
  std::string Marker() const { return Env.Path("upgrade-started.txt"); }

  // The marker's text once the started program has written it; nullopt after a few seconds.
  std::optional<std::string> WaitForMarker() const {
    for (int i = 0; i < 100; ++i) {
      std::ifstream in(Marker());
      std::string line;
      if (in && std::getline(in, line)) return line;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
  }

  std::string ProgramFile;
};

}  // namespace

TEST_F(BuildCheck, GetFileBuildNoReadsTheVersionRecord) {
  WriteProgram(ProgramFile, {1, 2, 3, 40});
  std::string version, build;
  EXPECT_TRUE(GetFileBuildNo("c:\\Prog\\ZELKOR.EXE", version, build));
  EXPECT_EQ(version, "1.2.3");
  EXPECT_EQ(build, "40");

  WriteFile(MapDosPath("c:\\Prog\\Plain.txt"), "no record here");
  for (const char* file : {"c:\\Prog\\Plain.txt", "c:\\Prog\\Missing.exe", "c:\\Prog", ""}) {
    version = build = "x";
    EXPECT_FALSE(GetFileBuildNo(file, version, build)) << file;
    EXPECT_EQ(version, "0") << file;
    EXPECT_EQ(build, "0") << file;
  }
}

// The own file is read once per start; a file rewritten after that read (the same size, the same
// place) is read again.
TEST_F(BuildCheck, ProgramFileChangedSinceItWasReadGivesItsNewBuild) {
  WriteProgram(ProgramFile, {1, 2, 3, 40});
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // settled: its read may be kept
  std::string version, build;
  EXPECT_TRUE(GetFileBuildNo(ProgramFile, version, build));
  EXPECT_EQ(build, "40");
  WriteProgram(ProgramFile, {1, 2, 3, 41});
  EXPECT_TRUE(GetFileBuildNo(ProgramFile, version, build));
  EXPECT_EQ(build, "41");
  std::filesystem::remove(ProgramFile);
  EXPECT_FALSE(GetFileBuildNo(ProgramFile, version, build));
  EXPECT_EQ(build, "0");
}

TEST_F(BuildCheck, OnlyAnOlderOwnBuildStartsTheUpgrade) {
  struct Case {
    const char* name;
    Build own;
    std::optional<Build> copy;
    bool upgrade;
  };
  const Case cases[] = {
      {"older build", {1, 2, 3, 40}, Build{1, 2, 3, 41}, true},
      {"newer build", {1, 2, 3, 41}, Build{1, 2, 3, 40}, false},
      {"same build", {1, 2, 3, 41}, Build{1, 2, 3, 41}, false},
      {"no copy", {1, 2, 3, 40}, std::nullopt, false},
      {"only builds compare", {2, 0, 0, 5}, Build{1, 9, 0, 7}, true},
  };
  SetRegistryString("SOFTWARE\\Brintel\\Upgrade", "PotDoTempa", "c:\\Upd");
  WriteUpgradeProgram("c:\\Prog");  // no PathToUpgrade: the program's own folder
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Marker());
    std::filesystem::remove(MapDosPath("c:\\Upd\\Zelkor.exe"));
    Rec.Messages.clear();
    FApp = std::make_unique<TApplication>(nullptr);
    Application = FApp.get();

    WriteProgram(ProgramFile, c.own);
    if (c.copy) WriteProgram(MapDosPath("c:\\Upd\\Zelkor.exe"), *c.copy);
    EXPECT_EQ(TestBuildNo(ProgramFile, true), !c.upgrade);
    EXPECT_EQ(Application->Terminated(), c.upgrade);
    if (c.upgrade) {
      ASSERT_EQ(Rec.Messages.size(), 1u);
      EXPECT_EQ(Rec.Messages[0].Text, "Potrebujete novo verzijo programa !");
      EXPECT_EQ(Rec.Messages[0].DlgType, mtInformation);
      EXPECT_EQ(Rec.Messages[0].Buttons, TMsgDlgButtons{mbOK});
      EXPECT_EQ(WaitForMarker(), std::optional<std::string>("/L"));
    } else {
      EXPECT_TRUE(Rec.Messages.empty());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      EXPECT_FALSE(std::filesystem::exists(Marker()));
    }
  }
  EXPECT_TRUE(LogRows().empty());
}

TEST_F(BuildCheck, UpgradeFolderDefaultsAndPathToUpgradeFromTheIniFile) {
  // No registry value: "c:\Temp". [Program] PathToUpgrade names the upgrade program's folder,
  // here one with a blank in its name.
  WriteProgram(ProgramFile, {1, 0, 0, 1});
  WriteProgram(MapDosPath("c:\\Temp\\Zelkor.exe"), {1, 0, 0, 2});
  UseIni("[Program]\nPathToUpgrade=c:\\Nova verzija\n");
  WriteUpgradeProgram("c:\\Nova verzija");
  EXPECT_FALSE(TestBuildNo(ProgramFile, false));
  EXPECT_FALSE(Application->Terminated());  // not asked to
  EXPECT_EQ(WaitForMarker(), std::optional<std::string>("/L"));
}

TEST_F(BuildCheck, MissingUpgradeProgramIsReportedAndTheProgramStillEnds) {
  WriteProgram(ProgramFile, {1, 2, 3, 40});
  WriteProgram(MapDosPath("c:\\Temp\\Zelkor.exe"), {1, 2, 3, 41});
  EXPECT_FALSE(TestBuildNo(ProgramFile, true));
  ASSERT_EQ(Rec.Messages.size(), 2u);
  EXPECT_EQ(Rec.Messages[0].Text, "Potrebujete novo verzijo programa !");
  EXPECT_EQ(Rec.Messages[1].Text, "The specified file was not found.");
  EXPECT_EQ(Rec.Messages[1].DlgType, mtError);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(BuildCheck, TWinExecMapsLaunchFailures) {
  WriteFile(MapDosPath("c:\\Bin\\notes.txt"), "plain text");
  chmod(MapDosPath("c:\\Bin\\notes.txt").c_str(), 0644);
  WriteUpgradeProgram("c:\\Bin");
  std::filesystem::create_symlink("Loop.exe", MapDosPath("c:\\Bin") + "/Loop.exe");  // refers to itself
  struct Case { std::string cmd; int result; const char* message; };
  const Case cases[] = {
      {"c:\\Bin\\Loop.exe", 0, "The system is out of memory or resources."},  // any other failure
      {"c:\\Bin\\Missing.exe /L", 2, "The specified file was not found."},
      {"c:\\NoFolder\\Prog.exe", 3, "The specified path was not found."},
      {"c:\\Bin\\notes.txt", 11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
      {"", 2, "The specified file was not found."},
  };
  for (const Case& c : cases) {
    Rec.Messages.clear();
    EXPECT_EQ(TWinExec(c.cmd, SW_SHOW), c.result) << c.cmd;
    ASSERT_EQ(Rec.Messages.size(), 1u) << c.cmd;
    EXPECT_EQ(Rec.Messages[0].Text, c.message);
    EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  }
  Rec.Messages.clear();
  EXPECT_GT(TWinExec("c:\\Bin\\RazuVorivur.EXE /L x", SW_SHOW), 31);
  EXPECT_EQ(WaitForMarker(), std::optional<std::string>("/L x"));
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(BuildCheck, UnusableRegistryIsLoggedAndStartsNothing) {
  WriteProgram(ProgramFile, {1, 2, 3, 40});
  WriteProgram(MapDosPath("c:\\Temp\\Zelkor.exe"), {1, 2, 3, 41});
  WriteUpgradeProgram("c:\\Prog");
  UnusableRegistry unusable(Env.Path("registry-folder"));
  EXPECT_TRUE(TestBuildNo(ProgramFile, true));
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Rec.Messages.empty());
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Operation"], "TestBuildNo");
  EXPECT_EQ(rows[0]["ExceptObject"], "ERegistryException");
  EXPECT_FALSE(std::filesystem::exists(Marker()));
}
