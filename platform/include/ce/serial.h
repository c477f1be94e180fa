// Serial ports: a "COMn:" device opened with CreateFileW, its line settings
// and time-outs. ReadFile on a port returns within the time-outs set here, as
// on the device: the interval between bytes, and a total of multiplier times
// the bytes asked for plus the constant (all in ms; 0 for either means unused).
#pragma once

#include "ce/types.h"

namespace ce {

#if defined(_WIN32)
using ::COMMTIMEOUTS;
using ::COMSTAT;
using ::DCB;
#else
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};
#endif

static_assert(sizeof(DCB) == 28);
static_assert(sizeof(COMMTIMEOUTS) == 20);
static_assert(sizeof(COMSTAT) == 12);

}  // namespace ce

#ifndef NOPARITY
#define NOPARITY 0
#endif
#ifndef ODDPARITY
#define ODDPARITY 1
#endif
#ifndef EVENPARITY
#define EVENPARITY 2
#endif
#ifndef MARKPARITY
#define MARKPARITY 3
#endif
#ifndef SPACEPARITY
#define SPACEPARITY 4
#endif
#ifndef ONESTOPBIT
#define ONESTOPBIT 0
#endif
#ifndef ONE5STOPBITS
#define ONE5STOPBITS 1
#endif
#ifndef TWOSTOPBITS
#define TWOSTOPBITS 2
#endif
#ifndef DTR_CONTROL_DISABLE
#define DTR_CONTROL_DISABLE 0x00
#endif
#ifndef DTR_CONTROL_ENABLE
#define DTR_CONTROL_ENABLE 0x01
#endif
#ifndef DTR_CONTROL_HANDSHAKE
#define DTR_CONTROL_HANDSHAKE 0x02
#endif
#ifndef RTS_CONTROL_DISABLE
#define RTS_CONTROL_DISABLE 0x00
#endif
#ifndef RTS_CONTROL_ENABLE
#define RTS_CONTROL_ENABLE 0x01
#endif
#ifndef RTS_CONTROL_HANDSHAKE
#define RTS_CONTROL_HANDSHAKE 0x02
#endif
#ifndef PURGE_TXABORT
#define PURGE_TXABORT 0x0001
#endif
#ifndef PURGE_RXABORT
#define PURGE_RXABORT 0x0002
#endif
#ifndef PURGE_TXCLEAR
#define PURGE_TXCLEAR 0x0004
#endif
#ifndef PURGE_RXCLEAR
#define PURGE_RXCLEAR 0x0008
#endif
#ifndef CE_RXOVER
#define CE_RXOVER 0x0001
#endif
#ifndef CE_OVERRUN
#define CE_OVERRUN 0x0002
#endif
#ifndef CE_RXPARITY
#define CE_RXPARITY 0x0004
#endif
#ifndef CE_FRAME
#define CE_FRAME 0x0008
#endif
#ifndef CE_BREAK
#define CE_BREAK 0x0010
#endif
#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFF
#endif

namespace ce {

// On a port handle; FALSE with the last error otherwise (ERROR_INVALID_HANDLE
// for a handle that is no port, ERROR_INVALID_PARAMETER for a null record or
// settings the port cannot take, such as a speed of 0 or 9 data bits).
BOOL GetCommState(HANDLE port, DCB* state);
BOOL SetCommState(HANDLE port, DCB* state);
BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
// The line errors since the last call (CE_ flags; cleared) and the queue counts.
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);
// Discards what the PURGE_ flags name.
BOOL PurgeComm(HANDLE port, DWORD flags);

}  // namespace ce
