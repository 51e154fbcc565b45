// The one process-wide random generator the scenes share. Parts are loaded in playing order
// and some seed it at a fixed point, so the order of draws is part of each scene's layout.
#pragma once

#include <cstdint>

namespace demo_random {
// x = x * 214013 + 2531011 (mod 2^32); returns (x >> 16) & 0x7FFF.
int rand();
void srand(uint32_t seed);
// The generator's current x; srand with it later replays the same draws.
uint32_t state();
} // namespace demo_random
