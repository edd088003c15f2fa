// What differs between systems on gramconv's console: code page 932 texts to UTF-8, the
// output streams, and reading an answer from the user. Everything gramconv prints goes
// through here, in UTF-8.
#pragma once

#include <string>

// Converts code page 932 bytes to UTF-8; a byte that is not code page 932 becomes '?'.
std::string Cp932ToUtf8(const std::string& text);

// Writes UTF-8 text to stdout or stderr as it is (Windows: wide characters to a console,
// the UTF-8 bytes when redirected).
void WriteOut(const std::string& text);
void WriteErr(const std::string& text);

// True when stdin is a terminal (a console) someone can type an answer on.
bool InputIsTerminal();

// Shows prompt where the user sees it (the terminal, else stderr) and reads one line from
// stdin (UTF-8, without its line end). False at the end of input.
bool AskLine(const std::string& prompt, std::string& answer);

// When the program's console window goes away with it (started from Explorer: a drop, a
// double click), asks for Enter so its last words can be read; otherwise returns at once.
void WaitBeforeClosing();
