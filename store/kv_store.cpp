#include "engine/uapi.h"

#include "platform/files.h"
#include "store/sqlite.h"

namespace NVelmora {

void TVelmoraApiServer::OpenDatabase() {
  // Created private: the database holds the user's bearer token.
  EnsureDirectory(AppDir + "data", 0700);
  const std::string Path = AppDir + "data" + "/" + "velmora.sqlite3";
  DbConnection = std::make_unique<TDatabase>(Path);
  DbTransaction = std::make_unique<TTransaction>(*DbConnection);
  DbTransaction->BeginIfNeeded();
  DbConnection->Exec("PRAGMA busy_timeout=5000;");
  DbConnection->Exec("CREATE TABLE IF NOT EXISTS kv_store (  k TEXT PRIMARY KEY,  v TEXT NOT NULL);");
  DbConnection->Exec(
      "CREATE TABLE IF NOT EXISTS saved_jobs (  id INTEGER PRIMARY KEY AUTOINCREMENT,  slug TEXT NOT NULL UNIQUE,  "
      "title TEXT NOT NULL,  employer_name TEXT NOT NULL DEFAULT '',  country TEXT NOT NULL DEFAULT '',  "
      "city TEXT NOT NULL DEFAULT '',  salary TEXT NOT NULL DEFAULT '',  sponsorship_badge TEXT NOT NULL DEFAULT '',  "
      "apply_url TEXT NOT NULL DEFAULT '',  saved_at TEXT NOT NULL);");
  DbConnection->Exec(
      "CREATE TABLE IF NOT EXISTS offline_notes (  id INTEGER PRIMARY KEY AUTOINCREMENT,  title TEXT NOT NULL,  "
      "body TEXT NOT NULL DEFAULT '',  created_at TEXT NOT NULL);");
  DbTransaction->Commit();
}

std::string TVelmoraApiServer::KvGet(const std::string& Key, const std::string& Default) {
  DbTransaction->BeginIfNeeded();
  TStatement Select(*DbConnection, "SELECT v FROM kv_store WHERE k = :k LIMIT 1;");
  Select.Bind(":k", Key);
  return Select.Step() ? Select.Text("v") : Default;
}

void TVelmoraApiServer::KvSet(const std::string& Key, const std::string& Value) {
  DbTransaction->BeginIfNeeded();
  TStatement Insert(*DbConnection, "INSERT OR REPLACE INTO kv_store(k, v) VALUES(:k, :v);");
  Insert.Bind(":k", Key).Bind(":v", Value).Step();
  DbTransaction->Commit();
}

void TVelmoraApiServer::KvDelete(const std::string& Key) {
  DbTransaction->BeginIfNeeded();
  TStatement Delete(*DbConnection, "DELETE FROM kv_store WHERE k = :k;");
  Delete.Bind(":k", Key).Step();
  DbTransaction->Commit();
}

} // namespace NVelmora
