#include "console_boxes.h"

#include <ctype.h>

#include <vector>

#include "console_output.h"
#include "platform/message_box_handler.h"

namespace {

QuestionPolicy g_policy = AskOnTerminal;
std::string g_path;
std::vector<std::string> g_shownInformation;
std::string g_heldText;     // code page 932, as the conversion showed it
std::string g_heldPrinted;  // UTF-8, waiting for ReleaseHeldInformation
bool g_holding = false;

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
  std::string line;
  if (!AskLine(question + "\nOK / Cancel? [y/N] ", line)) return AnswerCancel;
  std::string answer;
  for (const char c : line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!isspace(u)) answer += char(tolower(u));
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
        WriteOut(shown + "\n");
      }
      return AnswerOk;
    case QuestionBox: break;
  }
  if (g_policy == AnswerAllOk) {
    WriteErr(shown + "\n-> OK (--yes)\n");
    return AnswerOk;
  }
  if (!InputIsTerminal()) {
    WriteErr(shown + "\n-> Cancel (no terminal to ask; --yes answers OK)\n");
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

void SetBoxPath(const std::string& path) { g_path = path; }

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
  if (!g_heldPrinted.empty()) WriteOut(g_heldPrinted + "\n");
  g_holding = false;
  g_heldPrinted.clear();
}

std::string BoxTextToUtf8(const std::string& text, const std::string& path) {
  // The texts put the path in with %s, so it sits between two code page 932 parts.
  const size_t at = FindAtCharacter(text, path);
  if (at == std::string::npos) return Cp932ToUtf8(text);
  return Cp932ToUtf8(text.substr(0, at)) + path + Cp932ToUtf8(text.substr(at + path.size()));
}

void PrintError(const std::string& text) { WriteErr("gramconv: error: " + text + "\n"); }
