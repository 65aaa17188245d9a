// random.cpp - the runtime's pseudo-random generator that the traffic draws from, and
// its seeding. The generator's state stands in for the one a C runtime keeps behind
// rand(); the host's own rand() has a different range and is not used.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include "demo.h"

namespace {
std::uint32_t generator_state = 1;  // advances modulo 2^32
}

void seed_random_with(unsigned seed) { generator_state = seed; }

void seed_random() {
    // PLOTX_SEED makes a run replayable; anything but a plain decimal number is ignored
    // rather than silently seeding with a half-parsed value.
    const char* text = std::getenv("PLOTX_SEED");
    if (text && *text) {
        char* end = nullptr;
        errno = 0;
        unsigned long n = std::strtoul(text, &end, 10);
        if (errno == 0 && *end == '\0' && text[0] != '-' && n <= 0xFFFFFFFFul) {
            seed_random_with(static_cast<unsigned>(n));
            return;
        }
    }
    seed_random_with(static_cast<unsigned>(std::time(nullptr)));
}

int next_random() {
    generator_state = generator_state * 214013u + 2531011u;
    return static_cast<int>((generator_state >> 16) & 0x7FFFu);
}
