// kvshot: draws a Korvane bundle's editor offscreen and writes it as a PNG,
// for machines with no X display at all:
//   kvshot BUNDLE.vst3 OUT.png
// The bundle's documents are read by this program's own copy of the plug-in
// (as the shell's tests do); its binary is not loaded.

#include <cstdio>
#include <filesystem>
#include <string>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
#include "shell/ADelayController.h"
#include "shell/BundleInfo.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: kvshot BUNDLE.vst3 OUT.png\n");
        return 2;
    }
    const fs::path bundle = argv[1];
    // The module path of the bundle: Contents/<arch>/<name>.so.
    const fs::path module = bundle / "Contents" / "x86_64-linux" / (bundle.stem().string() + ".so");
    if (!fs::is_directory(bundle / "Contents" / "Resources"))
    {
        std::fprintf(stderr, "kvshot: %s is not a bundle\n", argv[1]);
        return 1;
    }
    MyVstPluginFactory factory(BundleInfo::FromModulePath(module.string()));
    KvHostApplication host;
    HostComponentHandler handler;
    Steinberg::IPtr<ADelayController> controller = Steinberg::owned(new ADelayController(&factory));
    controller->initialize(&host);
    controller->setComponentHandler(&handler);
    bool written = false;
    {
        auto editor = Steinberg::owned(static_cast<KVVSTGUIEditor*>(controller->createView("editor")));
        if (editor && editor->open(nullptr) && editor->getFrame())
        {
            VSTGUI::CFrame* frame = editor->getFrame();
            auto context = VSTGUI::COffscreenContext::create(frame->getWidth(), frame->getHeight());
            if (context)
            {
                frame->platformDrawRect(context.get(), frame->getViewSize());
                written = context->writePNG(argv[2]);
            }
            editor->close();
        }
    }
    controller->terminate();
    if (!written)
        std::fprintf(stderr, "kvshot: could not draw the editor of %s into %s\n", argv[1], argv[2]);
    return written ? 0 : 1;
}
