// The statement component: positioned row operations. A row of the result is inserted,
// updated, deleted or re-read through the driver's SQLBulkOperations / SQLSetPos where the
// driver does that right, otherwise through a generated statement on one of four auxiliary
// statements; the table and its key are found from the result, the catalog or the SQL text.
//
// What the drivers here do (and why the choices below):
// - SQLite's driver writes columns marked SQL_COLUMN_IGNORE anyway, writes long values empty
//   and timestamps cut to the minute, and reports success with an untouched row status for a
//   row that is gone; its positioned refresh returns the stale snapshot of its static cursor.
//   It calls every column updatable, expressions included, but names no table for them.
// - PostgreSQL's driver answers a changed or vanished row with SQLSTATE 01001 and changes
//   nothing; its positioned refresh loads the next row; on a read-only cursor its
//   SQLBulkOperations crashes. A long column bound without a buffer is left out of an update,
//   and so is a column marked SQL_COLUMN_IGNORE.
// - SQLite's own update also keeps the old key after a key edit and finds its row by the
//   result's values; it names a column's database as its catalog and no schema, and gives an
//   alias as a column's base name. PostgreSQL's names the schema, and calls every column of a
//   join read-only on a scrolling cursor.
// So: SQLite's rows are changed by the generated statements only; PostgreSQL's driver writes
// only on an updatable cursor, with no column left out (its update: none but a plain column)
// and no long column in an insert or delete; refreshes go through the generated SELECT unless
// the cursor is keyset-driven or dynamic; an untouched row status counts as "no row". The
// table, its columns and its key come from the driver's description of the columns.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "oclstmt.h"
#include "text.h"

namespace {

// A value of no bytes still needs an address: a driver takes a null buffer for "not bound".
unsigned char EmptyValue[1] = {0};

// SQLColAttribute's text of a column; False when the call fails.
bool ColAttrText(SQLHSTMT H, int Col, SQLUSMALLINT Field, std::string& Out) {
  char buf[1024] = {};
  SQLSMALLINT len = 0;
  const SQLRETURN rc =
      ODBCApi().SQLColAttribute(H, SQLUSMALLINT(Col), Field, buf, SQLSMALLINT(sizeof buf - 1), &len, nullptr);
  Out = Trim(buf);
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

std::string Join(const std::vector<std::string>& Items, const char* Sep) {
  std::string s;
  for (const std::string& i : Items) {
    if (!s.empty()) s += Sep;
    s += i;
  }
  return s;
}

bool HasDiagState(SQLHSTMT H, const char* State) {
  for (SQLSMALLINT rec = 1; rec < 100; ++rec) {
    SQLCHAR state[16] = {}, msg[8];
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    const SQLRETURN rc = ODBCApi().SQLGetDiagRec(SQL_HANDLE_STMT, H, rec, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return false;
    if (std::strcmp(reinterpret_cast<char*>(state), State) == 0) return true;
  }
  return false;
}

const char* const kRowOneOnly = "Row operations change row 1 of the row set only.";
const char* const kNoTable = "Unable to determine table name:  set TargetTable property.";

// ---- the statement text, read only where the driver's description says nothing

// The text with every character inside parentheses or quotes replaced by \x01, line breaks and
// tabs by blanks, and upper-cased: a keyword found in it is one of the outer statement.
std::string TopLevelMask(const std::string& Sql) {
  std::string m(Sql.size(), '\x01');
  int depth = 0;
  char quote = 0;
  for (size_t i = 0; i < Sql.size(); ++i) {
    const char c = Sql[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      if (quote == 0) m[i] = c;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      quote = c == '[' ? ']' : c;
      m[i] = c;
      continue;
    }
    if (c == '(') ++depth;
    if (depth == 0) m[i] = (c == '\r' || c == '\n' || c == '\t') ? ' ' : char(std::toupper(static_cast<unsigned char>(c)));
    if (c == ')' && depth > 0) {
      --depth;
      if (depth == 0) m[i] = ')';
    }
  }
  return m;
}

// Position of the first outer keyword Word (a whole word) at or after From; npos when none.
size_t FindWord(const std::string& Mask, const char* Word, size_t From = 0) {
  const size_t n = std::strlen(Word);
  for (size_t p = Mask.find(Word, From); p != std::string::npos; p = Mask.find(Word, p + 1)) {
    const bool startOk = p == 0 || Mask[p - 1] == ' ' || Mask[p - 1] == ')' || Mask[p - 1] == '"';
    const bool endOk = p + n >= Mask.size() || Mask[p + n] == ' ' || Mask[p + n] == '(' || Mask[p + n] == '"';
    if (startOk && endOk) return p;
  }
  return std::string::npos;
}

// The parts of a dotted name ("s"."t", s.t, t), unquoted; empty when Text is no plain name.
std::vector<std::string> NameParts(std::string_view Text) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (true) {
    while (i < Text.size() && Text[i] == ' ') ++i;
    if (i >= Text.size()) return {};
    std::string part;
    if (Text[i] == '"' || Text[i] == '`' || Text[i] == '[') {
      const char close = Text[i] == '[' ? ']' : Text[i];
      const size_t e = Text.find(close, i + 1);
      if (e == std::string_view::npos) return {};
      part = std::string(Text.substr(i + 1, e - i - 1));
      i = e + 1;
    } else {
      const size_t b = i;
      while (i < Text.size() && (std::isalnum(static_cast<unsigned char>(Text[i])) || Text[i] == '_' || Text[i] == '$' ||
                                 static_cast<unsigned char>(Text[i]) >= 0x80))
        ++i;
      if (i == b) return {};
      part = std::string(Text.substr(b, i - b));
    }
    parts.push_back(part);
    while (i < Text.size() && Text[i] == ' ') ++i;
    if (i >= Text.size()) return parts;
    if (Text[i] != '.') return {};
    ++i;
  }
}

// One item of the outer select list: a plain column (its own name) or anything else.
struct TSelectItem {
  bool Plain = false;
  std::string Base;
};

// The items of the outer select list; empty when it cannot be told item by item (a "*").
std::vector<TSelectItem> SelectItems(const std::string& Sql) {
  const std::string m = TopLevelMask(Sql);
  size_t b = FindWord(m, "SELECT");
  const size_t e = FindWord(m, "FROM");
  if (b == std::string::npos) return {};
  b += 6;
  for (const char* w : {"DISTINCT", "ALL"})
    if (const size_t d = FindWord(m, w, b); d != std::string::npos && Trim(m.substr(b, d - b)).empty()) b = d + std::strlen(w);
  const size_t end = e == std::string::npos ? m.size() : e;
  std::vector<TSelectItem> items;
  size_t start = b;
  for (size_t i = b; i <= end; ++i) {
    if (i < end && m[i] != ',') continue;
    const std::string text = Trim(Sql.substr(start, i - start));
    const std::string mask = Trim(m.substr(start, i - start));
    start = i + 1;
    if (text.empty() || text.back() == '*') return {};
    TSelectItem item;
    // "expr AS alias", "expr alias" or "expr": the expression is a plain column or not.
    std::string expr = text;
    if (const size_t as = FindWord(mask, "AS"); as != std::string::npos) {
      expr = Trim(text.substr(0, as));
    } else {
      const std::vector<std::string> whole = NameParts(text);
      if (whole.empty()) {
        const size_t sp = text.find_last_of(' ');
        if (sp != std::string::npos && !NameParts(text.substr(sp + 1)).empty()) expr = Trim(text.substr(0, sp));
      }
    }
    const std::vector<std::string> parts = NameParts(expr);
    item.Plain = !parts.empty();
    if (item.Plain) item.Base = parts.back();
    items.push_back(item);
  }
  return items;
}

// The one table of the outer FROM clause as its dotted parts; empty when it names none.
std::vector<std::string> FromTable(const std::string& Sql) {
  const std::string m = TopLevelMask(Sql);
  const size_t from = FindWord(m, "FROM");
  if (from == std::string::npos) return {};
  size_t end = m.size();
  for (const char* w : {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "LIMIT", "OFFSET",
                        "FETCH", "FOR", "WINDOW"})
    end = std::min(end, FindWord(m, w, from + 4));
  const std::string clause = m.substr(from + 4, end - from - 4);
  if (clause.find(',') != std::string::npos || FindWord(clause, "JOIN") != std::string::npos)
    throw EODBCLibrary("Unable to determine table name:  FROM clause holds more than one table; set TargetTable property.");
  // The name runs up to its alias (a blank outside quotes) or the end.
  const std::string text = Sql.substr(from + 4, end - from - 4);
  const std::string trimmed = TrimLeft(text);
  const size_t skip = text.size() - trimmed.size();
  size_t stop = trimmed.size();
  for (size_t i = 0; i < trimmed.size(); ++i) {
    const char c = clause[skip + i];
    if (c == ' ') {
      // A blank beside a dot belongs to the name.
      size_t j = i;
      while (j < trimmed.size() && clause[skip + j] == ' ') ++j;
      if (j < trimmed.size() && clause[skip + j] == '.') continue;
      if (i > 0 && trimmed[i - 1] == '.') continue;
      stop = i;
      break;
    }
  }
  return NameParts(trimmed.substr(0, stop));
}

// Runs Restore when the scope ends, also on an exception.
template <class F>
struct TAtExit {
  F Restore;
  ~TAtExit() { Restore(); }
};
template <class F>
TAtExit(F) -> TAtExit<F>;

// Closes an auxiliary read's cursor when the scope ends; a close that fails is no failure of what
// the read answered.
struct TCursorCloser {
  THstmt& Aux;
  ~TCursorCloser() {
    try {
      Aux.CloseCursor();
    } catch (...) {
    }
  }
};

}  // namespace

struct THstmt::TRowOps {
  // Update, delete, refresh, insert; created on first use, owned.
  std::unique_ptr<THstmt> Aux[5];
  // The generated text each prepared statement was built from (before OnStatement).
  std::string AuxText[5];
  // Runs the catalog functions of key detection.
  std::unique_ptr<THstmt> Catalog_;
  // The table of the last detection: its parts for the catalog calls, its name in the text.
  std::string Catalog, Owner, Table, TextName;

  // Per result set, filled on first use.
  bool Described = false;
  std::vector<char> ReadOnly;        // never written, never a key: not a column of the target
  std::vector<char> DriverReadOnly;  // the driver's own operations cannot write it
  std::vector<char> NoTable;         // an expression: not read back either
  std::vector<std::string> Names;    // the table's own name of each column (an alias is not)
  // The table the driver names for each column (empty: none) and the one they agree on.
  std::vector<std::string> ColCatalog, ColSchema, ColTable;
  std::string DescCatalog, DescSchema, DescTable;
  bool AnyTable = false;

  // Row 1 as it was read: the values of the key of a generated statement.
  bool KeyValid = false;
  std::vector<std::vector<unsigned char>> KeyBytes;
  std::vector<SQLLEN> KeyInd;
  // The value is not the one the driver gave (longer than its buffer, a number beyond a
  // double's digits): a row cannot be found by it.
  std::vector<char> KeyInexact;
  // The key columns of the keys kept beside the caller's rows (RowKeySize).
  std::vector<int> RowKeyCols;
  // Row 1's cells written since the fetch.
  std::vector<char> Written;
  // Row 1's buffers and the cursor's copy of the row agree. Not after an insert or a delete,
  // nor after a generated update or refresh, which the cursor does not see (PostgreSQL's driver
  // would call our own change a conflict): until the next fetch the row is changed by key. A
  // fetch brings the cursor's copy back, and with it the driver's check that it is current.
  bool CursorRow = true;
  // Indicators set aside while an operation leaves columns out.
  std::vector<std::pair<SQLLEN*, SQLLEN>> LeftOut;
};

void THstmt::TRowOpsDeleter::operator()(TRowOps* P) const { delete P; }

THstmt::TRowOps& THstmt::RowOps() {
  if (!FRowOps) FRowOps.reset(new TRowOps);
  return *FRowOps;
}

namespace {

int AuxIndex(uint16_t Op) {
  switch (Op) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 16: return 4;
    default: return 3;
  }
}

}  // namespace

// ---- state kept beside the column buffers

void THstmt::BeforeCellWrite(const TCell& Cell) {
  if (Cell.Row != 1) return;
  TRowOps& r = RowOps();
  if (!r.KeyValid) TakeKeyValues();
  if (r.Written.size() < FCols.size()) r.Written.resize(FCols.size(), 0);
  r.Written[Cell.Index] = 1;
  // The value is the caller's now: a deferred read must not replace it.
  if (Cell.Col->IsLong) Cell.Col->Loaded = true;
}

void THstmt::ForgetKeyValues() {
  if (!FRowOps) return;
  FRowOps->KeyValid = false;
  FRowOps->CursorRow = true;
  std::fill(FRowOps->Written.begin(), FRowOps->Written.end(), 0);
}

void THstmt::TakeKeyValues() {
  TRowOps& r = RowOps();
  const size_t n = FCols.size();
  r.KeyBytes.resize(n);
  r.KeyInd.assign(n, SQL_NULL_DATA);
  r.KeyInexact.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    TColRec& c = *FCols[i];
    std::vector<unsigned char>& bytes = r.KeyBytes[i];
    r.KeyInexact[i] = !ExactCell(i, 1);
    if (c.IsLong) {
      const SQLLEN ind = c.Ind[0];
      const auto* p = static_cast<const unsigned char*>(c.Stream->Memory());
      bytes.assign(p, p + (ind >= 0 && p != nullptr ? size_t(c.Stream->Size()) : 0));
      r.KeyInd[i] = ind < 0 ? ind : SQLLEN(bytes.size());
      continue;
    }
    TCell cell;
    if (!FindCell(int(i) + 1, 1, cell) || cell.Value == nullptr) continue;
    const auto* p = static_cast<const unsigned char*>(cell.Value);
    bytes.assign(p, p + cell.Capacity);
    r.KeyInd[i] = *cell.Ind;
  }
  r.KeyValid = true;
}

// ---- keys kept beside a caller's copy of a row
//
// Per key column, in column order: the indicator, an "inexact" byte, then the element's bytes.

namespace {
constexpr size_t kKeyHead = 2 * sizeof(SQLLEN);
}

size_t THstmt::RowKeySize() {
  Trace(1, "THstmt.RowKeySize");
  DetectPrimaryCols();
  TRowOps& r = RowOps();
  r.RowKeyCols = KeyColumns();
  size_t n = 0;
  for (int k : r.RowKeyCols) n += kKeyHead + (FCols[size_t(k) - 1]->IsLong ? 0 : FCols[size_t(k) - 1]->ElemSize);
  return n;
}

void THstmt::TakeRowKey(int Row, void* Dest) {
  unsigned char* p = static_cast<unsigned char*>(Dest);
  for (int k : RowOps().RowKeyCols) {
    TColRec& c = *FCols[size_t(k) - 1];
    SQLLEN ind = SQL_NULL_DATA;
    bool inexact = c.IsLong || !ExactCell(size_t(k) - 1, Row);
    TCell cell;
    if (!c.IsLong && FindCell(k, Row, cell) && cell.Value != nullptr) {
      ind = *cell.Ind;
      std::memcpy(p + kKeyHead, cell.Value, c.ElemSize);
    } else {
      inexact = true;
    }
    std::memcpy(p, &ind, sizeof ind);
    p[sizeof(SQLLEN)] = inexact ? 1 : 0;
    p += kKeyHead + (c.IsLong ? 0 : c.ElemSize);
  }
}

void THstmt::TakeWrittenKey(const void* Old, void* Dest) {
  TRowOps& r = RowOps();
  const auto* from = static_cast<const unsigned char*>(Old);
  auto* p = static_cast<unsigned char*>(Dest);
  for (int k : r.RowKeyCols) {
    TColRec& c = *FCols[size_t(k) - 1];
    const size_t size = kKeyHead + (c.IsLong ? 0 : c.ElemSize);
    const bool written = size_t(k) <= r.Written.size() && r.Written[size_t(k) - 1] && c.Ind[0] != SQL_COLUMN_IGNORE;
    if (from == nullptr && !(written && !c.IsLong)) {
      // Inserted without its key (the database chose it): not known.
      const SQLLEN none = SQL_NULL_DATA;
      std::memcpy(p, &none, sizeof none);
      p[sizeof(SQLLEN)] = 1;
    } else if (written && !c.IsLong) {
      // The value sent is the row's value now.
      const SQLLEN ind = c.Ind[0];
      std::memcpy(p, &ind, sizeof ind);
      p[sizeof(SQLLEN)] = 0;
      std::memcpy(p + kKeyHead, c.Buffer.get(), c.ElemSize);
    } else if (from != p) {
      std::memmove(p, from, size);
    }
    if (from != nullptr) from += size;
    p += size;
  }
}

void THstmt::UseRowKey(const void* Src) {
  TRowOps& r = RowOps();
  DetectPrimaryCols();
  if (KeyColumns() != r.RowKeyCols)
    throw EODBCLibrary("The key columns changed since the rows were read; open the data set again.");
  if (!r.KeyValid) TakeKeyValues();
  const auto* p = static_cast<const unsigned char*>(Src);
  for (int k : r.RowKeyCols) {
    const size_t i = size_t(k) - 1;
    TColRec& c = *FCols[i];
    SQLLEN ind = 0;
    std::memcpy(&ind, p, sizeof ind);
    r.KeyInd[i] = ind;
    r.KeyInexact[i] = p[sizeof(SQLLEN)];
    if (!c.IsLong) r.KeyBytes[i].assign(p + kKeyHead, p + kKeyHead + c.ElemSize);
    p += kKeyHead + (c.IsLong ? 0 : c.ElemSize);
  }
}

bool THstmt::DecimalReadAsDouble(const TColRec& C) const {
  return !FLooseTypes && (C.SQLType == SQL_NUMERIC || C.SQLType == SQL_DECIMAL) && C.CType == SQL_C_DOUBLE &&
         C.ColumnSize > 15;
}

bool THstmt::ExactCell(size_t Index, int Row) {
  const TColRec& C = *FCols[Index];
  // A value read again in full does not fit the buffer the key is bound from.
  if (size_t(Row) <= C.HasFull.size() && C.HasFull[size_t(Row) - 1] != 0) return false;
  // SQLite's driver writes a timestamp parameter to the millisecond.
  if (FLooseTypes && C.CType == SQL_C_TYPE_TIMESTAMP && C.Buffer) {
    TCell cell;
    if (FindCell(int(Index) + 1, Row, cell) && cell.Value != nullptr &&
        *cell.Ind >= 0 && static_cast<const SQL_TIMESTAMP_STRUCT*>(cell.Value)->fraction % 1000000 != 0)
      return false;
  }
  return true;
}

void THstmt::KeepKeyValues() {
  Trace(1, "THstmt.KeepKeyValues");
  Init();
  BindCols();
  TakeKeyValues();
}

void THstmt::ChangeByKey() { RowOps().CursorRow = false; }

bool THstmt::RowByCursor() const { return !FRowOps || FRowOps->CursorRow; }

void THstmt::ReleaseAuxStatements() {
  if (!FRowOps) return;
  TRowOps& r = *FRowOps;
  // Their parameters point into the column buffers about to be freed: dropped first.
  for (auto& aux : r.Aux) {
    if (!aux) continue;
    if (aux->Allocated()) {
      try {
        aux->Close();
      } catch (...) {
        ::TerminateSilently(aux.get());
      }
    }
    aux->SetPrepared(false);
  }
  r.Described = false;
  r.ReadOnly.clear();
  r.DriverReadOnly.clear();
  r.NoTable.clear();
  r.Names.clear();
  r.KeyValid = false;
  r.KeyBytes.clear();
  r.KeyInd.clear();
  r.Written.clear();
}

void THstmt::UnprepareAuxStatements() {
  Trace(1, "THstmt.UnprepareAuxStatements");
  if (!FRowOps) return;
  for (auto& aux : FRowOps->Aux)
    if (aux) aux->SetPrepared(false);
}

void THstmt::SetSkipByPosition(bool Value) {
  FSkipByPosition = Value;
  UnprepareAuxStatements();
}

void THstmt::SetSkipByCursor(bool Value) {
  FSkipByCursor = Value;
  UnprepareAuxStatements();
}

THstmt& THstmt::AuxStatement(TGenOp Op, std::string Text) {
  TRowOps& r = RowOps();
  const int idx = AuxIndex(Op);
  std::unique_ptr<THstmt>& aux = r.Aux[idx];
  if (!aux) {
    aux = std::make_unique<THstmt>(nullptr);
    // The generated text holds no parameter tokens; a quoted name may hold a colon.
    aux->SetSQLParsing(false);
  }
  if (aux->hDbc() != hDbc()) aux->SetHdbc(hDbc());
  aux->SetBlobSize(FBlobSize);
  // Kept prepared while the same text would be built (a rewrite by OnStatement stays).
  if (!aux->Prepared() || r.AuxText[idx] != Text) {
    r.AuxText[idx] = Text;
    if (OnStatement && Op != goCount) OnStatement(this, Op, Text);
    aux->SetSQL(Text);
    aux->Prepare();
  }
  return *aux;
}

void* THstmt::LongWriteBuffer(TColRec& C) {
  void* p = C.Stream->Memory();
  return p != nullptr ? p : EmptyValue;
}

// ---- small public parts

uint16_t* THstmt::RowFlags(int Row) {
  Trace(1, "THstmt.RowFlags");
  if (!FRowFlags || Row < 1 || size_t(Row) > FRowArraySize) return nullptr;
  return &FRowFlags[size_t(Row) - 1];
}

std::string THstmt::CursorName() {
  Trace(1, "THstmt.CursorName");
  Init();
  char buf[256] = {};
  SQLSMALLINT len = 0;
  Check(ODBCApi().SQLGetCursorName(FHandle, reinterpret_cast<SQLCHAR*>(buf), SQLSMALLINT(sizeof buf), &len));
  buf[sizeof buf - 1] = 0;
  return buf;
}

void THstmt::RunCatalog(const std::function<SQLRETURN(SQLHSTMT)>& Call) {
  Trace(1, "THstmt.RunCatalog");
  Close();
  Check(Call(FHandle));
  ODBCApi().SQLSetStmtAttr(FHandle, SQL_ATTR_ROWS_FETCHED_PTR, &FRowsFetched, 0);
  FExecuted = true;
}

void THstmt::SetColBytes(int Col, int Row, const void* Data, SQLLEN Length) {
  Trace(1, "THstmt.SetColBytes");
  TCell cell;
  if (!FindCell(Col, Row, cell)) return;
  TColRec& c = *cell.Col;
  if (Length < 0 && Length != SQL_NULL_DATA)
    throw EODBCLibrary("Invalid length " + std::to_string(Length) + " for column " + c.Name + ".");
  const size_t n = Length > 0 ? size_t(Length) : 0;
  if (!c.IsLong) {
    const bool text = c.CType == SQL_C_CHAR;
    const bool binary = c.CType == SQL_C_BINARY;
    const bool fits = c.Buffer && (text ? n + 1 <= c.ElemSize : binary ? n <= c.ElemSize : n == c.ElemSize);
    if (Length != SQL_NULL_DATA && !fits)
      throw EODBCLibrary("Value too long for column " + c.Name + ".");
  }
  BeforeCellWrite(cell);
  PutCellBytes(c, Row, Data, Length);
}

// ---- dispatch

void THstmt::CheckRowOne(int Row) const {
  if (Row != 1) throw EODBCLibrary(kRowOneOnly);
}

void THstmt::Dispatch(TGenOp Op, const TConfirmEvent& Confirm, const char* Question) {
  Init();
  BindCols();
  const bool rowSet = FRowSetSize > 1 && FRowsFetched >= 1;
  // The generated statements read row 1's buffers and a bulk add writes every row of the set:
  // a flag on another row would change the wrong row.
  if (rowSet)
    for (size_t r = 2; r <= FRowArraySize; ++r)
      if (RowOperation(int(r)) != 0) throw EODBCLibrary(kRowOneOnly);
  if (Confirm && !Confirm(this, Question)) return;
  if (rowSet && RowOperation(1) != Op) return;
  switch (Op) {
    case goInsert: InsertRow(); break;
    case goUpdate: UpdateRow(1); break;
    case goDelete: DeleteRow(1); break;
    case goRefresh: RefreshRow(1); break;
    case goCount: break;  // no row operation of its own
  }
}

void THstmt::DoInsert() {
  Trace(1, "THstmt.DoInsert");
  Dispatch(goInsert, OnInsert, "Insert row(s)?");
}

void THstmt::DoUpdate() {
  Trace(1, "THstmt.DoUpdate");
  Dispatch(goUpdate, OnUpdate, "Update row(s)?");
}

void THstmt::DoDelete() {
  Trace(1, "THstmt.DoDelete");
  Dispatch(goDelete, OnDelete, "Delete row(s)?");
}

void THstmt::DoRefresh() {
  Trace(1, "THstmt.DoRefresh");
  Dispatch(goRefresh, OnRefresh, "Refresh row(s)?");
}

// ---- table and key

std::string THstmt::TargetTableName() {
  Trace(1, "THstmt.TargetTableName");
  Init();
  BindCols();
  DescribeWritable();
  return RowOps().TextName;
}

void THstmt::DetectPrimaryCols() {
  Trace(1, "THstmt.DetectPrimaryCols");
  Init();
  BindCols();
  for (const auto& c : FCols)
    if (c->IsPrimary) return;
  TargetTableName();
  TRowOps& r = RowOps();
  const std::string catalog = r.Catalog, owner = r.Owner, table = r.Table;
  if (!r.Catalog_) r.Catalog_ = std::make_unique<THstmt>(nullptr);
  THstmt& cat = *r.Catalog_;
  if (cat.hDbc() != hDbc()) cat.SetHdbc(hDbc());
  const auto arg = [](const std::string& S) {
    return S.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(S.c_str()));
  };
  const auto len = [](const std::string& S) { return S.empty() ? SQLSMALLINT(0) : SQLSMALLINT(S.size()); };
  // Every name is looked up before any column is marked: a key that is only half marked would
  // find more than its row. A key column is the target's column of that base name, whatever
  // the result calls it.
  std::vector<int> key;
  const auto collect = [&](int NameCol) {
    while (cat.FetchNext()) {
      if (NameCol == 2 && cat.ColSmallint(8) == SQL_PC_PSEUDO) continue;
      const std::string name = cat.ColString(NameCol);
      int found = 0;
      for (size_t i = 0; i < FCols.size() && found == 0; ++i)
        if (!r.ReadOnly[i] && SameText(r.Names[i], name)) found = int(i) + 1;
      if (found == 0) throw EODBCLibrary("Identifier " + name + " not found in result set.");
      key.push_back(found);
    }
  };
  TAtExit release{[&cat] {
    try {
      cat.Close();
    } catch (...) {
      ::TerminateSilently(&cat);
    }
  }};
  cat.RunCatalog([&](SQLHSTMT H) {
    return ODBCApi().SQLSpecialColumns(H, SQL_BEST_ROWID, arg(catalog), len(catalog), arg(owner), len(owner),
                                       arg(table), len(table), SQL_SCOPE_CURROW, SQL_NULLABLE);
  });
  collect(2);
  if (key.empty()) {
    cat.RunCatalog([&](SQLHSTMT H) {
      return ODBCApi().SQLPrimaryKeys(H, arg(catalog), len(catalog), arg(owner), len(owner), arg(table), len(table));
    });
    collect(4);
  }
  for (int c : key) FCols[size_t(c) - 1]->IsPrimary = true;
}

std::vector<int> THstmt::KeyColumns() {
  std::vector<int> cols;
  for (size_t i = 0; i < FCols.size(); ++i)
    if (FCols[i]->IsPrimary) cols.push_back(int(i) + 1);
  return cols;
}

std::string THstmt::PrimaryWhere() {
  Trace(1, "THstmt.PrimaryWhere");
  DetectPrimaryCols();
  DescribeWritable();
  std::vector<std::string> parts;
  for (int c : KeyColumns()) {
    const std::string name = QuoteIdentifier(RowOps().Names[size_t(c) - 1]);
    const SQLSMALLINT type = FCols[size_t(c) - 1]->CType;
    // SQLite keeps a date as the text it was given, which a parameter matches only in the
    // driver's own form: the two are compared as points in time.
    if (FLooseTypes && (type == SQL_C_TYPE_TIMESTAMP || type == SQL_C_TYPE_DATE || type == SQL_C_TYPE_TIME))
      parts.push_back("julianday(" + name + ") = julianday(?)");
    else if (DecimalReadAsDouble(*FCols[size_t(c) - 1]))
      // Read into a double, the decimal is found as the double it was read as; a second row
      // that reads the same is caught by the count of rows the statement changes.
      parts.push_back("CAST(" + name + " AS DOUBLE PRECISION) = ?");
    else
      parts.push_back(name + " = ?");
  }
  if (parts.empty()) throw EODBCLibrary("Unable to determine primary columns:  set PrimaryCols property.");
  return Join(parts, " AND ");
}

std::string THstmt::PrimaryColNames() {
  Trace(1, "THstmt.PrimaryColNames");
  DetectPrimaryCols();
  std::string s;
  for (int c : KeyColumns()) s += FCols[size_t(c) - 1]->Name + ";";
  return s;
}

// ---- writability

void THstmt::DescribeWritable() {
  TRowOps& r = RowOps();
  const size_t n = FCols.size();
  if (!r.Described || r.ReadOnly.size() != n) {
    r.ReadOnly.assign(n, 0);
    r.DriverReadOnly.assign(n, 0);
    r.NoTable.assign(n, 0);
    r.Names.assign(n, std::string());
    r.ColCatalog.assign(n, std::string());
    r.ColSchema.assign(n, std::string());
    r.ColTable.assign(n, std::string());
    r.AnyTable = false;
    // The outer select list where it can be told item by item: SQLite's driver gives an
    // alias as a column's base name.
    const std::vector<TSelectItem> items = SelectItems(FSQL);
    const bool byItem = items.size() == n;
    for (size_t i = 0; i < n; ++i) {
      const int col = int(i) + 1;
      SQLLEN updatable = SQL_ATTR_READWRITE_UNKNOWN;
      if (!Judge(ODBCApi().SQLColAttribute(FHandle, SQLUSMALLINT(col), SQL_DESC_UPDATABLE, nullptr, 0, nullptr,
                                           &updatable)))
        updatable = SQL_ATTR_READWRITE_UNKNOWN;
      r.DriverReadOnly[i] = updatable == SQL_ATTR_READONLY;
      std::string table;
      if (!ColAttrText(FHandle, col, SQL_DESC_BASE_TABLE_NAME, table) || table.empty())
        ColAttrText(FHandle, col, SQL_DESC_TABLE_NAME, table);
      if (byItem && !items[i].Plain) table.clear();  // an expression, whatever the driver says
      r.ColTable[i] = table;
      if (!table.empty()) {
        ColAttrText(FHandle, col, SQL_DESC_SCHEMA_NAME, r.ColSchema[i]);
        ColAttrText(FHandle, col, SQL_DESC_CATALOG_NAME, r.ColCatalog[i]);
      }
      r.NoTable[i] = table.empty();
      r.AnyTable = r.AnyTable || !table.empty();
      if (!ColAttrText(FHandle, col, SQL_DESC_BASE_COLUMN_NAME, r.Names[i]) || r.Names[i].empty())
        r.Names[i] = FCols[i]->Name;
      if (byItem && items[i].Plain && !SameText(items[i].Base, r.Names[i])) r.Names[i] = items[i].Base;
    }
    // The table the described columns name, in column order: the first one.
    r.DescCatalog.clear();
    r.DescSchema.clear();
    r.DescTable.clear();
    for (size_t i = 0; i < n; ++i)
      if (!r.ColTable[i].empty()) {
        r.DescCatalog = r.ColCatalog[i];
        r.DescSchema = r.ColSchema[i];
        r.DescTable = r.ColTable[i];
        break;
      }
    r.Described = true;
  }
  // The target: the caller's table, else the one the columns name, else the one table of the
  // outer FROM clause.
  r.Catalog.clear();
  r.Owner.clear();
  r.Table.clear();
  r.TextName.clear();
  std::vector<std::string> parts;
  const std::string given = Trim(FTargetTable);
  if (!given.empty()) {
    parts = NameParts(given);
    r.TextName = given;
    if (parts.empty()) parts = {given};
  } else if (r.AnyTable) {
    if (!r.DescCatalog.empty()) parts.push_back(r.DescCatalog);
    if (!r.DescSchema.empty()) parts.push_back(r.DescSchema);
    parts.push_back(r.DescTable);
  } else {
    parts = FromTable(FSQL);
    if (parts.empty()) throw EODBCLibrary(kNoTable);
  }
  r.Table = parts.back();
  if (parts.size() >= 2) r.Owner = parts[parts.size() - 2];
  if (parts.size() >= 3) r.Catalog = parts[parts.size() - 3];
  if (given.empty() && r.AnyTable) {
    // The catalog and schema as described; the text names the table as it was read: schema
    // and name where there are schemas, else the database (SQLite's attached one) and name.
    r.Catalog = r.DescCatalog;
    r.Owner = r.DescSchema;
    const std::string qualifier = !r.Owner.empty() ? r.Owner : r.Catalog;
    r.TextName = (qualifier.empty() ? std::string() : QuoteIdentifier(qualifier) + ".") + QuoteIdentifier(r.Table);
  } else if (r.TextName.empty()) {
    for (const std::string& p : parts) r.TextName += (r.TextName.empty() ? "" : ".") + QuoteIdentifier(p);
  }
  // Only the target's columns are written: one of another table or of no table (beside
  // columns of a table) is read-only. A driver that names no table at all tells nothing.
  for (size_t i = 0; i < n; ++i) {
    bool other = false;
    if (r.AnyTable) {
      other = r.ColTable[i].empty() || !SameText(r.ColTable[i], r.Table);
      if (!other && !r.Owner.empty() && !r.ColSchema[i].empty()) other = !SameText(r.ColSchema[i], r.Owner);
      if (!other && !r.Catalog.empty() && !r.ColCatalog[i].empty()) other = !SameText(r.ColCatalog[i], r.Catalog);
    }
    r.ReadOnly[i] = other || (!r.AnyTable && r.DriverReadOnly[i]);
    // A key mark on a column the target does not hold would find another row.
    if (other) FCols[i]->IsPrimary = false;
  }
}

bool THstmt::ColWritable(int Col) {
  Init();
  BindCols();
  if (Col < 1 || size_t(Col) > FCols.size()) return false;
  DescribeWritable();
  return !RowOps().ReadOnly[size_t(Col) - 1];
}

bool THstmt::CursorWritable() {
  SQLULEN concurrency = FConcurrencyType;
  if (!Judge(ODBCApi().SQLGetStmtAttr(FHandle, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr)))
    concurrency = FConcurrencyType;
  return concurrency != SQL_CONCUR_READ_ONLY;
}

bool THstmt::DriverWrites(bool Values, bool Update) {
  if (!CursorWritable()) return false;
  DescribeWritable();
  const TRowOps& r = RowOps();
  // A cursor over more than its target (PostgreSQL's calls every column of a join read-only)
  // leaves its rows to the generated statements.
  if (!Values) return std::none_of(r.DriverReadOnly.begin(), r.DriverReadOnly.end(), [](char R) { return R != 0; });
  for (size_t i = 0; i < FCols.size(); ++i) {
    const TColRec& c = *FCols[i];
    if (!c.IsLong && !c.Buffer) return false;  // a value the library cannot hold
    // A column the driver calls read-only (PostgreSQL's, of a join) goes by the generated statement.
    if (i < r.DriverReadOnly.size() && r.DriverReadOnly[i] && c.Ind[0] != SQL_COLUMN_IGNORE) return false;
    if (c.Ind[0] == SQL_COLUMN_IGNORE) {
      // PostgreSQL's driver leaves such a column out of its update; SQLite's writes it anyway.
      // A read-only or long column left out still goes by the generated statement.
      if (FSetPosUnreliable || !Update || c.IsLong || (i < r.ReadOnly.size() && r.ReadOnly[i])) return false;
      continue;
    }
    if (c.IsLong && FSetPosUnreliable) return false;
    if (c.CType == SQL_C_TYPE_TIMESTAMP && FSetPosUnreliable) return false;
  }
  return true;
}

// ---- driver row operations

void THstmt::SendColumnData() {
  PutDataAtExec([this](SQLPOINTER Token, const void*& Data, SQLLEN& Length) {
    for (auto& c : FCols) {
      if (!c->IsLong || LongWriteBuffer(*c) != Token) continue;
      Data = Token;
      const SQLLEN ind = c->Ind[0];
      Length = ind <= SQL_LEN_DATA_AT_EXEC_OFFSET ? SQL_LEN_DATA_AT_EXEC_OFFSET - ind : 0;
      return true;
    }
    return false;
  });
}

void THstmt::RaiseNoData() {
  FRetCode = SQL_NO_DATA;
  GlobalEnv()->Error()->RaiseError(this, SQL_NO_DATA);
}

void THstmt::DriverResult(SQLRETURN RetCode, TNoRowsAffectedFlag Member, SQLUSMALLINT Expected,
                          SQLUSMALLINT Status) {
  FRetCode = RetCode;
  if (RetCode == SQL_NO_DATA) {
    if (FNoRowsAffected.Contains(Member)) RaiseNoData();
    return;
  }
  Check(RetCode);
  // Another user changed or removed the row first: nothing was written.
  if ((RetCode == SQL_SUCCESS_WITH_INFO && HasDiagState(FHandle, "01001")) ||
      (Expected != 0 && (Status == SQL_ROW_ERROR || Status == SQL_ROW_SUCCESS_WITH_INFO))) {
    GlobalEnv()->Error()->RaiseError(this, RetCode == SQL_SUCCESS ? SQL_ERROR : RetCode);
    return;
  }
  // A row status the driver left as it was: no row was changed.
  if (Expected != 0 && Status != Expected && FNoRowsAffected.Contains(Member)) RaiseNoData();
}

// ---- the four operations

void THstmt::LeaveOutUnwritable(bool Insert) {
  Init();
  BindCols();
  DescribeWritable();
  TRowOps& r = RowOps();
  if (r.Written.size() < FCols.size()) r.Written.resize(FCols.size(), 0);
  for (size_t i = 0; i < FCols.size(); ++i) {
    TColRec& c = *FCols[i];
    // A long value not read for this row (deferred, or a larger row set) would be written
    // empty or stale.
    const bool unknownLong = c.IsLong && !r.Written[i] && !(FRowArraySize == 1 && c.Loaded);
    // A value the caller gave a column that cannot be written is never dropped silently.
    if (r.ReadOnly[i] && r.Written[i] && c.Ind[0] != SQL_COLUMN_IGNORE && !(Insert && c.Ind[0] == SQL_NULL_DATA))
      throw EODBCLibrary("Column " + c.Name + " cannot be written: it is not a column of table " + r.TextName + ".");
    if ((r.ReadOnly[i] || unknownLong) && c.Ind[0] != SQL_COLUMN_IGNORE) {
      r.LeftOut.emplace_back(&c.Ind[0], c.Ind[0]);
      c.Ind[0] = SQL_COLUMN_IGNORE;
    }
  }
}

void THstmt::RestoreLeftOut() {
  TRowOps& r = RowOps();
  for (const auto& [cell, value] : r.LeftOut) *cell = value;
  r.LeftOut.clear();
}

bool THstmt::CanSetPos(SQLUINTEGER Capability) {
  // SQLite's own operations keep the old key after a key edit, find their row by the result's
  // values and answer success for a row that is gone: its rows are changed by the generated
  // statements only.
  if (FSetPosUnreliable) return false;
  const SQLUINTEGER attrs = FSkipByPosition ? 0 : FCursorAttributes;
  return (attrs & Capability) != 0 && RowOps().CursorRow;
}

void THstmt::DriverWrite(SQLUSMALLINT Operation, TNoRowsAffectedFlag Member, SQLUSMALLINT Expected) {
  const bool values = Operation != SQL_DELETE;
  if (values) BindBlobCols(true);
  TAtExit unbind{[this, values] {
    try {
      if (values) BindBlobCols(false);
    } catch (...) {
    }
  }};
  // Row 1's status is set to "no row" first and given back when the driver leaves it alone.
  SQLUSMALLINT none = SQL_ROW_NOROW;
  SQLUSMALLINT* status = FRowStatus ? FRowStatus.get() : &none;
  const SQLUSMALLINT before = status[0];
  status[0] = SQL_ROW_NOROW;
  TAtExit giveBack{[status, before] {
    if (status[0] == SQL_ROW_NOROW) status[0] = before;
  }};
  SQLRETURN rc = Operation == SQL_ADD ? ODBCApi().SQLBulkOperations(FHandle, SQL_ADD)
                                      : ODBCApi().SQLSetPos(FHandle, 1, Operation, SQL_LOCK_NO_CHANGE);
  FRetCode = rc;
  if (rc == SQL_NEED_DATA) {
    SendColumnData();
    rc = FRetCode;
  }
  DriverResult(rc, Member, Expected, status[0]);
}

void THstmt::CheckDriverKey() {
  // SQLite's driver finds the row of its own update or delete by the key the result holds (it
  // refuses a result without it); a NULL in it matches no row, and the driver says nothing.
  if (!FSetPosUnreliable) return;
  DetectPrimaryCols();
  CheckKeyValues(KeyColumns());
}

void THstmt::InsertRow() {
  Trace(1, "THstmt.InsertRow");
  LeaveOutUnwritable(true);
  TRowOps& r = RowOps();
  TAtExit restore{[this] { RestoreLeftOut(); }};
  const SQLUINTEGER attrs = FSkipByPosition ? 0 : FCursorAttributes;
  // A bulk add writes every row of the row set. PostgreSQL's driver shows a row it added in
  // the cursor, whose long values it then cannot read ("Not positioned on a valid row for
  // GetData."): a row with long columns goes by the generated insert.
  if ((attrs & SQL_CA1_BULK_ADD) != 0 && FRowArraySize == 1 && !FSetPosUnreliable && !FHasLongCols &&
      DriverWrites(true, false))
    DriverWrite(SQL_ADD, nrByInsert, 0);
  else
    GeneratedWrite(goInsert);
  r.KeyValid = false;
  r.CursorRow = false;
}

void THstmt::UpdateRow(int Row) {
  Trace(1, "THstmt.UpdateRow");
  CheckRowOne(Row);
  LeaveOutUnwritable(false);
  TRowOps& r = RowOps();
  TAtExit restore{[this] { RestoreLeftOut(); }};
  if (ValueColumns().empty()) {
    // Nothing to set: a no-op, whichever way the row would be written.
  } else if (CanSetPos(SQL_CA1_POS_UPDATE) && DriverWrites(true, true)) {
    CheckDriverKey();
    DriverWrite(SQL_UPDATE, nrByUpdate, SQL_ROW_UPDATED);
  } else {
    GeneratedWrite(goUpdate);
    r.CursorRow = false;
  }
  r.KeyValid = false;
}

void THstmt::DeleteRow(int Row) {
  Trace(1, "THstmt.DeleteRow");
  CheckRowOne(Row);
  Init();
  BindCols();
  TRowOps& r = RowOps();
  // PostgreSQL's driver, after deleting a row of a result with long columns itself, reads the
  // deleted row's long values for the row fetched next: such a row goes by the generated delete.
  if (CanSetPos(SQL_CA1_POS_DELETE) && !FHasLongCols && DriverWrites(false, false)) {
    CheckDriverKey();
    DriverWrite(SQL_DELETE, nrByDelete, SQL_ROW_DELETED);
  } else {
    GeneratedWrite(goDelete);
  }
  r.KeyValid = false;
  r.CursorRow = false;
}

void THstmt::RefreshRow(int Row) {
  Trace(1, "THstmt.RefreshRow");
  CheckRowOne(Row);
  Init();
  BindCols();
  // A static cursor answers from its own copy of the row (or, PostgreSQL's, with the next
  // row): only a cursor that sees other users' changes is asked.
  const bool live = FEffectiveCursorType == SQL_CURSOR_KEYSET_DRIVEN || FEffectiveCursorType == SQL_CURSOR_DYNAMIC;
  if (live && CanSetPos(SQL_CA1_POS_REFRESH)) {
    const SQLRETURN rc = ODBCApi().SQLSetPos(FHandle, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE);
    FRetCode = rc;
    if (rc == SQL_NO_DATA) {
      if (FNoRowsAffected.Contains(nrByRefresh)) RaiseNoData();
      return;
    }
    Check(rc);
    // Long columns are not bound: read again.
    for (size_t i = 0; i < FCols.size(); ++i) {
      TColRec& c = *FCols[i];
      if (!c.IsLong) continue;
      c.Loaded = false;
      c.Ind[0] = FBlobDeferral ? SQL_NULL_DATA : ReadBlobCol(int(i) + 1, 1, c.Stream.get(), c.CType);
    }
  } else {
    GeneratedRefresh();
    RowOps().CursorRow = false;
  }
  RowOps().KeyValid = false;
}

// ---- generated statements

std::vector<int> THstmt::ValueColumns() {
  std::vector<int> cols;
  for (size_t i = 0; i < FCols.size(); ++i) {
    const TColRec& c = *FCols[i];
    if (c.Ind[0] == SQL_COLUMN_IGNORE || (!c.IsLong && !c.Buffer)) continue;
    cols.push_back(int(i) + 1);
  }
  return cols;
}

std::string THstmt::WhereClause(TGenOp Op, bool& KeyParams) {
  const SQLUINTEGER attrs = FSkipByCursor ? 0 : FCursorAttributes;
  const SQLUINTEGER current =
      Op == goUpdate ? SQL_CA1_POSITIONED_UPDATE : Op == goDelete ? SQL_CA1_POSITIONED_DELETE : 0;
  KeyParams = current == 0 || (attrs & current) == 0;
  if (!KeyParams) return "WHERE CURRENT OF " + CursorName();
  return "WHERE " + PrimaryWhere();
}

namespace {

void BindOne(THstmt& Aux, int ParamNo, SQLSMALLINT CType, SQLSMALLINT SQLType, void* Value, SQLLEN Length) {
  const TStmtParamRec* rec = Aux.ParamRec(ParamNo);
  // Bound once while the text stays prepared; a buffer that moved is bound again.
  if (rec == nullptr || rec->Value != Value || rec->CType != CType) Aux.BindParam(ParamNo, CType, SQLType, Value);
  Aux.SetParamSize(ParamNo, Length);
}

SQLSMALLINT LongSQLType(SQLSMALLINT CType) { return CType == SQL_C_BINARY ? SQL_LONGVARBINARY : SQL_LONGVARCHAR; }

}  // namespace

void THstmt::BindValues(THstmt& Aux, const std::vector<int>& Cols, int& ParamNo) {
  for (int col : Cols) {
    TColRec& c = *FCols[size_t(col) - 1];
    ++ParamNo;
    if (c.IsLong) {
      const SQLLEN ind = c.Ind[0];
      BindOne(Aux, ParamNo, c.CType, LongSQLType(c.CType), LongWriteBuffer(c),
              ind < 0 ? ind : SQLLEN(c.Stream->Size()));
      continue;
    }
    TCell cell;
    FindCell(col, 1, cell);
    BindOne(Aux, ParamNo, c.CType, c.SQLType, cell.Value, *cell.Ind);
  }
}

void THstmt::CheckKeyValues(const std::vector<int>& Cols) {
  TRowOps& r = RowOps();
  if (Cols.empty()) return;
  if (!r.KeyValid) TakeKeyValues();
  for (int k : Cols) {
    const TColRec& c = *FCols[size_t(k) - 1];
    // A NULL equals nothing: the statement would find no row and change nothing.
    if (r.KeyInd[size_t(k) - 1] == SQL_NULL_DATA) throw EODBCLibrary("key column " + c.Name + " is NULL");
    if (size_t(k) <= r.KeyInexact.size() && r.KeyInexact[size_t(k) - 1])
      throw EODBCLibrary("key column " + c.Name + " holds a value that cannot be kept exactly; the row cannot be found by it");
    if (!c.IsLong && !c.Buffer) throw EODBCLibrary("key column " + c.Name + " has a type the library cannot bind");
  }
}

void THstmt::BindKeys(THstmt& Aux, const std::vector<int>& Cols, int& ParamNo) {
  TRowOps& r = RowOps();
  for (int col : Cols) {
    TColRec& c = *FCols[size_t(col) - 1];
    const size_t i = size_t(col) - 1;
    ++ParamNo;
    SQLLEN ind = r.KeyInd[i];
    if (ind != SQL_NULL_DATA && ind < 0) ind = c.CType == SQL_C_CHAR ? SQL_NTS : 0;
    std::vector<unsigned char>& bytes = r.KeyBytes[i];
    void* value = bytes.empty() ? EmptyValue : bytes.data();
    const SQLSMALLINT type = c.IsLong ? LongSQLType(c.CType) : DecimalReadAsDouble(c) ? SQLSMALLINT(SQL_DOUBLE) : c.SQLType;
    BindOne(Aux, ParamNo, c.CType, type, value, ind);
  }
}

void THstmt::GeneratedWrite(TGenOp Op) {
  TRowOps& r = RowOps();
  const bool values = Op == goInsert || Op == goUpdate;
  const std::vector<int> cols = values ? ValueColumns() : std::vector<int>{};
  if (values && cols.empty()) {
    // Nothing to set is nothing to do; a row of no values cannot be inserted.
    if (Op == goInsert) throw EODBCLibrary("No column of the row can be inserted.");
    return;
  }
  const std::string table = QuoteIdentifier(TargetTableName());
  bool keyParams = false;
  const std::string where = Op == goInsert ? std::string() : WhereClause(Op, keyParams);
  const std::vector<int> keys = keyParams ? KeyColumns() : std::vector<int>{};
  CheckKeyValues(keys);
  DescribeWritable();
  std::vector<std::string> names;
  for (int c : cols) names.push_back(QuoteIdentifier(r.Names[size_t(c) - 1]));
  std::string text;
  switch (Op) {
    case goInsert:
      text = "INSERT INTO " + table + " (" + Join(names, ", ") + ") VALUES (" +
             Join(std::vector<std::string>(names.size(), "?"), ", ") + ")";
      break;
    case goUpdate:
      for (std::string& n : names) n += " = ?";
      text = "UPDATE " + table + " SET " + Join(names, ", ") + " " + where;
      break;
    default: text = "DELETE FROM " + table + " " + where; break;
  }
  // The key must name one row, and the statement itself proves it: the count and the write see
  // the same rows, so a row of that key that another user adds meanwhile is never changed too.
  if (!keys.empty()) text += " AND (SELECT count(*) FROM " + table + " " + where + ") = 1";
  THstmt& aux = AuxStatement(Op, text);
  int n = 0;
  BindValues(aux, cols, n);
  BindKeys(aux, keys, n);
  BindKeys(aux, keys, n);
  const SQLLEN rows = Op == goInsert ? ExecuteInsert(aux) : ExecuteOneRow(aux);
  // Nothing changed: either no row has the key or several have; only the first is "no row".
  if (rows == 0 && !keys.empty()) CheckNoKeyRow(table, where, keys);
  const TNoRowsAffectedFlag member = Op == goInsert ? nrByInsert : Op == goUpdate ? nrByUpdate : nrByDelete;
  if (FNoRowsAffected.Contains(member) && rows == 0) RaiseNoData();
}

SQLLEN THstmt::ExecuteInsert(THstmt& Aux) {
  Aux.Execute();
  return Aux.NumRowsAffected();
}

void THstmt::CheckNoKeyRow(const std::string& Table, const std::string& Where, const std::vector<int>& Keys) {
  THstmt& count = AuxStatement(goCount, "SELECT count(*) FROM " + Table + " " + Where);
  int n = 0;
  BindKeys(count, Keys, n);
  count.Execute();
  TCursorCloser closeCursor{count};
  if (!count.FetchNext()) throw EODBCLibrary("The rows of the key of the row of table " + RowOps().TextName + " could not be counted.");
  const int64_t rows = count.ColInt64(1, 1);
  if (rows > 1)
    throw EODBCLibrary("The key of the row matched " + std::to_string(rows) + " rows of table " + RowOps().TextName +
                       "; nothing was changed.");
  // One row now, none when the statement ran: another user changed the rows of that key between.
  if (rows == 1)
    throw EODBCLibrary("The rows of the key of the row of table " + RowOps().TextName +
                       " changed while it was written; nothing was changed.");
}

SQLLEN THstmt::ExecuteOneRow(THstmt& Aux) {
  // The generated text changes at most one row, in one statement that the database keeps or
  // undoes whole. (No transaction of the library's own: PostgreSQL's driver closes the
  // connection's cursors when one ends, and on SQLite a commit of its own that fails, the disk
  // full, leaves the connection unable to write while a cursor is open.) A text that OnStatement
  // rewrote may change several rows: that raises, and says where the change is.
  Aux.Execute();
  const SQLLEN rows = Aux.NumRowsAffected();
  if (rows > 1) {
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (!Judge(ODBCApi().SQLGetConnectAttr(hDbc()->Handle(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
      autocommit = SQL_AUTOCOMMIT_ON;
    throw EODBCLibrary("The key of the row matched " + std::to_string(rows) + " rows of table " + RowOps().TextName +
                       (autocommit == SQL_AUTOCOMMIT_ON ? "; the change is kept." : "; the caller's transaction holds the change."));
  }
  return rows;
}

void THstmt::GeneratedRefresh() {
  TRowOps& r = RowOps();
  DescribeWritable();
  std::vector<int> cols;
  std::vector<std::string> names;
  for (size_t i = 0; i < FCols.size(); ++i) {
    const TColRec& c = *FCols[i];
    if (r.ReadOnly[i] || (!c.IsLong && !c.Buffer)) continue;
    cols.push_back(int(i) + 1);
    names.push_back(QuoteIdentifier(r.Names[i]));
  }
  const std::string table = QuoteIdentifier(TargetTableName());
  const std::string where = "WHERE " + PrimaryWhere();
  const std::vector<int> keys = KeyColumns();
  CheckKeyValues(keys);
  THstmt& aux = AuxStatement(goRefresh, "SELECT " + Join(names, ", ") + " FROM " + table + " " + where);
  int n = 0;
  BindKeys(aux, keys, n);
  aux.Execute();
  TCursorCloser closeCursor{aux};
  if (!aux.FetchNext()) {
    if (FNoRowsAffected.Contains(nrByRefresh)) RaiseNoData();
    return;
  }

  // The values read back, checked against row 1's elements before any is copied.
  struct TValue {
    const void* Data;
    SQLLEN Length;
  };
  std::vector<TValue> got;
  for (size_t j = 0; j < cols.size(); ++j) {
    TColRec& c = *FCols[size_t(cols[j]) - 1];
    const int a = int(j) + 1;
    TValue v{nullptr, aux.ColSize(a)};
    const bool bytes = c.IsLong || c.CType == SQL_C_CHAR || c.CType == SQL_C_BINARY;
    if (aux.ColIsBlob(a)) {
      TMemoryStream* s = aux.ColStream(a);
      v.Data = s != nullptr ? s->Memory() : nullptr;
      if (!bytes) throw EODBCLibrary("Column " + c.Name + " was read back as another type.");
    } else {
      v.Data = aux.ColValue(a);
      if (!c.IsLong && aux.ColCType(a) != c.CType)
        throw EODBCLibrary("Column " + c.Name + " was read back as another type.");
    }
    if (v.Length < 0 && v.Length != SQL_NULL_DATA)
      throw EODBCLibrary("Value of column " + c.Name + " was read back without its length.");
    if (v.Length > 0 && v.Data == nullptr) throw EODBCLibrary("Value of column " + c.Name + " was not read back.");
    // Bounded by the element (the terminator of a text included): never read or written past.
    const SQLLEN room = c.CType == SQL_C_CHAR ? SQLLEN(c.ElemSize) - 1 : SQLLEN(c.ElemSize);
    if (!c.IsLong && bytes && v.Length > room)
      throw EODBCLibrary("Value of column " + c.Name + " is longer than its buffer.");
    got.push_back(v);
  }
  // Held before the next fetch, which shows whether the key found one row only.
  std::vector<std::vector<unsigned char>> held(got.size());
  for (size_t j = 0; j < got.size(); ++j) {
    const TColRec& c = *FCols[size_t(cols[j]) - 1];
    const bool bytes = c.IsLong || c.CType == SQL_C_CHAR || c.CType == SQL_C_BINARY;
    const size_t n = got[j].Length == SQL_NULL_DATA ? 0 : bytes ? size_t(std::max<SQLLEN>(got[j].Length, 0)) : c.ElemSize;
    if (n > 0 && got[j].Data != nullptr) {
      const auto* p = static_cast<const unsigned char*>(got[j].Data);
      held[j].assign(p, p + n);
    } else if (!bytes) {
      held[j].assign(c.ElemSize, 0);
    }
  }
  if (aux.FetchNext())
    throw EODBCLibrary("The key of the row matched more than one row of table " + r.TextName + ".");
  if (r.Written.size() < FCols.size()) r.Written.resize(FCols.size(), 0);
  for (size_t j = 0; j < cols.size(); ++j) {
    const size_t i = size_t(cols[j]) - 1;
    TColRec& c = *FCols[i];
    PutCellBytes(c, 1, held[j].empty() ? EmptyValue : held[j].data(), got[j].Length);
    if (c.IsLong) {
      c.Loaded = true;
      r.Written[i] = 1;  // the value is known for this row
    }
  }
}
