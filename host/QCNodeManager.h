#pragma once

#include "QCPatchClass.h"

#include <string>
#include <vector>

// Owns the list of patch classes, in registration order, and knows which
// bundle each came from: the bundles' classes and, apart from them, classes
// the host or a test registers itself.
class QCNodeManager {
public:
    virtual ~QCNodeManager() = default;

    // The manager of this process, which compositions are built from.
    static QCNodeManager& shared();

    // Refuses (false) a class whose name is already registered; when both
    // come from bundles, one log line names the two files.
    virtual bool registerNodeWithClass(const QCPatchClass& patchClass);
    bool registerHostClass(const QCPatchClass& patchClass);

    const std::vector<QCPatchClass>& bundleClasses() const { return bundle_; }
    const std::vector<QCPatchClass>& hostClasses() const { return host_; }
    const QCPatchClass* classNamed(const std::string& name) const;

    // The bundle a class was registered from: its name ("TembraLibrary" for
    // libTembraLibrary.so) and file; empty for the host's own classes.
    std::string bundleNameOf(const std::string& className) const;
    std::string bundlePathOf(const std::string& className) const;
    // The name `tembra list` shows for the bundle file `path`.
    static std::string bundleName(const std::string& path);

    // While one lives, what registerNodeWithClass takes comes from `path`.
    class BundleScope {
    public:
        BundleScope(QCNodeManager& manager, const std::string& path);
        ~BundleScope();
        BundleScope(const BundleScope&) = delete;
        BundleScope& operator=(const BundleScope&) = delete;

    private:
        QCNodeManager& manager_;
        std::string previous_;
    };

private:
    std::vector<QCPatchClass> bundle_;
    std::vector<std::string> bundlePaths_;  // beside bundle_
    std::vector<QCPatchClass> host_;
    std::string loading_;  // the bundle whose entry is running
};
