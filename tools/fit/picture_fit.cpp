#include "picture_fit.h"

#include "scaling_sink.h"

std::string ScalePicture(const uint8_t* data, size_t size, Resolution res, Canvas& canvas,
                         FitProgress* progress, FitGamma gamma) {
  const std::unique_ptr<ScalingSink> scaling = NewScalingSink(BitmapWidth(res), gamma);
  const std::string failure = DecodePicture(data, size, *scaling, true, progress);
  if (!failure.empty()) return failure;
  canvas = scaling->Result();
  return "";
}

void PackColours(Resolution res, const uint8_t* colours, std::vector<uint8_t>& pixels) {
  const uint32_t width = BitmapWidth(res), height = kBitmapHeight, rowBytes = width / 2;
  pixels.resize(PixelDataBytes(res));
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* from = &colours[size_t(y) * width];
    uint8_t* to = &pixels[size_t(height - 1 - y) * rowBytes];
    for (uint32_t k = 0; k < rowBytes; ++k) to[k] = uint8_t(from[2 * k] << 4 | from[2 * k + 1]);
  }
}

void PreviewScreen(Resolution res, const uint8_t* colours, std::vector<uint8_t>& rgb) {
  const uint32_t width = BitmapWidth(res), wide = kPreviewWidth / width;
  rgb.resize(size_t(kPreviewWidth) * kPreviewHeight * 3);
  for (uint32_t y = 0; y < kPreviewHeight; ++y) {
    const uint8_t* from = &colours[size_t(y / 2) * width];
    uint8_t* to = &rgb[size_t(y) * kPreviewWidth * 3];
    for (uint32_t x = 0; x < kPreviewWidth; ++x, to += 3) {
      const uint8_t colour = from[x / wide];
      to[0] = colour & 2 ? 255 : 0;  // bit 1 red
      to[1] = colour & 4 ? 255 : 0;  // bit 2 green
      to[2] = colour & 1 ? 255 : 0;  // bit 0 blue
    }
  }
}
