// The import's checks of a bitmap file, as pure functions over what each read delivered.
// The import reads the file header, the info header and the palette in that order and stops
// at the first check that fails; the checks make no platform calls, so they run anywhere.
#pragma once

#include <stdint.h>

#include "convert/gram_bitmap.h"

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

// The 14-byte file header, of which count bytes arrived.
BitmapCheck CheckFileHeader(const uint8_t* fileHeader, uint32_t count);
// The 40-byte info header, of which count bytes arrived, for import at the given resolution.
BitmapCheck CheckInfoHeader(const uint8_t* infoHeader, uint32_t count, Resolution res);
// The 64-byte palette, of which count bytes arrived; its values are never looked at.
BitmapCheck CheckPalette(uint32_t count);

// Where the pixel rows start: bfOffBits when it is at least 54, else 118 (the fixed layout).
uint32_t PixelRowsOffset(const uint8_t* fileHeader);
