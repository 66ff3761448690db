#include "drivermodules.h"

#include <map>

#include "text.h"

namespace {

std::map<std::string, TTableDriverModule>& Modules() {
  static std::map<std::string, TTableDriverModule> modules;
  return modules;
}

}  // namespace

void RegisterTableDriverModule(const std::string& Name, TTableDriverModule Module) {
  Modules()[UpperCase(Name)] = std::move(Module);
}

void UnregisterTableDriverModule(const std::string& Name) { Modules().erase(UpperCase(Name)); }

const TTableDriverModule* FindTableDriverModule(const std::string& Name) {
  auto it = Modules().find(UpperCase(Name));
  if (it == Modules().end() || !it->second.Select || !it->second.Query) return nullptr;
  return &it->second;
}
