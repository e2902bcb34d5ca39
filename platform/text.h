#pragma once

#include <string>
#include <string_view>

namespace NVelmora {

// Removes leading and trailing bytes of value 32 or lower (blanks and control characters).
std::string_view Trim(std::string_view Text);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
std::string ToLowerAscii(std::string_view Text);

// Upper-cases the ASCII letters a to z only; every other byte stays.
std::string ToUpperAscii(std::string_view Text);

bool StartsWith(std::string_view Text, std::string_view Prefix);

} // namespace NVelmora
