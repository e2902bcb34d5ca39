#include "tests/desktop/desktop_fixtures.h"
#include "tests/support/http_client.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* AppPrefix = "arg:--app=http://127.0.0.1:";

enum class EKind { Script, NotExecutable, Directory };

struct TProgram {
  int Dir;  // which PATH entry holds it
  const char* Name;
  EKind Kind = EKind::Script;
};

// A desktop without a display: two folders on PATH with stand-in browsers that record
// their start and end with status 3, and a stand-in xdg-open.
class TDesktop {
public:
  explicit TDesktop(const std::string& AppName = "app") : AppDir_(Root_.Path() + AppName + "/") {
    fs::create_directories(AppDir_);
    fs::create_directories(Bin(0));
    fs::create_directories(Bin(1));
  }

  std::string Bin(int Dir) const { return Root_.Path() + "bin" + std::to_string(Dir); }
  std::string Record(const std::string& Name) const { return Root_.Path() + Name + ".record"; }
  const std::string& AppDir() const { return AppDir_; }
  std::string Path() const { return Bin(0) + ":" + Bin(1); }

  void Add(const TProgram& Program, const std::string& Tail = "exit 3\n") {
    const std::string File = Bin(Program.Dir) + "/" + Program.Name;
    if (Program.Kind == EKind::Directory) {
      fs::create_directories(File);
      return;
    }
    WriteRecordingProgram(File, Record(Program.Name), Tail);
    if (Program.Kind == EKind::NotExecutable) {
      fs::permissions(File, fs::perms::owner_read | fs::perms::owner_write);
    }
  }

  // velmora without a headless switch and without a display.
  TVelmoraOptions Options(std::optional<std::string> Path, std::optional<std::string> Dmabuf = std::nullopt) const {
    TVelmoraOptions Options;
    Options.Args = {};
    Options.WaitForBanner = false;
    Options.Env = {{"PATH", std::move(Path)},
                   {"DISPLAY", std::nullopt},
                   {"WAYLAND_DISPLAY", std::nullopt},
                   {"VLM_HEADLESS", std::nullopt},
                   {"WEBKIT_DISABLE_DMABUF_RENDERER", std::move(Dmabuf)}};
    return Options;
  }

private:
  TTempDir Root_;
  std::string AppDir_;
};

// The record of a single run of a stand-in: its arguments, then where and with what it ran.
std::vector<std::string> ExpectedRun(const std::vector<std::string>& Args, const std::string& AppDir,
                                     const std::string& Dmabuf) {
  std::vector<std::string> Lines;
  for (const std::string& Arg : Args) {
    Lines.push_back("arg:" + Arg);
  }
  Lines.push_back("cwd:" + AppDir.substr(0, AppDir.size() - 1));
  Lines.push_back("dmabuf:" + Dmabuf);
  Lines.push_back("end");
  return Lines;
}

// The port the interface URL names in a browser's record; 0 when there is none.
int PortIn(const std::vector<std::string>& Lines) {
  for (const std::string& Line : Lines) {
    if (Line.rfind(AppPrefix, 0) == 0) {
      return std::atoi(Line.c_str() + std::string_view(AppPrefix).size());
    }
  }
  return 0;
}

struct TBrowserCase {
  const char* Name;
  std::vector<TProgram> Programs;
  const char* Started;  // null: a browser was found but could not run
  const char* AppName = "app";
  std::optional<std::string> Dmabuf = std::nullopt;
  const char* ExpectedDmabuf = "1";
  friend void PrintTo(const TBrowserCase& Case, std::ostream* Out) { *Out << Case.Name; }
};

class BrowserFallback : public ::testing::TestWithParam<TBrowserCase> {};

TEST_P(BrowserFallback, StartsTheFirstBrowserFoundWithItsThreeArgumentsAndEndsWithIt) {
  const TBrowserCase& Case = GetParam();
  TDesktop Desktop(Case.AppName);
  for (const TProgram& Program : Case.Programs) {
    Desktop.Add(Program);
  }
  Desktop.Add({0, "xdg-open"});
  TVelmoraProcess Velmora(Desktop.Options(Desktop.Path(), Case.Dmabuf), Desktop.AppDir());

  ASSERT_EQ(Velmora.WaitForExit(20s), 0) << Velmora.Stderr();
  EXPECT_EQ(Velmora.Stdout(), "");
  for (const TProgram& Program : Case.Programs) {
    const std::vector<std::string> Run = ReadLines(Desktop.Record(Program.Name));
    if (Case.Started == nullptr || Program.Name != std::string(Case.Started)) {
      EXPECT_EQ(Run, std::vector<std::string>{}) << Program.Name << " ran";
      continue;
    }
    const int Port = PortIn(Run);
    EXPECT_GE(Port, 19029);
    EXPECT_LE(Port, 19044);
    EXPECT_EQ(Run, ExpectedRun({"--user-data-dir=" + Desktop.AppDir() + "data/app_profile",
                                "--app=http://127.0.0.1:" + std::to_string(Port) + "/", "--window-size=1340,860"},
                               Desktop.AppDir(), Case.ExpectedDmabuf));
  }
  EXPECT_EQ(ReadLines(Desktop.Record("xdg-open")), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, BrowserFallback,
    ::testing::Values(
        TBrowserCase{"ChromeBeforeChromium", {{0, "chromium"}, {0, "google-chrome"}}, "google-chrome"},
        TBrowserCase{"NameOrderOverPathOrder", {{0, "brave-browser"}, {0, "chromium"}, {1, "google-chrome"}},
                     "google-chrome"},
        TBrowserCase{"ChromiumBeforeTheRest", {{0, "chromium-browser"}, {1, "chromium"}, {0, "brave-browser"}},
                     "chromium"},
        TBrowserCase{"ChromiumBrowserBeforeBrave", {{1, "brave-browser"}, {0, "chromium-browser"}},
                     "chromium-browser"},
        TBrowserCase{"BraveAloneInAFolderWithSpaces", {{1, "brave-browser"}}, "brave-browser", "my velmora app"},
        TBrowserCase{"DirectoryNamedLikeABrowser",
                     {{0, "google-chrome", EKind::Directory}, {1, "chromium"}}, "chromium"},
        TBrowserCase{"DmabufSettingKept", {{0, "chromium"}}, "chromium", "app", "0", "0"},
        TBrowserCase{"EmptyDmabufSettingKept", {{0, "chromium"}}, "chromium", "app", "", ""},
        // Found but unable to run: the program ends as after the browser, and tries no other.
        TBrowserCase{"BrowserFileNotExecutable",
                     {{0, "google-chrome", EKind::NotExecutable}, {1, "chromium"}}, nullptr}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(BrowserLifetime, ServesWhileTheBrowserRunsAndExitsRightAfterIt) {
  TDesktop Desktop;
  const std::string Release = Desktop.AppDir() + "../release";
  ASSERT_EQ(::mkfifo(Release.c_str(), 0600), 0);
  Desktop.Add({0, "chromium"}, "read line < '" + Release + "'\nexit 0\n");
  TVelmoraProcess Velmora(Desktop.Options(Desktop.Path()), Desktop.AppDir());

  ASSERT_TRUE(WaitUntil([&] { return ReadLines(Desktop.Record("chromium")).size() == 6; }, 20s));
  const int Port = PortIn(ReadLines(Desktop.Record("chromium")));
  EXPECT_EQ(Get(static_cast<std::uint16_t>(Port), "/api/health").Status, 200);
  EXPECT_EQ(Velmora.WaitForExit(0ms), std::nullopt);

  int Writer = -1;
  ASSERT_TRUE(WaitUntil([&] { return (Writer = ::open(Release.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }, 10s));
  ASSERT_EQ(::write(Writer, "go\n", 3), 3);
  ::close(Writer);
  EXPECT_EQ(Velmora.WaitForExit(3s), 0) << Velmora.Stderr();
}

struct TNoBrowserCase {
  const char* Name;
  std::optional<std::string> Path;  // "@BIN" stands for the stand-ins' folders
  bool WithXdgOpen;
  friend void PrintTo(const TNoBrowserCase& Case, std::ostream* Out) { *Out << Case.Name; }
};

class NoBrowser : public ::testing::TestWithParam<TNoBrowserCase> {};

// A browser in the working directory (the application folder) must not be found either.
TEST_P(NoBrowser, HandsTheAddressToXdgOpenAndServesOnWithTheBanner) {
  const TNoBrowserCase& Case = GetParam();
  TDesktop Desktop;
  WriteRecordingProgram(Desktop.AppDir() + "google-chrome", Desktop.Record("google-chrome"));
  if (Case.WithXdgOpen) {
    Desktop.Add({1, "xdg-open"}, "");
  }
  std::optional<std::string> Path = Case.Path;
  if (Path && *Path == "@BIN") {
    Path = Desktop.Path();
  }
  TVelmoraProcess Velmora(Desktop.Options(Path), Desktop.AppDir());

  const std::uint16_t Port = Velmora.AwaitBanner(20s);
  ASSERT_NE(Port, 0) << Velmora.Stderr();
  EXPECT_EQ(Velmora.Stdout(), "[Velmora] Native engine listening at http://127.0.0.1:" + std::to_string(Port) + "/\n");
  EXPECT_EQ(Get(Port, "/api/health").Status, 200);
  EXPECT_EQ(Velmora.WaitForExit(0ms), std::nullopt);
  EXPECT_EQ(ReadLines(Desktop.Record("google-chrome")), std::vector<std::string>{});

  // xdg-open is the program's only child here; its record is whole once it has ended.
  ASSERT_TRUE(WaitUntil([&] { return CountChildren(Velmora.Pid(), /*Ended=*/false) == 0; }, 10s));
  EXPECT_EQ(ReadLines(Desktop.Record("xdg-open")),
            Case.WithXdgOpen ? ExpectedRun({"http://127.0.0.1:" + std::to_string(Port) + "/"}, Desktop.AppDir(), "1")
                             : std::vector<std::string>{});
  // Nobody waits for xdg-open, yet it must not linger as a zombie.
  EXPECT_TRUE(WaitUntil([&] { return CountChildren(Velmora.Pid(), /*Ended=*/true) == 0; }, 5s));
  EXPECT_EQ(Velmora.WaitForExit(0ms), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Desktop, NoBrowser,
                         ::testing::Values(TNoBrowserCase{"OnlyXdgOpen", "@BIN", true},
                                           TNoBrowserCase{"NeitherBrowserNorXdgOpen", "@BIN", false},
                                           TNoBrowserCase{"PathUnset", std::nullopt, false},
                                           TNoBrowserCase{"PathEmpty", "", false},
                                           TNoBrowserCase{"PathOnlyEmptyEntries", "::", false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The banner never returns, so a toolkit not mapped once it is out is never loaded.
TEST(RunModeOrder, HeadlessComesBeforeTheDisplayAndTheBrowser) {
  TDesktop Desktop;
  Desktop.Add({0, "google-chrome"});
  TVelmoraOptions Options = Desktop.Options(Desktop.Path());
  Options.Args = {"--headless"};
  for (auto& [Name, Value] : Options.Env) {
    if (Name == "DISPLAY" || Name == "WAYLAND_DISPLAY") {
      Value = Name == "DISPLAY" ? ":0" : "wayland-0";
    }
  }
  TVelmoraProcess Velmora(Options, Desktop.AppDir());

  ASSERT_NE(Velmora.AwaitBanner(20s), 0) << Velmora.Stderr();
  const std::string Maps = ReadFile("/proc/" + std::to_string(Velmora.Pid()) + "/maps");
  ASSERT_FALSE(Maps.empty());
  EXPECT_EQ(Maps.find("libgtk-3"), std::string::npos);
  EXPECT_EQ(Maps.find("libwebkit2gtk"), std::string::npos);
  EXPECT_EQ(ReadLines(Desktop.Record("google-chrome")), std::vector<std::string>{});
  EXPECT_EQ(Velmora.WaitForExit(0ms), std::nullopt);
}

} // namespace
} // namespace NVelmora::NTest
