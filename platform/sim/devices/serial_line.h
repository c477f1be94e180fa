// A serial port's line state (DCB) as termios settings. The DCB stays the
// driver's own record: a pseudo-terminal keeps no byte size or parity, and a
// speed termios has no constant for is kept in the DCB alone.
#pragma once

#include <termios.h>

#include "ce/serial.h"

namespace ce::sim {

// The state a port has when it is opened: 9600 bits per second, 8 data bits,
// no parity, one stop bit, no flow control, DTR and RTS on.
DCB DefaultLineState();

// ERROR_INVALID_PARAMETER for a state no port takes (speed 0, 9 data bits,
// an unknown parity or stop-bit code, 1.5 stop bits with more than 5 data
// bits, XON and XOFF the same character while either flow is on); otherwise
// ERROR_SUCCESS with *tty changed to raw input and output and the settings
// of state that termios can hold.
DWORD ApplyLineState(const DCB& state, struct termios* tty);

}  // namespace ce::sim
