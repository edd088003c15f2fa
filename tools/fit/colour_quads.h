// The dithers over the six quadruples of the RGB cube's corners, shared by the colour mapping
// and its search. Values are R G B per pixel, 0..1: light under GammaLinear, sRGB numbers / 255
// under GammaSrgb.
#pragma once

#include <stdint.h>

#include <vector>

#include "canvas_scaler.h"

// The canvas's values, width x height x 3 floats, top row first.
void CanvasValues(const Canvas& canvas, std::vector<float>& values);

// Serpentine error diffusion of the canvas: each pixel one corner of its colour's quadruple,
// the one nearest its colour plus the error carried to it; the error is kept in the values'
// own units.
void MapQuadDiffusion(const Canvas& canvas, uint8_t* colours);

// Ordered: each pixel the corner of its colour's quadruple that the blue-noise threshold at
// its place picks, the corners taken darkest first in the shares that make the colour.
void MapQuadOrdered(const Canvas& canvas, uint8_t* colours);
