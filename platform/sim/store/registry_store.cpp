#include "registry_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "case_fold.h"
#include "ce/error.h"
#include "ce/registry.h"
#include "kernel.h"
#include "registry_path.h"
#include "registry_seed.h"
#include "sqlite_db.h"
#include "state_files.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Names and string data are kept as the device keeps them, UTF-16LE; on a
// little-endian host that is the memory of a char16_t string.
static_assert(std::endian::native == std::endian::little);

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
// FILETIME counts 100 ns from 1601; the Unix epoch is this many ticks later.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

uint64_t NowFileTime() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100) +
         kUnixEpochTicks;
}

// ---- Schema -----------------------------------------------------------------

// Keys use AUTOINCREMENT so that a deleted key's id is never handed out again.
constexpr const char* kCreateSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER,            -- NULL for the four roots
  name BLOB NOT NULL,        -- UTF-16LE, as first spelled
  folded BLOB NOT NULL,      -- the name as compared
  class BLOB NOT NULL,
  written INTEGER NOT NULL,  -- FILETIME of the last change
  UNIQUE(parent, folded));
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,    -- creation order
  key INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
)sql";

constexpr std::pair<RegistryStore::Root, std::u16string_view> kRootNames[] = {
    {RegistryStore::Root::kClassesRoot, u"HKEY_CLASSES_ROOT"},
    {RegistryStore::Root::kCurrentUser, u"HKEY_CURRENT_USER"},
    {RegistryStore::Root::kLocalMachine, u"HKEY_LOCAL_MACHINE"},
    {RegistryStore::Root::kUsers, u"HKEY_USERS"},
};

}  // namespace

// ---- The connection ---------------------------------------------------------

// Everything here runs inside a transaction the caller holds.
struct RegistryStore::Impl {
  DbHandle db;
  std::unordered_map<std::string_view, StatementHandle> statements;

  Query Sql(std::string_view sql) {
    auto it = statements.find(sql);
    if (it == statements.end()) {
      sqlite3_stmt* stmt = nullptr;
      const int rc = sqlite3_prepare_v3(db.get(), sql.data(), static_cast<int>(sql.size()),
                                        SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
      if (rc != SQLITE_OK) return Query(nullptr, rc);
      it = statements.emplace(sql, StatementHandle(stmt)).first;
    }
    return Query(it->second.get(), SQLITE_OK);
  }

  // The device error for a failure of this connection.
  DWORD Error(int rc) const { return FromSqlite(rc, sqlite3_system_errno(db.get())); }

  // Runs a statement that returns no rows.
  DWORD Run(Query& q) {
    const int rc = q.Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : Error(rc);
  }

  // ERROR_SUCCESS when a row came, notFound when none did.
  DWORD Found(int rc, DWORD notFound) const {
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? notFound : Error(rc);
  }

  DWORD CheckKey(KeyId key) {
    Query q = Sql("SELECT 1 FROM keys WHERE id = ?1");
    return Found(q.Bind(1, key).Step(), ERROR_KEY_DELETED);
  }

  DWORD FindChild(KeyId parent, std::u16string_view name, KeyId* child) {
    Query q = Sql("SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    const DWORD rc = Found(q.Bind(1, parent).Bind(2, FoldName(name)).Step(), ERROR_FILE_NOT_FOUND);
    if (rc == ERROR_SUCCESS) *child = q.Int(0);
    return rc;
  }

  DWORD Touch(KeyId key) {
    Query q = Sql("UPDATE keys SET written = ?2 WHERE id = ?1");
    return Run(q.Bind(1, key).Bind(2, static_cast<int64_t>(NowFileTime())));
  }

  DWORD AddChild(KeyId parent, std::u16string_view name, std::u16string_view cls, KeyId* child) {
    Query q = Sql("INSERT INTO keys(parent, name, folded, class, written) VALUES (?1, ?2, ?3, ?4, ?5)");
    const DWORD rc = Run(q.Bind(1, parent)
                             .Bind(2, name)
                             .Bind(3, FoldName(name))
                             .Bind(4, cls)
                             .Bind(5, static_cast<int64_t>(NowFileTime())));
    if (rc != ERROR_SUCCESS) return rc;
    *child = sqlite3_last_insert_rowid(db.get());
    return Touch(parent);
  }

  DWORD Walk(KeyId key, std::u16string_view path, KeyId* result) {
    KeyPath names;
    DWORD rc = SplitPath(path, &names);
    if (rc == ERROR_SUCCESS) rc = CheckKey(key);
    for (size_t i = 0; i < names.size() && rc == ERROR_SUCCESS; ++i) rc = FindChild(key, names[i], &key);
    if (rc == ERROR_SUCCESS) *result = key;
    return rc;
  }

  DWORD WalkCreating(KeyId key, std::u16string_view path, std::u16string_view cls, KeyId* result,
                     bool* created) {
    KeyPath names;
    DWORD rc = SplitPath(path, &names);
    if (rc == ERROR_SUCCESS) rc = CheckKey(key);
    *created = false;
    for (size_t i = 0; i < names.size() && rc == ERROR_SUCCESS; ++i) {
      rc = FindChild(key, names[i], &key);
      if (rc != ERROR_FILE_NOT_FOUND) continue;
      rc = AddChild(key, names[i], i + 1 == names.size() ? cls : u"", &key);
      *created = true;
    }
    if (rc == ERROR_SUCCESS) *result = key;
    return rc;
  }

  DWORD DeleteTree(KeyId key) {
    KeyId parent = 0;
    {
      Query q = Sql("SELECT parent FROM keys WHERE id = ?1");
      const DWORD rc = Found(q.Bind(1, key).Step(), ERROR_KEY_DELETED);
      if (rc != ERROR_SUCCESS) return rc;
      if (q.IsNull(0)) return ERROR_ACCESS_DENIED;  // a root
      parent = q.Int(0);
    }
    Query values =
        Sql("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
            "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
            "DELETE FROM vals WHERE key IN tree");
    DWORD rc = Run(values.Bind(1, key));
    if (rc != ERROR_SUCCESS) return rc;
    Query keys =
        Sql("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
            "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
            "DELETE FROM keys WHERE id IN tree");
    rc = Run(keys.Bind(1, key));
    return rc == ERROR_SUCCESS ? Touch(parent) : rc;
  }

  DWORD ReadValue(KeyId key, std::u16string_view name, Value* result) {
    DWORD rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    Query q = Sql("SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2");
    rc = Found(q.Bind(1, key).Bind(2, FoldName(name)).Step(), ERROR_FILE_NOT_FOUND);
    if (rc == ERROR_SUCCESS) *result = {q.Text(0), static_cast<DWORD>(q.Int(1)), q.Bytes(2)};
    return rc;
  }

  // A value set again keeps its first spelling and its place in enumeration.
  DWORD WriteValue(KeyId key, std::u16string_view name, DWORD type, std::span<const uint8_t> data) {
    DWORD rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    Query q =
        Sql("INSERT INTO vals(key, name, folded, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
            "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    rc = Run(q.Bind(1, key).Bind(2, name).Bind(3, FoldName(name)).Bind(4, int64_t{type}).Bind(5, data));
    return rc == ERROR_SUCCESS ? Touch(key) : rc;
  }

  DWORD RemoveValue(KeyId key, std::u16string_view name) {
    DWORD rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    Query q = Sql("DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    rc = Run(q.Bind(1, key).Bind(2, FoldName(name)));
    if (rc != ERROR_SUCCESS) return rc;
    return sqlite3_changes(db.get()) == 0 ? ERROR_FILE_NOT_FOUND : Touch(key);
  }

  DWORD NthChild(KeyId key, DWORD index, SubKey* result) {
    DWORD rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    Query q = Sql("SELECT name, class, written FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    rc = Found(q.Bind(1, key).Bind(2, int64_t{index}).Step(), ERROR_NO_MORE_ITEMS);
    if (rc == ERROR_SUCCESS) *result = {q.Text(0), q.Text(1), static_cast<uint64_t>(q.Int(2))};
    return rc;
  }

  DWORD NthValue(KeyId key, DWORD index, Value* result) {
    DWORD rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    Query q = Sql("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    rc = Found(q.Bind(1, key).Bind(2, int64_t{index}).Step(), ERROR_NO_MORE_ITEMS);
    if (rc == ERROR_SUCCESS) *result = {q.Text(0), static_cast<DWORD>(q.Int(1)), q.Bytes(2)};
    return rc;
  }

  DWORD Describe(KeyId key, KeyInfo* info) {
    Query self = Sql("SELECT class, written FROM keys WHERE id = ?1");
    DWORD rc = Found(self.Bind(1, key).Step(), ERROR_KEY_DELETED);
    if (rc != ERROR_SUCCESS) return rc;
    info->cls = self.Text(0);
    info->lastWrite = static_cast<uint64_t>(self.Int(1));
    Query keys =
        Sql("SELECT count(*), ifnull(max(length(name)), 0) / 2, ifnull(max(length(class)), 0) / 2 "
            "FROM keys WHERE parent = ?1");
    rc = Found(keys.Bind(1, key).Step(), ERROR_KEY_DELETED);
    if (rc != ERROR_SUCCESS) return rc;
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLength = static_cast<DWORD>(keys.Int(1));
    info->maxClassLength = static_cast<DWORD>(keys.Int(2));
    Query values =
        Sql("SELECT count(*), ifnull(max(length(name)), 0) / 2, ifnull(max(length(data)), 0) "
            "FROM vals WHERE key = ?1");
    rc = Found(values.Bind(1, key).Step(), ERROR_KEY_DELETED);
    if (rc != ERROR_SUCCESS) return rc;
    info->values = static_cast<DWORD>(values.Int(0));
    info->maxValueNameLength = static_cast<DWORD>(values.Int(1));
    info->maxValueLength = static_cast<DWORD>(values.Int(2));
    return ERROR_SUCCESS;
  }

  DWORD ApplySeed(const std::vector<SeedKey>& plan) {
    for (const SeedKey& entry : plan) {
      KeyId key = 0;
      bool created = false;
      DWORD rc = WalkCreating(RootKey(entry.root), entry.path, u"", &key, &created);
      for (size_t i = 0; i < entry.values.size() && rc == ERROR_SUCCESS; ++i)
        rc = WriteValue(key, entry.values[i].name, entry.values[i].type, entry.values[i].data);
      if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
  }

  std::string LastError() const { return sqlite3_errmsg(db.get()); }

  // Changes whenever any connection, this one included, changed the file.
  // Meaningful inside a transaction that has read.
  // An SQLite that cannot tell gives a new version each time: every read that
  // goes to the database then drops what was kept, which keeps reads in order.
  uint64_t DataVersion() {
    unsigned int version = 0;
    if (sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
      return uint64_t{1} << 32 | ++unknownVersions;
    return version;
  }
  uint32_t unknownVersions = 0;
};

// ---- Opening ----------------------------------------------------------------

namespace {

bool AddRoots(RegistryStore::Impl& impl, std::string* why) {
  for (const auto& [root, name] : kRootNames) {
    Query q = impl.Sql(
        "INSERT INTO keys(id, parent, name, folded, class, written) VALUES (?1, NULL, ?2, ?3, x'', ?4)");
    q.Bind(1, RegistryStore::RootKey(root)).Bind(2, name).Bind(3, FoldName(name));
    if (impl.Run(q.Bind(4, static_cast<int64_t>(NowFileTime()))) != ERROR_SUCCESS) {
      *why = impl.LastError();
      return false;
    }
  }
  return true;
}

// Creates the tables and the four roots in a new database.
bool CreateSchema(RegistryStore::Impl& impl, std::string* why) {
  sqlite3* db = impl.db.get();
  Transaction txn(db, /*write=*/true);
  if (txn.status() != SQLITE_OK) {
    *why = sqlite3_errmsg(db);
    return false;
  }
  if (!Exec(db, kCreateSchema, why) || !AddRoots(impl, why)) return false;
  if (!Exec(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str(), why)) return false;
  if (txn.Commit() != SQLITE_OK) {
    *why = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

// The columns of a table, in order, comma-separated ("" when it is missing).
std::string Columns(sqlite3* db, const char* table) {
  sqlite3_stmt* raw = nullptr;
  const std::string sql = std::string("SELECT name FROM pragma_table_info('") + table + "') ORDER BY cid";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return {};
  StatementHandle stmt(raw);
  std::string columns;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    const auto* name = sqlite3_column_text(stmt.get(), 0);
    columns += (columns.empty() ? "" : ",") + std::string(name ? reinterpret_cast<const char*>(name) : "");
  }
  return columns;
}

// An existing database must be a whole registry of this program: a file that
// is anything else is reported, never replaced by a new, empty registry.
bool CheckSchema(RegistryStore::Impl& impl, std::string* why) {
  sqlite3* db = impl.db.get();
  Transaction txn(db, /*write=*/false);
  std::string version;
  if (txn.status() != SQLITE_OK || !PragmaText(db, "PRAGMA user_version", &version, why)) {
    if (why->empty()) *why = sqlite3_errmsg(db);
    return false;
  }
  if (version != std::to_string(kSchemaVersion)) {
    *why = version == "0" ? "not a registry of a terminal (no registry schema in it)"
           : std::stoll(version) > kSchemaVersion
               ? "made by a newer version of this program (schema " + version + ")"
               : "not a registry of a terminal (schema " + version + ")";
    return false;
  }
  constexpr std::pair<const char*, const char*> kTables[] = {{"keys", "id,parent,name,folded,class,written"},
                                                             {"vals", "id,key,name,folded,type,data"}};
  for (const auto& [table, columns] : kTables) {
    if (Columns(db, table) != columns) {
      *why = std::string("not a whole registry: its table \"") + table + "\" is missing or has other columns";
      return false;
    }
  }
  std::string roots;
  if (!PragmaText(db, "SELECT count(*) FROM keys WHERE parent IS NULL AND id BETWEEN 1 AND 4", &roots, why))
    return false;
  if (roots != "4") {
    *why = "not a whole registry: " + roots + " of its 4 root keys are there";
    return false;
  }
  return true;
}

// A database damaged on disk would open and then fail reads and take writes:
// it is refused when opened. The quick check reads every page once, which a
// registry of a terminal's size allows.
bool CheckIntact(sqlite3* db, std::string* why) {
  std::string answer;
  if (!PragmaText(db, "PRAGMA quick_check(1)", &answer, why)) {
    *why = "damaged: " + *why;
    return false;
  }
  if (answer == "ok") return true;
  *why = "damaged: " + answer;
  return false;
}

// A write-ahead log keeps the file whole through crashes and lets readers in
// other processes run beside a writer; NORMAL syncs at checkpoints, so a crash
// of the process loses nothing committed and a power cut at worst the last
// transactions, never consistency.
bool Configure(sqlite3* db, std::string* why) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  std::string mode;
  if (!PragmaText(db, "PRAGMA journal_mode = WAL", &mode, why)) return false;
  if (mode != "wal") {
    *why = "the file system does not support a write-ahead log (journal mode " + mode + ")";
    return false;
  }
  return Exec(db, "PRAGMA synchronous = NORMAL", why);
}

}  // namespace

RegistryStore::RegistryStore(OpenToken, std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegistryStore::~RegistryStore() = default;

namespace {

std::unique_ptr<RegistryStore::Impl> Connect(const fs::path& path, int flags, std::string* why) {
  auto impl = std::make_unique<RegistryStore::Impl>();
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  impl->db.reset(raw);
  if (rc != SQLITE_OK) {
    *why = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    return nullptr;
  }
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  return impl;
}

std::unique_ptr<RegistryStore> Fail(const fs::path& path, const std::string& why, std::string* error) {
  if (error) *error = path.string() + ": " + why;
  return nullptr;
}

}  // namespace

std::unique_ptr<RegistryStore> RegistryStore::Open(const fs::path& path, std::string* error) {
  std::string why;
  // The database and its companions are a terminal's state files: no link, no FIFO.
  if (!CheckDatabaseFiles(path, error)) return nullptr;
  struct ::stat st {};
  if (::lstat(path.c_str(), &st) != 0) return Fail(path, std::strerror(errno), error);
  // SQLite would take an empty file for a new database and fill it.
  if (st.st_size == 0) return Fail(path, "is empty (0 bytes), not a registry", error);
  // Checked before anything is written: a database that is not ours is left as it is.
  auto impl = Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, &why);
  if (!impl || !CheckSchema(*impl, &why) || !CheckIntact(impl->db.get(), &why) ||
      !Configure(impl->db.get(), &why)) {
    // A companion made a link meanwhile is named, not SQLite's "unable to open database file".
    if (!CheckDatabaseFiles(path, error)) return nullptr;
    return Fail(path, why, error);
  }
  return std::make_unique<RegistryStore>(OpenToken(), std::move(impl));
}

std::unique_ptr<RegistryStore> RegistryStore::Create(const fs::path& path, std::string* error) {
  std::string why;
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() != fs::file_type::not_found)
    return Fail(path, "already exists", error);
  auto impl = Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why);
  if (!impl || !Configure(impl->db.get(), &why) || !CreateSchema(*impl, &why)) return Fail(path, why, error);
  return std::make_unique<RegistryStore>(OpenToken(), std::move(impl));
}

// ---- Operations -------------------------------------------------------------

// Called with mu_ held.
template <class Body>
DWORD RegistryStore::InTransaction(bool write, Body&& body) {
  Transaction txn(impl_->db.get(), write);
  if (txn.status() != SQLITE_OK) return impl_->Error(txn.status());
  const DWORD rc = body(*impl_);
  if (rc != ERROR_SUCCESS) return rc;  // the transaction rolls back
  return impl_->Error(txn.Commit());
}

// A read of the database as it is now, with mu_ held: answers kept from an
// older state are dropped, so no later answer is older than this one.
template <class Body>
DWORD RegistryStore::ReadFresh(Body&& body) {
  return InTransaction(false, [&](Impl& db) {
    const DWORD rc = body(db);
    answers_.Seen(db.DataVersion());
    return rc;
  });
}

template <class Body>
DWORD RegistryStore::Reading(Body&& body) {
  std::lock_guard lock(mu_);
  return ReadFresh(body);
}

// Counted even when it fails: whether a failed commit reached the file is not
// known, and a needless reread costs little.
template <class Body>
DWORD RegistryStore::Writing(Body&& body) {
  std::lock_guard lock(mu_);
  const DWORD rc = InTransaction(true, body);
  Kernel::Get().registryWrites.fetch_add(1, std::memory_order_release);
  return rc;
}

// The answer kept for this question (kind, key, name) while it may be kept,
// else the database's, read by read(db, answer) and then kept.
template <class Read>
DWORD RegistryStore::Remembered(char16_t kind, KeyId key, std::u16string_view name, Answer* answer,
                                Read&& read) {
  std::lock_guard lock(mu_);
  answers_.Begin(Kernel::Get().registryWrites.load(std::memory_order_acquire));
  if (const Answer* known = answers_.Find(kind, key, name)) {
    *answer = *known;
    return answer->rc;
  }
  answer->rc = ReadFresh([&](Impl& db) { return read(db, answer); });
  if (answers_.Keepable(answer->rc)) answers_.Keep(kind, key, name, *answer);
  return answer->rc;
}

DWORD RegistryStore::OpenKey(KeyId key, std::u16string_view path, KeyId* result) {
  Answer opened{};
  const DWORD rc =
      Remembered(u'k', key, path, &opened, [&](Impl& db, Answer* a) { return db.Walk(key, path, &a->key); });
  if (rc == ERROR_SUCCESS) *result = opened.key;
  return rc;
}

DWORD RegistryStore::CreateKey(KeyId key, std::u16string_view path, std::u16string_view cls, KeyId* result,
                               bool* created) {
  return Writing([&](Impl& db) { return db.WalkCreating(key, path, cls, result, created); });
}

DWORD RegistryStore::DeleteKey(KeyId key, std::u16string_view path) {
  // Only an empty path deletes the key itself. One of nothing but backslashes
  // is a child name left out, and would otherwise take the whole tree with it.
  if (!path.empty() && path.find_first_not_of(u'\\') == std::u16string_view::npos)
    return ERROR_INVALID_PARAMETER;
  return Writing([&](Impl& db) {
    KeyId doomed = 0;
    const DWORD rc = db.Walk(key, path, &doomed);
    return rc == ERROR_SUCCESS ? db.DeleteTree(doomed) : rc;
  });
}

DWORD RegistryStore::QueryValue(KeyId key, std::u16string_view name, Value* result) {
  Answer read{};
  const DWORD rc = Remembered(u'v', key, name, &read,
                              [&](Impl& db, Answer* a) { return db.ReadValue(key, name, &a->value); });
  if (rc == ERROR_SUCCESS) *result = std::move(read.value);
  return rc;
}

DWORD RegistryStore::SetValue(KeyId key, std::u16string_view name, DWORD type,
                              std::span<const uint8_t> data) {
  // The bytes are kept as given whatever the type says of their size (an empty
  // REG_DWORD included): readers check the size they get back.
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return Writing([&](Impl& db) { return db.WriteValue(key, name, type, data); });
}

DWORD RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
  return Writing([&](Impl& db) { return db.RemoveValue(key, name); });
}

DWORD RegistryStore::EnumKey(KeyId key, DWORD index, SubKey* result) {
  return Reading([&](Impl& db) { return db.NthChild(key, index, result); });
}

DWORD RegistryStore::EnumValue(KeyId key, DWORD index, Value* result) {
  return Reading([&](Impl& db) { return db.NthValue(key, index, result); });
}

DWORD RegistryStore::QueryInfo(KeyId key, KeyInfo* result) {
  return Reading([&](Impl& db) { return db.Describe(key, result); });
}

bool RegistryStore::Seed(const json& seed, std::string* error) {
  std::vector<SeedKey> plan;
  std::string why;
  if (!PlanSeed(seed, &plan, &why)) {
    if (error) *error = "registry seed: " + why;
    return false;
  }
  std::string dbError;
  const DWORD rc = Writing([&](Impl& db) {
    const DWORD applied = db.ApplySeed(plan);
    if (applied != ERROR_SUCCESS) dbError = db.LastError();
    return applied;
  });
  if (rc == ERROR_SUCCESS) return true;
  if (error)
    *error = "registry seed: cannot be written (" +
             (dbError.empty() ? "error " + std::to_string(rc) : dbError) + ")";
  return false;
}

}  // namespace ce::sim
