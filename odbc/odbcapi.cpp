#include "odbcapi.h"

namespace {
TODBCApi GTable;
}

TODBCApi& ODBCApi() { return GTable; }

TODBCApiOverride::TODBCApiOverride() : FSaved(GTable) {}

TODBCApiOverride::TODBCApiOverride(const TODBCApi& Table) : FSaved(GTable) { GTable = Table; }

TODBCApiOverride::~TODBCApiOverride() { GTable = FSaved; }
