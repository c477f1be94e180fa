// Argument kinds the host asks a command for, by argument number (1-based).
#pragma once

#include <cstdint>

namespace qel {

// Kind 9 marks an argument that names a variable receiving a result.
inline constexpr int32_t kArgumentVariable = 9;

// SVR's second argument is the variable that receives the version.
int32_t SvrArgumentKind(int32_t argument);

}  // namespace qel
