// The registry calls the device services share: a key opened only when it
// exists (never made), and four-byte values read and written in it.
#pragma once

#include "ce/registry.h"

namespace qel {

// Empty when root\path does not exist or cannot be opened.
ce::RegKey OpenExistingKey(ce::HKEY root, const char16_t* path);
// The value's first four bytes, whatever its stored type; false when it is missing.
bool QueryDword(ce::HKEY key, const char16_t* name, ce::DWORD* value);
// Stores value as a REG_DWORD.
bool WriteDword(ce::HKEY key, const char16_t* name, ce::DWORD value);

}  // namespace qel
