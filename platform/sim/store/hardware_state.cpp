#include "hardware_state.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>

#include "device_path.h"
#include "hardware_schema.h"
#include "hex.h"
#include "staging.h"
#include "state_files.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using hw::Type;

constexpr size_t kMaxDepth = 32;

std::vector<std::string> Split(const std::string& dotted) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t dot = dotted.find('.', start);
    parts.push_back(dotted.substr(start, dot == std::string::npos ? dot : dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

bool InRange(const json& v, int64_t lo, uint64_t hi) {
  if (v.is_number_unsigned()) return v.get<uint64_t>() <= hi;
  if (v.is_number_integer()) {
    const int64_t i = v.get<int64_t>();
    return i >= lo && (i < 0 || uint64_t(i) <= hi);
  }
  return false;
}

bool IsTextList(const json& v, bool (*fits)(const std::string&)) {
  if (!v.is_array()) return false;
  for (const auto& e : v)
    if (!e.is_string() || !fits(e.get_ref<const std::string&>())) return false;
  return true;
}

bool AnyText(const std::string&) { return true; }

// Names that become the last part of a dotted path, told apart without case as on the device.
bool IsNameList(const json& v) {
  if (!v.is_array()) return false;
  std::vector<std::string> seen;
  for (const auto& e : v) {
    if (!e.is_string()) return false;
    const std::string& name = e.get_ref<const std::string&>();
    if (!IsFieldName(name) ||
        std::any_of(name.begin(), name.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; }))
      return false;
    std::string folded = name;
    for (char& c : folded) c = char(std::tolower((unsigned char)c));
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) return false;
    seen.push_back(std::move(folded));
  }
  return true;
}
bool IsHex(const std::string& s) { return ParseHex(s).has_value(); }
bool IsMac(const std::string& s) { return s.empty() || ParseMac(s).has_value(); }
bool IsIpv4(const std::string& s) {
  in_addr address{};
  return ::inet_pton(AF_INET, s.c_str(), &address) == 1;
}
bool IsIpv4OrNone(const std::string& s) { return s.empty() || IsIpv4(s); }

bool IsText(const json& v, bool (*fits)(const std::string&)) {
  return v.is_string() && fits(v.get_ref<const std::string&>());
}

bool Fits(Type t, const json& v) {
  constexpr uint64_t kU32 = std::numeric_limits<uint32_t>::max();
  switch (t) {
    case Type::Byte:
      return InRange(v, 0, 255);
    case Type::Word:
      return InRange(v, 0, 65535);
    case Type::DWord:
      return InRange(v, 0, kU32);
    case Type::Int32:
      return InRange(v, std::numeric_limits<int32_t>::min(), uint64_t(std::numeric_limits<int32_t>::max()));
    case Type::UInt64:
      return InRange(v, 0, std::numeric_limits<uint64_t>::max());
    case Type::Int64:
      return InRange(v, 0, uint64_t(std::numeric_limits<int64_t>::max()));
    case Type::Text:
      return v.is_string();
    case Type::Flag:
      return v.is_boolean();
    case Type::TextList:
      return IsTextList(v, AnyText);
    case Type::NameList:
      return IsNameList(v);
    case Type::Hex:
      return IsText(v, IsHex);
    case Type::Mac:
      return IsText(v, IsMac);
    case Type::Ipv4:
      return IsText(v, IsIpv4);
    case Type::Ipv4OrNone:
      return IsText(v, IsIpv4OrNone);
    case Type::Ipv4List:
      return IsTextList(v, IsIpv4);
  }
  return false;
}

// Why v cannot be the value of the declared field at path, or nothing when it can.
std::optional<std::string> Misfit(const hw::FieldRule& rule, const std::string& path, const json& v) {
  if (!Fits(rule.type, v)) return "must be " + std::string(hw::Describe(rule.type)) + ", not " + v.dump();
  if (const hw::FieldRange* range = hw::RangeFor(path);
      range && !InRange(v, range->min, uint64_t(range->max)))
    return "must be a whole number from " + std::to_string(range->min) + " to " + std::to_string(range->max) +
           " (" + range->what + "), not " + v.dump();
  return std::nullopt;
}

// Fields without a rule keep their JSON type; numbers stay whole when they were.
bool SameShape(const json& was, const json& now) {
  if (was.is_number_integer()) return now.is_number_integer();
  if (was.is_number()) return now.is_number();
  return was.type() == now.type();
}

// Deepest nesting of [ and { outside strings.
size_t NestingDepth(const std::string& text) {
  size_t depth = 0, deepest = 0;
  bool inString = false, escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// Nesting of a value, counted no further than limit + 1 (so never deeper than that).
size_t ValueDepth(const json& v, size_t limit) {
  if (!v.is_structured()) return 0;
  if (limit == 0) return 1;
  size_t deepest = 0;
  for (const auto& child : v) deepest = std::max(deepest, ValueDepth(child, limit - 1));
  return deepest + 1;
}

// Every text and member name is well-formed UTF-8 (JSON can hold nothing else).
bool IsWellFormedText(const json& v) {
  try {
    (void)v.dump();
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

void CheckAll(const json& node, const std::string& path, std::string* firstError, bool* ok) {
  if (!*ok) return;
  if (!path.empty()) {
    const hw::FieldRule* rule = hw::RuleFor(path);
    if (const auto why = rule ? Misfit(*rule, path, node) : std::nullopt) {
      *ok = false;
      Fail(firstError, "\"" + path + "\" " + *why);
      return;
    } else if (!rule && hw::IsGroup(path) && !node.is_object()) {
      *ok = false;
      Fail(firstError, "\"" + path + "\" must be a group of fields (a JSON object), not " + node.dump());
      return;
    }
  }
  if (node.is_object())
    for (const auto& [key, child] : node.items()) {
      if (!IsFieldName(key)) {
        *ok = false;
        Fail(firstError, (path.empty() ? std::string("the hardware state") : "\"" + path + "\"") +
                             " holds a field named \"" + key + "\"; names are not empty and have no dots");
        return;
      }
      CheckAll(child, path.empty() ? key : path + "." + key, firstError, ok);
    }
}

// Whether every part of a dotted path that the state holds, short of the
// last, is a group, so that the missing rest can be made.
bool CanMake(const json& root, const std::string& dotted) {
  const json* at = &root;
  for (const auto& part : Split(dotted)) {
    if (!at->is_object()) return false;
    const auto it = at->find(part);
    if (it == at->end()) return true;
    at = &*it;
  }
  return true;
}

// The field at a dotted path, made (with the groups above it) when missing;
// null when that cannot be (see CanMake).
json* FindOrMakeField(json& root, const std::string& dotted) {
  if (const json* found = FindField(root, dotted)) return const_cast<json*>(found);
  if (!CanMake(root, dotted)) return nullptr;
  json* at = &root;
  for (const auto& part : Split(dotted)) at = &(*at)[part];
  return at;
}

}  // namespace

bool IsFieldName(std::string_view name) { return !name.empty() && name.find('.') == std::string_view::npos; }

const json* FindField(const json& root, const std::string& dotted) {
  if (dotted.empty()) return nullptr;
  const json* at = &root;
  for (const auto& part : Split(dotted)) {
    if (part.empty()) return nullptr;
    if (at->is_object()) {
      auto it = at->find(part);
      if (it == at->end()) return nullptr;
      at = &*it;
    } else if (at->is_array()) {
      // An index is written one way only: "01" names no element.
      if (part.size() > 1 && part[0] == '0') return nullptr;
      size_t index = 0;
      const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), index);
      if (ec != std::errc() || end != part.data() + part.size() || index >= at->size()) return nullptr;
      at = &(*at)[index];
    } else {
      return nullptr;
    }
  }
  return at;
}

bool CheckHardware(const json& hardware, std::string* error) {
  if (!hardware.is_object()) return Fail(error, "\"hardware\" is not an object");
  if (ValueDepth(hardware, kMaxDepth) > kMaxDepth) return Fail(error, "\"hardware\" is nested too deeply");
  if (!IsWellFormedText(hardware)) return Fail(error, "\"hardware\" holds text that is not valid UTF-8");
  bool ok = true;
  CheckAll(hardware, "", error, &ok);
  return ok;
}

bool CheckFieldChange(const json& hardware, const std::string& dotted, const json& value,
                      std::string* error) {
  for (const auto& part : Split(dotted))
    if (part.empty())
      return Fail(error, "'" + dotted + "' is not a dotted key such as power.battery_life_percent");
  if (ValueDepth(value, kMaxDepth) > kMaxDepth) return Fail(error, "the value is nested too deeply");
  if (!IsWellFormedText(value)) return Fail(error, "the value for '" + dotted + "' is not valid UTF-8 text");
  const hw::FieldRule* rule = hw::RuleFor(dotted);
  const json* field = FindField(hardware, dotted);
  // A declared field the state lacks is made, with its groups, when it is set.
  if (!field && !(rule && rule->named && CanMake(hardware, dotted)))
    return Fail(error, "the hardware state has no field '" + dotted + "'");
  if ((field && field->is_object()) || (!rule && hw::IsGroup(dotted)))
    return Fail(error, "'" + dotted + "' is a group of fields; set its fields one by one");
  if (rule) {
    if (const auto why = Misfit(*rule, dotted, value)) return Fail(error, "'" + dotted + "' " + *why);
    return true;
  }
  if (!field->is_null() && !SameShape(*field, value))
    return Fail(error, "'" + dotted + "' holds " + std::string(field->type_name()) + " " + field->dump() +
                           ", not " + value.type_name());
  // What the value holds obeys the rules of the whole file: names, declared fields below it.
  bool ok = true;
  CheckAll(value, dotted, error, &ok);
  return ok;
}

bool ReadJsonFile(const fs::path& path, json* out, std::string* error, uint64_t maxBytes) {
  // Nonblocking, so that a FIFO in the file's place cannot hang the read.
  HostFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return Fail(error, path.string() + ": cannot be read: " + std::strerror(errno));
  return ReadJsonFd(fd.get(), path, out, error, maxBytes);
}

bool ReadJsonFd(int fd, const fs::path& path, json* out, std::string* error, uint64_t maxBytes) {
  struct ::stat st {};
  if (::fstat(fd, &st) != 0) return Fail(error, path.string() + ": cannot be read: " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return Fail(error, path.string() + ": is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return Fail(error, path.string() + ": is not a regular file");
  if (uint64_t(st.st_size) > maxBytes)
    return Fail(error,
                path.string() + ": is larger than the limit of " + std::to_string(maxBytes) + " bytes");
  std::string s(size_t(st.st_size), '\0');
  size_t got = 0;
  while (got < s.size()) {
    const ssize_t n = ::read(fd, s.data() + got, s.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error, path.string() + ": cannot be read: " + std::strerror(errno));
    if (n == 0) break;
    got += size_t(n);
  }
  s.resize(got);
  if (NestingDepth(s) > kMaxDepth) return Fail(error, path.string() + ": nested too deeply");
  *out = json::parse(s, nullptr, /*allow_exceptions=*/false);
  if (out->is_discarded()) return Fail(error, path.string() + ": not valid JSON");
  return true;
}

namespace {

// The lock every writer of hardware.json holds while its temporary file exists.
HostFd OpenHardwareLock(const fs::path& dir, std::string* error) {
  std::string why;
  HostFd lock = OpenStateFile(dir, "hardware.lock", O_RDWR | O_CREAT, &why);
  const int err = errno;
  // flock needs no write access; should this fail too, the first reason is the one.
  if (!lock && (err == EACCES || err == EROFS || err == EPERM))
    lock = OpenStateFile(dir, "hardware.lock", O_RDONLY, nullptr);
  if (!lock) Fail(error, why);
  return lock;
}

}  // namespace

namespace {

// Runs change on the state read afresh under the hardware lock, then replaces the file.
template <class Change>
bool RewriteHardwareFile(const fs::path& file, std::string* error, Change&& change) {
  HostFd lock = OpenHardwareLock(file.parent_path(), error);
  if (!lock) return false;
  if (::flock(lock.get(), LOCK_EX) != 0)
    return Fail(error, (file.parent_path() / "hardware.lock").string() +
                           ": cannot be locked: " + std::strerror(errno));

  // The file is replaced, not written in place: a link would be replaced by a
  // file, so it is refused; the new file keeps the old one's mode and owner.
  HostFd current = OpenStateFile(file.parent_path(), file.filename().string(), O_RDONLY, error);
  if (!current) return false;
  struct ::stat was {};
  if (::fstat(current.get(), &was) != 0) return Fail(error, file.string() + ": " + std::strerror(errno));

  json state;
  if (!ReadJsonFd(current.get(), file, &state, error)) return false;
  current.reset();
  std::string why;
  if (!CheckHardware(state, &why)) return Fail(error, file.string() + ": " + why);
  if (!change(state)) return false;

  std::string text;
  try {
    text = state.dump(2) + "\n";
  } catch (const json::exception&) {
    return Fail(error, "the value is not valid UTF-8 text");
  }
  if (text.size() > kMaxJsonFileBytes)
    return Fail(error, "the hardware state would grow past its limit of " +
                           std::to_string(kMaxJsonFileBytes) + " bytes");
  const auto fail = [&](const std::string& what) {
    return Fail(error, file.string() + ": " + what + ": " + std::strerror(errno));
  };
  switch (ReplaceStateFile(file.parent_path(), "hardware.json", text, &was)) {
    case ReplaceStep::kDone:
      return true;
    case ReplaceStep::kCreate:
      return Fail(error, file.parent_path().string() +
                             ": cannot write beside hardware.json: " + std::strerror(errno));
    case ReplaceStep::kWrite:
      return fail("cannot be written");
    case ReplaceStep::kOwner:
      return fail("cannot keep its owner " + std::to_string(was.st_uid) + ":" + std::to_string(was.st_gid));
    case ReplaceStep::kMode:
      return fail("cannot keep its mode");
    case ReplaceStep::kReplace:
      return fail("cannot be replaced");
  }
  return true;
}

}  // namespace

bool ChangeHardwareFile(const fs::path& file, const std::string& dotted, const json& value,
                        std::string* error) {
  return ChangeHardwareFile(file, {{dotted, value}}, error);
}

bool ChangeHardwareFile(const fs::path& file, const std::vector<std::pair<std::string, json>>& changes,
                        std::string* error) {
  return RewriteHardwareFile(file, error, [&](json& state) {
    // Each is checked against the state the ones before it left; the file is
    // replaced only when every one passed.
    for (const auto& [dotted, value] : changes) {
      if (!CheckFieldChange(state, dotted, value, error)) return false;
      *FindOrMakeField(state, dotted) = value;
    }
    return true;
  });
}

bool CountInHardwareFile(const fs::path& file, const std::string& dotted, std::string* error) {
  const hw::FieldRule* rule = hw::RuleFor(dotted);
  if (!rule || rule->type != Type::DWord) return Fail(error, "'" + dotted + "' is not a declared count");
  return RewriteHardwareFile(file, error, [&](json& state) {
    json* made = FindOrMakeField(state, dotted);
    if (!made) return Fail(error, "'" + dotted + "' lies under a field that is not a group");
    json& field = *made;
    const uint64_t now = field.is_number_unsigned() ? field.get<uint64_t>() : 0;
    field = uint32_t(now + 1);  // wraps as the device's counter does
    return true;
  });
}

bool EditListInHardwareFile(const fs::path& file, const std::string& dotted,
                            const std::function<void(std::vector<std::string>&)>& edit, std::string* error) {
  const hw::FieldRule* rule = hw::RuleFor(dotted);
  if (!rule || rule->type != Type::TextList)
    return Fail(error, "'" + dotted + "' is not a declared list of texts");
  return RewriteHardwareFile(file, error, [&](json& state) {
    json* made = FindOrMakeField(state, dotted);
    if (!made) return Fail(error, "'" + dotted + "' lies under a field that is not a group");
    std::vector<std::string> list;
    if (made->is_array())
      for (const auto& e : *made)
        if (e.is_string()) list.push_back(e.get<std::string>());
    edit(list);
    *made = list;
    return true;
  });
}

}  // namespace ce::sim
