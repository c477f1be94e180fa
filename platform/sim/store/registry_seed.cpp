#include "registry_seed.h"

#include <set>
#include <tuple>

#include "case_fold.h"
#include "ce/registry.h"
#include "hex.h"
#include "registry_path.h"
#include "utf.h"

namespace ce::sim {
using nlohmann::json;

namespace {

std::span<const uint8_t> Bytes(std::u16string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size() * sizeof(char16_t)};
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  });
}

bool ParseRoot(std::string_view name, RegistryStore::Root* root) {
  static constexpr std::tuple<std::string_view, std::string_view, RegistryStore::Root> kRoots[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", RegistryStore::Root::kClassesRoot},
      {"HKEY_CURRENT_USER", "HKCU", RegistryStore::Root::kCurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", RegistryStore::Root::kLocalMachine},
      {"HKEY_USERS", "HKU", RegistryStore::Root::kUsers},
  };
  for (const auto& [full, brief, value] : kRoots) {
    if (EqualsIgnoringAsciiCase(name, full) || EqualsIgnoringAsciiCase(name, brief)) {
      *root = value;
      return true;
    }
  }
  return false;
}

bool ParseKeyLabel(const std::string& label, SeedKey* key, std::string* why) {
  const size_t slash = label.find('\\');
  if (!ParseRoot(std::string_view(label).substr(0, slash), &key->root)) {
    *why =
        "unknown root; use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
        "HKEY_USERS or HKCR, HKCU, HKLM, HKU";
    return false;
  }
  if (slash != std::string::npos && !FromUtf8Strict(std::string_view(label).substr(slash + 1), &key->path)) {
    *why = "the key name is not valid UTF-8";
    return false;
  }
  KeyPath names;
  if (SplitPath(key->path, &names) != ERROR_SUCCESS) {
    *why = "a key name in the path is empty or longer than 255 characters";
    return false;
  }
  return true;
}

// A JSON integer within [0, max]; floats, negatives and other types are not.
bool ToUnsigned(const json& v, uint64_t max, uint64_t* out) {
  if (v.is_number_unsigned()) {
    *out = v.get<uint64_t>();
  } else if (v.is_number_integer() && v.get<int64_t>() >= 0) {
    *out = static_cast<uint64_t>(v.get<int64_t>());
  } else {
    return false;
  }
  return *out <= max;
}

template <class Int>
std::vector<uint8_t> LittleEndian(Int value) {
  std::vector<uint8_t> bytes(sizeof(Int));
  for (size_t i = 0; i < sizeof(Int); ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

// A JSON string as UTF-16 without NULs inside: they would end it early.
bool ToText(const json& v, std::u16string* text, std::string* why) {
  if (!v.is_string() || !FromUtf8Strict(v.get_ref<const std::string&>(), text)) {
    *why = "must be a text (valid UTF-8)";
    return false;
  }
  if (text->find(u'\0') != std::u16string::npos) {
    *why = "must not contain a NUL character";
    return false;
  }
  return true;
}

void AppendWithNul(std::u16string_view text, std::vector<uint8_t>* out) {
  const auto bytes = Bytes(text);
  out->insert(out->end(), bytes.begin(), bytes.end());
  out->insert(out->end(), {0, 0});
}

bool ParseMultiString(const json& v, std::vector<uint8_t>* out, std::string* why) {
  if (!v.is_array()) {
    *why = "multi_sz must be an array of texts";
    return false;
  }
  std::u16string text;
  for (const json& item : v) {
    if (!ToText(item, &text, why)) return false;
    if (text.empty()) {
      *why = "multi_sz cannot hold an empty text: it would end the list";
      return false;
    }
    AppendWithNul(text, out);
  }
  AppendWithNul(u"", out);
  return true;
}

// Pairs of hex digits, optionally separated by spaces: "0a1b" or "0a 1b".
bool ParseHex(const json& v, std::vector<uint8_t>* out, std::string* why) {
  const std::string hex = v.is_string() ? v.get<std::string>() : "";
  bool good = v.is_string();
  for (size_t i = 0; good && i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    good = i + 1 < hex.size() && HexDigit(hex[i]) >= 0 && HexDigit(hex[i + 1]) >= 0;
    if (good) out->push_back(static_cast<uint8_t>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1])));
    i += 2;
  }
  if (!good) *why = "binary must be a text of hex digit pairs, such as \"0a1b\" or \"0a 1b\"";
  return good;
}

bool ParseTypedValue(const std::string& kind, const json& v, SeedValue* out, std::string* why) {
  uint64_t number = 0;
  std::u16string text;
  if (kind == "sz" || kind == "expand_sz") {
    if (!ToText(v, &text, why)) return false;
    out->type = kind == "sz" ? REG_SZ : REG_EXPAND_SZ;
    AppendWithNul(text, &out->data);
  } else if (kind == "multi_sz") {
    out->type = REG_MULTI_SZ;
    return ParseMultiString(v, &out->data, why);
  } else if (kind == "dword") {
    if (!ToUnsigned(v, UINT32_MAX, &number)) {
      *why = "a dword must be an integer from 0 to 4294967295";
      return false;
    }
    out->type = REG_DWORD;
    out->data = LittleEndian(static_cast<uint32_t>(number));
  } else if (kind == "qword") {
    if (!ToUnsigned(v, UINT64_MAX, &number)) {
      *why = "a qword must be an integer from 0 to 18446744073709551615";
      return false;
    }
    out->type = REG_QWORD;
    out->data = LittleEndian(number);
  } else if (kind == "binary") {
    out->type = REG_BINARY;
    return ParseHex(v, &out->data, why);
  } else {
    *why = "unknown type \"" + kind + "\"; use sz, expand_sz, multi_sz, dword, qword or binary";
    return false;
  }
  return true;
}

bool ParseSeedValue(const json& v, SeedValue* out, std::string* why) {
  if (v.is_string()) return ParseTypedValue("sz", v, out, why);
  if (v.is_number()) {
    if (ParseTypedValue("dword", v, out, why)) return true;
    *why = "a bare number is a dword and must be an integer from 0 to 4294967295";
    return false;
  }
  if (v.is_object() && v.size() == 1) return ParseTypedValue(v.begin().key(), v.begin().value(), out, why);
  *why =
      "must be a text, a non-negative integer, or an object with one member such as "
      "{\"dword\": 1} or {\"binary\": \"0a1b\"}";
  return false;
}

bool ParseSeedKey(const std::string& label, const json& values, SeedKey* key, std::string* why) {
  if (!ParseKeyLabel(label, key, why)) return false;
  if (!values.is_object()) {
    *why = "must be a JSON object of value names";
    return false;
  }
  for (const auto& [name, v] : values.items()) {
    SeedValue value;
    value.spelled = name;
    std::string problem = "the name is not valid UTF-8 or longer than 16383 characters";
    const bool good = FromUtf8Strict(name, &value.name) && value.name.size() <= kMaxValueNameLength &&
                      ParseSeedValue(v, &value, &problem);
    if (!good) {
      *why = "value \"" + name + "\": " + problem;
      return false;
    }
    key->values.push_back(std::move(value));
  }
  return true;
}

}  // namespace

bool PlanSeed(const json& seed, std::vector<SeedKey>* plan, std::string* error) {
  if (!seed.is_object()) {
    *error = "the registry seed must be a JSON object of keys such as \"HKEY_LOCAL_MACHINE\\\\Ident\"";
    return false;
  }
  // Two spellings of one key may both appear (HKLM and HKEY_LOCAL_MACHINE); the
  // same value named twice would leave the result to the order of the entries.
  std::set<std::pair<std::u16string, std::u16string>> seen;
  for (const auto& [label, values] : seed.items()) {
    SeedKey key;
    std::string why;
    if (!ParseSeedKey(label, values, &key, &why)) {
      *error = label + ": " + why;
      return false;
    }
    KeyPath names;
    SplitPath(key.path, &names);
    std::u16string where(1, static_cast<char16_t>(key.root));
    for (auto name : names) where += u'\\' + FoldName(name);
    for (const SeedValue& value : key.values) {
      if (!seen.emplace(where, FoldName(value.name)).second) {
        *error = label + ": value \"" + value.spelled +
                 "\" is given twice (names are compared without regard to case)";
        return false;
      }
    }
    plan->push_back(std::move(key));
  }
  return true;
}

}  // namespace ce::sim
