// Typed reads of the current terminal's hardware state, by the fields that
// hardware_schema.h declares. A field the state lacks reads as its default.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "hardware_schema.h"

namespace ce::sim::hw {

namespace detail {
// The field at path ("*" replaced by name) of the current terminal, or nothing
// when there is no terminal, no such field, or a field of another JSON type.
std::optional<uint64_t> FindUnsigned(std::string_view path, std::string_view name);
std::optional<int64_t> FindSigned(std::string_view path, std::string_view name);
std::optional<std::string> FindText(std::string_view path, std::string_view name);
std::optional<bool> FindFlag(std::string_view path, std::string_view name);
std::optional<std::vector<std::string>> FindTextList(std::string_view path, std::string_view name);
}  // namespace detail

// name fills the "*" of a path such as "storage.volumes.*.total".
template <Type T, class D>
std::optional<typename ValueOf<T>::type> Find(const Field<T, D>& f, std::string_view name = {}) {
  using V = typename ValueOf<T>::type;
  if constexpr (T == Type::Byte || T == Type::Word || T == Type::DWord || T == Type::UInt64) {
    if (auto v = detail::FindUnsigned(f.path, name)) return V(*v);
  } else if constexpr (T == Type::Int32 || T == Type::Int64) {
    if (auto v = detail::FindSigned(f.path, name)) return V(*v);
  } else if constexpr (std::is_same_v<V, std::string>) {
    return detail::FindText(f.path, name);
  } else if constexpr (T == Type::Flag) {
    return detail::FindFlag(f.path, name);
  } else {
    return detail::FindTextList(f.path, name);
  }
  return std::nullopt;
}

template <Type T, class D>
typename ValueOf<T>::type Read(const Field<T, D>& f, std::string_view name = {}) {
  if (auto v = Find(f, name)) return *v;
  if constexpr (std::is_same_v<typename ValueOf<T>::type, std::vector<std::string>>)
    return {};
  else
    return typename ValueOf<T>::type(f.fallback);
}

// The names of a group's members ("storage.volumes" gives the volume names).
std::vector<std::string> MemberNames(std::string_view groupPath);

}  // namespace ce::sim::hw
