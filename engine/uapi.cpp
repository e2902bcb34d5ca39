#include "engine/uapi.h"

#include "engine/http_server.h"
#include "platform/text.h"
#include "store/sqlite.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace NVelmora {
namespace {

constexpr int Activations = 16;

std::string ReadApiBase() {
  const char* Value = std::getenv("VLM_API_BASE");
  if (Value == nullptr || Trim(Value).empty()) {
    return DefaultApiBase;
  }
  return Value;  // kept exactly as read, blanks and all
}

} // namespace

TVelmoraApiServer::TVelmoraApiServer(const std::string& AppDirectory, std::uint16_t FirstPort)
    : AppDir(AppDirectory.empty() || AppDirectory.back() != '/' ? AppDirectory + "/" : AppDirectory),
      Port(FirstPort),
      ApiBase(ReadApiBase()) {
  LoadDeviceIdentity();
  OpenDatabase();
  HttpServer = std::make_unique<THttpServer>(
      [this](const THttpRequest& Request, THttpResponse& Response) { HandleRequest(*this, Request, Response); });
}

TVelmoraApiServer::~TVelmoraApiServer() {
  StopServer();
  if (Thread_.joinable()) {
    Thread_.join();
  }
  // The server goes first: it waits for running requests, so none can reach a closed database.
  HttpServer.reset();
  DbTransaction.reset();
  DbConnection.reset();
}

void TVelmoraApiServer::Start() {
  Thread_ = std::thread([this] { Run(); });
}

void TVelmoraApiServer::Terminate() {
  Terminated_.store(true);
}

void TVelmoraApiServer::WaitFor() {
  if (Thread_.joinable()) {
    Thread_.join();
  }
}

void TVelmoraApiServer::Run() {
  for (int Attempt = 0; Attempt < Activations; ++Attempt) {
    try {
      HttpServer->Activate(Port.load());
      return;
    } catch (const std::system_error&) {
      Port.fetch_add(1);
    }
  }
}

void TVelmoraApiServer::StopServer() {
  if (!HttpServer) {
    return;
  }
  HttpServer->Deactivate();
  if (!HttpServer->IsActive()) {
    return;
  }
  // The wake-up connection unblocks the accept that the engine thread is waiting in.
  const int Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Socket < 0) {
    return;
  }
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(Port.load());
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(Socket, reinterpret_cast<const sockaddr*>(&Address), sizeof Address);
  ::close(Socket);
}

} // namespace NVelmora
