#pragma once

#include "tools/tembra/FileWatch.h"
#include "tools/tembra/Session.h"
#include "tools/tembra/editor/EditorServer.h"
#include "tools/tembra/editor/MIDILearn.h"

#include <nlohmann/json.hpp>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The editor's side of a running session, on the evaluation thread: takes
// what clients sent, checks each edit as a whole new document and hands it
// to the session between frames, keeps undo and redo, saves the file,
// follows changes of the file made elsewhere, and sends clients the
// document, answers and the values of the ports they watch.
class EditorSession {
public:
    // `document` is what `session` runs; `onDisk` is the file's text as it
    // was loaded (empty when the file does not exist yet).
    EditorSession(Session& session, EditorServer& server, std::string file, nlohmann::ordered_json document,
                  std::string onDisk);
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    // Call between frames. `clock`: seconds since the start, which paces
    // value updates.
    void poll(double clock);

private:
    using Json = nlohmann::ordered_json;
    struct Client {
        std::vector<std::string> ports;
        std::map<std::string, Json> sent;  // last value sent per port
        std::map<std::string, const void*> previewed;  // last image previewed per port
    };

    void handle(uint64_t client, const std::string& text);
    // Every edit of the document, from any client or from MIDI learn, passes
    // here: `edits` applied in order as one undoable step, checked as a
    // whole and run between frames. False with `error` set and nothing
    // changed.
    bool applyEdits(uint64_t client, const std::vector<Json>& edits, std::string* error);
    // "learn": the next controller or key heard drives the port.
    void learn(uint64_t client, const Json& id, const Json& message);
    void learned(const MIDILearn::Heard& heard);
    // Checks and runs `next`; false with `error` set and nothing changed.
    bool commit(Json next, std::string* error);
    void save(uint64_t client, const Json& id, bool force);
    void fileChanged();
    void sendDocument(uint64_t client);
    void sendValues();
    // The host's log lines since the last poll go to every client.
    void sendLog();
    // Small pictures of the subscribed image ports whose image changed.
    void sendPreviews();
    void answer(uint64_t client, const Json& id, const std::string& error = {});

    Session& session_;
    EditorServer& server_;
    std::string file_;
    Json document_;
    std::vector<Json> undo_, redo_;
    std::string onDisk_;  // the file's text when last loaded or saved
    bool edited_ = false;
    bool changedOnDisk_ = false;
    FileWatch watch_;
    std::map<uint64_t, Client> clients_;
    double lastValues_ = -1;
    double lastPreviews_ = -1;
    struct Learning {
        uint64_t client;
        Json id;
        std::string port;
    };
    std::optional<Learning> learning_;
    std::unique_ptr<MIDILearn> midiLearn_;
    uint64_t logObserver_ = 0;
    uint64_t sentPortsRevision_ = 0;  // of the session's ports, in the last document sent
    std::mutex logMutex_;  // the log's observer runs on any thread
    std::vector<std::string> logLines_;
    size_t logDropped_ = 0;
    std::deque<std::string> recentLog_;  // shown to a client that connects later
    // The last set edit, to undo a drag in one step.
    std::string lastSet_;
    uint64_t lastSetClient_ = 0;
};
