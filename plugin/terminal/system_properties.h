// Memory, disk, up-time and remote-session properties: context-free, read
// from the system.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetRemoteSession(IQelValue* value, IQelService* context);
bool GetDiskFreeSpace(IQelValue* value, IQelService* context);
bool GetMemHeapSpace(IQelValue* value, IQelService* context);
bool GetMemTotal(IQelValue* value, IQelService* context);
bool GetDeviceUpTime(IQelValue* value, IQelService* context);

}  // namespace qel
