#pragma once
// A bare statement for the tests of the connection: it registers with its connection the way
// the statement component does (a child while its handle exists) and runs SQL directly.
#include <string>
#include <vector>

#include "ocl.h"

class TTestStmt : public THbase {
public:
  TTestStmt(TComponent* AOwner, THdbc* Dbc) : THbase(AOwner), FDbc(Dbc) {}
  ~TTestStmt() override {
    Destroying();
    RemoveFreeNotifications();
    DestroyComponents();
    if (FAllocated) {
      try {
        TerminateSilently(this);
      } catch (...) {
      }
    }
  }

  bool Init() override {
    if (FAllocated) return true;
    FDbc->Connect();
    SQLHSTMT h = SQL_NULL_HSTMT;
    Check(ODBCApi().SQLAllocHandle(SQL_HANDLE_STMT, FDbc->Handle(), &h));
    FHandle = h;
    FAllocated = true;
    FDbc->Children().Add(this);
    return THbase::Init();
  }

  bool Terminate() override {
    THbase::Terminate();
    ++Terminations;
    if (FAllocated) {
      if (FDbc) FDbc->Children().Remove(this);
      Check(ODBCApi().SQLFreeHandle(SQL_HANDLE_STMT, FHandle));
      FHandle = SQL_NULL_HSTMT;
      FAllocated = false;
    }
    return !FAllocated;
  }

  // Runs the statement and returns the first column of every row as text.
  std::vector<std::string> Query(const std::string& sql) {
    Init();
    ODBCApi().SQLFreeStmt(FHandle, SQL_CLOSE);
    Check(ODBCApi().SQLExecDirect(FHandle, (SQLCHAR*)sql.c_str(), SQL_NTS));
    std::vector<std::string> rows;
    SQLSMALLINT cols = 0;
    ODBCApi().SQLNumResultCols(FHandle, &cols);
    if (cols == 0) return rows;
    while (true) {
      SQLRETURN rc = ODBCApi().SQLFetch(FHandle);
      if (rc == SQL_NO_DATA) break;
      Check(rc);
      char buf[256] = {};
      SQLLEN ind = 0;
      Check(ODBCApi().SQLGetData(FHandle, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
      rows.push_back(ind == SQL_NULL_DATA ? "<NULL>" : buf);
    }
    ODBCApi().SQLFreeStmt(FHandle, SQL_CLOSE);
    return rows;
  }

  bool Allocated() const { return FAllocated; }
  SQLSMALLINT ODBCHandleType() const override { return SQL_HANDLE_STMT; }
  SQLHANDLE ODBCHandle() const override { return FHandle; }
  THdbc* LinkConnection() const override { return FDbc; }
  void ErrorCleanup() override { ++Cleanups; }

  int Terminations = 0;
  int Cleanups = 0;
  ZEL_CLASS(TTestStmt, THbase)

private:
  TComponentRef<THdbc> FDbc;
  SQLHSTMT FHandle = SQL_NULL_HSTMT;
  bool FAllocated = false;
};
