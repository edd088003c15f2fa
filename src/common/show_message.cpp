// Message formatting and the message box call.
#include "common/show_message.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/texts.h"

namespace {

bool HasPlaceholder(const char* text) {
  // Shift_JIS trail bytes never equal '%', so a byte scan is safe.
  for (const char* p = strchr(text, '%'); p != nullptr; p = strchr(p + 1, '%')) {
    if (p[1] == 's' || p[1] == 'd') return true;
  }
  return false;
}

const char* FormatInto(char* out, const char* text, va_list args) {
  if (!HasPlaceholder(text)) return text;
  vsnprintf(out, kMessageBytes, text, args);
  out[kMessageBytes - 1] = '\0';  // some C runtimes leave a truncated text unterminated
  return out;
}

}  // namespace

const char* FormatMessageText(char* out, const char* text, ...) {
  va_list args;
  va_start(args, text);
  const char* result = FormatInto(out, text, args);
  va_end(args);
  return result;
}

MessageAnswer ShowMessage(MessageKind kind, const char* text, ...) {
  char buffer[kMessageBytes];
  va_list args;
  va_start(args, text);
  const char* shown = FormatInto(buffer, text, args);
  va_end(args);
  va_start(args, text);
  const MessageAnswer answer = PlatformMessageBox(kind, MessageCaption, shown, text, args);
  va_end(args);
  return answer;
}
