#include "platform/osc/OSCSender.h"

#include <lo/lo.h>

#include <netdb.h>
#include <sys/socket.h>

struct OSCSender::Impl {
    lo_address address = nullptr;
    ~Impl() {
        if (address) lo_address_free(address);
    }
};

std::unique_ptr<OSCSender> OSCSender::create(const std::string& givenHost, uint16_t port, std::string* error) {
    const std::string host = givenHost == "localhost" || givenHost.empty() ? "127.0.0.1" : givenHost;
    const std::string name = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (port == 0 || getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        if (error)
            *error = "cannot send OSC to \"" + (givenHost.size() > 60 ? givenHost.substr(0, 60) + "..." : givenHost) +
                     "\" port " + std::to_string(port) +
                     (port == 0 ? ": the port must be 1 to 65535"
                                : ": the host must be a numeric IP address (such as 192.0.2.7) or localhost");
        return nullptr;
    }
    freeaddrinfo(found);
    auto impl = std::make_unique<Impl>();
    impl->address = lo_address_new(host.c_str(), std::to_string(port).c_str());
    if (!impl->address) {
        if (error) *error = "cannot send OSC to " + name;
        return nullptr;
    }
    return std::unique_ptr<OSCSender>(new OSCSender(std::move(impl), name));
}

OSCSender::OSCSender(std::unique_ptr<Impl> impl, std::string name) : impl_(std::move(impl)), name_(std::move(name)) {}

OSCSender::~OSCSender() = default;

bool OSCSender::send(const std::string& address, double value, std::string* error) {
    if (address.empty() || address[0] != '/' || address.find_first_of(" #*?,[]{}") != std::string::npos) {
        if (error) *error = "\"" + address + "\" is no OSC address (it starts with / and has no spaces or # * ? , [ ] { })";
        return false;
    }
    if (lo_send(impl_->address, address.c_str(), "f", static_cast<float>(value)) < 0) {
        if (error) *error = "cannot send OSC to " + name_ + ": " + lo_address_errstr(impl_->address);
        return false;
    }
    return true;
}
