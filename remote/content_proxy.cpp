#include "engine/routes.h"
#include "platform/text.h"

#include <array>
#include <utility>

namespace NVelmora {
namespace {

constexpr std::string_view OfflineAnswer =
    R"({"success":false,"offline":true,"message":"Velmora live server is offline right now. Your saved jobs and offline notes remain available."})";

constexpr std::array<std::pair<std::string_view, const char*>, 6> CachedPages = {{
    {"/home", "cache_home"},
    {"/jobs", "cache_jobs"},
    {"/blog", "cache_blog"},
    {"/community", "cache_community"},
    {"/scam-alerts", "cache_scams"},
    {"/courses", "cache_courses"},
}};

// Only a plain GET of one of the six pages is kept for offline use.
const char* CacheKey(const THttpRequest& Request, std::string_view RemotePath) {
  if (Request.Method != "GET" || !Request.Query.empty()) {
    return nullptr;
  }
  for (const auto& [Path, Key] : CachedPages) {
    if (Path == RemotePath) {
      return Key;
    }
  }
  return nullptr;
}

} // namespace

void RouteContentProxy(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const std::string_view RemotePath = std::string_view(Request.Path).substr(7);
  std::string Url = Engine.ApiBase + std::string(RemotePath);
  if (!Request.Query.empty()) {
    Url += "?" + Request.Query;
  }
  std::string Token;
  {
    std::lock_guard Guard(Engine.StoreLock);
    Token = std::string(Trim(Engine.KvGet("auth_token", "")));
  }
  const char* Key = CacheKey(Request, RemotePath);

  std::string Body;
  int Status = 0;
  const bool Reached = Engine.RemoteRequest(Request.Method, Url, Request.Body, Token, Body, Status);
  if (Reached && !Body.empty() && (Body.front() == '{' || Body.front() == '[')) {
    if (Status == 200 && Key != nullptr) {
      std::lock_guard Guard(Engine.StoreLock);
      Engine.KvSet(Key, Body);
    }
    if (Status == 401) {
      // Only the session whose token was refused ends: a sign-in that finished while this
      // request was on its way holds a new token, which the service has not judged.
      std::lock_guard Guard(Engine.StoreLock);
      if (Trim(Engine.KvGet("auth_token", "")) == Token) {
        Engine.KvDelete("auth_token");
        Engine.KvDelete("user_json");
      }
    }
    SendJson(Engine, Body, Status, Response);
    return;
  }
  if (Key != nullptr) {
    std::string Cached;
    {
      std::lock_guard Guard(Engine.StoreLock);
      Cached = Engine.KvGet(Key, "");
    }
    if (!Cached.empty()) {
      SendJson(Engine, Cached, 200, Response);
      return;
    }
  }
  SendJson(Engine, OfflineAnswer, 503, Response);
}

} // namespace NVelmora
