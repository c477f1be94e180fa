// Moving, copying and removing as the device answers, where desktop Windows
// or Wine answers otherwise:
//  - the root cannot be removed (ERROR_ACCESS_DENIED; a desktop's root is a
//    drive's, and Wine calls it a folder not empty);
//  - a folder cannot be moved into itself (ERROR_ACCESS_DENIED; Wine passes
//    on the host's invalid argument);
//  - a move that changes only the case of a name changes it (Wine answers
//    success and keeps the old spelling);
//  - a copy onto a read-only file is refused, as Windows refuses it (Wine run
//    by the superuser lets it through), and a copy that succeeds leaves the
//    last error alone.
#include <string>

#include "ce/error.h"
#include "ce/files.h"
#include "side_queries.h"

namespace ce {
namespace {

const wchar_t* Wide(LPCWSTR text) { return reinterpret_cast<const wchar_t*>(text); }

// The full path of path, or "" when there is none.
std::wstring FullPath(LPCWSTR path) {
  if (!path) return {};
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n =
      win32::KeepingLastError([&] { return ::GetFullPathNameW(Wide(path), MAX_PATH + 1, buffer, nullptr); });
  return n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

BOOL Fail(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL RemoveDirectoryW(LPCWSTR path) {
  const std::wstring full = FullPath(path);
  if (full.size() == 3 && full[1] == L':' && full[2] == L'\\') return Fail(ERROR_ACCESS_DENIED);
  return ::RemoveDirectoryW(Wide(path));
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  const std::wstring source = FullPath(from), target = FullPath(to);
  if (!source.empty() && !target.empty()) {
    const DWORD attributes = win32::AttributesOf(Wide(from));
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (folder && target.size() > source.size() && target[source.size()] == L'\\' &&
        EqualNoCase(std::wstring_view(target).substr(0, source.size()), source))
      return Fail(ERROR_ACCESS_DENIED);
    if (attributes != INVALID_FILE_ATTRIBUTES && source != target && EqualNoCase(source, target)) {
      // Through a name of its own in the same folder, so that the new spelling is the one kept.
      const std::wstring step = source + L".qel-rename";
      if (!::MoveFileW(source.c_str(), step.c_str())) return FALSE;
      if (::MoveFileW(step.c_str(), target.c_str())) return TRUE;
      const DWORD error = ::GetLastError();
      ::MoveFileW(step.c_str(), source.c_str());
      return Fail(error);
    }
  }
  return ::MoveFileW(Wide(from), Wide(to));
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  if (!failIfExists && to && win32::IsReadOnlyFile(Wide(to))) return Fail(ERROR_ACCESS_DENIED);
  const DWORD lastError = ::GetLastError();
  if (!::CopyFileW(Wide(from), Wide(to), failIfExists)) return FALSE;
  ::SetLastError(lastError);
  return TRUE;
}

}  // namespace ce
