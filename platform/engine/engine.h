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
// Beside the table: filters in the filter-expression format (enginefilter.h), key searches
// and ranges (enginekeys.cpp), SQL and QBE queries (enginequery.h), validity checks (the
// pictures of zelkor_checks) and the BCD form of decimal constants (enginebcd.h).
//
// Cursors never hold a statement open between calls: every move is a keyed seek from the
// current record's key, so a cursor streams through any number of records and sees what
// other processes have written. Every write is one transaction; writers wait for each other
// up to the busy timeout, so concurrent appenders lose no row.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
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
    ecInvalidFilter,     // a filter expression the engine cannot take (malformed, unknown field)
    ecInvalidQuery,      // an SQL or QBE text the engine cannot run
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

// The order of case-insensitive indexes, and of text in filters and queries: letters fold
// to lower case and the Slovenian letters follow their base letter (c č ć d đ ... s š ...
// z ž); other characters in code order. < 0, 0, > 0 like strcmp. Registered on the engine's
// connections under EngineCollationName.
int EngineCompareText(std::string_view a, std::string_view b);
inline constexpr const char* EngineCollationName = "ZELKOR_NOCASE";

// A validity check kept with a table: the picture of a field (field numbers from 1).
struct TEngineValidityCheck {
  int FieldNo = 0;
  std::string Picture;
};


struct TEngineRecord {
  TEngineBookmark Bookmark = 0;
  std::vector<TEngineValue> Values;  // one per field, in field order
};

// Filters of a cursor. A handle is unique for the process and never 0, so a handle kept past
// its cursor can never name another cursor's filter.
using TEngineFilterHandle = std::uint32_t;
// Asked for each record a read meets while the filter is active; false drops the record.
// ClientData is the value given when the filter was added.
using TEngineFilterCallback = std::function<bool(std::intptr_t ClientData, const TEngineRecord& Record)>;
class TEngineFilterExpression;

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

  // Every record of the table: filters and ranges of cursors do not count.
  int64_t RecordCount();
  // False: a local table, not a database server.
  bool IsSQLBased() const { return false; }

  // Validity checks: the pictures of the fields, in field order. A picture of "" removes
  // the field's check. Pictures are texts of the picture-mask language; the engine keeps them
  // and does not apply them.
  std::vector<TEngineValidityCheck> ValidityChecks();
  void SetValidityCheck(int FieldNo, const std::string& Picture);

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
  friend class TEngineQuery;
  sqlite3_stmt* Prepare(const std::string& sql);  // cached; caller resets
  void Exec(const std::string& sql);
  [[noreturn]] void Fail(const std::string& what, int rc = 0);
  void CheckWritable() const;
  std::vector<TEngineValue> Normalize(const std::vector<TEngineValue>& values) const;
  void ReadRow(sqlite3_stmt* st, TEngineRecord& out) const;
  void BindValue(sqlite3_stmt* st, int pos, const TEngineValue& v, int field) const;
  void LoadMetadata();
  std::string SelectList() const;
  // A value converted to the field's type as a write would store it.
  TEngineValue NormalizeValue(int field, const TEngineValue& v) const;
  // The file change counter that every committed write raises (any connection's), read
  // without a lock; false when it cannot be read.
  bool ChangeCounter(std::uint32_t& out) const;

  std::string FPath;
  bool FDeleteOnClose = false;  // an answer table of a query
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
//
// Every read (Next, Prior, Current, GotoBookmark, the key searches) sees only the records
// inside the cursor's range that every active filter keeps; a record that fails them is
// passed over as if it were not there. Expression filters are asked before callbacks, so a
// callback sees only records the expressions keep; no statement is open while a callback
// runs, so a callback may read the table (even through this cursor).
class TEngineCursor : public TObject {
public:
  explicit TEngineCursor(TEngineTable& table);
  ~TEngineCursor() override;
  TEngineCursor(const TEngineCursor&) = delete;
  TEngineCursor& operator=(const TEngineCursor&) = delete;

  TEngineTable& Table() { return FTable; }
  // A number for the cursor, unique for the process (never 0).
  std::uint32_t Id() const { return FId; }

  // Order. SetIndex("") takes the primary index, or natural order when the table has none;
  // SetNaturalOrder() always natural order; an unknown name raises ecNoIndex.
  // SetIndexFields takes the first index whose fields begin with the given ';'-separated
  // list (case-insensitive names); none raises ecNoIndex. A change of order keeps the
  // current record and cancels the range.
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
  // Re-reads the current record; false when the cursor is on a crack, the record has gone or
  // no longer passes the range and filters (the cursor then stays on its key).
  bool Current(TEngineRecord& out);
  // Positions on the record; false (position unchanged) when it has gone or is not visible.
  bool GotoBookmark(TEngineBookmark bm);
  // Positions on the record when it still exists and is visible (true), else on the crack
  // where its key was, so that Next and Prior go on from there.
  bool GotoRecord(const TEngineRecord& rec);
  // The current record's bookmark, 0 on a crack.
  TEngineBookmark Bookmark() const { return FOnRecord ? FCurrent.Bookmark : 0; }

  // ---- key searches and ranges, in the current index (ecNoIndex in natural order)
  // A key holds values for the first key.size() fields of the index (fewer than the index
  // has: a partial key); values are converted to the fields' types. Text compares as the
  // index does: in EngineCompareText for a case-insensitive index, by bytes otherwise.
  //
  // FindKey: the first visible record whose key begins with Key. FindNearest: the first
  // visible record at or after Key (after it when Exclusive). Both read it into out and
  // position on it; on a miss the position is unchanged and the answer false.
  bool FindKey(const std::vector<TEngineValue>& key, TEngineRecord& out);
  bool FindNearest(const std::vector<TEngineValue>& key, bool exclusive, TEngineRecord& out);
  // Limits the cursor to the records from Start to End in index order (an empty key leaves
  // that end open; an exclusive end leaves out the records equal to it) and goes to BOF.
  void SetRange(const std::vector<TEngineValue>& start, bool startExclusive,
                const std::vector<TEngineValue>& end, bool endExclusive);
  // Lifts the range; the position stays.
  void CancelRange();
  bool HasRange() const { return FRangeStart.Set || FRangeEnd.Set; }

  // ---- filters (enginefilter.cpp)
  // Adds a filter, inactive until ActivateFilter: an expression in the filter-expression
  // format (checked whole before it is taken; EEngineError ecInvalidFilter names what is
  // wrong), or a callback, or both. Filters are asked in order of Priority (lower first),
  // then of adding. CanAbort is kept for callers that pass it; reads are never aborted.
  TEngineFilterHandle AddFilter(std::intptr_t clientData, int priority, bool canAbort,
                                std::span<const std::uint8_t> expression,
                                TEngineFilterCallback callback);
  // Unknown handles (0, dropped, another cursor's) are ignored.
  void ActivateFilter(TEngineFilterHandle handle);
  void DeactivateFilter(TEngineFilterHandle handle);
  void DropFilter(TEngineFilterHandle handle);
  // Whether any filter is active.
  bool Filtered() const;
  // Runs Work once the read in progress on this cursor ends, at once when none is. A callback
  // that wants the cursor's filters changed has it done here, so that the read it was asked
  // from goes on under the filters it began with. Work must not raise.
  void AfterRead(std::function<void()> Work);
  // Whether a read (a move, a search, a re-read of the current record) is in progress.
  bool Reading() const { return FReading > 0; }

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
  // Writes the buffer; the cursor is then on the written record, or on its key when the
  // range or a filter keeps it out.
  void Post();
  void Cancel();  // drops the buffer
  void Delete();  // deletes the current record; the cursor stays on its key (a crack)
  // Re-reads the current record; when it has gone the cursor stays on its key.
  void Refresh();
  ZEL_CLASS(TEngineCursor, TObject)

private:
  // Marks a read in progress; the outermost one runs the work left for its end.
  struct TReadScope {
    TEngineCursor& Cursor;
    explicit TReadScope(TEngineCursor& c) : Cursor(c) { ++Cursor.FReading; }
    ~TReadScope();
  };
  enum TPos { cpBof, cpEof, cpKey };
  enum TMode { emNone, emEdit, emInsert };
  struct TKeyPart { int Field; bool Descending; bool CaseInsensitive; };
  struct TRangeEnd {
    bool Set = false;
    std::vector<TEngineValue> Key;
    bool Exclusive = false;
  };
  struct TFilter {
    TEngineFilterHandle Handle = 0;
    std::intptr_t ClientData = 0;
    int Priority = 0;
    bool Active = false;
    std::shared_ptr<const TEngineFilterExpression> Expression;
    TEngineFilterCallback Callback;
  };
  bool Step(bool forward, TEngineRecord& out);
  void DropReadAhead() { FAhead.clear(); }
  // The nearest visible record from a position in the travel direction: Key holds the
  // values of the first key.size() key parts; with a bookmark (and the whole key), records of
  // an equal key follow by bookmark; Inclusive takes records whose given parts equal Key. An
  // empty key without bookmark starts from the end (BOF going forward). Found: the cursor is
  // on it; else it passes the end.
  // ReadAhead: how many of the records that follow to keep for the next steps.
  bool Seek(std::vector<TEngineValue> key, TEngineBookmark bm, bool forward, bool inclusive,
            TEngineRecord& out, int readAhead = 0);
  bool PassEnd(bool forward);
  // Seek forward from a key; a miss (or, when Exact, a record whose key differs) leaves the
  // position as it was.
  bool SeekKeeping(const std::vector<TEngineValue>& key, bool inclusive, bool exact, TEngineRecord& out);
  std::string OrderBy(bool forward, size_t from) const;
  std::string KeyExpr(const TKeyPart& k) const;
  void SetKeyParts(int index);
  void SetCurrent(const TEngineRecord& rec);
  int FieldOrRaise(const std::string& name) const;
  std::vector<TEngineValue> KeyOf(const TEngineRecord& rec) const;
  std::vector<TEngineValue> NormalizeKey(const std::vector<TEngineValue>& key) const;
  void CheckIndex() const;
  // Record against key in index order over key.size() parts.
  int CompareKey(const TEngineRecord& rec, const std::vector<TEngineValue>& key) const;
  // -1 before the range, 0 inside, 1 after it.
  int RangeSide(const TEngineRecord& rec) const;
  bool ExpressionsKeep(const TEngineRecord& rec) const;
  bool CallbacksKeep(const TEngineRecord& rec) const;
  bool HasCallbacks() const;
  bool Visible(const TEngineRecord& rec) const;

  TEngineTable& FTable;
  std::uint32_t FId;
  int FIndex = -1;
  std::vector<TKeyPart> FKey;
  TPos FPos = cpBof;
  bool FOnRecord = false;
  TEngineRecord FCurrent;  // the current record, or the key of the crack it left
  TMode FMode = emNone;
  TEngineRecord FBuffer;
  TRangeEnd FRangeStart, FRangeEnd;
  std::vector<TFilter> FFilters;  // in the order they are asked
  // Records read ahead by a sequential scan: the visible records that follow FAheadFrom in
  // the direction read. They spare a scan one read transaction per record. A write through
  // any table of this process voids them at once; another process's as soon as it is seen: they
  // are taken for ReadAheadTrust after the file's change counter was last found unchanged,
  // then only after it is read again and found unchanged.
  std::vector<TEngineRecord> FAhead;  // nearest last
  bool FAheadForward = true;
  TEngineBookmark FAheadFrom = 0;
  std::uint32_t FAheadCounter = 0;
  std::uint64_t FAheadWrites = 0;
  std::chrono::steady_clock::time_point FAheadChecked;
  static constexpr std::chrono::milliseconds ReadAheadTrust{20};
  bool ReadAheadValid();
  int FStreak = 0;  // sequential steps in a row, for the read-ahead's size
  int FReading = 0;
  std::vector<std::function<void()>> FAfterRead;
};
