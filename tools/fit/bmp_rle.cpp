// The BMP run-length rules: pairs of bytes, walked from the bottom row up. A pair (n, c) with
// n > 0 is a run of n pixels (RLE8: all c; RLE4: the two nibbles of c in turn, high first).
// A pair (0, c) is an escape: c = 0 ends the row, 1 ends the bitmap, 2 moves right and up
// by the next two bytes, and c >= 3 is an absolute run of c pixels from the bytes that
// follow, padded to a 16-bit boundary.
#include "bmp_rle.h"

#include <string.h>

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kRle8 = 1, kRle4 = 2;

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The info headers the decoder reads after RLE is removed: Windows 3 and its later forms.
bool KnownInfoHeader(uint32_t size) {
  return size == 40 || size == 56 || size == 108 || size == 124;
}

const char kCutShort[] = "the picture is cut short";

std::string Damaged(const char* what) {
  return std::string("the picture is damaged (") + what + ")";
}

// The rows being filled: the position moves along and up, and stays inside the picture or
// at its very end (past the last row, at its start).
class RowWriter {
 public:
  RowWriter(uint8_t* rows, const RleBitmapHeader& header)
      : rows_(rows),
        width_(header.width),
        height_(header.height),
        bits_(header.bits),
        rowBytes_((size_t(header.width) * header.bits + 31) / 32 * 4) {}

  // Whether count more pixels fit in the current row.
  bool Fits(uint32_t count) const { return y_ < height_ && count <= width_ - x_; }
  void Put(uint8_t index) {
    uint8_t* row = rows_ + size_t(y_) * rowBytes_;
    if (bits_ == 8) {
      row[x_] = index;
    } else {
      row[x_ / 2] |= x_ % 2 ? index : uint8_t(index << 4);
    }
    ++x_;
  }
  void EndRow() {
    x_ = 0;
    ++y_;
  }
  bool Move(uint32_t dx, uint32_t dy) {
    if (dx > width_ - x_ || dy > height_ - y_) return false;
    x_ += dx;
    y_ += dy;
    return y_ < height_ || x_ == 0;
  }
  bool Finished() const { return y_ >= height_; }
  bool Open() const { return y_ < height_; }

 private:
  uint8_t* rows_;
  uint32_t width_, height_, bits_;
  size_t rowBytes_;
  uint32_t x_ = 0, y_ = 0;
};

}  // namespace

bool IsRleBitmap(const uint8_t* data, size_t size) {
  if (size < kFileHeaderBytes + 20 || data[0] != 'B' || data[1] != 'M') return false;
  const uint32_t compression = Le32(data + 30);
  return KnownInfoHeader(Le32(data + 14)) && (compression == kRle8 || compression == kRle4);
}

std::string ReadRleHeader(const uint8_t* data, size_t size, RleBitmapHeader& header) {
  const uint32_t infoBytes = Le32(data + 14);
  if (size < kFileHeaderBytes + infoBytes) return kCutShort;
  const int32_t width = int32_t(Le32(data + 18)), height = int32_t(Le32(data + 22));
  const uint32_t bits = Le16(data + 28);
  if (Le16(data + 26) != 1) return Damaged("a BMP with other than one plane");
  if (bits != (Le32(data + 30) == kRle8 ? 8u : 4u)) {
    return Damaged("RLE8 is for 8-bit and RLE4 for 4-bit bitmaps");
  }
  if (height < 0) return Damaged("an RLE bitmap cannot be stored top-down");
  if (width < 0) return Damaged("a negative BMP width");
  const uint32_t offset = Le32(data + 10);
  if (offset < kFileHeaderBytes + infoBytes) return Damaged("the BMP pixels overlap its header");
  if (offset > size) return kCutShort;
  header.width = uint32_t(width);
  header.height = uint32_t(height);
  header.bits = bits;
  header.pixelOffset = offset;
  return "";
}

std::string ExpandRleBitmap(const uint8_t* data, size_t size, const RleBitmapHeader& header,
                            std::vector<uint8_t>& plain) {
  const size_t rowBytes = (size_t(header.width) * header.bits + 31) / 32 * 4;
  const size_t pixelBytes = rowBytes * header.height;
  // Pixels no run reaches (skipped by a move, or after a row's early end) stay index 0, as
  // Windows leaves them; the bytes past each row's last pixel stay 0 as padding.
  std::vector<uint8_t> out(header.pixelOffset + pixelBytes, 0);
  memcpy(out.data(), data, header.pixelOffset);
  PutLe32(&out[30], 0);  // uncompressed
  PutLe32(&out[34], uint32_t(pixelBytes));
  PutLe32(&out[2], out.size() <= UINT32_MAX ? uint32_t(out.size()) : 0);

  RowWriter rows(out.data() + header.pixelOffset, header);
  const bool rle8 = header.bits == 8;
  size_t at = header.pixelOffset;
  for (;;) {
    if (size - at < 2) {
      // A file that ends every row but leaves out the end-of-bitmap mark lost no pixel.
      if (rows.Finished()) break;
      return kCutShort;
    }
    const uint32_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      if (!rows.Fits(count)) return Damaged("an RLE run passes the end of a row");
      for (uint32_t i = 0; i < count; ++i) {
        rows.Put(uint8_t(rle8 ? value : (i % 2 ? value & 15 : value >> 4)));
      }
    } else if (value == 0) {
      if (!rows.Open()) return Damaged("an RLE row end after the last row");
      rows.EndRow();
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (size - at < 2) return kCutShort;
      if (!rows.Move(data[at], data[at + 1])) return Damaged("an RLE move leaves the picture");
      at += 2;
    } else {
      // An absolute run: value pixels, in bytes padded to an even count.
      const size_t bytes = rle8 ? value : (value + 1) / 2;
      if (size - at < bytes + bytes % 2) return kCutShort;
      if (!rows.Fits(value)) return Damaged("an RLE run passes the end of a row");
      for (uint32_t i = 0; i < value; ++i) {
        const uint8_t byte = data[at + (rle8 ? i : i / 2)];
        rows.Put(uint8_t(rle8 ? byte : (i % 2 ? byte & 15 : byte >> 4)));
      }
      at += bytes + bytes % 2;
    }
  }
  plain.swap(out);
  return "";
}
