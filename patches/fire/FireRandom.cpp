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
    constexpr size_t degree = 31;
    std::array<int32_t, degree> state{};
    auto word = static_cast<int32_t>(seed);
    state[0] = word;
    for (size_t i = 1; i < degree; ++i) {
        const int64_t hi = word / 127773, lo = word % 127773;
        word = static_cast<int32_t>(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        state[i] = word;
    }
    // The C library starts adding at word 3 with word 0 three places behind:
    // word 3 is the oldest sum, and words 0, 1, 2 the newest. Before them go
    // the three sums that, by r[n-31] = r[n] - r[n-3], would have come
    // earlier still, for the six-back form of the recurrence.
    constexpr size_t older = history - degree;
    for (size_t k = 0; k < degree; ++k) sums_[older + k] = static_cast<uint32_t>(state[(k + 3) % degree]);
    for (size_t k = 0; k < older; ++k) sums_[k] = sums_[k + degree] - sums_[k + degree - 3];
    used_ = blockSize;
    draw(10 * degree, [](const uint32_t*, size_t) {});
}

void FireRandom::refill() {
    // Four sums at a time, in g++'s generic vectors. The six-back term is
    // taken from the two blocks of four made last, not reloaded from memory
    // just stored.
    using Four = uint32_t __attribute__((vector_size(16)));
    uint32_t* const sums = sums_.data();
    Four older, newer;
    std::memcpy(&older, sums + history - 8, sizeof older);
    std::memcpy(&newer, sums + history - 4, sizeof newer);
    for (size_t k = history; k < history + blockSize; k += 4) {
        Four back31, back34;
        std::memcpy(&back31, sums + k - 31, sizeof back31);
        std::memcpy(&back34, sums + k - 34, sizeof back34);
        const Four sum = back31 + back34 + __builtin_shuffle(older, newer, Four{2, 3, 4, 5});
        std::memcpy(sums + k, &sum, sizeof sum);
        const Four number = sum >> 1;
        std::memcpy(numbers_.data() + (k - history), &number, sizeof number);
        older = newer;
        newer = sum;
    }
    std::memmove(sums, sums + blockSize, history * sizeof(uint32_t));
    used_ = 0;
}
