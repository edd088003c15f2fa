// The fixed palette and the two headers every exported bitmap starts with.
#include <string.h>

#include "convert/gram_bitmap.h"

// Near-black and near-full intensities; entries 8-15 repeat 7 and 1-7 (8 is white).
const uint8_t FixedPalette[kPaletteBytes] = {
    1,   1,   2,   0,  // 0 black
    253, 1,   1,   0,  // 1 blue
    1,   1,   253, 0,  // 2 red
    253, 1,   253, 0,  // 3 magenta
    1,   253, 1,   0,  // 4 green
    253, 254, 1,   0,  // 5 cyan
    1,   253, 254, 0,  // 6 yellow
    253, 253, 253, 0,  // 7 white
    253, 253, 253, 0,  // 8
    253, 1,   1,   0,  // 9
    1,   1,   253, 0,  // 10
    253, 1,   253, 0,  // 11
    1,   253, 1,   0,  // 12
    253, 254, 1,   0,  // 13
    1,   253, 254, 0,  // 14
    253, 253, 253, 0,  // 15
};

namespace {

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutLe16(p + 2, v >> 16);
}

}  // namespace

void BuildBitmapHeaders(Resolution res, uint8_t* headers) {
  const uint32_t pixelBytes = PixelDataBytes(res);
  memset(headers, 0, kHeaderBytes);
  headers[0] = 'B';
  headers[1] = 'M';
  PutLe32(headers + kOffFileSize, kPixelOffset + pixelBytes);
  PutLe32(headers + kOffOffBits, kPixelOffset);
  PutLe32(headers + kOffInfoSize, kInfoHeaderBytes);
  PutLe32(headers + kOffWidth, BitmapWidth(res));
  PutLe32(headers + kOffHeight, kBitmapHeight);
  PutLe16(headers + kOffPlanes, 1);
  PutLe16(headers + kOffBitCount, 4);
  PutLe32(headers + kOffSizeImage, pixelBytes);
  PutLe32(headers + kOffClrImportant, 8);
}
