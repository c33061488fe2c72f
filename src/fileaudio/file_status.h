#pragma once
// The one-line status of a file module (PLAYER, RECORDER) that the editor paints.

#include "fileaudio/file_player.h"
#include "fileaudio/file_recorder.h"
#include "core/module_kind.h"
#include "core/take_panel.h"

#include <string>

namespace kestravel::plugins {

// [UI thread, never blocks] Reads atomic fields and the stored path only.
std::string statusText(ModuleKind kind, const std::u16string& destinationPath,
                       const FilePlayer& player, const FileRecorder& recorder);

// [UI thread, never blocks] The take panel from the recorder's atomic counters.
TakePanel takePanel(const FileRecorder& recorder);

} // namespace kestravel::plugins
