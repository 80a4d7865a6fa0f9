// Editor toolkit: the cost of a repaint of one control against the whole
// frame, of building and drawing a frame of a hundred views, and of a frame
// that nobody touches.

#include <benchmark/benchmark.h>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
#include "editor/toolkit/CTextLabel.h"

using namespace VSTGUI;

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 10;
constexpr CCoord kCellWidth = 80;
constexpr CCoord kCellHeight = 30;

// A 800 x 300 frame of a hundred labels, each with a back colour and text.
CFrame* hundredViewFrame()
{
    auto* frame = new CFrame(CRect(0, 0, kColumns * kCellWidth, kRows * kCellHeight), nullptr);
    frame->setBackgroundColor(CColor(30, 30, 36));
    for (int i = 0; i < kColumns * kRows; ++i)
    {
        const CCoord x = (i % kColumns) * kCellWidth, y = (i / kColumns) * kCellHeight;
        auto* label = new CTextLabel(CRect(x + 2, y + 2, x + kCellWidth - 2, y + kCellHeight - 2),
                                     ("Knob " + std::to_string(i)).c_str());
        label->setBackColor(CColor(uint8_t(i * 2), 80, 120));
        frame->addView(label);
    }
    return frame;
}

void BM_RepaintOneDirtyControl(benchmark::State& state)
{
    CFrame* frame = hundredViewFrame();
    auto context = COffscreenContext::create(frame->getWidth(), frame->getHeight());
    frame->drawDirty(context.get());
    CView* view = frame->getView(55);
    for (auto _ : state)
    {
        view->invalid();
        frame->drawDirty(context.get());
    }
    frame->forget();
}
BENCHMARK(BM_RepaintOneDirtyControl);

void BM_RepaintFullFrame(benchmark::State& state)
{
    CFrame* frame = hundredViewFrame();
    auto context = COffscreenContext::create(frame->getWidth(), frame->getHeight());
    for (auto _ : state)
    {
        frame->invalid();
        frame->drawDirty(context.get());
    }
    frame->forget();
}
BENCHMARK(BM_RepaintFullFrame);

void BM_BuildAndDrawHundredViews(benchmark::State& state)
{
    auto context = COffscreenContext::create(kColumns * kCellWidth, kRows * kCellHeight);
    for (auto _ : state)
    {
        CFrame* frame = hundredViewFrame();
        frame->drawDirty(context.get());
        frame->forget();
    }
}
BENCHMARK(BM_BuildAndDrawHundredViews)->Unit(benchmark::kMillisecond);

// What an idle editor costs per timer tick: a look at an empty dirty region.
void BM_IdleFrameTick(benchmark::State& state)
{
    CFrame* frame = hundredViewFrame();
    auto context = COffscreenContext::create(frame->getWidth(), frame->getHeight());
    frame->drawDirty(context.get());
    for (auto _ : state)
        benchmark::DoNotOptimize(frame->drawDirty(context.get()));
    frame->forget();
}
BENCHMARK(BM_IdleFrameTick);

} // namespace
