// Any picture fitted to the canvas of a resolution, in the 8 GRAM colours, packed as the
// pixel data of the plug-in's export. Memory to memory: no file access.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "canvas_scaler.h"
#include "colour_map.h"
#include "convert/gram_bitmap.h"
#include "fit_look.h"
#include "picture_decode.h"  // kMaxPicturePixels, FitProgress

// Decodes a picture file's bytes (PNG, JPEG, GIF's first frame, BMP of any depth and RLE,
// TGA, PNM, PSD) and averages it straight onto the canvas of res (640x200 or 320x200), as
// the stretch framing does without a working picture:
// - scale each axis independently: downscaling averages the source pixels a target pixel
//   covers, weighted by the covered fraction of each (exact area coverage, so 1080 lines
//   to 200 give each target line 5.4 source lines); upscaling repeats pixels; the same
//   size is used pixel for pixel;
// - composite transparency over black (colours weighted by alpha before averaging);
// - with GammaLinear, average the light each sRGB number stands for and keep it as 16-bit
//   linear light (canvas.light); with GammaSrgb, average the numbers themselves and round
//   to 8-bit RGB (canvas.rgb). Either way 0 and 255 stay exactly none and full.
// progress, when given, hears how far the reading has come and may stop it (the result is
// then kFitCancelled). Returns "" on success, else a one-line English reason for the user
// (UTF-8), e.g. "the picture is cut short"; canvas is untouched on failure.
std::string ScalePicture(const uint8_t* data, size_t size, Resolution res, Canvas& canvas,
                         FitProgress* progress = nullptr, FitGamma gamma = GammaLinear);

// Packs colour numbers (the canvas of res, top row first) as PixelDataBytes(res) bytes of
// the export's layout: rows bottom-up, two 4-bit indices a byte, left pixel in the high
// nibble.
void PackColours(Resolution res, const uint8_t* colours, std::vector<uint8_t>& pixels);

// What the machine's screen shows of colour numbers (the canvas of res, top row first):
// 640x400 pixels of 8-bit R G B, top row first, each line twice, a 320-mode pixel two wide.
void PreviewScreen(Resolution res, const uint8_t* colours, std::vector<uint8_t>& rgb);
enum : uint32_t { kPreviewWidth = 640, kPreviewHeight = 400 };

// PreviewScreen's pixels (kPreviewWidth x kPreviewHeight RGB) as the bytes of a PNG file.
// false: no memory for it (png is then empty).
bool EncodePreviewPng(const std::vector<uint8_t>& rgb, std::vector<uint8_t>& png);

// FrameCanvas, MapColours and PackColours: the pixel data of a working picture in a look.
// colours, when given, also gets the colour numbers (for PreviewScreen).
void FitWorkingPicture(const WorkingPicture& picture, Resolution res, DitherMode dither,
                       const FitLook& look, std::vector<uint8_t>& pixels,
                       std::vector<uint8_t>* colours = nullptr);

// LoadPicture and FitWorkingPicture in one: what gramconv writes and Vantrel Fit shows for
// the same choices. pixels is untouched on failure.
std::string FitPicture(const uint8_t* data, size_t size, Resolution res, DitherMode dither,
                       std::vector<uint8_t>& pixels, FitProgress* progress = nullptr,
                       FitGamma gamma = GammaLinear, std::vector<uint8_t>* colours = nullptr,
                       const FitLook& look = FitLook(), bool orient = true);
