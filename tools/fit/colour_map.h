// The canvas in the 8 GRAM colours. Colour numbers: bit 0 blue, bit 1 red, bit 2 green (each
// channel 0 or 255).
#pragma once

#include <stdint.h>

#include "canvas_scaler.h"
#include "picture_decode.h"  // FitProgress

// The values are stored by the window by name, but kept stable all the same.
enum DitherMode {
  DitherNone = 0,
  DitherOrdered = 1,    // blue-noise threshold over the colours' quadruples
  DitherDiffusion = 2,  // quadruple error diffusion
  DitherBayer = 3,      // the 8x8 Bayer matrix of earlier versions
  DitherBest = 4,       // diffusion, then a search for what the eye sees as closest
};

// Fills colours (canvas.width x canvas.height, top row first) with colour numbers 0..7, in
// the canvas's own space (canvas.gamma): in linear light every dither keeps an area's
// average light, in sRGB its average numbers.
// - none: the nearest colour, ties to the lower number; in linear light nearest in CIELAB
//   (how far apart an eye sees two colours), in sRGB numbers nearest per channel;
// - ordered: each pixel one of the 4 colours of least brightness variation that make its
//   colour (its quadruple), chosen by a 64x64 blue-noise threshold: no cross-hatch, every
//   pixel on its own, so the picture stays steady while the picture changes (a preview);
// - diffusion: serpentine error diffusion over the same quadruples, the error carried in the
//   canvas's units;
// - bayer: each channel against the 8x8 Bayer matrix, the look of the time;
// - best: MapColoursBest run to its end.
// Under GammaSrgb, diffusion and bayer give the earlier versions' results byte for byte
// (Floyd-Steinberg per channel, Bayer per channel); ordered and best treat the numbers as
// they treat light.
void MapColours(const Canvas& canvas, DitherMode dither, uint8_t* colours);

// The diffusion result improved by a search: pixels change while the error an eye sees
// (the difference of both pictures filtered as the eye blurs them from 75 cm, judged in
// CIELAB) falls; the result is never worse than the diffusion by that measure. Takes a few
// seconds for a 640x200 canvas. progress, when given, hears the share done (0..1) between
// steps and may stop the search: the result is then false and colours hold the best found so
// far, at least the diffusion result. true when it ran to its end.
bool MapColoursBest(const Canvas& canvas, uint8_t* colours, FitProgress* progress = nullptr);

// The measure the search lowers: the mean CIELAB difference of the canvas and colours, both
// filtered as the eye blurs them. For tests and benchmarks.
double EyeError(const Canvas& canvas, const uint8_t* colours);
