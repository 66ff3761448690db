#pragma once
// Errors of the ODBC library: misuse (EODBCLibrary), failed ODBC calls (EODBC with the driver
// manager's diagnostic records) and the per-environment error object that judges return codes.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "exceptions.h"

class THbase;

ZEL_EXCEPTION(EODBCLibrary, EDatabaseError)

// One diagnostic record. A record the library makes up itself has an empty SqlState and
// NativeError 0.
struct TErrorRec {
  std::string SqlState;
  int32_t NativeError = 0;
  std::string Message;
};
using TErrorRecs = std::vector<TErrorRec>;

inline constexpr const char* SUnableToRetrieveError = "Unable to Retrieve ODBC Error";

// A failed ODBC call. Copies of one EODBC share its records and its source; when the last copy
// ends (after the handler that caught it) and a record reports a broken link (SQLSTATE class
// "08"), the failing connection is torn down so that its next use connects afresh.
class EODBC : public EODBCLibrary {
public:
  // Errors empty gets the one made-up record "Unable to Retrieve ODBC Error".
  EODBC(THbase* Source, SQLRETURN RetCode, TErrorRecs Errors);

  // The component whose call failed; nullptr once that component has been freed.
  THbase* Source() const;
  SQLRETURN RetCode() const;
  const TErrorRecs& Errors() const;
  int ErrorCount() const { return int(Errors().size()); }

  // Navigation over the records; ErrorNum may step one place outside the list (see Next/Prev).
  int ErrorNum() const { return FErrorNum; }
  void First() { FErrorNum = 0; }
  // Steps forward; False (and one step past the end) when it leaves the list.
  bool Next();
  // Steps back; False (and at -1) when it leaves the list.
  bool Prev();
  // Fields of the current record; EListError when ErrorNum lies outside the list.
  std::string SqlState() const;
  int32_t NativeError() const;
  std::string ErrorMsg() const;

  // True when a record's SQLSTATE begins with "08", or when the driver called the failing
  // connection dead as the error was raised.
  bool IsLinkError() const;

  ZEL_CLASS(EODBC, EODBCLibrary)

private:
  friend class TODBCError;
  struct TShared;
  const TErrorRec& Current() const;
  std::shared_ptr<TShared> FShared;
  int FErrorNum = 0;
};

// Asked before an EODBC is raised; False keeps it from being raised.
using TODBCErrorEvent = std::function<bool(TObject* Sender, EODBC& E)>;

// The error object of an environment: the success rule, the diagnostic collection and the
// one place where EODBC is raised.
class TODBCError : public TObject {
public:
  TODBCError() = default;

  // Handle type and handle of the call being reported (set by RaiseError).
  SQLSMALLINT HandleType() const { return FHandleType; }
  void SetHandleType(SQLSMALLINT Value) { FHandleType = Value; }
  SQLHANDLE Handle() const { return FHandle; }
  void SetHandle(SQLHANDLE Value) { FHandle = Value; }

  bool InfoIsError() const { return FInfoIsError; }
  void SetInfoIsError(bool Value) { FInfoIsError = Value; }
  bool TerminateOnLinkError() const { return FTerminateOnLinkError; }
  void SetTerminateOnLinkError(bool Value) { FTerminateOnLinkError = Value; }

  TODBCErrorEvent OnRaiseError;
  TNotifyEvent OnLinkError;

  // SQL_SUCCESS succeeds; SQL_SUCCESS_WITH_INFO too unless InfoIsError; nothing else does.
  bool Success(SQLRETURN RetCode) const;
  // The diagnostic records of the call on HandleType/Handle that returned RetCode; never empty.
  TErrorRecs GetErrors(SQLRETURN RetCode);
  // Builds an EODBC for Source's failed call and raises it, unless a silent tear-down runs or
  // OnRaiseError declines it.
  void RaiseError(THbase* Source, SQLRETURN RetCode);

  ZEL_CLASS(TODBCError, TObject)

private:
  SQLSMALLINT FHandleType = 0;
  SQLHANDLE FHandle = SQL_NULL_HANDLE;
  bool FInfoIsError = false;
  bool FTerminateOnLinkError = true;
};
