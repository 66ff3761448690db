#include "stdsql.h"

#include "fdatasif.h"
#include "fpublicvar.h"
#include "stdproc.h"

void sqlFillTableIndex() {
  TableIndex = std::make_unique<TStringList>();
  THstmt* stmt = DataSif ? DataSif->UpdateHstmt : nullptr;
  try {
    if (!stmt) throw EInvalidOperation("The data module is not created");
    stmt->Close();
    stmt->SetSQL("SELECT TableName, FieldsName FROM BrintelIndex");
    stmt->Execute();
    while (stmt->FetchNext()) TableIndex->SetValues(stmt->ColString(1), stmt->ColString(2));
    stmt->Close();
  } catch (Exception& E) {
    WriteErrorLog(&E, stmt, "sqlFillTableIndex");
  }
}

int GetQueryRecordCount(const std::string& From, const std::string& Where) {
  int result = 0;
  THstmt* stmt = DataSif ? DataSif->qQueryFind : nullptr;
  try {
    if (!stmt) throw EInvalidOperation("The data module is not created");
    stmt->Close();
    std::string sql = "SELECT COUNT(*) AS Stevilo FROM " + From;
    if (!Where.empty()) sql += " WHERE " + Where;
    stmt->SetSQL(sql);
    if (HstmtExecute(stmt, false) && stmt->FetchNext()) result = stmt->ColInteger(1);
    stmt->Close();
  } catch (Exception& E) {
    WriteErrorLog(&E, stmt, "GetQueryRecordCount");
    result = 0;
  }
  return result;
}
