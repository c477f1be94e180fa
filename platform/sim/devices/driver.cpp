#include "driver.h"

#include "ce/error.h"

namespace ce::sim {

DWORD Driver::Read(void*, DWORD, DWORD*) { return ERROR_INVALID_FUNCTION; }

DWORD Driver::Write(const void*, DWORD, DWORD*) { return ERROR_INVALID_FUNCTION; }

DWORD Driver::IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD*) { return ERROR_INVALID_FUNCTION; }

}  // namespace ce::sim
