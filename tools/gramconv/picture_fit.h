// Any picture fitted to the canvas of a resolution, in the 8 GRAM colours, packed as the
// pixel data of the plug-in's export. Memory to memory: no file access.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "convert/gram_bitmap.h"
#include "picture_decode.h"  // kMaxPicturePixels

enum DitherMode { DitherNone, DitherOrdered, DitherDiffusion };

// Decodes a picture file's bytes (PNG, JPEG, GIF's first frame, BMP of any depth and RLE,
// TGA, PNM, PSD) and fits it to the canvas of res (640x200 or 320x200):
// - scale each axis independently: downscaling averages the source pixels a target pixel
//   covers, weighted by the covered fraction of each (exact area coverage, so 1080 lines
//   to 200 give each target line 5.4 source lines); upscaling repeats pixels; the same
//   size is used pixel for pixel;
// - composite transparency over black (colours weighted by alpha before averaging);
// - round the average to 8-bit RGB and map each pixel to the nearest of the 8 GRAM colours
//   (each channel 0 or 255, colour number bit 0 blue, bit 1 red, bit 2 green), ties to
//   the lower colour number, or dither: 8x8 Bayer (ordered) or serpentine Floyd-Steinberg
//   (diffusion), both keeping the average colour of an area;
// - pack PixelDataBytes(res) bytes: rows bottom-up, two 4-bit indices (0..7) per byte, left
//   pixel in the high nibble.
// Returns "" on success (pixels filled), else a one-line English reason for the user (UTF-8),
// e.g. "the picture is cut short"; pixels is untouched on failure.
std::string FitPicture(const uint8_t* data, size_t size, Resolution res, DitherMode dither,
                       std::vector<uint8_t>& pixels);
