// How late a wave-out buffer comes back: the time from its write to its done
// notice, beyond the buffer's own length (the notice may not come sooner).
// Each iteration is one 10 ms buffer on an idle device; the counters give the
// median and the 99th percentile of the lateness in µs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench_terminal.h"
#include "ce/audio.h"
#include "ce/handle.h"
#include "ce/sync.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_WaveOutDoneLateness(benchmark::State& state) {
  static BenchTerminal terminal;
  constexpr int kBufferMs = 10;
  ce::WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
  ce::UniqueHandle done(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  ce::HWAVEOUT h = nullptr;
  if (ce::waveOutOpen(&h, WAVE_MAPPER, &f, uintptr_t(done.get()), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    state.SkipWithError("the device does not open");
    return;
  }
  ce::WaitForSingleObject(done.get(), 0);  // MM_WOM_OPEN
  std::vector<char> samples(22050 * 2 * kBufferMs / 1000);
  ce::WAVEHDR hdr{samples.data(), ce::DWORD(samples.size())};
  ce::waveOutPrepareHeader(h, &hdr, sizeof hdr);
  std::vector<double> late;
  for (auto _ : state) {
    const auto sent = Clock::now();
    ce::waveOutWrite(h, &hdr, sizeof hdr);
    ce::WaitForSingleObject(done.get(), INFINITE);
    late.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count() -
                   kBufferMs * 1000.0);
    // An idle gap, so that every buffer starts at its write rather than behind the last.
    ce::Sleep(2);
  }
  ce::waveOutUnprepareHeader(h, &hdr, sizeof hdr);
  ce::waveOutClose(h);
  std::sort(late.begin(), late.end());
  state.counters["median_late_us"] = late[late.size() / 2];
  state.counters["p99_late_us"] = late[std::min(late.size() - 1, late.size() * 99 / 100)];
}
BENCHMARK(BM_WaveOutDoneLateness)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace
