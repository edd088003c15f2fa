// The BMP files a fit writes, shared by gramconv and Vantrel Fit: the same bytes and the
// same default name whichever face wrote them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "convert/gram_bitmap.h"

// The whole file for packed pixels (PixelDataBytes(res) bytes), laid out exactly as the
// plug-in's export writes it: its headers, its fixed palette, then the pixels.
std::vector<uint8_t> FittedBitmapFile(Resolution res, const std::vector<uint8_t>& pixels);

// Where a picture is fitted to unless told otherwise: NAME-640x200.bmp (or NAME-320x200.bmp)
// beside it, NAME being the picture's name without its extension.
std::string FittedBitmapName(const std::string& picturePath, Resolution res);
