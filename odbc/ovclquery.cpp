// The query component: the ODBC data set with its SQL text as a string list, the derived
// statement options, and the published properties of TODQuery in the order forms store them.
#include "ovcl.h"
#include "published.h"

TCustomODQuery::TCustomODQuery(TComponent* AOwner)
    : TCustomODDataSet(AOwner), FSQLLines(std::make_unique<TStringList>()) {
  FSQLLines->OnChange = [this](TObject*) { TCustomODDataSet::SetSQL(FSQLLines->Text()); };
}

TCustomODQuery::~TCustomODQuery() {
  FSQLLines->OnChange = nullptr;
  FSQLLines.reset();
}

void TCustomODQuery::SetSQL(TStrings* Value) { FSQLLines->Assign(Value); }

void TCustomODQuery::SetSQL(const std::string& Text) { FSQLLines->SetText(Text); }

bool TCustomODQuery::RequestLive() const { return hStmt()->ConcurrencyType() != SQL_CONCUR_READ_ONLY; }

void TCustomODQuery::SetRequestLive(bool Value) {
  TDataSetHstmt* o = hStmt();
  if (!Value)
    o->SetConcurrencyType(SQL_CONCUR_READ_ONLY);
  else if (o->ConcurrencyType() == SQL_CONCUR_READ_ONLY)
    o->SetConcurrencyType(SQL_CONCUR_VALUES);
  SetEditable(Value);
}

bool TCustomODQuery::UniDirectional() const { return hStmt()->CursorType() == SQL_CURSOR_FORWARD_ONLY; }

void TCustomODQuery::SetUniDirectional(bool Value) {
  TDataSetHstmt* o = hStmt();
  if (Value)
    o->SetCursorType(SQL_CURSOR_FORWARD_ONLY);
  else if (o->CursorType() == SQL_CURSOR_FORWARD_ONLY)
    o->SetCursorType(o->ScrollCursorType());
}

bool TCustomODQuery::CacheBlobs() const { return !hStmt()->BlobDeferral(); }

void TCustomODQuery::SetCacheBlobs(bool Value) { hStmt()->SetBlobDeferral(!Value); }

TODParamBindMode TCustomODQuery::ParamBindMode() const { return hStmt()->BindByName() ? pbByName : pbByNumber; }

void TCustomODQuery::SetParamBindMode(TODParamBindMode Value) { hStmt()->SetBindByName(Value == pbByName); }

void TCustomODQuery::SetStreamedActive(bool Value) {
  // Opened once every property is read and every reference fixed up.
  if (ComponentState().Contains(csLoading))
    FStreamedActive = Value;
  else
    SetActive(Value);
}

void TCustomODQuery::Loaded() {
  TCustomODDataSet::Loaded();
  if (!FStreamedActive) return;
  FStreamedActive = false;
  SetActive(true);
}

namespace {

// TODQuery's published properties in the order of its type information, each with the value a
// form leaves out. Events are not streamed here (they are code, not values).
[[maybe_unused]] const bool QueryPublished = [] {
  RegisterPublishedClass("TCustomODQuery", "TCustomODDataSet");
  const char* const cls = "TODQuery";
  RegisterPublishedClass(cls, "TCustomODQuery");
  using Q = TCustomODQuery;
  // hDbc and hStmt come first, from TCustomODDataSet.
  PublishProperty(cls, "SQL", &Q::SQL, static_cast<void (Q::*)(TStrings*)>(&Q::SetSQL));
  // An empty name is left out: read after a table name, it would clear it.
  PublishProperty(cls, "TableName", &Q::TableName, &Q::SetTable).Default = std::string();
  PublishProperty(cls, "StoredProcName", &Q::StoredProcName, &Q::SetStoredProc).Default = std::string();
  PublishProperty(cls, "RequestLive", &Q::RequestLive, &Q::SetRequestLive).Default = false;
  PublishProperty(cls, "UniDirectional", &Q::UniDirectional, &Q::SetUniDirectional).Default = false;
  PublishProperty(cls, "CacheBlobs", &Q::CacheBlobs, &Q::SetCacheBlobs).Default = true;
  PublishEnumProperty(cls, "ParamBindMode", ODParamBindModeNames, &Q::ParamBindMode, &Q::SetParamBindMode).Default =
      std::string(ODParamBindModeNames[pbByNumber]);
  RegisterPublishedProp(
      cls, "DataSource", [](TObject* o) { return TPropValue(static_cast<TObject*>(dynamic_cast<Q*>(o)->GetDataSource())); },
      [](TObject* o, const TPropValue& v) {
        const auto* p = std::get_if<TObject*>(&v);
        TDataSource* src = p != nullptr ? dynamic_cast<TDataSource*>(*p) : nullptr;
        if (p != nullptr && *p != nullptr && src == nullptr) throw EPropertyError("Invalid property value");
        dynamic_cast<Q*>(o)->SetDataSource(src);
      });
  PublishProperty(cls, "ParamCheck", &Q::ParamCheck, &Q::SetParamCheck).Default = true;
  PublishProperty(cls, "Editable", &Q::Editable, &Q::SetEditable).Default = false;
  RegisterPublishedProp(
      cls, "Params", [](TObject* o) { return TPropValue(static_cast<TObject*>(dynamic_cast<Q*>(o)->Params())); },
      [](TObject* o, const TPropValue& v) {
        const auto* p = std::get_if<TObject*>(&v);
        if (auto* params = p != nullptr ? dynamic_cast<TODParams*>(*p) : nullptr) dynamic_cast<Q*>(o)->SetParams(params);
      });
  PublishEnumProperty(cls, "LocateOption", ODLocateOptionNames, &Q::LocateOption, &Q::SetLocateOption).Default =
      std::string(ODLocateOptionNames[loPrefix]);
  PublishProperty(cls, "LocateInsert", &Q::LocateInsert, &Q::SetLocateInsert).Default = false;
  PublishProperty(cls, "UpdateObject", &Q::UpdateObject, &Q::SetUpdateObject);
  PublishProperty(cls, "Cached", &Q::Cached, &Q::SetCached).Default = false;
  PublishProperty(cls, "CachedUpdates", &Q::CachedUpdates, &Q::SetCachedUpdates).Default = false;
  PublishProperty(cls, "EmptyFieldToNull", &Q::EmptyFieldToNull, &Q::SetEmptyFieldToNull).Default = false;
  // The framework's, taken as the query's own members.
  using Getter = bool (Q::*)() const;
  using Setter = void (Q::*)(bool);
  PublishProperty(cls, "Active", Getter(&Q::Active), &Q::SetStreamedActive).Default = false;
  PublishProperty(cls, "Filtered", Getter(&Q::Filtered), Setter(&Q::SetFiltered)).Default = false;
  PublishProperty(cls, "AutoCalcFields", Getter(&Q::AutoCalcFields), Setter(&Q::SetAutoCalcFields)).Default = true;
  return true;
}();

}  // namespace
