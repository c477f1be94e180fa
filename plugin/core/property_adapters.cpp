#include "core/property_adapters.h"

namespace qel {

bool NotAvailable(IQelValue*, IQelService*) { return false; }

}  // namespace qel
