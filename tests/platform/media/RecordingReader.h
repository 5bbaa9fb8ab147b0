#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A recorded video file read back whole with libavformat and libavcodec.
struct Recording {
    std::string error;  // empty when the file was read
    std::string videoCodec, audioCodec;  // empty when there is no such stream
    int width = 0, height = 0;
    double fps = 0;       // the video stream's frame rate
    double duration = 0;  // seconds, as the container states it
    std::vector<std::vector<uint8_t>> pictures;  // RGBA, top row first
    std::vector<std::vector<uint8_t>> yuv;       // yuv420p pictures as coded: Y, U, V planes, no padding
    int sampleRate = 0;
    std::vector<float> sound;  // interleaved stereo

    double soundSeconds() const { return sampleRate ? static_cast<double>(sound.size() / 2) / sampleRate : 0; }
};

Recording readRecording(const std::string& path);

// Peak signal-to-noise ratio of the colour bytes (alpha left out), in dB.
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
// The same over every sample of a coded yuv420p picture against `rgba`
// converted the way the recorder converts it (BT.601, limited range): the
// loss of the encoding itself, apart from what 4:2:0 takes from colour edges.
double yuvPSNR(const std::vector<uint8_t>& yuv420p, const std::vector<uint8_t>& rgba, int width, int height);
