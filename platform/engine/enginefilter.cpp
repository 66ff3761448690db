#include "enginefilter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "cp1250.h"
#include "datetime.h"
#include "enginebcd.h"
#include "engineimpl.h"

using namespace filterblob;
using namespace engine_impl;

namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw EEngineError("Invalid filter expression: " + what, EEngineError::ecInvalidFilter);
}

std::uint16_t U16(std::span<const std::uint8_t> b, size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }
std::uint32_t U32(std::span<const std::uint8_t> b, size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}
double F64(std::span<const std::uint8_t> b, size_t at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | b[at + size_t(i)];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

bool IsRelational(std::uint32_t op) { return op >= opEq && op <= opLe; }
bool IsLogical(std::uint32_t op) { return op == opAnd || op == opOr; }
bool IsArithmetic(std::uint32_t op) { return op >= opAdd && op <= opDiv; }

// A division by zero; drops the record.
struct TDropRecord {};

}  // namespace

struct TEngineFilterExpression::TValue {
  bool Null = false;
  double Number = 0;  // numbers, dates (day), times and date-times (ms)
  bool Truth = false;
  std::string_view Text;
};

TEngineFilterExpression::TEngineFilterExpression(std::span<const std::uint8_t> Blob,
                                                 const std::vector<TEngineFieldDef>& Fields) {
  if (Blob.size() < size_t(HeaderSize)) Bad("shorter than its header");
  if (U16(Blob, 0) != Version) Bad("version " + std::to_string(U16(Blob, 0)) + ", not 1");
  const size_t total = U16(Blob, 2);
  const int n = U16(Blob, 4);
  if (n == 0) Bad("no nodes");
  if (U16(Blob, 6) != HeaderSize) Bad("the node area does not start at 10");
  const size_t pool = size_t(HeaderSize) + size_t(n) * NodeSize;
  if (U16(Blob, 8) != pool) Bad("the literal pool does not start after the nodes");
  if (total < pool) Bad("total size " + std::to_string(total) + " is smaller than the nodes");
  if (total > Blob.size()) Bad("total size " + std::to_string(total) + " is larger than the blob");
  std::vector<bool> used(size_t(n), false);
  FNodes.reserve(size_t(n));
  FRoot = Decode(Blob, n, pool, total, 0, 1, used, Fields);
  if (FNodes.size() != size_t(n)) Bad(std::to_string(n - int(FNodes.size())) + " nodes are not part of the tree");
  if (FNodes[size_t(FRoot)].Kind != vkBool) Bad("the expression is not a truth value");
}

int TEngineFilterExpression::Decode(std::span<const std::uint8_t> b, int n, size_t pool, size_t poolEnd, int offset,
                                    int depth, std::vector<bool>& used, const std::vector<TEngineFieldDef>& fields) {
  if (depth > MaxDepth) Bad("nested deeper than " + std::to_string(MaxDepth) + " levels");
  if (offset % NodeSize != 0 || offset / NodeSize >= n) Bad("node offset " + std::to_string(offset) + " out of range");
  const int slot = offset / NodeSize;
  if (used[size_t(slot)]) Bad("node at offset " + std::to_string(offset) + " used twice");
  used[size_t(slot)] = true;
  const size_t at = size_t(HeaderSize) + size_t(offset);
  const std::uint32_t cls = U32(b, at), op = U32(b, at + 4);
  const std::string where = " (node at offset " + std::to_string(offset) + ")";
  // Reads a NUL-terminated text from the pool; Size, when given, must match.
  auto poolText = [&](size_t lit, size_t size) {
    if (pool + lit >= poolEnd) Bad("literal offset " + std::to_string(lit) + " beyond the pool" + where);
    const std::uint8_t* p = b.data() + pool + lit;
    const size_t room = poolEnd - pool - lit;
    const void* nul = std::memchr(p, 0, room);
    if (!nul) Bad("text without its NUL" + where);
    const size_t len = size_t(static_cast<const std::uint8_t*>(nul) - p);
    if (size != 0 && len + 1 != size) Bad("text size " + std::to_string(size) + " does not match its NUL" + where);
    return Cp1250ToUtf8(std::string_view(reinterpret_cast<const char*>(p), len));
  };
  TNode node;
  node.Op = op;
  if (cls == ncOperator) {
    if (!IsRelational(op) && !IsLogical(op) && !IsArithmetic(op)) Bad("operator code " + std::to_string(op) + where);
    if (U16(b, at + 12) != 0) Bad("reserved bytes set" + where);
    const int left = Decode(b, n, pool, poolEnd, U16(b, at + 8), depth + 1, used, fields);
    const int right = Decode(b, n, pool, poolEnd, U16(b, at + 10), depth + 1, used, fields);
    const TKind l = FNodes[size_t(left)].Kind, r = FNodes[size_t(right)].Kind;
    if (IsLogical(op)) {
      if (l != vkBool || r != vkBool) Bad("AND or OR over a value that is not a truth value" + where);
      node.Kind = vkBool;
    } else if (IsArithmetic(op)) {
      if (l != vkNumber || r != vkNumber) Bad("arithmetic on a value that is not a number" + where);
      node.Kind = vkNumber;
    } else {
      if (l != r) Bad("comparison of values of different kinds" + where);
      node.Kind = vkBool;
    }
    node.Left = left;
    node.Right = right;
    node.Divides = op == opDiv || FNodes[size_t(left)].Divides || FNodes[size_t(right)].Divides;
    // A 16-bit constant of a Word field holds 0 to 65535.
    for (auto [f, c] : {std::pair{left, right}, std::pair{right, left}}) {
      TNode& k = FNodes[size_t(c)];
      if (FNodes[size_t(f)].Op == opField && FNodes[size_t(f)].FieldType == TEngineFieldType::Word &&
          k.Op == opConstant && k.RawType == vtSmallint)
        k.Number = double(std::uint16_t(std::int16_t(k.Number)));
    }
  } else if (cls == ncField) {
    if (op != opField) Bad("field node with operator " + std::to_string(op) + where);
    if (U16(b, at + 8) == 0) Bad("field number 0" + where);
    if (U16(b, at + 12) != 0) Bad("reserved bytes set" + where);
    const std::string name = poolText(U16(b, at + 10), 0);
    const int f = FieldPos(fields, name);
    if (f < 0) Bad("no field named '" + name + "'");
    node.Field = f;
    node.FieldType = fields[size_t(f)].Type;
    switch (node.FieldType) {
      case TEngineFieldType::String: case TEngineFieldType::Memo: node.Kind = vkText; break;
      case TEngineFieldType::Boolean: node.Kind = vkBool; break;
      case TEngineFieldType::Date: node.Kind = vkDate; break;
      case TEngineFieldType::Time: node.Kind = vkTime; break;
      case TEngineFieldType::DateTime: node.Kind = vkDateTime; break;
      case TEngineFieldType::Bytes: case TEngineFieldType::VarBytes: case TEngineFieldType::Blob:
        Bad("field '" + name + "' cannot be compared");
      default: node.Kind = vkNumber; break;
    }
    if (node.FieldType == TEngineFieldType::BCD) node.Scale = std::clamp(fields[size_t(f)].Size, 0, 32);
  } else if (cls == ncConstant) {
    if (op != opConstant) Bad("constant node with operator " + std::to_string(op) + where);
    const std::uint16_t type = U16(b, at + 8);
    const size_t size = U16(b, at + 10), lit = U16(b, at + 12);
    node.RawType = type;
    if (type == vtText) {
      node.Text = poolText(lit, size);
      node.Kind = vkText;
    } else {
      size_t want = 0;
      switch (type) {
        case vtDate: case vtInteger: case vtTime: want = 4; break;
        case vtLogical: case vtSmallint: want = 2; break;
        case vtFloat: case vtDateTime: want = 8; break;
        case vtBCD: want = BcdSize; break;
        default: Bad("value type " + std::to_string(type) + where);
      }
      if (size != want) Bad("value of type " + std::to_string(type) + " with size " + std::to_string(size) + where);
      if (pool + lit + size > poolEnd) Bad("value beyond the pool" + where);
      const size_t v = pool + lit;
      const auto i32 = [&] { return double(std::int32_t(U32(b, v))); };
      switch (type) {
        case vtDate: node.Kind = vkDate; node.Number = i32(); break;
        case vtTime: node.Kind = vkTime; node.Number = i32(); break;
        case vtInteger: node.Kind = vkNumber; node.Number = i32(); break;
        case vtSmallint: node.Kind = vkNumber; node.Number = double(std::int16_t(U16(b, v))); break;
        case vtLogical: node.Kind = vkBool; node.Truth = U16(b, v) != 0; break;
        case vtFloat: case vtDateTime:
          node.Kind = type == vtFloat ? vkNumber : vkDateTime;
          node.Number = F64(b, v);
          if (!std::isfinite(node.Number)) Bad("a number that is not finite" + where);
          break;
        default:
          node.Kind = vkNumber;
          if (!EngineBcdToDouble(std::span<const std::uint8_t, BcdSize>(b.data() + v, BcdSize), node.Number))
            Bad("malformed BCD value" + where);
          break;
      }
    }
  } else {
    Bad("node class " + std::to_string(cls) + where);
  }
  FNodes.push_back(std::move(node));
  return int(FNodes.size()) - 1;
}

TEngineFilterExpression::TValue TEngineFilterExpression::Eval(int index, const TEngineRecord& rec) const {
  const TNode& n = FNodes[size_t(index)];
  TValue out;
  if (n.Op == opField) {
    const TEngineValue& v = rec.Values[size_t(n.Field)];
    if (n.Kind == vkText) {
      if (auto s = std::get_if<std::string>(&v)) out.Text = *s;  // NULL reads as ""
      return out;
    }
    if (EngineIsNull(v)) {
      out.Null = true;
      return out;
    }
    double d = 0;
    if (auto i = std::get_if<int64_t>(&v)) d = double(*i);
    else if (auto f = std::get_if<double>(&v)) d = *f;
    else {
      out.Null = true;  // not a value of the field's type
      return out;
    }
    switch (n.Kind) {
      case vkBool: out.Truth = d != 0; break;
      case vkDate: case vkTime: case vkDateTime: {
        if (!std::isfinite(d) || std::fabs(d) > 1.0e9) {
          out.Null = true;
          break;
        }
        const TTimeStamp ts = DateTimeToTimeStamp(d);
        out.Number = n.Kind == vkDate ? ts.Date : n.Kind == vkTime ? ts.Time : double(ts.Date) * MSecsPerDay + ts.Time;
        break;
      }
      default:
        out.Number = n.FieldType == TEngineFieldType::BCD ? EngineRoundDecimal(d, n.Scale) : d;
        break;
    }
    return out;
  }
  if (n.Op == opConstant) {
    out.Number = n.Number;
    out.Truth = n.Truth;
    out.Text = n.Text;
    return out;
  }
  const TValue l = Eval(n.Left, rec);
  if (IsLogical(n.Op)) {
    // The right side decides nothing more, unless a division by zero in it must drop the
    // record.
    if (!FNodes[size_t(n.Right)].Divides && l.Truth == (n.Op == opOr)) {
      out.Truth = l.Truth;
      return out;
    }
    const bool r = Eval(n.Right, rec).Truth;
    out.Truth = n.Op == opAnd ? (l.Truth && r) : (l.Truth || r);
    return out;
  }
  const TValue r = Eval(n.Right, rec);
  if (IsArithmetic(n.Op)) {
    if (n.Op == opDiv && !r.Null && r.Number == 0) throw TDropRecord{};
    if (l.Null || r.Null) {
      out.Null = true;
      return out;
    }
    switch (n.Op) {
      case opAdd: out.Number = l.Number + r.Number; break;
      case opSub: out.Number = l.Number - r.Number; break;
      case opMul: out.Number = l.Number * r.Number; break;
      default: out.Number = l.Number / r.Number; break;
    }
    return out;
  }
  const TNode& left = FNodes[size_t(n.Left)];
  int c;
  if (left.Kind == vkText) {
    if (n.Op == opEq || n.Op == opNe) {
      out.Truth = (l.Text == r.Text) == (n.Op == opEq);
      return out;
    }
    c = EngineCompareText(l.Text, r.Text);
  } else {
    if (l.Null || r.Null) return out;  // false
    const double x = left.Kind == vkBool ? double(l.Truth) : l.Number;
    const double y = left.Kind == vkBool ? double(r.Truth) : r.Number;
    if (std::isnan(x) || std::isnan(y)) return out;
    c = x < y ? -1 : x > y ? 1 : 0;
  }
  switch (n.Op) {
    case opEq: out.Truth = c == 0; break;
    case opNe: out.Truth = c != 0; break;
    case opGt: out.Truth = c > 0; break;
    case opLt: out.Truth = c < 0; break;
    case opGe: out.Truth = c >= 0; break;
    default: out.Truth = c <= 0; break;
  }
  return out;
}

bool TEngineFilterExpression::Keeps(const TEngineRecord& Record) const {
  try {
    return Eval(FRoot, Record).Truth;
  } catch (const TDropRecord&) {
    return false;
  }
}

// ---- the cursor's filters ---------------------------------------------------------------------

namespace {

TEngineFilterHandle NextFilterHandle() {
  static std::atomic<TEngineFilterHandle> last{0};
  TEngineFilterHandle h;
  do h = ++last; while (h == 0);
  return h;
}

}  // namespace

TEngineFilterHandle TEngineCursor::AddFilter(std::intptr_t clientData, int priority, bool canAbort,
                                             std::span<const std::uint8_t> expression,
                                             TEngineFilterCallback callback) {
  if (expression.empty() && !callback)
    throw EEngineError("A filter needs an expression or a callback", EEngineError::ecInvalidFilter);
  TFilter f;
  if (!expression.empty()) f.Expression = std::make_shared<TEngineFilterExpression>(expression, FTable.FieldDefs());
  f.Handle = NextFilterHandle();
  f.ClientData = clientData;
  f.Priority = priority;
  f.Callback = std::move(callback);
  auto at = std::upper_bound(FFilters.begin(), FFilters.end(), priority,
                             [](int p, const TFilter& x) { return p < x.Priority; });
  const TEngineFilterHandle handle = f.Handle;
  FFilters.insert(at, std::move(f));
  DropReadAhead();
  return handle;
}

void TEngineCursor::ActivateFilter(TEngineFilterHandle handle) {
  DropReadAhead();
  for (auto& f : FFilters)
    if (handle != 0 && f.Handle == handle) f.Active = true;
}

void TEngineCursor::DeactivateFilter(TEngineFilterHandle handle) {
  DropReadAhead();
  for (auto& f : FFilters)
    if (handle != 0 && f.Handle == handle) f.Active = false;
}

void TEngineCursor::DropFilter(TEngineFilterHandle handle) {
  if (handle == 0) return;
  DropReadAhead();
  FFilters.erase(std::remove_if(FFilters.begin(), FFilters.end(), [&](const TFilter& f) { return f.Handle == handle; }),
                 FFilters.end());
}

bool TEngineCursor::Filtered() const {
  return std::any_of(FFilters.begin(), FFilters.end(), [](const TFilter& f) { return f.Active; });
}

bool TEngineCursor::HasCallbacks() const {
  return std::any_of(FFilters.begin(), FFilters.end(), [](const TFilter& f) { return f.Active && f.Callback; });
}

bool TEngineCursor::ExpressionsKeep(const TEngineRecord& rec) const {
  for (const auto& f : FFilters)
    if (f.Active && f.Expression && !f.Expression->Keeps(rec)) return false;
  return true;
}

bool TEngineCursor::CallbacksKeep(const TEngineRecord& rec) const {
  if (!HasCallbacks()) return true;
  // A callback may add or drop filters of this cursor: ask a copy.
  std::vector<std::pair<std::intptr_t, TEngineFilterCallback>> calls;
  for (const auto& f : FFilters)
    if (f.Active && f.Callback) calls.emplace_back(f.ClientData, f.Callback);
  for (const auto& [client, call] : calls)
    if (!call(client, rec)) return false;
  return true;
}
