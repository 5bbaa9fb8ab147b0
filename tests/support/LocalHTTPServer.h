#pragma once

#include <map>
#include <string>
#include <thread>

// A minimal HTTP/1.0 server on 127.0.0.1 with canned answers per path, for
// tests that fetch URLs without leaving the machine.
class LocalHTTPServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::string location;  // for redirects
    };

    explicit LocalHTTPServer(std::map<std::string, Response> routes);
    ~LocalHTTPServer();
    std::string url(const std::string& path) const;

private:
    void serve();
    std::map<std::string, Response> routes_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};
