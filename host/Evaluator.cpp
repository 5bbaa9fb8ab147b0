#include "Evaluator.h"

#include "NearestName.h"
#include "PortValues.h"
#include "QCProgrammablePatch.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

std::vector<std::string_view> portNames(const QCPatch& patch, bool inputs) {
    std::vector<std::string_view> names;
    for (const QCPort* port : patch.ports())
        if (port->isInput() == inputs) names.push_back(port->name());
    return names;
}

bool isScalar(QCPortKind kind) {
    return kind == QCPortKind::Index || kind == QCPortKind::Number || kind == QCPortKind::Boolean ||
           kind == QCPortKind::String;
}

// A connection's map with the source range it maps from: the one written, or
// the source port's own (its described range; else for an index 0 to its
// maximum, for a boolean 0 and 1).
std::optional<ValueMap> resolvedMap(const ConnectionSpec& c, const QCPort& source, const QCPort& target,
                                    const CompositionDocument& doc) {
    if (!c.map) return std::nullopt;
    ValueMap map = *c.map;
    const std::string from = quotedShort(c.fromId + "." + c.fromPort), to = quotedShort(c.toId + "." + c.toPort);
    if (!isScalar(source.kind()) || !isScalar(target.kind()))
        doc.fail(map.line, std::string("cannot map ") + portKindName(source.kind()) + " port " + from + " to " +
                               portKindName(target.kind()) + " port " + to + ": only numbers map");
    if (map.hasFrom) return map;
    map.fromMin = 0;
    if ((source.kind() == QCPortKind::Index || source.kind() == QCPortKind::Number) && source.info().hasRange()) {
        map.fromMin = source.info().min;
        map.fromMax = source.info().max;
    } else if (source.kind() == QCPortKind::Index && static_cast<const QCIndexPort&>(source).maxIndexValue() != UINT32_MAX &&
        static_cast<const QCIndexPort&>(source).maxIndexValue() > 0) {
        map.fromMax = static_cast<const QCIndexPort&>(source).maxIndexValue();
    } else if (source.kind() == QCPortKind::Boolean) {
        map.fromMax = 1;
    } else {
        doc.fail(map.line, "the map from " + from + " needs \"from\": [min, max], as the port has no known range");
    }
    map.hasFrom = true;
    return map;
}

// The source's value on the map's source range, clamped and curved, onto its
// target range.
void transferMapped(const QCPort& from, QCPort& to, const ValueMap& map) {
    double x = (portNumber(from) - map.fromMin) / (map.fromMax - map.fromMin);
    x = std::isnan(x) ? 0.0 : std::clamp(x, 0.0, 1.0);
    if (map.curve != 1) x = std::pow(x, map.curve);
    setPortNumber(to, map.toMin + x * (map.toMax - map.toMin));
}

// Why the ports a connection names cannot carry it, or "" when they can.
std::string mismatch(const ConnectionSpec& c, const QCPatch* fromPatch, const QCPort* source, const QCPatch* toPatch,
                     const QCPort* target) {
    const std::string from = quotedShort(c.fromId + "." + c.fromPort), to = quotedShort(c.toId + "." + c.toPort);
    if (!source)
        return "patch " + quotedShort(c.fromId) + " has no output " + quotedShort(c.fromPort) +
               (fromPatch ? didYouMean(c.fromPort, portNames(*fromPatch, false)) : "");
    if (source->isInput()) return from + " is an input, not an output";
    if (!target)
        return "patch " + quotedShort(c.toId) + " has no input " + quotedShort(c.toPort) +
               (toPatch ? didYouMean(c.toPort, portNames(*toPatch, true)) : "");
    if (!target->isInput()) return to + " is an output, not an input";
    if (!canConnect(source->kind(), target->kind()))
        return std::string("a ") + portKindName(source->kind()) + " port cannot feed a " +
               portKindName(target->kind()) + " port";
    return "";
}

std::string connectionName(const ConnectionSpec& c) {
    return "connection " + quotedShort(c.fromId + "." + c.fromPort) + " -> " + quotedShort(c.toId + "." + c.toPort);
}

}  // namespace

Evaluator::Evaluator(const CompositionDocument& document, const QCNodeManager& manager, const Evaluator* running)
    : document_(document) {
    const auto& doc = document_;
    nodes_.reserve(doc.patches.size());
    indexOfId_.reserve(doc.patches.size());
    for (const PatchSpec& spec : doc.patches) {
        const QCPatchClass* patchClass = manager.classNamed(spec.className);
        if (!patchClass)
            doc.fail(spec.line,
                     "unknown patch class " + quotedShort(spec.className) + " for patch " + quotedShort(spec.id));
        Node node;
        node.id = spec.id;
        node.patchClass = patchClass;
        if (const Node* stays = running ? running->nodeThatStays(spec, patchClass) : nullptr) {
            node.patch = std::make_unique<PortShadow>(*stays->madeAs);
            node.standsIn = true;
        } else {
            node.patch = patchClass->create(spec.id);
            QCProgrammablePatch::applyCompositionSettings(*node.patch, spec, doc);
        }
        node.madeAs = std::make_unique<PortShadow>(*node.patch);
        node.runsEveryFrame = patchClass->executionMode != 3 ||
                              (patchClass->timeModeWithIdentifier && patchClass->timeModeWithIdentifier(spec.id) != 0);
        const auto inputs = spec.entry().member("inputs");
        for (size_t i = 0; inputs && i < inputs->size(); ++i) {
            const std::string& name = inputs->key(i);
            const LocatedValue value = inputs->item(i);
            QCPort* port = node.patch->portNamed(name);
            if (!port && patchClass->portsFollowSource) {
                NSLogProblem("patch %s (%s) has no input %s now: its value waits for it%s",
                             quotedShort(spec.id).c_str(), spec.className.c_str(), quotedShort(name).c_str(),
                             didYouMean(name, portNames(*node.patch, true)).c_str());
                continue;
            }
            if (!port)
                doc.fail(value.keyLine(), "patch " + quotedShort(spec.id) + " (" + spec.className + ") has no port " +
                                              quotedShort(name) + didYouMean(name, portNames(*node.patch, true)));
            if (!port->isInput())
                doc.fail(value.keyLine(),
                         "port " + quotedShort(spec.id + "." + name) + " is an output and takes no value");
            try {
                setPortFromJSON(*port, value.json(), doc.directory);
            } catch (const PortValueError& e) {
                doc.fail(value.line(), "patch " + quotedShort(spec.id) + ": " + e.what());
            }
        }
        node.portsRevision = node.patch->portsRevision();
        indexOfId_.emplace(spec.id, nodes_.size());
        nodes_.push_back(std::move(node));
    }

    std::vector<std::pair<size_t, size_t>> edges;  // (source node, target node), by document position
    edges.reserve(doc.connections.size());
    for (size_t k = 0; k < doc.connections.size(); ++k) {
        const ConnectionSpec& c = doc.connections[k];
        const std::string from = c.fromId + "." + c.fromPort, to = c.toId + "." + c.toPort;
        const auto fromNode = indexOfId_.find(c.fromId);
        const auto toNode = indexOfId_.find(c.toId);
        if (fromNode == indexOfId_.end()) doc.fail(c.line, "connection from unknown patch " + quotedShort(c.fromId));
        if (toNode == indexOfId_.end()) doc.fail(c.toLine, "connection to unknown patch " + quotedShort(c.toId));
        QCPort* source = nodes_[fromNode->second].patch->portNamed(c.fromPort);
        QCPort* target = nodes_[toNode->second].patch->portNamed(c.toPort);
        Node& node = nodes_[toNode->second];
        for (const Connection& existing : node.inputs)
            if (doc.connections[existing.spec].toPort == c.toPort)
                doc.fail(c.toLine, "input " + quotedShort(to) + " is connected twice");
        Connection connection;
        connection.spec = k;
        // A port of a patch whose ports follow its source may be missing for
        // now (the file was saved without it): the connection waits.
        const bool fromWaits = nodes_[fromNode->second].patchClass->portsFollowSource;
        const bool toWaits = nodes_[toNode->second].patchClass->portsFollowSource;
        const bool mayWait = !source || source->isInput()   ? fromWaits
                             : !target || !target->isInput() ? toWaits
                                                             : fromWaits || toWaits;
        if (const std::string why = mismatch(c, nodes_[fromNode->second].patch.get(), source,
                                             nodes_[toNode->second].patch.get(), target);
            mayWait && !why.empty()) {
            NSLogProblem("%s is inactive: %s", connectionName(c).c_str(), why.c_str());
        } else {
            if (!source)
                doc.fail(c.line, "unknown port " + quotedShort(from) +
                                     didYouMean(c.fromPort, portNames(*nodes_[fromNode->second].patch, false)));
            if (!target)
                doc.fail(c.toLine, "unknown port " + quotedShort(to) +
                                       didYouMean(c.toPort, portNames(*nodes_[toNode->second].patch, true)));
            if (source->isInput())
                doc.fail(c.line, "connection source " + quotedShort(from) + " is an input, not an output");
            if (!target->isInput())
                doc.fail(c.toLine, "connection from " + quotedShort(from) + " to " + quotedShort(to) +
                                       " connects an output to an output");
            if (!canConnect(source->kind(), target->kind()))
                doc.fail(c.line, std::string("cannot connect ") + portKindName(source->kind()) + " port " +
                                     quotedShort(from) + " to " + portKindName(target->kind()) + " port " +
                                     quotedShort(to));
            connection.from = source;
            connection.to = target;
            connection.map = resolvedMap(c, *source, *target, doc);
        }
        node.inputs.push_back(std::move(connection));
        edges.emplace_back(fromNode->second, toNode->second);
    }
    sortByDependencies(edges);
}

Evaluator::~Evaluator() {
    stop();
    // Destroy in reverse order of creation.
    while (!nodes_.empty()) nodes_.pop_back();
}

void Evaluator::sortByDependencies(const std::vector<std::pair<size_t, size_t>>& edges) {
    std::vector<std::vector<size_t>> dependents(nodes_.size()), providers(nodes_.size());
    std::vector<size_t> pending(nodes_.size(), 0);
    for (const auto& [from, to] : edges) {
        dependents[from].push_back(to);
        providers[to].push_back(from);
        ++pending[to];
    }
    // Among a patch's providers, the one first in the document runs first.
    for (auto& list : providers) std::sort(list.begin(), list.end());
    // Any cycle is refused, even one through consumers, which would leave a
    // value that no order can settle.
    std::vector<size_t> ready;
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (pending[i] == 0) ready.push_back(i);
    size_t settled = 0;
    while (!ready.empty()) {
        const size_t next = ready.back();
        ready.pop_back();
        ++settled;
        for (size_t d : dependents[next])
            if (--pending[d] == 0) ready.push_back(d);
    }
    if (settled < nodes_.size())
        for (size_t i = 0; i < nodes_.size(); ++i)
            if (pending[i] > 0)
                document_.fail(document_.patches[i].line,
                               "connections form a cycle through patch " + quotedShort(nodes_[i].id));

    // Patches take their turn in document order, and each first pulls the
    // providers and processors it depends on, depth first, so that those run
    // before it and at most once. Consumers are layers: one runs at its own
    // turn only, so a consumer fed by a consumer later in the document takes
    // that one's value of the previous frame. The order is the same every
    // frame, so it is worked out once, here.
    const auto isConsumer = [&](size_t i) { return nodes_[i].patchClass->executionMode == 1; };
    std::vector<char> placed(nodes_.size(), 0);
    std::vector<size_t> order;
    order.reserve(nodes_.size());
    std::vector<std::pair<size_t, size_t>> stack;  // (node, next provider to look at)
    for (size_t turn = 0; turn < nodes_.size(); ++turn) {
        if (placed[turn]) continue;
        stack.emplace_back(turn, 0);
        while (!stack.empty()) {
            auto& [node, nextProvider] = stack.back();
            if (nextProvider < providers[node].size()) {
                const size_t p = providers[node][nextProvider++];
                if (!placed[p] && !isConsumer(p)) stack.emplace_back(p, 0);
                continue;
            }
            if (!placed[node]) {
                placed[node] = 1;
                order.push_back(node);
            }
            stack.pop_back();
        }
    }
    std::vector<Node> sorted;
    sorted.reserve(nodes_.size());
    for (size_t i : order) sorted.push_back(std::move(nodes_[i]));
    nodes_ = std::move(sorted);
    for (size_t i = 0; i < nodes_.size(); ++i) indexOfId_[nodes_[i].id] = i;
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

void Evaluator::executeFrame(double time, QCOpenGLContext* openglcontext, const QCArguments* arguments) {
    for (Node& node : nodes_)
        if (node.patch->portsRevision() != node.portsRevision) portsChanged(node);
    for (Node& node : nodes_) runNode(node, time, openglcontext, arguments);
}

void Evaluator::runNode(Node& node, double time, QCOpenGLContext* openglcontext, const QCArguments* arguments) {
    try {
        node.patch->updatePorts();
    } catch (const std::exception& e) {
        NSLogProblem("patch %s (%s) failed: %s", quotedShort(node.id).c_str(), node.patchClass->name.c_str(), e.what());
    }
    if (node.patch->portsRevision() != node.portsRevision) portsChanged(node);
    for (Connection& c : node.inputs)
        if (c.active() && c.from->generation() != c.transferredGeneration) {
            if (c.map) transferMapped(*c.from, *c.to, *c.map);
            else transferValue(*c.from, *c.to);
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
        node.patch->execute(openglcontext, time, arguments);
    } catch (const std::exception& e) {
        NSLogProblem("patch %s (%s) failed: %s", quotedShort(node.id).c_str(), node.patchClass->name.c_str(), e.what());
    } catch (...) {
        NSLogProblem("patch %s (%s) failed with an unknown exception", quotedShort(node.id).c_str(),
                     node.patchClass->name.c_str());
    }
    // Remember the inputs as they are now, including what the patch wrote
    // back to its own inputs, so that such a write does not count as a change.
    node.inputGenerations.resize(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) node.inputGenerations[i] = ports[i]->generation();
    node.hasRun = true;
    node.lastRunTime = time;
    if (node.patch->portsRevision() != node.portsRevision) portsChanged(node);
}

void Evaluator::portsChanged(Node& node) {
    node.portsRevision = node.patch->portsRevision();
    ++portsRevision_;
    std::vector<QCPort*> appeared;
    for (QCPort* port : node.patch->ports())
        if (!node.madeAs->portNamed(port->name())) appeared.push_back(port);
    // A reload starts from the ports the patch has now.
    node.madeAs = std::make_unique<PortShadow>(*node.patch, *node.madeAs);
    const PatchSpec* spec = document_.patchWithId(node.id);
    for (QCPort* port : appeared) {
        if (!spec || !port->isInput() || !spec->inputs.is_object() || !spec->inputs.contains(port->name())) continue;
        try {
            setPortFromJSON(*port, spec->inputs[port->name()], document_.directory);
        } catch (const PortValueError& e) {
            NSLogProblem("patch %s: %s", quotedShort(node.id).c_str(), e.what());
        }
    }
    for (Node& other : nodes_)
        for (Connection& c : other.inputs) {
            const ConnectionSpec& s = document_.connections[c.spec];
            if (s.fromId == node.id || s.toId == node.id) relink(c);
        }
}

void Evaluator::relink(Connection& c) const {
    const ConnectionSpec& s = document_.connections[c.spec];
    const QCPatch* fromPatch = patch(s.fromId);
    const QCPatch* toPatch = patch(s.toId);
    QCPort* source = fromPatch ? fromPatch->portNamed(s.fromPort) : nullptr;
    QCPort* target = toPatch ? toPatch->portNamed(s.toPort) : nullptr;
    std::string why = mismatch(s, fromPatch, source, toPatch, target);
    std::optional<ValueMap> map;
    if (why.empty()) try {
            map = resolvedMap(s, *source, *target, document_);
        } catch (const CompositionError& e) {
            why = e.what();
        }
    const bool wasActive = c.active();
    if (!why.empty()) {
        c.from = nullptr;
        c.to = nullptr;
        if (wasActive) NSLogProblem("%s is inactive: %s", connectionName(s).c_str(), why.c_str());
        return;
    }
    // A port made anew takes the value afresh.
    if (source != c.from || target != c.to) c.transferredGeneration = UINT64_MAX;
    c.from = source;
    c.to = target;
    c.map = map;
    if (!wasActive) NSLog("%s is live again", connectionName(s).c_str());
}

bool Evaluator::hasConsumers() const {
    for (const Node& node : nodes_)
        if (node.patchClass->executionMode == 1) return true;
    return false;
}

QCPatch* Evaluator::patch(const std::string& id) const {
    const auto found = indexOfId_.find(id);
    return found == indexOfId_.end() ? nullptr : nodes_[found->second].patch.get();
}

QCPort* Evaluator::port(const std::string& endpoint) const {
    const size_t dot = endpoint.rfind('.');
    if (dot == std::string::npos) return nullptr;
    QCPatch* owner = patch(endpoint.substr(0, dot));
    return owner ? owner->portNamed(endpoint.substr(dot + 1)) : nullptr;
}
