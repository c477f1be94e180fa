// Small RAII helpers over SQLite: handles, one use of a prepared statement,
// and a transaction that rolls back unless committed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ce/types.h"

namespace ce::sim {

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, CloseDb>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

inline std::span<const uint8_t> AsBytes(std::u16string_view text) {
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

  Query& Bind(int index, int64_t value) {
    return Check(stmt_ ? sqlite3_bind_int64(stmt_, index, value) : rc_);
  }
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

// The device error for an SQLite result code; systemError is the errno of the
// file operation that failed (sqlite3_system_errno), 0 when none did.
DWORD FromSqlite(int rc, int systemError = 0);

// Runs SQL that returns no rows; false with why on failure.
bool Exec(sqlite3* db, const char* sql, std::string* why);
// The one-row, one-column answer of a pragma, as text.
bool PragmaText(sqlite3* db, const char* sql, std::string* answer, std::string* why);

}  // namespace ce::sim
