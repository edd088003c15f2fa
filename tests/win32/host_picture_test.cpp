// The stand-in's built-in test picture: where its parts are, that all eight colours are in
// it, and that it comes out of the export codec as the picture drawn.
#include <gtest/gtest.h>
#include <string.h>

#include "convert/gram_bitmap.h"
#include "test_picture.h"

namespace {

struct Picture {
  uint8_t planes[3][kGramPlaneBytes];
  uint8_t* views[3] = {planes[0], planes[1], planes[2]};
  Picture() {
    memset(planes, 0xFF, sizeof planes);  // drawing must clear what was there
    DrawTestPicture(planes[0], planes[1], planes[2]);
  }
  uint32_t At(uint32_t x, uint32_t y) const { return GramPixel(views, x, y); }
};

TEST(TestPicture, PixelsUseThePlaneBitsOfGram) {
  uint8_t planes[3][kGramPlaneBytes] = {};
  uint8_t* views[3] = {planes[0], planes[1], planes[2]};
  PutGramPixel(views, 0, 0, 1);      // blue: plane 0 only, bit 0 is the leftmost position
  PutGramPixel(views, 15, 0, 2);     // red: plane 1, second byte, bit 7
  PutGramPixel(views, 639, 199, 4);  // green: plane 2, last byte
  EXPECT_EQ(planes[0][0], 0x01);
  EXPECT_EQ(planes[1][1], 0x80);
  EXPECT_EQ(planes[2][15999], 0x80);
  EXPECT_EQ(planes[0][1] | planes[2][0] | planes[1][0], 0);
  EXPECT_EQ(GramPixel(views, 15, 0), 2u);
  PutGramPixel(views, 15, 0, 0);  // clearing takes every plane's bit away
  EXPECT_EQ(planes[1][1], 0x00);
  EXPECT_EQ(GramPixel(views, 639, 199), 4u);
}

TEST(TestPicture, BarsFrameAndShapesAreWhereTheyAreSaid) {
  const Picture p;
  for (uint32_t colour = 0; colour < 8; ++colour) {
    SCOPED_TRACE("bar " + std::to_string(colour));
    EXPECT_EQ(p.At(colour * 80, 0), colour);
    EXPECT_EQ(p.At(colour * 80 + 79, 99), colour);
  }
  EXPECT_EQ(p.At(0, 100), 7u);  // frame
  EXPECT_EQ(p.At(639, 199), 7u);
  EXPECT_EQ(p.At(1, 150), 7u);
  EXPECT_EQ(p.At(2, 150), 0u);    // inside the frame: black
  EXPECT_EQ(p.At(120, 150), 6u);  // disc centre
  EXPECT_EQ(p.At(120, 111), 6u);
  EXPECT_EQ(p.At(85, 115), 0u);   // outside the disc, inside its square
  EXPECT_EQ(p.At(200, 115), 5u);  // block
  EXPECT_EQ(p.At(280, 115), 0u);
  EXPECT_EQ(p.At(300, 110), 1u);  // checks
  EXPECT_EQ(p.At(316, 110), 2u);
  EXPECT_EQ(p.At(300, 120), 2u);
  EXPECT_EQ(p.At(480, 105), 4u);  // band
  EXPECT_EQ(p.At(620, 190), 3u);  // corner mark
}

TEST(TestPicture, HoldsAllEightColoursInBothHalves) {
  const Picture p;
  bool top[8] = {}, bottom[8] = {};
  for (uint32_t y = 0; y < 200; ++y) {
    for (uint32_t x = 0; x < 640; ++x) (y < 100 ? top : bottom)[p.At(x, y)] = true;
  }
  for (int colour = 0; colour < 8; ++colour) {
    EXPECT_TRUE(top[colour]) << colour;
    EXPECT_TRUE(bottom[colour]) << colour;
  }
}

TEST(TestPicture, ExportsAsTheDrawnPicture) {
  Picture p;
  const GramPlanes planes = {{p.planes[0], p.planes[1], p.planes[2]}};
  static uint8_t pixels[kMaxPixelBytes];
  EncodeGram(planes, Res640, pixels);
  // Bottom-up rows of 320 bytes, the left position in the high nibble.
  for (uint32_t y = 0; y < 200; ++y) {
    for (uint32_t x = 0; x < 640; ++x) {
      const uint8_t byte = pixels[(199 - y) * 320 + x / 2];
      ASSERT_EQ(x % 2 ? byte & 0x0F : byte >> 4, p.At(x, y)) << x << "," << y;
    }
  }
}

}  // namespace
