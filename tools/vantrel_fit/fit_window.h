// Vantrel Fit's one window: open a picture (drop, command line, 開く), choose resolution and
// dither, see what GRAM will show, save the BMP the plug-in imports. The fit runs on a worker
// thread; the window never waits for it.
#pragma once

#include <windows.h>

#include <string>

// Control ids, for the tests that drive the window as a user would.
enum : int {
  kFitIdOpen = 101,
  kFitIdSave = 102,
  kFitIdCancel = 103,
  kFitIdRes320 = 201,
  kFitIdRes640 = 202,
  kFitIdDitherNone = 211,
  kFitIdDitherOrdered = 212,
  kFitIdDitherDiffusion = 213,
  kFitIdPreview = 301,
  kFitIdOriginal = 302,
  kFitIdStatus = 303,
  kFitIdProgress = 304,
};

// Questions a test may send to the window (SendMessage from any thread of the process).
enum : UINT {
  // lParam: 640 x 400 x 3 bytes, filled with the pixels the preview paints (R G B, top row
  // first). Returns 1 when a picture is shown, else 0 (nothing written).
  kFitAskPreview = WM_APP + 40,
  // Returns the window's state: a FitState.
  kFitAskState = WM_APP + 41,
  // Returns how many fit workers of the process are still running (late ones included).
  kFitAskWorkers = WM_APP + 42,
};
enum FitState { FitStateEmpty = 0, FitStateWorking = 1, FitStateShown = 2 };

// Creates and shows the window; picture (may be empty) is opened at once.
HWND CreateFitWindow(HINSTANCE instance, const std::wstring& picture, int show);
// Dispatches messages until the window is gone; returns the exit code.
int RunFitWindow(HWND window);
