// Names the shell and the chooser hand over in UTF-16, made into the ANSI code page paths the
// conversions take. Only an exact conversion is a name: a character the code page lacks is
// never replaced by a look-alike or a default character, which could name another file.
#pragma once

#include "host/module_state.h"

enum AnsiNameResult {
  AnsiNameOk,
  AnsiNameTooLong,        // more than kPathBytes - 1 bytes in the ANSI code page
  AnsiNameNotInCodePage,  // the ANSI code page cannot hold it exactly
};

// Converts name to the ANSI code page into out; out holds the name only when the result is
// AnsiNameOk, else it is empty.
AnsiNameResult ToAnsiName(const wchar_t* name, char (&out)[kPathBytes]);
