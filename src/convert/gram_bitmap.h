// GRAM plane geometry, the two pixel codecs and the 16-colour bitmap layout.
// Pure code: caller-supplied buffers, no allocation, no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Each plane is 200 lines of 80 bytes; bit 0 of a byte is the leftmost position.
enum : uint32_t {
  kGramLines = 200,
  kGramLineBytes = 80,
  kGramPlaneBytes = kGramLines * kGramLineBytes,  // 16000
};

// The three planes the host lends: plane 0 blue, plane 1 red, plane 2 green.
struct GramPlanes {
  uint8_t* plane[3];
};

enum Resolution : uint32_t {
  Res320 = 0,  // 320 x 200, one pixel per GRAM bit pair
  Res640 = 1,  // 640 x 200, one pixel per GRAM bit
};

// Bitmap file layout: 14-byte file header, 40-byte info header, 16-entry palette, pixels.
enum : uint32_t {
  kFileHeaderBytes = 14,
  kInfoHeaderBytes = 40,
  kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes,  // 54
  kPaletteBytes = 64,
  kPixelOffset = kHeaderBytes + kPaletteBytes,  // 118
  kBitmapHeight = 200,
  kMaxPixelBytes = 64000,
};

// Field offsets within the 54 header bytes (little-endian fields).
enum : uint32_t {
  kOffType = 0,
  kOffFileSize = 2,
  kOffOffBits = 10,
  kOffInfoSize = 14,
  kOffWidth = 18,
  kOffHeight = 22,
  kOffPlanes = 26,
  kOffBitCount = 28,
  kOffCompression = 30,
  kOffSizeImage = 34,
  kOffClrImportant = 50,
};

// Width in pixels of a resolution: 320 or 640.
uint32_t BitmapWidth(Resolution res);
// Pixel data bytes of a resolution: width x 100 (32000 or 64000).
uint32_t PixelDataBytes(Resolution res);

// The palette written into every exported file (blue, green, red, 0 per entry).
extern const uint8_t FixedPalette[kPaletteBytes];

// Packs the planes into bottom-up 4-bit pixel rows; fills PixelDataBytes(res) bytes.
void EncodeGram(const GramPlanes& planes, Resolution res, uint8_t* pixels);
// Unpacks bottom-up 4-bit pixel rows into the planes; overwrites all 16000 bytes of each.
void DecodeGram(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
// Fills the 54-byte file header and info header an export writes.
void BuildBitmapHeaders(Resolution res, uint8_t* headers);

// Little-endian field access used by the header code and the import checks.
inline uint32_t ReadLe16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
