// Vector paths of the codecs: AVX2 on x86-64 processors that have it, chosen at run time.
// Every other build and processor (the 32-bit plug-in included) gets false and runs the
// portable paths.
#include "convert/gram_codec_simd.h"

#if defined(__x86_64__)

#include <immintrin.h>
#include <string.h>

#define VANTREL_AVX2 __attribute__((target("avx2")))

namespace {

constexpr uint8_t Bit(uint32_t value, uint32_t n) { return uint8_t((value >> n) & 1u); }

// Shuffle tables indexed by a nibble of one plane byte (four GRAM bits, four positions).
// Each entry is that plane's bits placed as two packed pixels: the left pixel's bit at 4,
// the right pixel's bit at 0.
struct NibbleTables {
  uint8_t firstPair[16];   // positions 0 and 1 of the nibble (Res640)
  uint8_t secondPair[16];  // positions 2 and 3 of the nibble (Res640)
  uint8_t sampled[16];     // positions 0 and 3 of the nibble (Res320 samples one bit a pair)
};

constexpr NibbleTables MakeNibbleTables() {
  NibbleTables t{};
  for (uint32_t n = 0; n < 16; ++n) {
    t.firstPair[n] = uint8_t(Bit(n, 0) << 4 | Bit(n, 1));
    t.secondPair[n] = uint8_t(Bit(n, 2) << 4 | Bit(n, 3));
    t.sampled[n] = uint8_t(Bit(n, 0) << 4 | Bit(n, 3));
  }
  return t;
}

constexpr NibbleTables kNibbleTables = MakeNibbleTables();

// The plane addresses copied out of GramPlanes, so the compiler need not reload them after
// every store (a byte store might otherwise have changed the caller's GramPlanes).
struct PlaneIn {
  const uint8_t* blue;
  const uint8_t* red;
  const uint8_t* green;
};

struct PlaneOut {
  uint8_t* blue;
  uint8_t* red;
  uint8_t* green;
};

VANTREL_AVX2 inline __m128i LoadTable(const uint8_t* table) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
}

// The low and high nibbles of 16 bytes, each ready as a shuffle index.
struct Nibbles {
  __m128i low;
  __m128i high;
};

VANTREL_AVX2 inline Nibbles SplitNibbles(const uint8_t* bytes) {
  const __m128i mask = _mm_set1_epi8(0x0F);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  return {_mm_and_si128(v, mask), _mm_and_si128(_mm_srli_epi16(v, 4), mask)};
}

// Looks up one nibble of each of the three planes and merges them into colour numbers:
// plane k's bit moves to bit k (and 4 + k) of each pixel pair. The table bits sit at 0 and 4,
// so the 16-bit shifts never carry into the neighbouring byte.
VANTREL_AVX2 inline __m128i Colours(__m128i table, __m128i plane0, __m128i plane1, __m128i plane2) {
  const __m128i blue = _mm_shuffle_epi8(table, plane0);
  const __m128i red = _mm_slli_epi16(_mm_shuffle_epi8(table, plane1), 1);
  const __m128i green = _mm_slli_epi16(_mm_shuffle_epi8(table, plane2), 2);
  return _mm_or_si128(blue, _mm_or_si128(red, green));
}

VANTREL_AVX2 inline void Store(uint8_t* out, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
}

// 16 GRAM byte columns at offset i -> 64 pixel bytes (Res640): per column the output bytes
// are pairs (0,1) and (2,3) of the low nibble, then the same of the high nibble.
VANTREL_AVX2 void Encode640Block(const PlaneIn& in, uint32_t i, uint8_t* out) {
  const Nibbles n0 = SplitNibbles(in.blue + i);
  const Nibbles n1 = SplitNibbles(in.red + i);
  const Nibbles n2 = SplitNibbles(in.green + i);
  const __m128i first = LoadTable(kNibbleTables.firstPair);
  const __m128i second = LoadTable(kNibbleTables.secondPair);
  const __m128i byte0 = Colours(first, n0.low, n1.low, n2.low);
  const __m128i byte1 = Colours(second, n0.low, n1.low, n2.low);
  const __m128i byte2 = Colours(first, n0.high, n1.high, n2.high);
  const __m128i byte3 = Colours(second, n0.high, n1.high, n2.high);
  // Interleave the four byte streams into 4-byte groups, column by column.
  const __m128i bytes01Low = _mm_unpacklo_epi8(byte0, byte1);
  const __m128i bytes01High = _mm_unpackhi_epi8(byte0, byte1);
  const __m128i bytes23Low = _mm_unpacklo_epi8(byte2, byte3);
  const __m128i bytes23High = _mm_unpackhi_epi8(byte2, byte3);
  Store(out + 0, _mm_unpacklo_epi16(bytes01Low, bytes23Low));
  Store(out + 16, _mm_unpackhi_epi16(bytes01Low, bytes23Low));
  Store(out + 32, _mm_unpacklo_epi16(bytes01High, bytes23High));
  Store(out + 48, _mm_unpackhi_epi16(bytes01High, bytes23High));
}

// 16 GRAM byte columns at offset i -> 32 pixel bytes (Res320): the low nibble gives the
// first byte of each column, the high nibble the second.
VANTREL_AVX2 void Encode320Block(const PlaneIn& in, uint32_t i, uint8_t* out) {
  const Nibbles n0 = SplitNibbles(in.blue + i);
  const Nibbles n1 = SplitNibbles(in.red + i);
  const Nibbles n2 = SplitNibbles(in.green + i);
  const __m128i sampled = LoadTable(kNibbleTables.sampled);
  const __m128i byte0 = Colours(sampled, n0.low, n1.low, n2.low);
  const __m128i byte1 = Colours(sampled, n0.high, n1.high, n2.high);
  Store(out + 0, _mm_unpacklo_epi8(byte0, byte1));
  Store(out + 16, _mm_unpackhi_epi8(byte0, byte1));
}

VANTREL_AVX2 void EncodeAvx2(const GramPlanes& planes, Resolution res, uint8_t* pixels) {
  const PlaneIn in = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t columnBytes = res == Res320 ? 2 : 4;
  uint8_t* out = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    const uint32_t base = line * kGramLineBytes;
    if (res == Res320) {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Encode320Block(in, base + k, out + 2 * k);
    } else {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Encode640Block(in, base + k, out + 4 * k);
    }
    out += kGramLineBytes * columnBytes;
  }
}

// 32 pixel bytes, one pixel per byte in bits 5-7 (plane 2's bit on top), four GRAM columns
// of eight positions in order -> four bytes of each plane at offset i. movemask gathers
// bit 7 of every byte, position 0 first; shifting brings each plane's bit up to it.
VANTREL_AVX2 inline void StorePlaneBits(__m256i pixels, const PlaneOut& out, uint32_t i) {
  const __m256i redOnTop = _mm256_add_epi8(pixels, pixels);
  const __m256i blueOnTop = _mm256_add_epi8(redOnTop, redOnTop);
  const uint32_t green = uint32_t(_mm256_movemask_epi8(pixels));
  const uint32_t red = uint32_t(_mm256_movemask_epi8(redOnTop));
  const uint32_t blue = uint32_t(_mm256_movemask_epi8(blueOnTop));
  memcpy(out.blue + i, &blue, 4);
  memcpy(out.red + i, &red, 4);
  memcpy(out.green + i, &green, 4);
}

// Res640: 16 pixel bytes (four columns) widened to one 16-bit lane each. Shifted by 1, the
// lane's low byte has the left pixel in bits 5-7; shifted by 13, the right pixel lands in
// bits 5-7 of the high byte. What else the shifts move stays below bit 5.
VANTREL_AVX2 void Decode640Block(const uint8_t* in, const PlaneOut& out, uint32_t i) {
  const __m256i lanes = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
  StorePlaneBits(_mm256_or_si256(_mm256_slli_epi16(lanes, 1), _mm256_slli_epi16(lanes, 13)), out,
                 i);
}

// Res320 decode tables, one per plane and nibble side: the plane's bit of a pixel, doubled
// into a GRAM bit pair. Of a column's byte, the left pixel (high nibble) fills pair 0 and the
// right pixel (low nibble) pair 1.
struct Decode320Tables {
  uint8_t left[3][16];
  uint8_t right[3][16];
};

constexpr Decode320Tables MakeDecode320Tables() {
  Decode320Tables t{};
  for (uint32_t k = 0; k < 3; ++k) {
    for (uint32_t n = 0; n < 16; ++n) {
      t.left[k][n] = uint8_t(Bit(n, k) * 3u);
      t.right[k][n] = uint8_t(Bit(n, k) * 12u);
    }
  }
  return t;
}

constexpr Decode320Tables kDecode320Tables = MakeDecode320Tables();

VANTREL_AVX2 inline __m256i LoadTable256(const uint8_t* table) {
  return _mm256_broadcastsi128_si256(LoadTable(table));
}

// One plane's byte for each of 16 columns (one per 16-bit lane): the two lookups give each
// pixel byte its half of the plane byte, and the multiply-add joins the column's two bytes
// as first + 16 * second.
VANTREL_AVX2 inline __m256i PlaneBytes320(uint32_t k, __m256i low, __m256i high) {
  const __m256i half =
      _mm256_or_si256(_mm256_shuffle_epi8(LoadTable256(kDecode320Tables.left[k]), high),
                      _mm256_shuffle_epi8(LoadTable256(kDecode320Tables.right[k]), low));
  return _mm256_maddubs_epi16(half, _mm256_set1_epi16(0x1001));
}

// Res320: 32 pixel bytes (16 columns) -> 16 bytes of each plane at offset i.
VANTREL_AVX2 void Decode320Block(const uint8_t* in, const PlaneOut& out, uint32_t i) {
  const __m256i mask = _mm256_set1_epi8(0x0F);
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i low = _mm256_and_si256(bytes, mask);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), mask);
  const __m256i blue = PlaneBytes320(0, low, high);
  const __m256i red = PlaneBytes320(1, low, high);
  const __m256i green = PlaneBytes320(2, low, high);
  // Packing works within 128-bit halves: [blue 0-7, red 0-7, blue 8-15, red 8-15] as
  // 64-bit quarters, so a quarter permute puts each plane's 16 bytes together.
  const __m256i blueRed = _mm256_permute4x64_epi64(_mm256_packus_epi16(blue, red), 0xD8);
  const __m256i greens = _mm256_permute4x64_epi64(_mm256_packus_epi16(green, green), 0xD8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out.blue + i), _mm256_castsi256_si128(blueRed));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out.red + i), _mm256_extracti128_si256(blueRed, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out.green + i), _mm256_castsi256_si128(greens));
}

VANTREL_AVX2 void DecodeAvx2(const uint8_t* pixels, Resolution res, const GramPlanes& planes) {
  const PlaneOut out = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t columnBytes = res == Res320 ? 2 : 4;
  const uint8_t* in = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    const uint32_t base = line * kGramLineBytes;
    if (res == Res320) {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Decode320Block(in + 2 * k, out, base + k);
    } else {
      for (uint32_t k = 0; k < kGramLineBytes; k += 4) Decode640Block(in + 4 * k, out, base + k);
    }
    in += kGramLineBytes * columnBytes;
  }
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

}  // namespace

bool EncodeGramVector(const GramPlanes& planes, Resolution res, uint8_t* pixels) {
  if (!HaveAvx2()) return false;
  EncodeAvx2(planes, res, pixels);
  return true;
}

bool DecodeGramVector(const uint8_t* pixels, Resolution res, const GramPlanes& planes) {
  if (!HaveAvx2()) return false;
  DecodeAvx2(pixels, res, planes);
  return true;
}

#else

bool EncodeGramVector(const GramPlanes&, Resolution, uint8_t*) { return false; }

bool DecodeGramVector(const uint8_t*, Resolution, const GramPlanes&) { return false; }

#endif
