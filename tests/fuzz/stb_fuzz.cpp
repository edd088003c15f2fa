// libFuzzer target: stb_image's formats as gramconv reads them (DecodePicture with PNG left to
// stb too, RLE bitmaps expanded first), stopping after the decode. Besides the sanitizers'
// findings it aborts when the outcome breaks the contract (fuzz_contract.h) or when a stop
// asked for does not end the read as cancelled.
#include <stdint.h>

#include "bmp_rle.h"
#include "fuzz_contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An RLE bitmap is expanded whole before any sink sees it: one the header allows but the
  // fuzz cap does not would only cost time.
  RleBitmapHeader rle;
  if (IsRleBitmap(data, size) && ReadRleHeader(data, size, rle).empty()) {
    const uint64_t pixels = uint64_t(rle.width) * rle.height;
    if (pixels > kFuzzMaxPixels && pixels <= kMaxPicturePixels && rle.width <= kMaxPictureSide &&
        rle.height <= kMaxPictureSide) {
      return -1;
    }
  }
  // Every fifth length asks for a stop at one of the first reports.
  StoppingProgress progress(size % 5 == 0 ? 1 + uint32_t(size / 5 % 6) : 0);
  CheckingSink sink(0);
  const std::string failure = DecodePicture(data, size, sink, false, &progress);
  sink.CheckOutcome(failure);
  if (progress.stopAsked != (failure == kFitCancelled)) {
    ContractFailure("stop asked: %d, outcome: %s", int(progress.stopAsked), failure.c_str());
  }
  return 0;
}
