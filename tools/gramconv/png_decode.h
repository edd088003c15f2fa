// PNG files decoded with libpng, where the build has it: its inflate (the system zlib) is
// several times faster than stb_image's, and PNG is what people bring most.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "picture_decode.h"

// Decodes a PNG file into picture exactly as stb_image does: the file's own channels (grey,
// grey and alpha, RGB, RGBA; a palette gives RGB, or RGBA with transparency; a tRNS colour
// adds alpha), 8 bits a sample (16-bit samples keep their high byte), rows top first,
// released with free. The caller has judged the size from the header. Returns false,
// picture untouched, on anything libpng refuses; stb_image then reads the file for its reason.
bool DecodePngWithLibpng(const uint8_t* data, size_t size, DecodedPicture& picture);
