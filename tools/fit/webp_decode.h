// WebP files (still, or an animation's first frame) decoded with libwebp, where the build
// has it: what web browsers save pictures as.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "read_watch.h"

// true when the file starts as a WebP file does (a RIFF container of form WEBP).
bool IsWebp(const uint8_t* data, size_t size);

// Decodes a WebP file into sink: R G B, or R G B A (not premultiplied) when the file has
// alpha; an animation gives its first frame composited on the canvas as a viewer shows it
// (R G B A). The size is judged from the header before any pixel memory. Returns "" on
// success (every row given), else a one-line English reason, or kFitCancelled once watch was
// told to stop; rows given before a failure are void.
std::string DecodeWebp(const uint8_t* data, size_t size, RowSink& sink, ReadWatch& watch);
