// The host's "open the plug-in" call: runs the converter dialog modally over its window.
#include <windows.h>

#include "host/module_state.h"
#include "ui/dialogs.h"

extern "C" INT_PTR WINAPI InfomationDialog(HWND parent) {
  return DialogBoxParamA(HINSTANCE(Module::ModuleInstance), "MainDialog", parent,
                         ConverterDialogProc, 0);
}
