// USB_CLIENT: the USB function client driver the terminal presents to a
// computer it is plugged into, read and switched through the controller.
#pragma once

#include "qel/host.h"

namespace qel {

// The current client's name; fails when the controller cannot be found,
// opened or asked.
bool GetUsbClient(IQelValue* value, IQelService* context);
// True only when the controller switched to the value's client; a switch to
// the client already active sends nothing and fails. After a switch the
// registry's default client follows, so that it lasts past a restart.
bool SetUsbClient(IQelValue* value, IQelService* context);

}  // namespace qel
