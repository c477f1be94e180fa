// Typed reads and writes of the current terminal's hardware state, by the
// fields that hardware_schema.h declares. A field the state lacks reads as its
// default; a write makes it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
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

// Stores value at path ("*" replaced by name) of the current terminal; false
// with error set when there is no terminal or the write fails.
bool StoreUnsigned(std::string_view path, std::string_view name, uint64_t value, std::string* error);
bool StoreSigned(std::string_view path, std::string_view name, int64_t value, std::string* error);
bool StoreText(std::string_view path, std::string_view name, const std::string& value, std::string* error);
bool StoreFlag(std::string_view path, std::string_view name, bool value, std::string* error);
bool StoreTextList(std::string_view path, std::string_view name, const std::vector<std::string>& value,
                   std::string* error);
// Adds one to the count at path, as one step under the state file's lock.
bool AddOne(std::string_view path, std::string_view name, std::string* error);
bool EditList(std::string_view path, const std::function<void(std::vector<std::string>&)>& edit,
              std::string* error);

// A value of any field type, and a field's path with its "*" filled.
using Value = std::variant<uint64_t, int64_t, std::string, bool, std::vector<std::string>>;
std::string Path(std::string_view path, std::string_view name);

template <Type T>
inline constexpr bool kUnsigned = T == Type::Byte || T == Type::Word || T == Type::DWord || T == Type::UInt64;
}  // namespace detail

// name fills the "*" of a path such as "storage.volumes.*.total".
template <Type T, class D>
std::optional<typename ValueOf<T>::type> Find(const Field<T, D>& f, std::string_view name = {}) {
  using V = typename ValueOf<T>::type;
  if constexpr (detail::kUnsigned<T>) {
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

// Writes the field; the next read of any process sees it (within the recheck
// interval for another process). error, when given, says why a write failed.
template <Type T, class D>
bool Write(const Field<T, D>& f, const typename ValueOf<T>::type& value, std::string* error = nullptr,
           std::string_view name = {}) {
  std::string ignored;
  if (!error) error = &ignored;
  if constexpr (detail::kUnsigned<T>) {
    return detail::StoreUnsigned(f.path, name, value, error);
  } else if constexpr (T == Type::Int32 || T == Type::Int64) {
    return detail::StoreSigned(f.path, name, value, error);
  } else if constexpr (std::is_same_v<typename ValueOf<T>::type, std::string>) {
    return detail::StoreText(f.path, name, value, error);
  } else if constexpr (T == Type::Flag) {
    return detail::StoreFlag(f.path, name, value, error);
  } else {
    return detail::StoreTextList(f.path, name, value, error);
  }
}

// Several fields written as one step: another process sees all of them or
// none, and a field that would break its rule leaves every one unwritten.
class Changes {
 public:
  template <Type T, class D>
  Changes& Set(const Field<T, D>& f, const typename ValueOf<T>::type& value, std::string_view name = {}) {
    if constexpr (detail::kUnsigned<T>)
      changes_.push_back({detail::Path(f.path, name), uint64_t(value)});
    else if constexpr (T == Type::Int32 || T == Type::Int64)
      changes_.push_back({detail::Path(f.path, name), int64_t(value)});
    else
      changes_.push_back({detail::Path(f.path, name), value});
    return *this;
  }
  bool Apply(std::string* error = nullptr) const;

 private:
  std::vector<std::pair<std::string, detail::Value>> changes_;
};

// Adds one to a count the system keeps (reboots, boots).
template <Type T, class D>
bool Increment(const Field<T, D>& f, std::string* error = nullptr, std::string_view name = {}) {
  static_assert(detail::kUnsigned<T>, "only a count is incremented");
  std::string ignored;
  return detail::AddOne(f.path, name, error ? error : &ignored);
}

// Changes a list of texts the system keeps, as one step under the state file's
// lock, so that processes changing it at once lose nothing.
template <class D>
bool EditList(const Field<Type::TextList, D>& f, const std::function<void(std::vector<std::string>&)>& edit,
              std::string* error = nullptr) {
  std::string ignored;
  return detail::EditList(f.path, edit, error ? error : &ignored);
}

// The names of a group's members ("storage.volumes" gives the volume names).
std::vector<std::string> MemberNames(std::string_view groupPath);

}  // namespace ce::sim::hw
