// Picture files decoded by stb_image from memory, refused from their header when too large.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Pictures whose header declares more pixels than this are refused before decoding.
constexpr uint64_t kMaxPicturePixels = 100000000;
// Nor may either side pass this: no real picture is longer, and the decoder's own limit
// would otherwise allow sides of 16 million.
constexpr uint32_t kMaxPictureSide = 65536;

// A decoded picture: width x height pixels, top row first, of `channels` bytes each: 1 grey,
// 2 grey and alpha, 3 R G B, 4 R G B A.
class DecodedPicture {
 public:
  DecodedPicture() = default;
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;
  ~DecodedPicture();

  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;
  uint8_t* pixels = nullptr;  // owned, malloc'd
};

// Decodes PNG, JPEG, GIF (first frame), BMP (RLE too), TGA, PNM and PSD. Returns "" on
// success, else a one-line English reason for the user; picture is untouched on failure.
// PNG files are read by libpng where the build has it (the same pixels, faster), and by
// stb_image when libpng refuses them or libpngForPng is false (the tests comparing the two).
std::string DecodePicture(const uint8_t* data, size_t size, DecodedPicture& picture,
                          bool libpngForPng = true);
