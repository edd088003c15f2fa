// Codec paths behind EncodeGram and DecodeGram. The portable ones always exist and are the
// reference; each vector level must give byte-for-byte the same result. EncodeGram and
// DecodeGram take the best level this build and processor offer (VectorLevel()).
#pragma once

#include "convert/gram_bitmap.h"

enum CodecLevel : uint32_t {
  LevelPortable = 0,
  LevelSse2 = 1,
  LevelAvx2 = 2,
  kCodecLevels = 3,
};

// "portable", "SSE2" or "AVX2".
const char* CodecLevelName(CodecLevel level);
// Whether this build has the level and this processor (and system) can run it. The portable
// level always can.
bool CodecLevelAvailable(CodecLevel level);
// The level the codecs use: the best available one.
CodecLevel VectorLevel();

void EncodeGramPortable(const GramPlanes& planes, Resolution res, uint8_t* pixels);
void DecodeGramPortable(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
// One level's codec; false (nothing written) where that level is not available.
bool EncodeGramAtLevel(CodecLevel level, const GramPlanes& planes, Resolution res, uint8_t* pixels);
bool DecodeGramAtLevel(CodecLevel level, const uint8_t* pixels, Resolution res,
                       const GramPlanes& planes);
// The best vector level's codec; false where there is none.
bool EncodeGramVector(const GramPlanes& planes, Resolution res, uint8_t* pixels);
bool DecodeGramVector(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
