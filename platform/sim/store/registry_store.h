// The terminal's registry, kept in an SQLite database inside the state
// directory: crash-safe, and shared by every process that opens the terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ce/types.h"
#include "registry_read_cache.h"

namespace ce::sim {

// Every operation is one SQLite transaction. Opening a key and reading a value
// are answered from memory for up to kRecheck after they were last read (see
// registry_read_cache.h): a write by this process is seen by its next read, one
// by another process by every read that starts kRecheck after it, and no read
// is older than the read before it. Key and value names are compared without
// regard to case and keep the spelling they were created with. One instance
// may be used by many threads.
class RegistryStore {
 public:
  // A key's row. Rows are never reused, so an id outliving its key is known to
  // name a deleted key rather than a newer one.
  using KeyId = int64_t;
  enum class Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };
  static KeyId RootKey(Root root) { return static_cast<KeyId>(root) + 1; }

  struct Value {
    std::u16string name;
    DWORD type = 0;
    std::vector<uint8_t> data;
  };
  struct SubKey {
    std::u16string name;
    std::u16string cls;
    uint64_t lastWrite = 0;  // FILETIME ticks
  };
  struct KeyInfo {
    std::u16string cls;
    DWORD subKeys = 0;
    DWORD maxSubKeyLength = 0;  // characters, without the NUL
    DWORD maxClassLength = 0;
    DWORD values = 0;
    DWORD maxValueNameLength = 0;
    DWORD maxValueLength = 0;  // bytes
    uint64_t lastWrite = 0;
  };

  // Opens the registry at path, which must be a whole registry made by Create:
  // a missing, empty, foreign or damaged database is an error that names the
  // file, never a silent new registry. Null with error on failure.
  static std::unique_ptr<RegistryStore> Open(const std::filesystem::path& path, std::string* error);
  // Makes a new registry (the four root keys) at path, which must not exist.
  // Only the making of a terminal calls it.
  static std::unique_ptr<RegistryStore> Create(const std::filesystem::path& path, std::string* error);
  ~RegistryStore();

  // Loads a profile's registry seed (see registry_seed.h); on a bad entry
  // nothing is written and error names the key and value.
  bool Seed(const nlohmann::json& seed, std::string* error);

  // The operations behind the Reg* functions. Each returns ERROR_SUCCESS or the
  // code the Reg* function reports. A path names a key below key: names separated
  // by backslashes, one leading backslash and any trailing ones ignored, "" for
  // key itself.
  // A key id that was deleted gives ERROR_KEY_DELETED.
  DWORD OpenKey(KeyId key, std::u16string_view path, KeyId* result);
  // Creates the missing keys along path; created tells whether the last one was new.
  DWORD CreateKey(KeyId key, std::u16string_view path, std::u16string_view cls, KeyId* result, bool* created);
  // Deletes the key at path with everything below it. A root cannot be deleted,
  // and a path of only backslashes is ERROR_INVALID_PARAMETER, not the key itself.
  DWORD DeleteKey(KeyId key, std::u16string_view path);
  DWORD QueryValue(KeyId key, std::u16string_view name, Value* result);
  DWORD SetValue(KeyId key, std::u16string_view name, DWORD type, std::span<const uint8_t> data);
  DWORD DeleteValue(KeyId key, std::u16string_view name);
  // In creation order; ERROR_NO_MORE_ITEMS past the end.
  DWORD EnumKey(KeyId key, DWORD index, SubKey* result);
  DWORD EnumValue(KeyId key, DWORD index, Value* result);
  DWORD QueryInfo(KeyId key, KeyInfo* result);

  struct Impl;
  // Only Open can make the token, so only Open constructs a store.
  class OpenToken {
    friend class RegistryStore;
    OpenToken() = default;
  };
  RegistryStore(OpenToken, std::unique_ptr<Impl> impl);

 private:
  // What a key opened or a value read answered.
  struct Answer {
    DWORD rc;
    KeyId key;
    Value value;
  };

  template <class Body>
  DWORD InTransaction(bool write, Body&& body);
  template <class Body>
  DWORD ReadFresh(Body&& body);
  template <class Body>
  DWORD Reading(Body&& body);
  template <class Body>
  DWORD Writing(Body&& body);
  template <class Read>
  DWORD Remembered(char16_t kind, KeyId key, std::u16string_view name, Answer* answer, Read&& read);

  std::mutex mu_;  // one connection, one transaction at a time
  std::unique_ptr<Impl> impl_;
  RegistryReadCache<Answer> answers_;
};

}  // namespace ce::sim
