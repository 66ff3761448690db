#pragma once
// Starting programs: no shell, a program path and an argument list. The start is reported
// synchronously (a failed exec is seen by the caller); the new process is not waited for and
// is reaped in the background when it ends, so it never lingers as a zombie.
#include <sys/types.h>

#include <string>
#include <vector>

enum class TProcessError {
  None,            // started
  FileNotFound,    // the folder exists, the file does not
  PathNotFound,    // a folder of the path does not exist (or is not a folder)
  NotExecutable,   // the file exists but cannot be run (no execute permission, not a program,
                   // a folder, a missing script interpreter)
  AccessDenied,    // a folder of the path may not be searched
  OutOfResources,  // no memory or process slots
  Other
};

struct TProcessResult {
  TProcessError Error = TProcessError::Other;
  int ErrorCode = 0;  // errno of the failure, 0 when started
  pid_t Pid = -1;     // the started process
  bool Ok() const { return Error == TProcessError::None; }
};

// Starts program (mapped with MapDosPath; no PATH search) with argv[0] = the mapped path followed
// by args, in the current folder and environment.
TProcessResult StartProcess(const std::string& program, const std::vector<std::string>& args);

// The launch of a DOS-style command line with the Windows result contract: greater than 31 when
// started, else 0 (out of resources), 2 (file not found), 3 (path not found), 11 (not a valid
// program), 5 (access denied) or 31 (any other failure).
// The program is the first word, or a quoted first part; when the unquoted line has blanks,
// ever longer blank-separated prefixes are tried and the first that names an existing file is
// the program. The rest is split at blanks outside double quotes. ShowMode is accepted and
// ignored (there is no window state to pass on).
unsigned WinExec(const std::string& CmdLine, unsigned ShowMode);
unsigned WinExecResult(const TProcessResult& r);
// Splits a command line as WinExec does; the first item is the program as written.
std::vector<std::string> SplitCommandLine(const std::string& CmdLine);

inline constexpr unsigned SW_HIDE = 0;
inline constexpr unsigned SW_SHOWNORMAL = 1;
inline constexpr unsigned SW_SHOW = 5;
