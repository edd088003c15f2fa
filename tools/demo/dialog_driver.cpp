#include "dialog_driver.h"

#include <string.h>

namespace {

const int kPathFieldId = 201;
const int kExecuteId = 102;
const int kBoxTextId = 0xFFFF;  // the text control of a message box
const DWORD kPollMs = 50;
const DWORD kSendTimeoutMs = 5000;
const DWORD kShotTimeoutMs = 30000;

bool OwnVisibleDialog(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return false;
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  return strcmp(className, "#32770") == 0;
}

struct Search {
  HWND skip;
  bool wantConverter;  // true: the converter dialog; false: a message box
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  Search& search = *reinterpret_cast<Search*>(param);
  if (window == search.skip || !OwnVisibleDialog(window)) return TRUE;
  const bool converter =
      GetDlgItem(window, kPathFieldId) != nullptr && GetDlgItem(window, kExecuteId) != nullptr;
  const bool box = GetDlgItem(window, kBoxTextId) != nullptr;
  if ((search.wantConverter && converter) || (!search.wantConverter && box && !converter)) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindOwnDialog(bool converter, HWND skip) {
  Search search = {skip, converter, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Reads a window's text with a bounded wait: the window's thread may be busy.
bool ReadText(HWND window, std::string& text) {
  char buffer[1024] = "";
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored)) {
    return false;
  }
  buffer[sizeof buffer - 1] = '\0';
  text = buffer;
  return true;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &ignored) != 0;
}

}  // namespace

DialogDriver::DialogDriver(const std::string& shotsFolder) : shotsFolder_(shotsFolder) {}

bool DialogDriver::Fail(const std::string& what) {
  if (problem_.empty()) problem_ = what;
  return false;
}

void DialogDriver::Settle(HWND window) {
  // Once the window's thread has answered, what it had queued (painting included) is done;
  // the pause lets the X server show it.
  Send(window, WM_NULL, 0, 0);
  Sleep(400);
  Send(window, WM_NULL, 0, 0);
}

bool DialogDriver::FindDialog(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while ((dialog_ = FindOwnDialog(true, nullptr)) == nullptr) {
    if (GetTickCount64() > deadline) return Fail("the converter dialog did not appear");
    Sleep(kPollMs);
  }
  Settle(dialog_);
  return true;
}

bool DialogDriver::TypePath(const std::string& path) {
  HWND field = GetDlgItem(dialog_, kPathFieldId);
  if (field == nullptr) return Fail("the dialog has no path field");
  if (!Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""))) {
    return Fail("the path field does not answer");
  }
  for (unsigned char c : path) Send(field, WM_CHAR, c, 1);
  std::string shown;
  if (!ReadText(field, shown) || shown != path) {
    // Typing goes through the field's own input handling, which a full field or an input
    // method may change; the text itself is what the user means.
    Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (!ReadText(field, shown) || shown != path) return Fail("the path field refused " + path);
  }
  return true;
}

bool DialogDriver::Click(int controlId) {
  HWND button = GetDlgItem(dialog_, controlId);
  if (button == nullptr) return Fail("the dialog has no control " + std::to_string(controlId));
  if (!Send(button, BM_CLICK, 0, 0)) return Fail("a click went unanswered");
  return true;
}

bool DialogDriver::IsChecked(int controlId) {
  HWND button = GetDlgItem(dialog_, controlId);
  DWORD_PTR state = 0;
  if (button == nullptr ||
      !SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state)) {
    return false;
  }
  return state == BST_CHECKED;
}

bool DialogDriver::Press(int controlId) {
  HWND button = GetDlgItem(dialog_, controlId);
  if (button == nullptr) return Fail("the dialog has no button " + std::to_string(controlId));
  // Posted, not sent: the command runs a conversion whose boxes wait for this thread.
  if (!PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                    reinterpret_cast<LPARAM>(button))) {
    return Fail("could not press button " + std::to_string(controlId));
  }
  return true;
}

bool DialogDriver::WaitForBox(DWORD timeoutMs, SeenBox& box) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while ((box_ = FindOwnDialog(false, dialog_)) == nullptr) {
    if (GetTickCount64() > deadline) return Fail("no message box appeared");
    Sleep(kPollMs);
  }
  Settle(box_);
  if (!ReadText(GetDlgItem(box_, kBoxTextId), box.text)) {
    return Fail("could not read a message box");
  }
  HWND cancel = GetDlgItem(box_, IDCANCEL);
  box.hasCancel = cancel != nullptr && IsWindowVisible(cancel);
  return true;
}

bool DialogDriver::AnswerBox(BoxButton button, DWORD timeoutMs) {
  if (box_ == nullptr) return Fail("no message box to answer");
  const int id = int(button);
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool reposted = false;
  PostMessageA(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box_, id)));
  while (IsWindow(box_) && IsWindowVisible(box_)) {
    if (GetTickCount64() > deadline) {
      if (reposted) return Fail("a message box did not close when answered");
      // A message that reaches a box too early can be lost; one more press.
      reposted = true;
      PostMessageA(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box_, id)));
    }
    Sleep(kPollMs);
  }
  box_ = nullptr;
  return true;
}

bool DialogDriver::RequestShot(const std::string& name) {
  const std::string wanted = shotsFolder_ + "\\" + kShotsWanted;
  if (shotsFolder_.empty() || GetFileAttributesA(wanted.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  Settle(box_ != nullptr ? box_ : dialog_);
  const std::string request = shotsFolder_ + "\\" + name + ".shot";
  const std::string done = request + "-done";
  HANDLE file = CreateFileA(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("could not ask for screenshot " + name);
  CloseHandle(file);
  const ULONGLONG deadline = GetTickCount64() + kShotTimeoutMs;
  while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() > deadline) return Fail("screenshot " + name + " was not taken");
    Sleep(kPollMs);
  }
  DeleteFileA(done.c_str());
  return true;
}

std::string Cp932ToUtf8(const std::string& bytes) {
  if (bytes.empty()) return bytes;
  const int wide = MultiByteToWideChar(932, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  std::wstring text(size_t(wide), L'\0');
  MultiByteToWideChar(932, 0, bytes.data(), int(bytes.size()), &text[0], wide);
  const int narrow =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &out[0], narrow, nullptr, nullptr);
  return out;
}
