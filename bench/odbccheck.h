// Error check for the benchmarks' bare ODBC loops, which run without the library on purpose.
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
