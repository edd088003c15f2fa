// What the import tests share, natively and in the 32-bit program: the texts the import
// must show (UTF-8, as the user reads them), GRAM pictures, and a bitmap writer of the tests'
// own that can also produce the odd headers the product never writes.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace import_test {

// The texts, exactly as the user sees them.
const char kNotBitmap[] = "BMPファイルではないようです。ファイル内容を確認をしてください。";
const char kNoInfoHeader[] =
    "BMPファイルではないようです。BITMAPINFOHEADERが存在しません。ファイル内容を確認をしてくだ"
    "さい。";
const char kNot16Colour[] =
    "16色BMPファイル以外はサポートしてません。16色BMPへ変換してから指定してください。";
const char kCompressed[] =
    "圧縮BMPファイルはサポートしてません。無圧縮の16色BMPへ変換してから指定してください。";
const char kNoPalette[] =
    "BMPファイルではないようです。RGBQUADデータが正確に読めません。ファイル内容を確認をしてくだ"
    "さい。";
const char kNoPixels[] =
    "BMPファイルではないようです。画像データが正確に読めません。ファイル内容を確認をしてください"
    "。";
const char kDone[] = "GRAMへの書き込み完了";
const char kNoGram[] = "GRAMを取得できていません。エミュレータ本体の状態を確認してください。";
const char kCaption[] = "HalcyonGRAM-BMP変換ツール";

inline std::string CanvasText(int width) {
  return "キャンバスサイズは " + std::to_string(width) + " X 200 で作成してください。";
}
inline std::string OpenFailedText(const std::string& path) {
  return path + " をオープンできません。使用中、アクセス権などの確認をしてください。";
}
inline std::string ConfirmText(const std::string& path) {
  return path + " の内容をGRAMへ展開します。\n実行しますか？";
}

const size_t kPlaneBytes = 16000;

// A whole GRAM: three planes of 200 lines x 80 bytes.
struct Gram {
  uint8_t plane[3][kPlaneBytes];

  bool operator==(const Gram& other) const { return memcmp(plane, other.plane, sizeof plane) == 0; }
  bool operator!=(const Gram& other) const { return !(*this == other); }
};

// A varied picture from a seed. With pairs set, every GRAM bit pair (0,1), (2,3), (4,5),
// (6,7) holds equal bits, so the picture survives a 320-wide round trip exactly.
inline void FillPicture(Gram& gram, uint32_t seed, bool pairs) {
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& plane : gram.plane) {
    for (uint8_t& byte : plane) {
      x = x * 1103515245u + 12345u;
      uint8_t v = uint8_t(x >> 16);
      if (pairs) v = uint8_t((v & 0x55) | (v & 0x55) << 1);
      byte = v;
    }
  }
}

// The pixel rows a file holding this picture has: bottom row first, 4 bits per pixel, left
// pixel in the high nibble; a 320-wide pixel takes the left bit of its GRAM bit pair.
inline std::vector<uint8_t> RowsOf(const Gram& gram, int width) {
  auto colour = [&](size_t i, int bit) {
    return ((gram.plane[0][i] >> bit) & 1) | ((gram.plane[1][i] >> bit) & 1) << 1 |
           ((gram.plane[2][i] >> bit) & 1) << 2;
  };
  const int step = width == 640 ? 1 : 2;  // GRAM bits per pixel
  std::vector<uint8_t> rows;
  for (int line = 199; line >= 0; --line) {
    for (size_t k = 0; k < 80; ++k) {
      const size_t i = size_t(line) * 80 + k;
      for (int bit = 0; bit < 8; bit += 2 * step) {
        rows.push_back(uint8_t(colour(i, bit) << 4 | colour(i, bit + step)));
      }
    }
  }
  return rows;
}

inline void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutLe16(b, at, v);
  PutLe16(b, at + 2, v >> 16);
}

// A 4-bit bitmap file as the tests want it, good or bad. By default: the 118-byte layout,
// 320 x 200, rows right after the palette and bfOffBits pointing at them.
struct TestBitmap {
  char type[2] = {'B', 'M'};
  int32_t width = 320;
  int32_t height = 200;
  uint16_t bitCount = 4;
  uint32_t compression = 0;
  uint32_t infoSize = 40;  // bytes of info header written (40, 108, 124, ...)
  uint32_t paletteEntries = 16;
  size_t rowsAt = 0;        // where the rows go; 0: right after the palette
  bool offBitsSet = false;  // false: bfOffBits is where the rows went
  uint32_t offBits = 0;
  std::vector<uint8_t> rows;  // pixel data; empty: none
  size_t trailing = 0;        // bytes after the rows

  TestBitmap& OffBits(uint32_t value) {
    offBitsSet = true;
    offBits = value;
    return *this;
  }

  std::vector<uint8_t> Bytes() const {
    const size_t paletteEnd = 14 + infoSize + 4 * size_t(paletteEntries);
    const size_t start = rowsAt != 0 ? rowsAt : paletteEnd;
    // Filler between palette and rows would show as stripes if it were loaded as pixels.
    std::vector<uint8_t> b(start > paletteEnd ? start : paletteEnd, 0xA5);
    b[0] = uint8_t(type[0]);
    b[1] = uint8_t(type[1]);
    PutLe32(b, 2, uint32_t(start + rows.size() + trailing));
    PutLe32(b, 6, 0);
    PutLe32(b, 10, offBitsSet ? offBits : uint32_t(start));
    // Info header: the 40 classic bytes, later fields (V4/V5 masks, colour space) non-zero.
    for (size_t i = 14; i < 14 + infoSize; ++i) b[i] = i < 54 ? 0 : uint8_t(0x3C + i);
    PutLe32(b, 14, infoSize);
    PutLe32(b, 18, uint32_t(width));
    PutLe32(b, 22, uint32_t(height));
    PutLe16(b, 26, 1);
    PutLe16(b, 28, bitCount);
    PutLe32(b, 30, compression);
    PutLe32(b, 34, uint32_t(rows.size()));
    PutLe32(b, 46, paletteEntries == 16 ? 0 : paletteEntries);
    // A grey ramp, nothing like the export's palette: colours must not matter.
    for (size_t e = 0; e < paletteEntries; ++e) {
      const size_t at = 14 + infoSize + 4 * e;
      b[at] = b[at + 1] = b[at + 2] = uint8_t(e * 17);
      b[at + 3] = 0;
    }
    b.resize(start);
    b.insert(b.end(), rows.begin(), rows.end());
    b.insert(b.end(), trailing, 0x5A);
    return b;
  }
};

// A complete, valid file of the given width holding the picture.
inline TestBitmap BitmapOf(const Gram& gram, int width) {
  TestBitmap bmp;
  bmp.width = width;
  bmp.rows = RowsOf(gram, width);
  return bmp;
}

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// The text the import must show for a file of these bytes imported at this width, by the
// rules a user could check with a hex viewer; empty when it must accept the file.
inline std::string ExpectedRefusal(const std::vector<uint8_t>& file, int width) {
  const size_t size = file.size();
  if (size < 14 || file[0] != 'B' || file[1] != 'M') return kNotBitmap;
  if (size < 54) return kNoInfoHeader;
  if (Le16(file, 28) != 4) return kNot16Colour;
  if (Le32(file, 18) != uint32_t(width) || Le32(file, 22) != 200) return CanvasText(width);
  if (Le32(file, 30) != 0) return kCompressed;
  if (size < 118) return kNoPalette;
  uint64_t rows = Le32(file, 10);
  if (rows < 54) rows = 118;
  if (rows + uint64_t(width) * 100 > size) return kNoPixels;
  return "";
}

}  // namespace import_test
