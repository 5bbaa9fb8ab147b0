#include "tools/tembra/RecordingQueue.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordingQueue, AFullQueueRefusesPicturesButNeverSoundAndKeepsTheOrder) {
    RecordingQueue queue(2);
    const std::vector<uint8_t> pixel = {1, 2, 3, 4};
    const float stereo[2] = {0.5f, -0.5f};
    EXPECT_TRUE(queue.pushPicture(0, 0 / 60.0, 1, 1, true, pixel));
    queue.pushSound(stereo, 1);
    EXPECT_TRUE(queue.pushPicture(1, 1 / 60.0, 1, 1, true, pixel));
    EXPECT_FALSE(queue.pushPicture(2, 2 / 60.0, 1, 1, true, pixel)) << "two pictures wait already";
    queue.pushSound(stereo, 1);

    auto item = queue.pop();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->index, 0);
    EXPECT_EQ(item->rgba, pixel);
    queue.recycle(std::move(item->rgba));
    EXPECT_TRUE(queue.pushPicture(3, 3 / 60.0, 1, 1, true, pixel)) << "a place came free";
    queue.close();

    std::vector<std::string> rest;
    while (auto next = queue.pop())
        rest.push_back(next->kind == RecordingQueue::Item::Kind::Sound ? "sound" : std::to_string(next->index));
    EXPECT_EQ(rest, (std::vector<std::string>{"sound", "1", "sound", "3"}));
}

}  // namespace
