#include "platform/osc/OSCServerRegistry.h"

OSCServerRegistry& OSCServerRegistry::shared() {
    static OSCServerRegistry registry;
    return registry;
}

std::shared_ptr<OSCServer> OSCServerRegistry::serverFor(const std::string& givenHost, uint16_t port,
                                                        std::string* error) {
    const std::string host = givenHost.empty() ? "127.0.0.1" : givenHost;
    std::lock_guard lock(mutex_);
    if (auto it = servers_.find(port); it != servers_.end()) {
        if (std::shared_ptr<OSCServer> server = it->second.lock()) {
            if (server->host() == host) return server;
            if (error)
                *error = "cannot listen for OSC on " + (host.size() > 60 ? host.substr(0, 60) + "..." : host) + ":" + std::to_string(port) + ": the port is open on " +
                         server->name() + " for another patch; give both the same host";
            return nullptr;
        }
    }
    std::shared_ptr<OSCServer> server = OSCServer::open(host, port, error);
    if (server) servers_[port] = server;
    return server;
}

std::shared_ptr<OSCServer> OSCServerRegistry::openServer(uint16_t port) {
    std::lock_guard lock(mutex_);
    const auto it = servers_.find(port);
    return it == servers_.end() ? nullptr : it->second.lock();
}
