#include "tests/support/fake_service.h"

#include "tests/support/temp_dir.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <stdexcept>
#include <strings.h>

namespace NVelmora::NTest {

namespace http = boost::beast::http;

struct TFakeService::TState {
  mutable std::mutex Lock;
  std::map<std::pair<std::string, std::string>, TScriptedAnswer> Scripts;
  std::vector<TRecordedRequest> Requests;
  std::size_t Running = 0;
  std::condition_variable_any Idle;
};

TScriptedAnswer Answer(int Status, std::string Body, const char* ContentType) {
  TScriptedAnswer Scripted;
  Scripted.Status = Status;
  Scripted.Body = std::move(Body);
  Scripted.ContentType = ContentType;
  return Scripted;
}

std::optional<std::string> TRecordedRequest::Header(const std::string& Name) const {
  for (const auto& [Key, Value] : Headers) {
    if (::strcasecmp(Key.c_str(), Name.c_str()) == 0) {
      return Value;
    }
  }
  return std::nullopt;
}

TFakeService::TFakeService() : State_(std::make_shared<TState>()) {
  Listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Size = sizeof Address;
  if (Listener_ < 0 || ::bind(Listener_, reinterpret_cast<sockaddr*>(&Address), Size) != 0 ||
      ::listen(Listener_, 64) != 0 || ::getsockname(Listener_, reinterpret_cast<sockaddr*>(&Address), &Size) != 0) {
    throw std::runtime_error("fake service cannot listen");
  }
  Port_ = ntohs(Address.sin_port);
  Acceptor_ = std::make_unique<std::thread>([this] { AcceptLoop(); });
}

TFakeService::~TFakeService() {
  Stop();
  std::unique_lock Lock(State_->Lock);
  State_->Idle.wait(Lock, [&] { return State_->Running == 0; });
}

std::string TFakeService::ApiBase() const {
  return "http://127.0.0.1:" + std::to_string(Port_) + "/api/v1";
}

void TFakeService::Script(const std::string& Method, const std::string& Path, TScriptedAnswer Answer) {
  std::lock_guard Guard(State_->Lock);
  State_->Scripts[{Method, Path}] = std::move(Answer);
}

std::vector<TRecordedRequest> TFakeService::Requests() const {
  std::lock_guard Guard(State_->Lock);
  return State_->Requests;
}

void TFakeService::ClearRequests() {
  std::lock_guard Guard(State_->Lock);
  State_->Requests.clear();
}

void TFakeService::Stop() {
  if (Listener_ >= 0) {
    ::shutdown(Listener_, SHUT_RDWR);  // wakes the blocked accept
    Acceptor_->join();
    ::close(Listener_);
    Listener_ = -1;
  }
}

void TFakeService::AcceptLoop() {
  while (true) {
    const int Fd = ::accept4(Listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (Fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      return;
    }
    {
      std::lock_guard Guard(State_->Lock);
      ++State_->Running;
    }
    std::thread([State = State_, Fd] {
      try {
        boost::asio::io_context Context;
        boost::asio::ip::tcp::socket Socket(Context);
        Socket.assign(boost::asio::ip::tcp::v4(), Fd);
        boost::beast::flat_buffer Buffer;
        http::request_parser<http::string_body> Parser;
        Parser.body_limit(64ull << 20);
        http::read(Socket, Buffer, Parser);
        const auto& Message = Parser.get();

        TRecordedRequest Request;
        Request.Method = std::string(Message.method_string());
        Request.Target = std::string(Message.target());
        const std::size_t Question = Request.Target.find('?');
        Request.Path = Request.Target.substr(0, Question);
        if (Request.Path.rfind("/api/v1", 0) == 0) {
          Request.Path.erase(0, 7);
        }
        if (Question != std::string::npos) {
          Request.Query = Request.Target.substr(Question + 1);
        }
        Request.Body = Message.body();
        for (const auto& Field : Message) {
          Request.Headers.emplace_back(std::string(Field.name_string()), std::string(Field.value()));
        }
        TScriptedAnswer Answer{404, R"({"error":"not scripted"})", "application/json", {}};
        {
          std::lock_guard Guard(State->Lock);
          if (const auto It = State->Scripts.find({Request.Method, Request.Path}); It != State->Scripts.end()) {
            Answer = It->second;
          }
          State->Requests.push_back(Request);
        }
        if (Answer.Delay.count() > 0) {
          std::this_thread::sleep_for(Answer.Delay);
        }
        http::response<http::string_body> Response{static_cast<http::status>(Answer.Status), 11};
        Response.set(http::field::content_type, Answer.ContentType);
        Response.set(http::field::connection, "close");
        Response.body() = Answer.Body;
        Response.prepare_payload();
        http::write(Socket, Response);
        Socket.shutdown(boost::asio::ip::tcp::socket::shutdown_send);
      } catch (const std::exception&) {
        // A client that hung up early: nothing to answer.
      }
      std::lock_guard Guard(State->Lock);
      --State->Running;
      State->Idle.notify_all();
    }).detach();
  }
}

namespace {

std::string MakeTempDir() {
  const char* Base = std::getenv("TMPDIR");
  std::string Template = std::string(Base != nullptr && *Base != '\0' ? Base : "/tmp") + "/velmora-curl-XXXXXX";
  if (::mkdtemp(Template.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  return Template;
}

} // namespace

TFakeCurl::TFakeCurl() : Dir_(MakeTempDir()) {
  const std::string Script = "#!/bin/sh\n"
                             "d='" + Dir_ + "'\n"
                             ": > \"$d/args\"\n"
                             "for a in \"$@\"; do\n"
                             "  printf '%s\\0' \"$a\" >> \"$d/args\"\n"
                             "  case \"$a\" in @*) f=\"${a#@}\"; cp \"$f\" \"$d/body\"; stat -c %a \"$f\" > \"$d/mode\";; esac\n"
                             "done\n"
                             "cat \"$d/output\"\n"
                             "exit \"$(cat \"$d/status\")\"\n";
  WriteFile(Dir_ + "/curl", Script);
  ::chmod((Dir_ + "/curl").c_str(), 0755);
  SetOutput("{}\n__VLM_CODE__:200", 0);
}

TFakeCurl::~TFakeCurl() {
  std::error_code Ignored;
  std::filesystem::remove_all(Dir_, Ignored);
}

void TFakeCurl::SetOutput(const std::string& Output, int ExitStatus) {
  WriteFile(Dir_ + "/output", Output);
  WriteFile(Dir_ + "/status", std::to_string(ExitStatus));
  std::error_code Ignored;
  for (const char* Name : {"/args", "/body", "/mode"}) {
    std::filesystem::remove(Dir_ + Name, Ignored);
  }
}

bool TFakeCurl::Ran() const {
  return std::filesystem::exists(Dir_ + "/args");
}

std::vector<std::string> TFakeCurl::Args() const {
  std::vector<std::string> Args;
  const std::string Raw = Ran() ? ReadFile(Dir_ + "/args") : std::string();
  std::size_t Start = 0;
  for (std::size_t Nul = Raw.find('\0'); Nul != std::string::npos; Nul = Raw.find('\0', Start)) {
    Args.push_back(Raw.substr(Start, Nul - Start));
    Start = Nul + 1;
  }
  return Args;
}

std::string TFakeCurl::RequestBody() const {
  return ReadFile(Dir_ + "/body");
}

std::string TFakeCurl::RequestMode() const {
  std::string Mode = ReadFile(Dir_ + "/mode");
  while (!Mode.empty() && (Mode.back() == '\n' || Mode.back() == ' ')) {
    Mode.pop_back();
  }
  return Mode;
}

} // namespace NVelmora::NTest
