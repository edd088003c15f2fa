// Win32 face of the platform's file calls. Paths arrive as bytes in the path code page (the
// system's ANSI code page in the plug-in, UTF-8 in gramconv.exe) and go to the wide API.
#include "platform/platform_win32.h"

#include <windows.h>

#include "platform/platform.h"

namespace {

UINT g_pathCodePage = CP_ACP;

// A path in wide characters; empty (and so refused by every call) when it does not convert.
struct WidePath {
  wchar_t text[MAX_PATH * 2];
  explicit WidePath(const char* path) {
    const int n = MultiByteToWideChar(g_pathCodePage, MB_ERR_INVALID_CHARS, path, -1, text,
                                      int(sizeof text / sizeof text[0]));
    if (n <= 0) text[0] = L'\0';
  }
};

}  // namespace

void PlatformSetPathCodePage(unsigned codePage) { g_pathCodePage = codePage; }

unsigned PlatformPathCodePage() { return g_pathCodePage; }

bool PlatformPathExists(const char* path) {
  return GetFileAttributesW(WidePath(path).text) != INVALID_FILE_ATTRIBUTES;
}

void PlatformDeleteFile(const char* path) { DeleteFileW(WidePath(path).text); }

FileHandle PlatformCreateNewFile(const char* path) {
  HANDLE h = CreateFileW(WidePath(path).text, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : FileHandle(h);
}

FileHandle PlatformOpenForRead(const char* path) {
  HANDLE h = CreateFileW(WidePath(path).text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
