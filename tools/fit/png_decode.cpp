// libpng reports errors by a long jump, so nothing here has a destructor: the buffers are
// plain C allocations (released with free) held in volatile pointers across the jump.
#include "png_decode.h"

#include <png.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t pos;
  ReadWatch* watch;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t wanted) {
  Source& source = *static_cast<Source*>(png_get_io_ptr(png));
  if (wanted > source.size - source.pos) png_error(png, "cut short");
  if (!source.watch->Going(source.pos)) png_error(png, "stopped");
  memcpy(out, source.data + source.pos, wanted);
  source.pos += wanted;
}

void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// The pixels of a big picture are written once and read once: in huge pages their first
// touch costs one fault per 2 MiB instead of one per 4 KiB, a tenth of a 1920x1080 fit.
uint8_t* AllocatePixels(size_t bytes) {
#ifdef MADV_HUGEPAGE
  const size_t huge = size_t(2) << 20;
  if (bytes >= huge) {
    const size_t whole = (bytes + huge - 1) / huge * huge;
    void* pixels = aligned_alloc(huge, whole);
    if (pixels != nullptr) madvise(pixels, whole, MADV_HUGEPAGE);  // only advice: may fail
    return static_cast<uint8_t*>(pixels);
  }
#endif
  return static_cast<uint8_t*>(malloc(bytes));
}
void Ignore(png_structp, png_const_charp) {}

// libpng allocates an ancillary chunk (text, profile) at the length it declares before it
// reads the chunk, whatever its limits say: a 300-byte file could make it ask for gigabytes.
// A file is read only when every chunk up to IEND lies inside it; libpng would fail on any
// other when it got there, so refusing it first changes no outcome.
bool ChunksInFile(const uint8_t* data, size_t size) {
  if (size < 8) return false;
  for (size_t at = 8; size - at >= 12;) {
    const size_t length = size_t(data[at]) << 24 | size_t(data[at + 1]) << 16 |
                          size_t(data[at + 2]) << 8 | data[at + 3];
    if (length > size - at - 12) return false;
    if (memcmp(data + at + 4, "IEND", 4) == 0) return true;
    at += 12 + length;
  }
  return false;
}

}  // namespace

bool DecodePngWithLibpng(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                         RowSink& sink, ReadWatch& watch) {
  if (!ChunksInFile(data, size)) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  uint8_t* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    free(pixels);
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  Source source{data, size, 0, &watch};
  png_set_read_fn(png, &source, ReadFromMemory);
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  // stb_image checks no checksum; a file it reads must read the same here.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(png, info);
  png_set_expand(png);    // palette to RGB, grey below 8 bits scaled up, tRNS to alpha
  png_set_strip_16(png);  // the high byte, as stb_image keeps
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const unsigned channels = png_get_channels(png, info);
  const size_t rowBytes = size_t(width) * channels;
  if (png_get_bit_depth(png, info) != 8 || channels < 1 || channels > 4 ||
      png_get_image_width(png, info) != width || png_get_image_height(png, info) != height ||
      png_get_rowbytes(png, info) != rowBytes || width == 0 || height == 0) {
    png_error(png, "unexpected layout");
  }
  if (!sink.Start(width, height, channels)) png_error(png, "out of memory");
  if (passes == 1) {
    // Straight into the sink's room, a band at a time.
    for (png_uint_32 y = 0; y < height;) {
      uint32_t band = height - y;
      uint8_t* room = sink.Room(band);
      for (uint32_t k = 0; k < band; ++k) png_read_row(png, room + k * rowBytes, nullptr);
      sink.Filled(band);
      y += band;
    }
  } else {
    // Interlaced: no row is final before the last pass.
    pixels = AllocatePixels(rowBytes * height);
    rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
    if (pixels == nullptr || rows == nullptr) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + size_t(y) * rowBytes;
    png_read_image(png, rows);
  }
  png_read_end(png, nullptr);  // the file must go on to its end mark, as stb_image wants
  if (pixels != nullptr) sink.Take(pixels, height);

  free(pixels);
  free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}
