#include "registry_store.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ce/error.h"
#include "ce/registry.h"

namespace ce::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using KeyId = RegistryStore::KeyId;
const KeyId kHklm = RegistryStore::RootKey(RegistryStore::Root::kLocalMachine);

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

Bytes Utf16(std::u16string_view text) {  // with the NUL, as strings are stored
  Bytes bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return bytes;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/registry_store_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    store_ = OpenStore();
    ASSERT_NE(store_, nullptr);
  }
  void TearDown() override {
    store_.reset();
    fs::remove_all(dir_);
  }

  std::unique_ptr<RegistryStore> OpenStore() {
    std::string error;
    auto store = RegistryStore::Open(db_path(), &error);
    EXPECT_NE(store, nullptr) << error;
    return store;
  }
  fs::path db_path() const { return dir_ / "registry.db"; }

  KeyId Create(std::u16string_view path, RegistryStore* store = nullptr) {
    KeyId key = 0;
    bool created = false;
    EXPECT_EQ((store ? store : store_.get())->CreateKey(kHklm, path, u"", &key, &created), ERROR_SUCCESS);
    return key;
  }
  std::vector<std::u16string> SubKeyNames(KeyId key) {
    std::vector<std::u16string> names;
    RegistryStore::SubKey sub;
    for (DWORD i = 0; store_->EnumKey(key, i, &sub) == ERROR_SUCCESS; ++i) names.push_back(sub.name);
    return names;
  }
  std::vector<std::u16string> ValueNames(KeyId key) {
    std::vector<std::u16string> names;
    RegistryStore::Value value;
    for (DWORD i = 0; store_->EnumValue(key, i, &value) == ERROR_SUCCESS; ++i) names.push_back(value.name);
    return names;
  }

  fs::path dir_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_F(RegistryStoreTest, NamesMatchWithoutRegardToCaseAndKeepTheirSpelling) {
  struct Case {
    std::u16string created, other;
    bool same;
  };
  const Case cases[] = {
      {u"Software", u"SOFTWARE", true},  {u"Ärger", u"äRGER", true},  {u"ÿ-Ende", u"Ÿ-ENDE", true},
      {u"Žluťoučký", u"žLUŤOUČKÝ", true}, {u"Ωμέγας", u"ΩΜΈΓΑΣ", true}, {u"Жук", u"жУК", true},
      {u"Ａｂｃ", u"ａＢＣ", true},         {u"Äpfel", u"Apfel", false}, {u"Kind1", u"Kind2", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    KeyId parent = Create(u"Case");
    KeyId key = 0, found = 0;
    bool created = false;
    ASSERT_EQ(store_->CreateKey(parent, c.created, u"", &key, &created), ERROR_SUCCESS);
    EXPECT_EQ(store_->OpenKey(parent, c.other, &found), c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (c.same) {
      EXPECT_EQ(found, key);
    }

    ASSERT_EQ(store_->SetValue(key, c.created, REG_DWORD, Bytes{1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(store_->SetValue(key, c.other, REG_DWORD, Bytes{2, 0, 0, 0}), ERROR_SUCCESS);
    RegistryStore::Value value;
    ASSERT_EQ(store_->QueryValue(key, c.created, &value), ERROR_SUCCESS);
    EXPECT_EQ(value.data, (Bytes{static_cast<uint8_t>(c.same ? 2 : 1), 0, 0, 0}));
    EXPECT_EQ(value.name, c.created);  // the first spelling stays
    EXPECT_EQ(ValueNames(key).size(), c.same ? 1u : 2u);
    EXPECT_EQ(SubKeyNames(parent), std::vector<std::u16string>{c.created});
    ASSERT_EQ(store_->DeleteKey(parent, u""), ERROR_SUCCESS);
  }
}

// Every type round-trips byte for byte, through a store opened afresh on the file.
TEST_F(RegistryStoreTest, ValuesOfEveryTypeSurviveReopening) {
  struct Case {
    std::u16string name;
    DWORD type;
    Bytes data;
  };
  const std::vector<Case> cases = {
      {u"", REG_SZ, Utf16(std::u16string(u"default\0", 8))},
      {u"none", REG_NONE, {}},
      {u"sz", REG_SZ, Utf16(std::u16string(u"Grüße\0", 6))},
      {u"expand", REG_EXPAND_SZ, Utf16(std::u16string(u"%TEMP%\\x\0", 9))},
      {u"binary", REG_BINARY, {0x00, 0xFF, 0x10, 0x00}},
      {u"empty binary", REG_BINARY, {}},
      {u"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {u"multi", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6))},
      {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  const KeyId key = Create(u"Types");
  for (const Case& c : cases) ASSERT_EQ(store_->SetValue(key, c.name, c.type, c.data), ERROR_SUCCESS);
  store_.reset();
  auto reopened = OpenStore();
  for (const Case& c : cases) {
    RegistryStore::Value value;
    ASSERT_EQ(reopened->QueryValue(key, c.name, &value), ERROR_SUCCESS);
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.data);
  }
}

TEST_F(RegistryStoreTest, MalformedNamesAndSizesAreRefusedAndChangeNothing) {
  const KeyId key = Create(u"Strict");
  KeyId out = 0;
  bool created = false;
  EXPECT_EQ(store_->SetValue(key, u"d", REG_DWORD, Bytes{1, 2, 3}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->SetValue(key, u"q", REG_QWORD, Bytes{1, 2, 3, 4}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->SetValue(key, std::u16string(16384, u'v'), REG_NONE, {}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->CreateKey(key, u"a\\\\b", u"", &out, &created), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->CreateKey(key, u"ok\\" + std::u16string(256, u'k'), u"", &out, &created), ERROR_INVALID_PARAMETER);
  RegistryStore::KeyInfo info;
  ASSERT_EQ(store_->QueryInfo(key, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.subKeys, 0u);  // not even "ok" of the refused path
  EXPECT_EQ(info.values, 0u);
}

TEST_F(RegistryStoreTest, DeletingAKeyDeletesItsSubtreeAndOnlyThat) {
  const KeyId a = Create(u"A");
  const KeyId c = Create(u"A\\B\\C");
  const KeyId kept = Create(u"Kept");
  ASSERT_EQ(store_->SetValue(c, u"v", REG_BINARY, Bytes{1}), ERROR_SUCCESS);
  ASSERT_EQ(store_->SetValue(kept, u"v", REG_BINARY, Bytes{1}), ERROR_SUCCESS);

  ASSERT_EQ(store_->DeleteKey(kHklm, u"a"), ERROR_SUCCESS);
  KeyId out = 0;
  RegistryStore::Value value;
  EXPECT_EQ(store_->OpenKey(kHklm, u"A\\B\\C", &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(store_->QueryValue(c, u"v", &value), ERROR_KEY_DELETED);
  EXPECT_EQ(store_->DeleteKey(kHklm, u"A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(store_->QueryValue(kept, u"v", &value), ERROR_SUCCESS);
  // A key made again under the old name is a new key: the old id stays deleted.
  EXPECT_NE(Create(u"A"), a);
  EXPECT_EQ(store_->SetValue(a, u"v", REG_NONE, {}), ERROR_KEY_DELETED);
  EXPECT_EQ(store_->DeleteKey(kHklm, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(store_->OpenKey(kHklm, u"Kept", &out), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, EnumerationKeepsCreationOrder) {
  const KeyId key = Create(u"Order");
  for (auto name : {u"b", u"a", u"C"}) Create(u"Order\\" + std::u16string(name));
  for (auto name : {u"y", u"x", u"Z"}) ASSERT_EQ(store_->SetValue(key, name, REG_NONE, {}), ERROR_SUCCESS);
  ASSERT_EQ(store_->SetValue(key, u"Y", REG_BINARY, Bytes{9}), ERROR_SUCCESS);  // an update keeps its place
  ASSERT_EQ(store_->DeleteKey(key, u"a"), ERROR_SUCCESS);
  ASSERT_EQ(store_->DeleteValue(key, u"X"), ERROR_SUCCESS);
  EXPECT_EQ(store_->DeleteValue(key, u"X"), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(SubKeyNames(key), (std::vector<std::u16string>{u"b", u"C"}));
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"y", u"Z"}));
  RegistryStore::SubKey sub;
  RegistryStore::Value value;
  EXPECT_EQ(store_->EnumKey(key, 2, &sub), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(store_->EnumValue(key, 2, &value), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryStoreTest, QueryInfoCountsAndMeasures) {
  KeyId key = 0, sub = 0;
  bool created = false;
  ASSERT_EQ(store_->CreateKey(kHklm, u"Info", u"InfoClass", &key, &created), ERROR_SUCCESS);
  ASSERT_EQ(store_->CreateKey(key, u"abc", u"", &sub, &created), ERROR_SUCCESS);
  ASSERT_EQ(store_->CreateKey(key, u"abcdefg", u"twelve chars", &sub, &created), ERROR_SUCCESS);
  ASSERT_EQ(store_->SetValue(key, u"v", REG_BINARY, Bytes(100)), ERROR_SUCCESS);
  ASSERT_EQ(store_->SetValue(key, u"longer name", REG_BINARY, Bytes(3)), ERROR_SUCCESS);
  RegistryStore::KeyInfo info;
  ASSERT_EQ(store_->QueryInfo(key, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.cls, u"InfoClass");
  EXPECT_EQ(info.subKeys, 2u);
  EXPECT_EQ(info.maxSubKeyLength, 7u);
  EXPECT_EQ(info.maxClassLength, 12u);
  EXPECT_EQ(info.values, 2u);
  EXPECT_EQ(info.maxValueNameLength, 11u);
  EXPECT_EQ(info.maxValueLength, 100u);
  EXPECT_GT(info.lastWrite, 116444736000000000ull);  // after 1970
}

TEST_F(RegistryStoreTest, SeedWritesEveryForm) {
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
TEST_F(RegistryStoreTest, BadSeedIsRefusedWholeWithItsKeyAndValueNamed) {
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
      {"negative dword", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": {"dword": -1}}})", {"HKLM\\B", "\"n\"", "dword"}},
      {"negative bare", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": -5}})", {"HKLM\\B", "\"n\""}},
      {"dword too big", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": 4294967296}})", {"HKLM\\B", "\"n\""}},
      {"fraction", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"n": 1.5}})", {"HKLM\\B", "\"n\""}},
      {"negative qword", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"q": {"qword": -2}}})", {"\"q\"", "qword"}},
      {"bad hex digit", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"h": {"binary": "0g"}}})", {"HKLM\\B", "\"h\"", "hex"}},
      {"odd hex", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"h": {"binary": "abc"}}})", {"\"h\"", "hex"}},
      {"unknown type", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"float": 1}}})", {"\"t\"", "float"}},
      {"two members", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"sz": "a", "dword": 1}}})", {"\"t\""}},
      {"sz not text", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"t": {"sz": 1}}})", {"\"t\""}},
      {"multi_sz item", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"m": {"multi_sz": ["a", 2]}}})", {"\"m\""}},
      {"multi_sz empty item", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"m": {"multi_sz": [""]}}})", {"\"m\""}},
      {"null value", R"({"HKLM\\A": {"x": 1}, "HKLM\\B": {"z": null}})", {"\"z\""}},
      {"same value twice", R"({"HKLM\\A": {"x": 1}, "HKLM\\b": {"V": 1}, "HKEY_LOCAL_MACHINE\\B": {"v": 2}})",
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

TEST_F(RegistryStoreTest, TwoStoresOnOneFileSeeEachOthersWritesAtOnce) {
  auto other = OpenStore();
  const KeyId key = Create(u"Shared");
  RegistryStore::Value value;
  ASSERT_EQ(other->SetValue(key, u"v", REG_DWORD, Bytes{5, 0, 0, 0}), ERROR_SUCCESS);
  ASSERT_EQ(store_->QueryValue(key, u"V", &value), ERROR_SUCCESS);
  EXPECT_EQ(value.data, (Bytes{5, 0, 0, 0}));
  ASSERT_EQ(store_->SetValue(key, u"v", REG_DWORD, Bytes{6, 0, 0, 0}), ERROR_SUCCESS);
  ASSERT_EQ(other->QueryValue(key, u"v", &value), ERROR_SUCCESS);
  EXPECT_EQ(value.data, (Bytes{6, 0, 0, 0}));
  ASSERT_EQ(other->DeleteKey(kHklm, u"SHARED"), ERROR_SUCCESS);
  EXPECT_EQ(store_->QueryValue(key, u"v", &value), ERROR_KEY_DELETED);
}

// Both processes write at once, so each must wait for the other's lock rather
// than fail. The child leaves without closing its store, as a crashed process would.
TEST_F(RegistryStoreTest, AnotherProcessWritesAlongside) {
  constexpr int kEach = 150;
  const KeyId key = Create(u"Busy");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto own = RegistryStore::Open(db_path(), nullptr);
    int failures = own ? 0 : 1;
    for (int i = 0; own && i < kEach; ++i)
      failures += own->SetValue(key, Ascii("child" + std::to_string(i)), REG_NONE, {}) != ERROR_SUCCESS;
    std::_Exit(failures == 0 ? 0 : 1);
  }
  int failures = 0;
  for (int i = 0; i < kEach; ++i)
    failures += store_->SetValue(key, Ascii("parent" + std::to_string(i)), REG_NONE, {}) != ERROR_SUCCESS;
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(failures, 0);
  RegistryStore::KeyInfo info;
  ASSERT_EQ(store_->QueryInfo(key, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.values, 2u * kEach);
}

TEST_F(RegistryStoreTest, OpenRefusesAFileThatIsNoDatabaseAndLeavesItAlone) {
  const fs::path junk = dir_ / "junk.db";
  const std::string text(4096, 'x');
  std::ofstream(junk) << text;
  std::string error;
  EXPECT_EQ(RegistryStore::Open(junk, &error), nullptr);
  EXPECT_NE(error.find(junk.string()), std::string::npos) << error;
  std::ifstream in(junk);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  EXPECT_EQ(RegistryStore::Open(dir_ / "no such dir" / "r.db", &error), nullptr);
}

}  // namespace
}  // namespace ce::sim
