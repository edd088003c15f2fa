// A plug-in that breaks the host contract in one way, to show that the host stand-in and
// the check of the library file notice: FAULT_MISSING_ENTRY leaves out FinalizeBoard,
// FAULT_UNBALANCED_STACK makes ReportCpuClock leave its argument on the stack,
// FAULT_READONLY_RECORD puts the record in read-only data. Otherwise it behaves.
#include <stdint.h>
#include <windows.h>

namespace {

uint8_t ReturnFalse() { return 0; }
uint32_t ReturnZero() { return 0; }

struct Record {
  char identity[48];
  char displayName[128];
  char versionText[128];
  char rest[512];
  uint32_t reserved;
  uint8_t (*returnFalse)();
  uint32_t (*returnZero)();
  uint32_t values[3];
};
static_assert(sizeof(Record) == 840, "the host reads 840 bytes");

#if defined(FAULT_READONLY_RECORD)
const
#endif
    Record g_record = {"5D1C7A20-8E4B-4F96-B3A1-6C0F2E9D4B17",
                       "Vantrel GRAM-BMP Converter",
                       "Vantrel Version 1.00",
                       "faulty",
                       0,
                       ReturnFalse,
                       ReturnZero,
                       {128, 0x80000002u, 128}};
uint32_t g_cookie;
const uintptr_t* g_services;
uint8_t* g_planes[3];

}  // namespace

#define ENTRY extern "C" __declspec(dllexport)

ENTRY uint32_t WINAPI BoardInfomationService(const Record** record, uint32_t cookie) {
  *record = &g_record;
  g_cookie = cookie;
  return 1;
}
ENTRY uint32_t IntializeBoard() {
  typedef uint32_t(WINAPI * Query)(uint32_t, uint8_t**, uint8_t**, uint8_t**);
  if (g_services != nullptr) {
    reinterpret_cast<Query>(g_services[4])(g_cookie, &g_planes[0], &g_planes[1], &g_planes[2]);
  }
  return 1;
}
ENTRY uint32_t WINAPI InitializeBoardEx(const uintptr_t* services) {
  g_services = services;
  return IntializeBoard();
}
ENTRY uint32_t ReIntializeBoard() { return 1; }
#if !defined(FAULT_MISSING_ENTRY)
ENTRY void FinalizeBoard() {}
#endif
ENTRY INT_PTR WINAPI InfomationDialog(HWND) { return 0; }
#if defined(FAULT_UNBALANCED_STACK)
ENTRY void ReportCpuClock(uint32_t) {}
#else
ENTRY void WINAPI ReportCpuClock(uint32_t) {}
#endif
ENTRY uint32_t WINAPI StateSaveInputDataEx(uint32_t, uint32_t, uint32_t) { return 1; }
ENTRY uint32_t WINAPI StateSaveOutputDataEx(uint32_t* a, uint32_t* b, uint32_t* c) {
  *a = 1;
  *b = 0;
  *c = 0;
  return 1;
}
