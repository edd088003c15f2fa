// The import's header checks; no platform calls, so they run anywhere, fuzzers included.
#include "convert/bitmap_check.h"

namespace {

// An info-header field, addressed by its offset in the file.
const uint8_t* InfoField(const BitmapHeadRead& head, uint32_t fileOffset) {
  return head.infoHeader + (fileOffset - kFileHeaderBytes);
}

}  // namespace

BitmapCheck CheckBitmapHead(const BitmapHeadRead& head, Resolution res) {
  if (head.fileHeaderCount != kFileHeaderBytes || ReadLe16(head.fileHeader + kOffType) != 0x4D42) {
    return BitmapNotBitmap;
  }
  if (head.infoHeaderCount != kInfoHeaderBytes) return BitmapNoInfoHeader;
  if (ReadLe16(InfoField(head, kOffBitCount)) != 4) return BitmapNot16Colour;
  if (ReadLe32(InfoField(head, kOffWidth)) != BitmapWidth(res) ||
      ReadLe32(InfoField(head, kOffHeight)) != kBitmapHeight) {
    return BitmapWrongCanvas;
  }
  // Compressed pixel data would load as noise: refuse it rather than decode it as rows.
  if (ReadLe32(InfoField(head, kOffCompression)) != 0) return BitmapCompressed;
  if (head.paletteCount != kPaletteBytes) return BitmapNoPalette;
  return BitmapAccepted;
}

uint32_t PixelRowsOffset(const uint8_t* fileHeader) {
  // Longer info headers (V4, V5) and short palettes move the rows; bfOffBits says where.
  // Offsets inside the file header itself are nonsense, so the fixed layout applies.
  const uint32_t offBits = ReadLe32(fileHeader + kOffOffBits);
  return offBits >= kHeaderBytes ? offBits : kPixelOffset;
}
