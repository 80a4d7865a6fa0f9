#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/DesktopFileChooser.h"

using namespace VSTGUI;
namespace fs = std::filesystem;

namespace {

struct ScriptedChooser : IFileChooser
{
    bool choose(const CNewFileSelector& selector, std::vector<std::string>& files) override
    {
        seen = &selector;
        files = answer;
        return !answer.empty();
    }
    const CNewFileSelector* seen = nullptr;
    std::vector<std::string> answer;
};

struct Delegate : CBaseObject
{
    CMessageResult notify(CBaseObject* sender, IdStringPtr message) override
    {
        if (message != CNewFileSelector::kSelectEndMessage)
            return kMessageUnknown;
        auto* selector = static_cast<CNewFileSelector*>(sender);
        file = selector->getNumSelectedFiles() ? selector->getSelectedFile(0) : "(cancelled)";
        return kMessageNotified;
    }
    std::string file;
};

TEST(FileSelector, RunsThroughTheInstalledChooserAndTellsItsDelegate)
{
    ScriptedChooser chooser;
    CNewFileSelector::setChooser(&chooser);
    CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile);
    selector->setTitle("Choose a plugin preset file");
    selector->setDefaultExtension(CFileExtension("preset", "xml"));
    EXPECT_EQ(selector->getStyle(), CNewFileSelector::kSelectSaveFile);
    ASSERT_NE(selector->getDefaultExtension(), nullptr);
    EXPECT_EQ(selector->getDefaultExtension()->getExtension(), "xml");

    Delegate delegate;
    chooser.answer = {"/tmp/a.xml"};
    EXPECT_TRUE(selector->run(&delegate));
    EXPECT_EQ(chooser.seen, selector);
    EXPECT_EQ(delegate.file, "/tmp/a.xml");
    EXPECT_EQ(selector->getSelectedFile(1), nullptr);

    chooser.answer.clear();
    EXPECT_FALSE(selector->run(&delegate));
    EXPECT_EQ(delegate.file, "(cancelled)");
    selector->forget();
    CNewFileSelector::setChooser(nullptr);
    EXPECT_EQ(CNewFileSelector::create(nullptr, CNewFileSelector::Style(7)), nullptr);
}

// A folder on PATH holding a stand-in dialog program that records its
// arguments one per line and prints an answer.
struct FakeDialogs : ::testing::Test
{
    FakeDialogs()
    {
        dir = fs::temp_directory_path() / ("kv_toolkit_dialogs_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", dir.c_str(), 1);
    }
    ~FakeDialogs() override
    {
        ::setenv("PATH", savedPath.c_str(), 1);
        fs::remove_all(dir);
    }
    void install(const std::string& name, const std::string& answer, int exitCode)
    {
        const fs::path program = dir / name;
        std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                               << (dir / "args").string() << "'\nprintf '" << answer << "'\nexit " << exitCode << "\n";
        ::chmod(program.c_str(), 0755);
    }
    std::vector<std::string> recordedArguments() const
    {
        std::ifstream in(dir / "args");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    fs::path dir;
    std::string savedPath;
};

TEST_F(FakeDialogs, ZenityGetsEachArgumentWholeAndItsAnswerIsTheChosenFile)
{
    install("zenity", "/home/me/My Preset.xml\\n", 0);
    install("kdialog", "/never", 0);
    CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile);
    selector->setTitle("Choose a \"plugin\" preset; file");
    selector->setInitialDirectory("/home/me");
    selector->setDefaultSaveName("Bass.xml");
    selector->setDefaultExtension(CFileExtension("preset", "xml"));
    selector->addFileExtension(CFileExtension("", "*"));
    ASSERT_TRUE(selector->runModal());
    EXPECT_STREQ(selector->getSelectedFile(0), "/home/me/My Preset.xml");
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{"--file-selection",
                                                             "--title=Choose a \"plugin\" preset; file", "--save",
                                                             "--filename=/home/me/Bass.xml",
                                                             "--file-filter=preset | *.xml", "--file-filter=* | *"}));
    selector->forget();
}

TEST_F(FakeDialogs, KdialogServesWhenZenityIsMissingAndAFailedDialogIsCancelled)
{
    install("kdialog", "/data/kits\\n", 0);
    CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectDirectory);
    selector->setTitle("Kits");
    ASSERT_TRUE(selector->runModal());
    EXPECT_STREQ(selector->getSelectedFile(0), "/data/kits");
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{"--title", "Kits", "--getexistingdirectory", "."}));

    install("kdialog", "", 1); // the user pressed Cancel
    EXPECT_FALSE(selector->runModal());
    EXPECT_EQ(selector->getNumSelectedFiles(), 0u);
    selector->forget();
}

TEST_F(FakeDialogs, WithNoDialogProgramTheSelectorIsCancelled)
{
    CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectFile);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(selector->runModal());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("neither zenity nor kdialog"), std::string::npos);
    selector->forget();
}

} // namespace
