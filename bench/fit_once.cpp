// One fit as a whole process, for the benchmark beside ImageMagick: reads a picture file,
// fits it, and writes the pixel data (or nothing) where asked.
//   fit_once PICTURE none|ordered|diffusion|bayer|best [320|640] [PIXEL_DATA_FILE]
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "picture_fit.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    fprintf(
        stderr,
        "usage: fit_once PICTURE none|ordered|diffusion|bayer|best [320|640] [PIXEL_DATA_FILE]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  std::vector<uint8_t> file(size_t(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(file.data()), std::streamsize(file.size()));
  if (!in) {
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
