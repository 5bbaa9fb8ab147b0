#include "tools/tembra/editor/EditorServer.h"

// Boost 1.74 uses std::exchange without including <utility> itself.
#include <optional>
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// Messages waiting for a client that reads too slowly; past this it is
// dropped rather than let the host's memory grow.
constexpr size_t kMaxQueued = 2048;

std::string contentType(const std::filesystem::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".js") return "text/javascript; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".png") return "image/png";
    if (ext == ".svg") return "image/svg+xml";
    return "application/octet-stream";
}

// The value of `name` in the query of `target`, or empty.
std::string queryValue(const std::string& target, const std::string& name) {
    const size_t q = target.find('?');
    if (q == std::string::npos) return {};
    std::istringstream query(target.substr(q + 1));
    std::string pair;
    while (std::getline(query, pair, '&'))
        if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
    return {};
}

// Comparing tokens in time that does not depend on where they differ.
bool sameToken(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

class WebSocketClient;

class EditorServer::Impl {
public:
    Settings settings;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::thread thread;
    std::vector<std::string> allowedHosts;  // "HOST:PORT" as a browser names us
    bool anyHost = false;                   // --host 0.0.0.0: any address of this machine

    std::mutex mutex;  // guards the three below
    std::vector<Incoming> inbox;
    std::string document = "{}";
    // Touched only on the server thread.
    std::map<uint64_t, std::weak_ptr<WebSocketClient>> clients;
    uint64_t nextClient = 1;

    void push(Incoming incoming) {
        std::lock_guard lock(mutex);
        inbox.push_back(std::move(incoming));
    }
    void accept();
    void deliver(uint64_t client, const std::shared_ptr<const std::string>& text);

    bool hostAllowed(beast::string_view host) const {
        if (anyHost) return !host.empty();
        for (const std::string& allowed : allowedHosts)
            if (host == allowed) return true;
        return false;
    }
    // An Origin, when the browser sends one, must be our own page's.
    bool originAllowed(beast::string_view origin, beast::string_view host) const {
        if (origin.empty()) return true;
        if (anyHost) return origin == "http://" + std::string(host);
        for (const std::string& allowed : allowedHosts)
            if (origin == "http://" + allowed) return true;
        return false;
    }
    bool tokenGiven(const http::request<http::string_body>& request) const {
        const std::string target(request.target());
        const auto header = request.find("X-Tembra-Token");
        if (header != request.end() && sameToken(std::string(header->value()), settings.token)) return true;
        return sameToken(queryValue(target, "token"), settings.token);
    }
};

class WebSocketClient : public std::enable_shared_from_this<WebSocketClient> {
public:
    WebSocketClient(EditorServer::Impl& server, tcp::socket socket, uint64_t id)
        : server_(server), ws_(std::move(socket)), id_(id) {}

    void start(http::request<http::string_body> request) {
        ws_.read_message_max(server_.settings.maxMessageBytes);
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        // Counted among the clients from now on, so that a burst of
        // handshakes cannot pass the limit before any of them is done.
        server_.clients[id_] = shared_from_this();
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (error) {
                self->server_.clients.erase(self->id_);
                self->closed_ = true;
                return;
            }
            self->accepted_ = true;
            self->server_.push({EditorServer::Incoming::Kind::Connected, self->id_, {}});
            if (!self->queue_.empty()) self->write();
            self->read();
        });
    }

    void queue(std::shared_ptr<const std::string> text) {
        if (closed_) return;
        if (queue_.size() >= kMaxQueued) return close();
        queue_.push_back(std::move(text));
        if (queue_.size() == 1 && accepted_) write();
    }

private:
    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, size_t) {
            if (error == websocket::error::message_too_big) {
                // The connection cannot go on mid-message: say why, then close.
                self->queue(std::make_shared<const std::string>(
                    R"({"type":"error","message":"message too big: at most 1 MiB"})"));
                return self->close();
            }
            if (error) return self->closed();
            self->received();
            self->read();
        });
    }

    void received() {
        std::string text = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= std::chrono::seconds(1)) {
            windowStart_ = now;
            inWindow_ = 0;
        }
        if (++inWindow_ > server_.settings.maxMessagesPerSecond) {
            // Answered by its id, so a client waiting for that answer hears why.
            nlohmann::json id;
            try {
                const nlohmann::json message = nlohmann::json::parse(text);
                if (message.is_object() && message.contains("id")) id = message["id"];
            } catch (const nlohmann::json::exception&) {
            }
            const nlohmann::json answer = {
                {"type", "answer"}, {"id", id}, {"ok", false},
                {"error", "too many messages: at most " + std::to_string(server_.settings.maxMessagesPerSecond) +
                              " a second; this one was dropped"}};
            queue(std::make_shared<const std::string>(answer.dump()));
            return;
        }
        server_.push({EditorServer::Incoming::Kind::Message, id_, std::move(text)});
    }

    void write() {
        ws_.text(true);
        ws_.async_write(asio::buffer(*queue_.front()), [self = shared_from_this()](beast::error_code error, size_t) {
            if (error) return self->closed();
            self->queue_.pop_front();
            if (!self->queue_.empty()) self->write();
        });
    }

    void close() {
        if (closed_) return;
        ws_.async_close(websocket::close_code::policy_error, [self = shared_from_this()](beast::error_code) {});
        closed();
    }

    void closed() {
        if (closed_) return;
        closed_ = true;
        server_.clients.erase(id_);
        server_.push({EditorServer::Incoming::Kind::Closed, id_, {}});
    }

    EditorServer::Impl& server_;
    websocket::stream<beast::tcp_stream> ws_;
    uint64_t id_;
    beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::chrono::steady_clock::time_point windowStart_{};
    int inWindow_ = 0;
    bool closed_ = false;
    bool accepted_ = false;  // nothing is written before the handshake is done
};

class HTTPClient : public std::enable_shared_from_this<HTTPClient> {
public:
    HTTPClient(EditorServer::Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {}

    void start() {
        parser_.emplace();
        parser_->header_limit(16 * 1024);
        parser_->body_limit(server_.settings.maxMessageBytes);
        stream_.expires_after(std::chrono::seconds(30));
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, size_t) {
            if (error) return;
            self->handle(self->parser_->release());
        });
    }

private:
    void handle(http::request<http::string_body> request) {
        const std::string target(request.target());
        const std::string path = target.substr(0, target.find('?'));
        // DNS rebinding and foreign pages: only our own address, only our own page.
        if (!server_.hostAllowed(request[http::field::host]) || !server_.originAllowed(request[http::field::origin], request[http::field::host]))
            return answer(request, http::status::forbidden, "text/plain", "forbidden\n");
        if (websocket::is_upgrade(request)) {
            if (path != "/api/session" || !server_.tokenGiven(request))
                return answer(request, http::status::forbidden, "text/plain", "forbidden\n");
            if (server_.clients.size() >= server_.settings.maxClients)
                return answer(request, http::status::service_unavailable, "text/plain", "too many clients\n");
            const uint64_t id = server_.nextClient++;
            std::make_shared<WebSocketClient>(server_, stream_.release_socket(), id)->start(std::move(request));
            return;
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head)
            return answer(request, http::status::method_not_allowed, "text/plain", "only GET\n");
        if (path.rfind("/api/", 0) == 0) {
            if (!server_.tokenGiven(request)) return answer(request, http::status::forbidden, "text/plain", "forbidden\n");
            if (path == "/api/classes") return answer(request, http::status::ok, "application/json", server_.settings.classesJSON);
            if (path == "/api/document") {
                std::string document;
                {
                    std::lock_guard lock(server_.mutex);
                    document = server_.document;
                }
                return answer(request, http::status::ok, "application/json", std::move(document));
            }
            return answer(request, http::status::not_found, "text/plain", "not found\n");
        }
        // The page's own files hold no secret: the token reaches the page in
        // the address's fragment, which browsers never send.
        serveFile(request, path == "/" ? "/index.html" : path);
    }

    void serveFile(const http::request<http::string_body>& request, const std::string& path) {
        const std::filesystem::path root = std::filesystem::weakly_canonical(server_.settings.pageFolder);
        std::error_code error;
        const std::filesystem::path file = std::filesystem::weakly_canonical(root / path.substr(1), error);
        const auto rootText = root.string() + "/";
        if (error || file.string().rfind(rootText, 0) != 0 || !std::filesystem::is_regular_file(file, error))
            return answer(request, http::status::not_found, "text/plain", "not found\n");
        std::ifstream in(file, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        answer(request, http::status::ok, contentType(file), body.str());
    }

    void answer(const http::request<http::string_body>& request, http::status status, const std::string& type,
                std::string body) {
        auto response = std::make_shared<http::response<http::string_body>>(status, request.version());
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->keep_alive(false);
        response->body() = request.method() == http::verb::head ? std::string() : std::move(body);
        response->prepare_payload();
        http::async_write(stream_, *response, [self = shared_from_this(), response](beast::error_code, size_t) {
            beast::error_code ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        });
    }

    EditorServer::Impl& server_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

void EditorServer::Impl::accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (!error) std::make_shared<HTTPClient>(*this, std::move(socket))->start();
        if (acceptor.is_open()) accept();
    });
}

void EditorServer::Impl::deliver(uint64_t client, const std::shared_ptr<const std::string>& text) {
    if (client != 0) {
        if (auto it = clients.find(client); it != clients.end())
            if (auto c = it->second.lock()) c->queue(text);
        return;
    }
    std::vector<std::shared_ptr<WebSocketClient>> all;
    for (auto& [id, weak] : clients)
        if (auto c = weak.lock()) all.push_back(c);
    for (auto& c : all) c->queue(text);
}

std::unique_ptr<EditorServer> EditorServer::create(const Settings& settings, std::string* error) {
    auto impl = std::make_unique<Impl>();
    impl->settings = settings;
    const std::string where = settings.host + ":" + std::to_string(settings.port);
    try {
        const tcp::endpoint endpoint(asio::ip::make_address(settings.host), settings.port);
        impl->acceptor.open(endpoint.protocol());
        impl->acceptor.set_option(asio::socket_base::reuse_address(true));
        impl->acceptor.bind(endpoint);
        impl->acceptor.listen();
    } catch (const std::exception& e) {
        if (error) *error = "cannot listen on " + where + ": " + e.what();
        return nullptr;
    }
    const std::string port = std::to_string(impl->acceptor.local_endpoint().port());
    impl->allowedHosts = {"127.0.0.1:" + port, "localhost:" + port, "[::1]:" + port};
    if (settings.host != "127.0.0.1" && settings.host != "0.0.0.0") impl->allowedHosts.push_back(settings.host + ":" + port);
    // Any address of this machine may be how a tablet reaches us; the token
    // still guards the API, and an Origin must match the Host.
    impl->anyHost = settings.host == "0.0.0.0";
    impl->accept();
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->io.run(); });
    return std::unique_ptr<EditorServer>(new EditorServer(std::move(impl)));
}

EditorServer::EditorServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EditorServer::~EditorServer() {
    asio::post(impl_->io, [impl = impl_.get()] {
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        impl->io.stop();
    });
    impl_->thread.join();
}

unsigned short EditorServer::port() const { return impl_->acceptor.local_endpoint().port(); }

std::vector<EditorServer::Incoming> EditorServer::take() {
    std::lock_guard lock(impl_->mutex);
    std::vector<Incoming> taken;
    taken.swap(impl_->inbox);
    return taken;
}

void EditorServer::send(uint64_t client, std::string text) {
    auto shared = std::make_shared<const std::string>(std::move(text));
    asio::post(impl_->io, [impl = impl_.get(), client, shared] { impl->deliver(client, shared); });
}

void EditorServer::setDocument(std::string json) {
    std::lock_guard lock(impl_->mutex);
    impl_->document = std::move(json);
}
