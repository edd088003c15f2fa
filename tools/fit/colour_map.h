// The canvas in the 8 GRAM colours. Colour numbers: bit 0 blue, bit 1 red, bit 2 green (each
// channel 0 or 255).
#pragma once

#include <stdint.h>

#include "canvas_scaler.h"

enum DitherMode { DitherNone, DitherOrdered, DitherDiffusion };

// Fills colours (canvas.width x canvas.height, top row first) with colour numbers 0..7:
// the nearest colour, ties to the lower number; or dithered, 8x8 Bayer (ordered) or
// serpentine Floyd-Steinberg (diffusion), both keeping the average colour of an area.
void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours);
