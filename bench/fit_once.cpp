// One fit as a whole process, for the benchmark beside ImageMagick: reads a picture file,
// fits it, and writes the pixel data (or nothing) where asked. With --screens N it instead
// loads the picture once and makes N new 640x200 screens from the kept working picture, the
// look changing each time (framing and focus, or tone with --tone), and prints the median
// and the slowest time of one screen: the live preview's step, in either build.
//   fit_once PICTURE none|ordered|diffusion|bayer|best [320|640] [PIXEL_DATA_FILE]
//   fit_once --screens N [--tone] PICTURE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <vector>

#include "picture_fit.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>& file) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  file.resize(size_t(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(file.data()), std::streamsize(file.size()));
  return bool(in);
}

// Screens made one after another from one working picture; returns the exit status.
int TimeScreens(int count, bool tone, const std::vector<uint8_t>& file) {
  WorkingPicture picture;
  const std::string failure = LoadPicture(file.data(), file.size(), picture);
  if (!failure.empty()) {
    fprintf(stderr, "fit_once: %s\n", failure.c_str());
    return 1;
  }
  FitLook looks[4];
  const FitFrame frames[4] = {FrameWhole, FrameFill, FrameFill, FrameStretch};
  for (int i = 0; i < 4; ++i) {
    looks[i].frame = frames[i];
    looks[i].focusX = 0.3f + 0.2f * float(i);  // a drag across a fill
    if (tone) looks[i].tone.brightness = 10 * i, looks[i].tone.saturation = 120 + 10 * i;
  }
  Canvas canvas;
  std::vector<uint8_t> colours(640 * 200), screen;
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    FrameCanvas(picture, Res640, looks[i % 4], canvas);
    MapColours(canvas, DitherDiffusion, colours.data());
    PreviewScreen(Res640, colours.data(), screen);
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  printf("%ux%u kept as %ux%u: %d screens%s, median %.2f ms, slowest %.2f ms\n",
         picture.pictureWidth, picture.pictureHeight, picture.width, picture.height, count,
         tone ? " toned" : "", times[times.size() / 2], times.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint8_t> file;
  if (argc >= 4 && strcmp(argv[1], "--screens") == 0) {
    const bool tone = strcmp(argv[3], "--tone") == 0;
    const char* path = argv[tone ? 4 : 3];
    if (path == nullptr || atoi(argv[2]) < 1 || !ReadFile(path, file)) {
      fprintf(stderr, "fit_once: cannot read the picture\n");
      return 1;
    }
    return TimeScreens(atoi(argv[2]), tone, file);
  }
  if (argc < 3 || argc > 5) {
    fprintf(
        stderr,
        "usage: fit_once PICTURE none|ordered|diffusion|bayer|best [320|640] [PIXEL_DATA_FILE]\n"
        "       fit_once --screens N [--tone] PICTURE\n");
    return 2;
  }
  if (!ReadFile(argv[1], file)) {
    fprintf(stderr, "fit_once: cannot read %s\n", argv[1]);
    return 1;
  }
  const DitherMode dither = strcmp(argv[2], "ordered") == 0     ? DitherOrdered
                            : strcmp(argv[2], "diffusion") == 0 ? DitherDiffusion
                            : strcmp(argv[2], "bayer") == 0     ? DitherBayer
                            : strcmp(argv[2], "best") == 0      ? DitherBest
                                                                : DitherNone;
  const Resolution res = argc > 3 && strcmp(argv[3], "320") == 0 ? Res320 : Res640;
  std::vector<uint8_t> pixels;
  const std::string failure = FitPicture(file.data(), file.size(), res, dither, pixels);
  if (!failure.empty()) {
    fprintf(stderr, "fit_once: %s\n", failure.c_str());
    return 1;
  }
  if (argc > 4) {
    std::ofstream(argv[4], std::ios::binary)
        .write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size()));
  }
  return 0;
}
