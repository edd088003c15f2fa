// The bitmap headers and the fixed palette, byte for byte as a 16-colour file must carry them.
#include <gtest/gtest.h>
#include <string.h>

#include "convert/gram_bitmap.h"

namespace {

// File header and info header of a 320 x 200 file, field by field, little-endian.
const uint8_t kHeaders320[kHeaderBytes] = {
    0x42, 0x4D,              // bfType "BM"
    0x76, 0x7D, 0x00, 0x00,  // bfSize 32118
    0x00, 0x00,              // bfReserved1
    0x00, 0x00,              // bfReserved2
    0x76, 0x00, 0x00, 0x00,  // bfOffBits 118
    0x28, 0x00, 0x00, 0x00,  // biSize 40
    0x40, 0x01, 0x00, 0x00,  // biWidth 320
    0xC8, 0x00, 0x00, 0x00,  // biHeight 200
    0x01, 0x00,              // biPlanes 1
    0x04, 0x00,              // biBitCount 4
    0x00, 0x00, 0x00, 0x00,  // biCompression 0
    0x00, 0x7D, 0x00, 0x00,  // biSizeImage 32000
    0x00, 0x00, 0x00, 0x00,  // biXPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biYPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biClrUsed
    0x08, 0x00, 0x00, 0x00,  // biClrImportant 8
};

const uint8_t kHeaders640[kHeaderBytes] = {
    0x42, 0x4D,              // bfType "BM"
    0x76, 0xFA, 0x00, 0x00,  // bfSize 64118
    0x00, 0x00,              // bfReserved1
    0x00, 0x00,              // bfReserved2
    0x76, 0x00, 0x00, 0x00,  // bfOffBits 118
    0x28, 0x00, 0x00, 0x00,  // biSize 40
    0x80, 0x02, 0x00, 0x00,  // biWidth 640
    0xC8, 0x00, 0x00, 0x00,  // biHeight 200
    0x01, 0x00,              // biPlanes 1
    0x04, 0x00,              // biBitCount 4
    0x00, 0x00, 0x00, 0x00,  // biCompression 0
    0x00, 0xFA, 0x00, 0x00,  // biSizeImage 64000
    0x00, 0x00, 0x00, 0x00,  // biXPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biYPelsPerMeter
    0x00, 0x00, 0x00, 0x00,  // biClrUsed
    0x08, 0x00, 0x00, 0x00,  // biClrImportant 8
};

// Blue, green, red, 0 for indices 0-15: near-black and near-full values; 8 is white.
const uint8_t kPalette[16][4] = {
    {1, 1, 2, 0},       {253, 1, 1, 0},   {1, 1, 253, 0},   {253, 1, 253, 0},
    {1, 253, 1, 0},     {253, 254, 1, 0}, {1, 253, 254, 0}, {253, 253, 253, 0},
    {253, 253, 253, 0}, {253, 1, 1, 0},   {1, 1, 253, 0},   {253, 1, 253, 0},
    {1, 253, 1, 0},     {253, 254, 1, 0}, {1, 253, 254, 0}, {253, 253, 253, 0},
};

// The buffer starts with non-zero bytes, so fields left unwritten show up as well.
void ExpectHeaders(Resolution res, const uint8_t* want) {
  uint8_t headers[kHeaderBytes + 8];
  memset(headers, 0xEE, sizeof headers);
  BuildBitmapHeaders(res, headers);
  for (uint32_t i = 0; i < kHeaderBytes; ++i) {
    EXPECT_EQ(headers[i], want[i]) << "offset " << i << ", res " << res;
  }
  for (uint32_t i = kHeaderBytes; i < sizeof headers; ++i) {
    EXPECT_EQ(headers[i], 0xEE) << "written past the headers at " << i;
  }
}

TEST(BitmapHeaders, MatchTheFileLayoutOfEachResolution) {
  ExpectHeaders(Res320, kHeaders320);
  ExpectHeaders(Res640, kHeaders640);
  EXPECT_EQ(BitmapWidth(Res320), 320u);
  EXPECT_EQ(BitmapWidth(Res640), 640u);
}

TEST(FixedPalette, MatchesTheColourTable) {
  for (int index = 0; index < 16; ++index) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(FixedPalette[4 * index + c], kPalette[index][c])
          << "entry " << index << " byte " << c;
    }
  }
}

TEST(FilePrefix, ResolutionsDifferOnlyInSizeAndWidthFields) {
  // The first 118 bytes of an exported file: headers, then the palette.
  uint8_t prefix320[kPixelOffset];
  uint8_t prefix640[kPixelOffset];
  BuildBitmapHeaders(Res320, prefix320);
  BuildBitmapHeaders(Res640, prefix640);
  memcpy(prefix320 + kHeaderBytes, FixedPalette, kPaletteBytes);
  memcpy(prefix640 + kHeaderBytes, FixedPalette, kPaletteBytes);
  ASSERT_EQ(kPixelOffset, 118u);
  for (uint32_t i = 0; i < kPixelOffset; ++i) {
    const bool bfSize = i >= 2 && i < 6;
    const bool biWidth = i >= 18 && i < 22;
    const bool biSizeImage = i >= 34 && i < 38;
    if (!bfSize && !biWidth && !biSizeImage) {
      EXPECT_EQ(prefix320[i], prefix640[i]) << "offset " << i;
    }
  }
  EXPECT_NE(memcmp(prefix320 + 2, prefix640 + 2, 4), 0) << "bfSize";
  EXPECT_NE(memcmp(prefix320 + 18, prefix640 + 18, 4), 0) << "biWidth";
  EXPECT_NE(memcmp(prefix320 + 34, prefix640 + 34, 4), 0) << "biSizeImage";
}

TEST(LittleEndianFields, ReadBackWhatTheHeadersHold) {
  EXPECT_EQ(ReadLe16(kHeaders640 + 0), 0x4D42u);
  EXPECT_EQ(ReadLe32(kHeaders640 + 2), 64118u);
  EXPECT_EQ(ReadLe16(kHeaders640 + 28), 4u);
  const uint8_t high[4] = {0x01, 0x02, 0x03, 0xF4};
  EXPECT_EQ(ReadLe32(high), 0xF4030201u);
}

}  // namespace
