// The one way the plug-in speaks to the user: a message box captioned MessageCaption, owned
// by the converter dialog while it is open, else without owner.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

enum : size_t { kMessageBytes = 512 };

// Formats text into out (kMessageBytes, terminator included) when it holds %s or %d,
// truncating and always terminating; returns out, or text itself when it has no placeholder.
const char* FormatMessageText(char* out, const char* text, ...);

// Shows text (formatted as above) in a box of the given kind and returns the answer.
MessageAnswer ShowMessage(MessageKind kind, const char* text, ...);
