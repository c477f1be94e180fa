// Windows CE starts a program by its path with a command line of arguments
// alone, and takes no start-up record; desktop Windows wants the program's
// name first on the command line (it becomes argv[0]), may write into the
// line, and needs a start-up record.
#include "ce/process.h"

#include <string>

namespace ce {

BOOL CreateProcessW(LPCWSTR imagePath, LPWSTR commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, LPCWSTR currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation) {
  // The device starts a program by its path and always says what it started.
  if (imagePath == nullptr || processInformation == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string line;
  line = u"\"" + std::u16string(imagePath) + u"\"";
  if (commandLine != nullptr && *commandLine != u'\0') {
    if (!line.empty()) line += u' ';
    line += commandLine;
  }
  ::STARTUPINFOW start{};
  start.cb = sizeof(start);
  static_assert(sizeof(STARTUPINFOW) == sizeof(::STARTUPINFOW));
  static_assert(sizeof(PROCESS_INFORMATION) == sizeof(::PROCESS_INFORMATION));
  ::STARTUPINFOW* startup = startupInfo != nullptr ? reinterpret_cast<::STARTUPINFOW*>(startupInfo) : &start;
  return ::CreateProcessW(reinterpret_cast<const wchar_t*>(imagePath),
                          reinterpret_cast<wchar_t*>(line.data()),
                          static_cast<SECURITY_ATTRIBUTES*>(processAttributes),
                          static_cast<SECURITY_ATTRIBUTES*>(threadAttributes), inheritHandles, creationFlags,
                          environment, reinterpret_cast<const wchar_t*>(currentDirectory), startup,
                          reinterpret_cast<::PROCESS_INFORMATION*>(processInformation));
}

}  // namespace ce
