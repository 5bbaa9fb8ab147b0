#pragma once

#include "QCPatch.h"

#include <memory>
#include <vector>

// A stand-in for a patch: ports of the same names and kinds, in the same
// order, holding the same values (and index maxima), and nothing of the
// patch's class. A reload checks the new document against stand-ins for the
// patches that stay, so their class's constructor does not run again, with
// what it does beyond the patch: MIDI clients and ports made, the shared
// MIDI tables cleared, the fire's random sequence drawn from.
class PortShadow : public QCPatch {
public:
    explicit PortShadow(const QCPatch& patch);
    PortShadow(const PortShadow& other) : PortShadow(static_cast<const QCPatch&>(other)) {}
    // The ports `patch` has now, holding the values of `before` where it has
    // a port of the same name and kind: a shadow kept up to date when a
    // patch's ports change as it runs.
    PortShadow(const QCPatch& patch, const PortShadow& before);

    bool execute(QCOpenGLContext*, double, const QCArguments*) override { return true; }

private:
    std::vector<std::unique_ptr<QCPort>> ports_;
};
