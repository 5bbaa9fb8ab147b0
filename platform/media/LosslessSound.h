#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Interleaved stereo float sound compressed without loss (WavPack, 32-bit
// float), a packet at a time, each packet as base64 text so it fits a line
// of a take. What decodes is the very samples encoded, bit for bit.
class LosslessSoundEncoder {
public:
    static constexpr int kPacketFrames = 4096;

    // Null, with `error`, when FFmpeg has no WavPack encoder.
    static std::unique_ptr<LosslessSoundEncoder> create(int sampleRate, std::string* error);
    ~LosslessSoundEncoder();
    LosslessSoundEncoder(const LosslessSoundEncoder&) = delete;
    LosslessSoundEncoder& operator=(const LosslessSoundEncoder&) = delete;

    // Adds `frames` frames; each packet completed meanwhile is appended to `packets`.
    void add(const float* stereo, size_t frames, std::vector<std::string>& packets);
    // The frames still gathering, as a last shorter packet, and whatever the encoder holds.
    void finish(std::vector<std::string>& packets);

private:
    struct Codec;
    explicit LosslessSoundEncoder(std::unique_ptr<Codec> codec);
    void encode(bool last, std::vector<std::string>& packets);

    std::unique_ptr<Codec> codec_;
    std::vector<float> gathering_;  // interleaved, fewer than kPacketFrames frames
};

// Decodes one encoder's packets, in order, appending to `stereo`. False,
// with `error` saying why and `failed` the packet's index, when one is not
// what an encoder made.
bool decodeLosslessSound(const std::vector<std::string>& packets, int sampleRate, std::vector<float>& stereo,
                         std::string* error, size_t* failed = nullptr);
