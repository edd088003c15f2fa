#include "gram_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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

std::string ReadGramFile(const std::string& path, uint8_t* gram) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failure("cannot open GRAM file", path, errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != off_t(kGramFileBytes)) {
    const bool regular = S_ISREG(st.st_mode);
    close(fd);
    if (!regular) return "GRAM file " + path + " is not a regular file";
    return "GRAM file " + path + " has " + std::to_string(st.st_size) +
           " bytes; a GRAM dump has exactly 48000 (planes 0, 1 and 2 of 16000 bytes)";
  }
  size_t done = 0;
  while (done < kGramFileBytes) {
    const ssize_t n = read(fd, gram + done, kGramFileBytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const int error = errno;
  close(fd);
  if (done != kGramFileBytes) return Failure("cannot read GRAM file", path, error);
  return "";
}

std::string WriteGramFileReplacing(const std::string& path, const uint8_t* gram) {
  const std::string folder = FolderOf(path);
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "/." + base + ".gramconv-XXXXXX";
  const mode_t mode = ModeFor(path);

  const int fd = mkstemp(&temp[0]);
  if (fd < 0) return Failure("cannot create a temporary file in", folder, errno);
  bool written = WriteAll(fd, gram, kGramFileBytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  int error = written ? 0 : errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    unlink(temp.c_str());
    return Failure("cannot write", temp, error);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    error = errno;
    unlink(temp.c_str());
    return Failure("cannot replace GRAM file", path, error);
  }
  // Make the rename itself durable; failing here changes nothing the user can act on.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return "";
}
