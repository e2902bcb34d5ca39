#include "engine/routes.h"

#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace NVelmora {
namespace {

constexpr std::string_view JsonType = "application/json; charset=utf-8";
constexpr std::string_view Forbidden = R"({"ok":false,"error":"Forbidden."})";

// Only loopback names may reach the engine: a page on another host name that resolves to
// 127.0.0.1 (DNS rebinding) must not read the user's library.
bool IsLoopbackHost(std::string_view Host) {
  std::string_view Name = Host;
  if (StartsWith(Host, "[")) {
    const std::size_t Close = Host.find(']');
    if (Close == std::string_view::npos) {
      return false;
    }
    Name = Host.substr(0, Close + 1);
    const std::string_view Rest = Host.substr(Close + 1);
    if (!Rest.empty() && Rest.front() != ':') {
      return false;
    }
  } else {
    Name = Host.substr(0, Host.find(':'));
  }
  const std::string Lower = ToLowerAscii(Name);
  return Lower == "127.0.0.1" || Lower == "localhost" || Lower == "[::1]";
}

// Web pages of other origins open in the user's browser must not act on the engine.
bool IsOwnOrigin(std::string_view Origin, std::uint16_t Port) {
  const std::string PortText = std::to_string(Port);
  return Origin == "http://127.0.0.1:" + PortText || Origin == "http://localhost:" + PortText;
}

bool IsSignInPath(std::string_view Path) {
  return Path == "/api/auth/login" || Path == "/api/auth/mfa-verify" || Path == "/api/auth/register" ||
         Path == "/api/auth/send-code" || Path == "/api/auth/google";
}

void Route(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  const std::string_view Method = Request.Method;
  const std::string_view Path = Request.Path.empty() ? std::string_view("/") : std::string_view(Request.Path);
  const bool Get = Method == "GET";
  const bool Post = Method == "POST";
  auto Ui = [&](const char* Name) { return Engine.AppDir + "ui/" + Name; };

  if (Get && (Path == "/" || Path == "/index.html")) {
    SendFile(Engine, Ui("index.html"), "text/html; charset=utf-8", Response);
  } else if (Get && Path == "/app-icon.png") {
    SendFile(Engine, Ui("app-icon.png"), "image/png", Response);
  } else if (Get && Path == "/official-logo.png") {
    SendFile(Engine, Ui("official-logo.png"), "image/png", Response);
  } else if (Get && Path == "/fonts/fontawesome.ttf") {
    SendFile(Engine, Ui("fontawesome.ttf"), "font/ttf", Response);
  } else if (Get && Path == "/api/health") {
    SendJson(Engine, R"({"ok":true,"app":"Velmora","version":"1.0.0"})", 200, Response);
  } else if (Get && Path == "/api/session") {
    RouteSession(Engine, Request, Response);
  } else if (Get && Path == "/api/auth/google-start") {
    RouteGoogleStart(Engine, Request, Response);
  } else if (Get && Path == "/api/auth/google-callback") {
    RouteGoogleCallback(Engine, Request, Response);
  } else if (Post && IsSignInPath(Path)) {
    RouteSignIn(Engine, Request, Response);
  } else if (Post && Path == "/api/auth/logout") {
    RouteSignOut(Engine, Request, Response);
  } else if (Post && Path == "/api/saved-jobs/toggle") {
    RouteToggleSavedJob(Engine, Request, Response);
  } else if (Post && Path == "/api/offline-notes") {
    RouteAddOfflineNote(Engine, Request, Response);
  } else if (Post && Path == "/api/offline-notes/delete") {
    RouteDeleteOfflineNote(Engine, Request, Response);
  } else if (StartsWith(Path, "/api/v1/")) {
    RouteContentProxy(Engine, Request, Response);
  } else {
    SendRouteNotFound(Engine, Response);
  }
}

} // namespace

void SendJson(TVelmoraApiServer&, std::string_view Text, int Status, THttpResponse& Response) {
  Response.Status = Status;
  Response.ContentType = JsonType;
  Response.SetHeader("Connection", "close");
  Response.SetHeader("Cache-Control", "no-cache");
  Response.SetText(std::string(Text));
}

void SendRouteNotFound(TVelmoraApiServer& Engine, THttpResponse& Response) {
  SendJson(Engine, R"({"ok":false,"error":"Route not found."})", 404, Response);
}

void SendFile(TVelmoraApiServer&, const std::string& Path, std::string_view ContentType, THttpResponse& Response) {
  struct stat Info {};
  // Only a regular file is served: a directory, a dangling link or a pipe counts as missing.
  if (::stat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode)) {
    Response.Status = 404;
    Response.SetText("Not found");
    return;
  }
  TUniqueFd File(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!File || ::fstat(File.Get(), &Info) != 0) {
    throw std::system_error(errno, std::generic_category(), "open " + Path);
  }
  Response.Status = 200;
  Response.ContentType = ContentType;
  Response.SetHeader("Connection", "close");
  Response.SetHeader("Cache-Control", StartsWith(ContentType, "font/") ? "public, max-age=86400" : "no-cache");
  Response.SetFile(std::move(File), static_cast<std::uint64_t>(Info.st_size));
}

void HandleRequest(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response) {
  if ((Request.Host && !IsLoopbackHost(*Request.Host)) ||
      (Request.Origin && !IsOwnOrigin(*Request.Origin, Engine.Port.load()))) {
    SendJson(Engine, Forbidden, 403, Response);
    return;
  }
  try {
    Route(Engine, Request, Response);
  } catch (...) {
    SendJson(Engine, R"({"ok":false,"error":"Local engine error."})", 500, Response);
  }
}

} // namespace NVelmora
