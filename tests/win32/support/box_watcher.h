// BoxWatcher: a stand-in for the user at real Win32 message boxes, for 32-bit test programs.
//
// A background thread of the test process waits for each message box of *this* process
// (a visible #32770 window with an OK or Cancel button), records its caption and text as the
// window system holds them (UTF-16) and as the ANSI code page bytes the A functions give,
// its owner and whether it stays on top, recognises its kind (icon and buttons) and answers
// it by control id, following a script of answers given in advance. Use:
//
//   BoxWatcher boxes;
//   boxes.Start({BoxAnswer::Ok, BoxAnswer::Cancel});  // one answer per expected box
//   ExportGramToBitmap(path, Res320);                 // shows its boxes on this thread
//   ASSERT_TRUE(boxes.Finish()) << boxes.Report();    // stops the thread, checks the count
//   EXPECT_EQ(boxes.boxes()[0].wideText, L"...");
//   EXPECT_EQ(boxes.boxes()[0].kind(), BoxKind::Question);
//
// Rules the watcher keeps:
// - Exactly one scripted answer per box, information and error boxes included (answer Ok).
//   A box beyond the script is recorded (scripted == false), answered Cancel where it has a
//   Cancel button, else OK, and makes Finish() fail. Fewer boxes than answers fails too.
// - Scripting Cancel for a box without a Cancel button presses OK and is a failure.
// - Quit answers no button: it posts WM_QUIT to the box's thread, as a host closing down
//   does; the box must then close by itself. The test removes the quit message afterwards.
// - Dialogs of this process already visible when Start() runs (a converter dialog, say) are
//   never treated as boxes; Ignore() adds more. Any other #32770 window with an OK or Cancel
//   button that appears later is treated as a box (an About box would be one, kind Other).
// - Nothing hangs: after the overall timeout every box found is closed and counted as a
//   failure; if Finish() still has not been called well after that, the process is
//   terminated with exit code 3 and a message on stderr.
// - Finish() must be called after the code under test returned (or, when that code runs on
//   another thread, after WaitUntilAnswered() succeeded). The destructor calls it if needed,
//   so no helper thread outlives the watcher.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class BoxAnswer { Ok, Cancel, Yes, No, Quit };
enum class BoxIcon { None, Question, Error, Information, Warning, Other };
// Question: question icon, OK and Cancel. YesNo: question icon, はい and いいえ. Error /
// Information: that icon, OK only.
enum class BoxKind { Question, YesNo, Error, Information, Other };

struct WatchedBox {
  std::string caption;       // ANSI code page bytes (932 in most tests), as WM_GETTEXT gives
  std::string text;          // the same, of the text control (id 0xFFFF)
  std::wstring wideCaption;  // the caption as the window system holds it
  std::wstring wideText;     // the text control's text as the window system holds it
  HWND owner = nullptr;      // the window the box belongs to
  bool topmost = false;      // the box stays above windows that are not topmost
  BoxIcon icon = BoxIcon::None;
  bool hasOk = false;
  bool hasCancel = false;
  bool hasYes = false, hasNo = false;
  int buttonCount = 0;               // push buttons of the box, OK and Cancel included
  bool scripted = false;             // false: the box came after the script was used up
  BoxAnswer answer = BoxAnswer::Ok;  // the button that was pressed (or Quit)

  BoxKind kind() const;
};

class BoxWatcher {
 public:
  BoxWatcher();
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  // Starts the watching thread with one answer per expected box. timeoutMs bounds the whole
  // watched run. Records of an earlier run are cleared.
  void Start(std::vector<BoxAnswer> answers, DWORD timeoutMs = 60000);
  // Never treat this window as a box (call before or after Start).
  void Ignore(HWND window);
  // Waits until every scripted box has been answered and has closed; false on timeout.
  // For code under test that runs on another thread than the caller.
  bool WaitUntilAnswered(DWORD timeoutMs);
  // Stops the thread; true when exactly the scripted boxes came, each was read and answered
  // as scripted and closed, and nothing timed out.
  bool Finish();

  // The boxes seen, in order (valid after Finish()).
  const std::vector<WatchedBox>& boxes() const { return boxes_; }
  // The problems found and the boxes seen, readable (UTF-8), for failure messages.
  std::string Report() const;

 private:
  static DWORD WINAPI ThreadMain(LPVOID self);
  void Run();
  HWND FindBox();
  bool IsExcluded(HWND window);
  void HandleBox(HWND box);
  void Problem(const std::string& text);

  HANDLE thread_ = nullptr;
  HANDLE stop_ = nullptr;      // manual-reset: Finish() asks the thread to end
  HANDLE answered_ = nullptr;  // manual-reset: every scripted box answered and closed
  CRITICAL_SECTION lock_;
  std::vector<BoxAnswer> answers_;
  size_t next_ = 0;
  ULONGLONG deadline_ = 0;
  bool timedOut_ = false;
  std::vector<HWND> excluded_;
  std::vector<WatchedBox> boxes_;
  std::vector<std::string> problems_;
};

// Converts UTF-8 text (a test's expectation) to the code page 932 bytes a box shows.
std::string Utf8ToCp932(const std::string& text);
// Converts code page 932 bytes to UTF-8, for readable failure messages.
std::string Cp932ToUtf8(const std::string& bytes);
