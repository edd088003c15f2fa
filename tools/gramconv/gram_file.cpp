#include "gram_file.h"

#include <string.h>

#include <vector>

#include "tool_files.h"

std::string ReadGramFile(const std::string& path, uint8_t* gram) {
  std::vector<uint8_t> bytes;
  const std::string problem =
      ReadWholeFile(path, "GRAM file", kGramFileBytes, kGramFileBytes,
                    "a GRAM dump has exactly 48000 (planes 0, 1 and 2 of 16000 bytes)", bytes);
  if (problem.empty()) memcpy(gram, bytes.data(), kGramFileBytes);
  return problem;
}

std::string WriteGramFileReplacing(const std::string& path, const uint8_t* gram) {
  return WriteFileWhole(path, "GRAM file", gram, kGramFileBytes, true);
}
