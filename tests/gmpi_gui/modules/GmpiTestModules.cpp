#include "GmpiTestModules.h"

#include <cstdio>
#include <cstdlib>

namespace gmpi_test
{
namespace
{
// Text handed back by the host.
class ReturnString final : public gmpi::IMpReturnString
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_RETURNSTRING && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t setData(const char* data, int32_t size) override
    {
        text.assign(data, static_cast<std::size_t>(size));
        return gmpi::MP_OK;
    }
    std::string text;
};

std::string Number(double value);

// Told when the text box closes, later than ShowAsync returns: it keeps the
// text entry until then and logs what the box left.
class Completion final : public gmpi_gui::IMpCompletionCallback
{
public:
    Completion(TestPointerModule& module, gmpi_gui::IMpPlatformText* entry) : module_(module), entry_(entry)
    {
        entry_->addRef();
    }
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi_gui::KV_IID_COMPLETION_CALLBACK && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        addRef();
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return ++count_; }
    int32_t release() override
    {
        const int32_t left = --count_;
        if (left == 0)
        {
            entry_->release();
            delete this;
        }
        return left;
    }
    void OnComplete(int32_t value) override
    {
        ReturnString typed;
        entry_->GetText(&typed);
        module_.text = typed.text;
        module_.Log("text " + Number(gmpi::MP_OK) + " " + Number(value) + " " + typed.text);
    }
private:
    ~Completion() = default;
    TestPointerModule& module_;
    gmpi_gui::IMpPlatformText* entry_;
    int32_t count_ = 1;
};

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}
} // namespace

int32_t GraphicsModuleBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    if (iid == gmpi_gui::KV_IID_GRAPHICS_MPGUI)
    {
        *returnInterface = static_cast<gmpi_gui::IMpGraphics*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    return MpGuiBase2::queryInterface(iid, returnInterface);
}

int32_t GraphicsModuleBase::release()
{
    const int32_t left = --count_;
    if (left == 0)
        delete this;
    return left;
}

int32_t GraphicsModuleBase::setHost(gmpi::IMpUnknown* host)
{
    void* face = nullptr;
    if (host && host->queryInterface(gmpi_gui::KV_IID_GRAPHICS_HOST, &face) == gmpi::MP_OK && face)
    {
        graphicsHost_ = static_cast<gmpi_gui::IMpGraphicsHost*>(face);
        graphicsHost_->release();
    }
    return MpGuiBase2::setHost(host);
}

int32_t GraphicsModuleBase::measure(gmpi_gui::Size availableSize, gmpi_gui::Size* returnDesiredSize)
{
    *returnDesiredSize = availableSize;
    return gmpi::MP_OK;
}

int32_t GraphicsModuleBase::arrange(gmpi_gui::Rect finalRect)
{
    arranged_ = finalRect;
    Log("arrange " + Number(finalRect.right - finalRect.left) + "x" + Number(finalRect.bottom - finalRect.top));
    return gmpi::MP_OK;
}

void GraphicsModuleBase::Log(const std::string& event)
{
    events.push_back(event);
    if (const char* path = std::getenv("KV_GMPI_TEST_LOG"))
    {
        if (std::FILE* file = std::fopen(path, "a"))
        {
            std::fprintf(file, "%s\n", event.c_str());
            std::fclose(file);
        }
    }
}

gmpi_gui::IMpGraphicsDrawContext* GraphicsModuleBase::DrawingContext(gmpi::IMpUnknown* context)
{
    void* face = nullptr;
    if (context == nullptr || context->queryInterface(gmpi_gui::KV_IID_GRAPHICS_DRAWCONTEXT, &face) != gmpi::MP_OK)
        return nullptr;
    return static_cast<gmpi_gui::IMpGraphicsDrawContext*>(face);
}

int32_t TestDrawModule::OnRender(gmpi::IMpUnknown* context)
{
    gmpi_gui::IMpGraphicsDrawContext* drawing = DrawingContext(context);
    if (drawing == nullptr)
        return gmpi::MP_FAIL;
    ++renders;
    if (scene)
        scene(*drawing, *this);
    else
        DrawEverything(*drawing);
    drawing->release();
    return gmpi::MP_OK;
}

// A grey ground, a red frame, a green line, a closed blue triangle and an
// open yellow one, white text and a 4 x 4 magenta bitmap.
void TestDrawModule::DrawEverything(gmpi_gui::IMpGraphicsDrawContext& context)
{
    gmpi_gui::ISolidColorBrush* brush = nullptr;
    context.CreateSolidColorBrush(gmpi_gui::Color{0.25f, 0.25f, 0.25f, 1.0f}, &brush);
    context.FillRectangle(gmpi_gui::Rect{0, 0, 100, 60}, brush);
    brush->SetColor(gmpi_gui::Color{1, 0, 0, 1});
    context.DrawRectangle(gmpi_gui::Rect{4, 4, 30, 30}, brush, 1.0f, nullptr);
    brush->SetColor(gmpi_gui::Color{0, 1, 0, 1});
    context.DrawLine(gmpi_gui::Point{35, 5}, gmpi_gui::Point{35, 30}, brush, 2.0f, nullptr);

    gmpi_gui::IFactory* factory = nullptr;
    context.GetFactory(&factory);
    for (int closed = 0; closed < 2; ++closed)
    {
        gmpi_gui::IPathGeometry* geometry = nullptr;
        factory->CreatePathGeometry(&geometry);
        gmpi_gui::IGeometrySink* sink = nullptr;
        geometry->Open(&sink);
        const float x = closed ? 40.0f : 70.0f;
        sink->BeginFigure(gmpi_gui::Point{x, 28}, gmpi_gui::GG_FIGURE_BEGIN_HOLLOW);
        sink->AddLine(gmpi_gui::Point{x + 12, 5});
        sink->AddLine(gmpi_gui::Point{x + 24, 28});
        sink->EndFigure(closed ? gmpi_gui::GG_FIGURE_END_CLOSED : gmpi_gui::GG_FIGURE_END_OPEN);
        sink->Close();
        sink->release();
        brush->SetColor(closed ? gmpi_gui::Color{0, 0, 1, 1} : gmpi_gui::Color{1, 1, 0, 1});
        context.DrawGeometry(geometry, brush, 1.0f, nullptr);
        geometry->release();
    }
    factory->release();

    gmpi_gui::IMpGraphicsTextFormat* format = nullptr;
    if (graphicsHost_ &&
        graphicsHost_->CreateTextFormat("DejaVu Sans", nullptr, gmpi_gui::Font::Normal, gmpi_gui::Font::StyleNormal,
                                        gmpi_gui::Font::StretchNormal, 12.0f, nullptr, &format) == gmpi::MP_OK)
    {
        brush->SetColor(gmpi_gui::Color{1, 1, 1, 1});
        context.DrawTextU("Kv", 2, format, gmpi_gui::Rect{4, 36, 60, 56}, brush, 0);
        format->release();
    }

    void* made = nullptr;
    if (graphicsHost_ && graphicsHost_->CreateImage(4, 4, &made) == gmpi::MP_OK)
    {
        auto* bitmap = static_cast<gmpi_gui::IMpBitmap*>(made);
        void* locked = nullptr;
        if (bitmap->lockPixels(&locked, true) == gmpi::MP_OK)
        {
            auto* pixels = static_cast<gmpi_gui::IMpBitmapPixels*>(locked);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                {
                    // Premultiplied 32-bit pixels: opaque magenta in any byte order keeps red = blue = 255.
                    uint8_t* p = pixels->getAddress() + y * pixels->getBytesPerRow() + x * 4;
                    p[0] = 255;
                    p[1] = 0;
                    p[2] = 255;
                    p[3] = 255;
                }
            pixels->release();
        }
        context.DrawBitmap(bitmap, gmpi_gui::Rect{80, 40, 84, 44}, 1.0f, 0, gmpi_gui::Rect{0, 0, 4, 4});
        bitmap->release();
    }
    brush->release();
}

int32_t TestPointerModule::OnRender(gmpi::IMpUnknown* context)
{
    gmpi_gui::IMpGraphicsDrawContext* drawing = DrawingContext(context);
    if (drawing == nullptr)
        return gmpi::MP_FAIL;
    gmpi_gui::ISolidColorBrush* brush = nullptr;
    drawing->CreateSolidColorBrush(gmpi_gui::Color{0, 0.5f, 1, 1}, &brush);
    drawing->FillRectangle(gmpi_gui::Rect{0, 0, arranged_.right, arranged_.bottom}, brush);
    brush->release();
    drawing->release();
    return gmpi::MP_OK;
}

int32_t TestPointerModule::onPointerDown(int32_t flags, gmpi_gui::Point point)
{
    calls.push_back({"down", flags, point});
    Log("down " + Number(flags) + " " + Number(point.x) + "," + Number(point.y));
    if (flags & gmpi_gui::GG_POINTER_FLAG_SECONDBUTTON)
        return rightResult;
    if (!actOnPresses)
        return pressResult;
    if (flags & gmpi_gui::GG_POINTER_FLAG_FIRSTBUTTON)
        PopUpMenu(point);
    else
        EditText();
    return gmpi::MP_OK;
}

int32_t TestPointerModule::onPointerMove(int32_t flags, gmpi_gui::Point point)
{
    calls.push_back({"move", flags, point});
    return gmpi::MP_OK;
}

int32_t TestPointerModule::onPointerUp(int32_t flags, gmpi_gui::Point point)
{
    calls.push_back({"up", flags, point});
    Log("up " + Number(flags) + " " + Number(point.x) + "," + Number(point.y));
    return gmpi::MP_OK;
}

int32_t TestPointerModule::populateContextMenu(float, float, gmpi::IMpUnknown* sink)
{
    void* face = nullptr;
    if (sink == nullptr || sink->queryInterface(gmpi_gui::KV_IID_CONTEXT_ITEMS_SINK, &face) != gmpi::MP_OK)
        return gmpi::MP_FAIL;
    auto* items = static_cast<gmpi::IMpContextItemSink*>(face);
    for (const auto& [name, id] : contextItems)
        items->AddItem(name.c_str(), id);
    items->release();
    return gmpi::MP_OK;
}

int32_t TestPointerModule::onContextMenu(int32_t selection)
{
    contextChoice = selection;
    Log("context " + Number(selection));
    return gmpi::MP_OK;
}

int32_t TestPointerModule::getToolTip(float, float, gmpi::IMpUnknown* returnString)
{
    void* face = nullptr;
    if (returnString == nullptr || returnString->queryInterface(gmpi::MP_IID_RETURNSTRING, &face) != gmpi::MP_OK)
        return gmpi::MP_FAIL;
    static_cast<gmpi::IMpReturnString*>(face)->setData("Pointer test", 12);
    static_cast<gmpi::IMpUnknown*>(face)->release();
    return gmpi::MP_OK;
}

// Ids out of order, an empty item and a separator-free list.
void TestPointerModule::PopUpMenu(gmpi_gui::Point point)
{
    gmpi::IMpUnknown* made = nullptr;
    if (graphicsHost_ == nullptr || graphicsHost_->createPlatformMenu(&made) != gmpi::MP_OK || made == nullptr)
        return;
    void* face = nullptr;
    made->queryInterface(gmpi_gui::KV_IID_GRAPHICS_PLATFORM_MENU, &face);
    made->release();
    auto* menu = static_cast<gmpi_gui::IMpPlatformMenu*>(face);
    menu->AddItem("First", 0);
    menu->AddItem("Third", 2);
    menu->AddItem("", 1);
    menuChoice = -2;
    const int32_t result = menu->Popup(&menuChoice, point.x, point.y);
    Log("menu " + Number(result) + " " + Number(menuChoice));
    menu->release();
}

void TestPointerModule::EditText()
{
    gmpi::IMpUnknown* made = nullptr;
    if (graphicsHost_ == nullptr || graphicsHost_->createPlatformTextEdit(&made) != gmpi::MP_OK || made == nullptr)
        return;
    void* face = nullptr;
    made->queryInterface(gmpi_gui::KV_IID_GRAPHICS_PLATFORM_TEXT, &face);
    made->release();
    auto* entry = static_cast<gmpi_gui::IMpPlatformText*>(face);
    entry->SetText(text.c_str());
    auto* done = new Completion(*this, entry);
    const gmpi_gui::Rect box{0, 0, arranged_.right, 20};
    const int32_t result = entry->ShowAsync(&box, done);
    if (result != gmpi::MP_OK)
        Log("text " + Number(result));
    done->release();
    entry->release();
}

int32_t TestBitmapModule::initialize()
{
    if (graphicsHost_ == nullptr || host_ == nullptr)
        return MpGuiBase2::initialize();
    void* made = nullptr;
    resourceResult = graphicsHost_->LoadImage("resource://gmpi_test.png", &made);
    fromResource = static_cast<gmpi_gui::IMpBitmap*>(made);
    gmpi::IProtectedFile2* stream = nullptr;
    made = nullptr;
    if (host_->OpenUri("resource://gmpi_test.png", &stream) == gmpi::MP_OK && stream)
    {
        streamResult = graphicsHost_->LoadStreamImage(stream, &made);
        fromStream = static_cast<gmpi_gui::IMpBitmap*>(made);
        stream->release();
    }
    Log("bitmaps " + Number(resourceResult) + " " + Number(streamResult));
    return MpGuiBase2::initialize();
}

int32_t TestBitmapModule::OnRender(gmpi::IMpUnknown* context)
{
    gmpi_gui::IMpGraphicsDrawContext* drawing = DrawingContext(context);
    if (drawing == nullptr)
        return gmpi::MP_FAIL;
    float left = 0;
    for (gmpi_gui::IMpBitmap* bitmap : {fromResource, fromStream})
    {
        if (bitmap == nullptr)
            continue;
        gmpi_gui::Size size;
        bitmap->GetSize(size);
        drawing->DrawBitmap(bitmap, gmpi_gui::Rect{left, 0, left + size.width, size.height}, 1.0f, 0,
                            gmpi_gui::Rect{0, 0, size.width, size.height});
        left += size.width + 4;
    }
    drawing->release();
    return gmpi::MP_OK;
}

TestBitmapModule::~TestBitmapModule()
{
    if (fromResource)
        fromResource->release();
    if (fromStream)
        fromStream->release();
}

} // namespace gmpi_test
