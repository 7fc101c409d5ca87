#pragma once

namespace marvex {

// Parses the command line, runs the command and returns the process's exit status. Every
// failure ends here as a message on standard error and a non-zero status (see ExitCode.h).
int runCommandLine(int argc, char** argv);

}  // namespace marvex
