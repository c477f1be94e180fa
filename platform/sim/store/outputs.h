// What a terminal's devices put out (rendered sound, LED and backlight
// history) is kept apart from its state, in <terminal>/outputs/<device>/.
//
//  - Names: "<sequence>-<UTC time>.<extension>", such as
//    "0000000042-20240105T101530.123Z.wav": the sequence is ten digits, one
//    above the highest in the folder, so names sort in the order the files were
//    begun. The number is chosen and the file made under a lock on the
//    device's folder (flock, shared by every process on the terminal), and the
//    file is made with O_EXCL besides: two processes never take one name.
//  - Retention: per device, the newest OutputLimits::files files holding at
//    most OutputLimits::bytes together; the oldest go first, when a file is
//    begun and when its writer says it is finished. The newest file is never
//    removed, whatever its size.
//  - Safety: outputs/ and outputs/<device>/ are made when missing and must be
//    real folders; a link or anything else in their place is refused, naming
//    it. Nothing below them is followed, and only regular files whose names
//    follow the rule are counted or removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "device_path.h"

namespace ce::sim {

struct OutputLimits {
  size_t files;
  uint64_t bytes;
};
// What every device keeps.
inline constexpr OutputLimits kOutputLimits{100, uint64_t{64} << 20};

struct OutputFile {
  HostFd fd;                   // open for writing, empty
  std::filesystem::path path;  // <terminal>/outputs/<device>/<name>
};

// Begins a new file for device ("audio", "led": lower-case letters, digits,
// '-' and '_') with extension ("wav": lower-case letters and digits) in the
// terminal at terminalDir, and prunes the device's older files. Nothing on
// failure, with error saying why.
std::optional<OutputFile> OpenOutput(const std::filesystem::path& terminalDir, std::string_view device,
                                     std::string_view extension, std::string* error,
                                     const OutputLimits& limits = kOutputLimits);
// The same in the terminal this process runs on.
std::optional<OutputFile> OpenOutput(std::string_view device, std::string_view extension, std::string* error);

// Appends one line (a '\n' is added) to the device's history: its newest
// "log" file while that holds less than kLogBytes and is the folder's own
// (a regular file with no other link), else a new one, all under the folder's
// lock so lines of several processes never interleave. `first`, when given,
// runs under that lock once the log is open, and the line is written only
// when it succeeds: what a device records then agrees with the order of its
// history. *ran tells whether it ran (the folder or the log may not open).
inline constexpr uint64_t kLogBytes = uint64_t{1} << 20;
using UnderHistoryLock = std::function<bool(std::string* error)>;
bool AppendOutputLine(const std::filesystem::path& terminalDir, std::string_view device,
                      std::string_view line, std::string* error, const OutputLimits& limits = kOutputLimits,
                      const UnderHistoryLock& first = {}, bool* ran = nullptr);
// The same in the terminal this process runs on.
bool AppendOutputLine(std::string_view device, std::string_view line, std::string* error,
                      const UnderHistoryLock& first = {}, bool* ran = nullptr);

// Closes a file its writer has finished and prunes its device's files again,
// now that the file's size is known.
bool FinishOutput(OutputFile file, std::string* error, const OutputLimits& limits = kOutputLimits);

}  // namespace ce::sim
