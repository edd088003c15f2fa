// The plug-in's two dialogs. InfomationDialog (exported) runs the converter dialog.
#pragma once

#include <windows.h>

// Serves MainDialog: the path field, the direction and resolution choices, and the
// execute, browse, About and exit commands.
INT_PTR CALLBACK ConverterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Serves AboutBox: OK (or Enter) closes it; Escape does not.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
