#pragma once
// Whole-file reads, and whole-file replacement that leaves the old file as it was when any step fails.
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

// A file written beside its target and renamed over it only when whole: until Commit succeeds
// the target keeps its contents, and Discard (or the destructor) removes what was written. Path
// must name the real file, not a link to it. A step that fails answers false with errno set.
class TFileReplacement {
public:
  // Mode: the new file's mode; without one, the mode of the file it replaces, or 0666 less the
  // umask for a new file.
  explicit TFileReplacement(std::string Path, std::optional<mode_t> Mode = std::nullopt);
  ~TFileReplacement() { Discard(); }
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // Creates the temporary file, under a name nobody can foresee.
  bool Create();
  bool Write(const char* Data, size_t Size);
  // Syncs and closes the file and renames it over the target; Step tells which of "write",
  // "close" or "replace" failed.
  bool Commit(const char** Step = nullptr);
  void Discard() noexcept;

private:
  std::string FPath;
  std::optional<mode_t> FMode;
  std::string FTemp;
  int FFd = -1;
};

// The whole of data in place of path through a TFileReplacement. Returns an empty text on
// success, else why it failed; the temporary file is gone either way.
std::string ReplaceFileContents(const std::string& path, const std::string& data,
                                std::optional<mode_t> mode = std::nullopt);
// The file that path names after following symbolic links; path itself while it does not exist.
std::string FollowLinks(const std::string& path);

enum class TFileRead { Read, Missing, Failed };
// Reads the whole file into data. Missing: no such file (or a path through a non-folder).
// Failed: it exists but cannot be read; errno tells why.
TFileRead ReadFileContents(const std::string& path, std::string& data);
