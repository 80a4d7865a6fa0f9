// Fuzzer: any bytes as the bundle's GUI patch document. The editor opens with
// what it can build or refuses the document; either way it draws, follows a
// parameter change, closes and leaves no automator with the controller.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/fuzz/FuzzShell.h"

using namespace Steinberg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz_shell::Folder() + "/F.vst3/Contents/Resources/gui.kv.xml";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    auto controller = fuzz_shell::NewController();
    {
        IPtr<KVVSTGUIEditor> editor = owned(static_cast<KVVSTGUIEditor*>(controller->createView("editor")));
        ViewRect wanted;
        editor->getSize(&wanted);
        if (editor->open(nullptr))
        {
            controller->setParamNormalized(0, 0.5);
            VSTGUI::CFrame* frame = editor->getFrame();
            auto context = VSTGUI::COffscreenContext::create(frame->getWidth(), frame->getHeight());
            frame->platformDrawRect(context.get(), frame->getViewSize());
            if (frame->getWidth() > KVVSTGUIEditor::kMaxCanvasSize || frame->getHeight() > KVVSTGUIEditor::kMaxCanvasSize)
                std::abort();
        }
        editor->close();
        if (!controller->Automators().empty())
            std::abort();
    }
    controller->terminate();
    return 0;
}
