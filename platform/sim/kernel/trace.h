// The call trace: with QEL_TRACE=1 every ce call that a loaded module makes is
// printed on standard error as one line: the function, its arguments (text
// shown as text, escaped as in C where it would be ambiguous or unsafe on a
// terminal), its result and the last error after it. QEL_TRACE=all traces
// every caller, the program and the system library included; 0, off, no and
// false (or nothing) trace nothing.
//   ce: RegOpenKeyExW(0x80000002, u"Software\Demo", 0, 0x20019, 0x7ffd5a6c) -> 2, last error 0
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>

#include "ce/error.h"
#include "ce/types.h"
#include "last_error.h"

namespace ce::sim::trace {

enum class Mode { kOff, kModules, kAll };

// The kernel's trace settings.
struct TraceState {
  std::once_flag modeRead;
  Mode mode = Mode::kOff;
  std::mutex writing;
  int lostError = 0;  // errno of the first line that could not be written, under writing
};

// Whether a call from this return address is traced.
bool Wanted(const void* caller);
// Writes one line, whole, to standard error.
void Emit(const char* name, const std::string& arguments, const std::string& result, DWORD lastError);
// The errno of the first line that could not be written, or 0.
int LostError();

// Arguments and results as the trace shows them.
void Append(std::string& out, LPCWSTR text);
void Append(std::string& out, LPWSTR buffer);  // an output buffer: its address only
void Append(std::string& out, const void* pointer);
void Append(std::string& out, long long value);
void Append(std::string& out, unsigned long long value);

// An argument shown by its address only (text that need not end in a NUL).
template <class T>
struct ByAddress {
  T value;
  operator T() const { return value; }
};
template <class T>
ByAddress<T> ShowAddress(T value) {
  return {value};
}

template <class T>
void AppendValue(std::string& out, T value) {
  if constexpr (requires { value.value; })
    Append(out, static_cast<const void*>(value.value));
  else if constexpr (std::is_same_v<T, LPCWSTR> || std::is_same_v<T, LPWSTR>)
    Append(out, value);
  else if constexpr (std::is_pointer_v<T>)
    Append(out, reinterpret_cast<const void*>(value));
  else if constexpr (std::is_class_v<T>)
    out += "{...}";  // a record passed by value
  else if constexpr (std::is_signed_v<T>)
    Append(out, static_cast<long long>(value));
  else
    Append(out, static_cast<unsigned long long>(value));
}

template <class R, class... P, class... A>
R Call(R (*impl)(P...), const char* name, const void* caller, A... args) {
  if (!Wanted(caller)) return impl(args...);
  std::string shown;
  auto show = [&](auto a) {
    if (!shown.empty()) shown += ", ";
    AppendValue(shown, a);
  };
  if constexpr (std::is_void_v<R>) {
    impl(args...);
    const DWORD error = GetLastError();
    (show(args), ...);
    Emit(name, shown, "void", error);
  } else {
    R result = impl(args...);
    const DWORD error = GetLastError();
    (show(args), ...);
    std::string text;
    AppendValue(text, result);
    Emit(name, shown, text, error);
    return result;
  }
}

}  // namespace ce::sim::trace
