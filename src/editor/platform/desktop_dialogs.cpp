#ifndef _WIN32

#include "editor/platform/desktop_dialogs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "core/text_utf.h"

extern char** environ;

namespace kestravel::plugins {

namespace {

constexpr size_t kMaxHelperOutput = 64 * 1024;
constexpr uint64_t kReapPeriodMs = 20;
constexpr int kReapTicksBeforeKill = 100; // two seconds after the helper closed its output

bool executableOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string_view rest(path);
    while (true) {
        const size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (dir.empty())
            dir = ".";
        std::string candidate = std::move(dir);
        candidate.push_back('/');
        candidate.append(name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos)
            return false;
        rest.remove_prefix(colon + 1);
    }
}

// The description and pattern pairs of a filter ("WAV audio", "*.wav;*.wave").
std::vector<std::pair<std::string, std::string>> filterPairs(const std::u16string& filter)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    std::u16string_view rest(filter);
    while (!rest.empty() && rest.front() != u'\0') {
        const size_t end1 = rest.find(u'\0');
        if (end1 == std::u16string_view::npos)
            break;
        const std::u16string_view name = rest.substr(0, end1);
        rest.remove_prefix(end1 + 1);
        const size_t end2 = rest.find(u'\0');
        if (end2 == std::u16string_view::npos)
            break;
        const std::u16string_view pattern = rest.substr(0, end2);
        rest.remove_prefix(end2 + 1);
        pairs.emplace_back(utf16ToUtf8Lossy(name), utf16ToUtf8Lossy(pattern));
    }
    return pairs;
}

std::string replaceAll(std::string text, char from, char to)
{
    for (char& c : text)
        if (c == from)
            c = to;
    return text;
}

bool isYesNo(uint32_t type) { return (type & 0x0Fu) == kMbYesNo; }

} // namespace

std::string findChooserTool()
{
    for (const char* tool : {"zenity", "kdialog"})
        if (executableOnPath(tool))
            return tool;
    return {};
}

std::vector<std::string> fileDialogCommand(const std::string& tool, bool save, const FileDialogRequest& request)
{
    const auto filters = filterPairs(request.filter);
    const std::string title = save ? "Save As" : "Open";
    if (tool == "zenity") {
        std::vector<std::string> argv{"zenity", "--file-selection", "--title=" + title};
        if (save)
            argv.emplace_back("--save"); // no overwrite question, as on Windows without OFN_OVERWRITEPROMPT
        for (const auto& [name, pattern] : filters)
            argv.push_back("--file-filter=" + name + " | " + replaceAll(pattern, ';', ' '));
        return argv;
    }
    if (tool == "kdialog") {
        std::string filter;
        for (const auto& [name, pattern] : filters) {
            if (!filter.empty())
                filter.push_back('\n');
            filter.append(replaceAll(pattern, ';', ' ')).append("|").append(name);
        }
        return {"kdialog", "--title", title, save ? "--getsavefilename" : "--getopenfilename", ".", filter};
    }
    return {};
}

std::vector<std::string> messageBoxCommand(const std::string& tool, const std::string& text,
                                           const std::string& caption, uint32_t type)
{
    const uint32_t icon = type & 0xF0u;
    if (tool == "zenity") {
        const char* kind = isYesNo(type)                 ? "--question"
                           : icon == kMbIconError        ? "--error"
                           : icon == kMbIconWarning      ? "--warning"
                                                         : "--info";
        return {"zenity", kind, "--title=" + caption, "--text=" + text, "--no-markup"};
    }
    if (tool == "kdialog") {
        const char* kind = isYesNo(type)            ? "--yesno"
                           : icon == kMbIconError   ? "--error"
                           : icon == kMbIconWarning ? "--sorry"
                                                    : "--msgbox";
        return {"kdialog", "--title", caption, kind, text};
    }
    return {};
}

std::optional<std::u16string> parseChosenPath(const std::string& output, int exitStatus, bool save,
                                              const std::u16string& defaultExtension)
{
    if (exitStatus != 0)
        return std::nullopt;
    std::string_view line(output);
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line.empty() || line.front() != '/' || line.find('\n') != std::string_view::npos ||
        line.find('\0') != std::string_view::npos)
        return std::nullopt;
    auto path = utf8ToUtf16(line);
    if (!path || path->size() >= kFileDialogBufferUnits)
        return std::nullopt;
    // The name typed without an extension gets the default one, as the Windows dialog does.
    const size_t slash = path->rfind(u'/');
    if (save && !defaultExtension.empty() && path->find(u'.', slash) == std::u16string::npos &&
        slash + 1 < path->size())
    {
        path->push_back(u'.');
        path->append(defaultExtension);
    }
    return path;
}

DesktopDialogs::DesktopDialogs(std::function<void(const std::u16string&)> notice)
    : showNotice(std::move(notice)), registration(*this)
{
}

bool DesktopDialogs::open(Steinberg::Linux::IRunLoop* loop)
{
    if (runLoop || !loop)
        return false;
    runLoop = loop;
    runLoop->addRef();
    return true;
}

void DesktopDialogs::close() noexcept
{
    endHelper();
    waiting.clear();
    current = Request{};
    if (runLoop) {
        runLoop->release();
        runLoop = nullptr;
    }
}

void DesktopDialogs::endHelper() noexcept
{
    registration.close();
    if (pipeFd >= 0) {
        ::close(pipeFd);
        pipeFd = -1;
    }
    if (helper > 0) {
        // Nobody waits for its answer any more; it cannot ignore this.
        ::kill(helper, SIGKILL);
        while (::waitpid(helper, nullptr, 0) < 0 && errno == EINTR) {
        }
        helper = -1;
    }
    output.clear();
    reapTicks = 0;
}

int32_t DesktopDialogs::messageBoxW(void* owner, const std::u16string& text, const std::u16string& caption,
                                    uint32_t type)
{
    askMessageBoxW(owner, text, caption, type, nullptr);
    return kIdOk;
}

int32_t DesktopDialogs::messageBoxA(void* owner, const std::string& text, const std::string& caption, uint32_t type)
{
    askMessageBoxW(owner, utf8ToUtf16Lossy(text), utf8ToUtf16Lossy(caption), type, nullptr);
    return kIdOk;
}

std::optional<std::u16string> DesktopDialogs::openFile(const FileDialogRequest& request)
{
    askOpenFile(request, nullptr);
    return std::nullopt;
}

std::optional<std::u16string> DesktopDialogs::saveFile(const FileDialogRequest& request)
{
    askSaveFile(request, nullptr);
    return std::nullopt;
}

void DesktopDialogs::askOpenFile(const FileDialogRequest& request, FileAnswer done)
{
    Request r;
    r.file = true;
    r.dialog = request;
    r.fileDone = std::move(done);
    enqueue(std::move(r));
}

void DesktopDialogs::askSaveFile(const FileDialogRequest& request, FileAnswer done)
{
    Request r;
    r.file = true;
    r.save = true;
    r.dialog = request;
    r.fileDone = std::move(done);
    enqueue(std::move(r));
}

void DesktopDialogs::askMessageBoxW(void*, const std::u16string& text, const std::u16string& caption, uint32_t type,
                                    BoxAnswer done)
{
    Request r;
    r.text = utf16ToUtf8Lossy(text);
    r.caption = utf16ToUtf8Lossy(caption);
    r.type = type;
    r.boxDone = std::move(done);
    enqueue(std::move(r));
}

void DesktopDialogs::enqueue(Request request)
{
    // A second file dialog while one is open or waiting would be a second modal dialog on
    // Windows: it cannot happen there, so it does not happen here.
    bool fileOpen = helper > 0 && current.file;
    for (const Request& r : waiting)
        fileOpen = fileOpen || r.file;
    if (request.file && fileOpen) {
        if (request.fileDone)
            request.fileDone(std::nullopt);
        return;
    }
    waiting.push_back(std::move(request));
    startNext();
}

void DesktopDialogs::startNext()
{
    // Answers handed on below may ask for more; the outer call goes on with the queue.
    if (inside)
        return;
    inside = true;
    while (helper <= 0 && !waiting.empty()) {
        current = std::move(waiting.front());
        waiting.pop_front();

        const std::string tool = runLoop ? findChooserTool() : std::string();
        std::vector<std::string> argv;
        if (!tool.empty())
            argv = current.file ? fileDialogCommand(tool, current.save, current.dialog)
                                : messageBoxCommand(tool, current.text, current.caption, current.type);

        int fds[2] = {-1, -1};
        pid_t child = -1;
        bool started = false;
        if (!argv.empty() && ::pipe2(fds, O_CLOEXEC) == 0) {
            std::vector<char*> args;
            for (std::string& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            posix_spawnattr_t attributes;
            posix_spawnattr_init(&attributes);
            // The host's blocked or ignored signals are not the helper's business.
            sigset_t none;
            sigset_t all;
            sigemptyset(&none);
            sigfillset(&all);
            posix_spawnattr_setsigmask(&attributes, &none);
            posix_spawnattr_setsigdefault(&attributes, &all);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
            started = ::posix_spawnp(&child, args[0], &actions, &attributes, args.data(), environ) == 0;
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
            ::close(fds[1]);
            if (!started)
                ::close(fds[0]);
        }
        if (started) {
            helper = child;
            pipeFd = fds[0];
            ::fcntl(pipeFd, F_SETFL, ::fcntl(pipeFd, F_GETFL) | O_NONBLOCK);
            if (registration.open(runLoop) && registration.watch(pipeFd))
                continue; // the answer comes through descriptorReady
            endHelper();
        }

        // No chooser to ask: say so in the editor, and answer as a cancel would.
        Request r = std::move(current);
        current = Request{};
        if (showNotice)
            showNotice(r.file || r.text.empty() ? std::u16string(kNoChooserNotice) : utf8ToUtf16Lossy(r.text));
        if (r.fileDone)
            r.fileDone(std::nullopt);
        if (r.boxDone)
            r.boxDone(isYesNo(r.type) ? kIdNo : kIdOk);
    }
    inside = false;
}

void DesktopDialogs::descriptorReady(int)
{
    if (pipeFd < 0)
        return;
    if (hold)
        hold();
    readHelper();
    if (letGo)
        letGo(); // last: the editor may go here
}

void DesktopDialogs::readHelper()
{
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(pipeFd, buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, static_cast<size_t>(n));
            if (output.size() > kMaxHelperOutput) {
                endHelper(); // no path is this long: garbage
                finish(-1);
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        break; // end of output, or a pipe error
    }
    // The helper closed its output; its exit status decides what the output means.
    registration.close();
    ::close(pipeFd);
    pipeFd = -1;
    if (tryReap())
        return;
    if (registration.open(runLoop) && registration.startTimer(kReapPeriodMs))
        return;
    endHelper();
    finish(-1);
}

void DesktopDialogs::timerFired()
{
    if (helper <= 0 || pipeFd >= 0)
        return;
    if (hold)
        hold();
    if (!tryReap() && ++reapTicks > kReapTicksBeforeKill) {
        std::string kept = std::move(output);
        endHelper();
        output = std::move(kept);
        finish(-1);
    }
    if (letGo)
        letGo();
}

bool DesktopDialogs::tryReap()
{
    int status = 0;
    const pid_t done = ::waitpid(helper, &status, WNOHANG);
    if (done != helper && !(done < 0 && errno == ECHILD))
        return false;
    // ECHILD: the host reaped it; its output alone has to do.
    int exitStatus = -1;
    if (done == helper)
        exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    else
        exitStatus = output.empty() ? 1 : 0;
    helper = -1;
    registration.close();
    finish(exitStatus);
    return true;
}

void DesktopDialogs::finish(int exitStatus)
{
    Request r = std::move(current);
    current = Request{};
    const std::string text = std::move(output);
    output.clear();
    reapTicks = 0;
    if (r.file) {
        if (r.fileDone)
            r.fileDone(parseChosenPath(text, exitStatus, r.save, r.dialog.defaultExtension));
    } else if (r.boxDone) {
        r.boxDone(isYesNo(r.type) ? (exitStatus == 0 ? kIdYes : kIdNo) : kIdOk);
    }
    startNext();
}

} // namespace kestravel::plugins

#endif
