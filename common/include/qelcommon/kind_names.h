// Kind names as tools print and read them ("Null", "String", ...).
#pragma once

#include <optional>
#include <string_view>

#include "qel/value.h"

// "?" for a code that is no kind.
const char* QelKindName(QelKind kind);
std::optional<QelKind> QelKindFromName(std::string_view name);
