// Starting the system's package installer, "\Windows\Wceload.exe", with a
// command line of at most 260 characters, and waiting for it to end.
#pragma once

#include <cstdint>
#include <string_view>

#include "ce/types.h"

namespace qel {

// The installer's command line, built piece by piece; a piece that does not
// fit is refused whole, and the line remembers that it is incomplete.
class InstallerCommandLine {
 public:
  static constexpr size_t kCapacity = 260;  // characters, the terminating zero included

  // "/delete 0 " or "/delete 1 ".
  explicit InstallerCommandLine(bool deleteAfter);
  void Append(std::u16string_view piece);
  // A space, then the path in double quotes.
  void AppendPackage(std::u16string_view path);

  bool complete() const { return complete_; }
  char16_t* chars() { return chars_; }
  std::u16string_view view() const { return {chars_, length_}; }

 private:
  char16_t chars_[kCapacity] = {};
  size_t length_ = 0;
  bool complete_ = true;
};

// Runs the installer with the line and waits for it without a time limit.
// ERROR_SUCCESS once it has ended; else the system's error code (for a line
// that did not fit, ERROR_INVALID_PARAMETER, and nothing is started).
ce::DWORD RunInstaller(InstallerCommandLine& line);

// Hands the system's English text for the code to report(code, text).
template <class Report>
void ReportSystemError(ce::DWORD code, Report&& report);

}  // namespace qel

#include "commands/installer_inl.h"
