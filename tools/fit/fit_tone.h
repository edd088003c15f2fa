// Tone made ready for one canvas: levels, brightness and contrast as one curve every channel
// goes through, then saturation. Values are the fit's own: linear light, or sRGB numbers under
// GammaSrgb, each 0 to 1 and not premultiplied.
#pragma once

#include <stddef.h>

#include "fit_look.h"

class ToneCurve {
 public:
  // light: the values are linear light (else sRGB numbers). low, high: the values stretched to
  // 0 and 1 by levels (0 and 1: none).
  ToneCurve(const FitTone& tone, bool light, float low, float high);
  // Tones one colour in place; the result stays within 0 to 1.
  void Apply(float rgb[3]) const;

 private:
  static constexpr int kSteps = 4096;
  static constexpr float kDim = 1.0f / 64;  // below it the fine table: dim light bends most
  float coarse_[kSteps + 1];                // the curve at i / kSteps
  float fine_[kSteps + 1];                  // the curve at i / kSteps x kDim
  float saturation_;
  bool curved_;  // false: the curve changes nothing
};

// The ends auto levels stretch: the luminance of the darkest and of the brightest 0.5% of the
// colours at rgba (count pixels of R G B and coverage; those without coverage are left out).
// 0 and 1 when nothing is there to stretch.
void AutoLevelEnds(const float* rgba, size_t count, float& low, float& high);
