#include "fitted_bitmap.h"

#include <algorithm>

#include "tool_files.h"

std::vector<uint8_t> FittedBitmapFile(Resolution res, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(kPixelOffset + pixels.size());
  BuildBitmapHeaders(res, file.data());
  std::copy(FixedPalette, FixedPalette + kPaletteBytes, file.begin() + kHeaderBytes);
  std::copy(pixels.begin(), pixels.end(), file.begin() + kPixelOffset);
  return file;
}

std::string FittedBitmapName(const std::string& picturePath, Resolution res) {
  const std::string folder = FolderPart(picturePath);
  std::string name = NamePart(picturePath);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return folder + name + "-" + std::to_string(BitmapWidth(res)) + "x200.bmp";
}
