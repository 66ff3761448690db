#pragma once
// Private-profile (INI) files, read and written the way Windows does it:
// - section and key names compare case-insensitively (Latin letters) and are trimmed;
// - a value is trimmed, then one pair of matching surrounding quotes (' or ") is removed;
// - the first matching section, and in it the first matching key, wins;
// - a missing file, section or key gives the default; an unreadable file reads as missing;
// - every call reads the file again, so edits by others are seen; every write goes to disk
//   at once (UpdateFile has nothing left to do);
// - a write keeps every other line and comment byte for byte, replaces a value in place,
//   appends a missing key after the section's last non-blank line and a missing section at the
//   end of the file. New files use LF line ends; lines added to an existing file use the line
//   end of its first line. The file is replaced atomically and keeps its permissions.
// - a file that is valid UTF-8 is read as UTF-8 (a byte-order mark is kept), any other as
//   Windows-1250 (files carried over from the Windows program); what a write adds is in the
//   file's own encoding, and a character that Windows-1250 has no form for is refused. A new
//   file is UTF-8.
// The file name is mapped (dospath.h): a bare name (no folder) lives in the Windows folder
// ("c:\Windows", created on the first write), a drive path maps under the root.
// A write that cannot be done raises EIniFileException, so does text that would break the
// file's structure (a line break anywhere, '=' in a key, an empty section or key name).
#include <string>

#include "classes.h"
#include "exceptions.h"
#include "object.h"

class TIniFile : public TObject {
public:
  explicit TIniFile(std::string FileName);
  ZEL_CLASS(TIniFile, TObject)

  const std::string& FileName() const { return FFileName; }
  // The Linux path the name maps to now.
  std::string MappedFileName() const;

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  // Decimal with optional sign, or hexadecimal with "0x" or "$"; anything else gives Default.
  long ReadInteger(const std::string& Section, const std::string& Ident, long Default) const;
  void WriteInteger(const std::string& Section, const std::string& Ident, long Value);
  // A value that reads as a non-zero integer is true; written as "1" / "0".
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

  void ReadSection(const std::string& Section, TStrings& Strings) const;        // key names
  void ReadSections(TStrings& Strings) const;                                    // section names
  void ReadSectionValues(const std::string& Section, TStrings& Strings) const;  // "key=value"
  // Removes every section of that name with all its lines.
  void EraseSection(const std::string& Section);
  // Removes every line of that key in the (first) section.
  void DeleteKey(const std::string& Section, const std::string& Ident);
  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  void UpdateFile() {}

private:
  std::string FFileName;
};
