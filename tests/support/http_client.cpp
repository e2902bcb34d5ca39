#include "tests/support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <strings.h>

namespace NVelmora::NTest {
namespace {

int Connect(std::uint16_t Port) {
  const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) {
    throw std::runtime_error("socket failed");
  }
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(Port);
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

} // namespace

std::optional<std::string> THttpAnswer::Header(std::string_view Name) const {
  for (const auto& [Key, Value] : Headers) {
    if (Key.size() == Name.size() && ::strncasecmp(Key.data(), Name.data(), Name.size()) == 0) {
      return Value;
    }
  }
  return std::nullopt;
}

bool IsListening(std::uint16_t Port) {
  const int Fd = Connect(Port);
  if (Fd < 0) {
    return false;
  }
  ::close(Fd);
  return true;
}

std::string SendRaw(std::uint16_t Port, std::string_view Bytes, int TimeoutMs) {
  const int Fd = Connect(Port);
  if (Fd < 0) {
    return {};
  }
  std::string_view Rest = Bytes;
  while (!Rest.empty()) {
    const ssize_t Sent = ::send(Fd, Rest.data(), Rest.size(), MSG_NOSIGNAL);
    if (Sent <= 0) {
      break;
    }
    Rest.remove_prefix(static_cast<std::size_t>(Sent));
  }
  std::string Answer;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  char Chunk[65536];
  while (true) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now()).count();
    if (Left <= 0) {
      break;
    }
    pollfd Poll{Fd, POLLIN, 0};
    if (::poll(&Poll, 1, static_cast<int>(Left)) <= 0) {
      break;
    }
    const ssize_t Got = ::recv(Fd, Chunk, sizeof Chunk, 0);
    if (Got <= 0) {
      break;
    }
    Answer.append(Chunk, static_cast<std::size_t>(Got));
  }
  ::close(Fd);
  return Answer;
}

THttpAnswer ParseAnswer(std::string Raw) {
  THttpAnswer Answer;
  const std::size_t HeadEnd = Raw.find("\r\n\r\n");
  const std::string Head = Raw.substr(0, HeadEnd);
  std::size_t LineStart = 0;
  bool First = true;
  while (LineStart <= Head.size()) {
    std::size_t LineEnd = Head.find("\r\n", LineStart);
    if (LineEnd == std::string::npos) {
      LineEnd = Head.size();
    }
    const std::string Line = Head.substr(LineStart, LineEnd - LineStart);
    if (First) {
      if (Line.rfind("HTTP/1.", 0) == 0 && Line.size() >= 12) {
        Answer.Status = std::stoi(Line.substr(9, 3));
      }
      First = false;
    } else if (const std::size_t Colon = Line.find(':'); Colon != std::string::npos) {
      std::string Value = Line.substr(Colon + 1);
      Value.erase(0, Value.find_first_not_of(' '));
      Answer.Headers.emplace_back(Line.substr(0, Colon), Value);
    }
    LineStart = LineEnd + 2;
  }
  if (HeadEnd != std::string::npos) {
    Answer.Body = Raw.substr(HeadEnd + 4);
  }
  Answer.Raw = std::move(Raw);
  return Answer;
}

THttpAnswer Send(std::uint16_t Port, const TRequestSpec& Spec) {
  std::string Request = Spec.Method + " " + Spec.Target + " HTTP/1.1\r\n";
  bool HasHost = false;
  for (const auto& [Name, Value] : Spec.Headers) {
    HasHost = HasHost || ::strcasecmp(Name.c_str(), "Host") == 0;
    Request += Name + ": " + Value + "\r\n";
  }
  if (Spec.SendHost && !HasHost) {
    Request += "Host: 127.0.0.1:" + std::to_string(Port) + "\r\n";
  }
  if (!Spec.Body.empty() || Spec.Method == "POST") {
    Request += "Content-Length: " + std::to_string(Spec.Body.size()) + "\r\n";
  }
  Request += "Connection: close\r\n\r\n";
  Request += Spec.Body;
  return ParseAnswer(SendRaw(Port, Request));
}

THttpAnswer Get(std::uint16_t Port, const std::string& Target) {
  return Send(Port, TRequestSpec{"GET", Target, "", {}, true});
}

THttpAnswer Post(std::uint16_t Port, const std::string& Target, const std::string& Body) {
  return Send(Port, TRequestSpec{"POST", Target, Body, {}, true});
}

} // namespace NVelmora::NTest
