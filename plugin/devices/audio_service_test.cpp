// The audio service: its own arithmetic on a mixer the test plays, and the
// whole chain on a simulated terminal's wave-out device, codec and registry.
#include "devices/audio_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "ce/registry.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "devices/audio_properties.h"
#include "qelcommon/ref.h"
#include "qelcommon/value.h"
#include "sounding.h"
#include "test_terminal.h"

namespace {

using qel::Ref;

// The volume levels the chain's wave level would read and write.
class FakeMixer final : public qel::CQelAudioService {
 public:
  bool PlaySound(IQelFileReference*, uint32_t) override { return false; }
  bool StopSound() override { return false; }
  bool SetVolume(uint16_t percent, uint32_t) override {
    set.push_back(percent);
    volume = int16_t(percent);
    return true;
  }
  int16_t GetVolume(uint32_t) override { return volume; }
  int16_t volume = 0;
  std::vector<uint16_t> set;
};

TEST(ToneBytes, HoldWholeSamplesOfTheFixedFormat) {
  const struct {
    uint32_t ms;
    uint64_t bytes;
  } cases[] = {{1000, 44100},
               {10, 442},
               {100, 4410},
               {1, 44},
               {3, 132},
               {0, 0},
               {250, 11026},
               {97391548, 4294967266},  // the longest a wave-out buffer holds
               {97391549, 4294967310},
               {100000000, 4410000000},
               {0xFFFFFFFF, 189408057710}};
  for (const auto& c : cases) EXPECT_EQ(qel::ToneBytes(c.ms), c.bytes) << c.ms << " ms";
}

TEST(RenderTone, IsASineOfTheFrequencyAtTheVolume) {
  const auto bytes = uint32_t(qel::ToneBytes(100));
  std::vector<int16_t> s(bytes / 2);
  qel::RenderTone(s.data(), bytes, 800, 50);
  EXPECT_EQ(s[0], 0);
  int peak = 0, crossings = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    peak = std::max(peak, std::abs(int(s[i])));
    if (i && (s[i - 1] < 0) != (s[i] < 0)) ++crossings;
  }
  EXPECT_NEAR(peak, 16383, 20);    // half of full scale
  EXPECT_NEAR(crossings, 160, 2);  // 80 periods in 100 ms, two crossings each
}

class AudioService : public ::testing::Test {
 protected:
  qeltest::TestTerminal terminal;
  Ref<FakeMixer> mixer = Ref<FakeMixer>::Adopt(new FakeMixer);
};

TEST_F(AudioService, ClampsFrequencyAndVolume) {
  const struct {
    uint32_t given, stored;
  } frequencies[] = {{39, 40},  {40, 40}, {35000, 35000}, {35001, 35000}, {0, 40}, {0xFFFFFFFF, 35000},
                     {800, 800}};
  for (const auto& c : frequencies) {
    mixer->SetBeepFrequency(c.given);
    EXPECT_EQ(mixer->GetBeepFrequency(), c.stored) << c.given;
  }
  const struct {
    uint16_t given, stored;
  } volumes[] = {{250, 100}, {100, 100}, {0, 0}, {99, 99}, {0xFFFF, 100}};
  for (const auto& c : volumes) {
    EXPECT_TRUE(mixer->SetBeepVolume(c.given));
    EXPECT_EQ(mixer->GetBeepVolume(), c.stored) << c.given;
  }
}

TEST_F(AudioService, StepsTheVolumeByTens) {
  const struct {
    bool up;
    int16_t from;
    uint16_t to;
  } cases[] = {{true, 50, 60},  {true, 55, 70}, {true, 95, 100}, {true, 100, 100}, {true, 0, 10},
               {false, 55, 40}, {false, 5, 0},  {false, 0, 0},   {false, 100, 90}, {false, 19, 0}};
  for (const auto& c : cases) {
    mixer->volume = c.from;
    mixer->set.clear();
    EXPECT_TRUE(c.up ? mixer->VolumeStepUp(2) : mixer->VolumeStepDown(2));
    EXPECT_EQ(mixer->set, std::vector<uint16_t>{c.to}) << (c.up ? "up from " : "down from ") << c.from;
  }
  mixer->volume = -1;  // the mixer cannot be read: nothing is set
  mixer->set.clear();
  EXPECT_FALSE(mixer->VolumeStepUp(2));
  EXPECT_FALSE(mixer->VolumeStepDown(2));
  EXPECT_EQ(mixer->GetVolumeStep(2), 0);
  EXPECT_TRUE(mixer->set.empty());

  const struct {
    int16_t volume;
    int32_t step;
  } steps[] = {{0, 0}, {4, 0}, {5, 1}, {54, 5}, {55, 6}, {100, 10}};
  for (const auto& c : steps) {
    mixer->volume = c.volume;
    EXPECT_EQ(mixer->GetVolumeStep(2), c.step) << c.volume;
  }
  EXPECT_TRUE(mixer->SetVolumeStep(7, 2));
  EXPECT_EQ(mixer->set.back(), 70);
}

TEST_F(AudioService, RefusesWhatTheBaseLevelCannotDo) {
  EXPECT_FALSE(mixer->BeepSequence(1, nullptr, 3));  // no such mode
  const BeepTone tone{800, 10, 1, 100};
  EXPECT_FALSE(mixer->BeepSequence(1, &tone, 3));
  EXPECT_FALSE(mixer->SetGain(50, 1));
  EXPECT_EQ(mixer->GetGain(1), -1);
  EXPECT_EQ(mixer->GetGainDb(1), -1.0);
  EXPECT_EQ(mixer->GetMaxGainDb(1), -1.0);
  EXPECT_DOUBLE_EQ(mixer->GetRecommendedGainDb(), -0.95);
  EXPECT_EQ(mixer->SetMicBoost(true), -1);
  EXPECT_EQ(mixer->GetMicBoost(), -1);
  uint32_t level = 7;
  EXPECT_FALSE(mixer->GetClickLevel(&level, 0));
  EXPECT_EQ(level, 7u);
  EXPECT_EQ(mixer->GetVolumeMaxStep(2), 10);
}

// The properties that fail on the base level's answers, and those that pass
// the mixer's through.
TEST_F(AudioService, PropertiesFailOnTheServicesRefusals) {
  const struct {
    const char* name;
    QelPropertyFn get;
  } failing[] = {{"AUDIO_MIC_GAIN", qel::GetGain<1>},      {"AUDIO_LINE_GAIN", qel::GetGain<0>},
                 {"AUDIO_MIC_GAIN_DB", qel::GetMicGainDb}, {"AUDIO_MIC_MAX_GAIN_DB", qel::GetMicMaxGainDb},
                 {"AUDIO_MIC_BOOST", qel::GetMicBoost},    {"AUDIO_KEY_CLICK", qel::GetClick<kClickKey>}};
  for (const auto& c : failing) {
    CQelValue value;
    EXPECT_FALSE(c.get(&value, mixer.get())) << c.name;
  }
  mixer->volume = 42;
  CQelValue value;
  ASSERT_TRUE(qel::GetMixerVolume<kOutputSpeaker>(&value, mixer.get()));
  int32_t v = 0;
  ASSERT_TRUE(value.GetInt32(&v));
  EXPECT_EQ(v, 42);
  mixer->volume = -1;
  EXPECT_FALSE(qel::GetMixerVolume<kOutputSpeaker>(&value, mixer.get()));
  CQelValue on;
  ASSERT_TRUE(on.SetBool(true));
  EXPECT_FALSE(qel::SetMicBoost(&on, mixer.get()));
}

// The service this terminal gets, made after the test has set the terminal up.
Ref<IQelAudioService> MakeService() {
  IQelService* made = qel::CreateAudioService();
  void* audio = nullptr;
  if (!made || !made->GetInterface(qel::IID_QELAUDIOSERVICE, &audio)) ADD_FAILURE() << "no audio service";
  if (made) made->Release();
  return Ref<IQelAudioService>::Adopt(static_cast<IQelAudioService*>(audio));
}

ce::DWORD StoredClick(const char16_t* name) {
  ce::RegKey key;
  ce::DWORD value = 0, size = sizeof value;
  if (ce::RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Volume", 0, KEY_READ, key.put()) !=
          ERROR_SUCCESS ||
      ce::RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<ce::BYTE*>(&value), &size) !=
          ERROR_SUCCESS)
    return 0xDEAD;
  return value;
}

void StoreClick(const char16_t* name, ce::DWORD value) {
  ce::RegKey key;
  ASSERT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Volume", 0, KEY_WRITE, key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(ce::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&value),
                               sizeof value),
            ERROR_SUCCESS);
}

TEST(AudioGain, GoesToTheCodecInTenthsOfADecibel) {
  qeltest::TestTerminal terminal;
  const auto audio = MakeService();
  EXPECT_DOUBLE_EQ(audio->GetGainDb(1), 12.0);  // the profile's 120 tenths
  EXPECT_EQ(audio->GetGain(1), 41);

  const struct {
    const char* what;
    bool (*set)(IQelAudioService*);
    bool ok;
    int stored;  // tenths in the codec afterwards
    int16_t percent;
  } cases[] = {
      {"29 dB", [](IQelAudioService* a) { return a->SetGainDb(29.0, 1); }, true, 290, 99},
      {"29.5 dB", [](IQelAudioService* a) { return a->SetGainDb(29.5, 1); }, false, 290, 99},
      {"-17 dB", [](IQelAudioService* a) { return a->SetGainDb(-17.0, 1); }, true, -170, -58},
      {"-17.5 dB", [](IQelAudioService* a) { return a->SetGainDb(-17.5, 1); }, false, -170, -58},
      {"0.55 dB", [](IQelAudioService* a) { return a->SetGainDb(0.55, 0); }, true, 5, 1},
      {"100 %", [](IQelAudioService* a) { return a->SetGain(100, 0); }, true, 290, 99},
      {"101 %", [](IQelAudioService* a) { return a->SetGain(101, 1); }, false, 290, 99},
      {"50 %", [](IQelAudioService* a) { return a->SetGain(50, 1); }, true, 145, 49},
      {"0 %", [](IQelAudioService* a) { return a->SetGain(0, 1); }, true, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.set(audio.get()), c.ok) << c.what;
    EXPECT_EQ(terminal.Hardware("lxe.audio_gain"), c.stored) << c.what;
    EXPECT_EQ(audio->GetGain(1), c.percent) << c.what;
  }

  terminal.Set("lxe.audio_gain_fails", true);
  EXPECT_FALSE(audio->SetGain(10, 1));
  EXPECT_FALSE(audio->SetGainDb(1.0, 1));
  EXPECT_EQ(audio->GetGain(1), -1);
  EXPECT_EQ(audio->GetGainDb(1), 0.0);  // a failed read is 0 dB, not -1
}

TEST(AudioClick, LevelsAreStoredForTheSystemToApply) {
  qeltest::TestTerminal terminal;
  const auto audio = MakeService();
  const struct {
    uint32_t level, which;
    bool ok;
    const char16_t* name;
    ce::DWORD stored;
  } cases[] = {
      {2, kClickKey, true, u"Key", 0x10002},
      {0, kClickScreen, true, u"Screen", 0},
      {1, kClickKey, true, u"Key", 1},
      {3, kClickKey, false, u"Key", 1},
      {2, 2, false, u"Key", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(audio->SetClickLevel(c.level, c.which), c.ok) << c.level << "/" << c.which;
    EXPECT_EQ(StoredClick(c.name), c.stored) << c.level << "/" << c.which;
    uint32_t level = 99;
    EXPECT_TRUE(audio->GetClickLevel(&level, c.which == 2 ? 0 : c.which));
  }
  EXPECT_EQ(terminal.Hardware("audio.click.key"), 1);  // what the system applied last
  EXPECT_EQ(terminal.Hardware("audio.click.screen"), 0);

  // Through the properties: a letter in, a letter out; a stored value the
  // service does not know fails.
  CQelValue loud;
  ASSERT_TRUE(loud.SetStringZ(u"Loud"));
  EXPECT_TRUE(qel::SetClick<kClickKey>(&loud, audio.get()));
  EXPECT_EQ(StoredClick(u"Key"), 0x10002u);
  CQelValue text;
  ASSERT_TRUE(qel::GetClick<kClickKey>(&text, audio.get()));
  IQelText* got = nullptr;
  ASSERT_TRUE(text.GetString(&got));
  EXPECT_EQ(std::u16string(got->Chars(), got->Length()), u"L");
  CQelValue x;
  ASSERT_TRUE(x.SetStringZ(u"x"));
  EXPECT_FALSE(qel::SetClick<kClickKey>(&x, audio.get()));
  EXPECT_EQ(StoredClick(u"Key"), 0x10002u);
  StoreClick(u"Key", 7);
  uint32_t level = 99;
  EXPECT_FALSE(audio->GetClickLevel(&level, kClickKey));
  EXPECT_EQ(level, 99u);
  EXPECT_FALSE(qel::GetClick<kClickKey>(&text, audio.get()));
}

TEST(AudioDevice, WithoutTheToneFormatTonesFailSilently) {
  qeltest::TestTerminal terminal;
  terminal.Set("audio.wave_out.device.WAV1.formats", 0xFEF);  // all but the one the tones need
  const auto audio = MakeService();
  EXPECT_FALSE(audio->PlayTone(800, 10, 100));
  EXPECT_TRUE(audio->Beep(800, 50, 100, 2, kBeepWait));  // accepted and processed
  EXPECT_FALSE(audio->StopBeep());
  EXPECT_TRUE(qeltest::RenderedWavs(terminal.dir()).empty());
}

TEST(AudioDevice, AStopInThePauseEndsTheSequence) {
  qeltest::TestTerminal terminal;
  {
    const auto audio = MakeService();
    const BeepTone tones[] = {{800, 40, 1, 100}, {1600, 40, 1, 100}};
    ASSERT_TRUE(audio->BeepSequence(2, tones, kBeepBackground));
    ce::Sleep(90);  // the first tone is over, the pause has begun
    EXPECT_TRUE(audio->StopBeep());
  }  // the service ends once the sequence has: the device closes its file
  const auto wavs = qeltest::RenderedWavs(terminal.dir());
  ASSERT_EQ(wavs.size(), 1u);
  const auto samples = qeltest::Mono16Samples(wavs[0]);
  EXPECT_EQ(qeltest::Sounding(samples, 22050).size(), 1u) << "the second tone never played";
}

TEST(AudioDevice, AToneIsTheBufferItsLengthNeeds) {
  qeltest::TestTerminal terminal;
  {
    const auto audio = MakeService();
    EXPECT_TRUE(audio->PlayTone(1000, 30, 100));
    // Longer than a buffer holds (an IBP duration of -1): skipped, as when
    // the buffer cannot be allocated, neither cut short nor waited for.
    EXPECT_FALSE(audio->PlayTone(1000, 0xFFFFFFFF, 100));
    EXPECT_FALSE(audio->PlayTone(1000, 100000000, 100));
  }
  const auto wavs = qeltest::RenderedWavs(terminal.dir());
  ASSERT_EQ(wavs.size(), 1u);
  EXPECT_EQ(qeltest::Mono16Samples(wavs[0]).size(), qel::ToneBytes(30) / 2);
}

// Callers at once: waiting and background sequences, stops and property
// traffic from several threads. Every waiting call comes back, and the
// service ends with its threads.
TEST(AudioDevice, CallersAtOnceAllComeBack) {
  qeltest::TestTerminal terminal;
  const auto audio = MakeService();
  std::atomic<bool> done{false};
  std::atomic<int> waited{0}, stops{0}, reads{0};
  const BeepTone tones[] = {{900, 5, 2, 50}, {1200, 5, 1, 50}};
  std::vector<std::thread> callers;
  for (int i = 0; i < 2; ++i)
    callers.emplace_back([&] {
      while (!done) waited += audio->BeepSequence(2, tones, kBeepWait);
    });
  callers.emplace_back([&] {
    while (!done) audio->BeepSequence(2, tones, kBeepBackground), audio->BeepSequence(1, tones, kBeepQueued);
  });
  callers.emplace_back([&] {
    while (!done) stops += audio->StopBeep(), ce::Sleep(3);
  });
  callers.emplace_back([&] {
    for (uint16_t v = 0; !done; v = uint16_t((v + 7) % 101), ++reads) {
      audio->SetBeepVolume(v);
      audio->SetVolume(v, kOutputBoth);
      CQelValue value;
      qel::GetMixerVolume<kOutputSpeaker>(&value, audio.get());
      audio->GetBeepFrequency();
    }
  });
  ce::Sleep(400);
  done = true;
  for (auto& t : callers) t.join();
  EXPECT_GT(waited.load(), 0);
  EXPECT_GT(stops.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
