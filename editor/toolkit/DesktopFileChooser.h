#pragma once
// Runs the desktop's dialog program for a file selector: zenity when it is
// on the PATH, else kdialog, as a child process given its arguments one by
// one (no shell). It blocks the UI thread until the dialog closes. No
// program, a failed start or a non-zero exit is "cancelled", with a log line
// for the first two.

#include <string>
#include <vector>

#include "editor/toolkit/CNewFileSelector.h"

namespace VSTGUI {

class DesktopFileChooser : public IFileChooser
{
public:
    bool choose(const CNewFileSelector& selector, std::vector<std::string>& files) override;

    // The arguments (program first) for zenity or kdialog; exposed for tests.
    static std::vector<std::string> zenityArguments(const CNewFileSelector& selector, const std::string& program);
    static std::vector<std::string> kdialogArguments(const CNewFileSelector& selector, const std::string& program);
    // The program's full path on PATH, or empty.
    static std::string findOnPath(const std::string& name);
    // Runs arguments[0] and collects its standard output; false when it did
    // not start or did not exit with 0.
    static bool runForOutput(const std::vector<std::string>& arguments, std::string& output);
};

} // namespace VSTGUI
