#include "trace.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "kernel.h"
#include "utf.h"

namespace ce::sim::trace {
namespace {

const char* ProgramPath() {
  static const std::string path = [] {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return std::string(buffer, n > 0 ? size_t(n) : 0);
  }();
  return path.c_str();
}

// Shown as itself: anything but controls (C0, C1, line and paragraph
// separators), direction overrides and lone surrogates, which are escaped.
bool IsPrintable(char16_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
  if (c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
    return false;
  return !(c >= 0xD800 && c <= 0xDFFF);
}

// Who asked: the program itself and this library are not traced unless all
// callers are; anything else mapped in the process is a loaded module.
bool FromModule(const void* caller) {
  Dl_info self{}, from{};
  if (!caller || dladdr(caller, &from) == 0) return false;
  if (dladdr(reinterpret_cast<const void*>(&FromModule), &self) != 0 && from.dli_fbase == self.dli_fbase)
    return false;
  const void* program = nullptr;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        *static_cast<const void**>(out) = reinterpret_cast<const void*>(info->dlpi_addr);
        return 1;  // the first entry is the program
      },
      &program);
  // A position-dependent program is mapped at its link address (dlpi_addr 0):
  // dladdr then reports its real base, which the main map's name identifies.
  if (from.dli_fbase == program || (program == nullptr && from.dli_fname && *from.dli_fname &&
                                    std::strcmp(from.dli_fname, ProgramPath()) == 0))
    return false;
  return true;
}

bool Lower(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  return true;
}

Mode ReadMode() {
  const char* value = std::getenv("QEL_TRACE");
  const std::string_view v = value ? value : "";
  if (v.empty() || v == "0" || Lower(v, "off") || Lower(v, "no") || Lower(v, "false")) return Mode::kOff;
  if (Lower(v, "all")) return Mode::kAll;
  if (v == "1" || Lower(v, "on") || Lower(v, "yes") || Lower(v, "true") || Lower(v, "modules"))
    return Mode::kModules;
  const std::string warning =
      "ce: QEL_TRACE=" + std::string(v) + " is not understood (use 1 or all); no trace\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, warning.data(), warning.size());
  return Mode::kOff;
}

}  // namespace

bool Wanted(const void* caller) {
  TraceState& t = Kernel::Get().trace;
  // Read on first use, so a program may set the variable before it calls in.
  std::call_once(t.modeRead, [&] { t.mode = ReadMode(); });
  if (t.mode == Mode::kOff) return false;
  return t.mode == Mode::kAll || FromModule(caller);
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
  TraceState& t = Kernel::Get().trace;
  std::lock_guard lock(t.writing);  // one line at a time from every thread
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!t.lostError) t.lostError = n < 0 ? errno : EIO;
      break;
    }
    done += size_t(n);
  }
}

int LostError() {
  TraceState& t = Kernel::Get().trace;
  std::lock_guard lock(t.writing);
  return t.lostError;
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
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    const bool pair =
        c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) {
      out += ToUtf8({text + i, 2});
      ++i;
    } else if (c == u'\\' || c == u'"') {
      out += '\\';
      out += char(c);
    } else if (IsPrintable(c)) {
      out += ToUtf8({&c, 1});
    } else {
      char escaped[12];
      std::snprintf(escaped, sizeof escaped, c < 0x100 ? "\\x%02X" : "\\u%04X", unsigned(c));
      out += escaped;
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
