// SSE2 codecs: plain bit moves on 16 columns at a time, for processors without AVX2 (every
// processor the 32-bit plug-in can meet has SSE2; the dispatch checks anyway).
//
// Both directions go through "colour pairs": a byte holding the 3-bit colours of two GRAM bit
// positions n and n + 4 of one column, position n in bits 0-2 and n + 4 in bits 4-6. Three
// planes fit twice in a byte that way, and a pixel byte is half of two such pairs.
#include "convert/gram_codec_levels.h"

#if defined(VANTREL_X86_VECTORS)

#include <emmintrin.h>

#define VANTREL_SSE2 __attribute__((target("sse2")))

namespace {

// Shifts work on 16-bit lanes; every caller masks so that no bit crosses into another byte.
VANTREL_SSE2 inline __m128i Mask(__m128i v, int bits) {
  return _mm_and_si128(v, _mm_set1_epi8(char(bits)));
}

VANTREL_SSE2 inline __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }

// Bits from and from + 4 of each byte, moved to to and to + 4 (from, to in 0..3).
VANTREL_SSE2 inline __m128i MoveBitPair(__m128i v, int from, int to) {
  const __m128i kept = Mask(v, 0x11 << from);
  if (from == to) return kept;
  return from < to ? _mm_slli_epi16(kept, to - from) : _mm_srli_epi16(kept, from - to);
}

// The colour pair of positions n and n + 4 from the three plane bytes.
VANTREL_SSE2 inline __m128i ColourPair(__m128i blue, __m128i red, __m128i green, int n) {
  return Or(MoveBitPair(blue, n, 0), Or(MoveBitPair(red, n, 1), MoveBitPair(green, n, 2)));
}

// Pixel bytes from the low (position n) or high (n + 4) colours of a left and a right pair;
// the left pixel is the high nibble.
VANTREL_SSE2 inline __m128i LowPixels(__m128i left, __m128i right) {
  return Or(Mask(_mm_slli_epi16(left, 4), 0x70), Mask(right, 0x07));
}

VANTREL_SSE2 inline __m128i HighPixels(__m128i left, __m128i right) {
  return Or(Mask(left, 0x70), Mask(_mm_srli_epi16(right, 4), 0x07));
}

VANTREL_SSE2 inline void Store(uint8_t* out, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
}

VANTREL_SSE2 inline __m128i Load(const uint8_t* in) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
}

// 16 columns at offset i -> 64 pixel bytes (Res640) or 32 (Res320).
VANTREL_SSE2 void EncodeBlock(const uint8_t* const* plane, uint32_t i, Resolution res,
                              uint8_t* out) {
  const __m128i blue = Load(plane[0] + i);
  const __m128i red = Load(plane[1] + i);
  const __m128i green = Load(plane[2] + i);
  const __m128i pair0 = ColourPair(blue, red, green, 0);
  if (res == Res320) {
    // Res320 samples positions 0 and 3 of each nibble.
    const __m128i pair3 = ColourPair(blue, red, green, 3);
    const __m128i byte0 = LowPixels(pair0, pair3);
    const __m128i byte1 = HighPixels(pair0, pair3);
    Store(out, _mm_unpacklo_epi8(byte0, byte1));
    Store(out + 16, _mm_unpackhi_epi8(byte0, byte1));
    return;
  }
  const __m128i pair1 = ColourPair(blue, red, green, 1);
  const __m128i pair2 = ColourPair(blue, red, green, 2);
  const __m128i pair3 = ColourPair(blue, red, green, 3);
  // Byte j of a column holds positions 2j and 2j + 1.
  const __m128i byte0 = LowPixels(pair0, pair1);
  const __m128i byte1 = LowPixels(pair2, pair3);
  const __m128i byte2 = HighPixels(pair0, pair1);
  const __m128i byte3 = HighPixels(pair2, pair3);
  const __m128i bytes01Low = _mm_unpacklo_epi8(byte0, byte1);
  const __m128i bytes01High = _mm_unpackhi_epi8(byte0, byte1);
  const __m128i bytes23Low = _mm_unpacklo_epi8(byte2, byte3);
  const __m128i bytes23High = _mm_unpackhi_epi8(byte2, byte3);
  Store(out, _mm_unpacklo_epi16(bytes01Low, bytes23Low));
  Store(out + 16, _mm_unpackhi_epi16(bytes01Low, bytes23Low));
  Store(out + 32, _mm_unpacklo_epi16(bytes01High, bytes23High));
  Store(out + 48, _mm_unpackhi_epi16(bytes01High, bytes23High));
}

// The even and the odd bytes of a followed by those of b.
struct SplitBytes {
  __m128i even;
  __m128i odd;
};

VANTREL_SSE2 inline SplitBytes Split(__m128i a, __m128i b) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  return {_mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)),
          _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8))};
}

// The colour pairs of the left or the right pixels of two pixel bytes per column.
VANTREL_SSE2 inline __m128i LeftColours(__m128i low, __m128i high) {
  return Or(Mask(_mm_srli_epi16(low, 4), 0x07), Mask(high, 0x70));
}

VANTREL_SSE2 inline __m128i RightColours(__m128i low, __m128i high) {
  return Or(Mask(low, 0x07), Mask(_mm_slli_epi16(high, 4), 0x70));
}

// Res640: 64 pixel bytes -> 16 bytes of each plane at offset i. Plane k's bit n is colour bit
// k of position n.
VANTREL_SSE2 void Decode640Block(const uint8_t* in, uint8_t* const* plane, uint32_t i) {
  const SplitBytes first = Split(Load(in), Load(in + 16));
  const SplitBytes second = Split(Load(in + 32), Load(in + 48));
  const SplitBytes bytes02 = Split(first.even, second.even);
  const SplitBytes bytes13 = Split(first.odd, second.odd);
  const __m128i pair0 = LeftColours(bytes02.even, bytes02.odd);
  const __m128i pair1 = RightColours(bytes02.even, bytes02.odd);
  const __m128i pair2 = LeftColours(bytes13.even, bytes13.odd);
  const __m128i pair3 = RightColours(bytes13.even, bytes13.odd);
  for (int k = 0; k < 3; ++k) {
    Store(plane[k] + i, Or(Or(MoveBitPair(pair0, k, 0), MoveBitPair(pair1, k, 1)),
                           Or(MoveBitPair(pair2, k, 2), MoveBitPair(pair3, k, 3))));
  }
}

// Res320: 32 pixel bytes -> 16 bytes of each plane; pixel m covers plane bits 2m and 2m + 1.
VANTREL_SSE2 void Decode320Block(const uint8_t* in, uint8_t* const* plane, uint32_t i) {
  const SplitBytes bytes = Split(Load(in), Load(in + 16));
  const __m128i pixels02 = LeftColours(bytes.even, bytes.odd);
  const __m128i pixels13 = RightColours(bytes.even, bytes.odd);
  for (int k = 0; k < 3; ++k) {
    const __m128i single = Or(MoveBitPair(pixels02, k, 0), MoveBitPair(pixels13, k, 2));
    Store(plane[k] + i, Or(single, _mm_slli_epi16(single, 1)));
  }
}

}  // namespace

VANTREL_VECTOR_ENTRY VANTREL_SSE2 void EncodeGramSse2(const GramPlanes& planes, Resolution res,
                                                      uint8_t* pixels) {
  const uint8_t* const plane[3] = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t columnBytes = res == Res320 ? 2 : 4;
  uint8_t* out = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    for (uint32_t k = 0; k < kGramLineBytes; k += 16) {
      EncodeBlock(plane, line * kGramLineBytes + k, res, out + columnBytes * k);
    }
    out += columnBytes * kGramLineBytes;
  }
}

VANTREL_VECTOR_ENTRY VANTREL_SSE2 void DecodeGramSse2(const uint8_t* pixels, Resolution res,
                                                      const GramPlanes& planes) {
  uint8_t* const plane[3] = {planes.plane[0], planes.plane[1], planes.plane[2]};
  const uint32_t columnBytes = res == Res320 ? 2 : 4;
  const uint8_t* in = pixels;
  for (uint32_t line = kGramLines; line-- > 0;) {
    const uint32_t base = line * kGramLineBytes;
    for (uint32_t k = 0; k < kGramLineBytes; k += 16) {
      if (res == Res320) {
        Decode320Block(in + 2 * k, plane, base + k);
      } else {
        Decode640Block(in + 4 * k, plane, base + k);
      }
    }
    in += columnBytes * kGramLineBytes;
  }
}

#endif
