#include "trace.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "kernel.h"
#include "utf.h"

namespace ce::sim::trace {
namespace {

// Taken while the system library is loaded, before any module can be.
__attribute__((constructor)) void TakeStartupSnapshot() { Kernel::Get().trace.RecordStartupObjects(); }

Mode ReadMode() {
  const char* value = std::getenv("QEL_TRACE");
  if (!value || !*value || std::strcmp(value, "0") == 0) return Mode::kOff;
  return std::strcmp(value, "all") == 0 ? Mode::kAll : Mode::kModules;
}

}  // namespace

void TraceState::RecordStartupObjects() {
  std::lock_guard lock(mu);
  if (!startupBases.empty()) return;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* bases) {
        static_cast<std::set<uintptr_t>*>(bases)->insert(info->dlpi_addr);
        return 0;
      },
      &startupBases);
}

bool Wanted(const void* caller) {
  TraceState& t = Kernel::Get().trace;
  // Read on first use, so a program may set the variable before it calls in.
  std::call_once(t.modeRead, [&] { t.mode = ReadMode(); });
  if (t.mode == Mode::kOff) return false;
  if (t.mode == Mode::kAll) return true;
  Dl_info info{};
  if (!caller || dladdr(caller, &info) == 0) return false;
  std::lock_guard lock(t.mu);
  return t.startupBases.count(reinterpret_cast<uintptr_t>(info.dli_fbase)) == 0;
}

void Emit(const char* name, const std::string& arguments, const std::string& result, DWORD lastError) {
  std::string line = "ce: ";
  line += name;
  line += '(';
  line += arguments;
  line += ") -> ";
  line += result;
  line += ", last error ";
  line += std::to_string(lastError);
  line += '\n';
  std::lock_guard lock(Kernel::Get().trace.writing);  // one line at a time from every thread
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
}

void Append(std::string& out, LPCWSTR text) {
  if (!text) {
    out += "NULL";
    return;
  }
  constexpr size_t kShown = 256;  // a longer text is cut, and says so
  size_t n = 0;
  while (n < kShown && text[n]) ++n;
  out += "u\"";
  for (const char c : ToUtf8({text, n})) {
    if (c == '"') {
      out += "\\\"";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  out += text[n] ? "\"..." : "\"";
}

void Append(std::string& out, LPWSTR buffer) { Append(out, static_cast<const void*>(buffer)); }

void Append(std::string& out, const void* pointer) {
  if (!pointer) {
    out += "NULL";
    return;
  }
  char text[24];
  std::snprintf(text, sizeof text, "%p", pointer);
  out += text;
}

void Append(std::string& out, long long value) { out += std::to_string(value); }

void Append(std::string& out, unsigned long long value) {
  if (value < 10) {
    out += std::to_string(value);
    return;
  }
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", value);
  out += text;
}

}  // namespace ce::sim::trace
