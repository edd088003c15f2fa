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

// Whether this build and processor have a vector path at all: on x86-64 with AVX2 they must.
bool VectorPathExpected() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

TEST(CodecVector, EncodeVectorMatchesPortable) {
  std::mt19937 random(4242);
  // Odd offsets: the vector path must not rely on aligned planes or pixel buffers.
  std::vector<uint8_t> planeBytes(3 * kGramPlaneBytes + 3);
  std::vector<uint8_t> portable(kMaxPixelBytes + 1);
  std::vector<uint8_t> vector(kMaxPixelBytes + 1 + 16);
  for (int round = 0; round < 3 * kRounds; ++round) {
    FillRandom(random, planeBytes.data(), planeBytes.size(), round);
    const GramPlanes planes = {{planeBytes.data() + 1, planeBytes.data() + 2 + kGramPlaneBytes,
                                planeBytes.data() + 3 + 2 * kGramPlaneBytes}};
    for (Resolution res : {Res320, Res640}) {
      const uint32_t size = PixelDataBytes(res);
      EncodeGramPortable(planes, res, portable.data() + 1);
      memset(vector.data(), 0xA5, vector.size());
      const bool ran = EncodeGramVector(planes, res, vector.data() + 1);
      ASSERT_EQ(ran, VectorPathExpected());
      if (!ran) {
        for (uint8_t byte : vector) ASSERT_EQ(byte, 0xA5) << "written without a vector path";
        continue;
      }
      ASSERT_TRUE(SameBytes(vector.data() + 1, portable.data() + 1, size))
          << "round " << round << " res " << res;
      ASSERT_EQ(vector[0], 0xA5) << "written before the pixel data";
      for (uint32_t i = 1 + size; i < vector.size(); ++i) {
        ASSERT_EQ(vector[i], 0xA5) << "written past the pixel data at " << i << ", res " << res;
      }
    }
  }
}

TEST(CodecVector, DecodeVectorMatchesPortable) {
  std::mt19937 random(2424);
  std::vector<uint8_t> pixels(kMaxPixelBytes + 1);
  for (int round = 0; round < 3 * kRounds; ++round) {
    FillRandom(random, pixels.data(), pixels.size(), round);
    for (Resolution res : {Res320, Res640}) {
      TestGram portable;
      DecodeGramPortable(pixels.data() + 1, res, portable.Planes());
      // Planes at odd offsets inside one guarded buffer.
      std::vector<uint8_t> guarded(3 * kGramPlaneBytes + 64, 0xA5);
      const GramPlanes planes = {{guarded.data() + 1, guarded.data() + 1 + kGramPlaneBytes + 16,
                                  guarded.data() + 1 + 2 * kGramPlaneBytes + 32}};
      const bool ran = DecodeGramVector(pixels.data() + 1, res, planes);
      ASSERT_EQ(ran, VectorPathExpected());
      if (!ran) {
        for (uint8_t byte : guarded) ASSERT_EQ(byte, 0xA5) << "written without a vector path";
        continue;
      }
      for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(SameBytes(planes.plane[k], portable.Plane(k), kGramPlaneBytes))
            << "plane " << k << " round " << round << " res " << res;
        ASSERT_EQ(planes.plane[k][-1], 0xA5) << "written before plane " << k;
        ASSERT_EQ(planes.plane[k][kGramPlaneBytes], 0xA5) << "written after plane " << k;
      }
    }
  }
}

}  // namespace
