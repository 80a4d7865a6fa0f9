#include "editor/GmpiResourceManager.h"

#include <vector>

#include "core/conversion.h"
#include "core/file_helpers.h"
#include "sdk/mp_sdk_common.h"

GmpiResourceManager* GmpiResourceManager::Instance()
{
    static GmpiResourceManager manager;
    return &manager;
}

std::wstring GmpiResourceManager::StripExtension(const std::wstring& name)
{
    for (std::size_t i = name.size(); i-- > 0;)
    {
        if (name[i] == L'/' || name[i] == L'\\')
            break;
        if (name[i] == L'.')
            return name.substr(0, i);
    }
    return name;
}

int GmpiResourceManager::RegisterResourceUri(int handle, const std::wstring& resourceFolder, const std::wstring& skin,
                                             const char* name, const char* type, gmpi::IMpUnknown* result)
{
    void* face = nullptr;
    if (result == nullptr || result->queryInterface(gmpi::MP_IID_RETURNSTRING, &face) != gmpi::MP_OK ||
        face == nullptr)
        return gmpi::MP_NOSUPPORT;
    auto* text = static_cast<gmpi::IMpReturnString*>(face);

    std::vector<std::wstring> extensions;
    const std::string kind = type ? type : "";
    if (kind == "ImageMeta")
        extensions = {L".txt"};
    else if (kind == "Image")
        extensions = {L".png", L".bmp", L".jpg"};

    const std::wstring wideName = Utf8ToWstring(name ? name : "");
    std::wstring currentSkin = skin;
    std::wstring found;
    for (;;)
    {
        const std::wstring candidate =
            wideName.find(L':') != std::wstring::npos
                ? wideName
                : combine_path_and_file(resourceFolder, currentSkin + L"__" + StripExtension(wideName));
        if (FileExists(candidate))
        {
            found = candidate;
            break;
        }
        const std::wstring stem = StripExtension(candidate);
        for (const auto& extension : extensions)
        {
            if (FileExists(stem + extension))
            {
                found = stem + extension;
                break;
            }
        }
        if (!found.empty() || currentSkin == L"default")
            break;
        currentSkin = L"default";
    }

    const std::string utf8 = WStringToUtf8(found);
    text->setData(utf8.c_str(), static_cast<int32_t>(utf8.size()));
    text->release();
    return found.empty() ? gmpi::MP_FAIL : gmpi::MP_OK;
}

void GmpiResourceManager::RegisterResourceUri(int handle, const std::string& name, const std::string& uri)
{
    resources_.emplace(handle, std::make_pair(name, uri));
}

void GmpiResourceManager::ClearResourceUris(int handle)
{
    resources_.erase(handle);
}
