// OSCReceive under a flood: a sender of 100,000 messages a second on
// loopback while frames run. Reports what the kernel lost (sent, not read)
// apart from what the patch lost (read, not handed to the patch), and the
// frame's cost with and without the flood: the CPU time of the evaluation
// thread (wall time on a shared machine measures the other programs too).

#include "host/CompositionDocument.h"
#include "host/Evaluator.h"
#include "host/QCPatchClass.h"
#include "library/input/OSCReceive.h"
#include "platform/osc/OSCServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint16_t kPort = 39517;
constexpr int kChain = 2000;
constexpr long kPerSecond = 100000;

// A provider, so that every frame costs the same whether values change or not.
struct Step : QCPatch {
    static constexpr const char* className = "Step";
    static int executionMode() { return 2; }
    using QCPatch::QCPatch;
    QCNumberPort inputNumber{this, "inputNumber"};
    QCNumberPort outputNumber{this, "outputNumber"};
    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        outputNumber.setDoubleValue(inputNumber.doubleValue() * 0.5 + 1);
        return true;
    }
};

std::string composition() {
    std::string text = "{\"patches\": [{\"id\": \"r\", \"class\": \"OSCReceive\", \"inputs\": {\"inputPort\": " +
                       std::to_string(kPort) + ", \"inputAddress\": \"/fader\"}}";
    for (int i = 0; i < kChain; ++i) text += ",\n{\"id\": \"s" + std::to_string(i) + "\", \"class\": \"Step\"}";
    text += "],\n\"connections\": [{\"from\": \"r.outputValue\", \"to\": \"s0.inputNumber\"}";
    for (int i = 1; i < kChain; ++i)
        text += ",\n{\"from\": \"s" + std::to_string(i - 1) + ".outputNumber\", \"to\": \"s" + std::to_string(i) +
                ".inputNumber\"}";
    return text + "]}";
}

std::vector<uint8_t> message(float value) {
    std::vector<uint8_t> m = {'/', 'f', 'a', 'd', 'e', 'r', 0, 0, ',', 'f', 0, 0};
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) m.push_back(static_cast<uint8_t>(bits >> shift));
    return m;
}

// Sends kPerSecond messages a second in batches of 100 on an absolute
// schedule until stopped.
class Flood {
public:
    Flood() {
        thread_ = std::thread([this] {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(kPort);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            constexpr int kBatch = 100;
            const auto period = std::chrono::nanoseconds(1000000000L * kBatch / kPerSecond);
            auto due = std::chrono::steady_clock::now();
            float value = 0;
            while (!stop_.load()) {
                for (int i = 0; i < kBatch; ++i) {
                    const auto m = message(value += 1);
                    if (sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) ++sent_;
                }
                due += period;
                std::this_thread::sleep_until(due);
            }
            close(fd);
        });
    }
    ~Flood() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }
    long sent() const { return sent_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> sent_{0};
    std::thread thread_;
};

void BM_FrameWithOSCReceive(benchmark::State& state) {
    QCNodeManager manager;
    manager.registerNodeWithClass(patchClass<OSCReceive>());
    manager.registerNodeWithClass(patchClass<Step>());
    Evaluator evaluator(CompositionDocument::parse(composition(), "osc.json"), manager);
    evaluator.start();
    evaluator.executeFrame(0);  // opens the port
    const auto* receive = static_cast<const OSCReceive*>(evaluator.patch("r"));
    if (!receive->server()) {
        state.SkipWithError("cannot listen on the benchmark's port");
        return;
    }
    std::unique_ptr<Flood> flood;
    if (state.range(0)) flood = std::make_unique<Flood>();
    double time = 0;
    for (auto _ : state) evaluator.executeFrame(time += 1.0 / 60);
    if (flood) flood->stop();
    const long sent = flood ? flood->sent() : 0;
    // What is still in the kernel's buffer arrives now.
    const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < settle &&
           receive->server()->counts().packets < static_cast<uint64_t>(sent))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const OSCServer::Counts counts = receive->server()->counts();
    state.counters["sent"] = static_cast<double>(sent);
    state.counters["lostByKernel"] = static_cast<double>(sent - static_cast<long>(counts.packets));
    // Read from the socket but not handed to the patch, dropped or not.
    state.counters["lostByPatch"] = static_cast<double>(counts.packets - receive->messagesReceived());
    state.counters["dropped"] = static_cast<double>(counts.dropped());
}
BENCHMARK(BM_FrameWithOSCReceive)->ArgName("flood")->Arg(0)->Arg(1)->MinTime(5)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
