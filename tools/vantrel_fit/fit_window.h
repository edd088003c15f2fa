// Vantrel Fit's one window: open a picture (drop, command line, 開く), choose how it is framed,
// toned and dithered, see what GRAM will show, save the BMP the plug-in imports. The picture
// is read on a worker thread, and so is the 最高画質 search; the window never waits for them.
#pragma once

#include <windows.h>

#include <string>

#include "fit_layout.h"  // the control ids

// Questions a test may send to the window (SendMessage from any thread of the process).
enum : UINT {
  // lParam: 640 x 400 x 3 bytes, filled with the screen the preview shows (R G B, top row
  // first), before it is enlarged. Returns 1 when a picture is shown, else 0 (nothing written).
  kFitAskPreview = WM_APP + 40,
  // Returns the window's state: a FitState.
  kFitAskState = WM_APP + 41,
  // Returns how many workers of the process (reading, searching) are still running, late
  // ones included.
  kFitAskWorkers = WM_APP + 42,
  // Returns how many times the preview shows each screen pixel across and down.
  kFitAskPreviewScale = WM_APP + 43,
  // lParam: float[2], filled with the focus of 画面いっぱい (fractions of the picture across
  // and down). Returns 1.
  kFitAskFocus = WM_APP + 44,
};
enum FitState { FitStateEmpty = 0, FitStateWorking = 1, FitStateShown = 2, FitStateSearching = 3 };

// The file the choices are remembered in: the user's application-data folder, under Vantrel
// ("" when the system names none).
std::wstring FitSettingsPath();

// Creates and shows the window; picture (may be empty) is opened at once. The choices are
// read from settings (a missing or bad file means the defaults) and written back there when
// the window closes ("" for neither).
HWND CreateFitWindow(HINSTANCE instance, const std::wstring& picture, int show,
                     const std::wstring& settings);
// Dispatches messages until the window is gone, with the window's keys (Ctrl+O, Ctrl+S, the
// access keys, Tab); returns the exit code.
int RunFitWindow(HWND window);
