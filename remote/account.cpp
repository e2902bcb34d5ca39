#include "engine/json_util.h"
#include "engine/routes.h"
#include "platform/text.h"

namespace NVelmora {
namespace {

constexpr std::string_view ServiceHost = "velmora.app";

} // namespace

void RouteSignIn(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  // The remote path is the local one without "/api"; a stored token is never sent here.
  const std::string Url = Engine.ApiBase + Request.Path.substr(4);
  std::string Body;
  int Status = 0;
  if (!Engine.RemoteRequest("POST", Url, Request.Body, "", Body, Status)) {
    SendJson(Engine,
             R"({"success":false,"offline":true,"message":"Unable to reach )" + std::string(ServiceHost) +
                 R"(. Check your internet connection."})",
             503, Response);
    return;
  }
  if (const std::optional<TJson> Answer = ParseJsonObject(Body); Answer && Status >= 200 && Status <= 299) {
    const std::string Token = StringMember(*Answer, "token");
    if (!Trim(Token).empty()) {
      const auto User = Answer->find("user");
      std::lock_guard Guard(Engine.StoreLock);
      Engine.KvSet("auth_token", Token);
      if (User != Answer->end() && User->is_object()) {
        Engine.KvSet("user_json", WriteJson(*User));
      }
    }
  }
  if (Body.empty() || Body.front() != '{') {
    SendJson(Engine, R"({"success":false,"message":"Unexpected server response."})", 502, Response);
    return;
  }
  SendJson(Engine, Body, Status, Response);
}

void RouteSignOut(TVelmoraApiServer& Engine, const THttpRequest&, THttpResponse& Response) {
  // The local session goes first, so signing out works without a network.
  std::string Token;
  {
    std::lock_guard Guard(Engine.StoreLock);
    Token = std::string(Trim(Engine.KvGet("auth_token", "")));
    Engine.KvDelete("auth_token");
    Engine.KvDelete("user_json");
  }
  if (!Token.empty()) {
    std::string Body;
    int Status = 0;
    Engine.RemoteRequest("POST", Engine.ApiBase + "/auth/logout", "{}", Token, Body, Status);
  }
  SendJson(Engine, R"({"success":true,"message":"Signed out cleanly."})", 200, Response);
}

} // namespace NVelmora
