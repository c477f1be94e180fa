// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include <string>

#include "ceutil/text.h"
#include "module_crash.h"
#include "module_library.h"

namespace qelhost {
namespace fs = std::filesystem;
namespace {

// The system's English text for the error, without its line end or inserts.
std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string why = text ? ceutil::ToUtf8(reinterpret_cast<const char16_t*>(text)) : "";
  if (text) ::LocalFree(text);
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
    why.pop_back();
  // Some texts name the file as an insert ("%1 is not a valid Win32 application").
  for (size_t at = why.find("%1"); at != std::string::npos; at = why.find("%1", at))
    why.replace(at, 2, "the file");
  return (why.empty() ? "error" : why) + " (error " + std::to_string(code) + ")";
}

std::string WhyNotLoaded(DWORD code) {
  switch (code) {
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      return "not a DLL for this machine (" + ErrorText(code) + ")";
    case ERROR_MOD_NOT_FOUND:
      return "a library it needs is missing (" + ErrorText(code) + ")";
    default:
      return ErrorText(code);
  }
}

// Where the image the system mapped lies, from its own headers.
void NoteModuleCode(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  SetModuleCode(base, base + nt->OptionalHeader.SizeOfImage);
}

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const fs::path& file, std::string* error) {
  std::error_code ec;
  const auto status = fs::status(file, ec);
  if (!fs::exists(status) || fs::is_directory(status)) {
    *error = file.string() +
             (fs::is_directory(status) ? ": no such module file (a folder)" : ": no such module file");
    return nullptr;
  }
  // The libraries it needs are looked for beside it first; a file the
  // loader refuses shows no dialog (PrepareProcess), only its error.
  HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    *error = file.string() + ": cannot be loaded: " + WhyNotLoaded(::GetLastError());
    return nullptr;
  }
  NoteModuleCode(module);
  return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(module));
}

ModuleLibrary::~ModuleLibrary() {
  SetModuleCode(nullptr, nullptr);
  ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* ModuleLibrary::Find(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

fs::path DefaultModulePath() {
  std::wstring self(MAX_PATH, L'\0');
  DWORD n;
  while ((n = ::GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()))) == self.size())
    self.resize(self.size() * 2);
  self.resize(n);
  return (n ? fs::path(self).parent_path() : fs::current_path()) / "QelHal_HON2.mpi";
}

}  // namespace qelhost
