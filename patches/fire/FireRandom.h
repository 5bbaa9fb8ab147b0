#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The fire's random numbers: number for number the sequence of the C
// library's rand() from the same seed (an additive lagged-Fibonacci
// generator, r[n] = r[n-31] + r[n-3] modulo 2^32, seeded through the
// Park-Miller recurrence, the first 310 results thrown away, each result
// r[n] >> 1).
//
// The fire keeps its own sequence instead of calling rand(): a reproducible
// fire is worth more than sharing the sequence with the libraries FFmpeg
// loads into the process, several of which call srand() and rand() at times
// we do not choose. Its own sequence also takes no lock per number, which
// rand() does, and a step draws two numbers per cell.
//
// One object is used by one thread at a time.
class FireRandom {
public:
    static constexpr uint32_t defaultSeed = 1;  // rand()'s before any srand()

    // The one sequence every fire patch in the process draws from, started
    // from the default seed.
    static FireRandom& shared();

    explicit FireRandom(uint32_t seed = defaultSeed) { restart(seed); }

    // Starts the sequence over as srand(seed) does (0 counts as 1).
    void restart(uint32_t seed);

    // The next number, 0 to 2^31 - 1.
    uint32_t next() {
        uint32_t number = 0;
        draw(1, [&](const uint32_t* numbers, size_t) { number = numbers[0]; });
        return number;
    }

    // Hands the next `count` numbers to use(const uint32_t* numbers, size_t n)
    // in order, in blocks of at most `blockSize`.
    template <class Use>
    void draw(size_t count, Use&& use) {
        while (count > 0) {
            const size_t n = count < blockSize ? count : blockSize;
            use(generate(n), n);
            count -= n;
        }
    }

    static constexpr size_t blockSize = 2048;

private:
    static constexpr size_t lag = 31;

    // Makes the next n <= blockSize numbers; the pointer is valid until the
    // next call.
    const uint32_t* generate(size_t n);

    // The last `lag` sums, oldest first, followed by room for one block.
    std::array<uint32_t, lag + blockSize> sums_{};
    std::array<uint32_t, blockSize> numbers_{};
};
