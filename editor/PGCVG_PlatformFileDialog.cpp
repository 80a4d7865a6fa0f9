#include "editor/PGCVG_PlatformFileDialog.h"

#include <string>

#include "editor/EditorLog.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CNewFileSelector.h"

PGCVG_PlatformFileDialog::PGCVG_PlatformFileDialog(VSTGUI::CNewFileSelector* selector, VSTGUI::CView* host)
    : selector_(selector), host_(host)
{
}

PGCVG_PlatformFileDialog::~PGCVG_PlatformFileDialog()
{
    selector_->forget();
}

int32_t PGCVG_PlatformFileDialog::AddExtension(const char* extension, const char* description)
{
    const std::string ext = extension ? extension : "";
    std::string text = description ? description : "";
    if (text.empty())
        text = (ext == "*" ? std::string("All") : ext) + " Files";
    selector_->setDefaultExtension(VSTGUI::CFileExtension(text, ext));
    return gmpi::MP_OK;
}

int32_t PGCVG_PlatformFileDialog::SetInitialFilename(const char* text)
{
    selector_->setDefaultSaveName(text ? text : "");
    return gmpi::MP_OK;
}

int32_t PGCVG_PlatformFileDialog::setInitialDirectory(const char* text)
{
    selector_->setInitialDirectory(text ? text : "");
    return gmpi::MP_OK;
}

int32_t PGCVG_PlatformFileDialog::Show(gmpi::IMpUnknown* returnString)
{
    void* face = nullptr;
    if (returnString == nullptr || returnString->queryInterface(gmpi::MP_IID_RETURNSTRING, &face) != gmpi::MP_OK ||
        face == nullptr)
        return gmpi::MP_NOSUPPORT;
    static_cast<gmpi::IMpUnknown*>(face)->release();
    VSTGUI::CFrame* frame = host_ && host_->getFrame() ? host_->getFrame() : selector_->getFrame();
    if (ModalGuard::Busy(frame))
    {
        EditorLog("a file dialog was asked for while another menu or dialog of this editor is open: not shown.");
        return gmpi::MP_FAIL;
    }
    bool chosen = false;
    {
        ModalGuard modal(frame);
        chosen = selector_->runModal();
    }
    const char* file = chosen ? selector_->getSelectedFile(0) : nullptr;
    if (file == nullptr)
        return gmpi::MP_FAIL;
    return WriteReturnString(returnString, file);
}
