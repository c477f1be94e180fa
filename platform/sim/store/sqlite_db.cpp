#include "sqlite_db.h"

#include <cerrno>

#include "ce/error.h"

namespace ce::sim {

DWORD FromSqlite(int rc, int systemError) {
  switch (rc & 0xff) {
    case SQLITE_OK:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
      // The file system's reason, when it gave one, is the better answer.
      switch (systemError) {
        case EACCES:
        case EPERM:
        case EROFS:
          return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
          return ERROR_DISK_FULL;
        default:
          return ERROR_GEN_FAILURE;
      }
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

bool Exec(sqlite3* db, const char* sql, std::string* why) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  *why = sqlite3_errmsg(db);
  return false;
}

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

}  // namespace ce::sim
