#include "TestSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

std::vector<float> testSignal(int rate, int channels, double seconds) {
    const auto frames = static_cast<size_t>(std::lround(rate * seconds));
    std::vector<float> samples(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double low = 220.0 * (c + 1), high = 1234.0 + 100.0 * c;
            samples[i * channels + c] = static_cast<float>(0.55 * std::sin(2 * std::numbers::pi * low * t) +
                                                           0.3 * std::sin(2 * std::numbers::pi * high * t));
        }
    }
    return samples;
}

namespace {

std::string rawFile(const TempDir& dir, const std::string& name, const std::vector<float>& samples) {
    return dir.write(name + ".f32",
                     std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(float)));
}

void run(const std::string& command) {
    const auto result = runCommand(command);
    ASSERT_EQ(result.status, 0) << command << "\n" << result.err;
}

}  // namespace

std::string makeSoundFile(const TempDir& dir, const std::string& name, const std::vector<float>& samples, int rate,
                          int channels, const std::string& options) {
    const std::string raw = rawFile(dir, name, samples);
    const std::string out = (dir.path() / name).string();
    run("ffmpeg -v error -y -f f32le -ar " + std::to_string(rate) + " -ac " + std::to_string(channels) + " -i '" +
        raw + "' " + options + " '" + out + "'");
    return out;
}

std::string makeMovieFile(const TempDir& dir, const std::string& name, const std::vector<float>& samples, int rate,
                          const std::string& audioOptions) {
    const std::string out = (dir.path() / name).string();
    std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=duration=1:size=64x64:rate=10 ";
    if (!samples.empty())
        command += "-f f32le -ar " + std::to_string(rate) + " -ac 2 -i '" + rawFile(dir, name, samples) + "' " +
                   audioOptions + " ";
    run(command + "'" + out + "'");
    return out;
}

float largestDifference(const float* a, const float* b, size_t count) {
    float largest = 0;
    for (size_t i = 0; i < count; ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

double rms(const std::vector<float>& values, size_t first, size_t stride) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = first; i < values.size(); i += stride, ++n) sum += double(values[i]) * values[i];
    return n ? std::sqrt(sum / n) : 0.0;
}
