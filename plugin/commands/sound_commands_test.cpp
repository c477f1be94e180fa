// How IBP turns its arguments into tones and a mode, and the reports of IBP
// and IPS when the audio service is missing or refuses.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "command_doubles.h"
#include "commands/commands.h"
#include "core/module_slots.h"
#include "qel/audio.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "qelcommon/ref.h"

namespace {

using Args = qeltest::CommandArgs;
using Context = qeltest::CommandContext;
using Reply = qeltest::CommandReply;

// Records the sequences it is asked to play; answers the frequency and volume
// it is given and nothing else.
class Recorder final : public qel::CQelObject<IQelAudioService, qel::IID_QELAUDIOSERVICE> {
 public:
  bool BeepSequence(uint32_t count, const BeepTone* tones, uint32_t mode) override {
    calls.push_back({std::vector<BeepTone>(tones, tones + count), mode});
    return answer;
  }
  uint32_t GetBeepFrequency() override { return frequency; }
  uint16_t GetBeepVolume() override { return volume; }
  bool StopSound() override { return answer; }

  bool Beep(uint32_t, uint32_t, uint16_t, uint32_t, uint32_t) override { return false; }
  bool BeepDefaultVolume(uint32_t, uint32_t, uint32_t, uint32_t) override { return false; }
  void SetBeepFrequency(uint32_t) override {}
  bool SetBeepVolume(uint16_t) override { return false; }
  bool PlaySound(IQelFileReference*, uint32_t) override { return false; }
  double GetRecommendedGainDb() override { return -1; }
  bool SetGain(uint16_t, uint32_t) override { return false; }
  int16_t GetGain(uint32_t) override { return -1; }
  bool SetGainDb(double, uint32_t) override { return false; }
  double GetGainDb(uint32_t) override { return -1; }
  double GetMaxGainDb(uint32_t) override { return -1; }
  int32_t SetMicBoost(bool) override { return -1; }
  int32_t GetMicBoost() override { return -1; }
  bool SetVolume(uint16_t, uint32_t) override { return false; }
  int16_t GetVolume(uint32_t) override { return -1; }
  bool SetClickLevel(uint32_t, uint32_t) override { return false; }
  bool GetClickLevel(uint32_t*, uint32_t) override { return false; }
  bool VolumeStepUp(uint32_t) override { return false; }
  bool VolumeStepDown(uint32_t) override { return false; }
  int32_t GetVolumeStep(uint32_t) override { return 0; }
  bool SetVolumeStep(int32_t, uint32_t) override { return false; }
  int32_t GetVolumeMaxStep(uint32_t) override { return 10; }
  bool StopBeep() override { return false; }
  bool PlayTone(uint32_t, uint32_t, int32_t) override { return false; }

  struct Call {
    std::vector<BeepTone> tones;
    uint32_t mode;
  };
  std::vector<Call> calls;
  bool answer = true;
  uint32_t frequency = 1234;
  uint16_t volume = 77;
};

class SoundCommands : public ::testing::Test {
 protected:
  void SetUp() override { context.services = {{qel::IID_QELAUDIOSERVICE, recorder.get()}}; }
  void TearDown() override { qel::ReleaseSlot(qel::Slot::Audio); }

  qel::Ref<Recorder> recorder = qel::Ref<Recorder>::Adopt(new Recorder);
  Context context;
  Reply reply;
};

std::string Tones(const std::vector<BeepTone>& tones) {
  std::string out;
  for (const BeepTone& t : tones)
    out += std::to_string(t.duration) + "ms/" + std::to_string(t.frequency) + "Hz/x" +
           std::to_string(t.repeat) + "/" + std::to_string(t.volume) + "% ";
  return out;
}

TEST_F(SoundCommands, IbpBuildsOneToneForEachGroupOfFour) {
  using E = std::optional<std::string>;
  const struct {
    std::vector<E> args;  // after the code
    std::string tones;
    uint32_t mode;
  } cases[] = {
      {{}, "250ms/1234Hz/x1/77% ", 1},
      {{"100", "800", "2", "B"}, "100ms/800Hz/x2/77% ", 0},
      {{"100", "800", "2", "F"}, "100ms/800Hz/x2/77% ", 1},
      {{"100", "800", "2", "b"}, "100ms/800Hz/x2/77% ", 1},  // letters compared exactly
      {{"100"}, "100ms/1234Hz/x1/77% ", 1},
      {{"100", "800", "2", "B", "300", "600"}, "100ms/800Hz/x2/77% 300ms/600Hz/x1/77% ", 0},
      {{"100", "800", "2", E{}, "300", "600", "3", "B"}, "100ms/800Hz/x2/77% 300ms/600Hz/x3/77% ", 1},
      {{E{}, E{}, E{}, E{}, E{}, "500"}, "250ms/1234Hz/x1/77% 250ms/500Hz/x1/77% ", 1},
  };
  for (const auto& c : cases) {
    std::vector<E> entries{"IBP"};
    entries.insert(entries.end(), c.args.begin(), c.args.end());
    Args args(entries);
    recorder->calls.clear();
    qel::Ibp(&context, &args, &reply);
    ASSERT_EQ(recorder->calls.size(), 1u) << c.tones;
    EXPECT_EQ(Tones(recorder->calls[0].tones), c.tones);
    EXPECT_EQ(recorder->calls[0].mode, c.mode) << c.tones;
  }
  EXPECT_TRUE(context.results.empty());
  EXPECT_TRUE(reply.bad.empty());
}

TEST_F(SoundCommands, ReportWhatTheServiceRefusesOrLacks) {
  recorder->answer = false;
  Args ibp({"IBP"});
  qel::Ibp(&context, &ibp, &reply);
  EXPECT_EQ(context.results, std::vector<int32_t>{1});

  qel::ReleaseSlot(qel::Slot::Audio);
  context.services.clear();
  for (auto handler : {qel::Ibp, qel::Ips}) {
    Args args({"X"});
    reply.failures.clear();
    handler(&context, &args, &reply);
    EXPECT_EQ(reply.failures, std::vector<std::u16string>{u"QelService IID_QELAUDIOSERVICE not found."});
  }
  Args none(std::vector<std::optional<std::string>>{});
  qel::Ibp(&context, &none, &reply);
  EXPECT_EQ(reply.missing, 1);
}

}  // namespace
