#include "editor/toolkit/x11/FileBrowserPanel.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "editor/toolkit/CDrawContext.h"

namespace VSTGUI {

namespace {
const CColor kBackground(236, 236, 236);
const CColor kListBackground(255, 255, 255);
const CColor kSelection(51, 102, 204);
const CColor kBorder(140, 140, 140);
const CColor kButton(214, 214, 214);
const CColor kWarning(176, 0, 0);

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

FileBrowserPanel::FileBrowserPanel(Mode mode, std::vector<std::string> extensions, const std::string& folder,
                                   const std::string& name)
    : mode_(mode), extensions_(std::move(extensions)), field_(mode == Mode::kFolder ? "" : name),
      font_(CFontDesc::defaultFaceName(), 12)
{
    std::string start = folder;
    if (start.empty() || !IsFolder(start))
    {
        const char* home = std::getenv("HOME");
        start = home && IsFolder(home) ? home : "/";
    }
    openFolder(start);
}

bool FileBrowserPanel::matches(const std::string& fileName) const
{
    if (extensions_.empty())
        return true;
    const std::string lower = Lower(fileName);
    for (const std::string& e : extensions_)
    {
        if (e == "*" || e.empty())
            return true;
        const std::string suffix = "." + Lower(e);
        if (lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

void FileBrowserPanel::openFolder(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr || !IsFolder(resolved))
    {
        message_ = "Cannot open " + path;
        return;
    }
    DIR* dir = ::opendir(resolved);
    if (dir == nullptr)
    {
        message_ = std::string("Cannot read ") + resolved + ": " + std::strerror(errno);
        return;
    }
    folder_ = resolved;
    message_.clear();
    std::vector<Entry> folders;
    std::vector<Entry> files;
    while (const dirent* item = ::readdir(dir))
    {
        const std::string name = item->d_name;
        // Hidden names stay hidden, as in the desktop's dialogs.
        if (name.empty() || name[0] == '.')
            continue;
        const std::string full = (folder_ == "/" ? "" : folder_) + "/" + name;
        if (IsFolder(full))
            folders.push_back({name, true});
        else if (mode_ != Mode::kFolder && matches(name))
            files.push_back({name, false});
    }
    ::closedir(dir);
    const auto byName = [](const Entry& a, const Entry& b) {
        const std::string la = Lower(a.name);
        const std::string lb = Lower(b.name);
        return la != lb ? la < lb : a.name < b.name;
    };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    entries_.clear();
    if (folder_ != "/")
        entries_.push_back({"..", true});
    entries_.insert(entries_.end(), folders.begin(), folders.end());
    entries_.insert(entries_.end(), files.begin(), files.end());
    selected_ = -1;
    top_ = 0;
    listActive_ = false;
}

std::string FileBrowserPanel::pathOf(const std::string& typed) const
{
    if (!typed.empty() && typed[0] == '/')
        return typed;
    if (typed == "~" || typed.rfind("~/", 0) == 0)
    {
        const char* home = std::getenv("HOME");
        if (home != nullptr)
            return std::string(home) + typed.substr(1);
    }
    return (folder_ == "/" ? "" : folder_) + "/" + typed;
}

void FileBrowserPanel::select(int index)
{
    if (entries_.empty())
        return;
    selected_ = std::clamp(index, 0, static_cast<int>(entries_.size()) - 1);
    if (selected_ < top_)
        top_ = selected_;
    if (selected_ >= top_ + kRows)
        top_ = selected_ - kRows + 1;
    listActive_ = true;
    const Entry& entry = entries_[static_cast<std::size_t>(selected_)];
    // A file's name goes to the field, all selected, so typing replaces it.
    if (!entry.folder && mode_ != Mode::kFolder)
    {
        field_ = TextBoxField(entry.name);
        field_.selectAll();
    }
}

void FileBrowserPanel::choose(const std::string& path)
{
    result_ = path;
    done_ = true;
}

void FileBrowserPanel::accept()
{
    const bool onFolder = selected_ >= 0 && entries_[static_cast<std::size_t>(selected_)].folder;
    if (listActive_ && onFolder)
    {
        const std::string& name = entries_[static_cast<std::size_t>(selected_)].name;
        openFolder(name == ".." ? ParentOf(folder_) : pathOf(name));
        return;
    }
    const std::string typed = field_.text();
    if (typed.empty())
    {
        if (mode_ == Mode::kFolder)
            choose(folder_);
        return;
    }
    const std::string path = pathOf(typed);
    if (IsFolder(path))
    {
        if (mode_ == Mode::kFolder)
            choose(path);
        else
        {
            openFolder(path);
            field_ = TextBoxField("");
        }
        return;
    }
    switch (mode_)
    {
    case Mode::kOpen:
        if (IsFile(path))
            choose(path);
        else
            message_ = "No such file: " + typed;
        break;
    case Mode::kSave:
        if (path.back() != '/' && IsFolder(ParentOf(path)))
            choose(path);
        else
            message_ = "No such folder for " + typed;
        break;
    case Mode::kFolder:
        message_ = "No such folder: " + typed;
        break;
    }
}

void FileBrowserPanel::cancel()
{
    result_.clear();
    done_ = true;
}

bool FileBrowserPanel::onMouseDown(const CPoint& where, bool doubleClick)
{
    if (done_)
        return false;
    if (okRect().pointInside(where))
    {
        listActive_ = false;
        accept();
        return true;
    }
    if (cancelRect().pointInside(where))
    {
        cancel();
        return true;
    }
    if (nameRect().pointInside(where))
    {
        listActive_ = false;
        field_.end(false);
        return true;
    }
    const CRect list = listRect();
    if (list.pointInside(where))
    {
        const int index = top_ + static_cast<int>((where.y - list.top) / kRowHeight);
        if (index >= static_cast<int>(entries_.size()))
            return false;
        select(index);
        if (doubleClick)
        {
            if (entries_[static_cast<std::size_t>(index)].folder)
                accept();
            else
            {
                listActive_ = false;
                accept();
            }
        }
        return true;
    }
    return false;
}

bool FileBrowserPanel::onKey(Key key, bool shift)
{
    if (done_)
        return false;
    const int count = static_cast<int>(entries_.size());
    switch (key)
    {
    case Key::kUp:
        select(selected_ < 0 ? count - 1 : selected_ - 1);
        break;
    case Key::kDown:
        select(selected_ + 1);
        break;
    case Key::kPageUp:
        select(selected_ - kRows);
        break;
    case Key::kPageDown:
        select(selected_ < 0 ? kRows - 1 : selected_ + kRows);
        break;
    case Key::kReturn:
        accept();
        break;
    case Key::kEscape:
        cancel();
        break;
    case Key::kBackspace:
        listActive_ = false;
        field_.backspace();
        break;
    case Key::kDelete:
        listActive_ = false;
        field_.deleteForward();
        break;
    case Key::kLeft:
        field_.left(shift);
        break;
    case Key::kRight:
        field_.right(shift);
        break;
    case Key::kHome:
        field_.home(shift);
        break;
    case Key::kEnd:
        field_.end(shift);
        break;
    case Key::kSelectAll:
        field_.selectAll();
        break;
    }
    return true;
}

bool FileBrowserPanel::onText(const std::string& utf8)
{
    if (done_)
        return false;
    listActive_ = false;
    field_.insert(utf8);
    return true;
}

void FileBrowserPanel::draw(CDrawContext& context)
{
    context.setFillColor(kBackground);
    context.drawRect(CRect(0, 0, kWidth, kHeight), kDrawFilled);
    context.setFont(&font_);
    context.setLineWidth(1);

    context.setFontColor(kBlackCColor);
    context.drawString(folder_.c_str(), CRect(8, 6, kWidth - 8, 28), kLeftText);

    const CRect list = listRect();
    context.setFillColor(kListBackground);
    context.drawRect(list, kDrawFilled);
    for (int row = 0; row < kRows && top_ + row < static_cast<int>(entries_.size()); ++row)
    {
        const int index = top_ + row;
        const Entry& entry = entries_[static_cast<std::size_t>(index)];
        const CRect line(list.left + 1, list.top + row * kRowHeight, list.right - 1,
                         list.top + (row + 1) * kRowHeight);
        if (index == selected_)
        {
            context.setFillColor(kSelection);
            context.drawRect(line, kDrawFilled);
        }
        context.setFontColor(index == selected_ ? kWhiteCColor : kBlackCColor);
        const std::string text = entry.folder ? entry.name + "/" : entry.name;
        context.drawString(text.c_str(), CRect(line.left + 6, line.top, line.right - 4, line.bottom), kLeftText);
    }
    context.setFrameColor(kBorder);
    context.drawRect(list, kDrawStroked);

    if (!message_.empty())
    {
        context.setFontColor(kWarning);
        context.drawString(message_.c_str(), CRect(8, list.bottom + 2, kWidth - 8, list.bottom + 18), kLeftText);
    }

    const CRect name = nameRect();
    context.setFontColor(kBlackCColor);
    context.drawString(mode_ == Mode::kFolder ? "Folder:" : "Name:", CRect(8, name.top, name.left - 4, name.bottom),
                       kLeftText);
    context.setFillColor(kListBackground);
    context.drawRect(name, kDrawFilled);
    context.setFrameColor(listActive_ ? kBorder : kSelection);
    context.drawRect(name, kDrawStroked);
    // The caret stays in sight: the text moves left as it grows.
    const std::string& text = field_.text();
    const CCoord room = name.getWidth() - 8;
    const CCoord caretAt = context.getStringWidth(text.substr(0, field_.caret()).c_str());
    const CCoord shift = std::max<CCoord>(0, caretAt - room);
    context.setClipRect(CRect(name.left + 1, name.top + 1, name.right - 1, name.bottom - 1));
    const CCoord left = name.left + 4 - shift;
    if (field_.hasSelection())
    {
        const CCoord from = context.getStringWidth(text.substr(0, field_.selectionStart()).c_str());
        const CCoord to = context.getStringWidth(text.substr(0, field_.selectionEnd()).c_str());
        context.setFillColor(CColor(173, 214, 255));
        context.drawRect(CRect(left + from, name.top + 3, left + to, name.bottom - 3), kDrawFilled);
    }
    context.setFontColor(kBlackCColor);
    context.drawString(text.c_str(), CRect(left, name.top, left + context.getStringWidth(text.c_str()) + 2, name.bottom),
                       kLeftText);
    if (!listActive_)
    {
        context.setFrameColor(kBlackCColor);
        const CCoord x = std::floor(left + caretAt) + 0.5;
        context.drawLine(CPoint(x, name.top + 4), CPoint(x, name.bottom - 4));
    }
    context.resetClipRect();

    for (const auto& [rect, label] : {std::pair{cancelRect(), "Cancel"}, std::pair{okRect(), "OK"}})
    {
        context.setFillColor(kButton);
        context.drawRect(rect, kDrawFilled);
        context.setFrameColor(kBorder);
        context.drawRect(rect, kDrawStroked);
        context.setFontColor(kBlackCColor);
        context.drawString(label, rect, kCenterText);
    }
}

} // namespace VSTGUI
