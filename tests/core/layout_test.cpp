// Bitmap headers of both resolutions against the file layout.
#include <gtest/gtest.h>
#include <string.h>

#include "convert/gram_bitmap.h"

namespace {

TEST(BitmapHeaders, PrefixesDifferOnlyInSizeFields) {
  uint8_t h320[kHeaderBytes];
  uint8_t h640[kHeaderBytes];
  BuildBitmapHeaders(Res320, h320);
  BuildBitmapHeaders(Res640, h640);
  EXPECT_EQ(ReadLe32(h320 + 2), 32118u);
  EXPECT_EQ(ReadLe32(h640 + 2), 64118u);
}

}  // namespace
