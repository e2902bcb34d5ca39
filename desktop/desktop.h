#pragma once

#include <string>

namespace NVelmora {

// Shows the interface in the program's own GTK 3 / WebKit2GTK window, loaded at run time.
// True once the window has been shown and closed again; false when there is no display or
// a needed library or function is missing, in which case no toolkit function was called.
bool RunWebViewWindow(const std::string& Title, const std::string& Url, const std::string& AppDir, int Width,
                      int Height);

// Opens the interface in a Chromium-family browser in app mode with its own profile and
// returns when that browser process exits. Without any browser it hands the address to
// the desktop and serves on with the banner, never returning.
void RunBrowserApp(const std::string& Url, const std::string& AppDir, int Width, int Height);

// Hands an address to the desktop's default handler without waiting; nothing happens
// when xdg-open is not found.
void OpenExternal(const std::string& Address);

// The window's link policy: web, mail and phone addresses leave the program, others are dropped.
void FollowExternalLink(const std::string& Uri);

} // namespace NVelmora
