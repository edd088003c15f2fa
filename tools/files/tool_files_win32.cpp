// gramconv's files on Windows: UTF-8 paths through the wide API, so any name works.
#include <windows.h>

#include "tool_files.h"
#include "tool_text_win32.h"

namespace {

// The system's description of an error, in English where it has one, on one line.
std::string Reason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD n = FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0) {
    n = FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  }
  std::wstring reason = n > 0 ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                             reason.back() == L' ' || reason.back() == L'.')) {
    reason.pop_back();
  }
  if (reason.empty()) return "Windows error " + std::to_string(error);
  return WideToUtf8(reason);
}

std::string Failure(const std::string& what, const std::string& path, DWORD error) {
  return what + " " + path + ": " + Reason(error);
}

// A regular file on a disk: devices (NUL, CON, COM1, also as "nul.bmp" on older systems)
// and pipes report another type, folders the directory attribute.
bool IsRegular(HANDLE h) {
  if (GetFileType(h) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(h, &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WriteAll(HANDLE h, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = DWORD(size - done > 0x1000000 ? 0x1000000 : size - done);
    DWORD n = 0;
    if (!WriteFile(h, data + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

std::string FolderPart(const std::string& path) {
  const size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string NamePart(const std::string& path) { return path.substr(FolderPart(path).size()); }

PathKind KindOfPath(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  // No access asked for: only what the object is. Backup semantics open folders too.
  const HANDLE h =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathMissing;
    return GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES ? PathMissing : PathOther;
  }
  const bool regular = IsRegular(h);
  CloseHandle(h);
  return regular ? PathRegular : PathOther;
}

std::string ReadWholeFile(const std::string& path, const char* what, uint64_t minBytes,
                          uint64_t maxBytes, const char* sizeRule, std::vector<uint8_t>& bytes,
                          FileFailure* failure) {
  Told(failure, FileFine, "");
  const HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Told(failure, FileCannotOpen,
                Failure(std::string("cannot open ") + what, path, GetLastError()));
  }
  LARGE_INTEGER size;
  if (!IsRegular(h) || !GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return Told(failure, FileNotRegular, std::string(what) + " " + path + " is not a regular file");
  }
  if (uint64_t(size.QuadPart) < minBytes || uint64_t(size.QuadPart) > maxBytes) {
    CloseHandle(h);
    return Told(failure, FileWrongSize,
                std::string(what) + " " + path + " has " + std::to_string(size.QuadPart) +
                    " bytes; " + sizeRule);
  }
  bytes.resize(size_t(size.QuadPart));
  size_t done = 0;
  DWORD error = ERROR_HANDLE_EOF;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!ReadFile(h, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr)) {
      error = GetLastError();
      break;
    }
    if (n == 0) break;
    done += n;
  }
  CloseHandle(h);
  if (done != bytes.size()) {
    bytes.clear();
    return Told(failure, FileCannotRead, Failure(std::string("cannot read ") + what, path, error));
  }
  return "";
}

std::string WriteFileWhole(const std::string& path, const char* what, const uint8_t* data,
                           size_t size, bool replace, FileFailure* failure) {
  Told(failure, FileFine, "");
  if (KindOfPath(path) == PathOther) {
    return Told(failure, FileNotRegular, NotReplaceable(what, path));
  }
  const std::string folder = FolderPart(path);
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  // A name nobody else uses: the process id and a counter, created only if new.
  for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = Utf8ToWide(folder + "." + NamePart(path) + ".gramconv-" +
                      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt));
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    error = GetLastError();
    if (h == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    return Told(failure, FileCannotCreate,
                Failure("cannot create a temporary file in", folder.empty() ? "." : folder, error));
  }
  const bool written = WriteAll(h, data, size) && FlushFileBuffers(h) != 0;
  error = GetLastError();
  CloseHandle(h);
  if (!written) {
    DeleteFileW(temp.c_str());
    return Told(failure, FileCannotWrite, Failure("cannot write", WideToUtf8(temp), error));
  }
  // Looked at once more just before: a folder or device put there meanwhile stays.
  std::string problem;
  FileFailure kind = FileCannotWrite;
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (replace && KindOfPath(path) == PathOther) {
    problem = NotReplaceable(what, path);
    kind = FileNotRegular;
  } else if (!MoveFileExW(temp.c_str(), Utf8ToWide(path).c_str(), flags)) {
    error = GetLastError();
    const bool exists = !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
    if (exists) kind = FileAlreadyExists;
    problem = !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                  ? std::string(what) + " " + path + " already exists; gramconv does not replace it"
                  : Failure(std::string("cannot write ") + what, path, error);
  }
  if (!problem.empty()) {
    DeleteFileW(temp.c_str());
    return Told(failure, kind, problem);
  }
  return "";
}
