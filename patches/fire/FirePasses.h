#pragma once

#include "patches/fire/FireGrid.h"

#include <cstddef>
#include <cstdint>

// The passes of one fire step, each over a range of cells or rows, so that a
// pass can be split between two threads over disjoint ranges. Cell ranges
// that start on a multiple of 16 keep every array's part on its own cache
// lines.

struct FireChemistry {
    float energy_barrier, rate_constant, maxrate, Exothermicness;
};

// Reaction in the cells [begin, end), with the copies into heat2 and oxygen2.
void fireReact(FireGrid& grid, const FireChemistry& chemistry, size_t begin, size_t end);

// Forward scatter of heat and oxygen into heat2 and oxygen2, in two parts
// per stretch of a source row: where the n sources from column x0 of row y
// land (targets[k], a cell index, or -1 for nowhere), and then the scatter
// itself. fireTargets returns the lowest grid row (the largest index) that
// the scatter will read or write. A source lands anywhere in the grid, so
// the scatters must run in scan order, one after the other: the last source
// in scan order wins.
int32_t fireTargets(const FireGrid& grid, int32_t y, int32_t x0, int32_t n, int32_t* targets);
void fireScatter(FireGrid& grid, int32_t y, int32_t x0, int32_t n, const int32_t* targets);

// Draws vx[i] = f x scale + vxOffset, then vy[i] = f x scale + vyOffset with
// the next f, for the cells [begin, end) in ascending order, where f is the
// next number of the fire's sequence scaled to [0, 1].
void fireDrawDisplacements(FireGrid& grid, size_t begin, size_t end, float scale, float vxOffset, float vyOffset);

// Fuel set to 1 in the two fixed rectangles.
void fireAddFuel(FireGrid& grid);

// Cooling of heat2, in place, and the bytes of the heat, oxygen and visible
// images from heat2 and oxygen2, in the cells [begin, end); heat2 and oxygen2
// then become the fields (FireGrid::takeScatteredFields).
void fireSettle(FireGrid& grid, float coolrate, size_t begin, size_t end);
