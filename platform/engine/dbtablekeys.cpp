// The table's key buffers: key searches and ranges in the current index.
#include "dbtables.h"

void TTable::FreeKeyBuffers() {
  SetActiveKeyBuffer(nullptr);
  for (auto& k : FKeyBuffers) {
    if (k.Data) FreeRecordBuffer(k.Data);
    k = TKeyBuffer{};
  }
}

void TTable::InitKeyBuffer(TKeyBuffer& Buffer) {
  InternalInitRecord(Buffer.Data);
  Buffer.Modified = false;
  Buffer.Exclusive = false;
  Buffer.FieldCount = IndexFieldCount();
}

void TTable::CopyKeyBuffer(TKeyIndex From, TKeyIndex To) {
  TKeyBuffer& from = FKeyBuffers[From];
  TKeyBuffer& to = FKeyBuffers[To];
  RecordToBuffer(TEngineRecord{0, BufferToValues(from.Data)}, to.Data);
  to.Modified = from.Modified;
  to.Exclusive = from.Exclusive;
  to.FieldCount = from.FieldCount;
}

void TTable::CheckSetKeyMode() const {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit or insert mode", const_cast<TTable*>(this));
}

void TTable::SetKeyBuffer(TKeyIndex Index, bool Clear) {
  CheckBrowseMode();
  if (IndexFieldCount() == 0) DatabaseError("No index is active", this);
  CopyKeyBuffer(Index, kiSave);
  if (Clear) InitKeyBuffer(FKeyBuffers[Index]);
  FKeyIndex = Index;
  SetActiveKeyBuffer(FKeyBuffers[Index].Data);
  SetState(dsSetKey);
  SetModified(FKeyBuffers[Index].Modified);
  DataEvent(deDataSetChange, 0);
}

void TTable::PostKeyBuffer(bool Commit) {
  DataEvent(deCheckBrowseMode, 0);
  if (Commit) FKeyBuffers[FKeyIndex].Modified = FKeyBuffers[FKeyIndex].Modified || Modified();
  else CopyKeyBuffer(kiSave, FKeyIndex);
  SetActiveKeyBuffer(nullptr);
  SetState(dsBrowse);
  DataEvent(deDataSetChange, 0);
}

void TTable::Post() {
  if (State() == dsSetKey) PostKeyBuffer(true);
  else TDBDataSet::Post();
}

void TTable::Cancel() {
  if (State() == dsSetKey) PostKeyBuffer(false);
  else TDBDataSet::Cancel();
}

void TTable::SetFieldData(TField* Field, const void* Buffer) {
  TDBDataSet::SetFieldData(Field, Buffer);
  if (State() == dsSetKey) FKeyBuffers[FKeyIndex].Modified = true;
}

void TTable::SetKey() { SetKeyBuffer(kiLookup, true); }
void TTable::EditKey() { SetKeyBuffer(kiLookup, false); }
void TTable::SetRangeStart() { SetKeyBuffer(kiRangeStart, true); }
void TTable::SetRangeEnd() { SetKeyBuffer(kiRangeEnd, true); }
void TTable::EditRangeStart() { SetKeyBuffer(kiRangeStart, false); }
void TTable::EditRangeEnd() { SetKeyBuffer(kiRangeEnd, false); }

bool TTable::KeyExclusive() const {
  CheckSetKeyMode();
  return FKeyBuffers[FKeyIndex].Exclusive;
}

void TTable::SetKeyExclusive(bool Value) {
  CheckSetKeyMode();
  FKeyBuffers[FKeyIndex].Exclusive = Value;
}

int TTable::KeyFieldCount() const {
  CheckSetKeyMode();
  return FKeyBuffers[FKeyIndex].FieldCount;
}

void TTable::SetKeyFieldCount(int Value) {
  CheckSetKeyMode();
  if (Value < 0 || Value > IndexFieldCount())
    DatabaseError("Key field count " + std::to_string(Value) + " out of range", this);
  FKeyBuffers[FKeyIndex].FieldCount = Value;
}

void TTable::SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values) {
  if (int(Values.size()) > IndexFieldCount())
    DatabaseError(std::to_string(Values.size()) + " key values for an index of " + std::to_string(IndexFieldCount()) +
                      " fields", this);
  SetKeyBuffer(Index, true);
  try {
    for (size_t i = 0; i < Values.size(); ++i) IndexFields(int(i))->SetAsVariant(Values[i]);
    FKeyBuffers[Index].FieldCount = int(Values.size());
    FKeyBuffers[Index].Modified = !Values.empty();
  } catch (...) {
    PostKeyBuffer(false);
    throw;
  }
  PostKeyBuffer(true);
}

std::vector<TEngineValue> TTable::KeyValues(TKeyIndex Index) {
  const TKeyBuffer& k = FKeyBuffers[Index];
  if (!k.Modified) return {};
  const std::vector<TEngineValue> values = BufferToValues(k.Data);
  const std::vector<int> fields = Handle()->KeyFields();
  std::vector<TEngineValue> key;
  for (int i = 0; i < k.FieldCount && size_t(i) < fields.size(); ++i) key.push_back(values[size_t(fields[size_t(i)])]);
  return key;
}

bool TTable::GotoKey() { return SeekKey(false); }
bool TTable::GotoNearest() { return SeekKey(true); }

bool TTable::SeekKey(bool Nearest) {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorPosChanged();
  TEngineRecord rec;
  const bool found = Nearest ? Handle()->FindNearest(KeyValues(kiLookup), FKeyBuffers[kiLookup].Exclusive, rec)
                             : Handle()->FindKey(KeyValues(kiLookup), rec);
  if (found) Resync(Nearest ? TResyncMode{rmCenter} : TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
  return found;
}

bool TTable::FindKey(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, KeyValues);
  return GotoKey();
}

bool TTable::FindNearest(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, KeyValues);
  return GotoNearest();
}

void TTable::ApplyRange() {
  CheckBrowseMode();
  Handle()->SetRange(KeyValues(kiRangeStart), FKeyBuffers[kiRangeStart].Exclusive, KeyValues(kiRangeEnd),
                     FKeyBuffers[kiRangeEnd].Exclusive);
  CopyKeyBuffer(kiRangeStart, kiCurRangeStart);
  CopyKeyBuffer(kiRangeEnd, kiCurRangeEnd);
  First();
}

void TTable::SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues) {
  CheckBrowseMode();
  SetKeyFields(kiRangeStart, StartValues);
  SetKeyFields(kiRangeEnd, EndValues);
  ApplyRange();
}

void TTable::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (!Handle()->HasRange()) return;
  Handle()->CancelRange();
  InitKeyBuffer(FKeyBuffers[kiCurRangeStart]);
  InitKeyBuffer(FKeyBuffers[kiCurRangeEnd]);
  Resync({});
}
