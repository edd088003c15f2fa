// Drives the converter dialog of this process the way a user would, from a helper thread:
// by control id, with messages sent or posted to the dialog's own windows (never global
// input), waiting for each message box to be visible before answering it. Only windows of
// this process are considered: other programs may share the Wine desktop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The file that says someone answers screenshot requests in the shots folder.
const char kShotsWanted[] = "shots.wanted";

enum class BoxButton { Ok = IDOK, Cancel = IDCANCEL };

// A message box as the driver met it.
struct SeenBox {
  std::string text;  // code page 932, as shown
  bool hasCancel = false;
};

class DialogDriver {
 public:
  // shotsFolder: where screenshots are requested (see RequestShot); empty for none.
  explicit DialogDriver(const std::string& shotsFolder);

  // Waits until the converter dialog (a dialog with the path field) is visible.
  bool FindDialog(DWORD timeoutMs);
  HWND dialog() const { return dialog_; }

  // Replaces the path field's text, typing it character by character.
  bool TypePath(const std::string& path);
  // Clicks a radio button (or any button) of the dialog.
  bool Click(int controlId);
  // True when the radio button or check box is checked.
  bool IsChecked(int controlId);
  // Presses a push button of the dialog without waiting for what it starts: a conversion
  // runs its message boxes inside the press.
  bool Press(int controlId);

  // Waits for the next message box of this process and reads it.
  bool WaitForBox(DWORD timeoutMs, SeenBox& box);
  // Answers the box WaitForBox found and waits until it has gone.
  bool AnswerBox(BoxButton button, DWORD timeoutMs);

  // Asks for a screenshot of the whole screen named name and waits until it is taken:
  // writes NAME.shot into the shots folder and waits for NAME.shot-done (the program that
  // started the demo takes the picture). Only when that program said it would, by putting
  // kShotsWanted into the folder; else it returns true at once. False when nobody answered
  // in time.
  bool RequestShot(const std::string& name);

  // What went wrong, for the report (UTF-8).
  const std::string& problem() const { return problem_; }

 private:
  bool Fail(const std::string& what);
  void Settle(HWND window);

  std::string shotsFolder_;
  HWND dialog_ = nullptr;
  HWND box_ = nullptr;
  std::string problem_;
};

// Code page 932 to UTF-8, for reports.
std::string Cp932ToUtf8(const std::string& bytes);
