// Loadable modules of the terminal: system and vendor libraries that a profile
// says are present, reached by name.
#pragma once

#include "ce/types.h"

namespace ce {

// Null with ERROR_MOD_NOT_FOUND when the terminal has no such library.
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
// Null with ERROR_PROC_NOT_FOUND when the library has no such export.
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);

// Owns a loaded library.
class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE m) : m_(m) {}
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;
  UniqueModule(UniqueModule&& o) noexcept : m_(o.m_) { o.m_ = nullptr; }
  UniqueModule& operator=(UniqueModule&& o) noexcept {
    if (this != &o) {
      if (m_) FreeLibrary(m_);
      m_ = o.m_;
      o.m_ = nullptr;
    }
    return *this;
  }
  ~UniqueModule() {
    if (m_) FreeLibrary(m_);
  }
  HMODULE get() const { return m_; }
  explicit operator bool() const { return m_ != nullptr; }

 private:
  HMODULE m_ = nullptr;
};

}  // namespace ce
