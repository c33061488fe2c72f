// The Windows editor left alone: this process's processor time over 10 s of a host's message
// loop, in percent of one core, against the same loop without an editor (the baseline), and
// against an editor that repaints its whole window ten times a second (how the editor worked
// before it looked for changes). Plain output: Google Benchmark is not built for Windows here.
//
//   win32_idle_bench [SECONDS] [SCALE]

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench_editor_host.h"
#include "editor/editor_looks.h"
#include "editor/paint_view.h"
#include "editor/platform/gdi_canvas.h"
#include "editor/platform/win32_window.h"

namespace kestravel::plugins {
namespace {

class Client final : public EditorWindowClient {
public:
    Client(BenchHost& h, double scale, bool everyLook) : host(h), repaintEveryLook(everyLook)
    {
        state.scale = scale;
        looks.look(state, host, steadySeconds()); // the window paints the whole picture first
    }
    void paint(HDC dc) override
    {
        GdiCanvas canvas(dc, state.scale);
        paintView(state, host, canvas);
    }
    void paintMeters(HDC dc) override
    {
        GdiCanvas canvas(dc, state.scale);
        paintView(state, host, canvas, PaintParts::MetersOnly);
    }
    LookResult look() override
    {
        if (!repaintEveryLook)
            return looks.look(state, host, steadySeconds()); // as the view does on Windows
        return LookResult::Whole; // every tick, at the idle pace: 10 times a second
    }
    bool metersMoving() const override { return state.meters.moving(); }
    std::vector<Rect> meterAreas() const override { return {}; }
    void pointerDown(int32_t, int32_t, uint32_t, bool) override {}
    void pointerDrag(int32_t, int32_t, uint32_t) override {}
    void pointerHover(int32_t, int32_t) override {}
    bool pointerWheel(int32_t, int32_t, double, uint32_t) override { return false; }
    void pointerUp() override {}
    void captureLost() override {}
    void contextMenu(int32_t, int32_t) override {}
    void hold() override {}
    void letGo() override {}

    BenchHost& host;
    EditorState state;
    EditorLooks looks;
    bool repaintEveryLook;
};

double processSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](FILETIME t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return value(kernel) + value(user);
}

// Runs the thread's message loop for seconds; returns the processor share in percent.
double loopFor(double seconds)
{
    const double cpu0 = processSeconds();
    const double wall0 = steadySeconds();
    for (;;) {
        const double left = wall0 + seconds - steadySeconds();
        if (left <= 0)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000.0) + 1, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 100.0 * (processSeconds() - cpu0) / (steadySeconds() - wall0);
}

HWND topLevel(int32_t width, int32_t height)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestravelIdleBenchHost";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"idle bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width + 40,
                             height + 60, nullptr, nullptr, wc.hInstance, nullptr);
    return w;
}

} // namespace
} // namespace kestravel::plugins

int main(int argc, char** argv)
{
    using namespace kestravel::plugins;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
    const int32_t width = scaledLength(kEditorWidth, scale), height = scaledLength(kEditorHeight, scale);
    HWND parent = topLevel(width, height);
    if (!parent) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    loopFor(0.5);
    const double baseline = loopFor(seconds);
    std::printf("loop alone                      %6.3f %% of a core\n", baseline);
    for (const ModuleKind kind : {OUTPUT, FADER_BANK, PLAYER})
        for (const bool before : {false, true}) {
            BenchHost host(kind);
            storeParamValue(host.values, kActiveStripsParam, 1.0);
            Client client(host, scale, before);
            Win32EditorWindow window(client);
            window.setSize(width, height);
            if (!window.attach(parent, "HWND")) {
                std::fprintf(stderr, "no editor window\n");
                return 1;
            }
            loopFor(0.5);
            const uint64_t whole = window.wholePaints(), meters = window.meterPaints();
            const double cpu = loopFor(seconds);
            std::printf("%-22s %-8s %6.3f %% of a core (%.3f over the loop), %llu whole and %llu meter paints\n",
                        kindDisplayName(kind) + 10, before ? "repaint" : "looks", cpu, cpu - baseline,
                        static_cast<unsigned long long>(window.wholePaints() - whole),
                        static_cast<unsigned long long>(window.meterPaints() - meters));
            window.shutDown();
        }
    std::printf("(scale %.1f, %.0f s each; \"repaint\": the whole window every 100 ms, as before)\n", scale, seconds);
    DestroyWindow(parent);
    return 0;
}
