// The serial driver ("COM1:"): one open of a port, on the host tty or
// pseudo-terminal the hardware state plugs it into (kernel.serial_ports.<name>).
// A port with no path has nothing plugged in: writes go nowhere, reads wait
// their time-outs and return nothing.
//
// ReadFile and WriteFile keep the Win32 time-outs (COMMTIMEOUTS) with a
// non-blocking descriptor and poll; no lock is held while they wait, so one
// thread may read while another writes or changes the settings. When the far
// side goes away (the master of a pseudo-terminal closes), a read returns what
// it had gathered, and the next read or write fails with ERROR_BROKEN_PIPE.
//
// A port is open once on a terminal: the open holds its lock of the terminal's
// ports.lock (port_locks.h), which a second open, of this process or another,
// finds taken (ERROR_ACCESS_DENIED).
#pragma once

#include <memory>
#include <mutex>

#include "ce/serial.h"
#include "device_path.h"
#include "driver.h"
#include "hardware_schema.h"

namespace ce::sim {

// The group of the hardware state that says what each port is plugged into.
inline constexpr std::string_view kSerialPortTable =
    hw::kSerialPort.path.substr(0, hw::kSerialPort.path.rfind('.'));

// An eventfd signalled once for good when a purge aborts the reads or writes
// that wait on it; the purge puts a fresh one in its place for later calls.
using AbortSignal = std::shared_ptr<const HostFd>;

class SerialPort final : public Driver {
 public:
  // line: the open tty, or empty for a port with nothing plugged in.
  SerialPort(HostFd line, HostFd claim);
  ~SerialPort() override;

  DWORD Read(void* buffer, DWORD size, DWORD* done) override;
  DWORD Write(const void* buffer, DWORD size, DWORD* done) override;

  // Each returns ERROR_SUCCESS or the caller's last error.
  DWORD GetState(DCB* state);
  DWORD SetState(const DCB& state);
  DWORD GetTimeouts(COMMTIMEOUTS* timeouts);
  DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD ClearErrors(DWORD* errors, COMSTAT* status);
  DWORD Purge(DWORD flags);

 private:
  struct Snapshot {
    COMMTIMEOUTS timeouts;
    AbortSignal abort;
  };
  Snapshot ForRead();
  Snapshot ForWrite();
  // Waits at most ms (without limit when negative) for the line to be ready
  // for events: ERROR_SUCCESS when it is or time is up (the caller looks
  // again), or why the call must end (aborted, hung up).
  DWORD Wait(short events, int64_t ms, const HostFd& abort);

  const HostFd line_;
  const HostFd claim_;
  std::mutex mu_;  // guards what follows; never held while waiting
  DCB state_;
  COMMTIMEOUTS timeouts_{};
  AbortSignal readAbort_, writeAbort_;
  struct {
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  } counted_;  // line error counts at the last ClearCommError
};

}  // namespace ce::sim
