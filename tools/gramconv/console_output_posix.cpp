// The console on POSIX systems: iconv for code page 932, stdio for the streams, the
// controlling terminal for prompts.
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <unistd.h>

#include "console_output.h"

std::string Cp932ToUtf8(const std::string& in) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == iconv_t(-1)) return in;
  std::string out;
  char buffer[256];
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, size_t(dst - buffer));
    if (rc == size_t(-1) && errno != E2BIG) {
      out += '?';
      ++src;
      --srcLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

void WriteOut(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

void WriteErr(const std::string& text) {
  fflush(stdout);
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool AskLine(const std::string& prompt, std::string& answer) {
  FILE* tty = fopen("/dev/tty", "w");
  FILE* out = tty != nullptr ? tty : stderr;
  fputs(prompt.c_str(), out);
  fflush(out);
  if (tty != nullptr) fclose(tty);

  char line[256];
  if (fgets(line, sizeof line, stdin) == nullptr) return false;
  answer = line;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return true;
}

// A terminal outlives its programs here.
void WaitBeforeClosing() {}
