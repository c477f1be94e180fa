#include "named_objects.h"

#include "case_fold.h"

namespace ce::sim {

std::u16string NamedObjects::Key(std::u16string_view name) { return FoldName(name); }

}  // namespace ce::sim
