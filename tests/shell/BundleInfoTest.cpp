#include "shell/BundleInfo.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "ShellTestSupport.h"

using namespace shell_test;

TEST(BundleInfo, BundleIsTheFolderAboveContentsAndTheArchitectureFolder)
{
    const auto bundle = BundleInfo::FromModulePath("/opt/vst3/Korvane Synth.vst3/Contents/x86_64-linux/Korvane Synth.so");
    ASSERT_TRUE(bundle.valid());
    EXPECT_EQ(bundle.bundlePath(), "/opt/vst3/Korvane Synth.vst3");
    EXPECT_EQ(bundle.name(), "Korvane Synth");
    EXPECT_EQ(bundle.resourcesPath(), "/opt/vst3/Korvane Synth.vst3/Contents/Resources/");
    EXPECT_EQ(bundle.plugInsPath(), "/opt/vst3/Korvane Synth.vst3/Contents/PlugIns/");

    const auto relative = BundleInfo::FromModulePath("Synth.vst3/Contents/aarch64-linux/Synth.so");
    ASSERT_TRUE(relative.valid());
    EXPECT_EQ(relative.bundlePath(), "Synth.vst3");

    // "." elements, as a loader reports a module opened by "./Name.so", are not folders.
    const auto dotted = BundleInfo::FromModulePath("/opt//K.vst3/./Contents/x86_64-linux/./K.so");
    ASSERT_TRUE(dotted.valid());
    EXPECT_EQ(dotted.bundlePath(), "/opt/K.vst3");
    EXPECT_EQ(BundleInfo::FromModulePath("./K.vst3/Contents/x86_64-linux/K.so").bundlePath(), "K.vst3");
}

TEST(BundleInfo, PathsNotInsideABundleGiveNoBundleAndSaySo)
{
    for (const char* path : {"", "/usr/lib/libfoo.so", "Contents/x86_64-linux/K.so", "/a/Other/x86_64-linux/K.so",
                             "/Contents/x86_64-linux/K.so"})
    {
        testing::internal::CaptureStderr();
        const auto bundle = BundleInfo::FromModulePath(path);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(bundle.valid()) << path;
        EXPECT_EQ(bundle.resourcesPath(), "") << path;
        EXPECT_EQ(bundle.plugInsPath(), "") << path;
        EXPECT_NE(message.find("not inside a bundle"), std::string::npos) << path;
    }
}

TEST(BundleInfo, ResourceIsReadWholeIncludingZeroBytes)
{
    ScratchFolder scratch;
    const std::string content = std::string("first\0second", 12) + std::string(100000, 'x');
    WriteText(scratch.path() / "K.vst3/Contents/Resources/data.bin", content);
    WriteText(scratch.path() / "K.vst3/Contents/Resources/sub/inner.xml", "<a/>");
    const auto bundle = BundleInfo::FromModulePath(scratch.file("K.vst3/Contents/x86_64-linux/K.so"));

    EXPECT_EQ(bundle.readResource("data.bin"), content);
    EXPECT_EQ(bundle.readResource("sub/inner.xml"), "<a/>");
}

TEST(BundleInfo, UnreadableResourceGivesEmptyTextAndALogLine)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "K.vst3/Contents/Resources/present.txt", "here");
    const auto bundle = BundleInfo::FromModulePath(scratch.file("K.vst3/Contents/x86_64-linux/K.so"));

    for (const char* name : {"missing.xml", "", "../../outside.txt", "sub/../../x", "/etc/hostname"})
    {
        testing::internal::CaptureStderr();
        const std::string text = bundle.readResource(name);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(text, "") << name;
        EXPECT_FALSE(message.empty()) << name;
    }

    // A folder in place of a file cannot be read either.
    std::filesystem::create_directories(scratch.path() / "K.vst3/Contents/Resources/folder.xml");
    testing::internal::CaptureStderr();
    EXPECT_EQ(bundle.readResource("folder.xml"), "");
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}

TEST(BundleInfo, ABundleReachedThroughASymlinkKeepsTheLinkPath)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "real/K.vst3/Contents/Resources/r.txt", "resource");
    std::filesystem::create_directory_symlink(scratch.path() / "real", scratch.path() / "link");
    const auto bundle = BundleInfo::FromModulePath(scratch.file("link/K.vst3/Contents/x86_64-linux/K.so"));

    EXPECT_EQ(bundle.bundlePath(), scratch.file("link/K.vst3"));
    EXPECT_EQ(bundle.readResource("r.txt"), "resource");
}

TEST(BundleInfo, LoaderNamesTheFileThatHoldsAnAddress)
{
    // stdout points into the C library's own data.
    EXPECT_NE(BundleInfo::ModulePathOf(stdout).find("libc.so"), std::string::npos);
    EXPECT_EQ(BundleInfo::ModulePathOf(nullptr), "");
}

TEST(BundleInfo, CodeOutsideABundleHasNoOwnBundle)
{
    testing::internal::CaptureStderr();
    const BundleInfo& own = BundleInfo::Own();
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(own.valid());
    testing::internal::CaptureStderr();
    EXPECT_EQ(own.readResource("factory.kv.xml"), "");
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}
