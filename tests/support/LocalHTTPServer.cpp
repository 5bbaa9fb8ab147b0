#include "LocalHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

LocalHTTPServer::LocalHTTPServer(std::map<std::string, Response> routes) : routes_(std::move(routes)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LocalHTTPServer::~LocalHTTPServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
}

std::string LocalHTTPServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LocalHTTPServer::serve() {
    for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = read(client, buffer, sizeof buffer);
            if (n <= 0) break;
            request.append(buffer, static_cast<size_t>(n));
        }
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const auto route = routes_.find(path);
        const Response response = route != routes_.end() ? route->second : Response{404, "not found", {}};
        std::string head = "HTTP/1.0 " + std::to_string(response.status) + " X\r\nContent-Length: " +
                           std::to_string(response.body.size()) + "\r\n";
        if (!response.location.empty()) head += "Location: " + response.location + "\r\n";
        head += "Connection: close\r\n\r\n";
        const std::string all = head + response.body;
        for (size_t sent = 0; sent < all.size();) {
            const ssize_t n = send(client, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        close(client);
    }
}
