#pragma once
// The ODBC components: the handle base, the environment (one per process by default) and the
// connection. Statements are children of a connection and register with it while their handle
// exists (THbase, TChildren).
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <forward_list>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classes.h"
#include "component.h"
#include "oclconv.h"
#include "oclerror.h"
#include "odbcapi.h"

class THbase;
class THenv;
class THdbc;

// The components whose ODBC handle is allocated, newest first; the objects are not owned.
class TChildren : public TObject {
public:
  TChildren() = default;
  ~TChildren() override { Clear(); }
  TChildren(const TChildren&) = delete;
  TChildren& operator=(const TChildren&) = delete;

  void Add(THbase* Obj);
  // Unlinks the first entry that holds Obj; nothing when none does.
  void Remove(THbase* Obj);
  // Terminates every child (each removes itself); True.
  bool TerminateAll();
  void Clear() { FList.clear(); }
  bool Contains(const THbase* Obj) const;
  int Count() const;
  bool Empty() const { return FList.empty(); }
  ZEL_CLASS(TChildren, TObject)

private:
  std::forward_list<THbase*> FList;
};

// Base of the environment, connection and statement components: Init allocates the ODBC handle
// on demand, Terminate releases it after the component's children.
class THbase : public TComponent {
public:
  explicit THbase(TComponent* AOwner) : TComponent(AOwner) {}

  TNotifyEvent AfterInit;
  TNotifyEvent BeforeTerminate;

  // Each descendant allocates first and calls this at the end of its own Init.
  virtual bool Init();
  // Each descendant calls this at the start of its own Terminate.
  virtual bool Terminate();

  // Return code of the component's last ODBC call.
  SQLRETURN RetCode() const { return FRetCode; }

  // The handle the error object reads the records of a failed call from; the current one, never
  // allocated on demand.
  virtual SQLSMALLINT ODBCHandleType() const { return 0; }
  virtual SQLHANDLE ODBCHandle() const { return SQL_NULL_HANDLE; }
  // The connection torn down when a call of this component reports a broken link; a statement
  // answers its hDbc.
  virtual THdbc* LinkConnection() const { return nullptr; }
  // Asked by RaiseError before raising for this component: a statement switches its
  // asynchronous execution off here. Must not start RaiseError for this component again.
  virtual void ErrorCleanup() {}

  ZEL_CLASS(THbase, TComponent)

protected:
  // The error object that judges this component's calls (GlobalEnv's; an environment its own).
  virtual TODBCError* ErrorObject() const;
  // Stores the code; raises through the error object's RaiseError when it fails the success
  // rule (during a silent tear-down nothing is raised and the caller carries on).
  void Check(SQLRETURN RetCode);
  // Stores the code and returns whether it passes the success rule; never raises.
  bool Judge(SQLRETURN RetCode);

  SQLRETURN FRetCode = SQL_SUCCESS;
};

// Sets GlobalEnv's Terminating flag, terminates Obj and clears the flag again (also when
// Terminate raises).
void TerminateSilently(THbase* Obj);

enum TConnectionPooling { cpDefault, cpOff, cpOnePerDriver, cpOnePerEnv };

// Gives the window a driver's dialog is parented to, for the environment's DialogOwner (which
// may be nullptr). Installed by the window layer; without it no window is passed (on this
// platform the driver manager only prompts through its own window plug-in).
using TDialogWindowFunc = std::function<SQLHWND(TComponent* DialogOwner)>;
extern TDialogWindowFunc ODBCDialogWindowFunc;

// The ODBC environment. The program never creates one: GlobalEnv does on first use.
class THenv : public THbase {
public:
  // Allocates the environment handle (ODBC version 3); raises EODBC when that fails.
  explicit THenv(TComponent* AOwner);
  ~THenv() override;

  bool Init() override;
  bool Terminate() override;
  // Terminates every connection and frees the environment handle; True when freed.
  bool FreeHandle();
  // Terminate with Terminating set: failures of the tear-down are not reported.
  void TerminateSilently();

  TODBCError* Error() const { return FError.get(); }
  SQLHENV Handle() const { return FHandle; }
  bool Allocated() const { return FAllocated; }
  TChildren& Children() { return *FChildren; }
  TComponent* DialogOwner() const { return FDialogOwner.Get(); }
  void SetDialogOwner(TComponent* Value) { FDialogOwner = Value; }
  SQLHWND DialogWindow() const;

  TConnectionPooling ConnectionPooling() const { return FConnectionPooling; }
  // A change frees the handle (every connection of the environment is terminated) and
  // allocates it again with the new process-wide pooling.
  void SetConnectionPooling(TConnectionPooling Value);

  bool Terminating() const { return FTerminating; }
  void SetTerminating(bool Value) { FTerminating = Value; }

  SQLSMALLINT ODBCHandleType() const override { return SQL_HANDLE_ENV; }
  SQLHANDLE ODBCHandle() const override { return FHandle; }
  ZEL_CLASS(THenv, THbase)

protected:
  TODBCError* ErrorObject() const override { return FError.get(); }

private:
  std::unique_ptr<TODBCError> FError;
  SQLHENV FHandle = SQL_NULL_HENV;
  bool FAllocated = false;
  std::unique_ptr<TChildren> FChildren;
  TComponentRef<TComponent> FDialogOwner;
  TConnectionPooling FConnectionPooling = cpDefault;
  bool FTerminating = false;
};

// One environment per thread instead of one per process; False by default.
extern bool EnvPerThread;

// The process's environment (or the calling thread's, with EnvPerThread), created on first
// use. A failed creation raises and leaves no environment behind.
THenv* GlobalEnv();
// The environment GlobalEnv would return, or nullptr when none exists yet; never creates one.
THenv* ExistingGlobalEnv();
// Frees the calling thread's own environment, if it has one.
void FreeThreadEnv();
// The library's shut-down: frees the process-wide environment (terminating every connection)
// and the calling thread's. Runs at process exit; safe to call earlier and more than once.
void FreeGlobalEnv();

// The pooling the library last asked the driver manager for, process-wide (SQL_CP_OFF,
// SQL_CP_ONE_PER_DRIVER, SQL_CP_ONE_PER_HENV); SQL_CP_OFF before any request. The driver
// manager cannot report it itself.
//
// What the setting does here: the driver manager accepts the process attribute but pools by
// its own configuration only: connections are pooled when odbcinst.ini says "Pooling=Yes" in
// its [ODBC] section and the driver's entry has a CPTimeout, whatever was asked; cpOff does
// not switch that off. A change of the setting still terminates every connection of the
// environment and allocates the environment handle again.
SQLUINTEGER ProcessConnectionPooling();

// Column sizes used to describe a parameter when the driver cannot.
struct TDriverRec {
  std::string Key;  // DBMS name ";" driver file name
  int32_t CharSize = 255;
  int32_t VarCharSize = 255;
  int32_t LongVarCharSize = 2147483647;
  int32_t BinarySize = 255;
  int32_t VarBinarySize = 255;
  int32_t LongVarBinarySize = 2147483647;
  int32_t DecimalPrecision = 15;
  int32_t NumericPrecision = 15;
  int32_t TimestampSize = 19;
  int16_t DecimalScale = 15;
  int16_t NumericScale = 15;
  int16_t TimestampScale = 0;
};

// Shows a failed connect at load time (installed by the error dialog's unit). Without it the
// failure is dropped and loading goes on.
using TODBCErrorDialogFunc = std::function<void(EODBC& E, const std::string& Text)>;
extern TODBCErrorDialogFunc ODBCErrorDialogFunc;

// The connection component.
class THdbc : public THbase {
public:
  explicit THdbc(TComponent* AOwner);
  ~THdbc() override;

  bool Init() override;
  bool Terminate() override;
  void Connect();
  void Disconnect();

  bool Connected() const { return FConnected; }
  void SetConnected(bool Value);
  const std::string& Driver() const { return FDriver; }
  void SetDriver(const std::string& Value);
  const std::string& DataSource() const { return FDataSource; }
  void SetDataSource(const std::string& Value);
  const std::string& UserName() const { return FUserName; }
  void SetUserName(const std::string& Value);
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& Value);
  // Further KEY=value lines of the connection string.
  TStrings* Attributes() const { return FAttributes.get(); }
  void SetAttributes(const TStrings* Value);
  SQLUINTEGER IsolationLevel() const { return FIsolationLevel; }
  void SetIsolationLevel(SQLUINTEGER Value);
  SQLUSMALLINT InfoPrompt() const { return FInfoPrompt; }
  void SetInfoPrompt(SQLUSMALLINT Value) { FInfoPrompt = Value; }
  SQLUINTEGER CursorLib() const { return FCursorLib; }
  void SetCursorLib(SQLUINTEGER Value);
  TConnectionPooling ConnectionPooling() const;
  void SetConnectionPooling(TConnectionPooling Value);
  std::string Version() const { return "5.07"; }
  void SetVersion(const std::string&) {}

  TNotifyEvent BeforeConnect;
  TNotifyEvent AfterConnect;
  TNotifyEvent BeforeDisconnect;
  TNotifyEvent AfterDisconnect;

  // The connection handle, allocated first when needed.
  SQLHDBC Handle();
  bool Allocated() const { return FAllocated; }
  // The statements whose handle is allocated; a statement adds itself after allocating its
  // handle and removes itself when it releases it.
  TChildren& Children() { return *FChildren; }

  // The connection string SQLDriverConnect gets: DSN, DRIVER, the Attributes lines as written,
  // then UID and PWD. A property value holding ";", "{" or "}", or starting with a blank, goes in
  // braces with "}" doubled; one already in braces stays as it is.
  std::string ConnectString() const;
  // Whether the driver has the function (connects first). 0 and 999 raise EODBCLibrary.
  bool GetFunctions(SQLUSMALLINT FunctionId);
  // SQLGetInfo as text / number (connects first); "" / 0 when the driver fails the call.
  std::string GetInfoString(SQLUSMALLINT InfoType);
  int32_t GetInfoInteger(SQLUSMALLINT InfoType);
  // The driver lacks SQLDescribeParam (connects first).
  bool NoDescribeParam();
  // Failed calls of this connection's statements, counted by the error object: a server cursor
  // of PostgreSQL's driver ends silently when a write on its connection fails, and a data set
  // reading one notices it here.
  std::uint64_t StatementFailures() const { return FStatementFailures; }
  void NoteStatementFailure() { ++FStatementFailures; }
  std::string DriverKey();
  // The size row of the key (ASCII case-insensitive), nullptr when none.
  TDriverRec* FindDriverSize(const std::string& Key) const;

  void Loaded() override;
  // Reads the published properties; a property of older versions of the component
  // ("ConnectionPooling" values it cannot take, "OnConnect", "OnDisconnect") is skipped.
  void ReadState(TReader* Reader) override;

  SQLSMALLINT ODBCHandleType() const override { return SQL_HANDLE_DBC; }
  SQLHANDLE ODBCHandle() const override { return FHandle; }
  ZEL_CLASS(THdbc, THbase)

protected:
  virtual void DoBeforeConnect();
  virtual void DoAfterConnect();
  virtual void DoBeforeDisconnect();
  virtual void DoAfterDisconnect();

private:
  bool Reading() const;
  void DesignDisconnect();
  void InitDriverSizes();
  TDriverRec* AddDriverSize(const std::string& Key);
  void ApplyCursorLib();
  void ApplyIsolationLevel();

  SQLHDBC FHandle = SQL_NULL_HDBC;
  bool FAllocated = false;
  std::unique_ptr<TChildren> FChildren;
  bool FPendingPooling = false;
  TConnectionPooling FPendingPoolingValue = cpDefault;
  bool FConnected = false;
  bool FStoredConnected = false;
  std::string FDriver;
  std::string FDataSource;
  std::string FUserName;
  std::string FPassword;
  std::unique_ptr<TStringList> FAttributes;
  SQLUINTEGER FIsolationLevel = SQL_TXN_READ_COMMITTED;
  SQLUSMALLINT FInfoPrompt = SQL_DRIVER_NOPROMPT;
  SQLUINTEGER FCursorLib = SQL_CUR_USE_DRIVER;
  bool FNoDescribeParam = false;
  std::uint64_t FStatementFailures = 0;
  std::vector<std::unique_ptr<TDriverRec>> FDriverSizes;
};

// The connection of a component that, while none is set, takes the first connection placed in
// its owner. A connection is announced to its siblings while it is still being constructed (not
// yet a THdbc), so what was announced is looked at again at the next use (Adopted).
class TOwnerConnection : public TComponentRef<THdbc> {
public:
  // The owner's first connection; nullptr without one.
  static THdbc* FirstIn(const TComponent* Owner);
  // Takes an announced connection while none is set; gives the connection.
  THdbc* Adopted();
  // Sets the connection; nothing announced before counts any longer.
  void Set(THdbc* Value) {
    FAnnounced.clear();
    TComponentRef<THdbc>::operator=(Value);
  }
  // For Self's Notification: the connection Self must switch to, if any (one placed in the owner
  // while none is set, or nullptr when its own is freed). Other placed components are kept for
  // Adopted.
  std::optional<THdbc*> Notified(const TComponent* Self, TComponent* AComponent, TOperation Operation);

private:
  std::vector<TComponentRef<TComponent>> FAnnounced;
};
