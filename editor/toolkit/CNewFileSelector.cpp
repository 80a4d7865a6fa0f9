#include "editor/toolkit/CNewFileSelector.h"

#include "editor/toolkit/DesktopFileChooser.h"

namespace VSTGUI {

namespace {
IFileChooser*& installedChooser()
{
    static IFileChooser* chooser = nullptr;
    return chooser;
}
} // namespace

CNewFileSelector* CNewFileSelector::create(CFrame* parent, Style style)
{
    if (style != kSelectFile && style != kSelectSaveFile && style != kSelectDirectory)
        return nullptr;
    return new CNewFileSelector(parent, style);
}

void CNewFileSelector::setChooser(IFileChooser* chooser)
{
    installedChooser() = chooser;
}

IFileChooser& CNewFileSelector::getDesktopChooser()
{
    static DesktopFileChooser chooser;
    return chooser;
}

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension)
{
    for (size_t i = 0; i < extensions_.size(); ++i)
    {
        if (extensions_[i] == extension)
        {
            defaultExtension_ = int32_t(i);
            return;
        }
    }
    extensions_.push_back(extension);
    defaultExtension_ = int32_t(extensions_.size()) - 1;
}

void CNewFileSelector::addFileExtension(const CFileExtension& extension)
{
    for (const CFileExtension& e : extensions_)
        if (e == extension)
            return;
    extensions_.push_back(extension);
}

const CFileExtension* CNewFileSelector::getDefaultExtension() const
{
    return defaultExtension_ >= 0 ? &extensions_[size_t(defaultExtension_)] : nullptr;
}

UTF8StringPtr CNewFileSelector::getSelectedFile(uint32_t index) const
{
    return index < selected_.size() ? selected_[index].c_str() : nullptr;
}

bool CNewFileSelector::runModal()
{
    selected_.clear();
    IFileChooser* chooser = installedChooser();
    std::vector<std::string> files;
    if (!(chooser ? chooser : &getDesktopChooser())->choose(*this, files))
        return false;
    for (std::string& f : files)
        if (!f.empty())
            selected_.push_back(std::move(f));
    return !selected_.empty();
}

bool CNewFileSelector::run(CBaseObject* delegate)
{
    // The delegate may drop the last reference of its own when told.
    remember();
    const bool chosen = runModal();
    if (delegate)
        delegate->notify(this, kSelectEndMessage);
    forget();
    return chosen;
}

} // namespace VSTGUI
