// Helpers shared by the core tests: a GRAM of the test's own, random fills, and a code
// page 932 conversion that does not depend on the compiler's charset handling.
#pragma once

#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "convert/gram_bitmap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace core_test {

// Three planes owned by the test, plus the GramPlanes view the codecs take.
struct TestGram {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(3 * kGramPlaneBytes, 0);

  uint8_t* Plane(int k) { return bytes.data() + k * kGramPlaneBytes; }
  GramPlanes Planes() { return {{Plane(0), Plane(1), Plane(2)}}; }
  void Fill(uint8_t value) { memset(bytes.data(), value, bytes.size()); }
  void FillPlane(int k, uint8_t value) { memset(Plane(k), value, kGramPlaneBytes); }
  bool operator==(const TestGram& other) const { return bytes == other.bytes; }
};

// Random bytes of three kinds, so runs of zeros and ones and sparse bits all occur:
// uniform bytes, sparse bits (about one in eight set), and bytes from a few patterns.
inline void FillRandom(std::mt19937& random, uint8_t* data, size_t size, int kind) {
  static const uint8_t kPatterns[] = {0x00, 0xFF, 0x55, 0xAA, 0x0F, 0xF0, 0x01, 0x80};
  for (size_t i = 0; i < size; ++i) {
    switch (kind % 3) {
      case 0: data[i] = uint8_t(random()); break;
      case 1: {
        uint8_t byte = 0;
        for (int b = 0; b < 8; ++b) byte |= uint8_t((random() % 8 == 0) << b);
        data[i] = byte;
        break;
      }
      default: data[i] = kPatterns[random() % sizeof kPatterns]; break;
    }
  }
}

// UTF-8 -> code page 932 through the platform's own tables (Windows' code page tables in
// the 32-bit build, the C library's iconv natively). Unmappable text yields "<unmappable>".
inline std::string Utf8ToCp932(const std::string& utf8) {
  const std::string failed = "<unmappable>";
  if (utf8.empty()) return std::string();
#ifdef _WIN32
  const int wideCount =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wideCount <= 0) return failed;
  std::vector<wchar_t> wide(size_t(wideCount) + 1);
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), wideCount);
  BOOL usedDefault = FALSE;
  const int count =
      WideCharToMultiByte(932, 0, wide.data(), wideCount, nullptr, 0, nullptr, &usedDefault);
  if (count <= 0 || usedDefault) return failed;
  std::string out(size_t(count), '\0');
  WideCharToMultiByte(932, 0, wide.data(), wideCount, &out[0], count, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == iconv_t(-1)) return failed;
  std::string in = utf8;
  std::string out(in.size() * 2 + 1, '\0');
  char* inPtr = &in[0];
  size_t inLeft = in.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  // Any count but 0 means something was replaced rather than converted.
  if (result != 0 || inLeft != 0) return failed;
  out.resize(out.size() - outLeft);
  return out;
#endif
}

}  // namespace core_test
