// How close fitted pictures look to the originals, for every dither and, in the same run, for
// other programs' remapping to the same 8 colours: ImageMagick (none, Floyd-Steinberg, 8x8
// ordered), pngquant (--map, Floyd-Steinberg) and GIMP's indexed conversion (Floyd-Steinberg
// normal and with reduced colour bleeding, positioned), each given the same 640x200 picture
// (the fit's canvas, in 8-bit sRGB). A program that is not installed is skipped with a note
// (bench/setup_peers.sh installs them; --tiny uses ImageMagick alone).
//
// Each result is seen as the machine's screen shows it (PreviewScreen, 640x400; 640 pixels
// across 26 cm) against the original scaled to 640x400 in linear light by area, three ways:
// - blur: both blurred by a Gaussian of sigma 1.5 screen pixels in linear light, then the mean
//   CIE76 Delta E (D65);
// - S-CIELAB (Zhang and Wandell) from 50 cm (21.5 pixels a degree) and 100 cm (43): both in
//   the opponent channels, each filtered by its sum of Gaussians (spreads in degrees, each
//   Gaussian cut to one degree across, as the authors' code does), back to XYZ, then the mean
//   CIE76 Delta E in CIELAB (white: linear RGB 1, 1, 1).
// Photos are python3-skimage's public-domain and CC0 ones (tuning: astronaut, coffee,
// immunohistochemistry; held out: chelsea, rocket, retina, hubble deep field), from --photos.
//   fit_quality [--tiny] [--verbose] [--fit-only] [--convert PATH] [--photos DIR]
//     --tiny: one small made picture, ImageMagick alone, to prove it runs;
//     --verbose: every picture's figures too; --fit-only: no other program
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "colour_math.h"
#include "picture_fit.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kScreenWidth = int(kPreviewWidth), kScreenHeight = int(kPreviewHeight);
constexpr double kEyeSigma = 1.5;  // screen pixels

// Which pictures a mean is taken over: photos the dithers were tuned on, photos held out of
// the tuning (the figures to judge by), and the pictures made here.
enum Group { TuningPhotos, HeldOutPhotos, Synthetic, kGroups };
const char* const kGroupNames[kGroups] = {"tuning photos", "held-out photos", "synthetic"};

struct Picture {
  std::string name;
  Bytes file;  // PNG, or the photo's own file
  Group group = Synthetic;
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
  return {name, Png(w, h, rgb), Synthetic};
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

// The pictures made here: one small one with tiny, else seven at 1280x800.
std::vector<Picture> Pictures(bool tiny, const std::string& convert, const fs::path& work) {
  const int w = tiny ? 160 : 1280, h = tiny ? 100 : 800;
  std::vector<Picture> pictures;
  // Rows of ramps: grey, then each primary and secondary from black to full.
  if (!tiny)
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
  pictures.push_back({"small text", ReadAll(text), Synthetic});
  // Photo-like: the picture bench/fit_bench.sh times.
  const fs::path photo = work / "photo.png";
  Run(convert + " -size 1280x800 gradient:'#1040a0'-'#f0c080' " +
      "\\( -size 1280x800 radial-gradient:'#ffffff'-'#202020' \\) -compose multiply -composite " +
      "-fill '#30a040' -draw 'circle 400,470 400,630' -fill '#c02020' " +
      "-draw 'rectangle 800,130 1130,400' -fill '#e8e8e8' -draw 'polygon 70,70 330,100 200,330' " +
      "-seed 7 -attenuate 0.5 +noise Gaussian -depth 8 PNG24:" + photo.string());
  pictures.push_back({"photo-like", ReadAll(photo), Synthetic});
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

// ---- S-CIELAB ------------------------------------------------------------------------

constexpr double kXyzOfRgb[3][3] = {
    {0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}};
constexpr double kOpponentOfXyz[3][3] = {
    {0.2787, 0.7218, -0.1066}, {-0.4488, 0.2898, 0.0772}, {0.0860, -0.5900, 0.5011}};
struct Gaussian {
  double weight, spread;  // spread in degrees: exp(-d^2 / spread^2)
};
const std::vector<Gaussian> kChannelFilters[3] = {
    {{0.921, 0.0283}, {0.105, 0.133}, {-0.108, 4.336}},
    {{0.531, 0.0392}, {0.330, 0.494}},
    {{0.488, 0.0536}, {0.371, 0.386}}};

// One plane of the screen convolved with a separable kernel, edges mirrored.
std::vector<float> Convolve(const std::vector<float>& in, const std::vector<double>& kernel) {
  const int radius = int(kernel.size() / 2), w = kScreenWidth, h = kScreenHeight;
  const auto mirror = [](int i, int n) {
    while (i < 0 || i >= n) i = i < 0 ? -i - 1 : 2 * n - i - 1;
    return i;
  };
  const std::vector<float> taps(kernel.begin(), kernel.end());
  std::vector<float> line(size_t(std::max(w, h) + 2 * radius)), sums(size_t(std::max(w, h)));
  std::vector<float> across(in.size()), out(in.size());
  // Along one line of n values (step apart from first): mirrored into line, then convolved.
  const auto pass = [&](const float* from, float* to, int n, size_t step) {
    for (int i = -radius; i < n + radius; ++i)
      line[size_t(i + radius)] = from[size_t(mirror(i, n)) * step];
    std::fill(sums.begin(), sums.begin() + n, 0.0f);
    for (int k = 0; k <= 2 * radius; ++k) {
      const float tap = taps[size_t(k)];
      const float* from = &line[size_t(k)];
      for (int i = 0; i < n; ++i) sums[size_t(i)] += tap * from[i];
    }
    for (int i = 0; i < n; ++i) to[size_t(i) * step] = sums[size_t(i)];
  };
  for (int y = 0; y < h; ++y) pass(&in[size_t(y) * w], &across[size_t(y) * w], w, 1);
  for (int x = 0; x < w; ++x) pass(&across[size_t(x)], &out[size_t(x)], h, size_t(w));
  return out;
}

// The screen as S-CIELAB sees it from pixelsPerDegree: CIELAB per pixel, after the filters.
std::vector<float> SpatialLab(const Light& screen, double pixelsPerDegree) {
  const size_t count = screen.size() / 3;
  double toOpponent[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      toOpponent[i][j] = 0;
      for (int k = 0; k < 3; ++k) toOpponent[i][j] += kOpponentOfXyz[i][k] * kXyzOfRgb[k][j];
    }
  }
  // The filters span one degree (an odd number of pixels), as in the authors' code.
  const int radius = int(ceil(pixelsPerDegree / 2)) - 1;
  std::vector<float> filtered[3];
  for (int c = 0; c < 3; ++c) {
    std::vector<float> plane(count), sum(count, 0.0f);
    for (size_t i = 0; i < count; ++i) {
      plane[i] = float(toOpponent[c][0] * screen[i * 3] + toOpponent[c][1] * screen[i * 3 + 1] +
                       toOpponent[c][2] * screen[i * 3 + 2]);
    }
    double weights = 0;
    for (const Gaussian& g : kChannelFilters[c]) weights += g.weight;
    for (const Gaussian& g : kChannelFilters[c]) {
      // Separable: each axis's kernel sums to 1, so the 2-D one does.
      std::vector<double> kernel(size_t(2 * radius + 1));
      double total = 0;
      for (int k = -radius; k <= radius; ++k) {
        const double d = k / pixelsPerDegree / g.spread;
        total += kernel[size_t(k + radius)] = exp(-d * d);
      }
      for (double& k : kernel) k /= total;
      const std::vector<float> part = Convolve(plane, kernel);
      for (size_t i = 0; i < count; ++i) sum[i] += float(g.weight / weights) * part[i];
    }
    filtered[c] = std::move(sum);
  }
  // Back to XYZ, then CIELAB with white = XYZ of linear RGB 1, 1, 1.
  double toXyz[3][3];
  const auto& m = kOpponentOfXyz;
  Invert3x3(m, toXyz);
  const double white[3] = {kXyzOfRgb[0][0] + kXyzOfRgb[0][1] + kXyzOfRgb[0][2],
                           kXyzOfRgb[1][0] + kXyzOfRgb[1][1] + kXyzOfRgb[1][2],
                           kXyzOfRgb[2][0] + kXyzOfRgb[2][1] + kXyzOfRgb[2][2]};
  const auto f = [](double t) {
    return t > 216.0 / 24389 ? cbrt(t) : (24389.0 / 27 * t + 16) / 116;
  };
  std::vector<float> lab(count * 3);
  for (size_t i = 0; i < count; ++i) {
    double t[3];
    for (int k = 0; k < 3; ++k) {
      t[k] = f((toXyz[k][0] * filtered[0][i] + toXyz[k][1] * filtered[1][i] +
                toXyz[k][2] * filtered[2][i]) /
               white[k]);
    }
    lab[i * 3] = float(116 * t[1] - 16);
    lab[i * 3 + 1] = float(500 * (t[0] - t[1]));
    lab[i * 3 + 2] = float(200 * (t[1] - t[2]));
  }
  return lab;
}

// The mean CIE76 distance of two pictures' CIELAB values, pixel by pixel.
double MeanLabDistance(const std::vector<float>& a, const std::vector<float>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); i += 3) {
    sum += sqrt(double(a[i] - b[i]) * (a[i] - b[i]) +
                double(a[i + 1] - b[i + 1]) * (a[i + 1] - b[i + 1]) +
                double(a[i + 2] - b[i + 2]) * (a[i + 2] - b[i + 2]));
  }
  return sum / double(a.size() / 3);
}

// ---- the contestants -----------------------------------------------------------------

// A 640x200 result of another program, each pixel snapped to its colour number.
Bytes ColoursOf(const Bytes& file, const char* who) {
  DecodedPicture picture;
  if (!DecodePicture(file.data(), file.size(), picture).empty() || picture.width != 640 ||
      picture.height != 200) {
    fprintf(stderr, "fit_quality: %s's result is not a 640x200 picture\n", who);
    exit(1);
  }
  Bytes colours(640 * 200);
  for (size_t i = 0; i < colours.size(); ++i) {
    const uint8_t* p = picture.pixels + i * picture.channels;
    const bool grey = picture.channels < 3;
    const uint8_t r = p[0], g = grey ? p[0] : p[1], b = grey ? p[0] : p[2];
    colours[i] = uint8_t((b >= 128 ? 1 : 0) | (r >= 128 ? 2 : 0) | (g >= 128 ? 4 : 0));
  }
  return colours;
}

enum Who { Fit, Magick, Pngquant, Gimp };
struct Mode {
  const char* name;
  Who who;
  DitherMode dither;    // Fit
  FitGamma gamma;       // Fit
  const char* options;  // ImageMagick's before -remap; GIMP's dither type
};

const Mode kModes[] = {
    {"none", Fit, DitherNone, GammaLinear, ""},
    {"ordered", Fit, DitherOrdered, GammaLinear, ""},
    {"diffusion", Fit, DitherDiffusion, GammaLinear, ""},
    {"bayer", Fit, DitherBayer, GammaLinear, ""},
    {"best", Fit, DitherBest, GammaLinear, ""},
    {"srgb none", Fit, DitherNone, GammaSrgb, ""},
    {"srgb ordered", Fit, DitherOrdered, GammaSrgb, ""},
    {"srgb diffusion", Fit, DitherDiffusion, GammaSrgb, ""},
    {"srgb bayer", Fit, DitherBayer, GammaSrgb, ""},
    {"IM None", Magick, DitherNone, GammaLinear, "-dither None"},
    {"IM FloydSteinberg", Magick, DitherNone, GammaLinear, "-dither FloydSteinberg"},
    {"IM o8x8", Magick, DitherNone, GammaLinear, "-ordered-dither o8x8 -dither None"},
    {"pngquant --map", Pngquant, DitherNone, GammaLinear, ""},
    {"GIMP FS normal", Gimp, DitherNone, GammaLinear, "CONVERT-DITHER-FS"},
    {"GIMP FS reduced", Gimp, DitherNone, GammaLinear, "CONVERT-DITHER-FS-LOWBLEED"},
    {"GIMP positioned", Gimp, DitherNone, GammaLinear, "CONVERT-DITHER-FIXED"},
};
constexpr size_t kModeCount = sizeof kModes / sizeof kModes[0];

// GIMP's batch mode: each of kModes' GIMP dithers of in.png into out-N.png, in one start.
std::string GimpScript(const fs::path& in, const fs::path& work) {
  std::string script =
      "(let* ((palette (car (gimp-palette-new \"vantrel-8\"))))"
      " (for-each (lambda (c) (gimp-palette-add-entry palette \"c\" c))"
      " (list (list 0 0 0) (list 0 0 255) (list 255 0 0) (list 255 0 255) (list 0 255 0)"
      " (list 0 255 255) (list 255 255 0) (list 255 255 255)))";
  for (size_t m = 0; m < kModeCount; ++m) {
    if (kModes[m].who != Gimp) continue;
    const std::string out = (work / ("out-" + std::to_string(m) + ".png")).string();
    script += " (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"" + in.string() +
              "\" \"in.png\")))) (gimp-image-convert-indexed image " + kModes[m].options +
              " CONVERT-PALETTE-CUSTOM 8 FALSE FALSE palette) (gimp-image-convert-rgb image)"
              " (file-png-save RUN-NONINTERACTIVE image (car (gimp-image-get-active-drawable "
              "image)) \"" +
              out + "\" \"out.png\" 0 9 0 0 0 0 0) (gimp-image-delete image))";
  }
  return script + " (gimp-palette-delete palette))";
}

// Whether program is on the PATH.
bool Installed(const char* program) {
  return system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool tiny = false, verbose = false, fitOnly = false;
  std::string convert = "/usr/bin/convert";
  fs::path photos = "/usr/lib/python3/dist-packages/skimage/data";
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--tiny") == 0) {
      tiny = true;
    } else if (strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (strcmp(argv[i], "--fit-only") == 0) {
      fitOnly = true;
    } else if (strcmp(argv[i], "--convert") == 0 && i + 1 < argc) {
      convert = argv[++i];
    } else if (strcmp(argv[i], "--photos") == 0 && i + 1 < argc) {
      photos = argv[++i];
    } else {
      fprintf(
          stderr,
          "usage: fit_quality [--tiny] [--verbose] [--fit-only] [--convert PATH] [--photos DIR]\n");
      return 2;
    }
  }
  const fs::path work = fs::temp_directory_path() / ("fit_quality." + std::to_string(getpid()));
  fs::create_directories(work);
  const fs::path palette = work / "palette.png";
  Run(convert + " xc:'#000000' xc:'#0000ff' xc:'#ff0000' xc:'#ff00ff' xc:'#00ff00' " +
      "xc:'#00ffff' xc:'#ffff00' xc:'#ffffff' +append PNG24:" + palette.string());
  const bool pngquant = !tiny && !fitOnly && Installed("pngquant"),
             gimp = !tiny && !fitOnly && Installed("gimp");
  if (!tiny && !fitOnly && !pngquant) printf("note: pngquant is not installed; skipped\n");
  if (!tiny && !fitOnly && !gimp) printf("note: GIMP is not installed; skipped\n");

  std::vector<Picture> pictures = Pictures(tiny, convert, work);
  if (!tiny) {
    const std::pair<const char*, Group> kPhotos[] = {{"astronaut.png", TuningPhotos},
                                                     {"coffee.png", TuningPhotos},
                                                     {"ihc.png", TuningPhotos},
                                                     {"chelsea.png", HeldOutPhotos},
                                                     {"rocket.jpg", HeldOutPhotos},
                                                     {"retina.jpg", HeldOutPhotos},
                                                     {"hubble_deep_field.jpg", HeldOutPhotos}};
    for (const auto& [name, group] : kPhotos) {
      const Bytes file = ReadAll(photos / name);
      if (file.empty()) {
        printf("note: photo %s not found in %s; skipped\n", name, photos.string().c_str());
        continue;
      }
      pictures.push_back({name, file, group});
    }
  }

  enum Measure { Blur, At50, At100, kMeasures };
  const char* const kMeasureNames[kMeasures] = {"blur", "50 cm", "100 cm"};
  const double kPixelsPerDegree[kMeasures] = {0, 21.5, 43};
  // sums[mode][group][measure], and how many pictures each group has.
  std::vector<std::array<std::array<double, kMeasures>, kGroups>> sums(kModeCount);
  for (auto& s : sums) {
    for (auto& g : s) g.fill(0);
  }
  int groupSize[kGroups] = {};
  std::vector<bool> ran(kModeCount, false);
  double bestSeconds = 0;
  int bestRuns = 0;
  for (const Picture& picture : pictures) {
    ++groupSize[picture.group];
    const Light original = ScreenOfOriginal(picture.file);
    std::vector<float> originalLab[kMeasures];
    for (int m = At50; m < kMeasures; ++m) {
      originalLab[m] = SpatialLab(original, kPixelsPerDegree[m]);
    }
    // The canvas each fit mode dithers, and the same in 8-bit sRGB for the other programs.
    Canvas canvas[2];
    for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
      const std::string failure = ScalePicture(picture.file.data(), picture.file.size(), Res640,
                                               canvas[gamma], nullptr, gamma);
      if (!failure.empty()) {
        fprintf(stderr, "fit_quality: %s: %s\n", picture.name.c_str(), failure.c_str());
        return 1;
      }
    }
    Bytes rgb(size_t(640) * 200 * 3);
    for (size_t i = 0; i < size_t(640) * 200; ++i) CanvasSrgb(canvas[GammaLinear], i, &rgb[i * 3]);
    const fs::path in = work / "in.png", out = work / "out.png";
    WriteAll(in, Png(640, 200, rgb));
    if (gimp) {
      Run("cd " + work.string() + " && XDG_CONFIG_HOME=" + work.string() + " gimp -i -d -f -b '" +
          GimpScript(in, work) + "' -b '(gimp-quit 0)' >/dev/null 2>&1");
    }
    if (verbose) printf("%s (%s)\n", picture.name.c_str(), kGroupNames[picture.group]);
    for (size_t m = 0; m < kModeCount; ++m) {
      const Mode& mode = kModes[m];
      Bytes colours(size_t(640) * 200);
      if (mode.who == Fit) {
        const auto start = std::chrono::steady_clock::now();
        MapColours(canvas[mode.gamma], mode.dither, colours.data());
        if (mode.dither == DitherBest) {
          bestSeconds +=
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          ++bestRuns;
        }
      } else if (fitOnly) {
        continue;
      } else if (mode.who == Magick) {
        Run(convert + " " + in.string() + " " + mode.options + " -remap " + palette.string() +
            " PNG24:" + out.string());
        colours = ColoursOf(ReadAll(out), "ImageMagick");
      } else if (mode.who == Pngquant) {
        if (!pngquant) continue;
        Run("pngquant --force --map " + palette.string() + " --output " + out.string() + " " +
            in.string());
        colours = ColoursOf(ReadAll(out), "pngquant");
      } else {
        if (!gimp) continue;
        colours = ColoursOf(ReadAll(work / ("out-" + std::to_string(m) + ".png")), "GIMP");
      }
      ran[m] = true;
      const Light screen = ScreenOfColours(colours);
      double figures[kMeasures];
      figures[Blur] = MeanDeltaE(screen, original);
      for (int k = At50; k < kMeasures; ++k) {
        figures[k] = MeanLabDistance(SpatialLab(screen, kPixelsPerDegree[k]), originalLab[k]);
      }
      for (int k = 0; k < kMeasures; ++k) sums[m][picture.group][k] += figures[k];
      if (verbose) {
        printf("  %-18s %6.2f %6.2f %6.2f\n", mode.name, figures[0], figures[1], figures[2]);
      }
    }
    fflush(stdout);
  }

  printf(
      "\nmean Delta E of the 640x400 screen against the original (blur: sigma %.1f screen\n"
      "pixels; S-CIELAB from 50 and 100 cm); every program given the same 640x200 picture\n\n",
      kEyeSigma);
  printf("%-18s", "");
  for (int g = 0; g < kGroups; ++g) {
    if (groupSize[g])
      printf(" | %-22s",
             (std::string(kGroupNames[g]) + " (" + std::to_string(groupSize[g]) + ")").c_str());
  }
  printf("\n%-18s", "mode");
  for (int g = 0; g < kGroups; ++g) {
    if (!groupSize[g]) continue;
    printf(" |");
    for (int k = 0; k < kMeasures; ++k) printf(" %6s", kMeasureNames[k]);
  }
  printf("\n");
  const auto mean = [&](size_t m, int g, int k) { return sums[m][g][k] / groupSize[g]; };
  for (size_t m = 0; m < kModeCount; ++m) {
    if (!ran[m]) continue;
    printf("%-18s", kModes[m].name);
    for (int g = 0; g < kGroups; ++g) {
      if (!groupSize[g]) continue;
      printf(" |");
      for (int k = 0; k < kMeasures; ++k) printf(" %6.2f", mean(m, g, k));
    }
    printf("\n");
  }
  // Each fit mode against the best other program, per group and measure.
  bool others = false;
  for (size_t m = 0; m < kModeCount; ++m) others = others || (ran[m] && kModes[m].who != Fit);
  if (others) printf("\nagainst the best other program (lower is better):\n");
  for (int g = 0; g < kGroups; ++g) {
    if (!groupSize[g] || !others) continue;
    for (int k = 0; k < kMeasures; ++k) {
      double best = 1e30;
      const char* bestName = "";
      for (size_t m = 0; m < kModeCount; ++m) {
        if (ran[m] && kModes[m].who != Fit && mean(m, g, k) < best) {
          best = mean(m, g, k);
          bestName = kModes[m].name;
        }
      }
      printf("%-16s %-6s best other %-18s %6.2f:", kGroupNames[g], kMeasureNames[k], bestName,
             best);
      for (size_t m : {1, 2, 4}) printf("  %s %.2fx", kModes[m].name, mean(m, g, k) / best);
      printf("\n");
    }
  }
  if (bestRuns) printf("\nbest: %.2f s a picture on average\n", bestSeconds / bestRuns);
  fs::remove_all(work);
  return 0;
}
