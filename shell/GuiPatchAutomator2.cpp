#include "shell/GuiPatchAutomator2.h"

#include "core/ParameterFieldType.h"
#include "shell/ADelayController.h"
#include "shell/KVVSTGUIEditor.h"

GuiPatchAutomator2::~GuiPatchAutomator2()
{
    if (editor_ && editor_->Controller())
        editor_->Controller()->RemovePatchAutomator(this);
}

// Moving to another editor moves the registration to that editor's controller.
void GuiPatchAutomator2::SetEditor(KVVSTGUIEditor* editor)
{
    if (editor_ == editor)
        return;
    if (editor_ && editor_->Controller())
        editor_->Controller()->RemovePatchAutomator(this);
    editor_ = editor;
    if (editor_ && editor_->Controller())
        editor_->Controller()->AddPatchAutomator(this);
}

void GuiPatchAutomator2::OnParameterUpdate(int handle)
{
    if (editor_ == nullptr)
        return;
    for (const auto& binding : bindings_)
    {
        if (binding.parameterHandle != handle || (binding.field != FT_VALUE && binding.field != FT_NORMALIZED))
            continue;
        std::string bytes;
        if (editor_->getParameterValue(handle, binding.field, bytes))
            SendPin(binding, bytes);
    }
}

std::string GuiPatchAutomator2::PinValue(int pin) const
{
    const auto found = pinValues_.find(pin);
    return found == pinValues_.end() ? std::string() : found->second;
}

void GuiPatchAutomator2::SendPin(const Binding& binding, const std::string& bytes)
{
    pinValues_[binding.pin] = bytes;
}
