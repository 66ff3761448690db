#include "ocl.h"

#include <algorithm>
#include <optional>

#include "filer.h"
#include "published.h"
#include "text.h"

TDialogWindowFunc ODBCDialogWindowFunc;
TODBCErrorDialogFunc ODBCErrorDialogFunc;
bool EnvPerThread = false;

// ---- TChildren

void TChildren::Add(THbase* Obj) { FList.push_front(Obj); }

void TChildren::Remove(THbase* Obj) {
  auto prev = FList.before_begin();
  for (auto it = FList.begin(); it != FList.end(); prev = it++) {
    if (*it == Obj) {
      FList.erase_after(prev);
      return;
    }
  }
}

bool TChildren::TerminateAll() {
  while (!FList.empty()) {
    THbase* first = FList.front();
    first->Terminate();
    // A child that did not remove itself would be asked for ever.
    if (!FList.empty() && FList.front() == first) Remove(first);
  }
  return true;
}

bool TChildren::Contains(const THbase* Obj) const {
  return std::find(FList.begin(), FList.end(), Obj) != FList.end();
}

int TChildren::Count() const { return int(std::distance(FList.begin(), FList.end())); }

// ---- THbase

bool THbase::Init() {
  if (AfterInit) AfterInit(this);
  return true;
}

bool THbase::Terminate() {
  if (BeforeTerminate) BeforeTerminate(this);
  return true;
}

TODBCError* THbase::ErrorObject() const { return GlobalEnv()->Error(); }

void THbase::Check(SQLRETURN RetCode) {
  FRetCode = RetCode;
  TODBCError* error = ErrorObject();
  if (!error->Success(RetCode)) error->RaiseError(this, RetCode);
}

bool THbase::Judge(SQLRETURN RetCode) {
  FRetCode = RetCode;
  return ErrorObject()->Success(RetCode);
}

void TerminateSilently(THbase* Obj) {
  if (Obj == nullptr) return;
  THenv* env = GlobalEnv();
  const bool was = env->Terminating();
  env->SetTerminating(true);
  try {
    Obj->Terminate();
  } catch (...) {
    env->SetTerminating(was);
    throw;
  }
  env->SetTerminating(was);
}

// ---- environment references

namespace {

THenv* GProcessEnv = nullptr;
thread_local THenv* GThreadEnv = nullptr;
// The process-wide pooling the library last set; the driver manager cannot be asked for it.
std::optional<SQLUINTEGER> GProcessPooling;

// Frees an environment with failures of the tear-down unreported. The reference stays set
// while the connections are terminated, so that their calls find the dying environment rather
// than create a new one.
void FreeEnv(THenv*& Env) {
  THenv* e = Env;
  if (e == nullptr) return;
  e->SetTerminating(true);
  delete e;
  Env = nullptr;
}

// A thread's own environment goes with the thread.
struct TThreadEnvGuard {
  ~TThreadEnvGuard() { FreeEnv(GThreadEnv); }
};
thread_local TThreadEnvGuard GThreadEnvGuard;

// The library's shut-down at process exit.
struct TShutdown {
  ~TShutdown() { FreeGlobalEnv(); }
} GShutdown;

THenv* CreateEnv(THenv*& Slot) {
  // Published only once fully built: a failed allocation leaves nothing behind.
  auto env = std::make_unique<THenv>(nullptr);
  Slot = env.release();
  return Slot;
}

}  // namespace

THenv* GlobalEnv() {
  if (EnvPerThread) {
    (void)&GThreadEnvGuard;  // makes the guard exist in this thread
    return GThreadEnv != nullptr ? GThreadEnv : CreateEnv(GThreadEnv);
  }
  return GProcessEnv != nullptr ? GProcessEnv : CreateEnv(GProcessEnv);
}

THenv* ExistingGlobalEnv() { return EnvPerThread ? GThreadEnv : GProcessEnv; }

void FreeThreadEnv() { FreeEnv(GThreadEnv); }

void FreeGlobalEnv() {
  FreeEnv(GProcessEnv);
  FreeThreadEnv();
}

SQLUINTEGER ProcessConnectionPooling() { return GProcessPooling.value_or(SQL_CP_OFF); }

// ---- THenv

THenv::THenv(TComponent* AOwner)
    : THbase(AOwner), FError(std::make_unique<TODBCError>()), FChildren(std::make_unique<TChildren>()) {
  Init();
}

THenv::~THenv() {
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  // Nothing may leave a destructor: the tear-down runs unreported.
  const bool was = FTerminating;
  FTerminating = true;
  try {
    FreeHandle();
  } catch (...) {
  }
  FTerminating = was;
}

bool THenv::Init() {
  Trace(1, "THenv.Init");
  if (FAllocated) return true;
  if (FConnectionPooling != cpDefault) {
    const SQLUINTEGER wanted = FConnectionPooling == cpOff            ? SQL_CP_OFF
                               : FConnectionPooling == cpOnePerDriver ? SQL_CP_ONE_PER_DRIVER
                                                                      : SQL_CP_ONE_PER_HENV;
    // The driver manager answers a read of the process attribute with an invalid-handle
    // error, so the value the library set last stands for it.
    if (!GProcessPooling || *GProcessPooling != wanted) {
      Check(ODBCApi().SQLSetEnvAttr(SQL_NULL_HENV, SQL_ATTR_CONNECTION_POOLING,
                                    reinterpret_cast<SQLPOINTER>(SQLULEN(wanted)), SQL_IS_UINTEGER));
      if (Judge(FRetCode)) GProcessPooling = wanted;
    }
  }
  SQLHENV h = SQL_NULL_HENV;
  Check(ODBCApi().SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h));
  if (!Judge(FRetCode)) return false;  // only during a silent tear-down
  FHandle = h;
  try {
    Check(ODBCApi().SQLSetEnvAttr(FHandle, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_OV_ODBC3)), 0));
  } catch (...) {
    // The records are read; the handle must not outlive the failed construction.
    ODBCApi().SQLFreeHandle(SQL_HANDLE_ENV, FHandle);
    FHandle = SQL_NULL_HENV;
    throw;
  }
  FAllocated = true;
  THbase::Init();
  return true;
}

bool THenv::Terminate() {
  Trace(1, "THenv.Terminate");
  THbase::Terminate();
  FChildren->TerminateAll();
  return !FAllocated;
}

bool THenv::FreeHandle() {
  if (FAllocated) {
    Terminate();
    Check(ODBCApi().SQLFreeHandle(SQL_HANDLE_ENV, FHandle));
    FHandle = SQL_NULL_HENV;
    FAllocated = false;
  }
  return !FAllocated;
}

void THenv::TerminateSilently() {
  const bool was = FTerminating;
  FTerminating = true;
  try {
    Terminate();
  } catch (...) {
    FTerminating = was;
    throw;
  }
  FTerminating = was;
}

SQLHWND THenv::DialogWindow() const {
  return ODBCDialogWindowFunc ? ODBCDialogWindowFunc(FDialogOwner.Get()) : nullptr;
}

void THenv::SetConnectionPooling(TConnectionPooling Value) {
  if (Value == FConnectionPooling) return;
  FreeHandle();
  FConnectionPooling = Value;
  Init();
}

// ---- THdbc

THdbc::THdbc(TComponent* AOwner)
    : THbase(AOwner), FChildren(std::make_unique<TChildren>()), FAttributes(std::make_unique<TStringList>()) {
  InitDriverSizes();
}

THdbc::~THdbc() {
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  // Nothing may leave a destructor: statements, disconnect and handle go unreported.
  if (FAllocated) {
    try {
      ::TerminateSilently(this);
    } catch (...) {
    }
  }
}

bool THdbc::Reading() const {
  return ComponentState().Contains(csLoading) || ComponentState().Contains(csReading);
}

bool THdbc::Init() {
  Trace(1, "THdbc.Init");
  if (FAllocated) return true;
  if (FPendingPooling) {
    FPendingPooling = false;
    GlobalEnv()->SetConnectionPooling(FPendingPoolingValue);
  }
  THenv* env = GlobalEnv();
  SQLHDBC h = SQL_NULL_HDBC;
  Check(ODBCApi().SQLAllocHandle(SQL_HANDLE_DBC, env->Handle(), &h));
  if (!Judge(FRetCode)) return false;  // only during a silent tear-down
  FHandle = h;
  env->Children().Add(this);
  FAllocated = true;
  ApplyCursorLib();
  THbase::Init();
  return true;
}

SQLHDBC THdbc::Handle() {
  Init();
  return FHandle;
}

void THdbc::Connect() {
  Trace(1, "THdbc.Connect");
  Init();
  if (FConnected) return;
  DoBeforeConnect();
  SetCursorLib(FCursorLib);
  if (!FAllocated) Init();  // a handler or the cursor setting may have released the handle
  SQLRETURN rc;
  if (FInfoPrompt != SQL_DRIVER_NOPROMPT || !FDriver.empty() || FAttributes->Count() > 0) {
    const std::string cs = ConnectString();
    // The completed string is not used: no output buffer, so no truncation warning either.
    rc = ODBCApi().SQLDriverConnect(FHandle, GlobalEnv()->DialogWindow(),
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(cs.c_str())), SQL_NTS,
                                    nullptr, 0, nullptr, FInfoPrompt);
  } else {
    rc = ODBCApi().SQLConnect(FHandle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(FDataSource.c_str())), SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(FUserName.c_str())), SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(FPassword.c_str())), SQL_NTS);
  }
  Check(rc);
  if (!Judge(rc)) return;  // only during a silent tear-down
  FConnected = true;
  SetIsolationLevel(FIsolationLevel);
  if (FConnected) FNoDescribeParam = !GetFunctions(SQL_API_SQLDESCRIBEPARAM);
  if (FConnected) DoAfterConnect();
}

void THdbc::Disconnect() {
  Trace(1, "THdbc.Disconnect");
  if (!FConnected) return;
  DoBeforeDisconnect();
  FChildren->TerminateAll();
  Check(ODBCApi().SQLDisconnect(FHandle));
  FConnected = false;
  DoAfterDisconnect();
}

bool THdbc::Terminate() {
  Trace(1, "THdbc.Terminate");
  THbase::Terminate();
  if (FAllocated) {
    FChildren->TerminateAll();
    if (FConnected) Disconnect();
    if (THenv* env = ExistingGlobalEnv()) env->Children().Remove(this);
    Check(ODBCApi().SQLFreeHandle(SQL_HANDLE_DBC, FHandle));
    FHandle = SQL_NULL_HDBC;
    FAllocated = false;
  }
  return !FAllocated;
}

void THdbc::SetConnected(bool Value) {
  if (Reading()) {
    FStoredConnected = Value;
    return;
  }
  if (Value)
    Connect();
  else
    Disconnect();
}

void THdbc::Loaded() {
  THbase::Loaded();
  if (!FStoredConnected) return;
  try {
    Connect();
  } catch (EODBC& E) {
    if (ODBCErrorDialogFunc) ODBCErrorDialogFunc(E, "Cannot connect " + Name() + " to database.");
  }
}

void THdbc::ReadState(TReader* Reader) {
  // Streams of older versions hold properties and events this component no longer has (or
  // values it cannot take); they load without them.
  auto legacy = [](const std::string& text) {
    return text.find("ConnectionPooling") != std::string::npos || text.find("OnConnect") != std::string::npos ||
           text.find("OnDisconnect") != std::string::npos;
  };
  SetComponentState(ComponentState() + csReading);
  try {
    while (!Reader->EndOfList()) {
      TStream* stream = Reader->Stream();
      const std::int64_t start = stream->Position();
      const std::string name = Reader->ReadStr();
      stream->SetPosition(start);
      try {
        Reader->ReadProperty(this);
      } catch (const EFilerError& E) {
        if (!legacy(E.Message()) && !legacy(name)) throw;
        stream->SetPosition(start);
        Reader->ReadStr();
        Reader->SkipValue();
      }
    }
    Reader->ReadListEnd();
  } catch (...) {
    SetComponentState(ComponentState() - csReading);
    throw;
  }
  SetComponentState(ComponentState() - csReading);
}

void THdbc::DesignDisconnect() {
  if (ComponentState().Contains(csDesigning) && FConnected) Disconnect();
}

void THdbc::SetDriver(const std::string& Value) {
  DesignDisconnect();
  FDriver = Value;
}

void THdbc::SetDataSource(const std::string& Value) {
  DesignDisconnect();
  FDataSource = Value;
}

void THdbc::SetUserName(const std::string& Value) {
  DesignDisconnect();
  FUserName = Value;
}

void THdbc::SetPassword(const std::string& Value) {
  DesignDisconnect();
  FPassword = Value;
}

void THdbc::SetAttributes(const TStrings* Value) {
  DesignDisconnect();
  if (Value == FAttributes.get()) return;
  FAttributes->Clear();
  if (Value != nullptr) FAttributes->AddStrings(*Value);
}

namespace {

// A value already in braces, every "}" inside doubled, as the connection string's grammar
// quotes it.
bool Braced(const std::string& v) {
  if (v.size() < 2 || v.front() != '{' || v.back() != '}') return false;
  size_t i = 1;
  while (i < v.size() - 1) {
    if (v[i] != '}') {
      ++i;
    } else if (v[i + 1] == '}' && i + 1 < v.size() - 1) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// A value the driver manager or the driver would split or misread is wrapped in braces, "}"
// doubled; a value already braced (as stored forms of the program carry it) is taken as written.
std::string ConnectValue(const std::string& v) {
  if (Braced(v)) return v;
  if (v.find_first_of(";{}") == std::string::npos && (v.empty() || v.front() != ' ')) return v;
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

}  // namespace

std::string THdbc::ConnectString() const {
  std::string s;
  auto part = [&](const char* key, const std::string& value) {
    if (!value.empty()) s += std::string(key) + "=" + ConnectValue(value) + ";";
  };
  part("DSN", FDataSource);
  part("DRIVER", FDriver);
  // The lines are the caller's own KEY=value pieces, braces and all.
  for (int i = 0; i < FAttributes->Count(); ++i) s += FAttributes->Get(i) + ";";
  // The credentials come last: SQLite's driver reads the text without braces and stops at the
  // first piece it cannot read, which a braced password holding ";" leaves behind it.
  part("UID", FUserName);
  part("PWD", FPassword);
  return s;
}

void THdbc::ApplyCursorLib() {
  if (!FAllocated) return;
  SQLULEN cur = 0;  // the driver manager may write a full SQLULEN
  if (!Judge(ODBCApi().SQLGetConnectAttr(FHandle, SQL_ATTR_ODBC_CURSORS, &cur, sizeof(SQLUINTEGER), nullptr)))
    return;
  if (SQLUINTEGER(cur) != FCursorLib)
    Check(ODBCApi().SQLSetConnectAttr(FHandle, SQL_ATTR_ODBC_CURSORS,
                                      reinterpret_cast<SQLPOINTER>(SQLULEN(FCursorLib)), SQL_IS_UINTEGER));
}

void THdbc::SetCursorLib(SQLUINTEGER Value) {
  Trace(1, "THdbc.SetCursorLib");
  if (FConnected) Disconnect();
  FCursorLib = Value;
  ApplyCursorLib();
}

void THdbc::ApplyIsolationLevel() {
  // Only on a live connection: the driver manager crashes when asked for this attribute on a
  // handle that is not connected. Connect applies the value.
  if (!FAllocated || !FConnected) return;
  SQLULEN cur = 0;
  if (!Judge(ODBCApi().SQLGetConnectAttr(FHandle, SQL_ATTR_TXN_ISOLATION, &cur, 0, nullptr))) return;
  if (SQLUINTEGER(cur) != FIsolationLevel)
    Check(ODBCApi().SQLSetConnectAttr(FHandle, SQL_ATTR_TXN_ISOLATION,
                                      reinterpret_cast<SQLPOINTER>(SQLULEN(FIsolationLevel)), 0));
}

void THdbc::SetIsolationLevel(SQLUINTEGER Value) {
  Trace(1, "THdbc.SetIsolationLevel");
  FIsolationLevel = Value;
  ApplyIsolationLevel();
}

TConnectionPooling THdbc::ConnectionPooling() const {
  if (Reading() && FPendingPooling) return FPendingPoolingValue;
  return GlobalEnv()->ConnectionPooling();
}

void THdbc::SetConnectionPooling(TConnectionPooling Value) {
  if (Reading()) {
    FPendingPooling = true;
    FPendingPoolingValue = Value;
    return;
  }
  GlobalEnv()->SetConnectionPooling(Value);
}

bool THdbc::GetFunctions(SQLUSMALLINT FunctionId) {
  if (FunctionId == SQL_API_ALL_FUNCTIONS || FunctionId == SQL_API_ODBC3_ALL_FUNCTIONS)
    throw EODBCLibrary("Cannot return information for more than one function at a time.");
  Connect();
  SQLUSMALLINT supported = 0;
  if (!Judge(ODBCApi().SQLGetFunctions(FHandle, FunctionId, &supported))) return false;
  return supported != 0;
}

std::string THdbc::GetInfoString(SQLUSMALLINT InfoType) {
  Connect();
  char buf[1024] = {};
  SQLSMALLINT len = 0;
  if (!Judge(ODBCApi().SQLGetInfo(FHandle, InfoType, buf, SQLSMALLINT(sizeof buf - 1), &len))) return {};
  buf[sizeof buf - 1] = 0;
  return buf;
}

int32_t THdbc::GetInfoInteger(SQLUSMALLINT InfoType) {
  Connect();
  // Room for the pointer-sized answers (SQL_DRIVER_HDBC, ...) too; 16- and 32-bit answers fill
  // the low end of the zeroed cell.
  SQLULEN v = 0;
  SQLSMALLINT len = 0;
  if (!Judge(ODBCApi().SQLGetInfo(FHandle, InfoType, &v, sizeof(SQLUINTEGER), &len))) return 0;
  return int32_t(SQLUINTEGER(v));
}

bool THdbc::NoDescribeParam() {
  Connect();
  return FNoDescribeParam;
}

std::string THdbc::DriverKey() {
  return GetInfoString(SQL_DBMS_NAME) + ";" + GetInfoString(SQL_DRIVER_NAME);
}

TDriverRec* THdbc::FindDriverSize(const std::string& Key) const {
  for (const auto& r : FDriverSizes)
    if (SameText(r->Key, Key)) return r.get();
  return nullptr;
}

TDriverRec* THdbc::AddDriverSize(const std::string& Key) {
  FDriverSizes.push_back(std::make_unique<TDriverRec>());
  FDriverSizes.back()->Key = Key;
  return FDriverSizes.back().get();
}

void THdbc::InitDriverSizes() {
  FDriverSizes.clear();
  AddDriverSize("Default");
  TDriverRec* r = AddDriverSize("Microsoft SQL Server;sqlsrv32.dll");
  r->TimestampSize = 23;
  r->TimestampScale = 3;
  AddDriverSize("Oracle;msorcl32.dll")->VarCharSize = 2000;
  AddDriverSize("Oracle8;sqoci32.dll")->VarCharSize = 2000;
  r = AddDriverSize("SQL Server;sysybnt.dll");
  r->VarCharSize = 30;
  r->VarBinarySize = 8;
  r->TimestampSize = 23;
  r->TimestampScale = 3;
  r = AddDriverSize("Adaptive Server Anywhere;dbodbc6w.dll");
  r->CharSize = r->VarCharSize = r->BinarySize = r->VarBinarySize = 32767;
  r->TimestampSize = 26;
  r->TimestampScale = 6;
  r = AddDriverSize("Informix;iclit09a.dll");
  r->CharSize = 32767;
  r->TimestampSize = 25;
  r->TimestampScale = 5;
  r = AddDriverSize("InterBase;iscdrv32.dll");
  r->CharSize = 32767;
  r->VarCharSize = 32765;
  AddDriverSize("Access;odbcjt32.dll")->LongVarBinarySize = 1073741823;
  r = AddDriverSize("dBase;odbcjt32.dll");
  r->CharSize = r->VarCharSize = r->BinarySize = r->VarBinarySize = 254;
  r->LongVarCharSize = r->LongVarBinarySize = 1073741823;
  r = AddDriverSize("Paradox;odbcjt32.dll");
  r->BinarySize = r->VarBinarySize = 254;
  r->LongVarCharSize = r->LongVarBinarySize = 1073741823;
  r = AddDriverSize("Visual FoxPro;vfpodbc.dll");
  r->CharSize = r->VarCharSize = r->BinarySize = r->VarBinarySize = 254;
  r = AddDriverSize("FoxPro;odbcjt32.dll");
  r->CharSize = r->VarCharSize = r->BinarySize = r->VarBinarySize = 254;
}

THdbc* TOwnerConnection::FirstIn(const TComponent* Owner) {
  if (Owner != nullptr)
    for (int i = 0; i < Owner->ComponentCount(); ++i)
      if (auto* d = dynamic_cast<THdbc*>(Owner->Components(i))) return d;
  return nullptr;
}

THdbc* TOwnerConnection::Adopted() {
  if (!*this && !FAnnounced.empty()) {
    std::vector<TComponentRef<TComponent>> announced;
    announced.swap(FAnnounced);
    for (const auto& c : announced)
      if (auto* d = dynamic_cast<THdbc*>(c.Get())) {
        TComponentRef<THdbc>::operator=(d);
        break;
      }
  }
  return Get();
}

std::optional<THdbc*> TOwnerConnection::Notified(const TComponent* Self, TComponent* AComponent,
                                                 TOperation Operation) {
  if (AComponent == nullptr || AComponent == Self) return std::nullopt;
  if (Operation == opInsert && !*this) {
    if (auto* d = dynamic_cast<THdbc*>(AComponent)) return d;
    FAnnounced.emplace_back(AComponent);
  } else if (Operation == opRemove && AComponent == Get()) {
    return nullptr;
  }
  return std::nullopt;
}

namespace {

const char* const PoolingNames[] = {"cpDefault", "cpOff", "cpOnePerDriver", "cpOnePerEnv"};

// The connection's published properties, for form streams and the data-aware helpers.
struct TRegisterPublished {
  TRegisterPublished() {
    RegisterPublishedClass("THbase", "TComponent");
    RegisterPublishedClass("THenv", "THbase");
    RegisterPublishedClass("THdbc", "THbase");
    PublishProperty("THdbc", "Connected", &THdbc::Connected, &THdbc::SetConnected);
    PublishProperty("THdbc", "Driver", &THdbc::Driver, &THdbc::SetDriver);
    PublishProperty("THdbc", "DataSource", &THdbc::DataSource, &THdbc::SetDataSource);
    PublishProperty("THdbc", "UserName", &THdbc::UserName, &THdbc::SetUserName);
    PublishProperty("THdbc", "Password", &THdbc::Password, &THdbc::SetPassword);
    PublishProperty("THdbc", "Attributes", &THdbc::Attributes, &THdbc::SetAttributes);
    PublishProperty("THdbc", "IsolationLevel", &THdbc::IsolationLevel, &THdbc::SetIsolationLevel);
    PublishProperty("THdbc", "InfoPrompt", &THdbc::InfoPrompt, &THdbc::SetInfoPrompt);
    PublishProperty("THdbc", "CursorLib", &THdbc::CursorLib, &THdbc::SetCursorLib);
    // An enumeration streams as its identifier.
    RegisterPublishedProp(
        "THdbc", "ConnectionPooling",
        [](TObject* o) -> TPropValue {
          return std::string(PoolingNames[dynamic_cast<THdbc&>(*o).ConnectionPooling()]);
        },
        [](TObject* o, const TPropValue& v) {
          int value = -1;
          if (const auto* s = std::get_if<std::string>(&v)) {
            for (int i = 0; i < 4; ++i)
              if (SameText(*s, PoolingNames[i])) value = i;
          } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
            if (*n >= 0 && *n < 4) value = int(*n);
          }
          if (value < 0) throw EPropertyError("Invalid value for property ConnectionPooling");
          dynamic_cast<THdbc&>(*o).SetConnectionPooling(TConnectionPooling(value));
        });
    PublishProperty("THdbc", "Version", &THdbc::Version, &THdbc::SetVersion);
  }
} GRegisterPublished;

}  // namespace

void THdbc::DoBeforeConnect() {
  if (BeforeConnect) BeforeConnect(this);
}
void THdbc::DoAfterConnect() {
  if (AfterConnect) AfterConnect(this);
}
void THdbc::DoBeforeDisconnect() {
  if (BeforeDisconnect) BeforeDisconnect(this);
}
void THdbc::DoAfterDisconnect() {
  if (AfterDisconnect) AfterDisconnect(this);
}
