#pragma once
// The one table through which the library makes every ODBC call. By default it holds the driver
// manager's own entry points; a test may put a scripted stand-in in place of single entries for
// what no real driver can produce, and must restore the table afterwards (TODBCApiOverride).
#include <sql.h>
#include <sqlext.h>

#define ZEL_ODBC_ENTRY(name) decltype(&::name) name = &::name;

struct TODBCApi {
  // environment, connection, diagnostics
  ZEL_ODBC_ENTRY(SQLAllocHandle)
  ZEL_ODBC_ENTRY(SQLFreeHandle)
  ZEL_ODBC_ENTRY(SQLGetEnvAttr)
  ZEL_ODBC_ENTRY(SQLSetEnvAttr)
  ZEL_ODBC_ENTRY(SQLConnect)
  ZEL_ODBC_ENTRY(SQLDriverConnect)
  ZEL_ODBC_ENTRY(SQLDisconnect)
  ZEL_ODBC_ENTRY(SQLGetConnectAttr)
  ZEL_ODBC_ENTRY(SQLSetConnectAttr)
  ZEL_ODBC_ENTRY(SQLGetInfo)
  ZEL_ODBC_ENTRY(SQLGetFunctions)
  ZEL_ODBC_ENTRY(SQLGetDiagRec)
  ZEL_ODBC_ENTRY(SQLGetDiagField)
  ZEL_ODBC_ENTRY(SQLEndTran)
  ZEL_ODBC_ENTRY(SQLNativeSql)
  ZEL_ODBC_ENTRY(SQLDataSources)
  ZEL_ODBC_ENTRY(SQLDrivers)
  // statements
  ZEL_ODBC_ENTRY(SQLGetStmtAttr)
  ZEL_ODBC_ENTRY(SQLSetStmtAttr)
  ZEL_ODBC_ENTRY(SQLFreeStmt)
  ZEL_ODBC_ENTRY(SQLCloseCursor)
  ZEL_ODBC_ENTRY(SQLCancel)
  ZEL_ODBC_ENTRY(SQLPrepare)
  ZEL_ODBC_ENTRY(SQLExecute)
  ZEL_ODBC_ENTRY(SQLExecDirect)
  ZEL_ODBC_ENTRY(SQLNumParams)
  ZEL_ODBC_ENTRY(SQLDescribeParam)
  ZEL_ODBC_ENTRY(SQLBindParameter)
  ZEL_ODBC_ENTRY(SQLParamData)
  ZEL_ODBC_ENTRY(SQLPutData)
  ZEL_ODBC_ENTRY(SQLNumResultCols)
  ZEL_ODBC_ENTRY(SQLDescribeCol)
  ZEL_ODBC_ENTRY(SQLColAttribute)
  ZEL_ODBC_ENTRY(SQLBindCol)
  ZEL_ODBC_ENTRY(SQLFetch)
  ZEL_ODBC_ENTRY(SQLFetchScroll)
  ZEL_ODBC_ENTRY(SQLExtendedFetch)
  ZEL_ODBC_ENTRY(SQLGetData)
  ZEL_ODBC_ENTRY(SQLSetPos)
  ZEL_ODBC_ENTRY(SQLBulkOperations)
  ZEL_ODBC_ENTRY(SQLRowCount)
  ZEL_ODBC_ENTRY(SQLMoreResults)
  ZEL_ODBC_ENTRY(SQLGetCursorName)
  ZEL_ODBC_ENTRY(SQLSetCursorName)
  // descriptors
  ZEL_ODBC_ENTRY(SQLGetDescField)
  ZEL_ODBC_ENTRY(SQLSetDescField)
  ZEL_ODBC_ENTRY(SQLGetDescRec)
  ZEL_ODBC_ENTRY(SQLSetDescRec)
  ZEL_ODBC_ENTRY(SQLCopyDesc)
  // catalog
  ZEL_ODBC_ENTRY(SQLGetTypeInfo)
  ZEL_ODBC_ENTRY(SQLTables)
  ZEL_ODBC_ENTRY(SQLColumns)
  ZEL_ODBC_ENTRY(SQLPrimaryKeys)
  ZEL_ODBC_ENTRY(SQLForeignKeys)
  ZEL_ODBC_ENTRY(SQLStatistics)
  ZEL_ODBC_ENTRY(SQLSpecialColumns)
  ZEL_ODBC_ENTRY(SQLProcedures)
  ZEL_ODBC_ENTRY(SQLProcedureColumns)
  ZEL_ODBC_ENTRY(SQLTablePrivileges)
  ZEL_ODBC_ENTRY(SQLColumnPrivileges)
};

#undef ZEL_ODBC_ENTRY

// The table in effect. Library code calls ODBCApi().SQLxxx(...).
TODBCApi& ODBCApi();

// Puts a changed table in place for its lifetime and restores the previous one at its end.
class TODBCApiOverride {
public:
  TODBCApiOverride();                               // starts from the table in effect
  explicit TODBCApiOverride(const TODBCApi& Table);
  ~TODBCApiOverride();
  TODBCApiOverride(const TODBCApiOverride&) = delete;
  TODBCApiOverride& operator=(const TODBCApiOverride&) = delete;
  // The table in effect, for changing single entries.
  TODBCApi& Table() { return ODBCApi(); }
  // The table that was in effect before, for stand-ins that pass calls on.
  const TODBCApi& Saved() const { return FSaved; }

private:
  TODBCApi FSaved;
};
