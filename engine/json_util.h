#pragma once

#include "engine/uapi.h"

#include <nlohmann/json.hpp>

#include <string>

namespace NVelmora {

// A text member counts only when it is a JSON string; anything else reads as empty text.
std::string StringMember(const TJson& Object, const char* Name);

// Compact JSON text. Text that is not valid UTF-8 (a row written by another program, say)
// is written with U+FFFD in place of the invalid bytes rather than failing.
std::string WriteJson(const TJson& Value);

} // namespace NVelmora
