#pragma once

#include <string>

namespace NVelmora {

// Sets WEBKIT_DISABLE_DMABUF_RENDERER=1 unless it is set at all, and makes the
// application directory the working directory.
void PrepareEnvironment();

// The program's main sequence: data directory, engine, interface, stop. Gives the exit
// status of a normal end; errors pass out to the caller once the engine has been stopped.
int RunMain();

// Makes sure descriptors 0, 1 and 2 are open, so that no file the program opens (the
// database, say) can take the number of a closed standard stream and receive its output.
// A stream that was closed stays unusable: writes to it still fail.
void ReserveStandardStreams();

} // namespace NVelmora
