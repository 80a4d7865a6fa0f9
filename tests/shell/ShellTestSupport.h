#pragma once
// Helpers shared by the shell and host tests: a scratch folder removed at the
// end, bundles laid out from the built test instrument, and a sink that
// keeps rendered audio.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TempFolder.h"
#include "tools/kvhost/AudioSink.h"

namespace shell_test
{
namespace fs = std::filesystem;

inline const std::string kTestSineBundle = KV_TEST_SINE_BUNDLE;

inline std::string TestSineModule()
{
    return kTestSineBundle + "/Contents/x86_64-linux/KvTestSine.so";
}

class ScratchFolder : public kv_test::TempFolder
{
public:
    ScratchFolder() : TempFolder("shell") {}
};

inline void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The test instrument's identity; `fail` lists calls that are to fail.
inline std::string TestSineFactoryXml(const std::string& vendor, const std::string& fail = "")
{
    return "<Factory>\n"
           "  <Vendor Name=\"" + vendor + "\" Url=\"u\" Email=\"e@x.invalid\"/>\n"
           "  <Plugins><Plugin Name=\"KvTestSine\" Version=\"1.0.0\"\n"
           "    ProcessorId=\"{6A1D0C52-3F0B-4E55-9C3E-2B7D61E0A001}\"\n"
           "    ControllerId=\"{6A1D0C52-3F0B-4E55-9C3E-2B7D61E0A002}\"\n"
           "    subCategories=\"Instrument\" Fail=\"" + fail + "\"/></Plugins>\n"
           "</Factory>\n";
}

// A bundle "<name>.vst3" in `folder` with its own copy of the test
// instrument's module and the given factory document.
inline std::string MakeTestSineBundle(const fs::path& folder, const std::string& name, const std::string& factoryXml)
{
    const fs::path bundle = folder / (name + ".vst3");
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    fs::copy_file(TestSineModule(), bundle / "Contents" / "x86_64-linux" / (name + ".so"),
                  fs::copy_options::overwrite_existing);
    WriteText(bundle / "Contents" / "Resources" / "factory.kv.xml", factoryXml);
    return bundle.string();
}

class CaptureSink : public AudioSink
{
public:
    bool write(const float* const* channels, int numChannels, int frames) override
    {
        channels_.resize(static_cast<std::size_t>(numChannels));
        for (int c = 0; c < numChannels; ++c)
            channels_[static_cast<std::size_t>(c)].insert(channels_[static_cast<std::size_t>(c)].end(), channels[c],
                                                          channels[c] + frames);
        return true;
    }
    const std::vector<float>& channel(std::size_t index) const { return channels_.at(index); }
    std::size_t channelCount() const { return channels_.size(); }

private:
    std::vector<std::vector<float>> channels_;
};
} // namespace shell_test
