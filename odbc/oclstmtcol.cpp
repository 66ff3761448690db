// The statement component: result columns, fetching, long values, bookmarks, row status and the
// column accessors.
#include <algorithm>
#include <cstring>

#include "numbers.h"
#include "oclstmt.h"
#include "text.h"

namespace {

// Character columns wider than this many characters are read as long columns (in pieces into
// a stream) rather than bound: their buffers would be too large for a row set.
constexpr SQLULEN kMaxBoundChars = 8000;
constexpr SQLULEN kMaxBoundBytes = 32000;
// Room for a bookmark whose size the driver cannot tell; the size in use is learnt from the
// indicator of the first bookmark read.
constexpr SQLLEN kProvisionalBookmarkSize = 16;

inline SQLPOINTER UIntPtr(SQLULEN v) { return reinterpret_cast<SQLPOINTER>(v); }

std::string_view TrimView(std::string_view s, TStringTrimming t) {
  if (t == stTrimTrailing || t == stTrimBoth)
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  if (t == stTrimLeading || t == stTrimBoth)
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  return s;
}

SQL_TIMESTAMP_STRUCT DayZero() {
  SQL_TIMESTAMP_STRUCT ts;
  ClearTimestamp(ts);
  return ts;
}

}  // namespace

// ---- binding

void THstmt::BindCols() {
  if (FColsBound) return;
  Trace(1, "THstmt.BindCols");
  // Nothing to describe before the text is prepared or run.
  if (!FPrepared && !FExecuted) return;
  if (!FCols.empty()) {
    // A bind that failed half-way: start over.
    Check(ODBCApi().SQLFreeStmt(FHandle, SQL_UNBIND));
    FreeCols();
  }
  SQLSMALLINT count = 0;
  Check(ODBCApi().SQLNumResultCols(FHandle, &count));
  const size_t rows = size_t(FRowSetSize);
  FRowArraySize = rows;
  FColNames->Clear();
  for (SQLSMALLINT c = 1; c <= count; ++c) {
    char name[1024] = {};
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    Check(ODBCApi().SQLDescribeCol(FHandle, SQLUSMALLINT(c), reinterpret_cast<SQLCHAR*>(name), SQLSMALLINT(sizeof name - 1),
                                   &nameLen, &type, &size, &digits, &nullable));
    switch (type) {
      case SQL_WCHAR: type = SQL_CHAR; break;
      case SQL_WVARCHAR: type = SQL_VARCHAR; break;
      case SQL_WLONGVARCHAR: type = SQL_LONGVARCHAR; break;
      case SQL_GUID: type = SQL_BINARY; break;
      default: break;
    }
    auto col = std::make_unique<TColRec>();
    col->Name = name;
    col->SQLType = type;
    col->ColumnSize = size;
    col->DecimalDigits = digits;
    col->Nullable = nullable;
    SQLLEN bufLen = 0;
    bool hasBuffer = true;
    switch (type) {
      case SQL_CHAR:
      case SQL_VARCHAR:
        col->CType = SQL_C_CHAR;
        if (size == 0 || size > kMaxBoundChars) {
          col->IsLong = true;
        } else {
          // Room for the longest UTF-8 form of size characters and the terminator.
          col->ElemSize = size_t(size) * 4 + 1;
          bufLen = SQLLEN(col->ElemSize);
        }
        break;
      case SQL_NUMERIC:
      case SQL_DECIMAL:
      case SQL_FLOAT:
      case SQL_DOUBLE: col->CType = SQL_C_DOUBLE; break;
      case SQL_INTEGER:
      case SQL_SMALLINT:
      case SQL_TINYINT:
        if (FLooseTypes) {
          // Read wide: the column may hold any 64-bit value whatever its declared type.
          col->CType = ColAttribute(c, SQL_DESC_UNSIGNED) != 0 ? SQL_C_UBIGINT : SQL_C_SBIGINT;
        } else if (type == SQL_INTEGER) {
          col->CType = ColAttribute(c, SQL_DESC_UNSIGNED) != 0 ? SQL_C_ULONG : SQL_C_SLONG;
        } else if (type == SQL_SMALLINT) {
          col->CType = ColAttribute(c, SQL_DESC_UNSIGNED) != 0 ? SQL_C_USHORT : SQL_C_SSHORT;
        } else {
          col->CType = ColAttribute(c, SQL_DESC_UNSIGNED) != 0 ? SQL_C_UTINYINT : SQL_C_STINYINT;
        }
        break;
      case SQL_REAL: col->CType = SQL_C_FLOAT; break;
      case SQL_TYPE_DATE:
      case SQL_TYPE_TIME:
      case SQL_TYPE_TIMESTAMP: col->CType = type; break;
      case SQL_BIT: col->CType = SQL_C_BIT; break;
      case SQL_BIGINT: col->CType = ColAttribute(c, SQL_DESC_UNSIGNED) != 0 ? SQL_C_UBIGINT : SQL_C_SBIGINT; break;
      case SQL_BINARY:
      case SQL_VARBINARY:
        col->CType = SQL_C_BINARY;
        if (size == 0 || size > kMaxBoundBytes) {
          col->IsLong = true;
        } else {
          col->ElemSize = size_t(size);
          bufLen = SQLLEN(col->ElemSize);
        }
        break;
      case SQL_LONGVARCHAR:
        col->CType = SQL_C_CHAR;
        col->IsLong = true;
        break;
      case SQL_LONGVARBINARY:
        col->CType = SQL_C_BINARY;
        col->IsLong = true;
        break;
      default:
        col->CType = SQL_C_BINARY;
        hasBuffer = false;
        break;
    }
    if (hasBuffer && !col->IsLong && col->ElemSize == 0) col->ElemSize = size_t(CTypeSize(col->CType));
    col->Ind = std::make_unique<SQLLEN[]>(rows);
    col->Ind[0] = SQL_NULL_DATA;
    if (col->IsLong) {
      col->Stream = std::make_unique<TMemoryStream>();
      FHasLongCols = true;
    } else {
      if (hasBuffer) col->Buffer.reset(new unsigned char[col->ElemSize * rows]());
      TColRec* cp = col.get();
      FCols.push_back(std::move(col));
      FColNames->Add(cp->Name);
      Check(ODBCApi().SQLBindCol(FHandle, SQLUSMALLINT(c), cp->CType, cp->Buffer.get(), bufLen, cp->Ind.get()));
      continue;
    }
    FColNames->Add(col->Name);
    FCols.push_back(std::move(col));
  }
  for (size_t i = 0; i < FCols.size(); ++i) {
    const TColRec& c = *FCols[i];
    if (c.IsLong || !c.Buffer) continue;
    if (c.CType == SQL_C_CHAR || c.CType == SQL_C_BINARY) FTextCols.push_back(i);
    // Dates that SQLite's driver may report as NULL although they are not.
    if (FLooseTypes && (c.CType == SQL_C_TYPE_DATE || c.CType == SQL_C_TYPE_TIME || c.CType == SQL_C_TYPE_TIMESTAMP))
      FDateCols.push_back(i);
  }
  FRowStatus.reset(new SQLUSMALLINT[rows]());
  FRowFlags.reset(new uint16_t[rows]());
  if ((FCursorAttributes & SQL_CA1_BOOKMARK) != 0) {
    SQLLEN len = 0;
    if (Judge(ODBCApi().SQLColAttribute(FHandle, 0, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &len)) && len > 0) {
      FBookmarkSize = len;
      FBookmarkSizeKnown = true;
    } else if (!FBookmarkSizeKnown) {
      FBookmarkSize = kProvisionalBookmarkSize;
    }
  }
  if (FBindBookmarks) {
    FBookmarks.reset(new unsigned char[size_t(FBookmarkSize) * rows]());
    FBookmarkInd = std::make_unique<SQLLEN[]>(rows);
    const SQLRETURN rc = ODBCApi().SQLBindCol(FHandle, 0, SQL_C_VARBOOKMARK, FBookmarks.get(), FBookmarkSize,
                                              FBookmarkInd.get());
    if (!Judge(rc)) {
      // This cursor has no bookmarks after all: the statement goes on without them.
      FBookmarks.reset();
      FBookmarkInd.reset();
      FBindBookmarks = false;
    }
  }
  if (rows > 1) FHasLongCols = false;
  ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_ROW_STATUS_PTR, FRowStatus.get(), 0);
  FColsBound = true;
}

int THstmt::NumCols() {
  Trace(1, "THstmt.NumCols");
  Init();
  BindCols();
  return int(FCols.size());
}

TStrings* THstmt::ColNames() {
  Init();
  BindCols();
  return FColNames.get();
}

TColRec* THstmt::ColRec(int Col) {
  Init();
  BindCols();
  if (Col < 1 || size_t(Col) > FCols.size()) return nullptr;
  return FCols[size_t(Col) - 1].get();
}

namespace {
// Positions of the row set that are no row number (THstmt::FRowsetStart).
constexpr SQLLEN kBeforeStart = 0;
constexpr SQLLEN kAfterEnd = -1;
constexpr SQLLEN kUnknownRow = -2;
}  // namespace

// Every reader passes here: the usual cell (bound, read whole) takes the shortest way.
bool THstmt::FindCell(int Col, int Row, TCell& Cell) {
  if (!FColsBound) {
    Init();
    BindCols();
  }
  const size_t c0 = size_t(Col) - 1, r = size_t(Row) - 1;
  if (Col < 1 || c0 >= FCols.size() || Row < 1 || r >= FRowArraySize) return false;
  TColRec* c = FCols[c0].get();
  Cell.Col = c;
  Cell.Index = c0;
  Cell.Row = Row;
  Cell.Ind = &c->Ind[r];
  if (c->HasFull.empty() || c->HasFull[r] == 0) [[likely]] {
    // A long column has no buffer (and element size 0).
    Cell.Value = c->Buffer ? c->Buffer.get() + c->ElemSize * r : nullptr;
    Cell.Capacity = c->ElemSize;
    return true;
  }
  if (c->HasFull[r] == 2)
    throw EODBCLibrary("Column " + c->Name + " of row " + std::to_string(Row) +
                       " cannot be read: in a row set of several rows the driver cannot tell a NULL "
                       "date from one it could not convert.");
  if (c->CType == SQL_C_CHAR || c->CType == SQL_C_BINARY) {
    std::string& full = c->Full[r];
    Cell.Value = full.data();
    Cell.Capacity = full.size() + 1;
  } else {
    Cell.Value = c->Buffer.get() + c->ElemSize * r;
    Cell.Capacity = c->ElemSize;
  }
  return true;
}

bool THstmt::FindValue(int Col, int Row, TCell& Cell) {
  return FindCell(Col, Row, Cell) && Cell.Value != nullptr && *Cell.Ind != SQL_NULL_DATA;
}

TMemoryStream* THstmt::LongStream(TColRec& C, int Row) {
  if (Row <= 1) return C.Stream.get();
  if (C.RowStreams.size() < FRowArraySize) C.RowStreams.resize(FRowArraySize);
  std::unique_ptr<TMemoryStream>& s = C.RowStreams[size_t(Row) - 1];
  if (!s) s = std::make_unique<TMemoryStream>();
  return s.get();
}

// ---- fetching

bool THstmt::Fetch(SQLSMALLINT Orientation, SQLLEN Offset) {
  Trace(1, "THstmt.Fetch");
  Init();
  DoBeforeFetch();
  BindCols();
  SQLRETURN rc;
  const SQLSMALLINT asked = Orientation;
  const SQLLEN askedOffset = Offset;
  if (FRowArraySize > 1 && FSetPosUnreliable && !EmulatedScroll(Orientation, Offset))
    rc = SQL_NO_DATA;
  else if (Orientation == SQL_FETCH_NEXT && FHdbc->CursorLib() == SQL_CUR_USE_DRIVER)
    rc = ODBCApi().SQLFetch(FHandle);
  else
    rc = ODBCApi().SQLFetchScroll(FHandle, Orientation, Offset);
  if (FRowFlags) std::memset(FRowFlags.get(), 0, sizeof(uint16_t) * FRowArraySize);
  ForgetKeyValues();
  if (FAnyFull) {
    for (auto& c : FCols) std::fill(c->HasFull.begin(), c->HasFull.end(), 0);
    FAnyFull = false;
  }
  if (rc == SQL_NO_DATA) {
    FRetCode = rc;
    FRowsFetched = 0;
    NoteRowsetStart(asked, askedOffset, false);
    return false;
  }
  // Where a failed fetch left the driver is not known.
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) FRowsetStart = kUnknownRow;
  Check(rc);
  NoteRowsetStart(asked, askedOffset, true);
  // Looked at after every fetch, not only after a warning: a driver that cuts a value without
  // saying so must not lose it either.
  CheckTruncation();
  if (!FDateCols.empty()) CheckNullDates();
  if (FHasLongCols) {
    for (size_t i = 0; i < FCols.size(); ++i) {
      TColRec& c = *FCols[i];
      if (!c.IsLong) continue;
      c.Loaded = false;
      if (FBlobDeferral)
        c.Ind[0] = SQL_NULL_DATA;
      else
        c.Ind[0] = ReadBlobCol(int(i) + 1, 1, c.Stream.get(), c.CType);
    }
  } else if (FRowArraySize > 1) {
    // Long values of a larger row set are read on demand, row by row: none is known yet.
    for (auto& c : FCols) {
      if (!c->IsLong) continue;
      c->Loaded = false;
      std::fill(c->Ind.get(), c->Ind.get() + FRowArraySize, SQL_NULL_DATA);
    }
  }
  DoAfterFetch();
  return true;
}

bool THstmt::FetchBookmark(const std::vector<unsigned char>& Bookmark) {
  Trace(1, "THstmt.FetchBookmark");
  Init();
  Check(ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_FETCH_BOOKMARK_PTR, const_cast<unsigned char*>(Bookmark.data()),
                                 SQLINTEGER(Bookmark.size())));
  return Fetch(SQL_FETCH_BOOKMARK, 0);
}

SQLLEN THstmt::RowNumber() const {
  return FRowsetStart > 0 ? FRowsetStart : FRowsetStart == kUnknownRow ? -1 : 0;
}

bool THstmt::EmulatedScroll(SQLSMALLINT& Orientation, SQLLEN& Offset) {
  if (Orientation != SQL_FETCH_PRIOR && Orientation != SQL_FETCH_RELATIVE) return true;
  // SQLite's driver steps back and relative from the last row of the row set, not from its
  // first: both are asked as absolute fetches from the first row, by the standard's rules.
  const SQLLEN r = SQLLEN(FRowArraySize), s = FRowsetStart;
  const SQLLEN n = Orientation == SQL_FETCH_PRIOR ? -r : Offset;
  if (s == kUnknownRow)
    throw EODBCLibrary("The row set before or around this one cannot be fetched: its position in the result is "
                       "not known.");
  if (s == kBeforeStart) {
    if (n <= 0) return false;
    Orientation = SQL_FETCH_ABSOLUTE;
    Offset = n;
    return true;
  }
  if (s == kAfterEnd) {
    if (n >= 0) return false;
    // From after the end, a step of -k starts at the k-th row from the end (the last row set
    // for a step back).
    Orientation = Orientation == SQL_FETCH_PRIOR ? SQL_FETCH_LAST : SQL_FETCH_ABSOLUTE;
    Offset = Orientation == SQL_FETCH_LAST ? 0 : n;
    return true;
  }
  const SQLLEN target = s + n;
  Orientation = SQL_FETCH_ABSOLUTE;
  if (target >= 1) {
    Offset = target;
  } else if (s == 1 || -n > r) {
    Offset = 0;  // before the start: no rows, and the next step forward starts at row 1
  } else {
    Orientation = SQL_FETCH_FIRST;
    Offset = 0;
  }
  return true;
}

void THstmt::NoteRowsetStart(SQLSMALLINT Orientation, SQLLEN Offset, bool GotRows) {
  const SQLLEN r = SQLLEN(FRowArraySize), s = FRowsetStart, total = FCursorRowCount;
  if (!GotRows) {
    const bool back = Orientation == SQL_FETCH_PRIOR || (Orientation == SQL_FETCH_RELATIVE && Offset < 0) ||
                      (Orientation == SQL_FETCH_ABSOLUTE && Offset <= 0);
    FRowsetStart = back ? kBeforeStart : kAfterEnd;
    return;
  }
  SQLLEN next = kUnknownRow;
  switch (Orientation) {
    case SQL_FETCH_FIRST: next = 1; break;
    case SQL_FETCH_NEXT: next = s == kBeforeStart ? 1 : s > 0 ? s + r : kUnknownRow; break;
    case SQL_FETCH_PRIOR:
      next = s == kAfterEnd ? (total >= 0 ? total - r + 1 : kUnknownRow) : s > 0 ? s - r : kUnknownRow;
      break;
    case SQL_FETCH_RELATIVE:
      next = s == kBeforeStart ? Offset
             : s == kAfterEnd  ? (total >= 0 ? total + Offset + 1 : kUnknownRow)
             : s > 0           ? s + Offset
                               : kUnknownRow;
      break;
    case SQL_FETCH_ABSOLUTE: next = Offset > 0 ? Offset : total >= 0 ? total + Offset + 1 : kUnknownRow; break;
    case SQL_FETCH_LAST: next = total >= 0 ? total - r + 1 : kUnknownRow; break;
    default: break;
  }
  // A step that would start before row 1 gives the first row set.
  FRowsetStart = next == kUnknownRow ? kUnknownRow : std::max<SQLLEN>(next, 1);
}

void THstmt::CheckNullDates() {
  // The driver reports a date it cannot convert ("2025-13-45") as NULL: its own text tells
  // the two apart. That needs the row to be current, which only a row set of one row is.
  const size_t rows = FetchedRows();
  for (const size_t i : FDateCols) {
    TColRec& c = *FCols[i];
    for (size_t r = 0; r < rows; ++r) {
      if (c.Ind[r] != SQL_NULL_DATA || !RowValid(int(r) + 1)) continue;
      MakeRoomForFull(c);
      if (FRowArraySize > 1) {
        c.HasFull[r] = 2;
        continue;
      }
      char text[128];
      SQLLEN ind = SQL_NULL_DATA;
      Check(ODBCApi().SQLGetData(FHandle, SQLUSMALLINT(i + 1), SQL_C_CHAR, text, sizeof text, &ind));
      if (ind == SQL_NULL_DATA) continue;
      const size_t n = ind == SQL_NO_TOTAL || ind >= SQLLEN(sizeof text) ? sizeof text - 1 : size_t(ind);
      c.Full[r].assign(text, n);
      c.HasFull[r] = 1;
      c.Ind[r] = SQLLEN(n);
    }
  }
}

size_t THstmt::FetchedRows() const {
  return FRowsFetched > 0 ? std::min<size_t>(size_t(FRowsFetched), FRowArraySize) : 1;
}

void THstmt::MakeRoomForFull(TColRec& C) {
  if (C.Full.size() < FRowArraySize) {
    C.Full.resize(FRowArraySize);
    C.HasFull.resize(FRowArraySize, 0);
  }
  FAnyFull = true;
}

void THstmt::CheckTruncation() {
  // A value longer than its element came cut with a warning: it is read again in full.
  const size_t rows = FetchedRows();
  for (const size_t i : FTextCols) {
    TColRec& c = *FCols[i];
    const SQLLEN limit = SQLLEN(c.CType == SQL_C_CHAR ? c.ElemSize - 1 : c.ElemSize);
    const SQLLEN* ind = c.Ind.get();
    for (size_t r = 0; r < rows; ++r)
      if (ind[r] > limit || ind[r] == SQL_NO_TOTAL) [[unlikely]] ReadFull(c, int(i) + 1, int(r) + 1);
  }
}

void THstmt::ReadFull(TColRec& C, int Col, int Row) {
  if (FRowArraySize > 1) {
    if (!CanPositionRows())
      throw EODBCLibrary("Value of column " + C.Name + " is longer than its buffer.");
    Check(ODBCApi().SQLSetPos(FHandle, SQLSETPOSIROW(Row), SQL_POSITION, SQL_LOCK_NO_CHANGE));
  }
  std::string value;
  std::vector<char> buf(65536);
  const SQLLEN bufLen = SQLLEN(buf.size());
  while (true) {
    SQLLEN ind = 0;
    const SQLRETURN rc = ODBCApi().SQLGetData(FHandle, SQLUSMALLINT(Col), C.CType, buf.data(), bufLen, &ind);
    if (rc == SQL_NO_DATA) break;
    Check(rc);
    if (ind == SQL_NULL_DATA) break;
    const SQLLEN room = C.CType == SQL_C_CHAR ? bufLen - 1 : bufLen;
    const SQLLEN got = (ind == SQL_NO_TOTAL || ind > room) ? room : ind;
    value.append(buf.data(), size_t(got));
    if (rc == SQL_SUCCESS) break;
  }
  MakeRoomForFull(C);
  C.Ind[size_t(Row) - 1] = SQLLEN(value.size());
  C.Full[size_t(Row) - 1] = std::move(value);
  C.HasFull[size_t(Row) - 1] = 1;
}

SQLLEN THstmt::ReadBlob(int Col, SQLSMALLINT CType, TStream* Stream) {
  Trace(1, "THstmt.ReadBlob");
  Init();
  const size_t piece = size_t(FBlobSize);
  // One work buffer for every value the statement reads, not one per value: the driver writes
  // each piece into it.
  FBlobBuf.resize(piece + 1);
  char* buf = FBlobBuf.data();
  const SQLLEN bufLen = CType == SQL_C_CHAR ? SQLLEN(piece) + 1 : SQLLEN(piece);
  SQLLEN total = 0;
  SQLRETURN rc = ODBCApi().SQLGetData(FHandle, SQLUSMALLINT(Col), CType, buf, bufLen, &total);
  Check(rc);
  // Both looked at before anything is written.
  if (total == SQL_NO_TOTAL)
    throw EODBCLibrary("Unable to retrieve blob.  You may have to increase the BlobSize property.");
  // Emptied, keeping its memory for the next value of the column.
  if (auto* ms = dynamic_cast<TMemoryStream*>(Stream)) ms->SetSize(0);
  if (total == SQL_NULL_DATA) return SQL_NULL_DATA;
  SQLLEN written = std::min<SQLLEN>(total, SQLLEN(piece));
  if (written > 0) Stream->WriteBuffer(buf, written);
  while (rc == SQL_SUCCESS_WITH_INFO && written < total) {
    SQLLEN ind = 0;
    rc = ODBCApi().SQLGetData(FHandle, SQLUSMALLINT(Col), CType, buf, bufLen, &ind);
    if (rc == SQL_NO_DATA || !Judge(rc)) break;
    const SQLLEN n = std::min<SQLLEN>(SQLLEN(piece), total - written);
    Stream->WriteBuffer(buf, n);
    written += n;
  }
  if (rc != SQL_NO_DATA) Check(rc);
  return total;
}

SQLLEN THstmt::ReadBlobCol(int Col, int Row, TStream* Stream, SQLSMALLINT CType) {
  Trace(1, "THstmt.ReadBlobCol");
  SQLLEN result = ColSizeRow(Col, Row);
  TColRec* c = ColRec(Col);
  if (c == nullptr) return result;
  // Row 1's value held (read, written or read back) is the row's value wherever the cursor has
  // gone since: a cache reads ahead, and a refresh or a write must not be replaced by the
  // cursor's copy.
  if (Row == 1 && c->Loaded) return result;
  if (!RowValid(Row)) {
    // No row to read from: NULL, with no other row's value left behind it.
    if (auto* ms = dynamic_cast<TMemoryStream*>(Stream)) ms->SetSize(0);
    return SQL_NULL_DATA;
  }
  if (FRowArraySize <= 1) {
    result = ReadBlob(Col, CType, Stream);
  } else {
    // Without positioning the value of this row cannot be read: an error, not an empty value.
    if (!CanPositionRows())
      throw EODBCLibrary("Long values of row " + std::to_string(Row) +
                         " cannot be read: the driver cannot position on a row of the row set.");
    Check(ODBCApi().SQLSetPos(FHandle, SQLSETPOSIROW(Row), SQL_POSITION, SQL_LOCK_NO_CHANGE));
    try {
      result = ReadBlob(Col, CType, Stream);
    } catch (const EODBC& E) {
      if (E.RetCode() != SQL_NO_DATA) throw;
      return result;
    }
  }
  if (Row == 1) c->Loaded = true;
  return result;
}

void THstmt::BindBlobCols(bool ForWrite) {
  Trace(1, "THstmt.BindBlobCols");
  Init();
  BindCols();
  const bool needLen = NeedLongDataLen();
  for (size_t i = 0; i < FCols.size(); ++i) {
    TColRec& c = *FCols[i];
    if (!c.IsLong) continue;
    if (ForWrite) c.Ind[0] = ColSize(int(i) + 1);
    SQLLEN bufLen = 0;
    if (needLen) {
      if (ForWrite && c.Ind[0] >= 0)
        c.Ind[0] = SQL_LEN_DATA_AT_EXEC(c.Ind[0]);
      else if (!ForWrite && c.Ind[0] <= SQL_LEN_DATA_AT_EXEC_OFFSET)
        c.Ind[0] = SQL_LEN_DATA_AT_EXEC_OFFSET - c.Ind[0];
    } else if (ForWrite) {
      bufLen = c.CType == SQL_C_CHAR ? c.Ind[0] + 1 : c.Ind[0];
      if (bufLen < 0) bufLen = 0;
    }
    // An empty value needs an address too: without one the driver leaves the column out.
    Check(ODBCApi().SQLBindCol(FHandle, SQLUSMALLINT(i + 1), c.CType, ForWrite ? LongWriteBuffer(c) : nullptr, bufLen,
                               c.Ind.get()));
  }
}

// ---- bookmarks and rows

std::vector<unsigned char> THstmt::GetBookmark() {
  Trace(1, "THstmt.GetBookmark");
  std::vector<unsigned char> bm;
  if ((FCursorAttributes & SQL_CA1_BOOKMARK) == 0 || !RowValid(1)) return bm;
  if (FBindBookmarks && FBookmarks) {
    const SQLLEN ind = FBookmarkInd[0];
    // A bookmark cut to the bound room would find another row: none rather than that.
    if (ind > FBookmarkSize || ind == SQL_NO_TOTAL) return bm;
    const SQLLEN n = ind > 0 ? ind : FBookmarkSize;
    bm.assign(FBookmarks.get(), FBookmarks.get() + n);
    return bm;
  }
  // With a one-row row set the current row is row 1 already; a forward-only cursor cannot be
  // positioned, but its bookmark can still be read.
  if (FRowArraySize > 1 && !CanPositionRows()) return bm;
  const SQLRETURN prc = ODBCApi().SQLSetPos(FHandle, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
  if (!Judge(prc) && FRowArraySize > 1) return bm;
  bm.resize(size_t(std::max<SQLLEN>(FBookmarkSize, kProvisionalBookmarkSize)));
  SQLLEN ind = 0;
  const SQLRETURN rc =
      ODBCApi().SQLGetData(FHandle, 0, SQL_C_VARBOOKMARK, bm.data(), SQLLEN(bm.size()), &ind);
  if (!Judge(rc) || ind <= 0) {
    // The cursor has no readable bookmark: none, rather than an error on every row.
    bm.clear();
    return bm;
  }
  if (ind > SQLLEN(bm.size())) {
    // Longer than the room guessed: the rest follows in a second piece, or there is none.
    const size_t had = bm.size();
    bm.resize(size_t(ind));
    SQLLEN rest = 0;
    if (!Judge(ODBCApi().SQLGetData(FHandle, 0, SQL_C_VARBOOKMARK, bm.data() + had, SQLLEN(bm.size() - had), &rest))) {
      bm.clear();
      return bm;
    }
  }
  if (ind < SQLLEN(bm.size())) bm.resize(size_t(ind));
  if (!FBookmarkSizeKnown) {
    FBookmarkSize = SQLLEN(bm.size());
    FBookmarkSizeKnown = true;
  }
  return bm;
}

SQLUSMALLINT THstmt::RowStatus(int Row) const {
  if (!FRowStatus || Row < 1 || size_t(Row) > FRowArraySize) return SQL_ROW_NOROW;
  return FRowStatus[size_t(Row) - 1];
}

bool THstmt::RowValid(int Row) const {
  switch (RowStatus(Row)) {
    case SQL_ROW_SUCCESS:
    case SQL_ROW_UPDATED:
    case SQL_ROW_ADDED:
    case SQL_ROW_SUCCESS_WITH_INFO: return true;
    default: return false;
  }
}

uint16_t THstmt::RowOperation(int Row) const {
  if (!FRowFlags || Row < 1 || size_t(Row) > FRowArraySize) return 0;
  return FRowFlags[size_t(Row) - 1] & 0x000F;
}

void THstmt::SetRowOperation(int Row, uint16_t Value) {
  if (!FRowFlags || Row < 1 || size_t(Row) > FRowArraySize) return;
  uint16_t& w = FRowFlags[size_t(Row) - 1];
  if ((Value & 0x000F) != 0)
    w = uint16_t(Value | (w & 0xFFF0));
  else
    w = uint16_t(w & 0xFFF0);
}

// ---- lengths and descriptions

SQLLEN THstmt::ColSizeRow(int Col, int Row) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return 0;
  if (cell.Col->IsLong) {
    const SQLLEN ind = *cell.Ind;
    return ind < 0 ? ind : SQLLEN(LongStream(*cell.Col, Row)->Size());
  }
  return *cell.Ind;
}

void THstmt::SetColSizeRow(int Col, int Row, SQLLEN Size) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return;
  BeforeCellWrite(cell);
  if (cell.Col->IsLong) {
    if (Size >= 0) LongStream(*cell.Col, Row)->SetSize(Size);
    *cell.Ind = Size;
    return;
  }
  // The driver reads Size bytes of the element when the row is written: never past it.
  if ((cell.Col->CType == SQL_C_CHAR || cell.Col->CType == SQL_C_BINARY) && Size > SQLLEN(cell.Capacity))
    throw EODBCLibrary("Length " + std::to_string(Size) + " exceeds the buffer of column " + cell.Col->Name + ".");
  *cell.Ind = Size;
}

bool THstmt::ColNullRow(int Col, int Row) { return ColSizeRow(Col, Row) == SQL_NULL_DATA; }

void THstmt::SetColNull(int Col, bool Value) {
  if (Value) SetColSize(Col, SQL_NULL_DATA);
}

void THstmt::SetColIgnore(int Col, bool Value) {
  if (Value) SetColSize(Col, SQL_COLUMN_IGNORE);
}

bool THstmt::ColIgnoreRow(int Col, int Row) { return ColSizeRow(Col, Row) == SQL_COLUMN_IGNORE; }

void THstmt::SetColPrimary(int Col, bool Value) {
  if (TColRec* c = ColRec(Col)) c->IsPrimary = Value;
}

bool THstmt::ColPrimary(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr && c->IsPrimary;
}

SQLULEN THstmt::ColPrecision(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr ? c->ColumnSize : 0;
}

SQLSMALLINT THstmt::ColScale(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr ? c->DecimalDigits : 0;
}

SQLSMALLINT THstmt::ColNullable(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr ? c->Nullable : SQLSMALLINT(SQL_NULLABLE_UNKNOWN);
}

SQLLEN THstmt::ColAttribute(int Col, SQLUSMALLINT Field) {
  Trace(1, "THstmt.ColAttribute");
  Init();
  SQLLEN v = 0;
  Check(ODBCApi().SQLColAttribute(FHandle, SQLUSMALLINT(Col), Field, nullptr, 0, nullptr, &v));
  return v;
}

// ---- readers

namespace {

// The driver's own text of a date it could not convert, or nullptr.
const std::string* UnconvertedText(const TColRec& C, int Row) {
  if (C.HasFull.empty() || C.HasFull[size_t(Row) - 1] != 1 || C.CType == SQL_C_CHAR || C.CType == SQL_C_BINARY)
    return nullptr;
  return &C.Full[size_t(Row) - 1];
}

}  // namespace

void THstmt::RangeError(const TCell& Cell, const char* Target, const std::string& Value) const {
  throw EConvertError("Value " + Value + " of column " + Cell.Col->Name + " is out of range for " + Target + ".");
}

std::string THstmt::ColString(int Col, int Row) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return {};
  const TColRec& c = *cell.Col;
  const SQLLEN ind = *cell.Ind;
  if (c.CType == SQL_C_CHAR && cell.Value != nullptr) {
    if (ind == SQL_NULL_DATA) return {};
    const char* p = static_cast<const char*>(cell.Value);
    size_t n = cell.Capacity;
    if (ind >= 0 && size_t(ind) < n) n = size_t(ind);
    if (const void* z = std::memchr(p, 0, n)) n = size_t(static_cast<const char*>(z) - p);
    return std::string(TrimView(std::string_view(p, n), FStringTrimming));
  }
  if (c.IsLong) {
    TMemoryStream* s = ColStream(Col, Row);
    if (*cell.Ind == SQL_NULL_DATA || s == nullptr) return {};
    return StreamToString(s);
  }
  if (const std::string* raw = UnconvertedText(c, Row)) return TrimString(*raw, FStringTrimming);
  if (ind == SQL_NULL_DATA || cell.Value == nullptr) return {};
  return BufferToText(cell.Value, c.CType, FStringTrimming, cell.Capacity);
}

double THstmt::ColDouble(int Col, int Row) {
  TCell cell;
  if (!FindValue(Col, Row, cell)) return 0;
  return BufferToDouble(cell.Value, cell.Col->CType, cell.Capacity);
}

int64_t THstmt::CellInt64(const TCell& Cell) const {
  if (Cell.Col->CType == SQL_C_UBIGINT) {
    uint64_t v = 0;
    std::memcpy(&v, Cell.Value, sizeof v);
    if (v > uint64_t(INT64_MAX)) RangeError(Cell, "a 64-bit integer", std::to_string(v));
  }
  return BufferToInt64(Cell.Value, Cell.Col->CType, Cell.Capacity);
}

// A value outside the reader's range is an error naming the column, never its low bits.
int64_t THstmt::ColRanged(int Col, int Row, int64_t Lo, int64_t Hi, const char* Target) {
  TCell cell;
  if (!FindValue(Col, Row, cell)) return 0;
  const int64_t v = CellInt64(cell);
  if (v < Lo || v > Hi) RangeError(cell, Target, std::to_string(v));
  return v;
}

int16_t THstmt::ColSmallint(int Col, int Row) { return int16_t(ColRanged(Col, Row, -32768, 32767, "a 16-bit integer")); }

// Negative 16-bit values keep their two's complement, as the column's low 16 bits.
uint16_t THstmt::ColWord(int Col, int Row) { return uint16_t(ColRanged(Col, Row, -32768, 65535, "a 16-bit integer")); }

int32_t THstmt::ColInteger(int Col, int Row) {
  return int32_t(ColRanged(Col, Row, INT32_MIN, INT32_MAX, "a 32-bit integer"));
}

int64_t THstmt::ColInt64(int Col, int Row) {
  TCell cell;
  if (!FindValue(Col, Row, cell)) return 0;
  return CellInt64(cell);
}

SQL_TIMESTAMP_STRUCT THstmt::ColTimestamp(int Col, int Row) {
  TCell cell;
  if (!FindValue(Col, Row, cell)) return DayZero();
  SQL_TIMESTAMP_STRUCT ts;
  const std::string* raw = UnconvertedText(*cell.Col, Row);
  if (raw == nullptr && cell.Col->CType != SQL_C_CHAR) return BufferToTimestamp(cell.Value, cell.Col->CType, ts);
  // Text (a character column, or a date the driver could not convert) is read as a date, and
  // text that is none raises: only NULL gives day zero.
  const std::string text = Trim(raw != nullptr ? *raw : ColString(Col, Row));
  if (!TextToTimestamp(text, ts))
    throw EConvertError("Value '" + text + "' of column " + cell.Col->Name + " is not a valid date.");
  return ts;
}

// Row 1's value as held (read at the fetch, written or read back), else read now: deferred, or
// in a larger row set, whose fetch reads no long value.
TMemoryStream* THstmt::ColStream(int Col) { return ColStream(Col, 1); }

TMemoryStream* THstmt::ColStream(int Col, int Row) {
  TCell cell;
  if (!FindCell(Col, Row, cell) || !cell.Col->IsLong) return nullptr;
  TColRec& c = *cell.Col;
  TMemoryStream* s = LongStream(c, Row);
  *cell.Ind = ReadBlobCol(Col, Row, s, c.CType);
  return s;
}

void* THstmt::ColValue(int Col, int Row) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return nullptr;
  if (cell.Col->IsLong) {
    TMemoryStream* s = ColStream(Col, Row);
    return s != nullptr ? s->Memory() : nullptr;
  }
  return cell.Value;
}

SQLSMALLINT THstmt::ColCType(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr ? c->CType : 0;
}

SQLSMALLINT THstmt::ColSQLType(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr ? c->SQLType : 0;
}

bool THstmt::ColIsBlob(int Col) {
  TColRec* c = ColRec(Col);
  return c != nullptr && c->IsLong;
}

// ---- writers

void THstmt::StoreText(TCell& Cell, const std::string& Text, bool ApplyNullRule) {
  BeforeCellWrite(Cell);
  TColRec& c = *Cell.Col;
  const std::string t = TrimString(Text, FStringTrimming);
  if (c.IsLong) {
    // Exactly the text: the stream's size is the length a positioned write sends.
    PutCellBytes(c, Cell.Row, t.data(), SQLLEN(t.size()));
  } else {
    if (!c.Buffer) return;
    void* elem = c.Buffer.get() + c.ElemSize * (size_t(Cell.Row) - 1);
    const bool text = c.CType == SQL_C_CHAR || c.CType == SQL_C_BINARY;
    if (text) {
      if (!TextToBuffer(t, elem, c.ElemSize, c.CType, stTrimNone))
        throw EODBCLibrary("Value too long for column " + c.Name + ".");
    } else {
      // Converted aside: a text that is no value of the cell's type raises and leaves the cell
      // as it was, so that no earlier value is sent in its place.
      unsigned char value[sizeof(SQL_TIMESTAMP_STRUCT)] = {};
      if (c.ElemSize > sizeof value || !TextToBuffer(t, value, c.ElemSize, c.CType, stTrimNone))
        throw EConvertError("Value '" + t + "' cannot be written to column " + c.Name + ": it is no " +
                            CTypeName(c.CType) + " value.");
      std::memcpy(elem, value, c.ElemSize);
    }
    if (!c.HasFull.empty()) c.HasFull[size_t(Cell.Row) - 1] = 0;
    *Cell.Ind = text ? SQLLEN(t.size()) : SQLLEN(CTypeSize(c.CType));
  }
  if (ApplyNullRule && Text.empty() && EmptyIsNull(c)) *Cell.Ind = SQL_NULL_DATA;
}

void THstmt::PutCellBytes(TColRec& C, int Row, const void* Data, SQLLEN Length) {
  const size_t r = size_t(Row) - 1;
  if (C.IsLong) {
    TMemoryStream* s = LongStream(C, Row);
    s->Clear();
    if (Length > 0) s->WriteBuffer(Data, Length);
  } else {
    if (Length != SQL_NULL_DATA) {
      unsigned char* elem = C.Buffer.get() + C.ElemSize * r;
      const bool text = C.CType == SQL_C_CHAR;
      const size_t n = text || C.CType == SQL_C_BINARY ? size_t(Length) : C.ElemSize;
      if (n > 0) std::memcpy(elem, Data, n);
      if (text) elem[n] = 0;
    }
    if (!C.HasFull.empty()) C.HasFull[r] = 0;
  }
  C.Ind[r] = Length;
}

void THstmt::SetColString(int Col, int Row, const std::string& S) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return;
  StoreText(cell, S, true);
}

void THstmt::SetColDouble(int Col, int Row, double X) {
  TCell cell;
  if (!FindCell(Col, Row, cell)) return;
  if (cell.Col->IsLong) return;
  StoreText(cell, ShortestDoubleText(X), false);
}

void THstmt::SetColInteger(int Col, int Row, int32_t V) {
  TCell cell;
  if (!FindCell(Col, Row, cell) || cell.Col->IsLong) return;
  StoreText(cell, IntToStr(V), false);
}

void THstmt::SetColInt64(int Col, int Row, int64_t V) {
  TCell cell;
  if (!FindCell(Col, Row, cell) || cell.Col->IsLong) return;
  StoreText(cell, IntToStr(V), false);
}

void THstmt::SetColTimestamp(int Col, int Row, const SQL_TIMESTAMP_STRUCT& TS) {
  TCell cell;
  if (!FindCell(Col, Row, cell) || cell.Col->IsLong) return;
  StoreText(cell, TimestampText(TS, cell.Col->CType), false);
}

void THstmt::SetColStream(int Col, TStream* Stream) {
  TCell cell;
  if (!FindCell(Col, 1, cell) || !cell.Col->IsLong) return;
  BeforeCellWrite(cell);
  TColRec& c = *cell.Col;
  c.Stream->Clear();
  if (Stream != nullptr) c.Stream->LoadFromStream(Stream);
  c.Ind[0] = SQLLEN(c.Stream->Size());
  // An empty long value is stored as an empty text is, whether the row is inserted or updated.
  if (c.Ind[0] == 0 && EmptyIsNull(c)) c.Ind[0] = SQL_NULL_DATA;
}

bool THstmt::EmptyIsNull(const TColRec& C) const {
  return FEmptyStringToNull == enAlways || (FEmptyStringToNull == enIfNullable && C.Nullable == SQL_NULLABLE);
}

// ---- lookups

int THstmt::ParamByName(const std::string& Name) {
  Trace(1, "THstmt.ParamByName");
  for (int i = 0; i < FParamNames->Count(); ++i)
    if (SameText(FParamNames->Get(i), Name)) return i + 1;
  throw EODBCLibrary("Token " + UpperCase(Name) + " not found in SQL statement.");
}

int THstmt::ColByName(const std::string& Name) {
  Trace(1, "THstmt.ColByName");
  Init();
  BindCols();
  for (size_t i = 0; i < FCols.size(); ++i)
    if (SameText(FCols[i]->Name, Name)) return int(i) + 1;
  throw EODBCLibrary("Identifier " + Name + " not found in result set.");
}
