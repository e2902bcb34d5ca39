#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NVelmora::NTest {

struct TScriptedAnswer {
  int Status = 200;
  std::string Body = "{}";
  std::string ContentType = "application/json";
  std::chrono::milliseconds Delay{0};
};

// A scripted answer with no delay.
TScriptedAnswer Answer(int Status, std::string Body, const char* ContentType = "application/json");

struct TRecordedRequest {
  std::string Method;
  std::string Target;  // as sent, query included
  std::string Path;    // after the "/api/v1" root, without the query
  std::string Query;
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;

  // The first header of that name, compared without regard to letter case.
  std::optional<std::string> Header(const std::string& Name) const;
};

// A stand-in for the public service on 127.0.0.1 and a free port, reached by the real curl.
// Answers are scripted per method and path (the part after "/api/v1"); everything it gets
// is recorded. Unscripted requests get 404 with a JSON error object.
class TFakeService {
public:
  TFakeService();
  ~TFakeService();
  TFakeService(const TFakeService&) = delete;
  TFakeService& operator=(const TFakeService&) = delete;

  std::uint16_t Port() const { return Port_; }
  // "http://127.0.0.1:<port>/api/v1", the value for VLM_API_BASE.
  std::string ApiBase() const;

  void Script(const std::string& Method, const std::string& Path, TScriptedAnswer Answer);
  std::vector<TRecordedRequest> Requests() const;
  void ClearRequests();
  // Stops listening for good: later connections are refused, as with a service that is down.
  void Stop();

private:
  struct TState;
  void AcceptLoop();

  std::shared_ptr<TState> State_;
  int Listener_ = -1;
  std::uint16_t Port_ = 0;
  std::unique_ptr<std::thread> Acceptor_;
};

// A stand-in for curl: a shell script named "curl" in Dir() that records its arguments, the
// bytes and permission bits of the request file it is given ("@path"), prints the scripted
// output and exits with the scripted status. Put Dir() first on PATH.
class TFakeCurl {
public:
  TFakeCurl();
  ~TFakeCurl();
  const std::string& Dir() const { return Dir_; }
  void SetOutput(const std::string& Output, int ExitStatus = 0);
  // The arguments of the last run (without the program name); empty when it never ran.
  std::vector<std::string> Args() const;
  bool Ran() const;
  std::string RequestBody() const;
  std::string RequestMode() const;  // e.g. "600"

private:
  std::string Dir_;
};

} // namespace NVelmora::NTest
