// What the terminal's speaker puts out when qelhost plays beeps and sound
// files, measured with sox in the WAV files the wave-out device renders.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_run.h"
#include "sounding.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using qeltest::HostRun;
using qeltest::Quoted;
using qeltest::Segment;

// The output of a shell command, and whether it ran to a zero status.
bool Shell(const std::string& command, std::string* out) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out->append(buffer, n);
  return ::pclose(pipe) == 0;
}

struct Rendered {
  double rate = 0;
  std::vector<double> samples;  // -1..1, the first channel
};

// The samples of a WAV file as sox reads them: a file sox refuses fails the test.
Rendered ReadWithSox(const fs::path& wav) {
  std::string text;
  Rendered r;
  if (!Shell("sox " + Quoted(wav.string()) + " -t dat - 2>&1", &text)) {
    ADD_FAILURE() << "sox cannot read " << wav << ": " << text;
    return r;
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("; Sample Rate", 0) == 0) r.rate = std::stod(line.substr(14));
    if (line.empty() || line[0] == ';') continue;
    double t, v;
    if (std::istringstream(line) >> t >> v) r.samples.push_back(v);
  }
  return r;
}

// sox's estimate of the frequency of samples [first, first + count).
double SoxFrequency(const fs::path& wav, size_t first, size_t count) {
  std::string text;
  Shell("sox " + Quoted(wav.string()) + " -n trim " + std::to_string(first) + "s " + std::to_string(count) +
            "s stat 2>&1",
        &text);
  const size_t at = text.find("Rough   frequency:");
  return at == std::string::npos ? -1 : std::stod(text.substr(at + 18));
}

class Speaker : public ::testing::Test {
 protected:
  HostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return qeltest::RunHost(args, terminal.root());
  }
  // The one file the run rendered.
  fs::path OnlyWav() {
    const auto all = qeltest::RenderedWavs(terminal.dir());
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? fs::path() : all.back();
  }

  qeltest::TestTerminal terminal;
};

TEST_F(Speaker, TwoBeepsOf800HertzWithOnePauseBetween) {
  const HostRun r = Host({"run", "IBP 100 800 2 B"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const fs::path wav = OnlyWav();
  const Rendered sound = ReadWithSox(wav);
  ASSERT_EQ(sound.rate, 22050);
  const auto tones = qeltest::Sounding(sound.samples, sound.rate);
  ASSERT_EQ(tones.size(), 2u);
  for (const Segment& t : tones) {
    EXPECT_NEAR(double(t.count) / sound.rate, 0.100, 0.002);
    EXPECT_NEAR(SoxFrequency(wav, t.first, t.count), 800, 8);
  }
  const double pause = double(tones[1].first - tones[0].first - tones[0].count) / sound.rate;
  // 100 ms from the first tone's done notice: never shorter, and longer only
  // by the notice's way through two threads (milliseconds on an idle machine,
  // tens under a loaded one).
  EXPECT_GE(pause, 0.099);
  EXPECT_LE(pause, 0.200);
  // Nothing after the second tone: the file ends with it.
  EXPECT_LE(sound.samples.size() - (tones[1].first + tones[1].count), size_t(sound.rate * 0.002));
}

// One qelhost loops a sound of the terminal and waits while it plays; another,
// a second after the sound began, stops it. The rendered file is the sound's samples over and
// over, and ends by the stop.
TEST_F(Speaker, ALoopPlaysUntilAnotherQelhostStopsIt) {
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);  // makes the terminal
  const fs::path alarm = terminal.dir() / "fs" / "Windows" / "alarm.wav";
  const Rendered original = ReadWithSox(alarm);
  ASSERT_GT(original.samples.size(), 100u);

  const std::string host = Quoted(qeltest::HostPath()) + " --terminal " + Quoted(terminal.dir().string());
  const fs::path scratch = terminal.root();
  const std::string both = "(" + host + " run " + Quoted("IPS \\Windows\\alarm.wav L") + " >" +
                           Quoted((scratch / "looper.out").string()) + " 2>&1; echo $? >" +
                           Quoted((scratch / "looper.status").string()) + ") & for i in $(seq 200); do ls " +
                           Quoted((terminal.dir() / "outputs" / "audio").string()) +
                           "/*.wav >/dev/null 2>&1 && break; sleep 0.05; done; sleep 1; " + host +
                           " run IPS >" + Quoted((scratch / "stopper.out").string()) + " 2>&1; wait";
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(std::system(both.c_str()), 0) << qeltest::Contents(scratch / "stopper.out");
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(qeltest::Contents(scratch / "looper.status"), "0\n") << qeltest::Contents(scratch / "looper.out");

  const fs::path wav = OnlyWav();
  const Rendered looped = ReadWithSox(wav);
  ASSERT_EQ(looped.rate, original.rate);
  const double seconds = double(looped.samples.size()) / looped.rate;
  EXPECT_GT(seconds, 0.5);      // it played until the stop, a second after it began
  EXPECT_LT(seconds, elapsed);  // and nothing after it
  const size_t n = original.samples.size();
  ASSERT_GT(looped.samples.size(), n) << "it came round again";
  size_t differing = 0;
  for (size_t i = 0; i < looped.samples.size(); ++i)
    differing += std::abs(looped.samples[i] - original.samples[i % n]) > 1e-4;
  EXPECT_EQ(differing, 0u) << "every repetition is the file's samples, from its first";
}

// A qelhost is told to end (Ctrl-C, or here SIGTERM, which a shell's
// background job does not ignore) while a sound of its own plays: a loop it
// waits for, or a long beep of a command still running. The sound stops
// where it is, so the file holds no more than had played, the terminal no
// longer shows it, and qelhost ends as the signal says.
TEST_F(Speaker, AnEndSignalStopsTheSoundWhereItIs) {
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);  // makes the terminal
  const std::string host = Quoted(qeltest::HostPath()) + " --terminal " + Quoted(terminal.dir().string());
  const fs::path scratch = terminal.root();
  for (const char* command : {"IPS \\Windows\\alarm.wav L", "IBP 5000 800"}) {
    SCOPED_TRACE(command);
    for (const fs::path& old : qeltest::RenderedWavs(terminal.dir())) fs::remove(old);
    // The signal comes 0.3 s after the sound has begun (its file exists),
    // however slowly qelhost started.
    const std::string audio = Quoted((terminal.dir() / "outputs" / "audio").string());
    const std::string script =
        host + " run " + Quoted(command) + " >" + Quoted((scratch / "out").string()) +
        " 2>&1 & player=$!; for i in $(seq 200); do ls " + audio +
        "/*.wav >/dev/null 2>&1 && break; sleep 0.05; done; sleep 0.3; kill -TERM $player; "
        "wait $player; echo $? >" +
        Quoted((scratch / "status").string());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(std::system(script.c_str()), 0);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(qeltest::Contents(scratch / "status"), "143\n") << qeltest::Contents(scratch / "out");

    const Rendered played = ReadWithSox(OnlyWav());
    ASSERT_GT(played.rate, 0);
    const double seconds = double(played.samples.size()) / played.rate;
    EXPECT_GT(seconds, 0.2);
    EXPECT_LT(seconds, elapsed) << "the file holds what was queued ahead of the stop";
    const HostRun shown = Host({"terminal", "show"});
    EXPECT_NE(shown.out.find("audio.playing = []"), std::string::npos) << shown.out;
  }
}

}  // namespace
