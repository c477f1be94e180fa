// Prints, as one JSON object, what this Windows system answers to the calls
// the module's system properties make, asked directly and not through the ce
// layer: the reference qelhost_props_check.py holds qelhost's output against.
#include <winsock2.h>
// Second, as in every program using Winsock 2.
#include <windows.h>

#include <cstdio>

int main() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  const bool versionKnown = ::GetVersionExW(&version) != FALSE;
  MEMORYSTATUS memory{};
  memory.dwLength = sizeof memory;
  ::GlobalMemoryStatus(&memory);
  ULARGE_INTEGER available{};
  const bool diskKnown = ::GetDiskFreeSpaceExW(nullptr, &available, nullptr, nullptr) != FALSE;
  std::printf(
      "{\"version_known\": %s, \"major\": %lu, \"minor\": %lu, \"build\": %lu, \"total_phys\": %llu, "
      "\"disk_known\": %s, \"disk_available\": %llu, \"tick_count\": %lu}\n",
      versionKnown ? "true" : "false", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber,
      static_cast<unsigned long long>(memory.dwTotalPhys), diskKnown ? "true" : "false",
      static_cast<unsigned long long>(available.QuadPart), ::GetTickCount());
  return 0;
}
