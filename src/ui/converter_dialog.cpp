// The converter dialog: the user names a bitmap file (typed, chosen or dropped), picks the
// direction and the resolution, and runs the conversion. Commands are compared as a whole
// parameter: a click notification leaves the upper half zero.
#include <windows.h>
// After windows.h, which they build on.
#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "resources/resource_ids.h"
#include "ui/dialogs.h"

namespace {

// Paths are read into a buffer twice the path size, so a path that does not fit in
// kPathBytes is seen as too long instead of being cut at 259 bytes.
enum : size_t { kScratchBytes = 2 * kPathBytes };

// Set while the execute command runs. Its message boxes have no owner, so the dialog stays
// live under them; a second execute meanwhile is ignored and conversions never nest.
bool Executing;

// Shows a chosen or dropped path in the field and makes it the next conversion's path.
void TakePath(HWND dialog, const char* path) {
  SetDlgItemTextA(dialog, IDC_PATH, path);
  memset(Module::SelectedPath, 0, kPathBytes);
  strcpy(Module::SelectedPath, path);
  InvalidateRect(dialog, nullptr, TRUE);
}

void OnInit(HWND dialog) {
  DragAcceptFiles(dialog, TRUE);
  memset(Module::SelectedPath, 0, kPathBytes);
  const ::ConverterSettings& settings = Module::ConverterSettings;
  CheckRadioButton(dialog, IDC_GRAM_TO_BITMAP, IDC_BITMAP_TO_GRAM,
                   settings.direction == GramToBitmap ? IDC_GRAM_TO_BITMAP : IDC_BITMAP_TO_GRAM);
  CheckRadioButton(dialog, IDC_RES320, IDC_RES640,
                   settings.resolution == Res320 ? IDC_RES320 : IDC_RES640);
}

void OnBrowse(HWND dialog) {
  // The chosen file need not exist (a new export name may be typed), and no extension is
  // added to a name typed without one.
  char chosen[kPathBytes] = "";
  OPENFILENAMEA request;
  memset(&request, 0, sizeof request);
  request.lStructSize = sizeof request;
  request.hwndOwner = dialog;
  request.hInstance = HINSTANCE(Module::ModuleInstance);
  request.lpstrFilter = kTextChooserFilter;
  request.lpstrFile = chosen;
  request.nMaxFile = kPathBytes;
  request.lpstrTitle = kTextChooserTitle;
  request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&request)) return;
  TakePath(dialog, chosen);
}

void OnExecute(HWND dialog) {
  char typed[kScratchBytes] = "";
  GetDlgItemTextA(dialog, IDC_PATH, typed, kScratchBytes);
  const size_t length = strlen(typed);
  if (length >= kPathBytes) {
    ShowMessage(ErrorBox, kTextPathTooLong);
    return;
  }
  memset(Module::SelectedPath, 0, kPathBytes);
  memcpy(Module::SelectedPath, typed, length);
  if (length == 0) {
    ShowMessage(ErrorBox, kTextNoPath);
    return;
  }

  ::ConverterSettings& settings = Module::ConverterSettings;
  settings.direction = IsDlgButtonChecked(dialog, IDC_GRAM_TO_BITMAP) ? GramToBitmap : BitmapToGram;
  settings.resolution = IsDlgButtonChecked(dialog, IDC_RES320) ? Res320 : Res640;

  // The conversion works on its own copy: a file browsed or dropped while one of its boxes
  // is open names the next conversion, not the one the user already confirmed.
  char path[kPathBytes];
  memcpy(path, Module::SelectedPath, kPathBytes);
  if (settings.direction == GramToBitmap) {
    ExportGramToBitmap(path, settings.resolution);
  } else {
    ImportBitmapToGram(path, settings.resolution);
  }
}

void OnDrop(HWND dialog, HDROP drop) {
  char dropped[kScratchBytes] = "";
  DragQueryFileA(drop, 0, dropped, kScratchBytes);
  DragFinish(drop);
  dropped[kScratchBytes - 1] = '\0';
  const size_t length = strlen(dropped);
  if (length >= kPathBytes) {
    ShowMessage(ErrorBox, kTextPathTooLong);
    return;
  }
  memset(Module::DropPath, 0, kPathBytes);
  memcpy(Module::DropPath, dropped, length);
  TakePath(dialog, Module::DropPath);
}

}  // namespace

INT_PTR CALLBACK ConverterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: OnInit(dialog); return 0;
    case WM_DROPFILES: OnDrop(dialog, HDROP(wParam)); return 0;
    case WM_COMMAND: break;
    default: return 0;
  }
  switch (wParam) {
    case IDCANCEL: EndDialog(dialog, 0); return 1;
    case IDC_BROWSE: OnBrowse(dialog); return 0;
    case IDC_EXECUTE:
      if (!Executing) {
        Executing = true;
        OnExecute(dialog);
        Executing = false;
      }
      return 0;
    case IDC_ABOUT:
      DialogBoxParamA(HINSTANCE(Module::ModuleInstance), "AboutBox", dialog, AboutDialogProc, 0);
      return 0;
    default: return 0;
  }
}
