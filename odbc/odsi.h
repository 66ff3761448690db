#pragma once
// What the ODBC data set stands on: the type maps between field/parameter types and ODBC types,
// the master/detail link, the update target with its "Target" stream, the statement options
// object published as the data set's hStmt, the data set's parameters with their driver
// buffers, and the stream over a record's long value.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classes.h"
#include "db.h"
#include "oclstmt.h"
#include "params.h"

class TFiler;
class TReader;
class TWriter;

// ---- type maps

// The C type a parameter of the field type is bound with; the type is taken modulo 128.
// Binary types (ftBytes, ftVarBytes, ftBlob) go as SQL_C_BINARY, text and decimal types as
// SQL_C_CHAR.
SQLSMALLINT FieldTypeToCType(int FieldType);
// The field type of a result column or parameter of the SQL type. Signed decides SQL_SMALLINT
// and SQL_TINYINT (ftSmallint, else ftWord). Wide character types and GUID are read as text.
TFieldType SqlTypeToFieldType(SQLSMALLINT SqlType, bool Signed);
// The catalog's column type of a procedure column (SQL_PARAM_INPUT, ...) as a parameter type.
TParamType ProcColumnTypeToParamType(SQLSMALLINT ColumnType);
// The direction a parameter is bound with; a result goes as SQL_PARAM_OUTPUT, an unknown type
// as 0 (which the statement ignores: input).
SQLSMALLINT ParamTypeToODBC(int ParamType);

// ---- what the pieces below need of the ODBC data set (TCustomODDataSet implements it)

class IODDataSet {
public:
  virtual ~IODDataSet() = default;
  // The data set's own statement.
  virtual THstmt* Hstmt() const = 0;
  virtual bool Cached() const = 0;
  virtual void SetCached(bool Value) = 0;
  // Frees the statement's handle; its terminate hook closes the data set.
  virtual void TerminateHstmt() = 0;
  // Forgets that the statement is prepared and its parameters bound.
  virtual void Unprepare() = 0;
  // Re-opens a detail data set after its master moved.
  virtual void RefreshParams() = 0;
  // Cleared when a parameter buffer is made or moves, so that the next bind binds every
  // parameter again.
  virtual void SetParamsBound(bool Value) = 0;
  // The statement is terminated under the open data set (its connection went, say): True when
  // the data set stays open without its result, holding changes that closing would drop.
  virtual bool OutliveStatement() { return false; }
};

// ---- master/detail link

// Re-opens the detail data set when its master opens, closes or moves, and settles a pending
// edit of the detail before the master moves. DataSet implements IODDataSet.
class TODDataLink : public TDetailDataLink {
public:
  explicit TODDataLink(TDataSet* DataSet);
  TDataSet* GetDetailDataSet() override { return FDataSet; }
  ZEL_CLASS(TODDataLink, TDetailDataLink)

protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(TField* Field) override;

private:
  TDataSet* FDataSet;
  IODDataSet* FODDataSet;
};

// ---- update target

// The table a data set's positioned statements change, its key columns and the columns they
// leave out. In a form stream it is the defined property "Target": a list of the version tag
// "OD5.07", the table and the three lists in list text form. A tag that sorts before "OD5.03"
// marks the older four-string form without the update-ignore list.
class TTarget : public TPersistent {
public:
  TTarget();
  TTarget(const TTarget&) = delete;
  TTarget& operator=(const TTarget&) = delete;

  THstmt* Hstmt() const { return FHstmt.Get(); }
  void SetHstmt(THstmt* Value) { FHstmt = Value; }
  const std::string& TargetTable() const { return FTargetTable; }
  void SetTargetTable(const std::string& Value) { FTargetTable = Value; }
  TStringList* PrimaryCols() const { return FPrimaryCols.get(); }
  TStringList* InsertIgnoreCols() const { return FInsertIgnoreCols.get(); }
  TStringList* UpdateIgnoreCols() const { return FUpdateIgnoreCols.get(); }

  // Empties the table and the three lists.
  void Clear();
  // Hands the target to the statement before a positioned operation: its TargetTable, the key
  // columns marked primary and the columns of the insert (ForInsert) or update ignore list
  // marked to be left out. Every name is looked up first (EODBCLibrary "Identifier X not found
  // in result set." changes nothing). The marks of the previous call are taken back first: its
  // primary marks, and before an update the ignore marks that nothing has overwritten since
  // (before an insert a column still marked stays out: the caller leaves NULL columns out of
  // an insert the same way).
  void AssignToHstmt(bool ForInsert);
  // Takes back the marks of the last AssignToHstmt, before a caller writes the cells of the
  // next record: a mark of its own is then never taken for one of ours.
  void ReleaseMarks();

  // List text form: every name followed by ";"; reading drops what follows the last ";".
  static std::string GetListText(const TStrings* List);
  static void SetListText(TStrings* List, std::string_view Text);

  void DefineProperties(TFiler* Filer) override;
  void ReadData(TReader* Reader);
  void WriteData(TWriter* Writer) const;
  ZEL_CLASS(TTarget, TPersistent)

private:
  struct TMark {
    std::string Name;
    const TColRec* Col = nullptr;  // the column record marked, to notice a new result
    SQLLEN Ind = 0;                // the length an ignore mark replaced
  };
  // Takes back the previous call's marks; gives the ignore marks that Ignore sets again.
  std::vector<TMark> TakeBackMarks(THstmt& Stmt, bool ForInsert, const std::vector<int>& Ignore);
  TComponentRef<THstmt> FHstmt;
  std::string FTargetTable;
  std::unique_ptr<TStringList> FPrimaryCols;
  std::unique_ptr<TStringList> FInsertIgnoreCols;
  std::unique_ptr<TStringList> FUpdateIgnoreCols;
  TComponentRef<THstmt> FMarkedHstmt;
  std::vector<TMark> FPrimaryMarks;
  std::vector<TMark> FIgnoreMarks;
};

// ---- statement options

// The sub-object published as a data set's hStmt: its properties are the options of the data
// set's statement. Changing SQLParsing, ConcurrencyType, CursorType, RowSetSize or
// BindBookmarks terminates the statement first, which closes the data set. A RowSetSize above
// 1 makes the data set Cached; switching a skip option off makes it not Cached. DataSet
// implements IODDataSet.
class TDataSetHstmt : public TPersistent {
public:
  TDataSetHstmt(TDataSet* DataSet, THstmt* Statement);
  ~TDataSetHstmt() override;
  TDataSetHstmt(const TDataSetHstmt&) = delete;
  TDataSetHstmt& operator=(const TDataSetHstmt&) = delete;

  THstmt* Hstmt() const { return FHstmt.Get(); }

  bool SQLParsing() const { return FHstmt->SQLParsing(); }
  void SetSQLParsing(bool Value);
  SQLULEN ConcurrencyType() const { return FHstmt->ConcurrencyType(); }
  void SetConcurrencyType(SQLULEN Value);
  SQLULEN CursorType() const { return FHstmt->CursorType(); }
  void SetCursorType(SQLULEN Value);
  SQLULEN RowSetSize() const { return FHstmt->RowSetSize(); }
  void SetRowSetSize(SQLULEN Value);
  bool SkipByPosition() const { return FHstmt->SkipByPosition(); }
  void SetSkipByPosition(bool Value);
  bool SkipByCursor() const { return FHstmt->SkipByCursor(); }
  void SetSkipByCursor(bool Value);
  bool BindBookmarks() const { return FHstmt->BindBookmarks(); }
  void SetBindBookmarks(bool Value);
  int32_t BlobSize() const { return FHstmt->BlobSize(); }
  void SetBlobSize(int32_t Value) { FHstmt->SetBlobSize(Value); }
  bool BlobDeferral() const { return FHstmt->BlobDeferral(); }
  void SetBlobDeferral(bool Value) { FHstmt->SetBlobDeferral(Value); }
  TBlobPlacement BlobPlacement() const { return FHstmt->BlobPlacement(); }
  void SetBlobPlacement(TBlobPlacement Value) { FHstmt->SetBlobPlacement(Value); }
  bool ExecAsync() const { return FHstmt->ExecAsync(); }
  void SetExecAsync(bool Value) { FHstmt->SetExecAsync(Value); }
  TEmptyToNull EmptyStringToNull() const { return FHstmt->EmptyStringToNull(); }
  void SetEmptyStringToNull(TEmptyToNull Value) { FHstmt->SetEmptyStringToNull(Value); }
  TStringTrimming StringTrimming() const { return FHstmt->StringTrimming(); }
  void SetStringTrimming(TStringTrimming Value) { FHstmt->SetStringTrimming(Value); }
  bool BindByName() const { return FHstmt->BindByName(); }
  void SetBindByName(bool Value) { FHstmt->SetBindByName(Value); }
  TRowCountMethod RowCountMethod() const { return FHstmt->RowCountMethod(); }
  void SetRowCountMethod(TRowCountMethod Value) { FHstmt->SetRowCountMethod(Value); }
  TNoRowsAffected NoRowsAffected() const { return FHstmt->NoRowsAffected(); }
  void SetNoRowsAffected(TNoRowsAffected Value) { FHstmt->SetNoRowsAffected(Value); }
  TTarget* Target() const { return FTarget.get(); }
  void SetTarget(TTarget*) {}  // the target streams itself

  // The statement's terminate hook: closes the data set and unprepares it.
  void StatementTerminated(TObject* Sender);

  // For the data set's Cached setter, after it stored the value: on, both skip options and,
  // unless Loading, a read-only forward-only cursor; off, unless Loading, an updatable cursor
  // that scrolls (ScrollCursorType), and RowSetSize 1.
  void CachedChanged(bool Cached, bool Loading);
  // The cursor a data set that must scroll takes instead of a forward-only one: static when the
  // connection uses the driver manager's cursors, else keyset-driven.
  SQLULEN ScrollCursorType() const;
  // For the data set's open, once the result is described: a long column cannot be read with
  // RowSetSize above 1, so such a result is refused (EODBCLibrary naming the column) instead of
  // giving empty values.
  void CheckLongColumns();

  ZEL_CLASS(TDataSetHstmt, TPersistent)

private:
  void TerminateStatement();
  TDataSet* FDataSet;
  IODDataSet* FODDataSet;
  TComponentRef<THstmt> FHstmt;
  std::unique_ptr<TTarget> FTarget;
};

// ---- parameters

// The driver buffer of one parameter. Its memory stays at one address while bound: a value
// that does not fit gets a new, larger buffer and the parameters are bound again.
struct TODParamRec {
  std::string Name;
  TFieldType FieldType = ftUnknown;
  std::vector<unsigned char> Buffer;      // other types: the value in the layout of its C type
  std::unique_ptr<TMemoryStream> Stream;  // ftBlob, ftMemo: the value (a memo zero-terminated)
  SQLLEN Length = 0;                      // bytes of the last value put into the buffer
};

// What the driver described of a parameter.
struct TODDefRec {
  std::string Name;
  bool Required = false;  // SQL_NO_NULLS
  TFieldType FieldType = ftUnknown;
  int16_t Scale = 0;
  int32_t Size = 0;
};

// The parameters of an ODBC data set, with a driver buffer for each and the description the
// data set obtained for each. Both lists are searched by name, trimmed, without regard to case.
// The owner implements IODDataSet: its statement is the one bound, and its parameters-bound
// flag is cleared when a buffer is made or moves.
//
// Buffers: text (and decimal and auto-increment values, as decimal text) is sized for UTF-8:
// 4 x the described size + 1 bytes, or 4 x 255 + 1 without a description; bytes the described
// size or 256; a Boolean is one 0/1 byte; dates, times and stamps the ODBC structures. A value
// that does not fit grows its buffer. Long values (ftBlob, ftMemo) are held in a stream; an
// empty one is an empty value, NULL only when the parameter is.
class TODParams : public TParams {
public:
  explicit TODParams(TDataSet* DataSet);
  ~TODParams() override;

  // Removes every parameter and frees the buffers; the descriptions stay.
  void Clear() override;

  TODParamRec* FindBinding(std::string_view Name) const;
  TODParamRec* AddBinding(const std::string& Name, TFieldType FieldType);
  void ClearBindings();
  int BindingCount() const { return int(FBindings.size()); }

  TODDefRec* FindDescription(std::string_view Name) const;
  TODDefRec* AddDescription(const std::string& Name, bool Required, TFieldType FieldType, int16_t Scale,
                            int32_t Size);
  void DeleteDescription(std::string_view Name);
  void ClearDescriptions();

  // Bytes of a new buffer (0 for ftBlob and ftMemo, whose value is a stream).
  int BufferSize(std::string_view Name, TFieldType FieldType) const;

  // The data set's bind step, in this order: SyncBindings, ParamsToBuffers, BindBuffers (when
  // the parameters are not bound), SetParamLengths; after executing, BuffersToParams.
  //
  // A buffer for every parameter of its type; a removed parameter frees them all.
  void SyncBindings();
  // Copies the values that are not NULL into their buffers (a NULL keeps the buffer as it was).
  void ParamsToBuffers();
  // Binds every parameter's buffer to the statement, with its direction, after the statement
  // forgot every earlier binding. A token of the text without a parameter, and a long value as
  // an output parameter, raise EODBCLibrary.
  void BindBuffers();
  // Gives the statement each parameter's length (-1 for NULL).
  void SetParamLengths();
  // Reads output, input-output and result parameters back; a value that came back cut raises
  // EODBCLibrary and is not stored.
  void BuffersToParams();

  // The inherited properties, and "Params", the form older versions stored (read only).
  void DefineProperties(TFiler* Filer) override;
  void ReadParams(TReader* Reader);
  ZEL_CLASS(TODParams, TParams)

private:
  THstmt& Statement() const;
  void MarkUnbound();
  // The value into the buffer, grown where it does not fit; a text (Terminated) is followed by
  // a zero byte.
  void PutBytes(TODParamRec& Rec, std::string_view Bytes, bool Terminated);
  IODDataSet* FODDataSet;
  std::vector<std::unique_ptr<TODParamRec>> FBindings;
  std::vector<std::unique_ptr<TODDefRec>> FDescriptions;
};

// ---- blob stream

// A record's long value as a stream: reads and seeks of the record's memory stream; every write
// marks the value as present (the has-value flag byte of the record's blob cell := 1) and
// tells the data set the field changed. Freeing it leaves the memory stream in place.
class TODBlobStream : public TStream {
public:
  TODBlobStream(TMemoryStream* Stream, TDataSet* DataSet, TField* Field, unsigned char* HasValue);
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() const override { return FStream->Size(); }
  void SetSize(std::int64_t NewSize) override { FStream->SetSize(NewSize); }
  ZEL_CLASS(TODBlobStream, TStream)

private:
  TMemoryStream* FStream;
  TDataSet* FDataSet;
  TField* FField;
  unsigned char* FHasValue;
};
