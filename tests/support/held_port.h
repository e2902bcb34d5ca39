#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace NVelmora::NTest {

// Holds 127.0.0.1:Port with a listening socket while it lives, when the port is free.
class THeldPort {
public:
  explicit THeldPort(std::uint16_t Port) {
    Fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_port = htons(Port);
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(Fd_, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0 || ::listen(Fd_, 1) != 0) {
      ::close(Fd_);
      Fd_ = -1;
    }
  }
  ~THeldPort() {
    if (Fd_ >= 0) {
      ::close(Fd_);
    }
  }
  THeldPort(THeldPort&& Other) noexcept : Fd_(std::exchange(Other.Fd_, -1)) {}
  THeldPort& operator=(THeldPort&&) = delete;
  bool Held() const { return Fd_ >= 0; }

private:
  int Fd_ = -1;
};

} // namespace NVelmora::NTest
