#pragma once
// The other vendor's table driver, in place of module lookup by name: a loaded module is a
// name with its two entries. Nothing here loads code; whoever stands in for the driver (a
// test double) registers its entries, and a caller that finds no module calls nothing.
#include <cstdint>
#include <functional>
#include <string>

struct TTableDriverModule {
  // "SX_SELECT": selects a work area (a cursor's Id), answering the one selected before.
  std::function<std::int32_t(std::int32_t WorkArea)> Select;
  // "SX_QUERY": sets the filter text (NUL-terminated) of the selected work area.
  std::function<std::int32_t(const char* Filter)> Query;
};

// Adds or replaces a module; names are compared ignoring ASCII case.
void RegisterTableDriverModule(const std::string& Name, TTableDriverModule Module);
void UnregisterTableDriverModule(const std::string& Name);
// The module of that name with both entries, or none when it is not loaded.
const TTableDriverModule* FindTableDriverModule(const std::string& Name);
