// Template part of installer.h.
#pragma once

#include "ce/message.h"

namespace qel {

template <class Report>
void ReportSystemError(ce::DWORD code, Report&& report) {
  char16_t* text = nullptr;
  ce::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0x409, reinterpret_cast<char16_t*>(&text), 0, nullptr);
  report(int32_t(code), text);
  if (text) ce::LocalFree(text);
}

}  // namespace qel
