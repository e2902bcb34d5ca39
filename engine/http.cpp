#include "engine/http.h"

namespace NVelmora {
namespace {

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

std::string DecodeQueryPart(std::string_view Part) {
  std::string Out;
  Out.reserve(Part.size());
  for (std::size_t I = 0; I < Part.size(); ++I) {
    const char C = Part[I];
    if (C == '+') {
      Out += ' ';
    } else if (C == '%' && I + 2 < Part.size() && HexValue(Part[I + 1]) >= 0 && HexValue(Part[I + 2]) >= 0) {
      Out += static_cast<char>(HexValue(Part[I + 1]) * 16 + HexValue(Part[I + 2]));
      I += 2;
    } else {
      Out += C;
    }
  }
  return Out;
}

} // namespace

std::optional<std::string> THttpRequest::QueryField(std::string_view Name) const {
  std::string_view Rest(Query);
  while (!Rest.empty()) {
    const std::size_t Amp = Rest.find('&');
    const std::string_view Pair = Rest.substr(0, Amp);
    const std::size_t Equals = Pair.find('=');
    if (DecodeQueryPart(Pair.substr(0, Equals)) == Name) {
      return Equals == std::string_view::npos ? std::string() : DecodeQueryPart(Pair.substr(Equals + 1));
    }
    if (Amp == std::string_view::npos) {
      break;
    }
    Rest.remove_prefix(Amp + 1);
  }
  return std::nullopt;
}

void THttpResponse::SetHeader(std::string_view Name, std::string_view Value) {
  for (auto& [Existing, Old] : Headers) {
    if (Existing == Name) {
      Old = Value;
      return;
    }
  }
  Headers.emplace_back(Name, Value);
}

void THttpResponse::SetText(std::string Text) {
  File.Reset();
  FileSize = 0;
  Body = std::move(Text);
}

void THttpResponse::SetFile(TUniqueFd Fd, std::uint64_t Size) {
  Body.clear();
  File = std::move(Fd);
  FileSize = Size;
}

} // namespace NVelmora
