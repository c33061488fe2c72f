// Paint time of every layout, and whether the PLAYER's paint stays flat in the clip's length.

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <cmath>
#include <memory>
#include <vector>

#include "bench_editor_host.h"
#include "editor/editor_host.h"
#include "editor/editor_state.h"
#include "editor/paint_view.h"
#include "editor/waveform.h"
#include "core/parameter_ids.h"

#ifdef _WIN32
#include "editor/platform/gdi_canvas.h"
#else
#include <time.h>

#include "editor/platform/cairo_canvas.h"
#endif

namespace kestravel::plugins {
namespace {


// A pattern whose peak is 0.8 in every column whatever the clip's length, so that short and
// long clips give the same picture. The overview is worked out once, as a load does; painting
// reads only that.
WaveformOverview stereoOverview(uint64_t frames)
{
    std::vector<float> samples(frames * 2);
    for (uint64_t f = 0; f < frames; ++f) {
        const float v = 0.8f * static_cast<float>(static_cast<int>(f % 7) - 3) / 3.0f;
        samples[2 * f] = v;
        samples[2 * f + 1] = -0.5f * v;
    }
    return computeOverview(samples.data(), frames, 2, 48000);
}

const WaveformOverview& oneSecondClip()
{
    static const WaveformOverview overview = stereoOverview(48000);
    return overview;
}

// Long clips: 5 minutes and 45 minutes (more than a PLAYER preloads; it streams those).
const WaveformOverview& fiveMinuteClip()
{
    static const WaveformOverview overview = stereoOverview(uint64_t{5} * 60 * 48000);
    return overview;
}

const WaveformOverview& fortyFiveMinuteClip()
{
    static const WaveformOverview overview = stereoOverview(uint64_t{45} * 60 * 48000);
    return overview;
}

// A picture surface for the platform's drawing.
class Surface {
public:
#ifdef _WIN32
    Canvas& canvas() { return gdi; }

private:
    GdiBitmap bitmap;
    GdiCanvas gdi{bitmap.context()};
#else
    Canvas& canvas() { return image.canvas(); }

private:
    CairoImage image;
#endif
};

#ifdef _WIN32
constexpr const char* kPath = "gdi";
#else
constexpr const char* kPath = "cairo";
#endif

void BM_PaintKind(benchmark::State& state)
{
    BenchHost host(static_cast<ModuleKind>(state.range(0)));
    if (host.kind == PLAYER)
        host.overview = oneSecondClip();
    if (host.kind == FADER_BANK)
        storeParamValue(host.values, kActiveStripsParam, 1.0); // a full page of eight strips
    EditorState editor;
    Surface surface;
    for (auto _ : state) {
        paintView(editor, host, surface.canvas());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(kindDisplayName(host.kind)) + " (" + kPath + ")");
}
BENCHMARK(BM_PaintKind)->DenseRange(1, 8)->Unit(benchmark::kMicrosecond);

// A picture surface at a display scale (100 = 960 x 580, 200 = 1920 x 1160).
class ScaledSurface {
public:
    explicit ScaledSurface(int64_t percent)
        : scale(static_cast<double>(percent) / 100.0)
#ifdef _WIN32
          ,
          bitmap(scaledLength(kEditorWidth, scale), scaledLength(kEditorHeight, scale)),
          gdi(bitmap.context(), scale)
#else
          ,
          image(scale)
#endif
    {
    }
#ifdef _WIN32
    Canvas& canvas() { return gdi; }
#else
    Canvas& canvas() { return image.canvas(); }
#endif

private:
    double scale;
#ifdef _WIN32
    GdiBitmap bitmap;
    GdiCanvas gdi;
#else
    CairoImage image;
#endif
};

// Every kind's paint at 1x and at 2x (four times the pixels, text set at twice the size).
void BM_PaintKindAtScale(benchmark::State& state)
{
    BenchHost host(static_cast<ModuleKind>(state.range(0)));
    if (host.kind == PLAYER)
        host.overview = oneSecondClip();
    if (host.kind == FADER_BANK)
        storeParamValue(host.values, kActiveStripsParam, 1.0);
    EditorState editor;
    ScaledSurface surface(state.range(1));
    for (auto _ : state) {
        paintView(editor, host, surface.canvas());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(kindDisplayName(host.kind)) + " at " + std::to_string(state.range(1)) + "% (" + kPath +
                   ")");
}
BENCHMARK(BM_PaintKindAtScale)
    ->ArgsProduct({{INPUT, SUMMING, PLAYER, RECORDER, FADER_BANK}, {100, 200}})
    ->Unit(benchmark::kMicrosecond);

// Time spent by this thread: memory stalls count, waiting for a core on a busy machine does not.
double threadSeconds()
{
#ifdef _WIN32
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

// Runs a and b alternately in one loop and reports their mean times and b / a.
void compare(benchmark::State& state, const std::function<void()>& a, const std::function<void()>& b)
{
    double aSeconds = 0, bSeconds = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        a();
        const double t1 = threadSeconds();
        b();
        const double t2 = threadSeconds();
        aSeconds += t1 - t0;
        bSeconds += t2 - t1;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["base_us"] = 1e6 * aSeconds / n;
    state.counters["long_us"] = 1e6 * bSeconds / n;
    state.counters["ratio"] = bSeconds / aSeconds;
}

// Whole PLAYER paints with a long clip against a short one; the ratio should stay near 1.
void playerPaints(benchmark::State& state, const WaveformOverview& base, const WaveformOverview& longer)
{
    BenchHost baseHost(PLAYER), longHost(PLAYER);
    baseHost.overview = base;
    longHost.overview = longer;
    EditorState editor;
    Surface surface;
    compare(
        state, [&] { paintView(editor, baseHost, surface.canvas()); },
        [&] { paintView(editor, longHost, surface.canvas()); });
}

void BM_PlayerPaint45MinOver1s(benchmark::State& state)
{
    playerPaints(state, oneSecondClip(), fortyFiveMinuteClip());
}
BENCHMARK(BM_PlayerPaint45MinOver1s)->Unit(benchmark::kMicrosecond);

// Both clips far larger than the caches: what is left is growth with length alone.
void BM_PlayerPaint45MinOver5Min(benchmark::State& state)
{
    playerPaints(state, fiveMinuteClip(), fortyFiveMinuteClip());
}
BENCHMARK(BM_PlayerPaint45MinOver5Min)->Unit(benchmark::kMicrosecond);

// The column heights alone, without drawing.
void BM_WaveformColumns45MinOver1s(benchmark::State& state)
{
    compare(
        state, [] { benchmark::DoNotOptimize(waveformColumnHeights(oneSecondClip())); },
        [] { benchmark::DoNotOptimize(waveformColumnHeights(fortyFiveMinuteClip())); });
}
BENCHMARK(BM_WaveformColumns45MinOver1s)->Unit(benchmark::kMicrosecond);

// The same FADER BANK paint at 2x against 1x, alternated in one loop: the ratio is the cost of
// drawing at a scale (four times the pixels) on this machine at this moment.
void BM_FaderBankPaint2xOver1x(benchmark::State& state)
{
    BenchHost host(FADER_BANK);
    storeParamValue(host.values, kActiveStripsParam, 1.0);
    EditorState editor;
    ScaledSurface one(100), two(200);
    compare(
        state, [&] { paintView(editor, host, one.canvas()); }, [&] { paintView(editor, host, two.canvas()); });
}
BENCHMARK(BM_FaderBankPaint2xOver1x)->Unit(benchmark::kMicrosecond);

// A meter frame (the eight FADER BANK meters, all moving, painted alone over the last frame)
// against a whole paint at 1x: the ratio is what a look at 30 Hz saves.
void BM_MeterFrameOverFullPaint(benchmark::State& state)
{
    BenchHost host(FADER_BANK);
    storeParamValue(host.values, kActiveStripsParam, 1.0);
    host.metersMove = true;
    EditorState editor;
    Surface surface;
    double now = 0.0;
    compare(
        state,
        [&] {
            now += kMeterMovingPeriodSeconds;
            editor.meters.sample(host, editor, now);
            paintView(editor, host, surface.canvas(), PaintParts::Everything);
        },
        [&] { paintView(editor, host, surface.canvas(), PaintParts::MetersOnly); });
}
BENCHMARK(BM_MeterFrameOverFullPaint)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace kestravel::plugins

BENCHMARK_MAIN();
