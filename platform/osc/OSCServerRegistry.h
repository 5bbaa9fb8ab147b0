#pragma once

#include "platform/osc/OSCServer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// One OSC server per UDP port for the whole process, shared by every patch
// that listens on the port; it closes when the last one lets go.
class OSCServerRegistry {
public:
    static OSCServerRegistry& shared();

    // The server on `port`, opened on `host` if none is open yet. Null, with
    // `error` set, when the port cannot be had, or when it is open on
    // another host (one socket cannot listen on two addresses of one port).
    std::shared_ptr<OSCServer> serverFor(const std::string& host, uint16_t port, std::string* error);
    // The server open on `port`, or null: never opens one.
    std::shared_ptr<OSCServer> openServer(uint16_t port);

private:
    std::mutex mutex_;
    std::map<uint16_t, std::weak_ptr<OSCServer>> servers_;
};
