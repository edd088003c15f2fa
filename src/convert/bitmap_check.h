// The import's checks of a bitmap file, as a pure function over what was read.
#pragma once

#include <stdint.h>

#include "convert/gram_bitmap.h"

// The start of a file as the import reads it: three reads in sequence from offset 0,
// each with the count of bytes it delivered.
struct BitmapHeadRead {
  uint8_t fileHeader[kFileHeaderBytes];
  uint32_t fileHeaderCount;
  uint8_t infoHeader[kInfoHeaderBytes];
  uint32_t infoHeaderCount;
  uint8_t palette[kPaletteBytes];
  uint32_t paletteCount;
};

// Outcome of the checks, in the order they are made; the first failing one wins.
enum BitmapCheck {
  BitmapAccepted,
  BitmapNotBitmap,     // fewer than 14 bytes, or not "BM"
  BitmapNoInfoHeader,  // fewer than 40 more bytes
  BitmapNot16Colour,   // biBitCount is not 4
  BitmapWrongCanvas,   // not the selected width x 200 (top-down files included)
  BitmapCompressed,    // biCompression is not 0
  BitmapNoPalette,     // fewer than 64 more bytes
  BitmapNoPixels,      // the pixel rows could not be read in full
};

// Judges the headers and palette of a file for import at the given resolution.
BitmapCheck CheckBitmapHead(const BitmapHeadRead& head, Resolution res);

// Where the pixel rows start: bfOffBits when it is at least 54, else 118 (the fixed layout).
uint32_t PixelRowsOffset(const uint8_t* fileHeader);
