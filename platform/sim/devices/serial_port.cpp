#include "serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>

#include "case_fold.h"
#include "ce/error.h"
#include "hardware.h"
#include "port_locks.h"
#include "serial_line.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// What reads and writes fail with once the far side of the line has gone.
constexpr DWORD kHungUp = ERROR_BROKEN_PIPE;

AbortSignal NewAbortSignal() {
  return std::make_shared<const HostFd>(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

void Raise(const HostFd& signal) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(signal.get(), &one, sizeof one);
}

DWORD Claim(const Terminal& t, std::u16string_view name, HostFd* claim) {
  HostFd locks = OpenPortLocks(t.dir(), nullptr);
  if (!locks) return ERROR_GEN_FAILURE;
  if (!TakePortLock(locks.get(), name, PortLock::kOpen))
    return errno == EAGAIN ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
  *claim = std::move(locks);
  return ERROR_SUCCESS;
}

// The host path the port is plugged into; empty for none.
std::string PluggedPath(std::u16string_view name) {
  for (const std::string& port : hw::MemberNames(kSerialPortTable))
    if (SameName(FromUtf8(port), name)) return hw::Read(hw::kSerialPort, port);
  return {};
}

// What a call waits for: deadlines from its start, or none.
struct Deadlines {
  std::optional<Clock::time_point> total;
  std::optional<Ms> interval;  // between bytes, once one has come
};

// Milliseconds until the nearer of the deadlines; -1 for no limit.
int64_t Remaining(const Deadlines& d, std::optional<Clock::time_point> intervalEnd, Clock::time_point now) {
  std::optional<Clock::time_point> end = d.total;
  if (intervalEnd && (!end || *intervalEnd < *end)) end = intervalEnd;
  if (!end) return -1;
  return std::max<int64_t>(0, std::chrono::ceil<Ms>(*end - now).count());
}

// A pseudo-terminal keeps 8 data bits and no parity whatever it is given, and
// the C library reports that as EINVAL although everything else took.
bool TookAllButFraming(int fd, const struct termios& wanted) {
  struct termios now {};
  if (errno != EINVAL || ::tcgetattr(fd, &now) != 0) return false;
  tcflag_t framing = CSIZE | PARENB | PARODD;
#ifdef CMSPAR
  framing |= CMSPAR;
#endif
  return (now.c_cflag & ~framing) == (wanted.c_cflag & ~framing) && now.c_iflag == wanted.c_iflag &&
         now.c_lflag == wanted.c_lflag;
}

}  // namespace

SerialPort::SerialPort(HostFd line, HostFd claim)
    : line_(std::move(line)),
      claim_(std::move(claim)),
      state_(DefaultLineState()),
      readAbort_(NewAbortSignal()),
      writeAbort_(NewAbortSignal()) {}

SerialPort::~SerialPort() = default;

SerialPort::Snapshot SerialPort::ForRead() {
  std::lock_guard lock(mu_);
  return {timeouts_, readAbort_};
}

SerialPort::Snapshot SerialPort::ForWrite() {
  std::lock_guard lock(mu_);
  return {timeouts_, writeAbort_};
}

DWORD SerialPort::Wait(short events, int64_t ms, const HostFd& abort) {
  pollfd fds[2] = {{abort.get(), POLLIN, 0}, {line_.get(), events, 0}};
  const nfds_t count = line_ ? 2 : 1;
  timespec limit{};
  if (ms >= 0) limit = {time_t(ms / 1000), long(ms % 1000) * 1000000};
  const int n = ::ppoll(fds, count, ms >= 0 ? &limit : nullptr, nullptr);
  if (n < 0) return errno == EINTR ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
  if (fds[0].revents) return ERROR_OPERATION_ABORTED;
  // A hang-up with nothing left to read: the far side is gone.
  if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & events)) return kHungUp;
  return ERROR_SUCCESS;
}

DWORD SerialPort::Read(void* buffer, DWORD size, DWORD* done) {
  *done = 0;
  if (size == 0) return ERROR_SUCCESS;
  const Snapshot s = ForRead();
  const COMMTIMEOUTS& t = s.timeouts;
  // Interval MAXDWORD with no total: what is there now. With multiplier
  // MAXDWORD too and a constant: the first bytes to come within the constant.
  const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                      t.ReadTotalTimeoutConstant == 0;
  const bool firstBytes = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                          t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
  auto* out = static_cast<char*>(buffer);
  DWORD got = 0, gotAtLastWait = 0;
  Deadlines limits;
  std::optional<Clock::time_point> intervalEnd;
  bool started = false;
  for (;;) {
    if (line_) {
      const ssize_t n = ::read(line_.get(), out + got, size - got);
      if (n > 0) {
        got += DWORD(n);
        if (got == size) break;
        continue;
      }
      if (n == 0 || errno == EIO) {
        *done = got;
        return got ? ERROR_SUCCESS : kHungUp;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        *done = got;
        return ERROR_GEN_FAILURE;
      }
    }
    if (atOnce || (firstBytes && got > 0)) break;
    const Clock::time_point now = Clock::now();
    if (!started) {
      started = true;
      if (firstBytes)
        limits.total = now + Ms(t.ReadTotalTimeoutConstant);
      else if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
        limits.total = now + Ms(uint64_t(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant);
      if (!firstBytes && t.ReadIntervalTimeout) limits.interval = Ms(t.ReadIntervalTimeout);
    }
    // The interval runs from the last bytes that came.
    if (got > gotAtLastWait && limits.interval) intervalEnd = now + *limits.interval;
    gotAtLastWait = got;
    const int64_t wait = Remaining(limits, intervalEnd, now);
    if (wait == 0) break;
    if (const DWORD e = Wait(POLLIN, wait, *s.abort)) {
      *done = got;
      return e == kHungUp && got ? ERROR_SUCCESS : e;
    }
  }
  *done = got;
  return ERROR_SUCCESS;
}

DWORD SerialPort::Write(const void* buffer, DWORD size, DWORD* done) {
  *done = 0;
  if (!line_ || size == 0) {
    *done = size;  // nothing plugged in: the bytes go out to nobody
    return ERROR_SUCCESS;
  }
  const Snapshot s = ForWrite();
  const COMMTIMEOUTS& t = s.timeouts;
  const auto* in = static_cast<const char*>(buffer);
  DWORD put = 0;
  Deadlines limits;
  bool started = false;
  while (put < size) {
    const ssize_t n = ::write(line_.get(), in + put, size - put);
    if (n > 0) {
      put += DWORD(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      *done = put;
      return errno == EIO || errno == EPIPE ? kHungUp : ERROR_GEN_FAILURE;
    }
    const Clock::time_point now = Clock::now();
    if (!started) {
      started = true;
      if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
        limits.total = now + Ms(uint64_t(t.WriteTotalTimeoutMultiplier) * size + t.WriteTotalTimeoutConstant);
    }
    const int64_t wait = Remaining(limits, std::nullopt, now);
    if (wait == 0) break;  // timed out: what went is the result
    if (const DWORD e = Wait(POLLOUT, wait, *s.abort)) {
      *done = put;
      return e;
    }
  }
  *done = put;
  return ERROR_SUCCESS;
}

DWORD SerialPort::GetState(DCB* state) {
  std::lock_guard lock(mu_);
  *state = state_;
  return ERROR_SUCCESS;
}

DWORD SerialPort::SetState(const DCB& state) {
  std::lock_guard lock(mu_);
  struct termios tty {};
  if (line_ && ::tcgetattr(line_.get(), &tty) != 0) return ERROR_GEN_FAILURE;
  if (const DWORD e = ApplyLineState(state, &tty)) return e;
  if (line_ && ::tcsetattr(line_.get(), TCSANOW, &tty) != 0 && !TookAllButFraming(line_.get(), tty))
    return ERROR_GEN_FAILURE;
  state_ = state;
  state_.DCBlength = sizeof(DCB);
  return ERROR_SUCCESS;
}

DWORD SerialPort::GetTimeouts(COMMTIMEOUTS* timeouts) {
  std::lock_guard lock(mu_);
  *timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD SerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  // The one combination the serial driver refuses: every read limit MAXDWORD.
  if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
      timeouts.ReadTotalTimeoutConstant == MAXDWORD)
    return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mu_);
  timeouts_ = timeouts;
  return ERROR_SUCCESS;
}

DWORD SerialPort::ClearErrors(DWORD* errors, COMSTAT* status) {
  DWORD flags = 0;
  int in = 0, out = 0;
  if (line_) {
    if (::ioctl(line_.get(), FIONREAD, &in) != 0) in = 0;
    if (::ioctl(line_.get(), TIOCOUTQ, &out) != 0) out = 0;
    // A UART counts its line errors; a pseudo-terminal has none to count.
    serial_icounter_struct counts{};
    if (::ioctl(line_.get(), TIOCGICOUNT, &counts) == 0) {
      std::lock_guard lock(mu_);
      if (counts.frame != counted_.frame) flags |= CE_FRAME;
      if (counts.overrun != counted_.overrun) flags |= CE_OVERRUN;
      if (counts.parity != counted_.parity) flags |= CE_RXPARITY;
      if (counts.brk != counted_.brk) flags |= CE_BREAK;
      if (counts.buf_overrun != counted_.bufOverrun) flags |= CE_RXOVER;
      counted_ = {counts.frame, counts.overrun, counts.parity, counts.brk, counts.buf_overrun};
    }
  }
  if (errors) *errors = flags;
  if (status) {
    *status = COMSTAT{};
    status->cbInQue = DWORD(std::max(in, 0));
    status->cbOutQue = DWORD(std::max(out, 0));
  }
  return ERROR_SUCCESS;
}

DWORD SerialPort::Purge(DWORD flags) {
  if (flags & ~DWORD(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
    return ERROR_INVALID_PARAMETER;
  if (flags & (PURGE_TXABORT | PURGE_RXABORT)) {
    std::lock_guard lock(mu_);
    // The calls waiting now hold the old signal; later calls get the new one.
    if (flags & PURGE_RXABORT) Raise(*std::exchange(readAbort_, NewAbortSignal()));
    if (flags & PURGE_TXABORT) Raise(*std::exchange(writeAbort_, NewAbortSignal()));
  }
  if (line_ && (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR))) {
    const int queue = (flags & PURGE_RXCLEAR) && (flags & PURGE_TXCLEAR) ? TCIOFLUSH
                      : (flags & PURGE_RXCLEAR)                          ? TCIFLUSH
                                                                         : TCOFLUSH;
    if (::tcflush(line_.get(), queue) != 0) return ERROR_GEN_FAILURE;
  }
  return ERROR_SUCCESS;
}

DWORD OpenSerial(const DriverOpen& request, std::shared_ptr<Driver>* out) {
  const auto t = Current();
  if (!t) return ERROR_NOT_READY;
  HostFd claim;
  if (const DWORD e = Claim(*t, request.device, &claim)) return e;
  const std::string path = PluggedPath(request.device);
  HostFd line;
  if (!path.empty()) {
    line = HostFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!line) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno);
    if (!::isatty(line.get())) return ERROR_GEN_FAILURE;  // a path that is no tty
  }
  auto port = std::make_shared<SerialPort>(std::move(line), std::move(claim));
  if (const DWORD e = port->SetState(DefaultLineState())) return e;
  *out = std::move(port);
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
