// The ordered dither's threshold mask: 64x64 ranks 0..4095, each once, blue noise (void and
// cluster, made by tools/blue_noise): at every level the cells under it spread evenly as the
// 640x200 screen shows them, each pixel twice as tall as wide.
#pragma once

#include <stdint.h>

constexpr int kBlueNoiseSide = 64;
extern const uint16_t kBlueNoiseMask[kBlueNoiseSide * kBlueNoiseSide];  // row after row
