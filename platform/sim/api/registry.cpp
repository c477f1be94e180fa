// The Reg* functions over the current terminal's registry store.
#include "ce/registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "api.h"
#include "kernel.h"
#include "registry_store.h"
#include "terminal.h"

namespace ce::sim::api {
namespace {

using sim::RegistryStore;
using KeyId = RegistryStore::KeyId;
using sim::OpenKey;

std::optional<RegistryStore::Root> PredefinedRoot(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return RegistryStore::Root::kClassesRoot;
  if (key == HKEY_CURRENT_USER) return RegistryStore::Root::kCurrentUser;
  if (key == HKEY_LOCAL_MACHINE) return RegistryStore::Root::kLocalMachine;
  if (key == HKEY_USERS) return RegistryStore::Root::kUsers;
  return std::nullopt;
}

sim::RegistryKeyTable& Keys() { return sim::Kernel::Get().registryKeys; }

// The store and key an HKEY argument names. The terminal is held for as long as
// the store is used.
struct Target {
  std::shared_ptr<sim::Terminal> terminal;
  RegistryStore* store = nullptr;
  KeyId id = 0;
};

LONG Resolve(HKEY key, Target* target) {
  if (auto root = PredefinedRoot(key)) {
    target->terminal = sim::Current();
    if (!target->terminal) return ERROR_NOT_READY;
    target->id = RegistryStore::RootKey(*root);
  } else if (auto open = Keys().Find(key)) {
    target->terminal = std::move(open->terminal);
    target->id = open->id;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  target->store = target->terminal->registry();
  return target->store ? ERROR_SUCCESS : ERROR_NOT_READY;
}

std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

bool NameFits(std::u16string_view name, DWORD capacity) { return capacity > name.size(); }

// Copies a name and its NUL into a buffer of *capacity characters, leaving in
// *capacity the length without the NUL. A name that does not fit is
// ERROR_MORE_DATA with the buffer and *capacity as they were, as Windows
// answers: code that retried with an answered length would loop on a device.
LONG CopyName(std::u16string_view name, LPWSTR buffer, DWORD* capacity) {
  if (!NameFits(name, *capacity)) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = u'\0';
  *capacity = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// The data protocol of RegQueryValueEx and RegEnumValue: a null buffer asks for
// the size; a short one gives ERROR_MORE_DATA with the size needed. capacity is
// *size as the caller passed it, read before any other out-parameter is
// written, since callers may pass one variable as both the type and the size.
LONG CopyData(const std::vector<uint8_t>& bytes, BYTE* data, DWORD capacity, DWORD* size) {
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  const auto needed = static_cast<DWORD>(bytes.size());
  const bool fits = capacity >= needed;
  if (data && fits && needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return data && !fits ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

// A class name is optional everywhere it is asked for. One that does not fit
// answers the capacity that would do, NUL included.
LONG CopyClass(std::u16string_view cls, LPWSTR buffer, DWORD* capacity) {
  if (!capacity) return ERROR_SUCCESS;
  if (!buffer) {
    *capacity = static_cast<DWORD>(cls.size());
    return ERROR_SUCCESS;
  }
  if (!NameFits(cls, *capacity)) {
    *capacity = static_cast<DWORD>(cls.size() + 1);
    return ERROR_MORE_DATA;
  }
  return CopyName(cls, buffer, capacity);
}

void SetFileTime(uint64_t ticks, FILETIME* out) {
  if (!out) return;
  out->dwLowDateTime = static_cast<DWORD>(ticks);
  out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

void SetIf(DWORD* out, DWORD value) {
  if (out) *out = value;
}

LONG FirstError(LONG a, LONG b) { return a != ERROR_SUCCESS ? a : b; }

// A string whose size leaves out its last character's terminator is stored
// with one, as Windows stores it: readers of REG_SZ find it terminated.
std::vector<uint8_t> Terminated(DWORD type, const BYTE* data, DWORD size) {
  std::vector<uint8_t> bytes(data, data + size);
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  const size_t last = (size / sizeof(char16_t) - 1) * sizeof(char16_t);
  if (text && size >= sizeof(char16_t) && (bytes[last] || bytes[last + 1]))
    bytes.insert(bytes.end(), sizeof(char16_t), 0);
  return bytes;
}

}  // namespace

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM /*sam*/, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;  // the caller's handle untouched
  *result = nullptr;
  KeyId opened = 0;
  if (LONG rc = target.store->OpenKey(target.id, View(subKey), &opened)) return rc;
  *result = Keys().Add({std::move(target.terminal), opened});
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/, LPWSTR cls, DWORD /*options*/,
                     REGSAM /*sam*/, void* /*security*/, HKEY* result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;  // the caller's handle untouched
  *result = nullptr;
  KeyId opened = 0;
  bool created = false;
  if (LONG rc = target.store->CreateKey(target.id, View(subKey), View(cls), &opened, &created)) return rc;
  *result = Keys().Add({std::move(target.terminal), opened});
  SetIf(disposition, created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (PredefinedRoot(key)) return ERROR_SUCCESS;
  return Keys().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* /*reserved*/, DWORD* type, BYTE* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const DWORD capacity = size ? *size : 0;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  RegistryStore::Value value;
  if (LONG rc = target.store->QueryValue(target.id, View(name), &value)) {
    if (!data) SetIf(size, 0);  // a size asked of no value is none, as Windows answers
    return rc;
  }
  SetIf(type, value.type);
  return CopyData(value.data, data, capacity, size);
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;  // the size promises bytes at no address
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  return target.store->SetValue(target.id, View(name), type, Terminated(type, data, data ? size : 0));
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name) {
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  return target.store->DeleteValue(target.id, View(name));
}

// An empty subKey deletes the key itself (a root refuses with ERROR_ACCESS_DENIED).
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  return target.store->DeleteKey(target.id, View(subKey));
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* /*reserved*/, LPWSTR cls,
                   DWORD* classLength, FILETIME* lastWrite) {
  if (!name || !nameLength || (cls && !classLength)) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  RegistryStore::SubKey sub;
  if (LONG rc = target.store->EnumKey(target.id, index, &sub)) return rc;
  // A short name leaves both buffers alone; the time is still told, as Windows tells it.
  SetFileTime(sub.lastWrite, lastWrite);
  if (!NameFits(sub.name, *nameLength)) return ERROR_MORE_DATA;
  return FirstError(CopyName(sub.name, name, nameLength), CopyClass(sub.cls, cls, classLength));
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* /*reserved*/, DWORD* type,
                   BYTE* data, DWORD* dataSize) {
  if (!name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  const DWORD capacity = dataSize ? *dataSize : 0;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  RegistryStore::Value value;
  if (LONG rc = target.store->EnumValue(target.id, index, &value)) return rc;
  SetIf(type, value.type);
  // A short name leaves both buffers alone; the type and data size are still told.
  if (!NameFits(value.name, *nameLength)) {
    CopyData(value.data, nullptr, 0, dataSize);
    return ERROR_MORE_DATA;
  }
  return FirstError(CopyName(value.name, name, nameLength), CopyData(value.data, data, capacity, dataSize));
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR cls, DWORD* classLength, DWORD* /*reserved*/, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptor, FILETIME* lastWrite) {
  if (cls && !classLength) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target)) return rc;
  RegistryStore::KeyInfo info;
  if (LONG rc = target.store->QueryInfo(target.id, &info)) return rc;
  SetIf(subKeys, info.subKeys);
  SetIf(maxSubKeyLength, info.maxSubKeyLength);
  SetIf(maxClassLength, info.maxClassLength);
  SetIf(values, info.values);
  SetIf(maxValueNameLength, info.maxValueNameLength);
  SetIf(maxValueLength, info.maxValueLength);
  SetIf(securityDescriptor, 0);  // the device keeps no security on keys
  SetFileTime(info.lastWrite, lastWrite);
  return CopyClass(info.cls, cls, classLength);
}

}  // namespace ce::sim::api
