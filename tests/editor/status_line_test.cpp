// The status line keeps the start and the end of a long file name and never shows a partial
// line. Measured with the recording canvas's simple font: 7.5 pixels a character at size 15,
// lines 18.75 high, so the 901 x 49 box holds two lines of 120 characters.

#include <gtest/gtest.h>

#include <string>

#include "editor/paint_view.h"
#include "editor/palette.h"
#include "editor/status_line.h"
#include "fake_editor_host.h"
#include "recording_canvas.h"

namespace kestravel::plugins::testing {
namespace {

constexpr double kBoxWidth = 901;
constexpr double kBoxHeight = 49;

std::u16string repeat(std::u16string_view unit, size_t times)
{
    std::u16string out;
    for (size_t i = 0; i < times; ++i)
        out += unit;
    return out;
}

std::u16string joined(const std::vector<std::u16string>& lines)
{
    std::u16string out;
    for (const auto& l : lines)
        out += (out.empty() ? u"" : u" ") + l;
    return out;
}

bool hasLoneSurrogate(std::u16string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const bool high = s[i] >= 0xD800 && s[i] <= 0xDBFF;
        const bool low = s[i] >= 0xDC00 && s[i] <= 0xDFFF;
        if (high && (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF))
            return true;
        if (low && (i == 0 || s[i - 1] < 0xD800 || s[i - 1] > 0xDBFF))
            return true;
    }
    return false;
}

TEST(StatusLine, LongNamesLoseTheirMiddleAndKeepBothEnds)
{
    const std::u16string noSpaces = u"session-" + repeat(u"abcdefghij", 20) + u"-take12.wav";
    const std::u16string spaces = u"Live at the hall " + repeat(u"second set encore ", 14) + u"-take3.wav";
    const std::u16string nonAscii =
        u"\u00e9t\u00e9-" + repeat(u"\u65e5\u672c\U0001F3B5", 60) + u"-take7.wav"; // an emoji is a surrogate pair
    const std::u16string atLimit = repeat(u"x", 110) + u"-take1.wav";  // 120 characters: 900 of 901 pixels
    const std::u16string overLimit = repeat(u"x", 111) + u"-take1.wav"; // 121 characters
    const struct {
        const char* name;
        ModuleKind kind;
        std::u16string before, file, after;
        bool shortened;
        size_t lines;
    } cases[] = {
        {"short", PLAYER, u"", u"loop.wav", u" | Ready", false, 1},
        {"no spaces", PLAYER, u"", noSpaces, u" | Playing", true, 2},
        {"spaces", PLAYER, u"", spaces, u" | Ready", true, 2},
        {"non-ASCII", PLAYER, u"", nonAscii, u" | Ready", true, 2},
        {"exactly at the limit", PLAYER, u"", atLimit, u" | Ready", false, 2},
        {"one past the limit", PLAYER, u"", overLimit, u" | Ready", true, 2},
        {"recorder", RECORDER, u"Finalized ", noSpaces, u"", true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingCanvas canvas;
        const std::u16string status = c.before + c.file + c.after;
        const StatusLayout layout = fitStatusLine(status, c.kind, canvas, kBoxWidth, kBoxHeight, 15, false);
        EXPECT_EQ(layout.shortened, c.shortened);
        EXPECT_EQ(layout.lines.size(), c.lines);
        for (const auto& line : layout.lines) {
            EXPECT_LE(canvas.textWidth(line, 15, false), kBoxWidth);
            EXPECT_FALSE(hasLoneSurrogate(line));
        }
        const std::u16string text = joined(layout.lines);
        if (!c.shortened) {
            // Lines break at spaces only.
            std::u16string expected = status;
            EXPECT_EQ(text, expected);
            continue;
        }
        // before + the name's start + "…" + the name's end + after, the end the longer half.
        ASSERT_EQ(text.rfind(c.before, 0), 0u);
        const size_t dots = text.find(u'\u2026');
        ASSERT_NE(dots, std::u16string::npos);
        const std::u16string head = text.substr(c.before.size(), dots - c.before.size());
        const std::u16string rest = text.substr(dots + 1);
        ASSERT_GE(rest.size(), c.after.size());
        ASSERT_EQ(rest.substr(rest.size() - c.after.size()), c.after);
        const std::u16string tail = rest.substr(0, rest.size() - c.after.size());
        // A break at a space may have put a line break (a space in the joined text) inside.
        EXPECT_EQ(c.file.rfind(head, 0), 0u) << "start kept";
        EXPECT_EQ(c.file.substr(c.file.size() - tail.size()), tail) << "end kept";
        EXPECT_GE(tail.size() + 1, head.size());
        EXPECT_GT(head.size() + tail.size(), 60u) << "no more was cut than needed";
    }
}

TEST(StatusLine, ThePainterDrawsWholeLinesOnly)
{
    FakeEditorHost host(PLAYER);
    host.status = "short.wav | Ready";
    RecordingCanvas plain;
    EditorState state;
    paintView(state, host, plain);
    // As always: one wrapped label in the whole box.
    EXPECT_EQ(plain.labels[6], (Label{{28, 169, 929, 218}, u"short.wav | Ready", palette::kAccent, 15, false,
                                      TextFormat::Wrap}));

    host.status = "Live " + std::string(300, 'y') + "-take9.wav | Playing";
    RecordingCanvas fitted;
    paintView(state, host, fitted);
    // Two lines, each in a box of one line's height, both inside the status box.
    EXPECT_EQ(fitted.labels[6].box, (Rect{28, 169, 929, 188}));
    EXPECT_EQ(fitted.labels[7].box, (Rect{28, 188, 929, 207}));
    const std::u16string& first = fitted.labels[6].text;
    EXPECT_EQ(first.substr(0, 6), u"Live y");
    EXPECT_NE(first.find(u'\u2026'), std::u16string::npos);
    EXPECT_EQ(first.substr(first.size() - 10), u"-take9.wav");
    EXPECT_EQ(fitted.labels[7].text, u"| Playing");
    EXPECT_EQ(fitted.labels.size(), plain.labels.size() + 1); // no third, partial line
}

} // namespace
} // namespace kestravel::plugins::testing
