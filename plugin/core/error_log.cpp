#include "core/error_log.h"

#include <cstdio>
#include <cstring>

#include "ce/files.h"
#include "ce/handle.h"
#include "ce/module.h"
#include "ce/text.h"

namespace qel {

void ErrorLogPath(char16_t (&path)[260]) {
  char16_t exe[260] = {};
  const ce::DWORD n = ce::GetModuleFileNameW(nullptr, exe, 260);
  size_t folder = 0;  // characters kept: through the last backslash
  for (size_t i = 0; i < n && i < 260; ++i)
    if (exe[i] == u'\\') folder = i + 1;
  const size_t name = std::size(kErrorLogName);  // with its NUL
  if (folder == 0 || folder + name > 260) {
    exe[0] = u'\\';
    folder = 1;
  }
  std::memcpy(path, exe, folder * sizeof(char16_t));
  std::memcpy(path + folder, kErrorLogName, name * sizeof(char16_t));
}

std::string FormatErrorLine(const ce::SYSTEMTIME& t, const char* threadName, ce::DWORD threadId,
                            const char16_t* message) {
  // The message in the system code page, cut after as many bytes as it has characters.
  char text[256] = {};
  int length = 0;
  while (message && message[length] && length < 255) ++length;
  const int bytes = ce::WideCharToMultiByte(CP_ACP, 0, message, length, text, 255, nullptr, nullptr);
  text[bytes > 0 ? std::min(bytes, length) : 0] = 0;
  char line[256];
  const int n = std::snprintf(line, sizeof line, "%04d%02d%02d%02d%02d%02d%03d %s [0x%08X] ERROR - %s\r\n",
                              t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                              threadName, unsigned(threadId), text);
  return std::string(line, n < 0 ? 0 : std::min<size_t>(size_t(n), sizeof line - 1));
}

ErrorLogFile::ErrorLogFile(const char16_t* path)
    : file_(ce::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {
  if (file_) ce::SetFilePointer(file_.get(), 0, nullptr, FILE_END);
}

void ErrorLogFile::Append(const std::string& line) {
  ce::DWORD written = 0;
  if (file_) ce::WriteFile(file_.get(), line.data(), ce::DWORD(line.size()), &written, nullptr);
}

}  // namespace qel
