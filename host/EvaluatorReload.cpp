#include "Evaluator.h"

#include "PortValues.h"

#include <map>
#include <set>

namespace {

// What a patch is made from besides its input values: its class and any
// class-specific settings (a programmable patch's source).
nlohmann::ordered_json settingsOf(const PatchSpec& spec) {
    nlohmann::ordered_json settings = spec.json;
    settings.erase("inputs");
    return settings;
}

}  // namespace

const Evaluator::Node* Evaluator::nodeThatStays(const PatchSpec& spec, const QCPatchClass* patchClass) const {
    const auto found = indexOfId_.find(spec.id);
    if (found == indexOfId_.end()) return nullptr;
    const Node& node = nodes_[found->second];
    const PatchSpec* before = document_.patchWithId(spec.id);
    if (node.patchClass != patchClass || !before || settingsOf(*before) != settingsOf(spec)) return nullptr;
    return &node;
}

void Evaluator::reload(const CompositionDocument& document, const QCNodeManager& manager,
                       const std::function<void(Evaluator& next)>& prepare) {
    Evaluator next(document, manager, this);
    if (prepare) prepare(next);
    // Nothing running has been touched so far.

    std::map<const QCPort*, QCPort*> keptPort;  // port of a new patch -> the running patch's port
    std::set<const QCPatch*> kept;              // running patches that stay
    std::set<const QCPatch*> unneeded;          // the stand-ins, once the kept patches take their place
    for (Node& node : next.nodes_) {
        if (!node.standsIn) continue;
        Node* running = &nodes_[indexOfId_.at(node.id)];
        std::set<const QCPort*> connected;
        for (const Connection& c : node.inputs) connected.insert(c.to);
        for (QCPort* fresh : node.patch->ports()) {
            // By name: the stand-in has the ports the patch has now, which
            // may not be those it was made with.
            QCPort* keep = running->patch->portNamed(fresh->name());
            if (!keep || keep->kind() != fresh->kind()) continue;
            keptPort[fresh] = keep;
            // Only values that differ, so that what did not change in the
            // document is no change to the patch.
            if (fresh->isInput() && !connected.count(fresh) && describePortValue(*fresh) != describePortValue(*keep))
                transferValue(*fresh, *keep);
        }
        std::swap(node.patch, running->patch);
        node.portsRevision = node.patch->portsRevision();
        node.standsIn = false;
        node.hasRun = running->hasRun;
        node.inputGenerations = running->inputGenerations;
        kept.insert(node.patch.get());
        unneeded.insert(running->patch.get());
    }
    for (Node& node : next.nodes_)
        for (Connection& c : node.inputs) {
            if (const auto from = keptPort.find(c.from); from != keptPort.end()) c.from = from->second;
            if (const auto to = keptPort.find(c.to); to != keptPort.end()) c.to = to->second;
        }

    // Running patches that go are stopped first, so that new ones may take
    // over what they held (a MIDI port name, say).
    std::vector<Node> old = std::move(nodes_);
    if (running_) {
        for (Node& node : old)
            if (!unneeded.count(node.patch.get())) node.patch->disable(context_);
        for (Node& node : old)
            if (!unneeded.count(node.patch.get())) node.patch->cleanup(context_);
    }
    // Destroyed in reverse order of creation, as on stop.
    while (!old.empty()) old.pop_back();

    nodes_ = std::move(next.nodes_);
    indexOfId_ = std::move(next.indexOfId_);
    document_ = next.document_;
    // A kept patch's connections are looked up again on the patch itself,
    // in case its ports are not all as its stand-in had them.
    for (Node& node : nodes_)
        for (Connection& c : node.inputs) {
            const ConnectionSpec& s = document_.connections[c.spec];
            if (kept.count(patch(s.fromId)) || kept.count(patch(s.toId))) relink(c);
        }
    if (!running_) return;
    for (Node& node : nodes_)
        if (!kept.count(node.patch.get())) node.patch->setup(context_);
    for (Node& node : nodes_)
        if (!kept.count(node.patch.get())) node.patch->enable(context_);
}
