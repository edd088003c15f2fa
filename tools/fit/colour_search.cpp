// The best mode: the diffusion result improved pixel by pixel while the error an eye sees
// falls (direct binary search). The error is the one the quality benchmark judges by: both
// pictures, in the eye's three opponent channels, blurred by each channel's sum of Gaussians
// at a viewing distance, turned into CIELAB and compared pixel by pixel (mean Delta E).
//
// Each pass starts from the exact error, then takes it as locally quadratic: per pixel the
// gradient and curvature of that pixel's Delta E in opponent values (CIELAB's slope at the
// blurred result, divided by the pixel's own Delta E, so the search lowers the mean of the
// differences rather than of their squares). A pixel's change then costs a filter's worth of
// products to judge and to book, as in the published incremental update, and is judged
// exactly in its 3x3 neighbourhood, where it moves the blurred picture too far for the
// quadratic guess. The passes end when nearly nothing changes, or when one did not lower the
// exact error (its result is dropped).
//
// Pixels are canvas pixels, seen as the screen shows them: one screen pixel wide, two tall.
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "colour_map.h"
#include "colour_math.h"
#include "colour_quads.h"

namespace {

// The viewing distance the search judges from: 75 cm, 640 screen pixels across 26 cm, so
// 2 x 75 x tan(0.5 degrees) / 26 x 640 pixels a degree. Judged from nearer, where the eye sees
// every pixel, flat patches of a near colour win over any dither: the search then clumps
// mid-tones into blotches and, holding each block's light, stripes (its S-CIELAB figure from
// 50 cm falls, but the picture looks worse). From 75 cm the pattern stays even.
constexpr double kPixelsPerDegree = 32.25;
// A Gaussian of spread s (exp(-d^2 / s^2)) is cut at 2 s: beyond it lies under 2% of its sum.
constexpr double kReach = 2.0;
// Delta E below this counts as this in the weights: a pixel already right is not given an
// infinite say.
constexpr float kLeastDeltaE = 1.0f;
// The mean of every 64x32 block of canvas pixels (two grids, half a block apart) is held near
// the canvas's by a quadratic penalty of this weight per grid, so the search cannot trade an
// area's light for quieter texture.
constexpr int kBlockWidth = 64, kBlockHeight = 32;
constexpr float kBlockWeight = 15000.0f;
constexpr int kMostPasses = 6;
// Round a pixel, kNear x kNear pixels are judged exactly.
constexpr int kNear = 3;
// Of a pixel's 7 other colours, the guess ranks them and this many are judged exactly.
constexpr int kJudged = 3;
// After the first pass only tiles of kTile x kTile pixels near a change of the pass before
// are visited again: elsewhere the picture has settled.
constexpr int kTile = 8, kTileReachX = 8, kTileReachY = 4;
// A pass that changes fewer pixels than this share of the canvas is the last.
constexpr double kSettled = 0.002;

// Linear R G B to XYZ (D65), and XYZ to the opponent channels (luminance, red-green,
// blue-yellow).
constexpr double kXyzOfRgb[3][3] = {
    {0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}};
constexpr double kOpponentOfXyz[3][3] = {
    {0.2787, 0.7218, -0.1066}, {-0.4488, 0.2898, 0.0772}, {0.0860, -0.5900, 0.5011}};
constexpr double kWhite[3] = {0.9505, 1.0, 1.0890};

// Each channel's Gaussians: weight and spread in degrees. Luminance's wide negative surround
// (4.3 degrees) is left out: it lowers large areas' weight, which the block penalty sets.
struct Gaussian {
  double weight, spread;
};
const Gaussian kChannelGaussians[3][2] = {{{0.921, 0.0283}, {0.105, 0.133}},
                                          {{0.531, 0.0392}, {0.330, 0.494}},
                                          {{0.488, 0.0536}, {0.371, 0.386}}};

// A separable piece of a channel's filter on the canvas grid.
struct Piece {
  int rx, ry;
  std::vector<float> across, down;  // 2 rx + 1 and 2 ry + 1 taps
};

// A Gaussian on the canvas grid, scaled to sum to weight: across, screen pixels; down, canvas
// rows, each the sum over its two screen rows, as seen from either screen row of the row it
// is judged at.
Piece PieceOf(const Gaussian& g) {
  const double s = g.spread * kPixelsPerDegree;
  Piece p;
  p.rx = int(ceil(kReach * s));
  p.ry = int(ceil((kReach * s + 1) / 2));
  const auto e = [s](double d) { return exp(-d * d / (s * s)); };
  double sumAcross = 0, sumDown = 0;
  for (int d = -p.rx; d <= p.rx; ++d) sumAcross += e(d);
  for (int d = -p.ry; d <= p.ry; ++d) sumDown += 2 * e(2 * d) + e(2 * d - 1) + e(2 * d + 1);
  for (int d = -p.rx; d <= p.rx; ++d) p.across.push_back(float(e(d) / sumAcross));
  for (int d = -p.ry; d <= p.ry; ++d) {
    p.down.push_back(float(g.weight * (2 * e(2 * d) + e(2 * d - 1) + e(2 * d + 1)) / sumDown));
  }
  return p;
}

// A channel's whole filter, as pieces (for blurring whole pictures) and as one table (for
// single pixels): (2 rx + 1) x (2 ry + 1) taps, row after row, summing to 1.
struct Filter {
  std::vector<Piece> pieces;
  int rx = 0, ry = 0;
  std::vector<float> taps;
};

// The curvature's six different entries, by channel pair.
constexpr int kPairs[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};

struct Eye {
  Filter filter[3];
  float opponent[8][3];  // each colour number's opponent values
  double toOpponent[3][3], toXyz[3][3];
  // Filter c times filter d, offset by offset, as pieces: what a pixel's change costs through
  // the curvature of every pixel it reaches. Pairs as the curvature's entries (00 11 22 01 02
  // 12).
  Filter square[6];
  Eye() {
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        toOpponent[i][j] = 0;
        for (int k = 0; k < 3; ++k) toOpponent[i][j] += kOpponentOfXyz[i][k] * kXyzOfRgb[k][j];
      }
    }
    Invert3x3(kOpponentOfXyz, toXyz);
    for (int n = 0; n < 8; ++n) {
      const double rgb[3] = {double(n >> 1 & 1), double(n >> 2 & 1), double(n & 1)};
      for (int c = 0; c < 3; ++c) {
        opponent[n][c] = float(toOpponent[c][0] * rgb[0] + toOpponent[c][1] * rgb[1] +
                               toOpponent[c][2] * rgb[2]);
      }
    }
    for (int c = 0; c < 3; ++c) {
      Filter& f = filter[c];
      double total = 0;
      for (const Gaussian& g : kChannelGaussians[c]) total += g.weight;
      for (const Gaussian& g : kChannelGaussians[c]) {
        f.pieces.push_back(PieceOf({g.weight / total, g.spread}));
        f.rx = std::max(f.rx, f.pieces.back().rx);
        f.ry = std::max(f.ry, f.pieces.back().ry);
      }
      f.taps.assign(size_t(2 * f.rx + 1) * (2 * f.ry + 1), 0.0f);
      for (const Piece& p : f.pieces) {
        for (int dy = -p.ry; dy <= p.ry; ++dy) {
          for (int dx = -p.rx; dx <= p.rx; ++dx) {
            f.taps[size_t(dy + f.ry) * (2 * f.rx + 1) + size_t(dx + f.rx)] +=
                p.down[size_t(dy + p.ry)] * p.across[size_t(dx + p.rx)];
          }
        }
      }
    }
    for (int p = 0; p < 6; ++p) {
      for (const Piece& a : filter[kPairs[p][0]].pieces) {
        for (const Piece& b : filter[kPairs[p][1]].pieces)
          square[p].pieces.push_back(Product(a, b));
      }
    }
  }
  // Two pieces multiplied tap by tap, over the reach of the narrower.
  static Piece Product(const Piece& a, const Piece& b) {
    Piece p;
    p.rx = std::min(a.rx, b.rx);
    p.ry = std::min(a.ry, b.ry);
    for (int d = -p.rx; d <= p.rx; ++d) {
      p.across.push_back(a.across[size_t(d + a.rx)] * b.across[size_t(d + b.rx)]);
    }
    for (int d = -p.ry; d <= p.ry; ++d) {
      p.down.push_back(a.down[size_t(d + a.ry)] * b.down[size_t(d + b.ry)]);
    }
    return p;
  }
};
// The eye's tables, made on first use.
const Eye& TheEye() {
  static const Eye eye;
  return eye;
}

// CIELAB's f and its slope.
inline double LabF(double t) { return t > 216.0 / 24389 ? cbrt(t) : (24389.0 / 27 * t + 16) / 116; }
inline double LabSlope(double t) {
  if (t > 216.0 / 24389) {
    const double root = cbrt(t);
    return 1 / (3 * root * root);
  }
  return 24389.0 / 27 / 116;
}

// One channel of width x height values blurred by a filter, the picture taken as zero
// outside its edges.
void Blur(const Filter& f, const float* in, uint32_t width, uint32_t height, float* out) {
  std::vector<float> across(size_t(width) * height);
  std::fill(out, out + size_t(width) * height, 0.0f);
  for (const Piece& p : f.pieces) {
    for (uint32_t y = 0; y < height; ++y) {
      const float* row = in + size_t(y) * width;
      for (int x = 0; x < int(width); ++x) {
        float sum = 0;
        const int from = std::max(-p.rx, -x), to = std::min(p.rx, int(width) - 1 - x);
        for (int d = from; d <= to; ++d) sum += p.across[size_t(d + p.rx)] * row[x + d];
        across[size_t(y) * width + size_t(x)] = sum;
      }
    }
    for (int y = 0; y < int(height); ++y) {
      const int from = std::max(-p.ry, -y), to = std::min(p.ry, int(height) - 1 - y);
      float* row = out + size_t(y) * width;
      for (int d = from; d <= to; ++d) {
        const float tap = p.down[size_t(d + p.ry)];
        const float* source = across.data() + size_t(y + d) * width;
        for (uint32_t x = 0; x < width; ++x) row[x] += tap * source[x];
      }
    }
  }
}

// The search's state over one canvas.
class Search {
 public:
  Search(const Canvas& canvas, uint8_t* colours)
      : eye_(TheEye()), width_(canvas.width), height_(canvas.height), colours_(colours) {
    CanvasValues(canvas, values_);
    const size_t count = size_t(width_) * height_;
    // The canvas in opponent values, blurred; its CIELAB.
    std::vector<float> plane(count);
    for (int c = 0; c < 3; ++c) {
      blurredOriginal_[c].resize(count);
      for (size_t i = 0; i < count; ++i) {
        const float* v = &values_[i * 3];
        plane[i] = float(eye_.toOpponent[c][0] * v[0] + eye_.toOpponent[c][1] * v[1] +
                         eye_.toOpponent[c][2] * v[2]);
      }
      Blur(eye_.filter[c], plane.data(), width_, height_, blurredOriginal_[c].data());
    }
    for (int k = 0; k < 3; ++k) {
      for (int c = 0; c < 3; ++c) xyz_[k][c] = float(eye_.toXyz[k][c] / kWhite[k]);
    }
    originalLab_.resize(count * 3);
    for (size_t i = 0; i < count; ++i) {
      const double o[3] = {blurredOriginal_[0][i], blurredOriginal_[1][i], blurredOriginal_[2][i]};
      double lab[3], slope[3];
      LabOf(o, lab, slope);
      for (int k = 0; k < 3; ++k) originalLab_[i * 3 + k] = float(lab[k]);
    }
  }

  // The mean Delta E of the colours now; with linearise, also each pixel's gradient and
  // curvature for the next pass.
  double Measure(bool linearise);
  // One pass over every pixel; the number of pixels changed. false from keepGoing stops it
  // part way (the colours are then as far as it came).
  template <typename KeepGoing>
  size_t Pass(KeepGoing keepGoing);

 private:
  // CIELAB of opponent values, and the slopes of f at its X, Y and Z.
  void LabOf(const double o[3], double lab[3], double slope[3]) const {
    double t[3];
    for (int k = 0; k < 3; ++k) {
      t[k] =
          (eye_.toXyz[k][0] * o[0] + eye_.toXyz[k][1] * o[1] + eye_.toXyz[k][2] * o[2]) / kWhite[k];
    }
    const double fx = LabF(t[0]), fy = LabF(t[1]), fz = LabF(t[2]);
    lab[0] = 116 * fy - 16;
    lab[1] = 500 * (fx - fy);
    lab[2] = 200 * (fy - fz);
    for (int k = 0; k < 3; ++k) slope[k] = LabSlope(t[k]);
  }
  // Pixel (x, y)'s place in the padded planes.
  size_t Padded(int x, int y) const { return size_t(y + pad_) * stride_ + size_t(x + pad_); }
  // The first of the 3 sums of the block holding pixel (x, y) in grid g (the second grid
  // half a block on).
  size_t Block(int g, int x, int y) const {
    return (size_t(y + g * kBlockHeight / 2) / kBlockHeight * size_t(blocksAcross_) +
            size_t(x + g * kBlockWidth / 2) / kBlockWidth) *
           3;
  }
  // What changing pixel (x, y) from colour from to to adds to the blocks' penalty.
  float BlockPenalty(int x, int y, uint8_t from, uint8_t to) const;
  void MoveBlocks(int x, int y, uint8_t from, uint8_t to);

  const Eye& eye_;
  const uint32_t width_, height_;
  uint8_t* colours_;
  std::vector<float> values_;
  std::vector<float> blurredOriginal_[3];
  std::vector<float> originalLab_;
  // Padded planes (a margin of pad_ all round, zero there): the gradient, and the curvature's
  // six different entries (00 11 22 01 02 12).
  int pad_ = 0;
  size_t stride_ = 0;
  std::vector<float> gradient_[3], curvature_[6];
  // The Delta E of one pixel whose blurred opponent values are o (unpadded index i).
  float DeltaEAt(const float o[3], size_t i) const {
    float f[3];
    for (int k = 0; k < 3; ++k) {
      f[k] = FastLabF(xyz_[k][0] * o[0] + xyz_[k][1] * o[1] + xyz_[k][2] * o[2]);
    }
    const float* ref = &originalLab_[i * 3];
    const float l = 116 * f[1] - 16 - ref[0], a = 500 * (f[0] - f[1]) - ref[1],
                b = 200 * (f[1] - f[2]) - ref[2];
    return sqrtf(l * l + a * a + b * b);
  }
  // Padded planes: the colours as blurred now, kept exact through every change.
  std::vector<float> shown_[3];
  float xyz_[3][3];  // opponent values to X, Y, Z over the white's
  // Per pixel (unpadded): the curvature seen through filter c times filter d, by pair.
  std::vector<float> self_[6];
  // Per tile: whether this pass visits it, and whether a change of this pass was near it.
  int tilesAcross_ = 0;
  std::vector<uint8_t> visit_, near_;
  // Per block grid: the sum of (shown - wanted) per channel of each block.
  int blocksAcross_ = 0, blocksDown_ = 0;
  std::vector<float> blockSums_[2];
};

double Search::Measure(bool linearise) {
  const size_t count = size_t(width_) * height_;
  std::vector<float> plane(count), blurred[3];
  for (int c = 0; c < 3; ++c) {
    for (size_t i = 0; i < count; ++i) plane[i] = eye_.opponent[colours_[i]][c];
    blurred[c].resize(count);
    Blur(eye_.filter[c], plane.data(), width_, height_, blurred[c].data());
  }
  if (linearise && gradient_[0].empty()) {
    pad_ = 0;
    for (const Filter& f : eye_.filter) pad_ = std::max({pad_, f.rx, f.ry});
    stride_ = width_ + 2 * size_t(pad_);
    const size_t padded = stride_ * (height_ + 2 * size_t(pad_));
    for (auto& g : gradient_) g.assign(padded, 0.0f);
    for (auto& h : curvature_) h.assign(padded, 0.0f);
    for (auto& n : shown_) n.assign(padded, 0.0f);
    blocksAcross_ = int(width_) / kBlockWidth + 2;
    blocksDown_ = int(height_) / kBlockHeight + 2;
    for (int grid = 0; grid < 2; ++grid) {
      blockSums_[grid].assign(size_t(blocksAcross_) * blocksDown_ * 3, 0.0f);
    }
    for (int y = 0; y < int(height_); ++y) {
      for (int x = 0; x < int(width_); ++x) MoveBlocks(x, y, 8, colours_[size_t(y) * width_ + x]);
    }
  }
  if (linearise) {
    for (int c = 0; c < 3; ++c) {
      for (size_t i = 0; i < count; ++i)
        shown_[c][Padded(int(i % width_), int(i / width_))] = blurred[c][i];
    }
  }
  double total = 0;
  for (size_t i = 0; i < count; ++i) {
    const double o[3] = {blurred[0][i], blurred[1][i], blurred[2][i]};
    double lab[3], slope[3];
    LabOf(o, lab, slope);
    const double d[3] = {lab[0] - originalLab_[i * 3], lab[1] - originalLab_[i * 3 + 1],
                         lab[2] - originalLab_[i * 3 + 2]};
    const double deltaE = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    total += deltaE;
    if (!linearise) continue;
    // CIELAB's slope in opponent values: J (XYZ to Lab) x toXyz.
    const double fx = slope[0] / kWhite[0], fy = slope[1], fz = slope[2] / kWhite[2];
    double j[3][3];
    for (int k = 0; k < 3; ++k) {
      j[0][k] = 116 * fy * eye_.toXyz[1][k];
      j[1][k] = 500 * (fx * eye_.toXyz[0][k] - fy * eye_.toXyz[1][k]);
      j[2][k] = 200 * (fy * eye_.toXyz[1][k] - fz * eye_.toXyz[2][k]);
    }
    const double weight = 1 / std::max(deltaE, double(kLeastDeltaE));
    const size_t at = Padded(int(i % width_), int(i / width_));
    for (int c = 0; c < 3; ++c) {
      gradient_[c][at] = float(weight * (j[0][c] * d[0] + j[1][c] * d[1] + j[2][c] * d[2]));
    }
    for (int p = 0; p < 6; ++p) {
      const int a = kPairs[p][0], b = kPairs[p][1];
      curvature_[p][at] =
          float(weight * (j[0][a] * j[0][b] + j[1][a] * j[1][b] + j[2][a] * j[2][b]));
    }
  }
  if (linearise) {
    // Each pixel's own change through the curvature of every pixel its filters reach.
    std::vector<float> plane(count);
    for (int p = 0; p < 6; ++p) {
      for (size_t i = 0; i < count; ++i)
        plane[i] = curvature_[p][Padded(int(i % width_), int(i / width_))];
      self_[p].resize(count);
      Blur(eye_.square[p], plane.data(), width_, height_, self_[p].data());
    }
  }
  return total / double(count);
}

float Search::BlockPenalty(int x, int y, uint8_t from, uint8_t to) const {
  const float change[3] = {float((to >> 1 & 1) - (from >> 1 & 1)),
                           float((to >> 2 & 1) - (from >> 2 & 1)), float((to & 1) - (from & 1))};
  float penalty = 0;
  for (int g = 0; g < 2; ++g) {
    const float* sum = &blockSums_[g][Block(g, x, y)];
    for (int c = 0; c < 3; ++c) penalty += change[c] * (2 * sum[c] + change[c]);
  }
  return penalty * (kBlockWeight / (kBlockWidth * kBlockHeight));
}

// Books a pixel's change from colour from (8: from the wanted values, at the start) to to.
void Search::MoveBlocks(int x, int y, uint8_t from, uint8_t to) {
  const float* wanted = &values_[(size_t(y) * width_ + x) * 3];
  for (int g = 0; g < 2; ++g) {
    float* sum = &blockSums_[g][Block(g, x, y)];
    for (int c = 0; c < 3; ++c) {
      const int bit = c == 0 ? 1 : c == 1 ? 2 : 0;
      sum[c] += float(to >> bit & 1) - (from == 8 ? wanted[c] : float(from >> bit & 1));
    }
  }
}

template <typename KeepGoing>
size_t Search::Pass(KeepGoing keepGoing) {
  size_t changed = 0;
  const Filter* f = eye_.filter;
  if (visit_.empty()) {
    tilesAcross_ = (int(width_) + kTile - 1) / kTile;
    visit_.assign(size_t(tilesAcross_) * ((height_ + kTile - 1) / kTile), 1);
  }
  near_.assign(visit_.size(), 0);
  for (int y = 0; y < int(height_); ++y) {
    if (!keepGoing(y)) break;
    for (int x = 0; x < int(width_); ++x) {
      if (!visit_[size_t(y / kTile) * tilesAcross_ + size_t(x / kTile)]) {
        x |= kTile - 1;  // on to the next tile
        continue;
      }
      const size_t at = Padded(x, y);
      // The gradient seen through each channel's filter at this pixel.
      float slope[3];
      for (int c = 0; c < 3; ++c) {
        const int w = 2 * f[c].rx + 1;
        const float* tap = f[c].taps.data();
        float sum = 0;
        for (int dy = -f[c].ry; dy <= f[c].ry; ++dy, tap += w) {
          const float* g = &gradient_[c][at + size_t(dy) * stride_ - size_t(f[c].rx)];
          float row = 0;
          for (int k = 0; k < w; ++k) row += tap[k] * g[k];
          sum += row;
        }
        slope[c] = sum;
      }
      const size_t i = size_t(y) * width_ + size_t(x);
      const float h[3][3] = {{self_[0][i], self_[3][i], self_[4][i]},
                             {self_[3][i], self_[1][i], self_[5][i]},
                             {self_[4][i], self_[5][i], self_[2][i]}};
      const uint8_t now = colours_[size_t(y) * width_ + size_t(x)];
      const float* from = eye_.opponent[now];
      // Round the pixel, where a change moves the blurred picture far, the quadratic guess is
      // poor (CIELAB's cube root over a jump from black to white): there the change is
      // judged exactly and the guess's own share taken out.
      struct Near {
        size_t at, i;
        float tap[3], was;
      } near[kNear * kNear];
      int nearCount = 0;
      for (int dy = -kNear / 2; dy <= kNear / 2; ++dy) {
        for (int dx = -kNear / 2; dx <= kNear / 2; ++dx) {
          if (y + dy < 0 || y + dy >= int(height_) || x + dx < 0 || x + dx >= int(width_)) continue;
          Near& p = near[nearCount++];
          p.at = at + size_t(dy) * stride_ + size_t(dx);
          p.i = size_t(y + dy) * width_ + size_t(x + dx);
          for (int c = 0; c < 3; ++c) {
            p.tap[c] = f[c].taps[size_t(dy + f[c].ry) * (2 * f[c].rx + 1) + size_t(dx + f[c].rx)];
          }
          const float o[3] = {shown_[0][p.at], shown_[1][p.at], shown_[2][p.at]};
          p.was = DeltaEAt(o, p.i);
        }
      }
      // The guess for every other colour; the few it ranks best are then judged exactly near
      // the pixel.
      float guessed[8], d[8][3];
      int order[7], others = 0;
      for (int n = 0; n < 8; ++n) {
        if (n == now) continue;
        for (int c = 0; c < 3; ++c) d[n][c] = eye_.opponent[n][c] - from[c];
        float change = slope[0] * d[n][0] + slope[1] * d[n][1] + slope[2] * d[n][2];
        for (int a = 0; a < 3; ++a) {
          change += 0.5f * d[n][a] * (h[a][0] * d[n][0] + h[a][1] * d[n][1] + h[a][2] * d[n][2]);
        }
        guessed[n] = change + BlockPenalty(x, y, now, uint8_t(n));
        order[others++] = n;
      }
      std::partial_sort(order, order + kJudged, order + others,
                        [&](int a, int b) { return guessed[a] < guessed[b]; });
      float best = -1e-4f;
      int chosen = -1;
      for (int r = 0; r < kJudged; ++r) {
        const int n = order[r];
        float change = guessed[n];
        for (int k = 0; k < nearCount; ++k) {
          const Near& p = near[k];
          const float e[3] = {p.tap[0] * d[n][0], p.tap[1] * d[n][1], p.tap[2] * d[n][2]};
          const float o[3] = {shown_[0][p.at] + e[0], shown_[1][p.at] + e[1],
                              shown_[2][p.at] + e[2]};
          const float guess =
              gradient_[0][p.at] * e[0] + gradient_[1][p.at] * e[1] + gradient_[2][p.at] * e[2] +
              0.5f * (curvature_[0][p.at] * e[0] * e[0] + curvature_[1][p.at] * e[1] * e[1] +
                      curvature_[2][p.at] * e[2] * e[2]) +
              curvature_[3][p.at] * e[0] * e[1] + curvature_[4][p.at] * e[0] * e[2] +
              curvature_[5][p.at] * e[1] * e[2];
          change += DeltaEAt(o, p.i) - p.was - guess;
        }
        if (change < best) best = change, chosen = n;
      }
      if (chosen < 0) continue;
      const float* step = d[chosen];
      // Book the change: the gradient moves by the curvature times the blurred step.
      for (int c = 0; c < 3; ++c) {
        const int w = 2 * f[c].rx + 1;
        const float moved = step[c];
        const float* __restrict tap = f[c].taps.data();
        for (int dy = -f[c].ry; dy <= f[c].ry; ++dy, tap += w) {
          const size_t row = at + size_t(dy) * stride_ - size_t(f[c].rx);
          float* __restrict g0 = &gradient_[0][row];
          float* __restrict g1 = &gradient_[1][row];
          float* __restrict g2 = &gradient_[2][row];
          const float* h0 = &curvature_[c == 0 ? 0 : c == 1 ? 3 : 4][row];
          const float* h1 = &curvature_[c == 0 ? 3 : c == 1 ? 1 : 5][row];
          const float* h2 = &curvature_[c == 0 ? 4 : c == 1 ? 5 : 2][row];
          float* __restrict shown = &shown_[c][row];
          for (int k = 0; k < w; ++k) {
            const float e = tap[k] * moved;
            shown[k] += e;
            g0[k] += h0[k] * e;
            g1[k] += h1[k] * e;
            g2[k] += h2[k] * e;
          }
        }
      }
      MoveBlocks(x, y, now, uint8_t(chosen));
      colours_[size_t(y) * width_ + size_t(x)] = uint8_t(chosen);
      ++changed;
      const int tilesDown = int(visit_.size()) / tilesAcross_;
      for (int ty = std::max(0, (y - kTileReachY) / kTile);
           ty <= std::min(tilesDown - 1, (y + kTileReachY) / kTile); ++ty) {
        for (int tx = std::max(0, (x - kTileReachX) / kTile);
             tx <= std::min(tilesAcross_ - 1, (x + kTileReachX) / kTile); ++tx) {
          near_[size_t(ty) * tilesAcross_ + size_t(tx)] = 1;
        }
      }
    }
  }
  visit_.swap(near_);
  return changed;
}

// Runs the search on colours (holding the start); false when progress stopped it.
bool RunSearch(const Canvas& canvas, uint8_t* colours, FitProgress* progress) {
  const size_t count = size_t(canvas.width) * canvas.height;
  if (count == 0) return true;
  Search search(canvas, colours);
  std::vector<uint8_t> best(colours, colours + count);
  double bestError = search.Measure(true);
  for (int pass = 0; pass < kMostPasses; ++pass) {
    bool stopped = false;
    const size_t changed = search.Pass([&](int y) {
      if (!progress || y % 8 != 0) return true;
      stopped = !progress->Going(float(pass * int(canvas.height) + y) /
                                 float(kMostPasses * int(canvas.height)));
      return !stopped;
    });
    if (stopped) {
      // Only whole passes are known to help.
      memcpy(colours, best.data(), count);
      return false;
    }
    const bool last = changed < size_t(kSettled * double(count)) || pass + 1 == kMostPasses;
    const double error = search.Measure(!last);
    if (error >= bestError) break;
    bestError = error;
    memcpy(best.data(), colours, count);
    if (last) break;
  }
  memcpy(colours, best.data(), count);
  if (progress) progress->Going(1);
  return true;
}

}  // namespace

bool MapColoursBest(const Canvas& canvas, uint8_t* colours, FitProgress* progress) {
  MapColours(canvas, DitherDiffusion, colours);
  return RunSearch(canvas, colours, progress);
}

double EyeError(const Canvas& canvas, const uint8_t* colours) {
  std::vector<uint8_t> copy(colours, colours + size_t(canvas.width) * canvas.height);
  Search search(canvas, copy.data());
  return search.Measure(false);
}
