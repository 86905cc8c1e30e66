#pragma once
// The program's version. It is the CMake project version, which the build
// writes into the generated Version.cpp when it is configured: --version, the
// About box and the package all take it from that one place.

namespace tvx {

extern const char kVersion[];

}  // namespace tvx
