#include "engine/json_util.h"
#include "engine/uapi.h"
#include "platform/text.h"
#include "store/local_time.h"
#include "store/sqlite.h"

namespace NVelmora {

TJson TVelmoraApiServer::OfflineNotesJson() {
  TJson Notes = TJson::array();
  DbTransaction->BeginIfNeeded();
  TStatement Select(*DbConnection, "SELECT id, title, body, created_at FROM offline_notes ORDER BY id DESC LIMIT 100;");
  while (Select.Step()) {
    TJson Note = TJson::object();
    Note["id"] = Select.Int("id");
    Note["title"] = Select.Text("title");
    Note["body"] = Select.Text("body");
    Note["created_at"] = Select.Text("created_at");
    Notes.push_back(std::move(Note));
  }
  return Notes;
}

std::int32_t TVelmoraApiServer::AddOfflineNote(std::string_view Title, std::string_view Body) {
  DbTransaction->BeginIfNeeded();
  {
    TStatement Insert(*DbConnection, "INSERT INTO offline_notes(title, body, created_at) VALUES(:t, :b, :c);");
    Insert.Bind(":t", Trim(Title)).Bind(":b", Trim(Body)).Bind(":c", LocalTimestamp()).Step();
  }
  DbTransaction->Commit();
  // The row id belongs to the connection and survives the commit; the caller's StoreLock
  // keeps any other insert from coming in between.
  DbTransaction->BeginIfNeeded();
  TStatement LastId(*DbConnection, "SELECT last_insert_rowid() AS nid;");
  LastId.Step();
  return LastId.Int("nid");
}

void TVelmoraApiServer::DeleteOfflineNote(std::int32_t Id) {
  DbTransaction->BeginIfNeeded();
  TStatement Delete(*DbConnection, "DELETE FROM offline_notes WHERE id = :id;");
  Delete.Bind(":id", static_cast<std::int64_t>(Id)).Step();
  DbTransaction->Commit();
}

} // namespace NVelmora
