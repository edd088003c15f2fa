// The converter dialog's entry point. The dialog itself is not built yet.
#include <windows.h>

extern "C" INT_PTR WINAPI InfomationDialog(HWND) { return 0; }
