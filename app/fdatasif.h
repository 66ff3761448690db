#pragma once
// The data module: the program's two ODBC connections and its six statements.
#include <string>

#include "forms.h"
#include "ocl.h"
#include "oclstmt.h"

class TDataSif : public TDataModule {
public:
  explicit TDataSif(TComponent* AOwner);
  ~TDataSif() override;

  // Creation handler: reads [Database], sets the application title and the main window's
  // caption, configures and connects both connections, loads the table index.
  void DataSifCreate(TObject* Sender);
  // Data-source form: no attributes or driver are touched.
  void SetDataSource(THdbc* Connection, const std::string& DataSourceName);
  // Server form: empty data source, attributes "SERVER=" and "DATABASE=" (through Driver).
  void SetDatabase(THdbc* Connection, const std::string& ServerName, const std::string& DatabaseName);

  THdbc* DatabaseUpdate;  // the table-index load
  THdbc* Database;        // the export queries and the row counter
  THstmt* UpdateHstmt;
  THstmt* qQuery0;
  THstmt* qQuery1;
  THstmt* qQuery2;
  THstmt* qQueryFind;
  THstmt* qQueryDelete;

  ZEL_CLASS(TDataSif, TDataModule)
};

extern TDataSif* DataSif;
