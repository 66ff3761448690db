#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "classes.h"
#include "dospath.h"
#include "inifiles.h"
#include "testenv.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::vector<std::string> Items(const TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i) out.push_back(s[i]);
  return out;
}

const char* kSample =
    "; settings\r\n"
    "[Program]\r\n"
    "SQLTrace = T \r\n"
    "Podjetje=\"  Carinska d.o.o. \"\r\n"
    "Quoted='single'\r\n"
    "Mixed=\"left'\r\n"
    "; keep me\r\n"
    "Dup=first\r\n"
    "dup=second\r\n"
    "Število=čšž\r\n"
    "\r\n"
    "[program]\r\n"
    "Later=hidden\r\n"
    "\r\n"
    "[Kolvar]\r\n"
    "StevPrenosaIzd=7\r\n";

}  // namespace

TEST(IniFile, ReadsLikeAPrivateProfile) {
  TestEnv env;
  std::string path = env.Path("a.ini");
  WriteAll(path, kSample);
  TIniFile ini(path);
  struct Case { const char* section; const char* key; const char* expected; };
  const Case cases[] = {
      {"Program", "SQLTrace", "T"},                 // trimmed
      {"PROGRAM", "sqltrace", "T"},                 // names ignore case
      {" Program ", " SQLTrace ", "T"},
      {"Program", "Podjetje", "  Carinska d.o.o. "},  // one pair of quotes removed, inside kept
      {"Program", "Quoted", "single"},
      {"Program", "Mixed", "\"left'"},              // unmatched quotes stay
      {"Program", "DUP", "first"},                  // first match wins
      {"Program", "Later", "<default>"},            // a second section of that name is not read
      {"Program", "število", "čšž"},                // non-ASCII names ignore case too
      {"Program", "Missing", "<default>"},
      {"Nowhere", "SQLTrace", "<default>"},
      {"Kolvar", "StevPrenosaIzd", "7"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected) << c.section << "/" << c.key;

  EXPECT_EQ(ini.ReadInteger("Kolvar", "StevPrenosaIzd", 1), 7);
  EXPECT_EQ(ini.ReadInteger("Program", "SQLTrace", 42), 42);
  EXPECT_TRUE(ini.SectionExists("KOLVAR"));
  EXPECT_FALSE(ini.SectionExists("None"));
  EXPECT_TRUE(ini.ValueExists("program", "dup"));
  EXPECT_FALSE(ini.ValueExists("Program", "Later"));

  TStringList keys, sections, values;
  ini.ReadSection("Program", keys);
  EXPECT_EQ(Items(keys), (std::vector<std::string>{"SQLTrace", "Podjetje", "Quoted", "Mixed", "Dup", "Število"}));
  ini.ReadSections(sections);
  EXPECT_EQ(Items(sections), (std::vector<std::string>{"Program", "Kolvar"}));
  ini.ReadSectionValues("Kolvar", values);
  EXPECT_EQ(Items(values), (std::vector<std::string>{"StevPrenosaIzd=7"}));
}

TEST(IniFile, MissingFileGivesDefaults) {
  TestEnv env;
  TIniFile ini(env.Path("none.ini"));
  EXPECT_EQ(ini.ReadString("Program", "SQLTrace", "F"), "F");
  EXPECT_EQ(ini.ReadInteger("Kolvar", "StevPrenosaIzd", 1), 1);
  EXPECT_TRUE(ini.ReadBool("A", "B", true));
  EXPECT_FALSE(ini.SectionExists("Program"));
  TStringList s;
  s.Add("stale");
  ini.ReadSections(s);
  EXPECT_EQ(s.Count(), 0);
  EXPECT_FALSE(FileExists(env.Path("none.ini")));  // reading creates nothing
}

TEST(IniFile, IntegersAndBooleans) {
  TestEnv env;
  std::string path = env.Path("n.ini");
  WriteAll(path, "[N]\nhex=0x1F\ndollar=$10\nneg=-12\nplus=+3\nbad=12a\nempty=\nbig=99999999999999999999999\nyes=1\nno=0\n");
  TIniFile ini(path);
  struct Case { const char* key; long expected; };
  for (auto c : {Case{"hex", 31}, Case{"dollar", 16}, Case{"neg", -12}, Case{"plus", 3}, Case{"bad", -1},
                 Case{"empty", -1}, Case{"big", -1}, Case{"none", -1}})
    EXPECT_EQ(ini.ReadInteger("N", c.key, -1), c.expected) << c.key;
  EXPECT_TRUE(ini.ReadBool("N", "yes", false));
  EXPECT_FALSE(ini.ReadBool("N", "no", true));
  ini.WriteInteger("N", "w", -5);
  ini.WriteBool("N", "b", true);
  EXPECT_EQ(ini.ReadString("N", "w", ""), "-5");
  EXPECT_EQ(ini.ReadString("N", "b", ""), "1");
}

TEST(IniFile, WritesKeepEveryOtherLineByteForByte) {
  TestEnv env;
  std::string path = env.Path("a.ini");
  WriteAll(path, kSample);
  TIniFile ini(path);
  ini.WriteString("program", "sqltrace", "F");         // in place, key spelling and spacing kept
  ini.WriteString("Program", "New", "x");              // after the section's last non-blank line
  ini.WriteString("Kolvar", "StevPrenosaIzd", "9");
  ini.WriteString("Database", "DataSource", "SQLITE"); // new section at the end
  EXPECT_EQ(ReadAll(path),
            "; settings\r\n"
            "[Program]\r\n"
            "SQLTrace = F\r\n"
            "Podjetje=\"  Carinska d.o.o. \"\r\n"
            "Quoted='single'\r\n"
            "Mixed=\"left'\r\n"
            "; keep me\r\n"
            "Dup=first\r\n"
            "dup=second\r\n"
            "Število=čšž\r\n"
            "New=x\r\n"
            "\r\n"
            "[program]\r\n"
            "Later=hidden\r\n"
            "\r\n"
            "[Kolvar]\r\n"
            "StevPrenosaIzd=9\r\n"
            "\r\n"
            "[Database]\r\n"
            "DataSource=SQLITE\r\n");
  ini.WriteString("Program", "Dup", "changed");  // the first of two duplicates
  EXPECT_EQ(ini.ReadString("Program", "Dup", ""), "changed");
  EXPECT_NE(ReadAll(path).find("dup=second\r\n"), std::string::npos);
}

TEST(IniFile, WriteCreatesFileAndSectionWithLfLines) {
  TestEnv env;
  std::string path = env.Path("new.ini");
  TIniFile ini(path);
  ini.WriteString("Kolvar", "KljucIzdOD", "00000000000");
  ini.WriteString("Kolvar", "FileNameIzd", "c:\\KolvarIzdaja");
  ini.WriteString("Program", "Podjetje", "Šped d.o.o.");
  EXPECT_EQ(ReadAll(path),
            "[Kolvar]\nKljucIzdOD=00000000000\nFileNameIzd=c:\\KolvarIzdaja\n\n[Program]\nPodjetje=Šped d.o.o.\n");
  EXPECT_EQ(ini.ReadString("kolvar", "filenameizd", ""), "c:\\KolvarIzdaja");
  // A new file gets the usual mode for the process's umask.
  for (mode_t mask : {022, 077}) {
    mode_t old = umask(mask);
    std::string p = env.Path("m" + std::to_string(mask) + ".ini");
    TIniFile(p).WriteString("A", "b", "c");
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << mask;
    umask(old);
  }
}

TEST(IniFile, FileWithoutFinalLineEndAndBom) {
  TestEnv env;
  std::string path = env.Path("b.ini");
  WriteAll(path, "\xEF\xBB\xBF[A]\nx=1");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
  ini.WriteString("A", "y", "2");
  EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF[A]\nx=1\ny=2\n");
}

TEST(IniFile, EraseSectionAndDeleteKey) {
  TestEnv env;
  std::string path = env.Path("a.ini");
  WriteAll(path, "[A]\nx=1\nX=2\ny=3\n\n[B]\nz=1\n[a]\nx=4\n");
  TIniFile ini(path);
  ini.DeleteKey("a", "x");  // every x of the section that reads see
  EXPECT_FALSE(ini.ValueExists("A", "x"));
  EXPECT_EQ(ReadAll(path), "[A]\ny=3\n\n[B]\nz=1\n[a]\nx=4\n");
  ini.EraseSection("A");  // every section of that name
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_EQ(ReadAll(path), "[B]\nz=1\n");
  ini.EraseSection("None");
  ini.DeleteKey("None", "x");
  EXPECT_EQ(ReadAll(path), "[B]\nz=1\n");
}

TEST(IniFile, BareNameLivesInTheWindowsFolder) {
  TestEnv env;
  TIniFile ini("Zelkor.INI");
  EXPECT_EQ(ini.FileName(), "Zelkor.INI");
  ini.WriteString("Program", "SQLTrace", "T");
  EXPECT_EQ(ReadAll(env.Path("root/c/Windows/Zelkor.INI")), "[Program]\nSQLTrace=T\n");
  // Found again whatever the case of its name.
  EXPECT_EQ(TIniFile("ZELKOR.ini").ReadString("program", "sqltrace", ""), "T");
  // A drive path maps under the root.
  TIniFile drive("C:\\WINDOWS\\zelkor.ini");
  EXPECT_EQ(drive.MappedFileName(), env.Path("root/c/Windows/Zelkor.INI"));
}

TEST(IniFile, FailedWritesRaiseAndLoseNothing) {
  TestEnv env;
  {
    TIniFile ini("c:\\NoSuchFolder\\x.ini");
    try {
      ini.WriteString("A", "b", "c");
      FAIL() << "no exception";
    } catch (const EIniFileException& e) {
      EXPECT_NE(e.Message().find("does not exist"), std::string::npos) << e.Message();
    }
  }
  if (geteuid() != 0) {  // root writes anyway
    std::string path = env.Path("ro.ini");
    WriteAll(path, "[A]\nb=1\n");
    chmod(path.c_str(), 0444);
    TIniFile ini(path);
    EXPECT_THROW(ini.WriteString("A", "b", "2"), EIniFileException);
    EXPECT_THROW(ini.EraseSection("A"), EIniFileException);
    chmod(path.c_str(), 0200);  // exists but cannot be read: a write must not replace it
    EXPECT_THROW(ini.WriteString("A", "c", "3"), EIniFileException);
    chmod(path.c_str(), 0644);
    EXPECT_EQ(ReadAll(path), "[A]\nb=1\n");
  }
  {
    // A name that cannot be read (here a folder) is never replaced.
    ASSERT_TRUE(ForceDirectories(env.Path("folder.ini")));
    TIniFile ini(env.Path("folder.ini"));
    EXPECT_EQ(ini.ReadString("A", "b", "d"), "d");
    EXPECT_THROW(ini.WriteString("A", "b", "c"), EIniFileException);
    EXPECT_TRUE(DirectoryExists(env.Path("folder.ini")));
  }
  std::string path = env.Path("ok.ini");
  WriteAll(path, "[A]\nb=1\n");
  TIniFile ini(path);
  // Text that would change the file's structure is refused, not written.
  EXPECT_THROW(ini.WriteString("A", "b", "1\n[Evil]\nx=y"), EIniFileException);
  EXPECT_THROW(ini.WriteString("A", "k=v", "1"), EIniFileException);
  EXPECT_THROW(ini.WriteString("", "k", "1"), EIniFileException);
  EXPECT_THROW(ini.WriteString("A", " ", "1"), EIniFileException);
  EXPECT_EQ(ReadAll(path), "[A]\nb=1\n");
}

TEST(IniFile, WriteKeepsPermissionsAndSymlinks) {
  TestEnv env;
  std::string real = env.Path("real.ini");
  WriteAll(real, "[A]\nb=1\n");
  chmod(real.c_str(), 0640);
  std::string link = env.Path("link.ini");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  TIniFile(link).WriteString("A", "b", "2");
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadAll(real), "[A]\nb=2\n");
}

// A file carried over from the Windows program is in Windows-1250: it reads as text, and a write
// keeps every other line's bytes and adds its own in the same code page.
TEST(IniFile, WindowsCodePageFileStaysInItsCodePage) {
  TestEnv env;
  std::string path = env.Path("cp.ini");
  const std::string original =
      "; nastavitve za \x8Apedicijo\r\n"   // "Špedicijo"
      "[Kolvar]\r\n"
      "FileNameIzd=c:\\Izvoz\\ra\xE8un\r\n"  // "račun"
      "KljucIzdOD=00000000001\r\n"
      "\xC8rka=\x9E\r\n";                     // "Črka=ž"
  WriteAll(path, original);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Kolvar", "FileNameIzd", ""), "c:\\Izvoz\\račun");
  EXPECT_EQ(ini.ReadString("kolvar", "črka", ""), "ž");  // names match as characters too

  ini.WriteString("Kolvar", "FileNameIzd", "c:\\Izvoz\\račun");  // as the window writes it back
  ini.WriteString("Kolvar", "KljucIzdOD", "00000000001");
  EXPECT_EQ(ReadAll(path), original);

  ini.WriteString("Kolvar", "FileNamePre", "c:\\Izvoz\\Šoštanj");
  ini.WriteString("Program", "Podjetje", "Čuk");
  EXPECT_EQ(ReadAll(path), original + "FileNamePre=c:\\Izvoz\\\x8Ao\x9Atanj\r\n\r\n[Program]\r\nPodjetje=\xC8uk\r\n");
  EXPECT_EQ(ini.ReadString("Kolvar", "FileNamePre", ""), "c:\\Izvoz\\Šoštanj");

  // A character the code page has no form for is refused rather than written as "?".
  const std::string before = ReadAll(path);
  EXPECT_THROW(ini.WriteString("Kolvar", "FileNameIzd", "c:\\Izvoz\\→"), EIniFileException);
  EXPECT_THROW(ini.WriteString("Nova → sekcija", "x", "1"), EIniFileException);
  EXPECT_EQ(ReadAll(path), before);

  // A valid UTF-8 file stays UTF-8, whatever the letters.
  std::string utf8 = env.Path("u.ini");
  WriteAll(utf8, "[Kolvar]\nFileNameIzd=c:\\račun\n");
  TIniFile u(utf8);
  u.WriteString("Kolvar", "FileNamePre", "c:\\Šoštanj →");
  EXPECT_EQ(ReadAll(utf8), "[Kolvar]\nFileNameIzd=c:\\račun\nFileNamePre=c:\\Šoštanj →\n");
}
