#pragma once

#include "patches/fire/FireGrid.h"
#include "patches/fire/FirePasses.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// One step of the fire model, from the reaction to the three images, shared
// by the patch's thread (the leader) and, on a large grid, its worker (the
// helper). Each thread takes the next piece of work that is free, so a
// helper that starts late, or not at all, only takes less: the leader alone
// finishes the step.
//
// The order that makes the result the same bit for bit as one pass after
// the other:
//  - the leader scatters the source rows in scan order, and a row is reacted
//    (with its copies into heat2 and oxygen2) before the scatter reads or
//    writes it;
//  - the new displacements are drawn in cell order, by whichever thread
//    takes them first, and never for a row the scatter has still to read;
//  - fuel is fed once every row has reacted;
//  - heat is cooled and heat and oxygen turned into bytes once the
//    reaction and the scatter are complete, and the images are made once all
//    bytes are.
class FireStep {
public:
    // makeImage(i) makes image i of 0, 1, 2 (heat, oxygen, visible) from the
    // finished bytes; it may run on either thread.
    FireStep(FireGrid& grid, const FireChemistry& chemistry, float coolrate, std::function<void(int)> makeImage);

    void leader();
    void helper();

private:
    void reactUpTo(int32_t row);
    bool reactOne();
    void transport();
    void drawBehindTransport();
    void settleAll();
    void makeImages();

    FireGrid& grid_;
    const FireChemistry chemistry_;
    const float coolrate_;
    const std::function<void(int)> makeImage_;
    const int32_t W_, H_;
    const int32_t firstSource_, endSource_;  // the source rows
    const int32_t rowsPerChunk_, reactChunks_;
    const size_t settleChunks_;

    std::atomic<int32_t> reactNext_{0};  // next reaction chunk to take
    std::unique_ptr<std::atomic<int32_t>[]> reacted_;  // 1 once a chunk has reacted
    int32_t reactedPrefix_ = 0;  // the leader's: chunks before this have reacted
    std::atomic<int32_t> released_;  // source rows before this are scattered
    std::atomic<bool> drawsTaken_{false};
    std::atomic<int32_t> settleOpen_{0};
    std::atomic<size_t> settleNext_{0};
    std::atomic<int32_t> settled_{0};  // chunks done
    std::atomic<int32_t> imageNext_{0};
};
