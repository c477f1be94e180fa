// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include "host_file.h"

namespace qelhost {
namespace {

HostFileRead Unreadable() {
  return HostFileRead::Refused(ReadRefusal::kUnreadable,
                               "cannot be read (error " + std::to_string(::GetLastError()) + ")");
}

struct HandleCloser {
  HANDLE h;
  ~HandleCloser() { ::CloseHandle(h); }
};

}  // namespace

HostFileRead ReadRegularFile(const std::filesystem::path& file, uint64_t maxBytes) {
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? HostFileRead::Refused(ReadRefusal::kMissing, "no such file")
               : Unreadable();
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return HostFileRead::Refused(ReadRefusal::kFolder, "is a folder, not a file");
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Unreadable();
  const HandleCloser closer{h};
  // A device or pipe in a file's place ("CON", "\\.\pipe\x") would block a read.
  if (::GetFileType(h) != FILE_TYPE_DISK)
    return HostFileRead::Refused(ReadRefusal::kNotRegular, "is not a regular file");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size)) return Unreadable();
  if (uint64_t(size.QuadPart) > maxBytes) return HostFileRead::TooLarge(maxBytes);
  HostFileRead r;
  r.bytes.resize(size_t(size.QuadPart));
  size_t got = 0;
  while (got < r.bytes.size()) {
    DWORD n = 0;
    if (!::ReadFile(h, r.bytes.data() + got, DWORD(r.bytes.size() - got), &n, nullptr)) return Unreadable();
    if (n == 0) break;
    got += n;
  }
  r.bytes.resize(got);
  return r;
}

}  // namespace qelhost
