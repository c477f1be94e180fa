// ReadProductVersion: the "Version" key of section "INFO" of a product file,
// an INI file stored in the system code page.
#if !defined(_WIN32)
#define SI_CONVERT_ICU  // the Debian build of SimpleIni converts with ICU
#endif
#include <SimpleIni.h>

#include <string>

#include "ce/files.h"
#include "ce/handle.h"
#include "ceutil/text.h"
#include "core/text_out.h"
#include "terminal/terminal_service.h"

namespace qel {
namespace {

// The file's bytes through the system's file calls: the path is the terminal's.
bool ReadWholeFile(const char16_t* path, std::string* bytes) {
  ce::UniqueHandle file(ce::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  const ce::DWORD size = ce::GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > (1u << 20)) return false;
  bytes->resize(size);
  ce::DWORD read = 0;
  return ce::ReadFile(file.get(), bytes->data(), size, &read, nullptr) && read == size;
}

}  // namespace

bool CQelTerminalService::ReadProductVersion(const char16_t* path, char16_t* buffer, uint32_t capacity) {
  std::string bytes;
  if (!path || !ReadWholeFile(path, &bytes)) return false;
  // The system's conversion reads the code page; SimpleIni then reads UTF-8.
  const std::string utf8 = ceutil::ToUtf8(ceutil::FromAnsi(bytes));
  CSimpleIniW ini(/*isUtf8=*/true, /*multiKey=*/false, /*multiLine=*/false);
  if (ini.LoadData(utf8.data(), utf8.size()) < 0) return false;
  const auto* version = ini.GetValue(reinterpret_cast<const SI_WCHAR_T*>(u"INFO"),
                                     reinterpret_cast<const SI_WCHAR_T*>(u"Version"), nullptr);
  if (!version) return false;
  return WriteText(reinterpret_cast<const char16_t*>(version), buffer, capacity);
}

}  // namespace qel
