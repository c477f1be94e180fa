// The Reg* functions on a terminal made for each test, and beneath them the
// store: what only it shows (seeding, case folding, refused names, order, and
// another process writing alongside), on a file of its own.
#include "ce/registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <functional>
#include <sqlite3.h>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sim/control.h"
#include "handles.h"
#include "registry_store.h"
#include "temp_dir.h"
#include "test_terminal.h"

namespace ce {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using sim::RegistryStore;
using KeyId = RegistryStore::KeyId;
const KeyId kHklm = RegistryStore::RootKey(RegistryStore::Root::kLocalMachine);

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

class RegistryApiTest : public ::testing::Test {
 protected:
  static RegKey Create(HKEY parent, LPCWSTR path, DWORD* disposition = nullptr) {
    RegKey key;
    EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), disposition),
              ERROR_SUCCESS);
    return key;
  }
  static LONG SetDword(HKEY key, LPCWSTR name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  static LONG GetDword(HKEY key, LPCWSTR name, DWORD* value) {
    DWORD size = sizeof *value;
    return RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  }

  qeltest::TestTerminal terminal_;
};

TEST_F(RegistryApiTest, CreateAndOpenFollowTheDevice) {
  DWORD disposition = 0;
  RegKey app = Create(HKEY_LOCAL_MACHINE, u"Software\\Vendor\\App", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegKey again = Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vendor\\APP", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  RegKey vendor;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\software\\VENDOR", 0, KEY_READ, vendor.put()), ERROR_SUCCESS);
  HKEY missing = HKEY_USERS;
  EXPECT_EQ(RegOpenKeyExW(vendor.get(), u"Nope", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);

  // Null or empty opens the key again, under a handle of its own.
  RegKey self, root;
  ASSERT_EQ(RegOpenKeyExW(app.get(), nullptr, 0, KEY_READ, self.put()), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, KEY_READ, root.put()), ERROR_SUCCESS);
  EXPECT_NE(self.get(), app.get());
  EXPECT_NE(root.get(), HKEY_LOCAL_MACHINE);
  DWORD value = 0;
  ASSERT_EQ(SetDword(self.get(), u"Level", 3), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(again.get(), u"level", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 3u);

  // Keys and kernel objects live in different tables.
  const HANDLE event = sim::AddHandle(std::make_shared<sim::KernelObject>());
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(event)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(CloseHandle(reinterpret_cast<HANDLE>(app.get())), FALSE);
  EXPECT_EQ(CloseHandle(event), TRUE);

  const HKEY closed = app.release();
  EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetDword(closed, u"Level", &value), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(uintptr_t{0x80000004}), u"", 0, 0, root.put()),
            ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, QueryValueFollowsTheSizeProtocol) {
  struct Case {
    const char16_t* name;
    DWORD type;
    Bytes data;
  };
  const Case cases[] = {
      {nullptr, REG_SZ, {'d', 0, 0, 0}},  // the default value
      {u"Sz", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {u"Expand", REG_EXPAND_SZ, {'%', 0, 0, 0}},
      {u"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}},
      {u"Binary", REG_BINARY, {1, 2, 3}},
      {u"Empty", REG_BINARY, {}},
      {u"None", REG_NONE, {9}},
      {u"Dword", REG_DWORD, {1, 0, 0, 0}},
      {u"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  RegKey key = Create(HKEY_CURRENT_USER, u"Sizes");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const auto n = static_cast<DWORD>(c.data.size());
    ASSERT_EQ(RegSetValueExW(key.get(), c.name, 0, c.type, c.data.data(), n), ERROR_SUCCESS);
    DWORD type = 99, size = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, n);
    Bytes buffer(n + 4, 0xCC);
    if (n > 0) {
      size = n - 1;
      EXPECT_EQ(RegQueryValueExW(key.get(), c.name, nullptr, nullptr, buffer.data(), &size), ERROR_MORE_DATA);
      EXPECT_EQ(size, n);
    }
    size = n + 4;
    ASSERT_EQ(RegQueryValueExW(key.get(), c.name, nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, n);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + n), c.data);
    EXPECT_EQ(buffer[n], 0xCC);  // nothing written past the data
  }
  BYTE byte = 0;
  DWORD size = 1;
  EXPECT_EQ(RegQueryValueExW(key.get(), u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key.get(), u"Binary", nullptr, nullptr, &byte, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key.get(), u"Dword", 0, REG_DWORD, &byte, 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key.get(), u"Null", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(key.get(), u"BINARY"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key.get(), u"Binary"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key.get(), u"binary", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, EnumerationReportsShortBuffersAndTheEnd) {
  RegKey key = Create(HKEY_LOCAL_MACHINE, u"Enum");
  Create(key.get(), u"First");
  Create(key.get(), u"Second2");
  const BYTE data[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExW(key.get(), u"Val", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);

  char16_t name[16];
  DWORD length = 6;  // "First" and its NUL, exactly
  ASSERT_EQ(RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"First");
  EXPECT_EQ(length, 5u);
  length = 7;
  EXPECT_EQ(RegEnumKeyExW(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(length, 8u);  // enough to succeed on a retry
  ASSERT_EQ(RegEnumKeyExW(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Second2");
  length = 16;
  EXPECT_EQ(RegEnumKeyExW(key.get(), 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyExW(key.get(), 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);

  DWORD type = 0, dataSize = 2;
  BYTE buffer[8] = {};
  length = 3;
  EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, &type, buffer, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(dataSize, 5u);
  dataSize = sizeof buffer;
  ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, &type, buffer, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Val");
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Bytes(buffer, buffer + dataSize), Bytes(data, data + sizeof data));
  length = 16;
  EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, QueryInfoKeyFillsCountsAndMaxima) {
  RegKey key;
  char16_t cls[] = u"KeyClass";
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Info", 0, cls, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  Create(key.get(), u"ab");
  Create(key.get(), u"abcd\\deeper");
  ASSERT_EQ(SetDword(key.get(), u"Value", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), u"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"long text"), 20), ERROR_SUCCESS);

  char16_t clsOut[16];
  DWORD clsLength = 16, subKeys = 0, maxSubKey = 0, maxClass = 99, values = 0, maxName = 0, maxData = 0;
  FILETIME written{};
  ASSERT_EQ(RegQueryInfoKeyW(key.get(), clsOut, &clsLength, nullptr, &subKeys, &maxSubKey, &maxClass, &values,
                             &maxName, &maxData, nullptr, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(clsOut), u"KeyClass");
  EXPECT_EQ(clsLength, 8u);
  EXPECT_EQ(subKeys, 2u);  // "deeper" is not a direct child
  EXPECT_EQ(maxSubKey, 4u);
  EXPECT_EQ(maxClass, 0u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 5u);
  EXPECT_EQ(maxData, 20u);
  EXPECT_NE(written.dwHighDateTime, 0u);
  EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, KeysDeletedUnderneathReportKeyDeleted) {
  RegKey parent = Create(HKEY_LOCAL_MACHINE, u"Doomed");
  RegKey child = Create(parent.get(), u"Child");
  RegKey sibling = Create(HKEY_LOCAL_MACHINE, u"Sibling");

  // Another process writes, then deletes the key: it has its own connection to
  // the file, and each side sees the other's changes at once.
  std::string error;
  auto other = RegistryStore::Open(terminal_.dir() / "registry.db", &error);
  ASSERT_NE(other, nullptr) << error;
  KeyId doomed = 0;
  ASSERT_EQ(other->OpenKey(kHklm, u"DOOMED", &doomed), ERROR_SUCCESS);
  ASSERT_EQ(other->SetValue(doomed, u"v", REG_DWORD, Bytes{5, 0, 0, 0}), ERROR_SUCCESS);
  DWORD value = 0, length = 8;
  EXPECT_EQ(GetDword(parent.get(), u"V", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 5u);
  ASSERT_EQ(other->DeleteKey(kHklm, u"doomed"), ERROR_SUCCESS);

  char16_t name[8];
  RegKey sub;
  EXPECT_EQ(GetDword(child.get(), u"x", &value), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(parent.get(), u"x", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExW(parent.get(), u"Child", 0, KEY_READ, sub.put()), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyExW(parent.get(), u"New", 0, nullptr, 0, 0, nullptr, sub.put(), nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(sibling.get(), u"x", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child.release()), ERROR_SUCCESS);

  // Through the API, too: the whole subtree goes.
  RegKey deep = Create(sibling.get(), u"A\\B\\C");
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SIBLING"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Sibling\\A", 0, KEY_READ, sub.put()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Sibling"), ERROR_FILE_NOT_FOUND);
  Create(HKEY_LOCAL_MACHINE, u"Sibling\\A\\B\\C");  // made again, a new key: the old handle stays deleted
  EXPECT_EQ(SetDword(deep.get(), u"x", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApiTest, OpenKeysStayWithTheirTerminalAndDataPersists) {
  RegKey key = Create(HKEY_CURRENT_USER, u"Persist");
  ASSERT_EQ(SetDword(key.get(), u"n", 42), ERROR_SUCCESS);
  {
    qeltest::NoTerminal none;
    DWORD value = 0;
    EXPECT_EQ(GetDword(key.get(), u"N", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
  }
  key.reset();
  std::string error;
  ASSERT_TRUE(sim::UseTerminal(terminal_.dir(), &error)) << error;
  RegKey reopened;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"persist", 0, KEY_READ, reopened.put()), ERROR_SUCCESS);
  DWORD value = 0;
  EXPECT_EQ(GetDword(reopened.get(), u"n", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 42u);
}

TEST_F(RegistryApiTest, ThreadsShareTheRegistry) {
  constexpr int kThreads = 4, kValues = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::u16string path = Ascii("Threads\\T" + std::to_string(t));
      for (int i = 0; i < kValues; ++i) {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const std::u16string name = Ascii("v" + std::to_string(i));
        ASSERT_EQ(SetDword(key.get(), name.c_str(), DWORD(i)), ERROR_SUCCESS);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    RegKey key;
    const std::u16string path = Ascii("threads\\t" + std::to_string(t));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, DWORD{kValues});
  }
}

// ---------------------------------------------------------------------------
// The store under the API: what only it shows, on a file of its own.

Bytes Utf16(std::u16string_view text) {  // with the NUL, as strings are stored
  Bytes bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return bytes;
}

// Runs SQL on a database file, as a person with the sqlite3 shell would.
void ExecSql(const fs::path& db, const char* sql) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
  sqlite3_close(raw);
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    store_ = RegistryStore::Create(db_path(), &error);
    ASSERT_NE(store_, nullptr) << error;
  }
  fs::path db_path() const { return dir_ / "registry.db"; }

  KeyId Create(std::u16string_view path) {
    KeyId key = 0;
    bool created = false;
    EXPECT_EQ(store_->CreateKey(kHklm, path, u"", &key, &created), ERROR_SUCCESS);
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

  qeltest::TempDir dir_;
  std::unique_ptr<RegistryStore> store_;  // closed before the folder goes
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
  EXPECT_EQ(qeltest::Contents(junk), text);
  EXPECT_EQ(RegistryStore::Open(dir_ / "no such dir" / "r.db", &error), nullptr);
}

// Only the making of a terminal creates a registry: opening a file that is not
// a whole registry of ours fails, naming the file, and leaves the file alone.
TEST_F(RegistryStoreTest, OpenRefusesARegistryThatIsNotWhole) {
  ASSERT_EQ(Create(u"Seeded\\Key"), Create(u"Seeded\\Key"));
  store_.reset();
  const fs::path pristine = dir_ / "pristine.db";
  fs::copy_file(db_path(), pristine);
  const struct {
    const char* what;
    std::function<void(const fs::path&)> damage;
    const char* why;
  } cases[] = {
      {"zero bytes", [](const fs::path& p) { std::ofstream(p, std::ios::trunc).close(); }, "empty"},
      {"missing", [](const fs::path& p) { fs::remove(p); }, "No such file"},
      {"values dropped", [](const fs::path& p) { ExecSql(p, "DROP TABLE vals"); }, "vals"},
      {"keys dropped", [](const fs::path& p) { ExecSql(p, "DROP TABLE keys"); }, "keys"},
      {"roots deleted", [](const fs::path& p) { ExecSql(p, "DELETE FROM keys WHERE parent IS NULL"); }, "root keys"},
      {"no version", [](const fs::path& p) { ExecSql(p, "PRAGMA user_version = 0"); }, "not a registry"},
      {"other schema", [](const fs::path& p) {
         fs::remove(p);
         ExecSql(p, "CREATE TABLE notes(x); PRAGMA user_version = 1");
       }, "keys"},
      {"newer", [](const fs::path& p) { ExecSql(p, "PRAGMA user_version = 9"); }, "newer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* suffix : {"-wal", "-shm"}) fs::remove(db_path().string() + suffix);
    fs::copy_file(pristine, db_path(), fs::copy_options::overwrite_existing);
    c.damage(db_path());
    const bool existed = fs::exists(db_path());
    const std::string before = qeltest::Contents(db_path());
    std::string error;
    EXPECT_EQ(RegistryStore::Open(db_path(), &error), nullptr);
    EXPECT_EQ(error.rfind(db_path().string() + ": ", 0), 0u) << error;
    EXPECT_EQ(error.find(db_path().string(), 1), std::string::npos) << error;  // named once
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_EQ(fs::exists(db_path()), existed);
    EXPECT_TRUE(qeltest::Contents(db_path()) == before) << "the file was changed";
  }
  // Create makes only new registries.
  std::string error;
  EXPECT_EQ(RegistryStore::Create(pristine, &error), nullptr);
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;
}

}  // namespace
}  // namespace ce
