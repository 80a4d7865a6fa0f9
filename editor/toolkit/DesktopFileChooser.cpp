#include "editor/toolkit/DesktopFileChooser.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/DialogProcess.h"
#include "editor/toolkit/PortalFileChooser.h"
#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {

// "Presets (*.xml)" style patterns of the selector's extensions, the
// default one first.
std::vector<std::pair<std::string, std::string>> filters(const CNewFileSelector& selector)
{
    std::vector<std::pair<std::string, std::string>> result;
    const CFileExtension* first = selector.getDefaultExtension();
    auto add = [&](const CFileExtension& e) {
        const std::string pattern = e.getExtension() == "*" ? "*" : "*." + e.getExtension();
        const std::string name = e.getDescription().empty() ? pattern : e.getDescription();
        result.emplace_back(name, pattern);
    };
    if (first)
        add(*first);
    for (const CFileExtension& e : selector.getExtensions())
        if (!first || !(e == *first))
            add(e);
    return result;
}

// The dialog program at work; one chosen path on its standard output.
struct DesktopRun : IFileChooserRun
{
    bool poll(std::vector<std::string>& files) override
    {
        if (!process.poll())
            return false;
        std::string output = process.succeeded() ? process.output() : std::string();
        // The last newline is the program's own.
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
            output.pop_back();
        if (!output.empty())
            files.push_back(output);
        return true;
    }
    void wait(int milliseconds) override { process.wait(milliseconds); }

    DialogProcess process;
};

std::string startPath(const CNewFileSelector& selector)
{
    std::string path = selector.getInitialDirectory();
    if (selector.getStyle() == CNewFileSelector::kSelectSaveFile && !selector.getDefaultSaveName().empty())
    {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += selector.getDefaultSaveName();
    }
    else if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

} // namespace

std::vector<std::string> DesktopFileChooser::zenityArguments(const CNewFileSelector& selector,
                                                             const std::string& program)
{
    std::vector<std::string> args{program, "--file-selection"};
    if (!selector.getTitle().empty())
        args.push_back("--title=" + selector.getTitle());
    if (selector.getStyle() == CNewFileSelector::kSelectSaveFile)
        args.push_back("--save");
    if (selector.getStyle() == CNewFileSelector::kSelectDirectory)
        args.push_back("--directory");
    if (const std::string start = startPath(selector); !start.empty())
        args.push_back("--filename=" + start);
    if (selector.getStyle() != CNewFileSelector::kSelectDirectory)
        for (const auto& [name, pattern] : filters(selector))
            args.push_back("--file-filter=" + name + " | " + pattern);
    return args;
}

std::vector<std::string> DesktopFileChooser::kdialogArguments(const CNewFileSelector& selector,
                                                              const std::string& program)
{
    std::vector<std::string> args{program};
    if (!selector.getTitle().empty())
    {
        args.push_back("--title");
        args.push_back(selector.getTitle());
    }
    switch (selector.getStyle())
    {
    case CNewFileSelector::kSelectSaveFile:
        args.push_back("--getsavefilename");
        break;
    case CNewFileSelector::kSelectDirectory:
        args.push_back("--getexistingdirectory");
        break;
    default:
        args.push_back("--getopenfilename");
        break;
    }
    const std::string start = startPath(selector);
    args.push_back(start.empty() ? "." : start);
    if (selector.getStyle() != CNewFileSelector::kSelectDirectory)
    {
        std::string filter;
        for (const auto& [name, pattern] : filters(selector))
            filter += (filter.empty() ? "" : "\n") + name + " (" + pattern + ")";
        if (!filter.empty())
            args.push_back(filter);
    }
    return args;
}

std::string DesktopFileChooser::findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size())
    {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty())
        {
            const std::string candidate = dir + "/" + name;
            struct stat st;
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::unique_ptr<IFileChooserRun> DesktopFileChooser::start(const CNewFileSelector& selector)
{
    IPlatformFrame* platform = selector.getFrame() ? selector.getFrame()->getPlatformFrame() : nullptr;
    const auto parent =
        platform ? static_cast<unsigned long>(reinterpret_cast<uintptr_t>(platform->getPlatformRepresentation())) : 0;
    if (auto portal = PortalFileChooser::start(selector, parent))
        return portal;

    std::vector<std::string> args;
    if (std::string zenity = findOnPath("zenity"); !zenity.empty())
        args = zenityArguments(selector, zenity);
    else if (std::string kdialog = findOnPath("kdialog"); !kdialog.empty())
        args = kdialogArguments(selector, kdialog);
    if (!args.empty())
    {
        auto run = std::make_unique<DesktopRun>();
        run->process.start(args);
        return run;
    }

    if (platform)
        if (auto browser = platform->openFileBrowser(selector))
            return browser;
    toolkitLog("file selector cancelled: no desktop portal, zenity or kdialog, and no window for the built-in browser");
    return std::make_unique<DesktopRun>();
}

} // namespace VSTGUI
