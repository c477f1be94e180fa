// Figures for the date-time value's formatting language.
#include <benchmark/benchmark.h>

#include "ce/memory.h"
#include "foundation/date_time.h"

namespace {

constexpr QelDateTimeFields kMarch5 = {45, 9, 7, 14, 5, 3, 2024};

// Into the caller's buffer, the common case; the target is under 1 µs.
void BM_FormatDateTimeIntoBuffer(benchmark::State& state) {
  qel::CQelDateTime* v = qel::CQelDateTime::Create(kMarch5);
  char16_t buffer[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(v->Format(u"%D%/%M%/%Y %h%:%N:%S.%L", -1, buffer, 64));
    benchmark::ClobberMemory();
  }
  v->Release();
}
BENCHMARK(BM_FormatDateTimeIntoBuffer);

// Into a new block of the local heap, freed each time.
void BM_FormatDateTimeIntoNewBlock(benchmark::State& state) {
  qel::CQelDateTime* v = qel::CQelDateTime::Create(kMarch5);
  for (auto _ : state) {
    char16_t* text = v->Format(u"%D%/%M%/%Y %h%:%N:%S.%L", -1, nullptr, 0);
    benchmark::DoNotOptimize(text);
    ce::LocalFree(text);
  }
  v->Release();
}
BENCHMARK(BM_FormatDateTimeIntoNewBlock);

}  // namespace
