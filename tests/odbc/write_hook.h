#pragma once
// Runs something of the test's (another user's change, the end of the server session) just
// before or just after the library executes a write: a statement prepared with a text that
// starts with UPDATE, DELETE or INSERT, or the driver's own update, delete or add of a row. Each
// action runs once.
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "odbcapi.h"

struct WriteHook {
  static inline TODBCApi Real;
  static inline std::map<SQLHSTMT, std::string> Texts;
  static inline std::function<void()> Before, After;
  static bool IsWrite(SQLHSTMT H) {
    const std::string& t = Texts[H];
    for (const char* verb : {"UPDATE", "DELETE", "INSERT"})
      if (t.rfind(verb, 0) == 0) return true;
    return false;
  }
  static SQLRETURN SQL_API Prepare(SQLHSTMT H, SQLCHAR* Text, SQLINTEGER Len) {
    const char* p = reinterpret_cast<const char*>(Text);
    Texts[H] = Len == SQL_NTS ? std::string(p) : std::string(p, size_t(Len));
    return Real.SQLPrepare(H, Text, Len);
  }
  static SQLRETURN SQL_API Execute(SQLHSTMT H);
  template <class Call>
  static SQLRETURN Around(bool Write, Call&& Run) {
    if (Write && Before) std::exchange(Before, nullptr)();
    const SQLRETURN rc = Run();
    if (Write && After) std::exchange(After, nullptr)();
    return rc;
  }
  static SQLRETURN SQL_API SetPos(SQLHSTMT H, SQLSETPOSIROW Row, SQLUSMALLINT Op, SQLUSMALLINT Lock) {
    return Around(Op == SQL_UPDATE || Op == SQL_DELETE, [&] { return Real.SQLSetPos(H, Row, Op, Lock); });
  }
  static SQLRETURN SQL_API Bulk(SQLHSTMT H, SQLSMALLINT Op) {
    return Around(Op == SQL_ADD, [&] { return Real.SQLBulkOperations(H, Op); });
  }
  explicit WriteHook(TODBCApiOverride& Api) {
    Real = Api.Saved();
    Texts.clear();
    Before = After = nullptr;
    Api.Table().SQLPrepare = Prepare;
    Api.Table().SQLExecute = Execute;
    Api.Table().SQLSetPos = SetPos;
    Api.Table().SQLBulkOperations = Bulk;
  }
  ~WriteHook() { Before = After = nullptr; }
};

inline SQLRETURN SQL_API WriteHook::Execute(SQLHSTMT H) {
  return Around(IsWrite(H), [&] { return Real.SQLExecute(H); });
}
