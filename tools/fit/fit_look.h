// A picture as the user means it on the machine's screen: decoded once into a working picture
// (upright, bounded in size), then framed, toned and laid on a background to make the canvas
// of a resolution as often as a choice changes, without decoding again. Memory to memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "canvas_scaler.h"  // Canvas, FitGamma
#include "convert/gram_bitmap.h"
#include "picture_decode.h"  // FitProgress

// How the picture is laid on the screen (the 640x400 screen the user sees: each GRAM line
// twice, a 320-mode pixel two screen pixels wide).
enum FitFrame {
  FrameWhole,    // all of it, its shape kept, centred on the background
  FrameFill,     // the screen covered, its shape kept, the overflow cropped round the focus
  FrameStretch,  // each axis to the screen on its own (the shape is not kept)
  FramePixel,    // pixel art: each picture pixel a whole number of screen pixels, never averaged
};

// The shape of the screen's pixels: square (the 640x400 screen as an emulator's window shows
// it), or a monitor of the time (4:3, each screen pixel 1.2 times taller than wide).
enum FitScreen { Screen16x10, Screen4x3 };

// Tone, applied in the fit's space (linear light, or the numbers under GammaSrgb) before the
// colours are chosen. The defaults change nothing.
struct FitTone {
  int brightness = 0;       // -100..100
  int contrast = 0;         // -100..100
  int saturation = 100;     // 0..200; 0 gives greys
  bool autoLevels = false;  // the darkest and brightest 0.5% stretched to the full range
  bool Neutral() const {
    return brightness == 0 && contrast == 0 && saturation == 100 && !autoLevels;
  }
};

// Everything that makes a canvas from a working picture.
struct FitLook {
  FitFrame frame = FrameWhole;
  FitScreen screen = Screen16x10;
  float focusX = 0.5f, focusY = 0.5f;  // FrameFill: the part kept, fractions 0..1 of the picture
  FitTone tone;
  uint8_t background = 0;  // colour number 0..7 (bit 0 blue, 1 red, 2 green): bars, under alpha
};

// The decoded picture, upright, reduced (averaged by area in the fit's space) along an axis
// longer than kWorkingWidth or kWorkingHeight, else kept pixel for pixel.
struct WorkingPicture {
  uint32_t width = 0, height = 0;  // as kept (the shape may differ from the picture's own)
  uint32_t pictureWidth = 0, pictureHeight = 0;  // the picture's own size, upright
  uint8_t orientation = 1;                       // the EXIF orientation applied (1: as stored)
  FitGamma gamma = GammaLinear;
  bool opaque = true;  // every pixel's coverage full
  // R G B A per pixel, top row first: colour premultiplied by coverage, and coverage, each 0
  // to FullValue(gamma): linear light x alpha / 255 and alpha x 257 (0..65535), or under
  // GammaSrgb the sRGB number x alpha and alpha x 255 (0..65025, so averages stay exact).
  std::vector<uint16_t> pixels;
};

// The bound on the working picture: an axis longer than its bound is reduced to it by area
// (each axis on its own; the framing uses the picture's own size). See the README for its
// memory.
extern const uint32_t kWorkingWidth, kWorkingHeight;

// The EXIF orientation (1-8) a picture file states (JPEG APP1, PNG eXIf, WebP EXIF), 1 when it
// states none or a value outside 1-8. Every byte read is bounds-checked.
int ExifOrientation(const uint8_t* data, size_t size);

// Decodes a picture file's bytes into picture: the orientation applied unless orient is false,
// reduced within the bound. "" on success, else the engine's one-line English reason (as
// ScalePicture gives them, kFitCancelled when progress stopped it); picture is untouched on
// failure.
std::string LoadPicture(const uint8_t* data, size_t size, WorkingPicture& picture,
                        FitProgress* progress = nullptr, FitGamma gamma = GammaLinear,
                        bool orient = true);

// The resolution `--res auto` and Vantrel Fit choose: 320 for a picture of exactly 320x200,
// else 640.
Resolution AutoResolution(const WorkingPicture& picture);

// Where a framing puts a picture of this size (its own, upright: WorkingPicture's pictureWidth
// and pictureHeight) on the canvas of res: the part of the picture kept, in fractions 0..1 of
// its width and height, and the canvas pixels it covers (whole pixels; the rest is
// background). A picture of exactly the canvas's size is placed pixel for pixel whatever the
// framing.
struct FitPlacement {
  double keptX = 0, keptY = 0, keptWidth = 1, keptHeight = 1;  // fractions of the picture
  uint32_t canvasX = 0, canvasY = 0, canvasWidth = 0, canvasHeight = 0;
  bool pixelExact = false;  // each picture pixel a whole block of canvas pixels
};
FitPlacement PlacePicture(uint32_t pictureWidth, uint32_t pictureHeight, Resolution res,
                          const FitLook& look);

// The canvas of res for look: the picture framed, toned, over the background. Made from the
// working picture alone (no decoding). Throws std::bad_alloc when there is no memory.
void FrameCanvas(const WorkingPicture& picture, Resolution res, const FitLook& look,
                 Canvas& canvas);

// The whole picture at width x height (keeping its shape is the caller's: pictureWidth and
// pictureHeight give it), averaged by area or repeated, over the background colour, as 8-bit
// R G B top row first: the small original on which PlacePicture's kept part is outlined.
void PictureView(const WorkingPicture& picture, uint32_t width, uint32_t height, uint8_t background,
                 std::vector<uint8_t>& rgb);
