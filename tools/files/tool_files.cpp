#include "tool_files.h"

std::string NotReplaceable(const char* what, const std::string& path) {
  return std::string(what) + " " + path +
         " exists and is not a regular file (a folder, device or pipe); gramconv does not "
         "replace it";
}

std::string Told(FileFailure* failure, FileFailure kind, std::string text) {
  if (failure != nullptr) *failure = kind;
  return text;
}
