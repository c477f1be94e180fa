// "aygshell.dll": the shell's input panel call, over the system's.
#include "api.h"
#include "ce/error.h"
#include "ce/sip.h"
#include "last_error.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

BOOL SHSipInfo(UINT action, UINT, void* info, UINT) {
  auto* record = static_cast<SIPINFO*>(info);
  switch (action) {
    case SPI_GETSIPINFO:
      return api::SipGetInfo(record);
    case SPI_SETSIPINFO:
      return api::SipSetInfo(record);
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

const bool kRegistered =
    RegisterModuleExports(u"aygshell.dll", {{u"SHSipInfo", Export<PFN_SHSipInfo>(SHSipInfo)}});

}  // namespace
}  // namespace ce::sim
