#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Sends OSC messages over UDP to one host and port.
class OSCSender {
public:
    // `host` is a numeric address or "localhost" (a name lookup could stall
    // the show). Null, with `error` saying why, for anything else.
    static std::unique_ptr<OSCSender> create(const std::string& host, uint16_t port, std::string* error);
    ~OSCSender();
    OSCSender(const OSCSender&) = delete;
    OSCSender& operator=(const OSCSender&) = delete;

    // One message at `address` with one float argument. False, with `error`
    // set, when the address is no OSC address or the send failed.
    bool send(const std::string& address, double value, std::string* error);
    // "127.0.0.1:9000"
    const std::string& name() const { return name_; }

private:
    struct Impl;
    explicit OSCSender(std::unique_ptr<Impl> impl, std::string name);
    std::unique_ptr<Impl> impl_;
    std::string name_;
};
