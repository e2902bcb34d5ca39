#include "engine/json_util.h"
#include "engine/routes.h"
#include "platform/text.h"

namespace NVelmora {

std::string TVelmoraApiServer::BuildSessionJson(bool Refresh) {
  std::string Token;
  std::string UserText;
  {
    std::lock_guard Guard(StoreLock);
    Token = std::string(Trim(KvGet("auth_token", "")));
    UserText = KvGet("user_json", "");
  }

  // The lock is never held across the remote call, which can take up to 12 seconds.
  if (Refresh && !Token.empty()) {
    std::string Body;
    int Status = 0;
    if (RemoteRequest("GET", ApiBase + "/me", "", Token, Body, Status)) {
      if (Status == 200) {
        const std::optional<TJson> Answer = ParseJsonObject(Body);
        if (Answer && Answer->contains("user") && (*Answer)["user"].is_object()) {
          UserText = WriteJson((*Answer)["user"]);
          std::lock_guard Guard(StoreLock);
          KvSet("user_json", UserText);
        }
      } else if (Status == 401) {
        // Only the session whose token was refused ends: a sign-in that finished while /me
        // was answering holds a new token, which the service has not judged.
        std::lock_guard Guard(StoreLock);
        if (Trim(KvGet("auth_token", "")) == Token) {
          KvDelete("auth_token");
          KvDelete("user_json");
        }
        Token.clear();
        UserText.clear();
      }
    }
  }

  TJson Payload = TJson::object();
  Payload["ok"] = true;
  Payload["authenticated"] = !Token.empty();
  if (std::optional<TJson> User = ParseJsonObject(UserText)) {
    Payload["user"] = std::move(*User);
  } else {
    Payload["user"] = nullptr;
  }
  {
    std::lock_guard Guard(StoreLock);
    Payload["saved_jobs"] = SavedJobsJson();
    Payload["offline_notes"] = OfflineNotesJson();
  }
  return WriteJson(Payload);
}

void RouteSession(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const bool Refresh = Request.QueryField("refresh") == std::optional<std::string>("1");
  SendJson(Engine, Engine.BuildSessionJson(Refresh), 200, Response);
}

} // namespace NVelmora
