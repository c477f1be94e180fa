// The registry store on a file of its own: what the Reg* functions (tested in
// platform/tests) cannot show: refused names, order, other processes.
#include "registry_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/message.h"
#include "ce/registry.h"
#include "sqlite_db.h"
#include "temp_dir.h"

namespace ce {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using sim::RegistryStore;
using KeyId = RegistryStore::KeyId;
const KeyId kHklm = RegistryStore::RootKey(RegistryStore::Root::kLocalMachine);

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

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
      // the fold itself is CharUpperBuffW's, tested in platform/tests
      {u"Software", u"SOFTWARE", true},
      {u"Ärger", u"äRGER", true},
      {u"Äpfel", u"Apfel", false},
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

TEST_F(RegistryStoreTest, MalformedNamesAreRefusedAndChangeNothing) {
  const KeyId key = Create(u"Strict");
  KeyId out = 0;
  bool created = false;
  EXPECT_EQ(store_->SetValue(key, std::u16string(16384, u'v'), REG_NONE, {}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->CreateKey(key, u"a\\\\b", u"", &out, &created), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(store_->CreateKey(key, u"ok\\" + std::u16string(256, u'k'), u"", &out, &created),
            ERROR_INVALID_PARAMETER);
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

// Another process has its own connection to the file: each side sees the
// other's changes at once, and a key it deletes is deleted here too.
TEST_F(RegistryStoreTest, AnotherConnectionSeesChangesAndDeletions) {
  const KeyId key = Create(u"Doomed"), child = Create(u"Doomed\\Child");
  std::string error;
  auto other = RegistryStore::Open(db_path(), &error);
  ASSERT_NE(other, nullptr) << error;
  KeyId theirs = 0;
  ASSERT_EQ(other->OpenKey(kHklm, u"DOOMED", &theirs), ERROR_SUCCESS);
  ASSERT_EQ(other->SetValue(theirs, u"v", REG_DWORD, Bytes{5, 0, 0, 0}), ERROR_SUCCESS);
  RegistryStore::Value value;
  ASSERT_EQ(store_->QueryValue(key, u"V", &value), ERROR_SUCCESS);
  EXPECT_EQ(value.data, (Bytes{5, 0, 0, 0}));
  ASSERT_EQ(other->DeleteKey(kHklm, u"doomed"), ERROR_SUCCESS);
  EXPECT_EQ(store_->QueryValue(child, u"x", &value), ERROR_KEY_DELETED);
  EXPECT_EQ(store_->SetValue(key, u"x", REG_NONE, {}), ERROR_KEY_DELETED);
}

// Opening keys and reading values are answered from memory for a while, so
// each change below follows a read of what it changes: a change this process
// made, through any of its connections, is seen by the very next read.
TEST_F(RegistryStoreTest, ThisProcessSeesItsOwnChangesAtOnceThroughEveryConnection) {
  const KeyId key = Create(u"Doomed");
  std::string error;
  auto other = RegistryStore::Open(db_path(), &error);
  ASSERT_NE(other, nullptr) << error;
  auto valueOf = [&](KeyId k) {
    RegistryStore::Value value;
    const DWORD rc = store_->QueryValue(k, u"v", &value);
    return rc == ERROR_SUCCESS ? std::to_string(value.data.at(0)) : "error " + std::to_string(rc);
  };
  auto childIs = [&] {
    KeyId child = 0;
    const DWORD rc = store_->OpenKey(kHklm, u"Doomed\\Child", &child);
    return rc == ERROR_SUCCESS ? std::string("there") : "error " + std::to_string(rc);
  };
  auto set = [&](uint8_t v) { return other->SetValue(key, u"V", REG_BINARY, Bytes{v}); };
  struct Step {
    const char* change;
    std::function<DWORD()> apply;
    std::function<std::string()> read;
    std::string before, after;
  };
  const std::string missing = "error " + std::to_string(ERROR_FILE_NOT_FOUND);
  const std::vector<Step> steps = {
      {"value made", [&] { return set(5); }, [&] { return valueOf(key); }, missing, "5"},
      {"value changed", [&] { return set(6); }, [&] { return valueOf(key); }, "5", "6"},
      {"value changed again", [&] { return set(7); }, [&] { return valueOf(key); }, "6", "7"},
      {"value deleted", [&] { return other->DeleteValue(key, u"v"); }, [&] { return valueOf(key); }, "7",
       missing},
      {"key made",
       [&] {
         KeyId made = 0;
         bool created = false;
         return other->CreateKey(kHklm, u"doomed\\child", u"", &made, &created);
       },
       childIs, missing, "there"},
      {"value made by this connection", [&] { return store_->SetValue(key, u"v", REG_BINARY, Bytes{9}); },
       [&] { return valueOf(key); }, missing, "9"},
      {"key deleted", [&] { return other->DeleteKey(kHklm, u"DOOMED"); }, [&] { return valueOf(key); }, "9",
       "error " + std::to_string(ERROR_KEY_DELETED)},
      {"subkey deleted with it", [] { return DWORD{ERROR_SUCCESS}; }, childIs, missing, missing},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.change);
    EXPECT_EQ(step.read(), step.before);
    EXPECT_EQ(step.apply(), ERROR_SUCCESS);
    EXPECT_EQ(step.read(), step.after);
  }
}

// A change from outside (here a hand edit of the file, which this process's
// writes do not count) that one read has shown is shown by every read after
// it, even one that could be answered from memory. A round proves that only
// when it ends within the recheck interval, so a slow round is made again.
TEST_F(RegistryStoreTest, NoReadIsOlderThanTheReadBeforeIt) {
  struct Row {
    const char* fresh;
    std::function<void(KeyId)> read;
  };
  RegistryStore::Value value;
  const Row rows[] = {
      {"key information",
       [&](KeyId key) {
         RegistryStore::KeyInfo info;
         EXPECT_EQ(store_->QueryInfo(key, &info), ERROR_SUCCESS);
         EXPECT_EQ(info.values, 1u);
       }},
      {"enumeration", [&](KeyId key) { EXPECT_EQ(store_->EnumValue(key, 0, &value), ERROR_SUCCESS); }},
      {"another value",
       [&](KeyId key) { EXPECT_EQ(store_->QueryValue(key, u"other", &value), ERROR_FILE_NOT_FOUND); }},
      {"another key",
       [&](KeyId) {
         KeyId none = 0;
         EXPECT_EQ(store_->OpenKey(kHklm, u"Nowhere", &none), ERROR_FILE_NOT_FOUND);
       }},
  };
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db_path().c_str(), &raw), SQLITE_OK);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> editor(raw, sqlite3_close);
  ASSERT_EQ(sqlite3_exec(raw, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr), SQLITE_OK);
  const KeyId source = Create(u"Source");
  ASSERT_EQ(store_->SetValue(source, u"v", REG_BINARY, Bytes{1}), ERROR_SUCCESS);
  int rounds = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fresh);
    for (bool proved = false; !proved && rounds < 200; ++rounds) {
      const KeyId key = Create(Ascii("Target " + std::to_string(rounds)));
      const std::string copy = "INSERT INTO vals(key, name, folded, type, data) SELECT " +
                               std::to_string(key) +
                               ", name, folded, type, data FROM vals WHERE key = " + std::to_string(source);
      const auto start = std::chrono::steady_clock::now();
      ASSERT_EQ(store_->QueryValue(key, u"v", &value), ERROR_FILE_NOT_FOUND);
      ASSERT_EQ(sqlite3_exec(raw, copy.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
      row.read(key);
      ASSERT_EQ(store_->QueryValue(key, u"v", &value), ERROR_SUCCESS);
      EXPECT_EQ(value.data, Bytes{1});
      proved = std::chrono::steady_clock::now() - start < sim::kRecheck;
    }
  }
}

// Another process's change is seen by every read that starts the recheck
// interval after it, however often the value was read before.
TEST_F(RegistryStoreTest, AnotherProcessesChangeIsSeenAfterTheRecheckInterval) {
  const KeyId key = Create(u"Shared");
  for (const uint8_t v : {1, 2, 3}) {
    RegistryStore::Value value;
    for (int i = 0; i < 3; ++i) store_->QueryValue(key, u"v", &value);
    KeyId theirs = 0;
    EXPECT_EQ(store_->OpenKey(kHklm, u"Shared\\New" + Ascii(std::to_string(v)), &theirs),
              ERROR_FILE_NOT_FOUND);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto own = RegistryStore::Open(db_path(), nullptr);
      KeyId made = 0;
      bool created = false;
      const bool ok =
          own && own->SetValue(key, u"v", REG_BINARY, Bytes{v}) == ERROR_SUCCESS &&
          own->CreateKey(key, u"New" + Ascii(std::to_string(v)), u"", &made, &created) == ERROR_SUCCESS;
      std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::this_thread::sleep_for(sim::kRecheck + std::chrono::milliseconds(1));
    ASSERT_EQ(store_->QueryValue(key, u"v", &value), ERROR_SUCCESS);
    EXPECT_EQ(value.data, Bytes{v});
    EXPECT_EQ(store_->OpenKey(kHklm, u"Shared\\New" + Ascii(std::to_string(v)), &theirs), ERROR_SUCCESS);
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
      {"roots deleted", [](const fs::path& p) { ExecSql(p, "DELETE FROM keys WHERE parent IS NULL"); },
       "root keys"},
      {"no version", [](const fs::path& p) { ExecSql(p, "PRAGMA user_version = 0"); }, "not a registry"},
      {"other schema",
       [](const fs::path& p) {
         fs::remove(p);
         ExecSql(p, "CREATE TABLE notes(x); PRAGMA user_version = 1");
       },
       "keys"},
      {"newer", [](const fs::path& p) { ExecSql(p, "PRAGMA user_version = 9"); }, "newer"},
      {"a page damaged",
       [](const fs::path& p) {  // the values' table page taken for an index page
         std::string bytes = qeltest::Contents(p);
         bytes.at(4 * 4096) = '\x0a';
         std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
       },
       "damaged"},
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

namespace ce {
namespace {

// A failure says its cause: each SQLite result (with the file system's errno
// where SQLite gives one) becomes the device error whose system message is true.
TEST(RegistryStoreErrors, SqliteResultsBecomeTheErrorOfTheirCause) {
  const struct {
    int rc, systemError;
    DWORD expected;
  } cases[] = {
      {SQLITE_FULL, 0, ERROR_DISK_FULL},
      {SQLITE_IOERR_WRITE, ENOSPC, ERROR_DISK_FULL},
      {SQLITE_IOERR_WRITE, EFBIG, ERROR_DISK_FULL},
      {SQLITE_READONLY, 0, ERROR_ACCESS_DENIED},
      {SQLITE_READONLY_CANTINIT, 0, ERROR_ACCESS_DENIED},
      {SQLITE_CANTOPEN, EACCES, ERROR_ACCESS_DENIED},
      {SQLITE_IOERR_SHMOPEN, EROFS, ERROR_ACCESS_DENIED},
      {SQLITE_CORRUPT, 0, ERROR_BADDB},
      {SQLITE_NOTADB, 0, ERROR_BADDB},
      {SQLITE_BUSY, 0, ERROR_BUSY},
      {SQLITE_LOCKED_SHAREDCACHE, 0, ERROR_BUSY},
      {SQLITE_IOERR_READ, EIO, ERROR_GEN_FAILURE},
      {SQLITE_CANTOPEN, ENOENT, ERROR_GEN_FAILURE},
      {SQLITE_INTERNAL, 0, ERROR_REGISTRY_IO_FAILED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sqlite3_errstr(c.rc));
    const DWORD code = sim::FromSqlite(c.rc, c.systemError);
    EXPECT_EQ(code, c.expected);
    char16_t text[512];
    EXPECT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, 512, nullptr), 0u) << code;
  }
}

// A write that finds no room is "disk full", not a bad key; the store stays usable.
TEST(RegistryStoreErrors, AFullDiskIsDiskFull) {
  qeltest::TempDir dir;
  std::string error;
  ASSERT_NE(sim::RegistryStore::Create(dir.path() / "registry.db", &error), nullptr) << error;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // the file size limit holds this process only
    auto store = sim::RegistryStore::Open(dir.path() / "registry.db", nullptr);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<uint8_t> big(4 << 20, 0x5a);
    const DWORD full = store ? store->SetValue(kHklm, u"Big", REG_BINARY, big) : ERROR_INVALID_HANDLE;
    const DWORD after = store ? store->SetValue(kHklm, u"Small", REG_DWORD, std::vector<uint8_t>(4)) : 0;
    std::_Exit(full == ERROR_DISK_FULL && after == ERROR_SUCCESS ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace ce
