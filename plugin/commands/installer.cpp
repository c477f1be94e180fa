#include "commands/installer.h"

#include <algorithm>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/sync.h"

namespace qel {

InstallerCommandLine::InstallerCommandLine(bool deleteAfter) {
  Append(deleteAfter ? u"/delete 1 " : u"/delete 0 ");
}

void InstallerCommandLine::Append(std::u16string_view piece) {
  if (!complete_) return;
  if (length_ + piece.size() >= kCapacity) {
    complete_ = false;
    return;
  }
  std::copy(piece.begin(), piece.end(), chars_ + length_);
  length_ += piece.size();
  chars_[length_] = 0;
}

void InstallerCommandLine::AppendPackage(std::u16string_view path) {
  Append(u" \"");
  Append(path);
  Append(u"\"");
}

ce::DWORD RunInstaller(InstallerCommandLine& line) {
  // A cut-off line would name another package, or none: never start it.
  if (!line.complete()) return ERROR_INVALID_PARAMETER;
  ce::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ce::PROCESS_INFORMATION info{};
  if (!ce::CreateProcessW(u"\\Windows\\Wceload.exe", line.chars(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info))
    return ce::GetLastError();
  ce::UniqueHandle process(info.hProcess), thread(info.hThread);
  ce::WaitForSingleObject(process.get(), INFINITE);
  return ERROR_SUCCESS;
}

}  // namespace qel
