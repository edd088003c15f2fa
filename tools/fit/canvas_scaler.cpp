#include "canvas_scaler.h"

#include <math.h>

#include <algorithm>

#include "convert/gram_bitmap.h"  // kBitmapHeight

namespace {

// Filled once before main: the sRGB curve (linear below 0.04045, a 2.4 power above).
struct LinearTable {
  uint16_t light[256];
  LinearTable() {
    for (int i = 0; i < 256; ++i) {
      const double v = i / 255.0;
      const double linear = v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
      light[i] = uint16_t(lround(linear * kFullLight));
    }
  }
};
const LinearTable kTable;

}  // namespace

const uint16_t* const kLinearOfSrgb = kTable.light;

void CanvasSrgb(const Canvas& canvas, size_t index, uint8_t rgb[3]) {
  if (canvas.gamma == GammaSrgb) {
    for (int c = 0; c < 3; ++c) rgb[c] = canvas.rgb[index * 3 + c];
    return;
  }
  // The nearest number by the table itself, so a number turned into light comes back.
  for (int c = 0; c < 3; ++c) {
    const uint16_t* end = kLinearOfSrgb + 256;
    const uint16_t* at = std::lower_bound(kLinearOfSrgb, end, canvas.light[index * 3 + c]);
    if (at == end || (at != kLinearOfSrgb &&
                      *at - canvas.light[index * 3 + c] > canvas.light[index * 3 + c] - at[-1])) {
      --at;
    }
    rgb[c] = uint8_t(at - kLinearOfSrgb);
  }
}

// Target pixel t spans [t * source, (t + 1) * source) and source pixel s spans
// [s * target, (s + 1) * target), both measured in 1/target of a source pixel.
AxisShares MapAxis(uint32_t source, uint32_t target) {
  AxisShares map;
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

namespace {

// One pixel's premultiplied colour and coverage. sRGB: number x alpha and alpha x 255 (at most
// 255 x 255). Linear: the light over black, light x alpha / 255 rounded, and alpha x 257, so
// opaque pixels keep their table value exactly.
template <uint32_t kChannels, bool kLinear>
inline void Premultiply(const uint8_t* pixel, uint32_t out[4]) {
  constexpr bool kAlpha = kChannels % 2 == 0;
  const uint32_t alpha = kAlpha ? pixel[kChannels - 1] : 255;
  for (uint32_t c = 0; c < 3; ++c) {
    const uint8_t number = pixel[kChannels >= 3 ? c : 0];
    if (!kLinear) {
      out[c] = number * alpha;
    } else {
      const uint32_t light = kLinearOfSrgb[number];
      out[c] = kAlpha && alpha != 255 ? (light * alpha + 127) / 255 : light;
    }
  }
  out[3] = alpha * (kLinear ? 257 : 255);
}

template <uint32_t kChannels, bool kLinear>
void PremultiplyRowOf(const uint8_t* pixel, uint32_t count, uint16_t* out) {
  for (uint32_t x = 0; x < count; ++x, pixel += kChannels, out += 4) {
    uint32_t values[4];
    Premultiply<kChannels, kLinear>(pixel, values);
    for (int c = 0; c < 4; ++c) out[c] = uint16_t(values[c]);
  }
}

// Adds one source row, weighted by coverage, into the target row sums. Channels: 1 grey,
// 2 grey and alpha, 3 RGB, 4 RGBA. A target pixel's weights add up to the source width (at
// most 65536), so its sum stays below 65535 x 65536 < 2^32 in either space.
template <uint32_t kChannels, bool kLinear>
void SumRow(const uint8_t* pixel, uint32_t count, const AxisShares& across, uint32_t* row) {
  const uint32_t* first = across.first.data();
  const AxisShare* shares = across.shares.data();
  for (uint32_t x = 0; x < count; ++x, pixel += kChannels) {
    uint32_t values[4];
    Premultiply<kChannels, kLinear>(pixel, values);
    for (uint32_t k = first[x]; k < first[x + 1]; ++k) {
      const AxisShare share = shares[k];
      uint32_t* to = &row[size_t(share.target) * 4];
      for (int c = 0; c < 4; ++c) to[c] += values[c] * share.weight;
    }
  }
}

}  // namespace

void PremultiplyRow(const uint8_t* source, uint32_t width, uint32_t channels, FitGamma gamma,
                    uint16_t* out) {
  const bool linear = gamma == GammaLinear;
  switch (channels * 2 + (linear ? 1 : 0)) {
    case 2: PremultiplyRowOf<1, false>(source, width, out); break;
    case 3: PremultiplyRowOf<1, true>(source, width, out); break;
    case 4: PremultiplyRowOf<2, false>(source, width, out); break;
    case 5: PremultiplyRowOf<2, true>(source, width, out); break;
    case 6: PremultiplyRowOf<3, false>(source, width, out); break;
    case 7: PremultiplyRowOf<3, true>(source, width, out); break;
    case 8: PremultiplyRowOf<4, false>(source, width, out); break;
    default: PremultiplyRowOf<4, true>(source, width, out); break;
  }
}

void AreaReducer::StartSums(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels,
                            uint32_t targetWidth, uint32_t targetHeight) {
  sourceWidth_ = sourceWidth;
  sourceHeight_ = sourceHeight;
  channels_ = channels;
  targetWidth_ = targetWidth;
  targetHeight_ = targetHeight;
  across_ = MapAxis(sourceWidth, targetWidth);
  down_ = MapAxis(sourceHeight, targetHeight);
  // A target row is summed from the first source row adding to it until it is handed on:
  // never more rows at once than one source row adds to.
  window_ = 1;
  for (uint32_t y = 0; y < sourceHeight; ++y) {
    window_ = std::max(window_, down_.first[y + 1] - down_.first[y]);
  }
  // Bounded: 65535 x (source pixels <= 1e8) < 2^43.
  sums_.assign(size_t(targetWidth) * window_ * 4, 0);
  row_.resize(size_t(targetWidth) * 4);
  done_ = 0;
}

template <bool kLinear>
void AreaReducer::AddRowOf(const uint8_t* source) {
  switch (channels_) {
    case 1: SumRow<1, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    case 2: SumRow<2, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    case 3: SumRow<3, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    default: SumRow<4, kLinear>(source, sourceWidth_, across_, row_.data()); break;
  }
}

void AreaReducer::Add(const uint8_t* rows, uint32_t first, uint32_t count) {
  const size_t rowBytes = size_t(sourceWidth_) * channels_;
  for (uint32_t y = first; y < first + count; ++y) {
    std::fill(row_.begin(), row_.end(), 0);
    const uint8_t* source = rows + (y - first) * rowBytes;
    if (gamma_ == GammaLinear) {
      AddRowOf<true>(source);
    } else {
      AddRowOf<false>(source);
    }
    for (uint32_t k = down_.first[y]; k < down_.first[y + 1]; ++k) {
      const AxisShare share = down_.shares[k];
      double* to = Sums(share.target);
      const double weight = share.weight;
      for (size_t i = 0; i < row_.size(); ++i) to[i] += row_[i] * weight;
    }
    // Rows the next source row does not add to are whole.
    const bool last = y + 1 == sourceHeight_;
    const uint32_t open = last ? targetHeight_ : down_.shares[down_.first[y + 1]].target;
    for (; done_ < open; ++done_) {
      double* sums = Sums(done_);
      RowDone(done_, sums);
      std::fill(sums, sums + size_t(targetWidth_) * 4, 0);
    }
  }
}

void CanvasScaler::Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels) {
  StartSums(sourceWidth, sourceHeight, channels, canvas_.width, kBitmapHeight);
  canvas_.height = kBitmapHeight;
  const size_t values = size_t(canvas_.width) * kBitmapHeight * 3;
  if (canvas_.gamma == GammaLinear) {
    canvas_.light.assign(values, 0);
    canvas_.rgb.clear();
  } else {
    canvas_.rgb.assign(values, 0);
    canvas_.light.clear();
  }
}

// Rounds a whole canvas row half up over black: sum / source area for linear light (its alpha
// is divided out already), sum / (255 x source area) for sRGB numbers.
void CanvasScaler::RowDone(uint32_t y, const double* sums) {
  const size_t at = size_t(y) * canvas_.width * 3;
  if (canvas_.gamma == GammaLinear) {
    const ExactRounding rounded(Whole());
    uint16_t* to = &canvas_.light[at];
    for (uint32_t x = 0; x < canvas_.width; ++x, sums += 4, to += 3) {
      for (int c = 0; c < 3; ++c) to[c] = uint16_t(rounded(sums[c]));
    }
    return;
  }
  const ExactRounding rounded(255 * Whole());
  uint8_t* to = &canvas_.rgb[at];
  for (uint32_t x = 0; x < canvas_.width; ++x, sums += 4, to += 3) {
    for (int c = 0; c < 3; ++c) to[c] = uint8_t(rounded(sums[c]));
  }
}
