#include "registry_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <chrono>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "ce/error.h"
#include "ce/registry.h"
#include "ce/string.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Names and string data are kept as the device keeps them, UTF-16LE; on a
// little-endian host that is the memory of a char16_t string.
static_assert(std::endian::native == std::endian::little);

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// FILETIME counts 100 ns from 1601; the Unix epoch is this many ticks later.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

// ---- SQLite handles ---------------------------------------------------------

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, CloseDb>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

std::span<const uint8_t> AsBytes(std::u16string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size() * sizeof(char16_t)};
}

// One use of a prepared statement: bind, step, read; reset when it goes.
class Query {
 public:
  Query(sqlite3_stmt* stmt, int rc) : stmt_(stmt), rc_(rc) {}
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  Query& Bind(int index, int64_t value) { return Check(stmt_ ? sqlite3_bind_int64(stmt_, index, value) : rc_); }
  Query& Bind(int index, std::span<const uint8_t> bytes) {
    // A null pointer would bind NULL; an empty blob needs a real one.
    static const uint8_t kEmpty = 0;
    const void* data = bytes.empty() ? &kEmpty : bytes.data();
    return Check(stmt_ ? sqlite3_bind_blob64(stmt_, index, data, bytes.size(), SQLITE_TRANSIENT) : rc_);
  }
  Query& Bind(int index, std::u16string_view text) { return Bind(index, AsBytes(text)); }

  // SQLITE_ROW, SQLITE_DONE or the error of preparing, binding or stepping.
  int Step() { return rc_ != SQLITE_OK ? rc_ : sqlite3_step(stmt_); }

  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  std::vector<uint8_t> Bytes(int column) const {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
  }
  std::u16string Text(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    std::u16string text(static_cast<size_t>(sqlite3_column_bytes(stmt_, column)) / 2, u'\0');
    if (data && !text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    return text;
  }

 private:
  Query& Check(int rc) {
    if (rc_ == SQLITE_OK) rc_ = rc;
    return *this;
  }
  sqlite3_stmt* stmt_;
  int rc_;
};

// BEGIN on construction, ROLLBACK unless committed. Writers take the write lock
// up front (IMMEDIATE): a reader upgrading later could fail without waiting.
class Transaction {
 public:
  Transaction(sqlite3* db, bool write) : db_(db) {
    rc_ = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    open_ = rc_ == SQLITE_OK;
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  int status() const { return rc_; }
  int Commit() {
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  sqlite3* db_;
  int rc_;
  bool open_ = false;
};

DWORD FromSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_SHARING_VIOLATION;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

uint64_t NowFileTime() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100) +
         kUnixEpochTicks;
}

// ---- Names ------------------------------------------------------------------

using Path = std::vector<std::u16string_view>;

// Splits a key path into names. A leading backslash is accepted as on the
// device, and a trailing one; an empty or over-long name is an error.
DWORD SplitPath(std::u16string_view path, Path* names) {
  names->clear();
  if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  while (true) {
    const size_t end = path.find(u'\\', start);
    const std::u16string_view name = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->push_back(name);
    if (end == std::u16string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
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

// ---- Seed parsing -----------------------------------------------------------

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

// Strict UTF-8 (no overlong forms, no surrogates) to UTF-16.
bool DecodeUtf8(std::string_view in, std::u16string* out) {
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  out->clear();
  size_t i = 0;
  while (i < in.size()) {
    const auto lead = static_cast<unsigned char>(in[i]);
    int extra = 0;
    if (lead >= 0x80) {
      if ((lead & 0xE0) == 0xC0) extra = 1;
      else if ((lead & 0xF0) == 0xE0) extra = 2;
      else if ((lead & 0xF8) == 0xF0) extra = 3;
      else return false;
    }
    if (in.size() - i <= static_cast<size_t>(extra)) return false;
    char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(in[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      out->push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += 1 + extra;
  }
  return true;
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
    *why = "unknown root; use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
           "HKEY_USERS or HKCR, HKCU, HKLM, HKU";
    return false;
  }
  if (slash != std::string::npos && !DecodeUtf8(std::string_view(label).substr(slash + 1), &key->path)) {
    *why = "the key name is not valid UTF-8";
    return false;
  }
  Path names;
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
  if (!v.is_string() || !DecodeUtf8(v.get_ref<const std::string&>(), text)) {
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
  const auto bytes = AsBytes(text);
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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
  *why = "must be a text, a non-negative integer, or an object with one member such as "
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
    const bool good = DecodeUtf8(name, &value.name) && value.name.size() <= kMaxValueNameLength &&
                      ParseSeedValue(v, &value, &problem);
    if (!good) {
      *why = "value \"" + name + "\": " + problem;
      return false;
    }
    key->values.push_back(std::move(value));
  }
  return true;
}

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
    Path names;
    SplitPath(key.path, &names);
    std::u16string where(1, static_cast<char16_t>(key.root));
    for (auto name : names) where += u'\\' + RegistryStore::FoldName(name);
    for (const SeedValue& value : key.values) {
      if (!seen.emplace(where, RegistryStore::FoldName(value.name)).second) {
        *error = label + ": value \"" + value.spelled +
                 "\" is given twice (names are compared without regard to case)";
        return false;
      }
    }
    plan->push_back(std::move(key));
  }
  return true;
}

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

  // Runs a statement that returns no rows.
  DWORD Run(Query& q) {
    const int rc = q.Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : FromSqlite(rc);
  }

  // ERROR_SUCCESS when a row came, notFound when none did.
  static DWORD Found(int rc, DWORD notFound) {
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? notFound : FromSqlite(rc);
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
    const DWORD rc = Run(q.Bind(1, parent).Bind(2, name).Bind(3, FoldName(name)).Bind(4, cls).Bind(
        5, static_cast<int64_t>(NowFileTime())));
    if (rc != ERROR_SUCCESS) return rc;
    *child = sqlite3_last_insert_rowid(db.get());
    return Touch(parent);
  }

  DWORD Walk(KeyId key, std::u16string_view path, KeyId* result) {
    Path names;
    DWORD rc = SplitPath(path, &names);
    if (rc == ERROR_SUCCESS) rc = CheckKey(key);
    for (size_t i = 0; i < names.size() && rc == ERROR_SUCCESS; ++i) rc = FindChild(key, names[i], &key);
    if (rc == ERROR_SUCCESS) *result = key;
    return rc;
  }

  DWORD WalkCreating(KeyId key, std::u16string_view path, std::u16string_view cls, KeyId* result,
                     bool* created) {
    Path names;
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
    Query values = Sql(
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM vals WHERE key IN tree");
    DWORD rc = Run(values.Bind(1, key));
    if (rc != ERROR_SUCCESS) return rc;
    Query keys = Sql(
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
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
    Query q = Sql(
        "INSERT INTO vals(key, name, folded, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
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
    Query keys = Sql(
        "SELECT count(*), ifnull(max(length(name)), 0) / 2, ifnull(max(length(class)), 0) / 2 "
        "FROM keys WHERE parent = ?1");
    rc = Found(keys.Bind(1, key).Step(), ERROR_KEY_DELETED);
    if (rc != ERROR_SUCCESS) return rc;
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLength = static_cast<DWORD>(keys.Int(1));
    info->maxClassLength = static_cast<DWORD>(keys.Int(2));
    Query values = Sql(
        "SELECT count(*), ifnull(max(length(name)), 0) / 2, ifnull(max(length(data)), 0) "
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
};

// ---- Opening ----------------------------------------------------------------

namespace {

bool Exec(sqlite3* db, const char* sql, std::string* why) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  *why = sqlite3_errmsg(db);
  return false;
}

// The one-row, one-column answer of a pragma, as text.
bool PragmaText(sqlite3* db, const char* sql, std::string* answer, std::string* why) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  StatementHandle stmt(raw);
  if (rc != SQLITE_OK || sqlite3_step(stmt.get()) != SQLITE_ROW) {
    *why = sqlite3_errmsg(db);
    return false;
  }
  const auto* text = sqlite3_column_text(stmt.get(), 0);
  *answer = text ? reinterpret_cast<const char*>(text) : "";
  return true;
}

bool AddRoots(RegistryStore::Impl& impl, std::string* why) {
  for (const auto& [root, name] : kRootNames) {
    Query q = impl.Sql("INSERT INTO keys(id, parent, name, folded, class, written) VALUES (?1, NULL, ?2, ?3, x'', ?4)");
    q.Bind(1, RegistryStore::RootKey(root)).Bind(2, name).Bind(3, RegistryStore::FoldName(name));
    if (impl.Run(q.Bind(4, static_cast<int64_t>(NowFileTime()))) != ERROR_SUCCESS) {
      *why = impl.LastError();
      return false;
    }
  }
  return true;
}

// Creates the tables and the four roots in a new database; checks the version of an old one.
bool PrepareSchema(RegistryStore::Impl& impl, std::string* why) {
  sqlite3* db = impl.db.get();
  Transaction txn(db, /*write=*/true);
  std::string version;
  if (txn.status() != SQLITE_OK || !PragmaText(db, "PRAGMA user_version", &version, why)) {
    if (why->empty()) *why = sqlite3_errmsg(db);
    return false;
  }
  if (std::stoi(version) > kSchemaVersion) {
    *why = "made by a newer version of this program (schema " + version + ")";
    return false;
  }
  if (std::stoi(version) == 0) {
    if (!Exec(db, kCreateSchema, why) || !AddRoots(impl, why)) return false;
    if (!Exec(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str(), why)) return false;
  }
  if (txn.Commit() != SQLITE_OK) {
    *why = sqlite3_errmsg(db);
    return false;
  }
  return true;
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

std::unique_ptr<RegistryStore> RegistryStore::Open(const fs::path& path, std::string* error) {
  auto impl = std::make_unique<Impl>();
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  impl->db.reset(raw);
  std::string why;
  if (rc != SQLITE_OK) {
    why = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
  } else if (Configure(raw, &why) && PrepareSchema(*impl, &why)) {
    return std::make_unique<RegistryStore>(OpenToken(), std::move(impl));
  }
  if (error) *error = path.string() + ": " + why;
  return nullptr;
}

// ---- Operations -------------------------------------------------------------

template <class Body>
DWORD RegistryStore::InTransaction(bool write, Body&& body) {
  std::lock_guard lock(mu_);
  Transaction txn(impl_->db.get(), write);
  if (txn.status() != SQLITE_OK) return FromSqlite(txn.status());
  const DWORD rc = body(*impl_);
  if (rc != ERROR_SUCCESS) return rc;  // the transaction rolls back
  return FromSqlite(txn.Commit());
}

DWORD RegistryStore::OpenKey(KeyId key, std::u16string_view path, KeyId* result) {
  return InTransaction(false, [&](Impl& db) { return db.Walk(key, path, result); });
}

DWORD RegistryStore::CreateKey(KeyId key, std::u16string_view path, std::u16string_view cls, KeyId* result,
                               bool* created) {
  return InTransaction(true, [&](Impl& db) { return db.WalkCreating(key, path, cls, result, created); });
}

DWORD RegistryStore::DeleteKey(KeyId key, std::u16string_view path) {
  return InTransaction(true, [&](Impl& db) {
    KeyId doomed = 0;
    const DWORD rc = db.Walk(key, path, &doomed);
    return rc == ERROR_SUCCESS ? db.DeleteTree(doomed) : rc;
  });
}

DWORD RegistryStore::QueryValue(KeyId key, std::u16string_view name, Value* result) {
  return InTransaction(false, [&](Impl& db) { return db.ReadValue(key, name, result); });
}

DWORD RegistryStore::SetValue(KeyId key, std::u16string_view name, DWORD type, std::span<const uint8_t> data) {
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  if ((type == REG_DWORD && data.size() != 4) || (type == REG_QWORD && data.size() != 8))
    return ERROR_INVALID_PARAMETER;
  return InTransaction(true, [&](Impl& db) { return db.WriteValue(key, name, type, data); });
}

DWORD RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
  return InTransaction(true, [&](Impl& db) { return db.RemoveValue(key, name); });
}

DWORD RegistryStore::EnumKey(KeyId key, DWORD index, SubKey* result) {
  return InTransaction(false, [&](Impl& db) { return db.NthChild(key, index, result); });
}

DWORD RegistryStore::EnumValue(KeyId key, DWORD index, Value* result) {
  return InTransaction(false, [&](Impl& db) { return db.NthValue(key, index, result); });
}

DWORD RegistryStore::QueryInfo(KeyId key, KeyInfo* result) {
  return InTransaction(false, [&](Impl& db) { return db.Describe(key, result); });
}

bool RegistryStore::Seed(const json& seed, std::string* error) {
  std::vector<SeedKey> plan;
  std::string why;
  if (!PlanSeed(seed, &plan, &why)) {
    if (error) *error = "registry seed: " + why;
    return false;
  }
  std::string dbError;
  const DWORD rc = InTransaction(true, [&](Impl& db) {
    const DWORD applied = db.ApplySeed(plan);
    if (applied != ERROR_SUCCESS) dbError = db.LastError();
    return applied;
  });
  if (rc == ERROR_SUCCESS) return true;
  if (error) *error = "registry seed: cannot be written (" + (dbError.empty() ? "error " + std::to_string(rc) : dbError) + ")";
  return false;
}

std::u16string RegistryStore::FoldName(std::u16string_view name) {
  std::u16string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), ce::towupper);
  return folded;
}

}  // namespace ce::sim
