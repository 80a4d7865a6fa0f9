// A host that sets the C library's locale from its user's environment, as
// hosts built on GTK or Qt do. Under a locale whose numbers have a decimal
// comma the plug-in plays, shows, saves and restores as under the C locale,
// and reads the states that earlier builds saved there with decimal commas.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <regex>

#include "HostModel.h"
#include "tests/CommaLocale.h"

using namespace host_model;

namespace
{
const std::string kBundle = KV_FRACTIONAL_RANGES_BUNDLE;
// Host ids: a list, two ranges the processor plays, a value the controller alone keeps.
constexpr ParamID kWave = 0, kPitch = 1, kLevel = 2, kFine = 3;
constexpr int32 kBlock = 128;

// The default values for a block, then the host's changes within blocks.
std::vector<float> Play(Plugin& plugin)
{
    const std::vector<std::vector<Change>> blocks = {
        {}, {{kPitch, 0.3, 17}, {kLevel, 0.15, 40}}, {{kLevel, 0.9, 5}}, {{kWave, 1.0, 0}, {kPitch, 0.77, 90}}, {}};
    std::vector<float> out;
    for (const auto& changes : blocks)
    {
        const std::vector<float> block = plugin.Block(kBlock, changes);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::string Text(const std::vector<char>& chunk)
{
    return chunk.size() > 4 ? std::string(chunk.begin() + 4, chunk.end()) : std::string();
}

std::vector<char> Chunk(const std::string& text)
{
    const auto count = static_cast<int32_t>(text.size());
    std::vector<char> chunk(4 + text.size());
    std::memcpy(chunk.data(), &count, 4);
    std::memcpy(chunk.data() + 4, text.data(), text.size());
    return chunk;
}

// A state as an earlier build wrote it under a decimal-comma locale: every
// number of a value with its comma.
std::string WithDecimalCommas(const std::string& text)
{
    static const std::regex number(R"(((?:val|value)="-?[0-9]+)\.([0-9]))");
    return std::regex_replace(text, number, "$1,$2");
}

struct Saved
{
    std::string processor, controller;
    Values shown;
};

// What a host saves after setting values (fractional in every range) and
// what the controller then shows.
Saved SaveSetValues()
{
    Plugin plugin(kBundle);
    const std::vector<Change> changes = {{kWave, 2.0 / 3.0}, {kPitch, 0.1234567}, {kLevel, 0.7654321}};
    for (const Change& change : changes)
        plugin.controller()->setParamNormalized(change.id, change.value);
    plugin.controller()->setParamNormalized(kFine, 0.1234567);
    plugin.Block(kBlock, changes);
    plugin.Block(kBlock);
    Saved saved{Text(plugin.ProcessorState()), Text(plugin.ControllerState()), {}};
    for (const ParamID id : {kWave, kPitch, kLevel, kFine})
        saved.shown[id] = plugin.controller()->getParamNormalized(id);
    return saved;
}

// A fresh instance restored from the texts: what it shows and saves again.
Saved Restored(const std::string& processor, const std::string& controller)
{
    Plugin plugin(kBundle);
    plugin.Restore(Chunk(processor), Chunk(controller));
    plugin.Block(kBlock);
    Saved again{Text(plugin.ProcessorState()), Text(plugin.ControllerState()), {}};
    for (const ParamID id : {kWave, kPitch, kLevel, kFine})
        again.shown[id] = plugin.controller()->getParamNormalized(id);
    return again;
}
} // namespace

TEST(HostLocale, UnderADecimalCommaLocaleABundlePlaysShowsAndSavesAsUnderCAndOlderCommaStatesReadAsMeant)
{
    std::vector<float> playedUnderC;
    {
        Plugin plugin(kBundle);
        ASSERT_TRUE(plugin.instance);
        playedUnderC = Play(plugin);
    }
    ASSERT_GT(Rms(playedUnderC), 0.01);
    const Saved underC = SaveSetValues();

    const kv_test::CommaLocale comma;
    KV_REQUIRE_COMMA_LOCALE(comma);

    // The fractional ranges of the documents play as they do under C,
    // sample for sample, and the host's texts of values read back.
    {
        Plugin plugin(kBundle);
        ASSERT_TRUE(plugin.instance);
        EXPECT_EQ(Play(plugin), playedUnderC);
        for (const ParamID id : {kPitch, kLevel, kFine})
        {
            String128 text{};
            ASSERT_EQ(plugin.controller()->getParamStringByValue(id, 0.3, text), kResultOk);
            ParamValue back = -1.0;
            EXPECT_EQ(plugin.controller()->getParamValueByString(id, text, back), kResultOk) << id;
            EXPECT_NEAR(back, 0.3, 0.01) << id;
        }
    }

    // States are written as under C, with decimal points, and restore the values exactly.
    const Saved saved = SaveSetValues();
    EXPECT_EQ(saved.processor, underC.processor);
    EXPECT_EQ(saved.controller, underC.controller);
    EXPECT_EQ(saved.processor.find(','), std::string::npos) << saved.processor;
    EXPECT_EQ(saved.controller.find(','), std::string::npos) << saved.controller;
    EXPECT_EQ(saved.shown, underC.shown);
    const Saved restored = Restored(saved.processor, saved.controller);
    EXPECT_EQ(restored.processor, saved.processor);
    EXPECT_EQ(restored.controller, saved.controller);
    for (const auto& [id, value] : saved.shown)
        EXPECT_NEAR(restored.shown.at(id), value, 1e-6) << id;
    EXPECT_EQ(restored.shown.at(kFine), saved.shown.at(kFine));

    // States that earlier builds saved with decimal commas, read under either locale.
    const std::string commaProcessor = WithDecimalCommas(saved.processor);
    const std::string commaController = WithDecimalCommas(saved.controller);
    ASSERT_NE(commaProcessor, saved.processor);
    ASSERT_NE(commaController, saved.controller);
    for (const char* locale : {kv_test::CommaLocale::kName, "C"})
    {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
        const Saved read = Restored(commaProcessor, commaController);
        EXPECT_EQ(read.processor, saved.processor);
        EXPECT_EQ(read.controller, saved.controller);
        EXPECT_EQ(read.shown, restored.shown);
    }
}
