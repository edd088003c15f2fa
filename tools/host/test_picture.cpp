#include "test_picture.h"

#include <string.h>

namespace {

const uint32_t kLineBytes = kPictureWidth / 8;  // 80
const uint32_t kPlaneBytes = kLineBytes * kPictureHeight;

void FillRect(uint8_t* const planes[3], uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1,
              uint32_t colour) {  // x1, y1 exclusive
  for (uint32_t y = y0; y < y1; ++y) {
    for (uint32_t x = x0; x < x1; ++x) PutGramPixel(planes, x, y, colour);
  }
}

}  // namespace

void PutGramPixel(uint8_t* const planes[3], uint32_t x, uint32_t y, uint32_t colour) {
  const uint32_t at = y * kLineBytes + x / 8;
  const uint8_t bit = uint8_t(1u << (x % 8));
  for (uint32_t k = 0; k < 3; ++k) {
    if (colour >> k & 1u) {
      planes[k][at] |= bit;
    } else {
      planes[k][at] &= uint8_t(~bit);
    }
  }
}

uint32_t GramPixel(const uint8_t* const planes[3], uint32_t x, uint32_t y) {
  const uint32_t at = y * kLineBytes + x / 8;
  uint32_t colour = 0;
  for (uint32_t k = 0; k < 3; ++k) colour |= uint32_t(planes[k][at] >> (x % 8) & 1u) << k;
  return colour;
}

void DrawTestPicture(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2) {
  uint8_t* const planes[3] = {plane0, plane1, plane2};
  for (uint8_t* plane : planes) memset(plane, 0, kPlaneBytes);

  for (uint32_t bar = 0; bar < 8; ++bar) FillRect(planes, bar * 80, 0, bar * 80 + 80, 100, bar);

  const uint32_t white = 7, yellow = 6, cyan = 5, green = 4, magenta = 3, red = 2, blue = 1;
  FillRect(planes, 0, 100, kPictureWidth, 102, white);
  FillRect(planes, 0, 198, kPictureWidth, 200, white);
  FillRect(planes, 0, 100, 2, 200, white);
  FillRect(planes, 638, 100, kPictureWidth, 200, white);

  for (uint32_t y = 110; y < 191; ++y) {
    for (uint32_t x = 80; x < 161; ++x) {
      const int dx = int(x) - 120, dy = int(y) - 150;
      if (dx * dx + dy * dy <= 40 * 40) PutGramPixel(planes, x, y, yellow);
    }
  }
  FillRect(planes, 200, 115, 280, 185, cyan);
  for (uint32_t y = 110; y < 190; ++y) {
    for (uint32_t x = 300; x < 460; ++x) {
      PutGramPixel(planes, x, y, ((x - 300) / 16 + (y - 110) / 10) % 2 ? red : blue);
    }
  }
  // A band 12 lines high, falling one line every two positions.
  for (uint32_t x = 480; x < 620; ++x) {
    for (uint32_t y = 105 + (x - 480) / 2; y < 117 + (x - 480) / 2 && y < 196; ++y) {
      PutGramPixel(planes, x, y, green);
    }
  }
  FillRect(planes, 620, 190, 636, 198, magenta);
}
