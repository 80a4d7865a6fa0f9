// Oversampled sections built from patch documents: nested factors (up and
// down), sections that go quiet and sleep, a section without a patch manager
// of its own, and sections copied per voice in a polyphonic container.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/oversampling/ug_oversampler_in.h"
#include "engine/oversampling/ug_oversampler_out.h"

namespace
{
// A sine of `Level` volts at 1 kHz (of the rate it runs at) for 2000 samples
// after each new level, then the static `Rest` value; reports its rate.
class BurstSource : public ug_base
{
public:
    static constexpr int kBurst = 2000;
    BurstSource() { SetProcessFunction(&ug_base::process_sleep); }
    ug_base* Create() override { return new BurstSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
        pins.push_back(new InterfaceObject(&level_, L"Level", DR_IN, DT_FLOAT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&rest_, L"Rest", DR_IN, DT_FLOAT, L"0", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* pin, state_type /*state*/) override
    {
        if (pin->index_ == 1 && level_ != 0.0f)
        {
            remaining_ = kBurst;
            plugs_[0]->TransmitState(time, ST_STREAMING);
        }
        else if (remaining_ <= 0)
        {
            plugs_[0]->TransmitState(time, ST_STATIC);
            ResetStaticOutput();
        }
        SetProcessFunction(&BurstSource::process);
    }
    void process(int start, int count)
    {
        const double rate = audioMaster_->SampleRate();
        for (int i = 0; i < count; ++i)
        {
            float& out = out_[start + i];
            if (remaining_ > 0)
            {
                out = static_cast<float>(0.1 * level_ *
                                         std::sin(2.0 * std::numbers::pi * 1000.0 * (sampleClock_ + i) / rate));
                if (--remaining_ == 0)
                {
                    plugs_[0]->TransmitState(sampleClock_ + i + 1, ST_STATIC);
                    ResetStaticOutput();
                }
                continue;
            }
            out = rest_;
            if (--staticOutputCountdown_ <= 0)
            {
                SetProcessFunction(&ug_base::process_sleep);
                std::fill(out_ + start + i, out_ + start + count, rest_);
                break;
            }
        }
    }
    float* out_ = nullptr;
    float level_ = 0.0f;
    float rest_ = 0.0f;
    int remaining_ = 0;
};

// Notes the time of each value reaching its input, and sleeps.
class ArrivalRecorder : public ug_base
{
public:
    ArrivalRecorder() { SetProcessFunction(&ug_base::process_sleep); }
    ug_base* Create() override { return new ArrivalRecorder(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&value_, L"Value", DR_IN, DT_FLOAT, L"0", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/) override { arrivals.push_back(time); }
    float value_ = 0.0f;
    std::vector<int64_t> arrivals;
};

void RegisterTestModules()
{
    static const bool done =
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Test Burst", 0, 0, nullptr, &UnitClassOf<BurstSource>::value, 0)) &&
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Test Arrivals", 0, 0, nullptr, &UnitClassOf<ArrivalRecorder>::value, 0));
    (void)done;
}

// A container with one audio input and output: `inner` holds its modules
// (by id from `id` + 2 on) and lines; "IO" is its IO Mod (id + 1).
std::string Section(int id, const std::string& attributes, const std::string& modules, const std::string& lines)
{
    const std::string io = std::to_string(id + 1);
    const std::string self = std::to_string(id);
    return "<Module Type=\"Container\" Id=\"" + self + "\" ExpandInline=\"0\" " + attributes +
           "><Plugs><Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
           "<Module Type=\"IO Mod\" Id=\"" + io + "\"><Plugs>"
           "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"" + self + "\" TiedToPinIdx=\"0\"/>"
           "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"" + self + "\" TiedToPinIdx=\"1\"/></Plugs></Module>" +
           modules + "</Modules><Lines>" + lines + "</Lines></Module>";
}

std::string Line(int from, int fromPin, int to, int toPin)
{
    return "<Line From=\"" + std::to_string(from) + "\" FromPin=\"" + std::to_string(fromPin) + "\" To=\"" +
           std::to_string(to) + "\" ToPin=\"" + std::to_string(toPin) + "\"/>";
}

// Nested sections, one per factor, outermost first; the innermost holds a
// one-pole low-pass (when `filter`) or a plain line from input to output.
std::string Nest(const std::vector<std::string>& attributes, size_t level, bool filter)
{
    const int id = 100 * static_cast<int>(level + 1);
    const int io = id + 1;
    if (level + 1 == attributes.size())
    {
        if (!filter)
            return Section(id, attributes[level], "", Line(io, 0, io, 1));
        const std::string lp = "<Module Type=\"1 Pole LP\" Id=\"" + std::to_string(id + 2) +
                               "\"><Plugs><Plug Idx=\"1\" Default=\"10\"/></Plugs></Module>";
        return Section(id, attributes[level], lp, Line(io, 0, id + 2, 0) + Line(id + 2, 2, io, 1));
    }
    const int child = 100 * static_cast<int>(level + 2);
    return Section(id, attributes[level], Nest(attributes, level + 1, filter),
                   Line(io, 0, child, 0) + Line(child, 1, io, 1));
}

// The burst source (id 5) in the main container feeds the nested sections;
// their output goes to the host.
std::string Document(const std::vector<std::string>& attributes, bool filter = false)
{
    return "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\">"
           "<Plugs><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
           "<Module Type=\"IO Mod\" Id=\"3\"><Plugs><Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" "
           "TiedToPinIdx=\"0\"/></Plugs></Module>"
           "<Module Type=\"KV Test Burst\" Id=\"5\"/>" +
           Nest(attributes, 0, filter) + "</Modules><Lines>" + Line(5, 0, 100, 0) + Line(100, 1, 3, 0) +
           "</Lines></Module></Modules></Container></DSP>";
}

std::string Factor(int factor, int filter = 6)
{
    return "Oversample=\"" + std::to_string(factor) + "\" OversampleFilter=\"" + std::to_string(filter) + "\"";
}

struct Engine
{
    explicit Engine(const std::string& document)
    {
        RegisterTestModules();
        built = runtime.initialize(44100, 512, document.c_str());
    }
    KvAudioMaster* master() { return runtime.AudioMaster(); }
    template <class T>
    T* Find(int handle)
    {
        return dynamic_cast<T*>(master()->HandleToObject(handle));
    }
    // The oversampler holding the container with this handle.
    ug_oversampler* OversamplerOf(int handle)
    {
        auto* container = Find<ug_container>(handle);
        auto* oversampler = container ? dynamic_cast<ug_oversampler*>(container->audioMaster_) : nullptr;
        return oversampler && oversampler->Child() == container ? oversampler : nullptr;
    }
    void Level(float volts)
    {
        auto* burst = Find<BurstSource>(5);
        const int64_t time = burst->audioMaster_->NextGlobalStartClock();
        burst->SetPinValue(time, 1, DT_FLOAT, &volts, sizeof(volts));
    }
    void Rest(float value)
    {
        auto* burst = Find<BurstSource>(5);
        burst->SetPinValue(burst->audioMaster_->NextGlobalStartClock(), 2, DT_FLOAT, &value, sizeof(value));
    }
    std::vector<float> Run(int samples)
    {
        std::vector<float> result;
        std::vector<float> out(512);
        float* outputs[1] = {out.data()};
        for (int t = 0, block = 0; t < samples; ++block)
        {
            const int n = std::min(block % 2 == 0 ? 512 : 300, samples - t);
            master()->DoProcess(n, nullptr, outputs, 0, 1);
            result.insert(result.end(), out.begin(), out.begin() + n);
            t += n;
        }
        return result;
    }
    SynthRuntime runtime;
    bool built = false;
};

// Amplitude of the 1 kHz component over [from, to).
double Amplitude(const std::vector<float>& x, size_t from, size_t to)
{
    double s = 0.0, c = 0.0;
    for (size_t i = from; i < to; ++i)
    {
        const double phase = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 44100.0;
        s += x[i] * std::sin(phase);
        c += x[i] * std::cos(phase);
    }
    return std::hypot(s, c) * 2.0 / static_cast<double>(to - from);
}
} // namespace

TEST(OversampledSections, NestedFactorsAreTakenAsWrittenAndASineKeepsItsLevelThroughUpAndDown)
{
    struct Case
    {
        int outer, inner;
        bool innerOversampler;
        float innerRate;
    };
    const Case cases[] = {{4, -2, true, 88200.0f}, {2, 2, true, 176400.0f}, {4, -4, true, 44100.0f},
                          {2, 1, false, 88200.0f}, {4, -1, false, 176400.0f}, {2, 0, false, 88200.0f},
                          // 4096 within 4096 would pass the highest inner rate: the inner one is refused.
                          {4096, 4096, false, 44100.0f * 4096}};
    for (const Case& c : cases)
    {
        Engine engine(Document({Factor(c.outer), Factor(c.inner)}));
        ASSERT_TRUE(engine.built);
        ug_oversampler* outer = engine.OversamplerOf(100);
        ASSERT_NE(outer, nullptr);
        ug_oversampler* inner = engine.OversamplerOf(200);
        EXPECT_EQ(inner != nullptr, c.innerOversampler) << c.outer << " " << c.inner;
        if (inner)
        {
            EXPECT_EQ(inner->Up(), c.inner > 0);
        }
        auto* container = engine.Find<ug_container>(200);
        ASSERT_NE(container, nullptr);
        EXPECT_FLOAT_EQ(container->audioMaster_->SampleRate(), c.innerRate) << c.outer << " " << c.inner;

        engine.Run(1024);
        engine.Level(5.0f);
        const std::vector<float> out = engine.Run(2000);
        // 0.5 of full scale for 2000 samples, measured past the filters' onset.
        EXPECT_NEAR(Amplitude(out, 500, 1900), 0.5, 0.5 * 0.03) << c.outer << " " << c.inner;
    }
}

TEST(OversampledSections, AValueCrossingADownSectionArrivesAtTheConvertedTimeBothWays)
{
    Engine engine(Document({Factor(4), Factor(-2)}));
    ASSERT_TRUE(engine.built);
    ug_oversampler* inner = engine.OversamplerOf(200);
    ASSERT_NE(inner, nullptr);
    engine.Run(1000);
    // Inner time is the 4x time halved, and back.
    for (int64_t t : {4001, 4002, 4003, 4800})
    {
        EXPECT_EQ(inner->ToInner(t), t / 2 + inner->TimeOffset()) << t;
        EXPECT_EQ(inner->ToOuter(inner->ToInner(t)), t - t % 2) << t;
    }
    ug_oversampler* outer = engine.OversamplerOf(100);
    auto* lp = engine.Find<ug_container>(200);
    ASSERT_NE(lp, nullptr);
    // From the top time base down two levels: outermost conversion first
    // (a sleeping section wakes for it, taking its offset afresh).
    const int64_t converted = lp->CalculateOversampledTimestamp(engine.master()->TopContainer(), 1000);
    EXPECT_EQ(converted, inner->ToInner(outer->ToInner(1000)));
}

TEST(OversampledSections, AQuietSectionSleepsWholeAndWakesWhenItsInputMovesAgain)
{
    const std::vector<std::vector<std::string>> layouts = {
        {Factor(4)}, {Factor(4, 16)}, {Factor(2), Factor(-2)}, {Factor(4), Factor(-2, 16)}, {Factor(1024)}};
    for (const auto& layout : layouts)
    {
        Engine engine(Document(layout, true));
        ASSERT_TRUE(engine.built);
        std::vector<ug_oversampler*> oversamplers;
        for (int handle : {100, 200})
        {
            if (ug_oversampler* os = engine.OversamplerOf(handle))
                oversamplers.push_back(os);
        }
        ASSERT_EQ(oversamplers.size(), layout.size());
        const auto asleep = [&] {
            for (ug_oversampler* os : oversamplers)
            {
                if (!os->ug_base::sleeping_ || !os->InModule()->sleeping_ || !os->OutModule()->sleeping_)
                    return false;
            }
            return true;
        };
        const std::string name = layout.front() + (layout.size() > 1 ? " / " + layout.back() : "");

        engine.Run(1024);
        engine.Level(5.0f);
        std::vector<float> out = engine.Run(2000);
        EXPECT_FALSE(asleep()) << name;
        EXPECT_NEAR(Amplitude(out, 500, 1900), 0.5, 0.5 * 0.05) << name;
        // The burst is over: the sections settle to silence and sleep (the
        // filter inside sleeps after its once-a-second check).
        engine.Run(60000);
        EXPECT_TRUE(asleep()) << name;
        out = engine.Run(2048);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; })) << name;

        // A new constant wakes them; once settled it leaves exact, and they sleep again.
        engine.Rest(0.25f);
        engine.Run(60000);
        EXPECT_TRUE(asleep()) << name;
        out = engine.Run(1024);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.25f; })) << name << " " << out[0];

        engine.Level(5.0f);
        out = engine.Run(2000);
        EXPECT_FALSE(asleep()) << name;
        EXPECT_NEAR(Amplitude(out, 500, 1900), 0.5, 0.5 * 0.05) << name;
    }
}

TEST(OversampledSections, OversamplersWithTheSameTapCountAndFactorShareOneCoefficientTable)
{
    Engine same(Document({Factor(2, 16), Factor(2, 16)}));
    ASSERT_TRUE(same.built);
    ug_oversampler* outer = same.OversamplerOf(100);
    ug_oversampler* inner = same.OversamplerOf(200);
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    const float* table = outer->InModule()->Fir(0)->Coefficients();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(outer->OutModule()->Fir(0)->Coefficients(), table);
    EXPECT_EQ(inner->InModule()->Fir(0)->Coefficients(), table);
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(table[k], static_cast<float>(OversamplerFir::Coefficient(k, 16, 2))) << k;

    Engine different(Document({Factor(2, 16), Factor(4, 16)}));
    ASSERT_TRUE(different.built);
    EXPECT_NE(different.OversamplerOf(100)->InModule()->Fir(0)->Coefficients(),
              different.OversamplerOf(200)->InModule()->Fir(0)->Coefficients());
    EXPECT_EQ(different.OversamplerOf(200)->InModule()->Fir(0)->Taps(), 32);
}

TEST(OversampledSections, AValueSentToASectionAfterItWakesLandsAtItsOwnInnerSample)
{
    // A 4x section with a value input feeding a recorder: nothing in it streams, so it sleeps.
    const std::string section =
        "<Module Type=\"Container\" Id=\"100\" ExpandInline=\"0\" Oversample=\"4\"><Plugs>"
        "<Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/>"
        "<Plug Direction=\"0\" Datatype=\"6\"/></Plugs><Modules><Module Type=\"IO Mod\" Id=\"101\"><Plugs>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"100\" TiedToPinIdx=\"0\"/>"
        "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"100\" TiedToPinIdx=\"1\"/>"
        "<Plug Direction=\"1\" Datatype=\"6\" TiedTo=\"100\" TiedToPinIdx=\"2\"/></Plugs></Module>"
        "<Module Type=\"KV Test Arrivals\" Id=\"102\"/></Modules><Lines>" +
        Line(101, 0, 101, 1) + Line(101, 2, 102, 0) + "</Lines></Module>";
    Engine engine("<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\">"
                  "<Plugs><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
                  "<Module Type=\"IO Mod\" Id=\"3\"><Plugs><Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" "
                  "TiedToPinIdx=\"0\"/></Plugs></Module>" +
                  section + "</Modules><Lines>" + Line(100, 1, 3, 0) + "</Lines></Module></Modules></Container></DSP>");
    ASSERT_TRUE(engine.built);
    ug_oversampler* os = engine.OversamplerOf(100);
    auto* recorder = engine.Find<ArrivalRecorder>(102);
    ASSERT_NE(os, nullptr);
    ASSERT_NE(recorder, nullptr);

    for (int round = 0; round < 3; ++round)
    {
        SCOPED_TRACE(round);
        engine.Run(4096);
        ASSERT_TRUE(os->ug_base::sleeping_);
        // Asleep, inner time stands still.
        const int64_t innerAtSleep = os->SampleClock();
        engine.Run(5000 + 1000 * round);
        EXPECT_EQ(os->SampleClock(), innerAtSleep);

        // Woken by a value due 37 + round samples into the coming run: inner
        // time goes on from where it stopped, and the value lands that many
        // inner samples (times 4) after the wake.
        recorder->arrivals.clear();
        const int64_t due = engine.master()->SampleClock() + 37 + round;
        const float value = 0.5f + static_cast<float>(round);
        os->SetPinValue(due, 2, DT_FLOAT, &value, sizeof(value));
        EXPECT_FALSE(os->ug_base::sleeping_);
        const int64_t wokenAt = os->ug_base::sampleClock_;
        engine.Run(512);
        ASSERT_EQ(recorder->arrivals.size(), 1u);
        EXPECT_EQ(recorder->arrivals[0], innerAtSleep + 4 * (due - wokenAt));
        EXPECT_EQ(recorder->arrivals[0], 4 * due + os->TimeOffset());
        EXPECT_EQ(recorder->value_, value);
    }
}

TEST(OversampledSections, LinesDrawnStraightToAModuleInsideASectionAreRelayedAcrossItsBorders)
{
    const std::vector<std::vector<std::string>> layouts = {
        {Factor(4)}, {Factor(2), Factor(2)}, {Factor(4), Factor(-2, 16)}};
    for (const auto& layout : layouts)
    {
        const std::string reference = Document(layout, true);
        // The same graph with the low-pass inside the innermost section fed
        // from the burst and feeding the host output by lines of its own,
        // listed in the main container or in the section.
        const int id = 100 * static_cast<int>(layout.size());
        const int lp = id + 2;
        const auto without = [](std::string text, const std::string& part) {
            text.replace(text.find(part), part.size(), "");
            return text;
        };
        std::string bare = without(reference, Line(id + 1, 0, lp, 0) + Line(lp, 2, id + 1, 1));
        bare = without(bare, Line(5, 0, 100, 0) + Line(100, 1, 3, 0));
        const std::string crossing = Line(5, 0, lp, 0) + Line(lp, 2, 3, 0);
        std::string listedInside = bare;
        listedInside.replace(listedInside.find("<Lines></Lines>"), 15, "<Lines>" + crossing + "</Lines>");
        std::string listedOutside = bare;
        listedOutside.replace(listedOutside.rfind("<Lines></Lines>"), 15, "<Lines>" + crossing + "</Lines>");

        const auto play = [](Engine& engine) {
            engine.Run(1024);
            engine.Level(5.0f);
            return engine.Run(4000);
        };
        Engine expected(reference);
        ASSERT_TRUE(expected.built);
        const std::vector<float> want = play(expected);
        ASSERT_NEAR(Amplitude(want, 500, 1900), 0.5, 0.5 * 0.05);
        for (const bool inside : {true, false})
        {
            const std::string name = layout.front() + " / " + layout.back() + (inside ? " inside" : " outside");
            Engine engine(inside ? listedInside : listedOutside);
            ASSERT_TRUE(engine.built) << name;
            int logged = 0;
            for (const auto& message : engine.master()->BuildMessages())
                logged += message.find("line") != std::string::npos ? 1 : 0;
            EXPECT_EQ(logged, 0) << name;
            // Each border crossed gained a relayed pin each way.
            for (int level = 1; level <= static_cast<int>(layout.size()); ++level)
            {
                ug_oversampler* os = engine.OversamplerOf(100 * level);
                ASSERT_NE(os, nullptr) << name;
                EXPECT_EQ(os->plugs_.size(), expected.OversamplerOf(100 * level)->plugs_.size() + 2) << name;
            }
            const std::vector<float> got = play(engine);
            double worst = 0.0;
            for (size_t i = 0; i < want.size(); ++i)
                worst = std::max(worst, static_cast<double>(std::abs(got[i] - want[i])));
            EXPECT_LT(worst, 1e-6) << name;
        }
    }
}
