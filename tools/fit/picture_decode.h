// Picture files decoded by stb_image from memory, refused from their header when too large.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// Pictures whose header declares more pixels than this are refused before decoding.
constexpr uint64_t kMaxPicturePixels = 100000000;
// Nor may either side pass this: no real picture is longer, and the decoder's own limit
// would otherwise allow sides of 16 million.
constexpr uint32_t kMaxPictureSide = 65536;

// "" when a picture of this size may be decoded, else why not (for the user). Every reader
// asks before it allocates anything for the pixels.
std::string JudgeSize(uint32_t width, uint32_t height);

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

// Takes a picture's rows in order, top row first, while it is decoded, so work on them can
// start before the last one is made.
class RowSink {
 public:
  // Before the first row: the picture's size and channels (as in DecodedPicture). Called
  // again when a decoder gives up part way and another starts over from the first row.
  // false: no memory for such a picture.
  virtual bool Start(uint32_t width, uint32_t height, uint32_t channels) = 0;
  // Room for the next rows, one after another: up to `rows` of them (lowered as the sink
  // needs, never to 0). The decoder fills them and passes them on with Filled.
  virtual uint8_t* Room(uint32_t& rows) = 0;
  virtual void Filled(uint32_t rows) = 0;
  // The next rows, in the decoder's own memory: used before the call returns.
  virtual void Take(const uint8_t* pixels, uint32_t rows) = 0;

 protected:
  ~RowSink() = default;
};

// Told how far a fit has come, from the thread doing it, and asked whether to go on.
class FitProgress {
 public:
  // done: the share of the picture file read so far, 0 to 1. false: stop; the fit then
  // fails with kFitCancelled (a decoder still working on what it read finishes that first).
  virtual bool Going(float done) = 0;

 protected:
  ~FitProgress() = default;
};
extern const char kFitCancelled[];

// A PNG's PLTE and tRNS chunks as libpng reads them, so that stb_image reads the same picture:
// true when the file needs that, with normalised holding the copy both readers are given
// (DecodePicture does this itself).
bool NormalisePngPalette(const uint8_t* data, size_t size, std::vector<uint8_t>& normalised);

// Decodes PNG, JPEG, GIF (first frame), BMP (RLE too), TGA, PNM and PSD into sink. Returns
// "" on success (every row given), else a one-line English reason for the user; rows given
// before a failure are void.
// PNG files are read by libpng where the build has it (the same pixels, faster, a band of
// rows at a time), and by stb_image when libpng refuses them or libpngForPng is false (the
// tests comparing the two). orientation, when given, gets the EXIF orientation (1-8) the
// system's own decoder states (the Windows Imaging Component's metadata), before the sink's
// Start; it is left alone for the files gramconv reads itself.
std::string DecodePicture(const uint8_t* data, size_t size, RowSink& sink, bool libpngForPng = true,
                          FitProgress* progress = nullptr, int* orientation = nullptr);

// The same, into one buffer; picture is untouched on failure.
std::string DecodePicture(const uint8_t* data, size_t size, DecodedPicture& picture,
                          bool libpngForPng = true);
