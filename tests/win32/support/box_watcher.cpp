#include "box_watcher.h"

#include <stdio.h>

namespace {

const DWORD kPollMs = 50;
// A message posted the instant a box turns visible can get lost; give it a moment.
const DWORD kSettleMs = 150;
const DWORD kCloseWaitMs = 1500;  // per attempt to answer a box
const int kAnswerAttempts = 4;
const DWORD kReadTimeoutMs = 3000;     // reading a box's texts never blocks longer
const ULONGLONG kHardGraceMs = 60000;  // past the timeout, then the process is ended

bool OwnedByThisProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid == GetCurrentProcessId();
}

bool HasClass(HWND window, const char* name) {
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  return lstrcmpiA(cls, name) == 0;
}

bool IsDialogWindow(HWND window) {
  return OwnedByThisProcess(window) && HasClass(window, "#32770") && IsWindowVisible(window);
}

HWND Button(HWND box, int id) {
  HWND button = GetDlgItem(box, id);
  return button != nullptr && HasClass(button, "Button") ? button : nullptr;
}

bool LooksLikeBox(HWND window) {
  return Button(window, IDOK) != nullptr || Button(window, IDCANCEL) != nullptr ||
         Button(window, IDYES) != nullptr;
}

// The button of an answer (0 for Quit).
int ButtonOf(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::Ok: return IDOK;
    case BoxAnswer::Cancel: return IDCANCEL;
    case BoxAnswer::Yes: return IDYES;
    case BoxAnswer::No: return IDNO;
    case BoxAnswer::Quit: break;
  }
  return 0;
}

// Reads a window's text as ANSI (code page 932) bytes without waiting on a stuck thread.
bool ReadText(HWND window, std::string* out) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                           &length)) {
    return false;
  }
  std::string buffer(length * 2 + 16, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), LPARAM(&buffer[0]), SMTO_ABORTIFHUNG,
                           kReadTimeoutMs, &copied)) {
    return false;
  }
  buffer.resize(lstrlenA(buffer.c_str()));
  *out = buffer;
  return true;
}

// Reads a window's text as the window system holds it, sending no message.
std::wstring WideTextOf(HWND window) {
  wchar_t text[2048] = L"";
  InternalGetWindowText(window, text, 2048);
  return text;
}

struct ChildScan {
  HWND textControl = nullptr;
  HWND iconControl = nullptr;
  int buttons = 0;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
  ChildScan& scan = *reinterpret_cast<ChildScan*>(param);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if (HasClass(child, "Static")) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      scan.iconControl = child;
    } else if (GetDlgCtrlID(child) == 0xFFFF) {
      scan.textControl = child;
    }
  } else if (HasClass(child, "Button") && IsWindowVisible(child)) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) ++scan.buttons;
  }
  return TRUE;
}

BoxIcon ReadIcon(HWND iconControl) {
  if (iconControl == nullptr) return BoxIcon::None;
  DWORD_PTR icon = 0;
  if (!SendMessageTimeoutA(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                           &icon)) {
    return BoxIcon::Other;
  }
  // The system icons are shared handles: a box shows exactly these.
  const HICON shown = HICON(icon);
  if (shown == nullptr) return BoxIcon::None;
  if (shown == LoadIcon(nullptr, IDI_QUESTION)) return BoxIcon::Question;
  if (shown == LoadIcon(nullptr, IDI_ERROR)) return BoxIcon::Error;
  if (shown == LoadIcon(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
  if (shown == LoadIcon(nullptr, IDI_WARNING)) return BoxIcon::Warning;
  return BoxIcon::Other;
}

struct DialogList {
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  if (IsDialogWindow(window)) reinterpret_cast<DialogList*>(param)->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleDialogs() {
  DialogList list;
  EnumWindows(CollectDialog, LPARAM(&list));
  return list.windows;
}

const char* KindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::Question: return "question";
    case BoxKind::YesNo: return "yes/no question";
    case BoxKind::Error: return "error";
    case BoxKind::Information: return "information";
    case BoxKind::Other: break;
  }
  return "other";
}

std::string Convert(UINT from, UINT to, const std::string& in) {
  if (in.empty()) return in;
  const int wide = MultiByteToWideChar(from, 0, in.data(), int(in.size()), nullptr, 0);
  std::wstring utf16(wide, L'\0');
  MultiByteToWideChar(from, 0, in.data(), int(in.size()), &utf16[0], wide);
  const int bytes = WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(to, 0, utf16.data(), wide, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Utf8ToCp932(const std::string& text) { return Convert(CP_UTF8, 932, text); }
// UTF-16 to UTF-8, for the report (the tools' own converter is not linked into every test).
static std::string ReportUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], bytes, nullptr, nullptr);
  return out;
}
std::string Cp932ToUtf8(const std::string& bytes) { return Convert(932, CP_UTF8, bytes); }

BoxKind WatchedBox::kind() const {
  if (icon == BoxIcon::Question && hasOk && hasCancel && buttonCount == 2) {
    return BoxKind::Question;
  }
  if (icon == BoxIcon::Question && hasYes && hasNo && buttonCount == 2) return BoxKind::YesNo;
  if (hasOk && !hasCancel && buttonCount == 1) {
    if (icon == BoxIcon::Error) return BoxKind::Error;
    if (icon == BoxIcon::Information) return BoxKind::Information;
  }
  return BoxKind::Other;
}

BoxWatcher::BoxWatcher() {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  answered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

BoxWatcher::~BoxWatcher() {
  Finish();
  CloseHandle(stop_);
  CloseHandle(answered_);
  DeleteCriticalSection(&lock_);
}

void BoxWatcher::Start(std::vector<BoxAnswer> answers, DWORD timeoutMs) {
  Finish();
  answers_ = std::move(answers);
  next_ = 0;
  timedOut_ = false;
  boxes_.clear();
  problems_.clear();
  deadline_ = GetTickCount64() + timeoutMs;
  EnterCriticalSection(&lock_);
  for (HWND window : VisibleDialogs()) excluded_.push_back(window);
  LeaveCriticalSection(&lock_);
  ResetEvent(stop_);
  if (answers_.empty()) {
    SetEvent(answered_);
  } else {
    ResetEvent(answered_);
  }
  thread_ = CreateThread(nullptr, 0, &BoxWatcher::ThreadMain, this, 0, nullptr);
  if (thread_ == nullptr) Problem("could not start the watching thread");
}

void BoxWatcher::Ignore(HWND window) {
  EnterCriticalSection(&lock_);
  excluded_.push_back(window);
  LeaveCriticalSection(&lock_);
}

bool BoxWatcher::WaitUntilAnswered(DWORD timeoutMs) {
  return WaitForSingleObject(answered_, timeoutMs) == WAIT_OBJECT_0;
}

bool BoxWatcher::Finish() {
  if (thread_ != nullptr) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);  // every step of the thread is bounded
    CloseHandle(thread_);
    thread_ = nullptr;
    if (next_ < answers_.size()) {
      char line[128];
      snprintf(line, sizeof line, "expected %u boxes, only %u came", unsigned(answers_.size()),
               unsigned(next_));
      Problem(line);
    }
  }
  return problems_.empty();
}

std::string BoxWatcher::Report() const {
  std::string report;
  for (const std::string& problem : problems_) report += "problem: " + problem + "\n";
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const WatchedBox& box = boxes_[i];
    char head[160];
    snprintf(head, sizeof head,
             "box %u (%s%s, icon %d, ok %d, cancel %d, %d buttons, pressed %s): ", unsigned(i + 1),
             KindName(box.kind()), box.scripted ? "" : ", unscripted", int(box.icon),
             int(box.hasOk), int(box.hasCancel), box.buttonCount,
             box.answer == BoxAnswer::Ok       ? "OK"
             : box.answer == BoxAnswer::Cancel ? "Cancel"
             : box.answer == BoxAnswer::Yes    ? "Yes"
             : box.answer == BoxAnswer::No     ? "No"
                                               : "Quit");
    report += head + ReportUtf8(box.wideCaption) + " | " + ReportUtf8(box.wideText) + "\n";
  }
  if (report.empty()) report = "no boxes\n";
  return report;
}

DWORD WINAPI BoxWatcher::ThreadMain(LPVOID self) {
  static_cast<BoxWatcher*>(self)->Run();
  return 0;
}

void BoxWatcher::Run() {
  while (WaitForSingleObject(stop_, kPollMs) == WAIT_TIMEOUT) {
    if (HWND box = FindBox()) {
      HandleBox(box);
      continue;
    }
    const ULONGLONG now = GetTickCount64();
    if (!timedOut_ && now > deadline_) {
      timedOut_ = true;
      Problem("timed out waiting for the scripted boxes");
    }
    if (now > deadline_ + kHardGraceMs) {
      fprintf(stderr, "BoxWatcher: the test did not finish after its timeout; ending it.\n%s",
              Report().c_str());
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
}

bool BoxWatcher::IsExcluded(HWND window) {
  EnterCriticalSection(&lock_);
  bool excluded = false;
  for (HWND known : excluded_) excluded = excluded || known == window;
  LeaveCriticalSection(&lock_);
  return excluded;
}

HWND BoxWatcher::FindBox() {
  for (HWND window : VisibleDialogs()) {
    if (!IsExcluded(window) && LooksLikeBox(window)) return window;
  }
  return nullptr;
}

void BoxWatcher::HandleBox(HWND box) {
  Sleep(kSettleMs);
  if (!IsWindowVisible(box)) return;  // closed by someone else meanwhile; look again

  WatchedBox seen;
  if (!ReadText(box, &seen.caption)) Problem("could not read a box's caption");
  ChildScan scan;
  EnumChildWindows(box, ScanChild, LPARAM(&scan));
  if (scan.textControl == nullptr || !ReadText(scan.textControl, &seen.text)) {
    Problem("could not read a box's text");
  }
  seen.wideCaption = WideTextOf(box);
  if (scan.textControl != nullptr) seen.wideText = WideTextOf(scan.textControl);
  seen.owner = GetWindow(box, GW_OWNER);
  seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  seen.icon = ReadIcon(scan.iconControl);
  seen.hasOk = Button(box, IDOK) != nullptr && IsWindowVisible(Button(box, IDOK));
  seen.hasCancel = Button(box, IDCANCEL) != nullptr && IsWindowVisible(Button(box, IDCANCEL));
  seen.hasYes = Button(box, IDYES) != nullptr && IsWindowVisible(Button(box, IDYES));
  seen.hasNo = Button(box, IDNO) != nullptr && IsWindowVisible(Button(box, IDNO));
  seen.buttonCount = scan.buttons;
  const int ok = seen.hasOk ? IDOK : IDYES;  // what is pressed when the script is wrong

  const bool late = GetTickCount64() > deadline_;
  seen.scripted = next_ < answers_.size() && !late;
  if (seen.scripted) {
    seen.answer = answers_[next_++];
    const int id = ButtonOf(seen.answer);
    if (id != 0 && (Button(box, id) == nullptr || !IsWindowVisible(Button(box, id)))) {
      Problem("an answer was scripted for a box without its button; pressed another");
      seen.answer = ok == IDOK ? BoxAnswer::Ok : BoxAnswer::Yes;
    }
  } else {
    Problem(late ? "a box came after the timeout" : "a box came beyond the script");
    seen.answer = seen.hasCancel ? BoxAnswer::Cancel
                  : seen.hasNo   ? BoxAnswer::No
                  : ok == IDOK   ? BoxAnswer::Ok
                                 : BoxAnswer::Yes;
  }
  EnterCriticalSection(&lock_);
  excluded_.push_back(box);
  boxes_.push_back(seen);
  LeaveCriticalSection(&lock_);

  bool closed = false;
  if (seen.answer == BoxAnswer::Quit) {
    PostThreadMessageW(GetWindowThreadProcessId(box, nullptr), WM_QUIT, 0, 0);
    for (DWORD waited = 0; waited < kCloseWaitMs * kAnswerAttempts && !closed; waited += kPollMs) {
      Sleep(kPollMs);
      closed = !IsWindow(box) || !IsWindowVisible(box);
    }
  }
  int id = ButtonOf(seen.answer);
  for (int attempt = 0; attempt < kAnswerAttempts && !closed; ++attempt) {
    if (seen.answer == BoxAnswer::Quit) {
      Problem("a box did not close on WM_QUIT");
      seen.answer = seen.hasCancel ? BoxAnswer::Cancel : BoxAnswer::Ok;
      id = ButtonOf(seen.answer);
    }
    const UINT message = attempt + 1 < kAnswerAttempts ? WM_COMMAND : WM_CLOSE;
    PostMessageA(box, message, message == WM_COMMAND ? MAKEWPARAM(id, BN_CLICKED) : 0,
                 message == WM_COMMAND ? LPARAM(Button(box, id)) : 0);
    for (DWORD waited = 0; waited < kCloseWaitMs && !closed; waited += kPollMs) {
      Sleep(kPollMs);
      closed = !IsWindow(box) || !IsWindowVisible(box);
    }
  }
  if (!closed) Problem("a box did not close when answered");
  if (seen.scripted && next_ == answers_.size()) SetEvent(answered_);
}

void BoxWatcher::Problem(const std::string& text) {
  EnterCriticalSection(&lock_);
  problems_.push_back(text);
  LeaveCriticalSection(&lock_);
}
