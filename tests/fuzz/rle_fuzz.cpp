// libFuzzer target: the RLE8/RLE4 expander. Besides the sanitizers' findings it aborts when
// an expansion breaks its contract: the plain bitmap must be the file's own headers marked
// uncompressed, exactly width x height rows of the same depth with zero padding; a refusal
// must name why in one line and leave the output alone.
#include <stdint.h>
#include <string.h>

#include "bmp_rle.h"
#include "fuzz_contract.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool StartsWith(const std::string& text, const char* head) {
  return text.compare(0, strlen(head), head) == 0;
}

// Checks an accepted expansion of data against its header.
void CheckPlain(const uint8_t* data, const RleBitmapHeader& header,
                const std::vector<uint8_t>& plain) {
  const size_t rowBytes = (size_t(header.width) * header.bits + 31) / 32 * 4;
  const size_t pixelBytes = rowBytes * header.height;
  if (plain.size() != header.pixelOffset + pixelBytes) {
    ContractFailure("%zu bytes expanded for %zu", plain.size(), header.pixelOffset + pixelBytes);
  }
  // Only the file size, the compression and the pixel bytes' count may change.
  for (size_t i = 0; i < header.pixelOffset; ++i) {
    const bool field = (i >= 2 && i < 6) || (i >= 30 && i < 38);
    if (!field && plain[i] != data[i]) ContractFailure("header byte %zu changed", i);
  }
  if (Le32(&plain[30]) != 0 || Le32(&plain[34]) != pixelBytes) {
    ContractFailure("expanded header says compression %u, %u pixel bytes", Le32(&plain[30]),
                    Le32(&plain[34]));
  }
  const uint64_t fileBytes = plain.size();
  if (Le32(&plain[2]) != (fileBytes <= UINT32_MAX ? fileBytes : 0)) {
    ContractFailure("expanded file size %u of %zu", Le32(&plain[2]), plain.size());
  }
  // Padding: past each row's last pixel, every bit is 0.
  const size_t usedBits = size_t(header.width) * header.bits;
  for (uint32_t y = 0; y < header.height; ++y) {
    const uint8_t* row = &plain[header.pixelOffset + y * rowBytes];
    for (size_t bit = usedBits; bit < rowBytes * 8; bit += 4) {
      if ((row[bit / 8] >> (bit % 8 == 0 ? 4 : 0) & 15) != 0) {
        ContractFailure("padding not zero in row %u at bit %zu", y, bit);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!IsRleBitmap(data, size)) return -1;
  RleBitmapHeader header;
  const std::string bad = ReadRleHeader(data, size, header);
  if (!bad.empty()) {
    CheckReason(bad, "RLE header");
    return 0;
  }
  if (header.bits != 4 && header.bits != 8)
    ContractFailure("an RLE header of %u bits", header.bits);
  if (header.pixelOffset < 54 || header.pixelOffset > size) {
    ContractFailure("pixels at %zu of a %zu-byte file", header.pixelOffset, size);
  }
  // The caller judges the size before expanding (100 million pixels); the fuzz build less.
  if (header.width == 0 || header.height == 0 ||
      uint64_t(header.width) * header.height > kFuzzMaxPixels) {
    return -1;
  }
  std::vector<uint8_t> plain = {0xa5};
  const std::string failure = ExpandRleBitmap(data, size, header, plain);
  if (failure.empty()) {
    CheckPlain(data, header, plain);
    return 0;
  }
  CheckReason(failure, "RLE expansion");
  if (failure != "the picture is cut short" && !StartsWith(failure, "the picture is damaged (")) {
    ContractFailure("RLE expansion refused with an unknown reason: %s", failure.c_str());
  }
  if (plain != std::vector<uint8_t>{0xa5})
    ContractFailure("a refused expansion changed its output");
  return 0;
}
