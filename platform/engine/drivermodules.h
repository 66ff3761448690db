#pragma once
// The other vendor's table driver: a module is a shared library that is already loaded in the
// process, found by its name (the module "SDE32" is the library whose name is "libSDE32.so"),
// and its two entries are taken from it. Nothing here loads a library: a module that is not
// loaded is not there.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct TTableDriverModule {
  // "SX_SELECT": selects a work area (a cursor's Id), answering the one selected before.
  using TSelect = std::int32_t (*)(std::int32_t WorkArea);
  // "SX_QUERY": sets the filter text (NUL-terminated) of the selected work area; an empty text
  // removes it.
  using TQuery = std::int32_t (*)(const char* Filter);
  TSelect Select = nullptr;
  TQuery Query = nullptr;
  // Keeps the library loaded while the entries are in use.
  std::shared_ptr<void> Handle;
};

// The library file of a module name.
std::string TableDriverLibraryName(const std::string& ModuleName);
// The loaded module of that name with both entries; none when it is not loaded or lacks one
// of them.
std::optional<TTableDriverModule> FindTableDriverModule(const std::string& Name);
