// Checks a module file before the dynamic loader sees it. The loader trusts the
// file's headers: a truncated or damaged module makes it read past the file's
// end (SIGBUS), follow wild offsets (SIGSEGV) or fail its own assertions. The
// header checks are the fast first gate; a file that passes them is then loaded
// once in a throwaway child process.
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
// Headers cannot show everything the loader trusts: loads file in a child
// process, looks up symbols and unloads it, and true when that child lived
// through it; a load the loader refuses is refused here with its reason.
bool LoaderAccepts(const std::filesystem::path& file, std::span<const char* const> symbols, std::string* why);
// Reads the file (a regular file of at most kMaxModuleBytes), checks it and
// tries it with the loader; error names the file.
bool CheckModuleFile(const std::filesystem::path& file, std::string* error);

}  // namespace qelhost
