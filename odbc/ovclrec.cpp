// The ODBC data set: reading records into buffers (with the filter test), navigation,
// bookmarks, field values, long values, record numbers and searching.
#include <algorithm>
#include <cstring>

#include "oclconv.h"
#include "ovcl.h"
#include "text.h"

namespace {

// Copies zero-terminated text of Src (at most SrcSize bytes) into Dest of DestSize bytes, cut at
// a character boundary so that it fits with its terminator.
void CopyText(void* Dest, int DestSize, const void* Src, int SrcSize) {
  if (DestSize <= 0) return;
  const char* s = static_cast<const char*>(Src);
  size_t n = strnlen(s, size_t(SrcSize));
  if (n > size_t(DestSize) - 1) {
    n = size_t(DestSize) - 1;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(Dest, s, n);
  std::memset(static_cast<char*>(Dest) + n, 0, size_t(DestSize) - n);
}

}  // namespace

// ---- the buffer field access addresses

TRecordBuffer TCustomODDataSet::GetActiveRecordBuffer() {
  // Every field read of a scan asks: browsing, the answer is the active record.
  if (State() == dsBrowse && FBufferMode == 0) return IsEmpty() ? nullptr : ActiveBuffer();
  if (!Active()) return nullptr;
  // The record under test comes first: a filter handler, calculated fields and old values
  // read the record they are about whatever the buffer mode.
  switch (State()) {
    case dsFilter: return FFilterBuffer;
    case dsCalcFields: return CalcBuffer();
    case dsOldValue: {
      if (FBufferMode == 2) {
        if (FApplyOldIndex >= 0) return FOldCopies[size_t(FApplyOldIndex)];
        TRecordBuffer rec = CacheRecord(FApplyCacheIndex);
        const TRecordBuffer copy = SavedCopyOf(rec);
        return copy != nullptr ? copy : rec;
      }
      if (FOldValueSet) return FOldValueBuffer;
      if (IsEmpty()) return nullptr;
      // A record with no saved copy has its own values as its old values.
      TRecordBuffer rec = ActiveBuffer();
      if (FCachedUpdates && GetRecInfo(rec)->BookmarkFlag == bfCurrent)
        if (const TRecordBuffer copy = SavedCopyOf(rec)) return copy;
      return rec;
    }
    default: break;
  }
  if (FBufferMode == 1) return FApplyBuffer;
  if (FBufferMode == 2) return FApplyOldIndex >= 0 ? FOldCopies[size_t(FApplyOldIndex)] : CacheRecord(FApplyCacheIndex);
  if (State() == dsBrowse && IsEmpty()) return nullptr;
  return ActiveBuffer();
}

// ---- reading records

void TCustomODDataSet::ReadCurrentRow(TRecordBuffer Buffer, const std::vector<unsigned char>* Bookmark) {
  if (FCached) {
    const TRecordBuffer entry = CurrentCacheEntry();
    if (IsPacked(entry))
      UnpackRecord(entry, Buffer, true);
    else
      CopyRecord(entry, Buffer, true);
    return;
  }
  const bool hasBookmark = Bookmark != nullptr && !Bookmark->empty();
  TRecordBuffer posted = nullptr;
  if (hasBookmark && !FOldCopies.empty() && FindOldCopy(Bookmark->data(), posted)) {
    CopyRecord(posted, Buffer, true);
    return;
  }
  RowToRecord(1, Buffer);
  if (hasBookmark)
    std::memcpy(BookmarkOf(Buffer), Bookmark->data(), size_t(BookmarkSize()));
  else
    std::memset(BookmarkOf(Buffer), 0, size_t(BookmarkSize()));
  TRecInfo* info = GetRecInfo(Buffer);
  info->UpdateStatus = 0;
  info->FormerPos = -1;
}

bool TCustomODDataSet::FilterAccepts(const std::vector<unsigned char>* Bookmark) {
  if (!Filtered() && !FFindFlag) return true;
  const TFilterRecordEvent& handler = OnFilterRecord();
  if (!handler) return true;
  bool accept = true;
  WithTempState(dsFilter, [&] {
    ReadCurrentRow(FFilterBuffer, Bookmark);
    SetBookmarkFlag(FFilterBuffer, bfCurrent);
    GetCalcFields(FFilterBuffer);
    try {
      handler(this, accept);
    } catch (...) {
      // The handler's error is shown; the row is judged as the handler left Accept.
      InternalHandleException();
    }
  });
  return accept;
}

TGetResult TCustomODDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) {
  TGetResult result = grOK;
  // The bookmark's room is borrowed for this call, so that a scan allocates none per row and
  // a read nested in a filter handler takes its own.
  struct TLent {
    std::vector<unsigned char>& Home;
    std::vector<unsigned char> Room;
    explicit TLent(std::vector<unsigned char>& H) : Home(H) { Room.swap(Home); }
    ~TLent() { Home.swap(Room); }
  } lent(FReadBookmark);
  std::vector<unsigned char>& bm = lent.Room;
  bm.clear();
  switch (GetMode) {
    case gmCurrent: {
      // Row 1 of an ended cursor may hold values never saved: it is not read.
      if (!FCached) CheckCursorAlive();
      TRecordBuffer active = ActiveBuffer();
      const TBookmarkFlag flag = active != nullptr ? GetBookmarkFlag(active) : bfEOF;
      if (flag == bfBOF || flag == bfEOF)
        result = grError;
      else if (!FCached && IsDeletedBookmark(BookmarkOf(active)))
        result = grError;
      else if (FCached && (FCachePos < 1 || FCachePos > int(FCache.size())))
        result = grError;
      break;
    }
    case gmNext:
    case gmPrior:
      if (GetMode == gmPrior && ForwardOnly()) {
        result = grError;
        break;
      }
      for (;;) {
        const bool replay = FReplayRow && GetMode == gmNext;
        if (!(GetMode == gmNext ? FetchNext() : FetchPrev())) {
          result = GetMode == gmNext ? grEOF : grBOF;
          break;
        }
        if (!FCached) {
          CurrentRowBookmark(bm);
          CheckNewBookmark(bm, replay);
          if (IsDeletedRow(bm.empty() ? nullptr : bm.data(), Stmt().RowValid(1))) continue;
        }
        if (FilterAccepts(&bm)) break;
      }
      break;
    default: result = grError; break;
  }
  if (result != grOK || Buffer == nullptr) {
    if (Buffer != nullptr) InitRecord(Buffer);
    return result;
  }
  if (GetMode == gmCurrent && !FCached) {
    CurrentRowBookmark(bm);
    if (bm.empty()) {
      CopyRecord(ActiveBuffer(), Buffer, true);
      return grOK;
    }
  }
  ReadCurrentRow(Buffer, &bm);
  SetBookmarkFlag(Buffer, bfCurrent);
  GetCalcFields(Buffer);
  return grOK;
}

bool TCustomODDataSet::GetCurrentRecord(TRecordBuffer Buffer) { return GetRecord(Buffer, gmCurrent, false) == grOK; }

void TCustomODDataSet::CheckNewBookmark(const std::vector<unsigned char>& Bookmark, bool Replay) {
  // A step to the next or prior row that gives the bookmark of the row before: the driver's
  // bookmarks do not tell rows apart, and finding a record by one would find another.
  if (!Replay && !Bookmark.empty() && Bookmark == FStepBookmark)
    throw EODBCLibrary("The driver gives rows of this result the same bookmark: read it with Cached set.");
  FStepBookmark = Bookmark;
}

// ---- navigation

void TCustomODDataSet::InternalFirst() {
  FStepBookmark.clear();
  if (ForwardOnly()) {
    // Before the first row already, or on it as the one row read: it is handed out again.
    if (FRowsRead == 1)
      FReplayRow = true;
    else if (FRowsRead > 1)
      ForwardOnlyError();
    return;
  }
  FetchFirst();
  FetchPrev();
}

void TCustomODDataSet::InternalLast() {
  FStepBookmark.clear();
  if (ForwardOnly()) ForwardOnlyError();
  FetchLast();
  FetchNext();
}

void TCustomODDataSet::InternalGotoBookmark(const void* Bookmark) {
  if (Bookmark == nullptr) return;
  FStepBookmark.clear();
  if (!FCached) {
    // PostgreSQL's driver lands a deleted row's bookmark on the next row.
    if (IsDeletedBookmark(Bookmark)) DatabaseError("Record not found", this);
    if (ForwardOnly()) {
      const std::vector<unsigned char> current = FReplayRow ? std::vector<unsigned char>() : CurrentRowBookmark();
      if (current.empty() || CompareBookmarks(current.data(), Bookmark) != 0) ForwardOnlyError();
      return;
    }
  }
  if (!FetchBookmark(Bookmark)) DatabaseError("Record not found", this);
}

void TCustomODDataSet::InternalSetToRecord(TRecordBuffer Buffer) { InternalGotoBookmark(BookmarkOf(Buffer)); }

// ---- bookmarks

void TCustomODDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, BookmarkOf(Buffer), size_t(BookmarkSize()));
}

void TCustomODDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  std::memcpy(BookmarkOf(Buffer), Data, size_t(BookmarkSize()));
}

TBookmarkFlag TCustomODDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return TBookmarkFlag(GetRecInfo(Buffer)->BookmarkFlag);
}

void TCustomODDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  GetRecInfo(Buffer)->BookmarkFlag = std::uint8_t(Value);
}

int TCustomODDataSet::CompareBookmarks(const void* Bookmark1, const void* Bookmark2) {
  if (Bookmark1 == nullptr && Bookmark2 == nullptr) return 0;
  if (Bookmark1 == nullptr || Bookmark2 == nullptr) return 1;
  const int c = std::memcmp(Bookmark1, Bookmark2, size_t(BookmarkSize()));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// ---- field values

bool TCustomODDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = GetActiveRecordBuffer();
  if (rec == nullptr) return false;
  if (Field->FieldKind() != fkData) {
    const char* p = rec + FCalcFieldsOffset + Field->Offset();
    if (Buffer != nullptr) std::memcpy(Buffer, p, size_t(Field->DataSize()));
    return p[Field->DataSize()] != 0;
  }
  const int col = Field->FieldNo();
  if (col < 1 || col > int(FSlots.size())) return false;
  const TSlot& slot = FSlots[size_t(col) - 1];
  if (Buffer != nullptr && !slot.Blob) {
    const int size = Field->DataSize();
    if (slot.Text())
      CopyText(Buffer, size, Slot(rec, col), slot.Width);
    else {
      std::memcpy(Buffer, Slot(rec, col), size_t(std::min(size, slot.Width)));
      if (size > slot.Width) std::memset(static_cast<char*>(Buffer) + slot.Width, 0, size_t(size - slot.Width));
    }
  }
  return SlotNull(rec, col) != 0;
}

void TCustomODDataSet::SetFieldData(TField* Field, const void* Buffer) {
  const TDataSetState s = State();
  if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter && s != dsNewValue &&
      s != dsInternalCalc)
    throw EODBCLibrary("DataSet not in edit or insert mode.");
  TRecordBuffer rec = GetActiveRecordBuffer();
  if (rec == nullptr) return;
  if (Field->FieldKind() != fkData) {
    char* p = rec + FCalcFieldsOffset + Field->Offset();
    if (Buffer != nullptr) std::memcpy(p, Buffer, size_t(Field->DataSize()));
    p[Field->DataSize()] = Buffer != nullptr ? 1 : 0;
  } else {
    Field->Validate(Buffer);
    const int col = Field->FieldNo();
    if (col < 1 || col > int(FSlots.size())) return;
    const TSlot& slot = FSlots[size_t(col) - 1];
    if (!slot.Blob) {
      unsigned char* p = Slot(rec, col);
      const int size = Field->DataSize();
      if (Buffer == nullptr)
        std::memset(p, 0, size_t(slot.Width));
      else if (slot.Text())
        CopyText(p, slot.Width, Buffer, size);
      else if (slot.Type == ftVarBytes) {
        // The length word never claims more bytes than the slot holds.
        std::memset(p, 0, size_t(slot.Width));
        std::memcpy(p, Buffer, size_t(std::min(size, slot.Width)));
        std::uint16_t len;
        std::memcpy(&len, p, 2);
        len = std::uint16_t(std::min<int>(len, slot.Width - 2));
        std::memcpy(p, &len, 2);
      } else {
        std::memset(p, 0, size_t(slot.Width));
        std::memcpy(p, Buffer, size_t(std::min(size, slot.Width)));
      }
    }
    // An assigned value is the user's: it is no longer the cut one.
    SlotStatus(rec, col) = std::uint8_t((SlotStatus(rec, col) & ~kCut) | kAssigned);
    SlotNull(rec, col) = Buffer != nullptr ? 1 : 0;
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
}

std::unique_ptr<TStream> TCustomODDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  TRecordBuffer rec = GetActiveRecordBuffer();
  if (rec == nullptr) rec = ActiveBuffer();
  if (rec == nullptr) return std::make_unique<TStringStream>();
  const int col = Field->FieldNo();
  if (col < 1 || col > int(FSlots.size()) || !FSlots[size_t(col) - 1].Blob)
    throw EODBCLibrary("Field " + Field->FieldName() + " is not a long value.");
  if (Mode != bmRead && State() != dsEdit && State() != dsInsert)
    throw EODBCLibrary("DataSet not in edit or insert mode.");
  // Also before a write: an emptied value stays a value only where the slot knows it had one.
  LoadDeferredBlobs(rec);
  auto stream = std::make_unique<TODBlobStream>(SlotStream(rec, col), this, Field, &SlotNull(rec, col));
  if (Mode != bmRead) SlotStatus(rec, col) |= kLoaded | kAssigned;
  if (Mode == bmWrite) {
    // Rewritten from empty: an empty value, not NULL, also when no byte follows (the field's
    // Clear makes it NULL after this).
    stream->SetSize(0);
    SlotNull(rec, col) = 1;
  }
  stream->SetPosition(0);
  return stream;
}

// ---- counts, record numbers, update status

int TCustomODDataSet::GetRecordCount() {
  CheckActive();
  return Stmt().RowCount();
}

int TCustomODDataSet::GetRecNo() {
  if (!FCached) return TDataSet::GetRecNo();
  CheckActive();
  TRecordBuffer rec = GetActiveRecordBuffer();
  // No current record (an empty set, a record being inserted): 0.
  if (rec == nullptr || State() == dsInsert || GetBookmarkFlag(rec) != bfCurrent) return 0;
  return IndexOfCacheId(RecordId(rec)) + 1;
}

void TCustomODDataSet::SetRecNo(int Value) {
  if (!FCached) return;
  CheckBrowseMode();
  if (Value != GetRecNo()) MoveAbsolute(Value);
}

TUpdateStatus TCustomODDataSet::UpdateStatus() {
  if (!FCachedUpdates) return TDataSet::UpdateStatus();
  if (State() == dsInsert) return usInserted;
  TRecordBuffer rec = GetActiveRecordBuffer();
  if (rec == nullptr || GetBookmarkFlag(rec) != bfCurrent) return usUnmodified;
  const int i = IndexOfCacheId(RecordId(rec));
  return i < 0 ? usUnmodified : TUpdateStatus(GetRecInfo(FCache[size_t(i)])->UpdateStatus);
}

// ---- filtering

void TCustomODDataSet::Refilter() {
  if (!Active()) return;
  if (FCached)
    First();
  else
    RefreshResults();
}

void TCustomODDataSet::SetFiltered(bool Value) {
  TDataSet::SetFiltered(Value);
  Refilter();
}

void TCustomODDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  TDataSet::SetOnFilterRecord(Value);
  Refilter();
}

// ---- searching

bool TCustomODDataSet::FieldMatches(TField* Field, const Variant& Key, TLocateOptions Options) {
  switch (Field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo: {
      if (Key.IsNull() || Key.IsEmpty()) return Field->IsNull();
      if (Field->IsNull()) return false;
      std::string text, key;
      try {
        const TStringTrimming trimming = Stmt().StringTrimming();
        text = TrimString(Field->AsString(), trimming);
        key = TrimString(Key.AsString(), trimming);
      } catch (const Exception&) {
        return false;
      }
      if (Options.Contains(loCaseInsensitive)) {
        text = AnsiUpperCase(text);
        key = AnsiUpperCase(key);
      }
      if (!Options.Contains(loPartialKey)) return text == key;
      return FLocateOption == loPrefix ? text.compare(0, key.size(), key) == 0 : text.find(key) != std::string::npos;
    }
    default:
      // Numbers (64-bit integers whole), Booleans, dates: the framework's comparison, where a
      // key that does not convert matches nothing.
      return TDataSet::FieldMatches(Field, Key, Options);
  }
}

bool TCustomODDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  TGetResult r;
  FFindFlag = true;
  try {
    if (GoForward) {
      if (Restart) InternalFirst();
      r = GetRecord(FFilterBuffer, gmNext, true);
    } else {
      if (Restart) InternalLast();
      r = GetRecord(FFilterBuffer, gmPrior, true);
    }
  } catch (...) {
    FFindFlag = false;
    throw;
  }
  FFindFlag = false;
  if (r != grOK) return false;
  InternalSetToRecord(FFilterBuffer);
  Resync({rmExact, rmCenter});
  SetFound(true);
  DoAfterScroll();
  return true;
}
