// Making a terminal whose profile puts n files in one folder: linear in n
// (issue 6 measured 2,000 files 0.61 s, 4,000 2.3 s, 8,000 9.4 s before).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "ce/sim/control.h"

namespace {

void BM_MakeTerminalWithFilesInOneFolder(benchmark::State& state) {
  ce::sim::Json profile = {
      {"name", "many"}, {"hardware", ce::sim::Json::object()}, {"files", ce::sim::Json::object()}};
  for (int64_t i = 0; i < state.range(0); ++i)
    profile["files"]["\\Data\\file" + std::to_string(i) + ".txt"] = "x";
  char pattern[] = "/tmp/qel_bench_XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  int round = 0;
  for (auto _ : state) {
    std::string error;
    if (!ce::sim::CreateTerminal(dir / std::to_string(round++), profile, &error))
      state.SkipWithError(error.c_str());
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MakeTerminalWithFilesInOneFolder)
    ->RangeMultiplier(2)
    ->Range(1000, 8000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// Opening the default terminal, as every qelhost run does; the registry's
// integrity check is part of it.
void BM_OpenDefaultTerminal(benchmark::State& state) {
  char pattern[] = "/tmp/qel_bench_XXXXXX";
  const std::filesystem::path dir = std::filesystem::path(::mkdtemp(pattern)) / "t";
  std::string error;
  if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile(ce::sim::DefaultProfileName()), &error))
    state.SkipWithError(error.c_str());
  for (auto _ : state) {
    if (!ce::sim::UseTerminal(dir, &error)) state.SkipWithError(error.c_str());
    ce::sim::CloseTerminal();
  }
  std::error_code ec;
  std::filesystem::remove_all(dir.parent_path(), ec);
}
BENCHMARK(BM_OpenDefaultTerminal)->Unit(benchmark::kMicrosecond);

}  // namespace
