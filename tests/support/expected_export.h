// What a correct export of the module's planes must contain, built from the core's pieces.
#pragma once

#include <string>

#include "convert/gram_bitmap.h"
#include "host/module_state.h"

inline std::string ExpectedFile(Resolution res) {
  uint8_t headers[kHeaderBytes];
  static uint8_t pixels[kMaxPixelBytes];
  BuildBitmapHeaders(res, headers);
  EncodeGram(Module::GramPlanes, res, pixels);
  std::string bytes(reinterpret_cast<char*>(headers), kHeaderBytes);
  bytes.append(reinterpret_cast<const char*>(FixedPalette), kPaletteBytes);
  bytes.append(reinterpret_cast<char*>(pixels), PixelDataBytes(res));
  return bytes;
}
