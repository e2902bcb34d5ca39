#include "desktop/desktop.h"

#include "platform/process.h"
#include "platform/text.h"
#include "shell/run_modes.h"

#include <array>

namespace NVelmora {

void RunBrowserApp(const std::string& Url, const std::string& AppDir, int Width, int Height) {
  static constexpr std::array<const char*, 4> Browsers = {"google-chrome", "chromium", "chromium-browser",
                                                          "brave-browser"};
  for (const char* Name : Browsers) {
    const std::string Program = FindProgram(Name);
    if (Program.empty()) {
      continue;
    }
    TChildProcess Browser(Program, {"--user-data-dir=" + AppDir + "data/app_profile", "--app=" + Url,
                                    "--window-size=" + std::to_string(Width) + "," + std::to_string(Height)});
    // The program lives exactly as long as the browser it started, whatever its status.
    Browser.Wait();
    return;
  }
  OpenExternal(Url);
  PrintBanner(Url);
}

void OpenExternal(const std::string& Address) {
  const std::string Opener = FindProgram("xdg-open");
  if (!Opener.empty()) {
    StartDetached(Opener, {Address});
  }
}

void FollowExternalLink(const std::string& Uri) {
  const std::string_view Trimmed = Trim(Uri);
  const std::string Lower = ToLowerAscii(Trimmed);
  for (const char* Prefix : {"http://", "https://", "mailto:", "tel:"}) {
    if (StartsWith(Lower, Prefix)) {
      OpenExternal(std::string(Trimmed));
      return;
    }
  }
}

} // namespace NVelmora
