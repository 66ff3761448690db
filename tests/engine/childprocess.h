#pragma once
// Runs a piece of a test in a separate process: the test binary starts itself again with the
// job's name and arguments in its environment; the child runs the job instead of the tests
// and exits with the job's result (0 = success).
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

using TChildJob = std::function<int(const std::vector<std::string>& Args)>;

// Registers a job under a name (at static initialisation).
bool RegisterChildJob(const std::string& Name, TChildJob Job);

// Starts a child process that runs the job; returns its process id.
pid_t StartChild(const std::string& Name, const std::vector<std::string>& Args);
// Waits for a child; its exit code, or -1 when it did not exit normally.
int WaitChild(pid_t Pid);
// Starts and waits.
int RunChild(const std::string& Name, const std::vector<std::string>& Args);
