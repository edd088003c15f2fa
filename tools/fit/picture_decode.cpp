// stb_image over a memory reader that notices when the decoder wants bytes past the end:
// stb itself reads zeros there, so a cut-short BMP, TGA or PSD would otherwise decode
// "successfully" with black rows.
#include "picture_decode.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "bmp_rle.h"
#include "format_hint.h"
#include "read_watch.h"
#ifdef FIT_LIBPNG
#include "png_decode.h"
#endif
#ifdef FIT_LIBWEBP
#include "webp_decode.h"
#endif
#ifdef _WIN32
#include "wic_decode_win32.h"
#endif

// Only the formats users bring; PIC and HDR stay out of reach of hostile files.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PNM
#define STBI_ONLY_PSD
#define STBI_MAX_DIMENSIONS 65536
// Pixels are malloc'd whichever decoder made them, and released with free.
#define STBI_MALLOC(size) malloc(size)
#define STBI_REALLOC(pointer, size) realloc(pointer, size)
#define STBI_FREE(pointer) free(pointer)

#include "stb_image.h"  // a system header: its own warnings are not ours

static_assert(STBI_MAX_DIMENSIONS == kMaxPictureSide, "one limit on a side");

namespace {

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  // The decoder's own read-ahead buffer: stb fills it 128 bytes at a time, and a short fill
  // at the end of a whole file is normal. Any other short read is a block the file lacks.
  const char* refillBuffer = nullptr;
  bool starved = false;  // the decoder wanted bytes the file does not have
  ReadWatch* watch = nullptr;
};

int ReadBytes(void* user, char* out, int wanted) {
  MemoryReader& r = *static_cast<MemoryReader*>(user);
  if (r.refillBuffer == nullptr) r.refillBuffer = out;  // the first read is always a fill
  if (wanted <= 0) return 0;
  if (r.watch != nullptr && !r.watch->Going(r.pos)) return 0;  // as at the end of the file
  const size_t left = r.size - r.pos;
  const size_t n = size_t(wanted) < left ? size_t(wanted) : left;
  if (n == 0 || (n < size_t(wanted) && out != r.refillBuffer)) r.starved = true;
  memcpy(out, r.data + r.pos, n);
  r.pos += n;
  return int(n);
}

// Skipping past the end reads nothing: a missing last row padding harms no pixel.
void SkipBytes(void* user, int n) {
  MemoryReader& r = *static_cast<MemoryReader*>(user);
  if (n < 0) {
    r.pos -= size_t(-(long long)n) < r.pos ? size_t(-(long long)n) : r.pos;
  } else {
    r.pos += size_t(n) < r.size - r.pos ? size_t(n) : r.size - r.pos;
  }
}

int AtEnd(void* user) {
  const MemoryReader& r = *static_cast<const MemoryReader*>(user);
  return r.pos >= r.size || (r.watch != nullptr && r.watch->stopped);
}

const stbi_io_callbacks kCallbacks = {ReadBytes, SkipBytes, AtEnd};

const char kUnknown[] = "not a picture gramconv can read (unknown format or damaged file)";

// The formats read by gramconv's own decoders in this build.
#ifdef FIT_LIBWEBP
const char kOwnFormats[] = "PNG, JPEG, GIF, BMP, TGA, PNM, PSD, WebP";
#else
const char kOwnFormats[] = "PNG, JPEG, GIF, BMP, TGA, PNM, PSD";
#endif

// kUnknown with the formats this machine reads: gramconv's own, and on Windows those its
// imaging component adds. A format known not to be read here is named, with what reads it.
std::string UnknownFormat(const uint8_t* data, size_t size) {
  const UnreadFormat unread = UnreadFormatOf(data, size);
  if (unread != UnreadNone) {
    return std::string("a ") + UnreadFormatName(unread) + " picture gramconv cannot read (" +
           UnreadFormatAdvice(unread) + ")";
  }
  std::string formats = kOwnFormats;
#ifdef _WIN32
  const std::string more = WicFormats(formats);
  if (!more.empty()) formats += "; through Windows " + more;
#endif
  std::string message = kUnknown;
  message.insert(message.size() - 1, "; reads " + formats);
  return message;
}

// Debian's stb_image trusts the counts of a JPEG Huffman table: counts adding up to more than
// 256 codes write past its tables. It also decodes a scan with whatever its memory holds for
// a Huffman or quantization table the file never defined, so indices come from stale bytes
// and read far outside its tables. No valid JPEG has either, so the marker segments are
// walked the way stb walks them (fill bytes skipped, lengths followed, the bytes between
// markers passed over, tables noted as defined) and such a file is refused before stb reads
// it. Returns nullptr, or why not.
const char* JpegTablesProblem(const uint8_t* data, size_t size) {
  size_t i = 0;
  if (size == 0 || data[0] != 0xff) return nullptr;
  while (i < size && data[i] == 0xff) ++i;
  if (i >= size || data[i] != 0xd8) return nullptr;  // not a JPEG
  ++i;
  bool quant[4] = {}, huffman[2][4] = {};  // defined so far: DQT's, DHT's DC and AC tables
  uint8_t ids[4] = {}, tables[4] = {};     // the frame's components and their DQT tables
  int components = -1;                     // none before the frame header
  bool progressive = false;
  while (i + 1 < size) {
    if (data[i] != 0xff || data[i + 1] == 0xff) {
      ++i;
      continue;
    }
    const uint8_t marker = data[i + 1];
    i += 2;
    // Stuffed bytes, restart markers and SOI carry no length; stb stops at EOI.
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) continue;
    if (marker == 0xd9 || i + 2 > size) break;
    const long length = long(data[i]) << 8 | data[i + 1];
    const uint8_t* segment = data + i + 2;
    const size_t payload = length >= 2 ? size_t(length - 2) : 0;
    const size_t have = std::min(size - i - 2, payload);  // the segment's bytes in the file
    if (marker == 0xc4) {
      // Tables follow one another while the segment has bytes left; stb reads each whole.
      long left = length - 2;
      size_t at = i + 2;
      while (left > 0 && at < size) {
        long codes = 0;
        for (size_t k = at + 1; k < at + 17 && k < size; ++k) codes += data[k];
        if (codes > 256) {
          return "the picture is damaged (a JPEG Huffman table lists more than 256 codes)";
        }
        if (data[at] >> 4 > 1 || (data[at] & 15) > 3) break;  // stb refuses the table
        huffman[data[at] >> 4][data[at] & 15] = true;
        at += size_t(17 + codes);
        left -= 17 + codes;
      }
      if (left != 0) break;  // stb refuses the segment
    } else if (marker == 0xdb) {
      for (size_t at = 0; at < have && segment[at] >> 4 <= 1 && (segment[at] & 15) <= 3;) {
        quant[segment[at] & 15] = true;
        at += segment[at] >> 4 ? 129 : 65;
      }
    } else if (marker >= 0xc0 && marker <= 0xc2 && components < 0 && have >= 6) {
      progressive = marker == 0xc2;
      components = 0;
      for (size_t k = 0; k < segment[5] && k < 4 && 8 + 3 * k < have; ++k, ++components) {
        ids[k] = segment[6 + 3 * k];
        tables[k] = segment[8 + 3 * k] & 3;  // stb refuses more than 3
      }
    } else if (marker == 0xda && components >= 0 && have >= 1) {
      const size_t count = segment[0];
      if (have < 4 + 2 * count) break;  // stb refuses the scan
      const uint8_t start = segment[1 + 2 * count], high = segment[3 + 2 * count] >> 4;
      for (size_t k = 0; k < count; ++k) {
        const uint8_t id = segment[1 + 2 * k], dc = segment[2 + 2 * k] >> 4,
                      ac = segment[2 + 2 * k] & 15;
        int c = 0;
        while (c < components && ids[c] != id) ++c;
        if (c == components || dc > 3 || ac > 3) return nullptr;  // stb refuses the scan
        // The tables this scan decodes with: baseline both, a progressive DC scan its DC
        // table (none when refining), an AC scan its AC table.
        const bool needDc = !progressive || (start == 0 && high == 0);
        const bool needAc = !progressive || start != 0;
        if (!quant[tables[c]] || (needDc && !huffman[0][dc]) || (needAc && !huffman[1][ac])) {
          return "the picture is damaged (a JPEG scan uses a table the file does not define)";
        }
      }
    }
    i += size_t(length);
  }
  return nullptr;
}

// Debian's stb_image reads a PNM header's numbers into an int with no bound, so a number past
// INT_MAX overflows it. The header is scanned by stb's own rules (whitespace and '#' comments
// to the end of the line skipped, then width, height and largest value) and such a number is
// refused first; smaller ones get stb's and the size check's own reasons.
bool PnmNumbersFit(const uint8_t* data, size_t size) {
  if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return true;
  const auto space = [](uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  size_t i = 2;
  for (int number = 0; number < 3; ++number) {
    for (;;) {
      while (i < size && space(data[i])) ++i;
      if (i >= size || data[i] != '#') break;
      while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
    }
    uint64_t value = 0;
    for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i) {
      value = value * 10 + uint64_t(data[i] - '0');
      if (value > uint64_t(INT_MAX)) return false;
    }
  }
  return true;
}

}  // namespace

// The chunk rules libpng and stb_image read differently, settled by libpng's, so both readers
// give one picture: a palette picture's PLTE counts up to 2^depth entries (libpng cuts the
// rest, stb keeps them and so lets a tRNS that long through), and a tRNS chunk libpng passes
// over is one stb refuses or applies (before PLTE or after IDAT, a second one, empty or longer
// than the palette, the wrong length for grey or RGB, in a picture with alpha), and a grey
// tRNS value past what a grey below 8 bits can hold (libpng keeps its low bits, stb its low
// byte scaled). Both read a copy without such tRNS chunks, the grey value cut to its bits,
// whose PLTE has exactly 2^depth entries, padded with black:
// stb leaves entries past PLTE's unset (its own stack memory) where libpng gives black. Other
// PLTE chunks (a second, one after IDAT, one of a bad length) are left for both to refuse.
// Neither reader checks the rewritten chunk's CRC (libpng is told not to).
// true: normalised holds the copy; false: the file needs none.
bool NormalisePngPalette(const uint8_t* data, size_t size, std::vector<uint8_t>& normalised) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const auto be32 = [](const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  };
  if (size < 33 || memcmp(data, kSignature, 8) != 0 || memcmp(data + 12, "IHDR", 4) != 0) {
    return false;
  }
  const uint8_t depth = data[24], colour = data[25];
  const bool indexed = colour == 3;
  if (indexed && depth != 1 && depth != 2 && depth != 4 && depth != 8) return false;  // refused
  const uint32_t entries = indexed ? 1u << depth : 0;  // the palette's length in the copy
  // The chunks that change, by offset.
  enum Change { RewritePalette, DropTransparency, CutGrey };
  std::vector<std::pair<size_t, Change>> changes;
  uint32_t paletteEntries = 0;  // as libpng keeps them
  bool palette = false, pixels = false, transparency = false;
  for (size_t at = 8; size - at >= 12;) {
    const uint32_t length = be32(data + at);
    const uint8_t* type = data + at + 4;
    if (length > size - at - 12 || memcmp(type, "IEND", 4) == 0) break;
    if (memcmp(type, "IDAT", 4) == 0) pixels = true;
    if (memcmp(type, "PLTE", 4) == 0 && !palette && !pixels) {
      palette = true;
      if (indexed && length > 0 && length <= 768 && length % 3 == 0) {
        paletteEntries = std::min(length / 3, entries);
        if (length != 3 * entries) changes.emplace_back(at, RewritePalette);
      }
    } else if (memcmp(type, "tRNS", 4) == 0) {
      const bool kept = !pixels && !transparency &&
                        (colour == 0   ? length == 2
                         : colour == 2 ? length == 6
                         : indexed     ? length > 0 && length <= paletteEntries
                                       : false);
      if (!kept) {
        changes.emplace_back(at, DropTransparency);
      } else if (colour == 0 && depth < 8 && (uint32_t(type[4]) << 8 | type[5]) >> depth != 0) {
        changes.emplace_back(at, CutGrey);
      }
      transparency = transparency || kept;
    }
    at += 12 + size_t(length);
  }
  if (changes.empty()) return false;
  normalised.clear();
  normalised.reserve(size + 768);
  size_t from = 0;  // copied up to here
  for (const auto& [at, change] : changes) {
    normalised.insert(normalised.end(), data + from, data + at);
    const uint32_t length = be32(data + at);
    from = at + 12 + size_t(length);
    if (change == DropTransparency) continue;
    if (change == CutGrey) {
      const uint8_t value[2] = {0, uint8_t(data[at + 9] & ((1u << depth) - 1))};
      normalised.insert(normalised.end(), data + at, data + at + 8);
      normalised.insert(normalised.end(), value, value + 2);
      normalised.insert(normalised.end(), data + from - 4, data + from);  // the old CRC
      continue;
    }
    const uint32_t bytes = 3 * entries, keep = std::min(length, bytes);
    const uint8_t head[8] = {0, 0, uint8_t(bytes >> 8), uint8_t(bytes), 'P', 'L', 'T', 'E'};
    normalised.insert(normalised.end(), head, head + 8);
    normalised.insert(normalised.end(), data + at + 8, data + at + 8 + keep);
    normalised.resize(normalised.size() + bytes - keep, 0);
    normalised.insert(normalised.end(), data + from - 4, data + from);  // the old CRC
  }
  normalised.insert(normalised.end(), data + from, data + size);
  return true;
}

namespace {

// Words for what stb reports; its own short reason is kept for the rest.
std::string Reason(const std::string& stb, bool starved) {
  if (stb == "unknown image type") return kUnknown;
  if (stb == "outofmem") return "not enough memory to read the picture";
  if (stb == "0-pixel image" || stb == "0 width") return "the picture has no pixels";
  if (stb == "too large") {
    return "the picture is too large; gramconv takes at most " + std::to_string(kMaxPicturePixels) +
           " pixels and " + std::to_string(kMaxPictureSide) + " on a side";
  }
  if (starved) return "the picture is cut short";
  if (stb.empty()) return "the picture is damaged or in a form gramconv cannot read";
  return "the picture is damaged or in a form gramconv cannot read (" + stb + ")";
}

// stb's reason as plain text: some reasons quote bytes of the file (an unknown PNG chunk's
// name), which may be anything.
std::string StbReason() {
  std::string reason = stbi_failure_reason() != nullptr ? stbi_failure_reason() : "";
  for (char& c : reason) {
    if (c < 0x20 || c > 0x7e) c = '?';
  }
  return reason;
}

std::string FailureReason(const MemoryReader& reader) {
  return Reason(StbReason(), reader.starved);
}

// stb's info tries every format in turn and then says only "unknown image type". A file that
// starts like a PNG, JPEG or BMP is given to that format's header reader alone, for its own
// reason and, for PNG and JPEG, the size it stored before refusing it (then sizeRefused).
std::string HeaderRefusal(const uint8_t* data, size_t size, bool& sizeRefused) {
  sizeRefused = false;
  MemoryReader reader{data, size};
  stbi_io_callbacks callbacks = kCallbacks;
  stbi__context context{};
  stbi__start_callbacks(&context, &callbacks, &reader);
  int x = 0, y = 0, comp = 0;
  bool sized = true;
  // The format's own reason only: a test that failed before it (PNG's signature) leaves its
  // reason behind, and some refusals (a JPEG table segment of the wrong length) set none.
  const auto forget = [] { stbi__g_failure_reason = nullptr; };
  if (stbi__png_test(&context)) {
    if (stbi__png_info(&context, &x, &y, &comp)) return kUnknown;
  } else if (stbi__jpeg_test(&context)) {
    forget();
    if (stbi__jpeg_info(&context, &x, &y, &comp)) return kUnknown;
  } else if (stbi__bmp_test(&context)) {
    forget();
    if (stbi__bmp_info(&context, &x, &y, &comp)) return kUnknown;
    sized = false;
  } else {
    return kUnknown;
  }
  const std::string stb = StbReason();
  if (sized && (stb == "too large" || stb == "0-pixel image" || stb == "0 width")) {
    const std::string refusal = JudgeSize(context.img_x, context.img_y);
    sizeRefused = !refusal.empty();
    if (sizeRefused) return refusal;
  }
  sizeRefused = stb == "too large";
  return Reason(stb, reader.starved);
}

}  // namespace

const char kFitCancelled[] = "cancelled";

std::string JudgeSize(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) return "the picture has no pixels";
  const uint64_t pixels = uint64_t(width) * height;
  const std::string declared =
      "the picture is " + std::to_string(width) + "x" + std::to_string(height);
  if (pixels > kMaxPicturePixels) {
    return declared + " = " + std::to_string(pixels) + " pixels; gramconv takes at most " +
           std::to_string(kMaxPicturePixels);
  }
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    return declared + "; gramconv takes at most " + std::to_string(kMaxPictureSide) +
           " pixels on a side";
  }
  return "";
}

DecodedPicture::~DecodedPicture() { free(pixels); }

std::string DecodePicture(const uint8_t* data, size_t size, RowSink& sink, bool libpngForPng,
                          FitProgress* progress, int* orientation) {
#ifndef _WIN32
  (void)orientation;  // only the Windows Imaging Component states one
#endif
  if (size == 0) return "the file is empty";
  if (size > size_t(INT_MAX)) return "the file is too large to be a picture gramconv reads";

  // stb refuses RLE bitmaps: they are expanded here, once their size is judged, into the
  // same bitmap uncompressed.
  std::vector<uint8_t> expanded;
  if (IsRleBitmap(data, size)) {
    RleBitmapHeader rle;
    std::string bad = ReadRleHeader(data, size, rle);
    if (bad.empty()) bad = JudgeSize(rle.width, rle.height);
    if (bad.empty()) bad = ExpandRleBitmap(data, size, rle, expanded);
    if (!bad.empty()) return bad;
    data = expanded.data();
    size = expanded.size();
  }

#ifdef FIT_LIBWEBP
  if (IsWebp(data, size)) {
    ReadWatch watch{progress, size};
    return DecodeWebp(data, size, sink, watch);
  }
#endif

  std::vector<uint8_t> normalised;  // a PNG as both its readers are to read it
  if (NormalisePngPalette(data, size, normalised)) {
    data = normalised.data();
    size = normalised.size();
  }
  if (const char* jpeg = JpegTablesProblem(data, size)) return jpeg;
  if (!PnmNumbersFit(data, size)) {
    return "the picture is damaged or too large (a PNM header number past what it can be)";
  }
  ReadWatch watch{progress, size};
  // The header first: the size is judged before anything is allocated for the pixels. From
  // memory: stb tries one format's header after another, and rewinding a reader of callbacks
  // takes it back only to its last 128-byte fill, so after a long header (a JPEG's tables, a
  // BMP's V5 header) the next format would read a later part of the file as its start (a PNM
  // header's numbers there overflowing stb's int).
  int width = 0, height = 0, comp = 0;
  if (!stbi_info_from_memory(data, int(size), &width, &height, &comp)) {
    bool sizeRefused = false;
    const std::string refusal = HeaderRefusal(data, size, sizeRefused);
#ifdef _WIN32
    // What stb cannot read may be a format Windows reads; a size refused stays refused.
    if (!sizeRefused) {
      const std::string byWindows = DecodeWithWic(data, size, sink, watch, orientation);
      if (byWindows != kWicNoDecoder) return byWindows;
    }
#endif
    return refusal == kUnknown ? UnknownFormat(data, size) : refusal;
  }
  if (width <= 0 || height <= 0) return "the picture has no pixels";
  const std::string refusal = JudgeSize(uint32_t(width), uint32_t(height));
  if (!refusal.empty()) return refusal;

#ifdef FIT_LIBPNG
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (libpngForPng && size >= 8 && memcmp(data, kPngSignature, 8) == 0) {
    if (DecodePngWithLibpng(data, size, uint32_t(width), uint32_t(height), sink, watch)) {
      return "";
    }
    if (watch.stopped) return kFitCancelled;
  }
#else
  (void)libpngForPng;
#endif

  // Decoded in the file's own channels (1 to 4): stb's conversion to another count would
  // cost a pass over the picture, and for 16-bit PNM files it reads past its buffer.
  MemoryReader body{data, size};
  body.watch = &watch;
  int w = 0, h = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_callbacks(&kCallbacks, &body, &w, &h, &channels, 0);
  if (watch.stopped) {
    stbi_image_free(pixels);
    return kFitCancelled;
  }
  if (pixels == nullptr) {
    const std::string failure = FailureReason(body);
#ifdef _WIN32
    // A form of PNG or JPEG stb does not know may still be one Windows reads; a file cut
    // short is not given a second try.
    if (!body.starved && failure != "not enough memory to read the picture") {
      const std::string byWindows = DecodeWithWic(data, size, sink, watch, orientation);
      if (byWindows.empty() || byWindows == kFitCancelled) return byWindows;
    }
#endif
    return failure == kUnknown ? UnknownFormat(data, size) : failure;
  }
  if (body.starved || w != width || h != height || channels < 1 || channels > 4) {
    stbi_image_free(pixels);
    return body.starved ? "the picture is cut short"
                        : "the picture is damaged (its size changes while it is read)";
  }
  const bool started = sink.Start(uint32_t(w), uint32_t(h), uint32_t(channels));
  if (started) sink.Take(pixels, uint32_t(h));
  stbi_image_free(pixels);
  return started ? "" : "not enough memory to read the picture";
}

namespace {

// Gathers the rows into one buffer.
class WholePicture final : public RowSink {
 public:
  bool Start(uint32_t width, uint32_t height, uint32_t channels) override {
    free(picture.pixels);
    picture.pixels = static_cast<uint8_t*>(malloc(size_t(width) * height * channels));
    picture.width = width;
    picture.height = height;
    picture.channels = channels;
    made = 0;
    return picture.pixels != nullptr;
  }
  uint8_t* Room(uint32_t& rows) override {
    rows = std::min(rows, picture.height - made);
    return picture.pixels + RowBytes() * made;
  }
  void Filled(uint32_t rows) override { made += rows; }
  void Take(const uint8_t* pixels, uint32_t rows) override {
    memcpy(Room(rows), pixels, RowBytes() * rows);
    made += rows;
  }

  DecodedPicture picture;
  uint32_t made = 0;

 private:
  size_t RowBytes() const { return size_t(picture.width) * picture.channels; }
};

}  // namespace

std::string DecodePicture(const uint8_t* data, size_t size, DecodedPicture& picture,
                          bool libpngForPng) {
  WholePicture whole;
  const std::string failure = DecodePicture(data, size, whole, libpngForPng);
  if (!failure.empty()) return failure;
  std::swap(picture.pixels, whole.picture.pixels);
  picture.width = whole.picture.width;
  picture.height = whole.picture.height;
  picture.channels = whole.picture.channels;
  return "";
}
