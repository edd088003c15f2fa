// The thin platform layer under the conversions: files and message boxes.
// platform_win32.cpp and platform_posix.cpp are the file faces; message_box_win32.cpp shows
// real boxes, message_box_handler.cpp hands them to the program (gramconv, tests).
// Paths are byte strings used exactly as given (code page 932 in the plug-in).
#pragma once

#include <stdarg.h>
#include <stdint.h>

// An open file; kNoFile when opening failed.
typedef intptr_t FileHandle;
const FileHandle kNoFile = -1;

enum MessageKind {
  QuestionBox,     // OK and Cancel, question icon
  ErrorBox,        // OK only, error icon
  InformationBox,  // OK only, information icon
};

enum MessageAnswer {
  AnswerOk,
  AnswerCancel,
};

// True when the path names any existing file system object (a directory counts).
bool PlatformPathExists(const char* path);
// Deletes a file; the outcome is not reported.
void PlatformDeleteFile(const char* path);
// Creates a file only if nothing of that name exists, for writing, shared with nobody.
FileHandle PlatformCreateNewFile(const char* path);
// Opens an existing file for reading; others may read it meanwhile.
FileHandle PlatformOpenForRead(const char* path);
// Writes and returns the count of bytes written (less than size on failure).
uint32_t PlatformWrite(FileHandle file, const void* data, uint32_t size);
// Reads and returns the count of bytes delivered (less than size at the end or on failure).
uint32_t PlatformRead(FileHandle file, void* data, uint32_t size);
// Moves the read position to an absolute offset; false if that is impossible.
bool PlatformSeek(FileHandle file, uint32_t offset);
// Closes a file opened above.
void PlatformClose(FileHandle file);
// Shows a message box and returns the user's answer: AnswerOk only for an explicit OK.
// caption and text are the code page 932 caption and the formatted text; format and args
// are the text before formatting (one of texts.h) and its argument, for a face that formats
// it in another form.
MessageAnswer PlatformMessageBox(MessageKind kind, const char* caption, const char* text,
                                 const char* format, va_list args);
