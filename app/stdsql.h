#pragma once
// SQL helpers over the data module's statements.
#include <string>

// Rebuilds TableIndex from the table "BrintelIndex" (table name = field list) through
// DataSif->UpdateHstmt. A failure is logged under "sqlFillTableIndex"; the lines loaded so far stay.
void sqlFillTableIndex();

// Rows of "SELECT COUNT(*) AS Stevilo FROM " + From [+ " WHERE " + Where] through
// DataSif->qQueryFind; 0 on any failure (logged under "GetQueryRecordCount").
int GetQueryRecordCount(const std::string& From, const std::string& Where);
