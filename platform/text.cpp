#include "platform/text.h"

namespace NVelmora {

std::string_view Trim(std::string_view Text) {
  auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= 32; };
  while (!Text.empty() && IsBlank(Text.front())) {
    Text.remove_prefix(1);
  }
  while (!Text.empty() && IsBlank(Text.back())) {
    Text.remove_suffix(1);
  }
  return Text;
}

std::string ToLowerAscii(std::string_view Text) {
  std::string Out(Text);
  for (char& C : Out) {
    if (C >= 'A' && C <= 'Z') {
      C = static_cast<char>(C - 'A' + 'a');
    }
  }
  return Out;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

} // namespace NVelmora
