#include "platform/process.h"
#include "tests/desktop/desktop_fixtures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

extern char** environ;

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The tools come from scripts/setup-deps.sh; without them this test fails rather than skips.
std::string Tool(const std::string& Name) {
  for (const char* Dir : {"/usr/bin/", "/bin/"}) {
    if (IsExistingFile(Dir + Name)) {
      return Dir + Name;
    }
  }
  ADD_FAILURE() << Name << " is missing: run scripts/setup-deps.sh";
  return "/nonexistent/" + Name;
}

// A virtual X display of its own; Xvfb picks a free number and names it on a pipe.
class TXvfb {
public:
  explicit TXvfb(const std::string& LogPath) {
    int Fds[2];
    if (::pipe2(Fds, O_CLOEXEC) != 0) {
      return;
    }
    const std::string Program = Tool("Xvfb");
    std::vector<std::string> Args = {Program, "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten",
                                     "tcp", "-noreset"};
    std::vector<char*> Argv;
    for (std::string& Arg : Args) {
      Argv.push_back(Arg.data());
    }
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&Actions, 1, 2);
    posix_spawn_file_actions_adddup2(&Actions, Fds[1], 3);
    if (::posix_spawn(&Pid_, Program.c_str(), &Actions, nullptr, Argv.data(), environ) != 0) {
      Pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&Actions);
    ::close(Fds[1]);
    std::string Number;
    const auto Deadline = std::chrono::steady_clock::now() + 20s;
    while (Pid_ > 0 && Number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < Deadline) {
      pollfd Poll{Fds[0], POLLIN, 0};
      if (::poll(&Poll, 1, 200) > 0) {
        char Chunk[32];
        const ssize_t Got = ::read(Fds[0], Chunk, sizeof Chunk);
        if (Got <= 0) {
          break;
        }
        Number.append(Chunk, static_cast<size_t>(Got));
      }
    }
    ::close(Fds[0]);
    if (Number.find('\n') != std::string::npos) {
      Display_ = ":" + Number.substr(0, Number.find('\n'));
    }
  }
  ~TXvfb() {
    if (Pid_ > 0) {
      ::kill(Pid_, SIGTERM);
      ::waitpid(Pid_, nullptr, 0);
    }
  }
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;

  // ":<number>", or empty when the server did not come up.
  const std::string& Display() const { return Display_; }

private:
  pid_t Pid_ = -1;
  std::string Display_;
};

// Two halves of the page, painted only once the page's own request to the engine has been
// answered; each opens a new window when clicked.
constexpr const char* TestPage = R"html(<!doctype html>
<html><head><meta charset="utf-8"><title>window test</title>
<style>html, body { margin: 0; height: 100%; background: #fff; }
#web, #script { position: absolute; top: 0; bottom: 0; width: 50%; }
#web { left: 0; } #script { right: 0; }
h1 { font: bold 28px sans-serif; color: #fff; margin: 24px; }</style></head>
<body>
<div id="web" onclick="window.open('https://example.org/velmora-window-test?from=click')"><h1>https link</h1></div>
<div id="script" onclick="window.open('javascript:void(0)')"><h1>javascript: link</h1></div>
<script>
fetch('/api/health').then(r => r.json()).then(j => {
  if (j.ok) {
    document.getElementById('web').style.background = 'rgb(20, 160, 90)';
    document.getElementById('script').style.background = 'rgb(200, 60, 30)';
  }
});
</script>
</body></html>
)html";

constexpr const char* CloseLikeAWindowManager = R"(import sys
from Xlib import X, display, protocol
d = display.Display()
w = d.create_resource_object('window', int(sys.argv[1]))
protocols = d.intern_atom('WM_PROTOCOLS')
delete = d.intern_atom('WM_DELETE_WINDOW')
w.send_event(protocol.event.ClientMessage(window=w, client_type=protocols,
                                          data=(32, [delete, X.CurrentTime, 0, 0, 0])),
             event_mask=X.NoEventMask)
d.flush()
)";

std::string Trimmed(std::string Text) {
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ' ')) {
    Text.pop_back();
  }
  return Text;
}

TEST(RealWindow, ShowsThePageSendsOnlyWebLinksOutAndEndsWhenClosed) {
  TTempDir Dir;
  const std::string Home = Dir.Path() + "home";
  const std::string Runtime = Dir.Path() + "runtime";
  fs::create_directories(Home);
  fs::create_directories(Runtime);
  fs::permissions(Runtime, fs::perms::owner_all);
  const std::string AppDir = Dir.Path() + "app/";
  fs::create_directories(AppDir + "ui");
  WriteFile(AppDir + "ui/index.html", TestPage);
  fs::create_directories(Dir.Path() + "bin");
  const std::string XdgOpen = Dir.Path() + "bin/xdg-open";
  const std::string Opened = Dir.Path() + "opened";
  WriteScript(XdgOpen, "printf '%s|%s\\n' \"$#\" \"$1\" >> '" + Opened + "'\n");
  const std::string Closer = Dir.Path() + "close_window.py";
  WriteFile(Closer, CloseLikeAWindowManager);

  const std::string Xdotool = Tool("xdotool");
  const std::string Xprop = Tool("xprop");
  const std::string Import = Tool("import");
  const std::string Convert = Tool("convert");
  const std::string Python = Tool("python3");
  ASSERT_EQ(RunTool(Convert, {"-size", "48x48", "xc:#1d4ed8", AppDir + "ui/app-icon.png"}).Status, 0);
  TXvfb Xvfb(Dir.Path() + "xvfb.log");
  ASSERT_FALSE(Xvfb.Display().empty()) << "Xvfb did not start: " << ReadFile(Dir.Path() + "xvfb.log");
  ::setenv("DISPLAY", Xvfb.Display().c_str(), 1);

  // Instrumented builds: LeakSanitizer's scan at exit crashes on a process that holds
  // JavaScriptCore, and ThreadSanitizer cannot see GLib's and WebKit's own locking, so both
  // stay quiet for this one run; the other tests check velmora's own code with them.
  // Plain builds ignore these settings.
  auto Extended = [](const char* Variable, const std::string& Setting) {
    const char* Current = std::getenv(Variable);
    return (Current != nullptr && *Current != '\0' ? std::string(Current) + ":" : "") + Setting;
  };

  // PATH holds only the stand-in xdg-open, so that a window that fails to open cannot
  // fall back to a real browser unnoticed.
  TVelmoraOptions Options;
  Options.Args = {};
  Options.WaitForBanner = false;
  Options.Env = {{"DISPLAY", Xvfb.Display()},
                 {"WAYLAND_DISPLAY", std::nullopt},
                 {"VLM_HEADLESS", std::nullopt},
                 {"PATH", Dir.Path() + "bin"},
                 {"HOME", Home},
                 {"XDG_CACHE_HOME", Home + "/.cache"},
                 {"XDG_CONFIG_HOME", Home + "/.config"},
                 {"XDG_DATA_HOME", Home + "/.local/share"},
                 {"XDG_STATE_HOME", Home + "/.local/state"},
                 {"XDG_RUNTIME_DIR", Runtime},
                 {"ASAN_OPTIONS", Extended("ASAN_OPTIONS", "detect_leaks=0")},
                 {"TSAN_OPTIONS", Extended("TSAN_OPTIONS", "report_bugs=0")}};
  TVelmoraProcess Velmora(Options, AppDir);

  // GTK keeps a hidden helper window with the same name: only the visible one counts.
  std::string Window;
  ASSERT_TRUE(WaitUntil(
      [&] {
        Window = Trimmed(RunTool(Xdotool, {"search", "--onlyvisible", "--name", "^Velmora$"}).Output);
        return !Window.empty() && Window.find_first_not_of("0123456789") == std::string::npos;
      },
      30s))
      << "no visible window named Velmora; velmora said: " << Velmora.Stdout() << Velmora.Stderr();
  const std::string Properties = RunTool(Xprop, {"-id", Window, "WM_CLASS", "_NET_WM_PID", "_NET_WM_ICON"}).Output;
  EXPECT_NE(Properties.find("WM_CLASS(STRING) = \"velmora\", \"Velmora\""), std::string::npos) << Properties;
  EXPECT_NE(Properties.find("_NET_WM_PID(CARDINAL) = " + std::to_string(Velmora.Pid())), std::string::npos)
      << Properties;
  EXPECT_NE(Properties.find("Icon (48 x 48)"), std::string::npos) << "no icon from ui/app-icon.png";

  // WebKit reports a finished load even for a failed one; the colours prove the page ran
  // and reached the engine.
  fs::create_directories(VLM_ARTIFACT_DIR);
  const std::string Screenshot = std::string(VLM_ARTIFACT_DIR) + "/velmora-window.png";
  std::string Pixels;
  const bool Painted = WaitUntil(
      [&] {
        if (RunTool(Import, {"-window", Window, Screenshot}).Status != 0) {
          return false;
        }
        Pixels = RunTool(Convert, {Screenshot, "-format", "%[pixel:p{300,300}] %[pixel:p{1000,300}]", "info:"}).Output;
        return Pixels == "srgb(20,160,90) srgb(200,60,30)";
      },
      40s);
  std::cout << "window screenshot: " << Screenshot << std::endl;
  RecordProperty("screenshot", Screenshot);
  ASSERT_TRUE(Painted) << "the page did not paint; last pixels: " << Pixels;

  // Real clicks: WebKit's popup blocker lets window.open through only after a user gesture.
  ASSERT_EQ(RunTool(Xdotool, {"mousemove", "--window", Window, "1000", "300", "click", "1"}).Status, 0);
  ASSERT_EQ(RunTool(Xdotool, {"mousemove", "--window", Window, "300", "300", "click", "1"}).Status, 0);
  EXPECT_TRUE(WaitUntil([&] { return !ReadLines(Opened).empty(); }, 15s)) << "xdg-open never ran";
  EXPECT_EQ(Trimmed(RunTool(Xdotool, {"search", "--onlyvisible", "--pid", std::to_string(Velmora.Pid())}).Output),
            Window)
      << "the page opened a window of its own";

  ASSERT_EQ(RunTool(Python, {Closer, Window}).Status, 0);
  EXPECT_EQ(Velmora.WaitForExit(20s), 0) << Velmora.Stderr();
  EXPECT_EQ(Velmora.Stdout(), "") << "the program fell back to the banner";

  EXPECT_TRUE(WaitUntil([&] { return !AnyProcessMentions(XdgOpen); }, 10s));
  EXPECT_EQ(ReadLines(Opened), std::vector<std::string>{"1|https://example.org/velmora-window-test?from=click"});
  // WebKit's helper processes end on their own once the program has gone.
  EXPECT_TRUE(WaitUntil([&] { return !AnyProcessMentions("HOME=" + Home, /*InEnvironment=*/true); }, 10s));
  ::unsetenv("DISPLAY");
}

} // namespace
} // namespace NVelmora::NTest
