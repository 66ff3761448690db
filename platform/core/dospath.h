#pragma once
// DOS-style paths on Linux. Drive letters map to folders under one root:
//   root  = $ZELKOR_ROOT, else $XDG_DATA_HOME/zelkor/root, else ~/.local/share/zelkor/root
//   "c:\ZelkorError"   -> "<root>/c/ZelkorError"   (drive letter lower-cased)
//   "\Temp"            -> "<root>/c/Temp"          (a path from the drive root means drive c)
//   "Sub\File.txt"     -> "Sub/File.txt"           (relative paths stay relative)
//   "/tmp/x"           -> "/tmp/x"                 (Linux absolute paths without '\' unchanged)
// Backslashes become slashes, and each component is matched case-insensitively against the
// entries that exist ("ZelkorError.DB" finds an existing "ZELKORERROR.db"); an exact match
// wins, then the first case-insensitive match in byte order; from the first component that does
// not exist on, the rest is kept as written. A drive folder behaves like a drive: it is created
// under the root the first time a path on it is mapped.
// The Windows folder is "c:\Windows" (mapped: "<root>/c/Windows"); bare INI file names resolve
// there.
#include <string>

// The folder that holds the drive folders (no trailing slash).
std::string ZelkorRoot();
std::string MapDosPath(const std::string& path);
// The mapped Windows folder (no trailing slash).
std::string WindowsDirectory();

// Filesystem helpers; all accept DOS-style or Linux paths and map them first.
bool FileExists(const std::string& fileName);      // an existing non-folder entry
bool DirectoryExists(const std::string& dir);
bool CreateDir(const std::string& dir);            // one level; false when it fails or exists
bool ForceDirectories(const std::string& dir);     // every missing level; true when it exists after

// Text-only helpers (no mapping). '\', '/' and the drive colon are all delimiters.
std::string ExtractFilePath(const std::string& fileName);  // up to and incl. the last delimiter
std::string ExtractFileName(const std::string& fileName);  // after the last delimiter
std::string ExtractFileExt(const std::string& fileName);   // ".ext" of the name part, or empty
std::string ChangeFileExt(const std::string& fileName, const std::string& ext);
// Appends '\' to a DOS-style path (one with '\' or a drive) and '/' to others, unless present.
std::string IncludeTrailingPathDelimiter(const std::string& path);
