// The test instrument's bundle as the build lays it out, its exports, and how
// a module finds its own bundle and resources once a host has loaded it.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "ShellTestSupport.h"
#include "tools/kvhost/PluginModule.h"

using namespace shell_test;

TEST(PluginBundle, BuildLaysOutTheLinuxBundle)
{
    EXPECT_TRUE(fs::is_regular_file(TestSineModule()));
    EXPECT_TRUE(fs::is_regular_file(kTestSineBundle + "/Contents/Resources/factory.kv.xml"));
    EXPECT_EQ(PluginModule::ModulePathInBundle(kTestSineBundle + "/"), TestSineModule());
}

TEST(PluginBundle, ModuleExportsOnlyTheEntryPoints)
{
    const std::string command = std::string(KV_NM) + " -D --defined-only \"" + TestSineModule() + "\"";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof(line), pipe))
    {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        exported.insert(text.substr(text.rfind(' ') + 1));
    }
    ASSERT_EQ(pclose(pipe), 0);
    const std::set<std::string> allowed = {"GetPluginFactory", "ModuleEntry", "ModuleExit", "bundleEntry", "bundleExit"};
    EXPECT_EQ(exported, allowed);
}

TEST(PluginBundle, FactoryTellsItsIdentityFromTheBundleResources)
{
    std::string error;
    auto module = PluginModule::Load(kTestSineBundle, error);
    ASSERT_TRUE(module) << error;
    EXPECT_EQ(module->vendor(), "Korvane Test Bench");
    EXPECT_EQ(module->email(), "mailto:bench@korvane.invalid");
    // The test instrument reports the bundle path it found through dladdr.
    EXPECT_EQ(module->url(), kTestSineBundle);
    ASSERT_EQ(module->classes().size(), 2u);
    EXPECT_EQ(module->classes()[0].category, "Audio Module Class");
    EXPECT_EQ(module->classes()[0].name, "KvTestSine");
    EXPECT_EQ(module->classes()[0].subCategories, "Instrument|Synth");
    EXPECT_EQ(module->classes()[1].category, "Component Controller Class");
}

TEST(PluginBundle, EachBundleReadsItsOwnResourcesThroughItsOwnModuleCopy)
{
    ScratchFolder scratch;
    const auto first = MakeTestSineBundle(scratch.path(), "First", TestSineFactoryXml("Vendor One"));
    const auto second = MakeTestSineBundle(scratch.path(), "Second", TestSineFactoryXml("Vendor Two"));
    std::string error;
    auto one = PluginModule::Load(first, error);
    ASSERT_TRUE(one) << error;
    auto two = PluginModule::Load(second, error);
    ASSERT_TRUE(two) << error;
    EXPECT_EQ(one->vendor(), "Vendor One");
    EXPECT_EQ(two->vendor(), "Vendor Two");
    EXPECT_EQ(one->url(), first);
    EXPECT_EQ(two->url(), second);
}

TEST(PluginBundle, ABundleReachedThroughASymlinkKnowsItselfByTheLinkPath)
{
    ScratchFolder scratch;
    MakeTestSineBundle(scratch.path() / "real", "Linked", TestSineFactoryXml("Linked Vendor"));
    fs::create_directory_symlink(scratch.path() / "real", scratch.path() / "link");
    const std::string linked = scratch.file("link/Linked.vst3");
    std::string error;
    auto module = PluginModule::Load(linked, error);
    ASSERT_TRUE(module) << error;
    EXPECT_EQ(module->url(), linked);
    EXPECT_EQ(module->vendor(), "Linked Vendor");
}

TEST(PluginBundle, AModuleLoadedTwiceStaysUsableUntilItsLastExit)
{
    std::string error;
    auto first = PluginModule::Load(kTestSineBundle, error);
    auto second = PluginModule::Load(kTestSineBundle, error);
    ASSERT_TRUE(first && second) << error;
    first.reset();
    ASSERT_NE(second->factory(), nullptr);
    EXPECT_EQ(second->factory()->countClasses(), 2);
}

TEST(PluginBundle, LoadFailuresSayWhatIsWrong)
{
    ScratchFolder scratch;
    const auto failingEntry = MakeTestSineBundle(scratch.path(), "NoEntry", TestSineFactoryXml("V", "entry"));
    fs::create_directories(scratch.path() / "Empty.vst3/Contents");
    WriteText(scratch.path() / "NotElf.vst3/Contents/x86_64-linux/NotElf.so", "not a shared object");
    fs::create_directories(scratch.path() / "NoFactory.vst3/Contents/x86_64-linux");
    fs::copy_file(KV_NO_FACTORY_MODULE, scratch.path() / "NoFactory.vst3/Contents/x86_64-linux/NoFactory.so");

    const std::pair<std::string, const char*> cases[] = {
        {scratch.file("Missing.vst3"), "no such plug-in"},
        {scratch.file("Empty.vst3"), "is not a VST3 bundle"},
        {scratch.file("NotElf.vst3"), "cannot load"},
        {scratch.file("NoFactory.vst3"), "does not export GetPluginFactory"},
        {KV_NO_FACTORY_MODULE, "does not export GetPluginFactory"},
        {failingEntry, "ModuleEntry"},
    };
    for (const auto& [path, expected] : cases)
    {
        std::string error;
        EXPECT_FALSE(PluginModule::Load(path, error)) << path;
        EXPECT_NE(error.find(expected), std::string::npos) << path << " -> " << error;
    }
}
