// The editor's X11 window (needs an X server, e.g. Xvfb): how long a repaint tick takes until
// its pixels are on the server, against the off-screen paint of the same picture, and what an
// idle open editor costs in processor time.

#include <benchmark/benchmark.h>

#include <poll.h>
#include <time.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_editor_host.h"
#include "core/parameter_ids.h"
#include "editor/editor_host.h"
#include "editor/editor_looks.h"
#include "editor/editor_state.h"
#include "editor/paint_view.h"
#include "editor/platform/cairo_canvas.h"
#include "editor/platform/x11_window.h"

namespace kestravel::plugins {
namespace {

class IdleHost final : public BenchHost {
public:
    using BenchHost::BenchHost;

    // Something every kind shows changes, as automation or a running take would change it.
    void change()
    {
        ++flips;
        const double v = flips % 2 ? 0.25 : 0.75;
        if (kind == FADER_BANK)
            storeParamValue(values, kFaderGainParamBase, v);
        else if (kind == PLAYER || kind == RECORDER)
            recorded += 4800;
        else
            storeParamValue(values, kGainParam, v);
    }
    int flips = 0;
};

class PaintingClient final : public X11WindowClient {
public:
    explicit PaintingClient(IdleHost& h) : host(h) {}
    IdleHost& host;
    EditorState state;
    EditorLooks looks;
    bool everyTick = false; // look at every tick, not only as an idle editor does
    void paint(cairo_t* cr) override
    {
        CairoCanvas canvas(cr);
        paintView(state, host, canvas);
    }
    void paintMeters(cairo_t* cr) override
    {
        CairoCanvas canvas(cr);
        paintView(state, host, canvas, PaintParts::MetersOnly);
    }
    // As the view looks: what changed since the last look.
    LookResult look() override
    {
        return everyTick ? looks.look(state, host, steadySeconds()) : looks.tick(state, host, steadySeconds());
    }
    void pointerDown(int32_t, int32_t, uint32_t, bool) override {}
    void pointerDrag(int32_t, int32_t, uint32_t) override {}
    void pointerHover(int32_t, int32_t) override {}
    bool pointerWheel(int32_t, int32_t, double, uint32_t) override { return false; }
    void pointerUp() override {}
    void captureLost() override {}
    void contextMenu(int32_t, int32_t) override {}
    void hold() override {}
    void letGo() override {}
};

// A run loop as small as a host's: poll on the descriptors, the timers when due.
class BenchRunLoop final : public Steinberg::Linux::IRunLoop {
public:
    std::vector<std::pair<Steinberg::Linux::IEventHandler*, int>> watches;
    std::vector<std::pair<Steinberg::Linux::ITimerHandler*, uint64_t>> timers;

    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* h, int fd) override
    {
        watches.emplace_back(h, fd);
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* h) override
    {
        std::erase_if(watches, [h](const auto& w) { return w.first == h; });
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* h, uint64_t ms) override
    {
        timers.emplace_back(h, ms);
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* h) override
    {
        std::erase_if(timers, [h](const auto& t) { return t.first == h; });
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 2; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    void tick()
    {
        for (auto& t : timers)
            t.first->onTimer();
    }
    void run(std::chrono::milliseconds length)
    {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + length;
        auto due = Clock::now() + std::chrono::milliseconds(timers.empty() ? 100 : timers[0].second);
        while (Clock::now() < end) {
            std::vector<pollfd> fds;
            for (auto& w : watches)
                fds.push_back({w.second, POLLIN, 0});
            // Rounded up: a wait cut to whole milliseconds would spin through the last one.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
            ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0)));
            for (size_t i = 0; i < fds.size() && i < watches.size(); ++i)
                if (fds[i].revents)
                    watches[i].first->onFDIsSet(fds[i].fd);
            if (Clock::now() >= due) {
                tick();
                due += std::chrono::milliseconds(timers.empty() ? 100 : timers[0].second);
            }
        }
    }
};

double seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The host's top-level window on a connection of its own.
struct HostWindow {
    HostWindow()
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        id = xcb_generate_id(connection);
        const uint32_t overrideRedirect = 1;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, id, screen->root, 0, 0, 960, 580, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_OVERRIDE_REDIRECT,
                          &overrideRedirect);
        xcb_map_window(connection, id);
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    ~HostWindow()
    {
        if (id)
            xcb_destroy_window(connection, id);
        xcb_flush(connection);
        xcb_disconnect(connection);
    }
    bool ok() const { return id != 0; }
    void* parent() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }
    xcb_connection_t* connection = nullptr;
    uint32_t id = 0;
};

void prepare(IdleHost& host)
{
    if (host.kind == FADER_BANK)
        storeParamValue(host.values, kActiveStripsParam, 1.0); // a full page of eight strips
}

// A kind's editor shown in a top-level window on the benchmark's run loop; shown is false (and
// the benchmark skipped) without a display or a window.
struct OpenEditor {
    explicit OpenEditor(benchmark::State& state)
        : host(static_cast<ModuleKind>(state.range(0))), client((prepare(host), host)), window(client)
    {
        if (!std::getenv("DISPLAY"))
            state.SkipWithError("no X display (run under Xvfb)");
        else if (client.look(), !top.ok() || !window.attach(top.parent(), "X11EmbedWindowID", &loop))
            state.SkipWithError("the window could not be shown");
        else
            shown = true;
    }
    IdleHost host;
    PaintingClient client;
    BenchRunLoop loop;
    HostWindow top;
    X11EditorWindow window;
    bool shown = false;
};

// One tick with a changed picture (paint, the changed rows to the back buffer, the copy to the
// window) until the server has done it, against the off-screen paint of the same picture,
// alternately in one loop.
void BM_TickToPixels(benchmark::State& state)
{
    OpenEditor open(state);
    if (!open.shown)
        return;
    IdleHost& host = open.host;
    BenchRunLoop& loop = open.loop;
    X11EditorWindow& window = open.window;
    open.client.everyTick = true;
    EditorState offscreenState;
    CairoImage image;
    double tickSeconds = 0, paintSeconds = 0;
    const uint64_t framesBefore = window.framesShown();
    for (auto _ : state) {
        host.change();
        const double t0 = seconds(CLOCK_MONOTONIC);
        loop.tick();
        window.waitForServer();
        const double t1 = seconds(CLOCK_MONOTONIC);
        paintView(offscreenState, host, image.canvas());
        benchmark::ClobberMemory();
        const double t2 = seconds(CLOCK_MONOTONIC);
        tickSeconds += t1 - t0;
        paintSeconds += t2 - t1;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["tick_us"] = 1e6 * tickSeconds / n;
    state.counters["paint_us"] = 1e6 * paintSeconds / n;
    state.counters["ratio"] = tickSeconds / paintSeconds;
    state.counters["frames"] = static_cast<double>(window.framesShown() - framesBefore) / n;
    state.SetLabel(kindDisplayName(host.kind));
}
BENCHMARK(BM_TickToPixels)->DenseRange(1, 8)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The loop alone for 10 s, nothing registered: the baseline of the idle editor below.
void BM_IdleLoopCpu(benchmark::State& state)
{
    BenchRunLoop loop;
    for (auto _ : state) {
        const double cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wall0 = seconds(CLOCK_MONOTONIC);
        loop.run(std::chrono::seconds(10));
        state.counters["cpu_percent"] =
            100.0 * (seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0) / (seconds(CLOCK_MONOTONIC) - wall0);
    }
}
BENCHMARK(BM_IdleLoopCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// An open editor left alone for 10 s on a host's loop: this process's processor time, in
// percent of one core (the X server's share for drawing is not counted here), the paints it
// made and the frames it sent (both 0 when idle).
void BM_IdleEditorCpu(benchmark::State& state)
{
    OpenEditor open(state);
    if (!open.shown)
        return;
    IdleHost& host = open.host;
    BenchRunLoop& loop = open.loop;
    X11EditorWindow& window = open.window;
    for (auto _ : state) {
        const uint64_t frames = window.framesShown();
        const uint64_t paints = window.paintsDone();
        const double cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wall0 = seconds(CLOCK_MONOTONIC);
        loop.run(std::chrono::seconds(10));
        const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        const double wall = seconds(CLOCK_MONOTONIC) - wall0;
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["frames"] = static_cast<double>(window.framesShown() - frames);
        state.counters["paints"] = static_cast<double>(window.paintsDone() - paints);
    }
    state.SetLabel(kindDisplayName(host.kind));
}
BENCHMARK(BM_IdleEditorCpu)->Arg(OUTPUT)->Arg(FADER_BANK)->Arg(PLAYER)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace kestravel::plugins

BENCHMARK_MAIN();
