#include "fileaudio/file_status.h"
#include "fileaudio/take_naming.h"
#include "core/text_utf.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#include <set>

namespace kestravel::plugins::testing {
namespace {

TEST(Utf, RoundTripsValidText)
{
    const std::u16string samples[] = {u"", u"plain.wav", u"T\u00ebst \u97f3\u58f0", u"\U0001F3B5\U0010FFFF",
                                      u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000"};
    for (const std::u16string& s : samples) {
        const auto utf8 = utf16ToUtf8(s);
        ASSERT_TRUE(utf8);
        EXPECT_EQ(utf8ToUtf16(*utf8), s);
    }
    EXPECT_EQ(*utf16ToUtf8(u"\u00e9\U0001F3B5"), "\xC3\xA9\xF0\x9F\x8E\xB5");
}

TEST(Utf, RejectsInvalidInput)
{
    const std::string badUtf8[] = {
        "\x80",             // lone continuation
        "\xC3",             // truncated
        "\xE2\x82",         // truncated
        "\xC0\xAF",         // overlong
        "\xE0\x80\xAF",     // overlong
        "\xED\xA0\x80",     // encoded surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "a\xC3(b",
    };
    for (const std::string& s : badUtf8)
        EXPECT_FALSE(utf8ToUtf16(s)) << "accepted " << ::testing::PrintToString(s);
    const std::u16string badUtf16[] = {u"\xD800", u"a\xDC00", u"\xD800x", u"\xDBFF"};
    for (const std::u16string& s : badUtf16)
        EXPECT_FALSE(utf16ToUtf8(s));
    EXPECT_EQ(utf16ToUtf8Lossy(std::u16string(u"a") + u"\xD800" + u"b"), "a\xEF\xBF\xBD" "b");
}

TEST(Utf, PathsWithNonAsciiNamesReachTheFileSystem)
{
    TempDir tmp;
    const std::u16string path = u16(tmp.dir) + u"/\u00c5ngstr\u00f6m-\U0001F3B5.txt";
    writeAll(toFsPath(path), {1, 2});
    EXPECT_TRUE(pathExists(path));
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.dir))
        found = found || u16(entry.path().filename()) == u"\u00c5ngstr\u00f6m-\U0001F3B5.txt";
    EXPECT_TRUE(found);
#ifndef _WIN32
    EXPECT_THROW(toFsPath(u"a\xD800"), std::runtime_error); // no UTF-8 spelling
    EXPECT_FALSE(pathExists(u"a\xD800"));
#endif
}

TEST(FileName, LastComponentAsUtf8)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"C:\\a\\b\\loop.wav", "loop.wav"},
        {u"/home/me/take.wav", "take.wav"},
        {u"C:\\mixed/dirs\\x.wav", "x.wav"},
        {u"C:drive-relative.wav", "drive-relative.wav"},
        {u"plain.wav", "plain.wav"},
        {u"C:\\music\\", ""},
        {u"D:\\\u97f3\u58f0\\\u00e9t\u00e9.wav", "\xC3\xA9t\xC3\xA9.wav"},
        {u"/x/a\xD800.wav", "a\xEF\xBF\xBD.wav"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(fileNameOf(path), name);
}

TEST(Status, EveryLineOfEveryKind)
{
    TempDir tmp;
    FilePlayer player;
    FileRecorder rec;
    EXPECT_EQ(statusText(PLAYER, u"", player, rec), "Choose a WAV file. Disk is never read in the audio callback.");
    EXPECT_EQ(statusText(PLAYER, u"C:\\a\\b\\loop.wav", player, rec), "loop.wav | Ready");
    PreloadedAudio a;
    a.channels = 1;
    a.sampleRate = 48000;
    a.samples.assign(10, 0.0f);
    player.install(std::move(a));
    player.startPlayback(0, 0);
    EXPECT_EQ(statusText(PLAYER, u"/m/loop.wav", player, rec), "loop.wav | Playing");

    for (ModuleKind k : {INPUT, OUTPUT, SUMMING, BREAKOUT, FADER_BANK, DISTRIBUTOR})
        EXPECT_EQ(statusText(k, u"C:\\x.wav", player, rec), "Host audio ports | Digital processing | No extra hardware engine");

    const std::u16string dest = tmp.wide("rec.wav");
    EXPECT_EQ(statusText(RECORDER, dest, player, rec), "Choose a NEW WAV destination before playback");
    rec.prepareDestination(dest, 2, 48000);
    EXPECT_EQ(statusText(RECORDER, dest, player, rec), "Armed and ready");
    rec.startCapture(0);
    EXPECT_EQ(statusText(RECORDER, dest, player, rec), "Recording 0 frames; dropped 0");
    pushTake(rec, 2, 0, 48000);
    ASSERT_TRUE(waitFor([&] { return rec.framesWritten.load() == 48000; }));
    EXPECT_EQ(statusText(RECORDER, dest, player, rec), "Recording 48000 frames; dropped 0");
    rec.stopWriter();
    EXPECT_EQ(statusText(RECORDER, dest, player, rec), "Finalized rec.wav");
    EXPECT_EQ(statusText(RECORDER, u"", player, rec), "Choose a NEW WAV destination before playback");

    FileRecorder broken;
    try {
        broken.prepareDestination(tmp.wide("missing/x.wav"), 2, 48000);
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(statusText(RECORDER, dest, player, broken), "Recording failed; inspect output disk");
}

TEST(TakeNaming, StemAndDirectory)
{
    const std::tuple<std::u16string, std::u16string, std::u16string> cases[] = {
        {u"C:\\rec\\song.wav", u"C:\\rec\\", u"song"},
        {u"/rec/a.b.wav", u"/rec/", u"a.b"},
        {u"/rec/.wav", u"/rec/", u".wav"},
        {u"/rec/noext", u"/rec/", u"noext"},
        {u"/rec/trailing.", u"/rec/", u"trailing"},
        {u"song.wav", u"", u"song"},
        {u"/rec/..", u"/rec/", u".."},
    };
    for (const auto& [path, dir, stem] : cases) {
        EXPECT_EQ(directoryPrefixOf(path), dir);
        EXPECT_EQ(stemOf(path), stem);
    }
}

// The existence test is a set of names, so no case touches the disk.
TEST(TakeNaming, ChoosesTheFirstFreeName)
{
    struct Case {
        const char* name;
        std::u16string stored;
        std::set<std::u16string> existing;
        uint32_t limit;
        std::u16string expected;
    };
    const Case cases[] = {
        {"free stored path", u"C:\\rec\\song.wav", {}, kMaxTakeNumber, u"C:\\rec\\song.wav"},
        {"stored exists", u"C:\\rec\\song.wav", {u"C:\\rec\\song.wav"}, kMaxTakeNumber, u"C:\\rec\\song-take1.wav"},
        {"upper-case extension", u"C:\\rec\\song.WAV", {u"C:\\rec\\song.WAV"}, kMaxTakeNumber,
         u"C:\\rec\\song-take1.wav"},
        {"first gap", u"/r/s.wav", {u"/r/s.wav", u"/r/s-take1.wav", u"/r/s-take2.wav", u"/r/s-take4.wav"},
         kMaxTakeNumber, u"/r/s-take3.wav"},
        {"take of a take", u"C:\\rec\\song-take1.wav", {u"C:\\rec\\song-take1.wav"}, kMaxTakeNumber,
         u"C:\\rec\\song-take1-take1.wav"},
        {"all taken returns the last", u"/r/s.wav", {u"/r/s.wav", u"/r/s-take1.wav", u"/r/s-take2.wav", u"/r/s-take3.wav"},
         3, u"/r/s-take3.wav"},
    };
    for (const Case& c : cases) {
        int calls = 0;
        const auto exists = [&](const std::u16string& p) {
            ++calls;
            return c.existing.count(p) != 0;
        };
        EXPECT_EQ(chooseTakePath(c.stored, exists, c.limit), c.expected) << c.name;
        EXPECT_LE(calls, static_cast<int>(c.limit) + 1) << c.name;
    }
}

TEST(TakeNaming, DefaultLimitNumbersUpTo99999)
{
    std::u16string last;
    const auto everything = [&](const std::u16string& p) {
        last = p;
        return true;
    };
    EXPECT_EQ(chooseTakePath(u"/r/s.wav", everything), u"/r/s-take99999.wav");
}

TEST(TakeNaming, FailingExistenceTestPropagates)
{
    const auto failing = [](const std::u16string& p) -> bool {
        throw std::filesystem::filesystem_error("exists", toFsPath(p),
                                                std::make_error_code(std::errc::permission_denied));
    };
    EXPECT_THROW(chooseTakePath(u"/r/s.wav", failing), std::filesystem::filesystem_error);

#ifndef _WIN32 // an over-long name is simply absent on Windows
    TempDir tmp;
    try {
        chooseTakePath(tmp.wide(std::string(300, 'y') + "/s.wav"));
        FAIL() << "no error";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("exists"), std::string::npos) << e.what();
    }
#endif
}

TEST(TakeNaming, RealFiles)
{
    TempDir tmp;
    writeAll(tmp.path("song.wav"), {0});
    std::filesystem::create_directory(tmp.path("song-take1.wav"));
    EXPECT_EQ(chooseTakePath(tmp.wide("song.wav")), tmp.wide("song-take2.wav"));
    EXPECT_EQ(chooseTakePath(tmp.wide("fresh.wav")), tmp.wide("fresh.wav"));
}

} // namespace
} // namespace kestravel::plugins::testing
