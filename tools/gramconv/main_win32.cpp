// gramconv.exe's entry point: a wide main, so file names outside the ANSI code page
// arrive intact; they go on in UTF-8, and the conversions open them through the wide API.
#include <windows.h>

#include <string>
#include <vector>

#include "gramconv.h"
#include "platform/platform_win32.h"
#include "tool_text_win32.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(WideToUtf8(argv[i]));
  PlatformSetPathCodePage(CP_UTF8);
  return RunGramconv(args);
}
