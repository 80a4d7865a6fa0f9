#pragma once
// kvhost's editor mode: the plug-in's editor opened in a real X11 window,
// driven by the mouse and keyboard through the X server, and photographed.
// The actions given on the command line run in their order.

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/kvhost/EditorAction.h"

class PluginInstance;

struct EditorOptions
{
    bool open = false;
    std::string display;
    std::vector<EditorAction> actions;
};

std::string EditorUsage();
// Takes arguments[i] (and its value) when it is an editor option: true with
// i moved past what was taken; false with `error` set when the option is
// malformed, false with `error` empty when it is not an editor option.
bool ParseEditorOption(const std::vector<std::string>& arguments, std::size_t& i, EditorOptions& options,
                       std::string& error);
// Opens the editor, runs the actions and closes it; an exit code of RunHost.
int RunEditor(PluginInstance& instance, const EditorOptions& options, std::ostream& out, std::ostream& err);
