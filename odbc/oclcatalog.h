#pragma once
// The catalog component: the stored procedures of a data source and the parameter and result
// columns of each, read through SQLProcedures and SQLProcedureColumns on first use and kept
// until something they depend on changes.
//
// Items belong to their lists: reading a list again frees its old items, so a pointer that
// FindProcedure gave is good until the next read of the procedure list.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "component.h"
#include "ocl.h"

class THstmt;
class TODCatalog;

// One row of SQLProcedureColumns. ColumnType: 1 input, 2 input/output, 3 result column, 4
// output, 5 return value.
class TCatalogColumn : public TObject {
public:
  std::string Name;
  int16_t ColumnType = 0;
  int16_t DataType = 0;
  std::string TypeName;
  int32_t ColumnSize = 0;
  int16_t DecimalDigits = 0;
  int16_t Radix = 0;
  int16_t Nullable = 0;
  std::string DefaultValue;
  std::string Remarks;
  ZEL_CLASS(TCatalogColumn, TObject)
};

class TCatalogColumns : public TObject {
public:
  TCatalogColumn* Add();
  TCatalogColumn* Items(int Index) const;  // 0-based; EListError outside the list
  int Count() const { return int(FItems.size()); }
  void Clear() { FItems.clear(); }
  ZEL_CLASS(TCatalogColumns, TObject)

private:
  friend class TODCatalog;
  std::vector<std::unique_ptr<TCatalogColumn>> FItems;
};

// One row of SQLProcedures; its columns are read on first use, once.
class TCatalogProcedure : public TObject {
public:
  explicit TCatalogProcedure(TODCatalog* Catalog) : FCatalog(Catalog) {}

  TODCatalog* Catalog() const { return FCatalog; }
  std::string Owner;
  std::string Name;  // without a ";" and number that some drivers add
  int16_t ProcedureType = 0;
  std::string Remarks;

  // Raises EODBCLibrary "procedure X is overloaded" when the catalog lists the name twice for
  // this owner: the driver would give the columns of all of them.
  TCatalogColumns* Columns();
  // The names of Columns, in order.
  TStrings* ColumnNames();
  ZEL_CLASS(TCatalogProcedure, TObject)

private:
  friend class TODCatalog;
  TODCatalog* FCatalog;
  TCatalogColumns FColumns;
  TStringList FColumnNames;
  bool FColumnsStale = true;
};

class TCatalogProcedures : public TObject {
public:
  explicit TCatalogProcedures(TODCatalog* Catalog) : FCatalog(Catalog) {}
  TCatalogProcedure* Add();
  TCatalogProcedure* Items(int Index) const;  // 0-based; EListError outside the list
  int Count() const { return int(FItems.size()); }
  void Clear() { FItems.clear(); }
  ZEL_CLASS(TCatalogProcedures, TObject)

private:
  friend class TODCatalog;
  TODCatalog* FCatalog;
  std::vector<std::unique_ptr<TCatalogProcedure>> FItems;
};

// Nothing fills it: the table filters are kept so that a catalog stored in a form keeps them.
class TCatalogTables : public TObject {
public:
  explicit TCatalogTables(TODCatalog* Catalog) : FCatalog(Catalog) {}
  int Count() const { return int(FItems.size()); }
  void Clear() { FItems.clear(); }
  ZEL_CLASS(TCatalogTables, TObject)

private:
  TODCatalog* FCatalog;
  std::vector<std::unique_ptr<TObject>> FItems;
};

enum TTableType { ttTable, ttView, ttSystem };
using TTableTypeSet = TSmallSet<TTableType>;

class TODCatalog : public TComponent {
public:
  // hDbc starts as the first connection among the owner's components.
  explicit TODCatalog(TComponent* AOwner);
  ~TODCatalog() override;

  THdbc* hDbc() const;
  void SetHdbc(THdbc* Value);
  const std::string& TableOwner() const { return FTableOwner; }
  void SetTableOwner(const std::string& Value);
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& Value);
  TTableTypeSet TableType() const { return FTableType; }
  void SetTableType(TTableTypeSet Value);
  // Search patterns of SQLProcedures ("%" any text, "_" any character); an empty owner is any.
  const std::string& ProcedureOwner() const { return FProcedureOwner; }
  void SetProcedureOwner(const std::string& Value);
  const std::string& ProcedureName() const { return FProcedureName; }
  void SetProcedureName(const std::string& Value);

  // The procedure list, read first when stale. A read that fails keeps the old items and the
  // list stays stale.
  TCatalogProcedures* Procedures();
  // The first procedure named Name (and owned by Owner when it is given): one named exactly
  // Name wins, else one named so when letter case is ignored; nullptr when none. Several of
  // that name for one owner raise "procedure X is overloaded".
  TCatalogProcedure* FindProcedure(const std::string& Owner, const std::string& Name);
  // Both lists are read again at their next use.
  void Invalidate();

  void Notification(TComponent* AComponent, TOperation Operation) override;
  ZEL_CLASS(TODCatalog, TComponent)

private:
  friend class TCatalogProcedure;
  void ReadProcedures();
  void ReadColumns(TCatalogProcedure& Procedure);
  // Driver pattern text that matches Value only.
  std::string PatternOf(const std::string& Value);

  mutable TOwnerConnection FHdbc;
  std::unique_ptr<THstmt> FStatement;
  std::unique_ptr<TCatalogTables> FTables;
  std::unique_ptr<TCatalogProcedures> FProcedures;
  bool FTablesStale = true;
  bool FProceduresStale = true;
  std::string FTableOwner;
  std::string FTableName = "%";
  TTableTypeSet FTableType{ttTable, ttView};
  std::string FProcedureOwner;
  std::string FProcedureName = "%";
};
