#pragma once
// A file selector for opening, saving or choosing a folder. It is shown by a
// file chooser: by default the desktop's (DesktopFileChooser: the desktop
// portal, zenity or kdialog, else the toolkit's own browser in a window of
// the frame's platform); tests put in a chooser of their own. When nothing
// can be shown the selector ends as cancelled.
//
// Nothing here waits for the dialog on the host's user-interface thread:
// run() starts it and returns, the frame's timer polls it, and the delegate
// hears of its end; runModal() serves the editor's window while it waits.
// One dialog per frame at a time. Closing the frame ends its dialog without
// telling anyone. UI thread only.

#include <memory>
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

// One showing of a selector. Destroying it before it ended closes the dialog.
class IFileChooserRun
{
public:
    virtual ~IFileChooserRun() = default;
    // Never blocks: true once the dialog ended, with the chosen paths in
    // files (none when it was cancelled).
    virtual bool poll(std::vector<std::string>& files) = 0;
    // Blocks until the dialog may have moved on, at most `milliseconds`.
    virtual void wait(int milliseconds);
};

// Shows selectors to the user.
class IFileChooser
{
public:
    virtual ~IFileChooser() = default;
    // Opens the dialog and returns at once. The default answers at once
    // through choose(); the answer is still taken up by the next poll.
    virtual std::unique_ptr<IFileChooserRun> start(const CNewFileSelector& selector);
    // An answer given at once: true with the chosen paths, false when cancelled.
    virtual bool choose(const CNewFileSelector& selector, std::vector<std::string>& files) { return false; }
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

    // Opens the dialog and returns at once; the selector keeps itself (and
    // the delegate) alive until the dialog ends, then sends kSelectEndMessage
    // to the delegate (if any), with the chosen files in the selector. The
    // frame's timer (CFrame::platformOnIdle) looks for that end. False, with
    // a log line and no message, when the selector has no frame or its frame
    // already shows a dialog. If the frame closes first, the dialog is ended
    // and nobody is told.
    bool run(CBaseObject* delegate);
    // Opens the dialog and returns when it ended: true when files were
    // chosen. The frame's window is served meanwhile (it repaints); without
    // a window this blocks. False at once when the frame already shows a
    // dialog, and false when the frame closes first (the dialog is ended).
    bool runModal();
    // A dialog of this selector is open.
    bool isRunning() const { return run_ != nullptr; }

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

    // For the frame: ends the run() dialogs of that frame that are over and
    // tells their delegates; ends every dialog of a frame that closes.
    static void pollRunning(CFrame* frame);
    static void endRunning(CFrame* frame);

private:
    CNewFileSelector(CFrame* frame, Style style) : frame_(frame), style_(style) {}
    // Starts the dialog and enters it in the list of open ones; false when
    // the frame already shows one.
    bool open(const char* how);
    // Takes the dialog out of the list; keeps the chosen files.
    void closeDialog(std::vector<std::string>* files);

    CFrame* frame_;
    Style style_;
    UTF8String title_;
    UTF8String initialDirectory_;
    UTF8String defaultSaveName_;
    std::vector<CFileExtension> extensions_;
    int32_t defaultExtension_ = -1;
    std::vector<std::string> selected_;
    std::unique_ptr<IFileChooserRun> run_;
    bool modal_ = false;
    CBaseObject* delegate_ = nullptr;
};

} // namespace VSTGUI
