#include "desktop/webview.h"
#include "tests/desktop/desktop_fixtures.h"
#include "tests/desktop/fakes/fake_toolkit.h"
#include "tests/support/temp_dir.h"

#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <filesystem>
#include <optional>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;

enum class EFake { Missing, Full, OmitGtkMain, OmitContainerAdd, Minimal };

const char* FakeFile(EFake Fake) {
  switch (Fake) {
    case EFake::Full: return VLM_FAKE_TOOLKIT_FULL;
    case EFake::OmitGtkMain: return VLM_FAKE_TOOLKIT_OMIT_GTK_MAIN;
    case EFake::OmitContainerAdd: return VLM_FAKE_TOOLKIT_OMIT_CONTAINER_ADD;
    case EFake::Minimal: return VLM_FAKE_TOOLKIT_MINIMAL;
    case EFake::Missing: break;
  }
  return nullptr;
}

class TScopedEnv {
public:
  TScopedEnv(const char* Name, const char* Value) : Name_(Name) {
    if (const char* Old = std::getenv(Name)) {
      Old_ = Old;
    }
    Set(Value);
  }
  ~TScopedEnv() { Set(Old_ ? Old_->c_str() : nullptr); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  void Set(const char* Value) {
    if (Value != nullptr) {
      ::setenv(Name_, Value, 1);
    } else {
      ::unsetenv(Name_);
    }
  }

  const char* Name_;
  std::optional<std::string> Old_;
};

struct TToolkitSetup {
  EFake Gtk = EFake::Full;
  EFake GObject = EFake::Full;
  EFake GLib = EFake::Full;
  EFake Gdk = EFake::Full;
  EFake WebKit = EFake::Full;
  EFake OlderWebKit = EFake::Full;
};

// Fresh copies of the stand-in libraries in a temporary folder, so that every test loads
// libraries of its own, with their own state, that no earlier test has touched.
class TFakeToolkit {
public:
  explicit TFakeToolkit(const TToolkitSetup& Setup) {
    Names_.Gtk = Place("gtk", Setup.Gtk);
    Names_.GObject = Place("gobject", Setup.GObject);
    Names_.GLib = Place("glib", Setup.GLib);
    Names_.Gdk = Place("gdk", Setup.Gdk);
    Names_.WebKit = Place("webkit41", Setup.WebKit);
    Names_.OlderWebKit = Place("webkit40", Setup.OlderWebKit);
  }

  const TWebViewLibraries& Names() const { return Names_; }
  std::vector<std::string> Files() const {
    return {Names_.Gtk, Names_.GObject, Names_.GLib, Names_.Gdk, Names_.WebKit, Names_.OlderWebKit};
  }

  // Loads every copy that exists and points its log at World; the copy standing for the
  // older WebKit marks its entries, so that a test can tell which WebKit served.
  void Attach(TFakeWorld& World) const {
    for (const std::string& File : Files()) {
      if (!std::filesystem::exists(File)) {
        continue;
      }
      void* Library = ::dlopen(File.c_str(), RTLD_NOW);
      ASSERT_NE(Library, nullptr) << ::dlerror();
      auto* AttachTo = reinterpret_cast<decltype(&FakeToolkitAttach)>(::dlsym(Library, "FakeToolkitAttach"));
      ASSERT_NE(AttachTo, nullptr);
      AttachTo(&World, File == Names_.OlderWebKit ? "4.0:" : "");
    }
  }

  static bool IsLoaded(const std::string& File) { return ::dlopen(File.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr; }

private:
  std::string Place(const std::string& Name, EFake Fake) {
    const std::string Target = Dir_.Path() + "lib" + Name + ".so";
    if (Fake != EFake::Missing) {
      std::filesystem::copy_file(FakeFile(Fake), Target);
    }
    return Target;
  }

  TTempDir Dir_;
  TWebViewLibraries Names_;
};

struct TFallbackCase {
  const char* Name;
  const char* Display;
  const char* WaylandDisplay;
  TToolkitSetup Setup;
  friend void PrintTo(const TFallbackCase& Case, std::ostream* Out) { *Out << Case.Name; }
};

class WebViewFallback : public ::testing::TestWithParam<TFallbackCase> {};

TEST_P(WebViewFallback, AnswersFalseBeforeAnyToolkitCall) {
  const TFallbackCase& Case = GetParam();
  TScopedEnv Display("DISPLAY", Case.Display);
  TScopedEnv Wayland("WAYLAND_DISPLAY", Case.WaylandDisplay);
  TFakeToolkit Toolkit(Case.Setup);
  const bool HasDisplay = (Case.Display && *Case.Display) || (Case.WaylandDisplay && *Case.WaylandDisplay);
  TFakeWorld World;
  if (HasDisplay) {
    Toolkit.Attach(World);
  }

  EXPECT_FALSE(RunWebViewWindow(Toolkit.Names(), "Velmora", "http://127.0.0.1:19029/", "/opt/app/", 1340, 860));
  EXPECT_EQ(World.Log, std::vector<std::string>{});
  if (!HasDisplay) {
    for (const std::string& File : Toolkit.Files()) {
      EXPECT_FALSE(TFakeToolkit::IsLoaded(File)) << File << " was loaded without a display";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, WebViewFallback,
    ::testing::Values(
        TFallbackCase{"NoDisplayAtAll", nullptr, nullptr, {}},
        TFallbackCase{"EmptyDisplayNoWayland", "", nullptr, {}},
        TFallbackCase{"EmptyDisplayEmptyWayland", "", "", {}},
        TFallbackCase{"GtkMissing", ":99", nullptr, {.Gtk = EFake::Missing}},
        TFallbackCase{"GObjectMissing", ":99", nullptr, {.GObject = EFake::Missing}},
        TFallbackCase{"BothWebKitsMissing", ":99", nullptr,
                      {.WebKit = EFake::Missing, .OlderWebKit = EFake::Missing}},
        TFallbackCase{"GtkMainMissing", ":99", nullptr, {.Gtk = EFake::OmitGtkMain}},
        TFallbackCase{"ContainerAddMissing", ":99", nullptr, {.Gtk = EFake::OmitContainerAdd}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct TWindowCase {
  const char* Name;
  TToolkitSetup Setup;
  bool WithIcon;
  std::vector<std::string> Expected;  // "@ICON" stands for the icon's path
  std::vector<std::string> Opened;    // what reached xdg-open, sorted
  friend void PrintTo(const TWindowCase& Case, std::ostream* Out) { *Out << Case.Name; }
};

class WebViewWindow : public ::testing::TestWithParam<TWindowCase> {};

TEST_P(WebViewWindow, DrivesTheToolkitAndSendsOnlyExternalLinksOut) {
  const TWindowCase& Case = GetParam();
  TTempDir Dir;
  const std::string AppDir = Dir.Path() + "app dir/";
  std::filesystem::create_directories(AppDir + "ui");
  if (Case.WithIcon) {
    WriteFile(AppDir + "ui/app-icon.png", "png");
  }
  std::filesystem::create_directories(Dir.Path() + "bin");
  const std::string Opened = Dir.Path() + "opened";
  WriteScript(Dir.Path() + "bin/xdg-open", "printf '%s|%s\\n' \"$#\" \"$1\" >> '" + Opened + "'\n");
  TScopedEnv Path("PATH", (Dir.Path() + "bin").c_str());
  TScopedEnv Display("DISPLAY", nullptr);
  TScopedEnv Wayland("WAYLAND_DISPLAY", "wayland-0");

  TFakeToolkit Toolkit(Case.Setup);
  TFakeWorld World;
  World.Links = {{true, " \tHTTPS://Example.org/Jobs?id=7 \n"},
                 {true, "javascript:window.open('https://example.org/')"},
                 {true, "about:blank"},
                 {false, nullptr},
                 {true, nullptr},
                 {true, "mailto:jobs@example.org"}};
  Toolkit.Attach(World);

  EXPECT_TRUE(RunWebViewWindow(Toolkit.Names(), "Jobs Window", "http://127.0.0.1:19031/", AppDir, 1200, 700));

  std::vector<std::string> Expected;
  for (const std::string& Line : Case.Expected) {
    Expected.push_back(Line.find("@ICON") == std::string::npos
                           ? Line
                           : Line.substr(0, Line.find("@ICON")) + AppDir + "ui/app-icon.png" +
                                 Line.substr(Line.find("@ICON") + 5));
  }
  EXPECT_EQ(World.Log, Expected);
  // The xdg-open children (the test starts no others) must have ended for the record to be whole.
  ASSERT_TRUE(WaitUntil([] { return CountChildren(::getpid(), /*Ended=*/false) == 0; }, 10s));
  // Each address has an xdg-open of its own, and they may finish in any order.
  std::vector<std::string> Lines = ReadLines(Opened);
  std::sort(Lines.begin(), Lines.end());
  EXPECT_EQ(Lines, Case.Opened);
}

const std::vector<std::string> LinksWithNavigation = {
    "webkit_navigation_action_get_request()", "webkit_uri_request_get_uri()", "create -> null",
    "webkit_navigation_action_get_request()", "webkit_uri_request_get_uri()", "create -> null",
    "webkit_navigation_action_get_request()", "webkit_uri_request_get_uri()", "create -> null",
    "webkit_navigation_action_get_request()", "create -> null",
    "webkit_navigation_action_get_request()", "webkit_uri_request_get_uri()", "create -> null",
    "webkit_navigation_action_get_request()", "webkit_uri_request_get_uri()", "create -> null"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> Parts) {
  std::vector<std::string> All;
  for (const auto& Part : Parts) {
    All.insert(All.end(), Part.begin(), Part.end());
  }
  return All;
}

std::vector<std::string> WithPrefix(std::string Prefix, std::vector<std::string> Lines) {
  for (std::string& Line : Lines) {
    Line = Prefix + Line;
  }
  return Lines;
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, WebViewWindow,
    ::testing::Values(
        TWindowCase{"EveryFunctionAndAnIcon",
                    {},
                    true,
                    Join({{"g_set_prgname(velmora)", "g_set_application_name(Jobs Window)", "gtk_init(0,null)",
                           "gdk_set_program_class(velmora)", "gtk_window_set_default_icon_from_file(@ICON,null)",
                           "gtk_window_new(0)", "gtk_window_set_title(window,Jobs Window)",
                           "gtk_window_set_default_size(window,1200,700)", "gtk_window_set_position(window,1)",
                           "gtk_window_set_wmclass(window,velmora,Velmora)",
                           "gtk_window_set_icon_from_file(window,@ICON,null)",
                           "g_signal_connect_data(window,destroy,null,null,0)", "webkit_web_view_new()",
                           "webkit_web_view_get_settings(view)",
                           "webkit_settings_set_enable_accelerated_2d_canvas(settings,0)",
                           "g_signal_connect_data(view,create,null,null,0)", "gtk_container_add(window,view)",
                           "webkit_web_view_load_uri(view,http://127.0.0.1:19031/)",
                           "gtk_widget_show_all(window)", "gtk_main()"},
                          LinksWithNavigation,
                          {"gtk_main_quit()", "gtk_main() ends"}}),
                    {"1|HTTPS://Example.org/Jobs?id=7", "1|mailto:jobs@example.org"}},
        TWindowCase{"NoGLibNoGdkNoIcon",
                    {.GLib = EFake::Missing, .Gdk = EFake::Missing},
                    false,
                    Join({{"gtk_init(0,null)", "gtk_window_new(0)", "gtk_window_set_title(window,Jobs Window)",
                           "gtk_window_set_default_size(window,1200,700)", "gtk_window_set_position(window,1)",
                           "gtk_window_set_wmclass(window,velmora,Velmora)",
                           "g_signal_connect_data(window,destroy,null,null,0)", "webkit_web_view_new()",
                           "webkit_web_view_get_settings(view)",
                           "webkit_settings_set_enable_accelerated_2d_canvas(settings,0)",
                           "g_signal_connect_data(view,create,null,null,0)", "gtk_container_add(window,view)",
                           "webkit_web_view_load_uri(view,http://127.0.0.1:19031/)",
                           "gtk_widget_show_all(window)", "gtk_main()"},
                          LinksWithNavigation,
                          {"gtk_main_quit()", "gtk_main() ends"}}),
                    {"1|HTTPS://Example.org/Jobs?id=7", "1|mailto:jobs@example.org"}},
        TWindowCase{"OnlyTheOlderWebKit",
                    {.WebKit = EFake::Missing},
                    false,
                    Join({{"g_set_prgname(velmora)", "g_set_application_name(Jobs Window)", "gtk_init(0,null)",
                           "gdk_set_program_class(velmora)", "gtk_window_new(0)",
                           "gtk_window_set_title(window,Jobs Window)", "gtk_window_set_default_size(window,1200,700)",
                           "gtk_window_set_position(window,1)", "gtk_window_set_wmclass(window,velmora,Velmora)",
                           "g_signal_connect_data(window,destroy,null,null,0)", "4.0:webkit_web_view_new()",
                           "4.0:webkit_web_view_get_settings(view)",
                           "4.0:webkit_settings_set_enable_accelerated_2d_canvas(settings,0)",
                           "g_signal_connect_data(view,create,null,null,0)", "gtk_container_add(window,view)",
                           "4.0:webkit_web_view_load_uri(view,http://127.0.0.1:19031/)",
                           "gtk_widget_show_all(window)", "gtk_main()"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()",
                                              "webkit_uri_request_get_uri()"}),
                          {"create -> null"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()",
                                              "webkit_uri_request_get_uri()"}),
                          {"create -> null"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()",
                                              "webkit_uri_request_get_uri()"}),
                          {"create -> null"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()"}),
                          {"create -> null"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()",
                                              "webkit_uri_request_get_uri()"}),
                          {"create -> null"},
                          WithPrefix("4.0:", {"webkit_navigation_action_get_request()",
                                              "webkit_uri_request_get_uri()"}),
                          {"create -> null", "gtk_main_quit()", "gtk_main() ends"}}),
                    {"1|HTTPS://Example.org/Jobs?id=7", "1|mailto:jobs@example.org"}},
        // Without the optional functions nothing of them is called, and the create handler,
        // unable to read the address, opens nothing.
        TWindowCase{"OnlyWhatIsNeeded",
                    {.Gtk = EFake::Minimal, .WebKit = EFake::Minimal},
                    true,
                    {"g_set_prgname(velmora)", "g_set_application_name(Jobs Window)", "gtk_init(0,null)",
                     "gdk_set_program_class(velmora)", "gtk_window_new(0)", "gtk_window_set_title(window,Jobs Window)",
                     "gtk_window_set_default_size(window,1200,700)", "gtk_window_set_position(window,1)",
                     "g_signal_connect_data(window,destroy,null,null,0)", "webkit_web_view_new()",
                     "g_signal_connect_data(view,create,null,null,0)", "gtk_container_add(window,view)",
                     "webkit_web_view_load_uri(view,http://127.0.0.1:19031/)", "gtk_widget_show_all(window)",
                     "gtk_main()", "create -> null", "create -> null", "create -> null", "create -> null",
                     "create -> null", "create -> null", "gtk_main() ends"},
                    {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace NVelmora::NTest
