#pragma once
// Internals shared by the engine's own files (table, filters, keys, queries); not an API.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine.h"

// How long a connection waits for another's lock. SQLite's own wait backs off to 100 ms
// naps, and a writer that commits in a loop frees its lock only for moments between its
// transactions: a backed-off waiter missed every such moment for over 20 s while the other
// wrote 1,500 rows, so under load it ran out of time and its row was lost. Short naps catch
// those moments (a few seconds at worst in the same trial).
struct TEngineBusyWait {
  int Ms = 0;
  std::chrono::steady_clock::time_point Since;
};

namespace engine_impl {

// Writes through any table of this process, so far.
extern std::atomic<std::uint64_t> gWrites;

// Decodes one UTF-8 character; a byte that does not start a valid sequence stands for itself.
char32_t NextChar(const unsigned char* s, size_t n, size_t& i);
// The collation's comparison with SQLite's signature.
int NoCaseCompare(void*, int n1, const void* p1, int n2, const void* p2);

bool SameName(const std::string& a, const std::string& b);
std::vector<std::string> SplitFields(const std::string& list);

struct TTypeInfo {
  TEngineFieldType Type;
  const char* Name;
  const char* Affinity;
};
const TTypeInfo& Info(TEngineFieldType t);
bool IsIntegerType(TEngineFieldType t);
bool IsRealType(TEngineFieldType t);
bool IsBlobType(TEngineFieldType t);
bool IsSized(TEngineFieldType t);

// The data column of a field position.
std::string Column(int field);
// s in quotes, a quote inside doubled: '...' for SQL texts, "..." for identifiers.
std::string Quote(const std::string& s, char quote = '\'');
std::string SqliteMessage(sqlite3* db, int rc);

// Resets a statement when it goes out of scope, so no read transaction stays open.
struct TReset {
  sqlite3_stmt* St;
  ~TReset() {
    sqlite3_reset(St);
    sqlite3_clear_bindings(St);
  }
};

// Opens a connection with the engine's busy wait and collation.
sqlite3* OpenDb(const std::string& path, int flags, TEngineBusyWait* wait);
void ExecOn(sqlite3* db, const std::string& sql, const std::string& path);
void Validate(const std::vector<TEngineFieldDef>& fields, const std::vector<TEngineIndexDef>& indexes);
int FieldPos(const std::vector<TEngineFieldDef>& fields, const std::string& name);
// Writes the whole schema into db (inside the caller's transaction).
void BuildSchema(sqlite3* db, const std::string& path, const std::vector<TEngineFieldDef>& fields,
                 const std::vector<TEngineIndexDef>& indexes);

}  // namespace engine_impl
