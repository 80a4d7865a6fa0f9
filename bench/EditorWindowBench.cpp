// The editor in a real X11 window (an Xvfb of the benchmark's own): the time
// from createView-like construction to the first full paint of a frame with
// a hundred views, and the CPU an open editor costs while nobody touches it.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "../tests/editor_x11/FramePlugView.h"
#include "editor/toolkit/CTextLabel.h"
#include "tools/kvhost/EditorWindow.h"
#include "tools/kvhost/XvfbServer.h"

using namespace VSTGUI;

namespace
{
constexpr int kColumns = 10;
constexpr int kRows = 10;

// 100 views: coloured boxes and labels in a 10 x 10 grid of an 800 x 600 frame.
CFrame* HundredViews()
{
    auto* frame = new CFrame(CRect(0, 0, 800, 600), nullptr);
    frame->setBackgroundColor(CColor(40, 40, 40));
    for (int i = 0; i < kColumns * kRows; ++i)
    {
        const CCoord x = (i % kColumns) * 80.0;
        const CCoord y = (i / kColumns) * 60.0;
        const CRect cell(x + 4, y + 4, x + 76, y + 56);
        if (i % 2 == 0)
        {
            auto* label = new CTextLabel(cell, ("View " + std::to_string(i)).c_str());
            frame->addView(label);
        }
        else
        {
            auto* box = new CViewContainer(cell);
            box->setBackgroundColor(CColor(static_cast<uint8_t>(i * 2), 90, 160));
            frame->addView(box);
        }
    }
    return frame;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

struct Screen
{
    XvfbServer server;
    std::unique_ptr<EditorWindow> window;
    std::string error;

    bool connect()
    {
        if (!server.ok())
        {
            error = server.error();
            return false;
        }
        setenv("DISPLAY", server.name().c_str(), 1);
        window = EditorWindow::Connect(server.name(), error);
        return window != nullptr;
    }
};
} // namespace

static void BM_EditorWindowOpenWithHundredViews(benchmark::State& state)
{
    Screen screen;
    if (!screen.connect())
    {
        state.SkipWithError(("no X server: " + screen.error).c_str());
        return;
    }
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        CFrame* frame = HundredViews();
        Steinberg::IPtr<FramePlugView> view = Steinberg::owned(new FramePlugView(frame));
        frame->forget();
        std::string error;
        if (!screen.window->open(view.get(), error))
        {
            state.SkipWithError(error.c_str());
            return;
        }
        // Open means shown: the frame has drawn all of itself.
        screen.window->runLoop().runUntil([frame] { return frame->getDirtyRegion().isEmpty(); }, 5.0);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        screen.window->close();
    }
}
BENCHMARK(BM_EditorWindowOpenWithHundredViews)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

static void BM_EditorWindowIdleCpu(benchmark::State& state)
{
    Screen screen;
    if (!screen.connect())
    {
        state.SkipWithError(("no X server: " + screen.error).c_str());
        return;
    }
    CFrame* frame = HundredViews();
    Steinberg::IPtr<FramePlugView> view = Steinberg::owned(new FramePlugView(frame));
    frame->forget();
    std::string error;
    if (!screen.window->open(view.get(), error))
    {
        state.SkipWithError(error.c_str());
        return;
    }
    screen.window->settle();
    double cpu = 0.0;
    double wall = 0.0;
    for (auto _ : state)
    {
        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        // Two seconds of the host's run loop with the editor's timer running.
        screen.window->runLoop().runFor(2.0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += CpuSeconds() - cpuBefore;
        wall += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
    screen.window->close();
}
BENCHMARK(BM_EditorWindowIdleCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
