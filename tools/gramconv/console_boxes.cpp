#include "console_boxes.h"

#include <ctype.h>
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "platform/message_box_handler.h"

namespace {

QuestionPolicy g_policy = AskOnTerminal;
std::string g_path;
std::vector<std::string> g_shownInformation;
std::string g_heldText;     // code page 932, as the conversion showed it
std::string g_heldPrinted;  // UTF-8, waiting for ReleaseHeldInformation
bool g_holding = false;

// Converts code page 932 bytes to UTF-8; a byte iconv cannot take becomes '?'.
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

// Finds needle in code page 932 text where a character starts: an ASCII byte may also be
// the second byte of a two-byte character.
size_t FindAtCharacter(const std::string& text, const std::string& needle) {
  if (needle.empty()) return std::string::npos;
  for (size_t i = 0; i + needle.size() <= text.size();) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    i += (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) ? 2 : 1;
  }
  return std::string::npos;
}

// Reads the user's answer to a question from the terminal; anything but yes/ok is Cancel.
MessageAnswer AskTerminal(const std::string& question) {
  FILE* tty = fopen("/dev/tty", "w");
  FILE* out = tty != nullptr ? tty : stderr;
  fprintf(out, "%s\nOK / Cancel? [y/N] ", question.c_str());
  fflush(out);
  if (tty != nullptr) fclose(tty);

  char line[64];
  if (fgets(line, sizeof line, stdin) == nullptr) return AnswerCancel;
  std::string answer;
  for (const char* p = line; *p != '\0'; ++p) {
    if (!isspace(static_cast<unsigned char>(*p))) answer += char(tolower(*p));
  }
  return answer == "y" || answer == "yes" || answer == "ok" || answer == "o" ? AnswerOk
                                                                             : AnswerCancel;
}

MessageAnswer ConsoleBox(MessageKind kind, const char* /*caption*/, const char* text) {
  const std::string shown = BoxTextToUtf8(text, g_path);
  switch (kind) {
    case ErrorBox: PrintError(shown); return AnswerOk;
    case InformationBox:
      g_shownInformation.push_back(text);
      if (g_holding && g_heldText == text) {
        g_heldPrinted = shown;
      } else {
        printf("%s\n", shown.c_str());
        fflush(stdout);
      }
      return AnswerOk;
    case QuestionBox: break;
  }
  if (g_policy == AnswerAllOk) {
    fprintf(stderr, "%s\n-> OK (--yes)\n", shown.c_str());
    return AnswerOk;
  }
  if (!isatty(STDIN_FILENO)) {
    fprintf(stderr, "%s\n-> Cancel (no terminal to ask; --yes answers OK)\n", shown.c_str());
    return AnswerCancel;
  }
  return AskTerminal(shown);
}

}  // namespace

void InstallConsoleBoxes(QuestionPolicy policy, const std::string& path) {
  g_policy = policy;
  g_path = path;
  SetMessageBoxHandler(&ConsoleBox);
}

bool InformationShown(const char* text) {
  for (const std::string& shown : g_shownInformation) {
    if (shown == text) return true;
  }
  return false;
}

void HoldInformation(const char* text) {
  g_holding = true;
  g_heldText = text;
  g_heldPrinted.clear();
}

void ReleaseHeldInformation() {
  if (!g_heldPrinted.empty()) {
    printf("%s\n", g_heldPrinted.c_str());
    fflush(stdout);
  }
  g_holding = false;
  g_heldPrinted.clear();
}

std::string BoxTextToUtf8(const std::string& text, const std::string& path) {
  // The texts put the path in with %s, so it sits between two code page 932 parts.
  const size_t at = FindAtCharacter(text, path);
  if (at == std::string::npos) return Cp932ToUtf8(text);
  return Cp932ToUtf8(text.substr(0, at)) + path + Cp932ToUtf8(text.substr(at + path.size()));
}

void PrintError(const std::string& text) {
  fflush(stdout);
  fprintf(stderr, "gramconv: error: %s\n", text.c_str());
}
