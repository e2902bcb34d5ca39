#include "platform/text.h"

namespace NVelmora {
namespace {

// Moves the ASCII letters First to Last by Shift; every other byte stays.
std::string ShiftLetters(std::string_view Text, char First, char Last, int Shift) {
  std::string Out(Text);
  for (char& C : Out) {
    if (C >= First && C <= Last) {
      C = static_cast<char>(C + Shift);
    }
  }
  return Out;
}

} // namespace

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
  return ShiftLetters(Text, 'A', 'Z', 'a' - 'A');
}

std::string ToUpperAscii(std::string_view Text) {
  return ShiftLetters(Text, 'a', 'z', 'A' - 'a');
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

} // namespace NVelmora
