#include "store/sqlite.h"

#include <sqlite3.h>

#include <cstring>

namespace NVelmora {
namespace {

[[noreturn]] void Fail(sqlite3* Db, std::string_view What) {
  std::string Message(What);
  Message += ": ";
  Message += Db != nullptr ? sqlite3_errmsg(Db) : "out of memory";
  throw TStoreError(Message);
}

} // namespace

TDatabase::TDatabase(const std::string& Path) {
  const int Rc = sqlite3_open_v2(Path.c_str(), &Db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (Rc != SQLITE_OK) {
    std::string Message = "cannot open " + Path + ": ";
    Message += Db_ != nullptr ? sqlite3_errmsg(Db_) : sqlite3_errstr(Rc);
    sqlite3_close(Db_);
    Db_ = nullptr;
    throw TStoreError(Message);
  }
}

TDatabase::~TDatabase() {
  sqlite3_close_v2(Db_);
}

void TDatabase::Exec(const char* Sql) {
  if (sqlite3_exec(Db_, Sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(Db_, Sql);
  }
}

bool TDatabase::InTransaction() const {
  return sqlite3_get_autocommit(Db_) == 0;
}

void TTransaction::BeginIfNeeded() {
  if (!Db_.InTransaction()) {
    Db_.Exec("BEGIN");
  }
}

void TTransaction::Commit() {
  Db_.Exec("COMMIT");
}

TStatement::TStatement(TDatabase& Db, std::string_view Sql) : Db_(Db) {
  if (sqlite3_prepare_v2(Db.Handle(), Sql.data(), static_cast<int>(Sql.size()), &Stmt_, nullptr) != SQLITE_OK) {
    Fail(Db.Handle(), "prepare");
  }
}

TStatement::~TStatement() {
  sqlite3_finalize(Stmt_);
}

int TStatement::ParameterIndex(const char* Name) const {
  const int Index = sqlite3_bind_parameter_index(Stmt_, Name);
  if (Index == 0) {
    throw TStoreError(std::string("no parameter ") + Name);
  }
  return Index;
}

TStatement& TStatement::Bind(const char* Name, std::string_view Value) {
  // A non-null pointer even for empty text: empty text is stored as text, never NULL.
  const char* Data = Value.empty() ? "" : Value.data();
  if (sqlite3_bind_text64(Stmt_, ParameterIndex(Name), Data, Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
    Fail(Db_.Handle(), "bind");
  }
  return *this;
}

TStatement& TStatement::Bind(const char* Name, std::int64_t Value) {
  if (sqlite3_bind_int64(Stmt_, ParameterIndex(Name), Value) != SQLITE_OK) {
    Fail(Db_.Handle(), "bind");
  }
  return *this;
}

bool TStatement::Step() {
  switch (sqlite3_step(Stmt_)) {
    case SQLITE_ROW:
      return true;
    case SQLITE_DONE:
      return false;
    default:
      Fail(Db_.Handle(), "step");
  }
}

int TStatement::ColumnIndex(const char* Column) const {
  const int Count = sqlite3_column_count(Stmt_);
  for (int I = 0; I < Count; ++I) {
    if (std::strcmp(sqlite3_column_name(Stmt_, I), Column) == 0) {
      return I;
    }
  }
  throw TStoreError(std::string("no column ") + Column);
}

std::string TStatement::Text(const char* Column) const {
  const int Index = ColumnIndex(Column);
  const auto* Data = reinterpret_cast<const char*>(sqlite3_column_text(Stmt_, Index));
  const int Size = sqlite3_column_bytes(Stmt_, Index);
  return Data == nullptr ? std::string() : std::string(Data, static_cast<size_t>(Size));
}

std::int32_t TStatement::Int(const char* Column) const {
  return sqlite3_column_int(Stmt_, ColumnIndex(Column));
}

} // namespace NVelmora
