#include "editor/toolkit/DesktopFileChooser.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/toolkit/ToolkitLog.h"

extern char** environ;

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

bool DesktopFileChooser::runForOutput(const std::vector<std::string>& arguments, std::string& output)
{
    output.clear();
    int pipeFds[2];
    if (arguments.empty() || ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, arguments[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (error != 0)
    {
        ::close(pipeFds[0]);
        toolkitLog("cannot start \"%s\": %s", arguments[0].c_str(), std::strerror(error));
        return false;
    }
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool DesktopFileChooser::choose(const CNewFileSelector& selector, std::vector<std::string>& files)
{
    std::vector<std::string> args;
    if (std::string zenity = findOnPath("zenity"); !zenity.empty())
        args = zenityArguments(selector, zenity);
    else if (std::string kdialog = findOnPath("kdialog"); !kdialog.empty())
        args = kdialogArguments(selector, kdialog);
    else
    {
        toolkitLog("file selector cancelled: neither zenity nor kdialog is on the PATH");
        return false;
    }
    std::string output;
    if (!runForOutput(args, output))
        return false;
    // One path per line; the last newline is the program's own.
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    if (output.empty())
        return false;
    files.push_back(output);
    return true;
}

} // namespace VSTGUI
