#include "reboot.h"

#include <fcntl.h>

#include <string>

#include "ce/error.h"
#include "hardware.h"
#include "last_error.h"
#include "state_files.h"
#include "terminal.h"
#include "terminal_objects.h"

namespace ce::sim {
namespace {

bool Mark(const char* name) {
  const auto terminal = Current();
  std::string error;
  return terminal && OpenStateFile(terminal->dir(), name, O_WRONLY | O_CREAT, &error);
}

}  // namespace

bool SetCleanBootFlag() { return Mark(kCleanBootMarker); }

BOOL RebootTerminal(bool cold) {
  auto objects = CurrentObjects();
  if (!objects) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (hw::Read(hw::kHalRebootIgnored)) return TRUE;
  // The marks first: whoever boots the terminal next honours the reboot.
  if ((cold && !SetCleanBootFlag()) || !Mark(kRebootMarker) || !objects->Reboot()) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace ce::sim
