#pragma once
// A file selector for opening, saving or choosing a folder. It is run by a
// file chooser: by default the desktop's own dialog program (zenity, else
// kdialog) as a child process; tests put in a chooser of their own. Without
// a dialog program the selector ends as cancelled. UI thread only.

#include <vector>

#include "editor/toolkit/CBaseObject.h"

namespace VSTGUI {

class CFileExtension
{
public:
    CFileExtension(const UTF8String& description, const UTF8String& extension, const UTF8String& mimeType = "",
                   int32_t macType = 0)
        : description_(description), extension_(extension), mimeType_(mimeType)
    {
    }
    const UTF8String& getDescription() const { return description_; }
    // Without the dot ("xml"); "*" stands for any file.
    const UTF8String& getExtension() const { return extension_; }
    const UTF8String& getMimeType() const { return mimeType_; }
    bool operator==(const CFileExtension& other) const
    {
        return description_ == other.description_ && extension_ == other.extension_;
    }

private:
    UTF8String description_;
    UTF8String extension_;
    UTF8String mimeType_;
};

class CNewFileSelector;

// Shows the selector to the user; true with the chosen paths, false when cancelled.
class IFileChooser
{
public:
    virtual ~IFileChooser() = default;
    virtual bool choose(const CNewFileSelector& selector, std::vector<std::string>& files) = 0;
};

class CNewFileSelector : public CBaseObject
{
public:
    enum Style : int32_t
    {
        kSelectFile = 0,
        kSelectSaveFile = 1,
        kSelectDirectory = 2,
    };

    // The message sent to the delegate of run() when the selector ends; one
    // object, so delegates may compare its address.
    static constexpr char kSelectEndMessage[] = "CNewFileSelector Select End Message";

    // Null for an unknown style. The caller owns the new selector.
    static CNewFileSelector* create(CFrame* parent = nullptr, Style style = kSelectFile);

    // Runs the selector, then sends kSelectEndMessage to the delegate (if
    // any); true when files were chosen.
    bool run(CBaseObject* delegate);
    bool runModal();

    void setTitle(const UTF8String& title) { title_ = title; }
    void setInitialDirectory(const UTF8String& path) { initialDirectory_ = path; }
    void setDefaultSaveName(const UTF8String& name) { defaultSaveName_ = name; }
    void setDefaultExtension(const CFileExtension& extension);
    void addFileExtension(const CFileExtension& extension);

    Style getStyle() const { return style_; }
    const UTF8String& getTitle() const { return title_; }
    const UTF8String& getInitialDirectory() const { return initialDirectory_; }
    const UTF8String& getDefaultSaveName() const { return defaultSaveName_; }
    // The default extension, or null.
    const CFileExtension* getDefaultExtension() const;
    const std::vector<CFileExtension>& getExtensions() const { return extensions_; }
    CFrame* getFrame() const { return frame_; }

    uint32_t getNumSelectedFiles() const { return uint32_t(selected_.size()); }
    // Null past the last file.
    UTF8StringPtr getSelectedFile(uint32_t index) const;

    // Replaces the desktop dialog (not owned); null puts it back.
    static void setChooser(IFileChooser* chooser);
    static IFileChooser& getDesktopChooser();

private:
    CNewFileSelector(CFrame* frame, Style style) : frame_(frame), style_(style) {}

    CFrame* frame_;
    Style style_;
    UTF8String title_;
    UTF8String initialDirectory_;
    UTF8String defaultSaveName_;
    std::vector<CFileExtension> extensions_;
    int32_t defaultExtension_ = -1;
    std::vector<std::string> selected_;
};

} // namespace VSTGUI
