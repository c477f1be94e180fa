// SVR on a 5 MB PE image through the host, beside the three version calls it
// makes, on the same image in the same run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_host.h"
#include "ce/version.h"
#include "command_runner.h"

namespace {

constexpr char16_t kLargeImage[] = u"\\Windows\\large.dll";

// The build's 5 MB image (5 MB of data before its resources), placed once.
bool PlaceLargeImage(benchmark::State& state) {
  static const bool placed = [] {
    std::error_code ec;
    std::filesystem::copy_file(std::filesystem::path(QEL_PE_DIR) / "large.dll",
                               Terminal().fs() / "Windows" / "large.dll",
                               std::filesystem::copy_options::overwrite_existing, ec);
    return !ec && std::filesystem::file_size(Terminal().fs() / "Windows" / "large.dll", ec) >= 5'000'000;
  }();
  if (!placed) state.SkipWithError("the build's large.dll could not be placed in the terminal");
  return placed;
}

void BM_SvrOn5MbImage(benchmark::State& state) {
  if (!PlaceLargeImage(state)) return;
  auto& host = LoadedHost();
  host.Start();
  qelhost::CommandRunner runner(host.registrar(), host.registry());
  const std::string line = R"(SVR "\Windows\large.dll" $v)";
  std::string error;
  for (auto _ : state) {
    const auto outcome = runner.Run(line, &error);
    if (!outcome || outcome->variables.at("v") != qelhost::VariableValue(std::u16string(u"1.2.3.4"))) {
      state.SkipWithError(("SVR did not read 1.2.3.4: " + error).c_str());
      return;
    }
  }
}
BENCHMARK(BM_SvrOn5MbImage)->Unit(benchmark::kMicrosecond);

void BM_VersionCallsOn5MbImage(benchmark::State& state) {
  if (!PlaceLargeImage(state)) return;
  Terminal();
  for (auto _ : state) {
    ce::DWORD handle = 0;
    const ce::DWORD size = ce::GetFileVersionInfoSizeW(kLargeImage, &handle);
    std::vector<uint8_t> block(size);
    void* value = nullptr;
    ce::UINT length = 0;
    if (size == 0 || !ce::GetFileVersionInfoW(kLargeImage, handle, size, block.data()) ||
        !ce::VerQueryValueW(block.data(), u"\\", &value, &length)) {
      state.SkipWithError("the version calls failed");
      return;
    }
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_VersionCallsOn5MbImage)->Unit(benchmark::kMicrosecond);

}  // namespace
