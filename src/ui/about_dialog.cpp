// The About box. Only command 1 (the OK button, or Enter) closes it; Escape sends command 2,
// which is answered as handled and does nothing.
#include "ui/dialogs.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  if (wParam == IDOK) {
    EndDialog(dialog, 1);
    return 0;
  }
  return 1;
}
