// Containers run at a multiple of the host rate: signals cross the border
// through the interpolating and decimating filters, values are re-timed.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/oversampling/ug_oversampler_filter.h"
#include "engine/oversampling/ug_oversampler_fir.h"

namespace
{
double gProbeHz = 1000.0;

// A sine at gProbeHz of the rate its master reports, and a logged float input.
class OversampleProbe : public ug_base
{
public:
    OversampleProbe() { SetProcessFunction(&OversampleProbe::process_tone); }
    ug_base* Create() override { return new OversampleProbe(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
        pins.push_back(new InterfaceObject(&value_, L"Value", DR_IN, DT_FLOAT, L"0", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* pin, state_type /*state*/) override
    {
        if (pin->index_ == 1)
            arrivals.push_back({time, value_});
    }
    void process_tone(int start, int count)
    {
        rate = audioMaster_->SampleRate();
        for (int i = 0; i < count; ++i)
            out_[start + i] = static_cast<float>(
                0.5 * std::sin(2.0 * std::numbers::pi * gProbeHz * static_cast<double>(sampleClock_ + i) / rate));
    }
    struct Arrival { int64_t time; float value; };
    float* out_ = nullptr;
    float value_ = 0.0f;
    double rate = 0.0;
    std::vector<Arrival> arrivals;
};

void RegisterProbe()
{
    static const bool done = CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"Oversample Probe", 0, 0, nullptr, &UnitClassOf<OversampleProbe>::value, 0));
    (void)done;
}

// Host input 0 straight to output 0, and the probe's tone to output 1, in an
// oversampled main container.
std::string Document(int oversample, int filter = 6)
{
    const std::string os = std::to_string(oversample) + "\" OversampleFilter=\"" + std::to_string(filter);
    return "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\" Oversample=\"" +
           os + "\"><Plugs><Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/>"
                "<Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
                "<Module Type=\"IO Mod\" Id=\"3\"><Plugs>"
                "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"0\"/>"
                "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"1\"/>"
                "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"2\"/></Plugs></Module>"
                "<Module Type=\"Oversample Probe\" Id=\"4\"/></Modules><Lines>"
                "<Line From=\"3\" FromPin=\"0\" To=\"3\" ToPin=\"1\"/>"
                "<Line From=\"4\" FromPin=\"0\" To=\"3\" ToPin=\"2\"/></Lines>"
                "</Module></Modules></Container></DSP>";
}

ug_oversampler* FindOversampler(KvAudioMaster* master)
{
    for (ug_base* module : master->MainContainer()->Modules())
    {
        if (module->audioMaster_ && dynamic_cast<ug_oversampler*>(module->audioMaster_))
            return dynamic_cast<ug_oversampler*>(module->audioMaster_);
    }
    return nullptr;
}

OversampleProbe* FindProbe(KvAudioMaster* master)
{
    for (ug_base* module : master->MainContainer()->Modules())
    {
        if (auto* probe = dynamic_cast<OversampleProbe*>(module))
            return probe;
    }
    return nullptr;
}

// Amplitude of the component at hz (least squares against sine and cosine)
// and the RMS of what is left.
struct Fit { double amplitude; double residual; };
Fit FitTone(const std::vector<float>& x, size_t from, double hz, double rate)
{
    double s = 0.0, c = 0.0;
    const size_t n = x.size() - from;
    for (size_t i = from; i < x.size(); ++i)
    {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        s += x[i] * std::sin(phase);
        c += x[i] * std::cos(phase);
    }
    s *= 2.0 / static_cast<double>(n);
    c *= 2.0 / static_cast<double>(n);
    double rest = 0.0;
    for (size_t i = from; i < x.size(); ++i)
    {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        const double e = x[i] - (s * std::sin(phase) + c * std::cos(phase));
        rest += e * e;
    }
    return {std::hypot(s, c), std::sqrt(rest / static_cast<double>(n))};
}

// Magnitude of the section cascade at a frequency in cycles per inner sample.
double CascadeGain(int factor, double cycles)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * cycles);
    std::complex<double> h = 1.0;
    for (int s = 0; s < OversamplerFilter::kDesignSections; ++s)
    {
        const OversamplerFilter::Section& c = OversamplerFilter::Design(factor)[s];
        const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
        h *= (b0 + b1 * z1 + b2 * z1 * z1) / (1.0 + a1 * z1 + a2 * z1 * z1);
    }
    return std::abs(h);
}

// Runs the engine with a sine on input 0 in uneven host blocks.
std::vector<std::vector<float>> RunHost(KvAudioMaster* master, double inputHz, int total, double rate = 44100.0)
{
    std::vector<std::vector<float>> result(2);
    std::vector<float> in(512), out0(512), out1(512);
    float* inputs[1] = {in.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    for (int t = 0, block = 0; t < total; ++block)
    {
        const int n = std::min(block % 2 == 0 ? 512 : 300, total - t);
        for (int i = 0; i < n; ++i)
            in[static_cast<size_t>(i)] =
                static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * inputHz * (t + i) / rate));
        master->DoProcess(n, inputs, outputs, 1, 2);
        result[0].insert(result[0].end(), out0.begin(), out0.begin() + n);
        result[1].insert(result[1].end(), out1.begin(), out1.begin() + n);
        t += n;
    }
    return result;
}
} // namespace

TEST(Oversampler, TheIirCascadeHasUnityGainAtDcForEveryFactor)
{
    for (int factor : {2, 4, 8})
    {
        double gain = 1.0;
        for (int s = 0; s < OversamplerFilter::kDesignSections; ++s)
        {
            const OversamplerFilter::Section& c = OversamplerFilter::Design(factor)[s];
            gain *= (c.b0 + c.b1 + c.b2) / (1.0 + c.a1 + c.a2);
        }
        EXPECT_NEAR(gain, 1.0, 2e-3) << factor;
        OversamplerFilter filter;
        filter.Init(factor);
        float y = 0.0f;
        for (int i = 0; i < 4000; ++i)
            y = filter.Process(1.0f);
        EXPECT_NEAR(y, gain, 1e-3) << factor;
    }
}

TEST(Oversampler, ASineThroughAn2xOr4xContainerKeepsItsFrequencyAndLevel)
{
    RegisterProbe();
    for (int factor : {2, 4})
    {
        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(44100, 512, Document(factor).c_str()));
        ug_oversampler* os = FindOversampler(runtime.AudioMaster());
        ASSERT_NE(os, nullptr);
        EXPECT_EQ(os->Factor(), factor);
        const auto out = RunHost(runtime.AudioMaster(), 1000.0, 44100 / 4);
        const Fit fit = FitTone(out[0], 2000, 1000.0, 44100.0);
        EXPECT_NEAR(fit.amplitude, 0.25, 0.25 * 0.03) << factor;
        EXPECT_LT(fit.residual, 0.25 * 0.01) << factor;
    }
}

TEST(Oversampler, ModulesInsideSeeTheMultipliedRateAndAToneMadeThereComesOutAtItsFrequency)
{
    RegisterProbe();
    gProbeHz = 3000.0;
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, Document(4).c_str()));
    OversampleProbe* probe = FindProbe(runtime.AudioMaster());
    ASSERT_NE(probe, nullptr);
    const auto out = RunHost(runtime.AudioMaster(), 0.0, 44100 / 4);
    EXPECT_DOUBLE_EQ(probe->rate, 4 * 44100.0);
    const Fit fit = FitTone(out[1], 2000, 3000.0, 44100.0);
    EXPECT_NEAR(fit.amplitude, 0.5, 0.5 * 0.03);
    EXPECT_LT(fit.residual, 0.5 * 0.01);
    gProbeHz = 1000.0;
}

TEST(Oversampler, AToneAboveTheHostNyquistMadeInsideIsAttenuatedByTheDecimator)
{
    RegisterProbe();
    for (int factor : {2, 4})
    {
        gProbeHz = factor == 2 ? 30000.0 : 60000.0;
        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(44100, 512, Document(factor).c_str()));
        const auto out = RunHost(runtime.AudioMaster(), 0.0, 44100 / 4);
        double energy = 0.0;
        for (size_t i = 2000; i < out[1].size(); ++i)
            energy += static_cast<double>(out[1][i]) * out[1][i];
        const double rms = std::sqrt(energy / static_cast<double>(out[1].size() - 2000));
        // The aliased tone keeps the level the cascade's response gives it.
        const double gain = CascadeGain(factor, gProbeHz / (44100.0 * factor));
        EXPECT_LT(gain, 0.05) << factor;
        EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0) * gain, 0.5 / std::sqrt(2.0) * 0.003) << factor;
    }
    gProbeHz = 1000.0;
}

namespace
{
// Gain of the cascade a filter setting gives, relative to DC, at a frequency
// in cycles per inner sample: (setting + 1) / 2 sections, the design's low-Q
// tail when fewer than three, the whole design and then its tail when more.
double SettingGain(int setting, int factor, double cycles)
{
    const OversamplerFilter::Section* design = OversamplerFilter::Design(factor);
    const int n = (setting + 1) / 2;
    std::vector<int> rows;
    for (int r = 0; r < 3 && n > 3; ++r)
        rows.push_back(r);
    for (int r = 3 - (n > 3 ? n - 3 : n); r < 3; ++r)
        rows.push_back(r);
    const auto response = [&](double f) {
        const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * f);
        std::complex<double> h = 1.0;
        for (int r : rows)
        {
            const OversamplerFilter::Section& c = design[r];
            h *= (c.b0 + c.b1 * z1 + c.b2 * z1 * z1) / (1.0 + c.a1 * z1 + c.a2 * z1 * z1);
        }
        return std::abs(h);
    };
    return response(cycles) / response(0.0);
}
} // namespace

TEST(Oversampler, EachIirSettingGivesItsSectionCountsPassBandRippleAndStopBand)
{
    RegisterProbe();
    // Oversample 4 runs 4x at 44.1 kHz and 2x at 96 kHz: both designs.
    for (const double rate : {44100.0, 96000.0})
    {
        const int factor = rate < 50000.0 ? 4 : 2;
        const double nyquist = 0.5 / factor; // the host's, in cycles per inner sample
        for (int setting = 1; setting <= 10; ++setting)
        {
            // From the formula: where the pass band (to 0.8 of the host's
            // Nyquist) is highest and lowest, and the stop band (from 1.2 of
            // it) highest.
            double passHigh = 0.05 * nyquist, passLow = passHigh, stopHigh = 1.2 * nyquist;
            for (int i = 0; i <= 2000; ++i)
            {
                const double pass = nyquist * (0.05 + 0.75 * i / 2000.0);
                const double stop = 1.2 * nyquist + (0.49 - 1.2 * nyquist) * i / 2000.0;
                if (SettingGain(setting, factor, pass) > SettingGain(setting, factor, passHigh))
                    passHigh = pass;
                if (SettingGain(setting, factor, pass) < SettingGain(setting, factor, passLow))
                    passLow = pass;
                if (SettingGain(setting, factor, stop) > SettingGain(setting, factor, stopHigh))
                    stopHigh = stop;
            }
            double measured[3] = {};
            const double at[3] = {passHigh, passLow, stopHigh};
            for (int k = 0; k < 3; ++k)
            {
                gProbeHz = at[k] * rate * factor;
                SynthRuntime runtime;
                ASSERT_TRUE(runtime.initialize(rate, 512, Document(4, setting).c_str()));
                ASSERT_EQ(FindOversampler(runtime.AudioMaster())->Factor(), factor);
                // The tone leaves at its alias in the host's band.
                const double alias = std::abs(gProbeHz - std::round(gProbeHz / rate) * rate);
                const auto out = RunHost(runtime.AudioMaster(), 0.0, 12000);
                measured[k] = FitTone(out[1], 3000, alias, rate).amplitude / 0.5;
            }
            SCOPED_TRACE(testing::Message() << rate << " Hz, setting " << setting);
            const auto dB = [](double g) { return 20.0 * std::log10(g); };
            const double ripple = dB(SettingGain(setting, factor, passHigh) / SettingGain(setting, factor, passLow));
            EXPECT_NEAR(dB(measured[0] / measured[1]), ripple, 0.05);
            EXPECT_NEAR(dB(measured[1]), dB(SettingGain(setting, factor, passLow)), 0.05);
            EXPECT_NEAR(dB(measured[2]), dB(SettingGain(setting, factor, stopHigh)), 0.1);
        }
    }
    gProbeHz = 1000.0;
}

TEST(Oversampler, AValuePostedOutsideReachesTheModuleInsideAtTheFactorTimesItsTimePlusTheOffset)
{
    RegisterProbe();
    // The probe's value input fed from outside through a float pin of the container.
    std::string doc = Document(4);
    doc.replace(doc.find("</Plugs><Modules>"), 0, "<Plug Direction=\"0\" Datatype=\"6\"/>");
    doc.replace(doc.find("</Plugs></Module>"), 0,
                "<Plug Direction=\"1\" Datatype=\"6\" TiedTo=\"2\" TiedToPinIdx=\"3\"/>");
    doc.replace(doc.find("</Lines>"), 0, "<Line From=\"3\" FromPin=\"3\" To=\"4\" ToPin=\"1\"/>");
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, doc.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ug_oversampler* os = FindOversampler(master);
    OversampleProbe* probe = FindProbe(master);
    ASSERT_NE(os, nullptr);
    ASSERT_NE(probe, nullptr);
    RunHost(master, 0.0, 1024);
    probe->arrivals.clear();

    const int64_t outerTime = os->ug_base::sampleClock_ + 77;
    const float value = 0.625f;
    os->SetPinValue(outerTime, 3, DT_FLOAT, &value, sizeof(value));
    RunHost(master, 0.0, 512);
    ASSERT_EQ(probe->arrivals.size(), 1u);
    EXPECT_EQ(probe->arrivals[0].time, 4 * outerTime + os->TimeOffset());
    EXPECT_FLOAT_EQ(probe->arrivals[0].value, value);
}

TEST(Oversampler, HugeAndNanInputsLeaveTheOutputFinite)
{
    RegisterProbe();
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, Document(2).c_str()));
    std::vector<float> in(512), out0(512), out1(512);
    float* inputs[1] = {in.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    const float bad[] = {NAN, INFINITY, -1e30f, 1e30f};
    for (int block = 0; block < 8; ++block)
    {
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = bad[(i + static_cast<size_t>(block)) % 4];
        runtime.AudioMaster()->DoProcess(512, inputs, outputs, 1, 2);
        for (float v : out0)
            ASSERT_TRUE(std::isfinite(v));
    }
}

TEST(Oversampler, EveryFactorTheRuleGivesRunsWithItsBandEdgeAtTheHostNyquistUpToTheMemoryLimit)
{
    RegisterProbe();
    struct Case
    {
        double rate;
        int oversample;
        int factor; // 0: refused
        int filter = 6;
    };
    const Case cases[] = {{44100, 3, 3},          {44100, 8, 8},          {44100, 32, 32},
                          {96000, 32, 16},        {48000, 4096, 4096},    {96000, 8192, 4096},
                          {44100, 32, 32, 128},   {48000, 4096, 4096, 64}, {44100, 4097, 0},
                          {44100, 1 << 20, 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, Oversample " << c.oversample);
        // A tone inside at 1.3 times the host's Nyquist, folded to 0.7 of it.
        gProbeHz = 0.65 * c.rate;
        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(c.rate, 512, Document(c.oversample, c.filter).c_str()));
        ug_oversampler* os = FindOversampler(runtime.AudioMaster());
        int logged = 0;
        for (const auto& message : runtime.AudioMaster()->BuildMessages())
            logged += message.find("oversampling by " + std::to_string(c.oversample) + " passes the limit of 4096") !=
                              std::string::npos
                          ? 1
                          : 0;
        if (c.factor == 0)
        {
            EXPECT_EQ(os, nullptr);
            EXPECT_EQ(logged, 1);
            continue;
        }
        ASSERT_NE(os, nullptr);
        EXPECT_EQ(logged, 0);
        EXPECT_EQ(os->Factor(), c.factor);
        const auto out = RunHost(runtime.AudioMaster(), 1000.0, 6000, c.rate);
        EXPECT_DOUBLE_EQ(FindProbe(runtime.AudioMaster())->rate, c.rate * c.factor);
        // A sine passes at its level; with the IIR cascade, the tone above
        // the host's band is held down as far as at factor 4 (a FIR's
        // stop band is what its taps per phase allow).
        const Fit through = FitTone(out[0], 2000, 1000.0, c.rate);
        EXPECT_NEAR(through.amplitude, 0.25, 0.25 * 0.03);
        EXPECT_LT(through.residual, 0.25 * 0.01);
        if (c.filter <= 10)
        {
            EXPECT_LT(FitTone(out[1], 2000, 0.35 * c.rate, c.rate).amplitude, 0.5 * std::pow(10.0, -26.0 / 20.0));
        }
    }
    gProbeHz = 1000.0;
}

TEST(Oversampler, MidiThroughAnOversampledContainerLeavesAtTheSampleTimeItCameIn)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/stereo_thru.dsp.kv.xml");
    std::stringstream source;
    source << file.rdbuf();
    std::string text = source.str();
    const std::string main = "Id=\"2\" ExpandInline=\"0\"";
    text.replace(text.find(main), main.size(), main + " Oversample=\"4\"");
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 256, text.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_NE(FindOversampler(master), nullptr);
    std::vector<float> buffer(300);
    float* channels[2] = {buffer.data(), buffer.data()};
    master->DoProcess(300, channels, channels, 2, 2);

    const unsigned char noteOn[3] = {0x90, 60, 100};
    const unsigned char sysex[6] = {0xF0, 1, 2, 3, 4, 0xF7};
    master->MidiIn(17, noteOn, 3);
    master->MidiIn(251, sysex, 6);
    master->DoProcess(300, channels, channels, 2, 2);

    MidiOutputBuffer* ring = master->getMidiOutputBuffer();
    ASSERT_NE(ring, nullptr);
    int64_t time = 0;
    unsigned char bytes[16] = {};
    int32_t n = 0;
    ASSERT_TRUE(ring->Read(time, bytes, 16, n));
    EXPECT_EQ(time, 317);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(bytes[1], 60);
    ASSERT_TRUE(ring->Read(time, bytes, 16, n));
    EXPECT_EQ(time, 551);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(bytes[5], 0xF7);
    EXPECT_FALSE(ring->Read(time, bytes, 16, n));
}

TEST(Oversampler, FirSettingsGiveTheTapCountForTheFactorAndAUnityGainDesign)
{
    RegisterProbe();
    for (int factor : {2, 4})
    {
        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(44100, 512, Document(factor, 16).c_str()));
        ug_oversampler* os = FindOversampler(runtime.AudioMaster());
        ASSERT_NE(os, nullptr);
        const int taps = OversamplerFir::TapCount(os->FilterSetting(), factor);
        EXPECT_EQ(taps, factor == 2 ? 16 : 32);
        double sum = 0.0;
        for (int k = 0; k < taps; ++k)
            sum += OversamplerFir::Coefficient(k, taps, factor);
        EXPECT_NEAR(sum, 1.0, 0.02) << factor;
    }
    EXPECT_EQ(OversamplerFir::TapCount(1 << 30, 2), OversamplerFir::kMaxTaps);
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, Document(4, 2147483647).c_str()));
    ug_oversampler* os = FindOversampler(runtime.AudioMaster());
    ASSERT_NE(os, nullptr);
    EXPECT_LE(OversamplerFir::TapCount(os->FilterSetting(), 4), OversamplerFir::kMaxTaps);
    // Whole branches of at least four taps.
    EXPECT_EQ(OversamplerFir::TapCount(20, 8), 32);
    EXPECT_EQ(OversamplerFir::TapCount(16, 4096), 4 * 4096);
}

TEST(Oversampler, ASineThroughAFirOversampledContainerKeepsItsFrequencyAndTheDesignsLevel)
{
    RegisterProbe();
    for (int factor : {2, 4})
    {
        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(44100, 512, Document(factor, 32).c_str()));
        ug_oversampler* os = FindOversampler(runtime.AudioMaster());
        ASSERT_NE(os, nullptr);
        const int taps = OversamplerFir::TapCount(os->FilterSetting(), factor);
        // Interpolation and decimation each apply the design's response once.
        std::complex<double> h = 0.0;
        for (int k = 0; k < taps; ++k)
            h += OversamplerFir::Coefficient(k, taps, factor) *
                 std::polar(1.0, -2.0 * std::numbers::pi * 1000.0 / (44100.0 * factor) * k);
        const auto out = RunHost(runtime.AudioMaster(), 1000.0, 44100 / 4);
        const Fit fit = FitTone(out[0], 2000, 1000.0, 44100.0);
        EXPECT_NEAR(fit.amplitude, 0.25 * std::norm(h), 0.25 * 0.005) << factor;
        EXPECT_LT(fit.residual, 0.25 * 0.01) << factor;
    }
}
