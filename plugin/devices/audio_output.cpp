#include "devices/audio_output.h"

#include <new>

#include "ce/sync.h"
#include "ce/thread.h"
#include "ce/window.h"

namespace qel {
namespace {

constexpr ce::DWORD kWaveOutDone = MM_WOM_DONE;
constexpr ce::UINT kHeaderSize = sizeof(ce::WAVEHDR);
constexpr ce::UINT kWaveMapper = WAVE_MAPPER;

}  // namespace

CQelAudioOutputPCM::CQelAudioOutputPCM() {
  if (thread_.Start()) ce::WaitForSingleObject(thread_.ready.get(), INFINITE);
}

CQelAudioOutputPCM::~CQelAudioOutputPCM() {
  Close();
  ce::PostThreadMessageW(thread_.GetThreadId(), WM_QUIT, 0, 0);
  thread_.Wait(INFINITE);
}

bool CQelAudioOutputPCM::Open(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t) {
  Hold hold(lock_);
  if (device_ && format_.nSamplesPerSec == rate && format_.wBitsPerSample == bits &&
      format_.nChannels == channels)
    return true;
  Close();
  format_ = {};
  format_.wFormatTag = WAVE_FORMAT_PCM;
  format_.nChannels = ce::WORD(channels);
  format_.nSamplesPerSec = rate;
  format_.nBlockAlign = ce::WORD(bits * channels / 8);
  format_.nAvgBytesPerSec = format_.nBlockAlign * rate;
  format_.wBitsPerSample = ce::WORD(bits);
  format_.cbSize = 0;
  return ce::waveOutOpen(&device_, kWaveMapper, &format_, thread_.GetThreadId(), uintptr_t(this),
                         CALLBACK_THREAD) == MMSYSERR_NOERROR;
}

void CQelAudioOutputPCM::Close() {
  Hold hold(lock_);
  if (!device_) return;
  StopLocked();
  if (ce::waveOutClose(device_) == MMSYSERR_NOERROR) device_ = nullptr;
}

bool CQelAudioOutputPCM::Play(void* buffer, uint32_t bytes, bool notify) {
  auto* header = new (std::nothrow) ce::WAVEHDR{};
  if (!header) return false;
  header->lpData = static_cast<char*>(buffer);
  header->dwBufferLength = bytes;
  header->dwUser = notify ? 1 : 0;
  {
    Hold hold(lock_);
    if (device_ && ce::waveOutPrepareHeader(device_, header, kHeaderSize) == MMSYSERR_NOERROR) {
      if (ce::waveOutWrite(device_, header, kHeaderSize) == MMSYSERR_NOERROR) return true;
      ce::waveOutUnprepareHeader(device_, header, kHeaderSize);
    }
  }
  delete header;
  return false;
}

bool CQelAudioOutputPCM::Stop() {
  Hold hold(lock_);
  return StopLocked();
}

bool CQelAudioOutputPCM::StopLocked() { return device_ && ce::waveOutReset(device_) == MMSYSERR_NOERROR; }

void CQelAudioOutputPCM::Done(ce::HWAVEOUT device, ce::WAVEHDR* header) {
  ce::waveOutUnprepareHeader(device, header, kHeaderSize);
  if (IQelAudioOutputCallback* callback = callback_.load())
    callback->BufferDone(header->lpData, header->dwBufferLength, header->dwUser != 0);
  delete header;
}

ce::DWORD CQelAudioOutputPCM::Thread::Run() {
  ce::MSG msg{};
  ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
  ce::SetEvent(ready.get());
  while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == kWaveOutDone)
      output_->Done(reinterpret_cast<ce::HWAVEOUT>(msg.wParam), reinterpret_cast<ce::WAVEHDR*>(msg.lParam));
  }
  return 0;
}

}  // namespace qel
