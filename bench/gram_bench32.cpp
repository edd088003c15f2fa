// Codec speed of the 32-bit build against the memory-traffic floor, a memcpy of the largest
// pixel block, timed with the performance counter. Prints each codec's median time per call
// and its ratio to memcpy from the same run: first the path the plug-in takes, then every
// level this processor offers.
//
//   scripts/run32.sh build/mingw32/bench/gram_bench32.exe [--quick]
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "convert/gram_bitmap.h"
#include "convert/gram_codec_simd.h"

namespace {

uint8_t gPlanes[3][kGramPlaneBytes];
uint8_t gPixels[kMaxPixelBytes];
uint8_t gCopy[kMaxPixelBytes];

// A call through a volatile pointer, so the compiler cannot drop or shorten the copy.
void* (*volatile gMemcpy)(void*, const void*, size_t) = memcpy;

struct Timing {
  int samples;
  int callsPerSample;
};

double Now() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) * 1e9 / double(frequency.QuadPart);
}

// Median nanoseconds per call of fn over the samples.
template <typename Fn>
double MedianNs(const Timing& timing, Fn fn) {
  fn();  // warm the caches and the branch predictors
  std::vector<double> perCall;
  for (int s = 0; s < timing.samples; ++s) {
    const double start = Now();
    for (int i = 0; i < timing.callsPerSample; ++i) fn();
    perCall.push_back((Now() - start) / timing.callsPerSample);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

void Report(const char* name, double ns, double memcpyNs) {
  printf("%-28s %10.0f ns %8.2f x memcpy\n", name, ns, ns / memcpyNs);
}

// One codec (both directions, both resolutions) at a level, or the dispatching entry points.
void Measure(const Timing& timing, const char* suffix, bool dispatch, CodecLevel level,
             double memcpyNs) {
  const GramPlanes planes = {{gPlanes[0], gPlanes[1], gPlanes[2]}};
  for (Resolution res : {Res640, Res320}) {
    char name[64];
    snprintf(name, sizeof name, "EncodeGram/%u%s", BitmapWidth(res), suffix);
    Report(name,
           MedianNs(timing,
                    [&] {
                      if (dispatch) {
                        EncodeGram(planes, res, gPixels);
                      } else {
                        EncodeGramAtLevel(level, planes, res, gPixels);
                      }
                    }),
           memcpyNs);
  }
  for (Resolution res : {Res640, Res320}) {
    char name[64];
    snprintf(name, sizeof name, "DecodeGram/%u%s", BitmapWidth(res), suffix);
    Report(name,
           MedianNs(timing,
                    [&] {
                      if (dispatch) {
                        DecodeGram(gPixels, res, planes);
                      } else {
                        DecodeGramAtLevel(level, gPixels, res, planes);
                      }
                    }),
           memcpyNs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
  const Timing timing = quick ? Timing{3, 2} : Timing{41, 40};
  uint32_t seed = 2024;
  for (auto& plane : gPlanes) {
    for (uint8_t& byte : plane) byte = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
  }
  for (uint8_t& byte : gPixels) byte = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);

  printf("Codec path: %s; levels on this processor:", CodecLevelName(VectorLevel()));
  for (uint32_t level = 0; level < kCodecLevels; ++level) {
    if (CodecLevelAvailable(CodecLevel(level))) printf(" %s", CodecLevelName(CodecLevel(level)));
  }
  printf("\nmedian of %d samples of %d calls\n", timing.samples, timing.callsPerSample);
  const double memcpyNs = MedianNs(timing, [] { gMemcpy(gCopy, gPixels, kMaxPixelBytes); });
  Report("Memcpy64000", memcpyNs, memcpyNs);
  Measure(timing, "", true, LevelPortable, memcpyNs);
  for (uint32_t level = 0; level < kCodecLevels; ++level) {
    if (!CodecLevelAvailable(CodecLevel(level))) continue;
    char suffix[32];
    snprintf(suffix, sizeof suffix, " (%s)", CodecLevelName(CodecLevel(level)));
    Measure(timing, suffix, false, CodecLevel(level), memcpyNs);
  }
  return 0;
}
