// gramconv's files on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "tool_files.h"

namespace {

std::string Failure(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + strerror(error);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// The permissions the new file gets: those of the file it replaces, else the usual ones.
mode_t ModeFor(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) { return path.substr(FolderPart(path).size()); }

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    // A name that exists but cannot be followed (a dangling link, no permission) is not
    // a regular file gramconv could replace.
    struct stat link;
    return lstat(path.c_str(), &link) == 0 ? PathOther : PathMissing;
  }
  return S_ISREG(st.st_mode) ? PathRegular : PathOther;
}

std::string ReadWholeFile(const std::string& path, const char* what, uint64_t minBytes,
                          uint64_t maxBytes, const char* sizeRule, std::vector<uint8_t>& bytes,
                          FileFailure* failure) {
  Told(failure, FileFine, "");
  // Non-blocking, so that opening a FIFO nobody writes to does not wait.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return Told(failure, FileCannotOpen, Failure(std::string("cannot open ") + what, path, errno));
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return Told(failure, FileNotRegular, std::string(what) + " " + path + " is not a regular file");
  }
  const uint64_t size = uint64_t(st.st_size);
  if (size < minBytes || size > maxBytes) {
    close(fd);
    return Told(
        failure, FileWrongSize,
        std::string(what) + " " + path + " has " + std::to_string(size) + " bytes; " + sizeRule);
  }
  bytes.resize(size_t(size));
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, bytes.data() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const int error = errno;
  close(fd);
  if (done != size) {
    bytes.clear();
    return Told(failure, FileCannotRead,
                Failure(std::string("cannot read ") + what, path, done < size ? error : EIO));
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
  std::string temp = folder + "." + NamePart(path) + ".gramconv-XXXXXX";
  const mode_t mode = ModeFor(path);

  const int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    return Told(failure, FileCannotCreate,
                Failure("cannot create a temporary file in", folder.empty() ? "." : folder, errno));
  }
  bool written = WriteAll(fd, data, size) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  int error = written ? 0 : errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    unlink(temp.c_str());
    return Told(failure, FileCannotWrite, Failure("cannot write", temp, error));
  }
  // Looked at once more just before: a folder or device put there meanwhile stays.
  std::string problem;
  FileFailure kind = FileCannotWrite;
  if (replace && KindOfPath(path) == PathOther) {
    problem = NotReplaceable(what, path);
    kind = FileNotRegular;
  } else if (replace ? rename(temp.c_str(), path.c_str()) != 0
                     // The plug-in's own move: a name that appeared meanwhile stays.
                     : !PlatformMoveToNewName(temp.c_str(), path.c_str())) {
    error = errno;
    if (error == EEXIST && !replace) kind = FileAlreadyExists;
    problem = error == EEXIST && !replace
                  ? std::string(what) + " " + path + " already exists; gramconv does not replace it"
                  : Failure(std::string("cannot write ") + what, path, error);
  }
  if (!problem.empty()) {
    unlink(temp.c_str());
    return Told(failure, kind, problem);
  }
  // Make the rename itself durable; failing here changes nothing the user can act on.
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return "";
}
