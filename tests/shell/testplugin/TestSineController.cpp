#include "TestSineController.h"

#include <algorithm>
#include <string>

#include "TestSineEditor.h"
#include "TestSineIds.h"
#include "TestSineSettings.h"
#include "pluginterfaces/base/ustring.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API TestSineController::initialize(FUnknown* context)
{
    if (TestSineSettings::Get().fails("controllerInitialize"))
        return kResultFalse;
    const tresult result = EditController::initialize(context);
    if (result != kResultOk)
        return result;
    parameters.addParameter(STR16("Gain"), nullptr, 0, TestSine::kDefaultGain, ParameterInfo::kCanAutomate,
                            TestSine::kGainId);
    parameters.addParameter(STR16("Controller messages"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kControllerMessagesId);
    parameters.addParameter(STR16("Processor messages"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kProcessorMessagesId);
    parameters.addParameter(STR16("Tempo"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, TestSine::kTempoId);
    parameters.addParameter(STR16("Editor clicks"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kEditorClicksId);
    parameters.addParameter(STR16("Editor menu"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, TestSine::kEditorMenuId);
    parameters.addParameter(STR16("Editor text end"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kEditorTextEndId);
    parameters.addParameter(STR16("Editor text"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, TestSine::kEditorTextId);
    parameters.addParameter(STR16("Program"), nullptr, TestSine::kProgramSteps, 0.0, ParameterInfo::kIsProgramChange,
                            TestSine::kProgramId);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::setComponentState(IBStream* state)
{
    float gain = 0.0f;
    if (TestSineSettings::Get().fails("setComponentState") || !TestSine::ReadGainState(state, gain))
        return kResultFalse;
    setParamNormalized(TestSine::kGainId, gain);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::connect(IConnectionPoint* other)
{
    const tresult result = EditController::connect(other);
    if (result == kResultOk)
        sendMessageID(TestSine::kHelloMessage);
    return result;
}

tresult PLUGIN_API TestSineController::notify(IMessage* message)
{
    if (!message || !message->getMessageID())
        return kInvalidArgument;
    const std::string id = message->getMessageID();
    if (id != TestSine::kHelloMessage && id != TestSine::kHelloBackMessage)
        return EditController::notify(message);
    ++messagesReceived_;
    setParamNormalized(TestSine::kControllerMessagesId, std::min(messagesReceived_, 100) / 100.0);
    if (id == TestSine::kHelloMessage)
        sendMessageID(TestSine::kHelloBackMessage);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::getMidiControllerAssignment(int32 busIndex, int16 /*channel*/,
                                                                   CtrlNumber midiControllerNumber, ParamID& id)
{
    if (busIndex != 0 || midiControllerNumber != TestSine::kMidiVolume)
        return kResultFalse;
    id = TestSine::kGainId;
    return kResultOk;
}

IPlugView* PLUGIN_API TestSineController::createView(FIDString name)
{
    if (name == nullptr || std::string(name) != ViewType::kEditor)
        return nullptr;
    return new TestSineEditor(this);
}

tresult PLUGIN_API TestSineController::getParamStringByValue(ParamID id, ParamValue value, String128 string)
{
    if (id != TestSine::kEditorTextId)
        return EditController::getParamStringByValue(id, value, string);
    UString(string, 128).fromAscii("");
    // UTF-8 to UTF-16, for the test to compare.
    std::u16string wide;
    for (std::size_t i = 0; i < editorText_.size();)
    {
        const auto lead = static_cast<unsigned char>(editorText_[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x3f >> (length - 1));
        for (int k = 1; k < length && i + k < editorText_.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(editorText_[i + k]) & 0x3f);
        i += length;
        if (point >= 0x10000)
        {
            wide += static_cast<char16_t>(0xd800 + ((point - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xdc00 + ((point - 0x10000) & 0x3ff));
        }
        else
            wide += static_cast<char16_t>(point);
    }
    const std::size_t count = std::min<std::size_t>(wide.size(), 127);
    for (std::size_t i = 0; i < count; ++i)
        string[i] = wide[i];
    string[count] = 0;
    return kResultOk;
}

void TestSineController::editorClicked()
{
    ++editorClicks_;
    setParamNormalized(TestSine::kEditorClicksId, std::min(editorClicks_, 100) / 100.0);
}

void TestSineController::editorMenuChosen(int index)
{
    setParamNormalized(TestSine::kEditorMenuId, std::clamp(index + 1, 0, 10) / 10.0);
}

void TestSineController::editorTextEdited(const std::string& text, int code)
{
    editorText_ = text;
    setParamNormalized(TestSine::kEditorTextEndId, std::clamp(code + 2, 0, 10) / 10.0);
}

void TestSineController::editorDragged(double value)
{
    setParamNormalized(TestSine::kGainId, value);
    beginEdit(TestSine::kGainId);
    performEdit(TestSine::kGainId, value);
    endEdit(TestSine::kGainId);
}
