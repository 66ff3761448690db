#include "childprocess.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

extern char** environ;

namespace {

constexpr const char* kJobVar = "ZELKOR_ENGINE_CHILD";
constexpr char kSep = '\x1f';

std::map<std::string, TChildJob>& Jobs() {
  static std::map<std::string, TChildJob> jobs;
  return jobs;
}

// Runs before any test, after every static object is ready; in a child it never returns.
class ChildJobRunner : public ::testing::Environment {
public:
  void SetUp() override {
    const char* spec = getenv(kJobVar);
    if (!spec) return;
    std::vector<std::string> parts;
    std::string cur;
    for (const char* p = spec;; ++p) {
      if (*p == kSep || *p == 0) {
        parts.push_back(cur);
        cur.clear();
        if (*p == 0) break;
      } else {
        cur += *p;
      }
    }
    int rc = 99;
    auto it = Jobs().find(parts[0]);
    if (it == Jobs().end()) {
      fprintf(stderr, "unknown child job %s\n", parts[0].c_str());
    } else {
      try {
        rc = it->second(std::vector<std::string>(parts.begin() + 1, parts.end()));
      } catch (const std::exception& e) {
        fprintf(stderr, "child job %s failed: %s\n", parts[0].c_str(), e.what());
        rc = 98;
      }
    }
    fflush(stdout);
    fflush(stderr);
    exit(rc);
  }
};

const bool registered = [] {
  ::testing::AddGlobalTestEnvironment(new ChildJobRunner);
  return true;
}();

}  // namespace

bool RegisterChildJob(const std::string& Name, TChildJob Job) {
  Jobs()[Name] = std::move(Job);
  return true;
}

pid_t StartChild(const std::string& Name, const std::vector<std::string>& Args) {
  std::string spec = std::string(kJobVar) + "=" + Name;
  for (const auto& a : Args) spec += kSep + a;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind(std::string(kJobVar) + "=", 0) != 0) env.push_back(*e);
  env.push_back(spec);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
    // The environment set-up that runs the job only happens when some test is to run.
  std::string exe = "/proc/self/exe", filter = "--gtest_filter=ChildProcess.ReportsTheJobsExitCode";
  char* argv[] = {exe.data(), filter.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data());
  if (rc != 0) throw std::runtime_error("cannot start a child process");
  return pid;
}

int WaitChild(pid_t Pid) {
  int status = 0;
  if (waitpid(Pid, &status, 0) != Pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunChild(const std::string& Name, const std::vector<std::string>& Args) {
  return WaitChild(StartChild(Name, Args));
}

namespace {
const bool jobExit = RegisterChildJob("exit", [](const std::vector<std::string>& a) { return std::stoi(a[0]); });
}

TEST(ChildProcess, ReportsTheJobsExitCode) {
  EXPECT_EQ(RunChild("exit", {"7"}), 7);
  EXPECT_EQ(RunChild("exit", {"0"}), 0);
  EXPECT_NE(RunChild("no-such-job", {}), 0);
}
