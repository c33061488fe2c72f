// Saved state: framing, the document, and all-or-nothing restore.

#include "plugin_fixture.h"

#include "plugins/saved_state.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;

std::string frame(const std::string& text)
{
    const auto n = static_cast<uint32_t>(text.size());
    std::string bytes{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                      static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    return bytes + text;
}

std::string frameLength(int32_t length, const std::string& body)
{
    const auto n = static_cast<uint32_t>(length);
    std::string bytes{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                      static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    return bytes + body;
}

std::string savedText(UtilityPlugin& plugin)
{
    MemoryStream stream;
    EXPECT_EQ(plugin.getState(&stream), kResultOk);
    return stream.data.substr(4);
}

// A valid document of the kind with one member replaced (or removed when value is null).
std::string documentWith(ModuleKind kind, const std::string& key, const nlohmann::json& value,
                         bool remove = false)
{
    Module fresh(kind);
    nlohmann::json doc = nlohmann::json::parse(savedText(*fresh));
    if (remove)
        doc.erase(key);
    else
        doc[key] = value;
    return doc.dump();
}

std::string parametersWith(size_t index, const nlohmann::json& value)
{
    Module fresh(OUTPUT);
    nlohmann::json doc = nlohmann::json::parse(savedText(*fresh));
    doc["parameters"][index] = value;
    return doc.dump();
}

TEST(SavedState, FreshOutputTextHasTheDocumentedShape)
{
    Module output(OUTPUT);
    MemoryStream stream;
    ASSERT_EQ(output->getState(&stream), kResultOk);
    const std::string text = stream.data.substr(4);
    const auto length = static_cast<uint32_t>(static_cast<unsigned char>(stream.data[0])) |
                        static_cast<uint32_t>(static_cast<unsigned char>(stream.data[1])) << 8;
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(text.rfind("{\"kind\":2,\"parameters\":[0.1111111111111111,0.8823529411764706,1.0,0,0.0,1.0,", 0), 0u) << text.substr(0, 90);
    const std::string tail = "],\"path\":\"\",\"schema\":1}";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.find(' '), std::string::npos);
}

TEST(SavedState, RoundTripIntoAFreshModule)
{
    Module source(FADER_BANK);
    for (uint32_t id = 0; id < kParamSlots; ++id)
        source->setParamNormalized(id, static_cast<double>((id * 7919u) % 1000u) / 999.0);
    const std::string text = savedText(*source);

    Module restored(FADER_BANK);
    MemoryStream stream(frame(text));
    ASSERT_EQ(restored->setState(&stream), kResultOk);
    for (uint32_t id = 0; id < kParamSlots; ++id)
        EXPECT_EQ(restored->getParamNormalized(id), id == kPlayRecordParam ? 0.0 : source->getParamNormalized(id)) << id;
    EXPECT_EQ(restored->getParameterObject(kFaderGainParamBase + 4)->getNormalized(),
              source->getParamNormalized(kFaderGainParamBase + 4));
}

// Windows paths are saved in the generic form; elsewhere a backslash is an ordinary file-name
// character and stays one.
TEST(SavedState, PathIsSavedInGenericFormWithRawUtf8)
{
    Module recorder(RECORDER);
    recorder->destinationPath = u"C:\\Audio\\t\u00e4ke.wav";
    const std::string text = savedText(*recorder);
#ifdef _WIN32
    const std::u16string expect = u"C:/Audio/t\u00e4ke.wav";
    EXPECT_NE(text.find("\"path\":\"C:/Audio/t\xc3\xa4ke.wav\""), std::string::npos) << text;
#else
    const std::u16string expect = u"C:\\Audio\\t\u00e4ke.wav";
    EXPECT_NE(text.find(R"("path":"C:\\Audio\\t)" "\xc3\xa4ke.wav\""), std::string::npos) << text;
#endif

    Module restored(RECORDER);
    MemoryStream stream(frame(text));
    ASSERT_EQ(restored->setState(&stream), kResultOk);
    EXPECT_EQ(restored->destinationPath, expect);
}

// A PLAYER whose file name holds a backslash keeps it through a save and a restore.
TEST(SavedState, BackslashInALinuxFileNameSurvivesARoundTrip)
{
#ifdef _WIN32
    GTEST_SKIP() << "a backslash separates folders on Windows";
#else
    TempDir dir;
    writeTestWav(dir.path / "back\\slash.wav", 480);
    Module player(PLAYER);
    std::string message;
    ASSERT_TRUE(player->setFile(dir.file("back\\slash.wav"), message)) << message;
    MemoryStream saved;
    ASSERT_EQ(player->getState(&saved), kResultOk);
    saved.position = 0;
    Module restored(PLAYER);
    ASSERT_EQ(restored->setState(&saved), kResultOk);
    EXPECT_EQ(restored->destinationPath, dir.file("back\\slash.wav"));
    EXPECT_EQ(restored->player.totalFrames.load(), 480u);
#endif
}

struct RefusalCase {
    const char* name;
    std::string bytes;
};

std::string withRawPath(std::string doc, const std::string& raw)
{
    const std::string empty = "\"path\":\"\"";
    return doc.replace(doc.find(empty), empty.size(), "\"path\":\"" + raw + "\"");
}

TEST(SavedState, EveryMalformedStreamIsRefusedWholeAndChangesNothing)
{
    const std::string good = documentWith(OUTPUT, "schema", 1);
    const std::vector<RefusalCase> cases = {
        {"short length read", std::string("\x05\x00", 2)},
        {"length 0", frameLength(0, good)},
        {"negative length", frameLength(-4, good)},
        {"length 1 MiB + 1", frameLength(1048577, good)},
        {"short body", frameLength(static_cast<int32_t>(good.size()) + 1, good)},
        {"invalid json", frame("{\"kind\":2,")},
        {"comments", frame("/* c */" + good)},
        {"trailing garbage", frame(good + "x")},
        {"two values", frame(good + " {}")},
        {"not an object", frame("[1,2,3]")},
        {"schema missing", frame(documentWith(OUTPUT, "schema", nullptr, true))},
        {"schema 2", frame(documentWith(OUTPUT, "schema", 2))},
        {"schema string", frame(documentWith(OUTPUT, "schema", "1"))},
        {"schema huge", frame(documentWith(OUTPUT, "schema", 1e300))},
        {"another kind", frame(documentWith(OUTPUT, "kind", 3))},
        {"kind as string", frame(documentWith(OUTPUT, "kind", "2"))},
        {"parameters missing", frame(documentWith(OUTPUT, "parameters", nullptr, true))},
        {"parameters object", frame(documentWith(OUTPUT, "parameters", nlohmann::json::object()))},
        {"511 parameters", frame(documentWith(OUTPUT, "parameters", std::vector<double>(511, 0.5)))},
        {"513 parameters", frame(documentWith(OUTPUT, "parameters", std::vector<double>(513, 0.5)))},
        {"string element", frame(parametersWith(1, "0.5"))},
        {"boolean element", frame(parametersWith(1, true))},
        {"null element", frame(parametersWith(1, nullptr))},
        {"above range", frame(parametersWith(1, 1.0000001))},
        {"below range", frame(parametersWith(1, -0.0001))},
        {"large integer", frame(parametersWith(1, 2))},
        {"path number", frame(documentWith(OUTPUT, "path", 5))},
        {"path too long", frame(documentWith(OUTPUT, "path", std::string(32768, 'a')))},
        {"invalid utf8 in path", frame(withRawPath(good, "\xff"))},
        {"NUL in path", frame(withRawPath(good, "take\\u0000.wav"))},
        {"non-finite literal", frame(R"({"kind":2,"parameters":[NaN],"path":"","schema":1})")},
    };
    for (const auto& c : cases) {
        Module output(OUTPUT);
        output->setParamNormalized(kGainParam, 0.25);
        output->destinationPath = u"keep";
        MemoryStream stream(c.bytes);
        EXPECT_EQ(output->setState(&stream), kResultFalse) << c.name;
        EXPECT_EQ(output->getParamNormalized(kGainParam), 0.25) << c.name;
        EXPECT_EQ(output->destinationPath, u"keep") << c.name;
    }
}

TEST(SavedState, LenientReadsThatAreAccepted)
{
    const std::vector<RefusalCase> cases = {
        {"schema 1.9 reads as 1", frame(documentWith(OUTPUT, "schema", 1.9))},
        {"schema true reads as 1", frame(documentWith(OUTPUT, "schema", true))},
        {"integer element", frame(parametersWith(1, 1))},
        {"path missing clears", frame(documentWith(OUTPUT, "path", nullptr, true))},
        {"longest path", frame(documentWith(OUTPUT, "path", std::string(32767, 'a')))},
        {"white space around", frame("  \n" + documentWith(OUTPUT, "schema", 1) + " \t")},
    };
    for (const auto& c : cases) {
        Module output(OUTPUT);
        output->destinationPath = u"old";
        MemoryStream stream(c.bytes);
        EXPECT_EQ(output->setState(&stream), kResultOk) << c.name;
        EXPECT_NE(output->destinationPath, u"old") << c.name;
    }
}

// Hosts restore after activation and during playback (presets, undo): accepted all the same.
TEST(SavedState, AcceptedWhileProcessingRefusedForNullStreams)
{
    Module source(OUTPUT);
    source->setParamNormalized(kGainParam, 0.25);
    Module output(OUTPUT);
    output->setProcessing(true);
    MemoryStream stream(frame(savedText(*source)));
    EXPECT_EQ(output->setState(&stream), kResultOk);
    EXPECT_EQ(output->getParamNormalized(kGainParam), 0.25);
    EXPECT_EQ(output->paramValues[kGainParam].load(), 0.25);
    output->setProcessing(false);
    EXPECT_EQ(output->setState(nullptr), kResultFalse);
    EXPECT_EQ(output->getState(nullptr), kInvalidArgument);
}

TEST(SavedState, PlayRecordIsSavedAsZeroAndResetOnRestore)
{
    Module player(PLAYER);
    player->setParamNormalized(kPlayRecordParam, 1.0);
    const auto doc = nlohmann::json::parse(savedText(*player));
    EXPECT_TRUE(doc["parameters"][3].is_number_integer());
    EXPECT_EQ(doc["parameters"][3], 0);

    Module other(PLAYER);
    other->setParamNormalized(kPlayRecordParam, 1.0);
    nlohmann::json edited = doc;
    edited["parameters"][3] = 1.0;
    MemoryStream stream(frame(edited.dump()));
    ASSERT_EQ(other->setState(&stream), kResultOk);
    EXPECT_EQ(other->getParamNormalized(kPlayRecordParam), 0.0);
}

TEST(SavedState, PlayerLoadsItsFileDuringRestoreOrRefusesWhole)
{
    TempDir dir;
    writeTestWav(dir.path / "loop.wav", 480);
    Module player(PLAYER);
    const std::string withFile = documentWith(PLAYER, "path", "placeholder");
    nlohmann::json doc = nlohmann::json::parse(withFile);
    doc["path"] = (dir.path / "loop.wav").generic_string();
    doc["parameters"][kFollowTransportParam] = 0.0;
    MemoryStream good(frame(doc.dump()));
    ASSERT_EQ(player->setState(&good), kResultOk);
    EXPECT_EQ(player->player.totalFrames.load(), 480u);
    EXPECT_EQ(player->getParamNormalized(kFollowTransportParam), 0.0);

    doc["path"] = (dir.path / "gone.wav").generic_string();
    doc["parameters"][kFollowTransportParam] = 1.0;
    MemoryStream missing(frame(doc.dump()));
    EXPECT_EQ(player->setState(&missing), kResultFalse);
    EXPECT_EQ(player->player.totalFrames.load(), 480u);
    EXPECT_EQ(player->getParamNormalized(kFollowTransportParam), 0.0);
    EXPECT_NE(player->destinationPath.find(u"loop.wav"), std::u16string::npos);
}

// A file played from disk is saved and restored by its path like any other.
TEST(SavedState, StreamedPlayerRestoresByItsPath)
{
    TempDir dir;
    writeTestWav(dir.path / "long.wav", 480);
    Module first(PLAYER);
    first->player.preloadLimitBytes = 100; // this file streams
    std::string message;
    ASSERT_TRUE(first->setFile(dir.file("long.wav"), message)) << message;
    ASSERT_NE(first->statusText().find("from disk"), std::string::npos);

    Module second(PLAYER);
    second->player.preloadLimitBytes = 100;
    MemoryStream saved(frame(savedText(*first)));
    ASSERT_EQ(second->setState(&saved), kResultOk);
    EXPECT_EQ(second->player.totalFrames.load(), 480u);
    EXPECT_EQ(second->statusText(), "long.wav | Ready | from disk; underruns 0");

    // Moved away while both modules stream it (Windows keeps a deleted name while it is open).
    std::filesystem::rename(dir.path / "long.wav", dir.path / "moved.wav");
    MemoryStream vanished(frame(savedText(*first)));
    EXPECT_EQ(second->setState(&vanished), kResultFalse); // refused whole, the stream plays on
    EXPECT_EQ(second->player.totalFrames.load(), 480u);
}

TEST(SavedState, WritesThatFallShortOrPathsWithoutUtf8Fail)
{
    Module output(OUTPUT);
    MemoryStream shortStream;
    shortStream.writeLimit = 3;
    EXPECT_EQ(output->getState(&shortStream), kResultFalse);

    Module recorder(RECORDER);
    recorder->destinationPath = std::u16string(u"take") + char16_t(0xD800) + u".wav";
    MemoryStream stream;
    EXPECT_EQ(recorder->getState(&stream), kResultFalse);
    EXPECT_TRUE(stream.data.empty());
}

TEST(SavedState, ComponentStateRestoresTheSameWay)
{
    Module source(SUMMING);
    source->setParamNormalized(kActiveStripsParam, 1.0);
    Module target(SUMMING);
    MemoryStream stream(frame(savedText(*source)));
    EXPECT_EQ(target->setComponentState(&stream), kResultOk);
    EXPECT_EQ(target->getParamNormalized(kActiveStripsParam), 1.0);
}

} // namespace
} // namespace kestravel::plugins::test
