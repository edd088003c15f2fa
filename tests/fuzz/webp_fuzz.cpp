// libFuzzer target: WebP files through libwebp as gramconv reads them (DecodePicture: the
// header judged, a still picture fed in pieces, an animation's first frame composited),
// stopping after the decode. Besides the sanitizers' findings it aborts when the outcome
// breaks the contract (fuzz_contract.h) or when a stop asked for does not end as cancelled.
#include <stdint.h>

#include "fuzz_contract.h"
#include "webp/decode.h"
#include "webp_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!IsWebp(data, size)) return -1;  // other formats are the other targets' work
  // An animation's canvas is made whole by libwebp (not ours to cap) before any sink sees
  // it: one the header allows but the fuzz cap does not would only cost time and memory.
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
      uint64_t(features.width) * uint64_t(features.height) > kFuzzMaxPixels) {
    return -1;
  }
  // Every fifth length asks for a stop at one of the first reports.
  StoppingProgress progress(size % 5 == 0 ? 1 + uint32_t(size / 5 % 6) : 0);
  CheckingSink sink(0);
  const std::string failure = DecodePicture(data, size, sink, true, &progress);
  sink.CheckOutcome(failure);
  if (progress.stopAsked != (failure == kFitCancelled)) {
    ContractFailure("stop asked: %d, outcome: %s", int(progress.stopAsked), failure.c_str());
  }
  return 0;
}
