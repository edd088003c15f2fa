// The screen preview as a PNG file's bytes, by stb_image_write in memory. Its functions are
// kept private to this file, so programs that bring their own copy link alongside.
#include "picture_fit.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
#pragma GCC diagnostic pop

namespace {

void Append(void* context, void* data, int size) {
  auto* png = static_cast<std::vector<uint8_t>*>(context);
  png->insert(png->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

bool EncodePreviewPng(const std::vector<uint8_t>& rgb, std::vector<uint8_t>& png) {
  png.clear();
  if (stbi_write_png_to_func(Append, &png, int(kPreviewWidth), int(kPreviewHeight), 3, rgb.data(),
                             int(kPreviewWidth) * 3)) {
    return true;
  }
  png.clear();
  return false;
}
