// The desktop dialogs with a scripted chooser: a fake zenity (or kdialog) on PATH that records its
// command line and answers as the test says, watched through a test run loop.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../editor/fake_editor_host.h"
#include "editor/choose_file.h"
#include "editor/platform/desktop_dialogs.h"
#include "test_run_loop.h"

namespace kestravel::plugins::testing {
namespace {

namespace fs = std::filesystem;

FileDialogRequest wavRequest()
{
    FileDialogRequest r;
    const char16_t filter[] = u"WAV audio\0*.wav\0";
    r.filter.assign(filter, std::size(filter));
    r.defaultExtension = u"wav";
    return r;
}

class DesktopDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestravel-chooser-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        ::setenv("PATH", dir.c_str(), 1); // only the fakes are found
    }
    void TearDown() override
    {
        ::setenv("PATH", savedPath.c_str(), 1);
        fs::remove_all(dir);
    }

    // A fake tool that appends each argument on a line of its own to "args", then runs body.
    void fake(const std::string& tool, const std::string& body)
    {
        const fs::path file = dir / tool;
        std::ofstream out(file);
        out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << (dir / "args").string() << "'; done\n"
            << body << "\n";
        out.close();
        fs::permissions(file, fs::perms::owner_all);
    }

    std::vector<std::string> recordedArgs()
    {
        std::ifstream in(dir / "args");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    void expectNothingRegistered()
    {
        EXPECT_TRUE(loop.watches.empty());
        EXPECT_TRUE(loop.timers.empty());
    }

    fs::path dir;
    std::string savedPath;
    TestRunLoop loop;
    std::vector<std::u16string> notices;
    DesktopDialogs dialogs{[this](const std::u16string& text) { notices.push_back(text); }};
};

TEST_F(DesktopDialogsTest, TheChoosersAnswerBecomesThePathOrNothing)
{
    const struct {
        const char* what;
        const char* body;
        bool save;
        std::optional<std::u16string> expected;
    } cases[] = {
        {"a path", "printf '%s\\n' '/home/u/take 1.wav'; exit 0", false, u"/home/u/take 1.wav"},
        {"a non-ASCII path", "printf '%s\\n' '/home/u/\xC3\xA4\xE9\x9F\xB3 \xF0\x9F\x8E\xB5.wav'; exit 0", false,
         u"/home/u/\u00e4\u97f3 \U0001F3B5.wav"},
        {"cancel", "exit 1", false, std::nullopt},
        {"a save name without extension", "printf '%s\\n' '/srv/a.b/take'; exit 0", true, u"/srv/a.b/take.wav"},
        {"a save name with one", "printf '%s\\n' '/srv/take.flac'; exit 0", true, u"/srv/take.flac"},
        {"no output", "exit 0", false, std::nullopt},
        {"a relative path", "printf '%s\\n' 'take.wav'; exit 0", false, std::nullopt},
        {"two lines", "printf '%s\\n%s\\n' '/a.wav' '/b.wav'; exit 0", false, std::nullopt},
        {"invalid UTF-8", "printf '/tmp/\\377.wav\\n'; exit 0", false, std::nullopt},
        {"a path and a failure", "printf '%s\\n' '/a.wav'; exit 3", false, std::nullopt},
        {"killed", "printf '%s\\n' '/a.wav'; kill -9 $$", false, std::nullopt},
        {"endless garbage",
         "while :; do printf '%s\\n' 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'; done", false,
         std::nullopt},
    };
    ASSERT_TRUE(dialogs.open(&loop));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake("zenity", c.body);
        int answers = 0;
        std::optional<std::u16string> answer = u"unset";
        auto done = [&](std::optional<std::u16string> chosen) {
            ++answers;
            answer = std::move(chosen);
        };
        if (c.save)
            dialogs.askSaveFile(wavRequest(), done);
        else
            dialogs.askOpenFile(wavRequest(), done);
        EXPECT_EQ(answers, 0); // never while the host waits
        ASSERT_TRUE(loop.runUntil([&] { return answers > 0; }, 10000, true));
        EXPECT_EQ(answer, c.expected);
        loop.run(30, true);
        EXPECT_EQ(answers, 1);
        EXPECT_LT(dialogs.helperProcess(), 0);
        expectNothingRegistered();
    }
    EXPECT_TRUE(notices.empty());
}

TEST_F(DesktopDialogsTest, CommandLinesCarryTheFilterAndTheDialogKind)
{
    const struct {
        const char* tool;
        bool save;
        std::vector<std::string> args;
    } cases[] = {
        {"zenity", false, {"--file-selection", "--title=Open", "--file-filter=WAV audio | *.wav"}},
        {"zenity", true, {"--file-selection", "--title=Save As", "--save", "--file-filter=WAV audio | *.wav"}},
        {"kdialog", false, {"--title", "Open", "--getopenfilename", ".", "*.wav|WAV audio"}},
        {"kdialog", true, {"--title", "Save As", "--getsavefilename", ".", "*.wav|WAV audio"}},
    };
    ASSERT_TRUE(dialogs.open(&loop));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + (c.save ? " save" : " open"));
        fs::remove(dir / "zenity");
        fs::remove(dir / "args");
        fake(c.tool, "exit 1"); // kdialog alone: zenity is preferred whenever it is there
        bool answered = false;
        auto done = [&](std::optional<std::u16string>) { answered = true; };
        if (c.save)
            dialogs.askSaveFile(wavRequest(), done);
        else
            dialogs.askOpenFile(wavRequest(), done);
        ASSERT_TRUE(loop.runUntil([&] { return answered; }, 10000, true));
        EXPECT_EQ(recordedArgs(), c.args);
    }
}

TEST_F(DesktopDialogsTest, MessageBoxesAnswerWithTheButtonPressed)
{
    const struct {
        const char* what;
        uint32_t type;
        const char* body;
        std::string kind;
        int32_t expected;
    } cases[] = {
        {"question, yes", kMbYesNo | kMbIconQuestion, "exit 0", "--question", kIdYes},
        {"question, no", kMbYesNo | kMbIconQuestion, "exit 1", "--question", kIdNo},
        {"question, helper killed", kMbYesNo, "kill -9 $$", "--question", kIdNo},
        {"error", kMbOk | kMbIconError, "exit 0", "--error", kIdOk},
        {"information, closed", kMbOk | kMbIconInformation, "exit 1", "--info", kIdOk},
    };
    ASSERT_TRUE(dialogs.open(&loop));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "args");
        fake("zenity", c.body);
        int32_t button = -1;
        dialogs.askMessageBoxW(nullptr, u"Stop <b>recording</b> \u00e4?", u"KESTRAVEL RECORDER", c.type,
                               [&](int32_t b) { button = b; });
        ASSERT_TRUE(loop.runUntil([&] { return button != -1; }, 10000, true));
        EXPECT_EQ(button, c.expected);
        // Texts go through as they are: no markup, UTF-8.
        EXPECT_EQ(recordedArgs(), (std::vector<std::string>{c.kind, "--title=KESTRAVEL RECORDER",
                                                            "--text=Stop <b>recording</b> \xC3\xA4?", "--no-markup"}));
    }
}

TEST_F(DesktopDialogsTest, TheHostKeepsRunningWhileTheUserChooses)
{
    fake("zenity", "/bin/sleep 1; printf '%s\\n' '/a.wav'");
    ASSERT_TRUE(dialogs.open(&loop));
    std::optional<std::u16string> answer;
    const auto start = std::chrono::steady_clock::now();
    dialogs.askOpenFile(wavRequest(), [&](std::optional<std::u16string> chosen) { answer = std::move(chosen); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    // Meanwhile a box waits its turn, and a second file dialog is refused at once.
    int boxes = 0;
    dialogs.messageBoxW(nullptr, u"later", u"KESTRAVEL", kMbOk);
    dialogs.askMessageBoxW(nullptr, u"later", u"KESTRAVEL", kMbOk, [&](int32_t) { ++boxes; });
    int refused = 0;
    dialogs.askOpenFile(wavRequest(), [&](std::optional<std::u16string> chosen) { refused += !chosen; });
    EXPECT_EQ(refused, 1);
    ASSERT_TRUE(loop.runUntil([&] { return answer.has_value(); }, 10000, true));
    EXPECT_EQ(*answer, u"/a.wav");
    EXPECT_EQ(boxes, 0);
    ASSERT_TRUE(loop.runUntil([&] { return boxes == 1; }, 10000, true));
}

TEST_F(DesktopDialogsTest, ClosingEndsTheHelperAndDropsItsAnswer)
{
    fake("zenity", "/bin/sleep 30; printf '%s\\n' '/a.wav'");
    ASSERT_TRUE(dialogs.open(&loop));
    int answers = 0;
    dialogs.askOpenFile(wavRequest(), [&](std::optional<std::u16string>) { ++answers; });
    dialogs.askMessageBoxW(nullptr, u"queued", u"KESTRAVEL", kMbOk, [&](int32_t) { ++answers; });
    loop.run(50, true);
    const pid_t helper = dialogs.helperProcess();
    ASSERT_GT(helper, 0);
    dialogs.close();
    EXPECT_EQ(::kill(helper, 0), -1); // gone and reaped
    loop.run(50, true);
    EXPECT_EQ(answers, 0);
    expectNothingRegistered();
    EXPECT_EQ(loop.references, 1);
}

TEST_F(DesktopDialogsTest, WithoutAChooserTheEditorSaysWhichPackageToInstall)
{
    ASSERT_TRUE(dialogs.open(&loop)); // PATH holds no tool at all
    std::optional<std::u16string> answer = u"unset";
    dialogs.askSaveFile(wavRequest(), [&](std::optional<std::u16string> chosen) { answer = std::move(chosen); });
    EXPECT_EQ(answer, std::nullopt);
    int32_t button = -1;
    dialogs.askMessageBoxW(nullptr, u"Stop now?", u"KESTRAVEL", kMbYesNo, [&](int32_t b) { button = b; });
    EXPECT_EQ(button, kIdNo); // the safe answer
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], kNoChooserNotice);
    EXPECT_NE(notices[0].find(u"zenity package"), std::u16string::npos);
    EXPECT_EQ(notices[1], u"Stop now?");
    expectNothingRegistered();
}

TEST_F(DesktopDialogsTest, ChooseFileAppliesTheAnswerWhenItArrives)
{
    ASSERT_TRUE(dialogs.open(&loop));
    {
        SCOPED_TRACE("accepted");
        FakeEditorHost host(RECORDER);
        fake("zenity", "printf '%s\\n' '/takes/t\xC3\xA4ke'");
        EXPECT_FALSE(chooseFile(host, dialogs, nullptr)); // not yet
        EXPECT_TRUE(host.filesSet.empty());
        ASSERT_TRUE(loop.runUntil([&] { return !host.filesSet.empty(); }, 10000, true));
        EXPECT_EQ(host.filesSet, std::vector<std::u16string>{u"/takes/t\u00e4ke.wav"});
    }
    {
        SCOPED_TRACE("refused: the reason in an error box");
        FakeEditorHost host(PLAYER);
        host.setFileRefusal = "Stop file playback before replacing WAV";
        fs::remove(dir / "args");
        fake("zenity", "printf '%s\\n' '/x.wav'");
        chooseFile(host, dialogs, nullptr);
        ASSERT_TRUE(loop.runUntil([&] { return recordedArgs().size() > 3 && !dialogs.busy(); }, 10000, true));
        const auto args = recordedArgs();
        ASSERT_EQ(args.size(), 7u);
        EXPECT_EQ(args[3], "--error");
        EXPECT_EQ(args[4], "--title=KESTRAVEL PLAYER");
        EXPECT_EQ(args[5], "--text=Stop file playback before replacing WAV");
    }
}

} // namespace
} // namespace kestravel::plugins::testing
