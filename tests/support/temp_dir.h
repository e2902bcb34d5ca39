#pragma once

#include <string>

namespace NVelmora::NTest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // Always ends in "/".
  const std::string& Path() const { return Path_; }

private:
  std::string Path_;
};

void WriteFile(const std::string& Path, const std::string& Content);
std::string ReadFile(const std::string& Path);

} // namespace NVelmora::NTest
