// KEYBOARD_LAYER, on the keyboard service (the property's context).
#pragma once

#include "qel/host.h"

namespace qel {

// Fails when the service reports layer 0, which this terminal always does.
bool GetKeyboardLayer(IQelValue* value, IQelService* context);
// Hands the number to the service and reports success whatever it answers.
bool SetKeyboardLayer(IQelValue* value, IQelService* context);

}  // namespace qel
