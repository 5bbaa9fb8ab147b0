#include "ShowCapture.h"

#include "BuildInfo.h"
#include "host/CompositionDocument.h"
#include "platform/foundation/NSLog.h"
#include "platform/midi/MIDIServices.h"
#include "platform/osc/OSCServer.h"

#include <algorithm>
#include <filesystem>

namespace {

const char* buttonName(InputEvents::Button button) {
    switch (button) {
    case InputEvents::Button::Left: return "left";
    case InputEvents::Button::Middle: return "middle";
    case InputEvents::Button::Right: return "right";
    }
    return "left";
}

}  // namespace

std::unique_ptr<ShowCapture> ShowCapture::create(const std::string& path, std::string* error) {
    auto writer = TakeWriter::create(path, error);
    if (!writer) return nullptr;
    return std::unique_ptr<ShowCapture>(new ShowCapture(std::move(writer)));
}

ShowCapture::ShowCapture(std::unique_ptr<TakeWriter> writer) : writer_(std::move(writer)) {
    MIDIServices::shared().holdExternalInput(true);
    OSCServer::setHolding(true);
}

ShowCapture::~ShowCapture() {
    // What is still held goes to whoever listens; no frame will write it.
    MIDIServices::shared().holdExternalInput(false);
    MIDIServices::shared().releaseHeldInput(nullptr);
    OSCServer::setHolding(false);
    OSCServer::releaseHeld(nullptr);
    writer_->flush();
}

void ShowCapture::start(const RunOptions& options, const CompositionDocument& document) {
    nlohmann::json header = {
        {"take", 1},
        {"tembra", tembraVersion()},
        {"file", options.file},
        {"directory", std::filesystem::current_path().string()},
        {"fps", options.fps},
        {"sets", options.sets},
        {"document", document.text},
    };
    writer_->write(header);
    writer_->flush();
    reportWriteError();
}

void ShowCapture::stamp(nlohmann::json record, long index, double time) {
    record["frame"] = index;
    record["t"] = time;
    writer_->write(record);
}

void ShowCapture::beforeFrame(long index, double time) {
    for (nlohmann::json& record : pending_) stamp(std::move(record), index, time);
    pending_.clear();
    MIDIServices& midi = MIDIServices::shared();
    midi.releaseHeldInput([&](const std::string& client, const std::string& port, const Byte* data, size_t length) {
        stamp({{"kind", "midi"}, {"client", client}, {"port", port}, {"bytes", std::vector<Byte>(data, data + length)}},
              index, time);
    });
    OSCServer::releaseHeld([&](uint16_t port, const OSCMessage& message) {
        nlohmann::json record = {
            {"kind", "osc"}, {"port", port}, {"address", message.address}, {"arguments", message.arguments}};
        if (message.hasNumber) record["number"] = message.number;
        stamp(std::move(record), index, time);
    });
    const uint64_t lost = midi.heldInputDropped();
    if (lost > midiLost_) {
        NSLog("capture: %llu MIDI message(s) came faster than the frames took them and are not in the take",
              static_cast<unsigned long long>(lost - midiLost_));
        stamp({{"kind", "lost"}, {"midi", lost - midiLost_}}, index, time);
        midiLost_ = lost;
    }
}

void ShowCapture::afterFrame(long index, double time, double clock) {
    for (nlohmann::json& record : sound_.frameRecords()) stamp(std::move(record), index, time);
    stamp({{"kind", "frame"}, {"clock", clock}}, index, time);
    lastIndex_ = index;
    lastTime_ = time;
    reportWriteError();
}

void ShowCapture::documentChanged(const char* kind, const std::string& text) {
    pending_.push_back({{"kind", kind}, {"document", text}});
}

void ShowCapture::paused(bool paused) { pending_.push_back({{"kind", "pause"}, {"paused", paused}}); }

void ShowCapture::finish(long frames) {
    sound_.finish();
    for (nlohmann::json& record : sound_.frameRecords())
        stamp(std::move(record), std::max(lastIndex_, 0L), std::max(lastTime_, 0.0));
    stamp({{"kind", "end"}, {"frames", frames}}, std::max(lastIndex_, 0L), std::max(lastTime_, 0.0));
    writer_->flush();
    reportWriteError();
}

void ShowCapture::key(const std::string& name, bool down) {
    pending_.push_back({{"kind", "key"}, {"key", name}, {"down", down}});
}

void ShowCapture::mouseMoved(double x, double y) {
    // Moves between two frames are one move to the patches, and one here.
    if (!pending_.empty() && pending_.back()["kind"] == "mouse") {
        pending_.back()["x"] = x;
        pending_.back()["y"] = y;
        return;
    }
    pending_.push_back({{"kind", "mouse"}, {"x", x}, {"y", y}});
}

void ShowCapture::button(InputEvents::Button button, bool down) {
    pending_.push_back({{"kind", "button"}, {"button", buttonName(button)}, {"down", down}});
}

void ShowCapture::reportWriteError() {
    // The show goes on; the performer hears of it once.
    if (reported_ || writer_->error().empty()) return;
    reported_ = true;
    NSLog("capture: %s; the take ends here", writer_->error().c_str());
}
