#pragma once
// Finds the files of skin resources that GUI modules name (an image, the text
// that describes it) in the bundle's Resources folder: under the editor's
// skin first, then under the skin "default", trying the extensions of the
// resource type. Also keeps a list of resources per module handle. One per
// process; editor thread only.

#include <map>
#include <string>
#include <utility>

namespace gmpi
{
class IMpUnknown;
}

class GmpiResourceManager
{
public:
    static GmpiResourceManager* Instance();

    // Resolves name (UTF-8) of type ("Image", "ImageMeta", ...) to a full
    // path under resourceFolder and hands it back through result, which must
    // answer MP_IID_RETURNSTRING. 0 found; -1 not found (result set empty);
    // -2 when result has no string face (nothing looked up).
    int RegisterResourceUri(int handle, const std::wstring& resourceFolder, const std::wstring& skin,
                            const char* name, const char* type, gmpi::IMpUnknown* result);
    // Records one resource of a module, after its earlier ones.
    void RegisterResourceUri(int handle, const std::string& name, const std::string& uri);
    void ClearResourceUris(int handle);
    // The resources recorded for a handle, in the order recorded.
    std::multimap<int, std::pair<std::string, std::string>>::size_type CountResourceUris(int handle) const
    {
        return resources_.count(handle);
    }

    // The name without its extension: scanning back, a "/" or "\" first
    // means there is none, a "." cuts there.
    static std::wstring StripExtension(const std::wstring& name);

private:
    std::multimap<int, std::pair<std::string, std::string>> resources_;
};
