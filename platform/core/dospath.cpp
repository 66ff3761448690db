#include "dospath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "text.h"

namespace {

std::string EnvOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

bool HasDrive(const std::string& p) {
  return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z'));
}

std::vector<std::string> SplitComponents(const std::string& s) { return SplitNonEmpty(s, "\\/"); }

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of folder dir that matches name: name itself when it exists, else the first entry in
// byte order that equals it ignoring case; empty when none does.
std::string MatchEntry(const std::string& dir, const std::string& name) {
  std::string base = dir.empty() ? std::string(".") : dir;
  std::string prefix = dir.empty() ? std::string() : (dir.back() == '/' ? dir : dir + "/");
  if (EntryExists(prefix + name)) return name;
  DIR* d = opendir(base.c_str());
  if (!d) return {};
  std::string best;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (AnsiSameText(n, name) && (best.empty() || n < best)) best = n;
  }
  closedir(d);
  return best;
}

// Joins components onto base, matching each against what exists while the parent exists.
std::string Resolve(std::string base, const std::vector<std::string>& parts, bool trailing) {
  bool matching = true;
  for (const auto& part : parts) {
    std::string name = part;
    if (matching && part != "." && part != "..") {
      std::string found = MatchEntry(base, part);
      if (found.empty()) matching = false;
      else name = found;
    }
    if (!base.empty() && base.back() != '/') base += '/';
    base += name;
  }
  if (trailing && !base.empty() && base.back() != '/') base += '/';
  return base;
}

}  // namespace

std::string ZelkorRoot() {
  std::string root = EnvOr("ZELKOR_ROOT");
  if (root.empty()) {
    std::string data = EnvOr("XDG_DATA_HOME");
    if (data.empty()) data = EnvOr("HOME") + "/.local/share";
    root = data + "/zelkor/root";
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string MapDosPath(const std::string& path) {
  if (path.empty()) return path;
  bool hasBackslash = path.find('\\') != std::string::npos;
  if (path[0] == '/' && !hasBackslash) return path;
  bool trailing = IsDelimiter(path.back());
  if (HasDrive(path) || path[0] == '\\') {
    char drive = 'c';
    std::string rest = path;
    if (HasDrive(path)) {
      drive = static_cast<char>(path[0] | 0x20);
      rest = path.substr(2);
    }
    std::string driveDir = ZelkorRoot() + "/" + drive;
    if (!DirectoryExists(driveDir)) ForceDirectories(driveDir);
    std::vector<std::string> parts = SplitComponents(rest);
    return Resolve(driveDir, parts, trailing || parts.empty());
  }
  std::vector<std::string> parts = SplitComponents(path);
  return Resolve(path[0] == '/' ? std::string("/") : std::string(), parts, trailing);
}

std::string WindowsDirectory() {
  std::string dir = MapDosPath("c:\\Windows");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return !fileName.empty() && stat(MapDosPath(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& dir) {
  struct stat st;
  std::string p = dir.empty() ? dir : MapDosPath(dir);
  return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& dir) {
  if (dir.empty()) return false;
  return mkdir(MapDosPath(dir).c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::string p = MapDosPath(dir);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (stat(p.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string::size_type slash = p.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!ForceDirectories(p.substr(0, slash))) return false;
  }
  return mkdir(p.c_str(), 0777) == 0 || (errno == EEXIST && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

namespace {
std::string::size_type LastDelimiter(const std::string& s) { return s.find_last_of("\\/:"); }
}  // namespace

std::string ExtractFilePath(const std::string& fileName) {
  auto i = LastDelimiter(fileName);
  return i == std::string::npos ? std::string() : fileName.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& fileName) {
  auto i = LastDelimiter(fileName);
  return i == std::string::npos ? fileName : fileName.substr(i + 1);
}

std::string ExtractFileExt(const std::string& fileName) {
  auto i = fileName.find_last_of("\\/:.");
  if (i == std::string::npos || fileName[i] != '.') return {};
  return fileName.substr(i);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& ext) {
  auto i = fileName.find_last_of("\\/:.");
  if (i == std::string::npos || fileName[i] != '.') return fileName + ext;
  return fileName.substr(0, i) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && IsDelimiter(path.back())) return path;
  bool dos = HasDrive(path) || path.find('\\') != std::string::npos;
  return path + (dos ? '\\' : '/');
}
