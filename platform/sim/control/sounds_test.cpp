// The built-in profiles' sounds: made as their descriptions say, and played by
// PlaySoundW into the rendered output sample for sample.
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "ce/audio.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "test_terminal.h"
#include "wav_format.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::Json;

std::vector<uint8_t> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The device path's host file in the terminal.
fs::path HostPath(const qeltest::TestTerminal& t, std::string devicePath) {
  std::replace(devicePath.begin(), devicePath.end(), '\\', '/');
  return t.dir() / "fs" / devicePath.substr(1);
}

std::vector<fs::path> Rendered(const qeltest::TestTerminal& t) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(t.dir() / "outputs" / "audio")) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(BuiltinSounds, AreMadeAsDescribed) {
  for (const auto& name : ce::sim::ProfileNames()) {
    SCOPED_TRACE(name);
    const Json profile = *ce::sim::BuiltinProfile(name);
    ASSERT_TRUE(profile.contains("sounds"));
    qeltest::TestTerminal t(name);
    for (const auto& [path, d] : profile["sounds"].items()) {
      SCOPED_TRACE(path);
      const auto bytes = Bytes(HostPath(t, path));
      const auto wav = ce::sim::ParseWav(bytes);
      ASSERT_TRUE(wav);
      EXPECT_EQ(wav->format, (ce::sim::PcmFormat{1, d["rate"].get<uint32_t>(), d["bits"].get<uint16_t>()}));
      size_t frames = 0;
      for (const auto& tone : d["tones"]) frames += tone[1].get<size_t>() * wav->format.rate / 1000;
      EXPECT_EQ(wav->samples.size(), frames * wav->format.frameBytes());
      const auto [lo, hi] = std::minmax_element(wav->samples.begin(), wav->samples.end());
      EXPECT_LT(*lo, *hi) << "silent";
    }
  }
}

TEST(BuiltinSounds, PlayIntoTheOutputAsTheyAre) {
  qeltest::TestTerminal t;
  t.Set("audio.volume", 0xFFFFFFFFu);
  for (const char* path : {"\\Windows\\alarm.wav", "\\Windows\\beep.wav"}) {
    SCOPED_TRACE(path);
    const auto before = fs::exists(t.dir() / "outputs" / "audio") ? Rendered(t).size() : 0;
    const std::u16string device = ceutil::FromUtf8(path);
    ASSERT_TRUE(ce::PlaySoundW(device.c_str(), nullptr, SND_SYNC | SND_NODEFAULT));
    const auto files = Rendered(t);
    ASSERT_EQ(files.size(), before + 1);
    const auto source = Bytes(HostPath(t, path)), out = Bytes(files.back());
    const auto played = ce::sim::ParseWav(source), rendered = ce::sim::ParseWav(out);
    ASSERT_TRUE(played && rendered);
    EXPECT_EQ(rendered->format, played->format);
    EXPECT_TRUE(std::ranges::equal(rendered->samples, played->samples));
  }
}

TEST(BuiltinSounds, ALoopRendersWholeRepetitionsAndNothingAfterTheStop) {
  qeltest::TestTerminal t;
  t.Set("audio.volume", 0xFFFFFFFFu);
  ASSERT_TRUE(ce::PlaySoundW(u"\\Windows\\beep.wav", nullptr, SND_ASYNC | SND_LOOP | SND_NODEFAULT));
  ce::Sleep(1000);
  ASSERT_TRUE(ce::PlaySoundW(nullptr, nullptr, 0));
  const auto source = Bytes(HostPath(t, "\\Windows\\beep.wav"));
  const auto played = ce::sim::ParseWav(source);
  const auto files = Rendered(t);
  ASSERT_EQ(files.size(), 1u);
  const auto out = Bytes(files[0]);
  const auto rendered = ce::sim::ParseWav(out);
  ASSERT_TRUE(played && rendered);
  const size_t once = played->samples.size();
  // About a second of 150 ms repetitions: six whole ones at least, and not a
  // sample past the stop (a little later than the second, never much).
  ASSERT_GE(rendered->samples.size(), 6 * once);
  EXPECT_LT(rendered->samples.size(), 11025 * 2u);
  for (size_t i = 0; i < rendered->samples.size(); ++i)
    ASSERT_EQ(rendered->samples[i], played->samples[i % once]) << "byte " << i << " of the loop";
  ce::Sleep(300);
  EXPECT_EQ(Bytes(files[0]), out) << "the output grew after the stop";
}

}  // namespace
