#include "ReplayedSound.h"

#include "platform/media/LosslessSound.h"

#include <cmath>

namespace {

class TakeSource : public LiveSoundSource {
public:
    TakeSource(double rate, std::shared_ptr<std::vector<float>> unread) : rate_(rate), unread_(std::move(unread)) {}

    double sampleRate() const override { return rate_; }
    size_t connectNewPorts() override { return 1; }
    size_t read(std::vector<float>& stereo) override {
        const size_t frames = unread_->size() / 2;
        stereo.insert(stereo.end(), unread_->begin(), unread_->end());
        unread_->clear();
        return frames;
    }

private:
    double rate_;
    std::shared_ptr<std::vector<float>> unread_;
};

}  // namespace

ReplayedSound::ReplayedSound() { LiveSound::setPlayer(this); }

ReplayedSound::~ReplayedSound() { LiveSound::setPlayer(nullptr); }

bool ReplayedSound::add(const nlohmann::json& record, size_t line, std::string* error) {
    if (!record.contains("patch") || !record["patch"].is_string()) {
        *error = "a sound record needs the \"patch\" that heard it";
        return false;
    }
    Patch& patch = patches_[record["patch"].get<std::string>()];
    if (record["kind"] == "sound-open") {
        if (!record.contains("rate") || !record["rate"].is_number() || !(record["rate"].get<double>() >= 1) ||
            !(record["rate"].get<double>() <= 1e6)) {
            *error = "a sound-open record needs a \"rate\" from 1 to 1000000";
            return false;
        }
        patch.streams.push_back(Stream{record["rate"].get<double>(), {}, {}, {}, 0});
        return true;
    }
    if (patch.streams.empty()) {
        *error = "a sound record comes before its patch's sound-open";
        return false;
    }
    // A frame reads what came since the last: never more than the capture's ring holds (seconds).
    const std::string bad = "a sound record needs \"frames\" (0 to 1000000) and \"packets\" (texts)";
    if (!record.contains("frames") || !record["frames"].is_number_unsigned() ||
        record["frames"].get<uint64_t>() > 1000000 || !record.contains("packets") || !record["packets"].is_array())
        return *error = bad, false;
    for (const auto& packet : record["packets"]) {
        if (!packet.is_string()) return *error = bad, false;
        patch.streams.back().packets.push_back(packet.get<std::string>());
        patch.streams.back().lines.push_back(line);
    }
    return true;
}

bool ReplayedSound::decode(size_t* line, std::string* error) {
    for (auto& [name, patch] : patches_)
        for (Stream& stream : patch.streams) {
            std::string why;
            size_t failed = 0;
            if (!decodeLosslessSound(stream.packets, static_cast<int>(std::lround(stream.rate)), stream.stereo, &why,
                                     &failed)) {
                *line = failed < stream.lines.size() ? stream.lines[failed] : 1;
                *error = "the sound of " + name + ": " + why;
                return false;
            }
            stream.packets.clear();
            stream.lines.clear();
        }
    return true;
}

void ReplayedSound::opened(const std::string& name) {
    Patch& patch = patches_[name];
    ++patch.current;
    // The old source, if still open, hears no more of the new stream.
    patch.unread = std::make_shared<std::vector<float>>();
}

bool ReplayedSound::deliver(const std::string& name, size_t frames) {
    Patch& patch = patches_[name];
    if (patch.current < 0 || static_cast<size_t>(patch.current) >= patch.streams.size()) return false;
    Stream& stream = patch.streams[static_cast<size_t>(patch.current)];
    const size_t wanted = frames * 2;
    const size_t there = std::min(wanted, stream.stereo.size() - stream.cursor);
    patch.unread->insert(patch.unread->end(), stream.stereo.begin() + static_cast<std::ptrdiff_t>(stream.cursor),
                         stream.stereo.begin() + static_cast<std::ptrdiff_t>(stream.cursor + there));
    stream.cursor += there;
    // What a crash kept from the encoder is less than was read: silence for the rest.
    patch.unread->resize(patch.unread->size() + (wanted - there), 0.0f);
    // A source nobody reads (the take's patch is not in the document) keeps the newest seconds only.
    const auto limit = static_cast<size_t>(stream.rate * 4) * 2;
    if (patch.unread->size() > limit)
        patch.unread->erase(patch.unread->begin(), patch.unread->end() - static_cast<std::ptrdiff_t>(limit));
    return there == wanted;
}

std::unique_ptr<LiveSoundSource> ReplayedSound::open(const std::string& name, std::string* error) {
    auto found = patches_.find(name);
    if (found == patches_.end() || found->second.current < 0 ||
        static_cast<size_t>(found->second.current) >= found->second.streams.size()) {
        if (error) *error = "the show heard no live sound here (the take has none for " + name + ")";
        return nullptr;
    }
    Patch& patch = found->second;
    return std::make_unique<TakeSource>(patch.streams[static_cast<size_t>(patch.current)].rate, patch.unread);
}
