// Figures for the audio service: how closely a beep sequence keeps its
// nominal length, and a mixer property read through the host.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

#include "bench_host.h"
#include "qel/audio.h"
#include "qel/guids.h"

namespace {

using Clock = std::chrono::steady_clock;

IQelAudioService* Audio() {
  auto& host = LoadedHost();
  host.Start();
  IQelService* provider = host.registry().QueryService(qel::IID_QELAUDIOSERVICE);
  void* audio = nullptr;
  if (!provider || !provider->GetInterface(qel::IID_QELAUDIOSERVICE, &audio)) std::abort();
  static_cast<IQelAudioService*>(audio)->Release();  // the registry keeps it
  return static_cast<IQelAudioService*>(audio);
}

// Ten 50 ms tones waited for: nominal length 10 x 50 ms plus nine 100 ms pauses.
void BM_TenToneSequence(benchmark::State& state) {
  IQelAudioService* audio = Audio();
  const std::vector<BeepTone> tones(10, BeepTone{1000, 50, 1, 50});
  constexpr double kNominalMs = 10 * 50 + 9 * 100;
  double worst = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    audio->BeepSequence(uint32_t(tones.size()), tones.data(), kBeepWait);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    worst = std::max(worst, ms / kNominalMs);
    state.SetIterationTime(ms / 1000);
  }
  state.counters["nominal_ms"] = kNominalMs;
  state.counters["worst_ratio"] = worst;
}
BENCHMARK(BM_TenToneSequence)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// From StopBeep to a silent output: the call returns once the device has cut
// what it renders at that moment (a reset truncates the file there), so its
// length is the latency.
void BM_StopBeepToSilence(benchmark::State& state) {
  IQelAudioService* audio = Audio();
  const BeepTone tone{700, 2000, 1, 50};
  for (auto _ : state) {
    state.PauseTiming();
    audio->BeepSequence(1, &tone, kBeepBackground);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // playing by now
    state.ResumeTiming();
    audio->StopBeep();
    state.PauseTiming();
    audio->BeepSequence(0, nullptr, kBeepWait);  // the beeper has let the tone go
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StopBeepToSilence)->Unit(benchmark::kMicrosecond)->Iterations(30);

void BM_ReadMixerVolume(benchmark::State& state) {
  auto& host = LoadedHost();
  host.Start();
  const qelhost::RegisteredProperty* volume = nullptr;
  for (const qelhost::RegisteredProperty& p : host.registrar().properties())
    if (p.name == u"AUDIO_MIXER_VOLUME") volume = &p;
  if (!volume) std::abort();
  size_t ok = 0;
  for (auto _ : state) ok += host.Read(*volume).ok;
  if (int64_t(ok) != int64_t(state.iterations())) state.SkipWithError("AUDIO_MIXER_VOLUME failed");
}
BENCHMARK(BM_ReadMixerVolume)->Unit(benchmark::kMicrosecond);

}  // namespace
