// Vector paths of the codecs. None yet: the portable paths serve every build.
#include "convert/gram_codec_simd.h"

bool EncodeGramVector(const GramPlanes&, Resolution, uint8_t*) { return false; }

bool DecodeGramVector(const uint8_t*, Resolution, const GramPlanes&) { return false; }
