#include "commands/argument_kinds.h"

namespace qel {

int32_t SvrArgumentKind(int32_t argument) { return argument == 2 ? kArgumentVariable : 0; }

}  // namespace qel
