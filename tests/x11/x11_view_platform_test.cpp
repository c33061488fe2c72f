// What a view gets on Linux: the run loop from the host's frame, the window on it, and dialogs
// whose answers die with the window.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "editor/platform/x11_view_platform.h"
#include "test_run_loop.h"
#include "test_screen.h"

namespace kestravel::plugins::testing {
namespace {

namespace fs = std::filesystem;

class QuietClient : public X11WindowClient {
public:
    int holds = 0;
    void paint(cairo_t*) override {}
    void pointerDown(int32_t, int32_t, uint32_t, bool) override {}
    void pointerDrag(int32_t, int32_t, uint32_t) override {}
    void pointerHover(int32_t, int32_t) override {}
    bool pointerWheel(int32_t, int32_t, double, uint32_t) override { return false; }
    void pointerUp() override {}
    void captureLost() override {}
    void contextMenu(int32_t, int32_t) override {}
    void hold() override { ++holds; }
    void letGo() override { --holds; }
};

void* asParent(uint32_t window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

class X11ViewPlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X server (scripts/test.sh starts Xvfb)";
        ASSERT_TRUE(screen.ok());
        parent = screen.topLevel();
        char pattern[] = "/tmp/kestravel-platform-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        ::setenv("PATH", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::setenv("PATH", savedPath.c_str(), 1);
        fs::remove_all(dir);
    }

    TestScreen screen;
    TestRunLoop loop;
    uint32_t parent = 0;
    fs::path dir;
    std::string savedPath;
    QuietClient client;
};

TEST_F(X11ViewPlatformTest, TheRunLoopComesFromTheHostsFrame)
{
    TestFrame withoutLoop(nullptr);
    TestFrame withLoop(&loop);
    X11ViewPlatform platform(client);
    EXPECT_FALSE(platform.attach(asParent(parent), "X11EmbedWindowID", nullptr, 960, 580));
    EXPECT_FALSE(platform.attach(asParent(parent), "X11EmbedWindowID", &withoutLoop, 960, 580));
    EXPECT_FALSE(platform.attach(asParent(parent), "X11EmbedWindowID", &withLoop, 0, 580));
    EXPECT_TRUE(screen.childless(parent));
    EXPECT_EQ(loop.references, 1);
    EXPECT_EQ(withoutLoop.references, 1);

    ASSERT_TRUE(platform.attach(asParent(parent), "X11EmbedWindowID", &withLoop, 960, 580));
    EXPECT_TRUE(screen.eventually([&] { return screen.children(parent).size() == 1u; }));
    EXPECT_EQ(loop.watches.size(), 1u);
    EXPECT_EQ(loop.timers.size(), 1u);
    EXPECT_EQ(withLoop.references, 1); // the frame itself is not kept
    platform.remove();
    EXPECT_TRUE(screen.childless(parent));
    EXPECT_TRUE(loop.watches.empty());
    EXPECT_TRUE(loop.timers.empty());
    EXPECT_EQ(loop.references, 1);
    // And again, as a host that closes and reopens its editor does.
    ASSERT_TRUE(platform.attach(asParent(parent), "X11EmbedWindowID", &withLoop, 960, 580));
}

TEST_F(X11ViewPlatformTest, ADialogOpenWhenTheWindowGoesNeverAnswers)
{
    {
        std::ofstream fake(dir / "zenity");
        fake << "#!/bin/sh\n/bin/sleep 30\nprintf '%s\\n' '/late.wav'\n";
    }
    fs::permissions(dir / "zenity", fs::perms::owner_all);
    TestFrame frame(&loop);
    X11ViewPlatform platform(client);
    ASSERT_TRUE(platform.attach(asParent(parent), "X11EmbedWindowID", &frame, 960, 580));
    int answers = 0;
    FileDialogRequest request;
    platform.desktopDialogs().askOpenFile(request, [&](std::optional<std::u16string>) { ++answers; });
    loop.run(50, true);
    const pid_t helper = platform.desktopDialogs().helperProcess();
    ASSERT_GT(helper, 0);
    platform.remove();
    EXPECT_EQ(::kill(helper, 0), -1);
    loop.run(50, true);
    EXPECT_EQ(answers, 0);
    EXPECT_TRUE(loop.watches.empty());
    EXPECT_EQ(loop.references, 1);
    EXPECT_EQ(client.holds, 0);
}

TEST_F(X11ViewPlatformTest, AMissingChooserIsReportedInTheWindow)
{
    TestFrame frame(&loop);
    X11ViewPlatform platform(client);
    ASSERT_TRUE(platform.attach(asParent(parent), "X11EmbedWindowID", &frame, 960, 580));
    platform.desktopDialogs().askSaveFile(FileDialogRequest{}, nullptr);
    EXPECT_EQ(platform.editorWindow().notice(), kNoChooserNotice);
}

} // namespace
} // namespace kestravel::plugins::testing
