// The canvas mapped to the 8 GRAM colours, plainly or dithered.
#include "colour_map.h"

#include <stddef.h>

#include <vector>

#include "colour_math.h"
#include "colour_quads.h"

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
        if (kClamp)
          value = value < -kHalf ? -kHalf : value > kFullValue + kHalf ? kFullValue + kHalf : value;
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

// L*, a*, b* (D65) of R, G, B in linear light, 0 to 1.
inline void LabOf(float r, float g, float b, float& l, float& a, float& bb) {
  // sRGB primaries to XYZ, each row divided by the white point's value, so white is 1, 1, 1.
  const float x = FastLabF((0.4124f * r + 0.3576f * g + 0.1805f * b) * (1 / 0.9505f));
  const float y = FastLabF(0.2126f * r + 0.7152f * g + 0.0722f * b);
  const float z = FastLabF((0.0193f * r + 0.1192f * g + 0.9505f * b) * (1 / 1.0890f));
  l = 116 * y - 16;
  a = 500 * (x - y);
  bb = 200 * (y - z);
}

// The 8 colours in CIELAB, by colour number.
struct Corners {
  float l[8], a[8], b[8];
  Corners() {
    for (int n = 0; n < 8; ++n) {
      LabOf(n & 2 ? 1.0f : 0.0f, n & 4 ? 1.0f : 0.0f, n & 1 ? 1.0f : 0.0f, l[n], a[n], b[n]);
    }
  }
};
const Corners kCorners;  // filled once, before main

// Each pixel's nearest colour in CIELAB (squared distance), ties to the lower number. Not
// per channel: in linear light a 50% channel looks far brighter than half way, so the
// plain nearest corner would be too dark. Pixels go a block at a time through plain loops
// over arrays, which the compiler runs on several pixels at once.
void MapNearestLab(const uint16_t* canvas, size_t count, uint8_t* colours) {
  constexpr size_t kBlock = 256;
  constexpr float kScale = 1.0f / kFullLight;
  float r[kBlock], g[kBlock], b[kBlock], l[kBlock], a[kBlock], bb[kBlock];
  for (size_t start = 0; start < count; start += kBlock) {
    const size_t n = count - start < kBlock ? count - start : kBlock;
    const uint16_t* pixel = canvas + start * 3;
    for (size_t i = 0; i < n; ++i) {
      r[i] = pixel[3 * i] * kScale;
      g[i] = pixel[3 * i + 1] * kScale;
      b[i] = pixel[3 * i + 2] * kScale;
    }
    for (size_t i = 0; i < n; ++i) LabOf(r[i], g[i], b[i], l[i], a[i], bb[i]);
    for (size_t i = 0; i < n; ++i) {
      float best = 1e30f;
      uint32_t number = 0;
      for (uint32_t c = 0; c < 8; ++c) {
        const float dl = l[i] - kCorners.l[c], da = a[i] - kCorners.a[c],
                    db = bb[i] - kCorners.b[c];
        const float distance = dl * dl + da * da + db * db;
        const bool nearer = distance < best;
        number = nearer ? c : number;
        best = nearer ? distance : best;
      }
      colours[start + i] = uint8_t(number);
    }
  }
}

}  // namespace

void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours) {
  const uint32_t width = canvas.width, height = canvas.height;
  if (dither == DitherBest) {
    MapColoursBest(canvas, colours);
    return;
  }
  if (dither == DitherOrdered) {
    MapQuadOrdered(canvas, colours);
    return;
  }
  if (dither == DitherDiffusion && canvas.gamma == GammaLinear) {
    MapQuadDiffusion(canvas, colours);
    return;
  }
  if (canvas.gamma == GammaLinear) {
    const uint16_t* light = canvas.light.data();
    if (dither == DitherBayer) {
      MapOrdered<uint16_t, kFullLight>(light, width, height, colours);
    } else {
      MapNearestLab(light, size_t(width) * height, colours);
    }
    return;
  }
  const uint8_t* rgb = canvas.rgb.data();
  switch (dither) {
    case DitherBayer: MapOrdered<uint8_t, 255>(rgb, width, height, colours); break;
    case DitherDiffusion: MapDiffusion<uint8_t, 255, false>(rgb, width, height, colours); break;
    default: MapNearest(rgb, size_t(width) * height, colours); break;
  }
}
