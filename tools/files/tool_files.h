// gramconv's own files (GRAM dumps, pictures, fitted bitmaps): read whole, written whole
// or not at all. Paths are UTF-8 on Windows, the file system's bytes elsewhere. Every
// problem comes back as a one-line text for the user (UTF-8); "" means success.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

enum PathKind {
  PathMissing,  // nothing of that name
  PathRegular,  // a regular file (through symbolic links)
  PathOther,    // a folder, a device (/dev/null, NUL), a pipe, a socket...
};

PathKind KindOfPath(const std::string& path);

// What went wrong, beside the English text, for programs that tell it in their own words.
enum FileFailure {
  FileFine,
  FileCannotOpen,     // missing, in use, no access
  FileNotRegular,     // a folder, device or pipe: never read, never replaced
  FileWrongSize,      // outside the size the caller accepts
  FileCannotRead,     // opened, but the bytes did not all come
  FileCannotCreate,   // no temporary file in the target's folder
  FileCannotWrite,    // writing or the final rename failed (disk full, target in use)
  FileAlreadyExists,  // the target exists and replacing was not asked for
};

// The refusal for a target that exists and is not a regular file.
std::string NotReplaceable(const char* what, const std::string& path);

// Reads the regular file at path whole into bytes. what names the file in messages
// ("GRAM file", "picture"); a size outside minBytes..maxBytes is refused before reading,
// with "WHAT PATH has N bytes; " + sizeRule.
std::string ReadWholeFile(const std::string& path, const char* what, uint64_t minBytes,
                          uint64_t maxBytes, const char* sizeRule, std::vector<uint8_t>& bytes,
                          FileFailure* failure = nullptr);

// Writes data to a temporary file in path's folder, then renames it to path, so path is
// either untouched or complete. replace: an existing regular file is replaced (keeping
// its permissions); otherwise an existing path is refused even if it appears meanwhile.
// A path that is not a regular file is never replaced. The temporary file never outlives
// a failure. failure, when given, hears the kind of problem (FileFine on success).
std::string WriteFileWhole(const std::string& path, const char* what, const uint8_t* data,
                           size_t size, bool replace, FileFailure* failure = nullptr);

// The folder part of path (with its separator) and the name part.
std::string FolderPart(const std::string& path);
std::string NamePart(const std::string& path);

// For the system faces of this file: stores kind in *failure when the caller asked for it,
// and passes text on.
std::string Told(FileFailure* failure, FileFailure kind, std::string text);
