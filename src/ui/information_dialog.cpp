// The host's "open the plug-in" call: runs the converter dialog modally over its window. The
// wide call keeps the template's UTF-16 texts as they are on every code page.
#include <windows.h>

#include "host/module_state.h"
#include "ui/dialogs.h"

extern "C" INT_PTR WINAPI InfomationDialog(HWND parent) {
  return DialogBoxParamW(HINSTANCE(Module::ModuleInstance), L"MainDialog", parent,
                         ConverterDialogProc, 0);
}
