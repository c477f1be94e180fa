#include "named_objects.h"

namespace ce::sim {

// Kernel-object names compare as given, case and all, as on the device.
std::u16string NamedObjects::Key(std::u16string_view name) { return std::u16string(name); }

}  // namespace ce::sim
