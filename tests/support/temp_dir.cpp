#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace NVelmora::NTest {

TTempDir::TTempDir() {
  const char* Base = std::getenv("TMPDIR");
  std::string Template = std::string(Base != nullptr && *Base != '\0' ? Base : "/tmp") + "/velmora-test-XXXXXX";
  if (::mkdtemp(Template.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  Path_ = Template + "/";
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::permissions(Path_, std::filesystem::perms::owner_all, Ignored);
  std::filesystem::remove_all(Path_, Ignored);
}

void WriteFile(const std::string& Path, const std::string& Content) {
  std::ofstream File(Path, std::ios::binary | std::ios::trunc);
  File << Content;
  if (!File) {
    throw std::runtime_error("cannot write " + Path);
  }
}

std::string ReadFile(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  std::ostringstream Content;
  Content << File.rdbuf();
  return Content.str();
}

} // namespace NVelmora::NTest
