#include "patches/fire/FireRandom.h"

#include <cstring>

FireRandom& FireRandom::shared() {
    static FireRandom sequence;
    return sequence;
}

void FireRandom::restart(uint32_t seed) {
    if (seed == 0) seed = 1;
    // Park-Miller, 16807 x mod 2^31 - 1, in Schrage's form with the C
    // library's signed 32-bit word, so every seed gives rand()'s state.
    std::array<int32_t, lag> state{};
    auto word = static_cast<int32_t>(seed);
    state[0] = word;
    for (size_t i = 1; i < lag; ++i) {
        const int64_t hi = word / 127773, lo = word % 127773;
        word = static_cast<int32_t>(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        state[i] = word;
    }
    // The C library starts adding at word 3 with word 0 three places behind:
    // word 3 is the oldest sum, and words 0, 1, 2 the newest.
    for (size_t k = 0; k < lag; ++k) sums_[k] = static_cast<uint32_t>(state[(k + 3) % lag]);
    draw(10 * lag, [](const uint32_t*, size_t) {});
}

const uint32_t* FireRandom::generate(size_t n) {
    uint32_t* const sums = sums_.data();
    uint32_t* const numbers = numbers_.data();
    // The three newest sums stay in registers: each new sum needs the one
    // three places back, which a store and reload would make wait.
    uint32_t a = sums[lag - 3], b = sums[lag - 2], c = sums[lag - 1];
    for (size_t k = 0; k < n; ++k) {
        const uint32_t sum = sums[k] + a;
        sums[lag + k] = sum;
        numbers[k] = sum >> 1;
        a = b;
        b = c;
        c = sum;
    }
    std::memmove(sums, sums + n, lag * sizeof(uint32_t));
    return numbers_.data();
}
