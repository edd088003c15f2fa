// The working picture: the decoder's rows turned into premultiplied colour and coverage,
// reduced by area when the picture passes the bound (on the scaling sink's thread, while the
// decoder works), and written straight to their upright place.
#include "fit_look.h"

#include <stddef.h>

#include <algorithm>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include "scaling_sink.h"

// Three times the screen each way, 1920 x 1200 x 8 bytes = 17.6 MiB at most, in every build,
// so a picture fits to the same BMP on Linux and on Windows. A full-HD picture is kept pixel
// for pixel, so gramconv fit spends nothing reducing it; a new screen from it costs the 32-bit
// Windows programs, which have no vector instructions, 14 ms untoned, where from 2560x1600 it
// cost them 17 to 23 ms, past a frame at 60 Hz.
const uint32_t kWorkingWidth = 1920, kWorkingHeight = 1200;

namespace {

// Asks Linux for huge pages under the reserved pixels: a 16 MiB picture is then 8 page
// faults rather than 4096, a sixth of gramconv's processor time saved. A hint; elsewhere
// nothing.
void LargePages(const std::vector<uint16_t>& pixels) {
#ifdef __linux__
  const uintptr_t page = 4096, first = uintptr_t(pixels.data());
  const uintptr_t begin = (first + page - 1) & ~(page - 1);
  const uintptr_t end = (first + pixels.capacity() * sizeof(uint16_t)) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)pixels;
#endif
}

class WorkingScaler final : public AreaReducer {
 public:
  // orientation is read when the picture starts (the decoder may have set it by then).
  WorkingScaler(WorkingPicture& picture, const int& orientation)
      : AreaReducer(picture.gamma), picture_(picture), orientation_(orientation) {}

  void Start(uint32_t width, uint32_t height, uint32_t channels) override {
    const int orientation = orientation_ >= 1 && orientation_ <= 8 ? orientation_ : 1;
    const bool turned = orientation >= 5;  // rows become columns
    const uint32_t uprightWidth = turned ? height : width, uprightHeight = turned ? width : height;
    // Each axis on its own: the framing works in fractions of the picture's own size, so
    // the working picture need not keep its shape, and a long thin picture keeps its detail
    // across.
    const uint32_t keptWidth = std::min(uprightWidth, kWorkingWidth);
    const uint32_t keptHeight = std::min(uprightHeight, kWorkingHeight);
    const uint32_t storedWidth = turned ? keptHeight : keptWidth;
    const uint32_t storedHeight = turned ? keptWidth : keptHeight;
    identity_ = storedWidth == width && storedHeight == height;
    if (!identity_) StartSums(width, height, channels, storedWidth, storedHeight);
    row_.resize(size_t(std::max(width, storedWidth)) * 4);
    // Reserved only: the pages are first touched where the rows are written, on the scaling
    // thread while the decoder works.
    picture_.pixels.clear();
    values_ = size_t(keptWidth) * keptHeight * 4;
    picture_.pixels.reserve(values_);
    LargePages(picture_.pixels);
    picture_.width = keptWidth;
    picture_.height = keptHeight;
    picture_.pictureWidth = uprightWidth;
    picture_.pictureHeight = uprightHeight;
    picture_.orientation = uint8_t(orientation);
    picture_.opaque = true;
    sourceWidth_ = width;
    channels_ = channels;
    storedWidth_ = storedWidth;
    // Stored pixel (x, y) goes to upright pixel origin + x * across + y * down.
    const ptrdiff_t w = keptWidth, sw = storedWidth, sh = storedHeight;
    switch (orientation) {
      case 2: origin_ = sw - 1, across_ = -1, down_ = w; break;                  // mirrored
      case 3: origin_ = (sh - 1) * w + sw - 1, across_ = -1, down_ = -w; break;  // 180
      case 4: origin_ = (sh - 1) * w, across_ = 1, down_ = -w; break;            // flipped
      case 5: origin_ = 0, across_ = w, down_ = 1; break;                        // transposed
      case 6: origin_ = sh - 1, across_ = w, down_ = -1; break;                  // 90 clockwise
      case 7: origin_ = (sw - 1) * w + sh - 1, across_ = -w, down_ = -1; break;  // transverse
      case 8: origin_ = (sw - 1) * w, across_ = -w, down_ = 1; break;            // 90 anticlockwise
      default: origin_ = 0, across_ = 1, down_ = w; break;
    }
  }

  void Add(const uint8_t* rows, uint32_t first, uint32_t count) override {
    if (!identity_) {
      AreaReducer::Add(rows, first, count);
      return;
    }
    const size_t rowBytes = size_t(sourceWidth_) * channels_;
    for (uint32_t y = 0; y < count; ++y) {
      PremultiplyRow(rows + y * rowBytes, sourceWidth_, channels_, gamma_, row_.data());
      Place(first + y);
    }
  }

 private:
  // A reduced row, rounded to the nearest (a tie either way: what is reduced was never
  // exact to the old canvas, and a flat colour stays exact).
  void RowDone(uint32_t y, const double* sums) override {
    const double each = 1 / Whole();
    for (size_t i = 0; i < size_t(storedWidth_) * 4; ++i) row_[i] = uint16_t(lrint(sums[i] * each));
    Place(y);
  }

  // Writes row_ (stored row y) to its upright place.
  // Rows of an upright picture come in order and are appended (never cleared first); a
  // turned one's go across the picture, which is made whole (within what Start reserved)
  // before the first.
  void Place(uint32_t y) {
    const uint16_t full = uint16_t(FullValue(gamma_));
    const size_t count = size_t(storedWidth_) * 4;
    bool opaque = true;
    for (size_t i = 3; i < count; i += 4) opaque = opaque && row_[i] == full;
    if (!opaque) picture_.opaque = false;
    std::vector<uint16_t>& pixels = picture_.pixels;
    if (picture_.orientation == 1) {
      pixels.insert(pixels.end(), row_.begin(), row_.begin() + ptrdiff_t(count));
      return;
    }
    if (pixels.size() != values_) pixels.resize(values_);
    ptrdiff_t at = origin_ + ptrdiff_t(y) * down_;
    for (uint32_t x = 0; x < storedWidth_; ++x, at += across_) {
      const uint16_t* from = &row_[size_t(x) * 4];
      uint16_t* to = pixels.data() + at * 4;
      to[0] = from[0], to[1] = from[1], to[2] = from[2], to[3] = from[3];
    }
  }

  WorkingPicture& picture_;
  const int& orientation_;
  bool identity_ = true;  // kept pixel for pixel
  uint32_t sourceWidth_ = 0, channels_ = 0, storedWidth_ = 0;
  size_t values_ = 0;  // the working picture's, when whole
  ptrdiff_t origin_ = 0, across_ = 1, down_ = 0;
  std::vector<uint16_t> row_;  // one stored row, premultiplied
};

}  // namespace

std::string LoadPicture(const uint8_t* data, size_t size, WorkingPicture& picture,
                        FitProgress* progress, FitGamma gamma, bool orient) {
  int orientation = orient ? ExifOrientation(data, size) : 1;
  WorkingPicture made;
  made.gamma = gamma;
  WorkingScaler scaler(made, orientation);
  const std::unique_ptr<ScalingSink> sink = NewScalingSink(scaler);
  // The system's decoder is asked only where the file's own EXIF said nothing.
  const std::string failure = DecodePicture(data, size, *sink, true, progress,
                                            orient && orientation == 1 ? &orientation : nullptr);
  if (!failure.empty()) return failure;
  sink->Finish();
  picture = std::move(made);
  return "";
}

Resolution AutoResolution(const WorkingPicture& picture) {
  return picture.pictureWidth == 320 && picture.pictureHeight == 200 ? Res320 : Res640;
}
