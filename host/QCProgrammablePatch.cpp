#include "QCProgrammablePatch.h"

#include "CompositionDocument.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <optional>

QCProgrammablePatch::QCProgrammablePatch(std::string identifier)
    : QCPatch(std::move(identifier)), parameterList_(GFList::list()) {}

void QCProgrammablePatch::setSource(const std::string& source, const std::string& type) {
    sources_[type] = source;
    lastCompilationResult_ = compileSourceOfType(type);
}

const std::string& QCProgrammablePatch::sourceOfType(const std::string& type) const {
    static const std::string none;
    const auto at = sources_.find(type);
    return at == sources_.end() ? none : at->second;
}

void QCProgrammablePatch::setParameterList(std::shared_ptr<const GFList> list) {
    parameterList_ = list ? std::move(list) : GFList::list();
    for (size_t i = 0; i < parameterList_->count(); ++i)
        makePortFor(parameterList_->keyAtIndex(i), parameterList_->objectAtIndex(i));
}

void QCProgrammablePatch::makePortFor(const std::string& key, const QCParameterInfo& info) {
    if (portNamed(key)) return;
    std::unique_ptr<QCPort> port;
    const bool named = key.rfind("input", 0) == 0 && key.size() > 5;
    if (named && info.size() == 1) {
        // The source says nothing more about its parameters than their type.
        const QCPortInfo generic{.description = "parameter declared by the patch's source"};
        switch (info.type()) {
        case QCParameterInfo::kBooleanType: port = std::make_unique<QCBooleanPort>(this, key, generic); break;
        case QCParameterInfo::kIndexType: port = std::make_unique<QCIndexPort>(this, key, generic); break;
        case QCParameterInfo::kNumberType: port = std::make_unique<QCNumberPort>(this, key, generic); break;
        case QCParameterInfo::kStringType: port = std::make_unique<QCStringPort>(this, key, generic); break;
        default: break;
        }
    }
    if (port) {
        parameterPorts_.push_back(std::move(port));
    } else if (refusedParameters_.insert(key).second) {
        NSLog("QCProgrammablePatch: patch \"%s\" parameter \"%s\" (type %d, size %d) gets no port", identifier().c_str(),
              key.c_str(), info.type(), info.size());
    }
}

void QCProgrammablePatch::pauseNotifications() {
    ++pauseDepth_;
    notify(QCPatchNotification::NotificationsPaused);
}

void QCProgrammablePatch::resumeNotifications() {
    if (pauseDepth_ == 0) return;
    --pauseDepth_;
    notify(QCPatchNotification::NotificationsResumed);
    if (pauseDepth_ == 0 && heldStateUpdate_) {
        heldStateUpdate_ = false;
        notify(QCPatchNotification::StateUpdated);
    }
}

void QCProgrammablePatch::stateUpdated() {
    if (pauseDepth_ > 0)
        heldStateUpdate_ = true;
    else
        notify(QCPatchNotification::StateUpdated);
}

void QCProgrammablePatch::notify(QCPatchNotification notification) {
    // A copy, so an observer may add another while it is told.
    const std::vector<Observer> observers = observers_;
    for (const Observer& observer : observers) observer(*this, notification);
}

void QCProgrammablePatch::applyCompositionSettings(QCPatch& patch, const PatchSpec& spec,
                                                   const CompositionDocument& document) {
    const LocatedValue entry = spec.entry();
    const auto name = entry.member("name"), source = entry.member("source"), sourceType = entry.member("sourceType"),
               parameters = entry.member("parameters");
    // The patch's own settings: every key the document admits beyond those here.
    for (size_t i = 0; entry.json().is_object() && i < entry.size(); ++i) {
        const std::string& key = entry.key(i);
        // "editor" is the graph editor's placement of the box: no patch reads it.
        if (key == "id" || key == "class" || key == "inputs" || key == "name" || key == "source" ||
            key == "sourceType" || key == "parameters" || key == "editor")
            continue;
        std::string error;
        if (!patch.applySetting(key, entry.item(i).json(), &error))
            document.fail(entry.item(i).line(), "patch " + quotedShort(spec.id) + " (" + spec.className + ") " + error);
    }
    auto* programmable = dynamic_cast<QCProgrammablePatch*>(&patch);
    if (!programmable) {
        for (const auto& setting : {name, source, sourceType, parameters})
            if (setting)
                document.fail(setting->keyLine(), "patch " + quotedShort(spec.id) + " (" + spec.className +
                                                      ") is not programmable and takes no name, source or parameters");
        return;
    }
    auto text = [&](const std::optional<LocatedValue>& value, const char* key) {
        if (!value->json().is_string())
            document.fail(value->line(),
                          std::string("\"") + key + "\" of patch " + quotedShort(spec.id) + " must be a string");
        return value->json().get<std::string>();
    };
    if (name) programmable->userInfo()["name"] = text(name, "name");
    if (parameters) {
        if (!parameters->json().is_object())
            document.fail(parameters->line(), "\"parameters\" of patch " + quotedShort(spec.id) + " must be an object");
        auto list = GFList::list();
        for (size_t i = 0; i < parameters->size(); ++i) {
            const std::string& key = parameters->key(i);
            const auto& info = parameters->item(i).json();
            if (!info.is_object() || !info.contains("type") || !info["type"].is_number_integer() ||
                (info.contains("size") && !info["size"].is_number_integer()))
                document.fail(parameters->item(i).keyLine(), "parameter " + quotedShort(key) + " of patch " +
                                                                 quotedShort(spec.id) +
                                                                 " must be {\"type\": integer, \"size\": integer}");
            list->addObject(QCParameterInfo::infoWithType(info["type"].get<int>(), info.value("size", 1)), key);
        }
        programmable->setParameterList(list);
    }
    if (source || sourceType) {
        const auto types = programmable->sourceTypesOfClass();
        const std::string type = sourceType ? text(sourceType, "sourceType") : types.empty() ? "" : types.front();
        if (std::find(types.begin(), types.end(), type) == types.end())
            document.fail(
                sourceType ? sourceType->line() : spec.line,
                "patch " + quotedShort(spec.id) + " (" + spec.className + ") has no source type " + quotedShort(type));
        programmable->setSource(source ? text(source, "source") : "", type);
    }
}
