#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace NVelmora {

// The service's Google sign-in address for this engine: the site root (ApiBase without
// its first "/api/v1", any letter case, and without one trailing "/") with the engine's
// callback on 127.0.0.1:Port as native_callback.
std::string GoogleStartUrl(std::string_view ApiBase, std::uint16_t Port);

} // namespace NVelmora
