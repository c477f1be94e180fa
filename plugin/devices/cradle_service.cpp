#include "devices/cradle_service.h"

#include <new>

namespace qel {

IQelService* CreateCradleService() { return new (std::nothrow) CQelCradleService; }

}  // namespace qel
