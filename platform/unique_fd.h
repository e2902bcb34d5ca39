#pragma once

#include <unistd.h>

#include <utility>

namespace NVelmora {

// Sole owner of a file descriptor; closes it once, never retrying close.
class TUniqueFd {
public:
  TUniqueFd() = default;
  explicit TUniqueFd(int Fd) noexcept : Fd_(Fd) {}
  TUniqueFd(TUniqueFd&& Other) noexcept : Fd_(std::exchange(Other.Fd_, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& Other) noexcept {
    if (this != &Other) {
      Reset(std::exchange(Other.Fd_, -1));
    }
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  ~TUniqueFd() { Reset(); }

  int Get() const noexcept { return Fd_; }
  explicit operator bool() const noexcept { return Fd_ >= 0; }
  int Release() noexcept { return std::exchange(Fd_, -1); }
  void Reset(int Fd = -1) noexcept {
    if (Fd_ >= 0) {
      ::close(Fd_);
    }
    Fd_ = Fd;
  }

private:
  int Fd_ = -1;
};

} // namespace NVelmora
