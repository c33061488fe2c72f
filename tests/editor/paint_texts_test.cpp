// Every text of every layout: the words, their boxes, fonts, colours and formats.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/text_util.h"
#include "fake_editor_host.h"
#include "recording_canvas.h"
#include "editor_fixture.h"

namespace kestravel::plugins::testing {
namespace {

using namespace palette;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr TextFormat kLine = TextFormat::Line;
constexpr TextFormat kCentred = TextFormat::Centred;
constexpr TextFormat kWrap = TextFormat::Wrap;

const Label kSubtitle{{28, 49, 890, 75},
                      u"Independent VST3 module  /  realtime audio  /  host-controlled ports",
                      kSecondaryText, 13, false, kLine};

Label title(const char16_t* name) { return {{26, 13, 820, 46}, name, kPrimaryText, 27, true, kLine}; }

Label button(Rect box, const char16_t* text, bool on = false)
{
    return {box, text, on ? kButtonOnText : kPrimaryText, 14, true, kCentred};
}

Label disabledButton(Rect box, const char16_t* text) { return {box, text, kDisabledText, 14, true, kCentred}; }

RecordingCanvas paint(FakeEditorHost& host, EditorState& state)
{
    RecordingCanvas canvas;
    paintView(state, host, canvas);
    return canvas;
}

RecordingCanvas paint(FakeEditorHost& host)
{
    EditorState state;
    return paint(host, state);
}

TEST(PaintTexts, RoutingKinds)
{
    const Label outputGain{{30, 320, 920, 355}, u"Output gain", kSecondaryText, 15, false, kLine};
    const Label footer{{30, 517, 920, 563},
                       u"Extra DAW buses must be enabled by the host. Inactive or disconnected inputs are silent.",
                       kSecondaryText, 14, false, kLine};
    const auto description = [](const char16_t* text) {
        return Label{{28, 112, 920, 190}, text, kPrimaryText, 23, true, kWrap};
    };
    const auto count = [](const char16_t* text) { return Label{{207, 222, 890, 266}, text, kAccent, 23, true, kLine}; };
    const auto gain = [](const char16_t* text) { return Label{{31, 448, 919, 491}, text, kAccent, 24, true, kLine}; };

    struct Case {
        ModuleKind kind;
        double strips;
        double gainValue;
        std::vector<Label> labels;
    };
    const Case cases[] = {
        {INPUT, 1.0 / 9, 15.0 / 17,
         {title(u"KESTRAVEL INPUT"), kSubtitle,
          description(u"Expose audio supplied by the DAW or rack input. Hardware selection belongs to the host."),
          outputGain, gain(u"0.0 dB"), footer}},
        {OUTPUT, 1.0 / 9, 0.5,
         {title(u"KESTRAVEL OUTPUT"), kSubtitle,
          description(u"Pass audio to a host-routed output. Hardware selection belongs to the host."), outputGain,
          gain(u"-39.0 dB"), footer}},
        {SUMMING, 0.0, 0.0,
         {title(u"KESTRAVEL SUMMING"), kSubtitle,
          description(u"Add independent mono / stereo inputs into one output. Neutral digital addition."),
          button({29, 222, 98, 266}, u"\u2212"), button({112, 222, 181, 266}, u"+"), count(u"1 active inputs"),
          outputGain, gain(u"-90.0 dB"), footer}},
        {BREAKOUT, 1.0, 1.0,
         {title(u"KESTRAVEL BREAKOUT"), kSubtitle,
          description(
              u"Separate a multichannel input into individual mono outputs. Each output carries one input lane."),
          button({29, 222, 98, 266}, u"\u2212"), button({112, 222, 181, 266}, u"+"),
          count(u"64 enabled output lanes"), outputGain, gain(u"12.0 dB"), footer}},
        {DISTRIBUTOR, 1.0 / 9, 15.0 / 17,
         {title(u"KESTRAVEL DISTRIBUTOR"), kSubtitle,
          description(u"Copy the input to independent output branches. Connect any branch to an effect."),
          button({29, 222, 98, 266}, u"\u2212"), button({112, 222, 181, 266}, u"+"), count(u"8 active branches"),
          outputGain, gain(u"0.0 dB"), footer}},
    };
    for (const auto& c : cases) {
        FakeEditorHost host(c.kind);
        host.set(kActiveStripsParam, c.strips);
        host.set(kGainParam, c.gainValue);
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind);
        EXPECT_THAT(paint(host).labels, ElementsAreArray(c.labels));
    }
}

TEST(PaintTexts, PlayerWithAndWithoutClip)
{
    FakeEditorHost host(PLAYER);
    host.status = "loop.wav | Ready";
    host.set(kPlayRecordParam, 1.0);
    host.set(kFollowTransportParam, 0.0);
    host.set(kChasePositionParam, 1.0);
    const Label status{{28, 169, 929, 218}, u"loop.wav | Ready", kAccent, 15, false, kWrap};
    const Label footer{{28, 523, 930, 563}, u"WAV PCM 16/24/32-bit or float32. Preloaded audio, maximum 512 MiB decoded.",
                       kSecondaryText, 14, false, kLine};
    const Label hint{{40, 300, 920, 375}, u"Choose a WAV file to see its waveform.", kSecondaryText, 19, false, kCentred};
    const std::vector<Label> head{title(u"KESTRAVEL PLAYER"), kSubtitle,
                                  button({28, 112, 206, 155}, u"Open WAV\u2026"),
                                  button({222, 112, 349, 155}, u"Play", true), button({362, 112, 480, 155}, u"Stop"),
                                  button({498, 112, 770, 155}, u"Follow DAW transport", false), status,
                                  button({782, 112, 930, 155}, u"Chase position", true)};

    auto expected = head;
    expected.push_back(hint);
    expected.push_back(footer);
    EXPECT_THAT(paint(host).labels, ElementsAreArray(expected));

    // Channels but no frames is still no clip.
    host.overview = WaveformOverview::empty(0, 2, 48000);
    EXPECT_THAT(paint(host).labels, ElementsAreArray(expected));

    host.overview = WaveformOverview::empty(96000, 2, 48000);
    expected = head;
    expected.push_back({{36, 461, 911, 492}, u"96000 frames  /  48000 Hz  /  2 channels  /  0:00:02.000", kSecondaryText,
                        14, false, kLine});
    expected.push_back(footer);
    EXPECT_THAT(paint(host).labels, ElementsAreArray(expected));

    // While the file sounds: where the playhead is, then the length.
    host.position = 72000;
    expected = head;
    expected.push_back({{36, 461, 911, 492}, u"96000 frames  /  48000 Hz  /  2 channels  /  0:00:01.500 of 0:00:02.000",
                        kSecondaryText, 14, false, kLine});
    expected.push_back(footer);
    const RecordingCanvas played = paint(host);
    EXPECT_THAT(played.labels, ElementsAreArray(expected));
    // The playhead: three quarters across the waveform, top to bottom.
    const auto playheads = std::count_if(played.lines.begin(), played.lines.end(), [](const Line& l) {
        return l.x1 == 704 && l.x2 == 704 && l.y1 == 230 && l.y2 == 450 && l.colour == kAccent;
    });
    EXPECT_EQ(playheads, 1);
    host.position = ~uint64_t{0};
    EXPECT_EQ(paint(host).lines.size() + 1, played.lines.size());

    // Length and timeline place as h:mm:ss.mmm, the milliseconds cut.
    host.overview = WaveformOverview::empty(44100 * 3725 + 44099, 1, 44100);
    host.overview.anchored = true;
    host.overview.anchor = 44100 * 83 + 20110; // 83.456 s and a bit
    expected = head;
    expected.push_back({{36, 461, 911, 492},
                        u"164316599 frames  /  44100 Hz  /  1 channels  /  1:02:05.999  /  placed at 0:01:23.456",
                        kSecondaryText, 14, false, kLine});
    expected.push_back(footer);
    EXPECT_THAT(paint(host).labels, ElementsAreArray(expected));

    // A file played from disk says so where the preload limit is stated.
    host.overview = WaveformOverview::empty(uint64_t{48000} * 600, 64, 48000); // 10 minutes
    host.overview.streamed = true;
    expected = head;
    expected.push_back(
        {{36, 461, 911, 492}, u"28800000 frames  /  48000 Hz  /  64 channels  /  0:10:00.000", kSecondaryText, 14,
         false, kLine});
    expected.push_back({{28, 523, 930, 563},
                        u"WAV PCM 16/24/32-bit or float32. Longer than 512 MiB decoded: played from disk.",
                        kSecondaryText, 14, false, kLine});
    EXPECT_THAT(paint(host).labels, ElementsAreArray(expected));
}

TEST(PaintTexts, Recorder)
{
    FakeEditorHost host(RECORDER);
    host.status = "Recording 48000 frames; dropped 0";
    const Label prepare{{30, 244, 916, 304},
                        u"Prepare the file first. Recording runs on the shared host sample clock.", kPrimaryText, 20,
                        true, kWrap};
    const Label tailText{{30, 324, 916, 392},
                         u"On transport stop, capture the effect tail until 0.5 seconds of silence or the maximum tail. "
                         u"Audio passes through unchanged.",
                         kSecondaryText, 17, false, kWrap};
    const auto maxTail = [](const char16_t* text) { return Label{{341, 421, 922, 460}, text, kAccent, 17, true, kLine}; };
    const Label footer{{28, 523, 930, 563}, u"New files only: existing recordings are never intentionally overwritten.",
                       kSecondaryText, 14, false, kLine};

    const struct {
        double tail;
        const char16_t* text;
    } cases[] = {{1.0 / 6, u"Maximum tail: 600 s"}, {1.0, u"Maximum tail: 3600 s"}, {1.0 / 120, u"Maximum tail: 30 s"},
                 {0.0, u"Maximum tail: 0 s"}};
    for (const auto& c : cases) {
        host.set(kMaximumTailParam, c.tail);
        EXPECT_THAT(paint(host).labels,
                    ElementsAre(title(u"KESTRAVEL RECORDER"), kSubtitle, button({28, 112, 206, 155}, u"New WAV file\u2026"),
                                button({222, 112, 349, 155}, u"Record", false), button({362, 112, 480, 155}, u"Stop"),
                                button({498, 112, 770, 155}, u"Follow DAW transport", true),
                                Label{{28, 169, 929, 218}, u"Recording 48000 frames; dropped 0", kAccent, 15, false, kWrap},
                                prepare, tailText, button({30, 421, 168, 460}, u"Tail \u2212"),
                                button({181, 421, 319, 460}, u"Tail +"), maxTail(c.text), footer));
    }
}

// The take panel sits in the band between the tail row and the footer; nothing else moves.
// A failure is its first line, in red; little room left on the disk turns the disk line amber.
TEST(PaintTexts, RecorderTakePanel)
{
    const Rect first{30, 468, 922, 493};
    const Rect second{30, 493, 922, 518};
    const struct {
        const char* name;
        TakePanel panel;
        std::vector<Label> lines;
    } cases[] = {
        {"none", {}, {}},
        {"recording",
         {true, false, false, "Take 0:01:23 | 45.6 MB | dropped 0", "Disk: 2:13:05 left at 384.0 kB/s"},
         {Label{first, u"Take 0:01:23 | 45.6 MB | dropped 0", kPrimaryText, 15, false, kLine},
          Label{second, u"Disk: 2:13:05 left at 384.0 kB/s", kSecondaryText, 15, false, kLine}}},
        {"low space",
         {true, false, true, "Take 0:00:01 | 1.2 MB | dropped 3", "Disk: 0:09:59 left at 384.0 kB/s"},
         {Label{first, u"Take 0:00:01 | 1.2 MB | dropped 3", kPrimaryText, 15, false, kLine},
          Label{second, u"Disk: 0:09:59 left at 384.0 kB/s", kWarningText, 15, true, kLine}}},
        {"failed",
         {true, true, false, "Take 0:00:02 | 2.0 MB | dropped 9", "Disk: free space unknown"},
         {Label{first, u"Recording failed; inspect output disk", kFailureText, 15, true, kLine},
          Label{second, u"Take 0:00:02 | 2.0 MB | dropped 9", kSecondaryText, 15, false, kLine}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEditorHost host(RECORDER);
        host.takePanel = c.panel;
        const auto labels = paint(host).labels;
        // Right after "Maximum tail", before the footer.
        const auto tail = std::find_if(labels.begin(), labels.end(),
                                       [](const Label& l) { return l.text.rfind(u"Maximum tail", 0) == 0; });
        ASSERT_NE(tail, labels.end());
        const std::vector<Label> panel(tail + 1, labels.end() - 1);
        EXPECT_THAT(panel, ElementsAreArray(c.lines));
        EXPECT_EQ(labels.back().box, (Rect{28, 523, 930, 563}));
    }
}

TEST(PaintTexts, StatusLineIsDecodedFromUtf8)
{
    FakeEditorHost host(PLAYER);
    host.status = "t\xc3\xa4ke \xe2\x86\x92 \xf0\x9f\x8e\xb5 bad\xff.";
    const auto labels = paint(host).labels;
    ASSERT_GT(labels.size(), 6u);
    EXPECT_EQ(labels[6].text, u"t\u00e4ke \u2192 \U0001F3B5 bad\uFFFD.");
}

TEST(PaintTexts, FaderBankPage)
{
    FakeEditorHost host(FADER_BANK);
    host.busChannels = {1, 2, 1};
    host.set(kFaderMuteParamBase + 1, 1.0);
    host.set(kFaderGainParamBase + 0, 0.0);
    host.set(kFaderGainParamBase + 2, 1.0);
    host.set(kFaderMuteParamBase + 2, 0.5); // on only above 0.5

    EditorState state;
    const auto labels = paint(host, state).labels;
    // Header, description, two buttons and the count; 4 per strip for 8 strips; page buttons,
    // footer and the page's place.
    ASSERT_EQ(labels.size(), 2u + 4u + 8u * 4u + 4u);
    EXPECT_EQ(labels[2], (Label{{24, 99, 515, 130}, u"Independent strips: each input goes only to its own output.",
                                kAccent, 15, false, kLine}));
    EXPECT_EQ(labels[3], button({650, 101, 694, 135}, u"\u2212"));
    EXPECT_EQ(labels[4], button({700, 101, 744, 135}, u"+"));
    EXPECT_EQ(labels[5], (Label{{756, 101, 930, 135}, u"8 strips", kPrimaryText, 17, true, kLine}));

    const auto strip = [&](size_t s) { return std::vector<Label>(labels.begin() + 6 + 4 * static_cast<long>(s),
                                                                 labels.begin() + 10 + 4 * static_cast<long>(s)); };
    EXPECT_THAT(strip(0), ElementsAre(Label{{30, 158, 124, 181}, u"FADER 1", kPrimaryText, 15, true, kLine},
                                      Label{{30, 181, 124, 201}, u"MONO \u2192 MONO", kSecondaryText, 10, false, kLine},
                                      button({38, 204, 114, 235}, u"Mute"),
                                      Label{{30, 461, 124, 491}, u"-90.0 dB", kPrimaryText, 15, true, kCentred}));
    EXPECT_THAT(strip(1), ElementsAre(Label{{145, 158, 239, 181}, u"FADER 2", kPrimaryText, 15, true, kLine},
                                      Label{{145, 181, 239, 201}, u"STEREO \u2192 STEREO", kSecondaryText, 10, false, kLine},
                                      button({153, 204, 229, 235}, u"MUTED", true),
                                      Label{{145, 461, 239, 491}, u"0.0 dB", kPrimaryText, 15, true, kCentred}));
    EXPECT_EQ(strip(2)[2], button({268, 204, 344, 235}, u"Mute"));
    EXPECT_EQ(strip(2)[3].text, u"12.0 dB");
    EXPECT_EQ(strip(3)[1].text, u"STEREO \u2192 STEREO"); // no such bus: 0 channels
    EXPECT_EQ(strip(7)[0], (Label{{835, 158, 929, 181}, u"FADER 8", kPrimaryText, 15, true, kLine}));

    // One page only: neither page button can move.
    EXPECT_EQ(labels[38], disabledButton({28, 525, 85, 560}, u"\u2039"));
    EXPECT_EQ(labels[39], disabledButton({91, 525, 148, 560}, u"\u203A"));
    EXPECT_EQ(labels[40], (Label{{169, 525, 920, 560},
                                 u"No internal summing. Connect strip outputs to SUMMING when needed.", kSecondaryText,
                                 14, false, kLine}));
    EXPECT_EQ(labels[41], (Label{{770, 525, 930, 560}, u"Strips 1\u20138 of 8", kSecondaryText, 14, true, kLine}));
}

TEST(PaintTexts, FaderBankPagingSaysWhereItIs)
{
    const struct {
        int32_t strips;
        uint32_t page;
        const char16_t* label;
        bool previous, next; // the page buttons that can move
    } cases[] = {
        {24, 0, u"Strips 1\u20138 of 24", false, true},    {24, 1, u"Strips 9\u201316 of 24", true, true},
        {24, 2, u"Strips 17\u201324 of 24", true, false},  {17, 2, u"Strip 17 of 17", true, false},
        {1, 0, u"Strip 1 of 1", false, false},              {64, 7, u"Strips 57\u201364 of 64", true, false},
        {10, 1, u"Strips 9\u201310 of 10", true, false},   {10, 5, u"Strips 9\u201310 of 10", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.strips << " strips, page " << c.page);
        FakeEditorHost host(FADER_BANK);
        host.set(kActiveStripsParam, (c.strips - 1) / 63.0);
        EditorState state;
        state.faderPage = c.page;
        const auto labels = paint(host, state).labels;
        ASSERT_GE(labels.size(), 4u);
        EXPECT_EQ(labels.back(), (Label{{770, 525, 930, 560}, c.label, kSecondaryText, 14, true, kLine}));
        const Label& prev = labels[labels.size() - 4];
        const Label& next = labels[labels.size() - 3];
        EXPECT_EQ(prev.colour, c.previous ? kPrimaryText : kDisabledText);
        EXPECT_EQ(next.colour, c.next ? kPrimaryText : kDisabledText);
    }
}

TEST(PaintTexts, MaximumTailShowsWholeSecondsThatAddUp)
{
    // Every step of the buttons from 30 s up to 3600 s and back down to 1 s: the label always
    // shows the seconds the presses add up to.
    EditorFixture f(RECORDER);
    f.host.set(kMaximumTailParam, 30 / 3600.0);
    int32_t expected = 30;
    auto label = [&] {
        for (const Label& l : paint(f.host).labels)
            if (l.text.rfind(u"Maximum tail: ", 0) == 0)
                return l.text;
        return std::u16string();
    };
    int32_t steps = 0;
    while (expected < 3600) {
        f.press(200, 440); // Tail +
        expected = std::min(expected + 5, 3600);
        ++steps;
        ASSERT_EQ(label(), u"Maximum tail: " + decimalText(int64_t{expected}) + u" s") << "step " << steps;
    }
    EXPECT_EQ(steps, 714);
    while (expected > 1) {
        f.press(100, 440); // Tail -
        expected = std::max(expected - 5, 1);
        ASSERT_EQ(label(), u"Maximum tail: " + decimalText(int64_t{expected}) + u" s") << "at " << expected;
    }
    // Stored as seconds / 3600, read back to the same seconds.
    EXPECT_DOUBLE_EQ(f.host.get(kMaximumTailParam), 1 / 3600.0);
}

TEST(PaintTexts, FaderBankCountsAndPages)
{
    const struct {
        double strips;
        uint32_t pageBefore;
        uint32_t pageAfter;
        const char16_t* count;
        std::vector<std::u16string> faders;
    } cases[] = {
        {0.0, 0, 0, u"1 strips", {u"FADER 1"}},
        {1.0, 7, 7, u"64 strips", {u"FADER 57", u"FADER 58", u"FADER 59", u"FADER 60", u"FADER 61", u"FADER 62",
                                   u"FADER 63", u"FADER 64"}},
        {8 / 63.0, 1, 1, u"9 strips", {u"FADER 9"}},
        {7 / 63.0, 1, 0, u"8 strips", {u"FADER 1", u"FADER 2", u"FADER 3", u"FADER 4", u"FADER 5", u"FADER 6",
                                       u"FADER 7", u"FADER 8"}},
        {16 / 63.0, 40, 2, u"17 strips", {u"FADER 17"}},
    };
    for (const auto& c : cases) {
        FakeEditorHost host(FADER_BANK);
        host.set(kActiveStripsParam, c.strips);
        EditorState state;
        state.faderPage = c.pageBefore;
        const auto canvas = paint(host, state);
        EXPECT_EQ(state.faderPage, c.pageAfter);
        EXPECT_EQ(canvas.labels[5].text, c.count);
        std::vector<std::u16string> faders;
        for (const auto& l : canvas.labels)
            if (l.text.rfind(u"FADER ", 0) == 0)
                faders.push_back(l.text);
        EXPECT_EQ(faders, c.faders) << "strips " << c.strips;
    }
}

} // namespace
} // namespace kestravel::plugins::testing
