#include "tests/desktop/desktop_fixtures.h"
#include "tests/support/http_client.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

extern char** environ;

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::map<std::string, std::string> ReadDesktopEntry(const std::string& Path) {
  std::map<std::string, std::string> Keys;
  for (const std::string& Line : ReadLines(Path)) {
    if (const std::size_t Equals = Line.find('='); Equals != std::string::npos) {
      Keys[Line.substr(0, Equals)] = Line.substr(Equals + 1);
    }
  }
  return Keys;
}

// The program as the desktop starts it, from its installed place; killed at the end.
class TInstalledVelmora {
public:
  TInstalledVelmora(const std::string& Program, const std::string& Log) : Log_(Log) {
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&Actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&Actions, "/");
    std::vector<char*> Argv{const_cast<char*>(Program.c_str()), const_cast<char*>("--headless"), nullptr};
    if (::posix_spawn(&Pid_, Program.c_str(), &Actions, nullptr, Argv.data(), environ) != 0) {
      Pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&Actions);
  }
  ~TInstalledVelmora() {
    if (Pid_ > 0) {
      ::kill(Pid_, SIGKILL);
      ::waitpid(Pid_, nullptr, 0);
    }
  }
  TInstalledVelmora(const TInstalledVelmora&) = delete;
  TInstalledVelmora& operator=(const TInstalledVelmora&) = delete;

  std::uint16_t AwaitPort() const {
    static constexpr std::string_view Banner = "[Velmora] Native engine listening at http://127.0.0.1:";
    std::uint16_t Port = 0;
    WaitUntil(
        [&] {
          const std::string Out = ReadFile(Log_);
          const std::size_t At = Out.find(Banner);
          if (At != std::string::npos && Out.find('\n', At) != std::string::npos) {
            Port = static_cast<std::uint16_t>(std::stoi(Out.substr(At + Banner.size())));
          }
          return Port != 0 || Pid_ <= 0;
        },
        15s);
    return Port;
  }

private:
  std::string Log_;
  pid_t Pid_ = -1;
};

TEST(Installation, PutsEverythingWhereTheDesktopEntrySaysAndUninstallTakesBackOnlyThat) {
  TTempDir Dir;
  const std::string Prefix = Dir.Path() + "my prefix";
  // Things of the user's own that share the prefix's folders.
  fs::create_directories(Prefix + "/share/applications");
  fs::create_directories(Prefix + "/bin");
  WriteFile(Prefix + "/share/applications/other.desktop", "[Desktop Entry]\n");
  WriteFile(Prefix + "/bin/other-tool", "");

  // A component of its own keeps the manifest of a real `make install` in this tree intact.
  const TToolRun Install =
      RunTool(VLM_CMAKE_COMMAND, {"--install", VLM_BUILD_DIR, "--prefix", Prefix, "--component", "velmora"}, 60s);
  ASSERT_EQ(Install.Status, 0) << Install.Output;
  const std::string Manifest = std::string(VLM_BUILD_DIR) + "/install_manifest_velmora.txt";

  const auto Entry = ReadDesktopEntry(Prefix + "/share/applications/velmora.desktop");
  EXPECT_EQ(Entry.at("Type"), "Application");
  EXPECT_EQ(Entry.at("Name"), "Velmora");
  EXPECT_EQ(Entry.at("Categories"), "Office;");
  EXPECT_EQ(Entry.at("StartupWMClass"), "velmora");
  ASSERT_EQ(Entry.at("Exec"), "\"" + Prefix + "/bin/velmora\"");
  const std::string Exec = Prefix + "/bin/velmora";
  EXPECT_TRUE(fs::is_symlink(Exec));
  EXPECT_EQ(fs::canonical(Exec), fs::canonical(Prefix + "/lib/velmora/velmora"));
  ASSERT_EQ(Entry.at("Icon"), "velmora");
  // The theme's folder names the icon's size, which the PNG header holds (width at 16).
  const std::string Png = ReadFile(std::string(VLM_BUILD_DIR) + "/ui/app-icon.png");
  ASSERT_GE(Png.size(), 24u);
  const unsigned Width = (static_cast<unsigned char>(Png[18]) << 8) | static_cast<unsigned char>(Png[19]);
  const std::string Size = std::to_string(Width) + "x" + std::to_string(Width);
  const std::string Icon = Prefix + "/share/icons/hicolor/" + Size + "/apps/velmora.png";
  ASSERT_TRUE(fs::exists(Icon)) << Icon;
  EXPECT_EQ(ReadFile(Icon), Png);

  {
    TInstalledVelmora Velmora(Exec, Dir.Path() + "velmora.log");
    const std::uint16_t Port = Velmora.AwaitPort();
    ASSERT_NE(Port, 0) << ReadFile(Dir.Path() + "velmora.log");
    EXPECT_EQ(Get(Port, "/api/health").Status, 200);
    const THttpAnswer Page = Get(Port, "/");
    EXPECT_EQ(Page.Status, 200);
    EXPECT_EQ(Page.Body, ReadFile(Prefix + "/lib/velmora/ui/index.html"));
    EXPECT_TRUE(fs::exists(Prefix + "/lib/velmora/data/velmora.sqlite3"));
  }

  const std::vector<std::string> Installed = ReadLines(Manifest);
  ASSERT_FALSE(Installed.empty());
  const TToolRun Uninstall = RunTool(
      VLM_CMAKE_COMMAND, {"-DVLM_INSTALL_MANIFEST=" + Manifest, "-P", std::string(VLM_SOURCE_DIR) + "/cmake/install.cmake"});
  ASSERT_EQ(Uninstall.Status, 0) << Uninstall.Output;
  for (const std::string& File : Installed) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(File))) << File << " is still there";
  }
  EXPECT_FALSE(fs::exists(Prefix + "/lib/velmora/ui"));
  EXPECT_TRUE(fs::exists(Prefix + "/share/applications/other.desktop"));
  EXPECT_TRUE(fs::exists(Prefix + "/bin/other-tool"));
  // The user's saved jobs and notes are not the installer's to delete.
  EXPECT_TRUE(fs::exists(Prefix + "/lib/velmora/data/velmora.sqlite3"));
}

} // namespace
} // namespace NVelmora::NTest
