// PNG files decoded with libpng, where the build has it: its inflate (the system zlib) is
// several times faster than stb_image's, and PNG is what people bring most.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "read_watch.h"

// Decodes a PNG file into sink exactly as stb_image does: the file's own channels (grey,
// grey and alpha, RGB, RGBA; a palette gives RGB, or RGBA with transparency; a tRNS colour
// adds alpha), 8 bits a sample (16-bit samples keep their high byte), rows top first. The
// caller has judged the size from the header: a file that is not width x height is
// refused. Returns false on anything libpng refuses (rows given by then are void);
// stb_image then reads the file for its reason, unless watch was told to stop.
bool DecodePngWithLibpng(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                         RowSink& sink, ReadWatch& watch);
