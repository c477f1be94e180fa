// A scratch folder for one fuzz run, in memory when /dev/shm is there (the
// targets make files on every input), removed at exit.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qelfuzz {

inline const std::filesystem::path& Scratch() {
  static const std::filesystem::path path = [] {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = (base / "qel_fuzz_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) abort();
    static const std::string removeAtExit = pattern;
    ::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removeAtExit, ec);
    });
    return std::filesystem::path(pattern);
  }();
  return path;
}

}  // namespace qelfuzz
