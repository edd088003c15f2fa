// The entry points the host looks up by name (see Vantrel.def) and process attach/detach.
// Entries with arguments use stdcall, so they remove their own arguments; the ones without
// arguments remove none either way.
#include <windows.h>

#include "host/board_information.h"
#include "host/module_state.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Module::ModuleInstance = instance;
  if (reason == DLL_PROCESS_DETACH) Module::ModuleInstance = nullptr;
  return TRUE;
}

uint32_t WINAPI BoardInfomationService(BoardInformationRecord** record, uint32_t cookie) {
  *record = &BoardInformation;
  Module::HostCookie = cookie;
  return 1;
}

uint32_t IntializeBoard() {
  QueryHostPlanes();
  return 1;
}

uint32_t WINAPI InitializeBoardEx(const uintptr_t* hostServices) {
  Module::HostServices = hostServices;
  return IntializeBoard();
}

uint32_t ReIntializeBoard() { return 1; }

void FinalizeBoard() {}

void WINAPI ReportCpuClock(uint32_t) {}

uint32_t WINAPI StateSaveInputDataEx(uint32_t, uint32_t, uint32_t) { return 1; }

uint32_t WINAPI StateSaveOutputDataEx(uint32_t* first, uint32_t* second, uint32_t* third) {
  *first = 1;
  *second = 0;
  *third = 0;
  return 1;
}

}  // extern "C"
