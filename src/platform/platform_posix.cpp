// POSIX face of the platform's file calls, for native builds and tools. Files behave as on
// Windows where the conversions can tell (create only if absent, a directory counts as existing).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
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
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // CreateFileA cannot open a folder
    close(fd);
    return kNoFile;
  }
  return FileHandle(fd);
}

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
