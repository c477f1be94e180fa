// System message texts for error codes; an allocated text comes from the
// local heap (ce/memory.h).
#pragma once

#include "ce/memory.h"
#include "ce/types.h"

#ifndef FORMAT_MESSAGE_ALLOCATE_BUFFER
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#endif
#ifndef FORMAT_MESSAGE_IGNORE_INSERTS
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#endif
#ifndef FORMAT_MESSAGE_FROM_SYSTEM
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#endif

namespace ce {

// FORMAT_MESSAGE_FROM_SYSTEM only; English (0x409, or 0 for the default).
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, buffer is really an LPWSTR* that
// receives text from LocalAlloc. Returns the characters written without the
// NUL, or 0 with ERROR_MR_MID_NOT_FOUND for a code the system has no text for.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void* arguments);

}  // namespace ce

#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317
#endif
