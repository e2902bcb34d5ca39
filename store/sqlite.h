#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace NVelmora {

class TStoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// One open SQLite connection; closing it rolls back a transaction still open.
class TDatabase {
public:
  // Opens Path read-write, creating the file when it is missing. Throws TStoreError.
  explicit TDatabase(const std::string& Path);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  // Runs a statement text without parameters. Throws TStoreError.
  void Exec(const char* Sql);
  // True while an explicit transaction is open on the connection.
  bool InTransaction() const;
  sqlite3* Handle() const { return Db_; }

private:
  sqlite3* Db_ = nullptr;
};

// The connection's one deferred transaction. SQLite itself is asked whether it is open,
// so the record stays right even when SQLite ended the transaction after an error.
class TTransaction {
public:
  explicit TTransaction(TDatabase& Db) : Db_(Db) {}
  void BeginIfNeeded();
  void Commit();

private:
  TDatabase& Db_;
};

// A prepared statement with named parameters (":k" style) and columns read by name.
class TStatement {
public:
  TStatement(TDatabase& Db, std::string_view Sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  TStatement& Bind(const char* Name, std::string_view Value);
  TStatement& Bind(const char* Name, std::int64_t Value);
  // Runs to the next row: true while a row is ready, false when done. Throws TStoreError.
  bool Step();
  std::string Text(const char* Column) const;
  std::int32_t Int(const char* Column) const;

private:
  int ParameterIndex(const char* Name) const;
  int ColumnIndex(const char* Column) const;

  TDatabase& Db_;
  sqlite3_stmt* Stmt_ = nullptr;
};

} // namespace NVelmora
