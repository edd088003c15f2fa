// libFuzzer target: the EXIF orientation reader. Every input is read as a picture file (JPEG,
// PNG or WebP by its first bytes, else nothing), and its bytes are also taken as EXIF's TIFF
// structure and wrapped in each of the three containers. Besides the sanitizers' findings, the
// harness aborts when an answer is outside 1-8 or when the three containers disagree about the
// same TIFF bytes (their walkers must hand it over whole).
#include <stdint.h>
#include <string.h>

#include <vector>

#include "fit_look.h"
#include "fuzz_contract.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutBe32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (24 - 8 * i)));
}
void PutLe32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// tiff in a JPEG's APP1 (it must fit a segment), a PNG's eXIf and an extended WebP's EXIF.
Bytes InJpeg(const uint8_t* tiff, size_t size) {
  const size_t length = size + 8;
  Bytes file = {0xff, 0xd8, 0xff, 0xe1, uint8_t(length >> 8), uint8_t(length), 'E', 'x',
                'i',  'f',  0,    0};
  file.insert(file.end(), tiff, tiff + size);
  file.insert(file.end(), {0xff, 0xd9});
  return file;
}
Bytes InPng(const uint8_t* tiff, size_t size) {
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  PutBe32(file, 13);
  file.insert(file.end(), {'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0, 0, 0, 0, 0});
  PutBe32(file, uint32_t(size));
  file.insert(file.end(), {'e', 'X', 'I', 'f'});
  file.insert(file.end(), tiff, tiff + size);
  file.insert(file.end(), {0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0});
  return file;
}
Bytes InWebp(const uint8_t* tiff, size_t size) {
  Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
  PutLe32(file, 10);
  file.insert(file.end(), {8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'E', 'X', 'I', 'F'});
  PutLe32(file, uint32_t(size));
  file.insert(file.end(), tiff, tiff + size);
  if (size % 2) file.push_back(0);
  const uint32_t riff = uint32_t(file.size() - 8);
  for (int i = 0; i < 4; ++i) file[4 + i] = uint8_t(riff >> (8 * i));
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int read = ExifOrientation(data, size);
  if (read < 1 || read > 8) ContractFailure("orientation %d from the file", read);
  // The same bytes as EXIF itself: every container gives the TIFF's own answer. (A TIFF
  // starting "Exif\0\0" reads differently in a WebP, which takes that prefix off.)
  if (size > 65000 || (size >= 6 && memcmp(data, "Exif\0\0", 6) == 0)) return 0;
  const Bytes files[3] = {InJpeg(data, size), InPng(data, size), InWebp(data, size)};
  int answers[3];
  for (int i = 0; i < 3; ++i) answers[i] = ExifOrientation(files[i].data(), files[i].size());
  if (answers[0] < 1 || answers[0] > 8 || answers[0] != answers[1] || answers[0] != answers[2]) {
    ContractFailure("containers disagree: JPEG %d, PNG %d, WebP %d", answers[0], answers[1],
                    answers[2]);
  }
  return 0;
}
