// Checks a module file before the dynamic loader sees it. The loader trusts the
// file's headers: a truncated or damaged module makes it read past the file's
// end (SIGBUS), follow wild offsets (SIGSEGV) or fail its own assertions. A file
// that passes here is an ELF shared object for this machine whose headers and
// segments lie inside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace qelhost {

// The largest module file qelhost loads.
inline constexpr uint64_t kMaxModuleBytes = 256u << 20;

// True when image (the whole file) may be given to the loader; else why not.
bool CheckModuleImage(std::span<const uint8_t> image, std::string* why);
// Reads the file (a regular file of at most kMaxModuleBytes) and checks it;
// error names the file.
bool CheckModuleFile(const std::filesystem::path& file, std::string* error);

}  // namespace qelhost
