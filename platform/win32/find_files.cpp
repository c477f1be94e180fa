// Windows CE's search record has the object-store id where desktop Windows
// has two reserved fields and the short name, and its searches never list
// the "." and ".." entries of a folder, so a folder with nothing else in it
// has no match. The device's names have no short 8.3 form, so a pattern
// matches the long name only, by the simulation's own rule (name_pattern;
// desktop Windows lists "page.html" for "*.htm" through its short name), and the characters a name may not
// hold are no wildcards. A search handle is checked as the device checks its handles: a closed search, or a
// file, is ERROR_INVALID_HANDLE rather than memory read.
#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ce/error.h"
#include "ce/files.h"
#include "device/name_pattern.h"

namespace ce {
namespace {

// The open searches and the last component of each one's pattern.
struct Searches {
  std::mutex mu;
  std::unordered_map<HANDLE, std::wstring> patterns;
};

Searches& Live() {
  static Searches searches;
  return searches;
}

bool FindPattern(HANDLE find, std::wstring* pattern) {
  Searches& live = Live();
  std::lock_guard lock(live.mu);
  const auto it = live.patterns.find(find);
  if (it == live.patterns.end()) return false;
  *pattern = it->second;
  return true;
}

bool IsDotEntry(const ::WIN32_FIND_DATAW& found) {
  const wchar_t* n = found.cFileName;
  return n[0] == L'.' && (n[1] == L'\0' || (n[1] == L'.' && n[2] == L'\0'));
}

bool Listed(const ::WIN32_FIND_DATAW& found, std::wstring_view pattern) {
  const auto device = [](std::wstring_view text) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size());
  };
  return !IsDotEntry(found) && device_text::MatchesPattern(device(pattern), device(found.cFileName));
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

// The search's next entry the device lists, false with the system's last
// error when there is none.
bool NextListed(HANDLE find, std::wstring_view pattern, ::WIN32_FIND_DATAW* found) {
  do {
    if (!::FindNextFileW(find, found)) return false;
  } while (!Listed(*found, pattern));
  return true;
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  if (!pattern) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::wstring_view path(reinterpret_cast<const wchar_t*>(pattern));
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring last(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
  if (last.find_first_of(L"<>\"|") != std::wstring::npos) {
    ::SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  ::WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW(path.data(), &found);
  if (find == INVALID_HANDLE_VALUE) return find;
  if (!Listed(found, last) && !NextListed(find, last, &found)) {
    ::FindClose(find);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  {
    Searches& live = Live();
    std::lock_guard lock(live.mu);
    live.patterns[find] = last;
  }
  ToDevice(found, data);
  return find;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  std::wstring pattern;
  if (!FindPattern(find, &pattern)) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::WIN32_FIND_DATAW found{};
  if (!NextListed(find, pattern, &found)) return FALSE;
  ToDevice(found, data);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  {
    Searches& live = Live();
    std::lock_guard lock(live.mu);
    if (live.patterns.erase(find) == 0) {
      ::SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  return ::FindClose(find);
}

}  // namespace ce
