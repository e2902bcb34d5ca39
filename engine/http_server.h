#pragma once

#include "engine/http.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace NVelmora {

struct TConnectionRegistry;
struct THandoff;

// A small synchronous HTTP/1.1 server on 127.0.0.1: the activating thread runs the accept
// loop, and every accepted connection gets a thread of its own that reads one request,
// calls the handler, sends the answer and closes.
class THttpServer {
public:
  using THandler = std::function<void(const THttpRequest&, THttpResponse&)>;

  static constexpr std::uint64_t MaxBodyBytes = 16ull << 20;
  static constexpr std::chrono::seconds RequestDeadline{15};
  static constexpr std::chrono::seconds ShutdownGrace{3};

  explicit THttpServer(THandler Handler);
  // Waits for running connection threads; after the grace period shuts their sockets so
  // that the wait always ends.
  ~THttpServer();
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  // Binds 127.0.0.1:Port (SO_REUSEADDR, listen queue 5) and serves until Deactivate.
  // Throws std::system_error when binding or listening fails, or accept fails for good.
  // Returns at once once the server has been deactivated: a stop is never forgotten.
  void Activate(std::uint16_t Port);
  // Tells the accept loop to end after the connection it is waiting for.
  void Deactivate();
  bool IsActive() const;

private:
  // Starts the thread that will serve the next accepted connection; none when no thread
  // can be created.
  std::shared_ptr<THandoff> StartConnectionThread();
  void Serve(int Fd);

  THandler Handler_;
  std::shared_ptr<TConnectionRegistry> Connections_;
  std::atomic<bool> Stopping_{false};
  std::atomic<bool> Active_{false};
};

} // namespace NVelmora
