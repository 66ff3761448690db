#include <algorithm>
#include <cstring>

#include "db.h"
#include "text.h"

void DatabaseError(const std::string& Message, TComponent* Component) {
  if (Component && !Component->Name().empty())
    throw EDatabaseError(Component->Name() + ": " + Message);
  throw EDatabaseError(Message);
}

namespace {

constexpr int MaxBufferCount = 1024;

// Runs Cleanup when an exception leaves the scope; the error that is passing on wins over one
// from the cleanup.
template <class F>
void OnFailure(F&& Cleanup) {
  try {
    Cleanup();
  } catch (...) {
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner),
      FFieldDefs(std::make_unique<TFieldDefs>(this)),
      FFields(std::make_unique<TFields>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // A descendant has closed already; what is left here can only run this class's steps.
  if (FState != dsInactive) {
    try {
      SetActive(false);
    } catch (...) {
    }
  }
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
  FFields->Clear();
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

// ---- opening and closing --------------------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (Active() == Value && FState != dsOpening) return;
  if (Value) {
    DoBeforeOpen();
    try {
      OpenCursor(false);
    } catch (...) {
      if (FState != dsOpening) OnFailure([&] { OpenCursorComplete(); });
      throw;
    }
    if (FState != dsOpening) OpenCursorComplete();
  } else {
    bool destroying = ComponentState().Contains(csDestroying);
    if (!destroying) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (!destroying) DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery)
    InternalInitFieldDefs();
  else if (FState != dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  FInternalOpenComplete = false;
  FDefaultFields = FieldCount() == 0;
  InternalOpen();
  FInternalOpenComplete = true;
  UpdateBufferCount();
  FBOF = true;
}

void TDataSet::OpenCursorComplete() {
  if (FInternalOpenComplete) {
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  FBlockReadSize = 0;
  FInternalOpenComplete = false;
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  InternalClose();
  FBufferCount = 0;
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset",
                               const_cast<TDataSet*>(this));
}

void TDataSet::CheckInactive() const {
  if (Active() || FState == dsOpening)
    DatabaseError("Cannot perform this operation on an open dataset", const_cast<TDataSet*>(this));
}

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset", this);
}

// ---- fields ---------------------------------------------------------------------------------

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  try {
    OpenCursor(true);
  } catch (...) {
    OnFailure([&] { CloseCursor(); });
    throw;
  }
  CloseCursor();
}

void TDataSet::CreateFields() {
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* def = FFieldDefs->Items(i);
    if (def->DataType() != ftUnknown) def->CreateField(this);
  }
}

void TDataSet::DestroyFields() { FFields->Clear(); }

namespace {

int TypeFamily(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: return 1;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob: return 2;
    case ftBytes: case ftVarBytes: return 3;
    default: return 100 + int(t);
  }
}

}  // namespace

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FInternalCalcFields = false;
  for (int i = 0; i < FFields->Count(); ++i) {
    TField* f = FFields->Fields(i);
    if (!Binding) {
      f->FFieldNo = 0;
      f->FOffset = 0;
      continue;
    }
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      f->FFieldNo = -1;
      f->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += f->DataSize() + 1;
      continue;
    }
    int d = FFieldDefs->IndexOf(f->FieldName());
    if (d < 0) DatabaseError("Field '" + f->DisplayName() + "' not found", this);
    TFieldDef* def = FFieldDefs->Items(d);
    if (TypeFamily(def->DataType()) != TypeFamily(f->DataType()) &&
        !(f->DataType() == ftAutoInc && def->DataType() == ftInteger) &&
        !(f->DataType() == ftInteger && def->DataType() == ftAutoInc))
      DatabaseError(std::string("Type mismatch for field '") + f->DisplayName() +
                        "', expecting: " + (FieldTypeName(f->DataType()) + 2) +
                        " actual: " + (FieldTypeName(def->DataType()) + 2),
                    this);
    f->FFieldNo = def->FieldNo();
    if (f->FieldKind() == fkInternalCalc) FInternalCalcFields = true;
  }
}

TField* TDataSet::FindField(std::string_view FieldName) const {
  return FFields->FindField(FieldName);
}

TField* TDataSet::FieldByName(std::string_view FieldName) const {
  TField* f = FFields->FindField(FieldName);
  if (!f) DatabaseError("Field '" + std::string(FieldName) + "' not found", const_cast<TDataSet*>(this));
  return f;
}

TField* TDataSet::FieldByNumber(int FieldNo) const { return FFields->FieldByNumber(FieldNo); }

namespace {

std::vector<std::string> SplitFieldNames(std::string_view Names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= Names.size()) {
    size_t end = Names.find(';', start);
    if (end == std::string_view::npos) end = Names.size();
    std::string name = Trim(Names.substr(start, end - start));
    if (!name.empty()) out.push_back(name);
    start = end + 1;
  }
  return out;
}

}  // namespace

void TDataSet::GetFieldList(std::vector<TField*>& List, std::string_view FieldNames) const {
  for (const std::string& name : SplitFieldNames(FieldNames)) List.push_back(FieldByName(name));
}

void TDataSet::GetFieldNames(TStrings* List) const {
  List->BeginUpdate();
  try {
    List->Clear();
    if (FFields->Count() > 0) {
      for (int i = 0; i < FFields->Count(); ++i) List->Add(FFields->Fields(i)->FieldName());
    } else {
      const_cast<TFieldDefs*>(FFieldDefs.get())->Update();
      for (int i = 0; i < FFieldDefs->Count(); ++i) List->Add(FFieldDefs->Items(i)->Name());
    }
  } catch (...) {
    List->EndUpdate();
    throw;
  }
  List->EndUpdate();
}

Variant TDataSet::GetFieldValue(std::string_view FieldName) const {
  if (FieldName.find(';') == std::string_view::npos) return FieldByName(FieldName)->AsVariant();
  std::vector<TField*> list;
  GetFieldList(list, FieldName);
  std::vector<Variant> values;
  for (TField* f : list) values.push_back(f->AsVariant());
  return VarArrayOf(std::move(values));
}

void TDataSet::SetFieldValue(std::string_view FieldName, const Variant& Value) {
  if (FieldName.find(';') == std::string_view::npos) {
    FieldByName(FieldName)->SetAsVariant(Value);
    return;
  }
  std::vector<TField*> list;
  GetFieldList(list, FieldName);
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetAsVariant(Value[int(i)]);
}

bool TDataSet::GetFieldData(TField* Field, void* Buffer) { return false; }

void TDataSet::SetFieldData(TField* Field, const void* Buffer) {}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  return nullptr;
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                   std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
}

void TDataSet::CheckRequiredFields() {
  for (int i = 0; i < FFields->Count(); ++i) {
    TField* f = FFields->Fields(i);
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData &&
        f->DataType() != ftAutoInc && f->IsNull()) {
      f->FocusControl();
      DatabaseError("Field '" + f->DisplayName() + "' must have a value");
    }
  }
}

// ---- state ----------------------------------------------------------------------------------

void TDataSet::SetState(TDataSetState Value) {
  if (FState != Value) {
    FState = Value;
    FModified = false;
    DataEvent(deUpdateState, 0);
  }
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  ++FDisableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  --FDisableCount;
}

// ---- the buffer ring ------------------------------------------------------------------------

TRecordBuffer TDataSet::TempBuffer() const {
  if (int(FBuffers.size()) <= FBufferCount) return nullptr;
  return FBuffers[size_t(FBufferCount)];
}

void TDataSet::SetBufListSize(int Value) {
  while (int(FBuffers.size()) > Value) {
    TRecordBuffer b = FBuffers.back();
    FBuffers.pop_back();
    FreeRecordBuffer(b);
  }
  while (int(FBuffers.size()) < Value) {
    TRecordBuffer b = AllocRecordBuffer();
    FBuffers.push_back(b);
  }
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  TRecordBuffer b = FBuffers[size_t(CurIndex)];
  FBuffers.erase(FBuffers.begin() + CurIndex);
  FBuffers.insert(FBuffers.begin() + NewIndex, b);
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FCurrentRecord = 0;
  FBOF = false;
  FEOF = false;
}

void TDataSet::SetBufferCount(int Value) {
  Value = std::clamp(Value, 1, MaxBufferCount);
  if (Value == FBufferCount) return;
  int dropped = 0;
  if (FRecordCount > Value) {
    // Keep the active record: drop records before it first, then from the end.
    dropped = std::min(FRecordCount - Value, FActiveRecord);
    for (int i = 0; i < dropped; ++i) MoveBuffer(0, FRecordCount - 1);
    FActiveRecord -= dropped;
    FRecordCount = Value;
    CursorPosChanged();
  }
  // The temp buffer sits after the ring; a buffer that leaves the ring becomes temp or is freed.
  SetBufListSize(Value + 1);
  FBufferCount = Value;
  for (TDataSource* ds : FDataSources)
    for (TDataLink* link : ds->FDataLinks) {
      link->FFirstRecord -= dropped;
      link->UpdateRange();
    }
  if (FInternalOpenComplete && FState != dsInsert) {
    GetNextRecords();
    int prior = GetPriorRecords();
    for (TDataSource* ds : FDataSources)
      for (TDataLink* link : ds->FDataLinks) {
        link->FFirstRecord += prior;
        link->UpdateRange();
      }
  }
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  int count = 1;
  for (TDataSource* ds : FDataSources)
    for (TDataLink* link : ds->FDataLinks) count = std::max(count, link->BufferCount());
  SetBufferCount(count);
}

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer b = FBuffers[size_t(Index)];
  switch (GetBookmarkFlag(b)) {
    case bfCurrent:
    case bfInserted: InternalSetToRecord(b); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (FRecordCount > 0) {
    SetCurrentRecord(FRecordCount - 1);
    if (FState == dsInsert && FCurrentRecord == FActiveRecord &&
        GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  bool ok = GetRecord(FBuffers[size_t(FRecordCount)], mode, true) == grOK;
  if (ok) {
    if (FRecordCount == 0)
      ActivateBuffers();
    else if (FRecordCount < FBufferCount)
      ++FRecordCount;
    else
      MoveBuffer(0, FRecordCount);
    FCurrentRecord = FRecordCount - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  bool ok = GetRecord(FBuffers[size_t(FRecordCount)], gmPrior, true) == grOK;
  if (ok) {
    if (FRecordCount == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(FRecordCount, 0);
      if (FRecordCount < FBufferCount) {
        ++FRecordCount;
        ++FActiveRecord;
      }
    }
    FCurrentRecord = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::Resync(TResyncMode Mode) {
  TRecordBuffer spare = FBuffers[size_t(FRecordCount)];
  if (Mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError("Record not found", this);
  } else if (GetRecord(spare, gmCurrent, false) != grOK &&
             GetRecord(spare, gmNext, false) != grOK &&
             GetRecord(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = Mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  MoveBuffer(FRecordCount, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    OnFailure([&] { DataEvent(deDataSetChange, 0); });
    throw;
  }
  DataEvent(deDataSetChange, 0);
}

// ---- navigation -----------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    FBOF = true;
    OnFailure([&] { DataEvent(deDataSetChange, 0); });
    throw;
  }
  FBOF = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    FEOF = true;
    OnFailure([&] { DataEvent(deDataSetChange, 0); });
    throw;
  }
  FEOF = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
    FBOF = false;
    FEOF = false;
    int oldRecordCount = FRecordCount;
    int scrolled = 0;  // how far the records moved inside the ring
    auto notify = [&] {
      if (FRecordCount != oldRecordCount)
        DataEvent(deDataSetChange, 0);
      else
        DataEvent(deDataSetScroll, scrolled);
    };
    try {
      while (Distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          int before = FRecordCount;
          if (!GetNextRecord()) {
            FEOF = true;
            break;
          }
          if (before == FRecordCount) --scrolled;
          FActiveRecord = FRecordCount - 1;
        }
        --Distance;
        ++result;
      }
      while (Distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          int before = FRecordCount;
          if (!GetPriorRecord()) {
            FBOF = true;
            break;
          }
          if (before == FRecordCount) ++scrolled;
          FActiveRecord = 0;
        }
        ++Distance;
        --result;
      }
    } catch (...) {
      OnFailure(notify);
      throw;
    }
    notify();
    DoAfterScroll();
  }
  return result;
}

// ---- editing --------------------------------------------------------------------------------

void TDataSet::CheckOperation(const std::function<void()>& Operation,
                              const TDataSetErrorEvent& ErrorEvent) {
  for (;;) {
    try {
      UpdateCursorPos();
      Operation();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (ErrorEvent) ErrorEvent(this, E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    OnFailure([&] {
      UpdateCursorPos();
      FreeFieldBuffers();
      SetState(dsBrowse);
      Resync({});
    });
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  std::vector<char> current(size_t(std::max(FBookmarkSize, 1)));
  bool hasCurrent = FRecordCount > 0;
  if (hasCurrent) GetBookmarkData(ActiveBuffer(), current.data());
  MoveBuffer(FRecordCount, FActiveRecord);
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (!hasCurrent)
    SetBookmarkFlag(buffer, bfBOF);
  else
    SetBookmarkData(buffer, current.data());
  if (FRecordCount < FBufferCount) ++FRecordCount;
  CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = FBuffers[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  FRecordCount = 1;
  FBOF = false;
  GetPriorRecords();
  InternalLast();
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  CheckRequiredFields();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  UpdateCursorPos();
  if (FState == dsEdit) InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterCancel();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError("Cannot perform this operation on an empty dataset", this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::Refresh() {
  DoBeforeRefresh();
  CheckBrowseMode();
  UpdateCursorPos();
  try {
    InternalRefresh();
  } catch (...) {
    OnFailure([&] { Resync({}); });
    throw;
  }
  Resync({});
  DoAfterRefresh();
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) { AddRecord(Values, false); }

void TDataSet::AppendRecord(const std::vector<Variant>& Values) { AddRecord(Values, true); }

void TDataSet::AddRecord(const std::vector<Variant>& Values, bool Append) {
  BeginInsertAppend();
  if (!Append) UpdateCursorPos();
  DisableControls();
  try {
    MoveBuffer(FRecordCount, FActiveRecord);
    try {
      TRecordBuffer buffer = ActiveBuffer();
      InitRecord(buffer);
      FState = dsInsert;
      try {
        DoOnNewRecord();
        DoAfterInsert();
        SetFields(Values);
        DoBeforePost();
        CheckRequiredFields();
        InternalAddRecord(buffer, Append);
      } catch (...) {
        FreeFieldBuffers();
        FState = dsBrowse;
        FModified = false;
        throw;
      }
      FreeFieldBuffers();
      FState = dsBrowse;
      FModified = false;
    } catch (...) {
      MoveBuffer(FActiveRecord, FRecordCount);
      throw;
    }
    Resync({});
    DoAfterPost();
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) Edit();
  for (size_t i = 0; i < Values.size() && int(i) < FFields->Count(); ++i) {
    const Variant& v = Values[i];
    if (v.IsEmpty()) continue;
    FFields->Fields(int(i))->SetAsVariant(v);
  }
}

void TDataSet::ClearFields() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    DatabaseError("Dataset not in edit or insert mode", this);
  DataEvent(deCheckBrowseMode, 0);
  InternalInitRecord(ActiveBuffer());
  if (FState != dsSetKey) GetCalcFields(ActiveBuffer());
  DataEvent(deRecordChange, 0);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey: Post(); break;
    default: break;
  }
}

void TDataSet::UpdateRecord() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    DatabaseError("Dataset not in edit or insert mode", this);
  DataEvent(deUpdateRecord, 0);
}

TUpdateStatus TDataSet::UpdateStatus() {
  if (FState == dsInsert) return usInserted;
  return usUnmodified;
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

// ---- calculated fields ----------------------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize == 0 && !FInternalCalcFields) return;
  WithTempState(dsCalcFields, [&] { CalculateFields(Buffer); });
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState != dsInternalCalc) {
    ClearCalcFields(Buffer);
    for (int i = 0; i < FFields->Count(); ++i) {
      TField* f = FFields->Fields(i);
      if (f->FieldKind() == fkLookup) CalcLookupValue(f);
    }
  }
  DoOnCalcFields();
}

void TDataSet::CalcLookupValue(TField* Field) {
  TDataSet* lookup = Field->LookupDataSet();
  if (!lookup || !lookup->Active() || Field->KeyFields().empty() ||
      Field->LookupKeyFields().empty() || Field->LookupResultField().empty())
    return;
  Variant keys = GetFieldValue(Field->KeyFields());
  Variant value = lookup->Lookup(Field->LookupKeyFields(), keys, Field->LookupResultField());
  if (!value.IsNull() && !value.IsEmpty()) Field->SetAsVariant(value);
}

void TDataSet::UpdateCalcFields() {
  if ((FState == dsEdit || FState == dsInsert) && FAutoCalcFields &&
      (FCalcFieldsSize > 0 || FInternalCalcFields))
    GetCalcFields(ActiveBuffer());
}

// ---- controls and links ---------------------------------------------------------------------

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount == 0) {
    if (FDisableState != FState) DataEvent(deUpdateState, 0);
    if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
  }
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
  // Bounded by the number of hops, so that a cycle elsewhere cannot hang the test.
  for (int hops = 0; DataSource && hops < 10000; ++hops) {
    TDataSet* ds = DataSource->DataSet();
    if (!ds) break;
    if (ds == this) return true;
    DataSource = ds->DataSource();
  }
  return false;
}

void TDataSet::DataEvent(TDataEvent Event, std::intptr_t Info) {
  switch (Event) {
    case deFieldChange: {
      auto* f = reinterpret_cast<TField*>(Info);
      if (f && (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc) &&
          (FState == dsEdit || FState == dsInsert || FState == dsSetKey))
        SetModified(true);
      UpdateCalcFields();
      if (f) f->Change();
      break;
    }
    case dePropertyChange: FFieldDefs->SetUpdated(false); break;
    default: break;
  }
  if (FDisableCount == 0 && FState != dsBlockRead) {
    std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* ds : sources)
      if (std::find(FDataSources.begin(), FDataSources.end(), ds) != FDataSources.end())
        ds->DataEvent(Event, Info);
  } else if ((Event == deUpdateState && FState == dsInactive) || Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
}

void TDataSet::AddDataSource(TDataSource* Source) {
  FDataSources.push_back(Source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* Source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), Source),
                     FDataSources.end());
  if (!ComponentState().Contains(csDestroying)) UpdateBufferCount();
}

// ---- bookmarks ------------------------------------------------------------------------------

TBookmark TDataSet::AllocBookmark() const {
  return new char[size_t(std::max(FBookmarkSize, 1))]();
}

TBookmark TDataSet::GetBookmark() {
  if ((FState == dsBrowse || FState == dsEdit || FState == dsInsert) && !IsEmpty() &&
      GetBookmarkFlag(ActiveBuffer()) == bfCurrent) {
    TBookmark b = AllocBookmark();
    GetBookmarkData(ActiveBuffer(), b);
    return b;
  }
  return nullptr;
}

void TDataSet::GotoBookmark(const void* Bookmark) {
  if (!Bookmark) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark);
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

void TDataSet::FreeBookmark(TBookmark& Bookmark) {
  delete[] Bookmark;
  Bookmark = nullptr;
}

bool TDataSet::BookmarkValid(const void* Bookmark) { return false; }

int TDataSet::CompareBookmarks(const void* Bookmark1, const void* Bookmark2) {
  if (!Bookmark1 && !Bookmark2) return 0;
  if (!Bookmark1) return -1;
  if (!Bookmark2) return 1;
  int c = std::memcmp(Bookmark1, Bookmark2, size_t(FBookmarkSize));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// ---- searching and filtering ----------------------------------------------------------------

bool TDataSet::FieldMatches(TField* Field, const Variant& Value, TLocateOptions Options) {
  try {
    if (Value.IsNull() || Value.IsEmpty()) return Field->IsNull();
    if (Field->IsNull()) return false;
    switch (Field->DataType()) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
      case ftMemo:
      case ftFmtMemo: {
        std::string text = Field->AsString(), key = Value.AsString();
        if (Options.Contains(loCaseInsensitive)) {
          text = AnsiUpperCase(text);
          key = AnsiUpperCase(key);
        }
        if (Options.Contains(loPartialKey)) return text.compare(0, key.size(), key) == 0;
        return text == key;
      }
      case ftSmallint:
      case ftInteger:
      case ftWord:
      case ftAutoInc:
      case ftLargeint: {
        const std::int64_t key = Value.AsInt64();
        // The conversion rounds: a key with a fraction (2.5) matches no whole number.
        const std::uint16_t type = Value.VarType();
        if ((type == varDouble || type == varDate || type == varCurrency || type == varString) &&
            double(key) != Value.AsDouble())
          return false;
        return Field->AsLargeInt() == key;
      }
      case ftBoolean: return Field->AsBoolean() == Value.AsBoolean();
      case ftFloat: return Field->AsFloat() == Value.AsDouble();
      case ftCurrency:
      case ftBCD: return Field->AsCurrency() == Value.AsCurrency();
      case ftDate:
      case ftTime:
      case ftDateTime: return Field->AsDateTime() == Value.AsDateTime();
      default: return Field->AsString() == Value.AsString();
    }
  } catch (const Exception&) {
    // Whatever the comparison raised (a key that does not convert, a value that cannot be
    // read), this record is no match and the search goes on.
    return false;
  }
}

bool TDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                            TLocateOptions Options, TRecordBuffer Buffer) {
  CheckBrowseMode();
  CursorPosChanged();
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  if (fields.empty()) return false;
  if (!Buffer) Buffer = TempBuffer();
  bool found = false;
  DisableControls();
  try {
    InternalFirst();
    while (!found && GetRecord(Buffer, gmNext, true) == grOK) {
      WithTempState(dsCalcFields, [&] {
        FCalcBuffer = Buffer;
        found = true;
        for (size_t i = 0; i < fields.size() && found; ++i) {
          Variant key;
          if (fields.size() == 1 && !KeyValues.IsArray()) {
            key = KeyValues;
          } else if (KeyValues.IsArray() && int(i) < KeyValues.ArrayCount()) {
            key = KeyValues[int(i)];
          } else {
            found = false;
            break;
          }
          found = FieldMatches(fields[i], key, Options);
        }
      });
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  return found;
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
  CheckBrowseMode();
  if (IsEmpty()) return false;
  if (!LocateRecord(KeyFields, KeyValues, Options, TempBuffer())) return false;
  std::vector<char> bookmark(size_t(std::max(FBookmarkSize, 1)));
  GetBookmarkData(TempBuffer(), bookmark.data());
  GotoBookmark(bookmark.data());
  return true;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
  Variant result = Null();
  CheckBrowseMode();
  if (IsEmpty()) return result;
  if (!LocateRecord(KeyFields, KeyValues, {}, TempBuffer())) return result;
  WithTempState(dsCalcFields, [&] {
    CalculateFields(TempBuffer());
    result = GetFieldValue(ResultFields);
  });
  return result;
}

void TDataSet::SetFiltered(bool Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFiltered = Value;
}

void TDataSet::SetFilterText(const std::string& Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFilterText = Value;
}

void TDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFilterOptions = Value;
}

void TDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FOnFilterRecord = Value;
}

// ---- event steps ----------------------------------------------------------------------------

#define ZEL_DO_EVENT(Step, Event) \
  void TDataSet::Step() {         \
    if (Event) Event(this);       \
  }
ZEL_DO_EVENT(DoBeforeOpen, BeforeOpen)
ZEL_DO_EVENT(DoAfterOpen, AfterOpen)
ZEL_DO_EVENT(DoBeforeClose, BeforeClose)
ZEL_DO_EVENT(DoAfterClose, AfterClose)
ZEL_DO_EVENT(DoBeforeInsert, BeforeInsert)
ZEL_DO_EVENT(DoAfterInsert, AfterInsert)
ZEL_DO_EVENT(DoBeforeEdit, BeforeEdit)
ZEL_DO_EVENT(DoAfterEdit, AfterEdit)
ZEL_DO_EVENT(DoBeforePost, BeforePost)
ZEL_DO_EVENT(DoAfterPost, AfterPost)
ZEL_DO_EVENT(DoBeforeCancel, BeforeCancel)
ZEL_DO_EVENT(DoAfterCancel, AfterCancel)
ZEL_DO_EVENT(DoBeforeDelete, BeforeDelete)
ZEL_DO_EVENT(DoAfterDelete, AfterDelete)
ZEL_DO_EVENT(DoBeforeScroll, BeforeScroll)
ZEL_DO_EVENT(DoAfterScroll, AfterScroll)
ZEL_DO_EVENT(DoBeforeRefresh, BeforeRefresh)
ZEL_DO_EVENT(DoAfterRefresh, AfterRefresh)
ZEL_DO_EVENT(DoOnCalcFields, OnCalcFields)
ZEL_DO_EVENT(DoOnNewRecord, OnNewRecord)
#undef ZEL_DO_EVENT
