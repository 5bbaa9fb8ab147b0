#pragma once

#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

// Sound files for the import tests, made with the ffmpeg tool from samples
// the test knows exactly.

// `seconds` of interleaved samples: two sines per channel, different per
// channel, peaks below 0.9.
std::vector<float> testSignal(int rate, int channels, double seconds);

// Writes `samples` (interleaved, `channels` per frame, at `rate`) to
// `name` in `dir`, encoded by ffmpeg as the name's extension says, with
// `options` added before the output name (codec choice and the like).
std::string makeSoundFile(const TempDir& dir, const std::string& name, const std::vector<float>& samples, int rate,
                          int channels, const std::string& options = "");

// A file with a one-second 64x64 test picture before the sound, or with the
// picture alone when `samples` is empty.
std::string makeMovieFile(const TempDir& dir, const std::string& name, const std::vector<float>& samples, int rate,
                          const std::string& audioOptions);

// Largest difference between the first `count` values of two buffers.
float largestDifference(const float* a, const float* b, size_t count);

// Root mean square of every `stride`-th value from `first`.
double rms(const std::vector<float>& values, size_t first, size_t stride);
