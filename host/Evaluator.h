#pragma once

#include "CompositionDocument.h"
#include "PortShadow.h"
#include "QCNodeManager.h"
#include "QCOpenGLContext.h"
#include "QCPatch.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Runs a composition: builds its patches, then drives them frame by frame.
// Consumers (mode 1) are layers: they run in document order, first listed at
// the bottom, whatever they are connected to. Before a patch runs, the
// providers and processors it depends on are brought up to date, each at
// most once a frame; a consumer fed by a consumer listed after it takes the
// value of that one's previous execution. Before a patch runs, each connected
// input takes the upstream output's value if that changed since it was last
// handed on, so a value held still is converted once and a patch's
// write-back to its own input stays. Consumers (mode 1) and providers (mode
// 2) run every frame; processors (mode 3) when an input changed since their
// last run, on the first frame, or every frame when their time mode is set (a
// frame at the time of their last run, as in a paused player, leaves them
// resting). An exception from a patch is logged with the patch's id and the
// frame goes on with the next patch. A patch may add or drop ports as it
// runs (a shader following its file): its connections are looked up again
// by name; one whose port is gone stays in the document, inactive, until
// the port is back.
class Evaluator {
public:
    struct Connection {
        const QCPort* from = nullptr;
        QCPort* to = nullptr;
        uint64_t transferredGeneration = UINT64_MAX;
        std::optional<ValueMap> map;  // with the source's range filled in
        size_t spec = 0;              // in document().connections
        bool active() const { return from && to; }
    };

    struct Node {
        std::string id;
        const QCPatchClass* patchClass = nullptr;
        std::unique_ptr<QCPatch> patch;
        // The ports as the class made them, before the document's values:
        // what a reload starts from for a patch that stays.
        std::unique_ptr<PortShadow> madeAs;
        bool standsIn = false;  // patch is a stand-in for a running one that stays
        std::vector<Connection> inputs;
        std::vector<uint64_t> inputGenerations;  // of patch->ports() at the last run
        bool hasRun = false;
        bool runsEveryFrame = false;
        double lastRunTime = 0;
        uint64_t portsRevision = 0;  // of patch, when its connections were looked up
    };

    // Builds every patch and checks the document against the classes:
    // unknown class, unknown port, an output used as a target or an input as
    // a source, values of the wrong type, unconvertible connections, cycles.
    // Throws CompositionError. Patches of `running` that stay (same id, class
    // and settings) are not built again: stand-ins take their place.
    Evaluator(const CompositionDocument& document, const QCNodeManager& manager, const Evaluator* running = nullptr);
    ~Evaluator();
    Evaluator(const Evaluator&) = delete;
    Evaluator& operator=(const Evaluator&) = delete;

    // setup then enable, in document order.
    void start(QCContext* context = nullptr);
    void executeFrame(double time, QCOpenGLContext* openglcontext = nullptr, const QCArguments* arguments = nullptr);
    // disable then cleanup, in document order. Also done on destruction.
    void stop();

    // Live reload: builds and checks `document` completely (and lets
    // `prepare` look at or adjust the new patches) before it touches the
    // running composition; a CompositionError, or whatever `prepare` throws,
    // leaves it as it was. Then patches whose id, class and settings stay
    // keep their object and state and take the new document's input values
    // (except where a connection feeds them); new patches are created (and
    // started when running), removed ones stopped and destroyed.
    void reload(const CompositionDocument& document, const QCNodeManager& manager,
                const std::function<void(Evaluator& next)>& prepare = {});

    bool hasConsumers() const;
    const CompositionDocument& document() const { return document_; }
    // Nodes in execution order.
    const std::vector<Node>& nodes() const { return nodes_; }
    QCPatch* patch(const std::string& id) const;
    // The port "id.port", or nothing.
    QCPort* port(const std::string& endpoint) const;
    // Raised whenever a running patch's ports come or go: whoever holds a
    // port looks it up again.
    uint64_t portsRevision() const { return portsRevision_; }

private:
    // The running node that the new document's patch stays as, if any.
    const Node* nodeThatStays(const PatchSpec& spec, const QCPatchClass* patchClass) const;
    void runNode(Node& node, double time, QCOpenGLContext* openglcontext, const QCArguments* arguments);
    // After `node`'s ports came or went: its new inputs take the document's
    // values, and every connection to or from it is looked up again.
    void portsChanged(Node& node);
    void relink(Connection& connection) const;
    // Refuses cycles, then puts `nodes_` in the order they run each frame.
    // Edges are (source, target) positions in `nodes_` as built.
    void sortByDependencies(const std::vector<std::pair<size_t, size_t>>& edges);

    CompositionDocument document_;
    std::vector<Node> nodes_;
    std::unordered_map<std::string, size_t> indexOfId_;  // position in nodes_
    QCContext* context_ = nullptr;
    bool running_ = false;
    uint64_t portsRevision_ = 0;
};
