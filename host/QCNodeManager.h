#pragma once

#include "QCPatchClass.h"

#include <string>
#include <vector>

// Owns the list of patch classes, in registration order: the bundle's
// classes and, apart from them, the host's own built-in classes.
class QCNodeManager {
public:
    virtual ~QCNodeManager() = default;

    // The manager of this process, which compositions are built from.
    static QCNodeManager& shared();

    // Refuses (false) a class whose name is already registered.
    virtual bool registerNodeWithClass(const QCPatchClass& patchClass);
    bool registerHostClass(const QCPatchClass& patchClass);

    const std::vector<QCPatchClass>& bundleClasses() const { return bundle_; }
    const std::vector<QCPatchClass>& hostClasses() const { return host_; }
    const QCPatchClass* classNamed(const std::string& name) const;

private:
    std::vector<QCPatchClass> bundle_;
    std::vector<QCPatchClass> host_;
};
