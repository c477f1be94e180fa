#include "hardware_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>

#include "device_path.h"
#include "hardware_schema.h"

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

bool IsTextList(const json& v) {
  if (!v.is_array()) return false;
  for (const auto& e : v)
    if (!e.is_string()) return false;
  return true;
}

bool Fits(Type t, const json& v) {
  constexpr uint64_t kU32 = std::numeric_limits<uint32_t>::max();
  switch (t) {
    case Type::Byte: return InRange(v, 0, 255);
    case Type::DWord: return InRange(v, 0, kU32);
    case Type::Int32: return InRange(v, std::numeric_limits<int32_t>::min(), uint64_t(std::numeric_limits<int32_t>::max()));
    case Type::UInt64: return InRange(v, 0, std::numeric_limits<uint64_t>::max());
    case Type::Int64: return InRange(v, 0, uint64_t(std::numeric_limits<int64_t>::max()));
    case Type::Text: return v.is_string();
    case Type::Flag: return v.is_boolean();
    case Type::TextList: return IsTextList(v);
  }
  return false;
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
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
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

void CheckAll(const json& node, const std::string& path, std::string* firstError, bool* ok) {
  if (!*ok) return;
  if (!path.empty()) {
    if (const hw::FieldRule* rule = hw::RuleFor(path); rule && !Fits(rule->type, node)) {
      *ok = false;
      Fail(firstError, "\"" + path + "\" must be " + hw::Describe(rule->type) + ", not " + node.dump());
      return;
    } else if (!rule && hw::IsGroup(path) && !node.is_object()) {
      *ok = false;
      Fail(firstError, "\"" + path + "\" must be a group of fields (a JSON object), not " + node.dump());
      return;
    }
  }
  if (node.is_object())
    for (const auto& [key, child] : node.items()) {
      if (key.empty() || key.find('.') != std::string::npos) {
        *ok = false;
        Fail(firstError, "\"" + path + "\" holds a field named \"" + key + "\"; names are not empty and have no dots");
        return;
      }
      CheckAll(child, path.empty() ? key : path + "." + key, firstError, ok);
    }
}

}  // namespace

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
  if (NestingDepth(hardware.dump()) > kMaxDepth) return Fail(error, "\"hardware\" is nested too deeply");
  bool ok = true;
  CheckAll(hardware, "", error, &ok);
  return ok;
}

bool CheckFieldChange(const json& hardware, const std::string& dotted, const json& value, std::string* error) {
  for (const auto& part : Split(dotted))
    if (part.empty()) return Fail(error, "'" + dotted + "' is not a dotted key such as power.battery_life_percent");
  const json* field = FindField(hardware, dotted);
  if (!field) return Fail(error, "the hardware state has no field '" + dotted + "'");
  const hw::FieldRule* rule = hw::RuleFor(dotted);
  if (field->is_object() || (!rule && hw::IsGroup(dotted)))
    return Fail(error, "'" + dotted + "' is a group of fields; set its fields one by one");
  if (rule) {
    if (!Fits(rule->type, value)) return Fail(error, "'" + dotted + "' must be " + hw::Describe(rule->type));
    return true;
  }
  if (!field->is_null() && !SameShape(*field, value))
    return Fail(error, "'" + dotted + "' holds " + std::string(field->type_name()) + " " + field->dump() +
                           ", not " + value.type_name());
  if (NestingDepth(value.dump()) > kMaxDepth) return Fail(error, "the value is nested too deeply");
  return true;
}

bool ReadJsonFile(const fs::path& path, json* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) return Fail(error, path.string() + ": cannot be read");
  const std::string s = text.str();
  if (NestingDepth(s) > kMaxDepth) return Fail(error, path.string() + ": nested too deeply");
  *out = json::parse(s, nullptr, /*allow_exceptions=*/false);
  if (out->is_discarded()) return Fail(error, path.string() + ": not valid JSON");
  return true;
}

namespace {

// Runs change on the state read afresh under the hardware lock, then replaces the file.
template <class Change>
bool RewriteHardwareFile(const fs::path& file, std::string* error, Change&& change) {
  const fs::path lockPath = file.parent_path() / "hardware.lock";
  HostFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock || ::flock(lock.get(), LOCK_EX) != 0) return Fail(error, lockPath.string() + ": cannot be locked");

  json state;
  if (!ReadJsonFile(file, &state, error)) return false;
  if (!change(state)) return false;

  std::string text;
  try {
    text = state.dump(2) + "\n";
  } catch (const json::exception&) {
    return Fail(error, "the value is not valid UTF-8 text");
  }
  std::string tmp = file.string() + ".XXXXXX";
  HostFd out(::mkstemp(tmp.data()));
  if (!out) return Fail(error, file.parent_path().string() + ": cannot write beside hardware.json");
  const bool written = ::write(out.get(), text.data(), text.size()) == ssize_t(text.size()) &&
                       ::fchmod(out.get(), 0644) == 0 && ::fsync(out.get()) == 0;
  out.reset();
  if (!written || ::rename(tmp.c_str(), file.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return Fail(error, file.string() + ": cannot be written");
  }
  return true;
}

}  // namespace

bool ChangeHardwareFile(const fs::path& file, const std::string& dotted, const json& value, std::string* error) {
  return RewriteHardwareFile(file, error, [&](json& state) {
    if (!CheckFieldChange(state, dotted, value, error)) return false;
    *const_cast<json*>(FindField(state, dotted)) = value;
    return true;
  });
}

bool CountInHardwareFile(const fs::path& file, const std::string& dotted, std::string* error) {
  const hw::FieldRule* rule = hw::RuleFor(dotted);
  if (!rule || rule->type != Type::DWord) return Fail(error, "'" + dotted + "' is not a declared count");
  return RewriteHardwareFile(file, error, [&](json& state) {
    std::string pointer = "/" + dotted;
    for (char& c : pointer)
      if (c == '.') c = '/';
    json& field = state[json::json_pointer(pointer)];
    const uint64_t now = field.is_number_unsigned() ? field.get<uint64_t>() : 0;
    field = uint32_t(now + 1);  // wraps as the device's counter does
    return true;
  });
}

}  // namespace ce::sim
