// The conversions' message boxes on a terminal: texts in UTF-8, errors on stderr,
// information on stdout, questions asked on the terminal (or answered by the caller's
// policy). Also remembers which boxes were shown, since the conversions report nothing.
#pragma once

#include <string>

enum QuestionPolicy {
  AskOnTerminal,  // ask when stdin is a terminal; without one a question counts as Cancel
  AnswerAllOk,    // --yes
};

// Installs the console handler for all later boxes. path is the file name the conversion
// is given; it appears inside some texts as the file system's own bytes, not code page 932.
void InstallConsoleBoxes(QuestionPolicy policy, const std::string& path);
// The file name later boxes show, when it changes (fit's preview after its BMP file).
void SetBoxPath(const std::string& path);

// True once an information box with exactly this text (code page 932) has been shown.
bool InformationShown(const char* text);

// Keeps an information box with this text back until ReleaseHeldInformation: the caller
// still has work to finish before the outcome it announces is true.
void HoldInformation(const char* text);
void ReleaseHeldInformation();

// Converts a box text to UTF-8: code page 932 around the path, the path's bytes kept as
// they are; bytes that are not code page 932 become '?'.
std::string BoxTextToUtf8(const std::string& text, const std::string& path);

// Prints one of gramconv's own errors (UTF-8) on stderr.
void PrintError(const std::string& text);
