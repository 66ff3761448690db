// Error check and connection for the benchmarks' bare ODBC loops, which run without the library
// on purpose.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>

// Throws What with the first diagnostic record (SQLSTATE and message) when Rc is a failure.
inline void OdbcCheck(SQLRETURN Rc, SQLSMALLINT Type, SQLHANDLE H, const char* What) {
  if (SQL_SUCCEEDED(Rc)) return;
  SQLCHAR state[6] = {}, msg[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(Type, H, 1, state, &native, msg, sizeof msg, &len);
  throw std::runtime_error(std::string(What) + ": " + (char*)state + " " + (char*)msg);
}

// A connection of a bare loop's own, with one statement, from a connection string.
struct BareConnection {
  explicit BareConnection(const std::string& ConnectString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    OdbcCheck(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)ConnectString.c_str(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  }
  ~BareConnection() {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  BareConnection(const BareConnection&) = delete;
  BareConnection& operator=(const BareConnection&) = delete;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
};
