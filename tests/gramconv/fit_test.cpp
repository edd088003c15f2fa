// What fitting a picture guarantees: exact colours for pure-colour pictures in every format,
// size ratio, dither and gamma, the colours the user saw whatever the file's palette order,
// averages kept by dithering (light in linear light, numbers in sRGB), the export's pixel
// layout, and a clear refusal of every bad input.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fit_session.h"
#include "fit_texts.h"
#include "fitted_bitmap.h"
#include "picture_fit.h"
#include "tool_files.h"
#include "webp/decode.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Colour number n (bit 0 blue, bit 1 red, bit 2 green) as R, G, B.
Bytes Rgb(int n) {
  return {uint8_t(n & 2 ? 255 : 0), uint8_t(n & 4 ? 255 : 0), uint8_t(n & 1 ? 255 : 0)};
}

// Width x height pixels of comp bytes, each from f(x, y).
template <typename F>
Bytes Picture(int width, int height, F f) {
  Bytes out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Bytes pixel = f(x, y);
      out.insert(out.end(), pixel.begin(), pixel.end());
    }
  }
  return out;
}

// A test card: 8 vertical bars, colour 0 on the left to 7 on the right. With a width divisible
// by 8 each bar covers whole target columns at any scale.
Bytes Card(int w, int h) {
  return Picture(w, h, [w](int x, int) { return Rgb(x * 8 / w); });
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes Png(int w, int h, int comp, const Bytes& data) {
  Bytes out;
  stbi_write_png_to_func(Append, &out, w, h, comp, data.data(), w * comp);
  return out;
}

Bytes Ppm(int w, int h, const Bytes& rgb, int maxval = 255) {
  const std::string head =
      "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n" + std::to_string(maxval) + "\n";
  Bytes out(head.begin(), head.end());
  for (uint8_t c : rgb) {
    if (maxval > 255) out.push_back(c);  // 16-bit samples, high byte first
    out.push_back(c);
  }
  return out;
}

// The picture in the formats written in memory.
std::vector<std::pair<std::string, Bytes>> InMemoryFormats(int w, int h, const Bytes& rgb) {
  std::vector<std::pair<std::string, Bytes>> files = {
      {"PNG", Png(w, h, 3, rgb)}, {"PNM", Ppm(w, h, rgb)}, {"PNM 16-bit", Ppm(w, h, rgb, 65535)}};
  Bytes bmp, tga, tgaRle, jpeg;
  stbi_write_bmp_to_func(Append, &bmp, w, h, 3, rgb.data());
  stbi_write_tga_with_rle = 0;
  stbi_write_tga_to_func(Append, &tga, w, h, 3, rgb.data());
  stbi_write_tga_with_rle = 1;
  stbi_write_tga_to_func(Append, &tgaRle, w, h, 3, rgb.data());
  stbi_write_jpg_to_func(Append, &jpeg, w, h, 3, rgb.data(), 100);
  files.insert(files.end(),
               {{"BMP 24-bit", bmp}, {"TGA", tga}, {"TGA RLE", tgaRle}, {"JPEG", jpeg}});
  return files;
}

// A picture file (input, ImageMagick telling its format from inputName) written by ImageMagick
// with the given options and output format.
Bytes MagickFrom(const Bytes& input, const std::string& inputName, const std::string& options) {
  const fs::path dir = fs::temp_directory_path() / ("fit_test." + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / inputName, std::ios::binary)
      .write(reinterpret_cast<const char*>(input.data()), input.size());
  const std::string command = std::string(IMAGEMAGICK_CONVERT) + " " + (dir / inputName).string() +
                              " " + options + (dir / "out").string();
  EXPECT_EQ(system(command.c_str()), 0) << command;
  std::ifstream in(dir / "out", std::ios::binary);
  const Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove_all(dir);
  return out;
}

// The picture written by ImageMagick with the given options and output format.
Bytes Magick(int w, int h, const Bytes& rgb, const std::string& options) {
  return MagickFrom(Ppm(w, h, rgb), "in.ppm", options);
}

void PutLe(Bytes& file, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) file[at + i] = uint8_t(v >> (8 * i));
}

// An animated WebP of the given canvas whose frames are still WebP files placed at (x, y)
// (even), each shown 100 ms, not blended, not disposed.
struct Frame {
  uint32_t x, y;
  Bytes still;
};
Bytes Animation(uint32_t width, uint32_t height, const std::vector<Frame>& frames) {
  Bytes file = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W',  'E', 'B', 'P',
                'V', 'P', '8', 'X', 10, 0, 0, 0, 0x12, 0,   0,   0};  // animation and alpha
  file.resize(30);
  PutLe(file, 24, width - 1, 3);
  PutLe(file, 27, height - 1, 3);
  file.insert(file.end(), {'A', 'N', 'I', 'M', 6, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (const Frame& frame : frames) {
    const size_t at = file.size();
    const Bytes chunk(frame.still.begin() + 12, frame.still.end());  // its VP8 or VP8L chunk
    file.insert(file.end(), {'A', 'N', 'M', 'F', 0, 0, 0, 0});
    file.resize(at + 24);
    PutLe(file, at + 4, uint32_t(16 + chunk.size()), 4);
    PutLe(file, at + 8, frame.x / 2, 3);
    PutLe(file, at + 11, frame.y / 2, 3);
    int w = 0, h = 0;
    EXPECT_TRUE(WebPGetInfo(frame.still.data(), frame.still.size(), &w, &h));
    PutLe(file, at + 14, uint32_t(w - 1), 3);
    PutLe(file, at + 17, uint32_t(h - 1), 3);
    PutLe(file, at + 20, 100, 3);
    file[at + 23] = 2;  // no blending
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  PutLe(file, 4, uint32_t(file.size() - 8), 4);
  return file;
}

// The canvas read back through the plug-in's own decoder, so the layout cannot drift.
struct Shown {
  Resolution res;
  Bytes planes[3];

  Shown(const Bytes& pixels, Resolution r) : res(r) {
    for (auto& p : planes) p.assign(kGramPlaneBytes, 0);
    if (pixels.size() == PixelDataBytes(res)) {
      DecodeGram(pixels.data(), res, {{planes[0].data(), planes[1].data(), planes[2].data()}});
    }
  }
  int Width() const { return int(BitmapWidth(res)); }
  int At(int x, int y) const {
    const int bit = res == Res640 ? x : 2 * x;
    int colour = 0;
    for (int k = 0; k < 3; ++k)
      colour |= (planes[k][y * kGramLineBytes + bit / 8] >> (bit % 8) & 1) << k;
    return colour;
  }
  // Pixels for which expected(x, y) is not the colour shown.
  template <typename F>
  int Wrong(F expected) const {
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < Width(); ++x) wrong += At(x, y) != expected(x, y);
    }
    return wrong;
  }
  int BarErrors() const {
    return Wrong([this](int x, int) { return x * 8 / Width(); });
  }
  // Mean of one channel (0 or 255 per pixel) over columns [x0, x1).
  double Mean(int channelBit, int x0 = 0, int x1 = -1) const {
    if (x1 < 0) x1 = Width();
    double sum = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = x0; x < x1; ++x) sum += At(x, y) >> channelBit & 1 ? 255 : 0;
    }
    return sum / (200.0 * (x1 - x0));
  }
};

// Each axis to the canvas on its own, as the scaling tests below measure it.
FitLook Framed(FitFrame frame) {
  FitLook look;
  look.frame = frame;
  return look;
}
const FitLook kStretch = Framed(FrameStretch);

Shown Fit(const Bytes& file, Resolution res = Res640, DitherMode dither = DitherNone,
          FitGamma gamma = GammaLinear, const FitLook& look = kStretch) {
  Bytes pixels;
  EXPECT_EQ(
      FitPicture(file.data(), file.size(), res, dither, pixels, nullptr, gamma, nullptr, look), "");
  EXPECT_EQ(pixels.size(), PixelDataBytes(res));
  return Shown(pixels, res);
}

// Every dither in both spaces: what pure colours must survive unchanged.
struct Way {
  DitherMode dither;
  FitGamma gamma;
};
const Way kEveryWay[] = {{DitherNone, GammaLinear},      {DitherOrdered, GammaLinear},
                         {DitherDiffusion, GammaLinear}, {DitherNone, GammaSrgb},
                         {DitherOrdered, GammaSrgb},     {DitherDiffusion, GammaSrgb}};
std::string Named(const Way& way) {
  return std::to_string(way.dither) + (way.gamma == GammaSrgb ? " srgb" : " linear");
}

TEST(FitColours, TestCardExactInEveryFormat) {
  for (const Way& way : kEveryWay) {
    for (auto& [name, file] : InMemoryFormats(640, 200, Card(640, 200))) {
      if (name == "JPEG" && way.dither != DitherNone) continue;  // its near-pure edges dither
      EXPECT_EQ(Fit(file, Res640, way.dither, way.gamma).BarErrors(), 0) << name << Named(way);
    }
  }
  for (const char* options :
       {"GIF:", "-type Palette -colors 256 BMP3:", "PSD:", "-depth 16 PNG48:", "-colors 8 BMP3:",
        "-alpha on BMP:", "-define webp:lossless=true WEBP:"}) {
    const Bytes file = Magick(640, 400, Card(640, 400), options);
    for (const Way& way : kEveryWay) {
      EXPECT_EQ(Fit(file, Res640, way.dither, way.gamma).BarErrors(), 0) << options << Named(way);
    }
  }
  // Grey bars: 0, 18, 54, 73, 182, 201, 237, 255 (Rec. 709 weights): as light L* 0 to 31
  // and 74 to 100, as numbers below and above 128.
  const Bytes grey = Magick(640, 400, Card(640, 400), "-colorspace Gray PGM:");
  for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
    EXPECT_EQ(
        Fit(grey, Res640, DitherNone, gamma).Wrong([](int x, int) { return x < 320 ? 0 : 7; }), 0);
  }
}

TEST(FitColours, OtherProgramsPaletteOrderGivesTheColoursSeen) {
  const Bytes file = Magick(640, 200, Card(640, 200), "-colors 8 BMP3:");
  ASSERT_GT(file.size(), 118u);
  ASSERT_EQ(file[28], 4) << "expected a 16-colour bitmap";
  // Meaningful only if the palette is not ours: some bar's index is not its colour number.
  int reordered = 0;
  for (int bar = 0; bar < 8; ++bar) reordered += (file[ReadLe32(&file[10]) + bar * 40] >> 4) != bar;
  ASSERT_GT(reordered, 0);
  EXPECT_EQ(Fit(file).BarErrors(), 0);
  EXPECT_EQ(Fit(file, Res320).BarErrors(), 0);
}

TEST(FitScale, EverySizeRatioKeepsTheBars) {
  for (auto [w, h] : std::vector<std::pair<int, int>>{{640, 200},
                                                      {320, 200},
                                                      {1920, 1080},
                                                      {1000, 333},
                                                      {648, 201},
                                                      {8, 1},
                                                      {16, 7},
                                                      {8, 3000},
                                                      {4000, 3},
                                                      {1280, 400}}) {
    const Bytes png = Png(w, h, 3, Card(w, h));
    for (const Way& way : kEveryWay) {
      EXPECT_EQ(Fit(png, Res640, way.dither, way.gamma).BarErrors(), 0)
          << w << "x" << h << Named(way);
      EXPECT_EQ(Fit(png, Res320, way.dither, way.gamma).BarErrors(), 0)
          << w << "x" << h << Named(way);
    }
  }
  for (int colour = 0; colour < 8; ++colour) {
    for (const Way& way : kEveryWay) {
      EXPECT_EQ(Fit(Png(1, 1, 3, Rgb(colour)), Res640, way.dither, way.gamma).Wrong([=](int, int) {
        return colour;
      }),
                0)
          << colour << Named(way);
    }
  }
}

TEST(FitScale, AveragesByCoveredAreaRoundedHalfUp) {
  // 640x400: row pairs averaged; 127.5 rounds up to white, 127 stays black.
  for (int top : {255, 254}) {
    const Bytes rows =
        Picture(640, 400, [=](int, int y) { return Bytes{uint8_t(y % 2 ? 0 : top)}; });
    EXPECT_EQ(Fit(Png(640, 400, 1, rows), Res640, DitherNone, GammaSrgb).At(5, 5),
              top == 255 ? 7 : 0)
        << top;
  }
  // 960 -> 640: each target column covers one and a half source columns, so 0,255,0 gives 85
  // and 85 (black), and 255,0,255 gives 170 and 170 (white) in every column.
  for (int middle : {255, 0}) {
    const Bytes columns = Picture(
        960, 200, [=](int x, int) { return Bytes{uint8_t(x % 3 == 1 ? middle : 255 - middle)}; });
    EXPECT_EQ(Fit(Png(960, 200, 1, columns), Res640, DitherNone, GammaSrgb).Wrong([=](int, int) {
      return middle ? 0 : 7;
    }),
              0);
  }
}

// The rounding every average ends in: halves up, exact up to the largest sums, one at a time
// and many at once alike. The last denominators come with numerators whose quotient by the
// reciprocal falls just short of a whole number, so the correction is needed.
TEST(FitScale, ExactRoundingHalvesUpOneOrManyAtOnce) {
  const std::vector<std::pair<uint64_t, std::vector<uint64_t>>> cases = {
      {1, {}},
      {3, {}},
      {2295, {}},
      {2073600, {}},
      {255ull * 100000000, {}},
      {132623392728ull, {412657686473172ull}},
      {1997548446ull, {114989875068213ull}},
      {33652868736ull, {975411573878592ull}}};
  for (const auto& [d, hard] : cases) {
    std::vector<double> numerators(hard.begin(), hard.end());
    for (const uint64_t q : {0ull, 1ull, 2ull, 127ull, 65534ull, 65535ull}) {
      for (const uint64_t base : {q * d, q * d + d / 2, q * d + (d - 1) / 2}) {
        for (const uint64_t n : {base - 1, base, base + 1}) {
          if (n <= base + 1) numerators.push_back(double(n));  // base - 1 may wrap at 0
        }
      }
    }
    const ExactRounding rounded{double(d)};
    std::vector<int32_t> many(numerators.size());
    rounded.Many(numerators.data(), many.data(), many.size());
    for (size_t k = 0; k < numerators.size(); ++k) {
      const uint64_t n = uint64_t(numerators[k]), expected = (2 * n + d) / (2 * d);
      EXPECT_EQ(rounded(numerators[k]), int64_t(expected)) << n << " / " << d;
      EXPECT_EQ(many[k], int64_t(expected)) << n << " / " << d;
    }
  }
}

// The canvas of a picture in linear light.
Canvas LinearCanvas(const Bytes& file, Resolution res = Res640) {
  Canvas canvas;
  EXPECT_EQ(ScalePicture(file.data(), file.size(), res, canvas), "");
  EXPECT_EQ(canvas.gamma, GammaLinear);
  EXPECT_EQ(canvas.light.size(), size_t(BitmapWidth(res)) * 200 * 3);
  return canvas;
}

// The sRGB curve, as the colour science defines it, scaled to the canvas's 0..65535.
double LightOf(int number) {
  const double v = number / 255.0;
  return 65535 * (v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4));
}

TEST(FitScale, AveragesLightByCoveredArea) {
  // The table follows the curve to the nearest step, and its ends are exact.
  for (int number = 0; number < 256; ++number) {
    EXPECT_NEAR(kLinearOfSrgb[number], LightOf(number), 0.5) << number;
  }
  EXPECT_EQ(kLinearOfSrgb[0], 0);
  EXPECT_EQ(kLinearOfSrgb[255], kFullLight);
  struct Case {
    const char* what;
    Bytes (*pixel)(int x, int y);
    double light;  // of every canvas channel
  };
  const Case cases[] = {
      // Row pairs 255 and 0: half the light (the number 128 would give 22%), rounded up.
      {"rows 255/0", [](int, int y) { return Bytes{uint8_t(y % 2 ? 0 : 255)}; }, 32768},
      {"rows 254/0", [](int, int y) { return Bytes{uint8_t(y % 2 ? 0 : 254)}; },
       std::round(LightOf(254) / 2)},
      // 1280 -> 640 columns of 188 and 100: the mean of their lights.
      {"columns 188/100", [](int x, int) { return Bytes{uint8_t(x % 2 ? 100 : 188)}; },
       (LightOf(188) + LightOf(100)) / 2},
      // Half-transparent white over black: half the light.
      {"white at alpha 128",
       [](int, int) {
         return Bytes{255, 128};
       },
       65535.0 * 128 / 255},
  };
  for (const Case& c : cases) {
    const int channels = int(c.pixel(0, 0).size());
    const Canvas canvas = LinearCanvas(Png(1280, 400, channels, Picture(1280, 400, c.pixel)));
    int off = 0;
    for (uint16_t light : canvas.light) off += fabs(light - c.light) > 1;
    EXPECT_EQ(off, 0) << c.what << ": " << canvas.light[0] << " for " << c.light;
  }
  // The sRGB canvas of the rows stays in numbers: 127.5 rounded up.
  const Bytes rows = Png(640, 400, 1, Picture(640, 400, cases[0].pixel));
  Canvas numbers;
  ASSERT_EQ(ScalePicture(rows.data(), rows.size(), Res640, numbers, nullptr, GammaSrgb), "");
  EXPECT_EQ(numbers.gamma, GammaSrgb);
  EXPECT_TRUE(numbers.light.empty());
  EXPECT_EQ(numbers.rgb, Bytes(640 * 200 * 3, 128));
}

TEST(FitColours, TransparencyIsOverBlack) {
  const auto flat = [](int comp, Bytes pixel) {
    return Png(64, 64, comp, Picture(64, 64, [&](int, int) { return pixel; }));
  };
  // Half-transparent white: 127 over black is black; 128 would already be white.
  const auto numbers = [](const Bytes& file) { return Fit(file, Res640, DitherNone, GammaSrgb); };
  EXPECT_EQ(numbers(flat(4, {255, 255, 255, 127})).At(3, 3), 0);
  EXPECT_EQ(numbers(flat(2, {255, 127})).At(3, 3), 0);  // grey and alpha
  // In light, half of white is L* 76: nearer white.
  EXPECT_EQ(Fit(flat(4, {255, 255, 255, 127})).At(3, 3), 7);
  EXPECT_EQ(Fit(flat(4, {255, 255, 255, 40})).At(3, 3), 0);
  for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
    EXPECT_EQ(Fit(flat(4, {255, 255, 255, 255}), Res640, DitherNone, gamma).At(3, 3), 7);
    EXPECT_EQ(Fit(flat(4, {0, 255, 0, 0}), Res640, DitherNone, gamma).At(3, 3), 0);
  }
  // Opaque red beside transparent green, averaged: red (the green weighs nothing).
  const Bytes pairs = Picture(1280, 200, [](int x, int) {
    return x % 2 ? Bytes{0, 255, 0, 0} : Bytes{255, 0, 0, 255};
  });
  EXPECT_EQ(Fit(Png(1280, 200, 4, pairs), Res640, DitherNone, GammaSrgb).At(10, 10), 2);
  EXPECT_EQ(Fit(Png(1280, 200, 4, pairs)).At(10, 10), 2);
  // Dithered, half-transparent white is about half white, in numbers and in light.
  const Bytes half = Picture(640, 200, [](int, int) { return Bytes{255, 255, 255, 128}; });
  for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
    EXPECT_NEAR(Fit(Png(640, 200, 4, half), Res640, DitherDiffusion, gamma).Mean(2), 128, 4);
  }
}

// WebP as browsers save it: lossy close to the bars, alpha over black, an animation's first
// frame.
TEST(FitColours, WebpLossyAlphaAndAnimation) {
  // Lossy: only the pixels beside a bar's edge may differ (at most a column on each side).
  for (const char* options : {"-quality 90 WEBP:", "-quality 40 WEBP:"}) {
    const Bytes webp = Magick(640, 400, Card(640, 400), options);
    ASSERT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8 ") << options;
    EXPECT_LE(Fit(webp).BarErrors(), 7 * 2 * 200) << options;
  }
  // Alpha, lossless and lossy (the alpha plane itself lossless), white over black in light:
  // 30 is 12% of white's light (L* 41, nearer black), 90 is 35% (L* 66, nearer white).
  for (const char* kind : {"-define webp:lossless=true WEBP:", "-quality 80 WEBP:"}) {
    for (auto [alpha, shown] : {std::pair<int, int>{30, 0}, {90, 7}, {255, 7}, {0, 0}}) {
      const Bytes rgba = Picture(64, 64, [=](int, int) {
        return Bytes{255, 255, 255, uint8_t(alpha)};
      });
      const Bytes webp = MagickFrom(Png(64, 64, 4, rgba), "in.png", kind);
      EXPECT_EQ(Fit(webp).Wrong([=](int, int) { return shown; }), 0) << kind << alpha;
    }
  }
  // Two frames, the bars then the bars reversed: the first is what is fitted.
  const Bytes frames =
      Magick(640, 200, Card(640, 200), "\\( +clone -flop \\) -delay 20 -loop 0 WEBP:");
  ASSERT_NE(std::search(frames.begin(), frames.end(), std::begin("ANMF"), std::end("ANMF") - 1),
            frames.end());
  EXPECT_EQ(Fit(frames).BarErrors(), 0);
  // A first frame smaller than the canvas: the rest of the canvas is transparent, so black.
  const Bytes quarter = Magick(320, 100, Card(320, 100), "-define webp:lossless=true WEBP:");
  const Bytes whole = Magick(640, 200, Card(640, 200), "-define webp:lossless=true WEBP:");
  EXPECT_EQ(Fit(Animation(640, 200, {{320, 100, quarter}, {0, 0, whole}})).Wrong([](int x, int y) {
    return x < 320 || y < 100 ? 0 : (x - 320) / 40;
  }),
            0);
}

// The dithers and the levels each is tried on (best takes seconds a picture).
struct DitherLevels {
  DitherMode mode;
  std::vector<int> levels;
};
const DitherLevels kDitherLevels[] = {
    {DitherOrdered, {3, 16, 50, 100, 128, 160, 188, 200, 240, 252}},
    {DitherDiffusion, {3, 16, 50, 100, 128, 160, 188, 200, 240, 252}},
    {DitherBayer, {3, 16, 50, 100, 128, 160, 188, 200, 240, 252}},
    {DitherBest, {16, 188}}};

TEST(FitDither, KeepsTheAverageColour) {
  for (const auto& [mode, levels] : kDitherLevels) {
    for (int v : levels) {
      // Red, green and blue at different levels, so channels cannot trade their errors.
      const Bytes rgb = {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2)};
      const Shown canvas = Fit(Png(640, 200, 3, Picture(640, 200, [&](int, int) { return rgb; })),
                               Res640, mode, GammaSrgb);
      EXPECT_NEAR(canvas.Mean(1), rgb[0], 3) << mode << " red " << v;
      EXPECT_NEAR(canvas.Mean(2), rgb[1], 3) << mode << " green " << v;
      EXPECT_NEAR(canvas.Mean(0), rgb[2], 3) << mode << " blue " << v;
    }
    // A left-to-right grey ramp at 1920x1080: each 64-column band keeps its mean level.
    const Bytes ramp =
        Picture(1920, 1080, [](int x, int) { return Bytes{uint8_t(x * 256 / 1920)}; });
    const Shown canvas = Fit(Png(1920, 1080, 1, ramp), Res640, mode, GammaSrgb);
    for (int band = 0; band < 10; ++band) {
      EXPECT_NEAR(canvas.Mean(2, band * 64, band * 64 + 64), (band * 192 + 95.5) * 256 / 1920, 4)
          << mode << " band " << band;
    }
  }
  // Without dithering a flat 100 grey is plain black.
  EXPECT_EQ(Fit(Png(640, 200, 1, Bytes(640 * 200, 100)), Res640, DitherNone, GammaSrgb).Mean(1), 0);
}

// In linear light each dither keeps the light of an area within 1% of white: flat greys and
// colours over the whole canvas, and every 64-column band of a ramp.
TEST(FitDither, KeepsTheAverageLight) {
  const auto share = [](int number) { return LightOf(number) / 65535; };
  for (const auto& [mode, levels] : kDitherLevels) {
    for (int v : levels) {
      // Grey, and red, green and blue at different levels, so channels cannot trade errors.
      for (const Bytes& rgb : {Bytes{uint8_t(v), uint8_t(v), uint8_t(v)},
                               Bytes{uint8_t(v), uint8_t(255 - v), uint8_t(v / 2)}}) {
        const Shown canvas =
            Fit(Png(640, 200, 3, Picture(640, 200, [&](int, int) { return rgb; })), Res640, mode);
        EXPECT_NEAR(canvas.Mean(1) / 255, share(rgb[0]), 0.01) << mode << " red " << v;
        EXPECT_NEAR(canvas.Mean(2) / 255, share(rgb[1]), 0.01) << mode << " green " << v;
        EXPECT_NEAR(canvas.Mean(0) / 255, share(rgb[2]), 0.01) << mode << " blue " << v;
      }
    }
    const Bytes ramp =
        Picture(1920, 1080, [](int x, int) { return Bytes{uint8_t(x * 256 / 1920)}; });
    const Shown canvas = Fit(Png(1920, 1080, 1, ramp), Res640, mode);
    for (int band = 0; band < 10; ++band) {
      double light = 0;  // the band's 192 source columns
      for (int x = band * 192; x < band * 192 + 192; ++x) light += share(x * 256 / 1920) / 192;
      EXPECT_NEAR(canvas.Mean(2, band * 64, band * 64 + 64) / 255, light, 0.01)
          << mode << " band " << band;
    }
  }
}

TEST(FitDither, HalfLightBayerIsHalfWhite) {
  // Columns of black and white averaged: exactly half the light, which Bayer lights in 32 of
  // every 64 pixels; so does 188, the number nearest to half the light (50.3%). (Ordered
  // draws such a grey from red, green, blue and magenta.)
  const Bytes columns =
      Picture(1280, 200, [](int x, int) { return Bytes{uint8_t(x % 2 ? 255 : 0)}; });
  const Bytes flat = Picture(640, 200, [](int, int) { return Bytes{188}; });
  for (const Bytes& file : {Png(1280, 200, 1, columns), Png(640, 200, 1, flat)}) {
    const Shown canvas = Fit(file, Res640, DitherBayer);
    for (int y = 0; y < 200; y += 8) {
      for (int x = 0; x < 640; x += 8) {
        int white = 0;
        for (int k = 0; k < 64; ++k) white += canvas.At(x + k % 8, y + k / 8) == 7;
        ASSERT_EQ(white, 32) << x << "," << y;
      }
    }
    EXPECT_EQ(canvas.Wrong([&](int x, int y) { return canvas.At(x, y) == 7 ? 7 : 0; }), 0);
  }
}

// Light carried into a saturated area cannot pile up there: pure colours beside a dithered
// grey stay pure from a few pixels past the edge, and the grey keeps its light.
TEST(FitDither, DiffusionStaysPureOnSaturatedAreas) {
  for (int colour : {1, 2, 3, 4, 5, 6, 7}) {
    const Bytes rgb = Picture(640, 200, [&](int x, int) {
      return x < 320 ? Bytes{188, 188, 188} : Rgb(colour);
    });
    const Shown canvas = Fit(Png(640, 200, 3, rgb), Res640, DitherDiffusion);
    EXPECT_EQ(canvas.Wrong([&](int x, int y) { return x < 324 ? canvas.At(x, y) : colour; }), 0)
        << colour;
    for (int bit : {0, 1, 2}) {
      EXPECT_NEAR(canvas.Mean(bit, 0, 316) / 255, LightOf(188) / 65535, 0.01) << colour;
    }
  }
}

// Every dither in both spaces leaves pictures of pure colours pixel for pixel: the test card,
// and the 8 colours scattered at random (each pixel's neighbours unlike it).
TEST(FitDither, PureColoursStayExactInEveryMode) {
  std::mt19937 random(3);
  std::vector<int> numbers(640 * 200);
  for (int& n : numbers) n = int(random() % 8);
  const Bytes card = Png(640, 200, 3, Card(640, 200)),
              scattered = Png(640, 200, 3, Picture(640, 200, [&](int x, int y) {
                                return Rgb(numbers[size_t(y) * 640 + x]);
                              }));
  for (DitherMode mode : {DitherNone, DitherOrdered, DitherDiffusion, DitherBayer, DitherBest}) {
    for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
      EXPECT_EQ(Fit(card, Res640, mode, gamma).BarErrors(), 0) << mode << " " << gamma;
      EXPECT_EQ(Fit(scattered, Res640, mode, gamma).Wrong([&](int x, int y) {
        return numbers[size_t(y) * 640 + x];
      }),
                0)
          << mode << " " << gamma;
    }
  }
}

// Ordered and diffusion draw a flat colour from the 4 corners of its quadruple alone (those of
// least brightness variation that make it), chosen in light: a light grey from cyan, magenta,
// yellow and white, never black; a dark one from black, blue, red and green, never white.
TEST(FitDither, FlatColoursUseTheirQuadrupleOnly) {
  enum : int { K = 0, B = 1, R = 2, M = 3, G = 4, C = 5, Y = 6, W = 7 };
  const std::pair<Bytes, std::set<int>> cases[] = {
      {{240, 240, 240}, {C, M, Y, W}},  // light 0.87 each
      {{60, 60, 60}, {K, R, G, B}},     // 0.05
      {{160, 160, 160}, {R, G, B, M}},  // 0.35
      {{220, 190, 100}, {R, G, M, Y}},  // 0.72 0.52 0.13
      {{150, 230, 200}, {M, Y, G, C}},  // 0.31 0.79 0.58
      {{60, 170, 230}, {C, M, G, B}},   // 0.05 0.40 0.79
  };
  for (const auto& [rgb, quadruple] : cases) {
    const Bytes file = Png(640, 200, 3, Picture(640, 200, [&](int, int) { return rgb; }));
    for (DitherMode mode : {DitherOrdered, DitherDiffusion}) {
      const Shown canvas = Fit(file, Res640, mode);
      std::set<int> used;
      for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 640; ++x) used.insert(canvas.At(x, y));
      }
      EXPECT_TRUE(std::includes(quadruple.begin(), quadruple.end(), used.begin(), used.end()))
          << mode << " " << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2]);
      EXPECT_GE(used.size(), 3u) << mode << " " << int(rgb[0]);
    }
  }
}

// Ordered's threshold is a permutation of 4096 ranks, so every 64x64 tile of a flat colour
// holds each corner of its quadruple in its share of the colour, to the pixel.
TEST(FitDither, OrderedKeepsEachTilesSharesExactly) {
  for (const Bytes& rgb : {Bytes{240, 240, 240}, Bytes{220, 190, 100}, Bytes{60, 170, 230}}) {
    const Bytes file = Png(640, 200, 3, Picture(640, 200, [&](int, int) { return rgb; }));
    const Shown canvas = Fit(file, Res640, DitherOrdered);
    for (int tile = 0; tile < 10; ++tile) {
      int lit[3] = {};  // red, green, blue pixels in the tile's top 64 rows
      for (int y = 0; y < 64; ++y) {
        for (int x = tile * 64; x < tile * 64 + 64; ++x) {
          lit[0] += canvas.At(x, y) >> 1 & 1;
          lit[1] += canvas.At(x, y) >> 2 & 1;
          lit[2] += canvas.At(x, y) & 1;
        }
      }
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(lit[c], LightOf(rgb[size_t(c)]) / 65535 * 4096, 1.5)
            << int(rgb[0]) << " tile " << tile << " channel " << c;
      }
    }
  }
}

// A noisy sRGB canvas: every level of every channel, with no two neighbours alike.
Canvas NoisySrgbCanvas() {
  std::mt19937 random(17);
  Canvas canvas;
  canvas.width = 640;
  canvas.height = 200;
  canvas.gamma = GammaSrgb;
  for (int i = 0; i < 640 * 200 * 3; ++i) canvas.rgb.push_back(uint8_t(random()));
  return canvas;
}

// Under --gamma srgb, diffusion and bayer are earlier versions' own: Floyd-Steinberg on each
// channel's numbers, serpentine, and the 8x8 Bayer matrix, byte for byte.
TEST(FitDither, SrgbDiffusionAndBayerAreTheEarlierOnes) {
  const Canvas canvas = NoisySrgbCanvas();
  const int w = 640, h = 200;
  const auto number = [](const bool on[3]) {
    return (on[2] ? 1 : 0) | (on[0] ? 2 : 0) | (on[1] ? 4 : 0);
  };
  // Floyd-Steinberg, the error of each pixel added where it lands, in the order it lands.
  std::vector<float> error(size_t(w) * (h + 1) * 3, 0.0f);
  Bytes diffused(size_t(w) * h), ordered(size_t(w) * h);
  const auto add = [&](int x, int y, int c, float e) {
    if (x >= 0 && x < w) error[(size_t(y) * w + x) * 3 + c] += e;
  };
  for (int y = 0; y < h; ++y) {
    const int step = y % 2 == 0 ? 1 : -1;
    for (int i = 0; i < w; ++i) {
      const int x = step > 0 ? i : w - 1 - i;
      const size_t at = size_t(y) * w + x;
      bool on[3];
      for (int c = 0; c < 3; ++c) {
        const float value = canvas.rgb[at * 3 + c] + error[at * 3 + c];
        on[c] = value > 127.5f;
        const float e = value - (on[c] ? 255.0f : 0.0f);
        add(x + step, y, c, e * (7.0f / 16));
        add(x - step, y + 1, c, e * (3.0f / 16));
        add(x, y + 1, c, e * (5.0f / 16));
        add(x + step, y + 1, c, e * (1.0f / 16));
      }
      diffused[at] = uint8_t(number(on));
    }
  }
  // Bayer: a channel is on where v / 255 passes (m + 0.5) / 64.
  const int bayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                           {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                           {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                           {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t at = size_t(y) * w + x;
      bool on[3];
      for (int c = 0; c < 3; ++c)
        on[c] = 128 * canvas.rgb[at * 3 + c] > 255 * (2 * bayer[y % 8][x % 8] + 1);
      ordered[at] = uint8_t(number(on));
    }
  }
  Bytes colours(size_t(w) * h);
  MapColours(canvas, DitherDiffusion, colours.data());
  EXPECT_TRUE(colours == diffused);
  MapColours(canvas, DitherBayer, colours.data());
  EXPECT_TRUE(colours == ordered);
}

TEST(FitLayout, NearestColourPackedAsTheExportDoes) {
  std::mt19937 random(11);
  for (Resolution res : {Res640, Res320}) {
    const int width = int(BitmapWidth(res));
    const Bytes rgb = Picture(width, 200, [&](int, int) {
      return Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random())};
    });
    // The nearest colour by squared distance, the lower number on a tie, put into planes the
    // way the plug-in holds GRAM, then encoded by the plug-in's own export code.
    Bytes planes[3];
    for (auto& p : planes) p.assign(kGramPlaneBytes, 0);
    for (int i = 0; i < width * 200; ++i) {
      int best = 0;
      long bestDistance = 1 << 30;
      for (int n = 0; n < 8; ++n) {
        long d = 0;
        for (int k = 0; k < 3; ++k)
          d += long(rgb[3 * i + k] - Rgb(n)[k]) * (rgb[3 * i + k] - Rgb(n)[k]);
        if (d < bestDistance) best = n, bestDistance = d;
      }
      const int y = i / width, first = res == Res640 ? i % width : 2 * (i % width);
      for (int bit = first; bit < first + (res == Res640 ? 1 : 2); ++bit) {
        for (int k = 0; k < 3; ++k)
          planes[k][y * kGramLineBytes + bit / 8] |= (best >> k & 1) << (bit % 8);
      }
    }
    Bytes expected(PixelDataBytes(res)), pixels;
    EncodeGram({{planes[0].data(), planes[1].data(), planes[2].data()}}, res, expected.data());
    const Bytes png = Png(width, 200, 3, rgb);
    EXPECT_EQ(FitPicture(png.data(), png.size(), res, DitherNone, pixels, nullptr, GammaSrgb), "");
    EXPECT_EQ(pixels, expected) << width;
  }
}

// CIELAB (D65) of 8-bit sRGB numbers, by the textbook formulas in double precision.
std::array<double, 3> LabOfNumbers(const uint8_t* rgb) {
  double linear[3];
  for (int c = 0; c < 3; ++c) linear[c] = LightOf(rgb[c]) / 65535;
  const auto f = [](double t) {
    return t > pow(6.0 / 29, 3) ? cbrt(t) : t / (3 * pow(6.0 / 29, 2)) + 4.0 / 29;
  };
  const double x = (0.4124 * linear[0] + 0.3576 * linear[1] + 0.1805 * linear[2]) / 0.9505;
  const double y = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
  const double z = (0.0193 * linear[0] + 0.1192 * linear[1] + 0.9505 * linear[2]) / 1.0890;
  return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

// In linear light, without dithering, each pixel is the colour nearest in CIELAB: never
// more than 0.01 farther than the nearest one, whose distance the test works out itself.
TEST(FitLayout, NearestColourInLightIsNearestInLab) {
  std::mt19937 random(17);
  const Bytes rgb = Picture(640, 200, [&](int, int) {
    return Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random())};
  });
  const Shown shown = Fit(Png(640, 200, 3, rgb));
  int wrong = 0, differsFromPerChannel = 0;
  for (int i = 0; i < 640 * 200; ++i) {
    const std::array<double, 3> lab = LabOfNumbers(&rgb[3 * i]);
    double distance[8];
    for (int n = 0; n < 8; ++n) {
      const std::array<double, 3> corner = LabOfNumbers(Rgb(n).data());
      distance[n] = sqrt(pow(lab[0] - corner[0], 2) + pow(lab[1] - corner[1], 2) +
                         pow(lab[2] - corner[2], 2));
    }
    const int chosen = shown.At(i % 640, i / 640);
    wrong += distance[chosen] > *std::min_element(distance, distance + 8) + 0.01;
    int perChannel = 0;  // the nearest corner in numbers
    for (int c = 0; c < 3; ++c)
      perChannel |= (rgb[3 * i + c] >= 128) << (c == 0 ? 1 : c == 1 ? 2 : 0);
    differsFromPerChannel += chosen != perChannel;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(differsFromPerChannel, 640 * 200 / 20) << "nearest in CIELAB is a choice of its own";
}

// However the rows arrive (a PNG a band at a time while a second thread scales, an interlaced
// PNG all at once, another format from stb_image), the fit is the same. The sizes give a
// short last band and, for the wide one, bands of a single row.
TEST(FitDecode, RowsInBandsFitAsTheWholePicture) {
  std::mt19937 random(21);
  for (auto [w, h] : {std::pair<int, int>{1501, 701}, {16000, 25}}) {
    const Bytes rgb = Picture(w, h, [&](int x, int y) {
      return Bytes{uint8_t(x + random() % 64), uint8_t(y * 3 + random() % 32), uint8_t(random())};
    });
    Bytes rgba;
    for (size_t i = 0; i < rgb.size(); i += 3) {
      rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], uint8_t(rgb[i] ^ rgb[i + 2])});
    }
    Bytes tga;
    stbi_write_tga_with_rle = 0;
    stbi_write_tga_to_func(Append, &tga, w, h, 4, rgba.data());
    const std::vector<std::pair<Bytes, Bytes>> sameFit = {
        {Png(w, h, 3, rgb), Ppm(w, h, rgb)},
        {Magick(w, h, rgb, "-interlace PNG PNG24:"), Ppm(w, h, rgb)},
        {Png(w, h, 4, rgba), tga},
        {Magick(w, h, rgb, "-define webp:lossless=true WEBP:"), Ppm(w, h, rgb)}};
    for (const auto& [png, other] : sameFit) {
      for (Resolution res : {Res640, Res320}) {
        for (DitherMode dither : {DitherNone, DitherOrdered, DitherDiffusion}) {
          Bytes byPng, byOther;
          ASSERT_EQ(FitPicture(png.data(), png.size(), res, dither, byPng), "");
          ASSERT_EQ(FitPicture(other.data(), other.size(), res, dither, byOther), "");
          EXPECT_TRUE(byPng == byOther) << w << "x" << h << " " << png[28] << " " << dither;
        }
      }
    }
  }
}

#ifdef FIT_LIBPNG
// libpng reads PNG files where the build has it; pixels must be exactly stb_image's.
TEST(FitDecode, LibpngGivesStbImagesPixels) {
  std::mt19937 random(13);
  const Bytes rgb = Picture(97, 61, [&](int x, int y) {
    return Bytes{uint8_t(x * 5 + y), uint8_t(random()), uint8_t(y * 4)};
  });
  const std::string alpha =
      "\\( +clone -channel G -separate +channel \\) -alpha off -compose CopyOpacity -composite ";
  const std::string grey = "-colorspace Gray -define png:color-type=0 ";
  const std::string deep = "-depth 16 -evaluate multiply 0.9973 ";  // low bytes of all kinds
  const std::vector<std::string> kinds = {
      "PNG24:",
      "PNG8:",
      alpha + "PNG8:",
      deep + "PNG48:",
      alpha + "PNG32:",
      alpha + deep + "PNG64:",
      grey + "-define png:bit-depth=8 PNG:",
      grey + deep + "PNG:",
      grey + "-depth 1 -define png:bit-depth=1 PNG:",
      grey + "-depth 2 -define png:bit-depth=2 PNG:",
      grey + "-depth 4 -define png:bit-depth=4 PNG:",
      "-colorspace Gray " + alpha + "-define png:color-type=4 PNG:",
      "-colorspace Gray " + alpha + deep + "-define png:color-type=4 PNG:",
      grey + "-fuzz 10% -transparent black -define png:bit-depth=8 PNG:",
      "-fuzz 10% -transparent black -define png:color-type=2 PNG:",
      "-interlace PNG PNG24:",
      "-interlace PNG " + alpha + deep + "PNG64:",
      "-interlace PNG -colors 16 PNG8:"};
  std::set<std::string> covered;  // colour type, bit depth, interlace, tRNS
  for (const std::string& kind : kinds) {
    const Bytes png = Magick(97, 61, rgb, kind);
    ASSERT_GT(png.size(), 33u) << kind;
    const bool trns =
        std::search(png.begin(), png.end(), std::begin("tRNS"), std::end("tRNS") - 1) != png.end();
    covered.insert(std::to_string(png[25]) + "/" + std::to_string(png[24]) + (png[28] ? "i" : "") +
                   (trns ? "t" : ""));
    DecodedPicture byLibpng, byStb;
    ASSERT_EQ(DecodePicture(png.data(), png.size(), byLibpng), "") << kind;
    ASSERT_EQ(DecodePicture(png.data(), png.size(), byStb, false), "") << kind;
    ASSERT_EQ(byLibpng.width, 97u);
    ASSERT_EQ(byLibpng.height, 61u);
    ASSERT_EQ(byLibpng.channels, byStb.channels) << kind;
    EXPECT_EQ(memcmp(byLibpng.pixels, byStb.pixels, 97 * 61 * byStb.channels), 0) << kind;
  }
  // Grey (0), RGB (2), palette (3), grey and alpha (4), RGBA (6); depths; interlaced; tRNS.
  for (const char* form : {"2/8", "3/8", "3/8t", "2/16", "6/8", "6/16", "0/8", "0/16", "0/1", "0/2",
                           "0/4", "4/8", "4/16", "0/8t", "2/8t", "2/8i", "6/16i", "3/8i"}) {
    EXPECT_EQ(covered.count(form), 1u) << form;
  }
}
#endif

// WebP is fed to libwebp a piece at a time and taken a band at a time; the pixels must be
// those of its one-call decoder.
TEST(FitDecode, WebpInPiecesGivesLibwebpsPixels) {
  std::mt19937 random(17);
  const Bytes rgb = Picture(1501, 701, [&](int x, int y) {
    return Bytes{uint8_t(x * 5 + y), uint8_t(random() % 64), uint8_t(y * 4)};
  });
  const std::string alpha =
      "\\( +clone -channel G -separate +channel \\) -alpha off -compose CopyOpacity -composite ";
  const std::string lossless = "-define webp:lossless=true WEBP:";
  for (const std::string& kind : {std::string("-quality 75 WEBP:"),
                                  alpha + "-quality 75 WEBP:", lossless, alpha + lossless}) {
    const Bytes webp = Magick(1501, 701, rgb, kind);
    ASSERT_GT(webp.size(), 4u * 16384) << kind << ": too small to come in pieces";
    WebPBitstreamFeatures features;
    ASSERT_EQ(WebPGetFeatures(webp.data(), webp.size(), &features), VP8_STATUS_OK);
    const uint32_t channels = features.has_alpha ? 4 : 3;
    int w = 0, h = 0;
    uint8_t* whole = features.has_alpha ? WebPDecodeRGBA(webp.data(), webp.size(), &w, &h)
                                        : WebPDecodeRGB(webp.data(), webp.size(), &w, &h);
    ASSERT_NE(whole, nullptr);
    DecodedPicture picture;
    EXPECT_EQ(DecodePicture(webp.data(), webp.size(), picture), "") << kind;
    EXPECT_EQ(picture.width, 1501u);
    EXPECT_EQ(picture.height, 701u);
    EXPECT_EQ(picture.channels, channels) << kind;
    if (picture.pixels != nullptr && picture.channels == channels) {
      EXPECT_EQ(memcmp(picture.pixels, whole, size_t(w) * h * channels), 0) << kind;
    }
    WebPFree(whole);
  }
}

using Chunks = std::vector<std::pair<std::string, Bytes>>;

// A one-row PNG of `width` pixels from its chunks after IHDR (depth and colour type given):
// an "IDAT" in the list holds the row's bytes (the filter byte added) compressed.
Bytes ChunkedPng(uint32_t width, uint8_t depth, uint8_t colour, const Bytes& row,
                 const Chunks& chunks) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const auto chunk = [&](const std::string& type, const Bytes& data) {
    Bytes body(type.begin(), type.end());
    body.insert(body.end(), data.begin(), data.end());
    const uint32_t length = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) png.push_back(uint8_t(length >> (24 - 8 * i)));
    png.insert(png.end(), body.begin(), body.end());
    const uint32_t crc = stbiw__crc32(body.data(), int(body.size()));
    for (int i = 0; i < 4; ++i) png.push_back(uint8_t(crc >> (24 - 8 * i)));
  };
  const uint32_t w = width;
  chunk("IHDR", {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w), 0, 0, 0, 1, depth,
                 colour, 0, 0, 0});
  for (const auto& [type, data] : chunks) {
    if (type != "IDAT") {
      chunk(type, data);
      continue;
    }
    Bytes filtered = {0};  // no filter
    filtered.insert(filtered.end(), row.begin(), row.end());
    int packed = 0;
    unsigned char* zlib = stbi_zlib_compress(filtered.data(), int(filtered.size()), &packed, 8);
    chunk("IDAT", Bytes(zlib, zlib + packed));
    STBIW_FREE(zlib);
  }
  chunk("IEND", {});
  return png;
}

// A width x 1 palette PNG of 8-bit indices with the palette's RGB entries.
Bytes PalettePng(const Bytes& indices, const Bytes& palette) {
  return ChunkedPng(uint32_t(indices.size()), 8, 3, indices, {{"PLTE", palette}, {"IDAT", {}}});
}

// A pixel whose index passes the palette shows black from either reader, whatever the
// decoder's memory held before (a full white palette read first leaves white there).
TEST(FitDecode, IndexPastThePaletteIsBlack) {
  const Bytes white = PalettePng(Bytes(8, 255), Bytes(768, 255));
  const Bytes shortPalette = PalettePng({0, 1, 2, 200, 255, 1}, {255, 0, 0, 0, 255, 0});
  const Bytes expected = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0};
  for (bool libpng : {false, true}) {
    DecodedPicture full, picture;
    ASSERT_EQ(DecodePicture(white.data(), white.size(), full, libpng), "");
    ASSERT_EQ(DecodePicture(shortPalette.data(), shortPalette.size(), picture, libpng), "");
    ASSERT_EQ(picture.channels, 3u);
    EXPECT_EQ(Bytes(picture.pixels, picture.pixels + 18), expected) << "libpng " << libpng;
  }
}

// PLTE and tRNS are read by libpng's rule through either reader: a palette counts up to
// 2^depth entries, and a tRNS libpng passes over is gone for stb_image too (which would apply
// it, or refuse the file). Both kept findings (a 2-bit picture with 128 entries and a 44-byte
// tRNS) and a file for each rule give the same pixels by both paths, in libpng's channels.
TEST(FitDecode, PaletteChunksReadOneWay) {
  Bytes entries;  // 128 of them
  for (int n = 0; n < 128; ++n) entries.insert(entries.end(), {uint8_t(n), uint8_t(~n), 9});
  const std::vector<std::pair<Chunks, uint32_t>> twoBit = {
      // chunks after IHDR, channels
      {{{"PLTE", entries}, {"tRNS", Bytes(44, 7)}, {"IDAT", {}}}, 3},  // the findings' form
      {{{"PLTE", entries}, {"tRNS", {5, 6}}, {"IDAT", {}}}, 4},
      {{{"tRNS", {5}}, {"PLTE", entries}, {"IDAT", {}}}, 3},
      {{{"PLTE", entries}, {"tRNS", {}}, {"IDAT", {}}}, 3},
      {{{"PLTE", entries}, {"tRNS", {5}}, {"tRNS", {6, 6}}, {"IDAT", {}}}, 4},
      {{{"PLTE", entries}, {"IDAT", {}}, {"tRNS", {5}}}, 3}};
  std::vector<std::pair<Bytes, uint32_t>> files;
  for (const auto& [chunks, channels] : twoBit)
    files.push_back({ChunkedPng(4, 2, 3, {27}, chunks), channels});
  const Bytes shortPalette = {1, 2, 3, 4, 5, 6}, grey = {9, 200, 9}, rgba = {1, 2, 3, 4};
  files.push_back(
      {ChunkedPng(2, 8, 3, {1, 0}, {{"PLTE", shortPalette}, {"tRNS", {1, 2, 3}}, {"IDAT", {}}}),
       3});
  files.push_back({ChunkedPng(3, 8, 0, grey, {{"tRNS", {0, 9, 0, 8, 0, 7}}, {"IDAT", {}}}), 1});
  // A 1-bit grey whose tRNS value passes its bit: libpng keeps the low bit (black clear).
  files.push_back({ChunkedPng(8, 1, 0, {0x5a}, {{"tRNS", {0, 0xc2}}, {"IDAT", {}}}), 2});
  files.push_back({ChunkedPng(1, 8, 6, rgba, {{"tRNS", {0, 1, 0, 2, 0, 3}}, {"IDAT", {}}}), 4});
  for (const char* finding : {"palette-128-tRNS-44-a.png", "palette-128-tRNS-44-b.png"}) {
    std::ifstream in(std::string(FIT_SEEDS_DIR "/png/") + finding, std::ios::binary);
    files.push_back({Bytes(std::istreambuf_iterator<char>(in), {}), 3});
    ASSERT_GT(files.back().first.size(), 600u) << finding;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const Bytes& png = files[i].first;
    DecodedPicture byLibpng, byStb;
    ASSERT_EQ(DecodePicture(png.data(), png.size(), byLibpng), "") << i;
    ASSERT_EQ(DecodePicture(png.data(), png.size(), byStb, false), "") << i;
    EXPECT_EQ(byLibpng.channels, files[i].second) << i;
    ASSERT_EQ(byStb.channels, byLibpng.channels) << i;
    const size_t bytes = size_t(byStb.width) * byStb.height * byStb.channels;
    EXPECT_EQ(memcmp(byStb.pixels, byLibpng.pixels, bytes), 0) << i;
  }
}

std::string FitFailure(const Bytes& file) {
  Bytes pixels = {1, 2, 3};
  const std::string failure = FitPicture(file.data(), file.size(), Res640, DitherNone, pixels);
  EXPECT_EQ(pixels, (Bytes{1, 2, 3})) << "pixels must be untouched on failure";
  return failure;
}

void PutBe32(Bytes& file, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (24 - 8 * i));
}

TEST(FitRefusal, EveryBadInputHasItsReason) {
  const std::string unknown =
      "not a picture gramconv can read (unknown format or damaged file; reads PNG, JPEG, GIF, "
      "BMP, TGA, PNM, PSD, WebP)";
  EXPECT_EQ(FitFailure({}), "the file is empty");
  const std::string text = "this is a letter, not a picture\n";
  EXPECT_EQ(FitFailure(Bytes(text.begin(), text.end())), unknown);
  std::mt19937 random(3);
  const Bytes noise = Picture(5000, 1, [&](int, int) { return Bytes{uint8_t(random() | 0x80)}; });
  EXPECT_EQ(FitFailure(noise), unknown);  // no TGA header starts like this

  // Cut short, including the formats whose decoder would read zeros past the end.
  for (auto& [name, file] : InMemoryFormats(640, 200, Card(640, 200))) {
    if (name == "TGA RLE") continue;  // bars compress to a few bytes
    EXPECT_EQ(FitFailure(Bytes(file.begin(), file.begin() + file.size() * 6 / 10)),
              "the picture is cut short")
        << name;
  }
  const Bytes noisy = Picture(640, 200, [&](int, int) { return Rgb(random() % 8); });
  for (const char* options : {"GIF:", "PSD:", "-colors 8 BMP3:"}) {
    const Bytes file = Magick(640, 200, noisy, options);
    EXPECT_EQ(FitFailure(Bytes(file.begin(), file.begin() + file.size() / 2)),
              "the picture is cut short")
        << options;
  }

  EXPECT_EQ(FitFailure(Ppm(0, 0, {})), "the picture has no pixels");
  const Bytes png = Png(4, 4, 3, Card(4, 4));
  Bytes changed = png;
  PutBe32(changed, 16, 0);  // IHDR width
  EXPECT_EQ(FitFailure(changed), "the picture has no pixels");

  // Declared huge by a tiny file: refused from the header.
  PutBe32(changed, 16, 20000);
  PutBe32(changed, 20, 20000);
  EXPECT_EQ(FitFailure(changed),
            "the picture is 20000x20000 = 400000000 pixels; gramconv takes at most 100000000");
  Bytes bmp;
  stbi_write_bmp_to_func(Append, &bmp, 4, 4, 3, Card(4, 4).data());
  for (int i = 0; i < 4; ++i) bmp[18 + i] = bmp[22 + i] = uint8_t(30000 >> (8 * i));
  EXPECT_EQ(FitFailure(bmp),
            "the picture is 30000x30000 = 900000000 pixels; gramconv takes at most 100000000");
  PutBe32(changed, 16, 70000);
  PutBe32(changed, 20, 1);
  EXPECT_NE(FitFailure(changed).find("65536"), std::string::npos);

  // A JPEG Huffman table listing more codes than exist is refused before the decoder, which
  // would write past its tables.
  Bytes jpeg = InMemoryFormats(8, 8, Card(8, 8)).back().second;
  size_t dht = 2;
  while (dht + 1 < jpeg.size() && !(jpeg[dht] == 0xff && jpeg[dht + 1] == 0xc4)) ++dht;
  ASSERT_LT(dht + 21, jpeg.size());
  std::fill_n(&jpeg[dht + 5], 16, 255);  // the first table's 16 code counts
  EXPECT_NE(FitFailure(jpeg).find("Huffman"), std::string::npos);
  // A scan naming a Huffman or quantization table no segment defined: the decoder would take
  // whatever its memory held for it.
  const Bytes plain = InMemoryFormats(8, 8, Card(8, 8)).back().second;
  size_t sos = 2, sof = 2;
  while (sos + 1 < plain.size() && !(plain[sos] == 0xff && plain[sos + 1] == 0xda)) ++sos;
  while (sof + 1 < plain.size() && !(plain[sof] == 0xff && plain[sof + 1] == 0xc0)) ++sof;
  ASSERT_LT(sos + 7, plain.size());
  const std::string undefined = "a JPEG scan uses a table the file does not define";
  for (auto [at, value] : {std::pair<size_t, uint8_t>{sos + 6, 0x20},
                           {sos + 6, 0x03},
                           {sof + 12, 3}}) {  // DC table 2, AC table 3, DQT table 3
    Bytes changed = plain;
    changed[at] = value;
    EXPECT_NE(FitFailure(changed).find(undefined), std::string::npos) << at << " " << int(value);
  }
  Bytes fitted;  // and the file as written reads
  EXPECT_EQ(FitPicture(plain.data(), plain.size(), Res640, DitherNone, fitted), "");

  // A PNM header number too big for the decoder's int (it would overflow reading it), even
  // behind a comment; a big number that fits gets the size check's own reason.
  const std::string pnmHuge = "P6\n# made by hand\n" + std::string(40, '6') + " 1\n255\n";
  EXPECT_NE(FitFailure(Bytes(pnmHuge.begin(), pnmHuge.end())).find("PNM header"),
            std::string::npos);
  const std::string pnmWide = "P5 70000 1 255\n" + std::string(70000, '\0');
  EXPECT_NE(FitFailure(Bytes(pnmWide.begin(), pnmWide.end())).find("65536"), std::string::npos);
}

TEST(FitRefusal, BadWebpHasItsReason) {
  std::mt19937 random(23);
  const Bytes noisy = Picture(640, 200, [&](int, int) { return Rgb(random() % 8); });
  const Bytes lossless = Magick(640, 200, noisy, "-define webp:lossless=true WEBP:");
  const Bytes lossy = Magick(640, 200, noisy, "-quality 80 WEBP:");
  const Bytes animated = Animation(640, 200, {{0, 0, lossless}, {0, 0, lossy}});
  const std::string cutShort = "the picture is cut short";
  for (const Bytes* file : {&lossless, &lossy, &animated}) {
    for (size_t keep : {size_t(20), file->size() / 3, file->size() - 1}) {
      EXPECT_EQ(FitFailure(Bytes(file->begin(), file->begin() + keep)), cutShort) << keep;
    }
  }
  // Damaged: lossless data changed after a sound header (lossy data has no checks, but its
  // frame's start code has), a frame placed past the canvas, a stream's wrong signature.
  const std::string damaged = "the picture is damaged";
  Bytes changed = lossless;
  for (size_t i = 40; i < changed.size(); i += 7) changed[i] ^= 0x5a;
  EXPECT_EQ(FitFailure(changed).find(damaged), 0u) << FitFailure(changed);
  changed = lossy;
  changed[23] = 0;  // 9d 01 2a
  EXPECT_EQ(FitFailure(changed).find(damaged), 0u) << FitFailure(changed);
  Bytes outside = animated;
  PutLe(outside, 44 + 8, 100, 3);  // the first frame 200 pixels right: past the canvas
  EXPECT_EQ(FitFailure(outside).find(damaged), 0u) << FitFailure(outside);
  Bytes badSignature = lossless;
  badSignature[20] = 0x2e;  // a VP8L stream starts with 0x2f
  EXPECT_EQ(FitFailure(badSignature).find(damaged), 0u);

  // Declared huge by a tiny file: refused from the header. A lossless stream holds up to
  // 16384 a side, an animation's canvas up to 16777216.
  Bytes huge = lossless;
  PutLe(huge, 21, 0x0fffffff, 4);  // 14 bits of width - 1, 14 of height - 1
  EXPECT_EQ(FitFailure(huge),
            "the picture is 16384x16384 = 268435456 pixels; gramconv takes at most 100000000");
  Bytes canvas = animated;
  PutLe(canvas, 24, 19999, 3);
  PutLe(canvas, 27, 19999, 3);
  EXPECT_EQ(FitFailure(canvas),
            "the picture is 20000x20000 = 400000000 pixels; gramconv takes at most 100000000");
  PutLe(canvas, 24, 69999, 3);
  PutLe(canvas, 27, 0, 3);
  EXPECT_NE(FitFailure(canvas).find("65536"), std::string::npos) << FitFailure(canvas);
}

// An RLE bitmap of width x height at 4 or 8 bits, its palette index i showing colour
// palette[i], with the given compressed pixel bytes.
Bytes RleBitmap(int width, int height, int bits, const std::vector<int>& palette,
                const Bytes& runs) {
  const uint32_t offset = uint32_t(54 + 4 * palette.size());
  Bytes file(offset, 0);
  const auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put(2, uint32_t(offset + runs.size()));
  put(10, offset);
  put(14, 40);
  put(18, uint32_t(width));
  put(22, uint32_t(height));
  put(26, 1 | bits << 16);
  put(30, bits == 8 ? 1 : 2);
  put(34, uint32_t(runs.size()));
  put(46, uint32_t(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) {
    const Bytes rgb = Rgb(palette[i]);
    file[54 + 4 * i] = rgb[2], file[55 + 4 * i] = rgb[1], file[56 + 4 * i] = rgb[0];
  }
  file.insert(file.end(), runs.begin(), runs.end());
  return file;
}

// 16x5 at 4 bits: the 8 bars two pixels each in every row but the second from the top,
// which no pixel reaches (black). Index 0 is black; the others are in another order.
const std::vector<int> kRlePalette = {0, 4, 6, 2, 7, 1, 5, 3};
int Index(int colour) {
  int index = 0;
  while (kRlePalette[index] != colour) ++index;
  return index;
}
uint8_t Twice(int colour) { return uint8_t(Index(colour) * 0x11); }
Bytes Rle4Runs() {
  Bytes runs;
  for (int c = 0; c < 8; ++c) runs.insert(runs.end(), {2, Twice(c)});  // bottom row: runs
  runs.insert(runs.end(), {0, 0});
  // Absolute runs of 6 and 10 pixels: 3 and 5 bytes, each padded to an even count.
  runs.insert(runs.end(), {0, 6, Twice(0), Twice(1), Twice(2), 0});
  runs.insert(runs.end(), {0, 10, Twice(3), Twice(4), Twice(5), Twice(6), Twice(7), 0, 0, 0});
  // A run whose nibbles differ across the first bar's edge, then the rest; then a move up by
  // one row from the row's end, and that row ended: it stays index 0.
  runs.insert(runs.end(), {1, Twice(0), 2, uint8_t(Index(0) << 4 | Index(1)), 1, Twice(1)});
  for (int c = 2; c < 8; ++c) runs.insert(runs.end(), {2, Twice(c)});
  runs.insert(runs.end(), {0, 2, 0, 1, 0, 0});
  // The top row: a move right past the first bar (black by being skipped), then the end.
  runs.insert(runs.end(), {0, 2, 2, 0});
  for (int c = 1; c < 8; ++c) runs.insert(runs.end(), {2, Twice(c)});
  runs.insert(runs.end(), {0, 1});
  return runs;
}

TEST(FitColours, RleBitmapsExact) {
  // RLE8 by ImageMagick: runs of each bar, absolute runs where the noise is.
  std::mt19937 random(5);
  const Bytes card = Picture(
      640, 200, [&](int x, int y) { return y < 100 ? Rgb(x * 8 / 640) : Rgb(random() % 8); });
  const Bytes rle8 = Magick(640, 200, card, "-type Palette -compress RLE BMP3:");
  ASSERT_GT(rle8.size(), 34u);
  ASSERT_EQ(ReadLe32(&rle8[30]), 1u) << "expected an RLE8 bitmap";
  const Shown canvas = Fit(rle8);
  EXPECT_EQ(canvas.Wrong([&](int x, int y) {
    const int i = 3 * (y * 640 + x);
    return y < 100 ? x * 8 / 640
                   : (card[i] ? 2 : 0) | (card[i + 1] ? 4 : 0) | (card[i + 2] ? 1 : 0);
  }),
            0);

  // RLE4 by hand: encoded and absolute runs, moves, row ends, the end of the bitmap.
  const Shown rle4 = Fit(RleBitmap(16, 5, 4, kRlePalette, Rle4Runs()), Res320);
  EXPECT_EQ(rle4.Wrong([](int x, int y) { return y >= 40 && y < 80 ? 0 : x * 8 / 320; }), 0);
}

// A JPEG whose header stb refuses is not then read as another format from a later part of the
// file (the stb target's finding: a PNM header past the first 128 bytes, its size no size of
// this file): it gets the JPEG reader's refusal.
TEST(FitRefusal, RefusedJpegHeaderIsNotReadAsPnm) {
  std::ifstream in(FIT_SEEDS_DIR "/stb/jpeg-header-then-pnm-numbers.jpg", std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(file.size(), 256u);
  EXPECT_EQ(FitFailure(file), "the picture is damaged or in a form gramconv cannot read");
}

TEST(FitRefusal, DamagedRleHasItsReason) {
  const Bytes good = RleBitmap(16, 5, 4, kRlePalette, Rle4Runs());
  const std::string cutShort = "the picture is cut short";
  for (size_t keep : {size_t(0), size_t(10), size_t(21), size_t(45), size_t(70)}) {
    EXPECT_EQ(FitFailure(Bytes(good.begin(), good.end() - Rle4Runs().size() + keep)), cutShort)
        << keep;
  }
  const auto changed = [&](size_t at, uint8_t value) {
    Bytes file = good;
    file[86 + at] = value;
    return FitFailure(file);
  };
  const std::string damaged = "the picture is damaged (";
  EXPECT_EQ(changed(0, 20), damaged + "an RLE run passes the end of a row)");   // a run of 20
  EXPECT_EQ(changed(19, 18), damaged + "an RLE run passes the end of a row)");  // absolute 18
  EXPECT_EQ(changed(55, 9), damaged + "an RLE move leaves the picture)");       // up by 9 rows
  EXPECT_EQ(changed(60, 17), damaged + "an RLE move leaves the picture)");      // 17 right

  Bytes topDown = good;
  for (int i = 0; i < 4; ++i) topDown[22 + i] = uint8_t(uint32_t(-5) >> (8 * i));
  EXPECT_EQ(FitFailure(topDown).find(damaged), 0u);
  Bytes eightBits = good;
  eightBits[28] = 8;
  EXPECT_EQ(FitFailure(eightBits).find(damaged), 0u);
  // After the last row is ended: another row end, or pixels.
  for (const Bytes& more : {Bytes{0, 0, 0, 0}, Bytes{0, 0, 2, 0}}) {
    Bytes runs = Rle4Runs();
    runs.insert(runs.end() - 2, more.begin(), more.end());
    EXPECT_EQ(FitFailure(RleBitmap(16, 5, 4, kRlePalette, runs)).find(damaged + "an RLE"), 0u);
  }

  // Declared huge by a tiny file: refused from the header, before anything is expanded.
  EXPECT_EQ(FitFailure(RleBitmap(20000, 20000, 8, kRlePalette, {0, 1})),
            "the picture is 20000x20000 = 400000000 pixels; gramconv takes at most 100000000");
  EXPECT_EQ(FitFailure(RleBitmap(0, 5, 8, kRlePalette, {0, 1})), "the picture has no pixels");

  // An RLE8 file by ImageMagick, cut short.
  std::mt19937 random(9);
  const Bytes noisy = Picture(640, 200, [&](int, int) { return Rgb(random() % 8); });
  const Bytes rle8 = Magick(640, 200, noisy, "-type Palette -compress RLE BMP3:");
  EXPECT_EQ(FitFailure(Bytes(rle8.begin(), rle8.begin() + rle8.size() / 2)), cutShort);
}

// ---- Orientation, framing and tone ----

// TIFF holding IFD0 with the orientation tag alone, in either byte order.
Bytes ExifTiff(int orientation, bool little) {
  const auto put = [&](Bytes& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * (little ? i : bytes - 1 - i))));
  };
  Bytes tiff = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')};
  put(tiff, 42, 2), put(tiff, 8, 4), put(tiff, 1, 2);  // header, IFD0: 1 entry
  put(tiff, 0x112, 2), put(tiff, 3, 2), put(tiff, 1, 4), put(tiff, uint32_t(orientation), 2);
  put(tiff, 0, 2), put(tiff, 0, 4);  // value padding, no IFD1
  return tiff;
}

// The file with tiff as its EXIF: a JPEG's APP1 after SOI, a PNG's eXIf after IHDR, a WebP made
// extended (VP8X) with an EXIF chunk after its image.
Bytes WithExif(const Bytes& file, const Bytes& tiff, uint32_t w, uint32_t h) {
  Bytes out;
  if (file[0] == 0xff) {
    const uint32_t length = uint32_t(tiff.size() + 8);
    out = {0xff, 0xd8, 0xff, 0xe1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0};
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), file.begin() + 2, file.end());
  } else if (file[0] == 0x89) {
    Bytes chunk = {0, 0, 0, 0, 'e', 'X', 'I', 'f'};
    PutBe32(chunk, 0, uint32_t(tiff.size()));
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    const uint32_t crc = stbiw__crc32(chunk.data() + 4, int(chunk.size() - 4));
    for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(crc >> (24 - 8 * i)));
    out.assign(file.begin(), file.begin() + 33);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), file.begin() + 33, file.end());
  } else {
    out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0, 8};
    out.resize(30);
    PutLe(out, 24, w - 1, 3);
    PutLe(out, 27, h - 1, 3);
    out.insert(out.end(), file.begin() + 12, file.end());
    out.insert(out.end(), {'E', 'X', 'I', 'F', 0, 0, 0, 0});
    PutLe(out, out.size() - 4, uint32_t(tiff.size()), 4);
    out.insert(out.end(), tiff.begin(), tiff.end());
    PutLe(out, 4, uint32_t(out.size() - 8), 4);
  }
  return out;
}

WorkingPicture Load(const Bytes& file, bool orient = true, FitGamma gamma = GammaLinear) {
  WorkingPicture picture;
  EXPECT_EQ(LoadPicture(file.data(), file.size(), picture, nullptr, gamma, orient), "");
  return picture;
}

// The colour number nearest to working pixel i (each channel over half of full or not).
int ColourAt(const WorkingPicture& picture, size_t i) {
  const uint16_t* p = &picture.pixels[i * 4];
  return (p[2] > 32768 ? 1 : 0) | (p[0] > 32768 ? 2 : 0) | (p[1] > 32768 ? 4 : 0);
}

// Each orientation's file shows an asymmetric picture upright; ignored, it shows what is stored.
TEST(FitOrientation, EveryExifOrientationTurnsThePictureUpright) {
  const int w = 6, h = 4;  // upright, each pixel an 8x8 block so JPEG keeps it
  const auto upright = [](int u, int v) { return (u + 3 * v) % 8; };
  // Where stored pixel (x, y) is shown: x and y swapped (rows become columns), then the
  // shown column and row counted from the other side.
  struct Case {
    int orientation;
    const char* meaning;  // where the stored row 0 and column 0 are shown
    bool swap, flipAcross, flipDown;
  };
  const Case cases[] = {
      {1, "row 0 top, column 0 left", false, false, false},
      {2, "row 0 top, column 0 right", false, true, false},
      {3, "row 0 bottom, column 0 right", false, true, true},
      {4, "row 0 bottom, column 0 left", false, false, true},
      {5, "row 0 left, column 0 top", true, false, false},
      {6, "row 0 right, column 0 top", true, true, false},
      {7, "row 0 right, column 0 bottom", true, true, true},
      {8, "row 0 left, column 0 bottom", true, false, true},
  };
  for (const Case& c : cases) {
    const bool turned = c.orientation >= 5;
    const int sw = turned ? h : w, sh = turned ? w : h;  // as stored, in blocks
    const auto shown = [&](int x, int y) {               // the upright colour of stored x, y
      const int u = c.swap ? y : x, v = c.swap ? x : y;
      return upright(c.flipAcross ? w - 1 - u : u, c.flipDown ? h - 1 - v : v);
    };
    const Bytes stored =
        Picture(sw * 8, sh * 8, [&](int x, int y) { return Rgb(shown(x / 8, y / 8)); });
    const Bytes png = Png(sw * 8, sh * 8, 3, stored);
    const Bytes files[] = {
        WithExif(InMemoryFormats(sw * 8, sh * 8, stored).back().second, ExifTiff(c.orientation, 0),
                 0, 0),
        WithExif(png, ExifTiff(c.orientation, true), 0, 0),
        WithExif(MagickFrom(png, "in.png", "-define webp:lossless=true WEBP:"),
                 ExifTiff(c.orientation, c.orientation % 2), uint32_t(sw * 8), uint32_t(sh * 8))};
    for (const Bytes& file : files) {
      SCOPED_TRACE(std::string(c.meaning) + ", file starting " + std::to_string(file[0]));
      EXPECT_EQ(ExifOrientation(file.data(), file.size()), c.orientation);
      for (bool orient : {true, false}) {
        const WorkingPicture picture = Load(file, orient);
        ASSERT_EQ(picture.width, uint32_t((orient ? w : sw) * 8));
        ASSERT_EQ(picture.height, uint32_t((orient ? h : sh) * 8));
        EXPECT_EQ(picture.orientation, orient ? c.orientation : 1);
        int wrong = 0;
        for (uint32_t i = 0; i < picture.width * picture.height; ++i) {
          const int x = int(i % picture.width) / 8, y = int(i / picture.width) / 8;
          const int want = orient ? upright(x, y) : shown(x, y);
          wrong += ColourAt(picture, i) != want;
        }
        EXPECT_EQ(wrong, 0) << (orient ? "upright" : "as stored");
      }
    }
  }
  // The bound holds for the picture upright: 500x3000 stored, 3000x500 shown.
  const Bytes tall = Picture(500, 3000, [](int, int) { return Rgb(5); });
  const WorkingPicture turned = Load(WithExif(Png(500, 3000, 3, tall), ExifTiff(6, true), 0, 0));
  EXPECT_EQ(turned.pictureWidth, 3000u);
  EXPECT_EQ(turned.width, kWorkingWidth);
  EXPECT_EQ(turned.height, 500u);
}

// The canvas of a w x h picture (R G B, or R G B A with comp 4) framed by look.
Canvas FramedCanvas(int w, int h, int comp, const Bytes& pixels, Resolution res,
                    const FitLook& look, FitGamma gamma = GammaLinear) {
  Canvas canvas;
  FrameCanvas(Load(Png(w, h, comp, pixels), true, gamma), res, look, canvas);
  EXPECT_EQ(canvas.light.size(), size_t(BitmapWidth(res)) * 200 * 3);
  return canvas;
}

// Canvas pixels [0, count) whose light is not want(x, y)'s colour number in full light.
template <typename F>
int WrongLight(const Canvas& canvas, F want) {
  int wrong = 0;
  for (uint32_t i = 0; i < canvas.width * canvas.height; ++i) {
    const Bytes rgb = Rgb(want(i % canvas.width, i / canvas.width));
    for (int c = 0; c < 3; ++c) wrong += canvas.light[i * 3 + c] != (rgb[c] ? kFullLight : 0);
  }
  return wrong;
}

// Every framing of every shape on both screens: where the picture goes, bars exactly the
// background, the shape kept (as shown, or in screen pixels for pixel art), the kept part.
TEST(FitFraming, EachFramingPlacesEachShape) {
  const std::pair<int, int> shapes[] = {{90, 160}, {160, 90}, {100, 100}};
  for (FitFrame frame : {FrameWhole, FrameFill, FrameStretch, FramePixel}) {
    for (FitScreen screen : {Screen16x10, Screen4x3}) {
      for (Resolution res : {Res640, Res320}) {
        for (auto [w, h] : shapes) {
          FitLook look = Framed(frame);
          look.screen = screen;
          look.background = 1;  // blue
          const FitPlacement place = PlacePicture(uint32_t(w), uint32_t(h), res, look);
          const uint32_t cw = BitmapWidth(res);
          const double across = 640.0 / cw, tall = screen == Screen4x3 ? 1.2 : 1;
          SCOPED_TRACE(std::to_string(frame) + " " + std::to_string(screen) + " " +
                       std::to_string(cw) + ": " + std::to_string(w) + "x" + std::to_string(h));
          ASSERT_LE(place.canvasX + place.canvasWidth, cw);
          ASSERT_LE(place.canvasY + place.canvasHeight, 200u);
          const bool full = frame == FrameFill || frame == FrameStretch;
          EXPECT_EQ(place.canvasWidth == cw && place.canvasHeight == 200, full);
          const double shownWidth = place.canvasWidth * across,
                       shownHeight = place.canvasHeight * 2.0;
          if (frame == FrameWhole) {
            // Shape as the screen shows it, within a canvas pixel either way.
            EXPECT_LE(fabs(shownWidth / (shownHeight * tall) - double(w) / h),
                      double(w) / h * (across / shownWidth + 2.0 / shownHeight));
          } else if (frame == FramePixel) {
            EXPECT_TRUE(place.pixelExact);
            EXPECT_EQ(shownWidth * h, shownHeight * w) << "n x n screen pixels a picture pixel";
          } else if (frame == FrameFill) {
            EXPECT_NEAR(place.keptWidth * w / (place.keptHeight * h), 640 / (400 * tall), 1e-9);
            EXPECT_EQ(std::min(place.keptWidth, place.keptHeight),
                      place.keptWidth * place.keptHeight);
          }
          // A flat red picture: red where it is placed, exactly blue elsewhere.
          const Canvas canvas =
              FramedCanvas(w, h, 3, Picture(w, h, [](int, int) { return Rgb(2); }), res, look);
          EXPECT_EQ(WrongLight(canvas,
                               [&](uint32_t x, uint32_t y) {
                                 return x - place.canvasX < place.canvasWidth &&
                                                y - place.canvasY < place.canvasHeight
                                            ? 2
                                            : 1;
                               }),
                    0);
        }
      }
    }
  }
  // Fully transparent: all background, at any place.
  const Bytes clear = Picture(50, 30, [](int, int) { return Bytes{255, 255, 255, 0}; });
  FitLook yellow = Framed(FrameWhole);
  yellow.background = 6;
  EXPECT_EQ(WrongLight(FramedCanvas(50, 30, 4, clear, Res640, yellow), [](int, int) { return 6; }),
            0);
  // The focus decides the part a fill keeps: the top (red) or bottom (green) of a portrait,
  // whose small original shows both halves, and a clear one only the background.
  const Bytes halves = Picture(90, 160, [](int, int y) { return Rgb(y < 80 ? 2 : 4); });
  Bytes view;
  PictureView(Load(Png(90, 160, 3, halves)), 9, 16, 1, view);
  EXPECT_EQ(view, Picture(9, 16, [](int, int y) { return Rgb(y < 8 ? 2 : 4); }));
  PictureView(Load(Png(50, 30, 4, clear)), 5, 3, 6, view);
  EXPECT_EQ(view, Picture(5, 3, [](int, int) { return Rgb(6); }));
  for (auto [focus, colour] : {std::pair<float, int>{0.0f, 2}, {1.0f, 4}}) {
    FitLook fill = Framed(FrameFill);
    fill.focusY = focus;
    EXPECT_EQ(WrongLight(FramedCanvas(90, 160, 3, halves, Res640, fill),
                         [=](int, int) { return colour; }),
              0)
        << focus;
  }
}

// Pixel art keeps its pixels: a 1-pixel checkerboard of 256x192 is whole 2x1 canvas blocks at
// 640 (2x2 screen pixels), and where no whole multiple fits (320x240) every canvas pixel is
// one picture pixel, never an average.
TEST(FitFraming, PixelArtStaysCrisp) {
  const auto board = [](int w, int h) {
    return Picture(w, h, [](int x, int y) { return Rgb((x + y) % 2 ? 7 : 0); });
  };
  const FitLook pixel = Framed(FramePixel);
  for (Resolution res : {Res640, Res320}) {
    const Canvas canvas = FramedCanvas(256, 192, 3, board(256, 192), res, pixel);
    const uint32_t left = res == Res640 ? 64 : 32, wide = res == Res640 ? 2 : 1;
    EXPECT_EQ(WrongLight(canvas,
                         [&](uint32_t x, uint32_t y) {
                           if (x < left || x >= left + 256 * wide || y < 4 || y >= 196) return 0;
                           return ((x - left) / wide + y - 4) % 2 ? 7 : 0;
                         }),
              0)
        << BitmapWidth(res);
  }
  const Canvas sampled = FramedCanvas(320, 240, 3, board(320, 240), Res640, pixel);
  const FitPlacement place = PlacePicture(320, 240, Res640, pixel);
  EXPECT_EQ(place.canvasWidth, 533u);
  EXPECT_FALSE(place.pixelExact);
  int mixed = 0;
  for (uint16_t light : sampled.light) mixed += light != 0 && light != kFullLight;
  EXPECT_EQ(mixed, 0);
}

// A picture of the canvas's size is GRAM itself: pixel for pixel whatever the framing; the
// resolution chosen for it is its own.
TEST(FitFraming, CanvasSizePicturesStayExact) {
  std::mt19937 random(31);
  for (Resolution res : {Res640, Res320}) {
    const int w = int(BitmapWidth(res));
    const Bytes rgb = Picture(w, 200, [&](int, int) {
      return Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random())};
    });
    for (FitFrame frame : {FrameWhole, FrameFill, FrameStretch, FramePixel}) {
      FitLook look = Framed(frame);
      look.screen = Screen4x3;
      look.focusX = 0.1f;
      const Canvas canvas = FramedCanvas(w, 200, 3, rgb, res, look);
      int wrong = 0;
      for (size_t i = 0; i < rgb.size(); ++i) wrong += canvas.light[i] != kLinearOfSrgb[rgb[i]];
      EXPECT_EQ(wrong, 0) << w << " frame " << frame;
    }
    EXPECT_EQ(AutoResolution(Load(Png(w, 200, 3, rgb))), res);
  }
  EXPECT_EQ(AutoResolution(Load(Png(320, 201, 3, Bytes(320 * 201 * 3, 9)))), Res640);
}

// Tone at its extremes, and none at all.
TEST(FitTone, ExtremesAndNeutral) {
  std::mt19937 random(37);
  // Random colours with black and white columns at the left and right.
  const Bytes rgb = Picture(640, 200, [&](int x, int) {
    return x < 8      ? Rgb(0)
           : x >= 632 ? Rgb(7)
                      : Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random())};
  });
  const auto toned = [&](auto set) {
    FitLook look;
    set(look.tone);
    return FramedCanvas(640, 200, 3, rgb, Res640, look);
  };
  const Canvas grey = toned([](FitTone& t) { t.saturation = 0; });
  Bytes colours(640 * 200);
  MapColours(grey, DitherNone, colours.data());
  int coloured = 0, notBlackOrWhite = 0;
  for (size_t i = 0; i < colours.size(); ++i) {
    coloured +=
        grey.light[i * 3] != grey.light[i * 3 + 1] || grey.light[i * 3] != grey.light[i * 3 + 2];
    notBlackOrWhite += colours[i] != 0 && colours[i] != 7;
  }
  EXPECT_EQ(coloured, 0);
  EXPECT_EQ(notBlackOrWhite, 0);
  const Canvas hard = toned([](FitTone& t) { t.contrast = 100; });
  const Canvas flat = toned([](FitTone& t) { t.contrast = -100; });
  int soft = 0, unlike = 0;
  for (size_t i = 0; i < hard.light.size(); ++i) {
    soft += hard.light[i] != 0 && hard.light[i] != kFullLight;
    unlike += flat.light[i] != flat.light[0];
  }
  EXPECT_EQ(soft, 0);
  EXPECT_EQ(unlike, 0);
  EXPECT_NEAR(flat.light[0], 0.1842 * kFullLight, 20) << "the grey that looks halfway, L* 50";
  // Brightness moves the light of the middle and keeps black and white.
  for (int brightness : {100, -100}) {
    const Canvas bent = toned([=](FitTone& t) { t.brightness = brightness; });
    int ends = 0;
    double moved = 0;
    for (size_t i = 0; i < bent.light.size(); ++i) {
      const size_t x = i / 3 % 640;
      if (x < 8 || x >= 632) ends += bent.light[i] != (x < 8 ? 0 : kFullLight);
      moved += double(bent.light[i]) - kLinearOfSrgb[rgb[i]];
    }
    EXPECT_EQ(ends, 0) << brightness;
    EXPECT_GT(moved * brightness, 0.1 * kFullLight * bent.light.size() * 100) << brightness;
  }
  // Neutral tone changes nothing: the stretch is, to the bit, the canvas scaled straight from
  // the file as before, alpha and both gammas included.
  for (auto [w, h] : {std::pair<int, int>{1000, 333}, {300, 170}, {1280, 400}}) {
    const Bytes rgba = Picture(w, h, [&](int, int) {
      return Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random()), uint8_t(random())};
    });
    const Bytes png = Png(w, h, 4, rgba);
    for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
      Canvas before, now;
      ASSERT_EQ(ScalePicture(png.data(), png.size(), Res640, before, nullptr, gamma), "");
      FrameCanvas(Load(png, true, gamma), Res640, kStretch, now);
      EXPECT_TRUE(now.light == before.light && now.rgb == before.rgb) << w << " gamma " << gamma;
    }
  }
  // Levels auto stretches a dim picture (numbers 0 to 60: 4.5% of white's light at most); its
  // two white columns, 0.3% of it, are left out of the range.
  FitLook levels = kStretch;
  levels.tone.autoLevels = true;
  const Canvas stretched = FramedCanvas(
      640, 200, 3,
      Picture(640, 200,
              [](int x, int) { return x < 2 ? Rgb(7) : Bytes(3, uint8_t(x * 61 / 640)); }),
      Res640, levels);
  EXPECT_EQ(stretched.light[3 * 2], 0);
  EXPECT_GT(stretched.light[3 * 639], 0.97 * kFullLight);
}
}  // namespace

// A progress that records what it hears and stops once asked to.
struct Watcher final : FitProgress {
  explicit Watcher(float stopAt) : stopAt(stopAt) {}
  bool Going(float done) override {
    heard.push_back(done);
    return done < stopAt;
  }
  float stopAt;
  std::vector<float> heard;
};

TEST(FitProgress, ReportsTheShareReadAndStopsWhenAsked) {
  std::mt19937 random(5);
  const Bytes noise = Picture(600, 400, [&](int, int) {
    return Bytes{uint8_t(random()), uint8_t(random()), uint8_t(random())};
  });
  Bytes jpeg;
  stbi_write_jpg_to_func(Append, &jpeg, 600, 400, 3, noise.data(), 90);
  // PNG by libpng natively, by stb_image in the Windows build; JPEG by stb_image as it reads;
  // PNM's pixels in one read; WebP fed to libwebp in pieces.
  const std::pair<Bytes, size_t> files[] = {
      {Png(600, 400, 3, noise), 8},
      {jpeg, 8},
      {Ppm(600, 400, noise), 1},
      {Magick(600, 400, noise, "-define webp:lossless=true WEBP:"), 8},
      {Magick(600, 400, noise, "-quality 90 WEBP:"), 8}};
  for (const auto& [file, reports] : files) {
    Watcher all(2.0f);
    Bytes pixels;
    ASSERT_EQ(FitPicture(file.data(), file.size(), Res640, DitherNone, pixels, &all), "");
    ASSERT_GE(all.heard.size(), reports);
    EXPECT_TRUE(std::is_sorted(all.heard.begin(), all.heard.end()));
    EXPECT_LE(all.heard.back(), 1.0f);
    EXPECT_LE(all.heard.size(), 260u) << "reports are at most 1/256 of the file apart";

    Watcher half(reports > 1 ? 0.5f : 0.0f);
    pixels = {1, 2, 3};
    EXPECT_EQ(FitPicture(file.data(), file.size(), Res640, DitherNone, pixels, &half),
              kFitCancelled);
    EXPECT_EQ(pixels, (Bytes{1, 2, 3}));
    EXPECT_EQ(std::count_if(half.heard.begin(), half.heard.end(),
                            [&](float done) { return done >= half.stopAt; }),
              1)
        << "no read after the stop";
  }
}

// The search never ends worse than the diffusion it starts from, by its own measure, and does
// better on pictures with texture to improve; it reports its progress up to 1, and stopped at
// once it hands back the diffusion itself.
TEST(FitDither, BestIsNeverWorseThanItsStart) {
  std::mt19937 random(23);
  // At 320x200, to keep the test quick; the search is the same at either width.
  const Bytes ramp = Picture(320, 200, [](int x, int y) {
    return Bytes{uint8_t(x * 255 / 319), uint8_t(y * 255 / 199), uint8_t(255 - x * 255 / 319)};
  });
  const Bytes grain = Picture(320, 200, [&](int x, int) {
    return Bytes{uint8_t(100 + random() % 60), uint8_t(x / 4 + random() % 40),
                 uint8_t(random() % 256)};
  });
  const Bytes light = Picture(320, 200, [](int, int) { return Bytes{235, 235, 235}; });
  const std::pair<const Bytes*, bool> pictures[] = {{&ramp, true}, {&grain, true}, {&light, false}};
  for (const auto& [rgb, textured] : pictures) {
    for (FitGamma gamma : {GammaLinear, GammaSrgb}) {
      const Bytes file = Png(320, 200, 3, *rgb);
      Canvas canvas;
      ASSERT_EQ(ScalePicture(file.data(), file.size(), Res320, canvas, nullptr, gamma), "");
      Bytes start(320 * 200), best(320 * 200);
      MapColours(canvas, DitherDiffusion, start.data());
      Watcher all(2.0f);
      EXPECT_TRUE(MapColoursBest(canvas, best.data(), &all));
      const double before = EyeError(canvas, start.data()), after = EyeError(canvas, best.data());
      EXPECT_LE(after, before) << gamma;
      if (textured) {
        EXPECT_LT(after, before * 0.98) << gamma;
      }
      ASSERT_FALSE(all.heard.empty());
      EXPECT_TRUE(std::is_sorted(all.heard.begin(), all.heard.end()));
      EXPECT_EQ(all.heard.back(), 1.0f);

      Watcher none(0.0f);
      EXPECT_FALSE(MapColoursBest(canvas, best.data(), &none));
      EXPECT_EQ(none.heard.size(), 1u);
      EXPECT_TRUE(best == start) << gamma;
      // Stopped half way: the best whole pass so far, no worse than the start.
      Watcher half(0.5f);
      EXPECT_EQ(MapColoursBest(canvas, best.data(), &half), !textured);
      EXPECT_LE(EyeError(canvas, best.data()), before) << gamma;
    }
  }
}

TEST(FitPreview, ScreenShowsEveryLineTwiceAndPixelsTwoWideAt320) {
  for (Resolution res : {Res640, Res320}) {
    const uint32_t width = BitmapWidth(res);
    Bytes colours(width * 200);
    for (uint32_t i = 0; i < colours.size(); ++i) colours[i] = uint8_t((i * 7 + i / width) % 8);
    Bytes rgb;
    PreviewScreen(res, colours.data(), rgb);
    ASSERT_EQ(rgb.size(), 640u * 400 * 3);
    int wrong = 0;
    for (uint32_t y = 0; y < 400; ++y) {
      for (uint32_t x = 0; x < 640; ++x) {
        const Bytes want = Rgb(colours[y / 2 * width + x * width / 640]);
        wrong += memcmp(&rgb[(y * 640 + x) * 3], want.data(), 3) != 0;
      }
    }
    EXPECT_EQ(wrong, 0) << BitmapWidth(res);

    // The same pixels as a PNG file, read back by the fit's own decoder.
    Bytes png;
    ASSERT_TRUE(EncodePreviewPng(rgb, png));
    DecodedPicture back;
    ASSERT_EQ(DecodePicture(png.data(), png.size(), back), "");
    ASSERT_EQ(back.width, 640u);
    ASSERT_EQ(back.height, 400u);
    ASSERT_EQ(back.channels, 3u);
    EXPECT_EQ(memcmp(back.pixels, rgb.data(), rgb.size()), 0) << BitmapWidth(res);
  }
}

// ---- Vantrel Fit's window, without the window ----

TEST(FitWindowTexts, EveryEngineRefusalHasItsJapaneseKind) {
  Bytes png = Png(4, 4, 3, Card(4, 4));
  Bytes noPixels = png, huge = png, wide = png;
  PutBe32(noPixels, 16, 0);
  PutBe32(huge, 16, 20000);
  PutBe32(huge, 20, 20000);
  PutBe32(wide, 16, 70000);
  PutBe32(wide, 20, 1);
  const Bytes full = Png(640, 200, 3, Card(640, 200));
  const std::string letter = "this is a letter, not a picture\n";
  const std::string pnmHuge = "P6\n" + std::string(40, '6') + " 1\n255\n";
  const struct {
    const char* name;
    std::string reason;
    PictureTrouble kind;
  } cases[] = {
      {"empty", FitFailure({}), TroubleUnknownFormat},
      {"letter", FitFailure(Bytes(letter.begin(), letter.end())), TroubleUnknownFormat},
      {"cut short", FitFailure(Bytes(full.begin(), full.begin() + full.size() / 2)),
       TroubleCutShort},
      {"no pixels", FitFailure(noPixels), TroubleDamaged},
      {"huge", FitFailure(huge), TroubleTooLarge},
      {"wide", FitFailure(wide), TroubleTooLarge},
      {"pnm number", FitFailure(Bytes(pnmHuge.begin(), pnmHuge.end())), TroubleDamaged},
      {"memory", "not enough memory to read the picture", TroubleNoMemory},
      {"cancelled", kFitCancelled, TroubleCancelled},
      {"new", "the picture uses a colour space nobody knows", TroubleOther},
      {"fine", "", TroubleNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TroubleOfReason(c.reason), c.kind) << c.name << ": " << c.reason;
    if (c.kind == TroubleNone || c.kind == TroubleCancelled) continue;
    const std::string text = PictureTroubleText("絵.png", c.reason);
    EXPECT_EQ(text.rfind("絵.png ", 0), 0u) << c.name << ": the box names the picture";
    // Known kinds are told in Japanese alone; others carry the engine's reason along.
    EXPECT_EQ(text.find(c.reason) != std::string::npos, c.kind == TroubleOther) << text;
  }
}

TEST(FitWindowTexts, PlaceholdersAndStatusLines) {
  EXPECT_EQ(FillText("%1 / %2 = 100%", {"a", "b"}), "a / b = 100%");
  EXPECT_EQ(FillText("%2%1%3", {"x", "y"}), "yx%3");
  EXPECT_EQ(FillText("%", {}), "%");
  const std::string saved = SavedStatus("work/絵/pic-320x200.bmp", Res320);
  for (const char* part : {"pic-320x200.bmp を", "BMPファイルからGRAM", "320x200", "work/絵\n"}) {
    EXPECT_NE(saved.find(part), std::string::npos) << part;
  }
  EXPECT_NE(SavedStatus("/pic.bmp", Res640).find(": /\n"), std::string::npos)
      << "the root keeps its separator";
  const std::string ready = ReadyStatus("pic.png", Res640, DitherDiffusion);
  EXPECT_NE(ready.find("640x200"), std::string::npos);
  EXPECT_NE(ready.find("誤差拡散"), std::string::npos);
}

TEST(FitWindowFiles, DefaultNamesBesideThePicture) {
  const struct {
    const char* picture;
    Resolution res;
    const char* bitmap;
  } cases[] = {
      {"dir/pic.png", Res640, "dir/pic-640x200.bmp"},
      {"dir/pic.png", Res320, "dir/pic-320x200.bmp"},
      {"a.b.c.jpg", Res640, "a.b.c-640x200.bmp"},
      {"noext", Res320, "noext-320x200.bmp"},
      {".hidden", Res640, ".hidden-640x200.bmp"},
      {"dir.d/pic", Res640, "dir.d/pic-640x200.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(FittedBitmapName(c.picture, c.res), c.bitmap) << c.picture;
}

#ifdef _WIN32
const char kDevice[] = "NUL";
#else
const char kDevice[] = "/dev/null";
#endif

TEST(FitWindowFiles, EveryFailureKindIsToldApart) {
  const fs::path dir = fs::temp_directory_path() / ("fit_window_files_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder");
  const std::string file = (dir / "file.bin").string();
  { std::ofstream(file, std::ios::binary) << "12345"; }
  Bytes bytes;
  const uint8_t data[3] = {1, 2, 3};
  const struct {
    const char* name;
    FileFailure want;
    std::function<void(FileFailure*)> run;
  } cases[] = {
      {"read fine", FileFine,
       [&](FileFailure* f) { ReadWholeFile(file, "picture", 0, 10, "", bytes, f); }},
      {"read missing", FileCannotOpen,
       [&](FileFailure* f) { ReadWholeFile(file + ".no", "picture", 0, 10, "", bytes, f); }},
      {"read folder", FileNotRegular,
       [&](FileFailure* f) { ReadWholeFile((dir / "folder").string(), "p", 0, 10, "", bytes, f); }},
      {"read too big", FileWrongSize,
       [&](FileFailure* f) { ReadWholeFile(file, "picture", 0, 4, "", bytes, f); }},
      {"write exists", FileAlreadyExists,
       [&](FileFailure* f) { WriteFileWhole(file, "BMP file", data, 3, false, f); }},
      {"write replaces", FileFine,
       [&](FileFailure* f) { WriteFileWhole(file, "BMP file", data, 3, true, f); }},
      {"write device", FileNotRegular,
       [&](FileFailure* f) { WriteFileWhole(kDevice, "BMP file", data, 3, true, f); }},
      {"write no folder", FileCannotCreate,
       [&](FileFailure* f) {
         WriteFileWhole((dir / "no/x.bmp").string(), "B", data, 3, false, f);
       }},
  };
  for (const auto& c : cases) {
    FileFailure failure = FileCannotWrite;  // changed by every call
    c.run(&failure);
    EXPECT_EQ(failure, c.want) << c.name;
    if (c.want != FileFine) {
      EXPECT_NE(FileTroubleText(c.want, "x.bmp", c.want < FileCannotCreate), "") << c.name;
    }
  }
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), (Bytes{1, 2, 3})) << "replaced";
  fs::remove_all(dir);
}
