#include "vendor_library.h"

#include <cstring>

#include "utf.h"

namespace ce::sim {

BOOL AnsiAnswer(const std::string& utf8, char* buffer, DWORD size) {
  if (!buffer || size == 0 || utf8.empty()) return FALSE;
  const std::string ansi = Utf8ToAnsi(utf8);
  if (ansi.size() >= size) return FALSE;
  std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return TRUE;
}

}  // namespace ce::sim
