// Exact conversion of wide names to the ANSI code page.
#include "ui/ansi_name.h"

#include <string.h>
#include <windows.h>

AnsiNameResult ToAnsiName(const wchar_t* name, char (&out)[kPathBytes]) {
  out[0] = '\0';
  // UTF-8 has no best fit and no default character; the conversion only refuses what it
  // cannot encode (a lone surrogate).
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  const int bytes =
      WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, name, -1, out,
                          int(kPathBytes), nullptr, utf8 ? nullptr : &usedDefault);
  if (bytes <= 0) {
    out[0] = '\0';
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? AnsiNameTooLong : AnsiNameNotInCodePage;
  }
  // Converted back it must be the very same name: some code pages map a character both ways
  // to something else without reporting it.
  wchar_t back[kPathBytes];  // never more characters than bytes
  const int chars = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, -1, back, kPathBytes);
  if (usedDefault || chars <= 0 || wcscmp(back, name) != 0) {
    out[0] = '\0';
    return AnsiNameNotInCodePage;
  }
  return AnsiNameOk;
}
