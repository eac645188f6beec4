#pragma once

#include "options.h"

namespace kx {

// Runs Kandrilox as a service without windows: the connection log goes to
// standard output, messages and errors to standard error, SIGTERM and SIGINT
// end it. Needs a QCoreApplication. Returns the exit code.
int RunHeadless(const Options &options);

} // namespace kx
