// Where Vantrel Fit's controls go, for a DPI and a client area: plain geometry, so it is
// tested natively at every DPI. The preview keeps GRAM's pixels crisp: it grows only by
// whole multiples of the 640x400 screen.
#pragma once

#include <stdint.h>

#include <vector>

// Control ids, for the window and for the tests that drive it as a user would.
enum : int {
  kFitIdOpen = 101,
  kFitIdSave = 102,
  kFitIdCancel = 103,
  kFitIdClose = 104,
  kFitIdResetTone = 105,
  kFitIdRes = 201,  // combo boxes: the choices in FitChoiceList's order
  kFitIdDither = 202,
  kFitIdFrame = 203,
  kFitIdScreen = 204,
  kFitIdBackground = 205,
  kFitIdBrightness = 221,  // trackbars
  kFitIdContrast = 222,
  kFitIdSaturation = 223,
  kFitIdAutoLevels = 224,       // check box
  kFitIdBrightnessValue = 231,  // the trackbars' numbers
  kFitIdContrastValue = 232,
  kFitIdSaturationValue = 233,
  kFitIdPreview = 301,
  kFitIdOriginal = 302,
  kFitIdStatus = 303,
  kFitIdProgress = 304,
  kFitIdResLabel = 401,  // labels, each carrying its control's access key
  kFitIdDitherLabel = 402,
  kFitIdFrameLabel = 403,
  kFitIdScreenLabel = 404,
  kFitIdBackgroundLabel = 405,
  kFitIdBrightnessLabel = 406,
  kFitIdContrastLabel = 407,
  kFitIdSaturationLabel = 408,
  kFitIdPreviewLabel = 409,
  kFitIdOriginalLabel = 410,
};

struct FitRect {
  int x = 0, y = 0, width = 0, height = 0;
  int Right() const { return x + width; }
  int Bottom() const { return y + height; }
};

struct FitPlaced {
  int id;
  FitRect rect;
};

struct FitLayout {
  std::vector<FitPlaced> controls;  // every control (a combo box closed)
  int previewScale = 1;             // the preview shows each screen pixel this many times
  int minWidth = 0, minHeight = 0;  // the smallest client area that holds it all (scale 1)
};

// The layout at dpi (96 is 100%) in a client area of width x height, at least the minimum;
// the preview as large as whole multiples fit, never above maxScale.
FitLayout LayOutFit(int dpi, int width, int height, int maxScale = 8);
// The control of id in layout (a zero rect when it has none).
FitRect PlaceOf(const FitLayout& layout, int id);
// The client size that shows the preview at scale (the minimum's shape otherwise).
void FitClientFor(int dpi, int scale, int& width, int& height);
