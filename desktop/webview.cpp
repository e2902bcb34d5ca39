#include "desktop/webview.h"

#include "desktop/desktop.h"
#include "platform/library.h"
#include "platform/process.h"

#include <cstdlib>

namespace NVelmora {
namespace {

// The toolkit's types, as far as the program needs them: it only ever holds pointers.
struct GtkWidget;
struct GtkWindow;
struct GtkContainer;
struct GError;
struct WebKitWebView;
struct WebKitSettings;
struct WebKitNavigationAction;
struct WebKitURIRequest;
using gboolean = int;
using GCallback = void (*)();
using GClosureNotify = void (*)(void* Data, void* Closure);

constexpr int GtkWindowToplevel = 0;
constexpr int GtkWinPosCenter = 1;
constexpr const char* ProgramName = "velmora";
constexpr const char* WindowClass = "Velmora";

using TGtkInit = void(int* Argc, char*** Argv);
using TGtkWindowNew = GtkWidget*(int Type);
using TGtkWindowSetTitle = void(GtkWindow* Window, const char* Title);
using TGtkWindowSetDefaultSize = void(GtkWindow* Window, int Width, int Height);
using TGtkWindowSetPosition = void(GtkWindow* Window, int Position);
using TGtkWindowSetIconFromFile = gboolean(GtkWindow* Window, const char* FileName, GError** Error);
using TGtkWindowSetDefaultIconFromFile = gboolean(const char* FileName, GError** Error);
using TGtkWindowSetWmclass = void(GtkWindow* Window, const char* Name, const char* Class);
using TGSetPrgname = void(const char* Name);
using TGSetApplicationName = void(const char* Name);
using TGdkSetProgramClass = void(const char* Class);
using TGtkContainerAdd = void(GtkContainer* Container, GtkWidget* Child);
using TGtkWidgetShowAll = void(GtkWidget* Widget);
using TGtkMain = void();
using TGtkMainQuit = void();
using TGSignalConnectData = unsigned long(void* Instance, const char* Signal, GCallback Handler, void* Data,
                                          GClosureNotify DestroyData, int Flags);
using TWebKitWebViewNew = GtkWidget*();
using TWebKitWebViewLoadUri = void(WebKitWebView* View, const char* Uri);
using TWebKitWebViewGetSettings = WebKitSettings*(WebKitWebView* View);
using TWebKitSettingsSetEnableAccelerated2dCanvas = void(WebKitSettings* Settings, gboolean Enabled);
using TWebKitNavigationActionGetRequest = WebKitURIRequest*(WebKitNavigationAction* Action);
using TWebKitUriRequestGetUri = const char*(WebKitURIRequest* Request);

// The signal handlers run inside gtk_main and reach these; they are set before it starts.
TGtkMainQuit* MainQuit = nullptr;
TWebKitNavigationActionGetRequest* NavigationActionGetRequest = nullptr;
TWebKitUriRequestGetUri* UriRequestGetUri = nullptr;

struct TToolkit {
  TGtkInit* Init = nullptr;
  TGtkWindowNew* WindowNew = nullptr;
  TGtkWindowSetTitle* WindowSetTitle = nullptr;
  TGtkWindowSetDefaultSize* WindowSetDefaultSize = nullptr;
  TGtkWindowSetPosition* WindowSetPosition = nullptr;
  TGtkWindowSetIconFromFile* WindowSetIconFromFile = nullptr;
  TGtkWindowSetDefaultIconFromFile* WindowSetDefaultIconFromFile = nullptr;
  TGtkWindowSetWmclass* WindowSetWmclass = nullptr;
  TGSetPrgname* SetPrgname = nullptr;
  TGSetApplicationName* SetApplicationName = nullptr;
  TGdkSetProgramClass* SetProgramClass = nullptr;
  TGtkContainerAdd* ContainerAdd = nullptr;
  TGtkWidgetShowAll* WidgetShowAll = nullptr;
  TGtkMain* Main = nullptr;
  TGSignalConnectData* SignalConnectData = nullptr;
  TWebKitWebViewNew* WebViewNew = nullptr;
  TWebKitWebViewLoadUri* WebViewLoadUri = nullptr;
  TWebKitWebViewGetSettings* WebViewGetSettings = nullptr;
  TWebKitSettingsSetEnableAccelerated2dCanvas* SettingsSetEnableAccelerated2dCanvas = nullptr;

  // gtk_init, gtk_window_new, gtk_main and the two WebKit functions are needed by
  // definition; the six the window calls unconditionally are held to the same rule, so
  // that a toolkit lacking one falls back to the browser instead of opening half a window.
  bool HasEverythingNeeded() const {
    return Init && WindowNew && Main && WebViewNew && WebViewLoadUri && WindowSetTitle && WindowSetDefaultSize &&
           WindowSetPosition && SignalConnectData && ContainerAdd && WidgetShowAll;
  }
};

bool HasDisplay() {
  for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* Value = std::getenv(Name);
    if (Value != nullptr && *Value != '\0') {
      return true;
    }
  }
  return false;
}

void OnDestroy(GtkWidget*, void*) noexcept {
  if (MainQuit != nullptr) {
    MainQuit();
  }
}

// WebKit asks for a view to load a new window in. None is ever given: the address goes
// to the link policy, and nothing may be thrown back through the toolkit's C frames.
GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* Action, void*) noexcept {
  if (NavigationActionGetRequest == nullptr || UriRequestGetUri == nullptr) {
    return nullptr;
  }
  WebKitURIRequest* Request = NavigationActionGetRequest(Action);
  if (Request == nullptr) {
    return nullptr;
  }
  const char* Uri = UriRequestGetUri(Request);
  if (Uri == nullptr) {
    return nullptr;
  }
  try {
    FollowExternalLink(Uri);
  } catch (...) {
    // The link stays unopened; the window goes on as before.
  }
  return nullptr;
}

template <class Fn>
GCallback AsCallback(Fn* Handler) {
  return reinterpret_cast<GCallback>(Handler);
}

} // namespace

bool RunWebViewWindow(const TWebViewLibraries& Libraries, const std::string& Title, const std::string& Url,
                      const std::string& AppDir, int Width, int Height) {
  if (!HasDisplay()) {
    return false;
  }
  void* Gtk = LoadLibrary(Libraries.Gtk);
  if (Gtk == nullptr) {
    return false;
  }
  void* GObject = LoadLibrary(Libraries.GObject);
  if (GObject == nullptr) {
    return false;
  }
  void* GLib = LoadLibrary(Libraries.GLib);
  void* Gdk = LoadLibrary(Libraries.Gdk);
  void* WebKit = LoadLibrary(Libraries.WebKit);
  if (WebKit == nullptr) {
    WebKit = LoadLibrary(Libraries.OlderWebKit);
  }
  if (WebKit == nullptr) {
    return false;
  }

  TToolkit Tk;
  Lookup(Gtk, "gtk_init", Tk.Init);
  Lookup(Gtk, "gtk_window_new", Tk.WindowNew);
  Lookup(Gtk, "gtk_window_set_title", Tk.WindowSetTitle);
  Lookup(Gtk, "gtk_window_set_default_size", Tk.WindowSetDefaultSize);
  Lookup(Gtk, "gtk_window_set_position", Tk.WindowSetPosition);
  Lookup(Gtk, "gtk_window_set_icon_from_file", Tk.WindowSetIconFromFile);
  Lookup(Gtk, "gtk_window_set_default_icon_from_file", Tk.WindowSetDefaultIconFromFile);
  Lookup(Gtk, "gtk_window_set_wmclass", Tk.WindowSetWmclass);
  if (GLib != nullptr) {
    Lookup(GLib, "g_set_prgname", Tk.SetPrgname);
    Lookup(GLib, "g_set_application_name", Tk.SetApplicationName);
  }
  if (Gdk != nullptr) {
    Lookup(Gdk, "gdk_set_program_class", Tk.SetProgramClass);
  }
  Lookup(Gtk, "gtk_container_add", Tk.ContainerAdd);
  Lookup(Gtk, "gtk_widget_show_all", Tk.WidgetShowAll);
  Lookup(Gtk, "gtk_main", Tk.Main);
  Lookup(Gtk, "gtk_main_quit", MainQuit);
  Lookup(GObject, "g_signal_connect_data", Tk.SignalConnectData);
  Lookup(WebKit, "webkit_web_view_new", Tk.WebViewNew);
  Lookup(WebKit, "webkit_web_view_load_uri", Tk.WebViewLoadUri);
  Lookup(WebKit, "webkit_web_view_get_settings", Tk.WebViewGetSettings);
  Lookup(WebKit, "webkit_settings_set_enable_accelerated_2d_canvas", Tk.SettingsSetEnableAccelerated2dCanvas);
  Lookup(WebKit, "webkit_navigation_action_get_request", NavigationActionGetRequest);
  Lookup(WebKit, "webkit_uri_request_get_uri", UriRequestGetUri);
  if (!Tk.HasEverythingNeeded()) {
    return false;
  }

  if (Tk.SetPrgname != nullptr) {
    Tk.SetPrgname(ProgramName);
  }
  if (Tk.SetApplicationName != nullptr) {
    Tk.SetApplicationName(Title.c_str());
  }
  // The program's own command line is not the toolkit's business.
  int Argc = 0;
  Tk.Init(&Argc, nullptr);
  if (Tk.SetProgramClass != nullptr) {
    Tk.SetProgramClass(ProgramName);
  }
  const std::string IconPath = AppDir + "ui" + "/" + "app-icon.png";
  const bool HasIcon = IsExistingFile(IconPath);
  if (Tk.WindowSetDefaultIconFromFile != nullptr && HasIcon) {
    Tk.WindowSetDefaultIconFromFile(IconPath.c_str(), nullptr);
  }

  GtkWidget* Widget = Tk.WindowNew(GtkWindowToplevel);
  auto* Window = reinterpret_cast<GtkWindow*>(Widget);
  Tk.WindowSetTitle(Window, Title.c_str());
  Tk.WindowSetDefaultSize(Window, Width, Height);
  Tk.WindowSetPosition(Window, GtkWinPosCenter);
  if (Tk.WindowSetWmclass != nullptr) {
    Tk.WindowSetWmclass(Window, ProgramName, WindowClass);
  }
  if (Tk.WindowSetIconFromFile != nullptr && HasIcon) {
    Tk.WindowSetIconFromFile(Window, IconPath.c_str(), nullptr);
  }
  Tk.SignalConnectData(Widget, "destroy", AsCallback(&OnDestroy), nullptr, nullptr, 0);

  GtkWidget* ViewWidget = Tk.WebViewNew();
  auto* View = reinterpret_cast<WebKitWebView*>(ViewWidget);
  if (Tk.WebViewGetSettings != nullptr && Tk.SettingsSetEnableAccelerated2dCanvas != nullptr) {
    if (WebKitSettings* Settings = Tk.WebViewGetSettings(View)) {
      Tk.SettingsSetEnableAccelerated2dCanvas(Settings, 0);
    }
  }
  Tk.SignalConnectData(ViewWidget, "create", AsCallback(&OnCreate), nullptr, nullptr, 0);
  Tk.ContainerAdd(reinterpret_cast<GtkContainer*>(Widget), ViewWidget);
  Tk.WebViewLoadUri(View, Url.c_str());
  Tk.WidgetShowAll(Widget);
  Tk.Main();
  return true;
}

bool RunWebViewWindow(const std::string& Title, const std::string& Url, const std::string& AppDir, int Width,
                      int Height) {
  return RunWebViewWindow(TWebViewLibraries{}, Title, Url, AppDir, Width, Height);
}

} // namespace NVelmora
