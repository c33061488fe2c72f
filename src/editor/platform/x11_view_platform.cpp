#ifndef _WIN32

#include "editor/platform/x11_view_platform.h"

namespace kestravel::plugins {

X11ViewPlatform::X11ViewPlatform(X11WindowClient& client)
    : window(client), dialogs([this](const std::u16string& text) { window.showNotice(text); })
{
    dialogs.setKeepAlive([&client] { client.hold(); }, [&client] { client.letGo(); });
}

bool X11ViewPlatform::attach(void* parent, const char* type, Steinberg::IPlugFrame* frame, int32_t width,
                             int32_t height)
{
    if (window.attached() || !frame)
        return false;
    void* found = nullptr;
    if (frame->queryInterface(Steinberg::Linux::IRunLoop::iid, &found) != Steinberg::kResultOk || !found)
        return false;
    auto* loop = static_cast<Steinberg::Linux::IRunLoop*>(found);
    bool shown = window.resize(width, height) && window.attach(parent, type, loop);
    if (shown)
        shown = dialogs.open(loop);
    loop->release(); // the window and the dialogs hold their own references
    if (!shown)
        remove();
    return shown;
}

void X11ViewPlatform::remove() noexcept
{
    dialogs.close();
    window.teardown();
}

} // namespace kestravel::plugins

#endif
