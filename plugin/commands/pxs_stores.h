// The three stores of PXS. Each gets the call with the operation and the
// minimum count already checked; values come in groups of three from
// argument 4 on.
#pragma once

#include <cstdint>

#include "qel/command.h"

namespace qel {

struct PxsCall {
  ICommandContext* context;
  ICommandArguments* args;
  ICommandReply* reply;
  uint32_t count;
  bool read;
};

inline constexpr int32_t kFirstGroup = 4;
inline constexpr int32_t kGroupSize = 3;

void RegistryStore(const PxsCall& call);
void SettingsServiceStore(const PxsCall& call);
void SettingsFileStore(const PxsCall& call);

}  // namespace qel
