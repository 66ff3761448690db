#include "oclerror.h"

#include <cstring>

#include "ocl.h"
#include "text.h"

// ---- EODBC

// What all copies of one EODBC share. Its end is the end of the last copy: that is when a
// broken link is torn down, exactly once.
struct EODBC::TShared {
  TComponentRef<THbase> Source;  // clears itself when the component is freed first
  SQLRETURN RetCode = 0;
  TErrorRecs Errors;
  bool Armed = true;
  bool LinkDead = false;  // the driver called the connection dead when the error was raised

  ~TShared() { LinkTearDown(); }
  bool IsLinkError() const {
    if (LinkDead) return true;
    for (const TErrorRec& r : Errors)
      if (r.SqlState.compare(0, 2, "08") == 0) return true;
    return false;
  }
  void LinkTearDown() noexcept;
};

void EODBC::TShared::LinkTearDown() noexcept {
  if (!Armed || !IsLinkError()) return;
  try {
    THbase* src = Source.Get();
    THenv* env = ExistingGlobalEnv();
    if (src == nullptr || env == nullptr) return;  // nothing left to tear down
    TODBCError* error = env->Error();
    if (error->TerminateOnLinkError()) {
      if (src->ComponentState().Contains(csDestroying)) {
        env->TerminateSilently();
      } else if (auto* e = dynamic_cast<THenv*>(src)) {
        e->TerminateSilently();
      } else if (auto* c = dynamic_cast<THdbc*>(src)) {
        TerminateSilently(c);
      } else if (THdbc* owner = src->LinkConnection()) {
        TerminateSilently(owner);
      }
    }
    // The handler may free the source; the reference then reads nullptr.
    if (error->OnLinkError) error->OnLinkError(Source.Get());
  } catch (...) {
    // Runs while an exception object is freed: nothing may leave it.
  }
}

EODBC::EODBC(THbase* Source, SQLRETURN RetCode, TErrorRecs Errors)
    : EODBCLibrary(), FShared(std::make_shared<TShared>()) {
  FShared->Source = Source;
  FShared->RetCode = RetCode;
  FShared->Errors = std::move(Errors);
  if (FShared->Errors.empty()) FShared->Errors.push_back({"", 0, SUnableToRetrieveError});
  SetMessage(FShared->Errors.front().Message);
}

THbase* EODBC::Source() const { return FShared->Source.Get(); }
SQLRETURN EODBC::RetCode() const { return FShared->RetCode; }
const TErrorRecs& EODBC::Errors() const { return FShared->Errors; }
bool EODBC::IsLinkError() const { return FShared->IsLinkError(); }

bool EODBC::Next() {
  if (FErrorNum >= ErrorCount()) return false;
  ++FErrorNum;
  return FErrorNum < ErrorCount();
}

bool EODBC::Prev() {
  if (FErrorNum < 0) return false;
  --FErrorNum;
  return FErrorNum >= 0;
}

const TErrorRec& EODBC::Current() const {
  if (FErrorNum < 0 || FErrorNum >= ErrorCount())
    throw EListError("List index out of bounds (" + std::to_string(FErrorNum) + ")");
  return Errors()[size_t(FErrorNum)];
}

std::string EODBC::SqlState() const { return Current().SqlState; }
int32_t EODBC::NativeError() const { return Current().NativeError; }
std::string EODBC::ErrorMsg() const { return Current().Message; }

// ---- TODBCError

bool TODBCError::Success(SQLRETURN RetCode) const {
  return RetCode == SQL_SUCCESS || (RetCode == SQL_SUCCESS_WITH_INFO && !FInfoIsError);
}

TErrorRecs TODBCError::GetErrors(SQLRETURN RetCode) {
  TErrorRecs list;
  if (RetCode == SQL_ERROR || RetCode == SQL_SUCCESS_WITH_INFO) {
    SQLRETURN rc = SQL_SUCCESS;
    for (SQLSMALLINT rec = 1;; ++rec) {
      SQLCHAR state[16] = {};
      // Room for 255 characters of any UTF-8 form: a message is cut by characters below, never
      // inside one.
      SQLCHAR msg[1024] = {};
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      rc = ODBCApi().SQLGetDiagRec(FHandleType, FHandle, rec, state, &native, msg, SQLSMALLINT(sizeof msg), &len);
      // A record cut short comes with SQL_SUCCESS_WITH_INFO; it is still a record, whatever
      // InfoIsError says about the failed call itself.
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
      msg[sizeof msg - 1] = 0;
      state[sizeof state - 1] = 0;
      list.push_back({reinterpret_cast<char*>(state), int32_t(native),
                      Utf8Left(reinterpret_cast<char*>(msg), 255)});
      if (rec == SQLSMALLINT(32767)) break;
    }
    if (list.empty() || rc != SQL_NO_DATA) list.push_back({"", 0, SUnableToRetrieveError});
  } else if (RetCode == SQL_INVALID_HANDLE) {
    list.push_back({"", 0, "Invalid ODBC Handle"});
  } else if (RetCode == SQL_NO_DATA) {
    list.push_back({"", 0, "No Data Found"});
  } else {
    list.push_back({"", 0, "ODBC Return Code " + std::to_string(RetCode)});
  }
  return list;
}

void TODBCError::RaiseError(THbase* Source, SQLRETURN RetCode) {
  // Never creates the environment: a failure while it is being created must not recurse.
  if (THenv* env = ExistingGlobalEnv(); env != nullptr && env->Terminating()) return;
  if (Source != nullptr) {
    FHandleType = Source->ODBCHandleType();
    FHandle = Source->ODBCHandle();
  } else {
    FHandleType = 0;
    FHandle = SQL_NULL_HANDLE;
  }
  EODBC E(Source, RetCode, GetErrors(RetCode));
  // A driver may report a lost server session under another SQLSTATE (a server's "terminating
  // connection" notice, say); the connection's own dead-or-alive answer then counts as class
  // "08". The records are read already, so asking cannot disturb them.
  if (Source != nullptr && !E.IsLinkError()) {
    THdbc* conn = dynamic_cast<THdbc*>(Source);
    if (conn == nullptr) conn = Source->LinkConnection();
    if (conn != nullptr && conn->Connected() && conn->Allocated()) {
      SQLULEN dead = SQL_CD_FALSE;
      if (ODBCApi().SQLGetConnectAttr(conn->ODBCHandle(), SQL_ATTR_CONNECTION_DEAD, &dead,
                                      sizeof(SQLUINTEGER), nullptr) == SQL_SUCCESS &&
          SQLUINTEGER(dead) == SQL_CD_TRUE)
        E.FShared->LinkDead = true;
    }
  }
  if (Source != nullptr) {
    // A warning (another user's change of a row, 01001) or a row not found is no failure of the
    // server: the connection's cursors stay.
    if (THdbc* conn = Source->LinkConnection();
        conn != nullptr && conn != Source && RetCode != SQL_SUCCESS_WITH_INFO && RetCode != SQL_NO_DATA)
      conn->NoteStatementFailure();
    Source->ErrorCleanup();
  }
  const bool raise = OnRaiseError ? OnRaiseError(Source, E) : true;
  if (raise) throw E;
  // Declined: the library drops its own copy without tearing anything down; a copy the handler
  // kept does the tear-down when it ends.
  if (E.FShared.use_count() == 1) E.FShared->Armed = false;
}
