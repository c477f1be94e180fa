// `keyboard show|hide|toggle|state`: the input panel through the module's
// keyboard service, with qelhost's main window placed first (--main-window)
// and what that window received printed after.
#pragma once

#include <optional>
#include <string>

#include "plugin_host.h"
#include "verbs.h"

namespace qelhost {

// action: "show", "hide", "toggle" or "state"; placement, when given: LEFT,TOP,WIDTH,HEIGHT.
int DriveKeyboard(PluginHost& host, const std::string& action, const std::optional<std::string>& placement,
                  const Output& o);

Verb KeyboardVerb();

}  // namespace qelhost
