#include "hardware.h"

#include <nlohmann/json.hpp>

#include "hardware_state.h"
#include "terminal.h"

namespace ce::sim::hw {
namespace {

using nlohmann::json;

std::string Expand(std::string_view path, std::string_view name) {
  std::string out(path);
  if (const size_t star = out.find('*'); star != std::string::npos) out.replace(star, 1, name);
  return out;
}

// Runs read on the field while the terminal's state is locked, so nothing is copied.
template <class R>
std::optional<R> WithField(std::string_view path, std::string_view name,
                           std::optional<R> (*read)(const json&)) {
  const auto terminal = Current();
  if (!terminal) return std::nullopt;
  std::optional<R> out;
  terminal->ReadHardware([&](const json& state) {
    if (const json* field = FindField(state, Expand(path, name))) out = read(*field);
  });
  return out;
}

// The current terminal, or null with error saying there is none.
std::shared_ptr<Terminal> InUse(std::string* error) {
  auto terminal = Current();
  if (!terminal) *error = "no terminal is in use";
  return terminal;
}

// Writes value at the field's path of the current terminal.
bool Store(std::string_view path, std::string_view name, const json& value, std::string* error) {
  const auto terminal = InUse(error);
  return terminal && terminal->set_hardware(Expand(path, name), value, error);
}

}  // namespace

bool Changes::Apply(std::string* error) const {
  std::string ignored;
  if (!error) error = &ignored;
  const auto terminal = InUse(error);
  if (!terminal) return false;
  if (changes_.empty()) return true;
  std::vector<std::pair<std::string, json>> changes;
  for (const auto& [path, value] : changes_)
    changes.emplace_back(path, std::visit([](const auto& v) { return json(v); }, value));
  return terminal->set_hardware(changes, error);
}

namespace detail {

std::string Path(std::string_view path, std::string_view name) { return Expand(path, name); }

bool StoreUnsigned(std::string_view path, std::string_view name, uint64_t value, std::string* error) {
  return Store(path, name, value, error);
}
bool StoreSigned(std::string_view path, std::string_view name, int64_t value, std::string* error) {
  return Store(path, name, value, error);
}
bool StoreText(std::string_view path, std::string_view name, const std::string& value, std::string* error) {
  return Store(path, name, value, error);
}
bool StoreFlag(std::string_view path, std::string_view name, bool value, std::string* error) {
  return Store(path, name, value, error);
}
bool StoreTextList(std::string_view path, std::string_view name, const std::vector<std::string>& value,
                   std::string* error) {
  return Store(path, name, value, error);
}

bool AddOne(std::string_view path, std::string_view name, std::string* error) {
  const auto terminal = InUse(error);
  return terminal && terminal->count_in_hardware(Expand(path, name), error);
}

bool EditList(std::string_view path, const std::function<void(std::vector<std::string>&)>& edit,
              std::string* error) {
  const auto terminal = InUse(error);
  return terminal && terminal->edit_list_in_hardware(std::string(path), edit, error);
}

std::optional<uint64_t> FindUnsigned(std::string_view path, std::string_view name) {
  return WithField<uint64_t>(path, name, [](const json& v) -> std::optional<uint64_t> {
    if (v.is_number_unsigned()) return v.get<uint64_t>();
    return std::nullopt;
  });
}

std::optional<int64_t> FindSigned(std::string_view path, std::string_view name) {
  return WithField<int64_t>(path, name, [](const json& v) -> std::optional<int64_t> {
    if (v.is_number_integer() && !(v.is_number_unsigned() && v.get<uint64_t>() > uint64_t(INT64_MAX)))
      return v.get<int64_t>();
    return std::nullopt;
  });
}

std::optional<std::string> FindText(std::string_view path, std::string_view name) {
  return WithField<std::string>(path, name, [](const json& v) -> std::optional<std::string> {
    if (v.is_string()) return v.get<std::string>();
    return std::nullopt;
  });
}

std::optional<bool> FindFlag(std::string_view path, std::string_view name) {
  return WithField<bool>(path, name, [](const json& v) -> std::optional<bool> {
    if (v.is_boolean()) return v.get<bool>();
    return std::nullopt;
  });
}

std::optional<std::vector<std::string>> FindTextList(std::string_view path, std::string_view name) {
  using List = std::vector<std::string>;
  return WithField<List>(path, name, [](const json& v) -> std::optional<List> {
    if (!v.is_array()) return std::nullopt;
    List out;
    for (const auto& e : v)
      if (e.is_string()) out.push_back(e.get<std::string>());
    return out;
  });
}

}  // namespace detail

std::vector<std::string> MemberNames(std::string_view groupPath) {
  std::vector<std::string> names;
  const auto terminal = Current();
  if (!terminal) return names;
  terminal->ReadHardware([&](const json& state) {
    const json* group = FindField(state, std::string(groupPath));
    if (group && group->is_object())
      for (const auto& [key, member] : group->items()) names.push_back(key);
  });
  return names;
}

}  // namespace ce::sim::hw
