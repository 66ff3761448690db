// Key searches and ranges of a cursor.
#include "engineimpl.h"

using namespace engine_impl;

namespace {

bool IsNumber(const TEngineValue& v) {
  return std::holds_alternative<int64_t>(v) || std::holds_alternative<double>(v);
}

double AsDouble(const TEngineValue& v) {
  if (auto i = std::get_if<int64_t>(&v)) return double(*i);
  return std::get<double>(v);
}

// One key part as the index orders it (ascending): NULL first, then numbers, then text (by
// the collation of a case-insensitive index, else by bytes), then bytes.
int CompareValue(const TEngineValue& a, const TEngineValue& b, bool caseInsensitive) {
  const bool an = EngineIsNull(a), bn = EngineIsNull(b);
  if (an || bn) return an == bn ? 0 : an ? -1 : 1;
  if (IsNumber(a) || IsNumber(b)) {
    if (!IsNumber(a)) return 1;
    if (!IsNumber(b)) return -1;
    if (auto x = std::get_if<int64_t>(&a))
      if (auto y = std::get_if<int64_t>(&b)) return *x < *y ? -1 : *x > *y;
    const double x = AsDouble(a), y = AsDouble(b);
    return x < y ? -1 : x > y;
  }
  const std::string& x = std::get<std::string>(a);
  const std::string& y = std::get<std::string>(b);
  if (caseInsensitive) return EngineCompareText(x, y);
  const int c = x.compare(y);  // unsigned bytes, as SQLite's BINARY
  return c < 0 ? -1 : c > 0;
}

}  // namespace

void TEngineCursor::CheckIndex() const {
  if (FIndex < 0) throw EEngineError("No index is active on table " + FTable.Path(), EEngineError::ecNoIndex);
}

std::vector<TEngineValue> TEngineCursor::NormalizeKey(const std::vector<TEngineValue>& key) const {
  CheckIndex();
  if (key.size() > FKey.size())
    throw EEngineError(std::to_string(key.size()) + " key values for an index of " + std::to_string(FKey.size()) +
                       " fields", EEngineError::ecNoIndex);
  std::vector<TEngineValue> out;
  for (size_t i = 0; i < key.size(); ++i) out.push_back(FTable.NormalizeValue(FKey[i].Field, key[i]));
  return out;
}

int TEngineCursor::CompareKey(const TEngineRecord& rec, const std::vector<TEngineValue>& key) const {
  for (size_t i = 0; i < key.size() && i < FKey.size(); ++i) {
    const TKeyPart& k = FKey[i];
    int c = CompareValue(rec.Values[size_t(k.Field)], key[i], k.CaseInsensitive);
    if (k.Descending) c = -c;
    if (c != 0) return c;
  }
  return 0;
}

int TEngineCursor::RangeSide(const TEngineRecord& rec) const {
  if (FRangeStart.Set) {
    const int c = CompareKey(rec, FRangeStart.Key);
    if (c < 0 || (c == 0 && FRangeStart.Exclusive)) return -1;
  }
  if (FRangeEnd.Set) {
    const int c = CompareKey(rec, FRangeEnd.Key);
    if (c > 0 || (c == 0 && FRangeEnd.Exclusive)) return 1;
  }
  return 0;
}

bool TEngineCursor::FindKey(const std::vector<TEngineValue>& key, TEngineRecord& out) {
  return SeekKeeping(NormalizeKey(key), true, true, out);
}

bool TEngineCursor::FindNearest(const std::vector<TEngineValue>& key, bool exclusive, TEngineRecord& out) {
  return SeekKeeping(NormalizeKey(key), !exclusive, false, out);
}

bool TEngineCursor::SeekKeeping(const std::vector<TEngineValue>& key, bool inclusive, bool exact, TEngineRecord& out) {
  TReadScope reading(*this);
  const TPos pos = FPos;
  const bool onRecord = FOnRecord;
  TEngineRecord current = FCurrent;
  TEngineRecord rec;
  if (Seek(key, 0, true, inclusive, rec) && (!exact || CompareKey(rec, key) == 0)) {
    out = std::move(rec);
    return true;
  }
  FPos = pos;
  FOnRecord = onRecord;
  FCurrent = std::move(current);
  return false;
}

void TEngineCursor::SetRange(const std::vector<TEngineValue>& start, bool startExclusive,
                             const std::vector<TEngineValue>& end, bool endExclusive) {
  CheckIndex();
  TRangeEnd from{!start.empty(), NormalizeKey(start), startExclusive};
  TRangeEnd to{!end.empty(), NormalizeKey(end), endExclusive};
  FRangeStart = std::move(from);
  FRangeEnd = std::move(to);
  DropReadAhead();
  First();
}

void TEngineCursor::CancelRange() {
  DropReadAhead();
  FRangeStart = {};
  FRangeEnd = {};
}
