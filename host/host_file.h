// Files of this machine that qelhost reads whole: a module, a script, a
// package. Only regular files are read, and the open never waits, so a
// folder, a FIFO or a device in a file's place is refused rather than hung on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

namespace qelhost {

enum class ReadRefusal { kNone, kMissing, kFolder, kNotRegular, kTooLarge, kUnreadable };

struct HostFileRead {
  std::string bytes;
  ReadRefusal refusal = ReadRefusal::kNone;
  std::string why;  // for a refusal: "no such file", "is a folder, not a file", ...
  explicit operator bool() const { return refusal == ReadRefusal::kNone; }

  static HostFileRead Refused(ReadRefusal refusal, std::string why) {
    HostFileRead r;
    r.refusal = refusal;
    r.why = std::move(why);
    return r;
  }
  static HostFileRead TooLarge(uint64_t maxBytes) {
    return Refused(ReadRefusal::kTooLarge,
                   "is larger than the limit of " + std::to_string(maxBytes) + " bytes");
  }
};

HostFileRead ReadRegularFile(const std::filesystem::path& file, uint64_t maxBytes);

}  // namespace qelhost
