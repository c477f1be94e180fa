// The audio service's own arithmetic: tone buffers, clamps, volume steps and
// the click and gain mappings, on a terminal whose mixer the test plays.
#include "devices/audio_service.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "devices/audio_properties.h"
#include "qelcommon/ref.h"
#include "qelcommon/value.h"
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
    uint32_t ms, bytes;
  } cases[] = {{1000, 44100}, {10, 442}, {100, 4410}, {1, 44}, {3, 132}, {0, 0}, {250, 11026}};
  for (const auto& c : cases) EXPECT_EQ(qel::ToneBytes(c.ms), c.bytes) << c.ms << " ms";
}

TEST(RenderTone, IsASineOfTheFrequencyAtTheVolume) {
  const uint32_t bytes = qel::ToneBytes(100);
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

}  // namespace
