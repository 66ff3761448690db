#include "drivermodules.h"

#include <dlfcn.h>

std::string TableDriverLibraryName(const std::string& ModuleName) { return "lib" + ModuleName + ".so"; }

std::optional<TTableDriverModule> FindTableDriverModule(const std::string& Name) {
  // RTLD_NOLOAD: only a library that is loaded already answers; it gains a reference that the
  // handle gives back.
  void* handle = dlopen(TableDriverLibraryName(Name).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return std::nullopt;
  TTableDriverModule m;
  m.Handle = std::shared_ptr<void>(handle, [](void* h) { dlclose(h); });
  m.Select = reinterpret_cast<TTableDriverModule::TSelect>(dlsym(handle, "SX_SELECT"));
  m.Query = reinterpret_cast<TTableDriverModule::TQuery>(dlsym(handle, "SX_QUERY"));
  if (!m.Select || !m.Query) return std::nullopt;
  return m;
}
