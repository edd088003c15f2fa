// The two pixel codecs between GRAM planes and packed 4-bit bitmap rows.
// Portable table-driven code; each table turns one byte into the bits of one group.
#include "convert/gram_bitmap.h"
#include "convert/gram_codec_simd.h"

namespace {

struct CodecTables {
  // Res640 encode: plane byte -> 4 output bytes (as a little-endian word), bit 2j in the
  // high nibble and bit 2j+1 in the low nibble of byte j, each as a 0/1 colour bit.
  uint32_t spread640[256];
  // Res320 encode: plane byte -> 2 output bytes, sampling bits 0, 3, 4 and 7.
  uint16_t spread320[256];
  // Res640 decode: one pixel byte -> for each plane k (bits 8k..8k+7) the plane bits of the
  // high nibble (bit 0) and of the low nibble (bit 1).
  uint32_t gather640[256];
  // Res320 decode: one pixel byte -> for each plane k the high nibble's bit doubled into
  // bits 0-1 and the low nibble's bit doubled into bits 2-3.
  uint32_t gather320[256];
};

constexpr uint32_t Bit(uint32_t value, uint32_t n) { return (value >> n) & 1u; }

constexpr CodecTables MakeTables() {
  CodecTables t{};
  for (uint32_t v = 0; v < 256; ++v) {
    uint32_t word = 0;
    for (uint32_t j = 0; j < 4; ++j) {
      word |= (Bit(v, 2 * j) << 4 | Bit(v, 2 * j + 1)) << (8 * j);
    }
    t.spread640[v] = word;
    t.spread320[v] = uint16_t((Bit(v, 0) << 4 | Bit(v, 3)) | (Bit(v, 4) << 4 | Bit(v, 7)) << 8);
    uint32_t g640 = 0;
    uint32_t g320 = 0;
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t high = Bit(v, 4 + k);
      const uint32_t low = Bit(v, k);
      g640 |= (high | low << 1) << (8 * k);
      g320 |= (high * 3u | low * 12u) << (8 * k);
    }
    t.gather640[v] = g640;
    t.gather320[v] = g320;
  }
  return t;
}

constexpr CodecTables kTables = MakeTables();

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace

uint32_t BitmapWidth(Resolution res) { return res == Res320 ? 320u : 640u; }

uint32_t PixelDataBytes(Resolution res) { return BitmapWidth(res) * 100u; }

void EncodeGramPortable(const GramPlanes& planes, Resolution res, uint8_t* pixels) {
  const uint8_t* p0 = planes.plane[0];
  const uint8_t* p1 = planes.plane[1];
  const uint8_t* p2 = planes.plane[2];
  uint8_t* out = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    const uint32_t base = line * kGramLineBytes;
    if (res == Res320) {
      for (uint32_t k = 0; k < kGramLineBytes; ++k) {
        const uint32_t i = base + k;
        const uint32_t word = kTables.spread320[p0[i]] | kTables.spread320[p1[i]] << 1 |
                              kTables.spread320[p2[i]] << 2;
        out[0] = uint8_t(word);
        out[1] = uint8_t(word >> 8);
        out += 2;
      }
    } else {
      for (uint32_t k = 0; k < kGramLineBytes; ++k) {
        const uint32_t i = base + k;
        StoreLe32(out, kTables.spread640[p0[i]] | kTables.spread640[p1[i]] << 1 |
                           kTables.spread640[p2[i]] << 2);
        out += 4;
      }
    }
  }
}

void DecodeGramPortable(const uint8_t* pixels, Resolution res, const GramPlanes& planes) {
  uint8_t* p0 = planes.plane[0];
  uint8_t* p1 = planes.plane[1];
  uint8_t* p2 = planes.plane[2];
  const uint8_t* in = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    const uint32_t base = line * kGramLineBytes;
    for (uint32_t k = 0; k < kGramLineBytes; ++k) {
      uint32_t acc;
      if (res == Res320) {
        acc = kTables.gather320[in[0]] | kTables.gather320[in[1]] << 4;
        in += 2;
      } else {
        acc = kTables.gather640[in[0]] | kTables.gather640[in[1]] << 2 |
              kTables.gather640[in[2]] << 4 | kTables.gather640[in[3]] << 6;
        in += 4;
      }
      const uint32_t i = base + k;
      p0[i] = uint8_t(acc);
      p1[i] = uint8_t(acc >> 8);
      p2[i] = uint8_t(acc >> 16);
    }
  }
}

void EncodeGram(const GramPlanes& planes, Resolution res, uint8_t* pixels) {
  if (EncodeGramVector(planes, res, pixels)) return;
  EncodeGramPortable(planes, res, pixels);
}

void DecodeGram(const uint8_t* pixels, Resolution res, const GramPlanes& planes) {
  if (DecodeGramVector(pixels, res, planes)) return;
  DecodeGramPortable(pixels, res, planes);
}
