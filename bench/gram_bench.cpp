// Codec speed against the memory-traffic floor: a memcpy of the largest pixel block.
#include <benchmark/benchmark.h>
#include <string.h>

#include <random>

#include "convert/gram_bitmap.h"

namespace {

struct BenchData {
  uint8_t planes[3][kGramPlaneBytes];
  uint8_t pixels[kMaxPixelBytes];
  uint8_t copy[kMaxPixelBytes];

  BenchData() {
    std::mt19937 random(2024);
    for (auto& plane : planes) {
      for (uint8_t& byte : plane) byte = uint8_t(random());
    }
    for (uint8_t& byte : pixels) byte = uint8_t(random());
  }

  GramPlanes Planes() { return {{planes[0], planes[1], planes[2]}}; }
};

BenchData& Data() {
  static BenchData data;
  return data;
}

void BM_EncodeGram(benchmark::State& state) {
  BenchData& data = Data();
  const Resolution res = state.range(0) == 320 ? Res320 : Res640;
  const GramPlanes planes = data.Planes();
  for (auto _ : state) {
    EncodeGram(planes, res, data.pixels);
    benchmark::DoNotOptimize(data.pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * PixelDataBytes(res));
}

void BM_DecodeGram(benchmark::State& state) {
  BenchData& data = Data();
  const Resolution res = state.range(0) == 320 ? Res320 : Res640;
  const GramPlanes planes = data.Planes();
  for (auto _ : state) {
    DecodeGram(data.pixels, res, planes);
    benchmark::DoNotOptimize(data.planes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * PixelDataBytes(res));
}

void BM_Memcpy64000(benchmark::State& state) {
  BenchData& data = Data();
  for (auto _ : state) {
    memcpy(data.copy, data.pixels, kMaxPixelBytes);
    benchmark::DoNotOptimize(data.copy);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMaxPixelBytes);
}

}  // namespace

BENCHMARK(BM_EncodeGram)->Arg(640)->Arg(320);
BENCHMARK(BM_DecodeGram)->Arg(640)->Arg(320);
BENCHMARK(BM_Memcpy64000);

BENCHMARK_MAIN();
