#include "process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "dospath.h"

extern char** environ;

namespace {

bool IsDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TProcessError Classify(const std::string& path, int err) {
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  int statErr = exists ? 0 : errno;
  switch (err) {
    case ENOENT:
      if (exists) return TProcessError::NotExecutable;  // its interpreter is missing
      [[fallthrough]];
    case ENOTDIR: {
      if (statErr == EACCES) return TProcessError::AccessDenied;
      auto slash = path.find_last_of('/');
      std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
      return err == ENOENT && IsDir(dir) ? TProcessError::FileNotFound : TProcessError::PathNotFound;
    }
    case EACCES:
      if (exists) return TProcessError::NotExecutable;
      return statErr == EACCES ? TProcessError::AccessDenied : TProcessError::PathNotFound;
    case ENOEXEC: case EISDIR: case ELIBBAD: case ETXTBSY: case EPERM:
      return TProcessError::NotExecutable;
    case ENOMEM: case EAGAIN:
      return TProcessError::OutOfResources;
    default:
      return TProcessError::Other;
  }
}

}  // namespace

TProcessResult StartProcess(const std::string& program, const std::vector<std::string>& args) {
  TProcessResult r;
  std::string path = MapDosPath(program);
  if (path.empty()) {
    r.Error = TProcessError::FileNotFound;
    r.ErrorCode = ENOENT;
    return r;
  }
  std::vector<std::string> all;
  all.push_back(path);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  // glibc reports a failed exec of the child here, before returning.
  int err = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
  if (err != 0) {
    r.Error = Classify(path, err);
    r.ErrorCode = err;
    return r;
  }
  r.Error = TProcessError::None;
  r.Pid = pid;
  std::thread([pid] {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return r;
}

unsigned WinExecResult(const TProcessResult& r) {
  switch (r.Error) {
    case TProcessError::None: return 33;
    case TProcessError::FileNotFound: return 2;
    case TProcessError::PathNotFound: return 3;
    case TProcessError::NotExecutable: return 11;
    case TProcessError::AccessDenied: return 5;
    case TProcessError::OutOfResources: return 0;
    case TProcessError::Other: break;
  }
  return 31;
}

namespace {

std::vector<std::string> SplitArgs(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  bool inQuotes = false, have = false;
  for (char c : s) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) out.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) out.push_back(cur);
  return out;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& CmdLine) {
  size_t start = CmdLine.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  std::string line = CmdLine.substr(start);
  std::string program, rest;
  if (line[0] == '"') {
    auto close = line.find('"', 1);
    program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    rest = close == std::string::npos ? std::string() : line.substr(close + 1);
  } else {
    auto firstBlank = line.find_first_of(" \t");
    program = line.substr(0, firstBlank);
    rest = firstBlank == std::string::npos ? std::string() : line.substr(firstBlank);
    // A program path with blanks: the shortest prefix that names an existing file.
    for (auto pos = firstBlank; pos != std::string::npos; pos = line.find_first_of(" \t", pos + 1)) {
      if (FileExists(line.substr(0, pos))) {
        program = line.substr(0, pos);
        rest = line.substr(pos);
        break;
      }
      if (line.find_first_of(" \t", pos + 1) == std::string::npos && FileExists(line)) {
        program = line;
        rest.clear();
        break;
      }
    }
  }
  std::vector<std::string> out{program};
  for (auto& a : SplitArgs(rest)) out.push_back(a);
  return out;
}

unsigned WinExec(const std::string& CmdLine, unsigned ShowMode) {
  (void)ShowMode;
  std::vector<std::string> parts = SplitCommandLine(CmdLine);
  if (parts.empty() || parts[0].empty()) return 2;
  std::vector<std::string> args(parts.begin() + 1, parts.end());
  return WinExecResult(StartProcess(parts[0], args));
}
