#include "scene/rand.h"

namespace demo_random {

namespace {
uint32_t state = 1;
}

int rand() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
}

void srand(uint32_t seed) {
    state = seed;
}

} // namespace demo_random
