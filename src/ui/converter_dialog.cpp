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
#include "platform/message_box_win32.h"
#include "resources/resource_ids.h"
#include "ui/ansi_name.h"
#include "ui/dialogs.h"

namespace {

// Typed paths are read into a buffer twice the path size, so a path that does not fit in
// kPathBytes is seen as too long instead of being cut at 259 bytes.
enum : size_t { kScratchBytes = 2 * kPathBytes };

// Set while the execute command runs. Its message boxes belong to the dialog, which is
// disabled under them; should a second execute still arrive meanwhile, it is ignored, so
// conversions never nest.
bool Executing;
// Set when the dialog is told to close while a conversion runs: it closes once that
// conversion has returned, never from inside it.
bool ExitPending;

const wchar_t* Wide(const char* text) { return reinterpret_cast<const wchar_t*>(WideText(text)); }

void RefuseName(AnsiNameResult result) {
  ShowMessage(ErrorBox, result == AnsiNameTooLong ? kTextPathTooLong : kTextNameNotInCodePage);
}

// Shows a chosen or dropped path in the field and makes it the next conversion's path.
void TakePath(HWND dialog, const char* path) {
  SetDlgItemTextA(dialog, IDC_PATH, path);
  memset(Module::SelectedPath, 0, kPathBytes);
  strcpy(Module::SelectedPath, path);
  InvalidateRect(dialog, nullptr, TRUE);
}

void OnInit(HWND dialog) {
  PlatformSetMessageOwner(dialog);
  ExitPending = false;
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
  // added to a name typed without one. A name of kPathBytes characters or more cannot fit
  // kPathBytes - 1 bytes in any code page, so the buffer bounds it already.
  wchar_t chosen[kPathBytes] = L"";
  OPENFILENAMEW request;
  memset(&request, 0, sizeof request);
  request.lStructSize = sizeof request;
  request.hwndOwner = dialog;
  request.hInstance = HINSTANCE(Module::ModuleInstance);
  request.lpstrFilter = Wide(kTextChooserFilter);
  request.lpstrFile = chosen;
  request.nMaxFile = kPathBytes;
  request.lpstrTitle = Wide(kTextChooserTitle);
  request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  // The chooser moves the process's current folder whatever its options say, and the host's
  // own relative paths hang on it: it is put back whatever the outcome.
  wchar_t folder[2 * kPathBytes];
  const DWORD folderChars = GetCurrentDirectoryW(2 * kPathBytes, folder);
  const BOOL picked = GetOpenFileNameW(&request);
  const DWORD failure = picked ? 0 : CommDlgExtendedError();
  if (folderChars > 0 && folderChars < 2 * kPathBytes) SetCurrentDirectoryW(folder);
  if (!picked) {
    if (failure == FNERR_BUFFERTOOSMALL) ShowMessage(ErrorBox, kTextPathTooLong);
    return;
  }
  char path[kPathBytes];
  const AnsiNameResult result = ToAnsiName(chosen, path);
  if (result != AnsiNameOk) {
    RefuseName(result);
    return;
  }
  TakePath(dialog, path);
}

void OnExecute(HWND dialog) {
  // Typed names are read as UTF-16 and converted exactly, like dropped and chosen ones: the
  // field may hold characters (pasted, or typed with another keyboard) the code page lacks.
  wchar_t typed[kScratchBytes] = L"";
  GetDlgItemTextW(dialog, IDC_PATH, typed, kScratchBytes);
  char name[kPathBytes];
  const AnsiNameResult result = ToAnsiName(typed, name);
  if (result != AnsiNameOk) {
    RefuseName(result);
    return;
  }
  const size_t length = strlen(name);
  memset(Module::SelectedPath, 0, kPathBytes);
  memcpy(Module::SelectedPath, name, length);
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
  // The shell hands names over in UTF-16; only the first one is taken.
  wchar_t dropped[kPathBytes] = L"";
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length < kPathBytes) DragQueryFileW(drop, 0, dropped, kPathBytes);
  DragFinish(drop);
  char name[kPathBytes];
  const AnsiNameResult result = length < kPathBytes ? ToAnsiName(dropped, name) : AnsiNameTooLong;
  if (result != AnsiNameOk) {
    RefuseName(result);
    return;
  }
  memset(Module::DropPath, 0, kPathBytes);
  memcpy(Module::DropPath, name, strlen(name));
  TakePath(dialog, Module::DropPath);
}

}  // namespace

INT_PTR CALLBACK ConverterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: OnInit(dialog); return 0;
    case WM_DROPFILES: OnDrop(dialog, HDROP(wParam)); return 0;
    case WM_DESTROY: PlatformSetMessageOwner(nullptr); return 0;
    case WM_COMMAND: break;
    default: return 0;
  }
  switch (wParam) {
    case IDCANCEL:
      if (Executing) {
        ExitPending = true;
      } else {
        EndDialog(dialog, 0);
      }
      return 1;
    case IDC_BROWSE: OnBrowse(dialog); return 0;
    case IDC_EXECUTE:
      if (!Executing) {
        Executing = true;
        OnExecute(dialog);
        Executing = false;
        if (ExitPending) {
          ExitPending = false;
          EndDialog(dialog, 0);
        }
      }
      return 0;
    case IDC_ABOUT:
      DialogBoxParamW(HINSTANCE(Module::ModuleInstance), L"AboutBox", dialog, AboutDialogProc, 0);
      return 0;
    default: return 0;
  }
}
