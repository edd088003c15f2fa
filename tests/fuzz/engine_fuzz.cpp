// libFuzzer target: the engine behind the readers (scale, map, dither, pack) on small
// pictures made from the input itself, no decoder involved. Layout: a flags byte (bit 0 the
// resolution, bits 1-2 the dither, bit 3 one flat colour, bit 4 only pure colours, bits 5-7
// the band sizes), width - 1 (2 bytes, 10 bits), height - 1 (2 bytes, 9 bits), a channels
// byte (1 to 4 from its low bits; bit 7 sRGB numbers instead of linear light), then the
// pixels (repeated when the input runs out).
// The rows go to both scaling sinks in different bands; the harness aborts when the two
// canvases differ, when a flat opaque (or clear) picture does not give a flat canvas of
// its colour, when pure colours do not map to themselves (or, in sRGB numbers, undithered
// pixels to the nearest), or when the packed pixels, read
// back by the plug-in's own import codec, are not the colours.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "colour_map.h"
#include "fuzz_contract.h"
#include "picture_fit.h"
#include "scaling_sink.h"

// The sink of builds without threads, renamed by the fuzz build so both link together.
std::unique_ptr<ScalingSink> NewInlineScalingSink(uint32_t canvasWidth, FitGamma gamma);

namespace {

constexpr uint32_t kEngineMaxPixels = 1 << 16;

// Gives the picture to sink: Room and Filled in bands of up to `band` rows, or every
// third band by Take when mixed.
void Feed(ScalingSink& sink, const std::vector<uint8_t>& picture, uint32_t width, uint32_t height,
          uint32_t channels, uint32_t band, bool mixed) {
  if (!sink.Start(width, height, channels)) ContractFailure("no sink for %ux%u", width, height);
  const size_t rowBytes = size_t(width) * channels;
  for (uint32_t y = 0, turn = 0; y < height; ++turn) {
    uint32_t rows = std::min(band, height - y);
    if (mixed && turn % 3 == 2) {
      sink.Take(&picture[y * rowBytes], rows);
    } else {
      uint8_t* room = sink.Room(rows);
      if (rows == 0 || rows > band) ContractFailure("Room gave %u rows of %u", rows, band);
      memcpy(room, &picture[y * rowBytes], rows * rowBytes);
      sink.Filled(rows);
    }
    y += rows;
  }
}

// The canvas colour of an opaque (or clear) source pixel.
void Composite(const uint8_t* pixel, uint32_t channels, uint8_t rgb[3]) {
  const bool grey = channels < 3;
  const uint8_t alpha = channels == 2 ? pixel[1] : channels == 4 ? pixel[3] : 255;
  for (int c = 0; c < 3; ++c) rgb[c] = alpha == 0 ? 0 : pixel[grey ? 0 : c];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return -1;
  const uint8_t flags = data[0];
  const Resolution res = flags & 1 ? Res640 : Res320;
  const DitherMode dither = DitherMode((flags >> 1 & 3) % 3);
  const bool flat = flags & 8, pure = flags & 16;
  const uint32_t width = 1 + ((data[1] | data[2] << 8) & 1023);
  uint32_t height = 1 + ((data[3] | data[4] << 8) & 511);
  height = std::min(height, std::max(1u, kEngineMaxPixels / width));
  const uint32_t channels = 1 + data[5] % 4;
  const FitGamma gamma = data[5] & 0x80 ? GammaSrgb : GammaLinear;
  data += 6;
  size -= 6;

  std::vector<uint8_t> picture(size_t(width) * height * channels);
  for (size_t i = 0; i < picture.size(); ++i) {
    picture[i] = size == 0 ? 0 : data[(flat ? i % channels : i) % size];
    if (pure) picture[i] = picture[i] & 0x80 ? 255 : 0;
  }
  if (flat && (channels == 2 || channels == 4)) {
    // Partly clear pixels average into shades: a flat picture is opaque or clear.
    for (size_t i = channels - 1; i < picture.size(); i += channels) {
      picture[i] = picture[channels - 1] & 0x80 ? 255 : 0;
    }
  }

  static const uint32_t kBands[] = {1, 2, 3, 5, 8, 16, 64, 512};
  const uint32_t band = kBands[flags >> 5], other = kBands[(flags >> 5) ^ 3];
  const std::unique_ptr<ScalingSink> threaded = NewScalingSink(BitmapWidth(res), gamma);
  const std::unique_ptr<ScalingSink> inline_ = NewInlineScalingSink(BitmapWidth(res), gamma);
  Feed(*threaded, picture, width, height, channels, band, true);
  Feed(*inline_, picture, width, height, channels, other, false);
  const Canvas& canvas = threaded->Result();
  const bool srgb = gamma == GammaSrgb;
  const size_t values = size_t(canvas.width) * canvas.height * 3;
  if (canvas.width != BitmapWidth(res) || canvas.height != kBitmapHeight || canvas.gamma != gamma ||
      (srgb ? canvas.rgb.size() : canvas.light.size()) != values) {
    ContractFailure("a %ux%u canvas of %zu values", canvas.width, canvas.height,
                    srgb ? canvas.rgb.size() : canvas.light.size());
  }
  if (canvas.rgb != inline_->Result().rgb || canvas.light != inline_->Result().light) {
    ContractFailure("the two scaling sinks differ");
  }
  // The canvas's value i, and what full is, in whichever it holds.
  const auto value = [&](size_t i) { return srgb ? uint32_t(canvas.rgb[i]) : canvas.light[i]; };
  const uint32_t full = srgb ? 255 : kFullLight;

  if (flat) {
    uint8_t rgb[3];
    Composite(picture.data(), channels, rgb);
    for (size_t i = 0; i < values; ++i) {
      const uint32_t want = srgb ? rgb[i % 3] : kLinearOfSrgb[rgb[i % 3]];
      if (value(i) != want) {
        ContractFailure("flat %u %u %u gave %u at canvas value %zu", rgb[0], rgb[1], rgb[2],
                        value(i), i);
      }
    }
  }
  // Pure colours and nothing averaged between them: every pixel keeps its colour whatever
  // the dither.
  bool pureCanvas = true;
  for (size_t i = 0; i < values; ++i)
    pureCanvas = pureCanvas && (value(i) == 0 || value(i) == full);

  std::vector<uint8_t> colours(size_t(canvas.width) * canvas.height);
  MapColours(canvas, dither, colours.data());
  for (size_t i = 0; i < colours.size(); ++i) {
    const uint32_t r = value(3 * i), g = value(3 * i + 1), b = value(3 * i + 2), half = full / 2;
    // Per channel, the nearest in numbers; in light only pure colours have so plain a nearest
    // (it is judged in CIELAB).
    const uint8_t nearest = (b > half ? 1 : 0) | (r > half ? 2 : 0) | (g > half ? 4 : 0);
    if (colours[i] > 7) ContractFailure("colour %u at pixel %zu", colours[i], i);
    if (((srgb && dither == DitherNone) || pureCanvas) && colours[i] != nearest) {
      ContractFailure("pixel %zu of %u %u %u mapped to %u (dither %d)", i, r, g, b, colours[i],
                      int(dither));
    }
  }

  // Packed, then read back by the import's codec: GRAM must hold the colours.
  std::vector<uint8_t> pixels;
  PackColours(res, colours.data(), pixels);
  if (pixels.size() != PixelDataBytes(res)) ContractFailure("%zu packed bytes", pixels.size());
  static uint8_t gram[3][kGramPlaneBytes];
  DecodeGram(pixels.data(), res, GramPlanes{{gram[0], gram[1], gram[2]}});
  const uint32_t bitsPerPixel = res == Res640 ? 1 : 2;
  for (uint32_t y = 0; y < kBitmapHeight; ++y) {
    for (uint32_t x = 0; x < canvas.width; ++x) {
      const uint32_t bit = x * bitsPerPixel;
      const uint8_t colour = colours[size_t(y) * canvas.width + x];
      for (uint32_t p = 0; p < 3; ++p) {
        const uint8_t byte = gram[p][y * kGramLineBytes + bit / 8];
        for (uint32_t k = 0; k < bitsPerPixel; ++k) {
          if ((byte >> (bit % 8 + k) & 1) != (colour >> p & 1)) {
            ContractFailure("GRAM plane %u at %u,%u is not colour %u", p, x, y, colour);
          }
        }
      }
    }
  }
  return 0;
}
