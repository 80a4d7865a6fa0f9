// Building the editor from the GUI patch document, and tearing it down.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <tinyxml.h>

#include "core/CModuleFactory.h"
#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"
#include "core/RawConversions.h"
#include "core/SafeXmlText.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "editor/BuiltInGuiModules.h"
#include "editor/EditorLog.h"
#include "editor/GuiModuleWrapperVstGui.h"
#include "editor/VG_module4.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/VG_Container.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CResourceDescription.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
// Map keys of the hidden automators, one per open: -100, -101, ...
int nextPatchAutomatorHandle = -100;

constexpr const char* kContainerType = "ContainerV";

// A decimal attribute; a missing or non-numeric one keeps the default.
int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    const char* text = element->Attribute(name);
    if (text == nullptr || *text == 0)
        return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || value < INT32_MIN || value > INT32_MAX)
        return fallback;
    return static_cast<int>(value);
}

// The raw value of a default text, read by one rule for every datatype;
// false when the text is no value of the datatype. A bool reads "true" and
// "false" as well as numbers.
bool DefaultToRaw(int datatype, const std::string& text, std::string& raw)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    switch (datatype)
    {
    case 0: // enum: as int
    case 8: {
        errno = 0;
        const long v = std::strtol(begin, &end, 10);
        while (end && *end == ' ')
            ++end;
        if (end == begin || *end != 0 || errno != 0 || v < INT32_MIN || v > INT32_MAX)
            return false;
        break;
    }
    case 3:
    case 6: {
        double v = 0.0;
        if (!ValueRule::ParseNumber(text, v))
            return false;
        break;
    }
    case 4:
        if (text != "0" && text != "1" && text != "true" && text != "false")
            return false;
        raw = std::string(1, text == "1" || text == "true" ? '\1' : '\0');
        return true;
    case 1:
        break;
    default:
        // MIDI, blob and others take no default here.
        return false;
    }
    raw = ParseToRaw(datatype, text);
    return true;
}
} // namespace

std::wstring KVVSTGUIEditor::ResourceFolder() const
{
    return controller_ ? controller_->ResourceFolder() : std::wstring();
}

bool KVVSTGUIEditor::open(void* parent, PlatformType platformType)
{
    close();
    EnsureBuiltInGuiModules();
    RegisterBundleDescriptions();

    TiXmlDocument document;
    if (!ParseDocument(document))
        return false;
    CResourceDescription::setResourceFolder(WStringToUtf8(ResourceFolder()));

    const TiXmlElement* root = document.RootElement();
    const TiXmlElement* window = root->ValueStr() == "Window" ? root : root->FirstChildElement("Window");
    if (window == nullptr)
        EditorLog("gui.kv.xml has no Window: the editor is empty.");
    else if (skinImages_.empty())
        ReadSkins(window);

    const TiXmlElement* canvas = window ? window->FirstChildElement("Canvas") : nullptr;
    if (window && canvas == nullptr)
        EditorLog("gui.kv.xml has no Canvas: the editor is empty.");
    int width = 10;
    int height = 10;
    CanvasSize(canvas, width, height);
    const char* skin = canvas ? canvas->Attribute("Skin") : nullptr;
    skinName_ = skin ? skin : "";
    rect = Steinberg::ViewRect(0, 0, width, height);

    frame_ = new CFrame(CRect(0, 0, width, height), this);
    frame_->enableTooltips(true);

    if (CBitmap* background = loadBitmapResource(getBitmapInfo(L"background")))
    {
        auto* view = new CView(CRect(0, 0, background->getWidth(), background->getHeight()));
        view->setBackground(background);
        frame_->addView(view);
        background->forget();
    }
    else
    {
        EditorLog("no \"background\" image in skin \"%s\": the canvas has no background.", skinName_.c_str());
    }

    // Opening edits nothing: defaults and the values the automator hands
    // out travel along lines, and may reach other bound pins on the way.
    GuiModuleWrapper* automator = BuildAutomator();
    if (automator_)
        automator_->SetQuiet(true);
    if (canvas)
    {
        BuildModules(frame_, canvas, 0, 0, 0);
        ConnectModules(canvas, automator, 0);
    }
    // Ascending handles: the automator (negative key) delivers the bound values first.
    for (auto& [handle, wrapper] : modules_)
        wrapper->initialize();

    if (parent != nullptr && !openFrame(parent, platformType))
        EditorLog("the editor's window could not be shown.");
    Measure();
    Arrange();
    if (automator_)
        automator_->SetQuiet(false);
    return true;
}

// The bundle describes the pins of the GUI modules it uses in the plug-in
// list of its DSP patch document. Building the graph registers it; an editor
// opened before any graph was built registers it itself.
void KVVSTGUIEditor::RegisterBundleDescriptions() const
{
    CModuleFactory* registry = CModuleFactory::Instance();
    if (registry->DocumentPluginListRegistered() || controller_ == nullptr)
        return;
    const std::string text = controller_->BundleDocument("dsp.kv.xml");
    if (text.empty() || !IsSafeXmlText(text))
        return;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return;
    if (TiXmlElement* pluginList = document.FirstChildElement("PluginList"))
        registry->RegisterDocumentPluginList(pluginList);
}

bool KVVSTGUIEditor::ParseDocument(TiXmlDocument& document) const
{
    const std::string text = controller_ ? controller_->BundleDocument("gui.kv.xml") : std::string();
    if (text.empty())
    {
        EditorLog("gui.kv.xml is missing or empty: no editor.");
        return false;
    }
    if (!IsSafeXmlText(text))
    {
        EditorLog("gui.kv.xml is not a text the parser can take (nested too deep, or a zero byte): no editor.");
        return false;
    }
    document.Parse(text.c_str());
    if (document.Error() || document.RootElement() == nullptr)
    {
        EditorLog("gui.kv.xml does not parse (%s, line %d): no editor.", document.ErrorDesc(), document.ErrorRow());
        return false;
    }
    return true;
}

void KVVSTGUIEditor::CanvasSize(const TiXmlElement* canvas, int& width, int& height)
{
    width = canvas ? IntAttribute(canvas, "Width", 10) : 10;
    height = canvas ? IntAttribute(canvas, "Height", 10) : 10;
    if (width < 1 || height < 1 || width > kMaxCanvasSize || height > kMaxCanvasSize)
    {
        EditorLog("Canvas size %d x %d is out of range: kept within 1 to %d.", width, height, kMaxCanvasSize);
        width = std::clamp(width, 1, kMaxCanvasSize);
        height = std::clamp(height, 1, kMaxCanvasSize);
    }
}

Steinberg::tresult PLUGIN_API KVVSTGUIEditor::getSize(Steinberg::ViewRect* size)
{
    if (size == nullptr)
        return Steinberg::kInvalidArgument;
    if (!sizeRead_ && frame_ == nullptr)
    {
        // Quietly: open says what is wrong with the document.
        sizeRead_ = true;
        const std::string text = controller_ ? controller_->BundleDocument("gui.kv.xml") : std::string();
        TiXmlDocument document;
        if (!text.empty() && IsSafeXmlText(text))
            document.Parse(text.c_str());
        const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
        const TiXmlElement* window =
            root == nullptr ? nullptr : root->ValueStr() == "Window" ? root : root->FirstChildElement("Window");
        if (const TiXmlElement* canvas = window ? window->FirstChildElement("Canvas") : nullptr)
        {
            int width = 0;
            int height = 0;
            CanvasSize(canvas, width, height);
            rect = Steinberg::ViewRect(0, 0, width, height);
        }
    }
    *size = rect;
    return Steinberg::kResultTrue;
}

GuiModuleWrapper* KVVSTGUIEditor::BuildAutomator()
{
    Module_Info* type = CModuleFactory::Instance()->GetById(L"PatchAutomator");
    gmpi::IMpUnknown* object = type ? type->Build(3, false) : nullptr;
    if (object == nullptr)
    {
        EditorLog("the parameter automator is not registered: no parameter bindings.");
        return nullptr;
    }
    GuiModuleWrapper* result = nullptr;
    auto wrapper = std::make_unique<GuiModuleWrapperVstGui>(this, type, -1, nullptr, object);
    if (wrapper->Plugin())
    {
        wrapper->Plugin()->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(wrapper.get()));
        result = wrapper.get();
        modules_.emplace(nextPatchAutomatorHandle--, std::move(wrapper));
    }
    void* face = nullptr;
    if (object->queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &face) == gmpi::MP_OK)
    {
        if (auto* patchAutomator = dynamic_cast<GuiPatchAutomator2*>(static_cast<gmpi::IMpUserInterface2*>(face)))
        {
            patchAutomator->SetEditor(this);
            automator_ = patchAutomator;
        }
        static_cast<gmpi::IMpUnknown*>(face)->release();
    }
    object->release();
    return result;
}

void KVVSTGUIEditor::BuildModules(CViewContainer* container, const TiXmlElement* element, int offsetX, int offsetY,
                                  int depth)
{
    const TiXmlElement* modules = element->FirstChildElement("Modules");
    for (const TiXmlElement* module = modules ? modules->FirstChildElement("Module") : nullptr; module;
         module = module->NextSiblingElement("Module"))
    {
        const int height = IntAttribute(module, "Height", -1);
        const int width = IntAttribute(module, "Width", -1);
        const int canvasTop = IntAttribute(module, "Canvas.Top", 0);
        const int canvasLeft = IntAttribute(module, "Canvas.Left", 0);
        const int id = IntAttribute(module, "Id", 0);
        const char* typeText = module->Attribute("Type");
        const char* title = module->Attribute("Title");
        const std::string type = typeText ? typeText : "";

        Module_Info* info = CModuleFactory::Instance()->GetById(ToWstring(type));
        if (info == nullptr)
        {
            EditorLog("module %d: unknown type \"%s\": left out.", id, type.c_str());
            continue;
        }

        // A module that draws itself through the portable graphics interfaces first.
        gmpi::IMpUnknown* object = info->Build(2, false);
        std::unique_ptr<GuiModuleWrapper> wrapper;
        if (object)
        {
            wrapper = std::make_unique<VG_module4>(this, info, id, title, object);
        }
        else if ((object = info->Build(3, false)) != nullptr)
        {
            wrapper = std::make_unique<GuiModuleWrapperVstGui>(this, info, id, title, object);
            if (wrapper->Plugin())
                wrapper->Plugin()->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(wrapper.get()));
        }
        else
        {
            wrapper = std::make_unique<GuiModuleWrapperVstGui>(this, info, id, title, nullptr);
            if (!info->Build_BackwardCompatible(wrapper.get()))
            {
                EditorLog("module %d: type \"%s\" has no GUI: left out.", id, type.c_str());
                continue;
            }
        }

        GuiModuleWrapper* placed = wrapper.get();
        if (!AddModule(id, std::move(wrapper)))
        {
            EditorLog("module %d: the handle is taken by an earlier module: left out.", id);
            if (object)
                object->release();
            continue;
        }

        const int left = canvasLeft + offsetX;
        const int top = canvasTop + offsetY;
        if (CView* view = placed->getVstGuiView())
        {
            container->addView(view);
            placed->AdjustRefCount();
            if (width >= 0 && height >= 0)
            {
                const bool sane = width <= kMaxCanvasSize && height <= kMaxCanvasSize &&
                                  std::abs(static_cast<long>(left)) <= kMaxCoordinate &&
                                  std::abs(static_cast<long>(top)) <= kMaxCoordinate;
                if (sane)
                    placed->setRect(MpRect{top, top + height, left, left + width});
                else
                    EditorLog("module %d: place %d,%d size %d x %d is out of range: not placed.", id, left, top,
                              width, height);
            }
        }

        if (const TiXmlElement* plugs = module->FirstChildElement("Plugs"))
        {
            for (const TiXmlElement* plug = plugs->FirstChildElement("Plug"); plug;
                 plug = plug->NextSiblingElement("Plug"))
            {
                if (IntAttribute(plug, "AutoCopy", -1) >= 0)
                    placed->AddAutoCopy();
            }
        }

        if (type == kContainerType)
        {
            auto* containerModule = dynamic_cast<VG_Container*>(placed->Plugin());
            if (containerModule)
            {
                containerModule->SetOffsets(IntAttribute(module, "OffsetX", 0), IntAttribute(module, "OffsetY", 0));
                BuildModules(containerModule, module, left, top, depth + 1);
            }
        }
        if (object)
            object->release();
    }
}

void KVVSTGUIEditor::ConnectModules(const TiXmlElement* element, GuiModuleWrapper* automator, int depth)
{
    if (const TiXmlElement* lines = element->FirstChildElement("Lines"))
    {
        for (const TiXmlElement* line = lines->FirstChildElement("Line"); line;
             line = line->NextSiblingElement("Line"))
        {
            const int fromHandle = IntAttribute(line, "From", -1);
            const int toHandle = IntAttribute(line, "To", -1);
            GuiModuleWrapper* from = HandleToObject(fromHandle);
            GuiModuleWrapper* to = HandleToObject(toHandle);
            if (from == nullptr || to == nullptr)
            {
                EditorLog("line from %d to %d names a module that is not there: ignored.", fromHandle, toHandle);
                continue;
            }
            const int fromPin = IntAttribute(line, "FromPin", 0);
            const int toPin = IntAttribute(line, "ToPin", 0);
            from->AddConnection(fromPin, to, toPin);
            to->AddConnection(toPin, from, fromPin);
        }
    }

    const TiXmlElement* modules = element->FirstChildElement("Modules");
    for (const TiXmlElement* module = modules ? modules->FirstChildElement("Module") : nullptr; module;
         module = module->NextSiblingElement("Module"))
    {
        const char* type = module->Attribute("Type");
        if (type && std::strcmp(type, kContainerType) == 0)
            ConnectModules(module, automator, depth + 1);
        if (GuiModuleWrapper* wrapper = HandleToObject(IntAttribute(module, "Id", 0)))
            ApplyPlugs(module, wrapper, automator);
    }
}

// Plug defaults, pin defaults and parameter bindings of one module.
void KVVSTGUIEditor::ApplyPlugs(const TiXmlElement* module, GuiModuleWrapper* wrapper, GuiModuleWrapper* automator)
{
    Module_Info* info = wrapper->ModuleType();
    if (info == nullptr)
        return;
    const int handle = wrapper->Handle();
    const auto& pins = info->GetGuiPinDescriptions();

    auto setDefault = [&](const InterfaceObject* pin, const std::string& text) {
        const int datatype = pin->GetDatatype() == 0 ? 8 : static_cast<int>(pin->GetDatatype());
        std::string raw;
        if (!DefaultToRaw(datatype, text, raw))
        {
            EditorLog("module %d pin %d: default \"%s\" is not a value of its datatype: not set.", handle,
                      pin->getPlugDescID(), text.c_str());
            return false;
        }
        wrapper->setPin(nullptr, -1, pin->getPlugDescID(), 0, static_cast<int>(raw.size()), raw.data());
        return true;
    };

    std::vector<int> plugDefaults;
    if (const TiXmlElement* plugs = module->FirstChildElement("Plugs"))
    {
        int index = 0;
        for (const TiXmlElement* plug = plugs->FirstChildElement("Plug"); plug;
             plug = plug->NextSiblingElement("Plug"), ++index)
        {
            index = IntAttribute(plug, "Id", index);
            const char* value = plug->Attribute("Default");
            if (value == nullptr)
                continue;
            const auto found = pins.find(index);
            if (found == pins.end())
            {
                EditorLog("module %d: plug %d has no pin: its default is ignored.", handle, index);
                continue;
            }
            if (setDefault(found->second, value))
                plugDefaults.push_back(index);
        }
    }

    auto* automatorModule = automator ? dynamic_cast<GuiPatchAutomator2*>(automator->Plugin()) : nullptr;
    for (const auto& [pinId, pin] : pins)
    {
        if (pin->GetDirection() == DR_IN && !wrapper->isPinConnected(pinId) &&
            std::find(plugDefaults.begin(), plugDefaults.end(), pinId) == plugDefaults.end() &&
            !pin->GetDefaultVal().empty())
            setDefault(pin, WStringToUtf8(pin->GetDefaultVal()));

        if (automatorModule == nullptr)
            continue;
        const uint32_t flags = pin->GetFlags();
        // Structured bindings are captured by copy: clang takes no reference to them.
        auto bind = [&, pinId = pinId, pin = pin](int moduleParamId) {
            const int automatorPin = automatorModule->Register(handle, moduleParamId, pin->getParameterFieldId(),
                                                               wrapper, pinId, false);
            automator->AddConnection(automatorPin, wrapper, pinId);
            wrapper->AddConnection(pinId, automator, automatorPin);
        };
        if (flags & (IO_UI_DUAL_FLAG | IO_PATCH_STORE))
            bind(pin->getParameterId());
        if (flags & IO_HOST_CONTROL)
            bind(-1 - pin->getHostConnect());
    }
}

void KVVSTGUIEditor::Measure()
{
    if (frame_ == nullptr)
        return;
    for (int32_t i = 0; i < frame_->getNbViews(); ++i)
    {
        if (GuiModuleWrapper* wrapper = Lookup(frame_->getView(static_cast<uint32_t>(i))))
        {
            MpSize desired;
            wrapper->DoMeasure(MpSize{50000, 50000}, desired);
        }
    }
}

void KVVSTGUIEditor::Arrange()
{
    if (frame_ == nullptr)
        return;
    for (int32_t i = 0; i < frame_->getNbViews(); ++i)
    {
        if (GuiModuleWrapper* wrapper = Lookup(frame_->getView(static_cast<uint32_t>(i))))
            wrapper->DoArrange(0, 0);
    }
}

void KVVSTGUIEditor::close()
{
    // Closing edits nothing either: a control that ends an edit as it goes
    // (a text field losing its window) keeps it to itself.
    if (automator_)
        automator_->SetQuiet(true);
    // The window goes now; what is open on it ends as cancelled.
    embedding_.remove();
    automator_ = nullptr;
    Closing closing;
    closing.modules = std::move(modules_);
    modules_.clear();
    closing.frame = std::exchange(frame_, nullptr);
    // A module of this editor may be waiting inside a host's call (its menu
    // or file dialog, while the host's loop turns): it and its frame go when
    // the call has left.
    if (hostCalls_ > 0)
        closing_.push_back(std::move(closing));
    else
        LetGo(closing);
}

void KVVSTGUIEditor::LetGo(Closing& closing)
{
    // Wrappers first: each lets go of its module; views then die with the frame.
    auto modules = std::move(closing.modules);
    modules.clear();
    if (closing.frame == nullptr)
        return;
    VSTGUI::CFrame* frame = std::exchange(closing.frame, nullptr);
    frame->removeAll();
    frame->close();
    frame->forget();
}

void KVVSTGUIEditor::enterHostCall()
{
    addRef();
    ++hostCalls_;
}

void KVVSTGUIEditor::leaveHostCall()
{
    if (--hostCalls_ == 0)
    {
        auto closing = std::move(closing_);
        closing_.clear();
        for (Closing& c : closing)
            LetGo(c);
    }
    // Last: it may be the editor's last reference.
    release();
}
