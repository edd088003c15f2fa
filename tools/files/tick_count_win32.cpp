// Windows XP has no GetTickCount64, and the C++ runtime's thread support (linked in with
// exceptions and guarded statics) imports it. The import is answered here instead: the
// system's own where it has one, else GetTickCount widened, so the tools start on XP.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
  using Function = ULONGLONG(WINAPI*)();
  static Function system = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  if (system != nullptr) return system();
  // Widened by counting the wraps of the 32-bit count (every 49.7 days); the runtime asks
  // often enough for timed waits that no wrap goes unseen.
  static DWORD last = 0;
  static ULONGLONG wraps = 0;
  const DWORD now = GetTickCount();
  if (now < last) ++wraps;
  last = now;
  return wraps << 32 | now;
}

}  // namespace

// The import's own pointer: the linker takes this one, so kernel32 is not asked for the name.
extern "C" ULONGLONG(WINAPI* const kTickCount64)() __asm__("__imp__GetTickCount64@0");
extern "C" ULONGLONG(WINAPI* const kTickCount64)() = TickCount64;
