// A decoded picture averaged onto the canvas of a resolution (width x 200), a band of
// source rows at a time, in exact integers (colour x alpha x covered area) rounded once, so a
// flat colour stays exact whatever the size ratio. The averages are taken in linear light
// (what the eye adds up) or, on request, in the picture's own sRGB numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Where the fit averages and dithers: in linear light (each sRGB number turned into the
// light it stands for), or in the sRGB numbers themselves as earlier versions did.
enum FitGamma { GammaLinear, GammaSrgb };

// The picture as the canvas holds it: width x height pixels, top row first, composited over
// black. GammaLinear fills light, GammaSrgb fills rgb; the other stays empty.
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

class CanvasScaler {
 public:
  explicit CanvasScaler(uint32_t width, FitGamma gamma = GammaLinear) {
    canvas_.width = width;
    canvas_.gamma = gamma;
  }

  // For a picture of this size (channels as in DecodedPicture); any rows added before are
  // forgotten. Throws std::bad_alloc when there is no memory for its sums.
  void Start(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t channels);

  // count source rows from row first on, one after another at rows.
  void Add(const uint8_t* rows, uint32_t first, uint32_t count);

  // The canvas, once every source row is added.
  const Canvas& Result() const { return canvas_; }

 private:
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
  static AxisMap MapAxis(uint32_t source, uint32_t target);
  template <uint32_t kChannels, bool kLinear>
  static void AddRow(const uint8_t* pixel, uint32_t count, const AxisMap& across, uint32_t* row);
  template <bool kLinear>
  void AddRowOf(const uint8_t* source);

  uint64_t* Sums(uint32_t target) { return &sums_[size_t(target % window_) * canvas_.width * 3]; }
  void Round(uint32_t target);

  uint32_t sourceWidth_ = 0, sourceHeight_ = 0, channels_ = 0;
  AxisMap across_, down_;
  uint32_t window_ = 1;   // canvas rows summed at once
  uint32_t rounded_ = 0;  // canvas rows [0, rounded_) are final
  std::vector<uint64_t> sums_;
  std::vector<uint32_t> row_;
  Canvas canvas_;
};
