#include "format_hint.h"

#include <string.h>

#include <initializer_list>

namespace {

// true when the bytes at data + at are text (of its length), within size.
bool At(const uint8_t* data, size_t size, size_t at, const char* text) {
  const size_t length = strlen(text);
  return size >= at + length && memcmp(data + at, text, length) == 0;
}

// The ISO base media file's major brand and compatible brands ("ftyp" box first) name the
// format: HEIF's still-picture brands, or AVIF's.
UnreadFormat IsoBrands(const uint8_t* data, size_t size) {
  if (!At(data, size, 4, "ftyp")) return UnreadNone;
  const size_t box = size_t(data[0]) << 24 | size_t(data[1]) << 16 | size_t(data[2]) << 8 | data[3];
  const size_t end = box < size ? box : size;
  bool heif = false;
  for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {  // major brand, version, list
    if (At(data, end, at, "avif") || At(data, end, at, "avis")) return UnreadAvif;
    for (const char* brand : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"}) {
      heif = heif || At(data, end, at, brand);
    }
  }
  return heif ? UnreadHeif : UnreadNone;
}

}  // namespace

UnreadFormat UnreadFormatOf(const uint8_t* data, size_t size) {
  if (data == nullptr) return UnreadNone;
  const UnreadFormat brand = IsoBrands(data, size);
  if (brand != UnreadNone) return brand;
  if (At(data, size, 0, "\xff\x0a") || At(data, size, 4, "JXL \x0d\x0a\x87\x0a")) {
    return UnreadJpegXl;
  }
  if (At(data, size, 0, "II*") || At(data, size, 0, "MM")) {
    if (size >= 4 && (data[0] == 'I' ? data[3] == 0 : data[2] == 0 && data[3] == '*')) {
      return UnreadTiff;
    }
  }
  if (At(data, size, 0, "%PDF-")) return UnreadPdf;
  // A drawing: an <svg element within the first bytes (after an XML declaration, comments).
  size_t start = At(data, size, 0, "\xef\xbb\xbf") ? 3 : 0;
  while (start < size && (data[start] == ' ' || data[start] == '\t' || data[start] == '\r' ||
                          data[start] == '\n')) {
    ++start;
  }
  if (start < size && data[start] == '<') {
    const size_t look = size - start < 1024 ? size - start : 1024;
    for (size_t at = start; at + 4 <= start + look; ++at) {
      if (At(data, size, at, "<svg")) return UnreadSvg;
    }
  }
  return UnreadNone;
}

const char* UnreadFormatName(UnreadFormat format) {
  switch (format) {
    case UnreadHeif: return "HEIF";
    case UnreadAvif: return "AVIF";
    case UnreadJpegXl: return "JPEG XL";
    case UnreadTiff: return "TIFF";
    case UnreadSvg: return "SVG";
    case UnreadPdf: return "PDF";
    case UnreadNone: break;
  }
  return "";
}

const char* UnreadFormatAdvice(UnreadFormat format) {
  switch (format) {
    case UnreadHeif:
      return "on Windows 10 or 11, Microsoft's HEIF Image Extensions read it; or save it as "
             "JPEG or PNG";
    case UnreadAvif:
      return "on Windows 10 or 11, Microsoft's AV1 Video Extension reads it; or save it as "
             "PNG or JPEG";
    case UnreadJpegXl: return "save it as PNG or JPEG";
    case UnreadTiff: return "Windows reads TIFF (gramconv.exe, Vantrel Fit); or save it as PNG";
    case UnreadSvg: return "a drawing, not pixels: export it as PNG";
    case UnreadPdf: return "a document: export the page as PNG";
    case UnreadNone: break;
  }
  return "";
}
