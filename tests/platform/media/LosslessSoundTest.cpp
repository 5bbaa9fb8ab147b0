// Live sound kept in a take comes back bit for bit.
#include "platform/media/LosslessSound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

TEST(LosslessSound, WhatDecodesIsEverySampleEncodedBitForBit) {
    // Noise, a quiet sine and silence, in pieces of uneven size, as frames read them.
    std::vector<float> sound;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int i = 0; i < 20000; ++i) sound.push_back(noise(random));
    for (int i = 0; i < 30000; ++i) sound.push_back(1e-3f * std::sin(0.01f * float(i)));
    sound.resize(sound.size() + 9001 * 2, 0.0f);
    auto encoder = LosslessSoundEncoder::create(48000, nullptr);
    ASSERT_TRUE(encoder);
    std::vector<std::string> packets;
    for (size_t at = 0, piece = 1; at < sound.size() / 2; at += piece, piece = piece * 7 % 1601 + 1)
        encoder->add(sound.data() + at * 2, std::min(piece, sound.size() / 2 - at), packets);
    const size_t whole = packets.size();
    EXPECT_EQ(whole, sound.size() / 2 / LosslessSoundEncoder::kPacketFrames);
    encoder->finish(packets);
    EXPECT_GT(packets.size(), whole);

    std::vector<float> decoded;
    std::string error;
    ASSERT_TRUE(decodeLosslessSound(packets, 48000, decoded, &error)) << error;
    ASSERT_EQ(decoded.size(), sound.size());
    EXPECT_EQ(std::memcmp(decoded.data(), sound.data(), sound.size() * sizeof(float)), 0);

    // A packet that is not one is named.
    packets[1] = "bm90IHdhdnBhY2s=";
    decoded.clear();
    EXPECT_FALSE(decodeLosslessSound(packets, 48000, decoded, &error));
    EXPECT_NE(error.find("sound packet 2"), std::string::npos) << error;
}

}  // namespace
