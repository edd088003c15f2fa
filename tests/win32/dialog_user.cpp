#include "dialog_user.h"

#include <commctrl.h>
#include <stdint.h>
#include <string.h>

const wchar_t kMainTitle[] =
    L"Halcyon GRAM\xFF70"
    L"BMP変換ツール";
const wchar_t kAboutTitle[] = L"About      ";
const wchar_t kChooserTitle[] = L"BMPファイルの選択";
const wchar_t kBoxCaption[] = L"HalcyonGRAM-BMP変換ツール";

namespace {

const DWORD kPollMs = 25;
const DWORD kSendTimeoutMs = 5000;
// A message posted to a box the instant it turns visible can be lost; let it settle.
const DWORD kSettleMs = 150;
const int kBoxTextId = 0xFFFF;

volatile LONG markerReached = 0;

struct Collect {
  std::vector<HWND>* out;
  const wchar_t* title;
  HWND skip;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  Collect& c = *reinterpret_cast<Collect*>(param);
  if (window == c.skip || !IsWindowVisible(window)) return TRUE;
  if (c.title != nullptr) {
    wchar_t title[256] = L"";
    InternalGetWindowText(window, title, 256);
    if (wcscmp(title, c.title) != 0) return TRUE;
  }
  c.out->push_back(window);
  return TRUE;
}

std::wstring Convert(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), &out[0], n);
  return out;
}

std::string Convert(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  const int n =
      WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// The header of a drop's data block, as the shell lays it out (DROPFILES).
struct DropHeader {
  DWORD filesOffset;
  POINT point;
  BOOL nonClient;
  BOOL wide;
};
static_assert(sizeof(DropHeader) == 20, "the shell's drop header is 20 bytes");

}  // namespace

std::wstring Wide(const std::string& utf8) { return Convert(CP_UTF8, utf8); }
std::string Utf8(const std::wstring& text) { return Convert(text, CP_UTF8); }
std::string Cp932(const std::wstring& text) { return Convert(text, 932); }
std::wstring FromCp932(const std::string& bytes) { return Convert(932, bytes); }

DialogUser::DialogUser(DWORD hostThread, HWND marker) : hostThread_(hostThread), marker_(marker) {}

void DialogUser::MarkerReached(WPARAM sequence) {
  InterlockedExchange(&markerReached, LONG(sequence));
}

std::vector<HWND> DialogUser::Windows(const wchar_t* title) const {
  std::vector<HWND> found;
  Collect c{&found, title, marker_};
  EnumThreadWindows(hostThread_, CollectWindow, LPARAM(&c));
  return found;
}

HWND DialogUser::WaitWindow(const wchar_t* title, DWORD timeoutMs) const {
  for (DWORD waited = 0;; waited += kPollMs) {
    std::vector<HWND> found = Windows(title);
    if (found.size() == 1) return found[0];
    if (waited >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

bool DialogUser::WaitGone(const wchar_t* title, DWORD timeoutMs) const {
  for (DWORD waited = 0;; waited += kPollMs) {
    if (Windows(title).empty()) return true;
    if (waited >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

bool DialogUser::Flush() {
  const LONG sequence = ++sequence_;
  PostMessageW(marker_, kMarkerMessage, WPARAM(sequence), 0);
  for (DWORD waited = 0; waited < 20000; waited += kPollMs) {
    if (InterlockedCompareExchange(&markerReached, 0, 0) >= sequence) return true;
    Sleep(kPollMs);
  }
  return false;
}

std::wstring DialogUser::Title(HWND window) const {
  wchar_t title[512] = L"";
  InternalGetWindowText(window, title, 512);
  return title;
}

std::wstring DialogUser::Text(HWND dialog, int id) const {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return L"<no control>";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, text.size(), LPARAM(&text[0]), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  text.resize(wcslen(text.c_str()));
  return text;
}

std::string DialogUser::TextBytes(HWND dialog, int id) const {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return "<no control>";
  std::string text(4096, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, text.size(), LPARAM(&text[0]), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  text.resize(strlen(text.c_str()));
  return text;
}

bool DialogUser::Checked(HWND dialog, int id) const {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &state);
  return state == BST_CHECKED;
}

void DialogUser::Click(HWND dialog, int id) {
  // Posted: a click that opens a modal loop (a box, the chooser) must not block the user.
  PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void DialogUser::Type(HWND dialog, int id, const std::wstring& text) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, LPARAM(text.c_str()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &result);
}

void DialogUser::TypeBytes(HWND dialog, int id, const std::string& cp932) {
  Type(dialog, id, FromCp932(cp932));
}

void DialogUser::Key(HWND dialog, UINT virtualKey) {
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(hostThread_, &info) && info.hwndFocus != nullptr &&
      (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus))) {
    target = info.hwndFocus;
  }
  const LPARAM scan = LPARAM(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
  PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM(3) << 30));
}

HWND DialogUser::Focus() const {
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(hostThread_, &info) ? info.hwndFocus : nullptr;
}

void DialogUser::CtrlKey(HWND dialog, UINT virtualKey) {
  // The host reads Ctrl from its keyboard state, which attached threads share.
  AttachThreadInput(GetCurrentThreadId(), hostThread_, TRUE);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  const BYTE before = keys[VK_CONTROL];
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  Key(dialog, virtualKey);
  Flush();
  keys[VK_CONTROL] = before;
  SetKeyboardState(keys);
  AttachThreadInput(GetCurrentThreadId(), hostThread_, FALSE);
}

void DialogUser::AltKey(HWND dialog, wchar_t letter) {
  HWND focus = Focus();
  HWND target = focus != nullptr && IsChild(dialog, focus) ? focus : dialog;
  PostMessageW(target, WM_SYSCHAR, WPARAM(letter), LPARAM(1) | LPARAM(1) << 29);
}

void DialogUser::Select(HWND dialog, int id, int index) {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(control, CB_SETCURSEL, WPARAM(index), 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &result);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(control));
}

int DialogUser::Selected(HWND dialog, int id) const {
  DWORD_PTR index = DWORD_PTR(-1);
  SendMessageTimeoutW(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &index);
  return int(index);
}

void DialogUser::Slide(HWND dialog, int id, int position) {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR from = 0, result = 0;
  SendMessageTimeoutW(control, TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &from);
  const int start = int(from), steps = 4;
  for (int step = 1; step <= steps; ++step) {
    const int at = start + (position - start) * step / steps;
    SendMessageTimeoutW(control, TBM_SETPOS, TRUE, at, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    PostMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, at), LPARAM(control));
  }
  PostMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), LPARAM(control));
}

void DialogUser::Drag(HWND dialog, int id, POINT from, POINT to) {
  HWND control = GetDlgItem(dialog, id);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  const int steps = 5;
  for (int step = 1; step <= steps; ++step) {
    const LONG x = from.x + (to.x - from.x) * step / steps;
    const LONG y = from.y + (to.y - from.y) * step / steps;
    PostMessageW(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
  }
  PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
}

namespace {

// Posts a drop of the given names (a block of terminated names, ended by an empty one).
template <typename Char>
void PostDrop(HWND target, const std::vector<std::basic_string<Char>>& names) {
  size_t chars = 1;
  for (const auto& name : names) chars += name.size() + 1;
  HGLOBAL block =
      GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DropHeader) + chars * sizeof(Char));
  char* data = static_cast<char*>(GlobalLock(block));
  DropHeader header;
  memset(&header, 0, sizeof header);
  header.filesOffset = sizeof header;
  header.point.x = 40;
  header.point.y = 40;
  header.wide = sizeof(Char) == sizeof(wchar_t);
  memcpy(data, &header, sizeof header);
  Char* p = reinterpret_cast<Char*>(data + sizeof header);
  for (const auto& name : names) {
    memcpy(p, name.c_str(), (name.size() + 1) * sizeof(Char));
    p += name.size() + 1;
  }
  GlobalUnlock(block);
  // The receiver releases the block with DragFinish.
  PostMessageW(target, WM_DROPFILES, WPARAM(block), 0);
}

}  // namespace

void DialogUser::Drop(HWND target, const std::vector<std::string>& cp932Names) {
  PostDrop(target, cp932Names);
}

void DialogUser::DropWide(HWND target, const std::vector<std::wstring>& names) {
  PostDrop(target, names);
}

SeenBox DialogUser::WaitBox(DWORD timeoutMs) const {
  SeenBox box;
  box.window = WaitWindow(boxCaption_, timeoutMs);
  if (box.window == nullptr) return box;
  Sleep(kSettleMs);
  wchar_t text[1024] = L"";
  InternalGetWindowText(GetDlgItem(box.window, kBoxTextId), text, 1024);
  box.text = text;
  HWND ok = GetDlgItem(box.window, IDOK);
  HWND cancel = GetDlgItem(box.window, IDCANCEL);
  box.hasOk = ok != nullptr && IsWindowVisible(ok);
  box.hasCancel = cancel != nullptr && IsWindowVisible(cancel);
  return box;
}

HWND DialogUser::ChooserNameField(HWND chooser) {
  HWND field = GetDlgItem(chooser, 0x480);
  if (field == nullptr) field = GetDlgItem(chooser, 0x47C);
  return field;
}

bool DialogUser::Choose(HWND chooser, const wchar_t* title, const std::wstring& path) {
  HWND field = ChooserNameField(chooser);
  if (field == nullptr) return false;
  Type(chooser, GetDlgCtrlID(field), path);
  PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               LPARAM(GetDlgItem(chooser, IDOK)));
  return WaitGone(title);
}

bool DialogUser::Answer(const SeenBox& box, int id) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 LPARAM(GetDlgItem(box.window, id)));
    for (DWORD waited = 0; waited < 2000; waited += kPollMs) {
      if (!IsWindow(box.window) || !IsWindowVisible(box.window)) return true;
      Sleep(kPollMs);
    }
  }
  return false;
}

void DialogUser::CloseEverything() {
  for (int round = 0; round < 60; ++round) {
    std::vector<HWND> open = Windows();
    if (open.empty()) return;
    for (HWND window : open) {
      // The About box ignores command 2; everything else closes on it.
      const int id = Title(window) == kAboutTitle ? IDOK : IDCANCEL;
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    Sleep(250);
  }
}
