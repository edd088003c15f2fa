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

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// True when text starts with word (upper-case ASCII), letters compared without case.
bool StartsWithWord(const wchar_t* text, const wchar_t* word) {
  for (; *word != L'\0'; ++text, ++word) {
    const wchar_t c = *text >= L'a' && *text <= L'z' ? wchar_t(*text - 32) : *text;
    if (c != *word) return false;
  }
  return true;
}

// True when the component at name, up to a separator or the end, is exactly word.
bool ComponentIs(const wchar_t* name, const wchar_t* word) {
  const size_t length = wcslen(word);
  return StartsWithWord(name, word) && (name[length] == L'\0' || IsSeparator(name[length]));
}

// True for a reserved DOS device name (CON, NUL, COM1, ...), which names a device in every
// folder whatever extension follows it. name runs to the end of the path.
bool IsReservedName(const wchar_t* name) {
  size_t base = 0;  // the name before any extension or stream, trailing spaces dropped
  while (name[base] != L'\0' && name[base] != L'.' && name[base] != L':') ++base;
  while (base > 0 && name[base - 1] == L' ') --base;
  static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* word : kPlain) {
    if (base == wcslen(word) && StartsWithWord(name, word)) return true;
  }
  if (base != 4 || !(StartsWithWord(name, L"COM") || StartsWithWord(name, L"LPT"))) return false;
  const wchar_t digit = name[3];
  return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// True when the path names a device or a pipe by its name alone: the \\.\ and \\?\ device
// spaces (drive paths in them aside), the pipe and mail-slot shares of any server, and the
// reserved device names in any folder. Such names are never opened: some opens wait.
bool IsDeviceName(const wchar_t* path) {
  if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    const wchar_t* rest = path + 2;
    bool share = true;  // \\server\share\...
    if ((rest[0] == L'.' || rest[0] == L'?') && IsSeparator(rest[1])) {
      rest += 2;
      if (rest[0] != L'\0' && rest[1] == L':' && IsSeparator(rest[2])) {
        share = false;  // \\?\C:\... is a drive path
      } else if (ComponentIs(rest, L"UNC") && rest[3] != L'\0') {
        rest += 4;
      } else {
        return true;
      }
    }
    if (share) {
      while (*rest != L'\0' && !IsSeparator(*rest)) ++rest;  // the server
      if (*rest != L'\0') ++rest;
      if (ComponentIs(rest, L"PIPE") || ComponentIs(rest, L"MAILSLOT")) return true;
    }
  }
  const wchar_t* name = path[0] != L'\0' && path[1] == L':' ? path + 2 : path;
  for (const wchar_t* p = name; *p != L'\0'; ++p) {
    if (IsSeparator(*p)) name = p + 1;
  }
  return IsReservedName(name);
}

// Appends n as hexadecimal digits.
wchar_t* AppendHex(wchar_t* out, uint32_t n, int digits) {
  for (int i = digits - 1; i >= 0; --i) *out++ = L"0123456789abcdef"[(n >> (4 * i)) & 15];
  return out;
}

}  // namespace

void PlatformSetPathCodePage(unsigned codePage) { g_pathCodePage = codePage; }

unsigned PlatformPathCodePage() { return g_pathCodePage; }

bool PlatformPathExists(const char* path) {
  // A device name is always there, whatever the attributes say of it.
  const WidePath wide(path);
  return IsDeviceName(wide.text) || GetFileAttributesW(wide.text) != INVALID_FILE_ATTRIBUTES;
}

void PlatformDeleteFile(const char* path) { DeleteFileW(WidePath(path).text); }

FileHandle PlatformCreateNewFile(const char* path) {
  HANDLE h = CreateFileW(WidePath(path).text, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : FileHandle(h);
}

FileHandle PlatformOpenForRead(const char* path) {
  const WidePath wide(path);
  if (IsDeviceName(wide.text)) return kNoFile;
  HANDLE h = CreateFileW(wide.text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoFile;
  // Reached some other way (a link, a Unix FIFO under Wine): refused before the first read.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kNoFile;
  }
  return FileHandle(h);
}

bool PlatformIsSpecialFile(const char* path) {
  const WidePath wide(path);
  if (wide.text[0] == L'\0') return false;
  if (IsDeviceName(wide.text)) return true;
  const DWORD attributes = GetFileAttributesW(wide.text);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  // Opened for its attributes only, which neither reads, nor waits, nor meets sharing. Asked
  // even without attributes: Wine has none for a Unix device such as Z:\dev\zero.
  HANDLE h = CreateFileW(wide.text, FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool special = GetFileType(h) != FILE_TYPE_DISK;
  CloseHandle(h);
  return special;
}

FileHandle PlatformCreateTempBeside(const char* path, char (&tempPath)[260]) {
  tempPath[0] = '\0';
  const WidePath wide(path);
  if (wide.text[0] == L'\0') return kNoFile;
  size_t folder = 0;  // characters up to the last separator, or a drive's colon
  for (size_t i = 0; wide.text[i] != L'\0'; ++i) {
    if (IsSeparator(wide.text[i]) || (i == 1 && wide.text[i] == L':')) folder = i + 1;
  }
  wchar_t temp[MAX_PATH * 2];
  if (folder + 16 > sizeof temp / sizeof temp[0]) return kNoFile;
  memcpy(temp, wide.text, folder * sizeof(wchar_t));
  static uint32_t counter;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t unique =
        GetCurrentProcessId() * 2654435761u ^ GetTickCount() ^ (++counter * 40503u);
    memcpy(temp + folder, L"~vt", 3 * sizeof(wchar_t));
    wchar_t* end = AppendHex(temp + folder + 3, unique, 6);
    memcpy(end, L".tmp", 5 * sizeof(wchar_t));
    // The name in the path code page, at most 259 bytes.
    if (WideCharToMultiByte(g_pathCodePage, 0, temp, -1, tempPath, int(sizeof tempPath), nullptr,
                            nullptr) <= 0) {
      tempPath[0] = '\0';
      return kNoFile;
    }
    HANDLE h =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return FileHandle(h);
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return kNoFile;
}

bool PlatformMoveToNewName(const char* from, const char* to) {
  return MoveFileExW(WidePath(from).text, WidePath(to).text, MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatformMoveReplacing(const char* from, const char* to) {
  if (PlatformIsSpecialFile(to)) return false;
  const WidePath target(to);
  const DWORD attributes = GetFileAttributesW(target.text);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  return MoveFileExW(WidePath(from).text, target.text,
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatformFlush(FileHandle file) { return FlushFileBuffers(HANDLE(file)) != 0; }

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
