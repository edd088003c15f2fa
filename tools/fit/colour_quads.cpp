// Dithering to the 8 corners by Minimum Brightness Variation Quadruples: the cube is cut into
// six tetrahedra whose 4 corners differ least in brightness, and a pixel is always drawn from
// the one holding its colour. A light grey is then cyan, magenta, yellow and white rather than
// black dots on white; a dark blue is black, blue and red rather than speckles of every colour.
#include "colour_quads.h"

#include <stddef.h>

#include "blue_noise_mask.h"
#include "colour_math.h"

namespace {

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green.
enum : uint8_t { K = 0, B = 1, R = 2, M = 3, G = 4, C = 5, Y = 6, W = 7 };

// A quadruple: its corners darkest first, and the matrix taking a colour's offset from the
// first corner to the shares of the other three.
struct Quad {
  uint8_t corner[4];
  float inverse[3][3];
};

// The quadruples, by QuadOf's numbering.
struct Quads {
  Quad quad[6] = {{{K, B, R, G}, {}}, {{B, R, M, G}, {}}, {{R, M, G, Y}, {}},
                  {{M, G, C, Y}, {}}, {{B, M, G, C}, {}}, {{M, C, Y, W}, {}}};
  Quads() {
    for (Quad& q : quad) {
      // Columns: the other corners' offsets from the first, as R G B.
      double m[3][3];
      for (int k = 0; k < 3; ++k) {
        const int from = q.corner[0], to = q.corner[k + 1];
        m[0][k] = ((to >> 1) & 1) - ((from >> 1) & 1);
        m[1][k] = ((to >> 2) & 1) - ((from >> 2) & 1);
        m[2][k] = (to & 1) - (from & 1);
      }
      // A whole matrix: its determinant is +-1, so the inverse is exact in float.
      double inverse[3][3];
      Invert3x3(m, inverse);
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) q.inverse[i][j] = float(inverse[i][j]);
      }
    }
  }
};
const Quads kQuads;

// The quadruple holding a colour (Shaked et al.): 0 KRGB, 1 RGBM, 2 RGMY, 3 MYGC, 4 CMGB,
// 5 CMYW.
inline int QuadOf(float r, float g, float b) {
  if (r + g > 1) {
    if (g + b > 1) return r + g + b > 2 ? 5 : 3;
    return 2;
  }
  if (g + b > 1) return 4;
  return r + g + b > 1 ? 1 : 0;
}

}  // namespace

void CanvasValues(const Canvas& canvas, std::vector<float>& values) {
  const size_t count = size_t(canvas.width) * canvas.height * 3;
  values.resize(count);
  if (canvas.gamma == GammaLinear) {
    for (size_t i = 0; i < count; ++i) values[i] = canvas.light[i] * (1.0f / kFullLight);
  } else {
    for (size_t i = 0; i < count; ++i) values[i] = canvas.rgb[i] * (1.0f / 255);
  }
}

namespace {

// MapQuadDiffusion over the canvas's own numbers, value x scale being 0..1.
template <typename Value>
void Diffuse(const Value* canvas, float scale, uint32_t width, uint32_t height, uint8_t* colours) {
  // Sierra Lite's shares: ahead, below behind, below (none below ahead). Against
  // Floyd-Steinberg's on the tuning photos: lower error blurred and by S-CIELAB from 50 and
  // 100 cm; threshold modulation by the blue-noise mask raised all three.
  constexpr float kAhead = 2.0f / 4, kBehind = 1.0f / 4, kBelow = 1.0f / 4, kBeyond = 0;
  // Errors carried into this row and into the next, with a spare entry at each end.
  std::vector<float> here((width + 2) * 3, 0.0f), below((width + 2) * 3, 0.0f);
  for (uint32_t y = 0; y < height; ++y) {
    const bool rightward = y % 2 == 0;
    const ptrdiff_t step = rightward ? 3 : -3;
    float ahead[3] = {}, twoParts[3] = {}, onePart[3] = {};
    ptrdiff_t at = rightward ? 3 : ptrdiff_t(width) * 3;  // this pixel's entry: (x + 1) x 3
    for (uint32_t i = 0; i < width; ++i, at += step) {
      const size_t x = size_t(at) / 3 - 1, pixel = size_t(y) * width + x;
      const float wanted[3] = {canvas[pixel * 3] * scale, canvas[pixel * 3 + 1] * scale,
                               canvas[pixel * 3 + 2] * scale};
      const Quad& quad = kQuads.quad[QuadOf(wanted[0], wanted[1], wanted[2])];
      // A corner's squared distance in light, less what all corners share, is the sum over
      // its lit channels of 1 - 2 x the channel's value. (Distances taken in a power of the
      // light instead, up to 2.2, moved the S-CIELAB figures by under 0.5%: the error is
      // carried in light all the same, and that sets the pattern.)
      float value[3], cost[3];
      for (int c = 0; c < 3; ++c) {
        const float v = wanted[c] + here[at + c] + ahead[c];
        value[c] = v < -0.5f ? -0.5f : v > 1.5f ? 1.5f : v;
        cost[c] = 1 - 2 * value[c];
      }
      uint8_t chosen = quad.corner[0];
      float least = 1e30f;
      for (uint8_t corner : quad.corner) {
        const float total =
            (corner & 2 ? cost[0] : 0) + (corner & 4 ? cost[1] : 0) + (corner & 1 ? cost[2] : 0);
        if (total < least) least = total, chosen = corner;
      }
      colours[pixel] = chosen;
      const bool lit[3] = {(chosen & 2) != 0, (chosen & 4) != 0, (chosen & 1) != 0};
      for (int c = 0; c < 3; ++c) {
        const float error = value[c] - (lit[c] ? 1.0f : 0.0f);
        ahead[c] = error * kAhead;
        below[at - step + c] = twoParts[c] + error * kBehind;
        twoParts[c] = onePart[c] + error * kBelow;
        onePart[c] = error * kBeyond;
      }
    }
    for (int c = 0; c < 3; ++c) {
      below[at - step + c] = twoParts[c];
      below[at + c] = onePart[c];
    }
    here.swap(below);
  }
}

// MapQuadOrdered over the canvas's own numbers, value x scale being 0..1.
template <typename Value>
void Order(const Value* canvas, float scale, uint32_t width, uint32_t height, uint8_t* colours) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint16_t* mask = kBlueNoiseMask + (y % kBlueNoiseSide) * kBlueNoiseSide;
    for (uint32_t x = 0; x < width; ++x) {
      const size_t pixel = size_t(y) * width + x;
      const float v[3] = {canvas[pixel * 3] * scale, canvas[pixel * 3 + 1] * scale,
                          canvas[pixel * 3 + 2] * scale};
      const Quad& quad = kQuads.quad[QuadOf(v[0], v[1], v[2])];
      const uint8_t first = quad.corner[0];
      const float offset[3] = {v[0] - ((first >> 1) & 1), v[1] - ((first >> 2) & 1),
                               v[2] - (first & 1)};
      const float threshold = (mask[x % kBlueNoiseSide] + 0.5f) * (1.0f / 4096);
      // The corners' shares, darkest first, added up until they pass the threshold.
      float share[3];
      for (int k = 0; k < 3; ++k) {
        share[k] = quad.inverse[k][0] * offset[0] + quad.inverse[k][1] * offset[1] +
                   quad.inverse[k][2] * offset[2];
      }
      const float lowest = 1 - share[0] - share[1] - share[2];
      const float second = lowest + share[0], third = second + share[1];
      const uint8_t chosen = threshold < lowest   ? quad.corner[0]
                             : threshold < second ? quad.corner[1]
                             : threshold < third  ? quad.corner[2]
                                                  : quad.corner[3];
      colours[pixel] = chosen;
    }
  }
}

}  // namespace

void MapQuadDiffusion(const Canvas& canvas, uint8_t* colours) {
  if (canvas.gamma == GammaLinear) {
    Diffuse(canvas.light.data(), 1.0f / kFullLight, canvas.width, canvas.height, colours);
  } else {
    Diffuse(canvas.rgb.data(), 1.0f / 255, canvas.width, canvas.height, colours);
  }
}

void MapQuadOrdered(const Canvas& canvas, uint8_t* colours) {
  if (canvas.gamma == GammaLinear) {
    Order(canvas.light.data(), 1.0f / kFullLight, canvas.width, canvas.height, colours);
  } else {
    Order(canvas.rgb.data(), 1.0f / 255, canvas.width, canvas.height, colours);
  }
}
