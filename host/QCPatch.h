#pragma once

#include "QCPort.h"
#include "QCValues.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

class QCOpenGLContext;

// Base of every patch. The host drives an instance through
// construct -> setup -> enable -> execute... -> disable -> cleanup -> destroy,
// one call at a time on its evaluation thread.
//
// Class operations are static members of each patch class:
//   static int executionMode();           // 1 consumer, 2 provider, 3 processor
//   static bool allowsSubpatches();
//   static int timeModeWithIdentifier(const std::string& identifier);  // 0: none
class QCPatch {
public:
    explicit QCPatch(std::string identifier);
    virtual ~QCPatch() = default;
    QCPatch(const QCPatch&) = delete;
    QCPatch& operator=(const QCPatch&) = delete;

    virtual QCContext* setup(QCContext* context) { return context; }
    virtual void enable(QCContext*) {}
    virtual void disable(QCContext*) {}
    // Returns true on every path.
    virtual bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) = 0;
    virtual void cleanup(QCContext*) {}

    // A setting of the patch's own written beside "inputs" in a composition
    // (an Expression's "expression"), read when the patch is made, before
    // its inputs. False, with `error` saying what is wrong, for a value that
    // does not fit or a key the class does not take.
    virtual bool applySetting(const std::string& key, const nlohmann::json& value, std::string* error);

    static bool allowsSubpatches() { return false; }
    static int timeModeWithIdentifier(const std::string&) { return 0; }

    const std::string& identifier() const { return identifier_; }
    const std::vector<QCPort*>& ports() const { return ports_; }
    QCPort* portNamed(const std::string& name) const;

    // Called by each port member as it is constructed.
    void registerPort(QCPort* port) { ports_.push_back(port); }

private:
    std::string identifier_;
    std::vector<QCPort*> ports_;
};
