#pragma once
// The ODBC data set: a TDataSet over one statement (THstmt) that it owns.
//
// Two modes. Direct (Cached False): every record comes from the statement's cursor and a
// record's bookmark is its row's number in the result where rows keep their numbers (SQLite,
// whose driver gives rows the same bookmark), else the driver's bookmark of its row, so the
// cursor must have bookmarks (PostgreSQL's forward-only cursor has none: open refuses it and
// says to set Cached). A forward-only cursor reads forward only: First goes back to the first
// row only while that is the one row read, and returning to an earlier record raises. A record
// whose row cannot be told apart from another (neighbouring rows with one bookmark, a row whose
// number is not known) raises rather than being found as another. Cached (Cached True): fetched
// rows are copied into record buffers held in result order (the cache) and fetched lazily as
// positions beyond its end are asked for; a bookmark is a 4-byte record id.
//
// Record buffers: one slot per result column with the framework's field size (a text column
// of size n holds 4 x n + 1 bytes), a status byte (value cut when read, deferred long value
// loaded) and a null byte; then the record-info block, the calculated fields and the bookmark.
// The cache keeps the rows it reads packed: the record buffer's tail from the record-info
// block on as it is, then each slot's status and null bytes and its value without its trailing
// zero bytes, so that a text takes its own length. A row is unpacked into the
// record buffer that shows it; the cache's record turns into a record buffer for good when it
// is changed (CurrentCacheRecord, CacheRecord). Rows with long values are kept as record
// buffers.
// A value longer than its column's size (SQLite keeps any length) is cut at a character
// boundary when read and its slot is marked cut: posting such a record raises, naming the
// column, unless the field was assigned since. Binary columns are variable-bytes fields, so a
// value keeps its length, embedded zeros and trailing bytes. A column read as a long value is a
// memo or blob field held in the record's own memory stream.
//
// Bookmarks have the driver's size (8 bytes on SQLite, the row number; 4 on PostgreSQL),
// zero-padded to the data set's BookmarkSize and compared at that size.
//
// Pending cached updates are never dropped implicitly: while some are pending, anything that
// would reopen the data set (RefreshResults, a master's scroll, the setters that terminate the
// statement) raises, and a statement terminated from outside (its connection lost) leaves the
// data set open with them; only Close drops them.
//
// Where a failed statement on the same connection can end this data set's open server cursor
// (PostgreSQL's driver reading through a server cursor ends it silently, and scrolling it then
// crashes the driver), the data set raises at its next fetch instead of reading on.
//
// Construction is two-phase: the statement (CreateHstmt, which a descendant may override) is
// made at the first use, never from the constructor.
#include <cassert>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "classes.h"
#include "db.h"
#include "oclstmt.h"
#include "odsi.h"
#include "params.h"

class TCustomODDataSet;
class TReader;
class TODCatalog;

enum TODLocateOption { loPrefix, loSubString };
inline constexpr const char* ODLocateOptionNames[] = {"loPrefix", "loSubString"};
enum TODParamBindMode { pbByName, pbByNumber };
inline constexpr const char* ODParamBindModeNames[] = {"pbByName", "pbByNumber"};

// Takes over the writing of a data set's changes; no class of the system implements it.
class TODUpdateObject : public TComponent {
public:
  explicit TODUpdateObject(TComponent* AOwner) : TComponent(AOwner) {}
  virtual TDataSet* GetDataSet() = 0;
  virtual void SetDataSet(TDataSet* Value) = 0;
  virtual bool CanApply(TUpdateKind UpdateKind) = 0;
  virtual void Apply(TUpdateKind UpdateKind) = 0;
  ZEL_CLASS(TODUpdateObject, TComponent)
};

using TODUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, bool& ApplyUpdate)>;
using TODUpdateErrorEvent =
    std::function<void(TDataSet* DataSet, EODBC& E, TUpdateKind UpdateKind, bool& RaiseError)>;

class TCustomODDataSet : public TDataSet, public IODDataSet {
public:
  explicit TCustomODDataSet(TComponent* AOwner);
  ~TCustomODDataSet() override;

  // ---- IODDataSet
  THstmt* Hstmt() const override;
  bool Cached() const override { return FCached; }
  void SetCached(bool Value) override;
  void TerminateHstmt() override;
  void Unprepare() override;
  void RefreshParams() override;
  void SetParamsBound(bool Value) override { FParamsBound = Value; }
  // Pending cached updates keep the data set open when its statement goes: they can still be
  // applied (the statement is executed again for its columns) or reverted, but no further row
  // is read until it is opened again.
  bool OutliveStatement() override;

  // ---- properties
  THdbc* hDbc() const;
  void SetHdbc(THdbc* Value);
  TDataSetHstmt* hStmt() const;
  void SetHStmt(TDataSetHstmt*) {}
  TDataSource* GetDataSource() override;
  void SetDataSource(TDataSource* Value);
  bool ParamCheck() const { return FParamCheck; }
  void SetParamCheck(bool Value) { FParamCheck = Value; }
  bool Editable() const { return FEditable; }
  void SetEditable(bool Value);
  TODParams* Params();
  void SetParams(TODParams* Value);
  TODLocateOption LocateOption() const { return FLocateOption; }
  void SetLocateOption(TODLocateOption Value) { FLocateOption = Value; }
  bool LocateInsert() const { return FLocateInsert; }
  void SetLocateInsert(bool Value) { FLocateInsert = Value; }
  TODUpdateObject* UpdateObject() const { return FUpdateObject.Get(); }
  void SetUpdateObject(TODUpdateObject* Value);
  bool CachedUpdates() const { return FCachedUpdates; }
  void SetCachedUpdates(bool Value);
  bool EmptyFieldToNull() const { return FEmptyFieldToNull; }
  void SetEmptyFieldToNull(bool Value) { FEmptyFieldToNull = Value; }
  TNotifyEvent OnRefreshRecord;
  TODUpdateRecordEvent OnUpdateRecord;
  TODUpdateErrorEvent OnUpdateError;

  // The statement's source: the table wins over the stored procedure, both over the SQL text.
  const std::string& SQLText() const { return FSQL; }
  void SetSQL(const std::string& Text);
  const std::string& TableName() const { return FTableName; }
  void SetTable(const std::string& Name);
  const std::string& StoredProcName() const { return FStoredProcName; }
  void SetStoredProc(const std::string& Name);

  // ---- statement
  void Prepare();
  bool Prepared() const { return FPrepared; }
  bool ParamsBound() const { return FParamsBound; }
  // Binds the parameters, executes, reads output parameters back.
  void ExecSQL();
  // The ODBC call text of the stored procedure: "{:RESULT = CALL P(:A, :B)}".
  std::string StoredProcStatement();
  // Builds the parameters from the SQL text or the catalog when they must be rebuilt.
  void CreateParams();
  void BindParams();
  TStrings* GetParamNames();

  // ---- fetching (for the record-buffer protocol; True when positioned on a row)
  bool FetchFirst();
  bool FetchNext();
  bool FetchLast();
  bool FetchPrev();
  bool FetchAbsolute(int Row);
  bool FetchBookmark(const void* Bookmark);
  // Cached mode: moves in the cache by an ODBC fetch orientation (1 next, 2 first, 3 last,
  // 4 prior, 5 absolute, 6 relative, 8 bookmark: Value is the record id).
  bool FetchCache(int16_t Orientation, int Value);
  // Fetches rows into the cache until it holds Limit records (every row for Limit < 0).
  void FillCache(int Limit);
  void FetchAll();
  bool MoveAbsolute(int Row);
  // Closes and opens again (raises while cached updates are pending).
  void RefreshResults();
  void SetParamsFromCursor();
  bool AllFetched() const { return FAllFetched; }
  int CachePos() const { return FCachePos; }
  int CacheCount() const { return int(FCache.size()); }
  int PendingUpdates() const { return FPendingUpdates; }

  // ---- the record cache and the spare buffers (also for posting and cached updates)
  TRecordBuffer NewCacheRecord();
  // The current / the Index-th cache record as a record buffer (a packed one is unpacked for
  // good), to be changed or read in place.
  TRecordBuffer CurrentCacheRecord();
  TRecordBuffer CacheRecord(int Index);
  // Puts Rec (a NewCacheRecord) into the cache before Index (appends when Index is Count).
  void InsertCacheRecord(int Index, TRecordBuffer Rec);
  void DeleteCacheRecord(int Index);
  void ClearCache();
  // 0-based index of the cache record with that record id, -1 when none; not a scan.
  int IndexOfCacheId(std::int32_t Id);
  int OldCopyCount() const { return int(FOldCopies.size()); }
  TRecordBuffer OldCopy(int Index) const { return FOldCopies[size_t(Index)]; }
  // The saved copy of a record (same bookmark: in cached mode the record id); OldCopyOf makes a
  // new, zero-filled one under that bookmark when there is none. Found by a hash, not a scan.
  TRecordBuffer OldCopyOf(TRecordBuffer Rec);
  TRecordBuffer SavedCopyOf(TRecordBuffer Rec) const;
  int IndexOfOldCopy(TRecordBuffer Rec) const;
  bool FindOldCopy(const void* Bookmark, TRecordBuffer& Rec) const;
  void SaveOldCopy(TRecordBuffer Rec);
  void DeleteOldCopy(int Index);
  void ClearOldCopies();
  void AllocSpareBuffers();
  void FreeSpareBuffers();
  void CopyRecord(TRecordBuffer Source, TRecordBuffer Dest, bool WithBookmark);
  TRecordBuffer GetActiveRecordBuffer();
  bool IsDeletedRow(const void* Bookmark, bool RowValid);
  // A new bookmark of the current position (free it with FreeBookmark); nullptr when none.
  TBookmark GetCurrentBookmark();
  void AddDeletedBookmark(const void* Bookmark);
  void ClearDeletedBookmarks();
  // Reads a deferred long value of Buffer's columns that is not loaded yet (positions on the
  // record in direct mode). Before a record is written, so that none is written as NULL.
  void LoadDeferredBlobs(TRecordBuffer Buffer);
  // Raises EODBCLibrary naming the first column whose value was cut when read and that was not
  // assigned since.
  void CheckCutValues(TRecordBuffer Buffer);

  // ---- writing records (ovclpost.cpp)
  //
  // With Buffer given (direct path), the record is written at once through the statement: an
  // update or delete finds the row by the key the record had when read (its old values: the
  // record as the edit began, or as shown) and an update sets only the columns whose values
  // differ from those, an insert leaves NULL columns out (unless EmptyFieldToNull) so that the
  // database's defaults apply, a refresh reads the row back into Buffer. With Buffer nullptr
  // under CachedUpdates, Apply True writes every pending change of that kind and Apply False
  // reverts them; each record counts as applied (status cleared, saved copy dropped,
  // PendingUpdates lowered) as soon as it is written or OnUpdateError ignored its error, so that
  // a retry after a failure writes only the rest. Deletes are reverted in reverse order of
  // deletion, each record at its former place and under its former bookmark.
  //
  // In direct mode the driver's own positioned update or delete (which reports another user's
  // change as a conflict, EODBC) is used only where the cursor's copy of the row is the record
  // as read; a row written or refreshed before by key, or on a driver whose static cursor does
  // not show its own updates (SQLite), is changed by its key.
  void UpdateRecords(TRecordBuffer Buffer, bool Apply);
  void InsertRecords(TRecordBuffer Buffer, bool Apply);
  void DeleteRecords(TRecordBuffer Buffer, bool Apply);
  void RefreshRecords(TRecordBuffer Buffer);

  // ---- record buffer layout
  struct TRecInfo {
    std::uint8_t BookmarkFlag;
    // Cached updates: 0 unchanged, 1 modified, 2 inserted, 3 deleted. Direct mode, in a saved
    // copy: 1 when the cursor's copy of the row is stale (the row is changed by key).
    std::uint8_t UpdateStatus;
    std::int32_t FormerPos;     // cache position of a record deleted under cached updates
    // Cached mode: the record's place in the result. Rows take their record id; a record
    // inserted takes its predecessor's key, so keys never fall along the cache and a deleted
    // record finds its place again whatever was inserted or reverted since.
    std::int32_t OrderKey;
    // A saved copy: its index in OldCopies.
    std::int32_t CopySlot;
  };
  TRecInfo* GetRecInfo(TRecordBuffer Buffer) const;
  std::int32_t RecordId(TRecordBuffer Buffer) const;  // cached mode
  bool SlotIsNull(TRecordBuffer Buffer, int Col) const;
  bool SlotCut(TRecordBuffer Buffer, int Col) const;

  // ---- field transfer between the statement's row set and a record buffer
  // Column value at Row of the row set into Buffer's slot; Offset moves past the slot.
  void ToField(int Column, int Row, int& Offset, TRecordBuffer Buffer);
  // Every column's value at Row of the row set into Buffer's slots, and the row's key as the
  // driver gave it.
  void RowToRecord(int Row, TRecordBuffer Buffer);
  // Buffer's slot into row 1 of the statement's column buffers.
  void FromField(int Column, TRecordBuffer Buffer, bool Insert, int& Offset);

  // ---- update events (wired to the statement's confirm and row-count events)
  virtual bool DoInsert(TObject* Sender, const std::string& DefaultMsg);
  virtual bool DoUpdate(TObject* Sender, const std::string& DefaultMsg);
  virtual bool DoDelete(TObject* Sender, const std::string& DefaultMsg);
  virtual bool DoRefresh(TObject* Sender, const std::string& DefaultMsg);
  virtual int DoRowCount(TObject* Sender);
  virtual void DoUpdateRecord(TUpdateKind UpdateKind, bool& ApplyUpdate);
  virtual void DoUpdateError(EODBC& E, TUpdateKind UpdateKind, bool& RaiseError);

  // ---- TDataSet overrides
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool BookmarkValid(const void* Bookmark) override { return Bookmark != nullptr; }
  int CompareBookmarks(const void* Bookmark1, const void* Bookmark2) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;
  bool FindRecord(bool Restart, bool GoForward) override;
  void SetFiltered(bool Value) override;
  void SetOnFilterRecord(const TFilterRecordEvent& Value) override;
  void SetRecNo(int Value) override;
  bool IsSequenced() override { return false; }
  void SetBlockReadSize(int) override {}
  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) override;
  TUpdateStatus UpdateStatus() override;
  // Locate and Lookup (the framework's) compare text trimmed as the statement trims it, and with
  // loPartialKey by LocateOption; 64-bit integers whole.
  bool FieldMatches(TField* Field, const Variant& Key, TLocateOptions Options) override;

  void ReadState(TReader* Reader) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  ZEL_CLASS(TCustomODDataSet, TDataSet)

protected:
  // The statement of this data set; a descendant may return its own class. Called once, at the
  // first use of the statement.
  virtual std::unique_ptr<THstmt> CreateHstmt();

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  int GetRecordSize() override { return FDataSize; }
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearCalcFields(TRecordBuffer Buffer) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return FCursorOpen; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalPost() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalDelete() override;
  void InternalRefresh() override;
  // Puts the record as the edit began back into the active buffer, so that nothing unsaved is
  // left on show should the record not be read again.
  void InternalCancel() override;
  void DoBeforeEdit() override;
  void DoBeforeDelete() override;
  void DoAfterPost() override;
  // After a post, insert or delete that reached the database, a failure to read the rows around
  // it again does not make the write look failed: the data set shows the rows from the first.
  void Resync(TResyncMode Mode) override;
  void DoAfterCancel() override;
  void DoAfterDelete() override;
  void InternalHandleException() override;
  bool GetCanModify() override { return FEditable; }
  int GetRecordCount() override;
  int GetRecNo() override;

  // The buffer field access uses while cached updates are applied (buffer mode 2): the record
  // of the cache at ApplyCacheIndex, or the saved copy at ApplyOldIndex.
  int FBufferMode = 0;
  int FApplyOldIndex = -1;
  int FApplyCacheIndex = -1;
  int FPendingUpdates = 0;
  // FOldValueBuffer holds the record being edited or deleted (old values read there).
  bool FOldValueSet = false;
  TRecordBuffer FFilterBuffer = nullptr;
  TRecordBuffer FOldValueBuffer = nullptr;
  TRecordBuffer FApplyBuffer = nullptr;
  std::string FLocateKeyNames;
  Variant FLocateKeyValues;

private:
  // Bits of a slot's status byte.
  static constexpr unsigned char kCut = 1;     // the value was cut to the column's size when read
  static constexpr unsigned char kLoaded = 2;  // a long value is read (not deferred)
  // The field was assigned since the record was last written: it is written even where its
  // value looks the same (a text shown trimmed assigned its trimmed form).
  static constexpr unsigned char kAssigned = 4;
  void ClearAssigned(TRecordBuffer Buffer);
  struct TSlot {
    TFieldType Type = ftUnknown;
    int Offset = 0;
    int Width = 0;     // the value part
    bool Blob = false;  // a long column: the value part holds the record's memory stream
    bool Text() const { return Type == ftString || Type == ftFixedChar || Type == ftWideString; }
  };
  THstmt& Stmt() const { return *Hstmt(); }
  void EnsureHstmt() const;
  bool Loading() const { return ComponentState().Contains(csLoading); }
  bool Designing() const { return ComponentState().Contains(csDesigning); }
  // The common end of the three source setters.
  void SourceChanged();
  void CheckNoPendingUpdates(const char* What) const;
  // Close and Open with the controls disabled.
  void Reopen();
  // After a change of the filter: a cache is filtered again where it is, a cursor read again.
  void Refilter();
  TFieldType ColumnFieldType(int Col);
  // Rec: the column's record (THstmt::ColRec), nullptr where the column has none.
  void CellToSlot(THstmt& Stmt, const TColRec* Rec, int Column, int Row, TRecordBuffer Buffer);
  unsigned char* Slot(TRecordBuffer Buffer, int Col) const {
    assert(!IsPacked(Buffer));
    return reinterpret_cast<unsigned char*>(Buffer) + FSlots[size_t(Col) - 1].Offset;
  }
  unsigned char& SlotStatus(TRecordBuffer Buffer, int Col) const { return Slot(Buffer, Col)[FSlots[size_t(Col) - 1].Width]; }
  unsigned char& SlotNull(TRecordBuffer Buffer, int Col) const { return Slot(Buffer, Col)[FSlots[size_t(Col) - 1].Width + 1]; }
  TMemoryStream* SlotStream(TRecordBuffer Buffer, int Col) const;
  // The long value of column Col at Row of the statement's row set into Buffer's slot, loaded.
  void LoadBlobSlot(TRecordBuffer Buffer, int Col, int Row);
  char* BookmarkOf(TRecordBuffer Buffer) const {
    return IsPacked(Buffer) ? Buffer - 1 + (FBookmarkOffset - FRecInfoOffset) : Buffer + FBookmarkOffset;
  }
  // ---- packed cache records: the cache holds one as the address of its block plus one (record
  // buffers are aligned, so the low bit tells them apart); the block starts with the record
  // buffer's tail from the record-info block on, as laid out there.
  static bool IsPacked(TRecordBuffer Buffer) { return (reinterpret_cast<std::uintptr_t>(Buffer) & 1u) != 0; }
  // Full as a packed record; nullptr where a slot's status or null byte does not fit the packing.
  TRecordBuffer PackRecord(TRecordBuffer Full);
  // As CopyRecord from a packed record.
  void UnpackRecord(TRecordBuffer Packed, TRecordBuffer Dest, bool WithBookmark);
  // The current cache record as held, packed or not (raises when there is none).
  TRecordBuffer CurrentCacheEntry();
  void FreeCacheEntry(TRecordBuffer& Entry);
  // Fetched rows of the cache are read into this buffer first, then packed.
  TRecordBuffer FillBuffer();
  // The statement's fetches in direct mode, guarded against a cursor ended under us.
  bool DirectFetch(SQLSMALLINT Orientation, SQLLEN Offset);
  void CheckCursorAlive();
  bool ForwardOnly() const;
  [[noreturn]] void ForwardOnlyError() const;
  void SetCachePosition(int N);
  bool FindCacheBookmark(std::int32_t Id);
  // Reads the current row (or cache record) into Buffer; Bookmark is the current position's.
  void ReadCurrentRow(TRecordBuffer Buffer, const std::vector<unsigned char>* Bookmark);
  bool FilterAccepts(const std::vector<unsigned char>* Bookmark);
  // The current row's bookmark in direct mode (empty when none), padded to BookmarkSize.
  std::vector<unsigned char> CurrentRowBookmark();
  void CurrentRowBookmark(std::vector<unsigned char>& Bookmark);  // keeps Bookmark's room
  bool IsDeletedBookmark(const void* Bookmark);
  // Raises when a step to the next or prior row gives the previous row's bookmark.
  void CheckNewBookmark(const std::vector<unsigned char>& Bookmark, bool Replay);
  std::string BookmarkKey(const void* Bookmark) const;
  TRecordBuffer NewOldCopy(TRecordBuffer Rec);
  // Takes a saved copy out of OldCopies (the caller owns it) or frees it, leaving a hole in the
  // list until CompactOldCopies.
  void TakeOldCopy(TRecordBuffer Entry);
  void DropOldCopy(TRecordBuffer Entry);
  void CompactOldCopies();
  // ---- writing (ovclpost.cpp)
  enum class TWriteOp { Update, Insert, Delete, Refresh };
  // Writes Buffer through the statement's row 1; Old names the row (update, delete, refresh).
  void WriteRecord(TWriteOp Op, TRecordBuffer Buffer, TRecordBuffer Old);
  // The direct path of the four record operations, with the cursor's row read back on failure.
  void WriteDirect(TWriteOp Op, TRecordBuffer Buffer, TRecordBuffer Old);
  // FromField without the check for values cut when read (old values name the row only).
  void PutSlot(int Column, TRecordBuffer Buffer, bool Insert, int& Offset);
  void NoteDirectCopy(TRecordBuffer Buffer);
  // Direct mode: the cursor's current row is the record Old as read, so the driver's own
  // positioned operation may change it.
  bool CursorHoldsRecord(TRecordBuffer Old);
  // The value of a column (not a long one) is the same in both records, NULL alike.
  bool SameSlot(TRecordBuffer A, TRecordBuffer B, int Col) const;
  void InsertIntoCache(TRecordBuffer Source);
  void MarkDeleted(TRecordBuffer Rec);
  template <class F>
  void ApplyCache(F&& Body);
  void ApplyOne(TWriteOp Op, TUpdateKind Kind, TRecordBuffer Buffer, TRecordBuffer Old);
  void AfterCacheChange();
  void ResolveLocateKeyNames();
  void TakeLocateKeyValues();
  // The active record into FOldValueBuffer (an edit or delete begins) / the buffer emptied.
  void KeepOldValues();
  void ClearOldValueBuffer();
  void CreateParamsFromText();
  void CreateParamsFromCatalog();
  void AddCatalogParam(const class TCatalogColumn& Column);
  void BuildSlots();
  // Fields of columns that a write cannot change are read-only.
  void MarkUnwritableFields();

  mutable std::unique_ptr<THstmt> FHstmt;
  mutable std::unique_ptr<TDataSetHstmt> FDataSetHstmt;
  bool FCursorOpen = false;
  std::string FSQL;
  std::string FTableName;
  std::string FStoredProcName;
  std::unique_ptr<TODDataLink> FDataLink;
  bool FParamCheck = true;
  std::unique_ptr<TODParams> FParams;
  std::unique_ptr<TStringList> FParamNames;
  bool FPrepared = false;
  bool FEditable = false;
  bool FParamsChanged = false;
  bool FParamsBound = false;
  TODLocateOption FLocateOption = loPrefix;
  bool FLocateInsert = false;
  TComponentRef<TODUpdateObject> FUpdateObject;
  bool FCached = false;
  bool FAllFetched = false;
  int FCachePos = 0;
  std::int32_t FLastRecordId = 0;
  bool FCachedUpdates = false;
  bool FEmptyFieldToNull = false;
  bool FFindFlag = false;
  // Layout, fixed for one open.
  std::vector<TSlot> FSlots;
  int FDataSize = 0;
  int FRecInfoOffset = 0;
  int FCalcFieldsOffset = 0;
  int FBookmarkOffset = 0;
  // The row's key as the driver gave it (THstmt::TakeRowKey); none when FKeySize is 0.
  int FKeyOffset = 0;
  int FKeySize = 0;
  int FBufferSize = 0;
  bool FHasBlobs = false;
  TRecordBuffer FFillBuffer = nullptr;
  std::vector<std::uint32_t> FPackLengths;  // per column, while a record is packed
  // The error of a row the cache could not take; raised again by every later fill.
  std::exception_ptr FFillError;
  std::vector<TRecordBuffer> FOldCopies;
  std::unordered_map<std::string, TRecordBuffer> FOldCopyIndex;  // by bookmark
  int FOldCopyHoles = 0;
  std::vector<TRecordBuffer> FCache;
  std::vector<TBookmark> FDeletedBookmarks;
  std::unordered_set<std::string> FDeletedIndex;
  // The driver's static cursor shows the rows it changed itself (SQL_SS_UPDATES).
  bool FOwnUpdatesSeen = false;
  // The confirm event's answer to the last row operation.
  bool FRowConfirmed = false;
  // A post, insert or delete has just reached the database (until the framework's Resync).
  bool FWritten = false;
  // The statement went while cached updates were pending: its result is to be executed again
  // before a write (FResultLost), and no further row is fetched (FRowsLost).
  bool FResultLost = false;
  bool FRowsLost = false;
  // Cache lookups by record id: the ids rise along the list until a record is inserted in
  // the middle; then a map, rebuilt after the next change of the list.
  bool FCacheSorted = true;
  bool FCacheMapValid = false;
  std::unordered_map<std::int32_t, int> FCacheMap;
  // Direct mode: rows fetched since the execution, and the first row handed out again by a
  // forward-only cursor's First.
  std::int64_t FRowsRead = 0;
  bool FReplayRow = false;
  // The bookmark of the row the last step read (empty after a repositioning).
  std::vector<unsigned char> FStepBookmark;
  // Room for the bookmark GetRecord takes of each row, lent to one call at a time.
  std::vector<unsigned char> FReadBookmark;
  // Direct mode on a result whose rows keep their numbers (THstmt::StableRowNumbers): a
  // record's bookmark is its row's number, found again by an absolute fetch.
  bool FRowNumbers = false;
  // The connection's failure count when the result was opened, and whether a failure there can
  // end this result (a server cursor of PostgreSQL's driver).
  std::uint64_t FOpenFailures = 0;
  bool FServerCursor = false;
};

// ---- the query component (ovclquery.cpp)

// The ODBC data set with its SQL text as a string list. Every change of the list (a line added,
// deleted or changed, Clear, Assign) sets the data set's SQL, which closes an open query and
// unprepares it; between BeginUpdate and EndUpdate the list sets it once, at the end.
class TCustomODQuery : public TCustomODDataSet {
public:
  explicit TCustomODQuery(TComponent* AOwner);
  ~TCustomODQuery() override;

  TStrings* SQL() const { return FSQLLines.get(); }
  // Copies the lines of Value (Assign).
  void SetSQL(TStrings* Value);
  // The text goes into the list (one line per line of the text), and from there to the data set.
  void SetSQL(const std::string& Text);

  // Views of the statement's options, stored nowhere else.
  // RequestLive: the cursor is not read-only. True makes a read-only cursor SQL_CONCUR_VALUES
  // (another concurrency stays), False makes it read-only; both set Editable alike.
  bool RequestLive() const;
  void SetRequestLive(bool Value);
  // UniDirectional: a forward-only cursor. False turns a forward-only cursor into the one a
  // scrolling data set takes (TDataSetHstmt::ScrollCursorType); another cursor stays.
  bool UniDirectional() const;
  void SetUniDirectional(bool Value);
  // CacheBlobs: long values read with their row (not hStmt.BlobDeferral).
  bool CacheBlobs() const;
  void SetCacheBlobs(bool Value);
  // ParamBindMode: pbByName when hStmt.BindByName.
  TODParamBindMode ParamBindMode() const;
  void SetParamBindMode(TODParamBindMode Value);
  // The published Active: read from a form stream, the data set opens once it is loaded.
  void SetStreamedActive(bool Value);

  void Loaded() override;
  ZEL_CLASS(TCustomODQuery, TCustomODDataSet)

private:
  std::unique_ptr<TStringList> FSQLLines;
  bool FStreamedActive = false;
};

// The query that forms and code use: it publishes the data set's properties, its statement
// options (hStmt) and the framework's.
class TODQuery : public TCustomODQuery {
public:
  explicit TODQuery(TComponent* AOwner) : TCustomODQuery(AOwner) {}
  ZEL_CLASS(TODQuery, TCustomODQuery)
};
