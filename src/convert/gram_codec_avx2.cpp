// AVX2 codecs: the SSE2 level's bit moves on colour pairs, on 16 columns of two GRAM lines at
// a time (the x86-64 Res640 encoder looks its pixels up in tables instead). The 32-bit build
// has only eight vector registers; its blocks keep few values live, so that nothing 32 bytes
// wide is ever spilled to the stack, whose alignment gcc does not keep for such spills in
// 32-bit Windows code (a test checks the object code for it).
#include "convert/gram_codec_levels.h"

#if defined(VANTREL_X86_VECTORS)

#include <immintrin.h>

#define VANTREL_AVX2 __attribute__((target("avx2")))

namespace {

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

// The encoder works on two GRAM lines at once: the low 128-bit half of each vector holds 16
// columns of line L, the high half the same columns of line L - 1, whose row follows in the
// bitmap (rows run bottom-up). Byte shuffles and unpacks stay within halves, so each half is
// simply one line's work.
VANTREL_AVX2 inline __m256i LoadTwoLines(const uint8_t* plane, uint32_t i) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(plane + i - kGramLineBytes),
                             reinterpret_cast<const __m128i*>(plane + i));
}

// Stores the half for line L at out and the half for line L - 1 one bitmap row later.
VANTREL_AVX2 inline void StoreTwoRows(uint8_t* out, uint32_t rowBytes, __m256i v) {
  _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(out + rowBytes), reinterpret_cast<__m128i*>(out),
                       v);
}

// Both directions go through colour pairs: a byte holding the 3-bit colours of GRAM positions n
// (bits 0-2) and n + 4 (bits 4-6) of one column. Shifts work on 16-bit lanes; every caller masks so
// that no bit crosses into another byte.
VANTREL_AVX2 inline __m256i Mask(__m256i v, int bits) {
  return _mm256_and_si256(v, _mm256_set1_epi8(char(bits)));
}

// Bits from and from + 4 of each byte, moved to to and to + 4 (from, to in 0..3).
VANTREL_AVX2 inline __m256i MoveBitPair(__m256i v, int from, int to) {
  const __m256i kept = Mask(v, 0x11 << from);
  if (from == to) return kept;
  return from < to ? _mm256_slli_epi16(kept, to - from) : _mm256_srli_epi16(kept, from - to);
}

// The colour pair of positions n and n + 4 of 16 columns of lines L and L - 1 (line L at
// offset i).
VANTREL_AVX2 inline __m256i ColourPair(const PlaneIn& in, uint32_t i, int n) {
  return _mm256_or_si256(MoveBitPair(LoadTwoLines(in.blue, i), n, 0),
                         _mm256_or_si256(MoveBitPair(LoadTwoLines(in.red, i), n, 1),
                                         MoveBitPair(LoadTwoLines(in.green, i), n, 2)));
}

// Pixel bytes from the low (position n) or high (n + 4) colours of a left and a right pair;
// the left pixel is the high nibble.
VANTREL_AVX2 inline __m256i LowPixels(__m256i left, __m256i right) {
  return _mm256_or_si256(Mask(_mm256_slli_epi16(left, 4), 0x70), Mask(right, 0x07));
}

VANTREL_AVX2 inline __m256i HighPixels(__m256i left, __m256i right) {
  return _mm256_or_si256(Mask(left, 0x70), Mask(_mm256_srli_epi16(right, 4), 0x07));
}

// Two pixel bytes of each column, interleaved column by column.
struct BytePairs {
  __m256i low;   // columns 0-7 of each line
  __m256i high;  // columns 8-15
};

VANTREL_AVX2 inline BytePairs Interleave(__m256i first, __m256i second) {
  return {_mm256_unpacklo_epi8(first, second), _mm256_unpackhi_epi8(first, second)};
}

// The Res640 block's 64 pixel bytes in each of its two rows, from bytes 0 and 1 and bytes
// 2 and 3 of each column.
VANTREL_AVX2 inline void StoreRows640(const BytePairs& bytes01, const BytePairs& bytes23,
                                      uint8_t* out) {
  const uint32_t rowBytes = 320;
  StoreTwoRows(out + 0, rowBytes, _mm256_unpacklo_epi16(bytes01.low, bytes23.low));
  StoreTwoRows(out + 16, rowBytes, _mm256_unpackhi_epi16(bytes01.low, bytes23.low));
  StoreTwoRows(out + 32, rowBytes, _mm256_unpacklo_epi16(bytes01.high, bytes23.high));
  StoreTwoRows(out + 48, rowBytes, _mm256_unpackhi_epi16(bytes01.high, bytes23.high));
}

#if defined(__x86_64__)

// x86-64 has sixteen vector registers, enough to hold a 16-entry table per plane and pixel
// pair: a nibble of plane k's byte looks up its two pixels' bits, already at bits k and 4 + k.
struct NibbleTables {
  uint8_t pair[2][3][16];  // positions (0,1) and (2,3) of the nibble, per plane
};

constexpr NibbleTables MakeNibbleTables() {
  NibbleTables t{};
  for (uint32_t j = 0; j < 2; ++j) {
    for (uint32_t k = 0; k < 3; ++k) {
      for (uint32_t n = 0; n < 16; ++n) {
        t.pair[j][k][n] = uint8_t(((n >> 2 * j & 1u) << 4 | (n >> (2 * j + 1) & 1u)) << k);
      }
    }
  }
  return t;
}

constexpr NibbleTables kNibbleTables = MakeNibbleTables();

VANTREL_AVX2 inline __m256i Nibbles(const uint8_t* plane, uint32_t i, bool high) {
  const __m256i bytes = LoadTwoLines(plane, i);
  return _mm256_and_si256(high ? _mm256_srli_epi16(bytes, 4) : bytes, _mm256_set1_epi8(0x0F));
}

VANTREL_AVX2 inline __m256i LookUp(const uint8_t* table, __m256i nibbles) {
  const __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
  return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(entries), nibbles);
}

// Pixel bytes (0, 1) of each column from the planes' low nibbles, or (2, 3) from the high ones.
VANTREL_AVX2 inline BytePairs PixelPairs640(const PlaneIn& in, uint32_t i, bool high) {
  const __m256i blue = Nibbles(in.blue, i, high);
  const __m256i red = Nibbles(in.red, i, high);
  const __m256i green = Nibbles(in.green, i, high);
  __m256i bytes[2];
  for (int j = 0; j < 2; ++j) {
    const auto& table = kNibbleTables.pair[j];
    bytes[j] = _mm256_or_si256(_mm256_or_si256(LookUp(table[0], blue), LookUp(table[1], red)),
                               LookUp(table[2], green));
  }
  return Interleave(bytes[0], bytes[1]);
}

// Res640: 16 columns of two lines -> 64 pixel bytes in each of two rows; byte j of a column
// holds positions 2j and 2j + 1.
VANTREL_AVX2 void Encode640Block(const PlaneIn& in, uint32_t i, uint8_t* out) {
  const BytePairs bytes01 = PixelPairs640(in, i, false);
  const BytePairs bytes23 = PixelPairs640(in, i, true);
  StoreRows640(bytes01, bytes23, out);
}

#else

// Res640: 16 columns of two lines -> 64 pixel bytes in each of two rows; byte j of a column
// holds positions 2j and 2j + 1. Bytes 0 and 2 first, then 1 and 3.
VANTREL_AVX2 void Encode640Block(const PlaneIn& in, uint32_t i, uint8_t* out) {
  const __m256i pair0 = ColourPair(in, i, 0);
  const __m256i pair1 = ColourPair(in, i, 1);
  __m256i byte0 = LowPixels(pair0, pair1);
  __m256i byte2 = HighPixels(pair0, pair1);
  // Eight vector registers only: finish these two and take the planes afresh, rather than
  // keep pairs 0 and 1 live.
  __asm__("" : "+x"(byte0), "+x"(byte2) : : "memory");
  const __m256i pair2 = ColourPair(in, i, 2);
  const __m256i pair3 = ColourPair(in, i, 3);
  const BytePairs bytes01 = Interleave(byte0, LowPixels(pair2, pair3));
  const BytePairs bytes23 = Interleave(byte2, HighPixels(pair2, pair3));
  StoreRows640(bytes01, bytes23, out);
}

#endif

// Res320: 16 columns of two lines -> 32 pixel bytes in each of two rows, sampling positions
// 0 and 3 of each nibble.
VANTREL_AVX2 void Encode320Block(const PlaneIn& in, uint32_t i, uint8_t* out) {
  const __m256i pair0 = ColourPair(in, i, 0);
  const __m256i pair3 = ColourPair(in, i, 3);
  const BytePairs bytes = Interleave(LowPixels(pair0, pair3), HighPixels(pair0, pair3));
  const uint32_t rowBytes = 160;
  StoreTwoRows(out + 0, rowBytes, bytes.low);
  StoreTwoRows(out + 16, rowBytes, bytes.high);
}

}  // namespace

VANTREL_VECTOR_ENTRY VANTREL_AVX2 void EncodeGramAvx2(const GramPlanes& planes, Resolution res,
                                                      uint8_t* pixels) {
  const PlaneIn in = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t rowBytes = res == Res320 ? 160 : 320;
  uint8_t* out = pixels;
  for (uint32_t pair = 0; pair < kGramLines / 2; ++pair) {
    const uint32_t base = (kGramLines - 1 - 2 * pair) * kGramLineBytes;  // lines 199, 197, ...
    if (res == Res320) {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Encode320Block(in, base + k, out + 2 * k);
    } else {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Encode640Block(in, base + k, out + 4 * k);
    }
    out += 2 * rowBytes;
  }
}

namespace {

// The decoder's counterparts of LoadTwoLines and StoreTwoRows: rows L and L - 1 in, the
// same columns of lines L and L - 1 out.
VANTREL_AVX2 inline __m256i LoadTwoRows(const uint8_t* in, uint32_t rowBytes) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(in + rowBytes),
                             reinterpret_cast<const __m128i*>(in));
}

VANTREL_AVX2 inline void StoreTwoLines(uint8_t* plane, uint32_t i, __m256i v) {
  _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(plane + i - kGramLineBytes),
                       reinterpret_cast<__m128i*>(plane + i), v);
}

// Sorts the bytes of each 128-bit half by their place in a group of `group` bytes (2 or 4).
VANTREL_AVX2 inline __m256i SortByPlace(__m256i v, int group) {
  const __m256i order =
      group == 2 ? _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,  //
                                    0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15)
                 : _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,  //
                                    0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  return _mm256_shuffle_epi8(v, order);
}

// The colour pairs of the left or the right pixels of two pixel bytes of each column.
VANTREL_AVX2 inline __m256i LeftColours(__m256i low, __m256i high) {
  return _mm256_or_si256(Mask(_mm256_srli_epi16(low, 4), 0x07), Mask(high, 0x70));
}

VANTREL_AVX2 inline __m256i RightColours(__m256i low, __m256i high) {
  return _mm256_or_si256(Mask(low, 0x07), Mask(_mm256_slli_epi16(high, 4), 0x70));
}

// Res640: 16 columns of two rows (line L at in, line L - 1 one row later) -> 16 bytes of each
// plane of both lines, line L at offset i.
VANTREL_AVX2 void Decode640Block(const uint8_t* in, const PlaneOut& out, uint32_t i) {
  // Byte j of columns 0-15 into one vector each, in column order.
  __m256i quarter[4];
  for (int q = 0; q < 4; ++q) quarter[q] = SortByPlace(LoadTwoRows(in + 16 * q, 320), 4);
  const __m256i bytes01Low = _mm256_unpacklo_epi32(quarter[0], quarter[1]);
  const __m256i bytes23Low = _mm256_unpackhi_epi32(quarter[0], quarter[1]);
  const __m256i bytes01High = _mm256_unpacklo_epi32(quarter[2], quarter[3]);
  const __m256i bytes23High = _mm256_unpackhi_epi32(quarter[2], quarter[3]);
  const __m256i byte0 = _mm256_unpacklo_epi64(bytes01Low, bytes01High);
  const __m256i byte1 = _mm256_unpackhi_epi64(bytes01Low, bytes01High);
  const __m256i byte2 = _mm256_unpacklo_epi64(bytes23Low, bytes23High);
  const __m256i byte3 = _mm256_unpackhi_epi64(bytes23Low, bytes23High);
  // Byte j holds positions 2j (left) and 2j + 1 (right).
  const __m256i pair0 = LeftColours(byte0, byte2);
  const __m256i pair1 = RightColours(byte0, byte2);
  const __m256i pair2 = LeftColours(byte1, byte3);
  const __m256i pair3 = RightColours(byte1, byte3);
  uint8_t* const plane[3] = {out.blue, out.red, out.green};
  for (int k = 0; k < 3; ++k) {
    // Plane k's bit n is colour bit k of position n.
    const __m256i bits =
        _mm256_or_si256(_mm256_or_si256(MoveBitPair(pair0, k, 0), MoveBitPair(pair1, k, 1)),
                        _mm256_or_si256(MoveBitPair(pair2, k, 2), MoveBitPair(pair3, k, 3)));
    StoreTwoLines(plane[k], i, bits);
  }
}

// Res320: 16 columns of two rows -> 16 bytes of each plane of both lines. Pixel m of a
// column covers plane bits 2m and 2m + 1.
VANTREL_AVX2 void Decode320Block(const uint8_t* in, const PlaneOut& out, uint32_t i) {
  const __m256i first = SortByPlace(LoadTwoRows(in, 160), 2);
  const __m256i second = SortByPlace(LoadTwoRows(in + 16, 160), 2);
  const __m256i byte0 = _mm256_unpacklo_epi64(first, second);
  const __m256i byte1 = _mm256_unpackhi_epi64(first, second);
  const __m256i pixels02 = LeftColours(byte0, byte1);
  const __m256i pixels13 = RightColours(byte0, byte1);
  uint8_t* const plane[3] = {out.blue, out.red, out.green};
  for (int k = 0; k < 3; ++k) {
    const __m256i bits = _mm256_or_si256(MoveBitPair(pixels02, k, 0), MoveBitPair(pixels13, k, 2));
    StoreTwoLines(plane[k], i, _mm256_or_si256(bits, _mm256_slli_epi16(bits, 1)));
  }
}

}  // namespace

VANTREL_VECTOR_ENTRY VANTREL_AVX2 void DecodeGramAvx2(const uint8_t* pixels, Resolution res,
                                                      const GramPlanes& planes) {
  const PlaneOut out = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t rowBytes = res == Res320 ? 160 : 320;
  const uint8_t* in = pixels;
  for (uint32_t pair = 0; pair < kGramLines / 2; ++pair) {
    const uint32_t base = (kGramLines - 1 - 2 * pair) * kGramLineBytes;  // lines 199, 197, ...
    if (res == Res320) {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Decode320Block(in + 2 * k, out, base + k);
    } else {
      for (uint32_t k = 0; k < kGramLineBytes; k += 16) Decode640Block(in + 4 * k, out, base + k);
    }
    in += 2 * rowBytes;
  }
}

#endif
