// The one EXIF tag the fit needs, the orientation (0x112), read from the three containers
// whose readers ignore it. Debian's libexif has no MinGW build, so this small reader checks
// every offset and length against the bytes it was given before it reads them.
#include <string.h>

#include "fit_look.h"

namespace {

// Unsigned 16 and 32-bit numbers at p in the given byte order.
uint32_t Get16(const uint8_t* p, bool little) {
  return little ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] << 8 | p[1]);
}
uint32_t Get32(const uint8_t* p, bool little) {
  return little
             ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
             : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The orientation in EXIF's TIFF structure (header, IFD0, its entries), 1 when absent, of the
// wrong type or count, or outside 1-8.
int TiffOrientation(const uint8_t* tiff, size_t size) {
  if (size < 8) return 1;
  bool little = false;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    little = true;
  } else if (!(tiff[0] == 'M' && tiff[1] == 'M')) {
    return 1;
  }
  if (Get16(tiff + 2, little) != 42) return 1;
  const size_t ifd = Get32(tiff + 4, little);
  if (ifd > size || size - ifd < 2) return 1;
  const uint32_t entries = Get16(tiff + ifd, little);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = ifd + 2 + size_t(i) * 12;
    if (size - at < 12) return 1;  // at <= size: the entries before it fitted
    const uint8_t* entry = tiff + at;
    if (Get16(entry, little) != 0x112) continue;
    if (Get16(entry + 2, little) != 3 || Get32(entry + 4, little) != 1) return 1;  // SHORT, 1
    const uint32_t value = Get16(entry + 8, little);  // a short sits first in the value field
    return value >= 1 && value <= 8 ? int(value) : 1;
  }
  return 1;
}

// JPEG: the marker segments before the first scan; the first APP1 that starts "Exif\0\0".
int JpegOrientation(const uint8_t* data, size_t size) {
  size_t at = 2;
  while (at < size) {
    if (data[at] != 0xff) return 1;              // no marker where one must be
    while (at < size && data[at] == 0xff) ++at;  // fill bytes
    if (at >= size) return 1;
    const uint8_t marker = data[at++];
    if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) continue;  // no length
    if (marker == 0xd9 || marker == 0xda || size - at < 2) return 1;     // EOI, a scan
    const size_t length = size_t(data[at]) << 8 | data[at + 1];
    if (length < 2 || length > size - at) return 1;
    if (marker == 0xe1 && length >= 8 && memcmp(data + at + 2, "Exif\0\0", 6) == 0) {
      return TiffOrientation(data + at + 8, length - 8);
    }
    at += length;
  }
  return 1;
}

// PNG: the chunks before the pixels (IDAT); eXIf holds the TIFF structure itself.
int PngOrientation(const uint8_t* data, size_t size) {
  for (size_t at = 8; size - at >= 12;) {
    const size_t length = Get32(data + at, false);
    if (length > size - at - 12) return 1;
    const uint8_t* type = data + at + 4;
    if (memcmp(type, "IDAT", 4) == 0 || memcmp(type, "IEND", 4) == 0) return 1;
    if (memcmp(type, "eXIf", 4) == 0) return TiffOrientation(data + at + 8, length);
    at += 12 + length;
  }
  return 1;
}

// WebP: an extended file (VP8X first) may carry an EXIF chunk; chunks are walked within the
// RIFF size and the file, each padded to an even length. Some writers start the chunk with
// JPEG's "Exif\0\0".
int WebpOrientation(const uint8_t* data, size_t size) {
  const size_t riff = Get32(data + 4, true);
  if (riff < 4) return 1;
  const size_t end = riff <= size - 8 ? 8 + riff : size;
  if (end < 20 || memcmp(data + 12, "VP8X", 4) != 0) return 1;
  for (size_t at = 12; end - at >= 8;) {
    const size_t length = Get32(data + at + 4, true);
    if (length > end - at - 8) return 1;
    if (memcmp(data + at, "EXIF", 4) == 0) {
      const uint8_t* tiff = data + at + 8;
      const bool prefixed = length >= 6 && memcmp(tiff, "Exif\0\0", 6) == 0;
      return prefixed ? TiffOrientation(tiff + 6, length - 6) : TiffOrientation(tiff, length);
    }
    at += 8 + length;
    if (length % 2 != 0) {
      if (at == end) return 1;
      ++at;
    }
  }
  return 1;
}

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (data == nullptr) return 1;
  if (size >= 4 && data[0] == 0xff && data[1] == 0xd8) return JpegOrientation(data, size);
  if (size >= 8 && memcmp(data, kPng, 8) == 0) return PngOrientation(data, size);
  if (size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0) {
    return WebpOrientation(data, size);
  }
  return 1;
}
