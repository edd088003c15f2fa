// A built-in GRAM test picture: colour bars and shapes in all eight colours, so a look at
// an exported bitmap (or at GRAM after an import) shows at once whether planes, bit order,
// line order and resolution came through. Pure code, usable by any program.
#pragma once

#include <stdint.h>

// GRAM is 640 x 200 positions; a colour is plane 0 (blue) | plane 1 (red) << 1 | plane 2
// (green) << 2, and position x of a line is bit x % 8 of byte x / 8.
enum : uint32_t { kPictureWidth = 640, kPictureHeight = 200 };

// Fills the three 16000-byte planes with the test picture:
// - lines 0-99: eight bars of 80 positions, colours 0 (black) to 7 (white) from the left;
// - lines 100-199: on black, a white frame two positions wide around the area, a yellow
//   disc (centre 120,150, radius 40), a cyan block (x 200-279, y 115-184), blue and red
//   checks of 16 x 10 (x 300-459, y 110-189), a green diagonal band (x 480-619) and a
//   magenta corner mark at the bottom right (x 620-635, y 190-197).
void DrawTestPicture(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2);

// Sets one position to a colour (0-7) in the three planes.
void PutGramPixel(uint8_t* const planes[3], uint32_t x, uint32_t y, uint32_t colour);
// The colour (0-7) of one position.
uint32_t GramPixel(const uint8_t* const planes[3], uint32_t x, uint32_t y);
