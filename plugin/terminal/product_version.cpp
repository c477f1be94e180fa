// ReadProductVersion: the "Version" key of section "INFO" of a product file,
// read as the settings files of PXS are.
#include "core/settings_file.h"
#include "core/text_out.h"
#include "terminal/terminal_service.h"

namespace qel {

bool CQelTerminalService::ReadProductVersion(const char16_t* path, char16_t* buffer, uint32_t capacity) {
  SettingsFile file;
  if (!path || !file.Load(path)) return false;
  const char16_t* version = file.Get(u"INFO", u"Version");
  return version && WriteText(version, buffer, capacity);
}

}  // namespace qel
