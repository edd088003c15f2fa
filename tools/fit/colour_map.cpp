// The canvas mapped to the 8 GRAM colours, plainly or dithered.
#include "colour_map.h"

#include <math.h>
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

// 8x8 Bayer: a channel is on where its value passes the threshold (m + 0.5) x full / 64, so
// a flat value v lights about v / full of every 8x8 block (full: 255 for sRGB numbers,
// kFullLight for linear light, where a 50% grey lights exactly half).
template <typename Value, uint32_t kFull>
void MapOrdered(const Value* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  static const uint8_t kBayer[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x, canvas += 3) {
      const uint32_t threshold = kFull * (2u * kBayer[y % 8][x % 8] + 1u);
      colours[size_t(y) * width + x] = ColourOf(
          128u * canvas[0] > threshold, 128u * canvas[1] > threshold, 128u * canvas[2] > threshold);
    }
  }
}

// Floyd-Steinberg, each row walked away from where the previous one ended, so the error
// does not drift to one side. Each channel carries its own error, in the canvas's units
// (0 to kFull). Deciding channels apart keeps a pixel's value plus its error within half a
// step beyond 0 and kFull, so it cannot run away on saturated areas; kClamp holds it there
// against float rounding (linear light only: sRGB numbers keep their earlier results).
template <typename Value, uint32_t kFull, bool kClamp>
void MapDiffusion(const Value* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  constexpr float kFullValue = float(kFull), kHalf = kFullValue / 2;
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
      const Value* source = canvas + (size_t(y) * width + x) * 3;
      bool on[3];
      for (int c = 0; c < 3; ++c) {
        float value = source[c] + (here[at + c] + ahead[c]);
        if (kClamp) value = value < -kHalf ? -kHalf : value > kFullValue + kHalf ? kFullValue + kHalf : value;
        on[c] = value > kHalf;  // equally far: the lower colour number
        const float error = value - (on[c] ? kFullValue : 0.0f);
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

// CIELAB (D65) of linear-light colours, for the nearest colour as an eye judges it.
class Lab {
 public:
  Lab() {
    for (int i = 0; i <= kSteps; ++i) cubeRoot_[i] = float(F(double(i) / kSteps));
    for (int n = 0; n < 8; ++n) {
      Of(n & 2 ? 1.0f : 0.0f, n & 4 ? 1.0f : 0.0f, n & 1 ? 1.0f : 0.0f, corner_[n]);
    }
  }
  // L*, a*, b* of R, G, B in linear light, 0 to 1.
  void Of(float r, float g, float b, float* lab) const {
    // sRGB primaries to XYZ, each row divided by the white point's value, so white is 1, 1, 1.
    const float x = Root((0.4124f * r + 0.3576f * g + 0.1805f * b) / 0.9505f);
    const float y = Root(0.2126f * r + 0.7152f * g + 0.0722f * b);
    const float z = Root((0.0193f * r + 0.1192f * g + 0.9505f * b) / 1.0890f);
    lab[0] = 116 * y - 16;
    lab[1] = 500 * (x - y);
    lab[2] = 200 * (y - z);
  }
  // The colour number nearest to lab (squared CIELAB distance), ties to the lower number.
  uint8_t Nearest(const float* lab) const {
    uint8_t best = 0;
    float bestDistance = 1e30f;
    for (uint8_t n = 0; n < 8; ++n) {
      const float dl = lab[0] - corner_[n][0], da = lab[1] - corner_[n][1],
                  db = lab[2] - corner_[n][2];
      const float distance = dl * dl + da * da + db * db;
      if (distance < bestDistance) best = n, bestDistance = distance;
    }
    return best;
  }

 private:
  static constexpr int kSteps = 4096;
  // CIELAB's f: a cube root, straight near black.
  static double F(double t) {
    return t > 216.0 / 24389 ? cbrt(t) : (24389.0 / 27 * t + 16) / 116;
  }
  // f by a table, linearly between its steps: no cube root per pixel.
  float Root(float t) const {
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    const float at = t * kSteps;
    const int i = int(at) < kSteps ? int(at) : kSteps - 1;
    return cubeRoot_[i] + (cubeRoot_[i + 1] - cubeRoot_[i]) * (at - float(i));
  }
  float cubeRoot_[kSteps + 1];
  float corner_[8][3];
};

const Lab kLab;  // its tables filled once, before main

// Each pixel's nearest colour in CIELAB. Not per channel: in linear light a 50% channel
// looks far brighter than half way, so the plain nearest corner would be too dark.
void MapNearestLab(const uint16_t* canvas, size_t count, uint8_t* colours) {

  constexpr float kScale = 1.0f / kFullLight;
  for (size_t i = 0; i < count; ++i, canvas += 3) {
    float pixel[3];
    kLab.Of(canvas[0] * kScale, canvas[1] * kScale, canvas[2] * kScale, pixel);
    colours[i] = kLab.Nearest(pixel);
  }
}

}  // namespace

void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours) {
  const uint32_t width = canvas.width, height = canvas.height;
  if (canvas.gamma == GammaLinear) {
    const uint16_t* light = canvas.light.data();
    switch (dither) {
      case DitherOrdered: MapOrdered<uint16_t, kFullLight>(light, width, height, colours); break;
      case DitherDiffusion:
        MapDiffusion<uint16_t, kFullLight, true>(light, width, height, colours);
        break;
      default: MapNearestLab(light, size_t(width) * height, colours); break;
    }
    return;
  }
  const uint8_t* rgb = canvas.rgb.data();
  switch (dither) {
    case DitherOrdered: MapOrdered<uint8_t, 255>(rgb, width, height, colours); break;
    case DitherDiffusion: MapDiffusion<uint8_t, 255, false>(rgb, width, height, colours); break;
    default: MapNearest(rgb, size_t(width) * height, colours); break;
  }
}
