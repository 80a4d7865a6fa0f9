#include "editor/PGCC_PlatformTextEntry.h"

#include <cmath>
#include <memory>

#include "editor/EditorLog.h"
#include "editor/toolkit/CFrame.h"

namespace GmpiGuiHosting
{

PGCC_PlatformTextEntry::PGCC_PlatformTextEntry(VSTGUI::CView* host, int32_t originX, int32_t originY)
    : host_(host), originX_(originX), originY_(originY)
{
}

int32_t PGCC_PlatformTextEntry::SetText(const char* text)
{
    text_ = text ? text : "";
    return gmpi::MP_OK;
}

int32_t PGCC_PlatformTextEntry::GetText(gmpi::IMpUnknown* returnString)
{
    return WriteReturnString(returnString, text_);
}

int32_t PGCC_PlatformTextEntry::ShowAsync(const gmpi_gui::Rect* rect, gmpi::IMpUnknown* callback)
{
    void* face = nullptr;
    if (callback == nullptr || callback->queryInterface(gmpi_gui::KV_IID_COMPLETION_CALLBACK, &face) != gmpi::MP_OK ||
        face == nullptr)
        return gmpi::MP_NOSUPPORT;
    auto* completion = static_cast<gmpi_gui::IMpCompletionCallback*>(face);
    const auto finish = [completion](int32_t result) {
        completion->release();
        return result;
    };
    VSTGUI::CFrame* frame = host_ ? host_->getFrame() : nullptr;
    if (rect == nullptr || frame == nullptr || !std::isfinite(rect->left) || !std::isfinite(rect->top) ||
        !std::isfinite(rect->right) || !std::isfinite(rect->bottom))
        return finish(gmpi::MP_FAIL);
    if (ModalGuard::Busy(frame))
    {
        EditorLog("a text box was asked for while another menu or dialog of this editor is open: not shown.");
        return finish(gmpi::MP_FAIL);
    }
    // Whole pixels, as the box is placed.
    const auto whole = [](double v) { return std::trunc(v); };
    const double x = whole(originX_ + static_cast<double>(rect->left));
    const double y = whole(originY_ + static_cast<double>(rect->top));
    const double width = whole(static_cast<double>(rect->right) - rect->left);
    const double height = whole(static_cast<double>(rect->bottom) - rect->top);
    // The box ends later, from the window's events; this object and the
    // callback are held until then. A box cancelled (the editor closing,
    // the host hiding its window) calls nothing and keeps the text.
    addRef();
    auto modal = std::make_shared<ModalGuard>(frame);
    auto returned = std::make_shared<bool>(false);
    auto notShown = std::make_shared<bool>(false);
    frame->openTextBox(VSTGUI::CRect(x, y, x + width, y + height), text_,
                       [this, completion, modal, returned, notShown](bool ended, const std::string& text, int32_t) {
                           if (!ended && !*returned)
                               *notShown = true;
                           if (ended)
                           {
                               text_ = text;
                               completion->OnComplete(0);
                           }
                           completion->release();
                           release();
                       });
    *returned = true;
    return *notShown ? gmpi::MP_FAIL : gmpi::MP_OK;
}

} // namespace GmpiGuiHosting
