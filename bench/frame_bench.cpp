// The live preview's step: from the kept working picture to a new 640x200 screen after a
// framing or tone change (FrameCanvas, MapColours with the default diffusion, PreviewScreen),
// with no decoding. Each iteration alternates between two looks, so no result is reused.
// Arguments: the photo's width and height (kept within the working picture's bound), the
// framing, and tone (0 none, 1 some).
//   frame_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <math.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "picture_fit.h"

namespace {

// A photo-like picture as a PPM file: a sky gradient, a round sun, hills and grain.
std::vector<uint8_t> PhotoPpm(int width, int height) {
  const std::string head =
      "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  std::vector<uint8_t> file(head.begin(), head.end());
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      double r = 40 + 180 * v, g = 70 + 120 * v, b = 200 - 120 * v;
      const double dx = u - 0.6, dy = (v - 0.35) * height / width;
      if (dx * dx + dy * dy < 0.01) r = 250, g = 220, b = 120;
      if (v > 0.7 + 0.08 * sin(u * 9)) r = 40 + 30 * u, g = 110 - 40 * v, b = 50;
      const int grain = int(random() % 25) - 12;
      for (double c : {r, g, b}) file.push_back(uint8_t(std::clamp(int(c) + grain, 0, 255)));
    }
  }
  return file;
}

const WorkingPicture& Working(int width, int height) {
  static std::map<std::pair<int, int>, WorkingPicture> kept;
  WorkingPicture& picture = kept[{width, height}];
  if (picture.width == 0) {
    const std::vector<uint8_t> file = PhotoPpm(width, height);
    LoadPicture(file.data(), file.size(), picture);
  }
  return picture;
}

void BM_NewScreen(benchmark::State& state) {
  const WorkingPicture& picture = Working(int(state.range(0)), int(state.range(1)));
  FitLook looks[2];
  for (FitLook& look : looks) look.frame = FitFrame(state.range(2));
  looks[1].focusX = 0.3f;  // a drag, or a tone change
  if (state.range(3) != 0) {
    looks[0].tone.brightness = 30, looks[0].tone.contrast = 20, looks[0].tone.autoLevels = true;
    looks[1].tone.brightness = 35, looks[1].tone.saturation = 140;
  }
  Canvas canvas;
  std::vector<uint8_t> colours(640 * 200), screen;
  size_t turn = 0;
  for (auto _ : state) {
    FrameCanvas(picture, Res640, looks[turn++ % 2], canvas);
    MapColours(canvas, DitherDiffusion, colours.data());
    PreviewScreen(Res640, colours.data(), screen);
    benchmark::DoNotOptimize(screen.data());
  }
}

void Looks(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"w", "h", "frame", "tone"});
  for (auto [w, h] : {std::pair<int, int>{1920, 1080}, {1080, 1920}, {4000, 3000}}) {
    for (int frame : {FrameWhole, FrameFill, FrameStretch}) {
      for (int tone : {0, 1}) bench->Args({w, h, frame, tone});
    }
  }
  bench->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_NewScreen)->Apply(Looks);
BENCHMARK_MAIN();
