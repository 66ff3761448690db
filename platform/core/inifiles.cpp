#include "inifiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "cp1250.h"
#include "dospath.h"
#include "filecontents.h"
#include "text.h"

namespace {

struct TLine {
  std::string raw;   // the line's bytes as in the file, without the line end
  std::string text;  // the same as UTF-8
  std::string eol;   // "\r\n", "\n" or "" (last line without one)
  enum Kind { Other, Section, Key } kind = Other;
  std::string name;   // section or key name, trimmed
  std::string value;  // raw text after '=' (keys)
};

struct TIniText {
  bool exists = false;
  bool cp1250 = false;  // a file that is not valid UTF-8: carried over from the Windows program
  std::string bom;
  std::vector<TLine> lines;
  std::string NewLine() const {
    for (const auto& l : lines)
      if (!l.eol.empty()) return l.eol;
    return "\n";
  }
};

void Classify(TLine& l) {
  std::string t = Trim(l.text);
  l.kind = TLine::Other;
  if (t.empty() || t[0] == ';') return;
  if (t[0] == '[') {
    auto close = t.find(']');
    if (close != std::string::npos) {
      l.kind = TLine::Section;
      l.name = Trim(t.substr(1, close - 1));
    }
    return;
  }
  auto eq = l.text.find('=');
  if (eq == std::string::npos) return;
  std::string key = Trim(l.text.substr(0, eq));
  if (key.empty()) return;
  l.kind = TLine::Key;
  l.name = key;
  l.value = l.text.substr(eq + 1);
}

std::string CleanValue(const std::string& raw) {
  std::string v = Trim(raw);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  return v;
}

// Sets a line from the bytes it has in the file.
void SetRaw(const TIniText& ini, TLine& l, std::string raw) {
  l.raw = std::move(raw);
  l.text = ini.cp1250 ? Cp1250ToUtf8(l.raw) : l.raw;
  Classify(l);
}

TIniText Parse(const std::string& data) {
  TIniText ini;
  ini.exists = true;
  ini.cp1250 = !IsValidUtf8(data);
  size_t i = 0;
  if (!ini.cp1250 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    ini.bom = data.substr(0, 3);
    i = 3;
  }
  while (i < data.size()) {
    TLine l;
    std::string raw;
    auto nl = data.find('\n', i);
    if (nl == std::string::npos) {
      raw = data.substr(i);
      i = data.size();
    } else {
      size_t end = nl;
      if (end > i && data[end - 1] == '\r') --end;
      raw = data.substr(i, end - i);
      l.eol = data.substr(end, nl + 1 - end);
      i = nl + 1;
    }
    SetRaw(ini, l, std::move(raw));
    ini.lines.push_back(std::move(l));
  }
  return ini;
}

// Reads the file; nullopt when it exists but cannot be read (errno kept).
std::optional<TIniText> Load(const std::string& path) {
  std::string data;
  switch (ReadFileContents(path, data)) {
    case TFileRead::Missing: return TIniText{};
    case TFileRead::Failed: return std::nullopt;
    case TFileRead::Read: break;
  }
  return Parse(data);
}

std::string Serialize(const TIniText& ini) {
  std::string out = ini.bom;
  for (const auto& l : ini.lines) out += l.raw + l.eol;
  return out;
}

// [begin, end) line ranges of every section with that name, in file order.
std::vector<std::pair<size_t, size_t>> FindSections(const TIniText& ini, const std::string& section) {
  std::vector<std::pair<size_t, size_t>> out;
  std::string want = Trim(section);
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    if (ini.lines[i].kind != TLine::Section || !AnsiSameText(ini.lines[i].name, want)) continue;
    size_t j = i + 1;
    while (j < ini.lines.size() && ini.lines[j].kind != TLine::Section) ++j;
    out.push_back({i, j});
  }
  return out;
}

const TLine* FindKey(const TIniText& ini, const std::string& section, const std::string& ident) {
  auto secs = FindSections(ini, section);
  if (secs.empty()) return nullptr;
  std::string want = Trim(ident);
  for (size_t i = secs[0].first + 1; i < secs[0].second; ++i)
    if (ini.lines[i].kind == TLine::Key && AnsiSameText(ini.lines[i].name, want)) return &ini.lines[i];
  return nullptr;
}

std::string Describe(const std::string& name, const std::string& path) {
  return name == path ? "\"" + name + "\"" : "\"" + name + "\" (" + path + ")";
}

bool IsBareName(const std::string& name) { return name.find_first_of("\\/:") == std::string::npos; }

}  // namespace

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}

std::string TIniFile::MappedFileName() const {
  if (IsBareName(FFileName)) return MapDosPath("c:\\Windows\\" + FFileName);
  return MapDosPath(FFileName);
}

namespace {

TIniText LoadForRead(const std::string& path) {
  auto ini = Load(path);
  return ini ? std::move(*ini) : TIniText{};
}

[[noreturn]] void WriteFailed(const std::string& name, const std::string& path, const std::string& why) {
  throw EIniFileException("Cannot write the INI file " + Describe(name, path) + ": " + why);
}

// Loads for a change: a file that exists but cannot be read must not be overwritten.
TIniText LoadForWrite(const std::string& name, const std::string& path) {
  auto ini = Load(path);
  if (!ini) WriteFailed(name, path, std::string("it cannot be read (") + std::strerror(errno) + ")");
  return std::move(*ini);
}

void Save(const std::string& name, const std::string& mapped, const TIniText& ini) {
  // Write through a symbolic link to the file it names.
  const std::string path = FollowLinks(mapped);
  auto slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    WriteFailed(name, mapped, "the folder \"" + dir + "\" does not exist");
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) WriteFailed(name, mapped, "it is a folder");
    if (access(path.c_str(), W_OK) != 0) WriteFailed(name, mapped, "the file is read-only");
  }
  const std::string failed = ReplaceFileContents(path, Serialize(ini));
  if (!failed.empty()) WriteFailed(name, mapped, failed);
}

void CheckName(const std::string& what, const std::string& s, bool key) {
  if (Trim(s).empty()) throw EIniFileException("The INI " + what + " name is empty");
  if (s.find_first_of("\r\n") != std::string::npos || (key && s.find('=') != std::string::npos) ||
      (!key && s.find(']') != std::string::npos))
    throw EIniFileException("The INI " + what + " name \"" + s + "\" contains a character that the file cannot hold");
}

}  // namespace

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const {
  TIniText ini = LoadForRead(MappedFileName());
  const TLine* l = FindKey(ini, Section, Ident);
  return l ? CleanValue(l->value) : Default;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  CheckName("section", Section, false);
  CheckName("key", Ident, true);
  if (Value.find_first_of("\r\n") != std::string::npos)
    throw EIniFileException("The value of INI key \"" + Ident + "\" contains a line break");
  if (IsBareName(FFileName)) ForceDirectories(WindowsDirectory());
  std::string path = MappedFileName();
  TIniText ini = LoadForWrite(FFileName, path);
  // Everything the write adds, in the file's own encoding, before anything changes.
  auto encode = [&](const std::string& text) {
    if (!ini.cp1250) return text;
    std::string raw;
    if (!TryUtf8ToCp1250(text, raw))
      WriteFailed(FFileName, path, "it is in Windows-1250, which has no form for a character of \"" + text + "\"");
    return raw;
  };
  std::string nl = ini.NewLine();
  std::string key = Trim(Ident);
  const std::string rawValue = encode(Value);
  const std::string rawKeyLine = encode(key + "=" + Value);
  auto newLine = [&](const std::string& raw) {
    TLine l;
    SetRaw(ini, l, raw);
    l.eol = nl;
    return l;
  };
  auto secs = FindSections(ini, Section);
  if (!secs.empty()) {
    auto [begin, end] = secs[0];
    for (size_t i = begin + 1; i < end; ++i) {
      TLine& l = ini.lines[i];
      if (l.kind == TLine::Key && AnsiSameText(l.name, key)) {
        size_t keep = l.raw.find('=') + 1;
        while (keep < l.raw.size() && (l.raw[keep] == ' ' || l.raw[keep] == '\t')) ++keep;
        SetRaw(ini, l, l.raw.substr(0, keep) + rawValue);
        Save(FFileName, path, ini);
        return;
      }
    }
    size_t at = end;
    while (at > begin + 1 && Trim(ini.lines[at - 1].text).empty()) --at;
    if (ini.lines[at - 1].eol.empty()) ini.lines[at - 1].eol = nl;
    ini.lines.insert(ini.lines.begin() + static_cast<long>(at), newLine(rawKeyLine));
  } else {
    const std::string rawSection = encode("[" + Trim(Section) + "]");
    if (!ini.lines.empty()) {
      if (ini.lines.back().eol.empty()) ini.lines.back().eol = nl;
      if (!Trim(ini.lines.back().text).empty()) ini.lines.push_back(newLine(""));
    }
    ini.lines.push_back(newLine(rawSection));
    ini.lines.push_back(newLine(rawKeyLine));
  }
  Save(FFileName, path, ini);
}

long TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, long Default) const {
  std::string s = ReadString(Section, Ident, "");
  if (s.empty()) return Default;
  int base = 10;
  std::string digits = s;
  bool neg = false;
  if (digits[0] == '-' || digits[0] == '+') {
    neg = digits[0] == '-';
    digits = digits.substr(1);
  }
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) base = 16, digits = digits.substr(2);
  else if (digits.size() > 1 && digits[0] == '$') base = 16, digits = digits.substr(1);
  if (digits.empty() || digits.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
    return Default;
  errno = 0;
  unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
  if (errno == ERANGE) return Default;
  if (base == 16 && !neg && v <= 0xFFFFFFFFull && v > static_cast<unsigned long long>(LONG_MAX)) return Default;
  if (neg) {
    if (v > static_cast<unsigned long long>(LONG_MAX) + 1) return Default;
    return v == static_cast<unsigned long long>(LONG_MAX) + 1 ? LONG_MIN : -static_cast<long>(v);
  }
  if (v > static_cast<unsigned long long>(LONG_MAX)) return Default;
  return static_cast<long>(v);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, long Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

namespace {

// The lines of one kind in [begin, end), each name once: the first line that has it.
std::vector<const TLine*> DistinctNames(const TIniText& ini, size_t begin, size_t end, TLine::Kind kind) {
  std::vector<const TLine*> out;
  for (size_t i = begin; i < end; ++i) {
    const TLine& l = ini.lines[i];
    if (l.kind != kind) continue;
    bool seen = false;
    for (const TLine* o : out) seen = seen || AnsiSameText(o->name, l.name);
    if (!seen) out.push_back(&l);
  }
  return out;
}

// The keys of the first section of that name, each once.
std::vector<const TLine*> DistinctKeys(const TIniText& ini, const std::string& section) {
  auto secs = FindSections(ini, section);
  if (secs.empty()) return {};
  return DistinctNames(ini, secs[0].first + 1, secs[0].second, TLine::Key);
}

}  // namespace

void TIniFile::ReadSection(const std::string& Section, TStrings& Strings) const {
  Strings.Clear();
  const TIniText ini = LoadForRead(MappedFileName());
  for (const TLine* l : DistinctKeys(ini, Section)) Strings.Add(l->name);
}

void TIniFile::ReadSections(TStrings& Strings) const {
  Strings.Clear();
  const TIniText ini = LoadForRead(MappedFileName());
  for (const TLine* l : DistinctNames(ini, 0, ini.lines.size(), TLine::Section)) Strings.Add(l->name);
}

void TIniFile::ReadSectionValues(const std::string& Section, TStrings& Strings) const {
  Strings.Clear();
  const TIniText ini = LoadForRead(MappedFileName());
  for (const TLine* l : DistinctKeys(ini, Section)) Strings.Add(l->name + "=" + CleanValue(l->value));
}

void TIniFile::EraseSection(const std::string& Section) {
  std::string path = MappedFileName();
  TIniText ini = LoadForWrite(FFileName, path);
  auto secs = FindSections(ini, Section);
  if (secs.empty()) return;
  for (auto it = secs.rbegin(); it != secs.rend(); ++it)
    ini.lines.erase(ini.lines.begin() + static_cast<long>(it->first), ini.lines.begin() + static_cast<long>(it->second));
  Save(FFileName, path, ini);
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  std::string path = MappedFileName();
  TIniText ini = LoadForWrite(FFileName, path);
  auto secs = FindSections(ini, Section);
  if (secs.empty()) return;
  std::string want = Trim(Ident);
  bool changed = false;
  for (size_t i = secs[0].second; i-- > secs[0].first + 1;) {
    if (ini.lines[i].kind == TLine::Key && AnsiSameText(ini.lines[i].name, want)) {
      ini.lines.erase(ini.lines.begin() + static_cast<long>(i));
      changed = true;
    }
  }
  if (changed) Save(FFileName, path, ini);
}

bool TIniFile::SectionExists(const std::string& Section) const {
  return !FindSections(LoadForRead(MappedFileName()), Section).empty();
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return FindKey(LoadForRead(MappedFileName()), Section, Ident) != nullptr;
}
