#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Reads the whole audio of the sound or movie file at `path` as interleaved
// 32-bit float stereo at the file's own rate. On success `samples` holds
// `sampleCount` values (two per frame; frames the file did not deliver stay
// 0.0). On failure the reason is logged and neither out value is touched.
void importAudioFromFile(const std::string& path, std::unique_ptr<float[]>& samples, uint32_t& sampleCount);
