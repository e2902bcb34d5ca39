#pragma once

#include "platform/unique_fd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace NVelmora {

// One request as the dispatcher sees it; nothing here is decoded but the query fields.
struct THttpRequest {
  std::string Method;  // as sent, never re-cased
  std::string Path;    // the target up to the first "?", not percent-decoded
  std::string Query;   // everything after the first "?", raw
  std::string Body;
  std::optional<std::string> Host;
  std::optional<std::string> Origin;

  // The first query field of that name, decoded ("+" is a blank, "%XX" a byte).
  std::optional<std::string> QueryField(std::string_view Name) const;
};

// The answer a route fills; the server sends it after the dispatcher returns.
struct THttpResponse {
  int Status = 200;
  std::string ContentType = "text/html";
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  // When set, the body is streamed from this file instead: FileSize bytes from its start.
  TUniqueFd File;
  std::uint64_t FileSize = 0;

  // Setting a name again replaces its value.
  void SetHeader(std::string_view Name, std::string_view Value);
  // Sets a text body, dropping any file.
  void SetText(std::string Text);
  void SetFile(TUniqueFd Fd, std::uint64_t Size);
};

} // namespace NVelmora
