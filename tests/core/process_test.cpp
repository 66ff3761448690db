#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "dospath.h"
#include "process.h"
#include "testenv.h"

namespace fs = std::filesystem;

namespace {

void WriteScript(const std::string& path, const std::string& body, mode_t mode = 0755) {
  std::ofstream(path) << body;
  chmod(path.c_str(), mode);
}

bool WaitFor(const std::function<bool()>& cond) {
  for (int i = 0; i < 500; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return cond();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The process is gone from the process table (exited and reaped).
bool Gone(pid_t pid) { return !fs::exists("/proc/" + std::to_string(pid)); }

}  // namespace

TEST(Process, StartsWithoutAShellAndIsReaped) {
  TestEnv env;
  std::string script = env.Path("root/c/Upgrade/RazuVorivur.EXE");
  fs::create_directories(env.Path("root/c/Upgrade"));
  std::string marker = env.Path("marker");
  WriteScript(script, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + marker + "'\n");
  // Arguments arrive as given: no shell splits or expands them.
  TProcessResult r = StartProcess("c:\\upgrade\\razuvorivur.exe", {"/L", "a b", "$HOME", "*"});
  ASSERT_TRUE(r.Ok()) << r.ErrorCode;
  EXPECT_GT(r.Pid, 0);
  ASSERT_TRUE(WaitFor([&] { return ReadAll(marker).size() > 0 && ReadAll(marker).back() == '|'; }));
  EXPECT_EQ(ReadAll(marker), "/L|a b|$HOME|*|");
  EXPECT_TRUE(WaitFor([&] { return Gone(r.Pid); })) << "left as a zombie";
}

TEST(Process, FailureReasons) {
  TestEnv env;
  fs::create_directories(env.Path("dir"));
  WriteScript(env.Path("plain.txt"), "not a program\n", 0644);
  WriteScript(env.Path("noshebang"), "echo hi\n", 0755);
  WriteScript(env.Path("badinterp"), "#!/no/such/shell\n", 0755);
  struct Case { std::string program; TProcessError error; unsigned winExec; };
  const Case cases[] = {
      {env.Path("missing"), TProcessError::FileNotFound, 2},
      {env.Path("nodir/prog"), TProcessError::PathNotFound, 3},
      {env.Path("plain.txt/prog"), TProcessError::PathNotFound, 3},
      {"c:\\NoSuchFolder\\RazuVorivur.EXE", TProcessError::PathNotFound, 3},
      {env.Path("plain.txt"), TProcessError::NotExecutable, 11},
      {env.Path("noshebang"), TProcessError::NotExecutable, 11},
      {env.Path("badinterp"), TProcessError::NotExecutable, 11},
      {env.Path("dir"), TProcessError::NotExecutable, 11},
  };
  for (const auto& c : cases) {
    TProcessResult r = StartProcess(c.program, {});
    EXPECT_EQ(r.Error, c.error) << c.program << " errno " << r.ErrorCode;
    EXPECT_NE(r.ErrorCode, 0) << c.program;
    EXPECT_EQ(WinExecResult(r), c.winExec) << c.program;
  }
}

TEST(Process, WinExecCommandLines) {
  TestEnv env;
  fs::create_directories(env.Path("root/c/My Programs"));
  std::string marker = env.Path("marker");
  WriteScript(env.Path("root/c/My Programs/Up.EXE"),
              "#!/bin/sh\nprintf '%s|' \"$@\" > '" + marker + "'\n");
  EXPECT_EQ(SplitCommandLine("c:\\My Programs\\up.exe /L \"x y\""),
            (std::vector<std::string>{"c:\\My Programs\\up.exe", "/L", "x y"}));
  EXPECT_EQ(SplitCommandLine("  \"c:\\a b\\c.exe\" /L"), (std::vector<std::string>{"c:\\a b\\c.exe", "/L"}));
  EXPECT_EQ(SplitCommandLine("c:\\x\\prog.exe /L"), (std::vector<std::string>{"c:\\x\\prog.exe", "/L"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());

  EXPECT_GT(WinExec("c:\\My Programs\\Up.EXE /L", SW_SHOW), 31u);
  ASSERT_TRUE(WaitFor([&] { return ReadAll(marker) == "/L|"; })) << ReadAll(marker);
  // The program folder with its trailing delimiter, then "\name": the doubled delimiter works.
  fs::remove(marker);
  EXPECT_GT(WinExec(env.Path("root/c/My Programs/") + "\\Up.EXE /L", SW_SHOW), 31u);
  ASSERT_TRUE(WaitFor([&] { return ReadAll(marker) == "/L|"; })) << ReadAll(marker);

  EXPECT_EQ(WinExec("c:\\My Programs\\Missing.EXE /L", SW_SHOW), 2u);
  EXPECT_EQ(WinExec("c:\\Nowhere\\RazuVorivur.EXE /L", SW_SHOW), 3u);
  EXPECT_EQ(WinExec("", SW_SHOW), 2u);
}
