// What the backend asks the system on the side, before or after the call it
// stands for (a file's attributes, whether a handle is a key): the caller's
// last error is left as it was, whatever the question's answer.
#pragma once

#include "ce/error.h"
#include "ce/files.h"

namespace ce::win32 {

template <class Question>
auto KeepingLastError(Question question) {
  const DWORD lastError = ::GetLastError();
  const auto answer = question();
  ::SetLastError(lastError);
  return answer;
}

inline DWORD AttributesOf(const wchar_t* path) {
  return KeepingLastError([&] { return ::GetFileAttributesW(path); });
}

// Whether path names a file (not a folder) marked read-only.
inline bool IsReadOnlyFile(const wchar_t* path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace ce::win32
