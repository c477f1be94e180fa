// A SCREEN_BRIGHTNESS and a BATT_CHEM_TYPE read through the host, beside the
// bare calls they come down to, in the same run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>

#include "bench_host.h"
#include "ce/module.h"
#include "ce/power.h"
#include "ce/vendor.h"

namespace {

const qelhost::RegisteredProperty& Property(std::u16string_view name) {
  auto& host = LoadedHost();
  host.Start();
  for (const qelhost::RegisteredProperty& p : host.registrar().properties())
    if (p.name == name) return p;
  std::abort();
}

void ReadThroughHost(benchmark::State& state, std::u16string_view name) {
  auto& host = LoadedHost();
  const qelhost::RegisteredProperty& property = Property(name);
  size_t ok = 0;
  for (auto _ : state) ok += host.Read(property).ok;
  if (int64_t(ok) != int64_t(state.iterations())) state.SkipWithError("the read failed");
}

void BM_ReadScreenBrightness(benchmark::State& state) { ReadThroughHost(state, u"SCREEN_BRIGHTNESS"); }
BENCHMARK(BM_ReadScreenBrightness)->Unit(benchmark::kMicrosecond);

// What the backlight service calls for it: the vendor library's brightness.
void BM_BareLXEGetBrightness(benchmark::State& state) {
  Terminal();
  const ce::UniqueModule lxe(ce::LoadLibraryW(u"LXEAPI.dll"));
  auto get = reinterpret_cast<ce::PFN_LXEGetBrightness>(
      reinterpret_cast<void (*)()>(ce::GetProcAddressW(lxe.get(), u"LXEGetBrightness")));
  if (!get) std::abort();
  ce::DWORD percent = 0;
  for (auto _ : state) benchmark::DoNotOptimize(get(&percent));
}
BENCHMARK(BM_BareLXEGetBrightness)->Unit(benchmark::kMicrosecond);

void BM_ReadBatteryChemistry(benchmark::State& state) { ReadThroughHost(state, u"BATT_CHEM_TYPE"); }
BENCHMARK(BM_ReadBatteryChemistry)->Unit(benchmark::kMicrosecond);

// What the battery service calls for it: the kept power record.
void BM_BareGetSystemPowerStatusEx2(benchmark::State& state) {
  Terminal();
  ce::SYSTEM_POWER_STATUS_EX2 status{};
  for (auto _ : state) benchmark::DoNotOptimize(ce::GetSystemPowerStatusEx2(&status, sizeof status, FALSE));
}
BENCHMARK(BM_BareGetSystemPowerStatusEx2)->Unit(benchmark::kMicrosecond);

}  // namespace
