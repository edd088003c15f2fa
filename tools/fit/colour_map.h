// The canvas in the 8 GRAM colours. Colour numbers: bit 0 blue, bit 1 red, bit 2 green (each
// channel 0 or 255).
#pragma once

#include <stdint.h>

#include "canvas_scaler.h"

enum DitherMode { DitherNone, DitherOrdered, DitherDiffusion };

// Fills colours (canvas.width x canvas.height, top row first) with colour numbers 0..7, in
// the canvas's own space (canvas.gamma):
// - none: the nearest colour, ties to the lower number; in linear light nearest in CIELAB
//   (how far apart an eye sees two colours), in sRGB numbers nearest per channel;
// - ordered (8x8 Bayer) or diffusion (serpentine Floyd-Steinberg): patterns keeping the
//   average of an area; in linear light its average light.
void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours);
