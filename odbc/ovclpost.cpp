// The ODBC data set: writing records. Posting, inserting, deleting and refreshing through the
// statement's positioned operations in direct and cached mode, the old values around an edit,
// finding an inserted row again, and applying or reverting cached updates.
#include <algorithm>
#include <cstring>

#include "ovcl.h"

namespace {

// Update status of a record (record-info block).
constexpr std::uint8_t kUnchanged = 0;
constexpr std::uint8_t kModified = 1;
constexpr std::uint8_t kInserted = 2;
constexpr std::uint8_t kDeleted = 3;
// Direct mode, in a saved copy: the cursor's copy of the row is stale.
constexpr std::uint8_t kStaleRow = 1;

uint16_t RowOperationOf(bool Insert, bool Delete, bool Refresh) {
  return Insert ? roInsert : Delete ? roDelete : Refresh ? roRefresh : roUpdate;
}

}  // namespace

// ---- one record through the statement

bool TCustomODDataSet::OutliveStatement() {
  if (!FCached || FPendingUpdates == 0) return false;
  FResultLost = true;
  FRowsLost = !FAllFetched;
  return true;
}

void TCustomODDataSet::WriteRecord(TWriteOp Op, TRecordBuffer Buffer, TRecordBuffer Old) {
  THstmt& s = Stmt();
  if (FResultLost) {
    // The columns the record is written through: the result executed again, no row read.
    ExecSQL();
    FResultLost = false;
  }
  const int cols = int(FSlots.size());
  if (cols == 0) throw EODBCLibrary("The data set has no columns to write.");
  // Every mark of this write is this record's and this target's: none of an earlier one stays.
  hStmt()->Target()->ReleaseMarks();
  const bool insert = Op == TWriteOp::Insert;
  int offset = 0;
  if (!insert) {
    const bool byKey = !FCached && !CursorHoldsRecord(Old);
    // The cursor's row is the record as read: its key is the one the driver gives now.
    if (!FCached && !byKey && FKeySize > 0) s.TakeRowKey(1, Old + FKeyOffset);
    // The row is found by the key it had when read: its old values go into row 1 first.
    for (int c = 1; c <= cols; ++c) PutSlot(c, Old, false, offset);
    s.KeepKeyValues();
    if (byKey) s.ChangeByKey();
  }
  if (Op == TWriteOp::Update || insert) {
    offset = 0;
    for (int c = 1; c <= cols; ++c) FromField(c, Buffer, insert, offset);
  }
  // A column the edit did not change is left out: its field may hold the value inexactly (a
  // numeric beyond a double's digits, a timestamp's microseconds, trailing blanks), and written
  // back it would change in the database.
  if (Op == TWriteOp::Update && Old != Buffer)
    for (int c = 1; c <= cols; ++c)
      if (!FSlots[size_t(c) - 1].Blob && (SlotStatus(Buffer, c) & kAssigned) == 0 && SameSlot(Buffer, Old, c))
        s.SetColIgnore(c, true);
  s.SetRowOperation(1, RowOperationOf(insert, Op == TWriteOp::Delete, Op == TWriteOp::Refresh));
  hStmt()->Target()->AssignToHstmt(insert);
  // The row is found by its key as the driver gave it, not as the fields hold it.
  if (FKeySize > 0 && !insert) s.UseRowKey(Old + FKeyOffset);
  FRowConfirmed = false;
  switch (Op) {
    case TWriteOp::Update: s.DoUpdate(); break;
    case TWriteOp::Insert: s.DoInsert(); break;
    case TWriteOp::Delete: s.DoDelete(); break;
    case TWriteOp::Refresh: s.DoRefresh(); break;
  }
  if (FKeySize > 0 && Op != TWriteOp::Delete) {
    if (Op == TWriteOp::Refresh)
      s.TakeRowKey(1, Buffer + FKeyOffset);
    else
      s.TakeWrittenKey(insert ? nullptr : Old + FKeyOffset, Buffer + FKeyOffset);
  }
  if (Op != TWriteOp::Refresh) return;
  offset = 0;
  for (int c = 1; c <= cols; ++c) {
    ToField(c, 1, offset, Buffer);
    // A long value read back is the record's own, deferred or not.
    if (FSlots[size_t(c) - 1].Blob && (SlotStatus(Buffer, c) & kLoaded) == 0) LoadBlobSlot(Buffer, c, 1);
  }
}

void TCustomODDataSet::ClearAssigned(TRecordBuffer Buffer) {
  for (int c = 1; c <= int(FSlots.size()); ++c) SlotStatus(Buffer, c) = std::uint8_t(SlotStatus(Buffer, c) & ~kAssigned);
}

bool TCustomODDataSet::CursorHoldsRecord(TRecordBuffer Old) {
  // A row written or refreshed by key before: the cursor's copy is stale.
  const TRecordBuffer copy = SavedCopyOf(Old);
  if (copy != nullptr && GetRecInfo(copy)->UpdateStatus == kStaleRow) return false;
  // The cursor's row must be the record as read, value for value: a driver's bookmark can land
  // on another row (SQLite's, of a key of several columns that starts with an integer).
  const int cols = int(FSlots.size());
  int offset = 0;
  for (int c = 1; c <= cols; ++c) {
    if (FSlots[size_t(c) - 1].Blob) continue;  // not compared; the drivers here check the row's version themselves
    ToField(c, 1, offset, FApplyBuffer);
    if (!SameSlot(FApplyBuffer, Old, c)) return false;
  }
  return true;
}

bool TCustomODDataSet::SameSlot(TRecordBuffer A, TRecordBuffer B, int Col) const {
  const TSlot& slot = FSlots[size_t(Col) - 1];
  if (SlotNull(A, Col) != SlotNull(B, Col)) return false;
  if (SlotNull(B, Col) == 0) return true;
  const unsigned char* a = Slot(A, Col);
  const unsigned char* b = Slot(B, Col);
  size_t n = size_t(slot.Width);
  if (slot.Text())
    n = std::max(strnlen(reinterpret_cast<const char*>(a), n), strnlen(reinterpret_cast<const char*>(b), n));
  else if (slot.Type == ftVarBytes)
    n = std::min<size_t>(2 + (a[0] | (a[1] << 8)), n);
  return std::memcmp(a, b, n) == 0;
}

void TCustomODDataSet::WriteDirect(TWriteOp Op, TRecordBuffer Buffer, TRecordBuffer Old) {
  if (Buffer == nullptr) throw EODBCLibrary("No record to write.");
  if (FCached) {
    WriteRecord(Op, Buffer, Old);
    return;
  }
  CheckCursorAlive();
  // Row 1 is the cursor's current row again where the record written is not the one shown
  // there: after an insert, and after a failure (nothing unsaved is read back from it).
  const std::vector<unsigned char> at = CurrentRowBookmark();
  const auto readBack = [&] {
    if (at.empty()) return;
    try {
      FStepBookmark.clear();
      FetchBookmark(at.data());
    } catch (const Exception&) {
      // An ended cursor is not read at all (GetRecord raises).
    }
  };
  try {
    WriteRecord(Op, Buffer, Old);
  } catch (...) {
    readBack();
    throw;
  }
  if (Op == TWriteOp::Insert) readBack();
}

void TCustomODDataSet::NoteDirectCopy(TRecordBuffer Buffer) {
  TRecordBuffer copy = OldCopyOf(Buffer);
  CopyRecord(Buffer, copy, true);
  // Only the driver's own operation, on a cursor that shows what it changed, leaves the cursor's
  // copy of the row current: otherwise the row is changed by its key from now on.
  const bool current = FRowConfirmed && Stmt().RowByCursor() && FOwnUpdatesSeen;
  GetRecInfo(copy)->UpdateStatus = current ? 0 : kStaleRow;
}

// ---- the four record operations

void TCustomODDataSet::UpdateRecords(TRecordBuffer Buffer, bool Apply) {
  Trace(2, "TCustomODDataSet.UpdateRecords");
  if (!FCachedUpdates) {
    if (Apply) WriteDirect(TWriteOp::Update, Buffer, FOldValueSet ? FOldValueBuffer : Buffer);
    return;
  }
  ApplyCache([&] {
    for (size_t i = 0; i < FCache.size(); ++i) {
      TRecordBuffer rec = FCache[i];
      if (GetRecInfo(rec)->UpdateStatus != kModified) continue;
      FApplyCacheIndex = int(i);
      FApplyOldIndex = -1;
      TRecordBuffer copy = SavedCopyOf(rec);
      if (Apply)
        ApplyOne(TWriteOp::Update, ukModify, rec, copy != nullptr ? copy : rec);
      else if (copy != nullptr)
        CopyRecord(copy, rec, false);
      GetRecInfo(rec)->UpdateStatus = kUnchanged;
      ClearAssigned(rec);
      if (copy != nullptr) DropOldCopy(copy);
      --FPendingUpdates;
    }
  });
}

void TCustomODDataSet::InsertRecords(TRecordBuffer Buffer, bool Apply) {
  Trace(2, "TCustomODDataSet.InsertRecords");
  if (!FCachedUpdates) {
    if (Apply) WriteDirect(TWriteOp::Insert, Buffer, nullptr);
    return;
  }
  ApplyCache([&] {
    for (size_t i = 0; i < FCache.size();) {
      TRecordBuffer rec = FCache[i];
      if (GetRecInfo(rec)->UpdateStatus != kInserted) {
        ++i;
        continue;
      }
      FApplyCacheIndex = int(i);
      FApplyOldIndex = -1;
      if (Apply) {
        ApplyOne(TWriteOp::Insert, ukInsert, rec, nullptr);
        GetRecInfo(rec)->UpdateStatus = kUnchanged;
        ++i;
      } else {
        DeleteCacheRecord(int(i));
      }
      --FPendingUpdates;
    }
  });
}

void TCustomODDataSet::DeleteRecords(TRecordBuffer Buffer, bool Apply) {
  Trace(2, "TCustomODDataSet.DeleteRecords");
  if (!FCachedUpdates) {
    if (Apply) WriteDirect(TWriteOp::Delete, Buffer, Buffer);
    return;
  }
  ApplyCache([&] {
    if (Apply) {
      for (size_t j = 0; j < FOldCopies.size(); ++j) {
        TRecordBuffer copy = FOldCopies[j];
        if (copy == nullptr || GetRecInfo(copy)->UpdateStatus != kDeleted) continue;
        FApplyOldIndex = int(j);
        FApplyCacheIndex = -1;
        ApplyOne(TWriteOp::Delete, ukDelete, copy, copy);
        DropOldCopy(copy);
        --FPendingUpdates;
      }
      return;
    }
    // Back into the cache, latest deletion first, each at its place in the result and under
    // its own bookmark.
    for (size_t j = FOldCopies.size(); j-- > 0;) {
      TRecordBuffer copy = FOldCopies[j];
      if (copy == nullptr || GetRecInfo(copy)->UpdateStatus != kDeleted) continue;
      TakeOldCopy(copy);
      TRecInfo* info = GetRecInfo(copy);
      info->UpdateStatus = kUnchanged;
      info->FormerPos = -1;
      const auto at = std::upper_bound(FCache.begin(), FCache.end(), info->OrderKey,
                                       [this](std::int32_t k, TRecordBuffer r) { return k < GetRecInfo(r)->OrderKey; });
      InsertCacheRecord(int(at - FCache.begin()), copy);
      --FPendingUpdates;
    }
  });
}

void TCustomODDataSet::RefreshRecords(TRecordBuffer Buffer) {
  Trace(2, "TCustomODDataSet.RefreshRecords");
  WriteDirect(TWriteOp::Refresh, Buffer, Buffer);
}

// ---- cached updates

template <class F>
void TCustomODDataSet::ApplyCache(F&& Body) {
  CheckActive();
  // A record still being edited is posted first, so that it is part of what is applied.
  CheckBrowseMode();
  const int mode = FBufferMode;
  const auto restore = [&] {
    FBufferMode = mode;
    FApplyCacheIndex = -1;
    FApplyOldIndex = -1;
    CompactOldCopies();
  };
  FBufferMode = 2;
  try {
    Body();
  } catch (...) {
    restore();
    try {
      AfterCacheChange();
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  restore();
  AfterCacheChange();
}

void TCustomODDataSet::ApplyOne(TWriteOp Op, TUpdateKind Kind, TRecordBuffer Buffer, TRecordBuffer Old) {
  try {
    WriteRecord(Op, Buffer, Old);
  } catch (EODBC& E) {
    bool raise = true;
    DoUpdateError(E, Kind, raise);
    if (raise) throw;
  }
}

void TCustomODDataSet::AfterCacheChange() {
  if (!Active() || State() != dsBrowse) return;
  // The current record stays current where it is still in the cache.
  int pos = FCachePos;
  if (!IsEmpty() && GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
    if (const int i = IndexOfCacheId(RecordId(ActiveBuffer())); i >= 0) pos = i + 1;
  FCachePos = std::clamp(pos, 0, int(FCache.size()));
  CursorPosChanged();
  Resync({});
}

void TCustomODDataSet::InsertIntoCache(TRecordBuffer Source) {
  const int count = int(FCache.size());
  const int index = FCachePos > 0 ? std::min(FCachePos - 1, count) : count;
  TRecordBuffer rec = NewCacheRecord();
  TRecInfo* info = GetRecInfo(rec);
  info->OrderKey = index > 0 ? GetRecInfo(FCache[size_t(index) - 1])->OrderKey : 0;
  CopyRecord(Source, rec, false);
  InsertCacheRecord(index, rec);
  if (FCachedUpdates) {
    info->UpdateStatus = kInserted;
    ++FPendingUpdates;
  }
}

void TCustomODDataSet::MarkDeleted(TRecordBuffer Rec) {
  TRecInfo* info = GetRecInfo(Rec);
  // A record inserted under cached updates leaves no trace.
  if (info->UpdateStatus == kInserted) {
    --FPendingUpdates;
    return;
  }
  TRecordBuffer copy = OldCopyOf(Rec);
  if (info->UpdateStatus == kUnchanged) {
    CopyRecord(Rec, copy, true);
    ++FPendingUpdates;
  }
  TRecInfo* c = GetRecInfo(copy);
  c->UpdateStatus = kDeleted;
  c->FormerPos = FCachePos - 1;
  c->OrderKey = info->OrderKey;
}

// ---- the framework's steps

void TCustomODDataSet::Resync(TResyncMode Mode) {
  if (!FWritten) {
    TDataSet::Resync(Mode);
    return;
  }
  FWritten = false;
  try {
    TDataSet::Resync(Mode);
  } catch (const Exception&) {
    try {
      First();
    } catch (const Exception&) {
      ClearBuffers();
      DataEvent(deDataSetChange, 0);
    }
  }
}

void TCustomODDataSet::InternalPost() {
  FWritten = false;
  TRecordBuffer active = ActiveBuffer();
  CheckCutValues(active);
  const bool editing = State() == dsEdit;
  if (editing) {
    InternalSetToRecord(active);
    LoadDeferredBlobs(active);
  } else if (FLocateInsert) {
    // Before anything is written: a second Post must not insert the row twice.
    ResolveLocateKeyNames();
  }
  if (!FCachedUpdates) {
    if (editing)
      UpdateRecords(active, true);
    else
      InsertRecords(active, true);
    FWritten = true;
  }
  if (editing) {
    // Written: what was assigned is the record's value now (under cached updates, once applied).
    if (!FCachedUpdates) ClearAssigned(active);
    if (!FCached) {
      NoteDirectCopy(active);
      return;
    }
    TRecordBuffer rec = CurrentCacheRecord();
    if (FCachedUpdates && GetRecInfo(rec)->UpdateStatus == kUnchanged) {
      SaveOldCopy(rec);
      GetRecInfo(rec)->UpdateStatus = kModified;
      ++FPendingUpdates;
    }
    CopyRecord(active, rec, false);
    return;
  }
  ClearAssigned(active);
  if (FCached) InsertIntoCache(active);
  if (FLocateInsert) TakeLocateKeyValues();
}

void TCustomODDataSet::InternalAddRecord(TRecordBuffer Buffer, bool) {
  FWritten = false;
  if (FLocateInsert) ResolveLocateKeyNames();
  if (!FCachedUpdates) {
    InsertRecords(Buffer, true);
    FWritten = true;
  }
  if (FCached) InsertIntoCache(Buffer);
  if (FLocateInsert) TakeLocateKeyValues();
}

void TCustomODDataSet::InternalDelete() {
  TRecordBuffer active = ActiveBuffer();
  InternalSetToRecord(active);
  FWritten = false;
  if (!FCachedUpdates) {
    try {
      DeleteRecords(active, true);
    } catch (...) {
      // The delete did not happen: no old values are left standing for the record.
      ClearOldValueBuffer();
      throw;
    }
    FWritten = true;
  }
  if (FCached) {
    if (FCachedUpdates) MarkDeleted(CurrentCacheRecord());
    DeleteCacheRecord(FCachePos - 1);
    return;
  }
  AddDeletedBookmark(BookmarkOf(active));
  if (const TRecordBuffer copy = SavedCopyOf(active)) DeleteOldCopy(GetRecInfo(copy)->CopySlot);
}

void TCustomODDataSet::InternalRefresh() {
  if (IsEmpty()) return;
  TRecordBuffer active = ActiveBuffer();
  InternalSetToRecord(active);
  if (!FCachedUpdates) RefreshRecords(active);
  if (FCached)
    CopyRecord(active, CurrentCacheRecord(), false);
  else
    // Kept as the row's copy: a static cursor would show its stale row when read again.
    NoteDirectCopy(active);
}

void TCustomODDataSet::InternalCancel() {
  FWritten = false;
  if (FOldValueSet && ActiveBuffer() != nullptr) CopyRecord(FOldValueBuffer, ActiveBuffer(), true);
}

void TCustomODDataSet::KeepOldValues() {
  if (FOldValueBuffer == nullptr || ActiveBuffer() == nullptr) return;
  CopyRecord(ActiveBuffer(), FOldValueBuffer, true);
  FOldValueSet = true;
}

void TCustomODDataSet::DoBeforeEdit() {
  KeepOldValues();
  TDataSet::DoBeforeEdit();
}

void TCustomODDataSet::DoBeforeDelete() {
  KeepOldValues();
  TDataSet::DoBeforeDelete();
}

void TCustomODDataSet::ClearOldValueBuffer() {
  if (FOldValueBuffer != nullptr) InitRecord(FOldValueBuffer);
  FOldValueSet = false;
}

void TCustomODDataSet::DoAfterCancel() {
  ClearOldValueBuffer();
  TDataSet::DoAfterCancel();
}

void TCustomODDataSet::DoAfterDelete() {
  ClearOldValueBuffer();
  TDataSet::DoAfterDelete();
}

void TCustomODDataSet::DoAfterPost() {
  ClearOldValueBuffer();
  TDataSet::DoAfterPost();
  if (!FLocateInsert || FLocateKeyNames.empty()) return;
  const std::string names = std::move(FLocateKeyNames);
  const Variant values = FLocateKeyValues;
  FLocateKeyNames.clear();
  FLocateKeyValues = Null();
  // Under cached updates the record is in the cache: reopening would drop the pending changes.
  if (!FCachedUpdates) RefreshResults();
  Locate(names, values, {});
}

// ---- finding an inserted row again

void TCustomODDataSet::ResolveLocateKeyNames() {
  std::string names = TTarget::GetListText(hStmt()->Target()->PrimaryCols());
  if (names.empty()) names = Stmt().PrimaryColNames();
  if (names.empty()) throw EODBCLibrary("Cannot detect primary columns to locate inserted row.");
  names.pop_back();
  FLocateKeyNames = names;
}

void TCustomODDataSet::TakeLocateKeyValues() { FLocateKeyValues = GetFieldValue(FLocateKeyNames); }
