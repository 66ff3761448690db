// The error object and EODBC: diagnostic sequences that no driver here produces on demand come
// from a scripted SQLGetDiagRec; everything else runs against the driver manager.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "ocl.h"
#include "oclerror.h"
#include "teststmt.h"

namespace {

struct DiagStep {
  SQLRETURN rc;
  std::string state;
  SQLINTEGER native;
  std::string msg;
};

// The script of the fake SQLGetDiagRec: record n answers Script[n-1], later ones SQL_NO_DATA.
std::vector<DiagStep> Script;
int DiagCalls = 0;
SQLSMALLINT SeenType = 0;
SQLHANDLE SeenHandle = nullptr;

SQLRETURN SQL_API FakeGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                                 SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT buflen, SQLSMALLINT* len) {
  ++DiagCalls;
  SeenType = type;
  SeenHandle = handle;
  if (rec < 1 || size_t(rec) > Script.size()) return SQL_NO_DATA;
  const DiagStep& s = Script[size_t(rec - 1)];
  if (s.rc != SQL_SUCCESS && s.rc != SQL_SUCCESS_WITH_INFO) return s.rc;
  std::memcpy(state, s.state.c_str(), std::min<size_t>(s.state.size() + 1, 6));
  *native = s.native;
  // Like the driver manager: cut to the buffer, whatever that does to a character.
  const size_t n = std::min<size_t>(s.msg.size(), size_t(buflen) - 1);
  std::memcpy(msg, s.msg.data(), n);
  msg[n] = 0;
  *len = SQLSMALLINT(s.msg.size());
  return s.msg.size() > n ? SQL_SUCCESS_WITH_INFO : s.rc;
}

// A component that reports a made-up statement handle.
class TFakeSource : public THbase {
public:
  TFakeSource() : THbase(nullptr) {}
  SQLSMALLINT ODBCHandleType() const override { return SQL_HANDLE_STMT; }
  SQLHANDLE ODBCHandle() const override { return reinterpret_cast<SQLHANDLE>(0x1234); }
  void ErrorCleanup() override { ++Cleanups; }
  int Cleanups = 0;
};

class ErrorObject : public ::testing::Test {
protected:
  void SetUp() override {
    Script.clear();
    DiagCalls = 0;
    Api.Table().SQLGetDiagRec = FakeGetDiagRec;
  }
  TODBCErrorEvent Never() const { return nullptr; }
  TODBCApiOverride Api;
  TODBCError Error;
  TFakeSource Source;
};

}  // namespace

TEST_F(ErrorObject, SuccessRule) {
  struct Case { SQLRETURN rc; bool plain; bool infoIsError; };
  const Case cases[] = {{SQL_SUCCESS, true, true},          {SQL_SUCCESS_WITH_INFO, true, false},
                        {SQL_ERROR, false, false},          {SQL_INVALID_HANDLE, false, false},
                        {SQL_NO_DATA, false, false},        {SQL_STILL_EXECUTING, false, false},
                        {SQL_NEED_DATA, false, false},      {7, false, false}};
  for (const Case& c : cases) {
    Error.SetInfoIsError(false);
    EXPECT_EQ(Error.Success(c.rc), c.plain) << c.rc;
    Error.SetInfoIsError(true);
    EXPECT_EQ(Error.Success(c.rc), c.infoIsError) << c.rc;
  }
}

TEST_F(ErrorObject, CollectsDiagnosticSequences) {
  const std::string long300(300, 'x');
  std::string wide300;
  for (int i = 0; i < 300; ++i) wide300 += "č";
  struct Case {
    const char* what;
    SQLRETURN rc;
    std::vector<DiagStep> script;
    std::vector<std::pair<std::string, std::string>> expect;  // state, message
  };
  const Case cases[] = {
      {"two records then no data", SQL_ERROR,
       {{0, "42S02", 1, "no such table"}, {0, "01000", 2, "second"}},
       {{"42S02", "no such table"}, {"01000", "second"}}},
      {"no record at all", SQL_ERROR, {}, {{"", "Unable to Retrieve ODBC Error"}}},
      {"one record then invalid handle", SQL_ERROR,
       {{0, "HY000", 0, "general"}, {SQL_INVALID_HANDLE, "", 0, ""}},
       {{"HY000", "general"}, {"", "Unable to Retrieve ODBC Error"}}},
      {"information", SQL_SUCCESS_WITH_INFO, {{1, "01004", 0, "cut"}}, {{"01004", "cut"}}},
      {"300 characters", SQL_ERROR, {{0, "HY000", 0, long300}}, {{"HY000", std::string(255, 'x')}}},
      {"300 two-byte characters", SQL_ERROR, {{0, "HY000", 0, wide300}},
       {{"HY000", wide300.substr(0, 510)}}},
      {"invalid handle", SQL_INVALID_HANDLE, {}, {{"", "Invalid ODBC Handle"}}},
      {"no data", SQL_NO_DATA, {}, {{"", "No Data Found"}}},
      {"still executing", SQL_STILL_EXECUTING, {}, {{"", "ODBC Return Code 2"}}},
      {"need data", SQL_NEED_DATA, {}, {{"", "ODBC Return Code 99"}}},
  };
  for (bool infoIsError : {false, true}) {
    Error.SetInfoIsError(infoIsError);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (infoIsError ? " (InfoIsError)" : ""));
      Script = c.script;
      const TErrorRecs recs = Error.GetErrors(c.rc);
      ASSERT_EQ(recs.size(), c.expect.size());
      for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].SqlState, c.expect[i].first);
        EXPECT_EQ(recs[i].Message, c.expect[i].second);
      }
      if (!c.script.empty() && c.script[0].rc == 0) {
        EXPECT_EQ(recs[0].NativeError, c.script[0].native);
      }
      EXPECT_EQ(recs.back().SqlState.empty() ? recs.back().NativeError : 0, 0);
    }
  }
}

TEST_F(ErrorObject, RaiseErrorReadsTheSourcesOwnHandle) {
  Script = {{0, "42S02", 7, "no such table: x"}, {0, "HY000", 8, "more"}};
  try {
    Error.RaiseError(&Source, SQL_ERROR);
    FAIL() << "no exception";
  } catch (EODBC& E) {
    EXPECT_EQ(E.Message(), "no such table: x");
    EXPECT_EQ(E.RetCode(), SQL_ERROR);
    EXPECT_EQ(E.Source(), &Source);
    EXPECT_EQ(E.ErrorNum(), 0);
    EXPECT_EQ(E.ErrorCount(), 2);
    EXPECT_EQ(E.NativeError(), 7);
    EXPECT_TRUE(E.InheritsFrom("EODBCLibrary"));
    EXPECT_TRUE(E.InheritsFrom("EDatabaseError"));
  }
  EXPECT_EQ(Error.HandleType(), SQL_HANDLE_STMT);
  EXPECT_EQ(Error.Handle(), reinterpret_cast<SQLHANDLE>(0x1234));
  EXPECT_EQ(SeenHandle, reinterpret_cast<SQLHANDLE>(0x1234));
  EXPECT_EQ(Source.Cleanups, 1);

  // Information raised as failure when InfoIsError is set.
  Error.SetInfoIsError(true);
  Script = {{1, "01S02", 0, "option value changed"}};
  ASSERT_FALSE(Error.Success(SQL_SUCCESS_WITH_INFO));
  try {
    Error.RaiseError(&Source, SQL_SUCCESS_WITH_INFO);
    FAIL() << "no exception";
  } catch (EODBC& E) {
    EXPECT_EQ(E.SqlState(), "01S02");
    EXPECT_EQ(E.ErrorCount(), 1);
  }
}

TEST_F(ErrorObject, OnRaiseErrorCanDecline) {
  Script = {{0, "42000", 1, "syntax"}};
  int asked = 0;
  std::unique_ptr<EODBC> kept;
  Error.OnRaiseError = [&](TObject* Sender, EODBC& E) {
    ++asked;
    EXPECT_EQ(Sender, &Source);
    kept = std::make_unique<EODBC>(E);
    return false;
  };
  EXPECT_NO_THROW(Error.RaiseError(&Source, SQL_ERROR));
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Message(), "syntax");
  Error.OnRaiseError = [&](TObject*, EODBC&) { return true; };
  EXPECT_THROW(Error.RaiseError(&Source, SQL_ERROR), EODBC);
}

TEST_F(ErrorObject, RecordNavigation) {
  EODBC E(&Source, SQL_ERROR, {{"A0001", 1, "one"}, {"A0002", 2, "two"}, {"A0003", 3, "three"}});
  EXPECT_EQ(E.Message(), "one");
  struct Step { char op; bool result; int num; };
  const Step steps[] = {{'n', true, 1},  {'n', true, 2},  {'n', false, 3}, {'n', false, 3},
                        {'p', true, 2},  {'p', true, 1},  {'p', true, 0},  {'p', false, -1},
                        {'p', false, -1}, {'n', true, 0}, {'f', true, 0}};
  for (const Step& s : steps) {
    bool r = true;
    if (s.op == 'n') r = E.Next();
    if (s.op == 'p') r = E.Prev();
    if (s.op == 'f') E.First();
    EXPECT_EQ(r, s.result) << s.op << " to " << s.num;
    EXPECT_EQ(E.ErrorNum(), s.num);
  }
  E.Next();
  E.Next();
  EXPECT_EQ(E.SqlState(), "A0003");
  EXPECT_EQ(E.NativeError(), 3);
  EXPECT_EQ(E.ErrorMsg(), "three");
  E.Next();
  EXPECT_THROW(E.SqlState(), EListError);
  EXPECT_THROW(E.ErrorMsg(), EListError);
  E.First();
  E.Prev();
  EXPECT_THROW(E.NativeError(), EListError);

  EODBC empty(&Source, SQL_ERROR, {});
  EXPECT_EQ(empty.ErrorCount(), 1);
  EXPECT_EQ(empty.Message(), "Unable to Retrieve ODBC Error");
}

// ---- environment and the link tear-down (driver manager, no driver)

namespace {

class OdbcErrors : public ::testing::Test {
protected:
  void TearDown() override {
    FreeGlobalEnv();
    EnvPerThread = false;
  }
};

int AllocCalls = 0;
int FreeCalls = 0;
SQLRETURN EnvAllocFails(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE* out) {
  ++AllocCalls;
  if (type == SQL_HANDLE_ENV) return SQL_ERROR;
  return ::SQLAllocHandle(type, in, out);
}
SQLRETURN VersionFails(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  if (attr == SQL_ATTR_ODBC_VERSION) return SQL_ERROR;
  return ::SQLSetEnvAttr(env, attr, value, len);
}
SQLRETURN CountingFree(SQLSMALLINT type, SQLHANDLE h) {
  ++FreeCalls;
  return ::SQLFreeHandle(type, h);
}

}  // namespace

TEST_F(OdbcErrors, FailedEnvironmentLeavesNothingBehind) {
  struct Case { const char* what; bool allocFails; };
  for (const Case& c : {Case{"allocation", true}, Case{"ODBC version", false}}) {
    SCOPED_TRACE(c.what);
    AllocCalls = FreeCalls = 0;
    {
      TODBCApiOverride api;
      if (c.allocFails)
        api.Table().SQLAllocHandle = EnvAllocFails;
      else
        api.Table().SQLSetEnvAttr = VersionFails;
      api.Table().SQLFreeHandle = CountingFree;
      int raised = 0;
      try {
        GlobalEnv();
      } catch (EODBC& E) {
        ++raised;
        EXPECT_EQ(E.Source(), nullptr);  // the half-built environment is gone
        EXPECT_EQ(E.RetCode(), SQL_ERROR);
        EXPECT_FALSE(E.Message().empty());
      }
      EXPECT_EQ(raised, 1);
      EXPECT_EQ(ExistingGlobalEnv(), nullptr);
      if (c.allocFails) {
        EXPECT_EQ(AllocCalls, 1);  // no second attempt from the error path
      } else {
        EXPECT_EQ(FreeCalls, 1);  // the allocated handle is released
      }
    }
    THenv* env = GlobalEnv();
    EXPECT_TRUE(env->Allocated());
    FreeGlobalEnv();
  }
}

TEST_F(OdbcErrors, GlobalEnvironmentIsCreatedOnceWithVersion3) {
  EXPECT_EQ(ExistingGlobalEnv(), nullptr);
  THenv* env = GlobalEnv();
  EXPECT_EQ(GlobalEnv(), env);
  EXPECT_TRUE(env->Allocated());
  EXPECT_FALSE(env->Terminating());
  EXPECT_EQ(env->ConnectionPooling(), cpDefault);
  SQLINTEGER version = 0;
  ASSERT_EQ(SQLGetEnvAttr(env->Handle(), SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(version, SQL_OV_ODBC3);
  EXPECT_FALSE(env->Error()->InfoIsError());
  EXPECT_TRUE(env->Error()->TerminateOnLinkError());
  EXPECT_FALSE(env->Terminate());  // answers "not allocated": the handle stays
  EXPECT_TRUE(env->Allocated());
  EXPECT_TRUE(env->FreeHandle());
  EXPECT_FALSE(env->Allocated());
}

TEST_F(OdbcErrors, NothingIsRaisedDuringASilentTearDown) {
  THenv* env = GlobalEnv();
  TFakeSource src;
  env->SetTerminating(true);
  TODBCApiOverride api;
  api.Table().SQLGetDiagRec = FakeGetDiagRec;
  DiagCalls = 0;
  EXPECT_NO_THROW(env->Error()->RaiseError(&src, SQL_ERROR));
  EXPECT_EQ(DiagCalls, 0);
  EXPECT_EQ(src.Cleanups, 0);
  env->SetTerminating(false);
  EXPECT_THROW(env->Error()->RaiseError(&src, SQL_ERROR), EODBC);
}

TEST_F(OdbcErrors, LinkTearDownRunsOnceForAllCopiesAndNeverOnAFreedSource) {
  THenv* env = GlobalEnv();
  int fired = 0;
  TObject* firedWith = nullptr;
  env->Error()->OnLinkError = [&](TObject* s) { ++fired; firedWith = s; };
  auto dbc = std::make_unique<THdbc>(nullptr);
  dbc->Init();
  ASSERT_TRUE(dbc->Allocated());
  {
    EODBC E(dbc.get(), SQL_ERROR, {{"08S01", 0, "link lost"}});
    std::vector<EODBC> copies(3, E);
    EODBC moved = std::move(copies[0]);
    EXPECT_TRUE(E.IsLinkError());
  }
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(firedWith, dbc.get());
  EXPECT_FALSE(dbc->Allocated());  // terminated silently
  EXPECT_FALSE(env->Children().Contains(dbc.get()));

  // Only other records: nothing happens.
  dbc->Init();
  { EODBC E(dbc.get(), SQL_ERROR, {{"42S02", 0, "no table"}, {"HY000", 0, "x"}}); }
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(dbc->Allocated());

  // The source goes first: the reference clears and the tear-down does nothing.
  auto late = std::make_unique<EODBC>(dbc.get(), SQL_ERROR, TErrorRecs{{"08003", 0, "closed"}});
  dbc.reset();
  EXPECT_EQ(late->Source(), nullptr);
  late.reset();
  EXPECT_EQ(fired, 1);

  // With TerminateOnLinkError off the event still fires, the connection stays.
  dbc = std::make_unique<THdbc>(nullptr);
  dbc->Init();
  env->Error()->SetTerminateOnLinkError(false);
  { EODBC E(dbc.get(), SQL_ERROR, {{"08S01", 0, "link lost"}}); }
  EXPECT_EQ(fired, 2);
  EXPECT_TRUE(dbc->Allocated());
  env->Error()->SetTerminateOnLinkError(true);

  // A statement's broken link tears down its connection.
  TTestStmt stmt(nullptr, dbc.get());
  { EODBC E(&stmt, SQL_ERROR, {{"08S01", 0, "link lost"}}); }
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(dbc->Allocated());

  // Nothing leaves the tear-down: neither a failing release nor a handler that throws.
  dbc->Init();
  {
    TODBCApiOverride api;
    api.Table().SQLFreeHandle = [](SQLSMALLINT type, SQLHANDLE h) -> SQLRETURN {
      ::SQLFreeHandle(type, h);
      return SQL_ERROR;
    };
    env->Error()->OnLinkError = [&](TObject*) {
      ++fired;
      throw EODBCLibrary("handler failed");
    };
    EXPECT_NO_THROW({ EODBC E(dbc.get(), SQL_ERROR, {{"08S01", 0, "link lost"}}); });
  }
  EXPECT_EQ(fired, 4);
  EXPECT_FALSE(dbc->Allocated());
  EXPECT_FALSE(env->Terminating());
  env->Error()->OnLinkError = nullptr;
}

TEST_F(OdbcErrors, RaiseErrorNeverAllocatesTheSourcesHandle) {
  THenv* env = GlobalEnv();
  THdbc dbc(nullptr);
  ASSERT_FALSE(dbc.Allocated());
  try {
    env->Error()->RaiseError(&dbc, SQL_ERROR);
    FAIL() << "no exception";
  } catch (EODBC& E) {
    EXPECT_EQ(E.Source(), &dbc);
    ASSERT_EQ(E.ErrorCount(), 1);  // nothing to read from a handle that does not exist
    EXPECT_EQ(E.Message(), "Unable to Retrieve ODBC Error");
  }
  EXPECT_EQ(env->Error()->HandleType(), SQL_HANDLE_DBC);
  EXPECT_EQ(env->Error()->Handle(), SQLHANDLE(SQL_NULL_HANDLE));
  EXPECT_FALSE(dbc.Allocated());
  EXPECT_FALSE(env->Children().Contains(&dbc));
}

TEST_F(OdbcErrors, ChildrenList) {
  TFakeSource a, b, c;
  TChildren list;
  list.Add(&a);
  list.Add(&b);
  list.Remove(&c);  // not in the list: unchanged
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.Contains(&a));
  list.Remove(&b);
  EXPECT_FALSE(list.Contains(&b));
  list.Add(&b);
  list.Add(&c);
  // Children that do not remove themselves are still taken off, once each.
  EXPECT_TRUE(list.TerminateAll());
  EXPECT_TRUE(list.Empty());
}

TEST_F(OdbcErrors, EnvironmentPerThread) {
  EnvPerThread = true;
  THenv* mine = GlobalEnv();
  THenv* other = nullptr;
  bool otherFreed = false;
  std::thread t([&] {
    other = GlobalEnv();
    FreeThreadEnv();
    otherFreed = ExistingGlobalEnv() == nullptr;
  });
  t.join();
  EXPECT_NE(mine, other);
  EXPECT_TRUE(otherFreed);
  EXPECT_EQ(GlobalEnv(), mine);
  std::thread idle([] { FreeThreadEnv(); });  // never used the library: nothing happens
  idle.join();
  std::thread leaves([] { GlobalEnv(); });    // its environment goes with the thread
  leaves.join();
  FreeThreadEnv();
  EXPECT_EQ(ExistingGlobalEnv(), nullptr);
}
