// VantrelFit.exe: the window, with the picture named on the command line (a picture dropped
// on the program's icon arrives that way) opened at once, and the user's choices remembered.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>

#include "fit_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  std::wstring picture;
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args != nullptr) {
    if (count > 1) picture = args[1];
    LocalFree(args);
  }
  HWND window = CreateFitWindow(instance, picture, show, FitSettingsPath());
  if (window == nullptr) return 1;
  return RunFitWindow(window);
}
