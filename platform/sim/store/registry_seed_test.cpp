// A profile's registry seed, written into a store of its own.
#include "registry_seed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce/error.h"
#include "registry_store.h"
#include "temp_dir.h"

namespace ce {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::RegistryStore;
using KeyId = RegistryStore::KeyId;
const KeyId kHklm = RegistryStore::RootKey(RegistryStore::Root::kLocalMachine);

Bytes Utf16(std::u16string_view text) {  // with the NUL, as strings are stored
  Bytes bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return bytes;
}

class RegistrySeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    store_ = RegistryStore::Create(dir_.path() / "registry.db", &error);
    ASSERT_NE(store_, nullptr) << error;
  }
  qeltest::TempDir dir_;
  std::unique_ptr<RegistryStore> store_;  // closed before the folder goes
};

TEST_F(RegistrySeedTest, SeedWritesEveryForm) {
  const auto seed = nlohmann::json::parse(R"({
    "HKLM\\Ident": {"Name": "Thor", "": "default", "Count": 7},
    "hkey_local_machine\\IDENT\\Sub": {
      "Exp": {"expand_sz": "%X%"}, "Multi": {"multi_sz": ["a", "bc"]}, "Empty": {"multi_sz": []},
      "D": {"dword": 4294967295}, "Q": {"qword": 18446744073709551615},
      "Bin": {"binary": "00ff 10"}, "Text": {"sz": "é"}
    },
    "HKCU": {"AtRoot": 1}
  })");
  std::string error;
  ASSERT_TRUE(store_->Seed(seed, &error)) << error;
  struct Case {
    std::u16string path, name;
    DWORD type;
    Bytes data;
  };
  const Case cases[] = {
      {u"Ident", u"Name", REG_SZ, Utf16(std::u16string(u"Thor\0", 5))},
      {u"Ident", u"", REG_SZ, Utf16(std::u16string(u"default\0", 8))},
      {u"Ident", u"count", REG_DWORD, {7, 0, 0, 0}},
      {u"Ident\\Sub", u"Exp", REG_EXPAND_SZ, Utf16(std::u16string(u"%X%\0", 4))},
      {u"Ident\\Sub", u"Multi", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6))},
      {u"Ident\\Sub", u"Empty", REG_MULTI_SZ, {0, 0}},
      {u"Ident\\Sub", u"D", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
      {u"Ident\\Sub", u"Q", REG_QWORD, Bytes(8, 0xFF)},
      {u"Ident\\Sub", u"Bin", REG_BINARY, {0x00, 0xFF, 0x10}},
      {u"Ident\\Sub", u"Text", REG_SZ, {0xE9, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    KeyId key = 0;
    RegistryStore::Value value;
    ASSERT_EQ(store_->OpenKey(kHklm, c.path, &key), ERROR_SUCCESS);
    ASSERT_EQ(store_->QueryValue(key, c.name, &value), ERROR_SUCCESS) << "value " << &c - cases;
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.data);
  }
  RegistryStore::Value atRoot;
  EXPECT_EQ(store_->QueryValue(RegistryStore::RootKey(RegistryStore::Root::kCurrentUser), u"AtRoot", &atRoot),
            ERROR_SUCCESS);
}

// Most bad entries sort after the good "HKLM\\A", so a seed written entry by
// entry would leave A behind.
TEST_F(RegistrySeedTest, BadSeedIsRefusedWholeWithItsKeyAndValueNamed) {
  struct Case {
    const char* label;
    const char* seed;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {"bad root", R"({"HKLM\\A": {"x": 1}, "HKEY_NOWHERE\\X": {}})", {"HKEY_NOWHERE\\X", "unknown root"}},
      {"not an object", R"([1])", {"JSON object"}},
      {"values not an object", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": [1]})", {"HKLM\\B"}},
      {"empty key name", R"({"HKLM\\A": {"x": 1}, "HKLM\\B\\\\C": {}})", {"HKLM\\B\\\\C"}},
      {"negative dword",
       R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": {"dword": -1}}})",
       {"HKLM\\B", "\"n\"", "dword"}},
      {"negative bare", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": -5}})", {"HKLM\\B", "\"n\""}},
      {"dword too big", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": 4294967296}})", {"HKLM\\B", "\"n\""}},
      {"fraction", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": 1.5}})", {"HKLM\\B", "\"n\""}},
      {"negative qword", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"q": {"qword": -2}}})", {"\"q\"", "qword"}},
      {"bad hex digit",
       R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"h": {"binary": "0g"}}})",
       {"HKLM\\B", "\"h\"", "hex"}},
      {"odd hex", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"h": {"binary": "abc"}}})", {"\"h\"", "hex"}},
      {"unknown type", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"float": 1}}})", {"\"t\"", "float"}},
      {"two members", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"sz": "a", "dword": 1}}})", {"\"t\""}},
      {"sz not text", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"sz": 1}}})", {"\"t\""}},
      {"multi_sz item", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"m": {"multi_sz": ["a", 2]}}})", {"\"m\""}},
      {"multi_sz empty item", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"m": {"multi_sz": [""]}}})", {"\"m\""}},
      {"null value", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"z": null}})", {"\"z\""}},
      {"same value twice",
       R"({"HKLM\\A": {"x": 1}, "HKLM\\b": {"V": 1}, "HKEY_LOCAL_MACHINE\\B": {"v": 2}})",
       {"HKLM\\b", "\"V\"", "twice"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    EXPECT_FALSE(store_->Seed(nlohmann::json::parse(c.seed), &error));
    for (const std::string& part : c.mentions) EXPECT_NE(error.find(part), std::string::npos) << error;
    KeyId key = 0;
    EXPECT_EQ(store_->OpenKey(kHklm, u"A", &key), ERROR_FILE_NOT_FOUND);
  }
}

}  // namespace
}  // namespace ce
