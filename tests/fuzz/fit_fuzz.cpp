// libFuzzer target: every input is a picture file handed to the fit, in a resolution and a
// dither mode taken from its length. Besides the sanitizers' findings, the harness aborts when
// the outcome breaks the contract: a refusal without a one-line plain-text reason or with the
// output touched, or an accepted picture whose pixel data is not the canvas in colours 0 to 7.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "picture_fit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Resolution res = size % 2 ? Res320 : Res640;
  const DitherMode dither = DitherMode(size / 2 % 3);
  std::vector<uint8_t> pixels = {0xff};
  const std::string failure = FitPicture(data, size, res, dither, pixels);
  if (!failure.empty()) {
    bool plain = true;  // one line of printable text
    for (char c : failure) plain = plain && c >= 0x20 && c <= 0x7e;
    if (!plain || pixels != std::vector<uint8_t>{0xff}) {
      fprintf(stderr, "bad refusal: %s\n", failure.c_str());
      abort();
    }
    return 0;
  }
  if (pixels.size() != PixelDataBytes(res)) abort();
  for (uint8_t byte : pixels) {
    if ((byte & 0x88) != 0) abort();  // a nibble above 7
  }
  return 0;
}
