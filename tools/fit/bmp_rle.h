// RLE-compressed BMP files (RLE8, RLE4) turned into the same bitmap uncompressed, in memory,
// so the picture decoder reads them as any 8- or 4-bit BMP.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// What the header of an RLE bitmap says, read before any pixel.
struct RleBitmapHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0;       // 8 (RLE8) or 4 (RLE4)
  size_t pixelOffset = 0;  // where the compressed pixels start
};

// True when data starts like a BMP with a 40-byte or later info header whose compression is
// RLE8 or RLE4 (whatever else the header says).
bool IsRleBitmap(const uint8_t* data, size_t size);

// Reads the header of a file IsRleBitmap accepts. Returns "" or a one-line English reason
// (a top-down or mismatched header, a cut-short header). The size is for the caller to judge.
std::string ReadRleHeader(const uint8_t* data, size_t size, RleBitmapHeader& header);

// Expands the compressed pixels into `plain`: the file's own headers and palette, marked
// uncompressed, followed by the rows bottom-up at the same depth. Returns "" or a reason:
// "the picture is cut short" when the data ends before every row is ended, "the picture is
// damaged (...)" for a run past a row's end or a move past the picture.
std::string ExpandRleBitmap(const uint8_t* data, size_t size, const RleBitmapHeader& header,
                            std::vector<uint8_t>& plain);
