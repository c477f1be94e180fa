// The crash report's one line, built without allocating (the heap may be
// what the fault damaged) and the same on every system but for how the fault
// is named: "qelhost: the module crashed (FAULT) in CALL NAME, at offset 0x...
// of its code".
#pragma once

#include <cstddef>
#include <cstdint>

#include "module_crash.h"

namespace qelhost {

class CrashLine {
 public:
  CrashLine& operator<<(const char* s) {
    while (s && *s && at_ < sizeof text_) text_[at_++] = *s++;
    return *this;
  }
  // Names the module registered: ASCII as it is, anything else as '?'.
  CrashLine& operator<<(const char16_t* s) {
    while (s && *s && at_ < sizeof text_) {
      text_[at_++] = *s >= 0x20 && *s < 0x7F ? char(*s) : '?';
      ++s;
    }
    return *this;
  }
  CrashLine& Number(uintptr_t v, unsigned base) {
    char digits[24];
    size_t n = 0;
    do {
      digits[n++] = "0123456789abcdef"[v % base];
      v /= base;
    } while (v && n < sizeof digits);
    while (n && at_ < sizeof text_) text_[at_++] = digits[--n];
    return *this;
  }
  // Where the fault was: the call, and the offset when it is the module's code.
  CrashLine& Site(const CrashSite& site) {
    if (site.what) {
      *this << "in " << site.what;
      if (site.name) *this << " " << site.name;
    } else {
      *this << "on a thread of its own";
    }
    if (site.inModuleCode) {
      *this << ", at offset 0x";
      Number(site.offset, 16) << " of its code";
    }
    return *this << "\n";
  }
  const char* text() const { return text_; }
  size_t size() const { return at_; }

 private:
  char text_[512];
  size_t at_ = 0;
};

}  // namespace qelhost
