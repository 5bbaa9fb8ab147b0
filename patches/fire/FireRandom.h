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
    static constexpr size_t blockSize = 2048;   // numbers made at a time

    // The one sequence every fire patch in the process draws from, started
    // from the default seed.
    static FireRandom& shared();

    explicit FireRandom(uint32_t seed = defaultSeed) { restart(seed); }

    // Starts the sequence over as srand(seed) does (0 counts as 1).
    void restart(uint32_t seed);

    // The next number, 0 to 2^31 - 1.
    uint32_t next() {
        if (used_ == blockSize) refill();
        return numbers_[used_++];
    }

    // Hands the next `count` numbers to use(const uint32_t* numbers, size_t n)
    // in order, at most a block at a time.
    template <class Use>
    void draw(size_t count, Use&& use) {
        while (count > 0) {
            if (used_ == blockSize) refill();
            const size_t n = count < blockSize - used_ ? count : blockSize - used_;
            use(numbers_.data() + used_, n);
            used_ += n;
            count -= n;
        }
    }

private:
    // Sums kept from before the block being made: r[n] is also
    // r[n-31] + r[n-34] + r[n-6], whose nearest term lies six places back,
    // so four sums at a time can be made at once.
    static constexpr size_t history = 34;

    void refill();

    // The last `history` sums, oldest first, then the block being made.
    alignas(64) std::array<uint32_t, history + blockSize> sums_{};
    alignas(64) std::array<uint32_t, blockSize> numbers_{};
    size_t used_ = blockSize;
};
