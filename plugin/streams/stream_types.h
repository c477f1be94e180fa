// The stream types offered through the host's stream registry, in the order
// they are added.
#pragma once

#include <span>

#include "qel/host.h"

namespace qel {

struct StreamType {
  const char16_t* name;
  QelStreamFactory factory;
};

std::span<const StreamType> StreamTypes();

}  // namespace qel
