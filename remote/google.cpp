#include "remote/google.h"

#include "engine/json_util.h"
#include "engine/routes.h"
#include "platform/process.h"
#include "platform/text.h"

namespace NVelmora {
namespace {

constexpr std::string_view SuccessPage =
    R"(<!doctype html><html><head><meta charset="utf-8"><title>Velmora — Signed in with Google</title><style>body{font-family:system-ui,-apple-system,sans-serif;background:#f8fafc;color:#0f172a;display:grid;place-items:center;min-height:100vh;margin:0;}.card{background:#fff;border:1px solid #e2e8f0;border-radius:18px;padding:2rem 2.4rem;text-align:center;max-width:420px;box-shadow:0 12px 32px rgba(15,23,42,.08);}.ok{width:54px;height:54px;border-radius:50%;background:#dcfce7;color:#15803d;display:grid;place-items:center;font-size:28px;font-weight:900;margin:0 auto 1rem;}h2{margin:0 0 .5rem;font-size:1.3rem;}p{margin:0;color:#475569;font-size:.94rem;line-height:1.5;}</style></head><body><div class="card"><div class="ok">&#10003;</div><h2>Signed In with Google!</h2><p>Your Velmora account and permissions are now synced. You can safely close this browser tab and return to the Velmora app.</p><script>setTimeout(function(){try{window.close();}catch(e){}}, 1600);</script></div></body></html>)";

constexpr std::string_view FailurePage =
    R"(<!doctype html><html><body style="font-family:system-ui;padding:2rem;text-align:center;"><h3>Google Sign-In could not be completed.</h3><p>Please return to Velmora and try again.</p></body></html>)";

void SendFailurePage(THttpResponse& Response) {
  Response.Status = 400;
  Response.ContentType = "text/html; charset=utf-8";
  Response.SetText(std::string(FailurePage));
}

// Hands the address to the desktop's browser; whatever goes wrong is ignored.
void OpenInBrowser(const std::string& Url) noexcept {
  try {
    if (const std::string Opener = FindProgramOr("xdg-open", "/usr/bin/xdg-open"); !Opener.empty()) {
      StartDetached(Opener, {Url});
    }
  } catch (...) {
  }
}

} // namespace

std::string GoogleStartUrl(std::string_view ApiBase, std::uint16_t Port) {
  std::string Root(ApiBase);
  if (const std::size_t At = ToLowerAscii(Root).find("/api/v1"); At != std::string::npos) {
    Root.erase(At, 7);
  }
  if (!Root.empty() && Root.back() == '/') {
    Root.pop_back();
  }
  return Root + "/auth/google?native_callback=http%3A%2F%2F127.0.0.1%3A" + std::to_string(Port) +
         "%2Fapi%2Fauth%2Fgoogle-callback";
}

void RouteGoogleStart(TVelmoraApiServer& Engine, const THttpRequest&, THttpResponse& Response) {
  const std::string Url = GoogleStartUrl(Engine.ApiBase, Engine.Port.load());
  OpenInBrowser(Url);
  SendJson(Engine, R"({"ok":true,"url":)" + WriteJson(TJson(Url)) + "}", 200, Response);
}

void RouteGoogleCallback(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const std::string Token(Trim(Request.QueryField("token").value_or("")));
  if (Token.empty()) {
    return SendFailurePage(Response);
  }
  std::string Body;
  int Status = 0;
  if (!Engine.RemoteRequest("GET", Engine.ApiBase + "/me", "", Token, Body, Status) || Status != 200) {
    return SendFailurePage(Response);
  }
  // A 200 without a JSON object confirms nothing: the user must not be told they are
  // signed in when nothing was stored.
  const std::optional<TJson> Answer = ParseJsonObject(Body);
  if (!Answer) {
    return SendFailurePage(Response);
  }
  {
    const auto User = Answer->find("user");
    std::lock_guard Guard(Engine.StoreLock);
    Engine.KvSet("auth_token", Token);
    if (User != Answer->end() && User->is_object()) {
      Engine.KvSet("user_json", WriteJson(*User));
    }
  }
  Response.Status = 200;
  Response.ContentType = "text/html; charset=utf-8";
  Response.SetHeader("Connection", "close");
  Response.SetText(std::string(SuccessPage));
}

} // namespace NVelmora
