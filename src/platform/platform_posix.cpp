// POSIX face of the platform's file calls, for native builds and tools. Files behave as on
// Windows where the conversions can tell (create only if absent, a directory counts as existing).
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"

bool PlatformPathExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

void PlatformDeleteFile(const char* path) {
  // DeleteFileA removes files only; a directory stays.
  struct stat st;
  if (lstat(path, &st) == 0 && !S_ISDIR(st.st_mode)) unlink(path);
}

FileHandle PlatformCreateNewFile(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd < 0 ? kNoFile : FileHandle(fd);
}

FileHandle PlatformOpenForRead(const char* path) {
  // Non-blocking, so a FIFO without a writer or a terminal cannot hold the open.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return kNoFile;
  }
  return FileHandle(fd);
}

bool PlatformIsSpecialFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

FileHandle PlatformCreateTempBeside(const char* path, char (&tempPath)[260]) {
  tempPath[0] = '\0';
  const char* slash = strrchr(path, '/');
  const size_t folder = slash != nullptr ? size_t(slash - path) + 1 : 0;
  static uint32_t counter;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t unique =
        (uint32_t(getpid()) * 2654435761u) ^ uint32_t(time(nullptr)) ^ (++counter * 40503u);
    const int n = snprintf(tempPath, sizeof tempPath, "%.*s~vt%06x.tmp", int(folder), path,
                           unsigned(unique & 0xFFFFFFu));
    if (n < 0 || size_t(n) >= sizeof tempPath) {
      tempPath[0] = '\0';
      return kNoFile;
    }
    const int fd = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return FileHandle(fd);
    if (errno != EEXIST) break;
  }
  return kNoFile;
}

bool PlatformMoveToNewName(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  // A file system without that flag: a hard link never replaces anything either.
  if (link(from, to) != 0) return false;
  unlink(from);
  return true;
}

bool PlatformMoveReplacing(const char* from, const char* to) {
  // rename would replace a device node or a FIFO too, and a read-only file, which Windows
  // refuses to replace: the name must hold a writable ordinary file or nothing.
  struct stat st;
  if (stat(to, &st) == 0 && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0)) return false;
  return rename(from, to) == 0;
}

bool PlatformFlush(FileHandle file) { return fsync(int(file)) == 0; }

uint32_t PlatformWrite(FileHandle file, const void* data, uint32_t size) {
  const char* p = static_cast<const char*>(data);
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = write(int(file), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += uint32_t(n);
  }
  return done;
}

uint32_t PlatformRead(FileHandle file, void* data, uint32_t size) {
  char* p = static_cast<char*>(data);
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = read(int(file), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += uint32_t(n);
  }
  return done;
}

bool PlatformSeek(FileHandle file, uint32_t offset) {
  return lseek(int(file), off_t(offset), SEEK_SET) == off_t(offset);
}

void PlatformClose(FileHandle file) { close(int(file)); }
