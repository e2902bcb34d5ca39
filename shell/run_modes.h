#pragma once

#include <string>
#include <vector>

namespace NVelmora {

// Keeps the command line (without the program's own name) for IsHeadless.
void SetCommandLine(int Argc, char** Argv);

// True when an argument, trimmed and lower-cased, is exactly "--headless",
// "--headless-server" or "--server-only", or else when VLM_HEADLESS is exactly "1".
bool IsHeadless();
bool IsHeadless(const std::vector<std::string>& Args, const char* HeadlessVariable);

// Writes "[Velmora] Native engine listening at <url>" and flushes it, then serves on
// without end. Throws std::system_error when standard output cannot be written.
[[noreturn]] void PrintBanner(const std::string& Url);

// Headless, else the program's window, else a browser; returns when that has closed.
void LaunchInterface(const std::string& Title, const std::string& Url, const std::string& AppDir, int Width,
                     int Height);

} // namespace NVelmora
