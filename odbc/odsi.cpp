// Data-set support: type maps, the master/detail link, the update target, the statement
// options, the parameters with their driver buffers and the blob stream.
#include "odsi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filer.h"
#include "numbers.h"
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
int FindCol(THstmt& Stmt, const std::string& Name) { return IndexOfText(Name, Stmt.ColNames()) + 1; }

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

void TTarget::ReleaseMarks() {
  if (THstmt* stmt = FMarkedHstmt.Get()) TakeBackMarks(*stmt, false, {});
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
  if (FDataSet != nullptr && FDataSet->Active() && (FODDataSet == nullptr || !FODDataSet->OutliveStatement()))
    FDataSet->SetActive(false);
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

// ---- parameters

namespace {

// Characters of a text parameter without a description; drivers describe any text parameter
// as 255, 8190 or 65536 characters, so a described size is no limit either.
constexpr int kDefaultTextChars = 255;

bool IsTextType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

bool IsOutput(SQLSMALLINT Direction) { return Direction == SQL_PARAM_OUTPUT || Direction == SQL_PARAM_INPUT_OUTPUT; }

// Decimal text with a point, as drivers read numbers.
std::string DecimalText(Currency Value) {
  const bool negative = Value.Value < 0;
  const std::uint64_t a = negative ? 0 - std::uint64_t(Value.Value) : std::uint64_t(Value.Value);
  std::string s = std::to_string(a / 10000);
  if (std::uint64_t frac = a % 10000; frac != 0) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return negative ? "-" + s : s;
}

// A decimal text as an amount of four decimals, exact; further decimals round half to even.
bool TryDecimalToCurrency(std::string_view Text, Currency& Value) {
  std::string t = Trim(Text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  std::uint64_t units = 0;
  int digits = 0, decimals = -1;
  std::string rest;  // digits after the fourth decimal
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;
    ++digits;
    if (decimals >= 4) {
      rest += c;
      continue;
    }
    if (units > (std::uint64_t(INT64_MAX) - 9) / 10) return false;
    units = units * 10 + std::uint64_t(c - '0');
    if (decimals >= 0) ++decimals;
  }
  if (digits == 0) return false;
  for (int d = std::max(decimals, 0); d < 4; ++d) {
    if (units > std::uint64_t(INT64_MAX) / 10) return false;
    units *= 10;
  }
  if (!rest.empty()) {
    const bool above = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    if (above || (rest[0] == '5' && (units & 1) != 0)) ++units;
  }
  if (units > std::uint64_t(INT64_MAX)) return false;
  Value.Value = negative ? -std::int64_t(units) : std::int64_t(units);
  return true;
}

template <class T>
void Store(TODParamRec& Rec, const T& Value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(Rec.Buffer.data(), &Value, std::min(sizeof Value, Rec.Buffer.size()));
  Rec.Length = SQLLEN(sizeof Value);
}

template <class T>
T Load(const std::vector<unsigned char>& Buffer) {
  T v{};
  std::memcpy(&v, Buffer.data(), std::min(sizeof v, Buffer.size()));
  return v;
}

// The class library's time stamp of a date, time or date-time parameter (a day number of 0 is
// the date of date-time value 0), as an ODBC time stamp.
SQL_TIMESTAMP_STRUCT StampOf(const TParam& P) {
  const TDateTime value = P.AsDateTime();
  TDateTime dt;
  switch (P.DataType()) {
    case ftDate: {
      std::int32_t days = DateTimeToNativeDate(value);
      dt = NativeDateToDateTime(days == 0 ? 693594 : days);
      break;
    }
    case ftTime: dt = NativeTimeToDateTime(DateTimeToNativeTime(value)); break;
    default: dt = NativeDateTimeToDateTime(std::round(DateTimeToNativeDateTime(value))); break;
  }
  SQL_TIMESTAMP_STRUCT ts;
  DateTimeToTimestamp(ts, dt);
  return ts;
}

}  // namespace

// ---- TODParams: lists

TODParams::TODParams(TDataSet* DataSet) : TParams(DataSet), FODDataSet(dynamic_cast<IODDataSet*>(DataSet)) {}

TODParams::~TODParams() {
  FBindings.clear();
  FDescriptions.clear();
}

void TODParams::Clear() {
  TParams::Clear();
  ClearBindings();
}

TODParamRec* TODParams::FindBinding(std::string_view Name) const {
  const std::string name = Trim(Name);
  for (const auto& b : FBindings)
    if (AnsiSameText(Trim(b->Name), name)) return b.get();
  return nullptr;
}

TODParamRec* TODParams::AddBinding(const std::string& Name, TFieldType FieldType) {
  auto rec = std::make_unique<TODParamRec>();
  rec->Name = Name;
  rec->FieldType = FieldType;
  if (FieldType == ftBlob || FieldType == ftMemo)
    rec->Stream = std::make_unique<TMemoryStream>();
  else
    rec->Buffer.assign(size_t(BufferSize(Name, FieldType)), 0);
  FBindings.push_back(std::move(rec));
  return FBindings.back().get();
}

void TODParams::ClearBindings() { FBindings.clear(); }

TODDefRec* TODParams::FindDescription(std::string_view Name) const {
  const std::string name = Trim(Name);
  for (const auto& d : FDescriptions)
    if (AnsiSameText(Trim(d->Name), name)) return d.get();
  return nullptr;
}

TODDefRec* TODParams::AddDescription(const std::string& Name, bool Required, TFieldType FieldType, int16_t Scale,
                                     int32_t Size) {
  FDescriptions.push_back(std::make_unique<TODDefRec>(TODDefRec{Name, Required, FieldType, Scale, Size}));
  return FDescriptions.back().get();
}

void TODParams::DeleteDescription(std::string_view Name) {
  const TODDefRec* d = FindDescription(Name);
  std::erase_if(FDescriptions, [d](const auto& p) { return p.get() == d; });
}

void TODParams::ClearDescriptions() { FDescriptions.clear(); }

int TODParams::BufferSize(std::string_view Name, TFieldType FieldType) const {
  if (FieldType == ftBlob || FieldType == ftMemo) return 0;
  if (IsTextType(FieldType)) {
    const TODDefRec* d = FindDescription(Name);
    const int chars = d != nullptr && IsTextType(d->FieldType) && d->Size > 0 ? d->Size : kDefaultTextChars;
    return int(std::min<std::int64_t>(std::int64_t(chars) * 4 + 1, INT32_MAX));
  }
  if (FieldType == ftBytes) {
    const TODDefRec* d = FindDescription(Name);
    if (d != nullptr && d->FieldType == ftBytes && d->Size > 0) return d->Size;
  }
  return CTypeSize(FieldTypeToCType(FieldType));
}

// ---- TODParams: buffers

THstmt& TODParams::Statement() const {
  THstmt* s = FODDataSet != nullptr ? FODDataSet->Hstmt() : nullptr;
  if (s == nullptr) throw EODBCLibrary("The parameters have no statement.");
  return *s;
}

void TODParams::MarkUnbound() {
  if (FODDataSet != nullptr) FODDataSet->SetParamsBound(false);
}

void TODParams::SyncBindings() {
  for (auto it = FBindings.rbegin(); it != FBindings.rend(); ++it) {
    if (FindParam(Trim((*it)->Name)) == nullptr) {
      ClearBindings();
      break;
    }
  }
  bool retyped = false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    TODParamRec* rec = FindBinding(p->Name());
    if (rec != nullptr && rec->FieldType == p->DataType()) continue;
    MarkUnbound();
    if (rec != nullptr) {
      retyped = true;
      std::erase_if(FBindings, [rec](const auto& b) { return b.get() == rec; });
    }
    AddBinding(p->Name(), p->DataType());
  }
  // A prepared statement keeps the types its parameters had (PostgreSQL's server refuses a text
  // for a parameter prepared as a number, SQLite's driver keeps the result's column types): it is
  // prepared again for the new ones.
  if (retyped && FODDataSet != nullptr)
    if (THstmt* s = FODDataSet->Hstmt(); s != nullptr && s->Prepared()) s->Prepare();
}

void TODParams::PutBytes(TODParamRec& Rec, std::string_view Bytes, bool Terminated) {
  const size_t need = Bytes.size() + (Terminated ? 1 : 0);
  if (need > Rec.Buffer.size()) {
    // A new block (never resized in place while the driver may hold the old address).
    std::vector<unsigned char> grown(std::max(need, Rec.Buffer.size() * 2), 0);
    Rec.Buffer.swap(grown);
    MarkUnbound();
  }
  std::memcpy(Rec.Buffer.data(), Bytes.data(), Bytes.size());
  if (Terminated) Rec.Buffer[Bytes.size()] = 0;
  Rec.Length = SQLLEN(Bytes.size());
}

void TODParams::ParamsToBuffers() {
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    if (p->IsNull()) continue;
    TODParamRec* rec = FindBinding(p->Name());
    if (rec == nullptr || rec->FieldType != p->DataType()) continue;  // SyncBindings makes them
    if (rec->Stream) {
      // A memo keeps its terminator; an empty blob still has memory to point the driver at.
      TMemoryStream& m = *rec->Stream;
      const void* before = m.Memory();
      const int size = p->GetDataSize();
      m.SetSize(std::max(size, 1));
      if (m.Memory() != before) MarkUnbound();
      std::memset(m.Memory(), 0, size_t(m.Size()));
      p->GetData(m.Memory());
      rec->Length = SQLLEN(p->DataType() == ftMemo ? size - 1 : size);
      continue;
    }
    switch (p->DataType()) {
      case ftSmallint:
      case ftWord:
      case ftInteger:
      case ftLargeint:
      case ftFloat:
      case ftCurrency:
        p->GetData(rec->Buffer.data());
        rec->Length = SQLLEN(rec->Buffer.size());
        break;
      case ftBoolean:
        rec->Buffer[0] = p->AsBoolean() ? 1 : 0;
        rec->Length = 1;
        break;
      case ftDate: {
        SQL_DATE_STRUCT d;
        Store(*rec, TimestampToDate(StampOf(*p), d));
        break;
      }
      case ftTime: {
        SQL_TIME_STRUCT t;
        Store(*rec, TimestampToTime(StampOf(*p), t));
        break;
      }
      case ftDateTime: Store(*rec, StampOf(*p)); break;
      case ftBytes:
      case ftVarBytes: PutBytes(*rec, p->AsString(), false); break;
      case ftBCD: PutBytes(*rec, DecimalText(p->AsCurrency()), true); break;
      case ftAutoInc: PutBytes(*rec, IntToStr(p->AsInteger()), true); break;
      default: PutBytes(*rec, p->AsString(), true); break;
    }
  }
}

void TODParams::BindBuffers() {
  THstmt& stmt = Statement();
  // From scratch: a binding of a parameter removed or retyped since points at a freed buffer.
  stmt.ResetParams();
  // A token left without a parameter would be sent as whatever the driver makes of an unbound
  // marker.
  TStrings* tokens = stmt.ParamNames();
  for (int t = 0; t < tokens->Count(); ++t)
    if (FindParam(Trim(tokens->Get(t))) == nullptr)
      throw EODBCLibrary("Token " + UpperCase(tokens->Get(t)) + " of the SQL statement has no parameter.");
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    TODParamRec* rec = FindBinding(p->Name());
    if (rec == nullptr || rec->FieldType != p->DataType())
      throw EODBCLibrary("Parameter " + p->Name() + " has no buffer of its type.");
    const int no = stmt.ParamByName(p->Name());
    const SQLSMALLINT direction = ParamTypeToODBC(p->ParamType());
    if (rec->Stream) {
      // The driver would write a returned long value into the stream's memory without a limit.
      if (IsOutput(direction))
        throw EODBCLibrary("Parameter " + p->Name() + " holds a long value, which cannot be an output parameter.");
      stmt.SetParamType(direction);
      stmt.BindBlobParam(no, rec->Stream.get(), p->DataType() == ftBlob);
      continue;
    }
    const SQLSMALLINT ctype = FieldTypeToCType(rec->FieldType);
    const SQLSMALLINT sqltype = CTypeToSQLType(ctype);
    stmt.SetParamType(direction);
    if (IsOutput(direction) || ctype == SQL_C_TYPE_TIMESTAMP) {
      // The driver learns the buffer's real length, so that a value it returns never runs past
      // it; a time stamp keeps its milliseconds.
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      if (ctype == SQL_C_CHAR)
        size = rec->Buffer.size() - 1;
      else if (ctype == SQL_C_BINARY)
        size = rec->Buffer.size();
      else if (ctype == SQL_C_TYPE_TIMESTAMP) {
        size = 23;
        digits = 3;
      }
      if (IsOutput(direction)) {
        // PostgreSQL's driver returns a function's value through "{? = call ...}" only once it
        // was asked to describe the parameters.
        SQLSMALLINT described = sqltype, nullable = 0, describedDigits = 0;
        SQLULEN describedSize = 0;
        stmt.DescribeParam(no, described, false, nullable, describedDigits, describedSize);
      }
      stmt.BindParamMain(no, ctype, rec->Buffer.data(), sqltype, size, digits, SQL_NULLABLE_UNKNOWN, 0);
    } else {
      stmt.BindParam(no, ctype, sqltype, rec->Buffer.data());
    }
  }
}

void TODParams::SetParamLengths() {
  THstmt& stmt = Statement();
  for (int i = 0; i < Count(); ++i) {
    const TParam* p = Items(i);
    const int no = stmt.ParamByName(p->Name());
    const TODParamRec* rec = FindBinding(p->Name());
    stmt.SetParamSize(no, p->IsNull() || rec == nullptr ? SQL_NULL_DATA : rec->Length);
  }
}

void TODParams::BuffersToParams() {
  THstmt& stmt = Statement();
  for (int i = 0; i < Count(); ++i) {
    TParam* p = Items(i);
    if (p->ParamType() != ptOutput && p->ParamType() != ptInputOutput && p->ParamType() != ptResult) continue;
    const int no = stmt.ParamByName(p->Name());
    const SQLLEN size = stmt.GetParamSize(no);
    if (size == SQL_NULL_DATA) {
      p->Clear();
      continue;
    }
    TODParamRec* rec = FindBinding(p->Name());
    if (rec == nullptr || rec->FieldType != p->DataType()) continue;
    if (rec->Stream) {
      p->SetBlobData(rec->Stream->Memory(), int(rec->Length));
      continue;
    }
    const SQLSMALLINT ctype = FieldTypeToCType(rec->FieldType);
    const auto& buf = rec->Buffer;
    SQLLEN length = size;
    if (ctype == SQL_C_CHAR || ctype == SQL_C_BINARY) {
      const SQLLEN room = SQLLEN(buf.size()) - (ctype == SQL_C_CHAR ? 1 : 0);
      if (size == SQL_NO_TOTAL || size > room)
        throw EODBCLibrary("Output parameter " + p->Name() + " came back cut: its value is longer than the " +
                           std::to_string(room) + " bytes of its buffer.");
      if (size < 0) length = ctype == SQL_C_CHAR ? SQLLEN(strnlen(reinterpret_cast<const char*>(buf.data()), size_t(room))) : 0;
    }
    const std::string text(reinterpret_cast<const char*>(buf.data()), ctype == SQL_C_CHAR || ctype == SQL_C_BINARY ? size_t(length) : 0);
    switch (p->DataType()) {
      case ftSmallint:
      case ftWord:
      case ftInteger:
      case ftLargeint:
      case ftFloat:
      case ftCurrency: p->SetData(buf.data()); break;
      case ftBoolean: p->SetValue(Variant(buf[0] != 0)); break;
      case ftDate:
      case ftTime:
      case ftDateTime: {
        SQL_TIMESTAMP_STRUCT ts;
        if (p->DataType() == ftDate)
          DateToTimestamp(Load<SQL_DATE_STRUCT>(buf), ts);
        else if (p->DataType() == ftTime)
          TimeToTimestamp(Load<SQL_TIME_STRUCT>(buf), ts);
        else
          ts = Load<SQL_TIMESTAMP_STRUCT>(buf);
        p->SetValue(Variant::FromDateTime(TimestampToDateTime(ts)));
        break;
      }
      case ftBCD: {
        Currency c;
        if (!TryDecimalToCurrency(text, c)) {
          double d = 0;
          if (ValFloat(Trim(text), d) != 0 || !std::isfinite(d))
            throw EODBCLibrary("Output parameter " + p->Name() + ": '" + text + "' is not a number.");
          c = FloatToCurr(d);
        }
        p->SetValue(Variant(c));
        break;
      }
      case ftAutoInc: {
        std::int32_t n = 0;
        if (ValInt(Trim(text), n) != 0)
          throw EODBCLibrary("Output parameter " + p->Name() + ": '" + text + "' is not an integer.");
        p->SetValue(Variant(int(n)));
        break;
      }
      default: p->SetData(text.data(), int(text.size())); break;
    }
  }
}

// ---- TODParams: the stored form of older versions

void TODParams::DefineProperties(TFiler* Filer) {
  TParams::DefineProperties(Filer);
  Filer->DefineProperty("Params", [this](TReader* Reader) { ReadParams(Reader); }, nullptr, true);
}

void TODParams::ReadParams(TReader* Reader) {
  Reader->ReadListBegin();
  Reader->ReadString();  // the version that wrote it; every version has the same layout
  Clear();
  Reader->ReadListBegin();
  while (!Reader->EndOfList()) {
    auto* p = static_cast<TParam*>(Add());
    p->SetName(Reader->ReadString());
    const std::int64_t paramType = Reader->ReadInt64();
    const std::int64_t dataType = Reader->ReadInt64();
    if (paramType < ptUnknown || paramType > ptResult || dataType < 0 || dataType >= FieldTypeCount)
      throw EReadError("Invalid property value");
    p->SetParamType(TParamType(paramType));
    p->SetDataType(TFieldType(dataType));
    // The stored value in the form of its type; a value the type cannot hold is an error, never
    // a 0 or a cut number.
    const auto ranged = [Reader](std::int64_t Lo, std::int64_t Hi) {
      const std::int64_t v = Reader->ReadInt64();
      if (v < Lo || v > Hi) throw EReadError("Invalid property value");
      return std::int32_t(v);
    };
    try {
      switch (TFieldType(dataType)) {
        case ftString: p->SetAsString(Reader->ReadString()); break;
        case ftMemo: p->SetAsMemo(Reader->ReadString()); break;
        case ftSmallint: p->SetAsSmallInt(ranged(-32768, 32767)); break;
        case ftWord: p->SetAsWord(ranged(0, 65535)); break;
        case ftInteger: p->SetAsInteger(ranged(INT32_MIN, INT32_MAX)); break;
        case ftLargeint: p->SetAsLargeInt(Reader->ReadInt64()); break;
        case ftBoolean: p->SetAsBoolean(Reader->ReadBoolean()); break;
        case ftFloat: p->SetAsFloat(Reader->ReadFloat()); break;
        case ftCurrency: p->SetAsCurrency(FloatToCurr(Reader->ReadFloat())); break;
        case ftDate: p->SetAsDate(Reader->ReadFloat()); break;
        case ftTime: p->SetAsTime(Reader->ReadFloat()); break;
        case ftDateTime: p->SetAsDateTime(Reader->ReadFloat()); break;
        default: break;
      }
    } catch (const EReadError&) {
      throw;
    } catch (const Exception&) {
      throw EReadError("Invalid property value");
    }
    p->SetBound(Reader->ReadBoolean());
    if (Reader->ReadBoolean()) p->Clear();
    Reader->ReadInt64();  // stored, not used
  }
  Reader->ReadListEnd();
  Reader->ReadListEnd();
}

// ---- TODBlobStream

TODBlobStream::TODBlobStream(TMemoryStream* Stream, TDataSet* DataSet, TField* Field, unsigned char* HasValue)
    : FStream(Stream), FDataSet(DataSet), FField(Field), FHasValue(HasValue) {}

std::int64_t TODBlobStream::Read(void* Buffer, std::int64_t Count) { return FStream->Read(Buffer, Count); }

std::int64_t TODBlobStream::Seek(std::int64_t Offset, TSeekOrigin Origin) { return FStream->Seek(Offset, Origin); }

std::int64_t TODBlobStream::Write(const void* Buffer, std::int64_t Count) {
  const std::int64_t n = FStream->Write(Buffer, Count);
  if (FHasValue != nullptr) *FHasValue = 1;
  if (FDataSet != nullptr) FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
  return n;
}
