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
CanvasScaler::AxisMap CanvasScaler::MapAxis(uint32_t source, uint32_t target) {
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

// A colour number weighted by its alpha. sRGB: number x alpha (at most 255 x 255). Linear:
// the light over black, light x alpha / 255 rounded (at most kFullLight), so opaque pixels
// keep their table value exactly.
namespace {
template <bool kLinear>
inline uint32_t Weighted(uint8_t number, uint32_t alpha, bool hasAlpha) {
  if (!kLinear) return number * alpha;
  const uint32_t light = kLinearOfSrgb[number];
  return hasAlpha ? (light * alpha + 127) / 255 : light;
}
}  // namespace

// Adds one source row, weighted by coverage, into the target row sums. Channels: 1 grey,
// 2 grey and alpha, 3 RGB, 4 RGBA; colours are weighted by alpha (255 when there is none).
// A target pixel's weights add up to the source width (at most 65536), so its sum stays
// below 65535 x 65536 < 2^32 in either space.
template <uint32_t kChannels, bool kLinear>
void CanvasScaler::AddRow(const uint8_t* pixel, uint32_t count, const AxisMap& across,
                          uint32_t* row) {
  const uint32_t* first = across.first.data();
  const Share* shares = across.shares.data();
  constexpr bool kAlpha = kChannels % 2 == 0;
  for (uint32_t x = 0; x < count; ++x, pixel += kChannels) {
    const uint32_t alpha = kAlpha ? pixel[kChannels - 1] : 255;
    const uint32_t r = Weighted<kLinear>(pixel[0], alpha, kAlpha);
    const uint32_t g = Weighted<kLinear>(pixel[kChannels >= 3 ? 1 : 0], alpha, kAlpha);
    const uint32_t b = Weighted<kLinear>(pixel[kChannels >= 3 ? 2 : 0], alpha, kAlpha);
    for (uint32_t k = first[x]; k < first[x + 1]; ++k) {
      const Share share = shares[k];
      uint32_t* to = &row[size_t(share.target) * 3];
      to[0] += r * share.weight;
      to[1] += g * share.weight;
      to[2] += b * share.weight;
    }
  }
}

void CanvasScaler::Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels) {
  const uint32_t width = canvas_.width;
  sourceWidth_ = sourceWidth;
  sourceHeight_ = sourceHeight;
  channels_ = channels;
  across_ = MapAxis(sourceWidth, width);
  down_ = MapAxis(sourceHeight, kBitmapHeight);
  // A canvas row is summed from the first source row adding to it until it is rounded:
  // never more rows at once than one source row adds to.
  window_ = 1;
  for (uint32_t y = 0; y < sourceHeight; ++y) {
    window_ = std::max(window_, down_.first[y + 1] - down_.first[y]);
  }
  // Bounded: 65535 x (source pixels <= 1e8) < 2^43.
  sums_.assign(size_t(width) * window_ * 3, 0);
  row_.resize(size_t(width) * 3);
  canvas_.height = kBitmapHeight;
  const size_t values = size_t(width) * kBitmapHeight * 3;
  if (canvas_.gamma == GammaLinear) {
    canvas_.light.assign(values, 0);
    canvas_.rgb.clear();
  } else {
    canvas_.rgb.assign(values, 0);
    canvas_.light.clear();
  }
  rounded_ = 0;
}

template <bool kLinear>
void CanvasScaler::AddRowOf(const uint8_t* source) {
  switch (channels_) {
    case 1: AddRow<1, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    case 2: AddRow<2, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    case 3: AddRow<3, kLinear>(source, sourceWidth_, across_, row_.data()); break;
    default: AddRow<4, kLinear>(source, sourceWidth_, across_, row_.data()); break;
  }
}

void CanvasScaler::Add(const uint8_t* rows, uint32_t first, uint32_t count) {
  const size_t rowBytes = size_t(sourceWidth_) * channels_;
  for (uint32_t y = first; y < first + count; ++y) {
    std::fill(row_.begin(), row_.end(), 0);
    const uint8_t* source = rows + (y - first) * rowBytes;
    if (canvas_.gamma == GammaLinear) {
      AddRowOf<true>(source);
    } else {
      AddRowOf<false>(source);
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

// Rounds a whole canvas row half up, sum / (255 x source area) for sRGB numbers, sum /
// source area for linear light (its alpha is divided out already), and clears its sums.
void CanvasScaler::Round(uint32_t target) {
  const size_t at = size_t(target) * canvas_.width * 3, count = size_t(canvas_.width) * 3;
  uint64_t* sums = Sums(target);
  if (canvas_.gamma == GammaLinear) {
    const uint64_t whole = uint64_t(sourceWidth_) * sourceHeight_;
    uint16_t* to = &canvas_.light[at];
    for (size_t i = 0; i < count; ++i) {
      to[i] = uint16_t((2 * sums[i] + whole) / (2 * whole));
      sums[i] = 0;
    }
    return;
  }
  const uint64_t whole = 255ull * sourceWidth_ * sourceHeight_;
  uint8_t* to = &canvas_.rgb[at];
  for (size_t i = 0; i < count; ++i) {
    to[i] = uint8_t((2 * sums[i] + whole) / (2 * whole));
    sums[i] = 0;
  }
}
