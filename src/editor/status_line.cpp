#include "editor/status_line.h"

#include <algorithm>
#include <cmath>

namespace kestravel::plugins {

namespace {

constexpr char16_t kEllipsis = u'\u2026';

bool isLowSurrogate(char16_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// The code points of text as positions: a cut never splits a surrogate pair.
std::vector<size_t> codePointStarts(std::u16string_view text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if (!isLowSurrogate(text[i]) || i == 0)
            starts.push_back(i);
    return starts;
}

// Where the file name sits in the status text of a kind: [begin, end).
std::pair<size_t, size_t> fileNameRange(std::u16string_view status, ModuleKind kind)
{
    if (kind == PLAYER) {
        for (std::u16string_view state : {std::u16string_view(u" | Playing"), std::u16string_view(u" | Ready")})
            if (status.size() > state.size() && status.substr(status.size() - state.size()) == state)
                return {0, status.size() - state.size()};
    }
    if (kind == RECORDER) {
        constexpr std::u16string_view finalized = u"Finalized ";
        if (status.size() > finalized.size() && status.substr(0, finalized.size()) == finalized)
            return {finalized.size(), status.size()};
    }
    return {0, status.size()};
}

struct Wrapped {
    std::vector<std::u16string> lines;
    bool overfull = false; // a word wider than the line
};

// Greedy breaking at spaces; a word is never split.
Wrapped wrapWords(std::u16string_view text, Canvas& canvas, double width, int32_t size, bool bold)
{
    Wrapped out;
    std::u16string line;
    size_t i = 0;
    while (i < text.size()) {
        const size_t space = text.find(u' ', i);
        const size_t end = space == std::u16string_view::npos ? text.size() : space;
        const std::u16string_view word = text.substr(i, end - i);
        std::u16string candidate = line.empty() ? std::u16string(word) : line + u' ' + std::u16string(word);
        if (!line.empty() && canvas.textWidth(candidate, size, bold) > width) {
            out.lines.push_back(line);
            candidate = std::u16string(word);
        }
        if (canvas.textWidth(candidate, size, bold) > width)
            out.overfull = true;
        line = std::move(candidate);
        i = end + 1;
    }
    if (!line.empty() || out.lines.empty())
        out.lines.push_back(line);
    return out;
}

} // namespace

StatusLayout fitStatusLine(std::u16string_view status, ModuleKind kind, Canvas& canvas, double width,
                           double height, int32_t size, bool bold)
{
    const double lineHeight = std::max(1.0, canvas.lineHeight(size, bold));
    const size_t maxLines = std::max<size_t>(1, static_cast<size_t>(std::floor(height / lineHeight)));
    auto fits = [&](const Wrapped& w) { return !w.overfull && w.lines.size() <= maxLines; };

    Wrapped whole = wrapWords(status, canvas, width, size, bold);
    if (fits(whole))
        return {std::move(whole.lines), false};

    // Keep k code points of the name around "…", the end getting the larger half, and find
    // the largest k that fits. Longer names never fit where shorter ones do not.
    const auto [nameBegin, nameEnd] = fileNameRange(status, kind);
    const std::u16string_view before = status.substr(0, nameBegin);
    const std::u16string_view name = status.substr(nameBegin, nameEnd - nameBegin);
    const std::u16string_view after = status.substr(nameEnd);
    const std::vector<size_t> starts = codePointStarts(name);
    const size_t count = starts.size();
    auto shortenedTo = [&](size_t keep) {
        const size_t head = keep / 2;
        const size_t tail = keep - head;
        const size_t headEnd = head < count ? starts[head] : name.size();
        const size_t tailBegin = starts[count - tail];
        std::u16string text(before);
        text += name.substr(0, headEnd);
        text += kEllipsis;
        text += name.substr(tailBegin);
        text += after;
        return text;
    };
    size_t low = 0; // a keep count that is known to fit (0 is the last resort)
    size_t high = count > 0 ? count - 1 : 0;
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (fits(wrapWords(shortenedTo(mid), canvas, width, size, bold)))
            low = mid;
        else
            high = mid - 1;
    }
    Wrapped best = wrapWords(shortenedTo(low), canvas, width, size, bold);
    // Never a partial line: what does not fit is left out.
    if (best.lines.size() > maxLines)
        best.lines.resize(maxLines);
    return {std::move(best.lines), true};
}

void drawStatusLine(Canvas& canvas, const Rect& box, std::u16string_view status, ModuleKind kind, Colour colour,
                    int32_t size)
{
    const double width = box.right - box.left;
    const double height = box.bottom - box.top;
    const StatusLayout layout = fitStatusLine(status, kind, canvas, width, height, size, false);
    if (layout.lines.size() == 1 && !layout.shortened) {
        canvas.drawLabel(box, status, colour, size, false, TextFormat::Wrap);
        return;
    }
    const double lineHeight = canvas.lineHeight(size, false);
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        const auto top = box.top + static_cast<int32_t>(std::lround(lineHeight * static_cast<double>(i)));
        const auto bottom = box.top + static_cast<int32_t>(std::lround(lineHeight * static_cast<double>(i + 1)));
        canvas.drawLabel({box.left, top, box.right, std::min(bottom, box.bottom)}, layout.lines[i], colour, size,
                         false, TextFormat::Line);
    }
}

} // namespace kestravel::plugins
