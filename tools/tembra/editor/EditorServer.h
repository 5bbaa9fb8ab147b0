#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The editor's HTTP and WebSocket server: the page's files, GET /api/classes,
// GET /api/document and the WebSocket /api/session. It runs on a thread of
// its own and never touches the graph: what clients send waits in a queue
// that the evaluation thread takes from (take()), and what goes back is
// handed to send(), which any thread may call.
class EditorServer {
public:
    struct Settings {
        std::string host = "127.0.0.1";
        unsigned short port = 0;  // 0: a free port
        std::string token;        // required on every API request and the WebSocket
        std::string pageFolder;   // the page's files
        std::string classesJSON;  // served at /api/classes
        size_t maxClients = 8;
        size_t maxMessageBytes = 1024 * 1024;
        int maxMessagesPerSecond = 200;
    };
    struct Incoming {
        enum class Kind { Connected, Message, Closed } kind;
        uint64_t client;
        std::string text;
    };

    // Listens at once; null with `error` naming the address and cause.
    static std::unique_ptr<EditorServer> create(const Settings& settings, std::string* error);
    ~EditorServer();
    EditorServer(const EditorServer&) = delete;
    EditorServer& operator=(const EditorServer&) = delete;

    unsigned short port() const;
    // What clients sent since the last call, oldest first. Never waits.
    std::vector<Incoming> take();
    // Queues `text` for one client, or for all when `client` is 0.
    void send(uint64_t client, std::string text);
    // What GET /api/document answers from now on.
    void setDocument(std::string json);

    class Impl;

private:
    explicit EditorServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
