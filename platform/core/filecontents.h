#pragma once
// Whole-file reads, and whole-file replacement that leaves the old file as it was when any step fails.
#include <sys/types.h>

#include <string>

// Writes data to a temporary file beside path, gives it mode, syncs it and renames it over
// path (path must name the real file, not a link to it). Returns an empty text on success,
// else why it failed; the temporary file is gone either way.
std::string ReplaceFileContents(const std::string& path, const std::string& data, mode_t mode);
// The file that path names after following symbolic links; path itself while it does not exist.
std::string FollowLinks(const std::string& path);

enum class TFileRead { Read, Missing, Failed };
// Reads the whole file into data. Missing: no such file (or a path through a non-folder).
// Failed: it exists but cannot be read; errno tells why.
TFileRead ReadFileContents(const std::string& path, std::string& data);
