// The only file that includes Beast: it is heavy to compile, so it stays behind THttpServer.
#include "engine/http_server.h"

#include "platform/unique_fd.h"

#include <boost/beast/core/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

namespace NVelmora {

namespace beast = boost::beast;
namespace http = boost::beast::http;
using TClock = std::chrono::steady_clock;

// Sockets of running connections, so that freeing the server can wait for them and,
// after the grace period, shut them. Connection threads share it, so it outlives the server.
struct TConnectionRegistry {
  std::mutex Lock;
  std::condition_variable Idle;
  std::unordered_set<int> Fds;
  std::size_t Running = 0;
};

// The socket handed from the accept loop to the thread started for it: NoFd until then,
// Quit when the loop ended before a connection came.
struct THandoff {
  static constexpr int NoFd = -1;
  static constexpr int Quit = -2;
  std::atomic<int> Fd{NoFd};

  void Give(int Value) {
    Fd.store(Value);
    Fd.notify_one();
  }
  int Take() {
    Fd.wait(NoFd);
    return Fd.load();
  }
};

namespace {

constexpr std::size_t HeaderLimit = 64 * 1024;
constexpr auto WriteIdleLimit = std::chrono::seconds(15);
constexpr const char* JsonType = "application/json; charset=utf-8";

// A blocking-looking stream over a non-blocking socket: every wait is a poll bounded by a
// deadline, since a plain blocking read would ignore any time limit.
class TSocketStream {
public:
  TSocketStream(int Fd, TClock::time_point ReadDeadline) : Fd_(Fd), ReadDeadline_(ReadDeadline) {}

  template <class TBuffers>
  std::size_t read_some(const TBuffers& Buffers, beast::error_code& Ec) {
    Ec = {};
    for (auto It = boost::asio::buffer_sequence_begin(Buffers); It != boost::asio::buffer_sequence_end(Buffers); ++It) {
      const boost::asio::mutable_buffer Buffer = *It;
      if (Buffer.size() == 0) {
        continue;
      }
      while (true) {
        const ssize_t Got = ::recv(Fd_, Buffer.data(), Buffer.size(), 0);
        if (Got > 0) {
          return static_cast<std::size_t>(Got);
        }
        if (Got == 0) {
          Ec = boost::asio::error::eof;
          return 0;
        }
        if (errno == EINTR) {
          continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          Ec.assign(errno, beast::system_category());
          return 0;
        }
        if (!Wait(POLLIN, ReadDeadline_, Ec)) {
          return 0;
        }
      }
    }
    return 0;
  }

  template <class TBuffers>
  std::size_t read_some(const TBuffers& Buffers) {
    beast::error_code Ec;
    const std::size_t Got = read_some(Buffers, Ec);
    if (Ec) {
      throw beast::system_error(Ec);
    }
    return Got;
  }

  template <class TBuffers>
  std::size_t write_some(const TBuffers& Buffers, beast::error_code& Ec) {
    Ec = {};
    iovec Parts[16];
    int Count = 0;
    for (auto It = boost::asio::buffer_sequence_begin(Buffers);
         It != boost::asio::buffer_sequence_end(Buffers) && Count < 16; ++It) {
      const boost::asio::const_buffer Buffer = *It;
      if (Buffer.size() != 0) {
        Parts[Count++] = iovec{const_cast<void*>(Buffer.data()), Buffer.size()};
      }
    }
    if (Count == 0) {
      return 0;
    }
    msghdr Message{};
    Message.msg_iov = Parts;
    Message.msg_iovlen = static_cast<std::size_t>(Count);
    while (true) {
      const ssize_t Sent = ::sendmsg(Fd_, &Message, MSG_NOSIGNAL | (MoreFollows_ ? MSG_MORE : 0));
      if (Sent >= 0) {
        return static_cast<std::size_t>(Sent);
      }
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Ec.assign(errno, beast::system_category());
        return 0;
      }
      if (!Wait(POLLOUT, TClock::now() + WriteIdleLimit, Ec)) {
        return 0;
      }
    }
  }

  template <class TBuffers>
  std::size_t write_some(const TBuffers& Buffers) {
    beast::error_code Ec;
    const std::size_t Sent = write_some(Buffers, Ec);
    if (Ec) {
      throw beast::system_error(Ec);
    }
    return Sent;
  }

  void SetMoreFollows(bool More) { MoreFollows_ = More; }

  // Streams Size bytes of File with sendfile, the kernel copying page cache to socket.
  bool SendFile(int File, std::uint64_t Size) {
    off_t Offset = 0;
    beast::error_code Ec;
    while (static_cast<std::uint64_t>(Offset) < Size) {
      const std::size_t Chunk = static_cast<std::size_t>(std::min<std::uint64_t>(Size - Offset, 1u << 30));
      const ssize_t Sent = ::sendfile(Fd_, File, &Offset, Chunk);
      if (Sent > 0) {
        continue;
      }
      if (Sent == 0) {
        return false;  // the file shrank after it was opened
      }
      if (errno == EINTR) {
        continue;
      }
      if ((errno != EAGAIN && errno != EWOULDBLOCK) || !Wait(POLLOUT, TClock::now() + WriteIdleLimit, Ec)) {
        return false;
      }
    }
    return true;
  }

  // Reads and drops what the peer still sends, for a short while, so that closing with
  // unread data does not reset the connection before the peer has read our answer.
  void Linger() {
    ::shutdown(Fd_, SHUT_WR);
    const auto Deadline = TClock::now() + std::chrono::seconds(2);
    char Sink[16384];
    beast::error_code Ec;
    for (std::size_t Total = 0; Total < (64u << 20);) {
      const ssize_t Got = ::recv(Fd_, Sink, sizeof Sink, 0);
      if (Got > 0) {
        Total += static_cast<std::size_t>(Got);
      } else if (Got == 0 || (errno != EAGAIN && errno != EINTR) || !Wait(POLLIN, Deadline, Ec)) {
        return;
      }
    }
  }

private:
  bool Wait(short Events, TClock::time_point Deadline, beast::error_code& Ec) {
    while (true) {
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
      if (Left <= 0) {
        Ec = beast::error::timeout;
        return false;
      }
      pollfd Poll{Fd_, Events, 0};
      const int Ready = ::poll(&Poll, 1, static_cast<int>(std::min<long long>(Left, 60000)));
      if (Ready > 0) {
        return true;
      }
      if (Ready < 0 && errno != EINTR) {
        Ec.assign(errno, beast::system_category());
        return false;
      }
    }
  }

  int Fd_;
  TClock::time_point ReadDeadline_;
  bool MoreFollows_ = false;
};

void WriteResponse(TSocketStream& Stream, THttpResponse& Response) {
  beast::error_code Ec;
  if (Response.Status < 100 || Response.Status > 999) {
    Response.Status = 502;  // no status line can carry it
  }
  if (Response.File) {
    http::response<http::empty_body> Head{static_cast<http::status>(Response.Status), 11};
    Head.set(http::field::content_type, Response.ContentType);
    for (const auto& [Name, Value] : Response.Headers) {
      Head.set(Name, Value);
    }
    Head.content_length(Response.FileSize);
    http::response_serializer<http::empty_body> Serializer{Head};
    Stream.SetMoreFollows(Response.FileSize > 0);
    http::write_header(Stream, Serializer, Ec);
    Stream.SetMoreFollows(false);
    if (!Ec) {
      Stream.SendFile(Response.File.Get(), Response.FileSize);
    }
    Response.File.Reset();
    return;
  }
  http::response<http::string_body> Message{static_cast<http::status>(Response.Status), 11};
  Message.set(http::field::content_type, Response.ContentType);
  for (const auto& [Name, Value] : Response.Headers) {
    Message.set(Name, Value);
  }
  Message.body() = std::move(Response.Body);
  Message.prepare_payload();
  http::write(Stream, Message, Ec);
}

void Refuse(TSocketStream& Stream, int Status, std::string Body, std::string_view ContentType) {
  THttpResponse Response;
  Response.Status = Status;
  Response.ContentType = ContentType;
  if (ContentType == JsonType) {
    Response.SetHeader("Connection", "close");
    Response.SetHeader("Cache-Control", "no-cache");
  }
  Response.SetText(std::move(Body));
  WriteResponse(Stream, Response);
  Stream.Linger();
}

bool IsTransientAcceptError(int Error) {
  switch (Error) {
    case EINTR: case ECONNABORTED: case EPROTO: case EAGAIN: case EPERM:
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM:
      return true;
    default:
      return false;
  }
}

} // namespace

THttpServer::THttpServer(THandler Handler)
    : Handler_(std::move(Handler)), Connections_(std::make_shared<TConnectionRegistry>()) {}

THttpServer::~THttpServer() {
  std::unique_lock Lock(Connections_->Lock);
  if (!Connections_->Idle.wait_for(Lock, ShutdownGrace, [&] { return Connections_->Running == 0; })) {
    for (const int Fd : Connections_->Fds) {
      ::shutdown(Fd, SHUT_RDWR);
    }
    Connections_->Idle.wait(Lock, [&] { return Connections_->Running == 0; });
  }
}

void THttpServer::Deactivate() {
  Stopping_.store(true);
}

bool THttpServer::IsActive() const {
  return Active_.load();
}

void THttpServer::Activate(std::uint16_t Port) {
  if (Stopping_.load()) {
    return;
  }
  TUniqueFd Listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!Listener) {
    throw std::system_error(errno, std::generic_category(), "socket");
  }
  const int On = 1;
  if (::setsockopt(Listener.Get(), SOL_SOCKET, SO_REUSEADDR, &On, sizeof On) != 0) {
    throw std::system_error(errno, std::generic_category(), "SO_REUSEADDR");
  }
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(Port);
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(Listener.Get(), reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0) {
    throw std::system_error(errno, std::generic_category(), "bind port " + std::to_string(Port));
  }
  if (::listen(Listener.Get(), 5) != 0) {
    throw std::system_error(errno, std::generic_category(), "listen");
  }

  // Active is published before Stopping is read again, and a stopper sets Stopping before
  // it reads Active: one of the two always sees the other, so no stop is lost.
  Active_.store(true);
  struct TActiveReset {
    std::atomic<bool>& Flag;
    ~TActiveReset() { Flag.store(false); }
  } ActiveReset{Active_};

  // The thread for the next connection is started before that connection is accepted, so
  // that the connection waits for a thread to wake up rather than for a new one to be
  // scheduled for the first time, which takes milliseconds on a busy machine.
  std::shared_ptr<THandoff> Next;
  struct TNextQuit {
    std::shared_ptr<THandoff>& Next;
    ~TNextQuit() {
      if (Next) {
        Next->Give(THandoff::Quit);
      }
    }
  } NextQuit{Next};

  while (!Stopping_.load()) {
    if (!Next) {
      Next = StartConnectionThread();
    }
    const int Fd = ::accept4(Listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (Fd < 0) {
      const int Error = errno;
      if (!IsTransientAcceptError(Error)) {
        throw std::system_error(Error, std::generic_category(), "accept");
      }
      if (Error == EMFILE || Error == ENFILE || Error == ENOBUFS || Error == ENOMEM) {
        ::poll(nullptr, 0, 10);  // out of resources: give running connections a moment to end
      }
      continue;
    }
    if (Stopping_.load() || !Next) {
      ::close(Fd);  // the wake-up connection, or no thread could be started for it
      continue;
    }
    {
      std::lock_guard Guard(Connections_->Lock);
      Connections_->Fds.insert(Fd);
      ++Connections_->Running;
    }
    std::exchange(Next, nullptr)->Give(Fd);
  }
}

std::shared_ptr<THandoff> THttpServer::StartConnectionThread() {
  auto Handoff = std::make_shared<THandoff>();
  try {
    std::thread([this, Registry = Connections_, Handoff] {
      const int Fd = Handoff->Take();
      if (Fd < 0) {
        return;  // the server stopped first; nothing of it may be touched now
      }
      try {
        Serve(Fd);
      } catch (...) {
        // Out of memory at worst: the connection closes without an answer.
      }
      std::lock_guard Guard(Registry->Lock);
      Registry->Fds.erase(Fd);
      ::close(Fd);
      --Registry->Running;
      Registry->Idle.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;  // out of threads for now: the next connection is closed unanswered
  }
  return Handoff;
}

void THttpServer::Serve(int Fd) {
  TSocketStream Stream(Fd, TClock::now() + RequestDeadline);
  beast::flat_buffer Buffer;
  http::request_parser<http::string_body> Parser;
  Parser.header_limit(HeaderLimit);
  Parser.body_limit(MaxBodyBytes);

  auto Fail = [&](const beast::error_code& Ec) {
    if (Ec == http::error::body_limit) {
      Refuse(Stream, 413, R"({"ok":false,"error":"Request too large."})", JsonType);
    } else if (Ec == http::error::header_limit) {
      Refuse(Stream, 431, "Request Header Fields Too Large", "text/plain");
    } else if (Ec != http::error::end_of_stream && Ec != beast::error::timeout &&
               Ec != boost::asio::error::eof && Ec.category() != beast::system_category()) {
      Refuse(Stream, 400, "Bad Request", "text/plain");
    }
  };

  beast::error_code Ec;
  http::read_header(Stream, Buffer, Parser, Ec);
  if (Ec) {
    return Fail(Ec);
  }
  const auto& Message = Parser.get();
  const auto Expect = Message.find(http::field::expect);
  if (Expect != Message.end() && beast::iequals(Expect->value(), "100-continue")) {
    static constexpr std::string_view Continue = "HTTP/1.1 100 Continue\r\n\r\n";
    boost::asio::write(Stream, boost::asio::buffer(Continue.data(), Continue.size()), Ec);
  }
  if (!Parser.is_done()) {
    http::read(Stream, Buffer, Parser, Ec);
    if (Ec) {
      return Fail(Ec);
    }
  }

  THttpRequest Request;
  Request.Method = std::string(Message.method_string());
  const std::string_view Target(Message.target().data(), Message.target().size());
  const std::size_t Question = Target.find('?');
  Request.Path = std::string(Target.substr(0, Question));
  if (Question != std::string_view::npos) {
    Request.Query = std::string(Target.substr(Question + 1));
  }
  if (const auto Host = Message.find(http::field::host); Host != Message.end()) {
    Request.Host = std::string(Host->value());
  }
  if (const auto Origin = Message.find(http::field::origin); Origin != Message.end()) {
    Request.Origin = std::string(Origin->value());
  }
  Request.Body = std::move(Parser.get().body());

  THttpResponse Response;
  try {
    Handler_(Request, Response);
  } catch (...) {
    Response = THttpResponse{};
    Response.Status = 500;
    Response.SetText("Internal Server Error");
  }
  WriteResponse(Stream, Response);
}

} // namespace NVelmora
