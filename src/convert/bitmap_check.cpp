// The import's header checks; no platform calls, so they run anywhere, fuzzers included.
#include "convert/bitmap_check.h"

namespace {

// An info-header field, addressed by its offset in the file.
const uint8_t* InfoField(const uint8_t* infoHeader, uint32_t fileOffset) {
  return infoHeader + (fileOffset - kFileHeaderBytes);
}

}  // namespace

BitmapCheck CheckFileHeader(const uint8_t* fileHeader, uint32_t count) {
  if (count != kFileHeaderBytes || ReadLe16(fileHeader + kOffType) != 0x4D42) {
    return BitmapNotBitmap;
  }
  return BitmapAccepted;
}

BitmapCheck CheckInfoHeader(const uint8_t* infoHeader, uint32_t count, Resolution res) {
  if (count != kInfoHeaderBytes) return BitmapNoInfoHeader;
  if (ReadLe16(InfoField(infoHeader, kOffBitCount)) != 4) return BitmapNot16Colour;
  // A top-down file has a negative height and fails here too.
  if (ReadLe32(InfoField(infoHeader, kOffWidth)) != BitmapWidth(res) ||
      ReadLe32(InfoField(infoHeader, kOffHeight)) != kBitmapHeight) {
    return BitmapWrongCanvas;
  }
  // Compressed pixel data would load as noise: refuse it rather than decode it as rows.
  if (ReadLe32(InfoField(infoHeader, kOffCompression)) != 0) return BitmapCompressed;
  return BitmapAccepted;
}

BitmapCheck CheckPalette(uint32_t count) {
  return count == kPaletteBytes ? BitmapAccepted : BitmapNoPalette;
}

uint32_t PixelRowsOffset(const uint8_t* fileHeader) {
  // Longer info headers (V4, V5) and short palettes move the rows; bfOffBits says where.
  // Offsets inside the headers themselves are nonsense, so the fixed layout applies.
  const uint32_t offBits = ReadLe32(fileHeader + kOffOffBits);
  return offBits >= kHeaderBytes ? offBits : kPixelOffset;
}
