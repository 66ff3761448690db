#pragma once
// The statement component: one ODBC statement handle on one connection. It holds the SQL text
// and the statement options, allocates its handle on first use, prepares and executes (named
// ":name" parameter tokens become "?" markers), binds parameters and result columns, fetches
// row sets and gives typed access to the values of the current row set.
//
// The token scanner knows single-quoted literals only. A PostgreSQL cast written "x::type" (two
// colons) outside quotes is refused with EODBCLibrary "Invalid parameter token in SQL
// statement."; write CAST(x AS type) instead, or switch SQLParsing off for that text.
//
// Character columns are bound with room for the longest UTF-8 form of their size; a column of
// unknown size, or wider than 8000 characters (binary: 32000 bytes), is read as a long column
// into a stream. A bound value longer than its element (SQLite does not enforce declared sizes)
// is read again in full after the fetch, or refused with EODBCLibrary where the driver cannot
// position on its row: a value is never cut.
//
// SQLite's driver reads a whole forward-only result into memory unless its data source sets
// StepAPI=1; PostgreSQL's does so unless UseDeclareFetch=1.
//
// SQLite's columns keep any value whatever their declared type: its integer, smallint and
// tinyint columns are read as 64-bit integers (the driver would narrow them silently), and a
// date it cannot convert, which it reports as NULL, is told apart by its text; ColTimestamp
// raises EConvertError for it (and for character text that is no date), so only NULL gives day
// zero. Its driver steps a row set of several rows back or relative from the wrong row: those
// steps are asked as absolute fetches. RowCount reads the rows of a text that folds or limits
// them (aggregates, LIMIT, OFFSET, TOP, FETCH) or of a statement with MaxRows, whatever the
// method; the driver's count is taken right after Execute, the only time it is defined.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "ocl.h"
#include "streams.h"

class TReader;

enum TBlobPlacement { bpDetect, bpByParts, bpByExec };
enum TEmptyToNull { enNever, enAlways, enIfNullable };
enum TRowCountMethod { rcFunction, rcSelect, rcTraverse, rcCustom };
enum TNoRowsAffectedFlag { nrByInsert, nrByUpdate, nrByDelete, nrByRefresh };
using TNoRowsAffected = TSmallSet<TNoRowsAffectedFlag>;

// Identifiers of the enumerations above in ordinal order, as form streams store them.
inline constexpr const char* BlobPlacementNames[] = {"bpDetect", "bpByParts", "bpByExec"};
inline constexpr const char* EmptyToNullNames[] = {"enNever", "enAlways", "enIfNullable"};
inline constexpr const char* StringTrimmingNames[] = {"stTrimNone", "stTrimTrailing", "stTrimLeading", "stTrimBoth"};
inline constexpr const char* RowCountMethodNames[] = {"rcFunction", "rcSelect", "rcTraverse", "rcCustom"};
inline constexpr const char* NoRowsAffectedNames[] = {"nrByInsert", "nrByUpdate", "nrByDelete", "nrByRefresh"};

// Answers the number of rows of the statement's result, or a negative number for "unknown".
using TRowCountEvent = std::function<int(TObject* Sender)>;

// Asked before a row operation with its default question ("Update row(s)?", ...); False cancels
// the operation silently.
using TConfirmEvent = std::function<bool(TObject* Sender, const std::string& DefaultMsg)>;
// Sees each generated statement before it is prepared and may replace its text. Operation: 1
// UPDATE, 2 DELETE, 4 refresh SELECT, 8 INSERT.
using TStatementEvent = std::function<void(TObject* Sender, uint16_t Operation, std::string& SQL)>;

// Dispatches pending window messages between the polls of an asynchronous execution. The window
// layer installs the application's message processing; without it the polls just repeat.
using TProcessMessagesProc = std::function<void()>;
extern TProcessMessagesProc ODBCProcessMessages;

// Row operation flags (low four bits of a row's flag word).
inline constexpr uint16_t roUpdate = 1;
inline constexpr uint16_t roDelete = 2;
inline constexpr uint16_t roRefresh = 4;
inline constexpr uint16_t roInsert = 8;

// One bound parameter. The indicator cell lives here, at a fixed address while bound.
struct TStmtParamRec {
  void* Value = nullptr;  // the caller's buffer, not owned; nullptr sends NULL
  SQLLEN Ind = 0;
  bool LengthGiven = false;  // SetParamSize was called since the bind
  SQLSMALLINT CType = 0;
  SQLSMALLINT SQLType = 0;
  SQLUSMALLINT ParamNo = 0;
  SQLLEN RowCount = 1;
  // What the last SQLBindParameter was given, to bind the same again.
  SQLSMALLINT IOType = SQL_PARAM_INPUT;
  SQLULEN ColumnSize = 0;
  SQLSMALLINT DecimalDigits = 0;
  SQLLEN BufferLength = 0;
  // The indicator of the last execution; Executed is false until one ran since the bind.
  SQLLEN SentInd = 0;
  bool Executed = false;
};

// One result column. Buffers are row-set arrays bound column-wise; a long column has no buffer
// but a stream that holds the value of row 1 (the row the row operations write), and in a larger
// row set one more stream per other row, so that reading another row never replaces row 1's.
struct TColRec {
  std::string Name;
  std::unique_ptr<unsigned char[]> Buffer;  // RowSetSize elements of ElemSize bytes
  size_t ElemSize = 0;
  std::unique_ptr<SQLLEN[]> Ind;  // RowSetSize cells
  SQLSMALLINT CType = 0;
  SQLSMALLINT SQLType = 0;
  std::unique_ptr<TMemoryStream> Stream;  // long columns only: row 1's value
  std::vector<std::unique_ptr<TMemoryStream>> RowStreams;  // rows 2.. of a larger row set
  bool IsLong = false;
  bool Loaded = false;  // Stream holds row 1's value: read, written or read back
  bool IsPrimary = false;
  SQLULEN ColumnSize = 0;
  SQLSMALLINT DecimalDigits = 0;
  SQLSMALLINT Nullable = SQL_NULLABLE_UNKNOWN;
  // Per row: a character or binary value longer than its bound element, read again in full
  // after the fetch; or, for a date, time or timestamp column, the driver's text of a value it
  // reported as NULL because it could not convert it (see THstmt::ColTimestamp).
  std::vector<std::string> Full;
  std::vector<char> HasFull;  // 0 none, 1 Full holds the value, 2 not known whether NULL
};

// Reads Instance's properties from a form stream up to the list end, as ReadState does; a
// property that cannot be read is skipped when Tolerate, told its name, accepts it.
void ReadPropertiesTolerating(TReader* Reader, TComponent* Instance,
                              const std::function<bool(const std::string& Name)>& Tolerate);

class THstmt : public THbase {
public:
  explicit THstmt(TComponent* AOwner);
  ~THstmt() override;

  // ---- lifecycle
  bool Init() override;
  bool Terminate() override;
  // Closes the cursor and forgets every parameter and column binding (allocates the handle
  // when needed).
  virtual void Close();
  virtual void CloseCursor();
  SQLHSTMT Handle();
  bool Allocated() const { return FAllocated; }
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Reads the published properties; streams of older versions load too: their OnPrepare,
  // OnExecute and OnFetch events are skipped, and a StringTrimming value that cannot be read
  // gives stTrimNone.
  void ReadState(TReader* Reader) override;

  // ---- published properties
  THdbc* hDbc() const {
    return FHdbc.Adopted();
  }
  void SetHdbc(THdbc* Value);
  const std::string& SQL() const { return FSQL; }
  void SetSQL(const std::string& Value);
  bool SQLParsing() const { return FSQLParsing; }
  void SetSQLParsing(bool Value) { FSQLParsing = Value; }
  SQLULEN ConcurrencyType() const { return FConcurrencyType; }
  void SetConcurrencyType(SQLULEN Value);
  SQLULEN CursorType() const { return FCursorType; }
  void SetCursorType(SQLULEN Value);
  SQLULEN RowSetSize() const { return FRowSetSize; }
  void SetRowSetSize(SQLULEN Value);
  bool SkipByPosition() const { return FSkipByPosition; }
  // Both setters unprepare the auxiliary statements of the row operations.
  void SetSkipByPosition(bool Value);
  bool SkipByCursor() const { return FSkipByCursor; }
  void SetSkipByCursor(bool Value);
  bool BindBookmarks() const { return FBindBookmarks; }
  void SetBindBookmarks(bool Value) { FBindBookmarks = Value; }
  int32_t BlobSize() const { return FBlobSize; }
  void SetBlobSize(int32_t Value);
  bool BlobDeferral() const { return FBlobDeferral; }
  void SetBlobDeferral(bool Value) { FBlobDeferral = Value; }
  TBlobPlacement BlobPlacement() const { return FBlobPlacement; }
  void SetBlobPlacement(TBlobPlacement Value) { FBlobPlacement = Value; }
  bool ExecAsync() const { return FExecAsync; }
  void SetExecAsync(bool Value) { FExecAsync = Value; }
  TEmptyToNull EmptyStringToNull() const { return FEmptyStringToNull; }
  void SetEmptyStringToNull(TEmptyToNull Value) { FEmptyStringToNull = Value; }
  TStringTrimming StringTrimming() const { return FStringTrimming; }
  void SetStringTrimming(TStringTrimming Value) { FStringTrimming = Value; }
  bool BindByName() const { return FBindByName; }
  void SetBindByName(bool Value) { FBindByName = Value; }
  TRowCountMethod RowCountMethod() const { return FRowCountMethod; }
  void SetRowCountMethod(TRowCountMethod Value) { FRowCountMethod = Value; }
  TNoRowsAffected NoRowsAffected() const { return FNoRowsAffected; }
  void SetNoRowsAffected(TNoRowsAffected Value) { FNoRowsAffected = Value; }

  TNotifyEvent BeforePrepare;
  TNotifyEvent AfterPrepare;
  TNotifyEvent BeforeExecute;
  TNotifyEvent AfterExecute;
  TNotifyEvent BeforeFetch;
  TNotifyEvent AfterFetch;
  TRowCountEvent OnRowCount;
  TConfirmEvent OnInsert;
  TConfirmEvent OnUpdate;
  TConfirmEvent OnDelete;
  TConfirmEvent OnRefresh;
  TStatementEvent OnStatement;

  // ---- run-time state
  SQLULEN MaxRows();
  void SetMaxRows(SQLULEN Value);
  bool Prepared() const { return FPrepared; }
  void SetPrepared(bool Value);
  bool Executed() const { return FExecuted; }
  bool AsyncOn() const { return FAsyncOn; }
  const std::string& TargetTable() const { return FTargetTable; }
  void SetTargetTable(const std::string& Value) { FTargetTable = Value; }
  // InputOutputType of the next parameter bind: 1 input, 2 input/output, 4 output; others are
  // ignored.
  void SetParamType(SQLSMALLINT Value);
  // The driver's SQL_*_CURSOR_ATTRIBUTES1 mask for the cursor type in effect.
  SQLUINTEGER CursorAttributes() const { return FCursorAttributes; }
  SQLLEN BookmarkSize() const { return FBookmarkSize; }
  // A row keeps its number in the result, whatever this statement or another writes, as long as
  // the result is open: SQLite's driver holds the result of a cursor that scrolls in memory as
  // it was at the execution (its own positioned writes and bulk adds change none of it), and a
  // forward-only cursor's rows are numbered as they are read. Its bookmarks do not tell rows
  // apart: where the result has an integer column of a table's key (one of several columns, a
  // view's, a self-join's) the bookmark is that column's value, and a bookmark fetch lands on
  // the first row with it.
  bool StableRowNumbers() const { return FStableRowNumbers; }
  bool ColsBound() const { return FColsBound; }
  bool HasLongCols() const { return FHasLongCols; }

  // ---- preparation, parameters, execution
  void Prepare();
  // The text sent to the driver (tokens replaced by "?"); fills ParamNames.
  std::string ParseSQL();
  // Parses SQL and gives the token names in order of appearance.
  TStrings* ParamNames();
  void BindParam(int ParamNo, SQLSMALLINT CType, SQLSMALLINT SQLType, void* ValuePtr);
  void BindParamMain(int ParamNo, SQLSMALLINT CType, void* ValuePtr, SQLSMALLINT SQLType,
                     SQLULEN ColumnSize, SQLSMALLINT DecimalDigits, SQLSMALLINT Nullable,
                     SQLLEN ArraySize);
  // Binds the stream's current memory as a long parameter (NULL when the stream is empty); bind
  // again after the stream grows.
  void BindBlobParam(int ParamNo, TMemoryStream* Stream, bool Binary);
  void DescribeParam(int ParamNo, SQLSMALLINT& SQLType, bool UseFallback, SQLSMALLINT& Nullable,
                     SQLSMALLINT& DecimalDigits, SQLULEN& ColumnSize);
  SQLLEN GetParamSize(int ParamNo) const;
  void SetParamSize(int ParamNo, SQLLEN Size);
  // Forgets every parameter binding, in the driver too; the parameter token names stay.
  void ResetParams();
  // The record of a bound parameter, nullptr when the number is not bound.
  const TStmtParamRec* ParamRec(int ParamNo) const;
  virtual void Execute();
  SQLLEN NumRowsAffected();
  int RowCount();
  void SetAsync(bool Value);

  // ---- columns and fetching
  void BindCols();
  int NumCols();
  SQLULEN NumRowsFetched() const { return FRowsFetched; }
  TStrings* ColNames();
  bool Fetch(SQLSMALLINT Orientation, SQLLEN Offset);
  bool FetchFirst() { return Fetch(SQL_FETCH_FIRST, 0); }
  bool FetchNext() { return Fetch(SQL_FETCH_NEXT, 0); }
  bool FetchLast() { return Fetch(SQL_FETCH_LAST, 0); }
  bool FetchPrev() { return Fetch(SQL_FETCH_PRIOR, 0); }
  bool FetchAbsolute(SQLLEN Row) { return Fetch(SQL_FETCH_ABSOLUTE, Row); }
  bool FetchRelative(SQLLEN Offset) { return Fetch(SQL_FETCH_RELATIVE, Offset); }
  bool FetchBookmark(const std::vector<unsigned char>& Bookmark);
  // The number in the result (from 1) of the first row of the current row set: 0 before the
  // first row and after the last, -1 where it is not known (after a bookmark fetch or a failed
  // one, or a step from the end of a result whose size the driver did not give). Followed
  // through the fetches from the size given at the execution: it names the row where rows keep
  // their numbers (StableRowNumbers).
  SQLLEN RowNumber() const;
  // Reads a long value of the current row into Stream; its total length, -1 for NULL.
  SQLLEN ReadBlob(int Col, SQLSMALLINT CType, TStream* Stream);
  SQLLEN ReadBlobCol(int Col, int Row, TStream* Stream, SQLSMALLINT CType);
  void BindBlobCols(bool ForWrite);
  // A copy of row 1's bookmark; empty when the cursor has none.
  std::vector<unsigned char> GetBookmark();
  SQLUSMALLINT RowStatus(int Row) const;
  bool RowValid(int Row) const;
  uint16_t RowOperation(int Row) const;
  void SetRowOperation(int Row, uint16_t Value);

  SQLLEN ColSize(int Col) { return ColSizeRow(Col, 1); }
  SQLLEN ColSizeRow(int Col, int Row);
  void SetColSize(int Col, SQLLEN Size) { SetColSizeRow(Col, 1, Size); }
  void SetColSizeRow(int Col, int Row, SQLLEN Size);
  bool ColNull(int Col) { return ColNullRow(Col, 1); }
  bool ColNullRow(int Col, int Row);
  void SetColNull(int Col, bool Value);
  void SetColIgnore(int Col, bool Value);
  bool ColIgnoreRow(int Col, int Row);
  void SetColPrimary(int Col, bool Value);
  bool ColPrimary(int Col);
  SQLULEN ColPrecision(int Col);
  SQLSMALLINT ColScale(int Col);
  SQLSMALLINT ColNullable(int Col);
  SQLLEN ColAttribute(int Col, SQLUSMALLINT Field);
  // The column record, nullptr when the number is not a result column.
  TColRec* ColRec(int Col);
  // Every column record as bound, in order (none before ColRec or a fetch binds them): for a
  // reader of whole rows, which would otherwise look each one up on every row.
  const std::vector<std::unique_ptr<TColRec>>& BoundColRecs() const { return FCols; }

  // ---- column accessors (a column number alone means row 1)
  std::string ColString(int Col) { return ColString(Col, 1); }
  std::string ColString(int Col, int Row);
  double ColDouble(int Col) { return ColDouble(Col, 1); }
  double ColDouble(int Col, int Row);
  int16_t ColSmallint(int Col) { return ColSmallint(Col, 1); }
  int16_t ColSmallint(int Col, int Row);
  uint16_t ColWord(int Col, int Row);
  int32_t ColInteger(int Col) { return ColInteger(Col, 1); }
  int32_t ColInteger(int Col, int Row);
  int32_t ColLongint(int Col) { return ColInteger(Col, 1); }
  int64_t ColInt64(int Col, int Row);
  SQL_TIMESTAMP_STRUCT ColTimestamp(int Col) { return ColTimestamp(Col, 1); }
  SQL_TIMESTAMP_STRUCT ColTimestamp(int Col, int Row);
  void ColTimestamp(int Col, SQL_TIMESTAMP_STRUCT& TS) { TS = ColTimestamp(Col, 1); }
  void ColTimestamp(int Col, int Row, SQL_TIMESTAMP_STRUCT& TS) { TS = ColTimestamp(Col, Row); }
  TMemoryStream* ColStream(int Col);
  TMemoryStream* ColStream(int Col, int Row);
  void* ColValue(int Col) { return ColValue(Col, 1); }
  void* ColValue(int Col, int Row);
  SQLSMALLINT ColCType(int Col);
  SQLSMALLINT ColSQLType(int Col);
  bool ColIsBlob(int Col);

  // The same readers by result column name (EODBCLibrary when the name is not a column).
  std::string ColString(const std::string& Name) { return ColString(ColByName(Name)); }
  double ColDouble(const std::string& Name) { return ColDouble(ColByName(Name)); }
  int16_t ColSmallint(const std::string& Name) { return ColSmallint(ColByName(Name)); }
  int32_t ColInteger(const std::string& Name) { return ColInteger(ColByName(Name)); }
  int64_t ColInt64(const std::string& Name) { return ColInt64(ColByName(Name), 1); }
  SQL_TIMESTAMP_STRUCT ColTimestamp(const std::string& Name) { return ColTimestamp(ColByName(Name)); }
  TMemoryStream* ColStream(const std::string& Name) { return ColStream(ColByName(Name)); }
  bool ColNull(const std::string& Name) { return ColNull(ColByName(Name)); }

  // Writers. A text that does not fit a character or binary element raises EODBCLibrary, one
  // that is no value of the cell's C type (a letter for a number, a year the date cannot hold)
  // raises EConvertError; both name the column and leave the cell as it was. Dates and stamps
  // are written for every year from 1 to 9999; a time keeps hours, minutes and seconds.
  void SetColString(int Col, const std::string& S) { SetColString(Col, 1, S); }
  void SetColString(int Col, int Row, const std::string& S);
  void SetColDouble(int Col, double X) { SetColDouble(Col, 1, X); }
  void SetColDouble(int Col, int Row, double X);
  void SetColSmallint(int Col, int16_t V) { SetColInteger(Col, 1, V); }
  void SetColWord(int Col, uint16_t V) { SetColInteger(Col, 1, int32_t(V)); }
  void SetColInteger(int Col, int32_t V) { SetColInteger(Col, 1, V); }
  void SetColInteger(int Col, int Row, int32_t V);
  void SetColInt64(int Col, int64_t V) { SetColInt64(Col, 1, V); }
  void SetColInt64(int Col, int Row, int64_t V);
  void SetColTimestamp(int Col, const SQL_TIMESTAMP_STRUCT& TS) { SetColTimestamp(Col, 1, TS); }
  void SetColTimestamp(int Col, int Row, const SQL_TIMESTAMP_STRUCT& TS);
  void SetColStream(int Col, TStream* Stream);

  // 1-based number of the first parameter token / result column of that name (ASCII
  // case-insensitive).
  int ParamByName(const std::string& Name);
  int ColByName(const std::string& Name);

  // ---- positioned statements and row operations (oclstmtpos.cpp)
  //
  // A row is changed through the driver (SQLBulkOperations, SQLSetPos) where the cursor can do
  // it and the driver was seen to do it right, else through a generated INSERT, UPDATE, DELETE
  // or refresh SELECT on one of four auxiliary statements that stay prepared. Only row 1 of the
  // row set is ever changed: a request for another row raises EODBCLibrary.
  //
  // The key of a generated UPDATE, DELETE or refresh holds the values the row had when it was
  // read: the first write into row 1 after a fetch, a refresh or a row operation keeps a copy of
  // the row (KeepKeyValues does so explicitly). A caller that puts another row's values into
  // the buffers (a data set writing a record of its own) writes that row's old values first,
  // calls KeepKeyValues, then writes the new values.

  // Confirm, then run the operation on row 1 (or on row 1 when flagged in a larger row set).
  virtual void DoInsert();
  virtual void DoUpdate();
  virtual void DoDelete();
  virtual void DoRefresh();
  void InsertRow();
  void UpdateRow(int Row);
  void DeleteRow(int Row);
  void RefreshRow(int Row);
  // The table to change as the generated text names it: TargetTable, else the table the
  // driver describes the first column of a table in (with its schema, or SQLite's database),
  // else the one table of the outer FROM clause; EODBCLibrary when none. Columns of another
  // table or of none are then never written, nor keys.
  std::string TargetTableName();
  // Marks the key columns: the driver's best row identifier without pseudo columns, else the
  // primary key, matched to the target's columns by their base names. Columns already marked
  // stay as they are.
  void DetectPrimaryCols();
  // "A = ? AND B = ?" over the key columns in column order.
  std::string PrimaryWhere();
  // The key columns' names, each followed by ";".
  std::string PrimaryColNames();
  // The column is one of the target table's, which a write may change; a column of another
  // table or an expression is not (EODBCLibrary when the target cannot be proven).
  bool ColWritable(int Col);
  std::string CursorName();
  // Address of the row's flag word; nullptr outside the row set.
  uint16_t* RowFlags(int Row);
  // Row 1's values as they stand are the row as it was read (see above).
  void KeepKeyValues();
  // The key of a row exactly as the driver gave it (text with its blanks, a timestamp's whole
  // fraction), kept by a caller beside its own copy of the row. RowKeySize detects the key and
  // gives the room one row's key takes; TakeRowKey copies the key of a row of the row set;
  // UseRowKey makes a kept key the key of the next row operation (after KeepKeyValues);
  // TakeWrittenKey gives the key a row has after a write, from its key before. A value that
  // cannot be kept exactly is marked so: a write by it raises.
  size_t RowKeySize();
  void TakeRowKey(int Row, void* Dest);
  void UseRowKey(const void* Src);
  void TakeWrittenKey(const void* Old, void* Dest);
  // Until the next fetch row 1 is changed by its key, never through the driver's positioned
  // operations: the caller knows the cursor's copy of the row to be stale.
  void ChangeByKey();
  // Row 1's buffers are the cursor's own copy of the row: nothing changed it by key since the
  // fetch (an update through the driver keeps it so).
  bool RowByCursor() const;
  // The auxiliary statements build and prepare their text again at their next use.
  void UnprepareAuxStatements();
  // Runs a catalog function on the handle in place of the SQL text: closes the statement, calls
  // Call, checks its return code and leaves its result ready to fetch.
  void RunCatalog(const std::function<SQLRETURN(SQLHSTMT)>& Call);

  // Raw bytes into a cell: exactly Length bytes (SQL_NULL_DATA: NULL), no trimming, no
  // empty-to-NULL rule. A character or binary cell that cannot hold them raises EODBCLibrary;
  // a cell of another C type takes exactly its size.
  void SetColBytes(int Col, const void* Data, SQLLEN Length) { SetColBytes(Col, 1, Data, Length); }
  void SetColBytes(int Col, int Row, const void* Data, SQLLEN Length);

  // ---- for the error object
  SQLSMALLINT ODBCHandleType() const override { return SQL_HANDLE_STMT; }
  SQLHANDLE ODBCHandle() const override { return FHandle; }
  THdbc* LinkConnection() const override { return FHdbc.Get(); }
  void ErrorCleanup() override;

  ZEL_CLASS(THstmt, THbase)

protected:
  virtual void DoBeforePrepare();
  virtual void DoAfterPrepare();
  virtual void DoBeforeExecute();
  virtual void DoAfterExecute();
  virtual void DoBeforeFetch();
  virtual void DoAfterFetch();
  virtual int DoRowCount();

  // Sends the values the driver asks for at execution; Find maps the pointer SQLParamData gives
  // to the value and its announced length (false when it is none of ours).
  using TDataAtExecFind = std::function<bool(SQLPOINTER Token, const void*& Data, SQLLEN& Length)>;
  void PutDataAtExec(const TDataAtExecFind& Find);

private:
  struct TCell {
    TColRec* Col = nullptr;
    size_t Index = 0;  // of Col in FCols
    int Row = 0;
    void* Value = nullptr;  // nullptr for a long column
    size_t Capacity = 0;    // bytes at Value
    SQLLEN* Ind = nullptr;
  };
  bool FindCell(int Col, int Row, TCell& Cell);
  // The stream that holds a long column's value of a row (created on first use).
  TMemoryStream* LongStream(TColRec& C, int Row);
  // A cell with a bound, non-NULL value (not a long column): what the number and date readers
  // convert.
  bool FindValue(int Col, int Row, TCell& Cell);
  void ApplyStmtAttr(SQLINTEGER Attr, SQLULEN Value);
  void LoadCursorAttributes(SQLULEN Type);
  void FreeParams();
  void FreeCols();
  SQLRETURN ExecCall(bool Direct, const std::string& Text);
  void CheckTruncation();
  void ReadFull(TColRec& C, int Col, int Row);
  // Rows the last fetch filled (at least 1).
  size_t FetchedRows() const;
  // Full and HasFull hold a cell for every row of the row set.
  void MakeRoomForFull(TColRec& C);
  // After a fetch on a driver that reports unconvertible dates as NULL: tells them from NULL.
  void CheckNullDates();
  // The orientation and offset that give the row set the caller asked for, where the driver's
  // own stepping of a row set of several rows is not trusted; false when the answer is "no
  // rows" without asking the driver.
  bool EmulatedScroll(SQLSMALLINT& Orientation, SQLLEN& Offset);
  void NoteRowsetStart(SQLSMALLINT Orientation, SQLLEN Offset, bool GotRows);
  // Repeats an asynchronous call while it is still executing, dispatching messages between.
  template <class F>
  SQLRETURN Poll(F Call);
  // Cancels a statement left waiting for data at execution or still executing, and switches
  // asynchronous mode off; never raises.
  void AbandonExecution();
  // The cell's value as a 64-bit integer (EConvertError naming the column when it has none).
  int64_t CellInt64(const TCell& Cell) const;
  // The cell's integer value within [Lo, Hi] (a range error naming the column outside), 0 for
  // no value.
  int64_t ColRanged(int Col, int Row, int64_t Lo, int64_t Hi, const char* Target);
  // The range error of a reader, naming the column.
  [[noreturn]] void RangeError(const TCell& Cell, const char* Target, const std::string& Value) const;
  // The text converted into the cell; a text that does not convert raises (EODBCLibrary for
  // a character or binary cell it does not fit, else EConvertError), naming the column.
  void StoreText(TCell& Cell, const std::string& Text, bool ApplyNullRule);
  // EmptyStringToNull makes an empty value of the column NULL.
  bool EmptyIsNull(const TColRec& C) const;
  // Exactly Length bytes (SQL_NULL_DATA: NULL) into the column's cell of the row: a long
  // column's stream, else its element (text terminated; a type of fixed size takes the whole
  // element). The caller has checked that they fit.
  void PutCellBytes(TColRec& C, int Row, const void* Data, SQLLEN Length);
  int CountBySelect(THstmt& Counter, const std::string& Text, bool& Done);
  int CountByTraversal(THstmt& Counter);
  void BindParamsTo(THstmt& Other) const;
  bool NeedLongDataLen();
  // Rows of a row set can be positioned on for reading (SQLSetPos with SQL_POSITION).
  bool CanPositionRows() const;

  // Row operations (oclstmtpos.cpp). BeforeCellWrite runs before every writer changes a cell;
  // ForgetKeyValues at every fetch. LeaveOutUnwritable marks read-only columns and long values
  // not known for row 1 SQL_COLUMN_IGNORE; RestoreLeftOut gives their indicators back.
  struct TRowOps;
  struct TRowOpsDeleter {
    void operator()(TRowOps* P) const;
  };
  TRowOps& RowOps();
  void BeforeCellWrite(const TCell& Cell);
  void ForgetKeyValues();
  void ReleaseAuxStatements();
  enum TGenOp : uint16_t { goUpdate = 1, goDelete = 2, goRefresh = 4, goInsert = 8, goCount = 16 };
  // The auxiliary statement of the operation, prepared with Text (after OnStatement).
  THstmt& AuxStatement(TGenOp Op, std::string Text);
  void Dispatch(TGenOp Op, const TConfirmEvent& Confirm, const char* Question);
  void CheckRowOne(int Row) const;
  void DescribeWritable();
  bool CursorWritable();
  bool DriverWrites(bool Values, bool Update);
  void DriverResult(SQLRETURN RetCode, TNoRowsAffectedFlag Member, SQLUSMALLINT Expected, SQLUSMALLINT Status);
  void DriverWrite(SQLUSMALLINT Operation, TNoRowsAffectedFlag Member, SQLUSMALLINT Expected);
  bool CanSetPos(SQLUINTEGER Capability);
  void LeaveOutUnwritable(bool Insert);
  void RestoreLeftOut();
  void SendColumnData();
  void GeneratedWrite(TGenOp Op);
  // Runs a generated insert / update or delete; the rows it changed. An update or delete that
  // changed more than one row (its text rewritten by OnStatement) raises.
  SQLLEN ExecuteInsert(THstmt& Aux);
  SQLLEN ExecuteOneRow(THstmt& Aux);
  // After a write by a key that changed nothing: raises unless no row of the table has the key.
  void CheckNoKeyRow(const std::string& Table, const std::string& Where, const std::vector<int>& Keys);
  void GeneratedRefresh();
  std::vector<int> ValueColumns();
  std::vector<int> KeyColumns();
  void CheckKeyValues(const std::vector<int>& Cols);
  // Before the driver's own update or delete of a driver that finds the row by its key.
  void CheckDriverKey();
  void* LongWriteBuffer(TColRec& C);
  std::string WhereClause(TGenOp Op, bool& KeyParams);
  void BindValues(THstmt& Aux, const std::vector<int>& Cols, int& ParamNo);
  void BindKeys(THstmt& Aux, const std::vector<int>& Cols, int& ParamNo);
  void TakeKeyValues();
  // The cell of Row holds the value exactly as the driver gave it, fit to be a key.
  bool ExactCell(size_t Index, int Row);
  // A decimal of more digits than a double holds, read into a double: as a key it is compared
  // as a double.
  bool DecimalReadAsDouble(const TColRec& C) const;
  void RaiseNoData();
  std::unique_ptr<TRowOps, TRowOpsDeleter> FRowOps;

  mutable TOwnerConnection FHdbc;
  SQLHSTMT FHandle = SQL_NULL_HSTMT;
  SQLHDESC FIpd = SQL_NULL_HDESC;
  bool FAllocated = false;
  std::vector<std::unique_ptr<TStmtParamRec>> FParams;  // newest first
  SQLLEN FParamSetSize = 0;
  std::vector<std::unique_ptr<TColRec>> FCols;
  // Bound character and binary columns (looked at for cut values after each fetch) and, where
  // the driver reports dates it cannot convert as NULL, bound date and time columns.
  std::vector<size_t> FTextCols, FDateCols;
  std::unique_ptr<SQLUSMALLINT[]> FRowStatus;
  std::unique_ptr<uint16_t[]> FRowFlags;
  std::unique_ptr<unsigned char[]> FBookmarks;
  std::unique_ptr<SQLLEN[]> FBookmarkInd;
  size_t FRowArraySize = 0;  // rows of the arrays above (RowSetSize when bound)
  SQLULEN FRowsFetched = 0;
  bool FColsBound = false;
  bool FHasLongCols = false;
  bool FAnyFull = false;
  bool FBindBookmarks = false;
  SQLLEN FBookmarkSize = 4;
  bool FBookmarkSizeKnown = false;
  bool FPrepared = false;
  bool FExecuted = false;
  SQLSMALLINT FInputOutputType = SQL_PARAM_INPUT;
  std::string FTargetTable;
  bool FSkipByPosition = false;
  bool FSkipByCursor = false;
  std::unique_ptr<TStringList> FParamNames;
  std::unique_ptr<TStringList> FColNames;
  std::string FSQL;
  bool FSQLParsing = true;
  SQLUINTEGER FCursorAttributes = 0;
  SQLULEN FEffectiveCursorType = SQL_CURSOR_FORWARD_ONLY;
  bool FSetPosUnreliable = false;  // the driver positions relative to the wrong row
  // The driver keeps any value in any column: integers beyond the declared type (bound wide
  // here) and dates it cannot convert, which it reports as NULL.
  bool FLooseTypes = false;
  bool FStableRowNumbers = false;
  SQLLEN FCursorRowCount = -1;  // the driver's count right after Execute; -1 unknown
  // First row of the current row set (1-based), followed through every fetch.
  SQLLEN FRowsetStart = 0;
  bool FSendingData = false;  // between SQL_NEED_DATA and the last SQLParamData
  std::vector<char> FBlobBuf;  // the work buffer of ReadBlob, BlobSize + 1 bytes
  SQLULEN FConcurrencyType = SQL_CONCUR_READ_ONLY;
  SQLULEN FCursorType = SQL_CURSOR_FORWARD_ONLY;
  SQLULEN FRowSetSize = 1;
  int32_t FBlobSize = 32768;
  bool FBlobDeferral = false;
  TBlobPlacement FBlobPlacement = bpDetect;
  bool FExecAsync = false;
  bool FAsyncOn = false;
  TEmptyToNull FEmptyStringToNull = enNever;
  TStringTrimming FStringTrimming = stTrimTrailing;
  bool FBindByName = false;
  TRowCountMethod FRowCountMethod = rcFunction;
  TNoRowsAffected FNoRowsAffected{nrByUpdate};
  int FNeedLongDataLen = -1;  // unknown until asked
};
