// What only the Win32 box face has: the owner of the boxes, and messages in UTF-16.
#pragma once

#include <stdarg.h>

#include "common/show_message.h"

// Boxes shown from now on belong to this window (the converter dialog while it is open: it
// is disabled under them and they stay above it), or to nobody when it is null.
void PlatformSetMessageOwner(void* window);

// Formats one of the plug-in's texts (texts.h) in UTF-16 into out, which holds kMessageBytes
// wide characters: %s takes a path in the path code page, %d a number. The bound is the one
// the code page 932 form has: the text is cut, between whole characters, where the 932 bytes
// of its own characters plus the path's bytes would pass kMessageBytes - 1. Returns out.
const wchar_t* FormatWideMessage(wchar_t* out, const char16_t* format, va_list args);
