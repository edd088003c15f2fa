// The two conversions the converter dialog runs. Both tell every outcome to the user in
// message boxes and report nothing to the caller. They use the module's GramPlanes.
#pragma once

#include "convert/gram_bitmap.h"

// Writes GRAM to a new 16-colour bitmap file at path (at most 259 bytes, code page 932).
void ExportGramToBitmap(const char* path, Resolution res);
// Checks the bitmap file at path and, once the user confirms, overwrites GRAM with it.
void ImportBitmapToGram(const char* path, Resolution res);
