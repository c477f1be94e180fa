#include "last_error.h"

#include "ce/error.h"

namespace ce::sim {
namespace {
thread_local DWORD g_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD code) { g_lastError = code; }

}  // namespace ce::sim
