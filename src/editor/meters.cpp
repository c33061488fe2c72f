#include "editor/meters.h"

#include <algorithm>
#include <cmath>

#include "editor/editor_state.h"
#include "editor/layout.h"
#include "editor/palette.h"
#include "editor/text_util.h"

namespace kestravel::plugins {

namespace {

struct Tap {
    MeterSide side;
    int32_t bus;
    int32_t firstChannel;
    int32_t channels;
};

// The free bands the meters live in, between elements that stay where they are.
constexpr Rect kRoutingBand{28, 272, 922, 316}; // count row above, "Output gain" below
constexpr Rect kPlayerBand{28, 496, 930, 520};  // the file's details above, the footer below
constexpr Rect kRecorderBand{30, 394, 720, 419}; // the second hint above, the tail row below
constexpr int32_t kGroupGap = 10;
constexpr int32_t kCompactGap = 2;
constexpr int32_t kLightSize = 4;

// A bus the host has not described is shown stereo, as the strips are.
int32_t channelsOr2(int32_t n) { return n > 0 ? std::min(n, 64) : 2; }

// Few meters: horizontal bars across the band, tick labels under one or two. Many: compact
// vertical bars side by side, groups (input, lanes, master) a little apart.
void arrange(std::vector<MeterSpot>& spots, const Rect& band, const std::vector<Tap>& taps,
             const std::vector<size_t>& groupStarts)
{
    const auto n = static_cast<int32_t>(taps.size());
    if (n == 0)
        return;
    const int32_t height = band.bottom - band.top;
    if (n <= 4 && height / n >= 9) {
        const bool labels = n <= 2 && height >= 40;
        const int32_t rows = height - (labels ? 13 : 0);
        const int32_t h = (rows - (n - 1) * 3) / n;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t top = band.top + i * (h + 3);
            MeterSpot s;
            s.vertical = false;
            s.labels = labels && i == n - 1;
            s.box = {band.left, top, band.right, s.labels ? band.bottom : top + h};
            s.bar = {band.left, top, band.right - 8 - 14, top + h};
            s.light = {band.right - 14, top, band.right, top + h};
            s.side = taps[static_cast<size_t>(i)].side;
            s.bus = taps[static_cast<size_t>(i)].bus;
            s.firstChannel = taps[static_cast<size_t>(i)].firstChannel;
            s.channels = taps[static_cast<size_t>(i)].channels;
            spots.push_back(s);
        }
        return;
    }
    const auto groups = static_cast<int32_t>(groupStarts.size());
    const int32_t room = band.right - band.left - (groups - 1) * kGroupGap - (n - 1) * kCompactGap;
    const int32_t w = std::clamp(room / n, 2, 22);
    int32_t x = band.left;
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0 && std::find(groupStarts.begin(), groupStarts.end(), static_cast<size_t>(i)) != groupStarts.end())
            x += kGroupGap;
        MeterSpot s;
        s.box = {x, band.top, x + w, band.bottom};
        s.light = {x, band.top, x + w, band.top + kLightSize};
        s.bar = {x, band.top + kLightSize + 2, x + w, band.bottom};
        s.side = taps[static_cast<size_t>(i)].side;
        s.bus = taps[static_cast<size_t>(i)].bus;
        s.firstChannel = taps[static_cast<size_t>(i)].firstChannel;
        s.channels = taps[static_cast<size_t>(i)].channels;
        spots.push_back(s);
        x += w + kCompactGap;
    }
}

std::vector<Tap> eachChannel(MeterSide side, int32_t bus, int32_t channels)
{
    std::vector<Tap> taps;
    for (int32_t c = 0; c < channels; ++c)
        taps.push_back({side, bus, c, 1});
    return taps;
}

double decibels(float peak)
{
    if (!(peak > 0.0f))
        return -1000.0;
    if (!std::isfinite(peak))
        return 0.0;
    return 20.0 * std::log10(static_cast<double>(peak));
}

// Pixels of a length that a level fills: -60 dB and below none, 0 dB and above all.
int32_t filled(double db, int32_t length)
{
    const double f = std::clamp((db - kMeterFloorDb) / -kMeterFloorDb, 0.0, 1.0);
    return static_cast<int32_t>(std::lround(f * length));
}

// What a meter looks like, in pixels: changes only when this does.
struct Look {
    int32_t bar;
    int32_t hold;
    bool clip;
    friend bool operator==(const Look&, const Look&) = default;
};

Look lookOf(const MeterSpot& s, const MeterReading& r)
{
    const int32_t length = s.vertical ? s.bar.bottom - s.bar.top : s.bar.right - s.bar.left;
    return {filled(r.barDb, length), r.holdDb > kMeterFloorDb ? filled(r.holdDb, length) : -1, r.clip};
}

void paintMeter(Canvas& canvas, const MeterSpot& s, const MeterReading& r)
{
    canvas.fillBox(s.box, s.onPanel ? palette::kStripPanel : palette::kBackground);
    canvas.fillBox(s.bar, palette::kMeterTrack);
    const Look look = lookOf(s, r);
    if (s.vertical) {
        const int32_t length = s.bar.bottom - s.bar.top;
        const int32_t high = s.bar.bottom - filled(-6.0, length);
        const int32_t top = s.bar.bottom - look.bar;
        if (look.bar > 0) {
            canvas.fillBox({s.bar.left, std::max(top, high), s.bar.right, s.bar.bottom}, palette::kMeterLow);
            if (top < high)
                canvas.fillBox({s.bar.left, top, s.bar.right, high}, palette::kMeterHigh);
        }
        for (const double tick : kMeterTicksDb) {
            const int32_t y = s.bar.bottom - filled(tick, length);
            canvas.fillBox({s.bar.left, y, s.bar.left + std::max(1, (s.bar.right - s.bar.left) / 3), y + 1},
                           palette::kMeterTick);
        }
        if (look.hold >= 0) {
            const int32_t y = std::max(s.bar.top, s.bar.bottom - look.hold - 1);
            canvas.fillBox({s.bar.left, y, s.bar.right, std::min(y + 2, s.bar.bottom)}, palette::kMeterHold);
        }
    } else {
        const int32_t length = s.bar.right - s.bar.left;
        const int32_t high = s.bar.left + filled(-6.0, length);
        const int32_t right = s.bar.left + look.bar;
        if (look.bar > 0) {
            canvas.fillBox({s.bar.left, s.bar.top, std::min(right, high), s.bar.bottom}, palette::kMeterLow);
            if (right > high)
                canvas.fillBox({high, s.bar.top, right, s.bar.bottom}, palette::kMeterHigh);
        }
        for (const double tick : kMeterTicksDb) {
            const int32_t x = std::min(s.bar.left + filled(tick, length), s.bar.right - 1);
            canvas.fillBox({x, s.bar.bottom - std::max(1, (s.bar.bottom - s.bar.top) / 3), x + 1, s.bar.bottom},
                           palette::kMeterTick);
            if (s.labels)
                canvas.drawLabel({x - 16, s.bar.bottom + 1, x + 16, s.box.bottom},
                                 decimalText(static_cast<int64_t>(tick)), palette::kSecondaryText, 10, false,
                                 TextFormat::Centred);
        }
        if (look.hold >= 0) {
            const int32_t x = std::min(s.bar.left + look.hold, s.bar.right - 2);
            canvas.fillBox({std::max(s.bar.left, x - 1), s.bar.top, x + 1, s.bar.bottom}, palette::kMeterHold);
        }
    }
    canvas.fillBox(s.light, r.clip ? palette::kClipOn : palette::kClipOff);
}

} // namespace

std::vector<MeterSpot> meterSpots(const EditorHost& host, uint32_t faderPage)
{
    std::vector<MeterSpot> spots;
    const ModuleKind kind = host.editorKind();
    const int32_t strips = layout::stripCount(host.parameterValue(kActiveStripsParam));
    switch (kind) {
    case INPUT:
    case OUTPUT:
        arrange(spots, kRoutingBand, eachChannel(MeterSide::Output, 0, channelsOr2(host.outputBusChannelCount(0))), {0});
        break;
    case SUMMING: {
        std::vector<Tap> taps;
        for (int32_t i = 0; i < strips; ++i)
            taps.push_back({MeterSide::Input, i, 0, channelsOr2(host.inputBusChannelCount(i))});
        taps.push_back({MeterSide::Output, 0, 0, 1});
        taps.push_back({MeterSide::Output, 0, 1, 1});
        arrange(spots, kRoutingBand, taps, {0, static_cast<size_t>(strips)});
        break;
    }
    case BREAKOUT:
    case DISTRIBUTOR: {
        std::vector<Tap> taps{{MeterSide::Input, 0, 0, channelsOr2(host.inputBusChannelCount(0))}};
        for (int32_t i = 0; i < strips; ++i)
            taps.push_back({MeterSide::Output, i, 0, channelsOr2(host.outputBusChannelCount(i))});
        arrange(spots, kRoutingBand, taps, {0, 1});
        break;
    }
    case PLAYER:
        arrange(spots, kPlayerBand, eachChannel(MeterSide::Output, 0, channelsOr2(host.outputBusChannelCount(0))), {0});
        break;
    case RECORDER:
        arrange(spots, kRecorderBand, eachChannel(MeterSide::Input, 0, channelsOr2(host.inputBusChannelCount(0))), {0});
        break;
    default: { // FADER BANK: beside each fader of the page, as tall as its travel
        const auto last = std::min<uint32_t>(static_cast<uint32_t>(strips), (faderPage + 1) * layout::kStripsPerPage);
        for (uint32_t strip = faderPage * layout::kStripsPerPage; strip < last; ++strip) {
            const int32_t x = layout::slotColumn(strip % layout::kStripsPerPage);
            MeterSpot s;
            s.box = {x, 243, x + 10, layout::kStripFaderTop + layout::kStripTravel};
            s.light = {x, 243, x + 10, 251};
            s.bar = {x, layout::kStripFaderTop, x + 10, layout::kStripFaderTop + layout::kStripTravel};
            s.onPanel = true;
            s.bus = static_cast<int32_t>(strip);
            s.channels = channelsOr2(host.outputBusChannelCount(s.bus));
            spots.push_back(s);
        }
        break;
    }
    }
    return spots;
}

bool MeterBoard::sample(const EditorHost& host, const EditorState& state, double nowSeconds)
{
    changedAreas.clear();
    std::vector<MeterSpot> spots = meterSpots(host, state.faderPage);
    const bool sameSpots = spots.size() == meterSpotsNow.size() &&
                           std::equal(spots.begin(), spots.end(), meterSpotsNow.begin(), [](const auto& a, const auto& b) {
                               return a.box == b.box && a.side == b.side && a.bus == b.bus &&
                                      a.firstChannel == b.firstChannel && a.channels == b.channels;
                           });
    bool changed = false;
    if (!sameSpots) {
        meterSpotsNow = std::move(spots);
        meterReadings.assign(meterSpotsNow.size(), MeterReading{});
        for (const MeterSpot& s : meterSpotsNow)
            changedAreas.push_back(s.box);
        changed = !meterSpotsNow.empty();
    }
    const double dt = lastLook < 0.0 ? 0.0 : std::max(nowSeconds - lastLook, 0.0);
    lastLook = nowSeconds;
    for (size_t i = 0; i < meterSpotsNow.size(); ++i) {
        const MeterSpot& s = meterSpotsNow[i];
        MeterReading& r = meterReadings[i];
        const Look before = lookOf(s, r);
        float peak = 0.0f;
        for (int32_t c = s.firstChannel; c < s.firstChannel + s.channels; ++c)
            peak = std::max(peak, host.takeMeterPeak(s.side, s.bus, c));
        const double db = std::min(decibels(peak), 0.0);
        r.clip = r.clip || peak >= kMeterClipPeak; // +infinity included
        r.barDb = std::max(db, r.barDb - kMeterFallDbPerSecond * dt);
        if (db >= r.holdDb) {
            r.holdDb = db;
            r.holdSince = nowSeconds;
        } else if (nowSeconds - r.holdSince >= kMeterHoldSeconds) {
            r.holdDb = r.barDb; // falls back to where the bar is now
            r.holdSince = nowSeconds;
        }
        if (r.barDb <= kMeterFloorDb && r.holdDb <= kMeterFloorDb)
            r.barDb = r.holdDb = -1000.0; // at rest
        if (lookOf(s, r) != before && sameSpots) {
            changedAreas.push_back(s.box);
            changed = true;
        }
    }
    const bool takeLight = host.editorKind() == RECORDER;
    const bool clipped = takeLight && host.recorderTakeClipped();
    if (takeLight != takeLightShown || clipped != takeClipped) {
        takeLightShown = takeLight;
        takeClipped = clipped;
        changedAreas.push_back({kTakeClipLight.left, kTakeClipLabel.top, kTakeClipLabel.right, kTakeClipLabel.bottom});
        changed = true;
    }
    return changed;
}

bool MeterBoard::moving() const noexcept
{
    return std::any_of(meterReadings.begin(), meterReadings.end(),
                       [](const MeterReading& r) { return r.barDb > kMeterFloorDb || r.holdDb > kMeterFloorDb; });
}

void MeterBoard::paint(Canvas& canvas) const
{
    for (size_t i = 0; i < meterSpotsNow.size(); ++i)
        paintMeter(canvas, meterSpotsNow[i], meterReadings[i]);
    if (takeLightShown) {
        canvas.fillBox({kTakeClipLight.left, kTakeClipLabel.top, kTakeClipLabel.right, kTakeClipLabel.bottom},
                       palette::kBackground);
        canvas.fillBox(kTakeClipLight, takeClipped ? palette::kClipOn : palette::kClipOff);
        canvas.drawLabel(kTakeClipLabel, u"clipped during this take",
                         takeClipped ? palette::kFailureText : palette::kSecondaryText, 12, takeClipped,
                         TextFormat::Line);
    }
}

bool MeterBoard::press(int32_t x, int32_t y)
{
    for (size_t i = 0; i < meterSpotsNow.size(); ++i)
        if (contains(meterSpotsNow[i].box, x, y)) {
            meterReadings[i].clip = false;
            return true;
        }
    return false;
}

} // namespace kestravel::plugins
