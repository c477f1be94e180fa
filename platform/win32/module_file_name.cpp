// The device cuts a module's path to fit with its NUL and says so with
// ERROR_INSUFFICIENT_BUFFER; desktop Windows fills the whole buffer without
// a NUL. The desktop's own answer is kept for the path itself and for
// modules it knows.
#include <algorithm>
#include <vector>

#include "ce/error.h"
#include "ce/module.h"

namespace ce {

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (fileName == nullptr || size == 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  while ((length = ::GetModuleFileNameW(module, path.data(), DWORD(path.size()))) == path.size()) {
    if (path.size() >= 32768) break;  // the longest path Windows has
    path.resize(path.size() * 2);
  }
  if (length == 0) return 0;  // the system's error stands
  const DWORD copied = std::min(length, size - 1);
  std::copy_n(path.data(), copied, reinterpret_cast<wchar_t*>(fileName));
  fileName[copied] = u'\0';
  ::SetLastError(copied < length ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return copied;
}

}  // namespace ce
