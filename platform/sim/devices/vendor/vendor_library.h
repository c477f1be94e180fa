// What every simulated library of the terminal's makers shares: exports by
// name, and 8-bit answers in the system code page.
#pragma once

#include <string>

#include "ce/types.h"

namespace ce::sim {

template <class F>
FARPROC Export(F f) {
  return reinterpret_cast<FARPROC>(f);
}

// 8-bit text in the system code page into a caller's buffer of size bytes:
// FALSE for no buffer, no text or text that does not fit with its NUL.
BOOL AnsiAnswer(const std::string& utf8, char* buffer, DWORD size);

}  // namespace ce::sim
