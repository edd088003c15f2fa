// libFuzzer target: PNG files through libpng, inflating by ISA-L (DecodePngWithLibpng), in
// bands of rows of several sizes, after the palette chunks are made as libpng reads them
// (NormalisePngPalette, as DecodePicture does). Besides the sanitizers' findings it aborts when
// the rows break the contract (fuzz_contract.h), when a stop asked for is not honoured, when
// a normalised file needs normalising again, or when a file both libpng and stb_image accept
// gives different pixels.
#include <stdint.h>
#include <string.h>

#include "fuzz_contract.h"
#include "png_decode.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Whether the chunks stand in the one order both readers take alike: IHDR first, at most one
// PLTE and before the IDATs, the IDATs one after another, then IEND. In other orders each
// reader keeps its own rule (libpng the first PLTE and the first run of IDATs, stb_image the
// last PLTE and every IDAT), and the pixels may differ as the file is damaged.
bool OrderedChunks(const uint8_t* data, size_t size) {
  bool palette = false, pixels = false, pixelsEnded = false;
  for (size_t at = 8; size >= 8 && size - at >= 12;) {
    const uint32_t length = Be32(data + at);
    const uint8_t* type = data + at + 4;
    if (length > size - at - 12 || (at == 8) != (memcmp(type, "IHDR", 4) == 0)) return false;
    if (memcmp(type, "IEND", 4) == 0) return pixels;
    if (memcmp(type, "PLTE", 4) == 0) {
      if (palette || pixels) return false;
      palette = true;
    }
    if (memcmp(type, "IDAT", 4) == 0) {
      if (pixelsEnded) return false;
      pixels = true;
    } else {
      pixelsEnded = pixels;
    }
    at += 12 + size_t(length);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The size the caller judged: the first chunk's, where a PNG's IHDR stands. A file whose
  // IHDR says otherwise must be refused by libpng.
  const uint32_t width = size >= 24 ? Be32(data + 16) : 1,
                 height = size >= 24 ? Be32(data + 20) : 1;
  if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
      uint64_t(width) * height > kMaxPicturePixels) {
    return -1;  // refused before any decoder, by the size check
  }
  static const uint32_t kBands[] = {0, 1, 3, 16};
  CheckingSink sink(kBands[size % 4]);
  StoppingProgress progress(size % 7 == 0 ? 1 + uint32_t(size / 7 % 5) : 0);
  // libpng reads the file as DecodePicture gives it, its palette chunks as libpng keeps them.
  std::vector<uint8_t> normalised;
  const bool copied = NormalisePngPalette(data, size, normalised);
  const uint8_t* file = copied ? normalised.data() : data;
  const size_t bytes = copied ? normalised.size() : size;
  std::vector<uint8_t> twice;
  if (copied && NormalisePngPalette(file, bytes, twice)) {
    ContractFailure("a PNG's palette chunks need normalising again after normalising");
  }
  ReadWatch watch{&progress, bytes};
  const bool read = DecodePngWithLibpng(file, bytes, width, height, sink, watch);
  sink.CheckOutcome(read ? "" : "libpng refused");
  if (watch.stopped != progress.stopAsked || (read && watch.stopped)) {
    ContractFailure("stop asked: %d, watch stopped: %d, read: %d", int(progress.stopAsked),
                    int(watch.stopped), int(read));
  }
  if (read && (sink.width != width || sink.height != height)) {
    ContractFailure("libpng gave %ux%u for a %ux%u header", sink.width, sink.height, width, height);
  }
  if (!read || !OrderedChunks(data, size)) return 0;

  // The same pixels as stb_image, where it reads the file too.
  CheckingSink stb(0);
  const std::string failure = DecodePicture(data, size, stb, false);
  stb.CheckOutcome(failure);
  if (failure.empty() && (stb.channels != sink.channels || stb.pixels != sink.pixels)) {
    size_t at = 0;
    while (at < stb.pixels.size() && at < sink.pixels.size() && stb.pixels[at] == sink.pixels[at])
      ++at;
    const auto byte = [at](const CheckingSink& from) {
      return at < from.pixels.size() ? int(from.pixels[at]) : -1;
    };
    ContractFailure("libpng and stb_image differ: %u and %u channels, first at byte %zu (%d, %d)",
                    sink.channels, stb.channels, at, byte(sink), byte(stb));
  }
  return 0;
}
