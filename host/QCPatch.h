#pragma once

#include "QCPort.h"
#include "QCValues.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
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
    // Called each frame before the patch may run and before its inputs take
    // their connections' values: a patch whose ports follow its source (a
    // shader's saved file) adds and drops them here, so that a port that
    // comes back is fed before the patch runs with it.
    virtual void updatePorts() {}
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

    // Raised whenever a port comes or goes, so that the host can look the
    // connections of a patch whose ports follow its source up again by name.
    uint64_t portsRevision() const { return portsRevision_; }

    // Called by each port as it is constructed and as it is destroyed.
    void registerPort(QCPort* port);
    void unregisterPort(QCPort* port);

private:
    std::string identifier_;
    std::vector<QCPort*> ports_;
    uint64_t portsRevision_ = 0;
};
