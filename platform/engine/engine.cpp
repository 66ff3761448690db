#include "engine.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <thread>

#include "engineimpl.h"
#include "text.h"

namespace fs = std::filesystem;

namespace engine_impl {

constexpr int kApplicationId = 0x5A4C4B54;
constexpr int kFormatVersion = 1;
int gDefaultBusyMs = 30000;
std::atomic<std::uint64_t> gWrites{0};

// --- text ---------------------------------------------------------------------------------

// Decodes one character; a byte that does not start a valid sequence stands for itself.
char32_t NextChar(const unsigned char* s, size_t n, size_t& i) {
  unsigned char b = s[i];
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len <= 1 || i + len > n) { ++i; return b; }
  char32_t c = b & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) { ++i; return b; }
    c = (c << 6) | (s[i + k] & 0x3F);
  }
  i += len;
  return c;
}

// Order of the engine's case-insensitive indexes. It is part of the file format (the order
// of index entries on disk depends on it), so it lives here and never changes. Letters fold
// to lower case (ASCII, Latin-1, Latin Extended-A) and the Slovenian letters sort after their
// base letter: c č ć d đ ... s š t ... z ž. Other characters follow in code order.
uint32_t SortWeight(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z' ? c + 32 : c) * 4;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c += 32;
  else if (c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) c |= 1;
  else if (c >= 0x139 && c <= 0x148) c = (c & 1) ? c + 1 : c;
  else if (c >= 0x14A && c <= 0x177) c |= 1;
  else if (c == 0x178) c = 0xFF;
  else if (c >= 0x179 && c <= 0x17E) c = (c & 1) ? c + 1 : c;
  switch (c) {
    case 0x10D: return 'c' * 4 + 1;  // č
    case 0x107: return 'c' * 4 + 2;  // ć
    case 0x111: return 'd' * 4 + 1;  // đ
    case 0x161: return 's' * 4 + 1;  // š
    case 0x17E: return 'z' * 4 + 1;  // ž
    default: return 0x200 + uint32_t(c);
  }
}

int NoCaseCompare(void*, int n1, const void* p1, int n2, const void* p2) {
  auto* a = static_cast<const unsigned char*>(p1);
  auto* b = static_cast<const unsigned char*>(p2);
  size_t i = 0, j = 0;
  while (i < size_t(n1) && j < size_t(n2)) {
    uint32_t x = SortWeight(NextChar(a, n1, i));
    uint32_t y = SortWeight(NextChar(b, n2, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < size_t(n1)) return 1;
  if (j < size_t(n2)) return -1;
  return 0;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitFields(const std::string& list) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : list + ";") {
    if (c == ';') {
      size_t b = cur.find_first_not_of(' '), e = cur.find_last_not_of(' ');
      if (b != std::string::npos) out.push_back(cur.substr(b, e - b + 1));
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

// --- types --------------------------------------------------------------------------------

constexpr TTypeInfo kTypes[] = {
    {TEngineFieldType::String, "STRING", "TEXT"},      {TEngineFieldType::Smallint, "SMALLINT", "INTEGER"},
    {TEngineFieldType::Integer, "INTEGER", "INTEGER"}, {TEngineFieldType::Word, "WORD", "INTEGER"},
    {TEngineFieldType::Largeint, "LARGEINT", "INTEGER"}, {TEngineFieldType::AutoInc, "AUTOINC", "INTEGER"},
    {TEngineFieldType::Boolean, "BOOLEAN", "INTEGER"}, {TEngineFieldType::Float, "FLOAT", "REAL"},
    {TEngineFieldType::Currency, "CURRENCY", "REAL"},  {TEngineFieldType::BCD, "BCD", "REAL"},
    {TEngineFieldType::Date, "DATE", "REAL"},          {TEngineFieldType::Time, "TIME", "REAL"},
    {TEngineFieldType::DateTime, "DATETIME", "REAL"},  {TEngineFieldType::Bytes, "BYTES", "BLOB"},
    {TEngineFieldType::VarBytes, "VARBYTES", "BLOB"},  {TEngineFieldType::Blob, "BLOB", "BLOB"},
    {TEngineFieldType::Memo, "MEMO", "TEXT"},
};

const TTypeInfo& Info(TEngineFieldType t) {
  for (const auto& i : kTypes)
    if (i.Type == t) return i;
  throw EEngineError("Unknown field type", EEngineError::ecInvalidDefinition);
}

bool IsIntegerType(TEngineFieldType t) {
  switch (t) {
    case TEngineFieldType::Smallint: case TEngineFieldType::Integer: case TEngineFieldType::Word:
    case TEngineFieldType::Largeint: case TEngineFieldType::AutoInc: case TEngineFieldType::Boolean:
      return true;
    default:
      return false;
  }
}
bool IsRealType(TEngineFieldType t) {
  switch (t) {
    case TEngineFieldType::Float: case TEngineFieldType::Currency: case TEngineFieldType::BCD:
    case TEngineFieldType::Date: case TEngineFieldType::Time: case TEngineFieldType::DateTime:
      return true;
    default:
      return false;
  }
}
bool IsBlobType(TEngineFieldType t) {
  return t == TEngineFieldType::Bytes || t == TEngineFieldType::VarBytes || t == TEngineFieldType::Blob;
}
bool IsSized(TEngineFieldType t) {
  return t == TEngineFieldType::String || t == TEngineFieldType::Bytes || t == TEngineFieldType::VarBytes;
}

std::string Column(int field) { return "f" + std::to_string(field + 1); }

// --- sqlite helpers ------------------------------------------------------------------------

std::string SqliteMessage(sqlite3* db, int rc) {
  const char* m = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return m ? m : sqlite3_errstr(rc);
}

}  // namespace engine_impl

using namespace engine_impl;


namespace engine_impl {

int BusyNap(void* context, int count) {
  auto* w = static_cast<TEngineBusyWait*>(context);
  auto now = std::chrono::steady_clock::now();
  if (count == 0) w->Since = now;
  if (now - w->Since >= std::chrono::milliseconds(w->Ms)) return 0;
  std::this_thread::sleep_for(std::chrono::microseconds(200 + 100 * (count % 8)));
  return 1;
}

sqlite3* OpenDb(const std::string& path, int flags, TEngineBusyWait* wait) {
  sqlite3* db = nullptr;
  // A connection serves one thread (the user interface), so SQLite need not lock its mutex on
  // every call.
  int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = SqliteMessage(db, rc);
    sqlite3_close(db);
    if (rc == SQLITE_CANTOPEN && !fs::exists(path))
      throw EEngineError("Table does not exist: " + path, EEngineError::ecTableNotFound);
    throw EEngineError("Cannot open table " + path + ": " + msg);
  }
  sqlite3_extended_result_codes(db, 0);
  sqlite3_busy_handler(db, BusyNap, wait);
  sqlite3_create_collation(db, EngineCollationName, SQLITE_UTF8, nullptr, NoCaseCompare);
  return db;
}

void ExecOn(sqlite3* db, const std::string& sql, const std::string& path) {
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
      throw EEngineError("Table is locked by another user: " + path, EEngineError::ecBusy);
    if (rc == SQLITE_NOTADB)
      throw EEngineError("Not a table: " + path, EEngineError::ecNotATable);
    throw EEngineError("Table " + path + ": " + msg);
  }
}

std::string Quote(const std::string& s, char quote) {
  std::string out(1, quote);
  for (char c : s) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}

void Validate(const std::vector<TEngineFieldDef>& fields, const std::vector<TEngineIndexDef>& indexes) {
  auto bad = [](const std::string& m) { throw EEngineError(m, EEngineError::ecInvalidDefinition); };
  if (fields.empty()) bad("A table needs at least one field");
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    if (f.Name.empty()) bad("Field " + std::to_string(i + 1) + " has no name");
    Info(f.Type);
    for (size_t j = 0; j < i; ++j)
      if (SameName(fields[j].Name, f.Name)) bad("Duplicate field name: " + f.Name);
    if (IsSized(f.Type) && f.Size <= 0) bad("Field " + f.Name + " needs a size");
    if (f.Size < 0 || f.Precision < 0) bad("Field " + f.Name + " has a negative size or precision");
  }
  int primaries = 0;
  for (size_t i = 0; i < indexes.size(); ++i) {
    const auto& x = indexes[i];
    if (x.Options & eioPrimary) ++primaries;
    if (x.Name.empty() && !(x.Options & eioPrimary)) bad("Index " + std::to_string(i + 1) + " has no name");
    for (size_t j = 0; j < i; ++j)
      if (SameName(indexes[j].Name, x.Name)) bad("Duplicate index name: " + x.Name);
    auto names = SplitFields(x.Fields);
    if (names.empty()) bad("Index " + x.Name + " has no fields");
    for (const auto& n : names) {
      auto it = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return SameName(f.Name, n); });
      if (it == fields.end()) bad("Index " + x.Name + ": no field named " + n);
      if (it->Type == TEngineFieldType::Memo || it->Type == TEngineFieldType::Blob)
        bad("Index " + x.Name + ": field " + n + " cannot be indexed");
    }
  }
  if (primaries > 1) bad("A table has at most one primary index");
}

int FieldPos(const std::vector<TEngineFieldDef>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameName(fields[i].Name, name)) return int(i);
  return -1;
}

// Writes the whole schema into db (inside the caller's transaction).
void BuildSchema(sqlite3* db, const std::string& path, const std::vector<TEngineFieldDef>& fields,
                 const std::vector<TEngineIndexDef>& indexes) {
  std::string sql =
      "PRAGMA application_id=" + std::to_string(kApplicationId) + ";"
      "PRAGMA user_version=" + std::to_string(kFormatVersion) + ";"
      "CREATE TABLE zelkor_fields(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL,"
      " size INTEGER NOT NULL, precision INTEGER NOT NULL, required INTEGER NOT NULL);"
      "CREATE TABLE zelkor_indexes(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, fields TEXT NOT NULL,"
      " options INTEGER NOT NULL);";
  std::string data = "CREATE TABLE data(_recno_ INTEGER PRIMARY KEY AUTOINCREMENT";
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    sql += "INSERT INTO zelkor_fields VALUES(" + std::to_string(i) + "," + Quote(f.Name) + "," +
           Quote(Info(f.Type).Name) + "," + std::to_string(f.Size) + "," + std::to_string(f.Precision) + "," +
           (f.Required ? "1" : "0") + ");";
    data += ", " + Column(int(i)) + " " + Info(f.Type).Affinity;
  }
  sql += data + ");";
  for (size_t i = 0; i < indexes.size(); ++i) {
    const auto& x = indexes[i];
    unsigned opts = x.Options;
    if (opts & eioPrimary) opts |= eioUnique;
    sql += "INSERT INTO zelkor_indexes VALUES(" + std::to_string(i) + "," + Quote(x.Name) + "," +
           Quote(x.Fields) + "," + std::to_string(opts) + ");";
    sql += std::string("CREATE ") + ((opts & eioUnique) ? "UNIQUE " : "") + "INDEX zx" + std::to_string(i) +
           " ON data(";
    auto names = SplitFields(x.Fields);
    for (size_t k = 0; k < names.size(); ++k) {
      if (k) sql += ", ";
      sql += Column(FieldPos(fields, names[k]));
      if (opts & eioCaseInsensitive) sql += std::string(" COLLATE ") + EngineCollationName;
      if (opts & eioDescending) sql += " DESC";
    }
    sql += ");";
  }
  ExecOn(db, sql, path);
}

}  // namespace engine_impl

const char* EngineFieldTypeName(TEngineFieldType t) { return Info(t).Name; }

int EngineCompareText(std::string_view a, std::string_view b) {
  return NoCaseCompare(nullptr, int(a.size()), a.data(), int(b.size()), b.data());
}

std::string EngineTableFileName(const std::string& name) {
  fs::path p(name);
  if (p.has_extension() && p.extension() != ".") return name;
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1) + EngineDefaultExtension;
  return name + EngineDefaultExtension;
}

// --- TEngineTable -----------------------------------------------------------------------

void TEngineTable::SetDefaultBusyTimeout(int ms) { gDefaultBusyMs = ms; }
int TEngineTable::DefaultBusyTimeout() { return gDefaultBusyMs; }

bool TEngineTable::Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void TEngineTable::Create(const std::string& path, const std::vector<TEngineFieldDef>& fields,
                          const std::vector<TEngineIndexDef>& indexes, bool replace) {
  Validate(fields, indexes);
  TEngineBusyWait wait{gDefaultBusyMs, {}};
  auto exists = [] (const std::string& p) { return TEngineTable::Exists(p); };
  if (exists(path)) {
    if (!replace) throw EEngineError("Table already exists: " + path, EEngineError::ecTableExists);
    // Replace in place, in one transaction: SQLite then also deals with any journal the old
    // table left behind.
    sqlite3* db = nullptr;
    bool notADb = false;
    try {
      db = OpenDb(path, SQLITE_OPEN_READWRITE, &wait);
      ExecOn(db, "BEGIN IMMEDIATE", path);
      try {
        std::vector<std::string> drops;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT type, name FROM sqlite_master WHERE type IN ('table','view') "
                               "AND name NOT LIKE 'sqlite_%'", -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW)
          drops.push_back(std::string("DROP ") + (const char*)sqlite3_column_text(st, 0) + " \"" +
                          (const char*)sqlite3_column_text(st, 1) + "\";");
        sqlite3_finalize(st);
        std::string sql;
        for (auto& d : drops) sql += d;
        ExecOn(db, sql, path);
        ExecOn(db, "DELETE FROM sqlite_sequence", path);
      } catch (const EEngineError& e) {
        // sqlite_sequence is missing when the old file had no AUTOINCREMENT table
        if (e.Code() != EEngineError::ecGeneral) throw;
      }
      BuildSchema(db, path, fields, indexes);
      ExecOn(db, "COMMIT", path);
      sqlite3_close_v2(db);
      return;
    } catch (const EEngineError& e) {
      if (db) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
      }
      if (e.Code() != EEngineError::ecNotATable) throw;
      notADb = true;
    }
    if (notADb) {
      std::error_code ec;
      fs::remove(path, ec);
      fs::remove(path + "-journal", ec);
    }
  }

  fs::path target(path);
  if (target.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) throw EEngineError("Cannot create folder " + target.parent_path().string() + ": " + ec.message());
  }
  // Built under a private name, then linked in: the table appears whole or not at all, and
  // link() refuses an existing name atomically, so two creators cannot overwrite each other.
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
  auto cleanup = [&] {
    std::error_code ec;
    fs::remove(tmp, ec);
    fs::remove(tmp + "-journal", ec);
  };
  cleanup();
  sqlite3* db = nullptr;
  try {
    db = OpenDb(tmp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &wait);
    ExecOn(db, "BEGIN", tmp);
    BuildSchema(db, tmp, fields, indexes);
    ExecOn(db, "COMMIT", tmp);
  } catch (...) {
    if (db) sqlite3_close_v2(db);
    cleanup();
    throw;
  }
  sqlite3_close_v2(db);
  // A journal without its table belongs to no one; left there it would be played into ours.
  if (!exists(path)) {
    std::error_code ec;
    fs::remove(path + "-journal", ec);
  }
  if (link(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    cleanup();
    if (err == EEXIST) throw EEngineError("Table already exists: " + path, EEngineError::ecTableExists);
    throw EEngineError("Cannot create table " + path + ": " + std::strerror(err));
  }
  cleanup();
}

TEngineTable::TEngineTable(const std::string& path, bool readOnly, bool exclusive)
    : FPath(path), FReadOnly(readOnly), FExclusive(exclusive),
      FBusyWait(std::make_unique<TEngineBusyWait>(TEngineBusyWait{gDefaultBusyMs, {}})) {
  if (!Exists(path)) throw EEngineError("Table does not exist: " + path, EEngineError::ecTableNotFound);
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw EEngineError("Not a table: " + path, EEngineError::ecNotATable);
  FDb = OpenDb(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, FBusyWait.get());
  try {
    if (exclusive) {
      Exec("PRAGMA locking_mode=EXCLUSIVE");
      // Take the lock now and keep it until the table closes.
      Exec(readOnly ? "SELECT count(*) FROM sqlite_master" : "BEGIN EXCLUSIVE; COMMIT");
    }
    LoadMetadata();
  } catch (...) {
    for (auto& [sql, st] : FStatements) sqlite3_finalize(st);
    FStatements.clear();
    sqlite3_close_v2(FDb);
    FDb = nullptr;
    throw;
  }
}

TEngineTable::~TEngineTable() {
  for (auto& [sql, st] : FStatements) sqlite3_finalize(st);
  sqlite3_close_v2(FDb);
  if (FDeleteOnClose) {
    std::error_code ec;
    fs::remove(FPath, ec);
    fs::remove(FPath + "-journal", ec);
  }
}

void TEngineTable::SetBusyTimeout(int ms) { FBusyWait->Ms = ms; }

void TEngineTable::Fail(const std::string& what, int rc) {
  if (rc == 0) rc = sqlite3_errcode(FDb);
  std::string msg = SqliteMessage(FDb, rc);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
    throw EEngineError("Table is locked by another user: " + FPath, EEngineError::ecBusy);
  if (rc == SQLITE_NOTADB) throw EEngineError("Not a table: " + FPath, EEngineError::ecNotATable);
  if (rc == SQLITE_READONLY) throw EEngineError("Table is read only: " + FPath, EEngineError::ecReadOnly);
  if (rc == SQLITE_CONSTRAINT && msg.find("UNIQUE") != std::string::npos)
    throw EEngineError("Key violation in table " + FPath, EEngineError::ecKeyViolation);
  throw EEngineError(what + " (" + FPath + "): " + msg);
}

void TEngineTable::Exec(const std::string& sql) { ExecOn(FDb, sql, FPath); }

sqlite3_stmt* TEngineTable::Prepare(const std::string& sql) {
  auto it = FStatements.find(sql);
  if (it != FStatements.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(FDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) Fail("Cannot read table", rc);
  FStatements.emplace(sql, st);
  return st;
}

void TEngineTable::LoadMetadata() {
  auto intPragma = [&](const char* sql) {
    sqlite3_stmt* st = Prepare(sql);
    TReset r{st};
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) Fail("Cannot read table", rc);
    return sqlite3_column_int(st, 0);
  };
  if (intPragma("PRAGMA application_id") != kApplicationId)
    throw EEngineError("Not a table: " + FPath, EEngineError::ecNotATable);
  if (intPragma("PRAGMA user_version") > kFormatVersion)
    throw EEngineError("Table " + FPath + " was written by a newer version of the program",
                       EEngineError::ecNotATable);
  {
    sqlite3_stmt* st = Prepare("SELECT name, type, size, precision, required FROM zelkor_fields ORDER BY pos");
    TReset r{st};
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      TEngineFieldDef f;
      f.Name = (const char*)sqlite3_column_text(st, 0);
      std::string type = (const char*)sqlite3_column_text(st, 1);
      bool known = false;
      for (const auto& i : kTypes)
        if (type == i.Name) { f.Type = i.Type; known = true; }
      if (!known) throw EEngineError("Table " + FPath + " has a field of unknown type " + type, EEngineError::ecNotATable);
      f.Size = sqlite3_column_int(st, 2);
      f.Precision = sqlite3_column_int(st, 3);
      f.Required = sqlite3_column_int(st, 4) != 0;
      FFields.push_back(f);
    }
    if (rc != SQLITE_DONE) Fail("Cannot read table", rc);
  }
  {
    sqlite3_stmt* st = Prepare("SELECT name, fields, options FROM zelkor_indexes ORDER BY pos");
    TReset r{st};
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      TEngineIndexDef x;
      x.Name = (const char*)sqlite3_column_text(st, 0);
      x.Fields = (const char*)sqlite3_column_text(st, 1);
      x.Options = unsigned(sqlite3_column_int(st, 2));
      FIndexes.push_back(x);
    }
    if (rc != SQLITE_DONE) Fail("Cannot read table", rc);
  }
  if (FFields.empty()) throw EEngineError("Not a table: " + FPath, EEngineError::ecNotATable);
}

int TEngineTable::FieldIndex(const std::string& name) const { return FieldPos(FFields, name); }

int TEngineTable::IndexIndex(const std::string& name) const {
  for (size_t i = 0; i < FIndexes.size(); ++i)
    if (SameName(FIndexes[i].Name, name)) return int(i);
  return -1;
}

std::string TEngineTable::SelectList() const {
  std::string s = "_recno_";
  for (size_t i = 0; i < FFields.size(); ++i) s += ", " + Column(int(i));
  return s;
}

void TEngineTable::CheckWritable() const {
  if (FReadOnly) throw EEngineError("Table is read only: " + FPath, EEngineError::ecReadOnly);
}

std::vector<TEngineValue> TEngineTable::Normalize(const std::vector<TEngineValue>& values) const {
  if (values.size() != FFields.size())
    throw EEngineError("Table " + FPath + " has " + std::to_string(FFields.size()) + " fields, not " +
                       std::to_string(values.size()));
  std::vector<TEngineValue> out(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const auto& f = FFields[i];
    if (EngineIsNull(values[i]) && f.Required && f.Type != TEngineFieldType::AutoInc)
      throw EEngineError("Field " + f.Name + " must have a value", EEngineError::ecRequiredField);
    out[i] = NormalizeValue(int(i), values[i]);
  }
  return out;
}

TEngineValue TEngineTable::NormalizeValue(int field, const TEngineValue& v) const {
  const auto& f = FFields[size_t(field)];
  auto mismatch = [&] { throw EEngineError("Type mismatch for field " + f.Name); };
  if (EngineIsNull(v)) return v;
  if (IsIntegerType(f.Type)) {
    int64_t n;
    if (auto p = std::get_if<int64_t>(&v)) {
      n = *p;
    } else if (auto d = std::get_if<double>(&v)) {
      if (!std::isfinite(*d) || *d != std::floor(*d) || std::fabs(*d) > 9.2e18)
        throw EEngineError("Value out of range for field " + f.Name, EEngineError::ecValueOutOfRange);
      n = int64_t(*d);
    } else {
      mismatch();
    }
    int64_t lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
    switch (f.Type) {
      case TEngineFieldType::Smallint: lo = -32768; hi = 32767; break;
      case TEngineFieldType::Word: lo = 0; hi = 65535; break;
      case TEngineFieldType::Integer: case TEngineFieldType::AutoInc: lo = INT32_MIN; hi = INT32_MAX; break;
      case TEngineFieldType::Boolean: n = n != 0; break;
      default: break;
    }
    if (n < lo || n > hi)
      throw EEngineError("Value out of range for field " + f.Name, EEngineError::ecValueOutOfRange);
    return n;
  }
  if (IsRealType(f.Type)) {
    double d;
    if (auto p = std::get_if<double>(&v)) d = *p;
    else if (auto n = std::get_if<int64_t>(&v)) d = double(*n);
    else mismatch();
    if (!std::isfinite(d))
      throw EEngineError("Value out of range for field " + f.Name, EEngineError::ecValueOutOfRange);
    return d;
  }
  auto s = std::get_if<std::string>(&v);
  if (!s) mismatch();
  if (f.Type == TEngineFieldType::String) return Utf8Left(*s, size_t(f.Size));
  if (f.Type == TEngineFieldType::Bytes || f.Type == TEngineFieldType::VarBytes) return s->substr(0, size_t(f.Size));
  return *s;
}

void TEngineTable::BindValue(sqlite3_stmt* st, int pos, const TEngineValue& v, int field) const {
  if (auto n = std::get_if<int64_t>(&v)) sqlite3_bind_int64(st, pos, *n);
  else if (auto d = std::get_if<double>(&v)) sqlite3_bind_double(st, pos, *d);
  else if (auto s = std::get_if<std::string>(&v)) {
    if (IsBlobType(FFields[size_t(field)].Type)) sqlite3_bind_blob64(st, pos, s->data(), s->size(), SQLITE_TRANSIENT);
    else sqlite3_bind_text64(st, pos, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else {
    sqlite3_bind_null(st, pos);
  }
}

// Reuses the strings out already holds: a scan reads many rows into one record.
void TEngineTable::ReadRow(sqlite3_stmt* st, TEngineRecord& out) const {
  out.Bookmark = sqlite3_column_int64(st, 0);
  out.Values.resize(FFields.size());
  for (size_t i = 0; i < FFields.size(); ++i) {
    int c = int(i) + 1;
    TEngineValue& v = out.Values[i];
    if (sqlite3_column_type(st, c) == SQLITE_NULL) {
      v = std::monostate{};
      continue;
    }
    TEngineFieldType t = FFields[i].Type;
    if (IsIntegerType(t)) v = int64_t(sqlite3_column_int64(st, c));
    else if (IsRealType(t)) v = sqlite3_column_double(st, c);
    else {
      const void* p = IsBlobType(t) ? sqlite3_column_blob(st, c) : (const void*)sqlite3_column_text(st, c);
      const char* bytes = static_cast<const char*>(p ? p : "");
      const size_t n = size_t(sqlite3_column_bytes(st, c));
      if (auto s = std::get_if<std::string>(&v)) s->assign(bytes, n);
      else v = std::string(bytes, n);
    }
  }
}

bool TEngineTable::ChangeCounter(std::uint32_t& out) const {
  sqlite3_file* f = nullptr;
  if (sqlite3_file_control(FDb, "main", SQLITE_FCNTL_FILE_POINTER, &f) != SQLITE_OK || !f || !f->pMethods) return false;
  unsigned char b[4];
  if (f->pMethods->xRead(f, b, 4, 24) != SQLITE_OK) return false;
  out = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
  return true;
}

int64_t TEngineTable::RecordCount() {
  sqlite3_stmt* st = Prepare("SELECT count(*) FROM data");
  TReset r{st};
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) Fail("Cannot read table", rc);
  return sqlite3_column_int64(st, 0);
}

bool TEngineTable::ReadRecord(TEngineBookmark bm, TEngineRecord& out) {
  sqlite3_stmt* st = Prepare("SELECT " + SelectList() + " FROM data WHERE _recno_ = ?");
  TReset r{st};
  sqlite3_bind_int64(st, 1, bm);
  int rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) Fail("Cannot read table", rc);
  ReadRow(st, out);
  return true;
}

namespace {

// One write: BEGIN IMMEDIATE takes the write lock up front (waiting for other writers up to
// the busy timeout), so the transaction never has to upgrade a read lock and cannot deadlock.
class TWriteTransaction {
public:
  TWriteTransaction(sqlite3* db, const std::string& path) : FDb(db), FPath(path) { ExecOn(db, "BEGIN IMMEDIATE", path); }
  ~TWriteTransaction() {
    if (!FDone) sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    ExecOn(FDb, "COMMIT", FPath);
    FDone = true;
  }
private:
  sqlite3* FDb;
  std::string FPath;
  bool FDone = false;
};

}  // namespace

TEngineBookmark TEngineTable::InsertRecord(const std::vector<TEngineValue>& values) {
  CheckWritable();
  ++gWrites;
  std::vector<TEngineValue> v = Normalize(values);
  TWriteTransaction tx(FDb, FPath);
  for (size_t i = 0; i < FFields.size(); ++i) {
    if (FFields[i].Type != TEngineFieldType::AutoInc || !EngineIsNull(v[i])) continue;
    // Numbers are never reused: the table's record counter never goes back, also when the
    // last records are deleted.
    sqlite3_stmt* st = Prepare("SELECT MAX(COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'data'), 0), "
                               "COALESCE((SELECT MAX(" + Column(int(i)) + ") FROM data), 0)) + 1");
    TReset r{st};
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) Fail("Cannot write to table", rc);
    v[i] = int64_t(sqlite3_column_int64(st, 0));
  }
  std::string sql = "INSERT INTO data(";
  std::string params;
  for (size_t i = 0; i < FFields.size(); ++i) {
    sql += (i ? ", " : "") + Column(int(i));
    params += i ? ", ?" : "?";
  }
  sql += ") VALUES(" + params + ")";
  sqlite3_stmt* st = Prepare(sql);
  {
    TReset r{st};
    for (size_t i = 0; i < v.size(); ++i) BindValue(st, int(i) + 1, v[i], int(i));
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) Fail("Cannot write to table", rc);
  }
  TEngineBookmark bm = sqlite3_last_insert_rowid(FDb);
  tx.Commit();
  return bm;
}

void TEngineTable::ModifyRecord(TEngineBookmark bm, const std::vector<TEngineValue>& values) {
  CheckWritable();
  ++gWrites;
  std::vector<TEngineValue> v = Normalize(values);
  std::string sql = "UPDATE data SET ";
  std::vector<int> cols;
  for (size_t i = 0; i < FFields.size(); ++i) {
    if (FFields[i].Type == TEngineFieldType::AutoInc && EngineIsNull(v[i])) continue;  // keeps its number
    sql += (cols.empty() ? "" : ", ") + Column(int(i)) + " = ?";
    cols.push_back(int(i));
  }
  sql += " WHERE _recno_ = ?";
  TWriteTransaction tx(FDb, FPath);
  sqlite3_stmt* st = Prepare(sql);
  {
    TReset r{st};
    int p = 1;
    for (int c : cols) BindValue(st, p++, v[size_t(c)], c);
    sqlite3_bind_int64(st, p, bm);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) Fail("Cannot write to table", rc);
  }
  if (sqlite3_changes(FDb) == 0)
    throw EEngineError("Record was deleted by another user", EEngineError::ecRecordDeleted);
  tx.Commit();
}

void TEngineTable::DeleteRecord(TEngineBookmark bm) {
  CheckWritable();
  ++gWrites;
  TWriteTransaction tx(FDb, FPath);
  sqlite3_stmt* st = Prepare("DELETE FROM data WHERE _recno_ = ?");
  {
    TReset r{st};
    sqlite3_bind_int64(st, 1, bm);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) Fail("Cannot delete from table", rc);
  }
  if (sqlite3_changes(FDb) == 0)
    throw EEngineError("Record was deleted by another user", EEngineError::ecRecordDeleted);
  tx.Commit();
}

std::vector<TEngineValidityCheck> TEngineTable::ValidityChecks() {
  std::vector<TEngineValidityCheck> out;
  {
    sqlite3_stmt* st = Prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'zelkor_checks'");
    TReset r{st};
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) Fail("Cannot read table", rc);
    if (sqlite3_column_int(st, 0) == 0) return out;  // a table that never had a check
  }
  sqlite3_stmt* st = Prepare("SELECT field, picture FROM zelkor_checks ORDER BY field");
  TReset r{st};
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const unsigned char* p = sqlite3_column_text(st, 1);
    out.push_back({sqlite3_column_int(st, 0), p ? reinterpret_cast<const char*>(p) : ""});
  }
  if (rc != SQLITE_DONE) Fail("Cannot read table", rc);
  return out;
}

void TEngineTable::SetValidityCheck(int FieldNo, const std::string& Picture) {
  CheckWritable();
  if (FieldNo < 1 || size_t(FieldNo) > FFields.size())
    throw EEngineError("Table " + FPath + " has no field number " + std::to_string(FieldNo));
  TWriteTransaction tx(FDb, FPath);
  Exec("CREATE TABLE IF NOT EXISTS zelkor_checks(field INTEGER PRIMARY KEY, picture TEXT NOT NULL)");
  sqlite3_stmt* st = Prepare(Picture.empty() ? "DELETE FROM zelkor_checks WHERE field = ?"
                                             : "INSERT OR REPLACE INTO zelkor_checks(field, picture) VALUES(?, ?)");
  {
    TReset r{st};
    sqlite3_bind_int(st, 1, FieldNo);
    if (!Picture.empty()) sqlite3_bind_text64(st, 2, Picture.data(), Picture.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) Fail("Cannot write to table", rc);
  }
  tx.Commit();
}

// --- TEngineCursor ------------------------------------------------------------------------

namespace {

std::uint32_t NextCursorId() {
  static std::atomic<std::uint32_t> last{0};
  std::uint32_t id;
  do id = ++last; while (id == 0);
  return id;
}

}  // namespace

TEngineCursor::TEngineCursor(TEngineTable& table) : FTable(table), FId(NextCursorId()) {}
TEngineCursor::~TEngineCursor() = default;

void TEngineCursor::SetKeyParts(int index) {
  DropReadAhead();
  FIndex = index;
  FKey.clear();
  FRangeStart = {};
  FRangeEnd = {};
  if (index < 0) return;
  const auto& x = FTable.FIndexes[size_t(index)];
  for (const auto& name : SplitFields(x.Fields))
    FKey.push_back({FTable.FieldIndex(name), (x.Options & eioDescending) != 0, (x.Options & eioCaseInsensitive) != 0});
}

void TEngineCursor::SetNaturalOrder() { SetKeyParts(-1); }

void TEngineCursor::SetIndex(const std::string& name) {
  if (name.empty()) {
    for (size_t i = 0; i < FTable.FIndexes.size(); ++i)
      if (FTable.FIndexes[i].Options & eioPrimary) return SetKeyParts(int(i));
    return SetNaturalOrder();
  }
  int i = FTable.IndexIndex(name);
  if (i < 0) throw EEngineError("Index not found: " + name, EEngineError::ecNoIndex);
  SetKeyParts(i);
}

void TEngineCursor::SetIndexFields(const std::string& fields) {
  auto wanted = SplitFields(fields);
  if (wanted.empty()) return SetNaturalOrder();
  for (size_t i = 0; i < FTable.FIndexes.size(); ++i) {
    auto have = SplitFields(FTable.FIndexes[i].Fields);
    if (have.size() < wanted.size()) continue;
    bool match = true;
    for (size_t k = 0; k < wanted.size() && match; ++k) match = SameName(have[k], wanted[k]);
    if (match) return SetKeyParts(int(i));
  }
  throw EEngineError("No index for fields " + fields, EEngineError::ecNoIndex);
}

std::vector<int> TEngineCursor::KeyFields() const {
  std::vector<int> out;
  for (const auto& k : FKey) out.push_back(k.Field);
  return out;
}

std::vector<TEngineValue> TEngineCursor::KeyOf(const TEngineRecord& rec) const {
  std::vector<TEngineValue> key;
  for (const auto& k : FKey) key.push_back(rec.Values[size_t(k.Field)]);
  return key;
}

std::string TEngineCursor::KeyExpr(const TKeyPart& k) const {
  return Column(k.Field) + (k.CaseInsensitive ? std::string(" COLLATE ") + EngineCollationName : std::string());
}

std::string TEngineCursor::OrderBy(bool forward, size_t from) const {
  std::string s;
  for (size_t i = from; i < FKey.size(); ++i) {
    bool up = forward != FKey[i].Descending;
    s += KeyExpr(FKey[i]) + (up ? " ASC, " : " DESC, ");
  }
  return s + (forward ? "_recno_ ASC" : "_recno_ DESC");
}

void TEngineCursor::SetCurrent(const TEngineRecord& rec) {
  FCurrent = rec;
  FPos = cpKey;
  FOnRecord = true;
}

void TEngineCursor::First() { FPos = cpBof; FOnRecord = false; }
void TEngineCursor::Last() { FPos = cpEof; FOnRecord = false; }

bool TEngineCursor::PassEnd(bool forward) {
  FPos = forward ? cpEof : cpBof;
  FOnRecord = false;
  return false;
}

bool TEngineCursor::Visible(const TEngineRecord& rec) const {
  return RangeSide(rec) == 0 && ExpressionsKeep(rec) && CallbacksKeep(rec);
}

// Key parts are fixed one level at a time from the deepest (same key, next bookmark) to the
// first; each level is a plain range seek that the table's index answers, and the levels in
// turn give every record beyond the position in order. Records that the range or an
// expression refuses are stepped over within the same statement; the statement is reset
// before a callback is asked. NULL sorts before every value.
bool TEngineCursor::Seek(std::vector<TEngineValue> key, TEngineBookmark bm, bool forward, bool inclusive,
                         TEngineRecord& out, int readAhead) {
  const std::string select = "SELECT " + FTable.SelectList() + " FROM data";
  const bool callbacks = HasCallbacks();
  struct TCond {
    std::string Where;
    std::vector<std::pair<int, const TEngineValue*>> Binds;  // field, value
    bool Bookmark = false;
  };
  for (;;) {
    std::vector<TCond> conds;
    const size_t parts = key.size();
    auto prefix = [&](size_t level, TCond& c) {
      for (size_t i = 0; i < level; ++i) {
        if (EngineIsNull(key[i])) {
          c.Where += KeyExpr(FKey[i]) + " IS NULL AND ";
        } else {
          c.Where += KeyExpr(FKey[i]) + " = ? AND ";
          c.Binds.push_back({FKey[i].Field, &key[i]});
        }
      }
    };
    if (bm > 0 && parts == FKey.size()) {
      TCond c;
      prefix(parts, c);
      c.Where += forward ? "_recno_ > ?" : "_recno_ < ?";
      c.Bookmark = true;
      conds.push_back(std::move(c));
    }
    for (size_t level = parts; level-- > 0;) {
      const TKeyPart& k = FKey[level];
      const TEngineValue& v = key[level];
      const bool up = forward != k.Descending;
      const bool incl = inclusive && bm == 0 && level + 1 == parts;
      std::vector<std::string> tails;
      if (up) {
        if (EngineIsNull(v)) tails.push_back(incl ? "1" : KeyExpr(k) + " IS NOT NULL");
        else tails.push_back(KeyExpr(k) + (incl ? " >= ?" : " > ?"));
      } else if (!EngineIsNull(v)) {
        tails.push_back(KeyExpr(k) + (incl ? " <= ?" : " < ?"));
        tails.push_back(KeyExpr(k) + " IS NULL");
      } else if (incl) {
        tails.push_back(KeyExpr(k) + " IS NULL");
      }
      for (const auto& tail : tails) {
        TCond c;
        prefix(level, c);
        c.Where += tail;
        if (tail.find('?') != std::string::npos) c.Binds.push_back({k.Field, &v});
        conds.push_back(std::move(c));
      }
    }
    if (parts == 0 && bm == 0) conds.push_back(TCond{});

    TEngineRecord cand, row;
    bool found = false;
    std::vector<TEngineRecord> ahead;
    std::uint32_t counter = 0;
    bool counted = false;
    for (const auto& c : conds) {
      sqlite3_stmt* st = FTable.Prepare(select + (c.Where.empty() ? "" : " WHERE " + c.Where) + " ORDER BY " +
                                        OrderBy(forward, 0));
      TReset r{st};
      int p = 1;
      for (auto& [field, value] : c.Binds) FTable.BindValue(st, p++, *value, field);
      if (c.Bookmark) sqlite3_bind_int64(st, p, bm);
      int rc;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        FTable.ReadRow(st, row);
        const int side = RangeSide(row);
        if (side == (forward ? 1 : -1)) {
          if (!found) return PassEnd(forward);
          break;
        }
        if (side != 0 || !ExpressionsKeep(row)) continue;
        if (found) {
          ahead.push_back(row);
          if (int(ahead.size()) >= readAhead) break;
          continue;
        }
        cand = row;
        found = true;
        // The counter is read under this statement's lock, so it belongs to what it read.
        if (callbacks || readAhead <= 0 || !(counted = FTable.ChangeCounter(counter))) break;
      }
      if (found) break;
      if (rc != SQLITE_DONE) FTable.Fail("Cannot read table", rc);
    }
    FAhead.clear();
    if (found && counted && !ahead.empty()) {
      FAhead.assign(std::make_move_iterator(ahead.rbegin()), std::make_move_iterator(ahead.rend()));
      FAheadForward = forward;
      FAheadFrom = cand.Bookmark;
      FAheadCounter = counter;
      FAheadWrites = gWrites;
      FAheadChecked = std::chrono::steady_clock::now();
    }
    if (!found) return PassEnd(forward);
    if (!callbacks || CallbacksKeep(cand)) {
      SetCurrent(cand);
      out = std::move(cand);
      return true;
    }
    key = KeyOf(cand);
    bm = cand.Bookmark;
    inclusive = false;
  }
}

bool TEngineCursor::ReadAheadValid() {
  if (FAheadWrites != gWrites) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - FAheadChecked < ReadAheadTrust) return true;
  std::uint32_t counter;
  if (!FTable.ChangeCounter(counter) || counter != FAheadCounter) return false;
  FAheadChecked = now;
  return true;
}

bool TEngineCursor::Step(bool forward, TEngineRecord& out) {
  TReadScope reading(*this);
  if (FPos == (forward ? cpEof : cpBof)) return false;
  if (!FAhead.empty()) {
    if (FAheadForward == forward && FOnRecord && FCurrent.Bookmark == FAheadFrom && ReadAheadValid()) {
      FCurrent = std::move(FAhead.back());
      FAhead.pop_back();
      FPos = cpKey;
      FOnRecord = true;
      FAheadFrom = FCurrent.Bookmark;
      out = FCurrent;
      return true;
    }
    FAhead.clear();
  }
  // Each step that reads the file in the same direction reads further ahead: 2, 4, ... 256.
  FStreak = FAheadForward == forward ? std::min(FStreak + 1, 8) : 1;
  FAheadForward = forward;
  const int readAhead = 1 << FStreak;
  const TRangeEnd& from = forward ? FRangeStart : FRangeEnd;
  // From the end, or from a key outside the range on the side we start from: the range's
  // own end is the nearer place to start.
  if (FPos == (forward ? cpBof : cpEof) || (from.Set && RangeSide(FCurrent) == (forward ? -1 : 1))) {
    if (from.Set) return Seek(from.Key, 0, forward, !from.Exclusive, out, readAhead);
    return Seek({}, 0, forward, true, out, readAhead);
  }
  return Seek(KeyOf(FCurrent), FCurrent.Bookmark, forward, false, out, readAhead);
}

bool TEngineCursor::Next(TEngineRecord& out) { return Step(true, out); }
bool TEngineCursor::Prior(TEngineRecord& out) { return Step(false, out); }

bool TEngineCursor::Current(TEngineRecord& out) {
  TReadScope reading(*this);
  if (!FOnRecord) return false;
  TEngineRecord rec;
  if (!FTable.ReadRecord(FCurrent.Bookmark, rec)) {
    FOnRecord = false;  // stays on the key it left, so Next/Prior go on from there
    return false;
  }
  if (!Visible(rec)) {
    FCurrent = std::move(rec);
    FOnRecord = false;
    return false;
  }
  SetCurrent(rec);
  out = std::move(rec);
  return true;
}

bool TEngineCursor::GotoBookmark(TEngineBookmark bm) {
  TReadScope reading(*this);
  TEngineRecord rec;
  if (bm <= 0 || !FTable.ReadRecord(bm, rec) || !Visible(rec)) return false;
  SetCurrent(rec);
  return true;
}

bool TEngineCursor::GotoRecord(const TEngineRecord& rec) {
  TReadScope reading(*this);
  TEngineRecord now;
  if (rec.Bookmark > 0 && FTable.ReadRecord(rec.Bookmark, now)) {
    if (Visible(now)) {
      SetCurrent(now);
      return true;
    }
  } else {
    if (rec.Values.size() != FTable.FFields.size()) return false;
    now = rec;
  }
  FCurrent = std::move(now);
  FPos = cpKey;
  FOnRecord = false;
  return false;
}

TEngineCursor::TReadScope::~TReadScope() {
  if (--Cursor.FReading > 0) return;
  // Work may leave more work: it runs too, before the read counts as ended.
  while (!Cursor.FAfterRead.empty()) {
    std::function<void()> work = std::move(Cursor.FAfterRead.front());
    Cursor.FAfterRead.erase(Cursor.FAfterRead.begin());
    work();
  }
}

void TEngineCursor::AfterRead(std::function<void()> Work) {
  if (FReading > 0)
    FAfterRead.push_back(std::move(Work));
  else
    Work();
}

void TEngineCursor::Refresh() {
  TEngineRecord rec;
  Current(rec);
}

int TEngineCursor::FieldOrRaise(const std::string& name) const {
  int i = FTable.FieldIndex(name);
  if (i < 0) throw EEngineError("Field not found: " + name);
  return i;
}

void TEngineCursor::Append() {
  FTable.CheckWritable();
  FBuffer = TEngineRecord{};
  FBuffer.Values.assign(FTable.FFields.size(), TEngineValue{});
  FMode = emInsert;
}

void TEngineCursor::Insert() { Append(); }

void TEngineCursor::Edit() {
  FTable.CheckWritable();
  TEngineRecord rec;
  if (!Current(rec)) throw EEngineError("No current record", EEngineError::ecNoCurrentRecord);
  FBuffer = rec;
  FMode = emEdit;
}

void TEngineCursor::SetValue(int field, TEngineValue v) {
  if (FMode == emNone) throw EEngineError("Table is not in edit or insert mode");
  if (field < 0 || size_t(field) >= FBuffer.Values.size()) throw EEngineError("Field index out of range");
  FBuffer.Values[size_t(field)] = std::move(v);
}

void TEngineCursor::SetValue(const std::string& field, TEngineValue v) { SetValue(FieldOrRaise(field), std::move(v)); }

const TEngineValue& TEngineCursor::Value(int field) const {
  static const TEngineValue null;
  const TEngineRecord* rec = FMode != emNone ? &FBuffer : FOnRecord ? &FCurrent : nullptr;
  if (!rec || field < 0 || size_t(field) >= rec->Values.size()) return null;
  return rec->Values[size_t(field)];
}

const TEngineValue& TEngineCursor::Value(const std::string& field) const { return Value(FieldOrRaise(field)); }

void TEngineCursor::Post() {
  if (FMode == emNone) throw EEngineError("Table is not in edit or insert mode");
  TEngineBookmark bm = FBuffer.Bookmark;
  if (FMode == emInsert) bm = FTable.InsertRecord(FBuffer.Values);
  else FTable.ModifyRecord(bm, FBuffer.Values);
  FMode = emNone;
  FBuffer = TEngineRecord{};
  DropReadAhead();
  TEngineRecord rec;
  if (FTable.ReadRecord(bm, rec)) GotoRecord(rec);
}

void TEngineCursor::Cancel() {
  FMode = emNone;
  FBuffer = TEngineRecord{};
}

void TEngineCursor::Delete() {
  if (FMode != emNone) Cancel();
  if (!FOnRecord) throw EEngineError("No current record", EEngineError::ecNoCurrentRecord);
  DropReadAhead();
  FTable.DeleteRecord(FCurrent.Bookmark);
  FOnRecord = false;
}
