// Figures for the module's hot paths: reading every property through the
// host, one registration cycle, and value conversions.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_host.h"
#include "ce/sim/control.h"
#include "command_runner.h"
#include "plugin_host.h"
#include "qel/exports.h"
#include "qelcommon/ref.h"
#include "qelcommon/value.h"
#include "terminal/model_table.h"
#include "terminal/terminal_service.h"

namespace {

namespace fs = std::filesystem;

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

// One command line, run through the host's runner on the loaded module.
void RunCommand(const std::string& line, benchmark::State& state) {
  auto& host = LoadedHost();
  host.Start();
  std::string error;
  qelhost::CommandRunner runner(host.registrar(), host.registry());
  const auto outcome = runner.Run(line, &error);
  if (!outcome || outcome->failed()) state.SkipWithError(("command failed: " + line + " " + error).c_str());
}

std::string Groups(int count, bool read) {
  std::string line;
  for (int i = 0; i < count; ++i)
    line += read ? " Name" + std::to_string(i) + " $v" + std::to_string(i) + " $t" + std::to_string(i)
                 : " Name" + std::to_string(i) + " Value" + std::to_string(i) + " S";
  return line;
}

void BM_PxsRegistryWrite100(benchmark::State& state) {
  const std::string line = "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Bench" + Groups(100, false);
  for (auto _ : state) RunCommand(line, state);
}
BENCHMARK(BM_PxsRegistryWrite100)->Unit(benchmark::kMillisecond);

void BM_PxsRegistryRead100(benchmark::State& state) {
  RunCommand("PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Bench" + Groups(100, false), state);
  const std::string line = "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Bench" + Groups(100, true);
  for (auto _ : state) RunCommand(line, state);
}
BENCHMARK(BM_PxsRegistryRead100)->Unit(benchmark::kMillisecond);

// An INI file of 10,000 keys, made once.
void MakeBigIni(benchmark::State& state) {
  static bool made = false;
  if (made) return;
  std::string line = "PXS W \\Bench\\big.ini Main";
  for (int i = 0; i < 10000; ++i) line += " key" + std::to_string(i) + " value" + std::to_string(i) + " x";
  RunCommand(line, state);
  made = true;
}

void BM_PxsIniRead1Of10000(benchmark::State& state) {
  MakeBigIni(state);
  for (auto _ : state) RunCommand("PXS R \\Bench\\big.ini Main key5000 $v x", state);
}
BENCHMARK(BM_PxsIniRead1Of10000)->Unit(benchmark::kMillisecond);

void BM_PxsIniWrite1Of10000(benchmark::State& state) {
  MakeBigIni(state);
  for (auto _ : state) RunCommand("PXS W \\Bench\\big.ini Main key5000 changed x", state);
}
BENCHMARK(BM_PxsIniWrite1Of10000)->Unit(benchmark::kMillisecond);

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

// QEL_PLATFORM on the default terminal: the OEM text, the Honeywell step, the
// walk of the model table to its 106th entry, the Thor checks and the OS text.
void BM_GetPlatform(benchmark::State& state) {
  Terminal();
  qel::Ref<IQelTerminalService> service = qel::Ref<IQelTerminalService>::Adopt(qel::NewTerminalService());
  char16_t buffer[127];
  for (auto _ : state) {
    const bool ok = service->GetPlatform(buffer, 127);
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_GetPlatform)->Unit(benchmark::kMicrosecond);

// The module's own part of GetPlatform: the case fold and the wildcard walk to
// the Thor's entry, without the system calls around it.
void BM_ModelTableWalk(benchmark::State& state) {
  Terminal();
  for (auto _ : state) benchmark::DoNotOptimize(qel::FindModelEntry(u"IA32"));
}
BENCHMARK(BM_ModelTableWalk)->Unit(benchmark::kMicrosecond);

// The floor under GetPlatform: one system call of the kind it makes (a stat of
// a terminal file). On the default terminal GetPlatform makes 3 system calls
// (the check for "\Windows\vm1ceapi.dll"), and once a millisecond 7 more (the
// registry reads and the hardware state are looked at again); the rest of its
// time is the model-table walk above.
void BM_StatFloor(benchmark::State& state) {
  const std::string file = (Terminal().fs() / "Windows" / "vm1ceapi.dll").string();
  struct ::stat st {};
  for (auto _ : state) benchmark::DoNotOptimize(::stat(file.c_str(), &st));
}
BENCHMARK(BM_StatFloor)->Unit(benchmark::kMicrosecond);

// QEL_SSN: the USN from the device unique identifier, then the four CRCs.
void BM_GetSsn(benchmark::State& state) {
  Terminal();
  qel::Ref<IQelTerminalService> service = qel::Ref<IQelTerminalService>::Adopt(qel::NewTerminalService());
  char16_t buffer[128];
  for (auto _ : state) {
    const bool ok = service->GetSsn(buffer, 128);
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_GetSsn)->Unit(benchmark::kMicrosecond);

}  // namespace
