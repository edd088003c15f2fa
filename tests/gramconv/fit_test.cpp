// What fitting a picture guarantees: exact colours for pure-colour pictures in every format and
// size ratio, the colours the user saw whatever the file's palette order, averages kept by
// dithering, the export's pixel layout, and a clear refusal of every bad input.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

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

// Colour number n as RGB: bit 0 blue, bit 1 red, bit 2 green.
void ColourRgb(int n, uint8_t* rgb) {
  rgb[0] = n & 2 ? 255 : 0;
  rgb[1] = n & 4 ? 255 : 0;
  rgb[2] = n & 1 ? 255 : 0;
}

// A test card: 8 vertical bars, colour 0 on the left to colour 7 on the right. With a width
// divisible by 8 each bar covers whole target columns at any scale.
Bytes Card(int width, int height) {
  Bytes rgb(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ColourRgb(x * 8 / width, &rgb[(size_t(y) * width + x) * 3]);
  }
  return rgb;
}

Bytes Flat(int width, int height, int comp, std::vector<uint8_t> value) {
  Bytes out;
  for (int i = 0; i < width * height; ++i)
    out.insert(out.end(), value.begin(), value.begin() + comp);
  return out;
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

Bytes Ppm(int w, int h, const Bytes& rgb) {
  const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes out(head.begin(), head.end());
  out.insert(out.end(), rgb.begin(), rgb.end());
  return out;
}

// The picture in several formats written in memory.
std::vector<std::pair<std::string, Bytes>> InMemoryFormats(int w, int h, const Bytes& rgb) {
  std::vector<std::pair<std::string, Bytes>> files;
  files.push_back({"PNG", Png(w, h, 3, rgb)});
  Bytes bmp, tga, tgaRle, jpeg;
  stbi_write_bmp_to_func(Append, &bmp, w, h, 3, rgb.data());
  files.push_back({"BMP 24-bit", bmp});
  stbi_write_tga_with_rle = 0;
  stbi_write_tga_to_func(Append, &tga, w, h, 3, rgb.data());
  files.push_back({"TGA", tga});
  stbi_write_tga_with_rle = 1;
  stbi_write_tga_to_func(Append, &tgaRle, w, h, 3, rgb.data());
  files.push_back({"TGA RLE", tgaRle});
  stbi_write_jpg_to_func(Append, &jpeg, w, h, 3, rgb.data(), 100);
  files.push_back({"JPEG", jpeg});
  files.push_back({"PNM", Ppm(w, h, rgb)});
  return files;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The picture written by ImageMagick with the given options and output format.
class Magick {
 public:
  Magick() : dir_(fs::temp_directory_path() / ("fit_test." + std::to_string(getpid()))) {
    fs::create_directories(dir_);
  }
  ~Magick() { fs::remove_all(dir_); }

  Bytes Write(int w, int h, const Bytes& rgb, const std::string& options) {
    const fs::path in = dir_ / "in.ppm", out = dir_ / "out";
    const Bytes ppm = Ppm(w, h, rgb);
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(ppm.data()), ppm.size());
    const std::string command = std::string(IMAGEMAGICK_CONVERT) + " " + in.string() + " " +
                                options + out.string() + " 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    return ReadFile(out);
  }

 private:
  fs::path dir_;
};

// The canvas read back through the plug-in's own decoder, so the layout cannot drift.
struct Canvas {
  Resolution res;
  std::vector<uint8_t> planes[3];

  Canvas(const Bytes& pixels, Resolution r) : res(r) {
    for (auto& p : planes) p.assign(kGramPlaneBytes, 0);
    DecodeGram(pixels.data(), res, {{planes[0].data(), planes[1].data(), planes[2].data()}});
  }
  int Width() const { return int(BitmapWidth(res)); }
  int At(int x, int y) const {
    const int bit = res == Res640 ? x : 2 * x;
    int colour = 0;
    for (int k = 0; k < 3; ++k)
      colour |= (planes[k][y * kGramLineBytes + bit / 8] >> (bit % 8) & 1) << k;
    return colour;
  }
};

Bytes Fit(const Bytes& file, Resolution res, DitherMode dither = DitherNone) {
  Bytes pixels;
  const std::string failure = FitPicture(file.data(), file.size(), res, dither, pixels);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(pixels.size(), PixelDataBytes(res));
  return pixels;
}

// Counts the pixels that are not the card's bar colour.
int BarErrors(const Bytes& pixels, Resolution res) {
  if (pixels.size() != PixelDataBytes(res)) return -1;
  const Canvas canvas(pixels, res);
  int errors = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < canvas.Width(); ++x) errors += canvas.At(x, y) != x * 8 / canvas.Width();
  }
  return errors;
}

TEST(FitColours, TestCardExactInEveryFormat) {
  for (auto& [name, file] : InMemoryFormats(640, 200, Card(640, 200))) {
    EXPECT_EQ(BarErrors(Fit(file, Res640), Res640), 0) << name;
  }
  Magick magick;
  const Bytes card = Card(640, 400);
  const std::vector<std::pair<std::string, std::string>> magickFormats = {
      {"GIF", "GIF:"},
      {"BMP 8-bit", "-type Palette -colors 256 BMP3:"},
      {"PSD", "PSD:"},
      {"PNG 16-bit", "-depth 16 PNG48:"},
      {"grey PNM", "-colorspace Gray PGM:"},
      {"BMP 4-bit", "-colors 8 BMP3:"},
      {"BMP 32-bit", "-alpha on BMP:"},
  };
  for (auto& [name, options] : magickFormats) {
    const Bytes file = magick.Write(640, 400, card, options);
    const Bytes pixels = Fit(file, Res640);
    if (name == "grey PNM") {
      // Grey levels of the bars: 0, 18, 54, 73, 182, 201, 237, 255 (Rec. 709 weights).
      const Canvas canvas(pixels, Res640);
      for (int bar = 0; bar < 8; ++bar) EXPECT_EQ(canvas.At(bar * 80 + 40, 100), bar < 4 ? 0 : 7);
      continue;
    }
    EXPECT_EQ(BarErrors(pixels, Res640), 0) << name;
  }
}

TEST(FitColours, OtherProgramsPaletteOrderGivesTheColoursSeen) {
  Magick magick;
  const Bytes file = magick.Write(640, 200, Card(640, 200), "-colors 8 BMP3:");
  ASSERT_GT(file.size(), 118u);
  // The file is meaningful only if its palette is not ours: some bar's index differs from its
  // colour number.
  ASSERT_EQ(file[28], 4) << "expected a 16-colour bitmap";
  const uint32_t offset = ReadLe32(&file[10]);
  const uint8_t* bottomRow = &file[offset];
  int reordered = 0;
  for (int bar = 0; bar < 8; ++bar) reordered += (bottomRow[bar * 40] >> 4) != bar;
  ASSERT_GT(reordered, 0);
  EXPECT_EQ(BarErrors(Fit(file, Res640), Res640), 0);
  EXPECT_EQ(BarErrors(Fit(file, Res320), Res320), 0);
}

TEST(FitScale, EverySizeRatioKeepsTheBars) {
  const std::vector<std::pair<int, int>> sizes = {
      {640, 200}, {320, 200}, {1920, 1080}, {1000, 333}, {648, 201},  {8, 1},
      {16, 7},    {8, 3000},  {4000, 3},    {320, 100},  {1280, 400},
  };
  for (auto [w, h] : sizes) {
    const Bytes png = Png(w, h, 3, Card(w, h));
    EXPECT_EQ(BarErrors(Fit(png, Res640), Res640), 0) << w << "x" << h;
    EXPECT_EQ(BarErrors(Fit(png, Res320), Res320), 0) << w << "x" << h;
  }
  for (int colour = 0; colour < 8; ++colour) {
    uint8_t rgb[3];
    ColourRgb(colour, rgb);
    const Canvas canvas(Fit(Png(1, 1, 3, Bytes(rgb, rgb + 3)), Res640), Res640);
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 640; ++x) wrong += canvas.At(x, y) != colour;
    }
    EXPECT_EQ(wrong, 0) << "1x1 of colour " << colour;
  }
}

// Column values of a repeating pattern, scaled to 640x200.
Bytes Columns(int width, std::vector<uint8_t> pattern) {
  Bytes grey(size_t(width) * 200);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = pattern[i % width % pattern.size()];
  return Png(width, 200, 1, grey);
}

TEST(FitScale, AveragesByCoveredAreaRoundedHalfUp) {
  // 640x400: row pairs averaged; 127.5 rounds up to white, 127 stays black.
  for (auto [top, expected] : std::vector<std::pair<uint8_t, int>>{{255, 7}, {254, 0}}) {
    Bytes grey(640 * 400, 0);
    for (int y = 0; y < 400; y += 2) std::fill_n(&grey[size_t(y) * 640], 640, top);
    EXPECT_EQ(Canvas(Fit(Png(640, 400, 1, grey), Res640), Res640).At(5, 5), expected) << int(top);
  }
  // 960 -> 640: each target column covers one and a half source columns, so 0,255,0 gives
  // 85 and 85 (black), and 255,0,255 gives 170 and 170 (white) in every column.
  const Canvas dark(Fit(Columns(960, {0, 255, 0}), Res640), Res640);
  const Canvas light(Fit(Columns(960, {255, 0, 255}), Res640), Res640);
  int wrong = 0;
  for (int x = 0; x < 640; ++x) wrong += dark.At(x, 50) != 0 || light.At(x, 50) != 7;
  EXPECT_EQ(wrong, 0);
}

TEST(FitColours, TransparencyIsOverBlack) {
  // Half-transparent white: 127 over black is black; 128 would already be white.
  EXPECT_EQ(
      Canvas(Fit(Png(64, 64, 4, Flat(64, 64, 4, {255, 255, 255, 127})), Res640), Res640).At(3, 3),
      0);
  EXPECT_EQ(
      Canvas(Fit(Png(64, 64, 4, Flat(64, 64, 4, {255, 255, 255, 255})), Res640), Res640).At(3, 3),
      7);
  EXPECT_EQ(Canvas(Fit(Png(64, 64, 4, Flat(64, 64, 4, {0, 255, 0, 0})), Res640), Res640).At(3, 3),
            0);
  // Opaque red beside transparent green, averaged: red (the green weighs nothing).
  Bytes pairs;
  for (int i = 0; i < 1280 * 200; ++i) {
    const std::vector<uint8_t> p =
        i % 2 ? std::vector<uint8_t>{0, 255, 0, 0} : std::vector<uint8_t>{255, 0, 0, 255};
    pairs.insert(pairs.end(), p.begin(), p.end());
  }
  EXPECT_EQ(Canvas(Fit(Png(1280, 200, 4, pairs), Res640), Res640).At(10, 10), 2);
  // Dithered, half-transparent white is about half white.
  const Canvas half(
      Fit(Png(640, 200, 4, Flat(640, 200, 4, {255, 255, 255, 128})), Res640, DitherDiffusion),
      Res640);
  int white = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 640; ++x) white += half.At(x, y) == 7;
  }
  EXPECT_NEAR(white, 640 * 100, 640 * 4);
}

// Mean of one channel (0 or 255 per pixel) over columns [x0, x1) of the canvas.
double ChannelMean(const Canvas& canvas, int channelBit, int x0, int x1) {
  double sum = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = x0; x < x1; ++x) sum += canvas.At(x, y) >> channelBit & 1 ? 255 : 0;
  }
  return sum / (200.0 * (x1 - x0));
}

TEST(FitDither, KeepsTheAverageColour) {
  for (DitherMode mode : {DitherOrdered, DitherDiffusion}) {
    for (int v : {16, 50, 100, 128, 160, 200, 240}) {
      // Red, green and blue at different levels, so channels cannot trade their errors.
      const std::vector<uint8_t> rgb = {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2)};
      const Canvas canvas(Fit(Png(640, 200, 3, Flat(640, 200, 3, rgb)), Res640, mode), Res640);
      EXPECT_NEAR(ChannelMean(canvas, 1, 0, 640), rgb[0], 3) << mode << " red " << v;
      EXPECT_NEAR(ChannelMean(canvas, 2, 0, 640), rgb[1], 3) << mode << " green " << v;
      EXPECT_NEAR(ChannelMean(canvas, 0, 0, 640), rgb[2], 3) << mode << " blue " << v;
    }
    // A left-to-right grey ramp at 1920x1080: each 64-column band keeps its mean.
    Bytes ramp(1920 * 1080);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i % 1920 * 256 / 1920);
    const Canvas canvas(Fit(Png(1920, 1080, 1, ramp), Res640, mode), Res640);
    for (int band = 0; band < 10; ++band) {
      const double source = (band * 64 + 31.5) * 3 * 256 / 1920.0;  // the band's mean level
      EXPECT_NEAR(ChannelMean(canvas, 2, band * 64, band * 64 + 64), source, 4)
          << mode << " band " << band;
    }
  }
  // Without dithering a flat 100 grey is plain black.
  const Canvas plain(Fit(Png(640, 200, 3, Flat(640, 200, 3, {100, 100, 100})), Res640), Res640);
  EXPECT_EQ(ChannelMean(plain, 1, 0, 640), 0);
}

TEST(FitLayout, NearestColourPackedAsTheExportDoes) {
  std::mt19937 random(11);
  for (Resolution res : {Res640, Res320}) {
    const int width = int(BitmapWidth(res));
    Bytes rgb(size_t(width) * 200 * 3);
    for (uint8_t& c : rgb) c = uint8_t(random());
    // The nearest colour by squared distance, the lower number on a tie; built into planes the
    // way the plug-in holds GRAM, then encoded by the plug-in's own export code.
    std::vector<uint8_t> planes[3];
    for (auto& p : planes) p.assign(kGramPlaneBytes, 0);
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* c = &rgb[(size_t(y) * width + x) * 3];
        int best = 0;
        long bestDistance = -1;
        for (int n = 0; n < 8; ++n) {
          uint8_t corner[3];
          ColourRgb(n, corner);
          long d = 0;
          for (int k = 0; k < 3; ++k) d += long(c[k] - corner[k]) * (c[k] - corner[k]);
          if (bestDistance < 0 || d < bestDistance) best = n, bestDistance = d;
        }
        for (int bit = res == Res640 ? x : 2 * x; bit <= (res == Res640 ? x : 2 * x + 1); ++bit) {
          for (int k = 0; k < 3; ++k)
            planes[k][y * kGramLineBytes + bit / 8] |= (best >> k & 1) << (bit % 8);
        }
      }
    }
    Bytes expected(PixelDataBytes(res));
    EncodeGram({{planes[0].data(), planes[1].data(), planes[2].data()}}, res, expected.data());
    EXPECT_EQ(Fit(Png(width, 200, 3, rgb), res), expected) << width;
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
  Bytes noise(5000);
  std::mt19937 random(3);
  for (uint8_t& b : noise) b = uint8_t(random() | 0x80);  // no TGA header starts like this
  EXPECT_EQ(FitFailure(noise), unknown);

  // Cut short, including the formats whose decoder would read zeros past the end.
  const Bytes card = Card(640, 200);
  for (auto& [name, file] : InMemoryFormats(640, 200, card)) {
    if (name == "TGA RLE") continue;  // bars compress to a few bytes; cut below instead
    const Bytes cut(file.begin(), file.begin() + file.size() * 6 / 10);
    EXPECT_EQ(FitFailure(cut), "the picture is cut short") << name;
  }
  Magick magick;
  for (const char* options : {"GIF:", "PSD:", "-colors 8 BMP3:"}) {
    Bytes noisy(640 * 200 * 3);
    for (uint8_t& b : noisy) b = random() % 2 ? 255 : 0;
    const Bytes file = magick.Write(640, 200, noisy, options);
    EXPECT_EQ(FitFailure(Bytes(file.begin(), file.begin() + file.size() / 2)),
              "the picture is cut short")
        << options;
  }

  EXPECT_EQ(FitFailure(Ppm(0, 0, {})), "the picture has no pixels");
  Bytes png = Png(4, 4, 3, Card(4, 4));
  Bytes zero = png;
  PutBe32(zero, 16, 0);  // IHDR width
  EXPECT_EQ(FitFailure(zero), "the picture has no pixels");

  // Declared huge by a tiny file: refused from the header.
  Bytes huge = png;
  PutBe32(huge, 16, 20000);
  PutBe32(huge, 20, 20000);
  EXPECT_EQ(FitFailure(huge),
            "the picture is 20000x20000 = 400000000 pixels; gramconv takes at most 100000000");
  Bytes bmp;
  stbi_write_bmp_to_func(Append, &bmp, 4, 4, 3, Card(4, 4).data());
  for (int i = 0; i < 4; ++i)
    bmp[18 + i] = uint8_t(30000 >> (8 * i)), bmp[22 + i] = uint8_t(30000 >> (8 * i));
  EXPECT_EQ(FitFailure(bmp),
            "the picture is 30000x30000 = 900000000 pixels; gramconv takes at most 100000000");
  Bytes wide = png;
  PutBe32(wide, 16, 70000);
  PutBe32(wide, 20, 1);
  EXPECT_NE(FitFailure(wide).find("65536"), std::string::npos);

  // RLE bitmaps are named, so the user knows what to change.
  const Bytes rle = magick.Write(640, 200, card, "-colors 8 -compress RLE BMP3:");
  const uint32_t compression = ReadLe32(&rle[30]);
  ASSERT_TRUE(compression == 1 || compression == 2) << "expected an RLE bitmap";
  EXPECT_NE(FitFailure(rle).find("RLE"), std::string::npos);
}

}  // namespace
