#pragma once

#include <string>

namespace NVelmora {

// The file names the window loads its toolkit from, through the loader's usual search.
// A test can name files that do not exist, or stand-ins of its own.
struct TWebViewLibraries {
  std::string Gtk = "libgtk-3.so.0";
  std::string GObject = "libgobject-2.0.so.0";
  std::string GLib = "libglib-2.0.so.0";
  std::string Gdk = "libgdk-3.so.0";
  std::string WebKit = "libwebkit2gtk-4.1.so.0";
  std::string OlderWebKit = "libwebkit2gtk-4.0.so.37";
};

// RunWebViewWindow with the toolkit taken from the given files.
bool RunWebViewWindow(const TWebViewLibraries& Libraries, const std::string& Title, const std::string& Url,
                      const std::string& AppDir, int Width, int Height);

} // namespace NVelmora
