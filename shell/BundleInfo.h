#pragma once
// Where the plug-in lives on disk. A bundle is a folder "<Name>.vst3" that
// holds the shared object at "Contents/<arch>/<Name>.so", resource files in
// "Contents/Resources/" and external module bundles in "Contents/PlugIns/".
// Paths are UTF-8 text kept as the dynamic loader reported them: symlinks are
// never resolved, so a bundle reached through a link keeps the link's path.

#include <cstddef>
#include <string>
#include <utility>

class BundleInfo
{
public:
    // No bundle: every path is empty and every resource read fails.
    BundleInfo() = default;

    // The bundle around the shared object that holds this code (found with
    // dladdr once per process). Not inside a bundle: an empty BundleInfo.
    static const BundleInfo& Own();

    // The file the dynamic loader loaded `address` from, or empty.
    static std::string ModulePathOf(const void* address);

    // The bundle around a module path ".../<Name>.vst3/Contents/<arch>/<Name>.so".
    // "." elements and repeated "/" are dropped; nothing else is changed. A
    // path without that shape gives an empty BundleInfo and a line on stderr.
    static BundleInfo FromModulePath(const std::string& modulePath);

    bool valid() const { return !bundlePath_.empty(); }
    // ".../<Name>.vst3", without a trailing "/".
    const std::string& bundlePath() const { return bundlePath_; }
    // The bundle folder's name without ".vst3".
    std::string name() const;
    // ".../Contents/Resources/" and ".../Contents/PlugIns/", or empty.
    std::string resourcesPath() const;
    std::string plugInsPath() const;

    // The whole content of Contents/Resources/<name>. A missing, unreadable
    // or oversized file, or a name that leaves the Resources folder, gives an
    // empty text and a line on stderr.
    std::string readResource(const std::string& name) const;

    // Resource files larger than this are refused rather than read.
    static constexpr std::size_t kMaxResourceBytes = std::size_t{256} << 20;

private:
    explicit BundleInfo(std::string bundlePath) : bundlePath_(std::move(bundlePath)) {}

    std::string bundlePath_;
};
