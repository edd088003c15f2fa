// The vector codecs of each instruction set, for the dispatch in gram_codec_simd.cpp: each may
// run only where CodecLevelAvailable says its level does.
#pragma once

#include "convert/gram_bitmap.h"

#if defined(__i386__) || defined(__x86_64__)
#define VANTREL_X86_VECTORS 1

// Hosts built by other compilers call the 32-bit plug-in with only 4-byte stack alignment,
// so every entry into vector code realigns the stack for the vector spills it may make.
#if defined(__i386__)
#define VANTREL_VECTOR_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VANTREL_VECTOR_ENTRY
#endif

void EncodeGramSse2(const GramPlanes& planes, Resolution res, uint8_t* pixels);
void DecodeGramSse2(const uint8_t* pixels, Resolution res, const GramPlanes& planes);
void EncodeGramAvx2(const GramPlanes& planes, Resolution res, uint8_t* pixels);
void DecodeGramAvx2(const uint8_t* pixels, Resolution res, const GramPlanes& planes);

#endif
