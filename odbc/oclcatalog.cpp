#include "oclcatalog.h"

#include "oclstmt.h"
#include "published.h"
#include "text.h"

namespace {

// A driver may add ";" and a number to a procedure's name.
std::string ProcName(const std::string& Raw) { return Trim(Raw.substr(0, Raw.find(';'))); }

SQLCHAR* Arg(const std::string& s) {
  return s.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

}  // namespace

// ---- lists

TCatalogColumn* TCatalogColumns::Add() {
  FItems.push_back(std::make_unique<TCatalogColumn>());
  return FItems.back().get();
}

TCatalogColumn* TCatalogColumns::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[size_t(Index)].get();
}

TCatalogProcedure* TCatalogProcedures::Add() {
  FItems.push_back(std::make_unique<TCatalogProcedure>(FCatalog));
  return FItems.back().get();
}

TCatalogProcedure* TCatalogProcedures::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[size_t(Index)].get();
}

TCatalogColumns* TCatalogProcedure::Columns() {
  if (FColumnsStale) FCatalog->ReadColumns(*this);
  return &FColumns;
}

TStrings* TCatalogProcedure::ColumnNames() {
  TCatalogColumns* cols = Columns();
  FColumnNames.Clear();
  for (int i = 0; i < cols->Count(); ++i) FColumnNames.Add(cols->Items(i)->Name);
  return &FColumnNames;
}

// ---- the component

TODCatalog::TODCatalog(TComponent* AOwner)
    : TComponent(AOwner),
      FStatement(std::make_unique<THstmt>(nullptr)),
      FTables(std::make_unique<TCatalogTables>(this)),
      FProcedures(std::make_unique<TCatalogProcedures>(this)) {
  if (THdbc* d = TOwnerConnection::FirstIn(AOwner)) SetHdbc(d);
}

TODCatalog::~TODCatalog() = default;

THdbc* TODCatalog::hDbc() const {
  THdbc* before = FHdbc.Get();
  THdbc* d = FHdbc.Adopted();
  if (d != before) FStatement->SetHdbc(d);
  return d;
}

void TODCatalog::SetHdbc(THdbc* Value) {
  FHdbc.Set(Value);
  FStatement->SetHdbc(Value);
  Invalidate();
}

void TODCatalog::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (auto change = FHdbc.Notified(this, AComponent, Operation)) SetHdbc(*change);
}

void TODCatalog::SetTableOwner(const std::string& Value) {
  if (Value == FTableOwner) return;
  FTableOwner = Value;
  FTablesStale = true;
}

void TODCatalog::SetTableName(const std::string& Value) {
  if (Value == FTableName) return;
  FTableName = Value;
  FTablesStale = true;
}

void TODCatalog::SetTableType(TTableTypeSet Value) {
  if (Value == FTableType) return;
  FTableType = Value;
  FTablesStale = true;
}

void TODCatalog::SetProcedureOwner(const std::string& Value) {
  if (Value == FProcedureOwner) return;
  FProcedureOwner = Value;
  FProceduresStale = true;
}

void TODCatalog::SetProcedureName(const std::string& Value) {
  if (Value == FProcedureName) return;
  FProcedureName = Value;
  FProceduresStale = true;
}

void TODCatalog::Invalidate() {
  FTablesStale = true;
  FProceduresStale = true;
}

TCatalogProcedures* TODCatalog::Procedures() {
  if (FProceduresStale) ReadProcedures();
  return FProcedures.get();
}

TCatalogProcedure* TODCatalog::FindProcedure(const std::string& Owner, const std::string& Name) {
  TCatalogProcedures* list = Procedures();
  const std::string owner = UpperCase(Trim(Owner)), name = Trim(Name), upperName = UpperCase(name);
  // A name written as the procedure has it wins over names that match only when case is
  // ignored ("MixedCase" and mixedcase are two procedures to a server that tells case apart).
  for (const bool exact : {true, false}) {
    TCatalogProcedure* found = nullptr;
    for (const auto& p : list->FItems) {
      if (exact ? p->Name != name : UpperCase(p->Name) != upperName) continue;
      if (!owner.empty() && UpperCase(p->Owner) != owner) continue;
      if (found == nullptr) {
        found = p.get();
      } else if (p->Owner == found->Owner) {
        // Several of one name for one owner: which one is meant cannot be told.
        throw EODBCLibrary("procedure " + found->Name + " is overloaded");
      }
    }
    if (found) return found;
  }
  return nullptr;
}

std::string TODCatalog::PatternOf(const std::string& Value) {
  const std::string escape = hDbc()->GetInfoString(SQL_SEARCH_PATTERN_ESCAPE);
  if (escape.empty()) return Value;  // the exact-name filter on the rows still holds
  std::string s;
  for (char c : Value) {
    if (c == '_' || c == '%' || escape.find(c) != std::string::npos) s += escape;
    s += c;
  }
  return s;
}

void TODCatalog::ReadProcedures() {
  if (hDbc() == nullptr) throw EODBCLibrary("Property Hdbc of " + Name() + " not set.");
  FProcedureOwner = Trim(FProcedureOwner);
  FProcedureName = Trim(FProcedureName);
  THstmt& q = *FStatement;
  q.Terminate();
  const std::string owner = FProcedureOwner, name = FProcedureName;
  q.RunCatalog([&](SQLHSTMT H) {
    return ODBCApi().SQLProcedures(H, nullptr, 0, Arg(owner), SQLSMALLINT(owner.size()), Arg(name),
                                   SQLSMALLINT(name.size()));
  });
  // Read aside: a failure half-way keeps the old items.
  TCatalogProcedures fresh(this);
  while (q.FetchNext()) {
    TCatalogProcedure* p = fresh.Add();
    p->Owner = q.ColString(2);
    p->Name = ProcName(q.ColString(3));
    p->ProcedureType = q.ColSmallint(8);
    p->Remarks = q.ColString(7);
  }
  q.CloseCursor();
  FProcedures->FItems.swap(fresh.FItems);
  FProceduresStale = false;
}

void TODCatalog::ReadColumns(TCatalogProcedure& Procedure) {
  for (const auto& p : FProcedures->FItems)
    if (p.get() != &Procedure && p->Owner == Procedure.Owner && p->Name == Procedure.Name)
      throw EODBCLibrary("procedure " + Procedure.Name + " is overloaded");
  if (hDbc() == nullptr) throw EODBCLibrary("Property Hdbc of " + Name() + " not set.");
  THstmt& q = *FStatement;
  q.Terminate();
  // Names are patterns to the driver: escaped, and the rows are checked, so that "a_b" never
  // gets the columns of "axb".
  const std::string owner = Procedure.Owner.empty() ? std::string() : PatternOf(Procedure.Owner);
  const std::string name = PatternOf(Procedure.Name);
  q.RunCatalog([&](SQLHSTMT H) {
    return ODBCApi().SQLProcedureColumns(H, nullptr, 0, Arg(owner), SQLSMALLINT(owner.size()),
                                         reinterpret_cast<SQLCHAR*>(const_cast<char*>(name.c_str())),
                                         SQLSMALLINT(name.size()), nullptr, 0);
  });
  TCatalogColumns fresh;
  while (q.FetchNext()) {
    if (ProcName(q.ColString(3)) != Procedure.Name) continue;
    if (!Procedure.Owner.empty() && q.ColString(2) != Procedure.Owner) continue;
    TCatalogColumn* c = fresh.Add();
    c->Name = q.ColString(4);
    c->ColumnType = q.ColSmallint(5);
    c->DataType = q.ColSmallint(6);
    c->TypeName = q.ColString(7);
    c->ColumnSize = q.ColInteger(8);
    c->DecimalDigits = q.ColSmallint(10);
    c->Radix = q.ColSmallint(11);
    c->Nullable = q.ColSmallint(12);
    c->Remarks = q.ColString(13);
    c->DefaultValue = q.ColString(14);
  }
  q.CloseCursor();
  Procedure.FColumns.FItems.swap(fresh.FItems);
  Procedure.FColumnsStale = false;
}

// ---- published properties

namespace {

[[maybe_unused]] const bool CatalogPropsRegistered = [] {
  RegisterPublishedClass("TODCatalog", "TComponent");
  PublishProperty("TODCatalog", "hDbc", &TODCatalog::hDbc, &TODCatalog::SetHdbc);
  PublishProperty("TODCatalog", "TableOwner", &TODCatalog::TableOwner, &TODCatalog::SetTableOwner);
  PublishProperty("TODCatalog", "TableName", &TODCatalog::TableName, &TODCatalog::SetTableName);
  static constexpr const char* TableTypeNames[] = {"ttTable", "ttView", "ttSystem"};
  PublishSetProperty("TODCatalog", "TableType", TableTypeNames, &TODCatalog::TableType, &TODCatalog::SetTableType);
  PublishProperty("TODCatalog", "ProcedureOwner", &TODCatalog::ProcedureOwner, &TODCatalog::SetProcedureOwner);
  PublishProperty("TODCatalog", "ProcedureName", &TODCatalog::ProcedureName, &TODCatalog::SetProcedureName);
  return true;
}();

}  // namespace
