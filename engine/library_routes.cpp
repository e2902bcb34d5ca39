#include "engine/json_util.h"
#include "engine/routes.h"
#include "platform/text.h"

#include <cmath>
#include <limits>

namespace NVelmora {
namespace {

// The "id" member as a note id: integers as they are, fractions to the nearest integer
// with halves to the even one. Anything outside the signed 32-bit range (which must not
// wrap onto another note), or not a number, gives 0.
std::int32_t NoteIdMember(const TJson& Object) {
  const auto It = Object.find("id");
  if (It == Object.end() || !It->is_number()) {
    return 0;
  }
  constexpr auto Min = std::numeric_limits<std::int32_t>::min();
  constexpr auto Max = std::numeric_limits<std::int32_t>::max();
  if (It->is_number_unsigned()) {
    const auto Value = It->get<std::uint64_t>();
    return Value <= static_cast<std::uint64_t>(Max) ? static_cast<std::int32_t>(Value) : 0;
  }
  if (It->is_number_integer()) {
    const auto Value = It->get<std::int64_t>();
    return Value >= Min && Value <= Max ? static_cast<std::int32_t>(Value) : 0;
  }
  const double Rounded = std::nearbyint(It->get<double>());
  return Rounded >= Min && Rounded <= Max ? static_cast<std::int32_t>(Rounded) : 0;
}

} // namespace

void RouteToggleSavedJob(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const std::optional<TJson> Job = ParseJsonObject(Request.Body);
  if (!Job) {
    SendJson(Engine, R"({"ok":false,"error":"Invalid payload."})", 400, Response);
    return;
  }
  bool Saved = false;
  bool Done = false;
  {
    std::lock_guard Guard(Engine.StoreLock);
    Done = Engine.ToggleSavedJob(*Job, Saved);
  }
  if (!Done) {
    SendJson(Engine, R"({"ok":false,"error":"Job slug required."})", 400, Response);
    return;
  }
  SendJson(Engine, Saved ? R"({"ok":true,"saved":true})" : R"({"ok":true,"saved":false})", 200, Response);
}

void RouteAddOfflineNote(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const std::optional<TJson> Note = ParseJsonObject(Request.Body);
  const std::string Title = Note ? StringMember(*Note, "title") : std::string();
  if (Trim(Title).empty()) {
    SendJson(Engine, R"({"ok":false,"error":"Title is required."})", 400, Response);
    return;
  }
  std::int32_t Id = 0;
  {
    std::lock_guard Guard(Engine.StoreLock);
    Id = Engine.AddOfflineNote(Title, StringMember(*Note, "body"));
  }
  SendJson(Engine, R"({"ok":true,"id":)" + std::to_string(Id) + "}", 200, Response);
}

void RouteDeleteOfflineNote(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  if (const std::optional<TJson> Payload = ParseJsonObject(Request.Body)) {
    if (const std::int32_t Id = NoteIdMember(*Payload); Id >= 1) {
      std::lock_guard Guard(Engine.StoreLock);
      Engine.DeleteOfflineNote(Id);
    }
  }
  SendJson(Engine, R"({"ok":true})", 200, Response);
}

} // namespace NVelmora
