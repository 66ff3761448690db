// The ODBC data set: opening and closing, the field definitions, the fetch primitives of both
// modes, the record cache and its old copies, and the record buffers' memory.
#include <algorithm>
#include <cstring>

#include "ovcl.h"
#include "text.h"

namespace {

constexpr int kMinBookmarkSize = 8;  // SQLite's driver reports 4 and hands out 8

int AlignUp(int N) { return (N + 7) & ~7; }

// The length of P's first N bytes without their trailing zero bytes.
std::uint32_t TrimmedLength(const unsigned char* P, std::uint32_t N) {
  while (N >= 8) {
    std::uint64_t w;
    std::memcpy(&w, P + N - 8, 8);
    if (w != 0) break;
    N -= 8;
  }
  while (N > 0 && P[N - 1] == 0) --N;
  return N;
}

int VarLengthSize(std::uint32_t N) { return N < 0x80 ? 1 : N < 0x4000 ? 2 : N < 0x200000 ? 3 : 5; }

unsigned char* PutVarLength(unsigned char* P, std::uint32_t N) {
  while (N >= 0x80) {
    *P++ = static_cast<unsigned char>(N | 0x80);
    N >>= 7;
  }
  *P++ = static_cast<unsigned char>(N);
  return P;
}

const unsigned char* GetVarLength(const unsigned char* P, std::uint32_t& N) {
  N = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char b = *P++;
    N |= std::uint32_t(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return P;
  }
}

// A packed slot's status and null bytes in one.
constexpr unsigned char kPackedHasValue = 0x80;

}  // namespace

// ---- opening and closing

void TCustomODDataSet::InternalInitFieldDefs() {
  Trace(2, "TCustomODDataSet.InternalInitFieldDefs");
  ExecSQL();
  FieldDefs()->Clear();
  THstmt& s = Stmt();
  const int n = s.NumCols();
  for (int c = 1; c <= n; ++c) {
    const TFieldType type = ColumnFieldType(c);
    TFieldDef* def = FieldDefs()->AddFieldDef();
    def->SetName(s.ColNames()->Get(c - 1));
    def->SetDataType(type);
    const bool sized = type == ftString || type == ftBytes || type == ftVarBytes;
    def->SetSize(sized ? int(std::min<SQLULEN>(s.ColPrecision(c), 65535)) : 0);
    def->SetFieldNo(c);
    def->SetPrecision(s.ColScale(c));
  }
}

void TCustomODDataSet::InternalOpen() {
  Trace(2, "TCustomODDataSet.InternalOpen");
  SetParamsFromCursor();
  InternalInitFieldDefs();
  THstmt& s = Stmt();
  const int cols = s.NumCols();
  if (cols > 0) {
    hStmt()->CheckLongColumns();
    if (!FCached && !s.StableRowNumbers() && (s.CursorAttributes() & SQL_CA1_BOOKMARK) == 0)
      throw EODBCLibrary("The cursor of this result has no bookmarks, which reading without a cache needs: set Cached.");
  }
  FRowNumbers = !FCached && cols > 0 && s.StableRowNumbers();
  FAllFetched = false;
  FCachePos = 0;
  FLastRecordId = 0;
  FPendingUpdates = 0;
  FRowsRead = 0;
  FReplayRow = false;
  FResultLost = false;
  FRowsLost = false;
  FStepBookmark.clear();
  FFillError = nullptr;
  FCacheSorted = true;
  FCacheMapValid = false;
  FCacheMap.clear();
  FCursorOpen = true;
  if (DefaultFields()) CreateFields();
  BindFields(true);
  BuildSlots();
  FHasBlobs = std::any_of(FSlots.begin(), FSlots.end(), [](const TSlot& t) { return t.Blob; });
  FRecInfoOffset = AlignUp(FDataSize);
  FCalcFieldsOffset = FRecInfoOffset + int(sizeof(TRecInfo));
  SetBookmarkSize(FCached ? 4 : std::max<int>(int(s.BookmarkSize()), kMinBookmarkSize));
  FBookmarkOffset = AlignUp(FCalcFieldsOffset + CalcFieldsSize());
  // Each record keeps its row's key as the driver gave it: its fields may hold it inexactly.
  FKeyOffset = AlignUp(FBookmarkOffset + BookmarkSize());
  FKeySize = 0;
  if (cols > 0 && Editable()) {
    try {
      for (int i = 0; i < hStmt()->Target()->PrimaryCols()->Count(); ++i)
        s.SetColPrimary(s.ColByName(hStmt()->Target()->PrimaryCols()->Get(i)), true);
      FKeySize = int(s.RowKeySize());
    } catch (const Exception&) {
      // No key to keep: a write raises why.
    }
    MarkUnwritableFields();
  }
  FBufferSize = FKeyOffset + FKeySize;
  AllocSpareBuffers();
  ClearOldCopies();
  ClearCache();
  ClearDeletedBookmarks();
  // A failed write on the connection ends a server cursor of PostgreSQL's driver silently.
  THdbc* dbc = s.hDbc();
  FServerCursor = dbc != nullptr && cols > 0 && UpperCase(dbc->GetInfoString(SQL_DBMS_NAME)).find("POSTGRES") != std::string::npos;
  FOpenFailures = dbc != nullptr ? dbc->StatementFailures() : 0;
  FOwnUpdatesSeen = dbc != nullptr && cols > 0 && (dbc->GetInfoInteger(SQL_STATIC_SENSITIVITY) & SQL_SS_UPDATES) != 0;
}

void TCustomODDataSet::InternalClose() {
  Trace(2, "TCustomODDataSet.InternalClose");
  FreeSpareBuffers();
  ClearOldCopies();
  ClearCache();
  FOldValueSet = false;
  if (FHstmt && FHstmt->Allocated()) {
    try {
      FHstmt->CloseCursor();
    } catch (const Exception&) {
      // The cursor is gone either way (a connection torn down, say).
    }
  }
  FParams->ClearBindings();
  FParams->ClearDescriptions();
  FParamsBound = false;
  FCursorOpen = false;
  if (DefaultFields()) DestroyFields();
}

// ---- fetching

bool TCustomODDataSet::ForwardOnly() const { return !FCached && Stmt().CursorType() == SQL_CURSOR_FORWARD_ONLY; }

void TCustomODDataSet::ForwardOnlyError() const {
  throw EODBCLibrary("A forward-only cursor cannot return to an earlier record: set Cached or use a scrollable cursor.");
}

void TCustomODDataSet::CheckCursorAlive() {
  if (FRowsLost)
    throw EODBCLibrary("The data set's statement was terminated with cached updates pending: apply or cancel them, "
                       "then open the data set again.");
  if (!FServerCursor) return;
  THdbc* dbc = Stmt().hDbc();
  if (dbc != nullptr && dbc->StatementFailures() != FOpenFailures)
    throw EODBCLibrary("A statement on this data set's connection failed while its result was being read, which "
                       "ends the server's cursor: open the data set again.");
}

bool TCustomODDataSet::DirectFetch(SQLSMALLINT Orientation, SQLLEN Offset) {
  if (FSlots.empty()) return false;  // a statement without a result
  CheckCursorAlive();
  const bool ok = Stmt().Fetch(Orientation, Offset);
  if (ok && Orientation == SQL_FETCH_NEXT) ++FRowsRead;
  return ok;
}

bool TCustomODDataSet::FetchFirst() { return FCached ? FetchCache(SQL_FETCH_FIRST, 0) : DirectFetch(SQL_FETCH_FIRST, 0); }

bool TCustomODDataSet::FetchNext() {
  if (FCached) return FetchCache(SQL_FETCH_NEXT, 0);
  if (FReplayRow) {
    // A forward-only cursor's first row, still in the statement's buffers.
    FReplayRow = false;
    return true;
  }
  return DirectFetch(SQL_FETCH_NEXT, 0);
}

bool TCustomODDataSet::FetchLast() { return FCached ? FetchCache(SQL_FETCH_LAST, 0) : DirectFetch(SQL_FETCH_LAST, 0); }

bool TCustomODDataSet::FetchPrev() { return FCached ? FetchCache(SQL_FETCH_PRIOR, 0) : DirectFetch(SQL_FETCH_PRIOR, 0); }

bool TCustomODDataSet::FetchAbsolute(int Row) {
  return FCached ? FetchCache(SQL_FETCH_ABSOLUTE, Row) : DirectFetch(SQL_FETCH_ABSOLUTE, Row);
}

bool TCustomODDataSet::FetchBookmark(const void* Bookmark) {
  if (FCached) {
    std::int32_t id;
    std::memcpy(&id, Bookmark, sizeof id);
    return FetchCache(SQL_FETCH_BOOKMARK, id);
  }
  CheckCursorAlive();
  if (FRowNumbers) {
    std::int64_t row;
    std::memcpy(&row, Bookmark, sizeof row);
    return row > 0 && Stmt().FetchAbsolute(SQLLEN(row));
  }
  const auto* b = static_cast<const unsigned char*>(Bookmark);
  return Stmt().FetchBookmark(std::vector<unsigned char>(b, b + BookmarkSize()));
}

bool TCustomODDataSet::FetchCache(int16_t Orientation, int Value) {
  switch (Orientation) {
    case SQL_FETCH_NEXT: SetCachePosition(FCachePos + 1); break;
    case SQL_FETCH_FIRST: SetCachePosition(1); break;
    case SQL_FETCH_LAST: SetCachePosition(-1); break;
    case SQL_FETCH_PRIOR:
      if (FCachePos > 0) SetCachePosition(FCachePos - 1);
      break;
    case SQL_FETCH_ABSOLUTE: SetCachePosition(Value); break;
    case SQL_FETCH_RELATIVE: SetCachePosition(FCachePos + Value); break;
    case SQL_FETCH_BOOKMARK:
      if (!FindCacheBookmark(Value)) throw EODBCLibrary("Bookmark not found in cache.");
      break;
    default: break;
  }
  return FCachePos >= 1 && FCachePos <= int(FCache.size());
}

void TCustomODDataSet::SetCachePosition(int N) {
  if (N < 0) {
    FillCache(-1);
    const int count = int(FCache.size());
    FCachePos = count >= -N ? N + count + 1 : 0;
    return;
  }
  if (int(FCache.size()) < N) {
    FillCache(N);
    if (int(FCache.size()) < N) {
      FCachePos = int(FCache.size()) + 1;
      return;
    }
  }
  FCachePos = N;
}

void TCustomODDataSet::FillCache(int Limit) {
  if (FAllFetched) return;
  // A row that could not be read is not skipped by the next fill: its error comes again.
  if (FFillError) std::rethrow_exception(FFillError);
  THstmt& s = Stmt();
  const int cols = int(FSlots.size());
  if (cols == 0) {
    FAllFetched = true;
    return;
  }
  try {
    while (Limit < 0 || int(FCache.size()) < Limit) {
      CheckCursorAlive();
      if (!s.FetchNext() || s.NumRowsFetched() == 0) break;
      const int rows = int(s.NumRowsFetched());
      for (int r = 1; r <= rows; ++r) {
        if (FHasBlobs) {
          // Long values live in the record's own streams: such rows stay record buffers.
          TRecordBuffer rec = NewCacheRecord();
          try {
            RowToRecord(r, rec);
          } catch (...) {
            FreeRecordBuffer(rec);
            throw;
          }
          FCache.push_back(rec);
        } else {
          // The buffer as NewCacheRecord makes one, then the row, then packed.
          TRecordBuffer image = FillBuffer();
          std::memset(image, 0, size_t(FRecInfoOffset));
          std::memset(image + FRecInfoOffset, 0, size_t(FBufferSize - FRecInfoOffset));
          ++FLastRecordId;
          std::memcpy(BookmarkOf(image), &FLastRecordId, sizeof FLastRecordId);
          TRecInfo* info = GetRecInfo(image);
          info->BookmarkFlag = bfInserted;
          info->FormerPos = -1;
          info->OrderKey = FLastRecordId;
          info->CopySlot = -1;
          RowToRecord(r, image);
          TRecordBuffer rec = PackRecord(image);
          if (rec == nullptr) {
            rec = AllocRecordBuffer();
            std::memcpy(rec, image, size_t(FBufferSize));
          }
          FCache.push_back(rec);
        }
        FCacheMapValid = false;
      }
    }
  } catch (const Exception&) {
    FFillError = std::current_exception();
    throw;
  }
  FAllFetched = Limit < 0 || int(FCache.size()) < Limit;
}

bool TCustomODDataSet::FindCacheBookmark(std::int32_t Id) {
  const int i = IndexOfCacheId(Id);
  if (i < 0) return false;
  FCachePos = i + 1;
  return true;
}

void TCustomODDataSet::FetchAll() {
  if (FAllFetched) return;
  CheckBrowseMode();
  FetchLast();
  CursorPosChanged();
}

bool TCustomODDataSet::MoveAbsolute(int Row) {
  if (IsEmpty()) return true;
  CheckBrowseMode();
  DoBeforeScroll();
  bool r = FetchAbsolute(Row);
  if (!r) r = Row > 0 ? FetchPrev() : FetchNext();
  Resync({rmExact, rmCenter});
  DoAfterScroll();
  return r;
}

// ---- the record cache

TRecordBuffer TCustomODDataSet::NewCacheRecord() {
  TRecordBuffer rec = AllocRecordBuffer();
  ++FLastRecordId;
  std::memcpy(BookmarkOf(rec), &FLastRecordId, sizeof FLastRecordId);
  TRecInfo* info = GetRecInfo(rec);
  info->BookmarkFlag = bfInserted;
  info->UpdateStatus = 0;
  info->FormerPos = -1;
  info->OrderKey = FLastRecordId;
  return rec;
}

TRecordBuffer TCustomODDataSet::CurrentCacheEntry() {
  if (FCachePos < 1 || FCachePos > int(FCache.size())) throw EODBCLibrary("Current record not found in cache.");
  return FCache[size_t(FCachePos) - 1];
}

TRecordBuffer TCustomODDataSet::CurrentCacheRecord() {
  CurrentCacheEntry();
  return CacheRecord(FCachePos - 1);
}

TRecordBuffer TCustomODDataSet::CacheRecord(int Index) {
  TRecordBuffer& entry = FCache[size_t(Index)];
  if (!IsPacked(entry)) return entry;
  TRecordBuffer full = AllocRecordBuffer();
  UnpackRecord(entry, full, true);
  // The whole tail: update status, former place, order key as well.
  std::memcpy(full + FRecInfoOffset, entry - 1, size_t(FBufferSize - FRecInfoOffset));
  FreeCacheEntry(entry);
  entry = full;
  return full;
}

TRecordBuffer TCustomODDataSet::FillBuffer() {
  if (FFillBuffer == nullptr) FFillBuffer = AllocRecordBuffer();
  return FFillBuffer;
}

void TCustomODDataSet::FreeCacheEntry(TRecordBuffer& Entry) {
  if (IsPacked(Entry)) {
    delete[] (Entry - 1);
    Entry = nullptr;
  } else {
    FreeRecordBuffer(Entry);
  }
}

TRecordBuffer TCustomODDataSet::PackRecord(TRecordBuffer Full) {
  const size_t cols = FSlots.size();
  const size_t tail = size_t(FBufferSize - FRecInfoOffset);
  FPackLengths.resize(cols);
  size_t size = tail;
  for (size_t c = 0; c < cols; ++c) {
    const TSlot& slot = FSlots[c];
    const auto* p = reinterpret_cast<const unsigned char*>(Full) + slot.Offset;
    if (slot.Blob || p[slot.Width] >= kPackedHasValue || p[slot.Width + 1] > 1) return nullptr;
    const std::uint32_t n = TrimmedLength(p, std::uint32_t(slot.Width));
    FPackLengths[c] = n;
    size += 1 + size_t(VarLengthSize(n)) + n;
  }
  auto* block = new char[size];
  std::memcpy(block, Full + FRecInfoOffset, tail);
  auto* to = reinterpret_cast<unsigned char*>(block) + tail;
  for (size_t c = 0; c < cols; ++c) {
    const TSlot& slot = FSlots[c];
    const auto* p = reinterpret_cast<const unsigned char*>(Full) + slot.Offset;
    *to++ = static_cast<unsigned char>(p[slot.Width] | (p[slot.Width + 1] != 0 ? kPackedHasValue : 0));
    const std::uint32_t n = FPackLengths[c];
    to = PutVarLength(to, n);
    if (n > 0) std::memcpy(to, p, n);
    to += n;
  }
  return block + 1;
}

void TCustomODDataSet::UnpackRecord(TRecordBuffer Packed, TRecordBuffer Dest, bool WithBookmark) {
  const char* block = Packed - 1;
  const auto* from = reinterpret_cast<const unsigned char*>(block) + (FBufferSize - FRecInfoOffset);
  for (const TSlot& slot : FSlots) {
    auto* p = reinterpret_cast<unsigned char*>(Dest) + slot.Offset;
    const unsigned char flags = *from++;
    std::uint32_t n = 0;
    from = GetVarLength(from, n);
    if (n > 0) std::memcpy(p, from, n);
    std::memset(p + n, 0, size_t(slot.Width) - n);
    from += n;
    p[slot.Width] = static_cast<unsigned char>(flags & ~kPackedHasValue);
    p[slot.Width + 1] = (flags & kPackedHasValue) != 0 ? 1 : 0;
  }
  if (WithBookmark) {
    std::memcpy(BookmarkOf(Dest), BookmarkOf(Packed), size_t(BookmarkSize()));
    GetRecInfo(Dest)->BookmarkFlag = GetRecInfo(Packed)->BookmarkFlag;
  }
  if (CalcFieldsSize() > 0)
    std::memcpy(Dest + FCalcFieldsOffset, block + (FCalcFieldsOffset - FRecInfoOffset), size_t(CalcFieldsSize()));
  if (FKeySize > 0) std::memcpy(Dest + FKeyOffset, block + (FKeyOffset - FRecInfoOffset), size_t(FKeySize));
}

void TCustomODDataSet::InsertCacheRecord(int Index, TRecordBuffer Rec) {
  Index = std::clamp(Index, 0, int(FCache.size()));
  if (Index < int(FCache.size())) FCacheSorted = false;  // a new id ahead of older ones
  FCache.insert(FCache.begin() + Index, Rec);
  FCacheMapValid = false;
}

void TCustomODDataSet::DeleteCacheRecord(int Index) {
  if (Index < 0 || Index >= int(FCache.size())) return;
  TRecordBuffer rec = FCache[size_t(Index)];
  FCache.erase(FCache.begin() + Index);
  FreeCacheEntry(rec);
  FCacheMapValid = false;
  if (int(FCache.size()) < FCachePos) FCachePos = int(FCache.size());
}

void TCustomODDataSet::ClearCache() {
  for (TRecordBuffer& rec : FCache) FreeCacheEntry(rec);
  FCache.clear();
  FCacheMap.clear();
  FCacheMapValid = false;
  FCacheSorted = true;
}

std::int32_t TCustomODDataSet::RecordId(TRecordBuffer Buffer) const {
  std::int32_t id;
  std::memcpy(&id, BookmarkOf(Buffer), sizeof id);
  return id;
}

int TCustomODDataSet::IndexOfCacheId(std::int32_t Id) {
  if (FCacheSorted) {
    auto it = std::lower_bound(FCache.begin(), FCache.end(), Id,
                               [this](TRecordBuffer r, std::int32_t v) { return RecordId(r) < v; });
    return it != FCache.end() && RecordId(*it) == Id ? int(it - FCache.begin()) : -1;
  }
  if (!FCacheMapValid) {
    FCacheMap.clear();
    FCacheMap.reserve(FCache.size());
    for (size_t i = 0; i < FCache.size(); ++i) FCacheMap.emplace(RecordId(FCache[i]), int(i));
    FCacheMapValid = true;
  }
  auto it = FCacheMap.find(Id);
  return it != FCacheMap.end() ? it->second : -1;
}

std::string TCustomODDataSet::BookmarkKey(const void* Bookmark) const {
  return std::string(static_cast<const char*>(Bookmark), size_t(BookmarkSize()));
}

int TCustomODDataSet::IndexOfOldCopy(TRecordBuffer Rec) const {
  const TRecordBuffer entry = SavedCopyOf(Rec);
  return entry != nullptr ? GetRecInfo(entry)->CopySlot : -1;
}

TRecordBuffer TCustomODDataSet::SavedCopyOf(TRecordBuffer Rec) const {
  TRecordBuffer entry = nullptr;
  FindOldCopy(BookmarkOf(Rec), entry);
  return entry;
}

TRecordBuffer TCustomODDataSet::NewOldCopy(TRecordBuffer Rec) {
  TRecordBuffer entry = AllocRecordBuffer();
  // Filed under the record's bookmark at once: the caller copies the record in afterwards.
  std::memcpy(BookmarkOf(entry), BookmarkOf(Rec), size_t(BookmarkSize()));
  GetRecInfo(entry)->CopySlot = int(FOldCopies.size());
  FOldCopies.push_back(entry);
  FOldCopyIndex.emplace(BookmarkKey(BookmarkOf(entry)), entry);
  return entry;
}

TRecordBuffer TCustomODDataSet::OldCopyOf(TRecordBuffer Rec) {
  if (TRecordBuffer entry = SavedCopyOf(Rec)) return entry;
  return NewOldCopy(Rec);
}

bool TCustomODDataSet::FindOldCopy(const void* Bookmark, TRecordBuffer& Rec) const {
  if (FOldCopyIndex.empty()) return false;
  const auto it = FOldCopyIndex.find(BookmarkKey(Bookmark));
  if (it == FOldCopyIndex.end()) return false;
  Rec = it->second;
  return true;
}

void TCustomODDataSet::SaveOldCopy(TRecordBuffer Rec) { CopyRecord(Rec, OldCopyOf(Rec), true); }

void TCustomODDataSet::DeleteOldCopy(int Index) {
  if (Index < 0 || Index >= int(FOldCopies.size()) || FOldCopies[size_t(Index)] == nullptr) return;
  DropOldCopy(FOldCopies[size_t(Index)]);
  CompactOldCopies();
}

void TCustomODDataSet::TakeOldCopy(TRecordBuffer Entry) {
  const int slot = GetRecInfo(Entry)->CopySlot;
  if (slot < 0 || slot >= int(FOldCopies.size()) || FOldCopies[size_t(slot)] != Entry) return;
  FOldCopyIndex.erase(BookmarkKey(BookmarkOf(Entry)));
  // A hole, closed by CompactOldCopies: removing entries one by one from the middle of a long
  // list would move the rest each time.
  FOldCopies[size_t(slot)] = nullptr;
  ++FOldCopyHoles;
}

void TCustomODDataSet::DropOldCopy(TRecordBuffer Entry) {
  TakeOldCopy(Entry);
  FreeRecordBuffer(Entry);
}

void TCustomODDataSet::CompactOldCopies() {
  if (FOldCopyHoles == 0) return;
  FOldCopies.erase(std::remove(FOldCopies.begin(), FOldCopies.end(), nullptr), FOldCopies.end());
  for (size_t i = 0; i < FOldCopies.size(); ++i) GetRecInfo(FOldCopies[i])->CopySlot = int(i);
  FOldCopyHoles = 0;
}

void TCustomODDataSet::ClearOldCopies() {
  for (TRecordBuffer& rec : FOldCopies) FreeRecordBuffer(rec);
  FOldCopies.clear();
  FOldCopyIndex.clear();
  FOldCopyHoles = 0;
}

void TCustomODDataSet::AllocSpareBuffers() {
  FreeSpareBuffers();
  FFilterBuffer = AllocRecordBuffer();
  FOldValueBuffer = AllocRecordBuffer();
  FApplyBuffer = AllocRecordBuffer();
}

void TCustomODDataSet::FreeSpareBuffers() {
  FreeRecordBuffer(FFillBuffer);
  FreeRecordBuffer(FFilterBuffer);
  FreeRecordBuffer(FOldValueBuffer);
  FreeRecordBuffer(FApplyBuffer);
}

void TCustomODDataSet::CopyRecord(TRecordBuffer Source, TRecordBuffer Dest, bool WithBookmark) {
  if (Source == Dest) return;
  assert(!IsPacked(Source) && !IsPacked(Dest));
  if (!FHasBlobs) {
    std::memcpy(Dest, Source, size_t(FDataSize));
  } else {
    for (size_t c = 1; c <= FSlots.size(); ++c) {
      const TSlot& slot = FSlots[c - 1];
      if (slot.Blob) {
        // Each buffer keeps its own stream: the contents are copied.
        TMemoryStream* to = SlotStream(Dest, int(c));
        to->Clear();
        TMemoryStream* from = SlotStream(Source, int(c));
        if (from->Size() > 0) to->WriteBuffer(from->Memory(), from->Size());
        std::memcpy(Slot(Dest, int(c)) + slot.Width, Slot(Source, int(c)) + slot.Width, 2);
      } else {
        std::memcpy(Slot(Dest, int(c)), Slot(Source, int(c)), size_t(slot.Width) + 2);
      }
    }
  }
  if (WithBookmark) {
    std::memcpy(BookmarkOf(Dest), BookmarkOf(Source), size_t(BookmarkSize()));
    GetRecInfo(Dest)->BookmarkFlag = GetRecInfo(Source)->BookmarkFlag;
  }
  if (CalcFieldsSize() > 0)
    std::memcpy(Dest + FCalcFieldsOffset, Source + FCalcFieldsOffset, size_t(CalcFieldsSize()));
  if (FKeySize > 0) std::memcpy(Dest + FKeyOffset, Source + FKeyOffset, size_t(FKeySize));
}

void TCustomODDataSet::MarkUnwritableFields() {
  THstmt& s = Stmt();
  try {
    for (int c = 1; c <= int(FSlots.size()); ++c) {
      if (s.ColWritable(c)) continue;
      // A column of another table or an expression: its field refuses a value.
      if (TField* f = FindField(s.ColNames()->Get(c - 1))) f->SetReadOnly(true);
    }
  } catch (const Exception&) {
    // The target cannot be proven: a write raises.
  }
}

// ---- record buffers

TRecordBuffer TCustomODDataSet::AllocRecordBuffer() {
  auto* buffer = new char[size_t(std::max(FBufferSize, 1))]();
  if (FHasBlobs) {
    for (size_t c = 1; c <= FSlots.size(); ++c)
      if (FSlots[c - 1].Blob) {
        TMemoryStream* m = new TMemoryStream();
        std::memcpy(Slot(buffer, int(c)), &m, sizeof m);
      }
  }
  GetRecInfo(buffer)->FormerPos = -1;
  GetRecInfo(buffer)->CopySlot = -1;
  InitRecord(buffer);
  return buffer;
}

void TCustomODDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (Buffer == nullptr) return;
  if (FHasBlobs) {
    for (size_t c = 1; c <= FSlots.size(); ++c)
      if (FSlots[c - 1].Blob) delete SlotStream(Buffer, int(c));
  }
  delete[] Buffer;
  Buffer = nullptr;
}

void TCustomODDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  if (Buffer == nullptr) return;
  for (size_t c = 1; c <= FSlots.size(); ++c) {
    const TSlot& slot = FSlots[c - 1];
    if (slot.Blob) {
      SlotStream(Buffer, int(c))->Clear();
      SlotStatus(Buffer, int(c)) = 0;
      SlotNull(Buffer, int(c)) = 0;
    } else {
      std::memset(Slot(Buffer, int(c)), 0, size_t(slot.Width) + 2);
    }
  }
}

void TCustomODDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  if (Buffer != nullptr && CalcFieldsSize() > 0) std::memset(Buffer + FCalcFieldsOffset, 0, size_t(CalcFieldsSize()));
}

TCustomODDataSet::TRecInfo* TCustomODDataSet::GetRecInfo(TRecordBuffer Buffer) const {
  return reinterpret_cast<TRecInfo*>(IsPacked(Buffer) ? Buffer - 1 : Buffer + FRecInfoOffset);
}

// ---- deleted rows, bookmarks of the current position, deferred long values

bool TCustomODDataSet::IsDeletedBookmark(const void* Bookmark) {
  if (Bookmark == nullptr || FDeletedIndex.empty()) return false;
  return FDeletedIndex.count(BookmarkKey(Bookmark)) != 0;
}

bool TCustomODDataSet::IsDeletedRow(const void* Bookmark, bool RowValid) {
  if (FCached) return false;
  if (!RowValid) return true;
  return IsDeletedBookmark(Bookmark);
}

void TCustomODDataSet::AddDeletedBookmark(const void* Bookmark) {
  TBookmark b = AllocBookmark();
  std::memcpy(b, Bookmark, size_t(BookmarkSize()));
  FDeletedBookmarks.push_back(b);
  FDeletedIndex.insert(BookmarkKey(b));
}

void TCustomODDataSet::ClearDeletedBookmarks() {
  for (TBookmark& b : FDeletedBookmarks) FreeBookmark(b);
  FDeletedBookmarks.clear();
  FDeletedIndex.clear();
}

std::vector<unsigned char> TCustomODDataSet::CurrentRowBookmark() {
  std::vector<unsigned char> bm;
  CurrentRowBookmark(bm);
  return bm;
}

void TCustomODDataSet::CurrentRowBookmark(std::vector<unsigned char>& Bm) {
  if (FRowNumbers) {
    THstmt& s = Stmt();
    const std::int64_t row = s.RowNumber();
    if (row == 0 || !s.RowValid(1)) {
      Bm.clear();
      return;
    }
    if (row < 0)
      throw EODBCLibrary("The place of the current row in the result is not known, so its record could not be found "
                         "again: read the result with Cached set.");
    Bm.assign(size_t(BookmarkSize()), 0);
    std::memcpy(Bm.data(), &row, sizeof row);
    return;
  }
  Bm = Stmt().GetBookmark();
  if (Bm.empty()) return;
  if (int(Bm.size()) > BookmarkSize())
    throw EODBCLibrary("The driver's bookmark of " + std::to_string(Bm.size()) + " bytes is longer than the " +
                       std::to_string(BookmarkSize()) + " bytes it reported.");
  Bm.resize(size_t(BookmarkSize()), 0);
}

TBookmark TCustomODDataSet::GetCurrentBookmark() {
  if (FCached) {
    TBookmark b = AllocBookmark();
    std::memcpy(b, BookmarkOf(CurrentCacheEntry()), size_t(BookmarkSize()));
    return b;
  }
  const std::vector<unsigned char> bm = CurrentRowBookmark();
  if (bm.empty()) return nullptr;
  TBookmark b = AllocBookmark();
  std::memcpy(b, bm.data(), bm.size());
  return b;
}

void TCustomODDataSet::LoadDeferredBlobs(TRecordBuffer Buffer) {
  if (!FHasBlobs || FCached || !Stmt().BlobDeferral() || GetRecInfo(Buffer)->BookmarkFlag != bfCurrent) return;
  bool positioned = false;
  for (size_t c = 1; c <= FSlots.size(); ++c) {
    const int col = int(c);
    if (!FSlots[c - 1].Blob || (SlotStatus(Buffer, col) & kLoaded) != 0) continue;
    if (!positioned) {
      InternalSetToRecord(Buffer);
      CursorPosChanged();
      positioned = true;
    }
    LoadBlobSlot(Buffer, col, 1);
  }
}
