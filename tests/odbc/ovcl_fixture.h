#pragma once
// An ODBC data set on one of the test's data sources. Tests that must hold on both drivers and
// in both modes are written once (DS_ALL) and run as OdbcDataSet*/ServerDataSet*, each with a
// Direct and a Cached variant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ovcl.h"
#include "stmt_fixture.h"

class DataSetFixture : public StmtFixture {
public:
  // A data set on the connection, reading SQL, in the given mode (not opened).
  TCustomODDataSet* Make(const std::string& Sql, bool InCache) {
    auto* d = new TCustomODDataSet(Owner.get());
    d->SetHdbc(Dbc);
    d->SetCached(InCache);
    if (!Sql.empty()) d->SetSQL(Sql);
    return d;
  }
  TCustomODDataSet* Open(const std::string& Sql, bool InCache) {
    TCustomODDataSet* d = Make(Sql, InCache);
    d->Open();
    return d;
  }
  // A table t(id integer primary key, name varchar(20), qty integer) with the rows given as
  // "id,'name',qty" value lists.
  void Table(const std::vector<std::string>& Rows) {
    Exec("CREATE TABLE t (id integer primary key, name varchar(20), qty integer)");
    for (const std::string& r : Rows) Exec("INSERT INTO t VALUES (" + r + ")");
  }
  // The ids the data set shows, read forward from the first record.
  static std::vector<int> Ids(TDataSet* D, const char* Field = "id") {
    std::vector<int> ids;
    D->First();
    while (!D->Eof()) {
      ids.push_back(D->FieldByName(Field)->AsInteger());
      D->Next();
    }
    return ids;
  }
  bool Cached = false;
};

class OdbcDataSet : public DataSetFixture {
public:
  void SetUp() override { StmtFixture::Open("SQLITE"); }
};

class ServerDataSet : public DataSetFixture {
public:
  void SetUp() override { StmtFixture::Open("PG"); }
};

#define DS_ALL(Name)                                                          \
  static void Name##Body(DataSetFixture& F, bool InCache);                    \
  TEST_F(OdbcDataSet, Name##_Direct) { Name##Body(*this, false); }            \
  TEST_F(OdbcDataSet, Name##_Cached) { Name##Body(*this, true); }             \
  TEST_F(ServerDataSet, Name##_Direct) { Name##Body(*this, false); }          \
  TEST_F(ServerDataSet, Name##_Cached) { Name##Body(*this, true); }           \
  static void Name##Body(DataSetFixture& F, bool InCache)

#define DS_BOTH(Name)                                 \
  static void Name##Body(DataSetFixture& F);          \
  TEST_F(OdbcDataSet, Name) { Name##Body(*this); }    \
  TEST_F(ServerDataSet, Name) { Name##Body(*this); }  \
  static void Name##Body(DataSetFixture& F)
