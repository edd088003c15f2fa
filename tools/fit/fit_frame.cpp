// A working picture framed onto the canvas of a resolution: placed as the look asks, the kept
// part averaged by area onto the placed pixels (or sampled, for pixel art), toned, and laid
// on the background colour.
#include <math.h>

#include <algorithm>

#include "fit_look.h"
#include "fit_tone.h"
#include "picture_fit.h"

namespace {

// Screen pixels of the 640x400 screen.
constexpr double kScreenWidth = 640, kScreenHeight = 400;

// The rectangle of w x h canvas pixels centred on a canvas of cw x ch.
void Centre(FitPlacement& place, uint32_t w, uint32_t h, uint32_t cw, uint32_t ch) {
  place.canvasWidth = std::clamp(w, 1u, cw);
  place.canvasHeight = std::clamp(h, 1u, ch);
  place.canvasX = (cw - place.canvasWidth) / 2;
  place.canvasY = (ch - place.canvasHeight) / 2;
}

// The working picture's pixels along one axis that make each placed canvas pixel, and their
// weights; every target's weights add up to divisor.
struct KeptAxis {
  uint32_t from = 0, to = 0;  // the source pixels read: [from, to)
  uint64_t divisor = 1;
  int32_t whole = 1;            // the weight of a source pixel wholly inside its target
  std::vector<uint32_t> first;  // target t's parts: [first[t], first[t + 1])
  std::vector<uint32_t> source;
  std::vector<int32_t> weight;
};

// The kept span (start and length in fractions of the source's `length` pixels) onto
// `targets` pixels: each target the area it covers when it covers a source pixel or more, else
// the source pixel at its start (repeated, as the stretch always did), or with `nearest` the
// source pixel at its centre (pixel art: never an average).
KeptAxis MapKept(uint32_t length, double start, double kept, uint32_t targets, bool nearest) {
  KeptAxis axis;
  const double span = std::max(kept * length, 1e-9);  // source pixels kept
  // Positions in 1/(targets x scale) of a source pixel, scale a power of two as fine as the
  // sums allow: a target's weights add up to at most ceil(span) x scale <= 32768 (the working
  // picture is far narrower), so 16-bit values summed with them stay below 2^31, signed
  // integers the 32-bit build turns into doubles fastest.
  uint64_t scale = 1;
  while (ceil(span) * double(scale) * 2 <= 32768) scale *= 2;
  const uint64_t unit = uint64_t(targets) * scale;  // one source pixel
  const uint64_t end = uint64_t(length) * unit;
  uint64_t step = std::max<uint64_t>(1, uint64_t(llround(span * double(scale))));  // a target
  step = std::min(step, end / targets);
  const uint64_t begin =
      std::min(uint64_t(llround(std::max(0.0, start) * double(end))), end - step * targets);
  const bool area = !nearest && span >= targets;
  axis.divisor = area ? step : 1;
  axis.whole = area ? int32_t(unit) : 1;
  axis.first.reserve(targets + 1);
  for (uint32_t t = 0; t < targets; ++t) {
    axis.first.push_back(uint32_t(axis.source.size()));
    const uint64_t low = begin + t * step, high = low + step;
    if (area) {
      for (uint64_t s = low / unit; s * unit < high; ++s) {
        axis.source.push_back(uint32_t(s));
        axis.weight.push_back(int32_t(std::min(high, (s + 1) * unit) - std::max(low, s * unit)));
      }
    } else {
      const uint64_t at = nearest ? (2 * low + step) / (2 * unit) : low / unit;
      axis.source.push_back(uint32_t(std::min<uint64_t>(at, length - 1)));
      axis.weight.push_back(1);
    }
  }
  axis.first.push_back(uint32_t(axis.source.size()));
  // Targets follow the source in order, so the first and last parts are its ends.
  axis.from = axis.source.front();
  axis.to = axis.source.back() + 1;
  return axis;
}

// The placed pixels' sums, a canvas row at a time: sums[4 x placed width] (R G B coverage,
// premultiplied) over the divisor, handed to row(y, sums, divisor). Every sum is a whole
// number below 65535 x divisor <= 2^46, exact in a double.
template <typename Row>
void SumPlaced(const WorkingPicture& picture, const FitPlacement& place, bool nearest, Row row) {
  const KeptAxis across =
      MapKept(picture.width, place.keptX, place.keptWidth, place.canvasWidth, nearest);
  const KeptAxis down =
      MapKept(picture.height, place.keptY, place.keptHeight, place.canvasHeight, nearest);
  const size_t span = size_t(across.to - across.from) * 4;
  std::vector<int32_t> column(span);
  std::vector<double> sums(size_t(place.canvasWidth) * 4);
  const double divisor = double(across.divisor) * double(down.divisor);
  const auto rowAt = [&](uint32_t k) {
    return &picture.pixels[(size_t(down.source[k]) * picture.width + across.from) * 4];
  };
  int32_t* to = column.data();
  for (uint32_t y = 0; y < place.canvasHeight; ++y) {
    // Down first, over the kept columns, in 32 bits: the rows wholly inside added as they
    // are and multiplied by their weight once, then the partly covered ones.
    const uint32_t first = down.first[y], last = down.first[y + 1];
    bool started = false;
    for (uint32_t k = first; k < last; ++k) {
      if (down.weight[k] != down.whole) continue;
      const uint16_t* from = rowAt(k);
      if (started) {
        for (size_t i = 0; i < span; ++i) to[i] += from[i];
      } else {
        for (size_t i = 0; i < span; ++i) to[i] = from[i];
        started = true;
      }
    }
    if (!started) {
      std::fill(column.begin(), column.end(), 0);
    } else if (down.whole != 1) {
      for (size_t i = 0; i < span; ++i) to[i] *= down.whole;
    }
    for (uint32_t k = first; k < last; ++k) {
      if (down.weight[k] == down.whole) continue;
      const uint16_t* from = rowAt(k);
      const int32_t weight = down.weight[k];
      for (size_t i = 0; i < span; ++i) to[i] += int32_t(from[i]) * weight;
    }
    for (uint32_t x = 0; x < place.canvasWidth; ++x) {
      // In doubles, exact (below 2^48), from 32-bit integers read straight from memory.
      double whole[4] = {}, part[4] = {};
      for (uint32_t k = across.first[x]; k < across.first[x + 1]; ++k) {
        const int32_t* from = &to[size_t(across.source[k] - across.from) * 4];
        const int32_t weight = across.weight[k];
        if (weight == across.whole) {
          for (int c = 0; c < 4; ++c) whole[c] += from[c];
        } else {
          for (int c = 0; c < 4; ++c) part[c] += double(from[c]) * weight;
        }
      }
      for (int c = 0; c < 4; ++c) {
        sums[size_t(x) * 4 + c] = whole[c] * across.whole + part[c];
      }
    }
    row(y, sums.data(), divisor);
  }
}

// Background colour number's channels in R G B order (bit 1 red, bit 2 green, bit 0 blue).
bool BackgroundOn(uint8_t background, int channel) {
  static const uint8_t kBit[3] = {2, 4, 1};
  return (background & kBit[channel]) != 0;
}

}  // namespace

FitPlacement PlacePicture(uint32_t pictureWidth, uint32_t pictureHeight, Resolution res,
                          const FitLook& look) {
  FitPlacement place;
  const uint32_t width = BitmapWidth(res), height = kBitmapHeight;
  Centre(place, width, height, width, height);
  if (pictureWidth == 0 || pictureHeight == 0) return place;
  // GRAM itself: pixel for pixel, whatever the framing.
  if (pictureWidth == width && pictureHeight == height) {
    place.pixelExact = true;
    return place;
  }
  const double w = pictureWidth, h = pictureHeight;
  const double across = kScreenWidth / width, down = 2;    // screen pixels a canvas pixel covers
  const double tall = look.screen == Screen4x3 ? 1.2 : 1;  // a screen pixel's height / width
  switch (look.frame) {
    case FrameStretch: return place;
    case FramePixel: {
      // The largest even n (so GRAM rows stay whole) with n x n screen pixels a picture pixel.
      const uint32_t n = std::min(640 / pictureWidth, 400 / pictureHeight) & ~1u;
      if (n >= 2) {
        Centre(place, pictureWidth * n / uint32_t(across), pictureHeight * n / 2, width, height);
        place.pixelExact = true;
        return place;
      }
      break;  // sampled into the whole picture's place
    }
    case FrameFill: {
      // Covers the screen; the overflow is cut off round the focus.
      const double scale = std::max(kScreenWidth / w, kScreenHeight * tall / h);
      place.keptWidth = std::min(1.0, kScreenWidth / (w * scale));
      place.keptHeight = std::min(1.0, kScreenHeight * tall / (h * scale));
      place.keptX = std::clamp(double(look.focusX) - place.keptWidth / 2, 0.0, 1 - place.keptWidth);
      place.keptY =
          std::clamp(double(look.focusY) - place.keptHeight / 2, 0.0, 1 - place.keptHeight);
      return place;
    }
    case FrameWhole: break;
  }
  const double scale = std::min(kScreenWidth / w, kScreenHeight * tall / h);
  Centre(place, uint32_t(lround(w * scale / across)), uint32_t(lround(h * scale / tall / down)),
         width, height);
  return place;
}

namespace {

// A canvas of width x height in gamma's space, all of it the background colour, exactly;
// ground gets the background's channels in the canvas's values.
void StartCanvas(uint32_t width, uint32_t height, FitGamma gamma, uint8_t background,
                 uint16_t ground[3], Canvas& canvas) {
  const bool linear = gamma == GammaLinear;
  canvas.width = width;
  canvas.height = height;
  canvas.gamma = gamma;
  const size_t values = size_t(width) * height * 3;
  for (int c = 0; c < 3; ++c) {
    ground[c] = BackgroundOn(background, c) ? uint16_t(linear ? kFullLight : 255) : 0;
  }
  if (linear) {
    canvas.rgb.clear();
    canvas.light.resize(values);
    for (size_t i = 0; i < values; ++i) canvas.light[i] = ground[i % 3];
  } else {
    canvas.light.clear();
    canvas.rgb.resize(values);
    for (size_t i = 0; i < values; ++i) canvas.rgb[i] = uint8_t(ground[i % 3]);
  }
}

// The placed pixels over the background without tone, in integers to the end, so the colours
// are exactly what they were before any tone: over a channel of the background, what
// coverage lacks is filled with full.
void PaintPlaced(const WorkingPicture& picture, const FitPlacement& place, bool nearest,
                 const uint16_t ground[3], Canvas& canvas) {
  const bool linear = picture.gamma == GammaLinear;
  const uint64_t full = FullValue(picture.gamma);
  const double lift[3] = {ground[0] ? 1.0 : 0.0, ground[1] ? 1.0 : 0.0, ground[2] ? 1.0 : 0.0};
  // A row's numerators, then their rounding in a plain loop the compiler runs on several at
  // once.
  std::vector<double> numerators(size_t(place.canvasWidth) * 3);
  std::vector<int32_t> values(numerators.size());
  SumPlaced(picture, place, nearest, [&](uint32_t y, const double* sums, double divisor) {
    const double whole = double(full) * divisor;  // coverage's sum is at most this
    const ExactRounding rounded(linear ? divisor : 255 * divisor);
    for (uint32_t x = 0; x < place.canvasWidth; ++x, sums += 4) {
      const double lacking = whole - sums[3];
      for (int c = 0; c < 3; ++c) numerators[size_t(x) * 3 + c] = sums[c] + lift[c] * lacking;
    }
    rounded.Many(numerators.data(), values.data(), values.size());
    const size_t i = (size_t(place.canvasY + y) * canvas.width + place.canvasX) * 3;
    if (linear) {
      std::copy(values.begin(), values.end(), canvas.light.begin() + ptrdiff_t(i));
    } else {
      std::copy(values.begin(), values.end(), canvas.rgb.begin() + ptrdiff_t(i));
    }
  });
}

}  // namespace

void FrameCanvas(const WorkingPicture& picture, Resolution res, const FitLook& look,
                 Canvas& canvas) {
  const FitPlacement place = PlacePicture(picture.pictureWidth, picture.pictureHeight, res, look);
  const bool linear = picture.gamma == GammaLinear;
  // The background first; the placed rectangle is written over it.
  uint16_t ground[3];
  StartCanvas(BitmapWidth(res), kBitmapHeight, picture.gamma, look.background, ground, canvas);
  if (picture.width == 0 || picture.height == 0) return;
  const bool nearest = look.frame == FramePixel || place.pixelExact;
  if (look.tone.Neutral()) {
    PaintPlaced(picture, place, nearest, ground, canvas);
    return;
  }
  const uint64_t full = FullValue(picture.gamma);
  // Where placed pixel x, y starts among the canvas's values.
  const auto at = [&](uint32_t x, uint32_t y) {
    return (size_t(place.canvasY + y) * canvas.width + place.canvasX + x) * 3;
  };
  // Toned: each placed pixel's colour, not premultiplied, and its coverage, 0 to 1.
  std::vector<float> placed(size_t(place.canvasWidth) * place.canvasHeight * 4);
  SumPlaced(picture, place, nearest, [&](uint32_t y, const double* sums, double divisor) {
    float* to = &placed[size_t(y) * place.canvasWidth * 4];
    // An opaque pixel's coverage is the whole: its reciprocal is known (a division a pixel
    // costs the 32-bit build more than its tone).
    const double whole = double(full) * divisor, perWhole = 1 / whole;
    for (uint32_t x = 0; x < place.canvasWidth; ++x, sums += 4, to += 4) {
      const double coverage = sums[3];
      const double each = coverage == whole ? perWhole : coverage > 0 ? 1 / coverage : 0;
      for (int c = 0; c < 3; ++c) to[c] = float(std::min(1.0, sums[c] * each));
      to[3] = float(coverage * perWhole);
    }
  });
  float low = 0, high = 1;
  if (look.tone.autoLevels) AutoLevelEnds(placed.data(), placed.size() / 4, low, high);
  const ToneCurve tone(look.tone, linear, low, high);
  const float* from = placed.data();
  for (uint32_t y = 0; y < place.canvasHeight; ++y) {
    for (uint32_t x = 0; x < place.canvasWidth; ++x, from += 4) {
      float rgb[3] = {from[0], from[1], from[2]};
      const float coverage = std::min(1.0f, from[3]);
      if (coverage > 0) tone.Apply(rgb);
      const size_t i = at(x, y);
      for (int c = 0; c < 3; ++c) {
        const float v = rgb[c] * coverage + (ground[c] ? 1 - coverage : 0);
        if (linear) {
          canvas.light[i + c] = uint16_t(lrintf(std::clamp(v, 0.0f, 1.0f) * float(kFullLight)));
        } else {
          canvas.rgb[i + c] = uint8_t(lrintf(std::clamp(v, 0.0f, 1.0f) * 255));
        }
      }
    }
  }
}

void PictureView(const WorkingPicture& picture, uint32_t width, uint32_t height, uint8_t background,
                 std::vector<uint8_t>& rgb) {
  Canvas canvas;
  uint16_t ground[3];
  StartCanvas(width, height, picture.gamma, background, ground, canvas);
  FitPlacement whole;
  whole.canvasWidth = width;
  whole.canvasHeight = height;
  if (width > 0 && height > 0 && picture.width > 0 && picture.height > 0) {
    PaintPlaced(picture, whole, false, ground, canvas);
  }
  rgb.resize(size_t(width) * height * 3);
  for (size_t i = 0; i < size_t(width) * height; ++i) CanvasSrgb(canvas, i, &rgb[i * 3]);
}

void FitWorkingPicture(const WorkingPicture& picture, Resolution res, DitherMode dither,
                       const FitLook& look, std::vector<uint8_t>& pixels,
                       std::vector<uint8_t>* colours) {
  Canvas canvas;
  FrameCanvas(picture, res, look, canvas);
  std::vector<uint8_t> mapped(size_t(canvas.width) * canvas.height);
  MapColours(canvas, dither, mapped.data());
  PackColours(res, mapped.data(), pixels);
  if (colours) colours->swap(mapped);
}

std::string FitPicture(const uint8_t* data, size_t size, Resolution res, DitherMode dither,
                       std::vector<uint8_t>& pixels, FitProgress* progress, FitGamma gamma,
                       std::vector<uint8_t>* colours, const FitLook& look, bool orient) {
  WorkingPicture picture;
  const std::string failure = LoadPicture(data, size, picture, progress, gamma, orient);
  if (!failure.empty()) return failure;
  FitWorkingPicture(picture, res, dither, look, pixels, colours);
  return "";
}
