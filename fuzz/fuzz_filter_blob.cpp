// Fuzzes the engine's filter-expression decoder (every check on an untrusted blob) and the
// evaluator of what it accepts, on records with every kind of value and NULLs.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "enginefilter.h"

namespace {

using FT = TEngineFieldType;

const std::vector<TEngineFieldDef>& Fields() {
  static const std::vector<TEngineFieldDef> fields = {
      {"Name", FT::String, 20}, {"Qty", FT::Integer},  {"Price", FT::BCD, 2, 10}, {"Amount", FT::Float},
      {"Dat", FT::Date},        {"Stamp", FT::DateTime}, {"Tm", FT::Time},        {"Paid", FT::Boolean},
      {"W", FT::Word},          {"Notes", FT::Memo, 1}, {"Raw", FT::Blob, 1},     {"Big", FT::Largeint},
  };
  return fields;
}

const std::vector<TEngineRecord>& Records() {
  static const std::vector<TEngineRecord> records = [] {
    const TEngineValue n;
    auto s = [](const char* v) { return TEngineValue(std::string(v)); };
    return std::vector<TEngineRecord>{
        {1, {s("Čebula"), int64_t(0), 1.005, 2.5, 45306.0, -1.25, 0.5, int64_t(1), int64_t(65535), s("x"), s("\x01"), int64_t(-7)}},
        {2, {n, n, n, n, n, n, n, n, n, n, n, n}},
        {3, {s(""), int64_t(-2147483647 - 1), -1e300, std::nan(""), 1e12, 3e9, -0.75, int64_t(0), int64_t(0), s(""), n,
             int64_t(INT64_MAX)}},
    };
  }();
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    TEngineFilterExpression e(std::span<const std::uint8_t>(data, size), Fields());
    for (const auto& r : Records()) (void)e.Keeps(r);
  } catch (const EEngineError& err) {
    if (err.Code() != EEngineError::ecInvalidFilter) std::abort();
  }
  return 0;
}
