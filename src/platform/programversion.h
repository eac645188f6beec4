#pragma once

namespace kx {

// The version of Kandrilox's programs, as the build gives it ("1.0.0").
const char *ProgramVersion();

// Prints the line every program answers --version with, "PROGRAM VERSION",
// to standard output. Needs no application object and no display.
void PrintVersion(const char *program);

} // namespace kx
