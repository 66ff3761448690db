#include "dafilteremitter.h"

#include <cstring>
#include <optional>

#include "cp1250.h"
#include "dbconv.h"
#include "drivermodules.h"
#include "enginebcd.h"
#include "enginefilter.h"
#include "numbers.h"
#include "text.h"

using namespace filterblob;

// ---- the fields of a data set ---------------------------------------------------------------

int TDataSetFilterFields::FilterFieldCount() const { return FDataSet ? FDataSet->FieldCount() : 0; }
std::string TDataSetFilterFields::FilterFieldName(int Index) const {
  return FDataSet->Fields()->Fields(Index)->FieldName();
}
TFieldType TDataSetFilterFields::FilterFieldType(int Index) const {
  return FDataSet->Fields()->Fields(Index)->DataType();
}
int TDataSetFilterFields::FilterFieldSize(int Index) const { return FDataSet->Fields()->Fields(Index)->Size(); }

// ---- the emitter ------------------------------------------------------------------------------

namespace {

// Emitter state, for one CompileFilter.
std::vector<std::uint8_t> GBuffer;
bool GCompiling = false;
int GUnwritten = 0;    // nodes not yet written
size_t GPool = 0;      // start of the literal pool
size_t GPoolUsed = 0;  // literal bytes written
int GFieldCount = 0;

void Put16(size_t at, std::uint32_t v) {
  GBuffer[at] = std::uint8_t(v);
  GBuffer[at + 1] = std::uint8_t(v >> 8);
}
void Put32(size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) GBuffer[at + size_t(i)] = std::uint8_t(v >> (8 * i));
}

// Appends a literal to the pool; its offset, or -1 when the pool has no room.
int AddLiteral(const void* data, size_t size) {
  if (GPoolUsed + size > size_t(PoolSize)) return -1;
  std::memcpy(GBuffer.data() + GPool + GPoolUsed, data, size);
  const int at = int(GPoolUsed);
  GPoolUsed += size;
  return at;
}

[[noreturn]] void ConvertError(const std::string& text, const std::string& why) {
  throw EConvertError("'" + text + "' " + why);
}

// Windows-1250 bytes of a text and its NUL; EConvertError for a character the code page has
// not (never "?").
std::string Native(const std::string& text) {
  std::string out;
  // A NUL inside would end the text early.
  if (text.find('\0') != std::string::npos || !TryUtf8ToCp1250(text, out))
    ConvertError(text, "holds a character that the table's character set cannot hold");
  return out + '\0';
}

// The same for a text of the blob, which holds at most 255 characters.
std::string NativeLiteral(const std::string& text) {
  if (Utf8Length(text) > 255) ConvertError(text, "is longer than 255 characters");
  return Native(text);
}

// The text of a constant of the kinds written from text: the quotes of a quoted text go (its
// first and last character), trailing blanks of any other.
std::string ConstantText(const std::string& text) {
  if (!text.empty() && text[0] == '"') {
    std::string inner = text.substr(1);
    size_t last = 0, i = 0;
    while (i < inner.size()) {
      last = i;
      Utf8Next(inner, i);
    }
    inner.resize(last);
    return inner;
  }
  return TrimRight(text);
}

std::uint32_t OperatorCode(const std::string& text) {
  const std::string t = UpperCase(text);
  if (t == "=") return opEq;
  if (t == "<>") return opNe;
  if (t == ">") return opGt;
  if (t == "<") return opLt;
  if (t == ">=") return opGe;
  if (t == "<=") return opLe;
  if (t == "AND") return opAnd;
  if (t == "OR") return opOr;
  if (t == "+") return opAdd;
  if (t == "-") return opSub;
  if (t == "*") return opMul;
  if (t == "/") return opDiv;
  return 0;
}

// The type of the table's field named Name (ftUnknown when there is none).
TFieldType FieldTypeOf(const std::string& name) {
  if (!FilterTable) return ftUnknown;
  for (int i = 0; i < FilterTable->FilterFieldCount(); ++i)
    if (SameText(FilterTable->FilterFieldName(i), name)) return FilterTable->FilterFieldType(i);
  return ftUnknown;
}

// Writes a constant node's value; Field: the type of the field it is compared with.
bool EmitConstant(TNode* node, size_t slot, TFieldType field) {
  const std::string& raw = node->Text;
  std::uint16_t type = 0;
  std::string value;  // the pool bytes
  // Little-endian, whatever the machine.
  auto bytes = [&](const auto& v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    value.clear();
    for (size_t i = 0; i < sizeof v; ++i) value += char(std::uint8_t(bits >> (8 * i)));
  };
  switch (node->ConstKind) {
    case 1:
      type = vtText;
      value = NativeLiteral(ConstantText(raw));
      break;
    case 2: {
      type = vtFloat;
      bytes(StrToFloat(raw));
      break;
    }
    case 3: {
      const std::string t = ConstantText(raw);
      const TDateTime v = t.find(' ') != std::string::npos ? TextToDateTime(t) : TextToDate(t);
      type = vtDateTime;
      bytes(DateTimeToNativeDateTime(v));
      break;
    }
    case 4:
      type = vtDate;
      bytes(std::int32_t(DateTimeToNativeDate(TextToDate(ConstantText(raw)))));
      break;
    case 5:
      type = vtTime;
      bytes(std::int32_t(DateTimeToNativeTime(TextToTime(ConstantText(raw)))));
      break;
    case 6: {
      const std::string t = ConstantText(raw);
      type = vtLogical;
      bytes(std::int16_t(!t.empty() && (t[0] == 'T' || t[0] == 't') ? -1 : 0));
      break;
    }
    case 7:
      type = vtInteger;
      bytes(std::int32_t(StrToInt(raw)));
      break;
    case 8: {
      TEngineBcd bcd;
      if (!EngineDoubleToBcd(StrToFloat(raw), 32, node->Scale, bcd)) ConvertError(raw, "does not fit a decimal field");
      type = vtBCD;
      value.assign(reinterpret_cast<const char*>(bcd.data()), bcd.size());
      break;
    }
    case 9: {
      const int v = StrToInt(raw);
      const bool word = field == ftWord;
      if (v < (word ? 0 : -32768) || v > (word ? 65535 : 32767))
        ConvertError(raw, word ? "does not fit a word field" : "does not fit a small integer field");
      type = vtSmallint;
      bytes(std::uint16_t(v));
      break;
    }
    default:
      return false;
  }
  const int at = AddLiteral(value.data(), value.size());
  if (at < 0) return false;
  Put32(slot, ncConstant);
  Put32(slot + 4, opConstant);
  Put16(slot + 8, type);
  Put16(slot + 10, std::uint32_t(value.size()));
  Put16(slot + 12, std::uint32_t(at));
  return true;
}

bool EmitNode(TNode* node, TFieldType constField) {
  // A constant on the right of an operator is typed by the field on its left.
  TFieldType rightField = ftUnknown;
  if (node->Kind != nkOperand && node->Left && node->Left->Kind == nkOperand) rightField = FieldTypeOf(node->Left->Text);
  if (node->Left && !EmitNode(node->Left.get(), ftUnknown)) return false;
  if (node->Right && !EmitNode(node->Right.get(), rightField)) return false;
  if (GUnwritten <= 0) return false;
  --GUnwritten;
  node->Offset = GUnwritten * NodeSize;
  const size_t slot = size_t(HeaderSize) + size_t(node->Offset);
  if (node->Kind != nkOperand) {
    const std::uint32_t code = OperatorCode(node->Text);
    if (code == 0 || !node->Left || !node->Right) return false;
    Put32(slot, ncOperator);
    Put32(slot + 4, code);
    Put16(slot + 8, std::uint32_t(node->Left->Offset));
    Put16(slot + 10, std::uint32_t(node->Right->Offset));
    return true;
  }
  if (node->ConstKind != 0) return EmitConstant(node, slot, constField);
  const std::string name = NativeLiteral(node->Text);
  const int at = AddLiteral(name.data(), name.size());
  if (at < 0) return false;
  Put32(slot, ncField);
  Put32(slot + 4, opField);
  Put16(slot + 8, std::uint32_t(++GFieldCount));
  Put16(slot + 10, std::uint32_t(at));
  return true;
}

}  // namespace

bool EmitFilterNode(TNode* Node) { return GCompiling && Node && EmitNode(Node, ftUnknown); }

void FreeFilterBuffer() {
  GBuffer.clear();
  GBuffer.shrink_to_fit();
}

const std::vector<std::uint8_t>* CompileFilter(const std::string& Text) {
  FreeFilterBuffer();
  std::unique_ptr<TNode> root = ParseFilter(Text);
  if (!root) return nullptr;
  // The parser stops after the expression; whatever it left unread is refused rather than
  // silently dropped (Name = Smith AND Qty > 5 would filter on a name "Smith AND Qty").
  for (char c : FilterInput())
    if (c != ' ' && c != '\t') return nullptr;
  const int n = CountNodes(root.get());
  const size_t pool = size_t(HeaderSize) + size_t(n) * NodeSize;
  if (pool > size_t(MaxBlobSize)) return nullptr;
  GBuffer.assign(pool + PoolSize, 0);
  GUnwritten = n;
  GPool = pool;
  GPoolUsed = 0;
  GFieldCount = 0;
  GCompiling = true;
  bool ok;
  try {
    ok = EmitNode(root.get(), ftUnknown);
  } catch (...) {
    GCompiling = false;
    FreeFilterBuffer();
    throw;
  }
  GCompiling = false;
  const size_t total = pool + GPoolUsed;
  if (!ok || GUnwritten != 0 || total > size_t(MaxBlobSize)) {
    FreeFilterBuffer();
    return nullptr;
  }
  Put16(0, Version);
  Put16(2, std::uint32_t(total));
  Put16(4, std::uint32_t(n));
  Put16(6, HeaderSize);
  Put16(8, std::uint32_t(pool));
  return &GBuffer;
}

// ---- installation -----------------------------------------------------------------------------

namespace {

bool IsEngineTableType(TTable* table) { return int(table->TableType()) <= int(ttASCII); }

// After a callback filter changed: an indexed table is refreshed, any other re-reads the
// records around its current one.
void ReadAgain(TTable* table) {
  if (!table->Active()) return;
  if (table->IndexFieldCount() > 0) {
    table->Refresh();
  } else {
    table->UpdateCursorPos();
    table->Resync({});
  }
}

// The first loaded module of the other vendor's driver.
std::optional<TTableDriverModule> LoadedDriverModule() {
  for (const char* name : TableDriverModuleNames)
    if (auto module = FindTableDriverModule(name)) return module;
  return std::nullopt;
}

// Hands Text (NUL-terminated) to the driver for the table's work area, selecting it first and
// the work area selected before again afterwards.
bool DriverQuery(TTable* table, const char* text) {
  TEngineCursor* cursor = table->Handle();
  const std::optional<TTableDriverModule> module = LoadedDriverModule();
  if (!module || !cursor) return false;
  const std::int32_t area = std::int32_t(cursor->Id());
  const std::int32_t previous = module->Select(area);
  module->Query(text);
  if ((area & 0xFFFF) != (previous & 0xFFFF)) module->Select(previous);
  return true;
}

bool SetDriverFilter(const std::string& text, TTable* table, bool reread) {
  if (text.empty()) {
    // The driver's filter is its own: only the driver can take it away, by an empty text.
    if (!table->Active()) return true;
    if (!DriverQuery(table, "")) return false;
    if (reread) table->Refresh();
    return true;
  }
  std::string native;
  try {
    native = Native(text);
  } catch (const EConvertError&) {
    return false;
  }
  native.pop_back();  // the NUL comes with the buffer
  if (native.size() > 256) return false;
  char buffer[257] = {};
  std::memcpy(buffer, native.data(), native.size());
  if (!DriverQuery(table, buffer)) return false;
  if (reread && table->Active()) table->Refresh();
  return true;
}

}  // namespace

void DropFilter(TTable* Table, TEngineFilterHandle& FilterHandle) {
  if (FilterHandle != 0 && Table && Table->Handle()) {
    Table->Handle()->DeactivateFilter(FilterHandle);
    Table->Handle()->DropFilter(FilterHandle);
  }
  FilterHandle = 0;
}

bool SetFilterExpression(const std::string& Text, TTable* Table, TEngineFilterHandle& FilterHandle, bool Force,
                         bool Reread) {
  if (!Table->Active() && !Force) {
    FilterHandle = 0;
    return true;
  }
  if (!IsEngineTableType(Table)) return SetDriverFilter(Text, Table, Reread);
  if (Text.empty()) {
    DropFilter(Table, FilterHandle);
    if (Reread && Table->Active()) Table->Refresh();
    return true;
  }
  TDataSetFilterFields fields(Table);
  struct TFilterTableScope {
    TFilterFieldSource* Saved = FilterTable;
    ~TFilterTableScope() { FilterTable = Saved; }
  } scope;
  FilterTable = &fields;
  const std::vector<std::uint8_t>* blob = CompileFilter(Text);
  // A text that does not compile changes nothing: the filter before stays with its handle.
  if (!blob) return false;
  DropFilter(Table, FilterHandle);
  TEngineCursor* cursor = Table->Handle();
  try {
    if (!cursor) throw EEngineError("The table has no cursor");
    FilterHandle = cursor->AddFilter(0, 1, false, *blob, {});
  } catch (const EEngineError&) {
    FreeFilterBuffer();
    FilterHandle = 0;
    return false;
  }
  FreeFilterBuffer();
  cursor->ActivateFilter(FilterHandle);
  if (Reread && Table->Active()) Table->Refresh();
  return true;
}

bool SetFilterCallback(TEngineFilterCallback Callback, TTable* Table, TEngineFilterHandle& FilterHandle,
                       bool Reread) {
  DropFilter(Table, FilterHandle);
  if (!Callback) {
    if (Reread) ReadAgain(Table);
    return true;
  }
  TEngineCursor* cursor = Table->Handle();
  if (!cursor) return false;
  try {
    FilterHandle = cursor->AddFilter(reinterpret_cast<std::intptr_t>(Table), 1, false, {}, std::move(Callback));
  } catch (const EEngineError&) {
    FilterHandle = 0;
    return false;
  }
  cursor->ActivateFilter(FilterHandle);
  if (Reread) ReadAgain(Table);
  return true;
}
