// The stream types offered through the host's stream registry, in the order
// they are added.
#pragma once

#include <span>

#include "qel/host.h"

namespace qel {

struct StreamType {
  const char16_t* name;
  QelStreamFactory factory;  // null while this build has no such stream: not offered
};

std::span<const StreamType> StreamTypes();

}  // namespace qel
