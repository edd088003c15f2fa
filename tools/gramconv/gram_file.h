// GRAM dump files: 48000 bytes, plane 0, plane 1 and plane 2 of 16000 bytes each.
#pragma once

#include <stdint.h>

#include <string>

#include "convert/gram_bitmap.h"

enum : uint32_t { kGramFileBytes = 3 * kGramPlaneBytes };  // 48000

// Reads a dump into gram (kGramFileBytes). Returns an empty string on success, else what
// went wrong (UTF-8, for the user).
std::string ReadGramFile(const std::string& path, uint8_t* gram);

// Replaces path with the dump in gram: writes a temporary file in the same folder, then
// renames it over path, so path is either untouched or complete. An existing file's
// permissions are kept; a folder, device or pipe of that name is refused. Returns an empty string
// on success, else what went wrong; the temporary file never outlives a failure.
std::string WriteGramFileReplacing(const std::string& path, const uint8_t* gram);
