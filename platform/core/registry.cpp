#include "registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "filecontents.h"
#include "text.h"

namespace {

std::string EnvOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

struct TRegValue {
  std::string name;
  bool isInt = false;
  std::string text;
  int number = 0;
};

struct TRegKey {
  std::string path;  // full path, root name first
  std::vector<TRegValue> values;
};

using TStore = std::vector<TRegKey>;

const char* RootName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
  }
}

std::string Escape(const std::string& s, bool name) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '=': case '[': case ';':
        if (name) out += '\\';
        out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

// Undoes Escape up to the first unescaped stop character (npos: to the end); pos is left there.
std::string Unescape(const std::string& s, size_t& pos, char stop) {
  std::string out;
  while (pos < s.size() && s[pos] != stop) {
    char c = s[pos++];
    if (c == '\\' && pos < s.size()) {
      char e = s[pos++];
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapePath(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
  return out;
}

std::string UnescapePath(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 'r')) {
      out += s[i + 1] == 'n' ? '\n' : '\r';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

// nullopt: the file exists but cannot be read.
std::optional<TStore> Load() {
  std::string data;
  switch (ReadFileContents(RegistryFileName(), data)) {
    case TFileRead::Missing: return TStore{};
    case TFileRead::Failed: return std::nullopt;
    case TFileRead::Read: break;
  }
  TStore store;
  size_t i = 0;
  while (i < data.size()) {
    size_t nl = data.find('\n', i);
    std::string line = data.substr(i, nl == std::string::npos ? std::string::npos : nl - i);
    i = nl == std::string::npos ? data.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[' && line.back() == ']') {
      store.push_back({UnescapePath(line.substr(1, line.size() - 2)), {}});
      continue;
    }
    if (store.empty()) continue;
    size_t pos = 0;
    TRegValue v;
    v.name = Unescape(line, pos, '=');
    if (pos >= line.size()) continue;
    std::string rest = line.substr(pos + 1);
    if (rest.compare(0, 6, "dword:") == 0) {
      v.isInt = true;
      v.number = static_cast<int>(std::strtol(rest.c_str() + 6, nullptr, 10));
    } else if (rest.compare(0, 3, "sz:") == 0) {
      size_t p = 3;
      v.text = Unescape(rest, p, '\0');
    } else {
      continue;
    }
    store.back().values.push_back(std::move(v));
  }
  return store;
}

[[noreturn]] void Fail(const std::string& why) {
  throw ERegistryException("Cannot write the registry file \"" + RegistryFileName() + "\": " + why);
}

TStore LoadForWrite() {
  auto s = Load();
  if (!s) Fail(std::string("it cannot be read (") + std::strerror(errno) + ")");
  return std::move(*s);
}

void MakeFolders(const std::string& dir) {
  if (dir.empty()) return;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return;
  auto slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(dir.substr(0, slash));
  mkdir(dir.c_str(), 0700);
}

void Save(const TStore& store) {
  const std::string file = FollowLinks(RegistryFileName());
  auto slash = file.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
  MakeFolders(dir);
  struct stat st;
  if (stat(file.c_str(), &st) == 0 && access(file.c_str(), W_OK) != 0) Fail("the file is read-only");
  std::string data = "; Registry store of the Zelkor programs.\n";
  for (const auto& k : store) {
    data += "[" + EscapePath(k.path) + "]\n";
    for (const auto& v : k.values)
      data += Escape(v.name, true) + "=" + (v.isInt ? "dword:" + std::to_string(v.number) : "sz:" + Escape(v.text, false)) + "\n";
  }
  const std::string failed = ReplaceFileContents(file, data, 0600);
  if (!failed.empty()) Fail(failed);
}

std::vector<std::string> Split(const std::string& path) { return SplitNonEmpty(path, "\\"); }

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "\\") + p;
  return out;
}

bool StartsWithPath(const std::string& key, const std::string& prefix) {
  return key.size() > prefix.size() && key[prefix.size()] == '\\' && AnsiSameText(key.substr(0, prefix.size()), prefix);
}

TRegKey* FindKey(TStore& store, const std::string& full) {
  for (auto& k : store)
    if (AnsiSameText(k.path, full)) return &k;
  return nullptr;
}

bool Exists(const TStore& store, const std::string& full) {
  if (full.find('\\') == std::string::npos) return true;  // a root key
  for (const auto& k : store)
    if (AnsiSameText(k.path, full) || StartsWithPath(k.path, full)) return true;
  return false;
}

TRegValue* FindValue(TStore& store, const std::string& full, const std::string& name) {
  TRegKey* k = FindKey(store, full);
  if (!k) return nullptr;
  for (auto& v : k->values)
    if (AnsiSameText(v.name, name)) return &v;
  return nullptr;
}

std::string FullPath(HKEY root, const std::string& path) {
  const char* r = RootName(root);
  std::string s = r ? r : "HKEY_" + std::to_string(root);
  return path.empty() ? s : s + "\\" + path;
}

}  // namespace

std::string RegistryFileName() {
  std::string f = EnvOr("ZELKOR_REGISTRY");
  if (!f.empty()) return f;
  std::string cfg = EnvOr("XDG_CONFIG_HOME");
  if (cfg.empty()) cfg = EnvOr("HOME") + "/.config";
  return cfg + "/zelkor/registry";
}

void TRegistry::SetRootKey(HKEY Value) {
  CloseKey();
  FRootKey = Value;
}

std::string TRegistry::Resolve(const std::string& Key) const {
  std::string rel = Join(Split(Key));
  bool absolute = !Key.empty() && Key[0] == '\\';
  if (absolute || !FOpen || FCurrentPath.empty()) return rel;
  return rel.empty() ? FCurrentPath : FCurrentPath + "\\" + rel;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
  std::string path = Resolve(Key);
  std::string full = FullPath(FRootKey, path);
  auto store = Load();
  bool exists = store && Exists(*store, full);
  if (!exists) {
    if (!CanCreate || (FAccess & KEY_CREATE_SUB_KEY) == 0) return false;
    TStore s = LoadForWrite();
    std::vector<std::string> parts = Split(path);
    std::string level = FullPath(FRootKey, "");
    for (const auto& p : parts) {
      level += "\\" + p;
      if (!FindKey(s, level)) s.push_back({level, {}});
    }
    Save(s);
  }
  FOpen = true;
  FWritable = (FAccess & KEY_SET_VALUE) != 0;
  FCurrentPath = path;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
  std::string path = Resolve(Key);
  auto store = Load();
  if (!store || !Exists(*store, FullPath(FRootKey, path))) return false;
  FOpen = true;
  FWritable = false;
  FCurrentPath = path;
  return true;
}

void TRegistry::CloseKey() {
  FOpen = false;
  FWritable = false;
  FCurrentPath.clear();
}

bool TRegistry::KeyExists(const std::string& Key) const {
  auto store = Load();
  return store && Exists(*store, FullPath(FRootKey, Resolve(Key)));
}

bool TRegistry::ValueExists(const std::string& Name) const {
  if (!FOpen) return false;
  auto store = Load();
  return store && FindValue(*store, FullPath(FRootKey, FCurrentPath), Name);
}

std::string TRegistry::ReadString(const std::string& Name) const {
  if (!FOpen) return {};
  auto store = Load();
  if (!store) return {};
  TRegValue* v = FindValue(*store, FullPath(FRootKey, FCurrentPath), Name);
  if (!v) return {};
  if (v->isInt) throw ERegistryException("Invalid data type for '" + Name + "'");
  return v->text;
}

int TRegistry::ReadInteger(const std::string& Name) const {
  auto store = FOpen ? Load() : std::nullopt;
  TRegValue* v = store ? FindValue(*store, FullPath(FRootKey, FCurrentPath), Name) : nullptr;
  if (!v) throw ERegistryException("Value '" + Name + "' does not exist");
  if (!v->isInt) throw ERegistryException("Invalid data type for '" + Name + "'");
  return v->number;
}

namespace {
void SetValue(HKEY root, const std::string& path, bool open, bool writable, const std::string& name,
              const TRegValue& value) {
  if (!open || !writable) throw ERegistryException("Failed to set data for '" + name + "': no key is open for writing");
  TStore s = LoadForWrite();
  std::string full = FullPath(root, path);
  TRegKey* k = FindKey(s, full);
  if (!k) {
    s.push_back({full, {}});
    k = &s.back();
  }
  TRegValue* v = nullptr;
  for (auto& x : k->values)
    if (AnsiSameText(x.name, name)) v = &x;
  if (v) {
    std::string keep = v->name;
    *v = value;
    v->name = keep;
  } else {
    k->values.push_back(value);
  }
  Save(s);
}
}  // namespace

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  TRegValue v;
  v.name = Name;
  v.text = Value;
  SetValue(FRootKey, FCurrentPath, FOpen, FWritable, Name, v);
}

void TRegistry::WriteInteger(const std::string& Name, int Value) {
  TRegValue v;
  v.name = Name;
  v.isInt = true;
  v.number = Value;
  SetValue(FRootKey, FCurrentPath, FOpen, FWritable, Name, v);
}

bool TRegistry::DeleteValue(const std::string& Name) {
  if (!FOpen) return false;
  if (!FWritable) throw ERegistryException("Failed to delete '" + Name + "': the key is open read-only");
  TStore s = LoadForWrite();
  TRegKey* k = FindKey(s, FullPath(FRootKey, FCurrentPath));
  if (!k) return false;
  for (auto it = k->values.begin(); it != k->values.end(); ++it) {
    if (AnsiSameText(it->name, Name)) {
      k->values.erase(it);
      Save(s);
      return true;
    }
  }
  return false;
}
