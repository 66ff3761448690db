#pragma once
// The desktop database engine's local tables.
//
// A table is one SQLite file. Inside it:
//   data            the records: "_recno_" (the record's bookmark, never reused) and one
//                   column per field, named f1, f2, ... by position;
//   zelkor_fields   the field definitions (name, type, size, precision, required), in order;
//   zelkor_indexes  the index definitions (name, field list, options); SQLite index zx<n>
//                   keeps definition n (collation ZELKOR_NOCASE for a case-insensitive one:
//                   letters fold to lower case, č ć after c, đ after d, š after s, ž after z).
// The file carries application_id 0x5A4C4B54 and user_version 1; any other file is refused.
//
// A table name without an extension gets the default extension ".db" (EngineTableFileName).
//
// Cursors never hold a statement open between calls: every move is a keyed seek from the
// current record's key, so a cursor streams through any number of records and sees what
// other processes have written. Every write is one transaction; writers wait for each other
// up to the busy timeout, so concurrent appenders lose no row.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "exceptions.h"
#include "object.h"

struct sqlite3;
struct sqlite3_stmt;
struct TEngineBusyWait;

// Every failure of the engine. Code tells the kind apart for callers that need it.
class EEngineError : public EDatabaseError {
public:
  enum TCode {
    ecGeneral,
    ecTableNotFound,     // opening a table that does not exist
    ecTableExists,       // creating over an existing table without asking to replace it
    ecNotATable,         // the file exists but is not a table of this engine
    ecInvalidDefinition, // bad field or index definitions
    ecKeyViolation,      // a unique index refuses the record
    ecRequiredField,     // a required field left empty
    ecValueOutOfRange,   // a value that the field's type cannot hold
    ecRecordDeleted,     // the record has gone (another user deleted it)
    ecReadOnly,          // writing to a table opened read-only
    ecBusy,              // the table stayed locked by another user beyond the busy timeout
    ecNoIndex,           // an index name or field list that no index of the table has
    ecNoCurrentRecord,   // an operation that needs a current record at BOF or EOF
  };
  explicit EEngineError(std::string msg, TCode code = ecGeneral)
      : EDatabaseError(std::move(msg)), FCode(code) {}
  TCode Code() const { return FCode; }
  ZEL_CLASS(EEngineError, EDatabaseError)
private:
  TCode FCode;
};

// Field types as the engine stores them (by name in the file, so the order here is free).
enum class TEngineFieldType {
  String, Smallint, Integer, Word, Largeint, AutoInc, Boolean, Float, Currency, BCD,
  Date, Time, DateTime, Bytes, VarBytes, Blob, Memo,
};
const char* EngineFieldTypeName(TEngineFieldType t);

struct TEngineFieldDef {
  std::string Name;
  TEngineFieldType Type = TEngineFieldType::String;
  int Size = 0;       // characters for String, bytes for Bytes/VarBytes; else informative
  int Precision = 0;  // total digits for BCD
  bool Required = false;
};

// Index options, combinable.
enum TEngineIndexOption : unsigned {
  eioPrimary = 1,
  eioUnique = 2,
  eioDescending = 4,
  eioCaseInsensitive = 8,
};

struct TEngineIndexDef {
  std::string Name;    // may be empty for the primary index
  std::string Fields;  // field names separated by ';'
  unsigned Options = 0;
};

// A field value: NULL, an integer (integer types, Boolean 0/1), a double (Float, Currency,
// BCD, and Date/Time/DateTime as days since 1899-12-30) or bytes (String and Memo in UTF-8,
// Bytes, VarBytes and Blob raw).
using TEngineValue = std::variant<std::monostate, int64_t, double, std::string>;
inline bool EngineIsNull(const TEngineValue& v) { return std::holds_alternative<std::monostate>(v); }

using TEngineBookmark = int64_t;  // > 0 for a record

struct TEngineRecord {
  TEngineBookmark Bookmark = 0;
  std::vector<TEngineValue> Values;  // one per field, in field order
};

// The file name of a table: the name itself when it has an extension, else name + ".db".
std::string EngineTableFileName(const std::string& name);
inline constexpr const char* EngineDefaultExtension = ".db";

// One open table file. Not copyable; one thread.
class TEngineTable : public TObject {
public:
  // Creates a table. An existing table is replaced only when replace is true; otherwise
  // EEngineError(ecTableExists) and the existing file is left untouched. Missing parent
  // folders are created. The new table appears whole or not at all.
  static void Create(const std::string& path, const std::vector<TEngineFieldDef>& fields,
                     const std::vector<TEngineIndexDef>& indexes, bool replace = false);
  static bool Exists(const std::string& path);

  // Opens a table; a missing one raises EEngineError(ecTableNotFound). Exclusive keeps every
  // other connection out (they wait for the busy timeout, then fail) until this one closes.
  explicit TEngineTable(const std::string& path, bool readOnly = false, bool exclusive = false);
  ~TEngineTable() override;
  TEngineTable(const TEngineTable&) = delete;
  TEngineTable& operator=(const TEngineTable&) = delete;

  const std::string& Path() const { return FPath; }
  bool ReadOnly() const { return FReadOnly; }
  bool Exclusive() const { return FExclusive; }
  const std::vector<TEngineFieldDef>& FieldDefs() const { return FFields; }
  const std::vector<TEngineIndexDef>& IndexDefs() const { return FIndexes; }
  // Field position by name (case-insensitive), -1 when absent.
  int FieldIndex(const std::string& name) const;
  // Index position by name (case-insensitive), -1 when absent.
  int IndexIndex(const std::string& name) const;

  int64_t RecordCount();

  // Each write is one transaction. Values are checked and converted to the field types;
  // strings are cut to the field size in characters, Bytes/VarBytes to the size in bytes.
  // AutoInc fields left NULL get the next number. Returns the new record's bookmark.
  TEngineBookmark InsertRecord(const std::vector<TEngineValue>& values);
  // Raises ecRecordDeleted when the record has gone.
  void ModifyRecord(TEngineBookmark bm, const std::vector<TEngineValue>& values);
  void DeleteRecord(TEngineBookmark bm);
  bool ReadRecord(TEngineBookmark bm, TEngineRecord& out);

  // Milliseconds a write or read waits for another user's lock before failing: for this
  // table, and for tables opened or created from now on (30 s at start).
  void SetBusyTimeout(int ms);
  static void SetDefaultBusyTimeout(int ms);
  static int DefaultBusyTimeout();
  ZEL_CLASS(TEngineTable, TObject)

private:
  friend class TEngineCursor;
  sqlite3_stmt* Prepare(const std::string& sql);  // cached; caller resets
  void Exec(const std::string& sql);
  [[noreturn]] void Fail(const std::string& what, int rc = 0);
  void CheckWritable() const;
  std::vector<TEngineValue> Normalize(const std::vector<TEngineValue>& values) const;
  void ReadRow(sqlite3_stmt* st, TEngineRecord& out) const;
  void BindValue(sqlite3_stmt* st, int pos, const TEngineValue& v, int field) const;
  void LoadMetadata();
  std::string SelectList() const;

  std::string FPath;
  bool FReadOnly = false;
  bool FExclusive = false;
  sqlite3* FDb = nullptr;
  std::vector<TEngineFieldDef> FFields;
  std::vector<TEngineIndexDef> FIndexes;
  std::map<std::string, sqlite3_stmt*> FStatements;
  std::unique_ptr<TEngineBusyWait> FBusyWait;  // the connection's wait; outlives FDb
};

// A position in a table in an order: natural (record creation) order or an index's order.
// Between records the cursor sits on a crack: before the first (BOF), after the last (EOF),
// or on the key of a record that has gone.
class TEngineCursor : public TObject {
public:
  explicit TEngineCursor(TEngineTable& table);
  ~TEngineCursor() override;
  TEngineCursor(const TEngineCursor&) = delete;
  TEngineCursor& operator=(const TEngineCursor&) = delete;

  TEngineTable& Table() { return FTable; }

  // Order. SetIndex("") takes the primary index, or natural order when the table has none;
  // SetNaturalOrder() always natural order; an unknown name raises ecNoIndex.
  // SetIndexFields takes the first index whose fields begin with the given ';'-separated
  // list (case-insensitive names); none raises ecNoIndex. A change of order keeps the
  // current record.
  void SetNaturalOrder();
  void SetIndex(const std::string& name);
  void SetIndexFields(const std::string& fields);
  int IndexPos() const { return FIndex; }  // -1 in natural order
  // Field positions of the current order's key.
  std::vector<int> KeyFields() const;

  // Positioning.
  void First();  // to BOF
  void Last();   // to EOF
  bool Bof() const { return FPos == cpBof; }
  bool Eof() const { return FPos == cpEof; }
  // Move to the next / prior record and read it; false (and EOF / BOF) when there is none.
  bool Next(TEngineRecord& out);
  bool Prior(TEngineRecord& out);
  // Re-reads the current record; false when the cursor is on a crack or the record has gone.
  bool Current(TEngineRecord& out);
  // Positions on the record; false (position unchanged) when it has gone.
  bool GotoBookmark(TEngineBookmark bm);
  // Positions on the record when it still exists (true), else on the crack where its key
  // was, so that Next and Prior go on from there.
  bool GotoRecord(const TEngineRecord& rec);
  // The current record's bookmark, 0 on a crack.
  TEngineBookmark Bookmark() const { return FOnRecord ? FCurrent.Bookmark : 0; }

  // Editing through the cursor's own record buffer.
  void Append();  // a new blank record (inserted where its key belongs on Post)
  void Insert();  // the same: a table keeps no physical position to insert at
  void Edit();    // the current record; ecNoCurrentRecord on a crack
  bool Editing() const { return FMode != emNone; }
  void SetValue(int field, TEngineValue v);
  void SetValue(const std::string& field, TEngineValue v);
  // The buffer's value while editing, else the current record's (NULL on a crack).
  const TEngineValue& Value(int field) const;
  const TEngineValue& Value(const std::string& field) const;
  void Post();    // writes the buffer; the cursor is then on the written record
  void Cancel();  // drops the buffer
  void Delete();  // deletes the current record; the cursor stays on its key (a crack)
  // Re-reads the current record; when it has gone the cursor stays on its key.
  void Refresh();
  ZEL_CLASS(TEngineCursor, TObject)

private:
  enum TPos { cpBof, cpEof, cpKey };
  enum TMode { emNone, emEdit, emInsert };
  struct TKeyPart { int Field; bool Descending; bool CaseInsensitive; };
  bool Step(bool forward, TEngineRecord& out);
  bool FirstOrLast(bool forward, TEngineRecord& out);
  // Steps a bound statement: its row becomes the current record (true), or none (false).
  bool TakeRow(sqlite3_stmt* st, TEngineRecord& out);
  // Moves to the end in the travel direction; false.
  bool PassEnd(bool forward);
  std::string OrderBy(bool forward, size_t from) const;
  std::string KeyExpr(const TKeyPart& k) const;
  void SetKeyParts(int index);
  void SetCurrent(const TEngineRecord& rec);
  int FieldOrRaise(const std::string& name) const;

  TEngineTable& FTable;
  int FIndex = -1;
  std::vector<TKeyPart> FKey;
  TPos FPos = cpBof;
  bool FOnRecord = false;
  TEngineRecord FCurrent;  // the current record, or the key of the crack it left
  TMode FMode = emNone;
  TEngineRecord FBuffer;
};
