// QEL_VER_LIST through the host with 20 plug-ins in the host's plug-in folder,
// beside the bare listing and version calls it comes down to.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_host.h"
#include "ce/files.h"
#include "ce/version.h"
#include "host_services.h"

namespace {

constexpr int kPlugins = 20;
constexpr char16_t kPluginPattern[] = u"\\Program Files\\Qel\\Plugins\\*.mpi";

// 19 versioned images beside the module in the plug-in folder, placed once;
// the host runs as the executable of its install folder.
bool PlacePlugins(benchmark::State& state) {
  static const bool placed = [] {
    const auto folder = Terminal().fs() / "Program Files" / "Qel" / "Plugins";
    std::error_code ec;
    for (int n = 1; n < kPlugins && !ec; ++n)
      std::filesystem::copy_file(std::filesystem::path(QEL_PE_DIR) / "translations32.dll",
                                 folder / ("Extra" + std::to_string(n) + ".mpi"),
                                 std::filesystem::copy_options::overwrite_existing, ec);
    ce::sim::SetProgramPath(qelhost::kHostExecutable);
    return !ec;
  }();
  if (!placed) state.SkipWithError("the plug-ins could not be placed in the terminal");
  return placed;
}

void BM_VersionListWith20Plugins(benchmark::State& state) {
  if (!PlacePlugins(state)) return;
  auto& host = LoadedHost();
  host.Start();
  const qelhost::RegisteredProperty* list = nullptr;
  for (const qelhost::RegisteredProperty& p : host.registrar().properties())
    if (p.name == u"QEL_VER_LIST") list = &p;
  if (!list) std::abort();
  for (auto _ : state) {
    const auto reading = host.Read(*list);
    // Two host files and every plug-in, each closed by ";".
    if (!reading.ok || std::count(reading.text.begin(), reading.text.end(), ';') != kPlugins + 2) {
      state.SkipWithError("QEL_VER_LIST did not list the host's files and 20 plug-ins");
      return;
    }
  }
}
BENCHMARK(BM_VersionListWith20Plugins)->Unit(benchmark::kMillisecond);

// The same files read bare: the folder listing and three version calls per file.
void BM_ListingAndVersionCallsFor20Plugins(benchmark::State& state) {
  if (!PlacePlugins(state)) return;
  for (auto _ : state) {
    std::vector<std::u16string> paths = {u"\\Program Files\\Qel\\qelhost.exe",
                                         u"\\Program Files\\Qel\\qelhost.dll"};
    ce::WIN32_FIND_DATAW data{};
    ce::HANDLE find = ce::FindFirstFileW(kPluginPattern, &data);
    if (find == INVALID_HANDLE_VALUE) std::abort();
    do paths.push_back(std::u16string(u"\\Program Files\\Qel\\Plugins\\") + data.cFileName);
    while (ce::FindNextFileW(find, &data));
    ce::FindClose(find);
    for (const std::u16string& path : paths) {
      ce::DWORD handle = 0;
      const ce::DWORD size = ce::GetFileVersionInfoSizeW(path.c_str(), &handle);
      std::vector<uint8_t> block(size);
      void* value = nullptr;
      ce::UINT length = 0;
      if (size == 0 || !ce::GetFileVersionInfoW(path.c_str(), handle, size, block.data()) ||
          !ce::VerQueryValueW(block.data(), u"\\", &value, &length)) {
        state.SkipWithError("the version calls failed");
        return;
      }
      benchmark::DoNotOptimize(value);
    }
  }
}
BENCHMARK(BM_ListingAndVersionCallsFor20Plugins)->Unit(benchmark::kMillisecond);

}  // namespace
