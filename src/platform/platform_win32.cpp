// Win32 face of the platform layer: the product's file and message-box calls.
#include <windows.h>

#include "platform/platform.h"

bool PlatformPathExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void PlatformDeleteFile(const char* path) { DeleteFileA(path); }

FileHandle PlatformCreateNewFile(const char* path) {
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : FileHandle(h);
}

FileHandle PlatformOpenForRead(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : FileHandle(h);
}

uint32_t PlatformWrite(FileHandle file, const void* data, uint32_t size) {
  DWORD written = 0;
  if (!WriteFile(HANDLE(file), data, size, &written, nullptr)) return 0;
  return written;
}

uint32_t PlatformRead(FileHandle file, void* data, uint32_t size) {
  // Judged by the count delivered: a failed read counts what it delivered, usually nothing.
  DWORD got = 0;
  ReadFile(HANDLE(file), data, size, &got, nullptr);
  return got;
}

bool PlatformSeek(FileHandle file, uint32_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(HANDLE(file), to, nullptr, FILE_BEGIN) != 0;
}

void PlatformClose(FileHandle file) { CloseHandle(HANDLE(file)); }

MessageAnswer PlatformMessageBox(MessageKind kind, const char* caption, const char* text) {
  UINT style = MB_OK | MB_ICONINFORMATION;
  if (kind == QuestionBox) style = MB_OKCANCEL | MB_ICONQUESTION;
  if (kind == ErrorBox) style = MB_OK | MB_ICONERROR;
  return MessageBoxA(nullptr, text, caption, style) == IDCANCEL ? AnswerCancel : AnswerOk;
}
