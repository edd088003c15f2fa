// Codec paths behind EncodeGram and DecodeGram. The portable ones always exist; the vector
// ones return false where the processor or the build has no vector path, and must give
// byte-for-byte the same result as the portable ones.
#pragma once

#include "convert/gram_bitmap.h"

void EncodeGramPortable(const GramPlanes& planes, Resolution res, uint8_t* pixels);
void DecodeGramPortable(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
bool EncodeGramVector(const GramPlanes& planes, Resolution res, uint8_t* pixels);
bool DecodeGramVector(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
