// What the test host has instead of a C runtime: the few kernel32 calls it
// makes, a heap behind new and delete, and plain text output.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {
using HANDLE = void*;
using HMODULE = void*;
__declspec(dllimport) HANDLE GetStdHandle(uint32_t which);
__declspec(dllimport) int WriteFile(HANDLE file, const void* data, uint32_t size, uint32_t* written,
                                    void* overlapped);
__declspec(dllimport) HANDLE GetProcessHeap();
__declspec(dllimport) void* HeapAlloc(HANDLE heap, uint32_t flags, size_t size);
__declspec(dllimport) int HeapFree(HANDLE heap, uint32_t flags, void* block);
[[noreturn]] __declspec(dllimport) void ExitProcess(uint32_t code);
__declspec(dllimport) HMODULE LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* GetProcAddress(HMODULE module, const char* name);
__declspec(dllimport) int FreeLibrary(HMODULE module);
__declspec(dllimport) HANDLE
    CreateEventW(void* security, int manualReset, int initialState, const wchar_t* name);
__declspec(dllimport) int CloseHandle(HANDLE handle);
__declspec(dllimport) uint32_t GetLastError();
__declspec(dllimport) const wchar_t* GetCommandLineW();
}

namespace msvchost {

// Appends text to standard output; numbers in decimal.
class Out {
 public:
  Out& operator<<(const char* text);
  Out& operator<<(const char16_t* text);  // characters outside ASCII as '?'
  Out& operator<<(int64_t n);
  Out& operator<<(uint64_t n);
  Out& operator<<(int32_t n) { return *this << int64_t(n); }
  Out& operator<<(uint32_t n) { return *this << uint64_t(n); }
  Out& operator<<(double d);  // six decimals
  Out& Chars(const char16_t* text, uint32_t length);
  Out& Hex(uint64_t n);
};
extern Out out;

// A growable UTF-16 text, always NUL-terminated.
class Text {
 public:
  Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { delete[] chars_; }
  bool Assign(const char16_t* s, uint32_t length);
  bool AssignZ(const char16_t* s);
  const char16_t* chars() const { return chars_ ? chars_ : u""; }
  uint32_t length() const { return length_; }
  bool Equals(const char16_t* s) const;

 private:
  char16_t* chars_ = nullptr;
  uint32_t length_ = 0;
};

uint32_t Length(const char16_t* s);

}  // namespace msvchost
