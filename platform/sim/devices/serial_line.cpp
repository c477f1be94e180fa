#include "serial_line.h"

#include <algorithm>
#include <iterator>

#include "ce/error.h"

namespace ce::sim {
namespace {

struct Speed {
  DWORD bitsPerSecond;
  speed_t constant;
};

constexpr Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

const Speed* FindSpeed(DWORD bitsPerSecond) {
  const auto it = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                               [&](const Speed& s) { return s.bitsPerSecond == bitsPerSecond; });
  return it == std::end(kSpeeds) ? nullptr : it;
}

tcflag_t SizeFlag(BYTE bits) {
  switch (bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

bool Refused(const DCB& s) {
  if (s.BaudRate == 0 || s.ByteSize < 5 || s.ByteSize > 8 || s.Parity > SPACEPARITY) return true;
  if (s.StopBits > TWOSTOPBITS) return true;
  // A UART sends 1.5 stop bits only after 5 data bits, and 2 only after more.
  if (s.StopBits == ONE5STOPBITS && s.ByteSize != 5) return true;
  if (s.StopBits == TWOSTOPBITS && s.ByteSize == 5) return true;
  if ((s.fOutX || s.fInX) && s.XonChar == s.XoffChar) return true;
#ifndef CMSPAR
  if (s.Parity == MARKPARITY || s.Parity == SPACEPARITY) return true;
#endif
  return false;
}

}  // namespace

DCB DefaultLineState() {
  DCB s{};
  s.DCBlength = sizeof(DCB);
  s.BaudRate = 9600;
  s.fBinary = 1;
  s.fDtrControl = DTR_CONTROL_ENABLE;
  s.fRtsControl = RTS_CONTROL_ENABLE;
  s.XonLim = 2048;
  s.XoffLim = 512;
  s.ByteSize = 8;
  s.Parity = NOPARITY;
  s.StopBits = ONESTOPBIT;
  s.XonChar = 0x11;
  s.XoffChar = 0x13;
  return s;
}

DWORD ApplyLineState(const DCB& s, struct termios* tty) {
  if (Refused(s)) return ERROR_INVALID_PARAMETER;
  ::cfmakeraw(tty);
  tty->c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  tty->c_cflag &= ~CMSPAR;
#endif
  tty->c_cflag |= CREAD | CLOCAL | SizeFlag(s.ByteSize);
  switch (s.Parity) {
    case ODDPARITY:
      tty->c_cflag |= PARENB | PARODD;
      break;
    case EVENPARITY:
      tty->c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case MARKPARITY:
      tty->c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      tty->c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      break;
  }
  if (s.fParity && s.Parity != NOPARITY) tty->c_iflag |= INPCK;
  if (s.StopBits != ONESTOPBIT) tty->c_cflag |= CSTOPB;
  if (s.fOutxCtsFlow || s.fRtsControl == RTS_CONTROL_HANDSHAKE) tty->c_cflag |= CRTSCTS;
  tty->c_iflag &= ~(IXON | IXOFF | IXANY);
  if (s.fOutX) tty->c_iflag |= IXON;
  if (s.fInX) tty->c_iflag |= IXOFF;
  tty->c_cc[VSTART] = cc_t(s.XonChar);
  tty->c_cc[VSTOP] = cc_t(s.XoffChar);
  // Reads never block in the line discipline: the driver waits in poll.
  tty->c_cc[VMIN] = 1;
  tty->c_cc[VTIME] = 0;
  if (const Speed* speed = FindSpeed(s.BaudRate)) {
    ::cfsetispeed(tty, speed->constant);
    ::cfsetospeed(tty, speed->constant);
  }
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
