// The codecs against a deliberately plain model that works one pixel and one bit at a time,
// over many random GRAMs and pixel blocks; and the vector paths against the portable ones.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "convert/gram_bitmap.h"
#include "convert/gram_codec_simd.h"
#include "core_support.h"

namespace {

using core_test::FillRandom;
using core_test::TestGram;

const int kRounds = 12;  // per kind of random data

int BitOf(const uint8_t* plane, uint32_t line, uint32_t position) {
  return plane[line * 80 + position / 8] >> (position % 8) & 1;
}

// The GRAM bit position (0..639 within a line) a bitmap pixel x is taken from.
uint32_t SourcePosition(Resolution res, uint32_t x) {
  if (res == Res640) return x;
  const uint32_t sampled[4] = {0, 3, 4, 7};
  return 8 * (x / 4) + sampled[x % 4];
}

// Bitmap pixel (x, stored row r) has the colour of GRAM line 199 - r; the left pixel of a
// byte is its high nibble.
std::vector<uint8_t> ModelEncode(TestGram& gram, Resolution res) {
  const uint32_t width = BitmapWidth(res);
  std::vector<uint8_t> pixels(width * 100, 0);
  for (uint32_t row = 0; row < 200; ++row) {
    const uint32_t line = 199 - row;
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t position = SourcePosition(res, x);
      const int colour = BitOf(gram.Plane(0), line, position) +
                         2 * BitOf(gram.Plane(1), line, position) +
                         4 * BitOf(gram.Plane(2), line, position);
      uint8_t& byte = pixels[row * width / 2 + x / 2];
      byte = uint8_t(byte | (x % 2 == 0 ? colour << 4 : colour));
    }
  }
  return pixels;
}

// Each pixel's nibble bit k sets its GRAM bit (Res640) or bit pair (Res320) in plane k; bit 3
// of the nibble is dropped; everything not set ends up 0.
TestGram ModelDecode(const uint8_t* pixels, Resolution res) {
  const uint32_t width = BitmapWidth(res);
  TestGram gram;
  for (uint32_t row = 0; row < 200; ++row) {
    const uint32_t line = 199 - row;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t byte = pixels[row * width / 2 + x / 2];
      const int nibble = x % 2 == 0 ? byte >> 4 : byte & 15;
      for (int k = 0; k < 3; ++k) {
        if ((nibble >> k & 1) == 0) continue;
        if (res == Res640) {
          gram.Plane(k)[line * 80 + x / 8] |= uint8_t(1 << (x % 8));
        } else {
          gram.Plane(k)[line * 80 + x / 4] |= uint8_t(3 << (2 * (x % 4)));
        }
      }
    }
  }
  return gram;
}

::testing::AssertionResult SameBytes(const uint8_t* got, const uint8_t* want, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (got[i] != want[i]) {
      return ::testing::AssertionFailure() << "first difference at byte " << i << ": 0x" << std::hex
                                           << int(got[i]) << " instead of 0x" << int(want[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(CodecModel, EncodeMatchesPixelByPixelModel) {
  std::mt19937 random(20240117);
  std::vector<uint8_t> pixels(kMaxPixelBytes);
  for (int round = 0; round < 3 * kRounds; ++round) {
    TestGram gram;
    FillRandom(random, gram.bytes.data(), gram.bytes.size(), round);
    for (Resolution res : {Res320, Res640}) {
      const std::vector<uint8_t> want = ModelEncode(gram, res);
      EncodeGram(gram.Planes(), res, pixels.data());
      ASSERT_TRUE(SameBytes(pixels.data(), want.data(), want.size()))
          << "EncodeGram, round " << round << " res " << res;
      EncodeGramPortable(gram.Planes(), res, pixels.data());
      ASSERT_TRUE(SameBytes(pixels.data(), want.data(), want.size()))
          << "portable path, round " << round << " res " << res;
    }
  }
}

TEST(CodecModel, DecodeMatchesBitByBitModel) {
  std::mt19937 random(19700101);
  std::vector<uint8_t> pixels(kMaxPixelBytes);
  for (int round = 0; round < 3 * kRounds; ++round) {
    FillRandom(random, pixels.data(), pixels.size(), round);
    for (Resolution res : {Res320, Res640}) {
      TestGram want = ModelDecode(pixels.data(), res);
      TestGram gram;
      gram.Fill(uint8_t(round));  // stale GRAM must not show through
      DecodeGram(pixels.data(), res, gram.Planes());
      ASSERT_TRUE(SameBytes(gram.bytes.data(), want.bytes.data(), want.bytes.size()))
          << "DecodeGram, round " << round << " res " << res;
      gram.Fill(uint8_t(~round));
      DecodeGramPortable(pixels.data(), res, gram.Planes());
      ASSERT_TRUE(SameBytes(gram.bytes.data(), want.bytes.data(), want.bytes.size()))
          << "portable path, round " << round << " res " << res;
    }
  }
}

// Levels this processor must offer, detected here independently of the codec's own check:
// every x86 processor the plug-in meets has SSE2; AVX2 where the processor (and system) has it.
bool LevelExpected(CodecLevel level) {
#if defined(__i386__) || defined(__x86_64__)
  switch (level) {
    case LevelPortable: return true;
    case LevelSse2: return __builtin_cpu_supports("sse2");
    case LevelAvx2: return __builtin_cpu_supports("avx2");
    default: return false;
  }
#else
  return level == LevelPortable;
#endif
}

TEST(CodecVector, LevelsFollowTheProcessor) {
  CodecLevel best = LevelPortable;
  for (uint32_t level = 0; level < kCodecLevels; ++level) {
    const CodecLevel l = CodecLevel(level);
    EXPECT_EQ(CodecLevelAvailable(l), LevelExpected(l)) << CodecLevelName(l);
    if (LevelExpected(l)) best = l;
  }
  EXPECT_EQ(VectorLevel(), best);
  EXPECT_FALSE(CodecLevelAvailable(kCodecLevels));
#if defined(__i386__) || defined(__x86_64__)
  EXPECT_NE(VectorLevel(), LevelPortable) << "no vector path on an x86 processor";
#endif
}

// Planes in which every column sees all 256 values in each plane, over the 200 lines of two
// rounds, beside different values in the other planes.
void FillEveryValue(const GramPlanes& planes, int round) {
  for (uint32_t line = 0; line < kGramLines; ++line) {
    for (uint32_t column = 0; column < kGramLineBytes; ++column) {
      for (uint32_t k = 0; k < 3; ++k) {
        planes.plane[k][line * kGramLineBytes + column] =
            uint8_t(line + 128 * round + column * (2 * k + 1) + 85 * k);
      }
    }
  }
}

// Pixel data in which every byte position of each 64-byte block (so of every column's group)
// sees all 256 values.
void FillEveryPixelValue(uint8_t* pixels, int round) {
  for (uint32_t i = 0; i < kMaxPixelBytes; ++i) {
    pixels[i] = uint8_t(i / 64 + (i % 64) * (round == 0 ? 37 : 91));
  }
}

// Every vector level this processor offers against the portable path: all byte values in every
// position, then random data; planes and pixels at odd offsets, nothing written outside them.
TEST(CodecVector, EncodeVectorMatchesPortable) {
  std::mt19937 random(4242);
  // Odd offsets: the vector path must not rely on aligned planes or pixel buffers.
  std::vector<uint8_t> planeBytes(3 * kGramPlaneBytes + 3);
  std::vector<uint8_t> portable(kMaxPixelBytes + 1);
  std::vector<uint8_t> vector(kMaxPixelBytes + 1 + 16);
  const GramPlanes planes = {{planeBytes.data() + 1, planeBytes.data() + 2 + kGramPlaneBytes,
                              planeBytes.data() + 3 + 2 * kGramPlaneBytes}};
  int levelsRun = 0;
  for (uint32_t level = LevelPortable + 1; level < kCodecLevels; ++level) {
    const CodecLevel l = CodecLevel(level);
    for (int round = 0; round < 2 + 3 * kRounds; ++round) {
      if (round < 2) {
        FillEveryValue(planes, round);
      } else {
        FillRandom(random, planeBytes.data(), planeBytes.size(), round);
      }
      for (Resolution res : {Res320, Res640}) {
        const uint32_t size = PixelDataBytes(res);
        EncodeGramPortable(planes, res, portable.data() + 1);
        memset(vector.data(), 0xA5, vector.size());
        const bool ran = EncodeGramAtLevel(l, planes, res, vector.data() + 1);
        ASSERT_EQ(ran, LevelExpected(l)) << CodecLevelName(l);
        if (!ran) {
          for (uint8_t byte : vector)
            ASSERT_EQ(byte, 0xA5) << "written without " << CodecLevelName(l);
          continue;
        }
        ASSERT_TRUE(SameBytes(vector.data() + 1, portable.data() + 1, size))
            << CodecLevelName(l) << " round " << round << " res " << res;
        ASSERT_EQ(vector[0], 0xA5) << "written before the pixel data";
        for (uint32_t i = 1 + size; i < vector.size(); ++i) {
          ASSERT_EQ(vector[i], 0xA5) << "written past the pixel data at " << i << ", res " << res;
        }
      }
    }
    levelsRun += LevelExpected(l);
  }
  // The dispatching entry point takes the best level.
  EncodeGramPortable(planes, Res640, portable.data());
  ASSERT_EQ(EncodeGramVector(planes, Res640, vector.data()), levelsRun > 0);
  if (levelsRun > 0) {
    EXPECT_TRUE(SameBytes(vector.data(), portable.data(), kMaxPixelBytes));
  }
}

TEST(CodecVector, DecodeVectorMatchesPortable) {
  std::mt19937 random(2424);
  std::vector<uint8_t> pixels(kMaxPixelBytes + 1);
  int levelsRun = 0;
  for (uint32_t level = LevelPortable + 1; level < kCodecLevels; ++level) {
    const CodecLevel l = CodecLevel(level);
    for (int round = 0; round < 2 + 3 * kRounds; ++round) {
      if (round < 2) {
        FillEveryPixelValue(pixels.data() + 1, round);
      } else {
        FillRandom(random, pixels.data(), pixels.size(), round);
      }
      for (Resolution res : {Res320, Res640}) {
        TestGram portable;
        DecodeGramPortable(pixels.data() + 1, res, portable.Planes());
        // Planes at odd offsets inside one guarded buffer.
        std::vector<uint8_t> guarded(3 * kGramPlaneBytes + 64, 0xA5);
        const GramPlanes planes = {{guarded.data() + 1, guarded.data() + 1 + kGramPlaneBytes + 16,
                                    guarded.data() + 1 + 2 * kGramPlaneBytes + 32}};
        const bool ran = DecodeGramAtLevel(l, pixels.data() + 1, res, planes);
        ASSERT_EQ(ran, LevelExpected(l)) << CodecLevelName(l);
        if (!ran) {
          for (uint8_t byte : guarded)
            ASSERT_EQ(byte, 0xA5) << "written without " << CodecLevelName(l);
          continue;
        }
        for (int k = 0; k < 3; ++k) {
          ASSERT_TRUE(SameBytes(planes.plane[k], portable.Plane(k), kGramPlaneBytes))
              << CodecLevelName(l) << " plane " << k << " round " << round << " res " << res;
          ASSERT_EQ(planes.plane[k][-1], 0xA5) << "written before plane " << k;
          ASSERT_EQ(planes.plane[k][kGramPlaneBytes], 0xA5) << "written after plane " << k;
        }
      }
    }
    levelsRun += LevelExpected(l);
  }
  TestGram portable;
  TestGram vector;
  DecodeGramPortable(pixels.data(), Res640, portable.Planes());
  ASSERT_EQ(DecodeGramVector(pixels.data(), Res640, vector.Planes()), levelsRun > 0);
  if (levelsRun > 0) {
    EXPECT_TRUE(portable == vector);
  }
}

}  // namespace
