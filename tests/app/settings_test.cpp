#include <sys/stat.h>

#include <cstdint>

#include "apptest.h"
#include "cp1250.h"
#include "text.h"
#include "version.h"

namespace {

// The scheme's scrambler, the inverse of Decrypt: the key runs on the scrambled byte.
std::string Scramble(const std::string& clear, std::uint16_t key) {
  std::string out = clear;
  for (size_t i = 0; i < clear.size(); ++i) {
    auto c = static_cast<unsigned char>(static_cast<unsigned char>(clear[i]) ^ (key >> 8));
    out[i] = static_cast<char>(c);
    key = static_cast<std::uint16_t>((key + c) * 18731u + 27509u);
  }
  return out;
}

std::string ToHex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// What the demo's scrambler prints for a password (its standard output, line end dropped).
std::string DemoScramble(const std::string& clear) {
  const std::string script =
      (std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "tools" / "demo" / "scramble_password.sh")
          .lexically_normal()
          .string();
  int status = 0;
  std::string text = OutputOfChild(
      [&](int Out) {
        dup2(Out, STDOUT_FILENO);
        execl("/bin/bash", "bash", script.c_str(), clear.c_str(), static_cast<char*>(nullptr));
        _exit(127);
      },
      &status);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "<exit " + std::to_string(status) + ">";
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

class Settings : public AppFixture {
protected:
  // Start-up with a small program file of build 40 as argv[0] and, when given, an INI file.
  void StartWith(const char* ini = nullptr) {
    Program = MapDosPath("c:\\Prog\\Zelkor.exe");
    std::filesystem::create_directories(std::filesystem::path(Program).parent_path());
    WriteVersionRecordFile(Program, 1, 2, 3, 40);
    Argv = {Program.c_str()};
    if (ini) Argv.push_back(ini);
    SetProgramParams(int(Argv.size()), Argv.data());
    ReadProgramSettings();
  }
  std::string Program;
  std::vector<const char*> Argv;
};

TEST_F(Settings, NothingConfiguredGivesTheDefaults) {
  StartWith();
  EXPECT_EQ(ParamStr(0), Program);
  EXPECT_EQ(ProgramBuildNo, "40");
  EXPECT_EQ(IniFileName, "Zelkor.INI");
  ASSERT_TRUE(IniFile);
  EXPECT_EQ(IniFile->FileName(), "Zelkor.INI");
  EXPECT_EQ(DbUserName, "sa");
  EXPECT_EQ(DbPassword, "");
  EXPECT_FALSE(SqlTraceOn);
  EXPECT_EQ(FormatSettings().DateSeparator, '/');
  EXPECT_EQ(LogFolder, "c:\\Zelkor\\Log");
  EXPECT_TRUE(DirectoryExists("c:\\Zelkor\\Log"));
  EXPECT_TRUE(LogRows().empty());
  // The credentials key is made on the way, in a file only its owner can read.
  struct stat st {};
  ASSERT_EQ(stat(Env.Path("registry.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(r.KeyExists("SOFTWARE\\Brintel\\SQL"));
}

TEST_F(Settings, FirstArgumentNamesTheIniFile) {
  WriteFile(MapDosPath("c:\\Cfg\\Mine.ini"),
            "[Program]\nDateSeparator=.\nSQLTrace=T\nFillUpdateLogDir=c:\\Logs\n");
  StartWith("c:\\Cfg\\Mine.ini");
  EXPECT_EQ(IniFileName, "c:\\Cfg\\Mine.ini");
  EXPECT_EQ(FormatSettings().DateSeparator, '.');
  EXPECT_TRUE(SqlTraceOn);
  EXPECT_EQ(LogFolder, "c:\\Logs");
  EXPECT_TRUE(DirectoryExists("c:\\Logs"));
}

TEST_F(Settings, OnlyCapitalTSwitchesTheTraceOn) {
  struct Case { const char* ini; bool on; };
  const Case cases[] = {
      {"[Program]\nSQLTrace=T\n", true},     {"[Program]\nSQLTrace=t\n", false},
      {"[Program]\nSQLTrace=True\n", false}, {"[Program]\nSQLTrace=F\n", false},
      {"[Program]\nSQLTrace=\n", false},     {"[Other]\nSQLTrace=T\n", false},
  };
  for (const Case& c : cases) {
    WriteFile(MapDosPath("c:\\Cfg\\Trace.ini"), c.ini);
    SqlTraceOn = !c.on;
    StartWith("c:\\Cfg\\Trace.ini");
    EXPECT_EQ(SqlTraceOn, c.on) << c.ini;
  }
}

TEST_F(Settings, DateSeparatorTakesTheFirstCharacterOrKeepsTheCurrentOne) {
  struct Case { const char* ini; char expected; };
  const Case cases[] = {
      {"[Program]\nDateSeparator=.\n", '.'},
      {"[Program]\nDateSeparator=-x\n", '-'},
      {"[Program]\nDateSeparator=\n", '/'},   // empty value
      {"[Program]\n", '/'},                   // no key
      {"[Program]\nDateSeparator=č\n", '/'},  // no one-byte form
  };
  for (const Case& c : cases) {
    FormatSettings().DateSeparator = '/';
    WriteFile(MapDosPath("c:\\Cfg\\Date.ini"), c.ini);
    StartWith("c:\\Cfg\\Date.ini");
    EXPECT_EQ(FormatSettings().DateSeparator, c.expected) << c.ini;
  }
}

TEST_F(Settings, IniRoutinesIgnoreAnEmptySectionOrKey) {
  UseIni("[S]\nK=v\n=w\n");
  EXPECT_EQ(GetStringFromIniFile("S", "K", "d"), "v");
  EXPECT_EQ(GetStringFromIniFile("S", "Missing", "d"), "d");
  EXPECT_EQ(GetStringFromIniFile("S", "", "d"), "");
  EXPECT_EQ(GetStringFromIniFile("", "K", "d"), "");

  WriteStringToIniFile("S", "", "x");
  WriteStringToIniFile("", "K", "x");
  WriteStringToIniFile("T", "New", "1");
  EXPECT_EQ(GetStringFromIniFile("S", "K", ""), "v");
  EXPECT_EQ(GetStringFromIniFile("T", "New", ""), "1");
  EXPECT_TRUE(LogRows().empty());
}

TEST_F(Settings, IniFailuresAreLoggedAndGiveNothing) {
  UseIni("[S]\nK=v\n");
  WriteStringToIniFile("S", "K", "two\nlines");  // would break the file
  EXPECT_EQ(GetStringFromIniFile("S", "K", ""), "v");
  IniFile.reset();
  EXPECT_EQ(GetStringFromIniFile("S", "K", "d"), "");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["Operation"], "WriteStringToIniFile");
  EXPECT_EQ(rows[0]["ExceptObject"], "EIniFileException");
  EXPECT_EQ(rows[0]["SenderName"], "TApplication");
  EXPECT_EQ(rows[1]["Operation"], "GetStringFromIniFile");
}

TEST_F(Settings, ReadRegistryStringFallsBackToTheDefault) {
  RegistryObject->SetRootKey(HKEY_LOCAL_MACHINE);
  SetRegistryString("SOFTWARE\\Brintel\\Upgrade", "PotDoTempa", "c:\\Novo");
  {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey("SOFTWARE\\Brintel\\Upgrade", true));
    r.WriteInteger("Number", 7);
  }
  EXPECT_EQ(ReadRegistryString("SOFTWARE\\Brintel\\Upgrade", "PotDoTempa", "d"), "c:\\Novo");
  EXPECT_EQ(ReadRegistryString("SOFTWARE\\Brintel\\Upgrade", "Missing", "d"), "d");
  EXPECT_EQ(ReadRegistryString("SOFTWARE\\Brintel\\Upgrade", "Number", "d"), "d");  // not a string
  EXPECT_EQ(ReadRegistryString("SOFTWARE\\Nobody", "PotDoTempa", "d"), "d");
  EXPECT_FALSE(TRegistry().KeyExists("SOFTWARE\\Nobody"));
  EXPECT_TRUE(LogRows().empty());
}

TEST_F(Settings, StoredPasswordIsDescrambled) {
  const std::string clear = "Geslo-čž 1";
  SetRegistryString("SOFTWARE\\Brintel\\SQL", "UserName", "prenos");
  SetRegistryString("SOFTWARE\\Brintel\\SQL", "Password", ToHex(Scramble(clear, 23417)));
  std::string user, password;
  ASSERT_TRUE(GetUserNameAndPassword(user, password));
  EXPECT_EQ(user, "prenos");
  EXPECT_EQ(password, clear);
  // Lower-case digits read the same.
  SetRegistryString("SOFTWARE\\Brintel\\SQL", "Password", LowerCase(ToHex(Scramble(clear, 23417))));
  ASSERT_TRUE(GetUserNameAndPassword(user, password));
  EXPECT_EQ(password, clear);
}

// Passwords scrambled by the Windows tooling are in the ANSI code page; the demo's scrambler
// works on the UTF-8 bytes of its argument. Both descramble to the same text.
TEST_F(Settings, NonAsciiPasswordsFromWindowsToolingAndFromTheDemoScrambler) {
  const std::string clear = "Geslo-čž 1";
  struct Case { const char* from; std::string stored; };
  const Case cases[] = {
      {"Windows-1250", ToHex(Scramble(Utf8ToCp1250(clear), 23417))},
      {"UTF-8", ToHex(Scramble(clear, 23417))},
      {"demo scrambler", DemoScramble(clear)},
  };
  for (const Case& c : cases) {
    SetRegistryString("SOFTWARE\\Brintel\\SQL", "Password", c.stored);
    std::string user, password;
    ASSERT_TRUE(GetUserNameAndPassword(user, password)) << c.from;
    EXPECT_EQ(password, clear) << c.from << ": " << c.stored;
  }
  EXPECT_EQ(DemoScramble("Demo-geslo"), ToHex(Scramble("Demo-geslo", 23417)));
  EXPECT_TRUE(LogRows().empty());
}

TEST_F(Settings, OddStoredLengthsRoundToEvenPairCounts) {
  struct Case { const char* stored; std::string bytes; };
  const Case cases[] = {
      {"", ""},
      {"4", ""},                   // half a pair rounds to none
      {"414", std::string("\x41\x04")},   // 1.5 pairs: the last character alone
      {"41424", std::string("\x41\x42")}, // 2.5 pairs: the last character ignored
      {"4142434", std::string("\x41\x42\x43\x04")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeHexPassword(c.stored, 23417), Decrypt(c.bytes, 23417)) << c.stored;
  EXPECT_EQ(DecodeHexPassword("414", 23417).size(), 2u);
  EXPECT_EQ(DecodeHexPassword("41424", 23417).size(), 2u);
}

TEST_F(Settings, DecryptWorksOnTheLengthModulo256) {
  EXPECT_EQ(Decrypt("", 23417), "");
  std::string b256(256, '\x5A');
  EXPECT_EQ(Decrypt(b256, 23417), b256);
  std::string b257(257, '\x5A');
  std::string out = Decrypt(b257, 23417);
  EXPECT_EQ(out[0], static_cast<char>(0x5A ^ (23417 >> 8)));
  EXPECT_EQ(out.substr(1), b257.substr(1));
  // The key runs on the scrambled input bytes.
  EXPECT_EQ(Decrypt(Scramble("abc", 23417), 23417), "abc");
}

TEST_F(Settings, NonHexadecimalPairFailsAndIsLogged) {
  SetRegistryString("SOFTWARE\\Brintel\\SQL", "Password", "41zz42");
  std::string user = "x", password = "y";
  EXPECT_FALSE(GetUserNameAndPassword(user, password));
  EXPECT_EQ(user, "sa");  // read before the failing step
  EXPECT_EQ(password, "");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Operation"], "GetUserNameAndPassword");
  EXPECT_EQ(rows[0]["ExceptObject"], "EConvertError");
  EXPECT_EQ(rows[0]["SenderName"], "TApplication");
  EXPECT_EQ(rows[0]["Error"], "'$zz' is not a valid integer value");
  EXPECT_EQ(rows[0]["BuildNo"], "");  // nothing has read the program's build yet

  // At start-up the row says which build wrote it.
  StartWith();
  EXPECT_EQ(DbUserName, "sa");
  EXPECT_EQ(DbPassword, "");
  rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]["Operation"], "GetUserNameAndPassword");
  EXPECT_EQ(rows[1]["BuildNo"], "40");

  // A sign or a blank is not a hexadecimal digit either.
  for (const char* stored : {"-1", " 1", "4+"})
    EXPECT_THROW(DecodeHexPassword(stored, 23417), EConvertError) << stored;
}

TEST_F(Settings, UnusableRegistryIsLoggedAndLeavesTheCredentialsEmpty) {
  UnusableRegistry unusable(Env.Path("registry-folder"));
  std::string user = "x", password = "y";
  EXPECT_FALSE(GetUserNameAndPassword(user, password));
  EXPECT_EQ(user, "");
  EXPECT_EQ(password, "");
  auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["Operation"], "GetUserNameAndPassword");
  EXPECT_EQ(rows[0]["ExceptObject"], "ERegistryException");
  // Reading alone never fails: the default.
  EXPECT_EQ(ReadRegistryString("SOFTWARE\\Brintel\\SQL", "UserName", "sa"), "sa");
}
