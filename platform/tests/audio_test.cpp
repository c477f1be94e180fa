// The wave-out devices and PlaySoundW: capabilities, opening in a format,
// buffers that come back when their time has passed, reset, close, volume,
// and sound files played once, in a loop and stopped.
#include "ce/audio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "ce/thread.h"
#include "ce/window.h"
#include "conformance.h"

namespace ce {
namespace {

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

const WAVEFORMATEX kTone = Pcm(22050, 16, 1);

// Milliseconds of a quiet square wave in the tone format.
std::vector<char> Samples(DWORD ms) {
  std::vector<char> data(22050 * 2 * ms / 1000);
  for (size_t i = 0; i + 1 < data.size(); i += 2) data[i + 1] = (i / 100) % 2 ? 0x10 : -0x10;
  return data;
}

WAVEHDR Header(std::vector<char>& data) {
  WAVEHDR h{};
  h.lpData = data.data();
  h.dwBufferLength = DWORD(data.size());
  return h;
}

// Closes an open device at the end of a test, whatever it left queued.
struct OpenDevice {
  HWAVEOUT h = nullptr;
  ~OpenDevice() {
    if (!h) return;
    ce::waveOutReset(h);
    ce::waveOutClose(h);
  }
};

// The terminal always has its speaker; a desktop may have no sound device at
// all (Wine without an audio driver), and then nothing here can be checked.
class WaveOut : public ::testing::Test {
 protected:
  void SetUp() override {
    if (cetest::broken(ce::waveOutGetNumDevs() == 0)) GTEST_SKIP() << "no sound device";
  }
};

TEST_F(WaveOut, CapabilitiesFillWhatTheCallerGives) {
  ASSERT_GE(ce::waveOutGetNumDevs(), 1u);
  WAVEOUTCAPSW full{};
  ASSERT_EQ(ce::waveOutGetDevCapsW(0, &full, sizeof full), MMSYSERR_NOERROR);
  EXPECT_NE(full.szPname[0], 0);
  EXPECT_TRUE(full.dwFormats & WAVE_FORMAT_2M16);  // what the audio service looks for
  const struct {
    UINT device;
    UINT size;
    MMRESULT result;
    size_t filled;  // bytes of the answer written, the rest left as they were
  } rows[] = {
      {0, sizeof(WAVEOUTCAPSW), MMSYSERR_NOERROR, sizeof(WAVEOUTCAPSW)},
      {0, 8, MMSYSERR_NOERROR, 8},
      {0, 0, MMSYSERR_NOERROR, 0},
      {WAVE_MAPPER, sizeof(WAVEOUTCAPSW), MMSYSERR_NOERROR, sizeof(WAVEOUTCAPSW)},
      {ce::waveOutGetNumDevs(), sizeof(WAVEOUTCAPSW), MMSYSERR_BADDEVICEID, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.device << " " << row.size);
    unsigned char caps[sizeof(WAVEOUTCAPSW) + 4];
    std::memset(caps, 0xAB, sizeof caps);
    EXPECT_EQ(ce::waveOutGetDevCapsW(row.device, reinterpret_cast<WAVEOUTCAPSW*>(caps), row.size),
              row.result);
    EXPECT_EQ(std::memcmp(caps, &full, row.filled), 0);
    for (size_t i = row.filled; i < sizeof caps; ++i) ASSERT_EQ(caps[i], 0xAB) << "byte " << i;
  }
  EXPECT_EQ(ce::waveOutGetDevCapsW(0, nullptr, sizeof full), MMSYSERR_INVALPARAM);
}

TEST_F(WaveOut, OpensOnlyFormatsAndCallbacksItTakes) {
  WAVEFORMATEX badAlign = kTone;
  badAlign.nBlockAlign = 4;
  WAVEFORMATEX adpcm = kTone;
  adpcm.wFormatTag = 2;
  const WAVEFORMATEX twelveBits = Pcm(22050, 12, 1), eightBitStereo = Pcm(44100, 8, 2);
  HANDLE notAnEvent = reinterpret_cast<HANDLE>(uintptr_t(0x7FFF0));
  const struct {
    UINT device;
    const WAVEFORMATEX* format;
    DWORD flags;
    uintptr_t callback;
    MMRESULT result;
  } rows[] = {
      {WAVE_MAPPER, &kTone, WAVE_FORMAT_QUERY, 0, MMSYSERR_NOERROR},
      {0, &eightBitStereo, WAVE_FORMAT_QUERY, 0, MMSYSERR_NOERROR},
      {WAVE_MAPPER, &kTone, CALLBACK_NULL, 0, MMSYSERR_NOERROR},
      {WAVE_MAPPER, &adpcm, WAVE_FORMAT_QUERY, 0, WAVERR_BADFORMAT},
      {WAVE_MAPPER, &twelveBits, CALLBACK_NULL, 0, WAVERR_BADFORMAT},
      {WAVE_MAPPER, &badAlign, CALLBACK_NULL, 0, WAVERR_BADFORMAT},
      {ce::waveOutGetNumDevs(), &kTone, CALLBACK_NULL, 0, MMSYSERR_BADDEVICEID},
      {WAVE_MAPPER, nullptr, CALLBACK_NULL, 0, MMSYSERR_INVALPARAM},
      {WAVE_MAPPER, &kTone, 0x00070000, 0, MMSYSERR_INVALFLAG},
      {WAVE_MAPPER, &kTone, CALLBACK_EVENT, uintptr_t(notAnEvent), MMSYSERR_INVALPARAM},
      {WAVE_MAPPER, &kTone, CALLBACK_FUNCTION, 0, MMSYSERR_INVALPARAM},
      {WAVE_MAPPER, &kTone, CALLBACK_WINDOW, uintptr_t(0x7FFF0), MMSYSERR_INVALPARAM},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.device << " flags " << row.flags << " result " << row.result);
    HWAVEOUT h = nullptr;
    EXPECT_EQ(ce::waveOutOpen(&h, row.device, row.format, row.callback, 0, row.flags), row.result);
    if (row.flags & WAVE_FORMAT_QUERY) {
      EXPECT_EQ(h, nullptr);
    }
    if (h) {
      EXPECT_EQ(ce::waveOutClose(h), MMSYSERR_NOERROR);
    }
  }
  EXPECT_EQ(ce::waveOutOpen(nullptr, WAVE_MAPPER, &kTone, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
}

TEST_F(WaveOut, BuffersComeBackInOrderOnceTheirTimeHasPassed) {
  MSG msg;
  ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue takes the notices
  OpenDevice dev;
  ASSERT_EQ(ce::waveOutOpen(&dev.h, WAVE_MAPPER, &kTone, GetCurrentThreadId(), 0, CALLBACK_THREAD),
            MMSYSERR_NOERROR);
  ASSERT_TRUE(ce::GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, UINT(MM_WOM_OPEN));

  std::vector<char> data[3] = {Samples(100), Samples(100), Samples(100)};
  WAVEHDR headers[3] = {Header(data[0]), Header(data[1]), Header(data[2])};
  const DWORD start = GetTickCount();
  for (WAVEHDR& h : headers) {
    ASSERT_EQ(ce::waveOutPrepareHeader(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags & (WHDR_PREPARED | WHDR_INQUEUE | WHDR_DONE), DWORD(WHDR_PREPARED | WHDR_INQUEUE));
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(ce::GetMessageW(&msg, nullptr, 0, 0));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(msg.message, UINT(MM_WOM_DONE));
    EXPECT_EQ(reinterpret_cast<HWAVEOUT>(msg.wParam), dev.h);
    EXPECT_EQ(reinterpret_cast<WAVEHDR*>(msg.lParam), &headers[i]);
    EXPECT_GE(elapsed + 10, DWORD(100 * (i + 1))) << "buffer " << i << " came back before it had played";
    EXPECT_EQ(headers[i].dwFlags & (WHDR_INQUEUE | WHDR_DONE), DWORD(WHDR_DONE));
    EXPECT_EQ(ce::waveOutUnprepareHeader(dev.h, &headers[i], sizeof headers[i]), MMSYSERR_NOERROR);
    EXPECT_EQ(headers[i].dwFlags & WHDR_PREPARED, 0u);
  }
  ASSERT_EQ(ce::waveOutClose(dev.h), MMSYSERR_NOERROR);
  ASSERT_TRUE(ce::GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, UINT(MM_WOM_CLOSE));
  dev.h = nullptr;
}

LRESULT CALLBACK PlainWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return ce::DefWindowProcW(w, m, wp, lp);
}

TEST_F(WaveOut, AWindowCallbackGetsTheNoticesInItsQueue) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = PlainWindow;
  wc.lpszClassName = u"WaveOutNotices";
  ASSERT_NE(RegisterClassW(&wc), 0) << GetLastError();
  const HWND window =
      CreateWindowExW(0, wc.lpszClassName, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr) << GetLastError();
  OpenDevice dev;
  ASSERT_EQ(ce::waveOutOpen(&dev.h, WAVE_MAPPER, &kTone, uintptr_t(window), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
  std::vector<char> data = Samples(20);
  WAVEHDR header = Header(data);
  ASSERT_EQ(ce::waveOutPrepareHeader(dev.h, &header, sizeof header), MMSYSERR_NOERROR);
  ASSERT_EQ(ce::waveOutWrite(dev.h, &header, sizeof header), MMSYSERR_NOERROR);
  MSG msg;
  for (const UINT expected : {UINT(MM_WOM_OPEN), UINT(MM_WOM_DONE)}) {
    ASSERT_TRUE(ce::GetMessageW(&msg, window, 0, 0));
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, expected);
    EXPECT_EQ(reinterpret_cast<HWAVEOUT>(msg.wParam), dev.h);
  }
  EXPECT_EQ(reinterpret_cast<WAVEHDR*>(msg.lParam), &header);
  EXPECT_EQ(ce::waveOutUnprepareHeader(dev.h, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_TRUE(ce::DestroyWindow(window));
  EXPECT_TRUE(UnregisterClassW(wc.lpszClassName, nullptr));
}

TEST_F(WaveOut, HeadersMustBePreparedWholeAndNotQueued) {
  OpenDevice dev;
  ASSERT_EQ(ce::waveOutOpen(&dev.h, WAVE_MAPPER, &kTone, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<char> data = Samples(1000);
  WAVEHDR h = Header(data);
  EXPECT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h), WAVERR_UNPREPARED);
  EXPECT_EQ(ce::waveOutPrepareHeader(dev.h, &h, sizeof h - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(ce::waveOutPrepareHeader(dev.h, nullptr, sizeof h), MMSYSERR_INVALPARAM);
  ASSERT_EQ(ce::waveOutPrepareHeader(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
  EXPECT_EQ(ce::waveOutPrepareHeader(dev.h, &h, sizeof h), MMSYSERR_NOERROR);  // again: nothing changes
  EXPECT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h - 1), MMSYSERR_INVALPARAM);
  ASSERT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
  EXPECT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h), WAVERR_STILLPLAYING);
  EXPECT_EQ(ce::waveOutUnprepareHeader(dev.h, &h, sizeof h), WAVERR_STILLPLAYING);
  EXPECT_EQ(ce::waveOutClose(dev.h), WAVERR_STILLPLAYING);

  // A reset hands every queued buffer back before it returns.
  EXPECT_EQ(ce::waveOutReset(dev.h), MMSYSERR_NOERROR);
  EXPECT_EQ(h.dwFlags & (WHDR_INQUEUE | WHDR_DONE), DWORD(WHDR_DONE));
  EXPECT_EQ(ce::waveOutUnprepareHeader(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
  EXPECT_EQ(ce::waveOutClose(dev.h), MMSYSERR_NOERROR);
  const struct {
    const char* call;
    MMRESULT result;
  } closed[] = {
      {"close", ce::waveOutClose(dev.h)},
      {"write", ce::waveOutWrite(dev.h, &h, sizeof h)},
      {"reset", ce::waveOutReset(dev.h)},
      {"prepare", ce::waveOutPrepareHeader(dev.h, &h, sizeof h)},
  };
  for (const auto& c : closed) EXPECT_EQ(c.result, MMSYSERR_INVALHANDLE) << c.call << " after close";
  dev.h = nullptr;
}

TEST_F(WaveOut, ResetReturnsEveryQueuedBufferToAnEvent) {
  UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  OpenDevice dev;
  ASSERT_EQ(ce::waveOutOpen(&dev.h, WAVE_MAPPER, &kTone, uintptr_t(event.get()), 0, CALLBACK_EVENT),
            MMSYSERR_NOERROR);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);  // MM_WOM_OPEN
  std::vector<char> data[2] = {Samples(2000), Samples(2000)};
  WAVEHDR headers[2] = {Header(data[0]), Header(data[1])};
  for (WAVEHDR& h : headers) {
    ce::waveOutPrepareHeader(dev.h, &h, sizeof h);
    ASSERT_EQ(ce::waveOutWrite(dev.h, &h, sizeof h), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), DWORD(WAIT_TIMEOUT));  // nothing has played yet
  ASSERT_EQ(ce::waveOutReset(dev.h), MMSYSERR_NOERROR);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
  for (const WAVEHDR& h : headers) EXPECT_EQ(h.dwFlags & (WHDR_INQUEUE | WHDR_DONE), DWORD(WHDR_DONE));
}

struct Received {
  std::vector<UINT> messages;
  std::vector<uintptr_t> params;
  UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

void CALLBACK_Record(HWAVEOUT, UINT message, uintptr_t instance, uintptr_t param1, uintptr_t) {
  auto* r = reinterpret_cast<Received*>(instance);
  r->messages.push_back(message);
  r->params.push_back(param1);
  if (message == MM_WOM_DONE) SetEvent(r->done.get());
}

TEST_F(WaveOut, FunctionCallbackGetsEveryNoticeWithItsInstance) {
  Received got;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(ce::waveOutOpen(&h, WAVE_MAPPER, &kTone, reinterpret_cast<uintptr_t>(&CALLBACK_Record),
                            reinterpret_cast<uintptr_t>(&got), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  std::vector<char> data = Samples(20);
  WAVEHDR hdr = Header(data);
  ce::waveOutPrepareHeader(h, &hdr, sizeof hdr);
  ASSERT_EQ(ce::waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(WaitForSingleObject(got.done.get(), 5000), WAIT_OBJECT_0);
  ASSERT_EQ(ce::waveOutClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(got.messages, (std::vector<UINT>{MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_CLOSE}));
  EXPECT_EQ(got.params, (std::vector<uintptr_t>{0, reinterpret_cast<uintptr_t>(&hdr), 0}));
}

TEST_F(WaveOut, VolumeRoundTripsByHandleAndByDevice) {
  DWORD system = 0;
  ASSERT_EQ(ce::waveOutGetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t(WAVE_MAPPER)), &system),
            MMSYSERR_NOERROR);
  OpenDevice dev;
  ASSERT_EQ(ce::waveOutOpen(&dev.h, WAVE_MAPPER, &kTone, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  const HWAVEOUT mapper = reinterpret_cast<HWAVEOUT>(uintptr_t(WAVE_MAPPER));
  const HWAVEOUT device0 = reinterpret_cast<HWAVEOUT>(uintptr_t(0));
  const struct {
    HWAVEOUT set, get;
    DWORD volume;
  } rows[] = {
      {mapper, mapper, 0x80004000},
      {mapper, device0, 0x12345678},  // the mapper's volume is the device's
      {dev.h, dev.h, 0x0000FFFF},
  };
  for (const auto& row : rows) {
    DWORD got = 0;
    EXPECT_EQ(ce::waveOutSetVolume(row.set, row.volume), MMSYSERR_NOERROR);
    EXPECT_EQ(ce::waveOutGetVolume(row.get, &got), MMSYSERR_NOERROR);
    EXPECT_EQ(got, row.volume);
  }
  DWORD got = 0;
  EXPECT_EQ(ce::waveOutGetVolume(mapper, &got), MMSYSERR_NOERROR);
  EXPECT_EQ(got, 0x12345678u) << "an open's own volume changed the system's";
  EXPECT_EQ(ce::waveOutGetVolume(mapper, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(ce::waveOutSetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t(ce::waveOutGetNumDevs())), 0),
            MMSYSERR_BADDEVICEID);
  EXPECT_EQ(ce::waveOutSetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t(0x7FFF0001)), 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ce::waveOutSetVolume(mapper, system), MMSYSERR_NOERROR);
}

// A RIFF/WAVE file: the format chunk (with the tag given), then the data.
std::string WavFile(const WAVEFORMATEX& f, DWORD dataBytes, bool withData = true) {
  auto le = [](std::string& s, DWORD v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
  };
  std::string body = "WAVEfmt ";
  le(body, 16, 4);
  le(body, f.wFormatTag, 2);
  le(body, f.nChannels, 2);
  le(body, f.nSamplesPerSec, 4);
  le(body, f.nAvgBytesPerSec, 4);
  le(body, f.nBlockAlign, 2);
  le(body, f.wBitsPerSample, 2);
  if (withData) {
    body += "data";
    le(body, dataBytes, 4);
    body += std::string(dataBytes, '\x01');
  }
  std::string file = "RIFF";
  le(file, DWORD(body.size()), 4);
  return file + body;
}

class PlaySounds : public cetest::FolderTest {};

TEST_F(PlaySounds, RefusesWhatItCannotPlay) {
  WAVEFORMATEX floats = Pcm(22050, 32, 1);
  floats.wFormatTag = 3;
  Put(u"tone.wav", WavFile(kTone, 2205));
  Put(u"float.wav", WavFile(floats, 400));
  Put(u"24bit.wav", WavFile(Pcm(22050, 24, 1), 300));
  Put(u"nodata.wav", WavFile(kTone, 0, false));
  Put(u"text.wav", "this is not a sound");
  const struct {
    std::u16string file;
    DWORD flags;
  } rows[] = {
      {At(u"missing.wav"), SND_SYNC},
      {At(u"float.wav"), SND_ASYNC},
      {At(u"24bit.wav"), SND_ASYNC},
      {At(u"nodata.wav"), SND_ASYNC},
      {At(u"text.wav"), SND_ASYNC},
      {At(u"tone.wav"), SND_LOOP},  // a loop must be asynchronous
      {At(u"tone.wav"), SND_ASYNC | SND_ALIAS},
      {u"\\..\\tone.wav", SND_ASYNC},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.file) + " flags " + std::to_string(row.flags));
    EXPECT_FALSE(PlaySoundW(row.file.c_str(), nullptr, row.flags | SND_NODEFAULT));
  }
}

TEST_F(PlaySounds, SynchronousReturnsWhenPlayed) {
  Put(u"tone.wav", WavFile(kTone, 22050 * 2 / 5));  // 200 ms
  const DWORD start = GetTickCount();
  EXPECT_TRUE(PlaySoundW(At(u"tone.wav").c_str(), nullptr, SND_SYNC | SND_NODEFAULT));
  EXPECT_GE(GetTickCount() - start + 10, 200u);
}

TEST_F(PlaySounds, ALoopPlaysUntilStoppedAndANewSoundReplacesTheOld) {
  Put(u"tone.wav", WavFile(kTone, 22050 * 2 / 20));  // 50 ms
  ASSERT_TRUE(PlaySoundW(At(u"tone.wav").c_str(), nullptr, SND_ASYNC | SND_LOOP | SND_NODEFAULT));
  Sleep(150);
  // Something plays, so a sound that may not stop it is refused; one that may, replaces it.
  EXPECT_FALSE(PlaySoundW(At(u"tone.wav").c_str(), nullptr, SND_ASYNC | SND_NOSTOP | SND_NODEFAULT));
  EXPECT_TRUE(PlaySoundW(At(u"tone.wav").c_str(), nullptr, SND_ASYNC | SND_LOOP | SND_NODEFAULT));
  EXPECT_TRUE(PlaySoundW(nullptr, nullptr, 0));
  EXPECT_TRUE(PlaySoundW(At(u"tone.wav").c_str(), nullptr, SND_ASYNC | SND_NOSTOP | SND_NODEFAULT));
  EXPECT_TRUE(PlaySoundW(nullptr, nullptr, 0));
}

DWORD PlayLong(void* path) {
  return PlaySoundW(static_cast<const char16_t*>(path), nullptr, SND_SYNC | SND_NODEFAULT);
}

TEST_F(PlaySounds, AStopEndsASynchronousSoundOfAnotherThread) {
  Put(u"long.wav", WavFile(kTone, 22050 * 2 * 10));  // 10 s
  const std::u16string path = At(u"long.wav");
  UniqueHandle thread(CreateThread(nullptr, 0, PlayLong, const_cast<char16_t*>(path.c_str()), 0, nullptr));
  ASSERT_TRUE(thread.valid());
  // Stopped again until the thread returns: on a slow machine its sound may
  // begin only after the first stop. It plays for 10 s unless a stop ends it.
  DWORD waited = WAIT_TIMEOUT;
  for (int i = 0; i < 50 && waited == WAIT_TIMEOUT; ++i) {
    EXPECT_TRUE(PlaySoundW(nullptr, nullptr, 0));
    waited = WaitForSingleObject(thread.get(), 100);
  }
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the sound played on after the stop";
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, DWORD(TRUE));
}

}  // namespace
}  // namespace ce
