// Identifiers as text.
#pragma once

#include <string>

#include "qel/guid.h"

namespace qel {

// "{XXXXXXXX-...}" in upper case, as the registry and logs show identifiers.
std::string ToString(const GUID& g);

}  // namespace qel
