// velmora-demo-service: plays the public Velmora service on 127.0.0.1 with in-memory accounts
// and sample content, so that the app can be tried, and tested, on one machine.
//
//   velmora-demo-service [--port N]     (0, the default, picks a free port)
//
// The first line on standard output is the API base URL to give velmora as VLM_API_BASE.
// One-time codes are printed on standard output instead of being e-mailed.
#include "tools/demo-service/sample_data.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>

namespace NVelmora::NDemo {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;
using TRequest = http::request<http::string_body>;
using TResponse = http::response<http::string_body>;

constexpr std::string_view ApiPrefix = "/api/v1";
constexpr int MaxCodeAttempts = 5;

struct TUser {
  int Id = 0;
  std::string Name;
  std::string Email;
  std::string Password;
  std::string Country;
  bool SecondFactor = false;
  std::string JoinedAt;
};

struct TPendingCode {
  int UserId = 0;
  std::string Code;
  int Attempts = 0;
};

struct TAnswer {
  http::status Status = http::status::ok;
  std::string ContentType = "application/json";
  std::string Body;
};

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return std::tolower(C); });
  return Text;
}

std::string Trim(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= 32) {
    Text.remove_prefix(1);
  }
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= 32) {
    Text.remove_suffix(1);
  }
  return std::string(Text);
}

std::string PercentDecode(std::string_view Text) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '+') {
      Out += ' ';
    } else if (Text[I] == '%' && I + 2 < Text.size() && std::isxdigit(static_cast<unsigned char>(Text[I + 1])) &&
               std::isxdigit(static_cast<unsigned char>(Text[I + 2]))) {
      Out += static_cast<char>(std::stoi(std::string(Text.substr(I + 1, 2)), nullptr, 16));
      I += 2;
    } else {
      Out += Text[I];
    }
  }
  return Out;
}

std::string PercentEncode(std::string_view Text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (unsigned char C : Text) {
    if (std::isalnum(C) || C == '-' || C == '_' || C == '.' || C == '~') {
      Out += static_cast<char>(C);
    } else {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    }
  }
  return Out;
}

std::string HtmlEscape(std::string_view Text) {
  std::string Out;
  for (char C : Text) {
    switch (C) {
    case '&': Out += "&amp;"; break;
    case '<': Out += "&lt;"; break;
    case '>': Out += "&gt;"; break;
    case '"': Out += "&quot;"; break;
    case '\'': Out += "&#39;"; break;
    default: Out += C;
    }
  }
  return Out;
}

std::map<std::string, std::string> ParseQuery(std::string_view Query) {
  std::map<std::string, std::string> Fields;
  while (!Query.empty()) {
    const std::size_t Amp = Query.find('&');
    const std::string_view Pair = Query.substr(0, Amp);
    const std::size_t Eq = Pair.find('=');
    Fields[PercentDecode(Pair.substr(0, Eq))] = Eq == std::string_view::npos ? "" : PercentDecode(Pair.substr(Eq + 1));
    Query = Amp == std::string_view::npos ? std::string_view() : Query.substr(Amp + 1);
  }
  return Fields;
}

std::string TextMember(const TJson& Object, const char* Name) {
  const auto It = Object.find(Name);
  return It != Object.end() && It->is_string() ? Trim(It->get<std::string>()) : std::string();
}

bool ContainsFolded(const std::string& Haystack, const std::string& LowerNeedle) {
  return Lower(Haystack).find(LowerNeedle) != std::string::npos;
}

std::string UtcNow() {
  const std::time_t Now = std::time(nullptr);
  std::tm Parts{};
  gmtime_r(&Now, &Parts);
  char Text[32];
  std::strftime(Text, sizeof Text, "%Y-%m-%dT%H:%M:%SZ", &Parts);
  return Text;
}

TAnswer Json(http::status Status, const TJson& Body) {
  return {Status, "application/json", Body.dump()};
}

TAnswer Failure(http::status Status, std::string_view Message, TJson Errors = nullptr) {
  TJson Body = {{"success", false}, {"message", Message}};
  if (!Errors.is_null()) {
    Body["errors"] = std::move(Errors);
  }
  return Json(Status, Body);
}

class TDemoService {
public:
  TDemoService() : Data_(MakeSampleData()), Random_(std::random_device{}()) {
    AddUser("Amara Okafor", "demo@velmora.test", "velmora-demo", "Nigeria", false);
    AddUser("Jonas Lindqvist", "mfa@velmora.test", "velmora-demo", "Sweden", true);
    GoogleUserId_ = AddUser("Sam Rivera", "google.demo@velmora.test", "", "Canada", false);
  }

  TAnswer Handle(const TRequest& Request) {
    const std::string_view Target(Request.target().data(), Request.target().size());
    const std::size_t Mark = Target.find('?');
    const std::string Path(Target.substr(0, Mark));
    const auto Query = ParseQuery(Mark == std::string_view::npos ? std::string_view() : Target.substr(Mark + 1));
    const std::string Token = BearerToken(Request);
    const bool Get = Request.method() == http::verb::get;
    const bool Post = Request.method() == http::verb::post;

    if (Get && Path == "/auth/google") {
      return GooglePage(Query);
    }
    if (Path.rfind(ApiPrefix, 0) != 0) {
      return Failure(http::status::not_found, "Not found.");
    }
    const std::string Route = Path.substr(ApiPrefix.size());
    std::lock_guard Lock(Mutex_);
    if (Route == "/me") {
      return Get ? Me(Token) : MethodNotAllowed();
    }
    if (Route.rfind("/auth/", 0) == 0) {
      if (!Post) {
        return MethodNotAllowed();
      }
      const TJson Body = TJson::parse(Request.body(), nullptr, false);
      if (Route == "/auth/logout") {
        Tokens_.erase(Token);
        return Json(http::status::ok, {{"success", true}, {"message", "Signed out."}});
      }
      if (!Body.is_object()) {
        return Failure(http::status::bad_request, "The request body must be a JSON object.");
      }
      if (Route == "/auth/login") return Login(Body);
      if (Route == "/auth/mfa-verify") return VerifyCode(Body);
      if (Route == "/auth/register") return Register(Body);
      if (Route == "/auth/send-code") return SendCode(Body);
      if (Route == "/auth/google") return GoogleToken(Body);
      return Failure(http::status::not_found, "Not found.");
    }
    if (Route == "/community" && Post) {
      return AddCommunityPost(Token, Request.body());
    }
    if (!Get) {
      return MethodNotAllowed();
    }
    if (Route == "/home") return Home();
    if (Route == "/jobs") return Jobs(Query);
    if (Route.rfind("/jobs/", 0) == 0) return Job(Route.substr(6));
    if (Route == "/blog") return Json(http::status::ok, {{"success", true}, {"posts", Data_.BlogPosts}});
    if (Route == "/community") return Json(http::status::ok, {{"success", true}, {"posts", Data_.CommunityPosts}});
    if (Route == "/scam-alerts") return Json(http::status::ok, {{"success", true}, {"alerts", Data_.ScamAlerts}});
    if (Route == "/courses") return Json(http::status::ok, {{"success", true}, {"courses", Data_.Courses}});
    return Failure(http::status::not_found, "Not found.");
  }

private:
  int AddUser(std::string Name, std::string Email, std::string Password, std::string Country, bool SecondFactor) {
    const int Id = NextUserId_++;
    Users_[Id] = TUser{Id, std::move(Name), std::move(Email), std::move(Password), std::move(Country), SecondFactor,
                       "2026-06-01"};
    return Id;
  }

  static TJson UserJson(const TUser& User) {
    return {{"id", User.Id},           {"name", User.Name},
            {"email", User.Email},     {"country", User.Country},
            {"mfa_enabled", User.SecondFactor}, {"joined_at", User.JoinedAt}};
  }

  static std::string BearerToken(const TRequest& Request) {
    const auto It = Request.find(http::field::authorization);
    if (It == Request.end()) {
      return {};
    }
    const std::string_view Value(It->value().data(), It->value().size());
    return Value.rfind("Bearer ", 0) == 0 ? Trim(Value.substr(7)) : std::string();
  }

  const TUser* UserByEmail(const std::string& Email) const {
    for (const auto& [Id, User] : Users_) {
      if (Lower(User.Email) == Lower(Email)) {
        return &User;
      }
    }
    return nullptr;
  }

  const TUser* UserByToken(const std::string& Token) const {
    const auto It = Tokens_.find(Token);
    return Token.empty() || It == Tokens_.end() ? nullptr : &Users_.at(It->second);
  }

  std::string RandomHex(std::size_t Length) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string Out;
    std::uniform_int_distribution<int> Digit(0, 15);
    for (std::size_t I = 0; I < Length; ++I) {
      Out += Hex[Digit(Random_)];
    }
    return Out;
  }

  std::string NewCode(const TUser& User, std::string_view Why) {
    std::uniform_int_distribution<int> Digits(0, 999999);
    char Code[8];
    std::snprintf(Code, sizeof Code, "%06d", Digits(Random_));
    std::cout << "[demo] " << Why << " code for " << User.Email << ": " << Code << std::endl;
    return Code;
  }

  TAnswer SignedIn(const TUser& User, http::status Status = http::status::ok, std::string Message = "") {
    const std::string Token = "vlm_demo_" + RandomHex(32);
    Tokens_[Token] = User.Id;
    TJson Body = {{"success", true}};
    if (!Message.empty()) {
      Body["message"] = Message;
    }
    Body["token"] = Token;
    Body["user"] = UserJson(User);
    return Json(Status, Body);
  }

  static TAnswer MethodNotAllowed() { return Failure(http::status::method_not_allowed, "Method not allowed."); }

  TAnswer Me(const std::string& Token) const {
    const TUser* User = UserByToken(Token);
    if (User == nullptr) {
      return Failure(http::status::unauthorized, "Your session has ended. Please sign in again.");
    }
    return Json(http::status::ok, {{"success", true}, {"user", UserJson(*User)}});
  }

  TAnswer Login(const TJson& Body) {
    const std::string Email = TextMember(Body, "email");
    const std::string Password = Body.contains("password") && Body["password"].is_string()
                                     ? Body["password"].get<std::string>()
                                     : std::string();
    TJson Errors = TJson::object();
    if (Email.empty()) Errors["email"] = {"Enter your e-mail address."};
    if (Password.empty()) Errors["password"] = {"Enter your password."};
    if (!Errors.empty()) {
      return Failure(http::status::unprocessable_entity, "Please fill in your e-mail and password.", Errors);
    }
    const TUser* User = UserByEmail(Email);
    if (User == nullptr || User->Password.empty() || User->Password != Password) {
      return Failure(http::status::unauthorized, "The e-mail or password is incorrect.");
    }
    if (!User->SecondFactor) {
      return SignedIn(*User);
    }
    const std::string MfaToken = "mfa_" + RandomHex(24);
    Pending_[MfaToken] = {User->Id, NewCode(*User, "second-factor"), 0};
    return Json(http::status::ok, {{"success", true},
                                   {"mfa_required", true},
                                   {"mfa_token", MfaToken},
                                   {"message", "Enter the 6-digit code we sent to " + User->Email + "."}});
  }

  // Verifies a second-factor code (with "mfa_token") or an e-mail sign-in code (with "email").
  TAnswer VerifyCode(const TJson& Body) {
    const std::string Code = TextMember(Body, "code");
    std::string Key = TextMember(Body, "mfa_token");
    if (Key.empty() && !TextMember(Body, "email").empty()) {
      Key = "email:" + Lower(TextMember(Body, "email"));
    }
    if (Code.empty()) {
      return Failure(http::status::unprocessable_entity, "Enter the 6-digit code.", {{"code", {"Required."}}});
    }
    const auto It = Pending_.find(Key);
    if (Key.empty() || It == Pending_.end()) {
      return Failure(http::status::unprocessable_entity, "This code has expired. Ask for a new one.");
    }
    if (It->second.Code != Code) {
      if (++It->second.Attempts >= MaxCodeAttempts) {
        Pending_.erase(It);
        return Failure(http::status::too_many_requests, "Too many wrong codes. Ask for a new one.");
      }
      return Failure(http::status::unprocessable_entity, "That code is not right. Check it and try again.");
    }
    const TUser& User = Users_.at(It->second.UserId);
    Pending_.erase(It);
    return SignedIn(User);
  }

  TAnswer SendCode(const TJson& Body) {
    const std::string MfaToken = TextMember(Body, "mfa_token");
    if (!MfaToken.empty()) {
      const auto It = Pending_.find(MfaToken);
      if (It == Pending_.end()) {
        return Failure(http::status::unprocessable_entity, "This sign-in has expired. Start again.");
      }
      It->second = {It->second.UserId, NewCode(Users_.at(It->second.UserId), "second-factor"), 0};
      return Json(http::status::ok, {{"success", true}, {"message", "We sent you a new code."}});
    }
    const std::string Email = TextMember(Body, "email");
    if (Email.find('@') == std::string::npos) {
      return Failure(http::status::unprocessable_entity, "Enter a valid e-mail address.",
                     {{"email", {"Enter a valid e-mail address."}}});
    }
    const TUser* User = UserByEmail(Email);
    if (User == nullptr) {
      return Failure(http::status::not_found, "No Velmora account uses that e-mail address.");
    }
    Pending_["email:" + Lower(Email)] = {User->Id, NewCode(*User, "sign-in"), 0};
    return Json(http::status::ok,
                {{"success", true}, {"message", "We sent a 6-digit code to " + User->Email + "."}, {"expires_in", 600}});
  }

  TAnswer Register(const TJson& Body) {
    const std::string Name = TextMember(Body, "name");
    const std::string Email = TextMember(Body, "email");
    const std::string Password = Body.contains("password") && Body["password"].is_string()
                                     ? Body["password"].get<std::string>()
                                     : std::string();
    TJson Errors = TJson::object();
    if (Name.empty()) Errors["name"] = {"Enter your name."};
    if (Email.find('@') == std::string::npos || Email.find('.') == std::string::npos) {
      Errors["email"] = {"Enter a valid e-mail address."};
    } else if (UserByEmail(Email) != nullptr) {
      Errors["email"] = {"An account with this e-mail already exists."};
    }
    if (Password.size() < 8) Errors["password"] = {"Use at least 8 characters."};
    if (!Errors.empty()) {
      return Failure(http::status::unprocessable_entity, "Please correct the highlighted fields.", Errors);
    }
    const int Id = AddUser(Name, Email, Password, TextMember(Body, "country"), false);
    return SignedIn(Users_.at(Id), http::status::created, "Welcome to Velmora, " + Name + ".");
  }

  TAnswer GoogleToken(const TJson& Body) {
    if (TextMember(Body, "id_token").empty()) {
      return Failure(http::status::unprocessable_entity, "Google did not send an identity token.");
    }
    return SignedIn(Users_.at(GoogleUserId_));
  }

  TAnswer GooglePage(const std::map<std::string, std::string>& Query) {
    const auto It = Query.find("native_callback");
    const std::string Callback = It == Query.end() ? std::string() : It->second;
    // Only the app's own loopback callback may receive a token.
    if (Callback.rfind("http://127.0.0.1:", 0) != 0 && Callback.rfind("http://localhost:", 0) != 0) {
      return {http::status::bad_request, "text/html; charset=utf-8",
              "<!doctype html><html><body style=\"font-family:system-ui;padding:2rem;text-align:center\">"
              "<h3>This sign-in link is incomplete.</h3><p>Start Google sign-in again from the Velmora app.</p>"
              "</body></html>"};
    }
    std::string Token;
    std::string Email;
    {
      std::lock_guard Lock(Mutex_);
      Token = "vlm_demo_" + RandomHex(32);
      Tokens_[Token] = GoogleUserId_;
      Email = Users_.at(GoogleUserId_).Email;
    }
    const std::string Target =
        Callback + (Callback.find('?') == std::string::npos ? "?" : "&") + "token=" + PercentEncode(Token);
    std::string Page =
        "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Sign in with Google (demo)</title>"
        "<style>body{font-family:system-ui,-apple-system,sans-serif;background:#f8fafc;color:#0f172a;display:grid;"
        "place-items:center;min-height:100vh;margin:0}.card{background:#fff;border:1px solid #e2e8f0;"
        "border-radius:18px;padding:2rem 2.4rem;text-align:center;max-width:420px;"
        "box-shadow:0 12px 32px rgba(15,23,42,.08)}h2{margin:0 0 .5rem;font-size:1.3rem}p{color:#475569;"
        "line-height:1.5}a.go{display:inline-block;margin-top:1rem;padding:.75rem 1.4rem;border-radius:10px;"
        "background:#0f766e;color:#fff;text-decoration:none;font-weight:600}a.go:focus{outline:3px solid #99f6e4}"
        "</style></head><body><div class=\"card\"><h2>Sign in with Google</h2>"
        "<p>This is the Velmora demo service. No Google account is used: you continue as the demo user "
        "<strong>";
    Page += HtmlEscape(Email);
    Page += "</strong>.</p><a class=\"go\" id=\"continue\" href=\"";
    Page += HtmlEscape(Target);
    Page += "\">Continue as demo user</a></div></body></html>";
    return {http::status::ok, "text/html; charset=utf-8", std::move(Page)};
  }

  TAnswer Home() const {
    TJson Featured = TJson::array();
    for (const TJson& Job : Data_.Jobs) {
      if (!Job["sponsorship_badge"].is_null() && Featured.size() < 3) {
        Featured.push_back(JobSummary(Job));
      }
    }
    TJson Posts = TJson::array();
    for (std::size_t I = 0; I < Data_.BlogPosts.size() && I < 3; ++I) {
      const TJson& Post = Data_.BlogPosts[I];
      Posts.push_back({{"id", Post["id"]}, {"slug", Post["slug"]}, {"title", Post["title"]},
                       {"excerpt", Post["excerpt"]}, {"published_at", Post["published_at"]}});
    }
    TJson Body = {{"success", true}};
    Body["hero"] = {{"title", "Work abroad with employers who sponsor your visa"},
                    {"subtitle", "Checked jobs, honest guides and scam alerts, in one place."}};
    Body["stats"] = TJson::array({{{"label", "Open roles"}, {"value", std::to_string(Data_.Jobs.size())}},
                                  {{"label", "Countries"}, {"value", std::to_string(CountryCount())}},
                                  {{"label", "Scam alerts this month"}, {"value", std::to_string(Data_.ScamAlerts.size())}}});
    Body["featured_jobs"] = std::move(Featured);
    Body["latest_posts"] = std::move(Posts);
    Body["latest_alert"] = Data_.ScamAlerts.front();
    return Json(http::status::ok, Body);
  }

  std::size_t CountryCount() const {
    std::set<std::string> Countries;
    for (const TJson& Job : Data_.Jobs) {
      Countries.insert(Job["country"].get<std::string>());
    }
    return Countries.size();
  }

  TAnswer Jobs(const std::map<std::string, std::string>& Query) const {
    const auto Find = [&](const char* Name) {
      const auto It = Query.find(Name);
      return It == Query.end() ? std::string() : Lower(Trim(It->second));
    };
    const std::string Words = Find("q");
    const std::string Country = Find("country");
    TJson List = TJson::array();
    for (const TJson& Job : Data_.Jobs) {
      bool Match = Words.empty();
      for (const char* Key : {"title", "employer_name", "city", "country", "summary"}) {
        Match = Match || ContainsFolded(Job[Key].get<std::string>(), Words);
      }
      for (const TJson& Tag : Job["tags"]) {
        Match = Match || ContainsFolded(Tag.get<std::string>(), Words);
      }
      if (Match && (Country.empty() || Lower(Job["country"].get<std::string>()) == Country)) {
        List.push_back(JobSummary(Job));
      }
    }
    const std::size_t Total = List.size();
    return Json(http::status::ok, {{"success", true}, {"jobs", std::move(List)}, {"total", Total}});
  }

  TAnswer Job(const std::string& Slug) const {
    for (const TJson& Job : Data_.Jobs) {
      if (Job["slug"] == Slug) {
        return Json(http::status::ok, {{"success", true}, {"job", Job}});
      }
    }
    return Failure(http::status::not_found, "This job is no longer listed.");
  }

  TAnswer AddCommunityPost(const std::string& Token, const std::string& Text) {
    const TUser* User = UserByToken(Token);
    if (User == nullptr) {
      return Failure(http::status::unauthorized, "Sign in to post in the community.");
    }
    const TJson Body = TJson::parse(Text, nullptr, false);
    if (!Body.is_object()) {
      return Failure(http::status::bad_request, "The request body must be a JSON object.");
    }
    const std::string Title = TextMember(Body, "title");
    const std::string Message = TextMember(Body, "body");
    TJson Errors = TJson::object();
    if (Title.size() < 5) Errors["title"] = {"Give your post a title of at least 5 characters."};
    if (Message.empty()) Errors["body"] = {"Write something to share."};
    if (!Errors.empty()) {
      return Failure(http::status::unprocessable_entity, "Your post needs a title and a message.", Errors);
    }
    TJson Post = {{"id", NextPostId_++},
                  {"title", Title},
                  {"body", Message},
                  {"author", {{"name", User->Name}, {"country", User->Country}}},
                  {"tag", TextMember(Body, "tag").empty() ? "General" : TextMember(Body, "tag")},
                  {"created_at", UtcNow()},
                  {"replies", 0},
                  {"likes", 0}};
    Data_.CommunityPosts.insert(Data_.CommunityPosts.begin(), Post);
    return Json(http::status::created, {{"success", true}, {"message", "Your post is live."}, {"post", Post}});
  }

  TSampleData Data_;
  std::mutex Mutex_;
  std::mt19937_64 Random_;
  std::map<int, TUser> Users_;
  std::map<std::string, int> Tokens_;
  std::map<std::string, TPendingCode> Pending_;
  int NextUserId_ = 1;
  int NextPostId_ = 1000;
  int GoogleUserId_ = 0;
};

void Serve(tcp::socket Socket, TDemoService& Service) {
  beast::flat_buffer Buffer;
  beast::error_code Ec;
  for (;;) {
    TRequest Request;
    http::read(Socket, Buffer, Request, Ec);
    if (Ec) {
      break;
    }
    TAnswer Answer;
    try {
      Answer = Service.Handle(Request);
    } catch (const std::exception&) {
      Answer = Failure(http::status::internal_server_error, "Something went wrong on our side.");
    }
    TResponse Response{Answer.Status, Request.version()};
    Response.set(http::field::content_type, Answer.ContentType);
    Response.set(http::field::cache_control, "no-store");
    Response.keep_alive(Request.keep_alive());
    Response.body() = std::move(Answer.Body);
    Response.prepare_payload();
    http::write(Socket, Response, Ec);
    if (Ec || !Response.keep_alive()) {
      break;
    }
  }
  Socket.shutdown(tcp::socket::shutdown_send, Ec);
}

std::optional<unsigned short> ParsePort(int Argc, char** Argv) {
  unsigned short Port = 0;
  for (int I = 1; I < Argc; ++I) {
    const std::string_view Arg = Argv[I];
    if (Arg == "--port" && I + 1 < Argc) {
      try {
        const int Value = std::stoi(Argv[++I]);
        if (Value < 0 || Value > 65535) {
          return std::nullopt;
        }
        Port = static_cast<unsigned short>(Value);
      } catch (const std::exception&) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  return Port;
}

} // namespace
} // namespace NVelmora::NDemo

int main(int Argc, char** Argv) {
  using namespace NVelmora::NDemo;
  const auto Port = ParsePort(Argc, Argv);
  if (!Port) {
    std::cerr << "usage: velmora-demo-service [--port N]   (0 picks a free port)\n";
    return 2;
  }
  try {
    boost::asio::io_context Io;
    tcp::acceptor Acceptor(Io, {boost::asio::ip::make_address("127.0.0.1"), *Port});
    TDemoService Service;
    const auto Bound = Acceptor.local_endpoint().port();
    std::cout << "http://127.0.0.1:" << Bound << "/api/v1" << std::endl;
    std::cout << "[demo] accounts: demo@velmora.test / velmora-demo (password only), "
                 "mfa@velmora.test / velmora-demo (asks for a code, printed here)"
              << std::endl;
    for (;;) {
      tcp::socket Socket(Io);
      beast::error_code Ec;
      Acceptor.accept(Socket, Ec);
      if (Ec) {
        continue;
      }
      std::thread(Serve, std::move(Socket), std::ref(Service)).detach();
    }
  } catch (const std::exception& Error) {
    std::cerr << "velmora-demo-service: " << Error.what() << "\n";
    return 1;
  }
}
