// What the wave-out devices render, what the hardware state makes them
// report, and the vendor library's gain and the system's click reload.
#include "wave_out.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "ce/audio.h"
#include "ce/module.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "ce/vendor.h"
#include "dead_pid.h"
#include "hardware.h"
#include "test_terminal.h"
#include "utf.h"
#include "wav_recording.h"

namespace ce::sim {
namespace {

namespace fs = std::filesystem;

WAVEFORMATEX Pcm(DWORD rate, WORD bits, WORD channels) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = WORD(bits / 8 * channels);
  f.nAvgBytesPerSec = f.nBlockAlign * rate;
  return f;
}

// 16-bit samples that differ from one another, so that any lost, doubled or
// misplaced one shows.
std::vector<int16_t> Ramp(size_t n, int seed) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = int16_t((int(i) * 37 + seed) % 60000 - 30000);
  return s;
}

// An open device whose done notices set an event.
struct Device {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HWAVEOUT h = nullptr;
  explicit Device(const WAVEFORMATEX& f) {
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, uintptr_t(event), 0, CALLBACK_EVENT), MMSYSERR_NOERROR);
    WaitForSingleObject(event, 0);  // MM_WOM_OPEN
  }
  ~Device() {
    waveOutReset(h);
    waveOutClose(h);
    CloseHandle(event);
  }
  // Plays the samples, and waits for them to come back when wait is set.
  void Play(std::vector<int16_t>& samples, WAVEHDR* header, bool wait = true) {
    *header = WAVEHDR{};
    header->lpData = reinterpret_cast<char*>(samples.data());
    header->dwBufferLength = DWORD(samples.size() * 2);
    ASSERT_EQ(waveOutPrepareHeader(h, header, sizeof *header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(h, header, sizeof *header), MMSYSERR_NOERROR);
    if (wait) {
      ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    }
  }
};

// The rendered files of the terminal, oldest first.
std::vector<fs::path> Rendered(const qeltest::TestTerminal& t) {
  std::vector<fs::path> files;
  if (fs::exists(t.dir() / "outputs" / "audio"))
    for (const auto& e : fs::directory_iterator(t.dir() / "outputs" / "audio")) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// A rendered file's samples, after checking that its header describes it.
std::vector<int16_t> Samples16(const fs::path& file, WORD channels) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  const auto wav = ParseWav(bytes);
  if (!wav) {
    ADD_FAILURE() << file << " is no WAV file";
    return {};
  }
  EXPECT_EQ(wav->format, (PcmFormat{channels, wav->format.rate, 16}));
  EXPECT_EQ(bytes.size(), kWavHeaderBytes + wav->samples.size()) << "the header's sizes lag the file";
  std::vector<int16_t> out(wav->samples.size() / 2);
  std::memcpy(out.data(), wav->samples.data(), out.size() * 2);
  return out;
}

TEST(WaveOutRendering, HoldsTheSamplesAtTheVolumeWithTheIdleTimeAsSilence) {
  qeltest::TestTerminal t;
  t.Set("audio.volume", 0xFFFF4000u);               // the mono device takes the left half
  const auto a = Ramp(2205, 1), b = Ramp(1102, 2);  // 100 ms and 50 ms
  auto played = a, playedB = b;
  {
    Device d(Pcm(22050, 16, 1));
    WAVEHDR ha, hb;
    d.Play(played, &ha);
    Sleep(150);
    d.Play(playedB, &hb);
  }
  const auto files = Rendered(t);
  ASSERT_EQ(files.size(), 1u);
  const auto got = Samples16(files[0], 1);
  ASSERT_GT(got.size(), a.size() + b.size());
  const size_t gap = got.size() - a.size() - b.size();
  EXPECT_GE(gap, 22050u * 150 / 1000 - 1) << "the idle time is not all in the file";
  EXPECT_LT(gap, 22050u);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(got[i], Scale16(a[i], 0x4000)) << "sample " << i;
  for (size_t i = 0; i < gap; ++i) ASSERT_EQ(got[a.size() + i], 0) << "silence " << i;
  for (size_t i = 0; i < b.size(); ++i)
    ASSERT_EQ(got[a.size() + gap + i], Scale16(b[i], 0x4000)) << "sample " << i;
}

TEST(WaveOutRendering, StereoTakesEachChannelsVolumeAndAResetCutsWhatHadNotPlayed) {
  qeltest::TestTerminal t;
  t.Set("audio.volume", 0xFFFFFFFFu);
  auto frames = Ramp(44100 * 2 * 2, 3);  // two seconds of stereo
  const auto original = frames;
  {
    Device d(Pcm(44100, 16, 2));
    ASSERT_EQ(waveOutSetVolume(d.h, 0x8000FFFF), MMSYSERR_NOERROR);  // right at half
    WAVEHDR h;
    d.Play(frames, &h, false);
    Sleep(300);
    ASSERT_EQ(waveOutReset(d.h), MMSYSERR_NOERROR);
  }
  const auto files = Rendered(t);
  ASSERT_EQ(files.size(), 1u);
  const auto got = Samples16(files[0], 2);
  EXPECT_GE(got.size(), size_t(44100 * 2 * 3 / 10) - 2) << "the reset cut what had played";
  EXPECT_LT(got.size(), original.size() / 2) << "the reset left what had not played";
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(got[i], Scale16(original[i], i % 2 ? 0x8000 : 0xFFFF)) << "sample " << i;
}

// True once the lines of audio.playing have, or no longer have, one of this
// process naming what; false when that takes longer than a few seconds.
bool ShownPlaying(const std::string& what, bool playing) {
  const std::string prefix = std::to_string(::getpid()) + " ";
  for (int i = 0; i < 500; ++i) {
    const auto lines = hw::Read(hw::kAudioPlaying);
    const bool found = std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.starts_with(prefix) && l.find(what) != std::string::npos;
    });
    if (found == playing) return true;
    Sleep(10);
  }
  return false;
}

TEST(WaveOutRendering, TheTerminalShowsWhatPlaysWhileItPlays) {
  qeltest::TestTerminal t;
  const std::string ghost =
      std::to_string(qeltest::DeadPid()) + " waveOut WAV1 of a process killed while playing";
  t.Set("audio.playing", ce::sim::Json::array({ghost}));
  auto samples = Ramp(22050 * 5, 4);
  Device d(Pcm(22050, 16, 1));
  WAVEHDR h;
  d.Play(samples, &h, false);
  EXPECT_TRUE(ShownPlaying("waveOut WAV1 (Audio Output): 22050 Hz, 16-bit, mono", true));
  const auto lines = hw::Read(hw::kAudioPlaying);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ghost), 0) << "a dead process's line stayed";
  ASSERT_EQ(waveOutReset(d.h), MMSYSERR_NOERROR);
  EXPECT_TRUE(ShownPlaying("waveOut WAV1", false));
}

TEST(WaveOutRendering, ScalingKeepsSilenceAndTruncatesTowardIt) {
  const struct {
    int16_t in;
    uint16_t volume;
    int16_t out;
  } rows16[] = {{32767, 0xFFFF, 32767}, {-32768, 0xFFFF, -32768}, {-32768, 0x8000, -16384},
                {3, 0x8000, 1},         {-3, 0x8000, -1},         {1234, 0, 0}};
  for (const auto& r : rows16) EXPECT_EQ(Scale16(r.in, r.volume), r.out) << r.in << " at " << r.volume;
  const struct {
    uint8_t in;
    uint16_t volume;
    uint8_t out;
  } rows8[] = {{255, 0xFFFF, 255}, {0, 0xFFFF, 0}, {255, 0x8000, 191}, {0, 0x8000, 64}, {200, 0, 128}};
  for (const auto& r : rows8) EXPECT_EQ(Scale8(r.in, r.volume), r.out) << int(r.in) << " at " << r.volume;
}

// A done notice that closes its own device: the close runs on the thread
// that plays, which must outlive it.
struct ClosedFromNotice {
  HWAVEOUT h = nullptr;
  MMRESULT closed = MMSYSERR_ERROR;
  std::vector<UINT> messages;
  HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

void CALLBACK_CloseOnDone(HWAVEOUT, UINT message, uintptr_t instance, uintptr_t, uintptr_t) {
  auto* c = reinterpret_cast<ClosedFromNotice*>(instance);
  c->messages.push_back(message);
  if (message == MM_WOM_DONE) c->closed = waveOutClose(c->h);
  if (message == MM_WOM_CLOSE) SetEvent(c->ended);
}

TEST(WaveOutRendering, ADeviceClosedFromItsOwnDoneNoticeEndsCleanly) {
  qeltest::TestTerminal t;
  for (int round = 0; round < 20; ++round) {
    ClosedFromNotice c;
    const WAVEFORMATEX f = Pcm(22050, 16, 1);
    ASSERT_EQ(waveOutOpen(&c.h, WAVE_MAPPER, &f, reinterpret_cast<uintptr_t>(&CALLBACK_CloseOnDone),
                          reinterpret_cast<uintptr_t>(&c), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    auto samples = Ramp(220, round);
    WAVEHDR h{};
    h.lpData = reinterpret_cast<char*>(samples.data());
    h.dwBufferLength = DWORD(samples.size() * 2);
    ASSERT_EQ(waveOutPrepareHeader(c.h, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(c.h, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(WaitForSingleObject(c.ended, 5000), WAIT_OBJECT_0);
    Sleep(5);  // the playing thread unwinds after the close notice
    EXPECT_EQ(c.closed, MMSYSERR_NOERROR);
    EXPECT_EQ(c.messages, (std::vector<UINT>{MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_CLOSE}));
    EXPECT_EQ(waveOutClose(c.h), MMSYSERR_INVALHANDLE);
    CloseHandle(c.ended);
  }
}

// PlaySoundW answers to a named stop event of its process: a name taken by
// another kind of object refuses the sound, it does not end the process.
TEST(WaveOutRendering, ASoundWhoseStopEventCannotBeMadeIsRefused) {
  qeltest::TestTerminal t;
  {
    std::ofstream out(t.dir() / "fs" / "short.wav", std::ios::binary);
    const PcmFormat format{1, 22050, 16};
    out << WavHeader(format, 4410) << std::string(4410, '\x01');
  }
  const std::u16string name = u"QelSoundStop." + FromUtf8(std::to_string(::getpid()));
  const HANDLE taken = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(taken, nullptr);
  EXPECT_FALSE(PlaySoundW(u"\\short.wav", nullptr, SND_ASYNC | SND_NODEFAULT));
  CloseHandle(taken);
  EXPECT_TRUE(PlaySoundW(u"\\short.wav", nullptr, SND_SYNC | SND_NODEFAULT));
}

TEST(WaveOutDevices, ReportWhatTheHardwareStateSays) {
  qeltest::TestTerminal t;
  const WAVEFORMATEX tone = Pcm(22050, 16, 1), other = Pcm(44100, 8, 2);
  const struct {
    const char* key;
    ce::sim::Json value;
    UINT devices;
    MMRESULT tone, other;  // opening the mapper in each format
  } rows[] = {
      {"audio.wave_out.device.WAV1.formats", 0xFFF, 1, MMSYSERR_NOERROR, MMSYSERR_NOERROR},
      {"audio.wave_out.device.WAV1.formats", 0xFFF & ~WAVE_FORMAT_2M16, 1, WAVERR_BADFORMAT,
       MMSYSERR_NOERROR},
      {"audio.wave_out.devices", ce::sim::Json::array(), 0, MMSYSERR_NODRIVER, MMSYSERR_NODRIVER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    t.Set(row.key, row.value);
    EXPECT_EQ(waveOutGetNumDevs(), row.devices);
    for (const auto& [format, result] : {std::pair{&tone, row.tone}, std::pair{&other, row.other}}) {
      HWAVEOUT h = nullptr;
      EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, format, 0, 0, CALLBACK_NULL), result);
      if (h) {
        waveOutClose(h);
      }
    }
  }
  DWORD volume;
  EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t(WAVE_MAPPER)), &volume),
            MMSYSERR_BADDEVICEID);
}

TEST(VendorAudio, GainAnswersFromTheStateAndFailsWhenItSaysSo) {
  qeltest::TestTerminal t;
  const HMODULE lxe = LoadLibraryW(u"LXEAPI.dll");
  ASSERT_NE(lxe, nullptr);
  const auto set = reinterpret_cast<PFN_LXEAudioSetGain>(GetProcAddressW(lxe, u"LXEAudioSetGain"));
  const auto get = reinterpret_cast<PFN_LXEAudioGetGain>(GetProcAddressW(lxe, u"LXEAudioGetGain"));
  ASSERT_TRUE(set && get);
  LONG gain = 0;
  ASSERT_TRUE(get(&gain));
  EXPECT_EQ(gain, hw::Read(hw::kLxeAudioGain));
  const struct {
    LONG set;
    BOOL ok;
    LONG after;
  } rows[] = {{290, TRUE, 290}, {-170, TRUE, -170}, {291, FALSE, -170}, {-171, FALSE, -170}, {0, TRUE, 0}};
  for (const auto& r : rows) {
    EXPECT_EQ(set(r.set), r.ok) << r.set;
    ASSERT_TRUE(get(&gain));
    EXPECT_EQ(gain, r.after);
  }
  EXPECT_FALSE(get(nullptr));
  t.Set("lxe.audio_gain_fails", true);
  gain = 77;
  EXPECT_FALSE(set(10));
  EXPECT_FALSE(get(&gain));
  EXPECT_EQ(gain, 77);
  EXPECT_EQ(hw::Read(hw::kLxeAudioGain), 0);
  FreeLibrary(lxe);
}

TEST(VendorAudio, ClickReloadAppliesWhatTheRegistryHolds) {
  qeltest::TestTerminal t;
  const HMODULE core = LoadLibraryW(u"coredll.dll");
  const auto update =
      reinterpret_cast<PFN_AudioUpdateFromRegistry>(GetProcAddressW(core, u"AudioUpdateFromRegistry"));
  ASSERT_NE(update, nullptr);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Volume", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  const DWORD loud = 0x10002;
  ASSERT_EQ(RegSetValueExW(key, u"Key", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loud), 4),
            ERROR_SUCCESS);
  const DWORD screen = hw::Read(hw::kScreenTapApplied);
  ASSERT_EQ(RegSetValueExW(key, u"Screen", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"1"), 4), ERROR_SUCCESS);
  EXPECT_NE(hw::Read(hw::kKeyClickApplied), loud) << "applied before the reload";
  update();
  EXPECT_EQ(hw::Read(hw::kKeyClickApplied), loud);
  EXPECT_EQ(hw::Read(hw::kScreenTapApplied), screen) << "a value that is no DWORD changed the applied level";
  RegCloseKey(key);
  FreeLibrary(core);
}

}  // namespace
}  // namespace ce::sim
