#pragma once
// Keeps this module loaded while a modal loop of ours runs (a file dialog, a message box, the
// host's context menu): a host may close the editor and unload the module meanwhile, and the
// loop must still return into loaded code.

#ifdef _WIN32

#include <windows.h>

namespace kestravel::plugins {

class ModuleHold {
public:
    // [UI thread] Takes a reference on the module that holds this code.
    ModuleHold() noexcept;
    // [UI thread] Gives it back once this thread has left the module's code (back in a
    // message loop), so that the last release never returns into an unloaded module.
    ~ModuleHold();
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;

private:
    HMODULE module = nullptr;
};

} // namespace kestravel::plugins

#endif
