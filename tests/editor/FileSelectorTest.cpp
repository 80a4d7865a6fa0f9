#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "ToolkitTestSupport.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/DesktopFileChooser.h"
#include "tests/TempFolder.h"
#include "tests/ThreadWait.h"

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

TEST(FileSelector, RunsThroughTheInstalledChooserAndTellsItsDelegateWhenTheFramePolls)
{
    ScriptedChooser chooser;
    CNewFileSelector::setChooser(&chooser);
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectSaveFile);
    selector->setTitle("Choose a plugin preset file");
    selector->setDefaultExtension(CFileExtension("preset", "xml"));
    EXPECT_EQ(selector->getStyle(), CNewFileSelector::kSelectSaveFile);
    ASSERT_NE(selector->getDefaultExtension(), nullptr);
    EXPECT_EQ(selector->getDefaultExtension()->getExtension(), "xml");

    Delegate delegate;
    chooser.answer = {"/tmp/a.xml"};
    EXPECT_TRUE(selector->run(&delegate));
    EXPECT_EQ(chooser.seen, selector);
    // Even an answer given at once waits for the frame's timer.
    EXPECT_EQ(delegate.file, "");
    EXPECT_TRUE(selector->isRunning());
    frame->platformOnIdle();
    EXPECT_EQ(delegate.file, "/tmp/a.xml");
    EXPECT_EQ(selector->getSelectedFile(1), nullptr);
    EXPECT_EQ(delegate.getNbReference(), 1);

    chooser.answer.clear();
    EXPECT_TRUE(selector->run(&delegate));
    frame->platformOnIdle();
    EXPECT_EQ(delegate.file, "(cancelled)");
    EXPECT_EQ(selector->getNbReference(), 1);
    selector->forget();

    // Without a frame nothing would see the dialog end: refused.
    CNewFileSelector* loose = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectFile);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loose->run(&delegate));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no frame"), std::string::npos);
    loose->forget();
    frame->forget();
    CNewFileSelector::setChooser(nullptr);
    EXPECT_EQ(CNewFileSelector::create(nullptr, CNewFileSelector::Style(7)), nullptr);
}

// A folder on PATH holding a stand-in dialog program that records its
// arguments one per line and prints an answer.
struct FakeDialogs : ::testing::Test
{
    FakeDialogs()
    {
        dir = folder.path();
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", dir.c_str(), 1);
        // No desktop portal of the machine's own answers first.
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            if (const char* value = std::getenv(name))
            {
                savedBus.emplace_back(name, value);
                ::unsetenv(name);
            }
    }
    ~FakeDialogs() override
    {
        for (const auto& [name, value] : savedBus)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::setenv("PATH", savedPath.c_str(), 1);
    }
    void install(const std::string& name, const std::string& answer, int exitCode)
    {
        const fs::path program = dir / name;
        std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                               << (dir / "args").string() << "'\nprintf '" << answer << "'\nexit " << exitCode << "\n";
        ::chmod(program.c_str(), 0755);
    }
    // A dialog that notes its process id, starts a helper of its own, and
    // answers only once the file "go" appears.
    void installWaiting(const std::string& name, const std::string& answer)
    {
        const fs::path program = dir / name;
        std::ofstream(program) << "#!/bin/sh\n/bin/sleep 60 &\necho $! > '" << (dir / "helper").string() << "'\necho $$ > '"
                               << (dir / "pid").string() << "'\nwhile [ ! -e '" << (dir / "go").string()
                               << "' ]; do /bin/sleep 0.02; done\nprintf '%s\\n' '" << answer << "'\n";
        ::chmod(program.c_str(), 0755);
    }
    void go() const { std::ofstream(dir / "go") << "\n"; }
    // A process id the dialog wrote, once it is there.
    pid_t readPid(const std::string& file) const
    {
        pid_t pid = 0;
        kv_test::WaitUntil([&] { return static_cast<bool>(std::ifstream(dir / file) >> pid); });
        return pid;
    }
    std::vector<std::string> recordedArguments() const
    {
        std::ifstream in(dir / "args");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    kv_test::TempFolder folder{"toolkit-dialogs"};
    fs::path dir;
    std::string savedPath;
    std::vector<std::pair<std::string, std::string>> savedBus;
};

// Neither our child any more (reaped) nor running.
bool Reaped(pid_t pid)
{
    return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// Not running: no process, or a zombie of someone else's.
bool Gone(pid_t pid)
{
    return kv_test::WaitUntil([&] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return true;
        const size_t close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() &&
               (line[close + 2] == 'Z' || line[close + 2] == 'X');
    });
}

TEST_F(FakeDialogs, RunReturnsWhileTheDialogIsOpenAndTheFramesTimerHearsItsEnd)
{
    installWaiting("zenity", "/home/me/Slow.xml");
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    selector->setTitle("first");
    Delegate delegate;
    ASSERT_TRUE(selector->run(&delegate));
    selector->forget(); // the open dialog keeps it
    const pid_t pid = readPid("pid");
    ASSERT_GT(pid, 0);
    frame->platformOnIdle();
    EXPECT_EQ(delegate.file, "");

    // One dialog per frame: a second is refused, and the first goes on.
    CNewFileSelector* second = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(second->run(&delegate));
    EXPECT_FALSE(second->runModal());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("(\"first\"): a second file dialog refused"),
              std::string::npos);
    second->forget();

    go();
    kv_test::WaitUntil([&] {
        frame->platformOnIdle();
        return !delegate.file.empty();
    });
    EXPECT_EQ(delegate.file, "/home/me/Slow.xml");
    EXPECT_TRUE(Reaped(pid));
    EXPECT_EQ(delegate.getNbReference(), 1);
    ::kill(readPid("helper"), SIGKILL);
    frame->forget();
}

TEST_F(FakeDialogs, AFrameClosedWhileItsDialogIsOpenEndsTheDialogAndTellsNobody)
{
    installWaiting("zenity", "/never.xml");
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    Delegate delegate;
    ASSERT_TRUE(selector->run(&delegate));
    const pid_t pid = readPid("pid");
    const pid_t helper = readPid("helper");
    ASSERT_GT(pid, 0);
    ASSERT_GT(helper, 0);
    EXPECT_EQ(selector->getNbReference(), 2);

    frame->forget(); // closes the frame
    EXPECT_FALSE(selector->isRunning());
    EXPECT_TRUE(Reaped(pid));
    // What the dialog started went with it.
    EXPECT_TRUE(Gone(helper));
    EXPECT_EQ(delegate.file, "");
    EXPECT_EQ(delegate.getNbReference(), 1);
    EXPECT_EQ(selector->getNbReference(), 1);
    selector->forget();
}

// The modal wait serves the window; a window closed meanwhile ends the dialog.
TEST_F(FakeDialogs, RunModalTurnsTheWindowsLoopUntilTheDialogEndsOrTheFrameCloses)
{
    installWaiting("kdialog", "/data/kit");
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    auto window = std::make_unique<kvtest::FakePlatformFrame>();
    kvtest::FakePlatformFrame& platform = *window;
    ASSERT_TRUE(frame->open(std::move(window)));
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectDirectory);
    platform.modalTurn = [&](int turn) {
        if (turn == 5)
            go();
    };
    EXPECT_TRUE(selector->runModal());
    EXPECT_STREQ(selector->getSelectedFile(0), "/data/kit");
    EXPECT_GE(platform.modalTurns, 5);
    EXPECT_TRUE(Reaped(readPid("pid")));
    ::kill(readPid("helper"), SIGKILL);

    fs::remove(dir / "pid");
    fs::remove(dir / "go");
    platform.modalTurns = 0;
    // Closed once the dialog is surely running (it has written its pid).
    bool closed = false;
    platform.modalTurn = [&](int turn) {
        if (turn >= 5 && !closed && fs::exists(dir / "pid"))
        {
            closed = true;
            frame->close();
        }
    };
    testing::internal::CaptureStderr();
    EXPECT_FALSE(selector->runModal());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(selector->getNumSelectedFiles(), 0u);
    EXPECT_TRUE(Reaped(readPid("pid")));
    EXPECT_TRUE(Gone(readPid("helper")));
    selector->forget();
    frame->forget();
}

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
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no desktop portal, zenity or kdialog"), std::string::npos);
    selector->forget();
}

} // namespace
