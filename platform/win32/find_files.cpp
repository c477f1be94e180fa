// Windows CE's search record has the object-store id where desktop Windows
// has two reserved fields and the short name, and its searches never list
// the "." and ".." entries of a folder, so a folder with nothing else in it
// has no match.
#include <algorithm>
#include <iterator>

#include "ce/error.h"
#include "ce/files.h"

namespace ce {
namespace {

bool IsDotEntry(const ::WIN32_FIND_DATAW& found) {
  const wchar_t* n = found.cFileName;
  return n[0] == L'.' && (n[1] == L'\0' || (n[1] == L'.' && n[2] == L'\0'));
}

void ToDevice(const ::WIN32_FIND_DATAW& found, WIN32_FIND_DATAW* data) {
  *data = {};
  data->dwFileAttributes = found.dwFileAttributes;
  data->ftCreationTime = found.ftCreationTime;
  data->ftLastAccessTime = found.ftLastAccessTime;
  data->ftLastWriteTime = found.ftLastWriteTime;
  data->nFileSizeHigh = found.nFileSizeHigh;
  data->nFileSizeLow = found.nFileSizeLow;
  static_assert(sizeof(WIN32_FIND_DATAW::cFileName) == sizeof(::WIN32_FIND_DATAW::cFileName));
  std::copy(std::begin(found.cFileName), std::end(found.cFileName), data->cFileName);
}

// The search's next entry that is not a dot entry, false with the system's
// last error when there is none.
bool NextListed(HANDLE find, ::WIN32_FIND_DATAW* found) {
  do {
    if (!::FindNextFileW(find, found)) return false;
  } while (IsDotEntry(*found));
  return true;
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  ::WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW(reinterpret_cast<const wchar_t*>(pattern), &found);
  if (find == INVALID_HANDLE_VALUE) return find;
  if (IsDotEntry(found) && !NextListed(find, &found)) {
    ::FindClose(find);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ToDevice(found, data);
  return find;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  ::WIN32_FIND_DATAW found{};
  if (!NextListed(find, &found)) return FALSE;
  ToDevice(found, data);
  return TRUE;
}

}  // namespace ce
