// Figures for the module's hot paths: reading every property through the
// host, one registration cycle, and value conversions.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_terminal.h"
#include "ce/sim/control.h"
#include "qelcommon/value.h"
#include "plugin_host.h"
#include "qel/exports.h"

namespace {

namespace fs = std::filesystem;


BenchTerminal& Terminal() {
  static BenchTerminal t;
  return t;
}

qelhost::PluginHost& LoadedHost() {
  static qelhost::PluginHost* host = [] {
    Terminal();
    auto* h = new qelhost::PluginHost;
    std::string error;
    if (!h->Load(QEL_MODULE_PATH, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    return h;
  }();
  return *host;
}

void BM_ReadAllProperties(benchmark::State& state) {
  auto& host = LoadedHost();
  host.Start();
  size_t ok = 0;
  for (auto _ : state)
    for (const qelhost::RegisteredProperty& p : host.registrar().properties()) ok += host.Read(p).ok;
  benchmark::DoNotOptimize(ok);
  state.counters["properties"] = double(host.registrar().properties().size());
}
BENCHMARK(BM_ReadAllProperties)->Unit(benchmark::kMicrosecond);

// The module's entry points linked in directly: the same code the loaded
// module runs, without the dlopen that is not part of a cycle.
void BM_RegistrationCycle(benchmark::State& state) {
  Terminal();
  for (auto _ : state) {
    qelhost::Registrar registrar;
    qelhost::ServiceRegistry registry;
    ::RegisterService(&registrar);
    for (const qelhost::RegisteredService& s : registrar.services()) registry.Offer(s.iid, s.service.get());
    ::Register(0, &registry);
    ::UnRegister();
    registry.Clear();
    registrar.Clear();
  }
}
BENCHMARK(BM_RegistrationCycle)->Unit(benchmark::kMicrosecond);

void BM_GetInt32OfString(benchmark::State& state) {
  CQelValue value;
  int32_t out = 0;
  for (auto _ : state) {
    value.SetStringZ(u"  -2147483");
    value.GetInt32(&out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_GetInt32OfString);

void BM_ToStringOfDouble(benchmark::State& state) {
  CQelValue value;
  IQelText* text = nullptr;
  for (auto _ : state) {
    value.SetDouble(3.14159265358979);
    value.GetString(&text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ToStringOfDouble);

}  // namespace
