#pragma once
// The number of bytes the program's heap holds in live blocks right now.
#include <cstdint>

std::uint64_t HeapBytesInUse();
