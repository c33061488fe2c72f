#pragma once
// Message boxes and file dialogs on Linux: the desktop's own chooser (zenity, else kdialog) runs
// as a helper process, and its answer is read from a pipe that the host's run loop watches, so
// the host's UI never waits for the user. One helper runs at a time; later requests queue.

#ifndef _WIN32

#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "editor/editor_dialogs.h"
#include "editor/platform/run_loop_link.h"

namespace kestravel::plugins {

inline constexpr char16_t kNoChooserNotice[] =
    u"No desktop file chooser found: install the zenity package (or kdialog) to choose files.";

// The command line of one dialog for the tool found (the program name first); empty when
// neither tool is known. Exposed for tests.
std::vector<std::string> fileDialogCommand(const std::string& tool, bool save, const FileDialogRequest& request);
std::vector<std::string> messageBoxCommand(const std::string& tool, const std::string& text,
                                           const std::string& caption, uint32_t type);
// What a file dialog's output means: one absolute UTF-8 path on one line, else nothing.
std::optional<std::u16string> parseChosenPath(const std::string& output, int exitStatus, bool save,
                                              const std::u16string& defaultExtension);
// The first of zenity and kdialog that is an executable file on PATH, as its name; empty if none.
std::string findChooserTool();

class DesktopDialogs final : public EditorDialogs, private RunLoopTarget {
public:
    // notice shows a line in the editor itself; it is how a missing chooser is reported.
    explicit DesktopDialogs(std::function<void(const std::u16string&)> notice);
    ~DesktopDialogs() override { close(); }
    DesktopDialogs(const DesktopDialogs&) = delete;
    DesktopDialogs& operator=(const DesktopDialogs&) = delete;

    // [UI thread] From now on helpers are watched on loop (one reference held).
    bool open(Steinberg::Linux::IRunLoop* loop);
    // [UI thread] Ends a running helper, forgets every waiting answer, lets go of the run loop.
    void close() noexcept;
    bool busy() const noexcept { return helper > 0 || !waiting.empty(); }
    pid_t helperProcess() const noexcept { return helper; }
    // Called around every answer handed on from the run loop: the host may drop the editor
    // while an answer is applied.
    void setKeepAlive(std::function<void()> holdEditor, std::function<void()> letEditorGo)
    {
        hold = std::move(holdEditor);
        letGo = std::move(letEditorGo);
    }

    int32_t messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                        uint32_t type) override;
    int32_t messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type) override;
    std::optional<std::u16string> openFile(const FileDialogRequest& request) override;
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override;
    void askOpenFile(const FileDialogRequest& request, FileAnswer done) override;
    void askSaveFile(const FileDialogRequest& request, FileAnswer done) override;
    void askMessageBoxW(void* owner, const std::u16string& text, const std::u16string& caption, uint32_t type,
                        BoxAnswer done) override;

private:
    struct Request {
        bool file = false;
        bool save = false;
        FileDialogRequest dialog;
        std::string text;    // UTF-8
        std::string caption; // UTF-8
        uint32_t type = 0;
        FileAnswer fileDone;
        BoxAnswer boxDone;
    };

    void enqueue(Request request);
    void startNext();
    void finish(int exitStatus);
    void endHelper() noexcept;
    void readHelper();
    bool tryReap();
    void descriptorReady(int fd) override;
    void timerFired() override;

    std::function<void(const std::u16string&)> showNotice;
    std::function<void()> hold;
    std::function<void()> letGo;
    Steinberg::Linux::IRunLoop* runLoop = nullptr;
    RunLoopRegistration registration;
    std::deque<Request> waiting;
    Request current;
    pid_t helper = -1;
    int pipeFd = -1;
    std::string output;
    int reapTicks = 0;
    bool inside = false; // an answer is being handed on
};

} // namespace kestravel::plugins

#endif
