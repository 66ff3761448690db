#include "filecontents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

namespace {

// Read without changing it: setting it to read it would race with other threads creating files.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "Umask:") == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

// Fails the step with the error it had (EIO where it left none).
bool Failed(int err) {
  errno = err ? err : EIO;
  return false;
}

}  // namespace

TFileReplacement::TFileReplacement(std::string Path, std::optional<mode_t> Mode)
    : FPath(std::move(Path)), FMode(Mode) {}

bool TFileReplacement::Create() {
  Discard();
  mode_t mode;
  struct stat st;
  if (FMode) mode = *FMode;
  else if (stat(FPath.c_str(), &st) == 0) mode = st.st_mode & 07777;
  else mode = 0666 & ~CurrentUmask();
  const auto slash = FPath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : FPath.substr(0, slash + 1);
  std::string tmp = folder + "." + FPath.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  FFd = fd;
  FTemp = std::move(tmp);
  if (fchmod(fd, mode) != 0) {
    const int err = errno;
    Discard();
    return Failed(err);
  }
  return true;
}

bool TFileReplacement::Write(const char* Data, size_t Size) {
  size_t done = 0;
  while (done < Size) {
    const ssize_t n = write(FFd, Data + done, Size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed(n < 0 ? errno : 0);
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TFileReplacement::Commit(const char** Step) {
  const auto fail = [&](const char* step) {
    if (Step) *Step = step;
    return Failed(errno);
  };
  if (fsync(FFd) != 0) return fail("write");
  const int fd = FFd;
  FFd = -1;
  if (close(fd) != 0) return fail("close");
  if (rename(FTemp.c_str(), FPath.c_str()) != 0) return fail("replace");
  FTemp.clear();
  return true;
}

void TFileReplacement::Discard() noexcept {
  if (FFd >= 0) close(FFd);
  FFd = -1;
  if (!FTemp.empty()) unlink(FTemp.c_str());
  FTemp.clear();
}

std::string ReplaceFileContents(const std::string& path, const std::string& data, std::optional<mode_t> mode) {
  TFileReplacement file(path, mode);
  if (!file.Create()) return std::string("the folder is not writable (") + std::strerror(errno) + ")";
  if (file.Write(data.data(), data.size()) && file.Commit()) return {};
  const int err = errno;
  file.Discard();
  return std::strerror(err);
}

std::string FollowLinks(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out = real;
  std::free(real);
  return out;
}

TFileRead ReadFileContents(const std::string& path, std::string& data) {
  data.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? TFileRead::Missing : TFileRead::Failed;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      close(fd);
      errno = e;
      return TFileRead::Failed;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return TFileRead::Read;
}
