#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace NVelmora::NTest {

struct THttpAnswer {
  int Status = 0;  // 0 when no status line came back
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  std::string Raw;

  // The first header of that name, compared without regard to letter case.
  std::optional<std::string> Header(std::string_view Name) const;
};

struct TRequestSpec {
  std::string Method = "GET";
  std::string Target = "/";
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  bool SendHost = true;  // "Host: 127.0.0.1:<port>" unless Headers names one
};

// One request over a fresh connection to 127.0.0.1:Port; reads until the server closes.
THttpAnswer Send(std::uint16_t Port, const TRequestSpec& Spec);
THttpAnswer Get(std::uint16_t Port, const std::string& Target);
THttpAnswer Post(std::uint16_t Port, const std::string& Target, const std::string& Body);

// Writes Bytes as they are and gives everything read back before the server closed or
// TimeoutMs passed.
std::string SendRaw(std::uint16_t Port, std::string_view Bytes, int TimeoutMs = 20000);
THttpAnswer ParseAnswer(std::string Raw);

// True while something accepts connections on 127.0.0.1:Port.
bool IsListening(std::uint16_t Port);

} // namespace NVelmora::NTest
