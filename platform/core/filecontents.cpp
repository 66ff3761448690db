#include "filecontents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string ReplaceFileContents(const std::string& path, const std::string& data, mode_t mode) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string tmp = folder + "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return std::string("the folder is not writable (") + std::strerror(errno) + ")";
  bool ok = fchmod(fd, mode) == 0;
  size_t done = 0;
  while (ok && done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  int err = ok ? 0 : errno;
  if (ok && fsync(fd) != 0) ok = false, err = errno;
  if (close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false, err = errno;
  if (ok) return {};
  unlink(tmp.c_str());
  return std::strerror(err ? err : EIO);
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
