// The scaling sink of builds with C++ threads.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "scaling_sink.h"

namespace {

// Scales rows on a thread of its own while the decoder makes the next ones into a few bands
// of rows that stay in the cache: for a big PNG, the scaling then costs no time and the
// picture is never held whole. Without that thread, each band is scaled as it is filled.
class ThreadedSink final : public ScalingSink {
 public:
  explicit ThreadedSink(BandScaler& scaler) : scaler_(scaler) {
    try {
      worker_ = std::thread(&ThreadedSink::Work, this);
    } catch (const std::system_error&) {
      // No thread to be had: the decoding thread scales.
    }
  }
  explicit ThreadedSink(std::unique_ptr<CanvasScaler> canvas) : ThreadedSink(*canvas) {
    canvas_ = std::move(canvas);
  }
  ~ThreadedSink() override {
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

  void Finish() override {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return queued_ == 0; });
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

  BandScaler& scaler_;
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

}  // namespace

std::unique_ptr<ScalingSink> NewScalingSink(BandScaler& scaler) {
  return std::make_unique<ThreadedSink>(scaler);
}

std::unique_ptr<ScalingSink> NewScalingSink(uint32_t canvasWidth, FitGamma gamma) {
  return std::make_unique<ThreadedSink>(std::make_unique<CanvasScaler>(canvasWidth, gamma));
}
