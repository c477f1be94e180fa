// QEL_VER_LIST: the host client's executable, its companion library and the
// plug-ins of its plug-in folder, each with its file version.
#pragma once

#include <optional>
#include <string>

#include "qel/host.h"

namespace qel {

// "a.b.c.d" of the file's fixed version record; none when the file has no
// readable version resource.
std::optional<std::u16string> FileVersion(const char16_t* path);

// "name (version);" per entry with a version: the executable, its library,
// then the plug-ins in the host's listing order. Fails when no entry has a
// version, or the executable's own path cannot be obtained.
bool GetVersionList(IQelValue* value, IQelService* context);

}  // namespace qel
