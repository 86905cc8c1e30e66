#pragma once
// A broken property stops a fuzz target the way a crash does, so libFuzzer
// keeps the input that broke it.

#include <cstdlib>

namespace tvxfuzz {

inline void Require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace tvxfuzz
