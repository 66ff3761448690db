#include "datable.h"

#include "dafilteremitter.h"
#include "dasearch.h"
#include "dastrings.h"
#include "dialogs.h"
#include "dospath.h"
#include "enginequery.h"
#include "forms.h"
#include "published.h"
#include "text.h"

namespace {

// Sets a flag for the time of a scope and puts back what it was, however the scope ends.
struct TFlagScope {
  bool& Flag;
  const bool Saved;
  explicit TFlagScope(bool& f) : Flag(f), Saved(f) { Flag = true; }
  ~TFlagScope() { Flag = Saved; }
};

}  // namespace

TdaTable::TdaTable(TComponent* AOwner)
    : TTable(AOwner),
      FLookupFields(std::make_unique<TStringList>()),
      FLookupLinks(std::make_unique<TStringList>()),
      FControlType(std::make_unique<TStringList>()),
      FdaFilter(std::make_unique<TStringList>()),
      FQuery(std::make_unique<TStringList>()),
      FPictureMasks(std::make_unique<TStringList>()),
      FParadoxPictures(std::make_unique<TStringList>()) {}

TdaTable::~TdaTable() {
  // Closed here, while this class's steps still run.
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  FreeLookupTables();
}

// ---- properties -------------------------------------------------------------------------------

void TdaTable::SetLookupFields(TStrings* Value) { AssignLines(*FLookupFields, Value); }
void TdaTable::SetLookupLinks(TStrings* Value) { AssignLines(*FLookupLinks, Value); }
void TdaTable::SetControlType(TStrings* Value) { AssignLines(*FControlType, Value); }
void TdaTable::SetPictureMasks(TStrings* Value) { AssignLines(*FPictureMasks, Value); }

void TdaTable::SetdaFilter(TStrings* Value) {
  AssignLines(*FdaFilter, Value);
  if (!Active()) return;
  if (FInFilterCallback) {
    FExpressionPending = true;
    ScheduleFilterChange();
    return;
  }
  if (!SetFilterExpression(BuildFilterText(), this, FFilterHandle, false))
    MessageDlg("Fail to set filter", mtWarning, TMsgDlgButtons{mbOK}, 0);
}

void TdaTable::SetQuery(TStrings* Value) {
  if (Active()) SetActive(false);
  if (Value && Value->Count() > 0) {
    SetTableName("");
    SetIndexFieldNames("");
  }
  AssignLines(*FQuery, Value);
}

void TdaTable::SetTableName(const std::string& Value) {
  TTable::SetTableName(Value);
  if (!Value.empty()) FQuery->Clear();
}

void TdaTable::SetOnFilter(TdaTableFilterEvent Value) {
  if (FInFilterCallback) {
    // The handler that runs stays whole, and the engine's read goes on under the filters it
    // began with.
    FPendingOnFilter = std::move(Value);
    FOnFilterPending = true;
    ScheduleFilterChange();
    return;
  }
  FOnFilter = std::move(Value);
  InstallCallback();
}

bool TdaTable::InstallCallback(bool Reread) {
  TEngineFilterCallback callback;
  if (FOnFilter) callback = [this](std::intptr_t, const TEngineRecord& Record) { return FilterRecordCallback(Record); };
  return SetFilterCallback(std::move(callback), this, FFilterCallbackHandle, Reread);
}

void TdaTable::ScheduleFilterChange() {
  TEngineCursor* cursor = Handle();
  if (FFilterChangeScheduled || !cursor) return;
  FFilterChangeScheduled = true;
  cursor->AfterRead([this] { ApplyFilterChanges(); });
}

bool TdaTable::TakePendingOnFilter() {
  if (!FOnFilterPending) return false;
  FOnFilter = std::move(FPendingOnFilter);
  FPendingOnFilter = nullptr;
  FOnFilterPending = false;
  return true;
}

// Once the engine's read has ended, inside the data set's read still: the filters change, the
// records already read are not read again.
void TdaTable::ApplyFilterChanges() {
  FFilterChangeScheduled = false;
  bool ok = true;
  try {
    if (FExpressionPending) {
      FExpressionPending = false;
      try {
        ok = SetFilterExpression(BuildFilterText(), this, FFilterHandle, false, false);
      } catch (const EConvertError&) {
        ok = false;
      }
    }
    if (TakePendingOnFilter()) InstallCallback(false);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) MessageDlg("Fail to set filter", mtWarning, TMsgDlgButtons{mbOK}, 0);
}

void TdaTable::SetOnFilterOptions(TdaOnFilterOptions Value) {
  const bool was = FOnFilterOptions.Contains(ofoEnabled);
  FOnFilterOptions = Value;
  // Inside the filter the engine is in the middle of a read: the setting takes effect from the
  // next record on.
  if (was != Value.Contains(ofoEnabled) && Active() && FOnFilter && !FInFilterCallback) {
    UpdateCursorPos();
    Resync({});
  }
}

// ---- query cursor -----------------------------------------------------------------------------

void TdaTable::OpenCursor(bool InfoQuery) {
  if (FQuery->Count() > 0) {
    std::string first = AnsiLowerCase(FQuery->Strings(0));
    first = first.substr(0, first.find(' '));
    FQueryLanguage = first == "query" ? "QBE" : "SQL";
  }
  TTable::OpenCursor(InfoQuery);
}

std::unique_ptr<TEngineTable> TdaTable::CreateHandle() {
  if (FQuery->Count() == 0) return TTable::CreateHandle();
  SetTableName("");
  SetIndexFieldNames("");
  return OpenQueryCursor();
}

std::unique_ptr<TEngineTable> TdaTable::OpenQueryCursor() {
  const bool sql = FQueryLanguage != "QBE";
  const std::string text = JoinQueryLines(*FQuery, sql);
  std::unique_ptr<TEngineTable> answer;
  try {
    TEngineQuery query(DatabaseName().empty() ? std::string() : MapDosPath(DatabaseName()), sql ? qlSQL : qlQBE);
    query.Prepare(text);
    Screen->SetCursor(crHourGlass);
    answer = query.Execute();
  } catch (...) {
    Screen->SetCursor(crDefault);
    throw;
  }
  Screen->SetCursor(crDefault);
  return answer;
}

void TdaTable::CloseCursor() {
  // Changes left for a read that will not end on this cursor: the next one starts with them.
  TakePendingOnFilter();
  FExpressionPending = false;
  FFilterChangeScheduled = false;
  FreeLookupTables();
  FFailedLookups.clear();
  TTable::CloseCursor();
  // The cursor took its filters with it.
  FFilterHandle = 0;
  FFilterCallbackHandle = 0;
  if (FQuery->Count() > 0) TTable::SetTableName("");
}

void TdaTable::FreeLookupTables() {
  while (!FLookupTables.empty()) {
    TdaTable* t = FLookupTables.back();
    FLookupTables.pop_back();
    delete t;
  }
}

// ---- filter -----------------------------------------------------------------------------------

std::string TdaTable::BuildFilterText() const {
  std::string text;
  for (int i = 0; i < FdaFilter->Count(); ++i) {
    std::string line = FdaFilter->Strings(i);
    StripTrailingChars(line, "\t ");
    if (line.empty()) continue;
    text += text.empty() ? line : " AND (" + line + ")";
  }
  return text;
}

void TdaTable::PrepareCursor() {
  TTable::PrepareCursor();
  TFlagScope preparing(FInPrepareCursor);
  if (!BuildFilterText().empty() || FOnFilter) InstallFilter();
}

// Lines that cannot be installed are said as the setter says it, and the table opens
// unfiltered by them; the handler is installed all the same, and then the message names the
// lines, so that it is clear which filter holds.
bool TdaTable::InstallFilter() {
  const std::string text = BuildFilterText();
  bool ok;
  try {
    ok = SetFilterExpression(text, this, FFilterHandle, FInPrepareCursor);
  } catch (const EConvertError&) {
    ok = false;
  }
  const bool handler = FOnFilter && InstallCallback();
  if (!ok)
    MessageDlg(handler ? "Fail to set filter " + text + "; the OnFilter handler filters alone" : "Fail to set filter",
               mtWarning, TMsgDlgButtons{mbOK}, 0);
  else if (FOnFilter && !handler)
    MessageDlg("Fail to set filter: the OnFilter handler", mtWarning, TMsgDlgButtons{mbOK}, 0);
  return ok;
}

bool TdaTable::FilterRecordCallback(const TEngineRecord& Record) {
  if (ComponentState().Contains(csDestroying) || !FOnFilter || FInFilterEvent ||
      !FOnFilterOptions.Contains(ofoEnabled))
    return true;
  TFlagScope inCallback(FInFilterCallback);
  bool accept = true;
  {
    TFlagScope inEvent(FInFilterEvent);
    WithRecordUnderTest(Record, [&] { FOnFilter(this, accept); });
  }
  if (FOnFilterOptions.Contains(ofoShowHourGlass) && !FHourGlassShown && !accept) {
    if (Screen->Cursor() != crHourGlass) Screen->SetCursor(crHourGlass);
    FHourGlassShown = true;
  }
  if (FOnFilterOptions.Contains(ofoCancelOnEscape)) {
    if (++FFilterCallCount >= 32000) FFilterCallCount = 0;
    if (FFilterCallCount % 100 == 0 && EscapePressed(this) && OnFilterEscape) OnFilterEscape(this);
  }
  return accept;
}

void TdaTable::RestoreFilterCursor() {
  if (FOnFilterOptions.Contains(ofoShowHourGlass) && FHourGlassShown && Screen->Cursor() != crArrow) {
    Screen->SetCursor(crArrow);
    FHourGlassShown = false;
  }
}

int TdaTable::GetNextRecords() {
  const int n = TTable::GetNextRecords();
  RestoreFilterCursor();
  return n;
}

void TdaTable::DataEvent(TDataEvent Event, std::intptr_t Info) {
  TTable::DataEvent(Event, Info);
  // Another table file (name, folder or type): its own pictures are read at the next need.
  if (Event == dePropertyChange) FParadoxPicturesPending = true;
  RestoreFilterCursor();
}

bool TdaTable::IsSequenced() {
  return TTable::IsSequenced() && !FOnFilter && BuildFilterText().empty();
}

// ---- posting and calculated fields -----------------------------------------------------------

void TdaTable::DoBeforePost() {
  TTable::DoBeforePost();
  if (FValidateWithMask) ValidateMasks(this, OnInvalidValue);
}

void TdaTable::DoOnCalcFields() {
  PruneLookupLists(this, FLookupFields.get(), FLookupLinks.get(), FControlType.get());
  FillLookupFields(this, FLookupFields.get(), FLookupLinks.get(), FLookupTables);
  TTable::DoOnCalcFields();
}

// ---- key search over lookup values ---------------------------------------------------------

bool TdaTable::FindKeyByLookupValues(const std::vector<std::string>& Values, int Last) {
  const int keyCount = IndexFieldCount();
  if (keyCount == 0 || Last < 0 || Values.empty()) return false;
  if (Last >= keyCount) {
    MessageDlg("Table " + Name() + ": FindKey has too many lookup values for index " + IndexName(), mtWarning,
               TMsgDlgButtons{mbOK}, 0);
    return false;
  }
  Last = std::min(Last, int(Values.size()) - 1);
  // A folder of local tables is never SQL-based, so SyncSQLByRange has no range search to do.
  if (FNarrowSearch) CancelRange();
  bool current = !IsEmpty();
  for (int i = 0; current && i <= Last; ++i)
    current = AnsiLowerCase(Values[size_t(i)]) == AnsiLowerCase(IndexFields(i)->Text());
  if (current) return true;
  return FindKeyTexts(this, std::vector<std::string>(Values.begin(), Values.begin() + Last + 1), false);
}

std::string TdaTable::FindIndexForFields(const std::string& Fields) {
  TIndexDefs* defs = IndexDefs();
  if (defs->Count() == 0 || defs->Items(0)->Name() == Name() + "Index0") {
    defs->SetUpdated(false);
    defs->Update();
  }
  const std::string wanted = AnsiUpperCase(Fields);
  // Case-insensitive before case-sensitive, equal lists before longer ones.
  for (int pass = 0; pass < 4; ++pass) {
    const bool caseInsensitive = pass % 2 == 0;
    const bool equal = pass < 2;
    for (int i = 0; i < defs->Count(); ++i) {
      TIndexDef* d = defs->Items(i);
      if (d->Options().Contains(ixCaseInsensitive) != caseInsensitive) continue;
      const std::string have = AnsiUpperCase(d->Fields());
      const bool hit = equal ? have == wanted
                             : have.size() > wanted.size() && have.compare(0, wanted.size(), wanted) == 0 &&
                                   have[wanted.size()] == ';';
      if (hit) return d->Name();
    }
  }
  return "?";
}

// ---- Paradox pictures -------------------------------------------------------------------------

bool TdaTable::IsParadoxTable() const {
  if (TableType() != ttDefault) return TableType() == ttParadox;
  const std::string name = AnsiLowerCase(TableName());
  return name.find(".db") != std::string::npos && name.back() == 'b';
}

void TdaTable::LoadParadoxPictures() {
  if (!FParadoxPicturesPending || !IsParadoxTable()) return;
  if (!Active() && ComponentState().Contains(csDesigning)) return;
  std::vector<TEngineValidityCheck> checks;
  std::vector<TEngineFieldDef> defs;
  try {
    // Matched against the file's field definitions, so that they load while the table is
    // closed as well.
    std::unique_ptr<TEngineTable> own;
    TEngineTable* t = EngineTable();
    if (!t) {
      own = std::make_unique<TEngineTable>(TableFileName(), true);
      t = own.get();
    }
    checks = t->ValidityChecks();
    defs = t->FieldDefs();
  } catch (const Exception&) {
    return;  // no table file yet: asked again next time
  }
  FParadoxPicturesPending = false;
  FParadoxPictures->Clear();
  for (const TEngineValidityCheck& c : checks)
    if (c.FieldNo >= 1 && size_t(c.FieldNo) <= defs.size() && !c.Picture.empty())
      FParadoxPictures->Add(defs[size_t(c.FieldNo - 1)].Name + "\t" + c.Picture);
}

std::string TdaTable::GetParadoxPicture(const std::string& FieldName) {
  if (!IsParadoxTable()) return "";
  LoadParadoxPictures();
  for (int i = 0; i < FParadoxPictures->Count(); ++i) {
    const std::string line = FParadoxPictures->Strings(i);
    const size_t tab = line.find('\t');
    if (line.compare(0, tab, FieldName) == 0 && tab == FieldName.size()) return line.substr(tab + 1);
  }
  return "";
}

// ---- published properties ---------------------------------------------------------------------

namespace {

[[maybe_unused]] const bool TdaTablePropsRegistered = [] {
  using T = TdaTable;
  RegisterPublishedClass("TdaTable", "TTable");
  PublishProperty("TdaTable", "LookupFields", &T::LookupFields, &T::SetLookupFields);
  PublishProperty("TdaTable", "LookupLinks", &T::LookupLinks, &T::SetLookupLinks);
  PublishProperty("TdaTable", "ControlType", &T::ControlType, &T::SetControlType);
  PublishProperty("TdaTable", "PictureMasks", &T::PictureMasks, &T::SetPictureMasks);
  PublishProperty("TdaTable", "daFilter", &T::daFilter, &T::SetdaFilter);
  PublishProperty("TdaTable", "SyncSQLByRange", &T::SyncSQLByRange, &T::SetSyncSQLByRange).Default = false;
  PublishProperty("TdaTable", "NarrowSearch", &T::NarrowSearch, &T::SetNarrowSearch).Default = false;
  PublishProperty("TdaTable", "NarrowSearchUpperChar", &T::NarrowSearchUpperChar, &T::SetNarrowSearchUpperChar)
      .Default = std::int64_t(255);
  PublishProperty("TdaTable", "Query", &T::Query, &T::SetQuery);
  PublishProperty<T, const std::string&, const std::string&>("TdaTable", "TableName", &T::TableName,
                                                               &T::SetTableName);
  PublishProperty("TdaTable", "ValidateWithMask", &T::ValidateWithMask, &T::SetValidateWithMask);
  PublishSetProperty("TdaTable", "OnFilterOptions", OnFilterOptionNames, &T::OnFilterOptions, &T::SetOnFilterOptions)
      .Default = TPropSet{{"ofoEnabled", "ofoShowHourGlass"}};
  return true;
}();

}  // namespace
