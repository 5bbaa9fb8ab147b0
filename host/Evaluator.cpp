#include "Evaluator.h"

#include "PortValues.h"
#include "QCProgrammablePatch.h"
#include "platform/foundation/NSLog.h"

#include <map>

Evaluator::Evaluator(const CompositionDocument& document, const QCNodeManager& manager) : document_(document) {
    const auto& doc = document_;
    for (const PatchSpec& spec : doc.patches) {
        const QCPatchClass* patchClass = manager.classNamed(spec.className);
        if (!patchClass) doc.fail(spec.line, "unknown patch class \"" + spec.className + "\" for patch \"" + spec.id + "\"");
        Node node;
        node.id = spec.id;
        node.patchClass = patchClass;
        node.patch = patchClass->create(spec.id);
        QCProgrammablePatch::applyCompositionSettings(*node.patch, spec, doc);
        node.runsEveryFrame = patchClass->executionMode != 3 ||
                              (patchClass->timeModeWithIdentifier && patchClass->timeModeWithIdentifier(spec.id) != 0);
        for (const auto& [name, value] : spec.inputs.items()) {
            QCPort* port = node.patch->portNamed(name);
            const int line = doc.lineOf("\"" + name + "\"", doc.text.find("\"" + spec.id + "\""));
            if (!port) doc.fail(line, "patch \"" + spec.id + "\" (" + spec.className + ") has no port \"" + name + "\"");
            if (!port->isInput()) doc.fail(line, "port \"" + spec.id + "." + name + "\" is an output and takes no value");
            try {
                setPortFromJSON(*port, value, doc.directory);
            } catch (const PortValueError& e) {
                doc.fail(line, "patch \"" + spec.id + "\": " + e.what());
            }
        }
        nodes_.push_back(std::move(node));
    }

    for (const ConnectionSpec& c : doc.connections) {
        const std::string from = c.fromId + "." + c.fromPort, to = c.toId + "." + c.toPort;
        if (!patch(c.fromId)) doc.fail(c.line, "connection from unknown patch \"" + c.fromId + "\"");
        if (!patch(c.toId)) doc.fail(c.line, "connection to unknown patch \"" + c.toId + "\"");
        QCPort* source = port(from);
        QCPort* target = port(to);
        if (!source) doc.fail(c.line, "unknown port \"" + from + "\"");
        if (!target) doc.fail(c.line, "unknown port \"" + to + "\"");
        if (source->isInput()) doc.fail(c.line, "connection source \"" + from + "\" is an input, not an output");
        if (!target->isInput()) doc.fail(c.line, "connection from \"" + from + "\" to \"" + to + "\" connects an output to an output");
        if (!canConnect(source->kind(), target->kind()))
            doc.fail(c.line, std::string("cannot connect ") + portKindName(source->kind()) + " port \"" + from +
                                 "\" to " + portKindName(target->kind()) + " port \"" + to + "\"");
        for (Node& node : nodes_) {
            if (node.id != c.toId) continue;
            for (const Connection& existing : node.inputs)
                if (existing.to == target) doc.fail(c.line, "input \"" + to + "\" is connected twice");
            node.inputs.push_back(Connection{source, target});
        }
    }
    sortByDependencies();
}

Evaluator::~Evaluator() {
    stop();
    // Destroy in reverse order of creation.
    while (!nodes_.empty()) nodes_.pop_back();
}

void Evaluator::sortByDependencies() {
    // Kahn's algorithm; among ready patches the one first in the document runs first.
    std::map<const QCPort*, size_t> ownerOfPort;
    for (size_t i = 0; i < nodes_.size(); ++i)
        for (const QCPort* p : nodes_[i].patch->ports()) ownerOfPort[p] = i;
    std::vector<std::vector<size_t>> dependents(nodes_.size());
    std::vector<size_t> pending(nodes_.size(), 0);
    for (size_t i = 0; i < nodes_.size(); ++i)
        for (const Connection& c : nodes_[i].inputs) {
            dependents[ownerOfPort[c.from]].push_back(i);
            ++pending[i];
        }
    std::vector<size_t> order;
    std::vector<bool> done(nodes_.size(), false);
    while (order.size() < nodes_.size()) {
        size_t next = nodes_.size();
        for (size_t i = 0; i < nodes_.size(); ++i)
            if (!done[i] && pending[i] == 0) {
                next = i;
                break;
            }
        if (next == nodes_.size()) {
            for (size_t i = 0; i < nodes_.size(); ++i)
                if (!done[i]) {
                    const PatchSpec* spec = document_.patchWithId(nodes_[i].id);
                    document_.fail(spec ? spec->line : 0,
                                   "connections form a cycle through patch \"" + nodes_[i].id + "\"");
                }
        }
        done[next] = true;
        order.push_back(next);
        for (size_t d : dependents[next]) --pending[d];
    }
    std::vector<Node> sorted;
    sorted.reserve(nodes_.size());
    for (size_t i : order) sorted.push_back(std::move(nodes_[i]));
    nodes_ = std::move(sorted);
}

void Evaluator::start(QCContext* context) {
    if (running_) return;
    context_ = context;
    for (Node& node : nodes_) node.patch->setup(context_);
    for (Node& node : nodes_) node.patch->enable(context_);
    running_ = true;
}

void Evaluator::stop() {
    if (!running_) return;
    for (Node& node : nodes_) node.patch->disable(context_);
    for (Node& node : nodes_) node.patch->cleanup(context_);
    running_ = false;
}

void Evaluator::executeFrame(double time, QCOpenGLContext* openglcontext) {
    for (Node& node : nodes_) runNode(node, time, openglcontext);
}

void Evaluator::runNode(Node& node, double time, QCOpenGLContext* openglcontext) {
    for (Connection& c : node.inputs)
        if (c.from->generation() != c.transferredGeneration) {
            transferValue(*c.from, *c.to);
            c.transferredGeneration = c.from->generation();
        }
    const auto& ports = node.patch->ports();
    bool inputChanged = !node.hasRun;
    for (size_t i = 0; i < ports.size() && !inputChanged; ++i)
        // A programmable patch may have gained ports since its last run.
        inputChanged = ports[i]->isInput() && (i >= node.inputGenerations.size() ||
                                               ports[i]->generation() != node.inputGenerations[i]);
    // A processor that follows time rests while time stands still.
    const bool followsTime = node.patchClass->executionMode == 3 && node.runsEveryFrame;
    const bool due = node.runsEveryFrame && !(followsTime && node.hasRun && time == node.lastRunTime);
    if (!due && !inputChanged) return;

    try {
        node.patch->execute(openglcontext, time, nullptr);
    } catch (const std::exception& e) {
        NSLog("patch \"%s\" (%s) failed: %s", node.id.c_str(), node.patchClass->name.c_str(), e.what());
    } catch (...) {
        NSLog("patch \"%s\" (%s) failed with an unknown exception", node.id.c_str(), node.patchClass->name.c_str());
    }
    // Remember the inputs as they are now, including what the patch wrote
    // back to its own inputs, so that such a write does not count as a change.
    node.inputGenerations.resize(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) node.inputGenerations[i] = ports[i]->generation();
    node.hasRun = true;
    node.lastRunTime = time;
}

bool Evaluator::hasConsumers() const {
    for (const Node& node : nodes_)
        if (node.patchClass->executionMode == 1) return true;
    return false;
}

QCPatch* Evaluator::patch(const std::string& id) const {
    for (const Node& node : nodes_)
        if (node.id == id) return node.patch.get();
    return nullptr;
}

QCPort* Evaluator::port(const std::string& endpoint) const {
    const size_t dot = endpoint.rfind('.');
    if (dot == std::string::npos) return nullptr;
    QCPatch* owner = patch(endpoint.substr(0, dot));
    return owner ? owner->portNamed(endpoint.substr(dot + 1)) : nullptr;
}
