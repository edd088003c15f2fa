// The host's side of the live dialog tests: the host's main window, and one modal run of a
// dialog on the host's thread while a user thread works it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "dialog_user.h"
#include "gtest/gtest.h"

// The longest any single wait of a live test may take.
const DWORD kStepMs = 20000;

// Creates and shows the host's main window (the dialog's parent). It also passes the
// user's markers through (DialogUser::Flush).
HWND CreateHostWindow();

// Runs open() on this thread (it shows a modal dialog over host and returns its end code)
// while script plays the user on a second thread. Whatever the script leaves open is
// closed, as a failure; a user thread that never ends terminates the process.
INT_PTR RunWithUser(HWND host, const std::function<INT_PTR()>& open,
                    const std::function<void(DialogUser&)>& script);

// Waits for the converter dialog; null (and a failure) when it does not come.
HWND WaitMainDialog(DialogUser& user);

// Presses execute and answers the message boxes that follow, one scripted answer each;
// fails when other boxes come or one stays open. Returns the boxes seen.
std::vector<WatchedBox> ExecuteAndAnswer(DialogUser& user, HWND dialog,
                                         std::vector<BoxAnswer> answers);

// A message text (UTF-8, with "%s") with a path put in, as the box shows it.
std::wstring Quote(const char* text, const std::wstring& path);

// A Unix path as the same place on the Windows side (drive Z: is the root).
std::string WindowsPath(std::string path);

// The live test programs' own arguments: --dll=, --work=, --shots=, --codepage=.
struct LiveTestOptions {
  std::string dll;
  std::string work;   // Windows path of the test's scratch folder, ending in '\'
  std::string shots;  // folder for screenshots, ending in '\'; empty for none
  UINT codePage = 0;
};

// Reads them (after gtest has taken its own) and creates the two folders.
LiveTestOptions ReadLiveTestOptions(int argc, char** argv);

// Checks a box's kind and its texts, both as the window system holds them and as the code
// page 932 bytes the A functions read.
#define EXPECT_BOX(box, wantKind, wantText)                             \
  do {                                                                  \
    EXPECT_EQ((box).kind(), wantKind);                                  \
    EXPECT_EQ((box).wideCaption, std::wstring(kBoxCaption));            \
    EXPECT_EQ((box).wideText, std::wstring(wantText));                  \
    EXPECT_EQ(Cp932ToUtf8((box).caption), "HalcyonGRAM-BMP変換ツール"); \
    EXPECT_EQ(Cp932ToUtf8((box).text), Utf8(wantText));                 \
  } while (0)
