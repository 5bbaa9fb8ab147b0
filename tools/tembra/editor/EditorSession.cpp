#include "tools/tembra/editor/EditorSession.h"

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSLogObserver.h"
#include "platform/foundation/RegularFile.h"
#include "tools/tembra/ClassSchema.h"
#include "tools/tembra/editor/DocumentEdit.h"
#include "tools/tembra/editor/DocumentWriter.h"
#include "tools/tembra/editor/ImagePreview.h"
#include "tools/tembra/editor/PortValueJSON.h"

#include <optional>

namespace {

// Value updates per second at most, per client.
constexpr double kValueRate = 30;
// Edits that can be undone.
constexpr size_t kUndoDepth = 500;
// Ports one client may watch.
constexpr size_t kMaxSubscribed = 2000;
// Log lines kept between two polls, and for clients that connect later.
constexpr size_t kMaxLogLines = 200;
// Previews of image ports: a few a second, this many pixels on the longer side.
constexpr double kPreviewRate = 4;
constexpr size_t kPreviewSide = 160;
constexpr size_t kRecentLogLines = 50;

std::optional<std::string> readText(const std::string& path) {
    std::string error;
    return readRegularFile(path, CompositionDocument::kMaxTextBytes, &error);
}

// A message as sent: text that is not UTF-8 (a log line naming a file,
// say) is replaced rather than throwing on the evaluation thread.
std::string wire(const nlohmann::ordered_json& message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

EditorSession::EditorSession(Session& session, EditorServer& server, std::string file, Json document,
                             std::string onDisk)
    : session_(session),
      server_(server),
      file_(std::move(file)),
      document_(std::move(document)),
      onDisk_(std::move(onDisk)),
      watch_(file_) {
    server_.setDocument(formatDocument(document_));
    logObserver_ = NSLogAddObserver([this](const std::string& line, bool) {
        std::lock_guard lock(logMutex_);
        if (logLines_.size() < kMaxLogLines) logLines_.push_back(line);
        else ++logDropped_;
    });
}

EditorSession::~EditorSession() { NSLogRemoveObserver(logObserver_); }

void EditorSession::sendLog() {
    std::vector<std::string> lines;
    size_t dropped = 0;
    {
        std::lock_guard lock(logMutex_);
        lines.swap(logLines_);
        std::swap(dropped, logDropped_);
    }
    if (dropped) lines.push_back(std::to_string(dropped) + " more log lines not shown");
    for (std::string& line : lines) {
        const Json message = {{"type", "log"}, {"line", line}};
        server_.send(0, wire(message));
        recentLog_.push_back(std::move(line));
        if (recentLog_.size() > kRecentLogLines) recentLog_.pop_front();
    }
}

void EditorSession::poll(double clock) {
    for (EditorServer::Incoming& in : server_.take()) {
        switch (in.kind) {
        case EditorServer::Incoming::Kind::Connected:
            clients_[in.client];
            sendDocument(in.client);
            for (const std::string& line : recentLog_)
                server_.send(in.client,
                             wire(Json{{"type", "log"}, {"line", line}}));
            break;
        case EditorServer::Incoming::Kind::Closed:
            clients_.erase(in.client);
            if (learning_ && learning_->client == in.client) learning_.reset();
            break;
        case EditorServer::Incoming::Kind::Message:
            // A message of a shape no check foresaw is answered, never
            // allowed to end the show.
            try {
                handle(in.client, in.text);
            } catch (const std::exception& e) {
                answer(in.client, nullptr, std::string("malformed message: ") + e.what());
            }
            break;
        }
    }
    if (learning_ && midiLearn_)
        if (auto heard = midiLearn_->take()) learned(*heard);
    if (watch_.saved()) fileChanged();
    if (session_.portsRevision() != sentPortsRevision_) sendDocument(0);
    sendLog();
    if (clock - lastValues_ >= 1.0 / kValueRate) {
        lastValues_ = clock;
        sendValues();
    }
    if (clock - lastPreviews_ >= 1.0 / kPreviewRate) {
        lastPreviews_ = clock;
        sendPreviews();
    }
}

void EditorSession::answer(uint64_t client, const Json& id, const std::string& error) {
    Json message = {{"type", "answer"}, {"id", id}, {"ok", error.empty()}};
    if (!error.empty()) message["error"] = error;
    server_.send(client, wire(message));
}

void EditorSession::handle(uint64_t client, const std::string& text) {
    Json message;
    try {
        message = Json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        return answer(client, nullptr, std::string("malformed message: ") + e.what());
    }
    if (!message.is_object() || !message.contains("type") || !message["type"].is_string())
        return answer(client, nullptr, "malformed message: an object with a string \"type\" is expected");
    const Json id = message.contains("id") ? message["id"] : Json();
    const std::string type = message["type"].get<std::string>();
    std::string error;
    if (isDocumentEdit(type)) {
        if (!applyEdits(client, {message}, &error)) return answer(client, id, type + ": " + error);
        return answer(client, id);
    }
    if (type == "learn") return learn(client, id, message);
    if (type == "undo" || type == "redo") {
        auto& from = type == "undo" ? undo_ : redo_;
        auto& to = type == "undo" ? redo_ : undo_;
        if (from.empty()) return answer(client, id, "nothing to " + type);
        lastSet_.clear();
        Json before = document_;
        if (!commit(from.back(), &error)) return answer(client, id, type + ": " + error);
        from.pop_back();
        to.push_back(std::move(before));
        sendDocument(0);
        return answer(client, id);
    }
    if (type == "save") {
        if (message.contains("force") && !message["force"].is_boolean())
            return answer(client, id, "save: \"force\" must be true or false");
        return save(client, id, message.contains("force") && message["force"].get<bool>());
    }
    if (type == "subscribe") {
        if (!message.contains("ports") || !message["ports"].is_array())
            return answer(client, id, "subscribe: \"ports\" must be an array of \"id.port\" strings");
        Client& c = clients_[client];
        c.ports.clear();
        c.sent.clear();
        c.previewed.clear();
        for (const Json& port : message["ports"])
            if (port.is_string() && c.ports.size() < kMaxSubscribed) c.ports.push_back(port.get<std::string>());
        return answer(client, id);
    }
    answer(client, id, "unknown message type \"" + type + "\"");
}

bool EditorSession::applyEdits(uint64_t client, const std::vector<Json>& edits, std::string* error) {
    Json next = document_;
    for (const Json& edit : edits) {
        std::optional<Json> applied = applyDocumentEdit(next, edit, error);
        if (!applied) return false;
        next = std::move(*applied);
    }
    Json before = document_;
    if (!commit(std::move(next), error)) return false;
    // A slider's drag is many sets of one port, each after the first marked
    // "merge": undone as one edit.
    const Json& first = edits.front();
    const std::string port = edits.size() == 1 && first.value("type", "") == "set" && first.contains("port") &&
                                     first["port"].is_string()
                                 ? first["port"].get<std::string>()
                                 : "";
    const bool sameDrag = !port.empty() && port == lastSet_ && client == lastSetClient_ &&
                          first.contains("merge") && first["merge"] == true && !undo_.empty();
    lastSet_ = port;
    lastSetClient_ = client;
    if (!sameDrag) {
        if (undo_.size() >= kUndoDepth) undo_.erase(undo_.begin());
        undo_.push_back(std::move(before));
    }
    redo_.clear();
    sendDocument(0);
    return true;
}

void EditorSession::learn(uint64_t client, const Json& id, const Json& message) {
    if (learning_) answer(learning_->client, learning_->id, "learn: cancelled by another learn");
    learning_.reset();
    if (!message.contains("port") || message["port"].is_null()) {
        if (midiLearn_) midiLearn_->disarm();
        return answer(client, id);
    }
    if (!message["port"].is_string()) return answer(client, id, "learn: \"port\" must be an \"id.input\" string");
    const std::string endpoint = message["port"].get<std::string>();
    const QCPort* port = session_.port(endpoint);
    if (!port || !port->isInput()) return answer(client, id, "learn: no input port " + endpoint);
    if (port->kind() != QCPortKind::Number && port->kind() != QCPortKind::Index && port->kind() != QCPortKind::Boolean)
        return answer(client, id, "learn: " + endpoint + " is a " + portKindName(port->kind()) +
                                      " port; a MIDI controller or key drives numbers, indexes and booleans");
    std::string error;
    if (!midiLearn_) midiLearn_ = MIDILearn::create(&error);
    if (!midiLearn_) return answer(client, id, error);
    midiLearn_->arm();
    learning_ = Learning{client, id, endpoint};
}

void EditorSession::learned(const MIDILearn::Heard& heard) {
    const Learning learning = *learning_;
    learning_.reset();
    const QCPort* port = session_.port(learning.port);
    if (!port) return answer(learning.client, learning.id, "learn: " + learning.port + " is gone");
    const std::string cls = heard.isNote ? "TembraMIDIInputNote" : "TembraMIDIInputCC";
    Json add = {{"type", "add"},
                {"class", cls},
                {"inputs", {{"inputChannel", heard.channel}, {heard.isNote ? "inputNote" : "inputController", heard.number}}}};
    // Beside the patch it drives, when that one has a place on the page.
    std::string target = learning.port.substr(0, learning.port.rfind('.'));
    for (const Json& patch : document_["patches"]) {
        if (!patch.is_object() || !patch.contains("id") || patch["id"] != target || !patch.contains("editor")) continue;
        const Json& at = patch["editor"];
        if (at.is_object() && at.contains("x") && at["x"].is_number() && at.contains("y") && at["y"].is_number())
            add["editor"] = {{"x", at["x"].get<double>() - 300}, {"y", at["y"].get<double>()}};
    }
    // The new patch's id is the one the add picks: apply it to see.
    std::string error;
    std::optional<Json> added = applyDocumentEdit(document_, add, &error);
    if (!added) return answer(learning.client, learning.id, "learn: " + error);
    const Json& last = added->at("patches").back();
    const std::string patch = last.contains("id") && last["id"].is_string() ? last["id"].get<std::string>() : "";
    add["patch"] = patch;
    const bool toggle = port->kind() == QCPortKind::Boolean;
    Json connect = {{"type", "connect"},
                    {"from", patch + "." + (heard.isNote ? (toggle ? "outputGate" : "outputVelocity") : "outputValue")},
                    {"to", learning.port}};
    std::vector<Json> edits = {add, connect};
    if (!toggle) {
        // From the MIDI range onto the port's described range.
        const QCPortInfo& info = port->info();
        Json to = info.hasRange() ? Json::array({info.min, info.max})
                  : port->kind() == QCPortKind::Index ? Json::array({0, 127})
                                                      : Json::array({0.0, 1.0});
        edits.push_back({{"type", "map"}, {"to", learning.port}, {"map", {{"from", {0, 127}}, {"to", to}}}});
    }
    if (!applyEdits(learning.client, edits, &error)) return answer(learning.client, learning.id, "learn: " + error);
    NSLog("learned %s %d on channel %d for %s", heard.isNote ? "note" : "controller", heard.number, heard.channel,
          learning.port.c_str());
    answer(learning.client, learning.id);
}

bool EditorSession::commit(Json next, std::string* error) {
    if (!session_.reloadText(formatDocument(next), error)) return false;
    document_ = std::move(next);
    edited_ = true;
    server_.setDocument(formatDocument(document_));
    return true;
}

void EditorSession::sendDocument(uint64_t client) {
    Json message = {{"type", "document"},
                    {"document", document_},
                    {"file", file_},
                    {"edited", edited_},
                    {"canUndo", !undo_.empty()},
                    {"canRedo", !redo_.empty()}};
    // The ports of patches whose ports follow their source (a shader's
    // INPUTS) are the running patch's, not its class's.
    Json ports = Json::object();
    for (const Evaluator::Node& node : session_.evaluator().nodes()) {
        if (!node.patchClass->portsFollowSource) continue;
        Json list = Json::array();
        for (const QCPort* port : node.patch->ports()) list.push_back(portSchema(*port));
        ports[node.id] = std::move(list);
    }
    message["ports"] = std::move(ports);
    sentPortsRevision_ = session_.portsRevision();
    server_.send(client, wire(message));
}

void EditorSession::save(uint64_t client, const Json& id, bool force) {
    const std::optional<std::string> now = readText(file_);
    const std::string current = now ? *now : std::string();
    if (!force && current != onDisk_ && edited_)
        return answer(client, id,
                      "save: " + file_ + " changed on disk since it was loaded; save with \"force\" to overwrite it");
    const std::string text = formatDocument(document_);
    std::string error;
    if (!writeFileAtomically(file_, text, &error)) return answer(client, id, "save: " + error);
    onDisk_ = text;
    edited_ = false;
    changedOnDisk_ = false;
    NSLog("saved %s", file_.c_str());
    answer(client, id);
    sendDocument(0);
}

void EditorSession::fileChanged() {
    const std::optional<std::string> text = readText(file_);
    // Our own save, or a write that left the same text.
    if (!text || *text == onDisk_) return;
    if (edited_) {
        changedOnDisk_ = true;
        const Json message = {{"type", "error"},
                              {"message", file_ + " changed on disk, and the editor has unsaved edits: saving "
                                                  "will ask before overwriting it"}};
        server_.send(0, wire(message));
        return;
    }
    std::string error;
    Json parsed;
    try {
        parsed = Json::parse(*text);
    } catch (const nlohmann::json::exception&) {
        // The document check below says where.
    }
    if (!session_.reloadText(*text, &error)) {
        NSLog("%s", error.c_str());
        server_.send(0, wire(Json{{"type", "error"}, {"message", error}}));
        return;
    }
    NSLog("reloaded %s", file_.c_str());
    onDisk_ = *text;
    undo_.push_back(document_);
    document_ = std::move(parsed);
    server_.setDocument(formatDocument(document_));
    sendDocument(0);
}

void EditorSession::sendValues() {
    for (auto& [id, client] : clients_) {
        Json values = Json::object();
        for (const std::string& endpoint : client.ports) {
            const QCPort* port = session_.port(endpoint);
            Json value = port ? portValueJSON(*port) : Json();
            auto sent = client.sent.find(endpoint);
            if (sent != client.sent.end() && sent->second == value) continue;
            values[endpoint] = value;
            client.sent[endpoint] = std::move(value);
        }
        if (!values.empty()) server_.send(id, wire(Json{{"type", "values"}, {"values", std::move(values)}}));
    }
}

void EditorSession::sendPreviews() {
    // One picture per port and tick, however many clients watch it.
    std::map<std::string, std::string> encoded;
    for (auto& [id, client] : clients_)
        for (const std::string& endpoint : client.ports) {
            const QCPort* port = session_.port(endpoint);
            if (!port || port->kind() != QCPortKind::Image) continue;
            const ImageRef& image = static_cast<const QCGLImagePort*>(port)->imageValue();
            const void* now = image.get();
            auto& previewed = client.previewed[endpoint];
            if (now == previewed || !image || !image->CGImage()) continue;
            previewed = now;
            auto it = encoded.find(endpoint);
            if (it == encoded.end())
                it = encoded.emplace(endpoint, imagePreviewDataURL(*image->CGImage(), kPreviewSide)).first;
            if (it->second.empty()) continue;
            server_.send(id, wire(Json{{"type", "preview"}, {"port", endpoint}, {"image", it->second}}));
        }
}
