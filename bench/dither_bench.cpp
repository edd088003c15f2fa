// How long each dither takes on a 640x200 canvas in linear light (the fit's own), made here:
// smooth colour noise with fine grain, as a photo gives. Targets: ordered and diffusion at
// most 4 ms (the window's preview follows a trackbar), best within 5 s.
//   build/native/bench/dither_bench [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "colour_map.h"

namespace {

// The canvas every mode is timed on, made once.
const Canvas& PhotoCanvas() {
  static const Canvas canvas = [] {
    Canvas c;
    c.width = 640;
    c.height = 200;
    c.gamma = GammaLinear;
    std::mt19937 random(29);
    const int grid = 9;
    std::vector<float> knots(size_t(grid) * grid * 3);
    for (float& k : knots) k = std::uniform_real_distribution<float>(0, 1)(random);
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const float gx = float(x) * (grid - 1) / c.width, gy = float(y) * (grid - 1) / c.height;
        const int ix = int(gx), iy = int(gy);
        const float fx = gx - ix, fy = gy - iy;
        for (int ch = 0; ch < 3; ++ch) {
          const auto k = [&](int i, int j) { return knots[(size_t(j) * grid + i) * 3 + ch]; };
          float v = (k(ix, iy) * (1 - fx) + k(ix + 1, iy) * fx) * (1 - fy) +
                    (k(ix, iy + 1) * (1 - fx) + k(ix + 1, iy + 1) * fx) * fy;
          v += std::uniform_real_distribution<float>(-0.05f, 0.05f)(random);
          v = v < 0 ? 0 : v > 1 ? 1 : v;
          c.light.push_back(uint16_t(v * v * kFullLight));  // light of a smooth sRGB-like field
        }
      }
    }
    return c;
  }();
  return canvas;
}

// MapColours in the mode given as the argument.
void BM_MapColours(benchmark::State& state) {
  const Canvas& canvas = PhotoCanvas();
  std::vector<uint8_t> colours(size_t(canvas.width) * canvas.height);
  const DitherMode mode = DitherMode(state.range(0));
  for (auto _ : state) {
    MapColours(canvas, mode, colours.data());
    benchmark::DoNotOptimize(colours.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_MapColours)
    ->ArgName("mode")
    ->Arg(DitherNone)
    ->Arg(DitherOrdered)
    ->Arg(DitherDiffusion)
    ->Arg(DitherBayer)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapColours)
    ->Name("BM_MapColoursBest")
    ->ArgName("mode")
    ->Arg(DitherBest)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK_MAIN();
