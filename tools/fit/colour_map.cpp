// The canvas mapped to the 8 GRAM colours, plainly or dithered.
#include "colour_map.h"

#include <stddef.h>

#include <vector>

namespace {

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green.
inline uint8_t ColourOf(bool red, bool green, bool blue) {
  return uint8_t((blue ? 1 : 0) | (red ? 2 : 0) | (green ? 4 : 0));
}

// The 8 colours are the corners of the RGB cube, so the nearest one is chosen per channel;
// an 8-bit channel is never equally far from 0 and 255, so no tie arises.
void MapNearest(const uint8_t* canvas, size_t count, uint8_t* colours) {
  for (size_t i = 0; i < count; ++i, canvas += 3) {
    colours[i] = ColourOf(canvas[0] >= 128, canvas[1] >= 128, canvas[2] >= 128);
  }
}

// 8x8 Bayer: a channel is on where its value passes the threshold (m + 0.5) x 255 / 64, so
// a flat value v lights about v / 255 of every 8x8 block.
void MapOrdered(const uint8_t* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  static const uint8_t kBayer[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x, canvas += 3) {
      const uint32_t threshold = 255u * (2u * kBayer[y % 8][x % 8] + 1u);
      colours[size_t(y) * width + x] = ColourOf(
          128u * canvas[0] > threshold, 128u * canvas[1] > threshold, 128u * canvas[2] > threshold);
    }
  }
}

// Floyd-Steinberg, each row walked away from where the previous one ended, so the error
// does not drift to one side. Each channel carries its own error.
void MapDiffusion(const uint8_t* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  // Errors carried into this row and into the next, with a spare entry at each end.
  std::vector<float> here((width + 2) * 3, 0.0f), below((width + 2) * 3, 0.0f);
  for (uint32_t y = 0; y < height; ++y) {
    const bool rightward = y % 2 == 0;
    const ptrdiff_t step = rightward ? 3 : -3;
    // Errors in flight, kept out of memory: to the next pixel; to the entry below the
    // previous pixel (two parts of three so far); to the entry below this one (one part).
    float ahead[3] = {}, twoParts[3] = {}, onePart[3] = {};
    ptrdiff_t at = rightward ? 3 : ptrdiff_t(width) * 3;  // this pixel's entry: (x + 1) x 3
    for (uint32_t i = 0; i < width; ++i, at += step) {
      const size_t x = size_t(at) / 3 - 1;
      const uint8_t* source = canvas + (size_t(y) * width + x) * 3;
      bool on[3];
      for (int c = 0; c < 3; ++c) {
        const float value = source[c] + (here[at + c] + ahead[c]);
        on[c] = value > 127.5f;  // equally far: the lower colour number
        const float error = value - (on[c] ? 255.0f : 0.0f);
        ahead[c] = error * (7.0f / 16);
        below[at - step + c] = twoParts[c] + error * (3.0f / 16);
        twoParts[c] = onePart[c] + error * (5.0f / 16);
        onePart[c] = error * (1.0f / 16);
      }
      colours[size_t(y) * width + x] = ColourOf(on[0], on[1], on[2]);
    }
    for (int c = 0; c < 3; ++c) {
      below[at - step + c] = twoParts[c];  // below the last pixel
      below[at + c] = onePart[c];          // the spare beyond it
    }
    here.swap(below);
  }
}

}  // namespace

void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours) {
  const uint8_t* rgb = canvas.rgb.data();
  switch (dither) {
    case DitherOrdered: MapOrdered(rgb, canvas.width, canvas.height, colours); break;
    case DitherDiffusion: MapDiffusion(rgb, canvas.width, canvas.height, colours); break;
    default: MapNearest(rgb, size_t(canvas.width) * canvas.height, colours); break;
  }
}
