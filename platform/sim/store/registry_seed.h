// A profile's registry seed: {"HKEY_LOCAL_MACHINE\\Key\\Sub": {"Name": value, ...}},
// checked whole before anything is written.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ce/registry.h"
#include "registry_store.h"

namespace ce::sim {

struct SeedValue {
  std::string spelled;  // as in the seed, for messages
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};
struct SeedKey {
  RegistryStore::Root root{};
  std::u16string path;
  std::vector<SeedValue> values;
};

// Roots may be spelled out or abbreviated (HKLM, HKCU, HKCR, HKU). A value is a
// JSON string (REG_SZ), a non-negative integer (REG_DWORD), or one of
// {"sz": s}, {"expand_sz": s}, {"multi_sz": [s, ...]}, {"dword": n}, {"qword": n},
// {"binary": "hex"}. The name "" is the key's default value. On a bad entry
// error names the key and value.
bool PlanSeed(const nlohmann::json& seed, std::vector<SeedKey>* plan, std::string* error);

}  // namespace ce::sim
