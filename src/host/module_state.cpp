// Module-wide state and the one host service the plug-in uses.
#include "host/module_state.h"

namespace Module {

void* ModuleInstance;
const uintptr_t* HostServices;
uint32_t HostCookie;
::GramPlanes GramPlanes;
::ConverterSettings ConverterSettings;
char SelectedPath[kPathBytes];
char DropPath[kPathBytes];

}  // namespace Module

bool HavePlanes() {
  const ::GramPlanes& p = Module::GramPlanes;
  return p.plane[0] != nullptr && p.plane[1] != nullptr && p.plane[2] != nullptr;
}

void QueryHostPlanes() {
  if (Module::HostServices == nullptr) return;
  // A table without this entry is a host that lends no planes, like no table at all.
  const uintptr_t entry = Module::HostServices[kQueryPlanesIndex];
  if (entry == 0) return;
  QueryPlanesEntry query = reinterpret_cast<QueryPlanesEntry>(entry);
  query(Module::HostCookie, &Module::GramPlanes.plane[0], &Module::GramPlanes.plane[1],
        &Module::GramPlanes.plane[2]);
}
