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

// True when the path names any existing file system object (a directory or a device counts).
bool PlatformPathExists(const char* path);
// Deletes a file; the outcome is not reported.
void PlatformDeleteFile(const char* path);
// Creates a file only if nothing of that name exists, for writing, shared with nobody.
FileHandle PlatformCreateNewFile(const char* path);
// Opens an existing ordinary disk file for reading; others may read it meanwhile. A device,
// pipe or folder is refused (kNoFile) without waiting on it and before any byte is read.
FileHandle PlatformOpenForRead(const char* path);
// True when something other than an ordinary disk file exists at path (a folder, a device such
// as NUL or /dev/null, a pipe); it is examined without being opened for reading or writing.
bool PlatformIsSpecialFile(const char* path);
// Creates a new file beside path under an unused temporary name, for writing, shared with
// nobody; the name goes to tempPath. On failure kNoFile, and tempPath is left empty when no
// temporary name beside path fits in 259 bytes.
FileHandle PlatformCreateTempBeside(const char* path, char (&tempPath)[260]);
// Moves a file onto a name that must still be free, in one step; false if anything has it.
bool PlatformMoveToNewName(const char* from, const char* to);
// Moves a file onto a name in one step, replacing an ordinary writable file found there;
// false when the name holds anything else, is read-only or in use.
bool PlatformMoveReplacing(const char* from, const char* to);
// Pushes what was written to the disk; false when that failed.
bool PlatformFlush(FileHandle file);
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
