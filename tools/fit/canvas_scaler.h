// A decoded picture averaged onto a grid of another size (the canvas of a resolution, width x
// 200, or the working picture), a band of source rows at a time, in exact integers (colour x
// alpha x covered area) rounded once, so a flat colour stays exact whatever the size ratio. The
// averages are taken in linear light (what the eye adds up) or, on request, in the picture's
// own sRGB numbers.
#pragma once

#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Where the fit averages and dithers: in linear light (each sRGB number turned into the
// light it stands for), or in the sRGB numbers themselves as earlier versions did.
enum FitGamma { GammaLinear, GammaSrgb };

// The picture as the canvas holds it: width x height pixels, top row first, on its
// background. GammaLinear fills light, GammaSrgb fills rgb; the other stays empty.
struct Canvas {
  uint32_t width = 0;
  uint32_t height = 0;
  FitGamma gamma = GammaLinear;
  std::vector<uint8_t> rgb;     // 8-bit R G B, the picture's sRGB numbers
  std::vector<uint16_t> light;  // R G B in linear light: 0 none, kFullLight full
};
constexpr uint32_t kFullLight = 65535;

// The linear light of each 8-bit sRGB number, 0 to kFullLight, rounded: 0 and 255 are
// exactly 0 and kFullLight.
extern const uint16_t* const kLinearOfSrgb;

// Pixel `index` of the canvas (y x width + x) as 8-bit sRGB numbers, whichever it holds: for
// showing the picture itself (a small original beside the preview).
void CanvasSrgb(const Canvas& canvas, size_t index, uint8_t rgb[3]);

// The full value of premultiplied colour and coverage in gamma's space: kFullLight (colour as
// light x alpha / 255, coverage alpha x 257), or 255 x 255 (sRGB number x alpha, alpha x 255),
// which keeps an sRGB average exactly what earlier versions rounded.
constexpr uint32_t FullValue(FitGamma gamma) { return gamma == GammaLinear ? kFullLight : 65025; }

// round(numerator / denominator), halves up, exactly, for whole numbers from 0 to below 2^50
// held in doubles: the quotient by a reciprocal (one division for many values), corrected by
// products that are exact. Doubles, not 64-bit integers: the 32-bit Windows build has no fast
// 64-bit division. There the guess is lrint, since its x87 casts switch the rounding mode
// (its callers are built with -fno-math-errno, which makes lrint one instruction); with SSE2
// arithmetic a cast, which the compiler turns into one instruction for several values.
class ExactRounding {
 public:
  explicit ExactRounding(double denominator)
      : denominator_(denominator), below_(2 * denominator), inverse_(1 / below_) {}
  int operator()(double numerator) const {
    const double twice = 2 * numerator + denominator_;
#ifdef __SSE2_MATH__
    const int q = int(twice * inverse_);  // within one of the quotient
#else
    const int q = int(lrint(twice * inverse_));
#endif
    const double rest = twice - q * below_;  // exact
    return q + (rest >= below_) - (rest < 0);
  }
  // to[k] = (*this)(from[k]) for k below n; with SSE2, two at a time.
  void Many(const double* from, int32_t* to, size_t n) const {
    size_t k = 0;
#ifdef __SSE2__
    const __m128d denominator = _mm_set1_pd(denominator_), below = _mm_set1_pd(below_),
                  inverse = _mm_set1_pd(inverse_), zero = _mm_setzero_pd();
    for (; k + 2 <= n; k += 2) {
      const __m128d value = _mm_loadu_pd(from + k);
      const __m128d twice = _mm_add_pd(_mm_add_pd(value, value), denominator);
      const __m128i q = _mm_cvttpd_epi32(_mm_mul_pd(twice, inverse));  // in the low half
      const __m128d rest = _mm_sub_pd(twice, _mm_mul_pd(_mm_cvtepi32_pd(q), below));
      // The comparisons' all-ones lanes (-1) taken down to the low half, as q lies.
      const __m128i up = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpge_pd(rest, below)), 0x08);
      const __m128i down = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmplt_pd(rest, zero)), 0x08);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(to + k),
                       _mm_add_epi32(_mm_sub_epi32(q, up), down));
    }
#endif
    for (; k < n; ++k) to[k] = (*this)(from[k]);
  }

 private:
  double denominator_, below_, inverse_;
};

// What a scaling sink hands the decoder's rows to, band by band, on the thread that scales.
class BandScaler {
 public:
  // For a picture of this size (channels as in DecodedPicture); any rows added before are
  // forgotten. Throws std::bad_alloc when there is no memory for its sums.
  virtual void Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels) = 0;
  // count source rows from row first on, one after another at rows.
  virtual void Add(const uint8_t* rows, uint32_t first, uint32_t count) = 0;

 protected:
  ~BandScaler() = default;
};

// A source pixel's part in one target pixel along an axis. The parts a target pixel gets add
// up to the source length (downscaling) or are the source length alone (upscaling repeats
// the pixel at the target's start), so every axis divides by the source length.
struct AxisShare {
  uint32_t target;
  uint32_t weight;
};
struct AxisShares {
  std::vector<uint32_t> first;  // source index -> its shares: [first[i], first[i + 1])
  std::vector<AxisShare> shares;
};
AxisShares MapAxis(uint32_t source, uint32_t target);

// A picture's rows summed onto a target grid: each source pixel gives four values, its colour
// premultiplied by its coverage and the coverage (FullValue(gamma) at most), weighted by the
// area it covers. A target row is handed to RowDone once no later source row adds to it.
class AreaReducer : public BandScaler {
 public:
  explicit AreaReducer(FitGamma gamma) : gamma_(gamma) {}
  void Add(const uint8_t* rows, uint32_t first, uint32_t count) override;

 protected:
  ~AreaReducer() = default;
  // Sets the grid up (throws std::bad_alloc).
  void StartSums(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels,
                 uint32_t targetWidth, uint32_t targetHeight);
  // Target row y is whole: targetWidth x 4 sums (R G B coverage), each over Whole(), and
  // cleared after the call. The sums are whole numbers below 65535 x 1e8 < 2^53, exact in
  // doubles, which unlike 64-bit integers are multiplied several at once.
  virtual void RowDone(uint32_t y, const double* sums) = 0;
  double Whole() const { return double(sourceWidth_) * sourceHeight_; }
  FitGamma gamma_;

 private:
  double* Sums(uint32_t target) { return &sums_[size_t(target % window_) * targetWidth_ * 4]; }
  template <bool kLinear>
  void AddRowOf(const uint8_t* source);

  uint32_t sourceWidth_ = 0, sourceHeight_ = 0, channels_ = 0;
  uint32_t targetWidth_ = 0, targetHeight_ = 0;
  AxisShares across_, down_;
  uint32_t window_ = 1;  // target rows summed at once
  uint32_t done_ = 0;    // target rows [0, done_) are handed on
  std::vector<double> sums_;
  std::vector<uint32_t> row_;
};

// The canvas of a resolution, width x 200: each axis scaled on its own, over black.
class CanvasScaler final : public AreaReducer {
 public:
  explicit CanvasScaler(uint32_t width, FitGamma gamma = GammaLinear) : AreaReducer(gamma) {
    canvas_.width = width;
    canvas_.gamma = gamma;
  }
  void Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels) override;

  // The canvas, once every source row is added.
  const Canvas& Result() const { return canvas_; }

 private:
  void RowDone(uint32_t y, const double* sums) override;
  Canvas canvas_;
};

// One source row as premultiplied colour and coverage (four values a pixel, as AreaReducer
// sums them), for channels 1 to 4 in gamma's space.
void PremultiplyRow(const uint8_t* source, uint32_t width, uint32_t channels, FitGamma gamma,
                    uint16_t* out);
