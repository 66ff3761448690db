// A stand-in for the other vendor's table driver, built as the shared library of its module
// "SDE3032": its two entries keep a selected work area and a filter text per work area, and
// write down every call. Two more entries let a test read the calls and start afresh.
#include <cstdint>
#include <map>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::int32_t Selected = 0;
std::map<std::int32_t, std::string> Filters;
std::string Calls;
}  // namespace

EXPORT std::int32_t SX_SELECT(std::int32_t WorkArea) {
  Calls += "select " + std::to_string(WorkArea) + "\n";
  const std::int32_t previous = Selected;
  Selected = WorkArea;
  return previous;
}

EXPORT std::int32_t SX_QUERY(const char* Filter) {
  Calls += std::string("query ") + Filter + "\n";
  if (*Filter)
    Filters[Selected] = Filter;
  else
    Filters.erase(Selected);
  return 1;
}

// The calls since the last reset, one a line, and the filter of a work area.
EXPORT const char* SDE_TEST_CALLS() { return Calls.c_str(); }
EXPORT const char* SDE_TEST_FILTER(std::int32_t WorkArea) {
  auto it = Filters.find(WorkArea);
  return it == Filters.end() ? "" : it->second.c_str();
}
EXPORT void SDE_TEST_RESET(std::int32_t Selected_) {
  Selected = Selected_;
  Filters.clear();
  Calls.clear();
}
