// The whole road: the test bundle's processor and controller connected as a
// host connects them, its editor open; a view bound to the host parameter
// "Level" writes a value, the host hands the edit to the processor, and the
// sound follows.

#include <gtest/gtest.h>

#include <cmath>

#include "GuiTestSupport.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "shell/ADelayProcessor.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace gui_test;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 256;

struct Playing
{
    explicit Playing(const Files& replaced = {}) : f(replaced), processor(owned(new ADelayProcessor(&f.factory)))
    {
        f.factory.initialize();
        processor->setInstrument(true);
        EXPECT_EQ(processor->initialize(&f.host), kResultOk);
        f.controller->disconnect(&f.peer);
        processor->connect(f.controller);
        f.controller->connect(processor);
        ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);

        BusInfo info{};
        processor->getBusInfo(kAudio, kOutput, 0, info);
        for (int32 c = 0; c < info.channelCount; ++c)
            pointers.push_back(storage.emplace_back(kBlock, 0.0f).data());
        bus.numChannels = info.channelCount;
        bus.channelBuffers32 = pointers.data();
        data.numSamples = kBlock;
        data.symbolicSampleSize = kSample32;
        data.outputs = &bus;
        data.numOutputs = 1;
        data.inputParameterChanges = &changes;
    }
    ~Playing()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        f.controller->disconnect(processor);
        processor->disconnect(f.controller);
        f.controller->connect(&f.peer);
        processor->terminate();
    }

    // The host's part: the controller's edits go to the processor with the next block.
    double Rms(int blocks)
    {
        for (const auto& [id, value] : f.handler.takeEdits())
            changes.add(id, 0, value);
        double sum = 0.0;
        int count = 0;
        for (int b = 0; b < blocks; ++b)
        {
            EXPECT_EQ(processor->process(data), kResultOk);
            changes.clear();
            if (b < blocks / 2)
                continue; // let the level settle
            for (float s : storage[0])
            {
                sum += double(s) * s;
                ++count;
            }
        }
        return std::sqrt(sum / count);
    }

    GuiFixture f;
    IPtr<ADelayProcessor> processor;
    std::vector<std::vector<float>> storage;
    std::vector<float*> pointers;
    AudioBusBuffers bus{};
    ProcessData data;
    HostParameterChanges changes;
};
} // namespace

TEST(EditorSound, AViewsWriteToItsBoundParameterChangesTheSound)
{
    Playing p;
    auto editor = p.f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    auto* view = ModuleOf<TestColourView>(*editor, 7);
    ASSERT_NE(view, nullptr);

    const double atFive = p.Rms(40);
    ASSERT_GT(atFive, 0.01);
    view->SetLevel(2.0f);
    const double atTwo = p.Rms(40);
    EXPECT_NEAR(atTwo / atFive, 0.4, 0.02);
    view->SetLevel(0.0f);
    EXPECT_LT(p.Rms(40), 1e-4);
}

TEST(EditorSound, AValueTheEngineChangesReachesTheOpenEditorOnItsPollNeverFromTheAudioThread)
{
    // "Level" follows the hold pedal (controller 64, the host's parameter 10064).
    Playing p;
    auto editor = p.f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    auto* view = ModuleOf<TestColourView>(*editor, 7);
    ASSERT_NE(view, nullptr);
    const double atFive = p.Rms(20);

    // The engine moves "Level" to the top: the sound follows at once, and so
    // does the value the controller reads (the two share it); the blocks
    // send no message, and the editor's view waits for its thread.
    const int made = p.f.host.made;
    p.changes.add(10064, 0, 1.0);
    EXPECT_NEAR(p.Rms(20) / atFive, 2.0, 0.05);
    EXPECT_EQ(p.f.host.made, made);
    EXPECT_DOUBLE_EQ(p.f.controller->getParamNormalized(0), 1.0);
    EXPECT_FLOAT_EQ(view->Level(), 5.0f);

    // The editor's timer polls: the value reaches the controller and the view.
    editor->onFrameTimer();
    EXPECT_DOUBLE_EQ(p.f.controller->getParamNormalized(0), 1.0);
    EXPECT_FLOAT_EQ(view->Level(), 10.0f);
}

TEST(EditorSound, AValueTheEngineChangesReachesTheHostInItsBlockWithNoEditorOpen)
{
    // No editor, so nothing polls: the host hears of "Level" through the
    // block's output parameter changes, once per change, and hands it to the
    // controller itself, as hosts do. No second edit comes of it.
    Playing p;
    HostParameterChanges outputs;
    p.data.outputParameterChanges = &outputs;
    const double atFive = p.Rms(20);
    outputs.clear();
    auto levelValues = [&](int blocks) {
        std::vector<double> values;
        for (int b = 0; b < blocks; ++b)
        {
            EXPECT_EQ(p.processor->process(p.data), kResultOk);
            p.changes.clear();
            for (int32 q = 0; q < outputs.getParameterCount(); ++q)
            {
                IParamValueQueue* queue = outputs.getParameterData(q);
                int32 offset = -1;
                ParamValue value = -1.0;
                if (queue->getParameterId() != 0)
                    continue;
                EXPECT_EQ(queue->getPointCount(), 1);
                EXPECT_EQ(queue->getPoint(0, offset, value), kResultOk);
                EXPECT_EQ(offset, 0);
                values.push_back(value);
                p.f.controller->setParamNormalized(0, value);
            }
            outputs.clear();
        }
        return values;
    };

    p.changes.add(10064, 0, 1.0);
    const std::vector<double> pressed = levelValues(20);
    ASSERT_EQ(pressed.size(), 1u);
    EXPECT_DOUBLE_EQ(pressed[0], 1.0);

    p.changes.add(10064, 0, 0.0);
    const std::vector<double> released = levelValues(20);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_DOUBLE_EQ(p.f.controller->getParamNormalized(0), released[0]);

    // With nothing polling, the ring of batches fills and the engine keeps
    // the refused batch, adding to it: every change still reaches the host,
    // once.
    const std::vector<unsigned char> filler(10000, 0);
    for (int size : {10000, 1000, 100, 12})
        while (p.processor->SendDspToGuiBatch(filler.data(), size))
        {
        }
    for (int press = 0; press < 40; ++press)
    {
        p.changes.add(10064, 0, press % 2 ? 0.0 : 1.0);
        const std::vector<double> values = levelValues(20);
        ASSERT_EQ(values.size(), 1u) << "change " << press;
        EXPECT_DOUBLE_EQ(values[0], press % 2 ? released[0] : 1.0);
    }

    // The batches, read later, bring the same value: still no edit.
    p.f.controller->PollProcessor();
    EXPECT_DOUBLE_EQ(p.f.controller->getParamNormalized(0), released[0]);
    EXPECT_TRUE(p.f.handler.takeEdits().empty());

    // A host without output changes plays on.
    p.data.outputParameterChanges = nullptr;
    p.changes.add(10064, 0, 1.0);
    EXPECT_NEAR(p.Rms(20) / atFive, 2.0, 0.05);
}
