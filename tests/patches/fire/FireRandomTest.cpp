#include "patches/fire/FireRandom.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The fire's sequence is rand()'s, number for number, however it is drawn:
// one at a time or in runs that straddle its blocks.
TEST(FireRandom, MatchesTheCLibraryRandForTenMillionNumbers) {
    FireRandom random;
    std::srand(1);
    const size_t runs[] = {1, 3, FireRandom::blockSize - 1, 2 * FireRandom::blockSize + 5, 31, 1000};
    size_t drawn = 0, mismatches = 0, run = 0;
    while (drawn < 10'000'000) {
        const size_t count = runs[run++ % std::size(runs)];
        if (count == 1) {
            mismatches += random.next() != static_cast<uint32_t>(std::rand());
        } else {
            random.draw(count, [&](const uint32_t* numbers, size_t n) {
                for (size_t k = 0; k < n; ++k) mismatches += numbers[k] != static_cast<uint32_t>(std::rand());
            });
        }
        drawn += count;
        ASSERT_EQ(mismatches, 0u) << "within the first " << drawn << " numbers";
    }
}
