// Message boxes answered by a handler the program installs: gramconv's console, the native
// tests' scripts. No platform calls, so every build can use it.
#include "platform/message_box_handler.h"

namespace {

MessageBoxHandler g_messageBoxHandler = nullptr;

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { g_messageBoxHandler = handler; }

MessageAnswer PlatformMessageBox(MessageKind kind, const char* caption, const char* text,
                                 const char*, va_list) {
  // Without a handler nobody can answer: questions count as Cancel.
  if (g_messageBoxHandler == nullptr) return kind == QuestionBox ? AnswerCancel : AnswerOk;
  return g_messageBoxHandler(kind, caption, text);
}
