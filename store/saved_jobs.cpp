#include "engine/json_util.h"
#include "engine/uapi.h"
#include "platform/text.h"
#include "store/local_time.h"
#include "store/sqlite.h"

namespace NVelmora {

TJson TVelmoraApiServer::SavedJobsJson() {
  TJson Jobs = TJson::array();
  DbTransaction->BeginIfNeeded();
  TStatement Select(*DbConnection,
                    "SELECT id, slug, title, employer_name, country, city, salary, sponsorship_badge, apply_url, "
                    "saved_at FROM saved_jobs ORDER BY id DESC LIMIT 120;");
  while (Select.Step()) {
    TJson Job = TJson::object();
    Job["id"] = Select.Int("id");
    for (const char* Column : {"slug", "title", "employer_name", "country", "city", "salary", "sponsorship_badge",
                               "apply_url", "saved_at"}) {
      Job[Column] = Select.Text(Column);
    }
    Jobs.push_back(std::move(Job));
  }
  return Jobs;
}

bool TVelmoraApiServer::ToggleSavedJob(const TJson& Job, bool& Saved) {
  Saved = false;
  const std::string Slug(Trim(StringMember(Job, "slug")));
  std::string Title(Trim(StringMember(Job, "title")));
  if (Slug.empty()) {
    return false;
  }
  // The count and the write share one transaction: open at the count, committed by the write.
  DbTransaction->BeginIfNeeded();
  std::int32_t Saves = 0;
  {
    TStatement Count(*DbConnection, "SELECT COUNT(*) AS cnt FROM saved_jobs WHERE slug = :s;");
    Count.Bind(":s", Slug).Step();
    Saves = Count.Int("cnt");
  }
  if (Saves > 0) {
    TStatement Delete(*DbConnection, "DELETE FROM saved_jobs WHERE slug = :s;");
    Delete.Bind(":s", Slug).Step();
    DbTransaction->Commit();
    Saved = false;
    return true;
  }
  if (Title.empty()) {
    Title = Slug;
  }
  TStatement Insert(*DbConnection,
                    "INSERT INTO saved_jobs(slug, title, employer_name, country, city, salary, sponsorship_badge, "
                    "apply_url, saved_at) VALUES(:s, :t, :e, :co, :ci, :sa, :sb, :au, :dt);");
  Insert.Bind(":s", Slug)
      .Bind(":t", Title)
      .Bind(":e", StringMember(Job, "employer_name"))
      .Bind(":co", StringMember(Job, "country"))
      .Bind(":ci", StringMember(Job, "city"))
      .Bind(":sa", StringMember(Job, "salary"))
      .Bind(":sb", StringMember(Job, "sponsorship_badge"))
      .Bind(":au", StringMember(Job, "apply_url"))
      .Bind(":dt", LocalTimestamp())
      .Step();
  DbTransaction->Commit();
  Saved = true;
  return true;
}

} // namespace NVelmora
