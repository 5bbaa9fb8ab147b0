#include "ShowReplay.h"

#include "Session.h"
#include "platform/foundation/NSLog.h"
#include "platform/midi/VirtualMIDI.h"
#include "platform/osc/OSCServerRegistry.h"

#include <algorithm>
#include <cmath>

namespace {

// Patches whose input comes from outside the composition by a road the take
// does not follow.
struct Unreplayed {
    const char* className;
    const char* what;
};
constexpr Unreplayed kUnreplayed[] = {
    {"TembraStringWithURL", "a URL read (it may answer differently now)"},
    {"Camera", "a camera"},
    {"TembraStringWithFile", "a file read (it may have changed since)"},
    {"ImageFile", "an image file (it may have changed since)"},
    {"MovieFile", "a movie file or live source"},
};

bool isNumber(const nlohmann::json& value) { return value.is_number() && std::isfinite(value.get<double>()); }

}  // namespace

std::unique_ptr<ShowReplay> ShowReplay::open(const std::string& path, Timing timing, std::string* error) {
    std::optional<Take> take = Take::read(path, error);
    if (!take) return nullptr;
    std::unique_ptr<ShowReplay> replay(new ShowReplay());
    replay->timing_ = timing;
    // What OSC senders send now is not the show's: held and dropped each frame.
    OSCServer::setHolding(true);
    replay->path_ = path;
    if (!replay->read(*take, error)) return nullptr;
    return replay;
}

ShowReplay::~ShowReplay() {
    OSCServer::setHolding(false);
    OSCServer::discardHeld();
    for (const auto& [name, source] : sources_) VirtualMIDI::removeEndpoint(source);
}

bool ShowReplay::read(const Take& take, std::string* error) {
    const auto fail = [&](size_t line, const std::string& why) {
        if (error) *error = path_ + ":" + std::to_string(line) + ": " + why;
        return false;
    };
    const nlohmann::json& header = take.header;
    if (!header.contains("document") || !header["document"].is_string())
        return fail(1, "the take's first record has no \"document\"");
    document_ = header["document"].get<std::string>();
    if (header.contains("fps")) {
        if (!isNumber(header["fps"]) || !(header["fps"].get<double>() >= 1e-3 && header["fps"].get<double>() <= 1e6))
            return fail(1, "\"fps\" must be a number from 0.001 to 1000000");
        fps_ = header["fps"].get<double>();
    }
    if (header.contains("sets")) {
        if (!header["sets"].is_array()) return fail(1, "\"sets\" must be an array of id.port=value texts");
        for (const auto& set : header["sets"]) {
            if (!set.is_string()) return fail(1, "\"sets\" must be an array of id.port=value texts");
            sets_.push_back(set.get<std::string>());
        }
    }

    std::vector<Input> pending;
    for (const Take::Record& record : take.records) {
        const nlohmann::json& r = record.json;
        const auto string = [&](const char* key, std::string* out) {
            if (!r.contains(key) || !r[key].is_string()) return false;
            *out = r[key].get<std::string>();
            return true;
        };
        const auto boolean = [&](const char* key, bool* out) {
            if (!r.contains(key) || !r[key].is_boolean()) return false;
            *out = r[key].get<bool>();
            return true;
        };
        std::string kind;
        if (!string("kind", &kind)) return fail(record.line, "a record needs a \"kind\"");
        if (!r.contains("frame") || !r["frame"].is_number_integer() || r["frame"].get<long>() < 0 || !r.contains("t") ||
            !isNumber(r["t"]) || r["t"].get<double>() < 0)
            return fail(record.line, "a record needs a \"frame\" (0 or more) and a time \"t\" (seconds, 0 or more)");
        const long frame = r["frame"].get<long>();
        Input input;
        input.line = record.line;
        if (kind == "frame") {
            const Frame f{frame, r["t"].get<double>()};
            if (!frames_.empty() && (f.index <= frames_.back().index || f.time < frames_.back().time))
                return fail(record.line, "frame " + std::to_string(f.index) + " comes after frame " +
                                             std::to_string(frames_.back().index) +
                                             " at t=" + std::to_string(frames_.back().time) + ": frames go forward");
            frames_.push_back(f);
            groups_.push_back(Group{f, std::move(pending)});
            pending.clear();
            continue;
        } else if (kind == "midi") {
            std::string client, port;
            if (!string("client", &client) || !string("port", &port))
                return fail(record.line, "a MIDI record needs the source's \"client\" and \"port\"");
            const std::string bad = "a MIDI record needs \"bytes\": 1 to 65535 integers 0 to 255";
            if (!r.contains("bytes") || !r["bytes"].is_array() || r["bytes"].empty() || r["bytes"].size() > UINT16_MAX)
                return fail(record.line, bad);
            for (const auto& byte : r["bytes"]) {
                if (!byte.is_number_integer() || byte.get<long>() < 0 || byte.get<long>() > 255)
                    return fail(record.line, bad);
                input.bytes.push_back(static_cast<Byte>(byte.get<long>()));
            }
            input.kind = Input::Kind::MIDI;
            input.source = sourceFor(client, port);
        } else if (kind == "osc") {
            const std::string bad =
                "an OSC record needs a \"port\" 1 to 65535, an \"address\" and \"arguments\" (texts)";
            if (!r.contains("port") || !r["port"].is_number_integer() || r["port"].get<long>() < 1 ||
                r["port"].get<long>() > 65535 || !string("address", &input.text) || !r.contains("arguments") ||
                !r["arguments"].is_array())
                return fail(record.line, bad);
            for (const auto& argument : r["arguments"]) {
                if (!argument.is_string()) return fail(record.line, bad);
                input.arguments.push_back(argument.get<std::string>());
            }
            if (r.contains("number")) {
                if (!isNumber(r["number"])) return fail(record.line, "\"number\" of an OSC record must be a number");
                input.number = r["number"].get<double>();
            }
            input.kind = Input::Kind::OSC;
            input.port = static_cast<uint16_t>(r["port"].get<long>());
        } else if (kind == "key") {
            if (!string("key", &input.text) || input.text.empty() || !boolean("down", &input.down))
                return fail(record.line, "a key record needs a \"key\" name and \"down\" true or false");
        } else if (kind == "mouse") {
            if (!r.contains("x") || !r.contains("y") || !isNumber(r["x"]) || !isNumber(r["y"]))
                return fail(record.line, "a mouse record needs numbers \"x\" and \"y\"");
            input.kind = Input::Kind::Mouse;
            input.x = r["x"].get<double>();
            input.y = r["y"].get<double>();
        } else if (kind == "button") {
            std::string name;
            if (!string("button", &name) || !boolean("down", &input.down) ||
                (name != "left" && name != "middle" && name != "right"))
                return fail(record.line,
                            "a button record needs \"button\" left, middle or right and \"down\" true or false");
            input.kind = Input::Kind::Button;
            input.button = name == "left" ? 0 : name == "middle" ? 1 : 2;
        } else if (kind == "reload" || kind == "edit") {
            if (!string("document", &input.text))
                return fail(record.line, "a " + kind + " record needs its \"document\"");
            input.kind = Input::Kind::Document;
        } else if (kind == "lost") {
            input.kind = Input::Kind::Lost;
        } else if (kind == "sound-open" || kind == "sound") {
            std::string why;
            if (!sound_.add(r, record.line, &why)) return fail(record.line, why);
            input.kind = kind == "sound" ? Input::Kind::Sound : Input::Kind::SoundOpen;
            input.text = r["patch"].get<std::string>();
            if (kind == "sound") input.frames = r["frames"].get<size_t>();
            // The last packets, written as the show ended, are read in no frame.
            if (kind == "sound" && input.frames == 0) continue;
        } else if (kind == "pause" || kind == "end") {
            continue;  // the frame times say it all
        } else {
            if (std::find(unknownKinds_.begin(), unknownKinds_.end(), kind) == unknownKinds_.end())
                unknownKinds_.push_back(kind);
            continue;
        }
        pending.push_back(std::move(input));
    }
    // Inputs after the last whole frame belong to a frame that never ran.
    cut_ =
        take.cut || !pending.empty() || (take.records.empty() || take.records.back().json.value("kind", "") != "end");
    if (frames_.empty())
        return fail(take.records.empty() ? 1 : take.records.back().line, "the take has no whole frame");
    std::string why;
    size_t line = 0;
    if (!sound_.decode(&line, &why)) return fail(line, why);
    if (!sources_.empty()) VirtualMIDI::flush();  // announced before the patches look for them
    return true;
}

MIDIEndpointRef ShowReplay::sourceFor(const std::string& client, const std::string& port) {
    const auto key = std::make_pair(client, port);
    auto it = sources_.find(key);
    if (it != sources_.end()) return it->second;
    // Named as a JACK source is: device and entity are the client.
    auto device = devices_.find(client);
    if (device == devices_.end()) device = devices_.emplace(client, VirtualMIDI::createDevice(client)).first;
    const MIDIEntityRef entity = VirtualMIDI::createEntity(device->second, client);
    const MIDIEndpointRef source = VirtualMIDI::createSource(entity, port);
    sources_.emplace(key, source);
    return source;
}

void ShowReplay::note(const std::string& what, long frame) {
    for (const Difference& d : differences_)
        if (d.what == what) return;
    differences_.push_back(Difference{frame, what});
}

void ShowReplay::noteDocument(const std::string& text, long frame) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("patches") || !json["patches"].is_array()) return;
    for (const auto& patch : json["patches"]) {
        if (!patch.is_object() || !patch.contains("class") || !patch["class"].is_string()) continue;
        const std::string className = patch["class"].get<std::string>();
        for (const Unreplayed& u : kUnreplayed)
            if (className == u.className) note(u.what, frame);
        // The composition's own sound comes again, played offline, but in
        // other pieces than the live frames read it in.
        if (className == "AudioAnalysis" && patch.contains("inputs") && patch["inputs"].is_object() &&
            patch["inputs"].value("inputSource", nlohmann::json()) == "mix")
            note("an analysis of the composition's own sound (heard again offline, in other pieces)", frame);
    }
}

void ShowReplay::beforeFrame(long index, double time, Session& session) {
    if (!started_) {
        started_ = true;
        noteDocument(document_, index);
        for (const std::string& kind : unknownKinds_)
            note("records of kind \"" + kind + "\" (from a later tembra)", index);
    }
    if (timing_ == Timing::TakeFrames) {
        // Frame N of the replay is the take's frame N.
        if (index >= 0 && static_cast<size_t>(index) >= next_ && static_cast<size_t>(index) < groups_.size())
            while (next_ <= static_cast<size_t>(index)) apply(groups_[next_++], index, session);
        return;
    }
    // A tiny tolerance, as scripted MIDI has: an input at 0.5 s belongs to the frame computed as 0.5.
    while (next_ < groups_.size() && groups_[next_].frame.time <= time + 1e-9) apply(groups_[next_++], index, session);
}

void ShowReplay::apply(const Group& group, long frame, Session& session) {
    OSCServer::discardHeld();
    bool midi = false;
    for (const Input& input : group.inputs) {
        switch (input.kind) {
        case Input::Kind::MIDI:
            VirtualMIDI::inject(input.source, input.bytes);
            midi = true;
            break;
        case Input::Kind::OSC:
            // To the server the patches listen on, as it came in live.
            if (const auto server = OSCServerRegistry::shared().openServer(input.port))
                server->inject(
                    OSCMessage{input.text, input.arguments, input.number.has_value(), input.number.value_or(0)});
            break;
        case Input::Kind::Key: session.inputEvents().key(input.text, input.down); break;
        case Input::Kind::Mouse: session.inputEvents().mouseMoved(input.x, input.y); break;
        case Input::Kind::Button:
            session.inputEvents().button(static_cast<InputEvents::Button>(input.button), input.down);
            break;
        case Input::Kind::Document: {
            // MIDI before the change reaches the patches it reached live.
            if (midi) VirtualMIDI::flush();
            midi = false;
            std::string error;
            if (!session.reloadText(input.text, &error)) {
                NSLog("replay: %s:%zu: the document of show frame %ld is refused now: %s", path_.c_str(), input.line,
                      group.frame.index, error.c_str());
                note("a document the show ran and this tembra refuses", frame);
            }
            noteDocument(input.text, frame);
            break;
        }
        case Input::Kind::Lost: note("MIDI messages lost while capturing", frame); break;
        case Input::Kind::SoundOpen: sound_.opened(input.text); break;
        case Input::Kind::Sound:
            if (!sound_.deliver(input.text, input.frames)) note("live sound the take lost when it was cut short", frame);
            break;
        }
    }
    // Every message has reached its patches before the frame runs.
    if (midi) VirtualMIDI::flush();
}

std::vector<std::string> ShowReplay::differences() const {
    std::vector<std::string> lines;
    for (const Difference& d : differences_)
        lines.push_back("replay may differ from frame " + std::to_string(d.frame) + " on: " + d.what);
    return lines;
}
