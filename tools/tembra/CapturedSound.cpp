#include "CapturedSound.h"

#include "platform/foundation/NSLog.h"

#include <cmath>

CapturedSound::CapturedSound() { LiveSound::setRecorder(this); }

CapturedSound::~CapturedSound() { LiveSound::setRecorder(nullptr); }

void CapturedSound::opened(const std::string& patch, double sampleRate) {
    auto found = streams_.find(patch);
    if (found != streams_.end()) {
        close(patch, found->second);
        streams_.erase(found);
    }
    records_.push_back({{"kind", "sound-open"}, {"patch", patch}, {"rate", sampleRate}});
    std::string error;
    Stream stream;
    stream.encoder = LosslessSoundEncoder::create(static_cast<int>(std::lround(sampleRate)), &error);
    if (!stream.encoder) NSLogProblem("capture: the sound of %s is not in the take: %s", patch.c_str(), error.c_str());
    streams_.emplace(patch, std::move(stream));
}

void CapturedSound::heard(const std::string& patch, const float* stereo, size_t frames) {
    auto found = streams_.find(patch);
    if (found == streams_.end() || !found->second.encoder) return;
    Stream& stream = found->second;
    stream.frames += frames;
    stream.encoder->add(stereo, frames, stream.packets);
}

void CapturedSound::close(const std::string& patch, Stream& stream) {
    if (stream.encoder) stream.encoder->finish(stream.packets);
    stream.encoder.reset();
    record(patch, stream);
}

void CapturedSound::record(const std::string& patch, Stream& stream) {
    if (stream.frames == 0 && stream.packets.empty()) return;
    records_.push_back({{"kind", "sound"}, {"patch", patch}, {"frames", stream.frames}, {"packets", stream.packets}});
    stream.frames = 0;
    stream.packets.clear();
}

std::vector<nlohmann::json> CapturedSound::frameRecords() {
    for (auto& [patch, stream] : streams_) record(patch, stream);
    return std::exchange(records_, {});
}

void CapturedSound::finish() {
    for (auto& [patch, stream] : streams_) close(patch, stream);
    streams_.clear();
}
