#include "tools/kvhost/EditorMode.h"

#include <charconv>
#include <cmath>
#include <iomanip>
#include <ostream>

#include "tools/kvhost/EditorWindow.h"
#include "tools/kvhost/PluginInstance.h"

namespace
{
// "12,34" or "1,2,3,4": `count` integers, or `count` less `optional` of them.
bool Integers(const std::string& text, std::size_t count, std::size_t optional, std::vector<int>& numbers)
{
    numbers.clear();
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at < end)
    {
        int value = 0;
        auto [next, code] = std::from_chars(at, end, value);
        if (code != std::errc() || std::abs(value) > EditorWindow::kMaxSide)
            return false;
        numbers.push_back(value);
        if (next == end)
            break;
        if (*next != ',')
            return false;
        at = next + 1;
        if (at == end)
            return false;
    }
    return numbers.size() <= count && numbers.size() + optional >= count;
}
} // namespace

std::string EditorUsage()
{
    return "editor mode (opens the plug-in's editor in an X11 window; actions run in order):\n"
           "  --editor               open the editor instead of rendering\n"
           "  --display NAME         the X display (default $DISPLAY)\n"
           "  --click X,Y[,BUTTON]   click at a point of the editor (button 1 left, 3 right)\n"
           "  --drag X0,Y0,X1,Y1     press, move and release with the left button\n"
           "  --key NAME             press a key by its X keysym name (Return, Tab, Escape, Up)\n"
           "  --type TEXT            type UTF-8 text\n"
           "  --wait S               run the editor's event loop for S seconds\n"
           "  --screenshot FILE.png  write a picture of the window\n";
}

bool ParseEditorOption(const std::vector<std::string>& arguments, std::size_t& i, EditorOptions& options,
                       std::string& error)
{
    error.clear();
    const std::string& argument = arguments[i];
    if (argument == "--editor")
    {
        options.open = true;
        return true;
    }
    static const char* const kValued[] = {"--display", "--click", "--drag", "--key", "--type", "--wait", "--screenshot"};
    bool known = false;
    for (const char* name : kValued)
        known = known || argument == name;
    if (!known)
        return false;
    if (i + 1 >= arguments.size())
    {
        error = argument + " needs a value";
        return false;
    }
    const std::string& value = arguments[++i];
    EditorAction action;
    if (argument == "--display")
    {
        options.display = value;
        return true;
    }
    if (argument == "--click")
    {
        action.kind = EditorAction::Kind::Click;
        if (!Integers(value, 3, 1, action.numbers))
        {
            error = "--click is X,Y or X,Y,BUTTON";
            return false;
        }
        if (action.numbers.size() == 2)
            action.numbers.push_back(1);
        if (action.numbers[2] < 1 || action.numbers[2] > 9)
        {
            error = "--click: buttons are 1 to 9";
            return false;
        }
    }
    else if (argument == "--drag")
    {
        action.kind = EditorAction::Kind::Drag;
        if (!Integers(value, 4, 0, action.numbers))
        {
            error = "--drag is X0,Y0,X1,Y1";
            return false;
        }
    }
    else if (argument == "--wait")
    {
        action.kind = EditorAction::Kind::Wait;
        double seconds = 0.0;
        auto [next, code] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (code != std::errc() || next != value.data() + value.size() || !std::isfinite(seconds) || seconds < 0.0 ||
            seconds > 3600.0)
        {
            error = "--wait is a number of seconds from 0 to 3600";
            return false;
        }
        action.seconds = seconds;
    }
    else
    {
        action.kind = argument == "--key"    ? EditorAction::Kind::Key
                      : argument == "--type" ? EditorAction::Kind::Type
                                             : EditorAction::Kind::Screenshot;
        if (value.empty())
        {
            error = argument + " needs a value";
            return false;
        }
        action.text = value;
    }
    options.actions.push_back(action);
    return true;
}

int RunEditor(PluginInstance& instance, const EditorOptions& options, std::ostream& out, std::ostream& err)
{
    auto fail = [&err](const std::string& message) {
        err << "kvhost: " << message << "\n";
        return 1;
    };
    std::string error;
    std::unique_ptr<EditorWindow> window = EditorWindow::Connect(options.display, error);
    if (!window)
        return fail(error);
    if (!XTestInput::Available(window->display()))
        err << "kvhost: the X server has no XTEST extension: input actions will fail\n";
    if (!window->open(instance.controller(), error))
        return fail(error);
    out << "editor opened: " << window->width() << " x " << window->height() << " in " << std::fixed
        << std::setprecision(1) << window->openSeconds() * 1000.0 << " ms\n";
    window->settle();

    const bool played = window->play(options.actions, error);
    for (const EditorAction& action : options.actions)
    {
        if (played && action.kind == EditorAction::Kind::Screenshot)
            out << "screenshot written to " << action.text << "\n";
    }
    if (!played)
        return fail(error);
    if (window->serverLost())
        return fail("the X server went away");
    window->close();
    return 0;
}
