#include "streams/serial_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ce/files.h"
#include "ce/serial.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "ceutil/text.h"
#include "streams/stream_values.h"

namespace qel {
namespace {

// The first character of a value, or `otherwise` when it is empty.
char16_t FirstChar(IQelValue* value, char16_t otherwise) {
  const std::u16string text = ValueText(value);
  return text.empty() ? otherwise : text[0];
}

bool Elapsed(ce::DWORD since, uint32_t timeoutMs) {
  return timeoutMs != INFINITE && ce::GetTickCount() - since > timeoutMs;
}

}  // namespace

CQelSerialStream::CQelSerialStream(std::u16string device)
    : interrupt_(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr)), device_(std::move(device)) {}

CQelSerialStream::~CQelSerialStream() {
  interrupt_.reset();
  Close();
}

bool CQelSerialStream::Configure(int32_t count, IQelValue** values) {
  if (count < 5 || !values) return false;
  uint32_t speed = 0, bits = 0, stop = 0;
  if (!ValueNumber(values[0], 115200, &speed) || speed < 1200 || speed > 115200) return false;
  speed_ = speed;
  if (!ValueNumber(values[1], 8, &bits) || (bits != 8 && bits != 7)) return false;
  dataBits_ = uint8_t(bits);
  switch (FirstChar(values[2], u'N')) {
    case u'E':
      parity_ = EVENPARITY;
      break;
    case u'N':
      parity_ = NOPARITY;
      break;
    case u'O':
      parity_ = ODDPARITY;
      break;
    default:
      return false;
  }
  if (!ValueNumber(values[3], 1, &stop) || (stop != 1 && stop != 2)) return false;
  stopBits_ = stop == 1 ? ONESTOPBIT : TWOSTOPBITS;
  switch (FirstChar(values[4], u'N')) {
    case u'H':
      flow_ = 1;
      break;
    case u'N':
      flow_ = 0;
      break;
    case u'S':
      flow_ = 2;
      break;
    default:
      return false;
  }
  return true;
}

uint32_t CQelSerialStream::CharacterTime() const {
  const uint32_t bitsPerChar = dataBits_ + 2u + (stopBits_ != 0 ? 1u : 0u);
  const uint32_t charsPerSecond = speed_ / bitsPerChar;
  return (charsPerSecond ? 1000 / charsPerSecond : 1000) + 1;
}

void CQelSerialStream::Open(uint32_t) { OpenPort(); }

bool CQelSerialStream::OpenPort() {
  if (interrupt_) ce::ResetEvent(interrupt_.get());
  if (port_ != INVALID_HANDLE_VALUE) return true;
  port_ =
      ce::CreateFileW(device_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port_ == INVALID_HANDLE_VALUE) return false;

  ce::DCB state{};
  state.DCBlength = sizeof state;
  if (!ce::GetCommState(port_, &state)) return Refused();
  state.BaudRate = speed_;
  state.fParity = parity_ != NOPARITY;
  state.Parity = parity_;
  state.StopBits = stopBits_;
  state.ByteSize = dataBits_;
  const bool hardware = flow_ == 1, software = flow_ == 2;
  state.fOutxCtsFlow = hardware;
  state.fOutxDsrFlow = hardware;
  state.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
  state.fDsrSensitivity = hardware;
  state.fOutX = software;
  state.fInX = software;
  if (!ce::SetCommState(port_, &state)) return Refused();

  ce::COMMTIMEOUTS timeouts{};
  if (!ce::GetCommTimeouts(port_, &timeouts)) return Refused();
  const uint32_t c = CharacterTime();
  timeouts.ReadIntervalTimeout = c * 8;
  timeouts.ReadTotalTimeoutMultiplier = c;
  timeouts.ReadTotalTimeoutConstant = 25;
  timeouts.WriteTotalTimeoutMultiplier = c;
  timeouts.WriteTotalTimeoutConstant = 25;
  if (!ce::SetCommTimeouts(port_, &timeouts)) return Refused();
  unread_ = 0;
  return true;
}

// A port that would not take the settings is let go, not kept with others.
bool CQelSerialStream::Refused() {
  Close();
  return false;
}

bool CQelSerialStream::Close() {
  if (port_ != INVALID_HANDLE_VALUE) ce::CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  return true;
}

bool CQelSerialStream::Interrupt() {
  return port_ != INVALID_HANDLE_VALUE && interrupt_ && ce::SetEvent(interrupt_.get());
}

bool CQelSerialStream::Interrupted() {
  return interrupt_ && ce::WaitForSingleObject(interrupt_.get(), 0) == WAIT_OBJECT_0;
}

bool CQelSerialStream::Reset() {
  if (port_ == INVALID_HANDLE_VALUE) return false;
  ce::DWORD errors = 0;
  ce::COMSTAT status{};
  if (ce::ClearCommError(port_, &errors, &status)) {
    for (ce::DWORD queued = status.cbInQue; queued != 0;) {
      ce::DWORD got = 0;
      if (!ce::ReadFile(port_, buffer_, std::min<ce::DWORD>(queued, kBufferSize), &got, nullptr)) {
        ce::ClearCommError(port_, &errors, &status);
        break;
      }
      queued -= std::min(got, queued);
      if (got == 0) break;  // the queue emptied since it was counted
    }
  }
  unread_ = 0;
  readAt_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
  return true;
}

int32_t CQelSerialStream::Write(const void* buffer, uint32_t count, uint32_t timeoutMs) {
  if (port_ == INVALID_HANDLE_VALUE || !buffer || count == 0) return -1;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const ce::DWORD since = ce::GetTickCount();
  uint32_t total = 0;
  for (;;) {
    ce::DWORD written = 0;
    if (!ce::WriteFile(port_, bytes + total, count - total, &written, nullptr)) {
      Close();
      return -1;
    }
    total += written;
    if (total == count || Elapsed(since, timeoutMs) || Interrupted()) return int32_t(total);
  }
}

int32_t CQelSerialStream::Read(void* buffer, uint32_t count, uint32_t timeoutMs) {
  if (port_ == INVALID_HANDLE_VALUE) return 0;
  if (unread_ == 0) {
    const ce::DWORD since = ce::GetTickCount();
    for (;;) {
      ce::DWORD got = 0;
      if (!ce::ReadFile(port_, buffer_, kBufferSize, &got, nullptr)) {
        Close();
        return -1;
      }
      if (got != 0) {
        readAt_ = 0;
        unread_ = got;
        break;
      }
      if (Elapsed(since, timeoutMs) || Interrupted()) return 0;
    }
  }
  const uint32_t n = std::min(count, unread_);
  if (n && buffer) std::memcpy(buffer, buffer_ + readAt_, n);
  readAt_ += n;
  unread_ -= n;
  return int32_t(n);
}

std::u16string SerialDeviceName(std::u16string_view type) {
  if (type.size() >= 5 && type[4] == u':') return std::u16string(type);
  return std::u16string(type.substr(0, 4)) + u":";
}

void SerialStreamFactory(const char16_t* type, IQelStream** out) {
  if (!out || !type) return;
  const std::u16string_view name(type);
  if (name.size() < 3 || !ceutil::EqualNoCase(name.substr(0, 3), u"COM")) return;
  if (auto* stream = new (std::nothrow) CQelSerialStream(SerialDeviceName(name))) *out = stream;
}

}  // namespace qel
