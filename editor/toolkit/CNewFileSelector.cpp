#include "editor/toolkit/CNewFileSelector.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/DesktopFileChooser.h"
#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {
IFileChooser*& installedChooser()
{
    static IFileChooser* chooser = nullptr;
    return chooser;
}

// The selectors whose dialog is open, each holding a reference on itself.
std::vector<CNewFileSelector*>& openSelectors()
{
    static std::vector<CNewFileSelector*> list;
    return list;
}

// A dialog that answered when it was opened.
class AnsweredRun : public IFileChooserRun
{
public:
    explicit AnsweredRun(std::vector<std::string> files) : files_(std::move(files)) {}
    bool poll(std::vector<std::string>& files) override
    {
        files = files_;
        return true;
    }

private:
    std::vector<std::string> files_;
};

// How long a wait without a window sleeps between looks at the dialog.
constexpr int kWaitMilliseconds = 50;
} // namespace

void IFileChooserRun::wait(int milliseconds)
{
    ::usleep(useconds_t(milliseconds) * 1000);
}

std::unique_ptr<IFileChooserRun> IFileChooser::start(const CNewFileSelector& selector)
{
    std::vector<std::string> files;
    if (!choose(selector, files))
        files.clear();
    return std::make_unique<AnsweredRun>(std::move(files));
}

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

bool CNewFileSelector::open(const char* what)
{
    if (run_)
    {
        toolkitLog("the file selector \"%s\" is open already: %s refused", title_.c_str(), what);
        return false;
    }
    if (frame_)
        for (const CNewFileSelector* other : openSelectors())
            if (other->frame_ == frame_)
            {
                toolkitLog("a file dialog of this editor is open (\"%s\"): %s refused", other->title_.c_str(), what);
                return false;
            }
    selected_.clear();
    IFileChooser* chooser = installedChooser();
    run_ = (chooser ? chooser : &getDesktopChooser())->start(*this);
    if (!run_)
        run_ = std::make_unique<AnsweredRun>(std::vector<std::string>{});
    openSelectors().push_back(this);
    return true;
}

void CNewFileSelector::closeDialog(std::vector<std::string>* files)
{
    auto& list = openSelectors();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (files)
        for (std::string& f : *files)
            if (!f.empty())
                selected_.push_back(std::move(f));
    // Ends a dialog that still runs.
    run_.reset();
}

bool CNewFileSelector::run(CBaseObject* delegate)
{
    if (frame_ == nullptr)
    {
        toolkitLog("the file selector \"%s\" has no frame to watch its dialog: not run", title_.c_str());
        return false;
    }
    if (!open("a second file dialog"))
        return false;
    modal_ = false;
    remember();
    delegate_ = delegate;
    if (delegate_)
        delegate_->remember();
    return true;
}

bool CNewFileSelector::runModal()
{
    if (!open("a modal file dialog"))
        return false;
    modal_ = true;
    // The owner may let go of the selector while the window is served.
    remember();
    std::vector<std::string> files;
    bool ended = false;
    // Closing the frame ends the dialog (endRunning) and so the wait.
    auto over = [this, &files, &ended] {
        if (!run_)
            return true;
        if (!ended)
        {
            files.clear();
            ended = run_->poll(files);
        }
        return ended;
    };
    if (frame_ == nullptr || !frame_->runModal(over))
        while (!over())
            run_->wait(kWaitMilliseconds);
    bool chosen = false;
    if (run_)
    {
        if (!ended)
            toolkitLog("the editor's window went while the file dialog \"%s\" was open: dialog closed", title_.c_str());
        closeDialog(ended ? &files : nullptr);
        chosen = !selected_.empty();
    }
    modal_ = false;
    forget();
    return chosen;
}

void CNewFileSelector::pollRunning(CFrame* frame)
{
    for (;;)
    {
        // One at a time: a delegate may open or end other dialogs.
        CNewFileSelector* over = nullptr;
        std::vector<std::string> files;
        for (CNewFileSelector* s : openSelectors())
        {
            files.clear();
            if (s->frame_ == frame && !s->modal_ && s->run_->poll(files))
            {
                over = s;
                break;
            }
        }
        if (over == nullptr)
            return;
        over->closeDialog(&files);
        if (CBaseObject* delegate = std::exchange(over->delegate_, nullptr))
        {
            delegate->notify(over, kSelectEndMessage);
            delegate->forget();
        }
        over->forget();
    }
}

void CNewFileSelector::endRunning(CFrame* frame)
{
    for (;;)
    {
        auto& list = openSelectors();
        auto it = std::find_if(list.begin(), list.end(), [frame](auto* s) { return s->frame_ == frame; });
        if (it == list.end())
            return;
        CNewFileSelector* s = *it;
        s->closeDialog(nullptr);
        // A modal wait sees its dialog gone and lets go itself.
        if (s->modal_)
            continue;
        if (CBaseObject* delegate = std::exchange(s->delegate_, nullptr))
            delegate->forget();
        s->forget();
    }
}

} // namespace VSTGUI
