// The module's registration tables: its groups, commands and properties.
#pragma once

#include "core/registration.h"

namespace qel {

const RegistrationTables& Tables();

}  // namespace qel
