// The product's message boxes: real Windows boxes without owner.
#include <windows.h>

#include "platform/platform.h"

MessageAnswer PlatformMessageBox(MessageKind kind, const char* caption, const char* text) {
  UINT style = MB_OK | MB_ICONINFORMATION;
  if (kind == QuestionBox) style = MB_OKCANCEL | MB_ICONQUESTION;
  if (kind == ErrorBox) style = MB_OK | MB_ICONERROR;
  return MessageBoxA(nullptr, text, caption, style) == IDCANCEL ? AnswerCancel : AnswerOk;
}
