#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dospath.h"
#include "testenv.h"

namespace fs = std::filesystem;

TEST(DosPath, RootFromEnvironment) {
  TestEnv env;
  EXPECT_EQ(ZelkorRoot(), env.Path("root"));
  unsetenv("ZELKOR_ROOT");
  setenv("XDG_DATA_HOME", env.Path("data").c_str(), 1);
  EXPECT_EQ(ZelkorRoot(), env.Path("data/zelkor/root"));
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(ZelkorRoot(), env.Dir() + "/.local/share/zelkor/root");
  setenv("ZELKOR_ROOT", env.Path("root").c_str(), 1);
}

TEST(DosPath, MappingTable) {
  TestEnv env;
  const std::string root = env.Path("root");
  fs::create_directories(root + "/c/Zelkor/LOG");
  std::ofstream(root + "/c/ZELKORERROR.db") << "x";
  std::ofstream(root + "/c/Zelkor/LOG/Today.txt") << "x";
  struct Case { const char* in; std::string out; };
  const Case cases[] = {
      {"c:\\ZelkorError", root + "/c/ZelkorError"},            // not there: kept as written
      {"C:\\ZelkorError.DB", root + "/c/ZELKORERROR.db"},      // existing name, any case
      {"c:\\zelkor\\log\\TODAY.TXT", root + "/c/Zelkor/LOG/Today.txt"},
      {"c:\\zelkor\\Log\\New\\File.txt", root + "/c/Zelkor/LOG/New/File.txt"},
      {"c:\\Temp\\", root + "/c/Temp/"},
      {"c:/Zelkor//log", root + "/c/Zelkor/LOG"},
      {"D:\\Data\\x.art", root + "/d/Data/x.art"},
      {"c:", root + "/c/"},
      {"c:\\", root + "/c/"},
      {"\\Temp", root + "/c/Temp"},                            // from the drive root: drive c
      {"/tmp/x", "/tmp/x"},                                    // Linux paths untouched
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MapDosPath(c.in), c.out) << c.in;
  // A Linux path with a backslash (a folder name joined to "\name") is treated as DOS-style.
  EXPECT_EQ(MapDosPath(root + "/C/\\zelkor\\log"), root + "/c/Zelkor/LOG");
  // The drive folder exists once used, like a drive.
  EXPECT_TRUE(fs::is_directory(root + "/d"));
  EXPECT_EQ(WindowsDirectory(), root + "/c/Windows");
}

TEST(DosPath, RelativePathsStayRelative) {
  TestEnv env;
  fs::create_directories(env.Path("work/Sub"));
  std::ofstream(env.Path("work/Sub/Name.TXT")) << "x";
  auto old = fs::current_path();
  fs::current_path(env.Path("work"));
  EXPECT_EQ(MapDosPath("sub\\name.txt"), "Sub/Name.TXT");
  EXPECT_EQ(MapDosPath("Zelkor.INI"), "Zelkor.INI");
  EXPECT_EQ(MapDosPath("..\\work\\SUB"), "../work/Sub");
  EXPECT_TRUE(FileExists("SUB\\NAME.txt"));
  fs::current_path(old);
}

TEST(DosPath, FilesAndFolders) {
  TestEnv env;
  EXPECT_FALSE(DirectoryExists("c:\\Zelkor\\Log"));
  EXPECT_FALSE(CreateDir("c:\\Zelkor\\Log"));  // one level only
  EXPECT_TRUE(CreateDir("c:\\Zelkor"));
  EXPECT_FALSE(CreateDir("c:\\ZELKOR"));       // exists already
  EXPECT_TRUE(ForceDirectories("c:\\zelkor\\Log\\A\\B"));
  EXPECT_TRUE(fs::is_directory(env.Path("root/c/Zelkor/Log/A/B")));
  EXPECT_TRUE(ForceDirectories("c:\\Zelkor\\Log"));
  EXPECT_TRUE(DirectoryExists("C:\\ZELKOR\\LOG"));
  EXPECT_FALSE(FileExists("c:\\Zelkor\\Log"));  // a folder is not a file
  std::ofstream(env.Path("root/c/Zelkor/f.txt")) << "x";
  EXPECT_TRUE(FileExists("c:\\zelkor\\F.TXT"));
  EXPECT_FALSE(ForceDirectories("c:\\Zelkor\\f.txt\\sub"));  // a file in the way
  EXPECT_FALSE(ForceDirectories(""));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(env.Dir()));
}

TEST(DosPath, NameParts) {
  struct Case { const char* in; const char* path; const char* name; const char* ext; };
  const Case cases[] = {
      {"c:\\Zelkor\\zelkor.exe", "c:\\Zelkor\\", "zelkor.exe", ".exe"},
      {"/opt/zelkor/bin/zelkor", "/opt/zelkor/bin/", "zelkor", ""},
      {"c:KolvarIzdaja", "c:", "KolvarIzdaja", ""},
      {"Zelkor.INI", "", "Zelkor.INI", ".INI"},
      {"c:\\a.b\\file", "c:\\a.b\\", "file", ""},
      {"c:\\dir\\", "c:\\dir\\", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.in), c.path) << c.in;
    EXPECT_EQ(ExtractFileName(c.in), c.name) << c.in;
    EXPECT_EQ(ExtractFileExt(c.in), c.ext) << c.in;
  }
  EXPECT_EQ(ChangeFileExt("c:\\KolvarIzdaja", ".ART"), "c:\\KolvarIzdaja.ART");
  EXPECT_EQ(ChangeFileExt("c:\\a.b\\x.txt", ".VEN"), "c:\\a.b\\x.VEN");
  EXPECT_EQ(ChangeFileExt("x.txt", ""), "x");
  EXPECT_EQ(IncludeTrailingPathDelimiter("c:\\Temp"), "c:\\Temp\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("c:\\Temp\\"), "c:\\Temp\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
}
