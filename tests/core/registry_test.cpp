#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "registry.h"
#include "testenv.h"

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
mode_t ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}
}  // namespace

TEST(Registry, FileLocationFromEnvironment) {
  TestEnv env;
  EXPECT_EQ(RegistryFileName(), env.Path("registry.ini"));
  std::string saved = RegistryFileName();
  unsetenv("ZELKOR_REGISTRY");
  setenv("XDG_CONFIG_HOME", env.Path("cfg").c_str(), 1);
  EXPECT_EQ(RegistryFileName(), env.Path("cfg/zelkor/registry"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryFileName(), env.Dir() + "/.config/zelkor/registry");  // HOME is the test folder
  // The folder is created (private) on the first write.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Test", true));
  EXPECT_EQ(ModeOf(env.Dir() + "/.config/zelkor"), 0700u);
  EXPECT_EQ(ModeOf(env.Dir() + "/.config/zelkor/registry"), 0600u);
  setenv("ZELKOR_REGISTRY", saved.c_str(), 1);
}

TEST(Registry, RoundTripWithModeAndFormat) {
  TestEnv env;
  umask(022);
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey("SOFTWARE\\Brintel\\SQL", false));
    EXPECT_FALSE(reg.KeyExists("SOFTWARE"));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Brintel\\SQL", true));
    EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Brintel\\SQL");
    reg.WriteString("UserName", "zelkor");
    reg.WriteString("Password", "0A1B");
    reg.WriteInteger("Count", -42);
    reg.WriteString("Odd=name[;", "line1\nline2\\end");
  }
  EXPECT_EQ(ModeOf(RegistryFileName()), 0600u);
  EXPECT_EQ(ReadAll(RegistryFileName()),
            "; Registry store of the Zelkor programs.\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brintel]\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brintel\\SQL]\n"
            "UserName=sz:zelkor\n"
            "Password=sz:0A1B\n"
            "Count=dword:-42\n"
            "Odd\\=name\\[\\;=sz:line1\\nline2\\\\end\n");

  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey("software\\BRINTEL\\sql", false));  // paths ignore case
  EXPECT_EQ(reg.ReadString("username"), "zelkor");
  EXPECT_EQ(reg.ReadInteger("COUNT"), -42);
  EXPECT_EQ(reg.ReadString("Odd=name[;"), "line1\nline2\\end");
  EXPECT_TRUE(reg.ValueExists("Password"));
  EXPECT_FALSE(reg.ValueExists("Nothing"));
  EXPECT_EQ(reg.ReadString("Nothing"), "");  // a missing string reads empty
  EXPECT_THROW(reg.ReadInteger("Nothing"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("UserName"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Count"), ERegistryException);
  reg.WriteString("username", "sa");  // replaces, keeps the first spelling
  EXPECT_NE(ReadAll(RegistryFileName()).find("UserName=sz:sa\n"), std::string::npos);
  EXPECT_TRUE(reg.DeleteValue("PASSWORD"));
  EXPECT_FALSE(reg.DeleteValue("Password"));
  EXPECT_FALSE(reg.ValueExists("Password"));
  EXPECT_EQ(ModeOf(RegistryFileName()), 0600u);

  // Other root keys are separate trees.
  TRegistry user;  // HKEY_CURRENT_USER by default
  EXPECT_EQ(user.RootKey(), HKEY_CURRENT_USER);
  EXPECT_FALSE(user.KeyExists("SOFTWARE\\Brintel"));
}

TEST(Registry, RelativeAndAbsoluteOpening) {
  TestEnv env;
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  // Level by level: each open is relative to the key opened before.
  for (const char* level : {"SOFTWARE", "Brintel", "Upgrade"})
    if (!reg.OpenKey(level, false)) {
      ASSERT_TRUE(reg.OpenKey(level, true)) << level;
    }
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Brintel\\Upgrade");
  reg.WriteString("PotDoTempa", "c:\\Temp");
  EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Brintel"));  // from the root
  EXPECT_FALSE(reg.KeyExists("SOFTWARE"));            // relative: ...\Upgrade\SOFTWARE
  reg.CloseKey();
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_TRUE(reg.KeyExists("SOFTWARE\\Brintel\\Upgrade"));
  EXPECT_EQ(reg.ReadString("PotDoTempa"), "");  // no open key
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Brintel\\Upgrade\\", false));
  EXPECT_EQ(reg.ReadString("PotDoTempa"), "c:\\Temp");
  reg.SetRootKey(HKEY_CURRENT_USER);  // closes the key
  EXPECT_FALSE(reg.HasCurrentKey());
}

TEST(Registry, WritesNeedAWritableOpenKey) {
  TestEnv env;
  TRegistry reg;
  EXPECT_THROW(reg.WriteString("x", "y"), ERegistryException);  // nothing open
  ASSERT_TRUE(reg.OpenKey("A\\B", true));
  reg.WriteString("x", "y");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("A\\B"));
  EXPECT_EQ(reg.ReadString("x"), "y");
  EXPECT_THROW(reg.WriteString("x", "z"), ERegistryException);
  EXPECT_THROW(reg.DeleteValue("x"), ERegistryException);
  EXPECT_FALSE(reg.OpenKeyReadOnly("A\\Missing"));
  TRegistry readOnly(KEY_READ);
  EXPECT_FALSE(readOnly.OpenKey("A\\C", true));  // no right to create
  ASSERT_TRUE(readOnly.OpenKey("A\\B", false));
  EXPECT_THROW(readOnly.WriteInteger("n", 1), ERegistryException);
}

TEST(Registry, FailedWritesRaiseAndKeepTheFile) {
  TestEnv env;
  setenv("ZELKOR_REGISTRY", env.Path("missing/deeper/reg").c_str(), 1);
  chmod(env.Dir().c_str(), 0500);
  TRegistry reg;
  if (geteuid() != 0) {
    EXPECT_THROW(reg.OpenKey("A", true), ERegistryException);
  }
  chmod(env.Dir().c_str(), 0700);
  // A store that cannot be read (here a folder) reads as empty and is never replaced.
  std::filesystem::create_directories(env.Path("regdir"));
  setenv("ZELKOR_REGISTRY", env.Path("regdir").c_str(), 1);
  EXPECT_FALSE(reg.KeyExists("A"));
  EXPECT_THROW(reg.OpenKey("A", true), ERegistryException);
  EXPECT_TRUE(std::filesystem::is_directory(env.Path("regdir")));
  setenv("ZELKOR_REGISTRY", env.Path("registry.ini").c_str(), 1);
  ASSERT_TRUE(reg.OpenKey("A", true));
  reg.WriteString("v", "1");
  std::string before = ReadAll(RegistryFileName());
  if (geteuid() != 0) {
    chmod(RegistryFileName().c_str(), 0200);  // cannot be read: must not be replaced
    EXPECT_THROW(reg.WriteString("w", "2"), ERegistryException);
    chmod(RegistryFileName().c_str(), 0400);
    EXPECT_THROW(reg.WriteString("w", "2"), ERegistryException);
    chmod(RegistryFileName().c_str(), 0600);
  }
  EXPECT_EQ(ReadAll(RegistryFileName()), before);
}
