// The scaling sink of builds without C++ threads: each band is scaled as it is filled.
#include <algorithm>
#include <new>

#include "scaling_sink.h"

namespace {

class InlineSink final : public ScalingSink {
 public:
  explicit InlineSink(BandScaler& scaler) : scaler_(scaler) {}
  explicit InlineSink(std::unique_ptr<CanvasScaler> canvas) : scaler_(*canvas) {
    canvas_ = std::move(canvas);
  }

  bool Start(uint32_t width, uint32_t height, uint32_t channels) override {
    const size_t rowBytes = size_t(width) * channels;
    // A band of about 64 KiB stays in the cache between decoding and scaling.
    bandRows_ = uint32_t(std::max<size_t>(1, std::min<size_t>(16, (64 << 10) / rowBytes)));
    try {
      scaler_.Start(width, height, channels);
      band_.resize(bandRows_ * rowBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    y_ = 0;
    return true;
  }
  uint8_t* Room(uint32_t& rows) override {
    rows = std::min(rows, bandRows_);
    return band_.data();
  }
  void Filled(uint32_t rows) override { Take(band_.data(), rows); }
  void Take(const uint8_t* pixels, uint32_t rows) override {
    scaler_.Add(pixels, y_, rows);
    y_ += rows;
  }
  void Finish() override {}

 private:
  BandScaler& scaler_;
  uint32_t bandRows_ = 1;
  std::vector<uint8_t> band_;
  uint32_t y_ = 0;  // rows given so far
};

}  // namespace

std::unique_ptr<ScalingSink> NewScalingSink(BandScaler& scaler) {
  return std::make_unique<InlineSink>(scaler);
}

std::unique_ptr<ScalingSink> NewScalingSink(uint32_t canvasWidth, FitGamma gamma) {
  return std::make_unique<InlineSink>(std::make_unique<CanvasScaler>(canvasWidth, gamma));
}
