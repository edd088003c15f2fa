#include "fit_tone.h"

#include <math.h>

#include <algorithm>
#include <vector>

namespace {

// Rec. 709 luminance weights, for linear light (and, under GammaSrgb, its numbers alike).
constexpr float kLuma[3] = {0.2126f, 0.7152f, 0.0722f};

// CIE lightness L* / 100 of light y (0..1), and back: where equal steps look equal, so
// contrast turns about the grey that looks halfway.
double LightnessOf(double y) {
  const double e = 216.0 / 24389, k = 24389.0 / 27;
  return (y > e ? 116 * cbrt(y) - 16 : k * y) / 100;
}
double LightOf(double lightness) {
  const double l = lightness * 100, k = 24389.0 / 27;
  return l > 8 ? pow((l + 16) / 116, 3) : l / k;
}

// Contrast on a lightness l: c > 0 an S-curve about 0.5, its slope there 100 / (100 - c),
// flattening towards both ends (c = 100: a step); c < 0 a straight line towards 0.5 (-100:
// flat grey).
double Contrasted(double l, int contrast) {
  const double d = l - 0.5;
  if (contrast < 0) return 0.5 + d * (100 + contrast) / 100;
  if (contrast == 0) return l;
  const double x = std::min(1.0, fabs(2 * d));
  const double bent = contrast >= 100 ? (x > 0 ? 1 : 0) : 1 - pow(1 - x, 100.0 / (100 - contrast));
  return 0.5 + (d < 0 ? -0.5 : 0.5) * bent;
}

}  // namespace

ToneCurve::ToneCurve(const FitTone& tone, bool light, float low, float high)
    : saturation_(float(tone.saturation) / 100) {
  curved_ = tone.brightness != 0 || tone.contrast != 0 || low != 0 || high != 1;
  // Brightness as a power that keeps none and full: +100 a quarter power, -100 a fourth.
  const double power = pow(2.0, -tone.brightness / 50.0);
  const double width = high > low ? double(high) - low : 1;
  const auto curve = [&](double at) {
    double v = pow(std::clamp((at - low) / width, 0.0, 1.0), power);
    if (tone.contrast != 0) {
      v = light ? LightOf(Contrasted(LightnessOf(v), tone.contrast)) : Contrasted(v, tone.contrast);
    }
    return float(std::clamp(v, 0.0, 1.0));
  };
  for (int i = 0; i <= kSteps; ++i) {
    coarse_[i] = curve(double(i) / kSteps);
    fine_[i] = curve(double(i) / kSteps * kDim);
  }
}

void ToneCurve::Apply(float rgb[3]) const {
  if (curved_) {
    for (int c = 0; c < 3; ++c) {
      const float v = std::clamp(rgb[c], 0.0f, 1.0f);
      const float* table = v < kDim ? fine_ : coarse_;
      const float at = v < kDim ? v * (kSteps / kDim) : v * kSteps;
      const int i = std::clamp(int(lrintf(at - 0.5f)), 0, kSteps - 1);
      rgb[c] = table[i] + (at - float(i)) * (table[i + 1] - table[i]);
    }
  }
  if (saturation_ != 1) {
    const float y = kLuma[0] * rgb[0] + kLuma[1] * rgb[1] + kLuma[2] * rgb[2];
    for (int c = 0; c < 3; ++c) rgb[c] = std::clamp(y + saturation_ * (rgb[c] - y), 0.0f, 1.0f);
  }
}

void AutoLevelEnds(const float* rgba, size_t count, float& low, float& high) {
  // A histogram of the luminance's square root, as fine in dim light as the curve's table.
  constexpr int kBins = 4096;
  std::vector<uint32_t> bins(kBins, 0);
  size_t total = 0;
  for (size_t i = 0; i < count; ++i, rgba += 4) {
    if (rgba[3] <= 0) continue;
    const float y = kLuma[0] * rgba[0] + kLuma[1] * rgba[1] + kLuma[2] * rgba[2];
    ++bins[std::clamp(int(lrintf(sqrtf(std::clamp(y, 0.0f, 1.0f)) * kBins - 0.5f)), 0, kBins - 1)];
    ++total;
  }
  low = 0;
  high = 1;
  const size_t tail = total / 200;  // 0.5%
  int first = 0, last = kBins - 1;
  for (size_t below = 0; first < kBins - 1 && below + bins[first] <= tail; ++first) {
    below += bins[first];
  }
  for (size_t above = 0; last > 0 && above + bins[last] <= tail; --last) above += bins[last];
  if (total == 0 || last <= first) return;
  const float lowEdge = float(first) / kBins, highEdge = float(last + 1) / kBins;
  low = lowEdge * lowEdge;
  high = highEdge * highEdge;
}
