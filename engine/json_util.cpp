#include "engine/json_util.h"

#include "platform/text.h"

namespace NVelmora {

std::optional<TJson> ParseJsonObject(std::string_view Text) {
  if (Trim(Text).empty()) {
    return std::nullopt;
  }
  TJson Parsed = TJson::parse(Text.begin(), Text.end(), nullptr, /*allow_exceptions=*/false);
  if (!Parsed.is_object()) {
    return std::nullopt;
  }
  return Parsed;
}

std::string StringMember(const TJson& Object, const char* Name) {
  const auto It = Object.find(Name);
  if (It == Object.end() || !It->is_string()) {
    return {};
  }
  return It->get<std::string>();
}

std::string WriteJson(const TJson& Value) {
  return Value.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

} // namespace NVelmora
