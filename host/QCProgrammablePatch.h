#pragma once

#include "GFList.h"
#include "QCPatch.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct CompositionDocument;
struct PatchSpec;

enum class QCPatchNotification { NotificationsPaused, NotificationsResumed, StateUpdated };

// A patch whose behaviour is given as source text, one source per source
// type. Setting a source stores it and has the patch compile it; the patch
// describes its parameters as a list, from which the host makes input ports.
// Observers (the host, tests) see the patch's change notifications.
class QCProgrammablePatch : public QCPatch {
public:
    using Dictionary = nlohmann::json;
    using Observer = std::function<void(QCProgrammablePatch&, QCPatchNotification)>;

    explicit QCProgrammablePatch(std::string identifier);

    // The source types of the patch's class, the preferred first.
    virtual std::vector<std::string> sourceTypesOfClass() const = 0;
    // Stores `source` as the source of `type`, then compiles it.
    virtual void setSource(const std::string& source, const std::string& type);
    // "" for a type without a source.
    const std::string& sourceOfType(const std::string& type) const;
    // Called whenever a source is set; answers {"success": bool, "message":
    // text or null}.
    virtual Dictionary compileSourceOfType(const std::string& type) = 0;
    const Dictionary& lastCompilationResult() const { return lastCompilationResult_; }

    // Replaces the parameter list. Each entry whose key names no port yet
    // becomes an input port of its type (size 1); ports stay when a later list
    // drops their key, so connections and values survive recompiling.
    void setParameterList(std::shared_ptr<const GFList> list);
    const std::shared_ptr<const GFList>& parameterList() const { return parameterList_; }

    // Mutable; "name" is the patch's name.
    std::map<std::string, std::string>& userInfo() { return userInfo_; }

    // While paused, state updates are held back; the last resume releases
    // them. Pauses nest.
    void pauseNotifications();
    void resumeNotifications();
    void stateUpdated();
    void addObserver(Observer observer) { observers_.push_back(std::move(observer)); }

    // Reads a composition's settings for the patch `patch` made from `spec`:
    // "name", "source" with an optional "sourceType" (default: the class's
    // first), and "parameters" ({key: {"type": t, "size": s}}) published at
    // once so that the document's inputs and connections can use their
    // ports. Throws CompositionError for settings that do not fit.
    static void applyCompositionSettings(QCPatch& patch, const PatchSpec& spec, const CompositionDocument& document);

private:
    void notify(QCPatchNotification notification);
    void makePortFor(const std::string& key, const QCParameterInfo& info);

    std::map<std::string, std::string> sources_;
    Dictionary lastCompilationResult_;
    std::shared_ptr<const GFList> parameterList_;
    std::vector<std::unique_ptr<QCPort>> parameterPorts_;
    std::set<std::string> refusedParameters_;
    std::map<std::string, std::string> userInfo_;
    std::vector<Observer> observers_;
    int pauseDepth_ = 0;
    bool heldStateUpdate_ = false;
};
