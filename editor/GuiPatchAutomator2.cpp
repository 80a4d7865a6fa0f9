#include "editor/GuiPatchAutomator2.h"

#include <string>

#include "core/CModuleFactory.h"
#include "core/ParameterFieldType.h"
#include "editor/IKvEditorController.h"
#include "editor/KVVSTGUIEditor.h"

namespace
{
gmpi::IMpUnknown* createPatchAutomator()
{
    return static_cast<gmpi::IMpUserInterface2*>(new GuiPatchAutomator2());
}
} // namespace

// Registered by the unit's own initializer; the editor refers to it so that
// the unit is always linked.
extern const int32_t kvPatchAutomatorRegistered = RegisterPlugin(3, L"PatchAutomator", &createPatchAutomator);

GuiPatchAutomator2::~GuiPatchAutomator2()
{
    SetEditor(nullptr);
}

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

void GuiPatchAutomator2::ControllerGone()
{
    editor_ = nullptr;
}

int GuiPatchAutomator2::Register(int moduleHandle, int moduleParamId, int field, GuiModuleWrapper*, int, bool)
{
    for (std::size_t i = 0; i < bindings_.size(); ++i)
    {
        const ParameterInfo2& b = bindings_[i];
        if (b.moduleHandle == moduleHandle && b.moduleParamId == moduleParamId && b.field == field)
            return static_cast<int>(i);
    }
    ParameterInfo2 binding;
    binding.moduleHandle = moduleHandle;
    binding.moduleParamId = moduleParamId;
    binding.field = field;
    binding.parameterHandle = editor_ ? editor_->getParameterHandle(moduleHandle, moduleParamId) : -1;
    bindings_.push_back(binding);
    return static_cast<int>(bindings_.size()) - 1;
}

void GuiPatchAutomator2::Send(int index)
{
    const ParameterInfo2 binding = bindings_[static_cast<std::size_t>(index)];
    std::string bytes;
    if (editor_ && editor_->getParameterValue(binding.parameterHandle, binding.field, bytes))
        pinTransmit(index, static_cast<int32_t>(bytes.size()), bytes.data(), 0);
}

void GuiPatchAutomator2::OnParameterUpdate(int parameterHandle)
{
    for (std::size_t i = 0; i < bindings_.size(); ++i)
    {
        const ParameterInfo2& b = bindings_[i];
        if (b.parameterHandle == parameterHandle && (b.field == FT_VALUE || b.field == FT_NORMALIZED))
            Send(static_cast<int>(i));
    }
}

int32_t GuiPatchAutomator2::initialize()
{
    for (std::size_t i = 0; i < bindings_.size(); ++i)
        Send(static_cast<int>(i));
    return MpGuiBase2::initialize();
}

int32_t GuiPatchAutomator2::setPin(int32_t pin, int32_t voice, int32_t size, const void* data)
{
    if (pin < 0 || static_cast<std::size_t>(pin) >= bindings_.size())
        return gmpi::MP_FAIL;
    const ParameterInfo2 binding = bindings_[static_cast<std::size_t>(pin)];
    if (editor_ && !quiet_)
        editor_->setParameterFromGui(binding.parameterHandle, binding.field, voice, size, data);
    return GuiPinOwner::setPin2(pin, voice, size, data);
}
