// random.cpp - the runtime's pseudo-random generator that the traffic draws from, and
// its seeding. The generator's state stands in for the one a C runtime keeps behind
// rand(); the host's own rand() has a different range and is not used.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include "demo.h"

namespace {
std::uint32_t generator_state = 1;  // advances modulo 2^32
}

void seed_random_with(unsigned seed) { generator_state = seed; }

void seed_random() {
    // PLOTX_SEED makes a run replayable. Anything but a plain decimal number of 32 bits
    // (no sign, no blanks) is not half-parsed: the time is used, and the user is told once,
    // since a run they meant to replay will not be.
    static bool told = false;
    const char* text = std::getenv("PLOTX_SEED");
    if (text && *text) {
        std::uint64_t n = 0;
        const char* p = text;
        for (; *p >= '0' && *p <= '9' && n <= 0xFFFFFFFFu; ++p) n = n * 10 + static_cast<unsigned>(*p - '0');
        if (*p == '\0' && n <= 0xFFFFFFFFu) {
            seed_random_with(static_cast<unsigned>(n));
            return;
        }
        if (!told)
            std::fprintf(stderr, "plotx-demo: PLOTX_SEED=\"%s\" is not a plain unsigned number; seeding with the time\n",
                         text);
        told = true;
    }
    seed_random_with(static_cast<unsigned>(std::time(nullptr)));
}

int next_random() {
    generator_state = generator_state * 214013u + 2531011u;
    return static_cast<int>((generator_state >> 16) & 0x7FFFu);
}
