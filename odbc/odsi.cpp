// Data-set support: type maps, the master/detail link, the update target and the statement
// options. The parameters and the blob stream are in odsiparams.cpp.
#include "odsi.h"

#include <algorithm>

#include "filer.h"
#include "published.h"
#include "text.h"

// ---- type maps

SQLSMALLINT FieldTypeToCType(int FieldType) {
  switch (FieldType % 128) {
    case ftSmallint: return SQL_C_SSHORT;
    case ftInteger: return SQL_C_SLONG;
    case ftWord: return SQL_C_USHORT;
    case ftBoolean: return SQL_C_BIT;
    case ftFloat:
    case ftCurrency: return SQL_C_DOUBLE;
    case ftDate: return SQL_C_TYPE_DATE;
    case ftTime: return SQL_C_TYPE_TIME;
    case ftDateTime: return SQL_C_TYPE_TIMESTAMP;
    // Variable-length bytes are bytes too: as character data a driver would read them as text.
    case ftBytes:
    case ftVarBytes:
    case ftBlob: return SQL_C_BINARY;
    case ftLargeint: return SQL_C_SBIGINT;
    default: return SQL_C_CHAR;
  }
}

TFieldType SqlTypeToFieldType(SQLSMALLINT SqlType, bool Signed) {
  switch (SqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_GUID: return ftString;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: return ftFloat;
    case SQL_INTEGER: return ftInteger;
    case SQL_SMALLINT:
    case SQL_TINYINT: return Signed ? ftSmallint : ftWord;
    case SQL_TYPE_DATE: return ftDate;
    case SQL_TYPE_TIME: return ftTime;
    case SQL_TYPE_TIMESTAMP: return ftDateTime;
    case SQL_BIT: return ftBoolean;
    case SQL_BIGINT: return ftLargeint;
    case SQL_LONGVARBINARY: return ftBlob;
    case SQL_VARBINARY:
    case SQL_BINARY: return ftBytes;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: return ftMemo;
    default: return ftUnknown;
  }
}

TParamType ProcColumnTypeToParamType(SQLSMALLINT ColumnType) {
  switch (ColumnType) {
    case SQL_PARAM_INPUT: return ptInput;
    case SQL_PARAM_INPUT_OUTPUT: return ptInputOutput;
    case SQL_PARAM_OUTPUT: return ptOutput;
    case SQL_RETURN_VALUE: return ptResult;
    default: return ptUnknown;
  }
}

SQLSMALLINT ParamTypeToODBC(int ParamType) {
  switch (ParamType) {
    case ptInput: return SQL_PARAM_INPUT;
    case ptInputOutput: return SQL_PARAM_INPUT_OUTPUT;
    case ptOutput:
    case ptResult: return SQL_PARAM_OUTPUT;
    default: return SQL_PARAM_TYPE_UNKNOWN;
  }
}

// ---- TODDataLink

TODDataLink::TODDataLink(TDataSet* DataSet) : FDataSet(DataSet), FODDataSet(dynamic_cast<IODDataSet*>(DataSet)) {}

void TODDataLink::ActiveChanged() {
  if (FDataSet != nullptr && FDataSet->Active() && FODDataSet != nullptr) FODDataSet->RefreshParams();
}

void TODDataLink::CheckBrowseMode() {
  if (FDataSet != nullptr && FDataSet->Active()) FDataSet->CheckBrowseMode();
}

void TODDataLink::RecordChanged(TField* Field) {
  if (Field == nullptr && FDataSet != nullptr && FDataSet->Active() && FODDataSet != nullptr)
    FODDataSet->RefreshParams();
}

// ---- TTarget

namespace {

const char* const TargetVersion = "OD5.07";
// Streams tagged before this one have no update-ignore list.
const char* const FirstUpdateIgnoreVersion = "OD5.03";

// The column's number, 0 when the statement's result has no column of that name.
int FindCol(THstmt& Stmt, const std::string& Name) {
  TStrings* names = Stmt.ColNames();
  for (int i = 0; i < names->Count(); ++i)
    if (SameText(names->Get(i), Name)) return i + 1;
  return 0;
}

}  // namespace

TTarget::TTarget()
    : FPrimaryCols(std::make_unique<TStringList>()),
      FInsertIgnoreCols(std::make_unique<TStringList>()),
      FUpdateIgnoreCols(std::make_unique<TStringList>()) {}

void TTarget::Clear() {
  FTargetTable.clear();
  FPrimaryCols->Clear();
  FInsertIgnoreCols->Clear();
  FUpdateIgnoreCols->Clear();
}

std::vector<TTarget::TMark> TTarget::TakeBackMarks(THstmt& Stmt, bool ForInsert, const std::vector<int>& Ignore) {
  std::vector<TMark> kept;
  if (FMarkedHstmt.Get() == &Stmt) {
    for (const TMark& m : FPrimaryMarks) {
      const int c = FindCol(Stmt, m.Name);
      if (c > 0 && Stmt.ColRec(c) == m.Col) Stmt.SetColPrimary(c, false);
    }
    for (const TMark& m : FIgnoreMarks) {
      const int c = FindCol(Stmt, m.Name);
      // A mark that a value written since replaced, or of a result read since, is gone.
      if (c == 0 || Stmt.ColRec(c) != m.Col || !Stmt.ColIgnoreRow(c, 1)) continue;
      if (std::find(Ignore.begin(), Ignore.end(), c) != Ignore.end())
        kept.push_back(m);
      else if (!ForInsert)
        Stmt.SetColSize(c, m.Ind);
      // Before an insert a column still marked stays out: the caller marks the NULL columns of
      // an insert the same way, and a mark of ours that nothing replaced belongs to a column
      // whose value nobody wrote.
    }
  }
  FPrimaryMarks.clear();
  FIgnoreMarks.clear();
  FMarkedHstmt = nullptr;
  return kept;
}

void TTarget::AssignToHstmt(bool ForInsert) {
  THstmt* stmt = FHstmt.Get();
  if (stmt == nullptr) throw EODBCLibrary("The update target has no statement.");
  const TStringList* ignoreList = ForInsert ? FInsertIgnoreCols.get() : FUpdateIgnoreCols.get();
  // Every name first: an unknown one changes nothing.
  std::vector<int> primary, ignore;
  for (int i = 0; i < FPrimaryCols->Count(); ++i) primary.push_back(stmt->ColByName(FPrimaryCols->Get(i)));
  for (int i = 0; i < ignoreList->Count(); ++i) ignore.push_back(stmt->ColByName(ignoreList->Get(i)));

  FIgnoreMarks = TakeBackMarks(*stmt, ForInsert, ignore);
  FMarkedHstmt = stmt;
  stmt->SetTargetTable(FTargetTable);
  for (int c : primary) {
    stmt->SetColPrimary(c, true);
    FPrimaryMarks.push_back({stmt->ColNames()->Get(c - 1), stmt->ColRec(c), 0});
  }
  for (int c : ignore) {
    const std::string name = stmt->ColNames()->Get(c - 1);
    const SQLLEN ind = stmt->ColSize(c);
    // A column left out already keeps the length it had before (ours to give back, or the
    // caller's mark, not ours).
    if (ind == SQL_COLUMN_IGNORE) continue;
    stmt->SetColIgnore(c, true);
    FIgnoreMarks.push_back({name, stmt->ColRec(c), ind});
  }
}

std::string TTarget::GetListText(const TStrings* List) {
  std::string r;
  for (int i = 0; i < List->Count(); ++i) r += List->Get(i) + ";";
  return r;
}

void TTarget::SetListText(TStrings* List, std::string_view Text) {
  List->Clear();
  size_t semi;
  while ((semi = Text.find(';')) != std::string_view::npos) {
    List->Add(std::string(Text.substr(0, semi)));
    Text.remove_prefix(semi + 1);
  }
}

void TTarget::DefineProperties(TFiler* Filer) {
  Filer->DefineProperty(
      "Target", [this](TReader* Reader) { ReadData(Reader); }, [this](TWriter* Writer) { WriteData(Writer); },
      true);
}

void TTarget::ReadData(TReader* Reader) {
  Reader->ReadListBegin();
  const std::string version = Reader->ReadString();
  const bool current = version >= FirstUpdateIgnoreVersion;
  FTargetTable = Reader->ReadString();
  SetListText(FPrimaryCols.get(), Reader->ReadString());
  const std::string insertIgnore = Reader->ReadString();
  SetListText(FInsertIgnoreCols.get(), insertIgnore);
  SetListText(FUpdateIgnoreCols.get(), current ? Reader->ReadString() : insertIgnore);
  Reader->ReadListEnd();
}

void TTarget::WriteData(TWriter* Writer) const {
  Writer->WriteListBegin();
  Writer->WriteString(TargetVersion);
  Writer->WriteString(FTargetTable);
  Writer->WriteString(GetListText(FPrimaryCols.get()));
  Writer->WriteString(GetListText(FInsertIgnoreCols.get()));
  Writer->WriteString(GetListText(FUpdateIgnoreCols.get()));
  Writer->WriteListEnd();
}

// ---- TDataSetHstmt

TDataSetHstmt::TDataSetHstmt(TDataSet* DataSet, THstmt* Statement)
    : FDataSet(DataSet),
      FODDataSet(dynamic_cast<IODDataSet*>(DataSet)),
      FHstmt(Statement),
      FTarget(std::make_unique<TTarget>()) {
  if (Statement == nullptr) throw EODBCLibrary("The statement options need a statement.");
  Statement->BeforeTerminate = [this](TObject* Sender) { StatementTerminated(Sender); };
  FTarget->SetHstmt(Statement);
  SetSkipByPosition(false);
  SetSkipByCursor(false);
  SetBindBookmarks(false);
  SetSQLParsing(true);
  SetConcurrencyType(SQL_CONCUR_READ_ONLY);
  SetCursorType(SQL_CURSOR_KEYSET_DRIVEN);
  SetBlobSize(32768);
  SetBlobDeferral(false);
  SetBlobPlacement(bpDetect);
  SetExecAsync(false);
  SetEmptyStringToNull(enNever);
  SetStringTrimming(stTrimTrailing);
  SetBindByName(false);
  SetRowCountMethod(rcFunction);
  SetNoRowsAffected(TNoRowsAffected{nrByUpdate});
}

TDataSetHstmt::~TDataSetHstmt() {
  if (THstmt* s = FHstmt.Get()) s->BeforeTerminate = nullptr;
}

void TDataSetHstmt::TerminateStatement() {
  if (FODDataSet != nullptr)
    FODDataSet->TerminateHstmt();
  else
    FHstmt->Terminate();
}

void TDataSetHstmt::StatementTerminated(TObject*) {
  if (FDataSet != nullptr && FDataSet->Active()) FDataSet->SetActive(false);
  if (FODDataSet != nullptr) FODDataSet->Unprepare();
}

void TDataSetHstmt::SetSQLParsing(bool Value) {
  TerminateStatement();
  FHstmt->SetSQLParsing(Value);
}

void TDataSetHstmt::SetConcurrencyType(SQLULEN Value) {
  TerminateStatement();
  FHstmt->SetConcurrencyType(Value);
}

void TDataSetHstmt::SetCursorType(SQLULEN Value) {
  TerminateStatement();
  FHstmt->SetCursorType(Value);
}

void TDataSetHstmt::SetRowSetSize(SQLULEN Value) {
  TerminateStatement();
  FHstmt->SetRowSetSize(Value);
  if (FHstmt->RowSetSize() > 1 && FODDataSet != nullptr) FODDataSet->SetCached(true);
}

void TDataSetHstmt::SetSkipByPosition(bool Value) {
  FHstmt->SetSkipByPosition(Value);
  if (!FHstmt->SkipByPosition() && FODDataSet != nullptr && FODDataSet->Cached()) FODDataSet->SetCached(false);
}

void TDataSetHstmt::SetSkipByCursor(bool Value) {
  FHstmt->SetSkipByCursor(Value);
  if (!FHstmt->SkipByCursor() && FODDataSet != nullptr && FODDataSet->Cached()) FODDataSet->SetCached(false);
}

void TDataSetHstmt::SetBindBookmarks(bool Value) {
  TerminateStatement();
  FHstmt->SetBindBookmarks(Value);
}

SQLULEN TDataSetHstmt::ScrollCursorType() const {
  THdbc* dbc = FHstmt->hDbc();
  return dbc != nullptr && dbc->CursorLib() != SQL_CUR_USE_DRIVER ? SQL_CURSOR_STATIC : SQL_CURSOR_KEYSET_DRIVEN;
}

void TDataSetHstmt::CachedChanged(bool Cached, bool Loading) {
  if (Cached) {
    if (!Loading) {
      SetConcurrencyType(SQL_CONCUR_READ_ONLY);
      SetCursorType(SQL_CURSOR_FORWARD_ONLY);
    }
    SetSkipByPosition(true);
    SetSkipByCursor(true);
    return;
  }
  if (!Loading) {
    if (ConcurrencyType() == SQL_CONCUR_READ_ONLY) SetConcurrencyType(SQL_CONCUR_VALUES);
    if (CursorType() == SQL_CURSOR_FORWARD_ONLY) SetCursorType(ScrollCursorType());
  }
  SetRowSetSize(1);
}

void TDataSetHstmt::CheckLongColumns() {
  if (FHstmt->RowSetSize() <= 1) return;
  const int n = FHstmt->NumCols();
  for (int c = 1; c <= n; ++c)
    if (FHstmt->ColIsBlob(c))
      throw EODBCLibrary("Column " + FHstmt->ColNames()->Get(c - 1) +
                         " is a long value, which cannot be read with a RowSetSize above 1.");
}

namespace {

[[maybe_unused]] const bool DataSetHstmtPublished = [] {
  const char* const cls = "TDataSetHstmt";
  RegisterPublishedClass(cls, "TPersistent");
  PublishProperty(cls, "SQLParsing", &TDataSetHstmt::SQLParsing, &TDataSetHstmt::SetSQLParsing).Default = true;
  PublishProperty(cls, "ConcurrencyType", &TDataSetHstmt::ConcurrencyType, &TDataSetHstmt::SetConcurrencyType)
      .Default = std::int64_t(SQL_CONCUR_READ_ONLY);
  PublishProperty(cls, "CursorType", &TDataSetHstmt::CursorType, &TDataSetHstmt::SetCursorType).Default =
      std::int64_t(SQL_CURSOR_KEYSET_DRIVEN);
  PublishProperty(cls, "RowSetSize", &TDataSetHstmt::RowSetSize, &TDataSetHstmt::SetRowSetSize).Default =
      std::int64_t(1);
  PublishProperty(cls, "SkipByPosition", &TDataSetHstmt::SkipByPosition, &TDataSetHstmt::SetSkipByPosition)
      .Default = false;
  PublishProperty(cls, "SkipByCursor", &TDataSetHstmt::SkipByCursor, &TDataSetHstmt::SetSkipByCursor).Default =
      false;
  PublishProperty(cls, "BindBookmarks", &TDataSetHstmt::BindBookmarks, &TDataSetHstmt::SetBindBookmarks)
      .Default = false;
  PublishProperty(cls, "BlobSize", &TDataSetHstmt::BlobSize, &TDataSetHstmt::SetBlobSize).Default =
      std::int64_t(32768);
  PublishProperty(cls, "BlobDeferral", &TDataSetHstmt::BlobDeferral, &TDataSetHstmt::SetBlobDeferral).Default =
      false;
  PublishEnumProperty(cls, "BlobPlacement", BlobPlacementNames, &TDataSetHstmt::BlobPlacement,
                      &TDataSetHstmt::SetBlobPlacement)
      .Default = std::string(BlobPlacementNames[bpDetect]);
  PublishProperty(cls, "ExecAsync", &TDataSetHstmt::ExecAsync, &TDataSetHstmt::SetExecAsync).Default = false;
  PublishEnumProperty(cls, "EmptyStringToNull", EmptyToNullNames, &TDataSetHstmt::EmptyStringToNull,
                      &TDataSetHstmt::SetEmptyStringToNull)
      .Default = std::string(EmptyToNullNames[enNever]);
  PublishEnumProperty(cls, "StringTrimming", StringTrimmingNames, &TDataSetHstmt::StringTrimming,
                      &TDataSetHstmt::SetStringTrimming)
      .Default = std::string(StringTrimmingNames[stTrimTrailing]);
  PublishProperty(cls, "BindByName", &TDataSetHstmt::BindByName, &TDataSetHstmt::SetBindByName).Default = false;
  PublishEnumProperty(cls, "RowCountMethod", RowCountMethodNames, &TDataSetHstmt::RowCountMethod,
                      &TDataSetHstmt::SetRowCountMethod)
      .Default = std::string(RowCountMethodNames[rcFunction]);
  PublishSetProperty(cls, "NoRowsAffected", NoRowsAffectedNames, &TDataSetHstmt::NoRowsAffected,
                     &TDataSetHstmt::SetNoRowsAffected)
      .Default = TPropSet{{NoRowsAffectedNames[nrByUpdate]}};
  PublishProperty(cls, "Target", &TDataSetHstmt::Target, &TDataSetHstmt::SetTarget);
  return true;
}();

}  // namespace
