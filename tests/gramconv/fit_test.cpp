// What fitting a picture guarantees: exact colours for pure-colour pictures in every format and
// size ratio, the colours the user saw whatever the file's palette order, averages kept by
// dithering, the export's pixel layout, and a clear refusal of every bad input.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "picture_fit.h"

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

// The picture written by ImageMagick with the given options and output format.
Bytes Magick(int w, int h, const Bytes& rgb, const std::string& options) {
  const fs::path dir = fs::temp_directory_path() / ("fit_test." + std::to_string(getpid()));
  fs::create_directories(dir);
  const Bytes ppm = Ppm(w, h, rgb);
  std::ofstream(dir / "in.ppm", std::ios::binary)
      .write(reinterpret_cast<const char*>(ppm.data()), ppm.size());
  const std::string command = std::string(IMAGEMAGICK_CONVERT) + " " + (dir / "in.ppm").string() +
                              " " + options + (dir / "out").string();
  EXPECT_EQ(system(command.c_str()), 0) << command;
  std::ifstream in(dir / "out", std::ios::binary);
  const Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove_all(dir);
  return out;
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

Shown Fit(const Bytes& file, Resolution res = Res640, DitherMode dither = DitherNone) {
  Bytes pixels;
  EXPECT_EQ(FitPicture(file.data(), file.size(), res, dither, pixels), "");
  EXPECT_EQ(pixels.size(), PixelDataBytes(res));
  return Shown(pixels, res);
}

TEST(FitColours, TestCardExactInEveryFormat) {
  for (auto& [name, file] : InMemoryFormats(640, 200, Card(640, 200))) {
    EXPECT_EQ(Fit(file).BarErrors(), 0) << name;
  }
  for (const char* options : {"GIF:", "-type Palette -colors 256 BMP3:", "PSD:", "-depth 16 PNG48:",
                              "-colors 8 BMP3:", "-alpha on BMP:"}) {
    EXPECT_EQ(Fit(Magick(640, 400, Card(640, 400), options)).BarErrors(), 0) << options;
  }
  // Grey bars: 0, 18, 54, 73, 182, 201, 237, 255 (Rec. 709 weights).
  const Shown grey = Fit(Magick(640, 400, Card(640, 400), "-colorspace Gray PGM:"));
  EXPECT_EQ(grey.Wrong([](int x, int) { return x < 320 ? 0 : 7; }), 0);
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
    EXPECT_EQ(Fit(png).BarErrors(), 0) << w << "x" << h;
    EXPECT_EQ(Fit(png, Res320).BarErrors(), 0) << w << "x" << h;
  }
  for (int colour = 0; colour < 8; ++colour) {
    EXPECT_EQ(Fit(Png(1, 1, 3, Rgb(colour))).Wrong([=](int, int) { return colour; }), 0) << colour;
  }
}

TEST(FitScale, AveragesByCoveredAreaRoundedHalfUp) {
  // 640x400: row pairs averaged; 127.5 rounds up to white, 127 stays black.
  for (int top : {255, 254}) {
    const Bytes rows =
        Picture(640, 400, [=](int, int y) { return Bytes{uint8_t(y % 2 ? 0 : top)}; });
    EXPECT_EQ(Fit(Png(640, 400, 1, rows)).At(5, 5), top == 255 ? 7 : 0) << top;
  }
  // 960 -> 640: each target column covers one and a half source columns, so 0,255,0 gives 85
  // and 85 (black), and 255,0,255 gives 170 and 170 (white) in every column.
  for (int middle : {255, 0}) {
    const Bytes columns = Picture(
        960, 200, [=](int x, int) { return Bytes{uint8_t(x % 3 == 1 ? middle : 255 - middle)}; });
    EXPECT_EQ(Fit(Png(960, 200, 1, columns)).Wrong([=](int, int) { return middle ? 0 : 7; }), 0);
  }
}

TEST(FitColours, TransparencyIsOverBlack) {
  const auto flat = [](int comp, Bytes pixel) {
    return Png(64, 64, comp, Picture(64, 64, [&](int, int) { return pixel; }));
  };
  // Half-transparent white: 127 over black is black; 128 would already be white.
  EXPECT_EQ(Fit(flat(4, {255, 255, 255, 127})).At(3, 3), 0);
  EXPECT_EQ(Fit(flat(2, {255, 127})).At(3, 3), 0);  // grey and alpha
  EXPECT_EQ(Fit(flat(4, {255, 255, 255, 255})).At(3, 3), 7);
  EXPECT_EQ(Fit(flat(4, {0, 255, 0, 0})).At(3, 3), 0);
  // Opaque red beside transparent green, averaged: red (the green weighs nothing).
  const Bytes pairs = Picture(1280, 200, [](int x, int) {
    return x % 2 ? Bytes{0, 255, 0, 0} : Bytes{255, 0, 0, 255};
  });
  EXPECT_EQ(Fit(Png(1280, 200, 4, pairs)).At(10, 10), 2);
  // Dithered, half-transparent white is about half white.
  const Bytes half = Picture(640, 200, [](int, int) { return Bytes{255, 255, 255, 128}; });
  EXPECT_NEAR(Fit(Png(640, 200, 4, half), Res640, DitherDiffusion).Mean(2), 128, 4);
}

TEST(FitDither, KeepsTheAverageColour) {
  for (DitherMode mode : {DitherOrdered, DitherDiffusion}) {
    for (int v : {16, 50, 100, 128, 160, 200, 240}) {
      // Red, green and blue at different levels, so channels cannot trade their errors.
      const Bytes rgb = {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2)};
      const Shown canvas =
          Fit(Png(640, 200, 3, Picture(640, 200, [&](int, int) { return rgb; })), Res640, mode);
      EXPECT_NEAR(canvas.Mean(1), rgb[0], 3) << mode << " red " << v;
      EXPECT_NEAR(canvas.Mean(2), rgb[1], 3) << mode << " green " << v;
      EXPECT_NEAR(canvas.Mean(0), rgb[2], 3) << mode << " blue " << v;
    }
    // A left-to-right grey ramp at 1920x1080: each 64-column band keeps its mean level.
    const Bytes ramp =
        Picture(1920, 1080, [](int x, int) { return Bytes{uint8_t(x * 256 / 1920)}; });
    const Shown canvas = Fit(Png(1920, 1080, 1, ramp), Res640, mode);
    for (int band = 0; band < 10; ++band) {
      EXPECT_NEAR(canvas.Mean(2, band * 64, band * 64 + 64), (band * 192 + 95.5) * 256 / 1920, 4)
          << mode << " band " << band;
    }
  }
  // Without dithering a flat 100 grey is plain black.
  EXPECT_EQ(Fit(Png(640, 200, 1, Bytes(640 * 200, 100))).Mean(1), 0);
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
    EXPECT_EQ(FitPicture(png.data(), png.size(), res, DitherNone, pixels), "");
    EXPECT_EQ(pixels, expected) << width;
  }
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
        {Png(w, h, 4, rgba), tga}};
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

// A width x 1 palette PNG of 8-bit indices with the palette's RGB entries, built chunk by
// chunk (the writer makes no palette PNG).
Bytes PalettePng(const Bytes& indices, const Bytes& palette) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const auto chunk = [&](const char* type, const Bytes& data) {
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    const uint32_t length = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) png.push_back(uint8_t(length >> (24 - 8 * i)));
    png.insert(png.end(), body.begin(), body.end());
    const uint32_t crc = stbiw__crc32(body.data(), int(body.size()));
    for (int i = 0; i < 4; ++i) png.push_back(uint8_t(crc >> (24 - 8 * i)));
  };
  const uint32_t w = uint32_t(indices.size());
  chunk("IHDR", {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w), 0, 0, 0, 1, 8, 3,
                 0, 0, 0});
  chunk("PLTE", palette);
  Bytes row = {0};  // no filter
  row.insert(row.end(), indices.begin(), indices.end());
  int packed = 0;
  unsigned char* zlib = stbi_zlib_compress(row.data(), int(row.size()), &packed, 8);
  chunk("IDAT", Bytes(zlib, zlib + packed));
  STBIW_FREE(zlib);
  chunk("IEND", {});
  return png;
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
  const std::string unknown = "not a picture gramconv can read (unknown format or damaged file)";
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
  // PNM's pixels in one read.
  const std::pair<Bytes, size_t> files[] = {
      {Png(600, 400, 3, noise), 8}, {jpeg, 8}, {Ppm(600, 400, noise), 1}};
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
  }
}
