#include <algorithm>

#include "db.h"

// ---- TDataSource ----------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!FDataLinks.empty()) FDataLinks.back()->SetDataSource(nullptr);
  if (FDataSet) FDataSet->RemoveDataSource(this);
  FDataSet = nullptr;
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) const {
  for (int hops = 0; DataSet && hops < 10000; ++hops) {
    TDataSource* source = DataSet->DataSource();
    if (!source) break;
    if (source == this) return true;
    DataSet = source->DataSet();
  }
  return false;
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (Value && IsLinkedTo(Value)) DatabaseError("Circular datalinks are not allowed", this);
  if (FDataSet) FDataSet->RemoveDataSource(this);
  FDataSet = Value;
  if (Value) Value->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateState();
}

void TDataSource::Edit() {
  if (FAutoEdit && FState == dsBrowse && FDataSet) FDataSet->Edit();
}

void TDataSource::AddDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  Link->FDataSource = this;
  if (FDataSet) FDataSet->UpdateBufferCount();
  Link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
  Link->FDataSource = nullptr;
  FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), Link), FDataLinks.end());
  Link->UpdateState();
  if (FDataSet && !FDataSet->ComponentState().Contains(csDestroying)) FDataSet->UpdateBufferCount();
}

void TDataSource::SetState(TDataSetState Value) {
  if (FState == Value) return;
  TDataSetState prior = FState;
  FState = Value;
  NotifyDataLinks(deUpdateState, 0);
  if (!ComponentState().Contains(csDestroying)) {
    if (OnStateChange) OnStateChange(this);
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
  }
}

void TDataSource::UpdateState() {
  SetState(FEnabled && FDataSet ? FDataSet->State() : dsInactive);
}

void TDataSource::NotifyDataLinks(TDataEvent Event, std::intptr_t Info) {
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* link : links)
    if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
      link->DataEvent(Event, Info);
}

void TDataSource::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (FState == dsInactive) return;
  NotifyDataLinks(Event, Info);
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default: break;
  }
}

// ---- TDataLink ------------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  FActive = false;
  FEditing = false;
  if (FDataSource) {
    TDataSource* source = FDataSource;
    FDataSource = nullptr;
    source->FDataLinks.erase(
        std::remove(source->FDataLinks.begin(), source->FDataLinks.end(), this),
        source->FDataLinks.end());
    if (source->FDataSet && !source->FDataSet->ComponentState().Contains(csDestroying))
      source->FDataSet->UpdateBufferCount();
  }
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (FDataSource) FDataSource->RemoveDataLink(this);
  if (Value) Value->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  UpdateState();
}

void TDataLink::UpdateState() {
  SetActive(FDataSource && FDataSource->State() != dsInactive);
  TDataSetState s = FDataSource ? FDataSource->State() : dsInactive;
  SetEditing((s == dsEdit || s == dsInsert || s == dsSetKey) && !FReadOnly);
}

void TDataLink::SetActive(bool Value) {
  if (FActive == Value) return;
  FActive = Value;
  if (Value)
    UpdateRange();
  else
    FFirstRecord = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
  if (FEditing == Value) return;
  FEditing = Value;
  EditingChanged();
}

void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  int lo = std::max(ds->FActiveRecord - FBufferCount + 1, 0);
  int hi = std::min(std::max(ds->FBufferCount - FBufferCount, 0), ds->FActiveRecord);
  if (FFirstRecord < lo) FFirstRecord = lo;
  if (FFirstRecord > hi) FFirstRecord = hi;
}

int TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  if (!ds || FDataSource->State() == dsSetKey) return 0;
  return ds->FActiveRecord - FFirstRecord;
}

void TDataLink::SetActiveRecord(int Value) {
  TDataSet* ds = DataSet();
  if (!ds || FDataSource->State() == dsSetKey) return;
  ds->FActiveRecord = std::clamp(Value + FFirstRecord, 0, std::max(ds->FRecordCount - 1, 0));
}

int TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (!ds) return 0;
  if (FDataSource->State() == dsSetKey) return 1;
  return std::clamp(ds->FRecordCount - FFirstRecord, 0, FBufferCount);
}

void TDataLink::SetBufferCount(int Value) {
  Value = std::max(Value, 1);
  if (FBufferCount == Value) return;
  FBufferCount = Value;
  if (FActive) {
    UpdateRange();
    if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
    UpdateRange();
  }
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TDataLink::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FActive) return;
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int count = 0;
      TDataSet* ds = DataSet();
      if (ds && FDataSource->State() != dsSetKey) {
        int active = ds->FActiveRecord;
        int first = FFirstRecord + (Event == deDataSetScroll ? int(Info) : 0);
        int last = first + FBufferCount - 1;
        if (active > last)
          count = active - last;
        else if (active < first)
          count = active - first;
        FFirstRecord = first + count;
      }
      if (Event == deDataSetChange)
        DataSetChanged();
      else if (Event == deDataSetScroll)
        DataSetScrolled(count);
      else
        LayoutChanged();
      break;
    }
    case deUpdateRecord: UpdateRecord(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    case deFocusControl: FocusControl(reinterpret_cast<TField**>(Info)); break;
    default: break;
  }
}
