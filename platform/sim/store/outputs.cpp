#include "outputs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "terminal.h"

namespace ce::sim {
namespace fs = std::filesystem;

namespace {

constexpr char kOutputsFolder[] = "outputs";
constexpr size_t kSequenceDigits = 10;
constexpr uint64_t kLastSequence = 9'999'999'999;
constexpr size_t kMaxDeviceName = 32;
constexpr size_t kMaxExtension = 8;

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || IsDigit(c); }

bool IsOutputDeviceName(std::string_view s) {
  return !s.empty() && s.size() <= kMaxDeviceName &&
         std::all_of(s.begin(), s.end(), [](char c) { return IsLowerOrDigit(c) || c == '-' || c == '_'; });
}

bool IsExtension(std::string_view s) {
  return !s.empty() && s.size() <= kMaxExtension && std::all_of(s.begin(), s.end(), IsLowerOrDigit);
}

// The sequence of a name that follows the rule ("0000000042-20240105T101530.123Z.wav"), or nothing.
std::optional<uint64_t> SequenceOf(std::string_view name) {
  constexpr std::string_view kShape = "0000000000-00000000T000000.000Z.";  // 0: a digit
  if (name.size() <= kShape.size() || !IsExtension(name.substr(kShape.size()))) return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i)
    if (kShape[i] == '0' ? !IsDigit(name[i]) : name[i] != kShape[i]) return std::nullopt;
  uint64_t sequence = 0;
  for (size_t i = 0; i < kSequenceDigits; ++i) sequence = sequence * 10 + uint64_t(name[i] - '0');
  return sequence;
}

std::string NameFor(uint64_t sequence, std::string_view extension) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%010llu-%04d%02d%02dT%02d%02d%02d.%03dZ.", (unsigned long long)sequence,
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                int(millis));
  return text + std::string(extension);
}

// name in the folder open as parent (shown as path), as a real folder, made when missing.
HostFd OpenOwnFolder(int parent, const fs::path& path, const char* name, std::string* error) {
  if (::mkdirat(parent, name, 0777) != 0 && errno != EEXIST) {
    Fail(error, path.string() + ": cannot be made: " + std::strerror(errno));
    return {};
  }
  struct ::stat st {};
  if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    Fail(error, path.string() + ": " + std::strerror(errno));
    return {};
  }
  if (S_ISLNK(st.st_mode)) {
    Fail(error, path.string() + ": is a symbolic link; a terminal's outputs are its own");
    return {};
  }
  if (!S_ISDIR(st.st_mode)) {
    Fail(error, path.string() + ": is not a folder");
    return {};
  }
  // Without following: a link put in its place since is refused here.
  HostFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) Fail(error, path.string() + ": cannot be opened: " + std::strerror(errno));
  return fd;
}

// The device's folder, opened and locked for this process until it is closed.
HostFd OpenDeviceFolder(const fs::path& terminalDir, std::string_view device, std::string* error) {
  if (!IsOutputDeviceName(device)) {
    Fail(error, "output device \"" + std::string(device) + "\": use 1 to " + std::to_string(kMaxDeviceName) +
                    " lower-case letters, digits, '-' and '_'");
    return {};
  }
  HostFd terminal(::open(terminalDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!terminal) {
    Fail(error, terminalDir.string() + ": " + std::strerror(errno));
    return {};
  }
  const fs::path outputs = terminalDir / kOutputsFolder;
  const HostFd outputsFd = OpenOwnFolder(terminal.get(), outputs, kOutputsFolder, error);
  if (!outputsFd) return {};
  const std::string name(device);
  HostFd folder = OpenOwnFolder(outputsFd.get(), outputs / name, name.c_str(), error);
  if (folder && ::flock(folder.get(), LOCK_EX) != 0) {
    Fail(error, (outputs / name).string() + ": cannot be locked: " + std::strerror(errno));
    return {};
  }
  return folder;
}

struct Output {
  uint64_t sequence;
  std::string name;
  uint64_t bytes;
};

// The folder's files that follow the naming rule, newest first, and the
// highest sequence any entry's name holds.
bool ListOutputs(int folder, const fs::path& path, std::vector<Output>* outputs, uint64_t* highest,
                 std::string* error) {
  *highest = 0;
  const bool listed = ListFolder(folder, [&](const char* name) {
    const auto sequence = SequenceOf(name);
    if (!sequence) return;
    *highest = std::max(*highest, *sequence);
    struct ::stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      outputs->push_back({*sequence, name, uint64_t(st.st_size)});
  });
  if (!listed) return Fail(error, path.string() + ": cannot be listed: " + std::strerror(errno));
  std::sort(outputs->begin(), outputs->end(),
            [](const Output& a, const Output& b) { return a.sequence > b.sequence; });
  return true;
}

// Keeps the newest files within the limits and removes every older one.
void Prune(int folder, const std::vector<Output>& newestFirst, const OutputLimits& limits) {
  size_t files = 0;
  uint64_t bytes = 0;
  bool full = false;
  for (const Output& o : newestFirst) {
    full = full || (files > 0 && (files + 1 > limits.files || bytes + o.bytes > limits.bytes));
    if (full) {
      ::unlinkat(folder, o.name.c_str(), 0);
      continue;
    }
    ++files;
    bytes += o.bytes;
  }
}

}  // namespace

std::optional<OutputFile> OpenOutput(const fs::path& terminalDir, std::string_view device,
                                     std::string_view extension, std::string* error,
                                     const OutputLimits& limits) {
  if (!IsExtension(extension)) {
    Fail(error, "output extension \"" + std::string(extension) + "\": use 1 to " +
                    std::to_string(kMaxExtension) + " lower-case letters and digits");
    return std::nullopt;
  }
  const HostFd folder = OpenDeviceFolder(terminalDir, device, error);
  if (!folder) return std::nullopt;
  const fs::path path = terminalDir / kOutputsFolder / std::string(device);
  std::vector<Output> outputs;
  uint64_t highest = 0;
  if (!ListOutputs(folder.get(), path, &outputs, &highest, error)) return std::nullopt;
  if (highest >= kLastSequence) {
    Fail(error, path.string() + ": every sequence number is taken");
    return std::nullopt;
  }
  const std::string name = NameFor(highest + 1, extension);
  OutputFile out;
  out.fd = HostFd(
      ::openat(folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.fd) {
    Fail(error, (path / name).string() + ": cannot be made: " + std::strerror(errno));
    return std::nullopt;
  }
  out.path = path / name;
  outputs.insert(outputs.begin(), Output{highest + 1, name, 0});
  Prune(folder.get(), outputs, limits);
  return out;
}

std::optional<OutputFile> OpenOutput(std::string_view device, std::string_view extension,
                                     std::string* error) {
  const auto terminal = Current();
  if (!terminal) {
    Fail(error, "no terminal is in use");
    return std::nullopt;
  }
  return OpenOutput(terminal->dir(), device, extension, error);
}

bool AppendOutputLine(const fs::path& terminalDir, std::string_view device, std::string_view line,
                      std::string* error, const OutputLimits& limits, const UnderHistoryLock& first,
                      bool* ran) {
  if (ran) *ran = false;
  const HostFd folder = OpenDeviceFolder(terminalDir, device, error);
  if (!folder) return false;
  const fs::path path = terminalDir / kOutputsFolder / std::string(device);
  std::vector<Output> outputs;
  uint64_t highest = 0;
  if (!ListOutputs(folder.get(), path, &outputs, &highest, error)) return false;
  HostFd file;
  std::string name;
  bool made = false;
  if (!outputs.empty() && outputs.front().sequence == highest && outputs.front().name.ends_with(".log") &&
      outputs.front().bytes < kLogBytes) {
    // Nonblocking, so that a FIFO put in its place since the listing cannot
    // hang every writer; kept only while it is still the folder's own file.
    name = outputs.front().name;
    file = HostFd(
        ::openat(folder.get(), name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct ::stat st {};
    if (file && (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)) file.reset();
  }
  if (!file) {
    if (highest >= kLastSequence) return Fail(error, path.string() + ": every sequence number is taken");
    name = NameFor(highest + 1, "log");
    file = HostFd(::openat(folder.get(), name.c_str(),
                           O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file) return Fail(error, (path / name).string() + ": cannot be made: " + std::strerror(errno));
    made = true;
    outputs.insert(outputs.begin(), Output{highest + 1, name, 0});
    Prune(folder.get(), outputs, limits);
  }
  // Only with the log open: a change made now is never left without its line.
  if (ran) *ran = true;
  if (first && !first(error)) {
    if (made) ::unlinkat(folder.get(), name.c_str(), 0);  // no empty log for a change refused
    return false;
  }
  std::string text(line);
  text += '\n';
  if (::write(file.get(), text.data(), text.size()) != ssize_t(text.size()))
    return Fail(error, (path / name).string() + ": cannot be written: " + std::strerror(errno));
  return true;
}

bool AppendOutputLine(std::string_view device, std::string_view line, std::string* error,
                      const UnderHistoryLock& first, bool* ran) {
  if (ran) *ran = false;
  const auto terminal = Current();
  if (!terminal) return Fail(error, "no terminal is in use");
  return AppendOutputLine(terminal->dir(), device, line, error, kOutputLimits, first, ran);
}

bool FinishOutput(OutputFile file, std::string* error, const OutputLimits& limits) {
  file.fd.reset();
  const fs::path folderPath = file.path.parent_path();
  const HostFd folder =
      OpenDeviceFolder(folderPath.parent_path().parent_path(), folderPath.filename().string(), error);
  if (!folder) return false;
  std::vector<Output> outputs;
  uint64_t highest = 0;
  if (!ListOutputs(folder.get(), folderPath, &outputs, &highest, error)) return false;
  Prune(folder.get(), outputs, limits);
  return true;
}

}  // namespace ce::sim
