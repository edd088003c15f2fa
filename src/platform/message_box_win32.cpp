// The product's message boxes: real Windows boxes through the wide API, so they read right
// whatever the system's ANSI code page is. Owned by the converter dialog while it is open.
#include "platform/message_box_win32.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "common/texts.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

namespace {

HWND g_owner = nullptr;

enum : size_t { kBudgetBytes = kMessageBytes - 1 };

// A message being built, with the code page 932 bytes it stands for.
struct WideBuilder {
  wchar_t* out;
  size_t chars;
  size_t bytes;
  bool cut;  // something did not fit: nothing more is added
};

// Bytes a character of the texts takes in code page 932: one for ASCII and half-width
// katakana, two for every other character.
size_t Cp932Bytes(char16_t c) { return c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F) ? 1 : 2; }

void AppendChar(WideBuilder& b, char16_t c, size_t bytes) {
  if (b.cut || b.bytes + bytes > kBudgetBytes) {
    b.cut = true;
    return;
  }
  b.out[b.chars++] = wchar_t(c);
  b.bytes += bytes;
}

// Appends as much of the path as the bytes left allow, whole characters only. A cut that
// falls inside a character is found by the conversion refusing it, so the path is tried a
// byte shorter, up to the longest character there is (four bytes in UTF-8).
void AppendPath(WideBuilder& b, const char* path) {
  if (b.cut) return;
  const UINT codePage = PlatformPathCodePage();
  const size_t length = strlen(path);
  size_t take = length < kBudgetBytes - b.bytes ? length : kBudgetBytes - b.bytes;
  wchar_t* to = b.out + b.chars;
  const int room = int(kMessageBytes - 1 - b.chars);
  int got = 0;
  for (size_t n = take; n > 0 && take - n < 4 && got <= 0; --n) {
    got = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path, int(n), to, room);
    if (got > 0) take = n;
  }
  // Bytes that are no text of the code page at all: shown as the system makes them out.
  if (got <= 0 && take > 0) got = MultiByteToWideChar(codePage, 0, path, int(take), to, room);
  if (got > 0) {
    b.chars += size_t(got);
    b.bytes += take;
  }
  if (take < length) b.cut = true;
}

// The texts are code page 932 bytes; one that has no UTF-16 form (never one of the
// plug-in's own) is shown from those bytes.
const wchar_t* FromCp932(wchar_t* out, const char* text) {
  if (MultiByteToWideChar(932, 0, text, -1, out, int(kMessageBytes)) <= 0) out[0] = L'\0';
  out[kMessageBytes - 1] = L'\0';
  return out;
}

// True when the window or one of its owners stays above all others.
bool OwnedByTopmost(HWND window) {
  for (; window != nullptr; window = GetWindow(window, GW_OWNER)) {
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) return true;
  }
  return false;
}

}  // namespace

void PlatformSetMessageOwner(void* window) { g_owner = HWND(window); }

const wchar_t* FormatWideMessage(wchar_t* out, const char16_t* format, va_list args) {
  WideBuilder b{out, 0, 0, false};
  for (const char16_t* p = format; *p != u'\0' && !b.cut; ++p) {
    if (p[0] == u'%' && p[1] == u's') {
      AppendPath(b, va_arg(args, const char*));
      ++p;
    } else if (p[0] == u'%' && p[1] == u'd') {
      char number[16];
      snprintf(number, sizeof number, "%d", va_arg(args, int));
      for (const char* digit = number; *digit != '\0'; ++digit) AppendChar(b, char16_t(*digit), 1);
      ++p;
    } else {
      AppendChar(b, *p, Cp932Bytes(*p));
    }
  }
  out[b.chars] = L'\0';
  return out;
}

MessageAnswer PlatformMessageBox(MessageKind kind, const char* caption, const char* text,
                                 const char* format, va_list args) {
  UINT style = MB_OK | MB_ICONINFORMATION;
  if (kind == QuestionBox) style = MB_OKCANCEL | MB_ICONQUESTION;
  if (kind == ErrorBox) style = MB_OK | MB_ICONERROR;
  // Under an always-on-top host the box must not open behind it.
  if (OwnedByTopmost(g_owner)) style |= MB_TOPMOST;

  wchar_t shownCaption[kMessageBytes];
  const char16_t* wideCaption = WideText(caption);
  const wchar_t* captionText = wideCaption != nullptr
                                   ? reinterpret_cast<const wchar_t*>(wideCaption)
                                   : FromCp932(shownCaption, caption);
  wchar_t shownText[kMessageBytes];
  const char16_t* wideFormat = WideText(format);
  const wchar_t* messageText = wideFormat != nullptr
                                   ? FormatWideMessage(shownText, wideFormat, args)
                                   : FromCp932(shownText, text);

  // Only an explicit OK goes on: 0 (the box could not be shown), and the end a WM_QUIT
  // forces on it, count as Cancel.
  const int answer = MessageBoxW(g_owner, messageText, captionText, style);
  MSG quit;
  if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return AnswerCancel;
  return answer == IDOK ? AnswerOk : AnswerCancel;
}
