// Scaling, colour mapping and packing of a decoded picture. Averages are kept in exact
// integers (colour x alpha x covered area) and rounded once, so a flat colour stays exact
// whatever the size ratio.
#include "picture_fit.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// One source pixel's part in one target pixel along an axis. The parts a target pixel
// gets add up to the source length, so every axis divides by it alone.
struct Share {
  uint32_t target;
  uint32_t weight;
};

struct AxisMap {
  std::vector<uint32_t> first;  // source index -> its shares: [first[i], first[i + 1])
  std::vector<Share> shares;
};

// Target pixel t spans [t * source, (t + 1) * source) and source pixel s spans
// [s * target, (s + 1) * target), both measured in 1/target of a source pixel.
AxisMap MapAxis(uint32_t source, uint32_t target) {
  AxisMap map;
  map.first.reserve(source + 1);
  for (uint32_t s = 0; s < source; ++s) {
    map.first.push_back(uint32_t(map.shares.size()));
    if (source >= target) {
      const uint64_t begin = uint64_t(s) * target, end = begin + target;
      for (uint64_t t = begin / source; t * source < end; ++t) {
        const uint64_t low = t * source > begin ? t * source : begin;
        const uint64_t high = (t + 1) * source < end ? (t + 1) * source : end;
        map.shares.push_back({uint32_t(t), uint32_t(high - low)});
      }
    } else {
      // Upscaling repeats: target t shows source t * source / target, whole.
      for (uint64_t t = (uint64_t(s) * target + source - 1) / source;
           t < target && t * source / target == s; ++t) {
        map.shares.push_back({uint32_t(t), source});
      }
    }
  }
  map.first.push_back(uint32_t(map.shares.size()));
  return map;
}

// Adds one source row, weighted by coverage, into the target row sums. Channels: 1 grey,
// 2 grey and alpha, 3 RGB, 4 RGBA; colours are weighted by alpha (255 when there is none).
// A target pixel's weights add up to the source width (at most 65536), so its sum stays
// below 255 x 255 x 65536 < 2^32.
template <uint32_t kChannels>
void AddRow(const uint8_t* pixel, uint32_t count, const AxisMap& across, uint32_t* row) {
  const uint32_t* first = across.first.data();
  const Share* shares = across.shares.data();
  for (uint32_t x = 0; x < count; ++x, pixel += kChannels) {
    const uint32_t alpha = kChannels % 2 == 0 ? pixel[kChannels - 1] : 255;
    const uint32_t r = pixel[0] * alpha;
    const uint32_t g = pixel[kChannels >= 3 ? 1 : 0] * alpha;
    const uint32_t b = pixel[kChannels >= 3 ? 2 : 0] * alpha;
    for (uint32_t k = first[x]; k < first[x + 1]; ++k) {
      const Share share = shares[k];
      uint32_t* to = &row[size_t(share.target) * 3];
      to[0] += r * share.weight;
      to[1] += g * share.weight;
      to[2] += b * share.weight;
    }
  }
}

// The picture averaged onto a width x 200 canvas of 8-bit RGB, over black, a band of
// source rows at a time. Only the canvas rows the current source row adds to are summed
// (two when shrinking); each is rounded into the canvas once no later row adds to it.
class CanvasScaler {
 public:
  explicit CanvasScaler(uint32_t width) : width_(width) {}

  // For a picture of this size; any rows added before are forgotten.
  void Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels) {
    sourceWidth_ = sourceWidth;
    sourceHeight_ = sourceHeight;
    channels_ = channels;
    across_ = MapAxis(sourceWidth, width_);
    down_ = MapAxis(sourceHeight, kBitmapHeight);
    // A canvas row is summed from the first source row adding to it until it is rounded:
    // never more rows at once than one source row adds to.
    window_ = 1;
    for (uint32_t y = 0; y < sourceHeight; ++y) {
      window_ = std::max(window_, down_.first[y + 1] - down_.first[y]);
    }
    // Bounded: 255 x 255 x (source pixels <= 1e8) < 2^43.
    sums_.assign(size_t(width_) * window_ * 3, 0);
    row_.resize(size_t(width_) * 3);
    canvas_.assign(size_t(width_) * kBitmapHeight * 3, 0);
    rounded_ = 0;
  }

  // count source rows from row first on, one after another at rows.
  void Add(const uint8_t* rows, uint32_t first, uint32_t count) {
    const size_t rowBytes = size_t(sourceWidth_) * channels_;
    for (uint32_t y = first; y < first + count; ++y) {
      std::fill(row_.begin(), row_.end(), 0);
      const uint8_t* source = rows + (y - first) * rowBytes;
      switch (channels_) {
        case 1: AddRow<1>(source, sourceWidth_, across_, row_.data()); break;
        case 2: AddRow<2>(source, sourceWidth_, across_, row_.data()); break;
        case 3: AddRow<3>(source, sourceWidth_, across_, row_.data()); break;
        default: AddRow<4>(source, sourceWidth_, across_, row_.data()); break;
      }
      for (uint32_t k = down_.first[y]; k < down_.first[y + 1]; ++k) {
        const Share share = down_.shares[k];
        uint64_t* to = Sums(share.target);
        const uint64_t weight = share.weight;
        for (size_t i = 0; i < row_.size(); ++i) to[i] += row_[i] * weight;
      }
      // Rows the next source row does not add to are whole.
      const bool last = y + 1 == sourceHeight_;
      const uint32_t open = last ? kBitmapHeight : down_.shares[down_.first[y + 1]].target;
      while (rounded_ < open) Round(rounded_++);
    }
  }

  // The canvas, once every source row is added.
  const std::vector<uint8_t>& Canvas() const { return canvas_; }

 private:
  uint64_t* Sums(uint32_t target) { return &sums_[size_t(target % window_) * width_ * 3]; }

  // Rounds a whole canvas row half up, sum / (255 x source area), and clears its sums.
  void Round(uint32_t target) {
    const uint64_t whole = 255ull * sourceWidth_ * sourceHeight_;
    uint64_t* sums = Sums(target);
    uint8_t* to = &canvas_[size_t(target) * width_ * 3];
    for (size_t i = 0; i < size_t(width_) * 3; ++i) {
      to[i] = uint8_t((2 * sums[i] + whole) / (2 * whole));
      sums[i] = 0;
    }
  }

  const uint32_t width_;
  uint32_t sourceWidth_ = 0, sourceHeight_ = 0, channels_ = 0;
  AxisMap across_, down_;
  uint32_t window_ = 1;   // canvas rows summed at once
  uint32_t rounded_ = 0;  // canvas rows [0, rounded_) are in canvas_
  std::vector<uint64_t> sums_;
  std::vector<uint32_t> row_;
  std::vector<uint8_t> canvas_;
};

// Scales rows on a thread of its own while the decoder makes the next ones into a few bands
// of rows that stay in the cache: for a big PNG, the scaling then costs no time and the
// picture is never held whole. Without that thread, each band is scaled as it is filled.
class ScalingSink final : public RowSink {
 public:
  explicit ScalingSink(uint32_t width) : scaler_(width) {
    try {
      worker_ = std::thread(&ScalingSink::Work, this);
    } catch (const std::system_error&) {
      // No thread to be had: the decoding thread scales.
    }
  }
  ~ScalingSink() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  bool Start(uint32_t width, uint32_t height, uint32_t channels) override {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return queued_ == 0; });
    const size_t rowBytes = size_t(width) * channels;
    // Bands of about 64 KiB: a few of them stay in the cache between the two threads.
    bandRows_ = uint32_t(std::max<size_t>(1, std::min<size_t>(16, (64 << 10) / rowBytes)));
    try {
      scaler_.Start(width, height, channels);
      for (std::vector<uint8_t>& band : bands_) band.resize(bandRows_ * rowBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    next_ = head_ = 0;
    y_ = 0;
    return true;
  }

  uint8_t* Room(uint32_t& rows) override {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return queued_ < kBands; });
    rows = std::min(rows, bandRows_);
    return bands_[next_].data();
  }

  void Filled(uint32_t rows) override {
    if (!worker_.joinable()) {
      scaler_.Add(bands_[next_].data(), y_, rows);
      y_ += rows;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      first_[next_] = y_;
      rows_[next_] = rows;
      next_ = (next_ + 1) % kBands;
      ++queued_;
      y_ += rows;
    }
    wake_.notify_all();
  }

  void Take(const uint8_t* pixels, uint32_t rows) override {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return queued_ == 0; });
    scaler_.Add(pixels, y_, rows);
    y_ += rows;
  }

  // The canvas, once every row given is scaled.
  std::vector<uint8_t> Canvas() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return queued_ == 0; });
    return scaler_.Canvas();
  }

 private:
  static constexpr uint32_t kBands = 4;

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || queued_ > 0; });
      if (stop_) return;
      const uint32_t band = head_, first = first_[band], rows = rows_[band];
      lock.unlock();
      // The band's rows are final, and no Room hands the band out again before this is done.
      scaler_.Add(bands_[band].data(), first, rows);
      lock.lock();
      head_ = (head_ + 1) % kBands;
      --queued_;
      idle_.notify_all();
    }
  }

  CanvasScaler scaler_;
  uint32_t bandRows_ = 1;
  std::vector<uint8_t> bands_[kBands];
  uint32_t first_[kBands] = {}, rows_[kBands] = {};  // of each band handed to the worker
  uint32_t next_ = 0;                                // the band Room gives
  uint32_t head_ = 0;                                // the band the worker scales next
  uint32_t queued_ = 0;                              // bands filled and not yet scaled
  uint32_t y_ = 0;                                   // rows given so far
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;  // a band to scale, or stop
  std::condition_variable idle_;  // a band is scaled
  std::thread worker_;
};

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green.
inline uint8_t ColourOf(bool red, bool green, bool blue) {
  return uint8_t((blue ? 1 : 0) | (red ? 2 : 0) | (green ? 4 : 0));
}

// The 8 colours are the corners of the RGB cube, so the nearest one is chosen per channel;
// an 8-bit channel is never equally far from 0 and 255, so no tie arises.
void MapNearest(const uint8_t* canvas, size_t count, uint8_t* colours) {
  for (size_t i = 0; i < count; ++i, canvas += 3) {
    colours[i] = ColourOf(canvas[0] >= 128, canvas[1] >= 128, canvas[2] >= 128);
  }
}

// 8x8 Bayer: a channel is on where its value passes the threshold (m + 0.5) x 255 / 64, so
// a flat value v lights about v / 255 of every 8x8 block.
void MapOrdered(const uint8_t* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  static const uint8_t kBayer[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x, canvas += 3) {
      const uint32_t threshold = 255u * (2u * kBayer[y % 8][x % 8] + 1u);
      colours[size_t(y) * width + x] = ColourOf(
          128u * canvas[0] > threshold, 128u * canvas[1] > threshold, 128u * canvas[2] > threshold);
    }
  }
}

// Floyd-Steinberg, each row walked away from where the previous one ended, so the error
// does not drift to one side. Each channel carries its own error.
void MapDiffusion(const uint8_t* canvas, uint32_t width, uint32_t height, uint8_t* colours) {
  // Errors carried into this row and into the next, with a spare entry at each end.
  std::vector<float> here((width + 2) * 3, 0.0f), below((width + 2) * 3, 0.0f);
  for (uint32_t y = 0; y < height; ++y) {
    const bool rightward = y % 2 == 0;
    const ptrdiff_t step = rightward ? 3 : -3;
    // Errors in flight, kept out of memory: to the next pixel; to the entry below the
    // previous pixel (two parts of three so far); to the entry below this one (one part).
    float ahead[3] = {}, twoParts[3] = {}, onePart[3] = {};
    ptrdiff_t at = rightward ? 3 : ptrdiff_t(width) * 3;  // this pixel's entry: (x + 1) x 3
    for (uint32_t i = 0; i < width; ++i, at += step) {
      const size_t x = size_t(at) / 3 - 1;
      const uint8_t* source = canvas + (size_t(y) * width + x) * 3;
      bool on[3];
      for (int c = 0; c < 3; ++c) {
        const float value = source[c] + (here[at + c] + ahead[c]);
        on[c] = value > 127.5f;  // equally far: the lower colour number
        const float error = value - (on[c] ? 255.0f : 0.0f);
        ahead[c] = error * (7.0f / 16);
        below[at - step + c] = twoParts[c] + error * (3.0f / 16);
        twoParts[c] = onePart[c] + error * (5.0f / 16);
        onePart[c] = error * (1.0f / 16);
      }
      colours[size_t(y) * width + x] = ColourOf(on[0], on[1], on[2]);
    }
    for (int c = 0; c < 3; ++c) {
      below[at - step + c] = twoParts[c];  // below the last pixel
      below[at + c] = onePart[c];          // the spare beyond it
    }
    here.swap(below);
  }
}

}  // namespace

std::string FitPicture(const uint8_t* data, size_t size, Resolution res, DitherMode dither,
                       std::vector<uint8_t>& pixels) {
  const uint32_t width = BitmapWidth(res), height = kBitmapHeight;
  std::vector<uint8_t> canvas;
  {
    ScalingSink scaling(width);
    const std::string failure = DecodePicture(data, size, scaling);
    if (!failure.empty()) return failure;
    canvas = scaling.Canvas();
  }
  std::vector<uint8_t> colours(size_t(width) * height);
  switch (dither) {
    case DitherOrdered: MapOrdered(canvas.data(), width, height, colours.data()); break;
    case DitherDiffusion: MapDiffusion(canvas.data(), width, height, colours.data()); break;
    default: MapNearest(canvas.data(), colours.size(), colours.data()); break;
  }

  // The export's layout: bottom row first, two pixels a byte, the left one high.
  std::vector<uint8_t> packed(PixelDataBytes(res));
  const uint32_t rowBytes = width / 2;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* from = &colours[size_t(y) * width];
    uint8_t* to = &packed[size_t(height - 1 - y) * rowBytes];
    for (uint32_t k = 0; k < rowBytes; ++k) to[k] = uint8_t(from[2 * k] << 4 | from[2 * k + 1]);
  }
  pixels.swap(packed);
  return "";
}
