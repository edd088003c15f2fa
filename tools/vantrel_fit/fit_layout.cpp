#include "fit_layout.h"

#include <algorithm>

#include "picture_fit.h"  // kPreviewWidth, kPreviewHeight

namespace {

// Sizes at 96 DPI, scaled by the caller's DPI.
struct Units {
  int dpi;
  int operator()(int pixels) const { return (pixels * dpi + 48) / 96; }
};

// The right-hand column's rows, top to bottom, with their heights at 96 DPI.
const int kColumnWidth = 212, kLabelWidth = 84, kValueWidth = 34;
const int kButtonWidth = 96, kButtonHeight = 26, kRow = 28, kLine = 18, kGap = 8;
const int kOriginalHeight = 120;  // the small original's box; its width is the column's
const int kStatusLines = 3;

// The column's height at 96 DPI scaled: original, five choices, three sliders, a row of check
// box and button.
int ColumnHeight(const Units& u) {
  return u(kLine) + u(kOriginalHeight) + u(kGap) + 5 * u(kRow) + u(kGap) + 3 * u(kRow) + u(kRow);
}

}  // namespace

FitRect PlaceOf(const FitLayout& layout, int id) {
  for (const FitPlaced& placed : layout.controls) {
    if (placed.id == id) return placed.rect;
  }
  return FitRect();
}

void FitClientFor(int dpi, int scale, int& width, int& height) {
  const Units u{std::max(dpi, 48)};
  const int previewWidth = int(kPreviewWidth) * scale + 2;
  const int previewHeight = int(kPreviewHeight) * scale + 2;
  width = u(kGap) + previewWidth + u(12) + u(kColumnWidth) + u(kGap);
  const int body = std::max(u(kLine) + previewHeight, ColumnHeight(u));
  height =
      u(kGap) + u(kButtonHeight) + u(kGap) + body + u(kGap) + kStatusLines * u(kLine) + u(kGap);
}

FitLayout LayOutFit(int dpi, int width, int height, int maxScale) {
  const Units u{std::max(dpi, 48)};
  FitLayout layout;
  FitClientFor(u.dpi, 1, layout.minWidth, layout.minHeight);
  width = std::max(width, layout.minWidth);
  height = std::max(height, layout.minHeight);
  auto place = [&](int id, int x, int y, int w, int h) {
    layout.controls.push_back({id, FitRect{x, y, w, h}});
  };
  const int m = u(kGap);

  // The buttons along the top, the progress between them and 閉じる.
  const int bw = u(kButtonWidth), bh = u(kButtonHeight);
  place(kFitIdOpen, m, m, bw, bh);
  place(kFitIdSave, 2 * m + bw, m, bw, bh);
  place(kFitIdCancel, 3 * m + 2 * bw, m, bw, bh);
  place(kFitIdClose, width - m - bw, m, bw, bh);
  place(kFitIdProgress, 4 * m + 3 * bw, m + u(5), width - 6 * m - 4 * bw, bh - u(10));

  // The status across the bottom.
  const int statusHeight = kStatusLines * u(kLine);
  const int statusTop = height - m - statusHeight;
  const int top = 2 * m + bh;

  // The column at the right edge; the preview as large as the rest allows.
  const int columnWidth = u(kColumnWidth);
  const int column = width - m - columnWidth;
  const int roomWidth = column - u(12) - m - 2;
  const int roomHeight = statusTop - m - top - u(kLine) - 2;
  layout.previewScale = std::max(
      1, std::min({maxScale, roomWidth / int(kPreviewWidth), roomHeight / int(kPreviewHeight)}));
  const int previewWidth = int(kPreviewWidth) * layout.previewScale + 2;
  const int previewHeight = int(kPreviewHeight) * layout.previewScale + 2;
  const int previewX = m + std::max(0, (roomWidth + 2 - previewWidth) / 2);
  place(kFitIdPreviewLabel, previewX, top, previewWidth, u(kLine));
  place(kFitIdPreview, previewX, top + u(kLine), previewWidth, previewHeight);

  int y = top;
  place(kFitIdOriginalLabel, column, y, columnWidth, u(kLine));
  y += u(kLine);
  place(kFitIdOriginal, column, y, columnWidth, u(kOriginalHeight));
  y += u(kOriginalHeight) + u(kGap);
  const int label = u(kLabelWidth), field = columnWidth - label;
  const int comboHeight = u(24);
  const int choices[][2] = {{kFitIdResLabel, kFitIdRes},
                            {kFitIdDitherLabel, kFitIdDither},
                            {kFitIdFrameLabel, kFitIdFrame},
                            {kFitIdScreenLabel, kFitIdScreen},
                            {kFitIdBackgroundLabel, kFitIdBackground}};
  for (const auto& choice : choices) {
    place(choice[0], column, y + (comboHeight - u(kLine)) / 2 + u(2), label, u(kLine));
    place(choice[1], column + label, y, field, comboHeight);
    y += u(kRow);
  }
  y += u(kGap);
  const int sliders[][3] = {{kFitIdBrightnessLabel, kFitIdBrightness, kFitIdBrightnessValue},
                            {kFitIdContrastLabel, kFitIdContrast, kFitIdContrastValue},
                            {kFitIdSaturationLabel, kFitIdSaturation, kFitIdSaturationValue}};
  const int value = u(kValueWidth);
  for (const auto& slider : sliders) {
    place(slider[0], column, y + u(5), label, u(kLine));
    place(slider[1], column + label, y, field - value, u(kRow));
    place(slider[2], column + columnWidth - value, y + u(5), value, u(kLine));
    y += u(kRow);
  }
  place(kFitIdAutoLevels, column, y + u(2), label + u(20), u(22));
  place(kFitIdResetTone, column + columnWidth - bw, y, bw, bh);

  place(kFitIdStatus, m, statusTop, width - 2 * m, statusHeight);
  return layout;
}
