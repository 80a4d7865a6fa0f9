#pragma once
// What the built-in file browser shows and does, apart from its window: the
// folder's sub-folders and the files that match the extensions, a name field
// (typing always goes there), OK and Cancel. Up and Down walk the list,
// Return opens the selected folder or takes what the name field names,
// Escape cancels; a click selects, a double click opens or takes. Drawn into
// a draw context of kWidth by kHeight. UI thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CRect.h"
#include "editor/toolkit/x11/TextBoxField.h"

namespace VSTGUI {

class CDrawContext;

class FileBrowserPanel
{
public:
    enum class Mode
    {
        kOpen,   // an existing file
        kSave,   // a name in an existing folder
        kFolder, // an existing folder
    };
    enum class Key
    {
        kUp,
        kDown,
        kPageUp,
        kPageDown,
        kReturn,
        kEscape,
        kBackspace,
        kDelete,
        kLeft,
        kRight,
        kHome,
        kEnd,
        kSelectAll,
    };
    struct Entry
    {
        std::string name;
        bool folder = false;
    };

    // extensions without the dot ("preset.xml"); "*" or none shows every
    // file. An empty or unreadable folder starts in $HOME, else "/".
    FileBrowserPanel(Mode mode, std::vector<std::string> extensions, const std::string& folder,
                     const std::string& name);

    void draw(CDrawContext& context);
    // Each answers whether the panel must be drawn again.
    bool onMouseDown(const CPoint& where, bool doubleClick);
    bool onKey(Key key, bool shift);
    bool onText(const std::string& utf8);
    void cancel();

    bool done() const { return done_; }
    // The chosen path; empty when cancelled.
    const std::string& result() const { return result_; }
    const std::string& folder() const { return folder_; }
    const std::vector<Entry>& entries() const { return entries_; }

    static constexpr CCoord kWidth = 480;
    static constexpr CCoord kHeight = 360;
    static constexpr CCoord kRowHeight = 20;
    static constexpr int kRows = 12;
    // Where things are, in panel coordinates.
    static CRect listRect() { return CRect(8, 32, 472, 32 + kRows * kRowHeight); }
    static CRect nameRect() { return CRect(60, 292, 472, 314); }
    static CRect cancelRect() { return CRect(300, 326, 380, 352); }
    static CRect okRect() { return CRect(392, 326, 472, 352); }

private:
    void openFolder(const std::string& path);
    void select(int index);
    // Return or OK: the selected folder after list use, else the name field.
    void accept();
    void choose(const std::string& path);
    bool matches(const std::string& fileName) const;
    std::string pathOf(const std::string& typed) const;

    Mode mode_;
    std::vector<std::string> extensions_;
    std::string folder_;
    std::vector<Entry> entries_;
    int selected_ = -1;
    int top_ = 0;
    // The list was used after the last typing: Return opens its folder.
    bool listActive_ = false;
    TextBoxField field_;
    std::string message_;
    bool done_ = false;
    std::string result_;
    CFontDesc font_;
};

} // namespace VSTGUI
