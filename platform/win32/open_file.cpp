// What the device refuses before a file is opened, where desktop Windows (or
// Wine) would open it: a null or over-long path, truncation without write
// access, and a writer of a read-only file. Windows refuses that writer too,
// but Wine leaves it to the host's permissions, which a superuser passes.
#include <string_view>

#include "ce/error.h"
#include "ce/files.h"
#include "side_queries.h"

namespace ce {
namespace {

constexpr DWORD kWriting = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;

HANDLE Refuse(DWORD error) {
  ::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile) {
  if (!path) return Refuse(ERROR_INVALID_PARAMETER);
  if (std::u16string_view(path).size() >= MAX_PATH) return Refuse(ERROR_FILENAME_EXCED_RANGE);
  if (disposition == TRUNCATE_EXISTING && !(access & (GENERIC_WRITE | GENERIC_ALL)))
    return Refuse(ERROR_INVALID_PARAMETER);
  const auto* name = reinterpret_cast<const wchar_t*>(path);
  const bool writes = (access & kWriting) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (writes && disposition != CREATE_NEW && win32::IsReadOnlyFile(name)) return Refuse(ERROR_ACCESS_DENIED);
  return ::CreateFileW(name, access, share, static_cast<SECURITY_ATTRIBUTES*>(security), disposition, flags,
                       templateFile);
}

}  // namespace ce
