#pragma once
// The table component: a data set over one local table of the engine (engine.h).
//
//   TDataSet <- TBDEDataSet (records of an engine cursor) <- TDBDataSet (DatabaseName)
//            <- TTable (TableName, TableType, definitions, indexes, CreateTable)
//
// The table's file: DatabaseName is a folder (DOS-style paths are mapped), TableName a file
// name in it, or a full path of its own; a name without extension gets the table type's
// extension (".db" for ttDefault and ttParadox, ".dbf" for ttDBase and ttFoxPro, ".txt" for
// ttASCII; every type is stored in the engine's one format).
//
// Filters of the engine (enginefilter.h) are installed on a table's cursor (Handle()) by the
// data-aware library's filter installation; every read of the data set honours them, and
// RecordCount counts every record of the table, filtered or not.
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "classes.h"
#include "db.h"
#include "engine.h"

// ---------------------------------------------------------------------------------------------
// Index definitions

enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive };
using TIndexOptions = TSmallSet<TIndexOption>;

class TIndexDefs;

class TIndexDef : public TCollectionItem {
public:
  explicit TIndexDef(TCollection* Collection);
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  const std::string& Fields() const { return FFields; }  // field names separated by ';'
  void SetFields(const std::string& Value) { FFields = Value; }
  TIndexOptions Options() const { return FOptions; }
  void SetOptions(TIndexOptions Value) { FOptions = Value; }
  std::string DisplayName() const override { return FName; }
  void Assign(TPersistent* Source) override;
  ZEL_CLASS(TIndexDef, TCollectionItem)

private:
  std::string FName;
  std::string FFields;
  TIndexOptions FOptions;
};

class TIndexDefs : public TCollection {
public:
  explicit TIndexDefs(TDataSet* DataSet);
  TDataSet* DataSet() const { return FDataSet; }
  TIndexDef* Items(int Index) const;
  TIndexDef* AddIndexDef();
  TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  int IndexOf(std::string_view Name) const;      // case-insensitive; -1 when absent
  TIndexDef* Find(std::string_view Name) const;  // EDatabaseError "Index 'X' not found"
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Reads the definitions from the table unless they are up to date.
  void Update();
  ZEL_CLASS(TIndexDefs, TCollection)

private:
  TDataSet* FDataSet;
  bool FUpdated = false;
};

// ---------------------------------------------------------------------------------------------
// Data sets

// A data set whose records come from an engine cursor. The descendant opens the table
// (CreateHandle) and sets the cursor's order (PrepareCursor).
class TBDEDataSet : public TDataSet {
public:
  explicit TBDEDataSet(TComponent* AOwner);
  ~TBDEDataSet() override;

  // The engine cursor while the data set is open (nullptr otherwise).
  TEngineCursor* Handle() const { return FCursor.get(); }

  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;
  bool BookmarkValid(const void* Bookmark) override;
  // False: the engine gives no record numbers (RecNo is -1).
  bool IsSequenced() override { return false; }
  int CompareBookmarks(const void* Bookmark1, const void* Bookmark2) override;
  // On an open data set the records are read again from the first, so that no record the
  // filter refuses stays on show.
  void SetFiltered(bool Value) override;
  void SetOnFilterRecord(const TFilterRecordEvent& Value) override;
  // Whether the data set's own record filter (Filtered, OnFilterRecord) keeps a record read
  // from the cursor past the data set; its calculated fields are computed first.
  bool RecordFilterKeeps(const TEngineRecord& Record);
  ZEL_CLASS(TBDEDataSet, TDataSet)

protected:
  // Opens the engine table; the default raises (a data set must say which table).
  virtual std::unique_ptr<TEngineTable> CreateHandle();
  // Called after the cursor is made, before the first record is read.
  virtual void PrepareCursor() {}
  void DestroyHandle();
  void OpenCursor(bool InfoQuery) override;
  void CloseCursor() override;

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  int GetRecordSize() override { return FRecordSize; }
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearCalcFields(TRecordBuffer Buffer) override;

  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return FCursor != nullptr; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalEdit() override;
  void InternalCancel() override;
  void InternalPost() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalDelete() override;
  void InternalRefresh() override;
  bool GetCanModify() override;
  int GetRecordCount() override;

  // Reorders the open cursor keeping the current record (Order changes the cursor).
  void SwitchOrder(const std::function<void(TEngineCursor&)>& Order);
  TEngineTable* EngineTable() const { return FTable.get(); }
  // Runs Body with the fields reading Record in the state dsFilter, as a record filter sees
  // the record under test (an engine filter callback gets the engine's record).
  void WithRecordUnderTest(const TEngineRecord& Record, const std::function<void()>& Body);
  // The buffer that field access uses in dsSetKey (a key buffer of the descendant).
  void SetActiveKeyBuffer(TRecordBuffer Buffer) { FKeyBuffer = Buffer; }
  std::vector<TEngineValue> BufferToValues(TRecordBuffer Buffer);
  void RecordToBuffer(const TEngineRecord& Rec, TRecordBuffer Buffer);

private:
  class TBlobStream;
  struct TRecInfo {
    TEngineBookmark Bookmark;
    int32_t Flag;
  };
  TRecInfo& Info(TRecordBuffer Buffer) const;
  TRecordBuffer ActiveRecBuf();  // the buffer that field access uses in the current state
  // Positions the cursor on a record just written, or on its key when it is not visible.
  void PositionOnWritten(TEngineBookmark Bookmark);
  std::optional<std::string>& BlobSlot(TRecordBuffer Buffer, int FieldIndex);
  bool Accepts(TRecordBuffer Buffer);  // the record filter

  std::unique_ptr<TEngineTable> FTable;
  std::unique_ptr<TEngineCursor> FCursor;
  std::vector<int> FOffsets;  // per field definition: its null flag, the value after it
  int FRecordSize = 0;        // the data area
  int FRecBufSize = 0;        // data, record info, calculated fields
  std::unordered_map<TRecordBuffer, std::vector<std::optional<std::string>>> FBlobs;
  std::vector<char> FOldBuffer;  // the record as it was when editing began (dsOldValue)
  TRecordBuffer FFilterBuffer = nullptr;
  TRecordBuffer FKeyBuffer = nullptr;
  TRecordBuffer FTestBuffer = nullptr;  // WithRecordUnderTest's
  bool FTestBufferBusy = false;
};

// A data set of a database: here a folder of table files.
class TDBDataSet : public TBDEDataSet {
public:
  explicit TDBDataSet(TComponent* AOwner);
  const std::string& DatabaseName() const { return FDatabaseName; }
  virtual void SetDatabaseName(const std::string& Value);
  // Whether the database is an SQL server: never, for a folder of local tables.
  bool IsSQLBased() const { return false; }
  ZEL_CLASS(TDBDataSet, TBDEDataSet)

private:
  std::string FDatabaseName;
};

// The table types; every one is kept in the engine's format, they differ in the default
// extension of the file. Types from 5 on belong to the other vendor's table driver
// (drivermodules.h); their files open as the default type's.
enum TDBTableType { ttDefault, ttParadox, ttDBase, ttFoxPro, ttASCII };

// The key buffers of a table: the key of a search, the range being set and the range in
// force, and a copy kept while a key is edited.
enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
struct TKeyBuffer {
  bool Modified = false;   // a field of the key was set since the buffer was cleared
  bool Exclusive = false;  // a search or range end that leaves out records equal to the key
  int FieldCount = 0;      // index fields that count (fewer: a partial key)
  TRecordBuffer Data = nullptr;
};

class TTable : public TDBDataSet {
public:
  explicit TTable(TComponent* AOwner);
  ~TTable() override;

  const std::string& TableName() const { return FTableName; }
  virtual void SetTableName(const std::string& Value);
  TDBTableType TableType() const { return FTableType; }
  void SetTableType(TDBTableType Value);
  TIndexDefs* IndexDefs() const { return FIndexDefs.get(); }
  // Either names the index that orders the records ("" the primary index, if any, else
  // natural order) or lists the fields of one (the first index that begins with them).
  const std::string& IndexName() const { return FIndexName; }
  void SetIndexName(const std::string& Value);
  const std::string& IndexFieldNames() const { return FIndexFieldNames; }
  void SetIndexFieldNames(const std::string& Value);
  int IndexFieldCount();
  TField* IndexFields(int Index);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  // The table's file: DatabaseName and TableName mapped, with the type's extension.
  std::string TableFileName() const;
  bool Exists() const;
  // Creates the table from FieldDefs and IndexDefs. An existing table is kept and
  // EDatabaseError raised, unless Replace is true.
  void CreateTable(bool Replace = false);

  // ---- key searches and ranges in the current index (dbtablekeys.cpp)
  // SetKey clears the search key and EditKey keeps it; both put the table in dsSetKey, where
  // the index fields take the key's values; Post (or any move) ends it, Cancel drops it.
  void SetKey();
  void EditKey();
  // GotoKey: the first record whose key begins with the search key (KeyFieldCount fields).
  // GotoNearest: the first at or after it (after, with KeyExclusive). A miss leaves the
  // table where it was and answers false.
  bool GotoKey();
  bool GotoNearest();
  // The same with the values of the first index fields.
  bool FindKey(const std::vector<Variant>& KeyValues);
  bool FindNearest(const std::vector<Variant>& KeyValues);
  // Range ends as keys: Set clears, Edit keeps the end's key; ApplyRange limits the table to
  // the records between them (an end left unset is open) and goes to the first.
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  void ApplyRange();
  void SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues);
  // Lifts the range, keeping the current record.
  void CancelRange();
  // Of the key being edited (dsSetKey; EDatabaseError otherwise).
  bool KeyExclusive() const;
  void SetKeyExclusive(bool Value);
  int KeyFieldCount() const;
  void SetKeyFieldCount(int Value);
  const TKeyBuffer& GetKeyBuffer(TKeyIndex Index) const { return FKeyBuffers[Index]; }

  void Post() override;    // in dsSetKey: takes the key
  void Cancel() override;  // in dsSetKey: drops the edit of the key
  void SetFieldData(TField* Field, const void* Buffer) override;
  ZEL_CLASS(TTable, TDBDataSet)

protected:
  std::unique_ptr<TEngineTable> CreateHandle() override;
  void PrepareCursor() override;
  void InternalOpen() override;
  void InternalClose() override;
  friend class TIndexDefs;
  void UpdateIndexDefs();

private:
  bool SeekKey(bool Nearest);
  void SetKeyBuffer(TKeyIndex Index, bool Clear);
  void PostKeyBuffer(bool Commit);
  void InitKeyBuffer(TKeyBuffer& Buffer);
  void CopyKeyBuffer(TKeyIndex From, TKeyIndex To);
  void SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values);
  // The first FieldCount index values of a key buffer; none when it was not set.
  std::vector<TEngineValue> KeyValues(TKeyIndex Index);
  void CheckSetKeyMode() const;
  void FreeKeyBuffers();

  TKeyBuffer FKeyBuffers[kiSave + 1];
  TKeyIndex FKeyIndex = kiLookup;
  std::string FTableName;
  TDBTableType FTableType = ttDefault;
  std::unique_ptr<TIndexDefs> FIndexDefs;
  std::string FIndexName;
  std::string FIndexFieldNames;
  bool FExclusive = false;
  bool FReadOnly = false;
};
