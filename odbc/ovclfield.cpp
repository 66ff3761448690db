// The ODBC data set: the field type and slot of each result column, moving values between
// the statement's column buffers and record slots, stored procedure calls and the parameters
// (from the SQL text or the catalog) with their binding.
#include <algorithm>
#include <cstring>

#include "oclcatalog.h"
#include "oclconv.h"
#include "ovcl.h"
#include "text.h"

namespace {

template <class T>
void Put(unsigned char* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

template <class T>
T Get(const unsigned char* P) {
  T v;
  std::memcpy(&v, P, sizeof v);
  return v;
}

// The text of a bound character cell without copying it; false where ColString must read it.
bool CellText(THstmt& s, const TColRec* Rec, int Column, int Row, std::string_view& Text) {
  // A bound character cell read where the driver put it (the statement keeps a value longer
  // than its element whole and points there), trimmed as ColString trims: no string is made.
  if (Rec == nullptr || Rec->CType != SQL_C_CHAR) return false;
  const size_t r = size_t(Row) - 1;
  const SQLLEN ind = Rec->Ind[r];
  if (ind == SQL_NULL_DATA || ind == SQL_COLUMN_IGNORE) {
    Text = {};
    return true;
  }
  const char* p;
  if (Rec->HasFull.empty() || Rec->HasFull[r] == 0)
    p = Rec->Buffer ? reinterpret_cast<const char*>(Rec->Buffer.get() + Rec->ElemSize * r) : nullptr;
  else
    p = static_cast<const char*>(s.ColValue(Column, Row));
  if (p == nullptr || ind < 0) return false;
  size_t n = size_t(ind);
  if (const void* z = std::memchr(p, 0, n)) n = size_t(static_cast<const char*>(z) - p);
  std::string_view v(p, n);
  const TStringTrimming t = s.StringTrimming();
  if (t == stTrimTrailing || t == stTrimBoth)
    while (!v.empty() && static_cast<unsigned char>(v.back()) <= 32) v.remove_suffix(1);
  if (t == stTrimLeading || t == stTrimBoth)
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= 32) v.remove_prefix(1);
  Text = v;
  return true;
}

}  // namespace

TFieldType TCustomODDataSet::ColumnFieldType(int Col) {
  THstmt& s = Stmt();
  const SQLSMALLINT ctype = s.ColCType(Col);
  // A value the statement reads in pieces is a memo or blob, never a text field reading empty.
  if (s.ColIsBlob(Col)) return ctype == SQL_C_BINARY ? ftBlob : ftMemo;
  const SQLSMALLINT sqltype = s.ColSQLType(Col);
  const bool unsignedC = ctype == SQL_C_UTINYINT || ctype == SQL_C_USHORT || ctype == SQL_C_ULONG || ctype == SQL_C_UBIGINT;
  if (sqltype == SQL_INTEGER && unsignedC) return ftLargeint;  // beyond a 32-bit field's range
  const TFieldType t = SqlTypeToFieldType(sqltype, !unsignedC);
  // Binary values keep their length: SQLite reports its blobs as fixed binary of any length.
  return t == ftBytes ? ftVarBytes : t;
}

void TCustomODDataSet::BuildSlots() {
  THstmt& s = Stmt();
  const int n = s.NumCols();
  FSlots.assign(size_t(n), TSlot{});
  int offset = 0;
  for (int c = 1; c <= n; ++c) {
    TSlot& slot = FSlots[size_t(c) - 1];
    slot.Type = ColumnFieldType(c);
    slot.Blob = s.ColIsBlob(c);
    slot.Offset = offset;
    slot.Width = slot.Blob ? int(sizeof(TMemoryStream*)) : FieldTypeDataSize(slot.Type, int(s.ColPrecision(c)));
    offset += slot.Width + 2;  // the value, its status byte, its null byte
  }
  FDataSize = offset;
}

bool TCustomODDataSet::SlotIsNull(TRecordBuffer Buffer, int Col) const { return SlotNull(Buffer, Col) == 0; }

bool TCustomODDataSet::SlotCut(TRecordBuffer Buffer, int Col) const { return (SlotStatus(Buffer, Col) & kCut) != 0; }

TMemoryStream* TCustomODDataSet::SlotStream(TRecordBuffer Buffer, int Col) const {
  return Get<TMemoryStream*>(Slot(Buffer, Col));
}

void TCustomODDataSet::LoadBlobSlot(TRecordBuffer Buffer, int Col, int Row) {
  THstmt& s = Stmt();
  TMemoryStream* to = SlotStream(Buffer, Col);
  to->Clear();
  if (TMemoryStream* from = s.ColStream(Col, Row)) to->LoadFromStream(from);
  SlotStatus(Buffer, Col) = kLoaded;
  SlotNull(Buffer, Col) = s.ColNullRow(Col, Row) ? 0 : 1;
}

void TCustomODDataSet::ToField(int Column, int Row, int& Offset, TRecordBuffer Buffer) {
  const TSlot& slot = FSlots[size_t(Column) - 1];
  Offset = slot.Offset + slot.Width + 2;
  THstmt& s = Stmt();
  CellToSlot(s, s.ColRec(Column), Column, Row, Buffer);
}

void TCustomODDataSet::RowToRecord(int Row, TRecordBuffer Buffer) {
  THstmt& s = Stmt();
  const int cols = int(FSlots.size());
  if (cols == 0) return;
  s.ColRec(1);  // binds the columns where they are not
  const auto& recs = s.BoundColRecs();
  for (int c = 1; c <= cols; ++c) CellToSlot(s, size_t(c) <= recs.size() ? recs[size_t(c) - 1].get() : nullptr, c, Row, Buffer);
  if (FKeySize > 0) s.TakeRowKey(Row, Buffer + FKeyOffset);
}

void TCustomODDataSet::CellToSlot(THstmt& s, const TColRec* rec, int Column, int Row, TRecordBuffer Buffer) {
  const TSlot& slot = FSlots[size_t(Column) - 1];
  unsigned char* p = reinterpret_cast<unsigned char*>(Buffer) + slot.Offset;
  unsigned char status = 0;
  if (slot.Blob) {
    // Deferred values are read when asked for in direct mode; a cached record holds its own.
    if (s.BlobDeferral() && !FCached) {
      SlotStream(Buffer, Column)->Clear();
      SlotStatus(Buffer, Column) = 0;
      SlotNull(Buffer, Column) = 0;
    } else {
      LoadBlobSlot(Buffer, Column, Row);
    }
    return;
  }
  // The column's record is read directly for the indicator and bound text: the statement's
  // readers each find the cell again, which a row of many columns pays for on every cell.
  switch (slot.Type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
      std::string owned;
      std::string_view text;
      if (!CellText(s, rec, Column, Row, text)) {
        owned = s.ColString(Column, Row);
        text = owned;
      }
      // Bytes never count fewer than characters: only a longer text can exceed the size.
      const size_t chars = size_t(slot.Width - 1) / 4;
      if (text.size() > chars && Utf8Length(text) > chars) {
        text = text.substr(0, Utf8ByteOffset(text, chars));
        status |= kCut;
      }
      if (!text.empty()) std::memcpy(p, text.data(), text.size());
      p[text.size()] = 0;
      break;
    }
    case ftSmallint: Put<int16_t>(p, s.ColSmallint(Column, Row)); break;
    case ftWord: Put<uint16_t>(p, s.ColWord(Column, Row)); break;
    case ftBoolean: Put<uint16_t>(p, s.ColWord(Column, Row) != 0 ? 1 : 0); break;
    case ftInteger: Put<int32_t>(p, s.ColInteger(Column, Row)); break;
    case ftFloat:
    case ftCurrency: Put<double>(p, s.ColDouble(Column, Row)); break;
    case ftLargeint: Put<int64_t>(p, s.ColInt64(Column, Row)); break;
    case ftDate:
    case ftTime:
    case ftDateTime: {
      const TDateTime dt = TimestampToDateTime(s.ColTimestamp(Column, Row));
      if (slot.Type == ftDate)
        Put<int32_t>(p, DateTimeToNativeDate(dt));
      else if (slot.Type == ftTime)
        Put<int32_t>(p, DateTimeToNativeTime(dt));
      else
        Put<double>(p, DateTimeToNativeDateTime(dt));
      break;
    }
    case ftBytes:
    case ftVarBytes: {
      const bool var = slot.Type == ftVarBytes;
      const size_t room = size_t(slot.Width) - (var ? 2 : 0);
      std::memset(p, 0, size_t(slot.Width));
      const SQLLEN len = s.ColSizeRow(Column, Row);
      const void* data = s.ColValue(Column, Row);
      size_t n = len > 0 && data != nullptr ? size_t(len) : 0;
      if (n > room) {
        n = room;
        status |= kCut;
      }
      unsigned char* to = p;
      if (var) {
        Put<uint16_t>(p, uint16_t(n));
        to += 2;
      }
      if (n > 0) std::memcpy(to, data, n);
      break;
    }
    default: break;
  }
  const SQLLEN ind = rec != nullptr ? rec->Ind[size_t(Row) - 1] : 0;
  p[slot.Width] = status;
  p[slot.Width + 1] = ind == SQL_NULL_DATA || ind == SQL_COLUMN_IGNORE ? 0 : 1;
}

void TCustomODDataSet::CheckCutValues(TRecordBuffer Buffer) {
  for (size_t c = 1; c <= FSlots.size(); ++c)
    if (SlotCut(Buffer, int(c)))
      throw EODBCLibrary("The value of column " + Stmt().ColNames()->Get(int(c) - 1) +
                         " is longer than the column's size and was cut when it was read; assign it before "
                         "the record is written.");
}

void TCustomODDataSet::FromField(int Column, TRecordBuffer Buffer, bool Insert, int& Offset) {
  if (SlotCut(Buffer, Column)) CheckCutValues(Buffer);
  PutSlot(Column, Buffer, Insert, Offset);
}

void TCustomODDataSet::PutSlot(int Column, TRecordBuffer Buffer, bool Insert, int& Offset) {
  THstmt& s = Stmt();
  const TSlot& slot = FSlots[size_t(Column) - 1];
  const unsigned char* p = Slot(Buffer, Column);
  Offset = slot.Offset + slot.Width + 2;
  if (slot.Blob) {
    s.SetColStream(Column, SlotStream(Buffer, Column));
  } else {
    switch (slot.Type) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
        s.SetColString(Column, std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size_t(slot.Width))));
        break;
      case ftSmallint: s.SetColSmallint(Column, Get<int16_t>(p)); break;
      case ftWord:
      case ftBoolean: s.SetColWord(Column, Get<uint16_t>(p)); break;
      case ftInteger: s.SetColInteger(Column, Get<int32_t>(p)); break;
      case ftFloat:
      case ftCurrency: s.SetColDouble(Column, Get<double>(p)); break;
      case ftLargeint: s.SetColInt64(Column, Get<int64_t>(p)); break;
      case ftDate:
      case ftTime:
      case ftDateTime: {
        TDateTime dt = 0;
        if (slot.Type == ftDate) {
          const int32_t days = Get<int32_t>(p);
          dt = NativeDateToDateTime(days == 0 ? DateDelta : days);
        } else if (slot.Type == ftTime) {
          dt = NativeTimeToDateTime(Get<int32_t>(p));
        } else {
          const double ms = Get<double>(p);
          dt = ms == 0 ? 0.0 : NativeDateTimeToDateTime(ms);
        }
        SQL_TIMESTAMP_STRUCT ts;
        s.SetColTimestamp(Column, DateTimeToTimestamp(ts, dt));
        break;
      }
      case ftBytes:
      case ftVarBytes: {
        // The bytes as they are: embedded zeros and trailing bytes are part of the value.
        if (slot.Type == ftVarBytes)
          s.SetColBytes(Column, p + 2, SQLLEN(std::min<int>(Get<uint16_t>(p), slot.Width - 2)));
        else
          s.SetColBytes(Column, p, SQLLEN(slot.Width));
        break;
      }
      default: break;
    }
  }
  const bool isNull = SlotIsNull(Buffer, Column);
  if (!Insert || FEmptyFieldToNull) {
    if (isNull) s.SetColNull(Column, true);
  } else {
    // A NULL column is left out of the insert, so that the database's default applies; the
    // insert is built again for the present set of columns.
    if (isNull) s.SetColIgnore(Column, true);
    s.UnprepareAuxStatements();
  }
}

// ---- stored procedures and parameters

std::string TCustomODDataSet::StoredProcStatement() {
  TODParams* params = Params();
  std::string text = "{";
  for (int i = 0; i < params->Count(); ++i)
    if (params->Items(i)->ParamType() == ptResult) {
      text += ":" + params->Items(i)->Name() + " = ";
      break;
    }
  text += "CALL " + FStoredProcName + "(";
  for (int i = 0; i < params->Count(); ++i)
    if (params->Items(i)->ParamType() != ptResult) text += ":" + params->Items(i)->Name() + ", ";
  if (text.back() == ' ') {
    text.resize(text.size() - 2);
    text += ")}";
  } else if (text.back() == '(') {
    text.pop_back();
    text += "}";
  }
  return text;
}

void TCustomODDataSet::CreateParams() {
  if (!FParamsChanged || Loading()) return;
  if (!FTableName.empty()) {
    FParams->Clear();
    return;
  }
  if (!FStoredProcName.empty())
    CreateParamsFromCatalog();
  else
    CreateParamsFromText();
  FParamsChanged = false;
  FParamsBound = false;
}

namespace {

bool Contains(const std::vector<std::string>& Names, const std::string& Name) {
  return std::any_of(Names.begin(), Names.end(), [&](const std::string& n) { return SameText(n, Name); });
}

// Removes the parameters whose names are not among Names, with their descriptions.
void DropParamsNotIn(TODParams& Params, const std::vector<std::string>& Names) {
  for (int i = Params.Count() - 1; i >= 0; --i) {
    TParam* p = Params.Items(i);
    if (Contains(Names, p->Name())) continue;
    Params.DeleteDescription(p->Name());
    Params.RemoveParam(p);
    delete p;
  }
}

}  // namespace

void TCustomODDataSet::CreateParamsFromText() {
  bool describe = false;
  if (THdbc* dbc = hDbc()) {
    try {
      dbc->SetConnected(true);
      describe = !dbc->NoDescribeParam();
    } catch (const Exception&) {
      describe = false;
    }
  }
  std::vector<std::string> tokens;
  TStrings* names = Stmt().ParamNames();
  for (int i = 0; i < names->Count(); ++i) tokens.push_back(names->Get(i));
  if (Designing()) {
    DropParamsNotIn(*FParams, tokens);
  } else {
    FParams->Clear();
    FParams->ClearDescriptions();
  }
  for (size_t n = 0; n < tokens.size(); ++n) {
    const std::string& name = tokens[n];
    // A token that occurs twice is one parameter.
    if (FParams->FindParam(name) != nullptr) continue;
    SQLSMALLINT type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    if (describe) {
      try {
        Prepare();
        Stmt().DescribeParam(int(n) + 1, type, false, nullable, digits, size);
      } catch (const Exception&) {
        describe = false;
        type = 0;
        digits = 0;
        size = 0;
        nullable = SQL_NULLABLE_UNKNOWN;
      }
    }
    const TFieldType ft = SqlTypeToFieldType(type, true);
    FParams->DeleteDescription(name);
    FParams->AddDescription(name, nullable == SQL_NO_NULLS, ft, digits, int32_t(std::min<SQLULEN>(size, INT32_MAX)));
    FParams->CreateParam(ft, name, ptInput);
  }
}

void TCustomODDataSet::AddCatalogParam(const TCatalogColumn& Column) {
  FParams->DeleteDescription(Column.Name);
  const TFieldType ft = SqlTypeToFieldType(Column.DataType, true);
  FParams->AddDescription(Column.Name, Column.Nullable == SQL_NO_NULLS, ft, Column.DecimalDigits, Column.ColumnSize);
  FParams->CreateParam(ft, Column.Name, ProcColumnTypeToParamType(Column.ColumnType));
}

void TCustomODDataSet::CreateParamsFromCatalog() {
  THdbc* dbc = hDbc();
  if (dbc == nullptr) return;
  try {
    dbc->SetConnected(true);
  } catch (const Exception&) {
    return;
  }
  TODCatalog catalog(nullptr);
  catalog.SetHdbc(dbc);
  catalog.Invalidate();
  TCatalogProcedure* proc = catalog.FindProcedure("", FStoredProcName);
  if (proc == nullptr) return;
  // The parameters in order, result columns left out; a parameter the driver reports without
  // a name gets one ("RESULT" for the return value, else "PARAMn"), since its token needs one.
  std::vector<TCatalogColumn> columns;
  std::vector<std::string> names;
  TCatalogColumns* all = proc->Columns();
  for (int i = 0; i < all->Count(); ++i)
    if (all->Items(i)->ColumnType != SQL_RESULT_COL) columns.push_back(*all->Items(i));
  for (size_t i = 0; i < columns.size(); ++i)
    if (!columns[i].Name.empty()) names.push_back(columns[i].Name);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!columns[i].Name.empty()) continue;
    std::string name = columns[i].ColumnType == SQL_RETURN_VALUE ? "RESULT" : "PARAM" + std::to_string(i + 1);
    for (int k = 1; Contains(names, name); ++k) name = "PARAM" + std::to_string(i + 1) + "_" + std::to_string(k);
    columns[i].Name = name;
    names.push_back(name);
  }
  if (Designing()) {
    DropParamsNotIn(*FParams, names);
    for (const TCatalogColumn& c : columns)
      if (FParams->FindParam(c.Name) == nullptr) AddCatalogParam(c);
  } else {
    FParams->Clear();
    FParams->ClearDescriptions();
    for (const TCatalogColumn& c : columns) AddCatalogParam(c);
  }
}

void TCustomODDataSet::BindParams() {
  Trace(2, "TCustomODDataSet.BindParams");
  if (Loading()) return;
  if (!FParamsBound) {
    Prepare();
    CreateParams();
  }
  FParams->SyncBindings();
  FParams->ParamsToBuffers();
  if (!FParamsBound) {
    FParams->BindBuffers();
    FParamsBound = true;
  }
  FParams->SetParamLengths();
}
