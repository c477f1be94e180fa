// The error log "Qel-Clientv4.err" beside the host's executable: one line per
// exception caught on a module thread, in the system's 8-bit code page.
#pragma once

#include <string>

#include "ce/handle.h"
#include "ce/time.h"

namespace qel {

inline constexpr char16_t kErrorLogName[] = u"Qel-Clientv4.err";

// The log's path: the executable's folder (through its last backslash) and
// the log's name. Without a usable executable path the log goes to the root.
void ErrorLogPath(char16_t (&path)[260]);

// "YYYYMMDDhhmmssmmm NAME [0xID] ERROR - MESSAGE\r\n", at most 255 bytes.
std::string FormatErrorLine(const ce::SYSTEMTIME& time, const char* threadName, ce::DWORD threadId,
                            const char16_t* message);

// The log opened for one line (made when missing) and positioned at its end.
// A log that cannot be opened is skipped: test it before building the line.
class ErrorLogFile {
 public:
  explicit ErrorLogFile(const char16_t* path);
  explicit operator bool() const { return bool(file_); }
  void Append(const std::string& line);

 private:
  ce::UniqueHandle file_;
};

}  // namespace qel
