// The ODBC data set: construction, properties and their setters, the statement's source,
// preparation and execution, the update events and the master/detail link.
#include "ovcl.h"

#include "oclconv.h"
#include "published.h"

TCustomODDataSet::TCustomODDataSet(TComponent* AOwner)
    : TDataSet(AOwner),
      FDataLink(std::make_unique<TODDataLink>(this)),
      FParams(std::make_unique<TODParams>(this)),
      FParamNames(std::make_unique<TStringList>()) {
  FLocateKeyValues = Null();
}

TCustomODDataSet::~TCustomODDataSet() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  ClearOldCopies();
  ClearCache();
  ClearDeletedBookmarks();
  SetUpdateObject(nullptr);
  FParams.reset();
  FParamNames.reset();
  FDataLink.reset();
  FDataSetHstmt.reset();  // unhooks the statement
  FHstmt.reset();
}

std::unique_ptr<THstmt> TCustomODDataSet::CreateHstmt() { return std::make_unique<THstmt>(nullptr); }

void TCustomODDataSet::EnsureHstmt() const {
  if (FHstmt) return;
  auto* self = const_cast<TCustomODDataSet*>(this);
  std::unique_ptr<THstmt> stmt = self->CreateHstmt();
  if (!stmt) throw EODBCLibrary("CreateHstmt gave no statement.");
  THstmt* s = stmt.get();
  // The answer is noted: a write the handler took over leaves the cursor's copy of the row stale.
  s->OnInsert = [self](TObject* Sender, const std::string& Msg) { return self->FRowConfirmed = self->DoInsert(Sender, Msg); };
  s->OnUpdate = [self](TObject* Sender, const std::string& Msg) { return self->FRowConfirmed = self->DoUpdate(Sender, Msg); };
  s->OnDelete = [self](TObject* Sender, const std::string& Msg) { return self->FRowConfirmed = self->DoDelete(Sender, Msg); };
  s->OnRefresh = [self](TObject* Sender, const std::string& Msg) { return self->FRowConfirmed = self->DoRefresh(Sender, Msg); };
  s->OnRowCount = [self](TObject* Sender) { return self->DoRowCount(Sender); };
  FHstmt = std::move(stmt);
  FDataSetHstmt = std::make_unique<TDataSetHstmt>(self, s);
  if (TComponent* owner = Owner()) {
    for (int i = 0; i < owner->ComponentCount(); ++i)
      if (auto* dbc = dynamic_cast<THdbc*>(owner->Components(i))) {
        s->SetHdbc(dbc);
        break;
      }
  }
}

THstmt* TCustomODDataSet::Hstmt() const {
  EnsureHstmt();
  return FHstmt.get();
}

TDataSetHstmt* TCustomODDataSet::hStmt() const {
  EnsureHstmt();
  return FDataSetHstmt.get();
}

// ---- the statement's life

void TCustomODDataSet::CheckNoPendingUpdates(const char* What) const {
  if (FPendingUpdates > 0 && Active())
    throw EODBCLibrary(std::string(What) + ": " + std::to_string(FPendingUpdates) +
                       " cached update(s) are pending; apply or cancel them first.");
}

void TCustomODDataSet::TerminateHstmt() {
  Trace(2, "TCustomODDataSet.TerminateHstmt");
  // A setter must not close the data set over changes that were never applied.
  CheckNoPendingUpdates("The data set cannot be closed");
  Stmt().Terminate();
}

void TCustomODDataSet::Unprepare() {
  FPrepared = false;
  FParamsBound = false;
}

THdbc* TCustomODDataSet::hDbc() const { return Stmt().hDbc(); }

void TCustomODDataSet::SetHdbc(THdbc* Value) {
  TerminateHstmt();
  Stmt().SetHdbc(Value);
}

void TCustomODDataSet::SourceChanged() {
  FParamsChanged = !Loading() && (FParamCheck || Designing());
  Unprepare();
  if (!Loading()) hStmt()->Target()->Clear();
  if (Designing()) DataEvent(dePropertyChange, 0);
}

void TCustomODDataSet::SetSQL(const std::string& Text) {
  TerminateHstmt();
  FTableName.clear();
  FStoredProcName.clear();
  FSQL = Text;
  Stmt().SetSQL(Text);
  SourceChanged();
}

void TCustomODDataSet::SetTable(const std::string& Name) {
  TerminateHstmt();
  FTableName = Name;
  FStoredProcName.clear();
  SourceChanged();
}

void TCustomODDataSet::SetStoredProc(const std::string& Name) {
  TerminateHstmt();
  FTableName.clear();
  FStoredProcName = Name;
  SourceChanged();
}

void TCustomODDataSet::Prepare() {
  Trace(2, "TCustomODDataSet.Prepare");
  if (FPrepared || Loading()) return;
  THstmt& s = Stmt();
  if (!FTableName.empty()) {
    s.SetSQL("SELECT * FROM " + QuoteIdentifier(FTableName));
  } else if (!FStoredProcName.empty()) {
    CreateParams();
    s.SetSQL(StoredProcStatement());
  } else if (!FSQL.empty()) {
    s.SetSQL(FSQL);
  } else {
    throw EODBCLibrary("SQL-, Table- or StoredProc-Property must be set.");
  }
  s.Prepare();
  FPrepared = true;
  FParamsBound = false;
}

void TCustomODDataSet::ExecSQL() {
  Trace(2, "TCustomODDataSet.ExecSQL");
  BindParams();
  Stmt().Execute();
  FParams->BuffersToParams();
}

// ---- properties

void TCustomODDataSet::SetEditable(bool Value) {
  TerminateHstmt();
  FEditable = Value;
  TDataSetHstmt* o = hStmt();
  if (Value && !Loading() && o->ConcurrencyType() == SQL_CONCUR_READ_ONLY &&
      !(o->SkipByPosition() && o->SkipByCursor()))
    o->SetConcurrencyType(SQL_CONCUR_VALUES);
}

TODParams* TCustomODDataSet::Params() {
  CreateParams();
  return FParams.get();
}

void TCustomODDataSet::SetParams(TODParams* Value) { FParams->AssignValues(Value); }

TStrings* TCustomODDataSet::GetParamNames() {
  FParamNames->Clear();
  for (int i = 0; i < FParams->Count(); ++i) FParamNames->Add(FParams->Items(i)->Name());
  return FParamNames.get();
}

void TCustomODDataSet::SetCached(bool Value) {
  TerminateHstmt();
  FCached = Value;
  hStmt()->CachedChanged(Value, Loading());
  if (!Value) SetCachedUpdates(false);
}

void TCustomODDataSet::SetCachedUpdates(bool Value) {
  TerminateHstmt();
  FCachedUpdates = Value;
  if (Value && !FCached) SetCached(true);
}

TDataSource* TCustomODDataSet::GetDataSource() { return FDataLink->DataSource(); }

void TCustomODDataSet::SetDataSource(TDataSource* Value) {
  if (IsLinkedTo(Value)) throw EODBCLibrary("Circular Reference to DataSource");
  FDataLink->SetDataSource(Value);
}

void TCustomODDataSet::SetUpdateObject(TODUpdateObject* Value) {
  TODUpdateObject* current = FUpdateObject.Get();
  if (Value == current) return;
  if (current != nullptr && current->GetDataSet() == this) current->SetDataSet(nullptr);
  FUpdateObject = Value;
  if (Value == nullptr) return;
  if (auto* other = dynamic_cast<TCustomODDataSet*>(Value->GetDataSet()); other != nullptr && other != this)
    other->SetUpdateObject(nullptr);
  Value->SetDataSet(this);
}

// ---- update events

void TCustomODDataSet::DoUpdateRecord(TUpdateKind UpdateKind, bool& ApplyUpdate) {
  ApplyUpdate = true;
  if (OnUpdateRecord) OnUpdateRecord(this, UpdateKind, ApplyUpdate);
}

namespace {

bool ConfirmKind(TCustomODDataSet& DataSet, TUpdateKind Kind) {
  bool apply = true;
  DataSet.DoUpdateRecord(Kind, apply);
  if (TODUpdateObject* u = DataSet.UpdateObject(); apply && u != nullptr && u->CanApply(Kind)) {
    u->Apply(Kind);
    apply = false;
  }
  return apply;
}

}  // namespace

bool TCustomODDataSet::DoInsert(TObject*, const std::string&) { return ConfirmKind(*this, ukInsert); }
bool TCustomODDataSet::DoUpdate(TObject*, const std::string&) { return ConfirmKind(*this, ukModify); }
bool TCustomODDataSet::DoDelete(TObject*, const std::string&) { return ConfirmKind(*this, ukDelete); }

bool TCustomODDataSet::DoRefresh(TObject* Sender, const std::string&) {
  if (OnRefreshRecord) OnRefreshRecord(Sender);
  return true;
}

int TCustomODDataSet::DoRowCount(TObject*) {
  if (!FCached) return -1;
  FetchAll();
  return int(FCache.size());
}

void TCustomODDataSet::DoUpdateError(EODBC& E, TUpdateKind UpdateKind, bool& RaiseError) {
  RaiseError = true;
  if (OnUpdateError) OnUpdateError(this, E, UpdateKind, RaiseError);
}

// ---- master/detail

void TCustomODDataSet::SetParamsFromCursor() {
  TDataSource* src = FDataLink->DataSource();
  TDataSet* master = src != nullptr ? src->DataSet() : nullptr;
  if (master == nullptr || !master->Active()) return;
  // The parameters are built from the statement's tokens here; executing the statement first
  // (to describe it) would run the query once more with the old values.
  TODParams* params = Params();
  for (int i = 0; i < params->Count(); ++i) {
    TParam* p = params->Items(i);
    TField* f = master->FindField(p->Name());
    if (f == nullptr) continue;
    const std::string name = p->Name();
    p->AssignField(f);
    p->SetName(name);
    p->SetBound(false);
  }
}

void TCustomODDataSet::Reopen() {
  DisableControls();
  try {
    Close();
    Open();
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

void TCustomODDataSet::RefreshParams() {
  TDataSource* src = FDataLink->DataSource();
  TDataSet* master = src != nullptr ? src->DataSet() : nullptr;
  if (master == nullptr || !master->Active() || master->State() == dsSetKey) return;
  CheckNoPendingUpdates("The detail data set cannot follow its master");
  Reopen();
}

void TCustomODDataSet::RefreshResults() {
  CheckNoPendingUpdates("The data set cannot be opened again");
  Reopen();
}

void TCustomODDataSet::GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                           std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSource* src = FDataLink->DataSource();
  TDataSet* master = src != nullptr ? src->DataSet() : nullptr;
  if (master == nullptr) return;
  TODParams* params = Params();
  for (int i = 0; i < params->Count(); ++i) {
    const std::string& name = params->Items(i)->Name();
    if (TField* m = master->FindField(name)) {
      MasterFields.push_back(m);
      if (TField* d = FindField(name)) DetailFields.push_back(d);
    }
  }
}

// ---- loading and links

void TCustomODDataSet::ReadState(TReader* Reader) {
  // A stored StringTrimming that cannot be read loads as no trimming.
  ReadPropertiesTolerating(Reader, this, [this](const std::string& Name) {
    if (Name.find("StringTrimming") == std::string::npos) return false;
    hStmt()->SetStringTrimming(stTrimNone);
    return true;
  });
}

void TCustomODDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TDataSet::Notification(AComponent, Operation);
  if (!FHstmt) return;
  if (Operation == opInsert) {
    if (auto* dbc = dynamic_cast<THdbc*>(AComponent); dbc != nullptr && FHstmt->hDbc() == nullptr) SetHdbc(dbc);
  } else if (Operation == opRemove && AComponent == FHstmt->hDbc()) {
    SetHdbc(nullptr);
  }
}

void TCustomODDataSet::InternalHandleException() { HandleException(this); }

namespace {

[[maybe_unused]] const bool DataSetPublished = [] {
  const char* const cls = "TCustomODDataSet";
  RegisterPublishedClass(cls, "TDataSet");
  PublishProperty(cls, "hDbc", &TCustomODDataSet::hDbc, &TCustomODDataSet::SetHdbc);
  PublishProperty(cls, "hStmt", &TCustomODDataSet::hStmt, &TCustomODDataSet::SetHStmt);
  return true;
}();

}  // namespace
