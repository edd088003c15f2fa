// The codec level, chosen once at run time from what the processor offers (and, for AVX, what
// the system saves on a task switch), so the plug-in runs on any x86 processor.
#include "convert/gram_codec_simd.h"

#include "convert/gram_codec_levels.h"

#if defined(VANTREL_X86_VECTORS)
#include <cpuid.h>
#endif

namespace {

#if defined(VANTREL_X86_VECTORS)

// The system has enabled the SSE and AVX register state (XCR0 bits 1 and 2).
bool SystemSavesAvxState() {
  uint32_t low;
  uint32_t high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 6u) == 6u;
}

uint32_t DetectLevels() {
  uint32_t levels = 1u << LevelPortable;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return levels;
  if (d & bit_SSE2) levels |= 1u << LevelSse2;
  // xgetbv exists only where OSXSAVE says the system uses it.
  const bool avx = (c & bit_OSXSAVE) && (c & bit_AVX) && SystemSavesAvxState();
  if (avx && __get_cpuid_max(0, nullptr) >= 7) {
    __cpuid_count(7, 0, a, b, c, d);
    if (b & bit_AVX2) levels |= 1u << LevelAvx2;
  }
  return levels;
}

#else

uint32_t DetectLevels() { return 1u << LevelPortable; }

#endif

// Detected on first use. A plain variable rather than a function-local static: the plug-in has
// one thread, and a guarded static would link the C++ runtime's locking and exception code in.
// Bit 0 (the portable level) is always set once detection has run.
uint32_t g_levels;

uint32_t Levels() {
  if (g_levels == 0) g_levels = DetectLevels();
  return g_levels;
}

}  // namespace

const char* CodecLevelName(CodecLevel level) {
  switch (level) {
    case LevelSse2: return "SSE2";
    case LevelAvx2: return "AVX2";
    default: return "portable";
  }
}

bool CodecLevelAvailable(CodecLevel level) {
  return level < kCodecLevels && (Levels() >> level & 1u) != 0;
}

CodecLevel VectorLevel() {
  for (uint32_t level = kCodecLevels; level-- > 1;) {
    if (CodecLevelAvailable(CodecLevel(level))) return CodecLevel(level);
  }
  return LevelPortable;
}

bool EncodeGramAtLevel(CodecLevel level, const GramPlanes& planes, Resolution res,
                       uint8_t* pixels) {
  if (!CodecLevelAvailable(level)) return false;
  switch (level) {
#if defined(VANTREL_X86_VECTORS)
    case LevelSse2: EncodeGramSse2(planes, res, pixels); break;
    case LevelAvx2: EncodeGramAvx2(planes, res, pixels); break;
#endif
    default: EncodeGramPortable(planes, res, pixels); break;
  }
  return true;
}

bool DecodeGramAtLevel(CodecLevel level, const uint8_t* pixels, Resolution res,
                       const GramPlanes& planes) {
  if (!CodecLevelAvailable(level)) return false;
  switch (level) {
#if defined(VANTREL_X86_VECTORS)
    case LevelSse2: DecodeGramSse2(pixels, res, planes); break;
    case LevelAvx2: DecodeGramAvx2(pixels, res, planes); break;
#endif
    default: DecodeGramPortable(pixels, res, planes); break;
  }
  return true;
}

bool EncodeGramVector(const GramPlanes& planes, Resolution res, uint8_t* pixels) {
  const CodecLevel level = VectorLevel();
  return level != LevelPortable && EncodeGramAtLevel(level, planes, res, pixels);
}

bool DecodeGramVector(const uint8_t* pixels, Resolution res, const GramPlanes& planes) {
  const CodecLevel level = VectorLevel();
  return level != LevelPortable && DecodeGramAtLevel(level, pixels, res, planes);
}
