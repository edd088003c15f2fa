// How close a fitted picture looks to the original, against ImageMagick's resize and remap
// to the same 8 colours, in one run. The pictures are made here (text and a photo-like one
// by ImageMagick). Each result is seen as the machine's screen shows it (PreviewScreen,
// 640x400) and the original is scaled to 640x400 in linear light by area; both are blurred
// as an eye at a distance sees them (a Gaussian of sigma 1.5 screen pixels, in linear
// light), turned into CIELAB (D65), and the mean CIE76 colour difference (delta E) of all
// pixels is printed per picture and mode, with the mean of each mode.
//   fit_quality [--tiny] [--convert PATH]    --tiny: two small pictures, to prove it runs
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "picture_fit.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kScreenWidth = int(kPreviewWidth), kScreenHeight = int(kPreviewHeight);
constexpr double kEyeSigma = 1.5;  // screen pixels

struct Picture {
  std::string name;
  Bytes file;  // PNG
};

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes Png(int w, int h, const Bytes& rgb) {
  Bytes out;
  stbi_write_png_to_func(Append, &out, w, h, 3, rgb.data(), w * 3);
  return out;
}

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs a shell command; a failure ends the benchmark.
void Run(const std::string& command) {
  if (system(command.c_str()) != 0) {
    fprintf(stderr, "fit_quality: failed: %s\n", command.c_str());
    exit(1);
  }
}

// An 8-bit sRGB picture of w x h from f(x, y, rgb).
template <typename F>
Picture Made(const std::string& name, int w, int h, F f) {
  Bytes rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) f(x, y, &rgb[(size_t(y) * w + x) * 3]);
  }
  return {name, Png(w, h, rgb)};
}

uint8_t Byte(double v) { return uint8_t(std::clamp(v, 0.0, 1.0) * 255 + 0.5); }

// HSV to 8-bit sRGB, hue in turns.
void Hsv(double hue, double saturation, double value, uint8_t* rgb) {
  const double h = (hue - floor(hue)) * 6;
  const int sector = int(h) % 6;
  const double f = h - floor(h);
  const double p = value * (1 - saturation), q = value * (1 - saturation * f),
               t = value * (1 - saturation * (1 - f));
  const double table[6][3] = {{value, t, p}, {q, value, p}, {p, value, t},
                              {p, q, value}, {t, p, value}, {value, p, q}};
  for (int c = 0; c < 3; ++c) rgb[c] = Byte(table[sector][c]);
}

std::vector<Picture> Pictures(bool tiny, const std::string& convert, const fs::path& work) {
  const int w = tiny ? 160 : 1280, h = tiny ? 100 : 800;
  std::vector<Picture> pictures;
  // Rows of ramps: grey, then each primary and secondary from black to full.
  pictures.push_back(Made("gradients", w, h, [&](int x, int y, uint8_t* rgb) {
    const int band = y * 7 / h;
    const int mask = band == 0 ? 7 : band;  // bit 0 red, 1 green, 2 blue
    const uint8_t v = uint8_t(x * 255 / (w - 1));
    for (int c = 0; c < 3; ++c) rgb[c] = mask >> c & 1 ? v : 0;
  }));
  // Hue round the centre, saturation outwards, full value; black outside.
  pictures.push_back(Made("colour wheel", w, h, [&](int x, int y, uint8_t* rgb) {
    const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
    const double r = sqrt(dx * dx + dy * dy);
    if (r > 1) {
      rgb[0] = rgb[1] = rgb[2] = 0;
      return;
    }
    Hsv(atan2(dy, dx) / (2 * M_PI), r, 1, rgb);
  }));
  if (tiny) return pictures;
  // Flat grey patches, 16 levels.
  pictures.push_back(Made("greys", w, h, [&](int x, int y, uint8_t* rgb) {
    const int patch = (y * 2 / h) * 8 + x * 8 / w;
    rgb[0] = rgb[1] = rgb[2] = uint8_t(patch * 17);
  }));
  // Smooth colour noise: random values on a coarse grid, interpolated, plus fine grain.
  std::mt19937 random(7);
  const int grid = 17;
  std::vector<double> knots(size_t(grid) * grid * 3);
  for (double& k : knots) k = std::uniform_real_distribution<double>(0, 1)(random);
  pictures.push_back(Made("noise", w, h, [&](int x, int y, uint8_t* rgb) {
    const double gx = double(x) * (grid - 1) / w, gy = double(y) * (grid - 1) / h;
    const int ix = int(gx), iy = int(gy);
    const double fx = gx - ix, fy = gy - iy;
    for (int c = 0; c < 3; ++c) {
      const auto k = [&](int i, int j) { return knots[(size_t(j) * grid + i) * 3 + c]; };
      const double v = (k(ix, iy) * (1 - fx) + k(ix + 1, iy) * fx) * (1 - fy) +
                       (k(ix, iy + 1) * (1 - fx) + k(ix + 1, iy + 1) * fx) * fy;
      rgb[c] = Byte(v + std::uniform_real_distribution<double>(-0.08, 0.08)(random));
    }
  }));
  // Hard edges: a checkerboard of mid colours, thin lines, a disc.
  pictures.push_back(Made("hard edges", w, h, [&](int x, int y, uint8_t* rgb) {
    static const uint8_t kColours[4][3] = {
        {200, 40, 40}, {40, 160, 220}, {240, 220, 60}, {30, 30, 30}};
    const int cell = ((x / 80) + (y / 80)) % 4;
    memcpy(rgb, kColours[cell], 3);
    if (x % 64 < 2 || y % 50 < 2) rgb[0] = rgb[1] = rgb[2] = 255;
    const double dx = x - w * 0.7, dy = y - h * 0.5;
    if (dx * dx + dy * dy < 150.0 * 150.0) rgb[0] = 90, rgb[1] = 200, rgb[2] = 90;
  }));
  // Small text in black and in colour on light and dark grounds, by ImageMagick.
  const std::string font = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
  const fs::path text = work / "text.png";
  Run(convert + " -size 1280x800 xc:'#f0f0e8' -fill '#202020' -draw 'rectangle 0,400 1280,800' " +
      "-font " + font + " -pointsize 22 -fill black " +
      "-annotate +20+60 'GRAM to BMP and back: 640x200, eight colours' " +
      "-annotate +20+120 '絵をGRAMへ: 黒 青 赤 紫 緑 水色 黄 白' -fill '#c02020' " +
      "-annotate +20+180 'The quick brown fox jumps over the lazy dog 0123456789' " +
      "-pointsize 16 -fill '#2040c0' -annotate +20+240 'small print, sixteen points tall' " +
      "-pointsize 22 -fill white -annotate +20+480 'White on dark: 変換ツール' " +
      "-fill '#40e040' -annotate +20+560 'Green on dark, 22 points' " +
      "-pointsize 16 -fill '#f0c040' -annotate +20+640 'Yellow, sixteen points' -depth 8 PNG24:" +
      text.string());
  pictures.push_back({"small text", ReadAll(text)});
  // Photo-like: the picture bench/fit_bench.sh times.
  const fs::path photo = work / "photo.png";
  Run(convert + " -size 1280x800 gradient:'#1040a0'-'#f0c080' " +
      "\\( -size 1280x800 radial-gradient:'#ffffff'-'#202020' \\) -compose multiply -composite " +
      "-fill '#30a040' -draw 'circle 400,470 400,630' -fill '#c02020' " +
      "-draw 'rectangle 800,130 1130,400' -fill '#e8e8e8' -draw 'polygon 70,70 330,100 200,330' " +
      "-seed 7 -attenuate 0.5 +noise Gaussian -depth 8 PNG24:" + photo.string());
  pictures.push_back({"photo-like", ReadAll(photo)});
  return pictures;
}

// ---- judging -------------------------------------------------------------------------

// Linear light of R, G, B, row after row.
using Light = std::vector<float>;

float LinearOf(uint8_t number) {
  const double v = number / 255.0;
  return float(v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4));
}

// The original picture averaged onto the 640x400 screen in linear light, by covered area,
// alpha over black.
Light ScreenOfOriginal(const Bytes& file) {
  DecodedPicture picture;
  const std::string failure = DecodePicture(file.data(), file.size(), picture);
  if (!failure.empty()) {
    fprintf(stderr, "fit_quality: %s\n", failure.c_str());
    exit(1);
  }
  const uint32_t w = picture.width, h = picture.height, n = picture.channels;
  // Source span of each target pixel along an axis, as pixel shares.
  const auto weights = [](uint32_t source, int target) {
    using Span = std::vector<std::pair<uint32_t, double>>;
    std::vector<Span> spans(static_cast<size_t>(target));
    for (int t = 0; t < target; ++t) {
      const double begin = double(t) * source / target, end = double(t + 1) * source / target;
      for (uint32_t s = uint32_t(begin); s < source && s < end; ++s) {
        const double part = std::min(end, s + 1.0) - std::max(begin, double(s));
        if (part > 0) spans[size_t(t)].push_back({s, part / (end - begin)});
      }
    }
    return spans;
  };
  const auto across = weights(w, kScreenWidth), down = weights(h, kScreenHeight);
  float linear[256];
  for (int i = 0; i < 256; ++i) linear[i] = LinearOf(uint8_t(i));
  Light rows(size_t(w) * kScreenHeight * 3, 0.0f);
  for (int t = 0; t < kScreenHeight; ++t) {
    for (const auto& [s, part] : down[size_t(t)]) {
      const uint8_t* pixel = picture.pixels + size_t(s) * w * n;
      for (uint32_t x = 0; x < w; ++x, pixel += n) {
        const float alpha = n % 2 == 0 ? pixel[n - 1] / 255.0f : 1.0f;
        for (int c = 0; c < 3; ++c) {
          rows[(size_t(t) * w + x) * 3 + c] += float(part) * alpha * linear[pixel[n >= 3 ? c : 0]];
        }
      }
    }
  }
  Light screen(size_t(kScreenWidth) * kScreenHeight * 3, 0.0f);
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int t = 0; t < kScreenWidth; ++t) {
      for (const auto& [s, part] : across[size_t(t)]) {
        for (int c = 0; c < 3; ++c) {
          screen[(size_t(y) * kScreenWidth + t) * 3 + c] +=
              float(part) * rows[(size_t(y) * w + s) * 3 + c];
        }
      }
    }
  }
  return screen;
}

// The screen of colour numbers (the canvas at 640x200), in linear light.
Light ScreenOfColours(const Bytes& colours) {
  Bytes rgb;
  PreviewScreen(Res640, colours.data(), rgb);
  Light screen(rgb.size());
  for (size_t i = 0; i < rgb.size(); ++i) screen[i] = rgb[i] / 255.0f;
  return screen;
}

// A Gaussian blur of sigma kEyeSigma, one axis then the other, edges repeated.
void Blur(Light& light) {
  const int radius = int(ceil(3 * kEyeSigma));
  std::vector<float> kernel(size_t(2 * radius + 1));
  float total = 0;
  for (int k = -radius; k <= radius; ++k) {
    total += kernel[size_t(k + radius)] = float(exp(-k * k / (2 * kEyeSigma * kEyeSigma)));
  }
  for (float& k : kernel) k /= total;
  Light out(light.size());
  const auto pass = [&](int length, int lines, size_t step, size_t lineStep) {
    for (int line = 0; line < lines; ++line) {
      for (int i = 0; i < length; ++i) {
        for (int c = 0; c < 3; ++c) {
          float sum = 0;
          for (int k = -radius; k <= radius; ++k) {
            const int j = std::clamp(i + k, 0, length - 1);
            sum += kernel[size_t(k + radius)] * light[line * lineStep + j * step + c];
          }
          out[line * lineStep + i * step + c] = sum;
        }
      }
    }
    light.swap(out);
  };
  pass(kScreenWidth, kScreenHeight, 3, size_t(kScreenWidth) * 3);
  pass(kScreenHeight, kScreenWidth, size_t(kScreenWidth) * 3, 3);
}

// CIELAB (D65) of linear R, G, B.
void Lab(const float* rgb, double* lab) {
  const auto f = [](double t) {
    return t > 216.0 / 24389 ? cbrt(t) : (24389.0 / 27 * t + 16) / 116;
  };
  const double r = rgb[0], g = rgb[1], b = rgb[2];
  const double x = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.9505);
  const double y = f(0.2126 * r + 0.7152 * g + 0.0722 * b);
  const double z = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.0890);
  lab[0] = 116 * y - 16;
  lab[1] = 500 * (x - y);
  lab[2] = 200 * (y - z);
}

// Mean CIE76 delta E between two blurred screens.
double MeanDeltaE(Light a, Light b) {
  Blur(a);
  Blur(b);
  double sum = 0;
  for (size_t i = 0; i < a.size(); i += 3) {
    double p[3], q[3];
    Lab(&a[i], p);
    Lab(&b[i], q);
    sum += sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                (p[2] - q[2]) * (p[2] - q[2]));
  }
  return sum / double(a.size() / 3);
}

// A 640x200 result of ImageMagick, each pixel snapped to its colour number.
Bytes ColoursOf(const Bytes& file) {
  DecodedPicture picture;
  if (!DecodePicture(file.data(), file.size(), picture).empty() || picture.width != 640 ||
      picture.height != 200 || picture.channels < 3) {
    fprintf(stderr, "fit_quality: ImageMagick's result is not a 640x200 colour picture\n");
    exit(1);
  }
  Bytes colours(640 * 200);
  for (size_t i = 0; i < colours.size(); ++i) {
    const uint8_t* p = picture.pixels + i * picture.channels;
    colours[i] = uint8_t((p[2] >= 128 ? 1 : 0) | (p[0] >= 128 ? 2 : 0) | (p[1] >= 128 ? 4 : 0));
  }
  return colours;
}

struct Mode {
  const char* name;
  bool fit;
  DitherMode dither;    // fit
  FitGamma gamma;       // fit
  const char* options;  // ImageMagick, between resize and remap
};

const Mode kModes[] = {
    {"none", true, DitherNone, GammaLinear, ""},
    {"ordered", true, DitherOrdered, GammaLinear, ""},
    {"diffusion", true, DitherDiffusion, GammaLinear, ""},
    {"srgb none", true, DitherNone, GammaSrgb, ""},
    {"srgb ordered", true, DitherOrdered, GammaSrgb, ""},
    {"srgb diffusion", true, DitherDiffusion, GammaSrgb, ""},
    {"IM None", false, DitherNone, GammaLinear, "-dither None"},
    {"IM FloydSteinberg", false, DitherNone, GammaLinear, "-dither FloydSteinberg"},
    {"IM o8x8", false, DitherNone, GammaLinear, "-ordered-dither o8x8 -dither None"},
};
constexpr size_t kModeCount = sizeof kModes / sizeof kModes[0];

}  // namespace

int main(int argc, char** argv) {
  bool tiny = false;
  std::string convert = "/usr/bin/convert";
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--tiny") == 0) {
      tiny = true;
    } else if (strcmp(argv[i], "--convert") == 0 && i + 1 < argc) {
      convert = argv[++i];
    } else {
      fprintf(stderr, "usage: fit_quality [--tiny] [--convert PATH]\n");
      return 2;
    }
  }
  const fs::path work = fs::temp_directory_path() / ("fit_quality." + std::to_string(getpid()));
  fs::create_directories(work);
  const fs::path palette = work / "palette.png";
  Run(convert + " xc:'#000000' xc:'#0000ff' xc:'#ff0000' xc:'#ff00ff' xc:'#00ff00' " +
      "xc:'#00ffff' xc:'#ffff00' xc:'#ffffff' +append PNG24:" + palette.string());

  printf(
      "mean delta E (CIE76, CIELAB D65) of the 640x400 screen against the original, both\n"
      "blurred in linear light with sigma %.1f screen pixels; fit at 640x200\n\n",
      kEyeSigma);
  printf("%-14s", "picture");
  for (const Mode& mode : kModes)
    printf(" %*s", int(std::max<size_t>(7, strlen(mode.name))), mode.name);
  printf("\n");
  double sums[kModeCount] = {};
  const std::vector<Picture> pictures = Pictures(tiny, convert, work);
  for (const Picture& picture : pictures) {
    const Light original = ScreenOfOriginal(picture.file);
    const fs::path in = work / "in.png", out = work / "out.png";
    WriteAll(in, picture.file);
    printf("%-14s", picture.name.c_str());
    for (size_t m = 0; m < kModeCount; ++m) {
      const Mode& mode = kModes[m];
      Bytes colours;
      if (mode.fit) {
        Bytes pixels;
        FitLook stretch;  // as ImageMagick's resize below: each axis on its own
        stretch.frame = FrameStretch;
        const std::string failure =
            FitPicture(picture.file.data(), picture.file.size(), Res640, mode.dither, pixels,
                       nullptr, mode.gamma, &colours, stretch, false);
        if (!failure.empty()) {
          fprintf(stderr, "fit_quality: %s: %s\n", picture.name.c_str(), failure.c_str());
          return 1;
        }
      } else {
        Run(convert + " " + in.string() + " -resize '640x200!' " + mode.options + " -remap " +
            palette.string() + " PNG24:" + out.string());
        colours = ColoursOf(ReadAll(out));
      }
      const double deltaE = MeanDeltaE(ScreenOfColours(colours), original);
      sums[m] += deltaE;
      printf(" %*.2f", int(std::max<size_t>(7, strlen(mode.name))), deltaE);
    }
    printf("\n");
    fflush(stdout);
  }
  printf("%-14s", "mean");
  double magickBest = 1e30;
  for (size_t m = 0; m < kModeCount; ++m) {
    const double mean = sums[m] / double(pictures.size());
    if (!kModes[m].fit) magickBest = std::min(magickBest, mean);
    printf(" %*.2f", int(std::max<size_t>(7, strlen(kModes[m].name))), mean);
  }
  printf("\n\nImageMagick's best mean: %.2f\n", magickBest);
  for (size_t m = 0; m < 3; ++m) {
    printf("fit %-10s %.2f = %.2fx ImageMagick's best\n", kModes[m].name,
           sums[m] / double(pictures.size()), sums[m] / double(pictures.size()) / magickBest);
  }
  fs::remove_all(work);
  return 0;
}
