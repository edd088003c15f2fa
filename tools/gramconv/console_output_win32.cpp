// The console on Windows: texts go to a console as wide characters, so they read right
// whatever its code page, and as UTF-8 bytes when the stream is redirected.
#include <windows.h>

#include <string>

#include "console_output.h"
#include "tool_text_win32.h"

namespace {

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode) != 0;
}

void WriteTo(DWORD which, const std::string& text) {
  const HANDLE h = GetStdHandle(which);
  if (h == INVALID_HANDLE_VALUE || h == nullptr || text.empty()) return;
  if (IsConsole(h)) {
    const std::wstring wide = Utf8ToWide(text);
    DWORD done = 0;
    WriteConsoleW(h, wide.data(), DWORD(wide.size()), &done, nullptr);
    return;
  }
  size_t at = 0;
  while (at < text.size()) {
    DWORD done = 0;
    if (!WriteFile(h, text.data() + at, DWORD(text.size() - at), &done, nullptr) || done == 0) {
      return;
    }
    at += done;
  }
}

}  // namespace

std::string Cp932ToUtf8(const std::string& text) {
  if (text.empty()) return text;
  // Byte by byte where the whole text does not convert, so one bad byte costs one '?'.
  std::wstring wide;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n =
        ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < text.size() ? 2 : 1;
    wchar_t w[2];
    const int got = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data() + i, int(n), w, 2);
    if (got > 0) {
      wide.append(w, size_t(got));
      i += n;
    } else {
      wide += L'?';
      ++i;
    }
  }
  return WideToUtf8(wide);
}

void WriteOut(const std::string& text) { WriteTo(STD_OUTPUT_HANDLE, text); }

void WriteErr(const std::string& text) { WriteTo(STD_ERROR_HANDLE, text); }

bool InputIsTerminal() { return IsConsole(GetStdHandle(STD_INPUT_HANDLE)); }

bool AskLine(const std::string& prompt, std::string& answer) {
  // On the console itself when there is one, even with stderr redirected.
  const HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (IsConsole(console)) {
    const std::wstring wide = Utf8ToWide(prompt);
    DWORD done = 0;
    WriteConsoleW(console, wide.data(), DWORD(wide.size()), &done, nullptr);
  } else {
    WriteErr(prompt);
  }
  if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring line;
  if (IsConsole(in)) {
    wchar_t c;
    DWORD got = 0;
    while (ReadConsoleW(in, &c, 1, &got, nullptr) && got == 1 && c != L'\n') {
      if (c != L'\r') line += c;
    }
    if (got == 0 && line.empty()) return false;
    answer = WideToUtf8(line);
    return true;
  }
  std::string bytes;
  char c;
  DWORD got = 0;
  while (ReadFile(in, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    if (c != '\r') bytes += c;
  }
  if (got == 0 && bytes.empty()) return false;
  answer = bytes;
  return true;
}

void WaitBeforeClosing() {
  // Alone on its console: Windows made the console for this program and closes it after.
  // Only the console's own keyboard is waited for: never a pipe that may stay open.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1 || !InputIsTerminal()) return;
  std::string line;
  AskLine("\nPress Enter to close this window.", line);
}
