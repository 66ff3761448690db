// The statement component: lifecycle, options, the token scanner, parameters, execution and
// row counts. Columns, fetching and the accessors are in oclstmtcol.cpp.
#include "oclstmt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filer.h"
#include "published.h"
#include "text.h"

TProcessMessagesProc ODBCProcessMessages;

namespace {

inline SQLCHAR* SqlText(const std::string& s) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

inline SQLPOINTER UIntPtr(SQLULEN v) { return reinterpret_cast<SQLPOINTER>(v); }

bool IsNameChar(char c) {
  return (c >= '0' && c <= '9') || c == '@' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z');
}

// Counts "?" markers outside single-quoted literals.
int CountMarkers(const std::string& s) {
  bool quoted = false;
  int n = 0;
  for (char c : s) {
    if (c == '\'')
      quoted = !quoted;  // an escaped quote flips twice
    else if (c == '?' && !quoted)
      ++n;
  }
  return n;
}

}  // namespace

// ---- lifecycle

THstmt::THstmt(TComponent* AOwner)
    : THbase(AOwner), FParamNames(std::make_unique<TStringList>()), FColNames(std::make_unique<TStringList>()) {
  FHdbc.Set(TOwnerConnection::FirstIn(AOwner));
}

THstmt::~THstmt() {
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  // Nothing may leave a destructor: the release goes unreported.
  if (FAllocated) {
    try {
      ::TerminateSilently(this);
    } catch (...) {
    }
  }
}

bool THstmt::Init() {
  Trace(1, "THstmt.Init");
  if (FAllocated) return true;
  if (hDbc() == nullptr) throw EODBCLibrary("Property Hdbc of " + Name() + " not set.");
  FHdbc->Connect();
  SQLHSTMT h = SQL_NULL_HSTMT;
  Check(ODBCApi().SQLAllocHandle(SQL_HANDLE_STMT, FHdbc->Handle(), &h));
  if (!Judge(FRetCode)) return false;  // only during a silent tear-down
  FHandle = h;
  FAllocated = true;
  FHdbc->Children().Add(this);
  SetConcurrencyType(FConcurrencyType);
  SetCursorType(FCursorType);
  SetRowSetSize(FRowSetSize);
  THbase::Init();
  if ((FCursorAttributes & SQL_CA1_BOOKMARK) != 0) {
    const bool ok = Judge(ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_USE_BOOKMARKS, UIntPtr(SQL_UB_VARIABLE), 0));
    if (FBindBookmarks) FBindBookmarks = ok;
  } else {
    FBindBookmarks = false;
  }
  return true;
}

bool THstmt::Terminate() {
  Trace(1, "THstmt.Terminate");
  THbase::Terminate();
  if (FAllocated) {
    if (THdbc* d = FHdbc.Get()) d->Children().Remove(this);
    try {
      Close();
    } catch (...) {
      // The handle goes in any case: a statement off its connection's list must not keep one.
      ODBCApi().SQLFreeHandle(SQL_HANDLE_STMT, FHandle);
      FHandle = SQL_NULL_HSTMT;
      FAllocated = false;
      FIpd = SQL_NULL_HDESC;
      FNeedLongDataLen = -1;
      throw;
    }
    const SQLRETURN rc = ODBCApi().SQLFreeHandle(SQL_HANDLE_STMT, FHandle);
    FAllocated = false;
    FIpd = SQL_NULL_HDESC;
    FNeedLongDataLen = -1;
    Check(rc);
    FHandle = SQL_NULL_HSTMT;
  }
  return !FAllocated;
}

SQLHSTMT THstmt::Handle() {
  Init();
  return FHandle;
}

void THstmt::CloseCursor() {
  Trace(1, "THstmt.CloseCursor");
  if (!FAllocated) Init();
  Check(ODBCApi().SQLFreeStmt(FHandle, SQL_CLOSE));
}

void THstmt::Close() {
  Trace(1, "THstmt.Close");
  CloseCursor();
  FreeParams();
  if (FAllocated) Check(ODBCApi().SQLFreeStmt(FHandle, SQL_RESET_PARAMS));
  // Unbound before the buffers go, so the driver never holds a pointer to freed memory.
  if (FAllocated) {
    Check(ODBCApi().SQLFreeStmt(FHandle, SQL_UNBIND));
    if (FRowStatus) ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  }
  ReleaseAuxStatements();
  FreeCols();
  FPrepared = false;
  FExecuted = false;
}

void THstmt::FreeParams() {
  FParams.clear();
  FParamSetSize = 0;
  FIpd = SQL_NULL_HDESC;
  FParamNames->Clear();
}

void THstmt::FreeCols() {
  FCols.clear();
  FTextCols.clear();
  FDateCols.clear();
  FRowStatus.reset();
  FRowFlags.reset();
  FBookmarks.reset();
  FBookmarkInd.reset();
  FRowArraySize = 0;
  FRowsFetched = 0;
  FCursorRowCount = -1;
  FRowsetStart = 0;
  FColNames->Clear();
  FColsBound = false;
  FHasLongCols = false;
  FAnyFull = false;
}

void THstmt::Notification(TComponent* AComponent, TOperation Operation) {
  THbase::Notification(AComponent, Operation);
  if (auto change = FHdbc.Notified(this, AComponent, Operation)) SetHdbc(*change);
}

void ReadPropertiesTolerating(TReader* Reader, TComponent* Instance,
                               const std::function<bool(const std::string& Name)>& Tolerate) {
  Instance->SetComponentState(Instance->ComponentState() + csReading);
  try {
    TStream* stream = Reader->Stream();
    while (!Reader->EndOfList()) {
      const std::int64_t at = stream->Position();
      const std::string name = Reader->ReadStr();
      stream->SetPosition(at);
      try {
        Reader->ReadProperty(Instance);
      } catch (const EReadError&) {
        if (!Tolerate(name)) throw;
        stream->SetPosition(at);
        Reader->ReadStr();
        Reader->SkipValue();
      }
    }
    Reader->ReadListEnd();
  } catch (...) {
    Instance->SetComponentState(Instance->ComponentState() - csReading);
    throw;
  }
  Instance->SetComponentState(Instance->ComponentState() - csReading);
}

void THstmt::ReadState(TReader* Reader) {
  ReadPropertiesTolerating(Reader, this, [this](const std::string& Name) {
    if (Name.find("StringTrimming") != std::string::npos) {
      FStringTrimming = stTrimNone;
      return true;
    }
    return Name.find("OnPrepare") != std::string::npos || Name.find("OnExecute") != std::string::npos ||
           Name.find("OnFetch") != std::string::npos;
  });
}

void THstmt::ErrorCleanup() {
  // Runs inside RaiseError after the records are read: no Check here.
  AbandonExecution();
}

void THstmt::AbandonExecution() {
  // A statement waiting for data would refuse every other call (HY010) until cancelled; the
  // asynchronous mode can only be switched off after that.
  if (FAllocated && FSendingData) ODBCApi().SQLCancel(FHandle);
  FSendingData = false;
  if (FAsyncOn && FAllocated)
    ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_ASYNC_ENABLE, UIntPtr(SQL_ASYNC_ENABLE_OFF), 0);
  FAsyncOn = false;
}

// ---- properties

void THstmt::SetHdbc(THdbc* Value) {
  Trace(1, "THstmt.SetHdbc");
  Terminate();
  FHdbc.Set(Value);
}

void THstmt::SetSQL(const std::string& Value) {
  Trace(1, "THstmt.SetSQL");
  if (FAllocated) Close();
  FPrepared = false;
  FExecuted = false;
  FSQL = Value;
}

void THstmt::ApplyStmtAttr(SQLINTEGER Attr, SQLULEN Value) {
  SQLULEN cur = 0;
  if (!Judge(ODBCApi().SQLGetStmtAttr(FHandle, Attr, &cur, 0, nullptr))) return;
  if (cur == Value) return;
  Check(ODBCApi().SQLSetStmtAttr(FHandle, Attr, UIntPtr(Value), 0));
}

void THstmt::LoadCursorAttributes(SQLULEN Type) {
  SQLUSMALLINT info;
  switch (Type) {
    case SQL_CURSOR_FORWARD_ONLY: info = SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1; break;
    case SQL_CURSOR_KEYSET_DRIVEN: info = SQL_KEYSET_CURSOR_ATTRIBUTES1; break;
    case SQL_CURSOR_DYNAMIC: info = SQL_DYNAMIC_CURSOR_ATTRIBUTES1; break;
    case SQL_CURSOR_STATIC: info = SQL_STATIC_CURSOR_ATTRIBUTES1; break;
    default: return;
  }
  FCursorAttributes = SQLUINTEGER(FHdbc->GetInfoInteger(info));
  FEffectiveCursorType = Type;
  // SQLite's driver reports positioning but positions relative to the last row it fetched, so
  // a read after SQLSetPos would return another row's value.
  // Its columns also keep values of any type: an integer column holds 64-bit values (which the
  // driver narrows to the declared type without a word) and a date column any text (which it
  // reports as NULL when it cannot convert it).
  const std::string driver = LowerCase(FHdbc->GetInfoString(SQL_DRIVER_NAME));
  FSetPosUnreliable = driver.rfind("sqlite", 0) == 0 || driver.rfind("libsqlite", 0) == 0;
  FLooseTypes = FSetPosUnreliable;
  FStableRowNumbers = FSetPosUnreliable;
}

bool THstmt::CanPositionRows() const {
  return (FCursorAttributes & SQL_CA1_POS_POSITION) != 0 && !FSetPosUnreliable;
}

void THstmt::SetConcurrencyType(SQLULEN Value) {
  Trace(1, "THstmt.SetConcurrencyType");
  FConcurrencyType = Value;
  if (!FAllocated) return;
  Close();
  ApplyStmtAttr(SQL_ATTR_CONCURRENCY, Value);
}

void THstmt::SetCursorType(SQLULEN Value) {
  Trace(1, "THstmt.SetCursorType");
  FCursorType = Value;
  if (!FAllocated) return;
  Close();
  LoadCursorAttributes(Value);
  ApplyStmtAttr(SQL_ATTR_CURSOR_TYPE, Value);
  // A driver may answer with another cursor type; its attributes decide what the cursor can do.
  SQLULEN eff = Value;
  if (Judge(ODBCApi().SQLGetStmtAttr(FHandle, SQL_ATTR_CURSOR_TYPE, &eff, 0, nullptr)) && eff != Value)
    LoadCursorAttributes(eff);
}

void THstmt::SetRowSetSize(SQLULEN Value) {
  Trace(1, "THstmt.SetRowSetSize");
  if (Value == 0) return;
  FRowSetSize = Value;
  if (!FAllocated) return;
  Close();
  ApplyStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE, Value);
}

void THstmt::SetBlobSize(int32_t Value) {
  if (Value != FBlobSize && Value > 1024) FBlobSize = Value;
}

SQLULEN THstmt::MaxRows() {
  Trace(1, "THstmt.MaxRows");
  Init();
  SQLULEN v = 0;
  Check(ODBCApi().SQLGetStmtAttr(FHandle, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
  return v;
}

void THstmt::SetMaxRows(SQLULEN Value) {
  Trace(1, "THstmt.SetMaxRows");
  Init();
  Check(ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_MAX_ROWS, UIntPtr(Value), 0));
}

void THstmt::SetPrepared(bool Value) {
  if (Value)
    Prepare();
  else
    FPrepared = false;
}

void THstmt::SetParamType(SQLSMALLINT Value) {
  if (Value == SQL_PARAM_INPUT || Value == SQL_PARAM_INPUT_OUTPUT || Value == SQL_PARAM_OUTPUT)
    FInputOutputType = Value;
}

// ---- events

void THstmt::DoBeforePrepare() {
  if (BeforePrepare) BeforePrepare(this);
}
void THstmt::DoAfterPrepare() {
  if (AfterPrepare) AfterPrepare(this);
}
void THstmt::DoBeforeExecute() {
  if (BeforeExecute) BeforeExecute(this);
}
void THstmt::DoAfterExecute() {
  if (AfterExecute) AfterExecute(this);
}
void THstmt::DoBeforeFetch() {
  if (BeforeFetch) BeforeFetch(this);
}
void THstmt::DoAfterFetch() {
  if (AfterFetch) AfterFetch(this);
}
int THstmt::DoRowCount() { return OnRowCount ? OnRowCount(this) : -1; }

// ---- the token scanner

std::string THstmt::ParseSQL() {
  Trace(1, "THstmt.ParseSQL");
  if (!FSQLParsing) return FSQL;
  FParamNames->Clear();
  std::string out;
  out.reserve(FSQL.size());
  bool quoted = false;
  const size_t n = FSQL.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = FSQL[i];
    if (c == '\'') {
      if (i + 1 < n && FSQL[i + 1] == '\'') {
        out += "''";
        ++i;
      } else {
        quoted = !quoted;
        out += c;
      }
    } else if (c == ':' && !quoted) {
      if (i + 1 >= n) {
        FParamNames->Clear();
        throw EODBCLibrary("Invalid parameter token in SQL statement.");
      }
      size_t j = i + 1;
      while (j < n && IsNameChar(FSQL[j])) ++j;
      if (j == i + 1) {
        FParamNames->Clear();
        throw EODBCLibrary("Invalid parameter token in SQL statement.");
      }
      out += '?';
      FParamNames->Add(FSQL.substr(i + 1, j - i - 1));
      i = j - 1;
    } else {
      out += c;
    }
  }
  return out;
}

TStrings* THstmt::ParamNames() {
  ParseSQL();
  return FParamNames.get();
}

// ---- preparation and parameters

void THstmt::Prepare() {
  Trace(1, "THstmt.Prepare");
  Close();
  DoBeforePrepare();
  const std::string text = ParseSQL();
  Check(ODBCApi().SQLPrepare(FHandle, SqlText(text), SQL_NTS));
  DoAfterPrepare();
  FPrepared = true;
}

const TStmtParamRec* THstmt::ParamRec(int ParamNo) const {
  for (const auto& p : FParams)
    if (p->ParamNo == ParamNo) return p.get();
  return nullptr;
}

void THstmt::BindParam(int ParamNo, SQLSMALLINT CType, SQLSMALLINT SQLType, void* ValuePtr) {
  Trace(1, "THstmt.BindParam");
  Init();
  const bool fallback = FHdbc->NoDescribeParam() || !FPrepared || FBindByName;
  SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN, digits = 0;
  SQLULEN size = 0;
  const SQLSMALLINT asked = SQLType;
  DescribeParam(ParamNo, SQLType, fallback, nullable, digits, size);
  // Some drivers describe every parameter as long text (SQLite does): a value the caller binds
  // as an ordinary one stays ordinary, or it would be sent at execution with no length.
  const auto isLong = [](SQLSMALLINT t) { return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY; };
  if (!fallback && isLong(SQLType) && !isLong(asked)) {
    SQLType = asked;
    DescribeParam(ParamNo, SQLType, true, nullable, digits, size);
  }
  BindParamMain(ParamNo, CType, ValuePtr, SQLType, size, digits, nullable, 0);
}

void THstmt::DescribeParam(int ParamNo, SQLSMALLINT& SQLType, bool UseFallback, SQLSMALLINT& Nullable,
                           SQLSMALLINT& DecimalDigits, SQLULEN& ColumnSize) {
  Trace(1, "THstmt.DescribeParam");
  if (!UseFallback) {
    Init();
    SQLSMALLINT type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    if (Judge(ODBCApi().SQLDescribeParam(FHandle, SQLUSMALLINT(ParamNo), &type, &size, &digits, &nullable))) {
      SQLType = type;
      ColumnSize = size;
      DecimalDigits = digits;
      Nullable = nullable;
      return;
    }
  }
  ColumnSize = 0;
  DecimalDigits = 0;
  Nullable = SQL_NULLABLE_UNKNOWN;
  if (!FHdbc) return;
  const TDriverRec* r = FHdbc->FindDriverSize(FHdbc->DriverKey());
  if (r == nullptr) r = FHdbc->FindDriverSize("Default");
  if (r == nullptr) return;
  switch (SQLType) {
    case SQL_CHAR: ColumnSize = SQLULEN(r->CharSize); break;
    case SQL_VARCHAR: ColumnSize = SQLULEN(r->VarCharSize); break;
    case SQL_LONGVARCHAR: ColumnSize = SQLULEN(r->LongVarCharSize); break;
    case SQL_BINARY: ColumnSize = SQLULEN(r->BinarySize); break;
    case SQL_VARBINARY: ColumnSize = SQLULEN(r->VarBinarySize); break;
    case SQL_LONGVARBINARY: ColumnSize = SQLULEN(r->LongVarBinarySize); break;
    case SQL_DECIMAL:
      ColumnSize = SQLULEN(r->DecimalPrecision);
      DecimalDigits = r->DecimalScale;
      break;
    case SQL_NUMERIC:
      ColumnSize = SQLULEN(r->NumericPrecision);
      DecimalDigits = r->NumericScale;
      break;
    case SQL_TYPE_TIMESTAMP:
      ColumnSize = SQLULEN(r->TimestampSize);
      DecimalDigits = r->TimestampScale;
      break;
    default: break;
  }
}

bool THstmt::NeedLongDataLen() {
  if (FNeedLongDataLen < 0) {
    const std::string s = FHdbc->GetInfoString(SQL_NEED_LONG_DATA_LEN);
    FNeedLongDataLen = !s.empty() && (s[0] == 'Y' || s[0] == 'y') ? 1 : 0;
  }
  return FNeedLongDataLen == 1;
}

void THstmt::BindParamMain(int ParamNo, SQLSMALLINT CType, void* ValuePtr, SQLSMALLINT SQLType,
                           SQLULEN ColumnSize, SQLSMALLINT DecimalDigits, SQLSMALLINT Nullable,
                           SQLLEN ArraySize) {
  Trace(1, "THstmt.BindParamMain");
  Init();
  TStmtParamRec* rec = const_cast<TStmtParamRec*>(ParamRec(ParamNo));
  if (rec == nullptr) {
    FParams.insert(FParams.begin(), std::make_unique<TStmtParamRec>());
    rec = FParams.front().get();
    rec->ParamNo = SQLUSMALLINT(ParamNo);
    rec->RowCount = ArraySize > 0 ? ArraySize : 1;
  }
  rec->CType = CType;
  rec->SQLType = SQLType;
  rec->Value = ValuePtr;
  rec->LengthGiven = false;
  FParamSetSize = std::max(FParamSetSize, rec->RowCount);

  // A size the driver cannot tell may come back as SQL_NO_TOTAL read unsigned.
  if (ColumnSize > 2147483647) ColumnSize = 0;
  SQLLEN bufLen = SQLLEN(ColumnSize);
  rec->Ind = 0;
  switch (SQLType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
      bufLen = SQLLEN(ColumnSize) + 1;
      rec->Ind = SQL_NTS;
      break;
    case SQL_LONGVARCHAR:
    case SQL_LONGVARBINARY: {
      if (ColumnSize == 0) bufLen = 2147483647;
      const bool byParts = FBlobPlacement == bpByParts || (FBlobPlacement == bpDetect && NeedLongDataLen());
      // Sent with the execute, character data counts up to its terminator until the caller
      // gives a length (SetParamSize).
      rec->Ind = byParts ? SQL_LEN_DATA_AT_EXEC(0) : (CType == SQL_C_CHAR ? SQL_NTS : 0);
      break;
    }
    default:
      // Character data is zero-terminated whatever SQL type it goes as: a length of 0 would
      // send an empty text.
      if (CType == SQL_C_CHAR) rec->Ind = SQL_NTS;
      break;
  }
  if (ValuePtr == nullptr) rec->Ind = SQL_NULL_DATA;
  // A stamp carries its fraction: described as whole seconds (the size table's default, or a
  // driver's guess) the driver would drop the milliseconds.
  if (SQLType == SQL_TYPE_TIMESTAMP && CType == SQL_C_TYPE_TIMESTAMP) {
    if (DecimalDigits < 3) DecimalDigits = 3;
    ColumnSize = std::max<SQLULEN>(ColumnSize, SQLULEN(20 + DecimalDigits));
  }
  const SQLSMALLINT io = FInputOutputType;
  FInputOutputType = SQL_PARAM_INPUT;
  rec->IOType = io;
  rec->ColumnSize = ColumnSize;
  rec->DecimalDigits = DecimalDigits;
  rec->BufferLength = bufLen;
  rec->Executed = false;
  Check(ODBCApi().SQLBindParameter(FHandle, SQLUSMALLINT(ParamNo), io, CType, SQLType, ColumnSize,
                                   DecimalDigits, ValuePtr, bufLen, &rec->Ind));
  if (FBindByName && FParamNames->Count() >= ParamNo && ParamNo >= 1) {
    if (FIpd == SQL_NULL_HDESC) Check(ODBCApi().SQLGetStmtAttr(FHandle, SQL_ATTR_IMP_PARAM_DESC, &FIpd, 0, nullptr));
    const std::string name = FParamNames->Get(ParamNo - 1);
    ODBCApi().SQLSetDescField(FIpd, SQLSMALLINT(ParamNo), SQL_DESC_NAME, SqlText(name), SQL_NTS);
    ODBCApi().SQLSetDescField(FIpd, SQLSMALLINT(ParamNo), SQL_DESC_UNNAMED, UIntPtr(SQL_NAMED), 0);
  }
}

void THstmt::BindBlobParam(int ParamNo, TMemoryStream* Stream, bool Binary) {
  Trace(1, "THstmt.BindBlobParam");
  void* mem = Stream != nullptr ? Stream->Memory() : nullptr;
  if (Binary)
    BindParam(ParamNo, SQL_C_BINARY, SQL_LONGVARBINARY, mem);
  else
    BindParam(ParamNo, SQL_C_CHAR, SQL_LONGVARCHAR, mem);
  const SQLLEN size = Stream != nullptr ? SQLLEN(Stream->Size()) : 0;
  SetParamSize(ParamNo, size > 0 ? size : SQL_NULL_DATA);
}

void THstmt::SetParamSize(int ParamNo, SQLLEN Size) {
  auto* rec = const_cast<TStmtParamRec*>(ParamRec(ParamNo));
  if (rec == nullptr) return;
  if (rec->Ind <= SQL_LEN_DATA_AT_EXEC_OFFSET && Size >= 0)
    rec->Ind = SQL_LEN_DATA_AT_EXEC(Size);
  else
    rec->Ind = Size;
  rec->LengthGiven = true;
}

void THstmt::ResetParams() {
  Trace(1, "THstmt.ResetParams");
  // The driver first: it must never keep an address of a buffer its owner frees.
  if (FAllocated) Check(ODBCApi().SQLFreeStmt(FHandle, SQL_RESET_PARAMS));
  FParams.clear();
  FParamSetSize = 0;
}

SQLLEN THstmt::GetParamSize(int ParamNo) const {
  const TStmtParamRec* rec = ParamRec(ParamNo);
  if (rec == nullptr) return 0;
  return rec->Ind < SQL_LEN_DATA_AT_EXEC_OFFSET + 1 ? SQL_LEN_DATA_AT_EXEC_OFFSET - rec->Ind : rec->Ind;
}

// ---- execution

void THstmt::SetAsync(bool Value) {
  Trace(1, "THstmt.SetAsync");
  const SQLRETURN rc = ODBCApi().SQLSetStmtAttr(
      FHandle, SQL_ATTR_ASYNC_ENABLE, UIntPtr(Value ? SQL_ASYNC_ENABLE_ON : SQL_ASYNC_ENABLE_OFF), 0);
  if (Value) {
    // A driver that refuses runs the statement synchronously.
    FAsyncOn = Judge(rc);
  } else {
    FAsyncOn = false;
    Check(rc);
  }
}

template <class F>
SQLRETURN THstmt::Poll(F Call) {
  SQLRETURN rc = Call();
  if (rc != SQL_STILL_EXECUTING) return rc;
  try {
    while (rc == SQL_STILL_EXECUTING) {
      if (ODBCProcessMessages) ODBCProcessMessages();
      rc = Call();
    }
  } catch (...) {
    // A message handler that raises leaves no statement running behind the caller's back.
    ODBCApi().SQLCancel(FHandle);
    AbandonExecution();
    throw;
  }
  return rc;
}

SQLRETURN THstmt::ExecCall(bool Direct, const std::string& Text) {
  auto call = [&] {
    return Direct ? ODBCApi().SQLExecDirect(FHandle, SqlText(Text), SQL_NTS) : ODBCApi().SQLExecute(FHandle);
  };
  if (FExecAsync) SetAsync(true);
  return Poll(call);
}

void THstmt::Execute() {
  Trace(1, "THstmt.Execute");
  Init();
  DoBeforeExecute();
  {
    const SQLRETURN rc =
        ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_PARAMSET_SIZE, UIntPtr(SQLULEN(std::max<SQLLEN>(FParamSetSize, 1))), 0);
    if (FParamSetSize > 1) Check(rc);
  }
  FExecuted = false;
  FAsyncOn = false;
  // A text sent at execution without a length given is announced with its own, up to its
  // terminator: drivers read exactly the announced length, so none would send it empty.
  for (const auto& p : FParams)
    if (!p->LengthGiven && p->CType == SQL_C_CHAR && p->Value != nullptr && p->Ind <= SQL_LEN_DATA_AT_EXEC_OFFSET)
      p->Ind = SQL_LEN_DATA_AT_EXEC(SQLLEN(std::strlen(static_cast<const char*>(p->Value))));
  // SQLite's driver takes a binary value's length from the first execution of a prepared
  // statement and keeps it, whatever the indicator says later (PostgreSQL's reads the indicator
  // each time): a binary parameter whose length changed since is bound again.
  for (const auto& p : FParams) {
    TStmtParamRec& r = *p;
    if (r.Executed && r.CType == SQL_C_BINARY && r.Ind != r.SentInd)
      Check(ODBCApi().SQLBindParameter(FHandle, r.ParamNo, r.IOType, r.CType, r.SQLType, r.ColumnSize,
                                       r.DecimalDigits, r.Value, r.BufferLength, &r.Ind));
    r.SentInd = r.Ind;
    r.Executed = true;
  }
  SQLRETURN rc;
  // An open cursor of the last run is closed first, also for direct execution: running the
  // text again must not fail on the cursor the caller left open.
  if (FHdbc->CursorLib() == SQL_CUR_USE_DRIVER) CloseCursor();
  if (FPrepared) {
    rc = ExecCall(false, {});
  } else {
    const std::string text = ParseSQL();
    rc = ExecCall(true, text);
  }
  FRetCode = rc;
  if (rc != SQL_NEED_DATA && rc != SQL_NO_DATA) Check(rc);
  if (rc == SQL_NEED_DATA) {
    // Asynchronous mode stays on until the data is sent: the driver refuses to change it while
    // it waits for data.
    PutDataAtExec([this](SQLPOINTER Token, const void*& Data, SQLLEN& Length) {
      for (const auto& p : FParams) {
        if (p->Value == Token && p->Value != nullptr) {
          Data = p->Value;
          Length = p->Ind <= SQL_LEN_DATA_AT_EXEC_OFFSET ? SQL_LEN_DATA_AT_EXEC_OFFSET - p->Ind : 0;
          return true;
        }
      }
      return false;
    });
    rc = FRetCode;
  }
  // Read at once: the next call on the handle may change it (SQLite's driver counts the rows
  // fetched so far once a fetch has run).
  FCursorRowCount = -1;
  FRowsetStart = 0;
  if (GlobalEnv()->Error()->Success(rc)) {
    SQLLEN n = -1;
    if (ODBCApi().SQLGetDiagField(SQL_HANDLE_STMT, FHandle, 0, SQL_DIAG_CURSOR_ROW_COUNT, &n, 0, nullptr) ==
        SQL_SUCCESS)
      FCursorRowCount = n;
  }
  if (FAsyncOn) SetAsync(false);
  if (GlobalEnv()->Error()->Success(rc)) DoAfterExecute();
  ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_ROWS_FETCHED_PTR, &FRowsFetched, 0);
  FExecuted = true;
  // The driver may have changed the cursor type for this text.
  SQLULEN eff = FEffectiveCursorType;
  if (ODBCApi().SQLGetStmtAttr(FHandle, SQL_ATTR_CURSOR_TYPE, &eff, 0, nullptr) == SQL_SUCCESS &&
      eff != FEffectiveCursorType)
    LoadCursorAttributes(eff);
}

void THstmt::PutDataAtExec(const TDataAtExecFind& Find) {
  Trace(1, "THstmt.PutDataAtExec");
  // Every failure from here on cancels the statement (AbandonExecution, also through the error
  // object's cleanup), so that it takes the next call again.
  FSendingData = true;
  try {
    SQLPOINTER token = nullptr;
    auto paramData = [&] { return ODBCApi().SQLParamData(FHandle, &token); };
    SQLRETURN rc = Poll(paramData);
    FRetCode = rc;
    if (rc != SQL_NEED_DATA) Check(rc);
    while (rc == SQL_NEED_DATA) {
      const void* data = nullptr;
      SQLLEN length = 0;
      if (!Find(token, data, length))
        throw EODBCLibrary("The driver asked for a value at execution that no parameter holds.");
      char* p = static_cast<char*>(const_cast<void*>(data));
      SQLRETURN prc = SQL_SUCCESS;
      SQLLEN sent = 0;
      // A length of 0 sends one empty piece.
      do {
        const SQLLEN piece = std::min<SQLLEN>(FBlobSize, std::max<SQLLEN>(length - sent, 0));
        prc = Poll([&] { return ODBCApi().SQLPutData(FHandle, p + sent, piece); });
        sent += piece;
      } while (Judge(prc) && sent < length);
      Check(prc);
      rc = Poll(paramData);
      FRetCode = rc;
      if (rc != SQL_NEED_DATA) Check(rc);
    }
  } catch (...) {
    AbandonExecution();
    throw;
  }
  FSendingData = false;
}

SQLLEN THstmt::NumRowsAffected() {
  Trace(1, "THstmt.NumRowsAffected");
  Init();
  SQLLEN n = 0;
  Check(ODBCApi().SQLRowCount(FHandle, &n));
  return n;
}

// ---- row counts

void THstmt::BindParamsTo(THstmt& Other) const {
  // Oldest first, so the other statement's list ends in the same order.
  for (auto it = FParams.rbegin(); it != FParams.rend(); ++it) {
    const TStmtParamRec& p = **it;
    Other.BindParam(p.ParamNo, p.CType, p.SQLType, p.Value);
    // The length the caller gave (or the announced length of a value sent at execution).
    if (auto* o = const_cast<TStmtParamRec*>(Other.ParamRec(p.ParamNo)); o != nullptr && p.Value != nullptr) {
      o->Ind = p.Ind;
      o->LengthGiven = p.LengthGiven;
    }
  }
}

int THstmt::CountBySelect(THstmt& Counter, const std::string& text, bool& Done) {
  Done = false;
  // The cut must keep every parameter marker in its place: the parameters are bound by number.
  const auto markers = [this](const std::string& Text) {
    std::vector<std::string> names;
    if (!FSQLParsing) {
      names.assign(size_t(CountMarkers(Text)), "?");
      return names;
    }
    THstmt probe(nullptr);
    probe.SetSQL(Text);
    probe.ParseSQL();
    for (int i = 0; i < probe.FParamNames->Count(); ++i) names.push_back(probe.FParamNames->Get(i));
    return names;
  };
  try {
    if (markers(FSQL) != markers(text)) return 0;
  } catch (const EODBCLibrary&) {
    return 0;
  }
  // The count text is made up here: any failure of it (also a text the driver cannot prepare)
  // falls back to traversal rather than failing the caller.
  try {
    Counter.SetSQL(text);
    Counter.Prepare();
    BindParamsTo(Counter);
    Counter.Execute();
    if (Counter.FetchNext()) {
      const int n = Counter.ColLongint(1);
      Done = true;
      return n;
    }
  } catch (const Exception&) {
    try {
      Counter.Terminate();
    } catch (const Exception&) {
    }
  }
  return 0;
}

int THstmt::CountByTraversal(THstmt& Counter) {
  Counter.SetSQL(FSQL);
  Counter.Prepare();
  BindParamsTo(Counter);
  Counter.Execute();
  int n = 0;
  while (Counter.FetchNext()) ++n;
  return n;
}

int THstmt::RowCount() {
  Trace(1, "THstmt.RowCount");
  if (FRowCountMethod == rcCustom) {
    const int n = DoRowCount();
    if (n >= 0) return n;
  }
  // A text that folds or limits its own rows, or a limit set on the statement, is counted by
  // reading the rows, whatever the method: a count text would count the rows before folding or
  // limiting, and drivers report the rows before MaxRows too.
  const SQLULEN maxRows = MaxRows();
  bool shaped = false;
  const std::string countText = CountStatementText(FSQL, shaped);
  const bool traverse = shaped || maxRows > 0;
  if (FRowCountMethod == rcFunction && !traverse && FCursorRowCount >= 0) return int(FCursorRowCount);
  THstmt counter(nullptr);
  counter.SetHdbc(FHdbc.Get());
  counter.SetSQLParsing(FSQLParsing);
  counter.SetBlobDeferral(true);
  counter.SetMaxRows(maxRows);
  if (FRowCountMethod != rcTraverse && !traverse && !countText.empty()) {
    bool done = false;
    const int n = CountBySelect(counter, countText, done);
    if (done) return n;
  }
  return CountByTraversal(counter);
}

// ---- published properties

namespace {

[[maybe_unused]] const bool StmtPropsRegistered = [] {
  RegisterPublishedClass("THstmt", "THbase");
  PublishProperty("THstmt", "hDbc", &THstmt::hDbc, &THstmt::SetHdbc);
  PublishProperty("THstmt", "SQL", &THstmt::SQL, &THstmt::SetSQL);
  PublishProperty("THstmt", "SQLParsing", &THstmt::SQLParsing, &THstmt::SetSQLParsing);
  PublishProperty("THstmt", "ConcurrencyType", &THstmt::ConcurrencyType, &THstmt::SetConcurrencyType);
  PublishProperty("THstmt", "CursorType", &THstmt::CursorType, &THstmt::SetCursorType);
  PublishProperty("THstmt", "RowSetSize", &THstmt::RowSetSize, &THstmt::SetRowSetSize);
  PublishProperty("THstmt", "SkipByPosition", &THstmt::SkipByPosition, &THstmt::SetSkipByPosition);
  PublishProperty("THstmt", "SkipByCursor", &THstmt::SkipByCursor, &THstmt::SetSkipByCursor);
  PublishProperty("THstmt", "BindBookmarks", &THstmt::BindBookmarks, &THstmt::SetBindBookmarks);
  PublishProperty("THstmt", "BlobSize", &THstmt::BlobSize, &THstmt::SetBlobSize);
  PublishProperty("THstmt", "BlobDeferral", &THstmt::BlobDeferral, &THstmt::SetBlobDeferral);
  PublishEnumProperty("THstmt", "BlobPlacement", BlobPlacementNames, &THstmt::BlobPlacement, &THstmt::SetBlobPlacement);
  PublishProperty("THstmt", "ExecAsync", &THstmt::ExecAsync, &THstmt::SetExecAsync);
  PublishEnumProperty("THstmt", "EmptyStringToNull", EmptyToNullNames, &THstmt::EmptyStringToNull, &THstmt::SetEmptyStringToNull);
  PublishEnumProperty("THstmt", "StringTrimming", StringTrimmingNames, &THstmt::StringTrimming, &THstmt::SetStringTrimming);
  PublishProperty("THstmt", "BindByName", &THstmt::BindByName, &THstmt::SetBindByName);
  PublishEnumProperty("THstmt", "RowCountMethod", RowCountMethodNames, &THstmt::RowCountMethod, &THstmt::SetRowCountMethod);
  PublishSetProperty("THstmt", "NoRowsAffected", NoRowsAffectedNames, &THstmt::NoRowsAffected,
                     &THstmt::SetNoRowsAffected);
  return true;
}();

}  // namespace
