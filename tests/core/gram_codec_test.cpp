// The pixel codecs on hand-made GRAM: colour numbering, bit and line order, what Res320
// samples, and the round trips export -> import and import -> export.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "convert/gram_bitmap.h"
#include "core_support.h"

namespace {

using core_test::FillRandom;
using core_test::TestGram;

const uint8_t kUnwritten = 0xA5;

// Encodes into a buffer one pixel block larger than needed, prefilled, so bytes written past
// the end show up.
std::vector<uint8_t> Encode(TestGram& gram, Resolution res) {
  std::vector<uint8_t> pixels(2 * kMaxPixelBytes, kUnwritten);
  EncodeGram(gram.Planes(), res, pixels.data());
  return pixels;
}

// True when every group of the pixel data repeats the given bytes.
::testing::AssertionResult EveryGroupIs(const std::vector<uint8_t>& pixels, Resolution res,
                                        std::vector<uint8_t> group) {
  for (uint32_t i = 0; i < PixelDataBytes(res); ++i) {
    if (pixels[i] != group[i % group.size()]) {
      return ::testing::AssertionFailure() << "byte " << i << " is 0x" << std::hex << int(pixels[i])
                                           << ", expected 0x" << int(group[i % group.size()]);
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(EncodeGram, WritesExactlyThePixelDataOfEachResolution) {
  TestGram gram;
  for (Resolution res : {Res320, Res640}) {
    const std::vector<uint8_t> pixels = Encode(gram, res);
    EXPECT_TRUE(EveryGroupIs(pixels, res, {0x00})) << "all-zero planes give index 0, res " << res;
    for (size_t i = PixelDataBytes(res); i < pixels.size(); ++i) {
      ASSERT_EQ(pixels[i], kUnwritten) << "written past the pixel data at " << i << ", res " << res;
    }
  }
  EXPECT_EQ(PixelDataBytes(Res320), 32000u);
  EXPECT_EQ(PixelDataBytes(Res640), 64000u);
}

TEST(EncodeGram, EachPlaneCarriesItsColourBit) {
  // Plane 0 blue = 1, plane 1 red = 2, plane 2 green = 4; position 0 is the high nibble.
  for (int k = 0; k < 3; ++k) {
    TestGram gram;
    gram.FillPlane(k, 0x01);
    const uint8_t colour = uint8_t(1 << k);
    EXPECT_TRUE(EveryGroupIs(Encode(gram, Res640), Res640, {uint8_t(colour << 4), 0, 0, 0}))
        << "plane " << k;
    EXPECT_TRUE(EveryGroupIs(Encode(gram, Res320), Res320, {uint8_t(colour << 4), 0}))
        << "plane " << k;
  }
  TestGram white;
  white.Fill(0xFF);
  EXPECT_TRUE(EveryGroupIs(Encode(white, Res640), Res640, {0x77}));
  EXPECT_TRUE(EveryGroupIs(Encode(white, Res320), Res320, {0x77}));
}

TEST(EncodeGram, Res640PutsBitNAtPixelN) {
  for (int bit = 0; bit < 8; ++bit) {
    TestGram gram;
    gram.FillPlane(1, uint8_t(1 << bit));  // red, colour 2
    std::vector<uint8_t> group(4, 0);
    group[bit / 2] = bit % 2 == 0 ? 0x20 : 0x02;
    EXPECT_TRUE(EveryGroupIs(Encode(gram, Res640), Res640, group)) << "bit " << bit;
  }
}

TEST(EncodeGram, Res320SamplesBitsZeroThreeFourSeven) {
  struct Case {
    uint8_t plane0;
    uint8_t first;
    uint8_t second;
  };
  const Case cases[] = {
      {0x01, 0x10, 0x00}, {0x02, 0x00, 0x00}, {0x04, 0x00, 0x00}, {0x08, 0x01, 0x00},
      {0x10, 0x00, 0x10}, {0x20, 0x00, 0x00}, {0x40, 0x00, 0x00}, {0x80, 0x00, 0x01},
      {0x66, 0x00, 0x00}, {0x99, 0x11, 0x11},
  };
  for (const Case& c : cases) {
    TestGram gram;
    gram.FillPlane(0, c.plane0);
    EXPECT_TRUE(EveryGroupIs(Encode(gram, Res320), Res320, {c.first, c.second}))
        << "plane 0 bytes 0x" << std::hex << int(c.plane0);
  }
}

TEST(EncodeGram, StoresLinesBottomUpAndColumnsLeftToRight) {
  TestGram gram;
  gram.Plane(0)[0] = 0x01;              // line 0, column 0, position 0: blue
  gram.Plane(1)[199 * 80 + 79] = 0x80;  // line 199, column 79, position 7: red
  gram.Plane(2)[100 * 80 + 5] = 0x01;   // line 100, column 5, position 0: green
  const std::vector<uint8_t> p640 = Encode(gram, Res640);
  const std::vector<uint8_t> p320 = Encode(gram, Res320);
  // Line 199 is the first stored row, line 0 the last; line 100 is stored row 99.
  std::vector<uint8_t> want640(64000, 0);
  want640[199 * 320 + 0] = 0x10;
  want640[0 * 320 + 79 * 4 + 3] = 0x02;
  want640[99 * 320 + 5 * 4] = 0x40;
  EXPECT_TRUE(std::equal(want640.begin(), want640.end(), p640.begin()));
  std::vector<uint8_t> want320(32000, 0);
  want320[199 * 160 + 0] = 0x10;
  want320[0 * 160 + 79 * 2 + 1] = 0x02;
  want320[99 * 160 + 5 * 2] = 0x40;
  EXPECT_TRUE(std::equal(want320.begin(), want320.end(), p320.begin()));
}

TEST(DecodeGram, ReplacesEveryPlaneByte) {
  // Index 0 everywhere must clear GRAM that was full: bytes are replaced, never merged.
  for (Resolution res : {Res320, Res640}) {
    TestGram gram;
    gram.Fill(0xFF);
    const std::vector<uint8_t> pixels(kMaxPixelBytes, 0x00);
    DecodeGram(pixels.data(), res, gram.Planes());
    for (size_t i = 0; i < gram.bytes.size(); ++i) {
      ASSERT_EQ(gram.bytes[i], 0) << "byte " << i << " kept, res " << res;
    }
  }
}

TEST(DecodeGram, NibblesEightToFifteenLoadAsZeroToSeven) {
  for (Resolution res : {Res320, Res640}) {
    const uint32_t rowBytes = BitmapWidth(res) / 2;
    std::vector<uint8_t> pixels(kMaxPixelBytes, 0xFF);     // index 15 = white
    memset(pixels.data() + 5 * rowBytes, 0x88, rowBytes);  // stored row 5 = GRAM line 194
    TestGram gram;
    DecodeGram(pixels.data(), res, gram.Planes());
    for (int k = 0; k < 3; ++k) {
      for (uint32_t line = 0; line < kGramLines; ++line) {
        const uint8_t want = line == 194 ? 0x00 : 0xFF;
        for (uint32_t col = 0; col < kGramLineBytes; ++col) {
          ASSERT_EQ(gram.Plane(k)[line * 80 + col], want)
              << "plane " << k << " line " << line << " column " << col << " res " << res;
        }
      }
    }
  }
}

TEST(DecodeGram, Res640PixelNSetsBitN) {
  for (int pixel = 0; pixel < 8; ++pixel) {
    std::vector<uint8_t> pixels(kMaxPixelBytes, 0);
    // Colour 5 (blue + green) for pixel `pixel` of every group.
    for (uint32_t group = 0; group < 16000; ++group) {
      pixels[group * 4 + pixel / 2] = pixel % 2 == 0 ? 0x50 : 0x05;
    }
    TestGram gram;
    DecodeGram(pixels.data(), Res640, gram.Planes());
    EXPECT_EQ(gram.Plane(0)[1234], 1 << pixel);
    EXPECT_EQ(gram.Plane(1)[1234], 0);
    EXPECT_EQ(gram.Plane(2)[1234], 1 << pixel);
  }
}

TEST(DecodeGram, Res320PixelFillsItsBitPair) {
  for (int pixel = 0; pixel < 4; ++pixel) {
    std::vector<uint8_t> pixels(kMaxPixelBytes, 0);
    for (uint32_t group = 0; group < 16000; ++group) {
      pixels[group * 2 + pixel / 2] = pixel % 2 == 0 ? 0x60 : 0x06;  // colour 6: red + green
    }
    TestGram gram;
    DecodeGram(pixels.data(), Res320, gram.Planes());
    EXPECT_EQ(gram.Plane(0)[777], 0);
    EXPECT_EQ(gram.Plane(1)[777], 3 << (2 * pixel));
    EXPECT_EQ(gram.Plane(2)[777], 3 << (2 * pixel));
  }
}

TEST(DecodeGram, StoredRowsGoBottomUp) {
  for (Resolution res : {Res320, Res640}) {
    const uint32_t rowBytes = BitmapWidth(res) / 2;
    std::vector<uint8_t> pixels(kMaxPixelBytes, 0);
    pixels[0] = 0x10;                              // stored row 0, first pixel: blue
    pixels[199 * rowBytes + rowBytes - 1] = 0x04;  // stored row 199, last pixel: green
    TestGram gram;
    DecodeGram(pixels.data(), res, gram.Planes());
    TestGram want;
    want.Plane(0)[199 * 80] = res == Res640 ? 0x01 : 0x03;
    want.Plane(2)[79] = res == Res640 ? 0x80 : 0xC0;
    EXPECT_TRUE(gram == want) << "res " << res;
  }
}

TEST(DecodeGram, Res320ReadsOnlyHalfTheBuffer) {
  std::mt19937 random(7);
  std::vector<uint8_t> pixels(kMaxPixelBytes);
  FillRandom(random, pixels.data(), pixels.size(), 0);
  TestGram first;
  DecodeGram(pixels.data(), Res320, first.Planes());
  memset(pixels.data() + 32000, 0x77, 32000);
  TestGram second;
  DecodeGram(pixels.data(), Res320, second.Planes());
  EXPECT_TRUE(first == second);
}

// What a Res320 export and import make of one plane byte: each bit pair becomes a copy of its
// sampled bit (pair 0 <- bit 0, pair 1 <- bit 3, pair 2 <- bit 4, pair 3 <- bit 7).
uint8_t Res320RoundTripOf(uint8_t byte) {
  const int sampled[4] = {0, 3, 4, 7};
  uint8_t out = 0;
  for (int pair = 0; pair < 4; ++pair) {
    if (byte >> sampled[pair] & 1) out |= uint8_t(3 << (2 * pair));
  }
  return out;
}

TEST(RoundTrip, Res640ExportThenImportRestoresGram) {
  std::mt19937 random(640);
  for (int kind = 0; kind < 3; ++kind) {
    TestGram original;
    FillRandom(random, original.bytes.data(), original.bytes.size(), kind);
    const std::vector<uint8_t> pixels = Encode(original, Res640);
    TestGram restored;
    restored.Fill(0x5A);
    DecodeGram(pixels.data(), Res640, restored.Planes());
    EXPECT_TRUE(restored == original) << "kind " << kind;
  }
}

TEST(RoundTrip, Res320ExportThenImportKeepsSampledBits) {
  std::mt19937 random(320);
  for (int kind = 0; kind < 3; ++kind) {
    TestGram original;
    FillRandom(random, original.bytes.data(), original.bytes.size(), kind);
    const std::vector<uint8_t> pixels = Encode(original, Res320);
    TestGram restored;
    DecodeGram(pixels.data(), Res320, restored.Planes());
    for (size_t i = 0; i < original.bytes.size(); ++i) {
      ASSERT_EQ(restored.bytes[i], Res320RoundTripOf(original.bytes[i]))
          << "byte " << i << " was 0x" << std::hex << int(original.bytes[i]);
    }
    // GRAM whose bit pairs already hold equal bits comes back unchanged.
    TestGram paired;
    for (size_t i = 0; i < paired.bytes.size(); ++i) {
      paired.bytes[i] = Res320RoundTripOf(original.bytes[i]);
    }
    const std::vector<uint8_t> pairedPixels = Encode(paired, Res320);
    TestGram pairedBack;
    DecodeGram(pairedPixels.data(), Res320, pairedBack.Planes());
    EXPECT_TRUE(pairedBack == paired) << "kind " << kind;
  }
}

TEST(RoundTrip, ImportThenExportClearsBitThreeOfEachNibble) {
  std::mt19937 random(88);
  for (Resolution res : {Res320, Res640}) {
    std::vector<uint8_t> pixels(kMaxPixelBytes);
    FillRandom(random, pixels.data(), pixels.size(), 0);
    TestGram gram;
    DecodeGram(pixels.data(), res, gram.Planes());
    const std::vector<uint8_t> again = Encode(gram, res);
    for (uint32_t i = 0; i < PixelDataBytes(res); ++i) {
      ASSERT_EQ(again[i], pixels[i] & 0x77) << "byte " << i << " res " << res;
    }
  }
}

}  // namespace
