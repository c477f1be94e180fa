// The communication calls on a serial port's handle; the port itself is the
// serial driver's open (serial_port.h).
#include "ce/serial.h"

#include "api.h"
#include "ce/error.h"
#include "handles.h"
#include "last_error.h"
#include "serial_port.h"

namespace ce::sim::api {
namespace {

// Runs call on the port the handle names: FALSE with ERROR_INVALID_HANDLE for
// a handle that is no port, ERROR_INVALID_PARAMETER without a record.
template <class Record, class Call>
BOOL OnPort(HANDLE handle, Record* record, Call call) {
  const auto port = LookupHandleAs<SerialPort>(handle);
  const DWORD e = !port ? ERROR_INVALID_HANDLE : !record ? ERROR_INVALID_PARAMETER : call(*port, *record);
  if (e == ERROR_SUCCESS) return TRUE;  // success leaves the last error as it was
  SetLastError(e);
  return FALSE;
}

}  // namespace

BOOL GetCommState(HANDLE port, DCB* state) {
  return OnPort(port, state, [](SerialPort& p, DCB& s) { return p.GetState(&s); });
}

BOOL SetCommState(HANDLE port, DCB* state) {
  return OnPort(port, state, [](SerialPort& p, DCB& s) { return p.SetState(s); });
}

BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  return OnPort(port, timeouts, [](SerialPort& p, COMMTIMEOUTS& t) { return p.GetTimeouts(&t); });
}

BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  return OnPort(port, timeouts, [](SerialPort& p, COMMTIMEOUTS& t) { return p.SetTimeouts(t); });
}

// Either record may be left out.
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  int any = 0;
  return OnPort(port, &any, [&](SerialPort& p, int&) { return p.ClearErrors(errors, status); });
}

BOOL PurgeComm(HANDLE port, DWORD flags) {
  return OnPort(port, &flags, [](SerialPort& p, DWORD& f) { return p.Purge(f); });
}

}  // namespace ce::sim::api
