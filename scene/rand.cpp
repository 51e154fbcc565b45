#include "scene/rand.h"

namespace demo_random {

namespace {
uint32_t x = 1;
}

int rand() {
    x = x * 214013u + 2531011u;
    return int((x >> 16) & 0x7FFF);
}

void srand(uint32_t seed) {
    x = seed;
}

uint32_t state() {
    return x;
}

} // namespace demo_random
